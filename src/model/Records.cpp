// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/Records.h"

namespace albumora {

void AlbumList::Append(std::unique_ptr<ST_PERLISTRECORD> entry) {
  entry->nIndex = static_cast<int32_t>(entries_.size());
  names_.insert(entry->strName);
  entries_.push_back(std::move(entry));
}

bool AlbumList::HasName(std::string_view name) const { return names_.find(name) != names_.end(); }

void AlbumList::Clear() {
  entries_.clear();
  names_.clear();
  nextCandidate_.clear();
}

}  // namespace albumora
