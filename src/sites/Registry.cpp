// SPDX-License-Identifier: GPL-3.0-or-later
#include "sites/Registry.h"

#include <array>
#include <charconv>

#include "text/StringCtrl.h"

namespace albumora {

#define SITE_FAMILY(Name) extern const SiteFamily k##Name##Family;
#include "sites/Families.def"
#undef SITE_FAMILY

namespace {

#define SITE_FAMILY(Name) &k##Name##Family,
constexpr std::array<const SiteFamily*, kSiteCount> kFamilies = {
#include "sites/Families.def"
};
#undef SITE_FAMILY

}  // namespace

ListPlan OneCall(int nListType, std::string address, std::string emptyMessage) {
  ListPlan plan;
  AdapterCall call;
  call.nListType = nListType;
  call.address = std::move(address);
  plan.calls.push_back(std::move(call));
  plan.emptyMessage = std::move(emptyMessage);
  return plan;
}

std::span<const SiteFamily* const> Families() { return kFamilies; }

const SiteFamily* FamilyOf(int nSite) {
  if (nSite < 0 || nSite >= kSiteCount) return nullptr;
  return kFamilies[static_cast<size_t>(nSite)];
}

int SiteFromKey(std::string_view keyOrIndex) {
  for (const SiteFamily* family : kFamilies) {
    if (keyOrIndex == family->key) return family->nSite;
  }
  int value = -1;
  auto [end, ec] = std::from_chars(keyOrIndex.data(), keyOrIndex.data() + keyOrIndex.size(), value);
  if (ec == std::errc() && end == keyOrIndex.data() + keyOrIndex.size() && value >= 0 &&
      value < kSiteCount) {
    return value;
  }
  return -1;
}

bool HasAdapters(int nSite) {
  const SiteFamily* family = FamilyOf(nSite);
  if (family == nullptr) return false;
  for (const ListForm& form : family->forms) {
    if (form.albumList != nullptr && form.pictureList != nullptr) return true;
  }
  return false;
}

int RecognizeSite(const std::string& text, int current) {
  if (!Contains(text, "http://") && !Contains(text, "https://")) return current;
  for (const SiteFamily* family : kFamilies) {
    for (const char* fragment : family->fragments) {
      if (ContainsInside(text, fragment)) return family->nSite;
    }
  }
  return current;
}

std::string HttpForm(const std::string& address) {
  static constexpr std::string_view kSecure = "https://";
  if (address.size() >= kSecure.size() &&
      EqualsNoCase(address.substr(0, kSecure.size()), kSecure)) {
    return "http://" + address.substr(kSecure.size());
  }
  return address;
}

ListPlan NormalizeAddress(int nSite, const std::string& addr) {
  const SiteFamily* family = FamilyOf(nSite);
  if (family == nullptr || family->normalize == nullptr) return {};
  return family->normalize(addr);
}

const ListForm* FormOf(int nSite, int nListType) {
  const SiteFamily* family = FamilyOf(nSite);
  if (family == nullptr) return nullptr;
  for (const ListForm& form : family->forms) {
    if (form.nListType == nListType) return &form;
  }
  return nullptr;
}

const ListForm* PictureFormFor(int nSite, int nListType) {
  const ListForm* form = FormOf(nSite, nListType);
  const SiteFamily* family = FamilyOf(nSite);
  if (form == nullptr && family != nullptr && family->pictureFallback != kNoFallback) {
    form = FormOf(nSite, family->pictureFallback);
  }
  return form;
}

ListPlan Adapters::Plan(int nSite, const std::string& addr) const {
  return NormalizeAddress(nSite, addr);
}

AlbumListFn Adapters::AlbumList(int nSite, int nListType) const {
  const ListForm* form = FormOf(nSite, nListType);
  return form ? form->albumList : nullptr;
}

PictureListFn Adapters::PictureList(int nSite, int nListType) const {
  const ListForm* form = PictureFormFor(nSite, nListType);
  return form ? form->pictureList : nullptr;
}

const Adapters& SiteAdapters() {
  static const Adapters registry;
  return registry;
}

}  // namespace albumora
