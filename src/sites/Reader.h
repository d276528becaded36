// SPDX-License-Identifier: GPL-3.0-or-later
// Reading an answer front to back by markers without copying it: each Between is GetBetween
// with BT_CONSUME on the unread rest — the search goes on after the start marker (not after
// the end marker), and a missing start marker reads nothing and moves nowhere.
#pragma once

#include <string>
#include <string_view>

namespace albumora {

class MarkerReader {
 public:
  explicit MarkerReader(std::string_view text) : text_(text) {}

  // The text between start and end in the unread rest; the rest then begins after start. Empty
  // when start is absent (nothing moves), or when end is absent after it (unless toEnd: then
  // the whole rest after start).
  std::string Between(std::string_view start, std::string_view end, bool toEnd = false);
  // Moves past the first occurrence of marker; false (nothing moves) when it is absent.
  bool Skip(std::string_view marker);
  // The marker occurs in the unread rest.
  bool Has(std::string_view marker) const { return Rest().find(marker) != std::string_view::npos; }
  std::string_view Rest() const { return text_.substr(at_); }

 private:
  std::string_view text_;
  size_t at_ = 0;
};

}  // namespace albumora
