// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/Reader.h"

namespace albumora {

std::string MarkerReader::Between(std::string_view start, std::string_view end, bool toEnd) {
  const size_t found = text_.find(start, at_);
  if (found == std::string_view::npos) return {};
  at_ = found + start.size();
  const size_t stop = text_.find(end, at_);
  if (stop != std::string_view::npos) return std::string(text_.substr(at_, stop - at_));
  return toEnd ? std::string(text_.substr(at_)) : std::string();
}

bool MarkerReader::Skip(std::string_view marker) {
  const size_t found = text_.find(marker, at_);
  if (found == std::string_view::npos) return false;
  at_ = found + marker.size();
  return true;
}

}  // namespace albumora
