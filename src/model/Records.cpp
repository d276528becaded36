#include "model/Records.h"

namespace albumora {

void AlbumList::Append(std::unique_ptr<ST_PERLISTRECORD> entry) {
  entry->nIndex = static_cast<int32_t>(entries_.size());
  entries_.push_back(std::move(entry));
}

bool AlbumList::HasName(std::string_view name) const {
  for (const auto& entry : entries_) {
    if (entry->strName == name) return true;
  }
  return false;
}

void AlbumList::Clear() { entries_.clear(); }

}  // namespace albumora
