// The picture-list override the tests install in place of the site adapters.
#include <atomic>

#include "sites/SiteTable.h"

namespace albumora {

namespace {
std::atomic<PictureListFn>& OverrideSlot() {
  static std::atomic<PictureListFn> slot{nullptr};
  return slot;
}
}  // namespace

void SetPictureListOverride(PictureListFn fn) { OverrideSlot().store(fn); }

PictureListFn PictureListOverride() { return OverrideSlot().load(); }

}  // namespace albumora
