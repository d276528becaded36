// SPDX-License-Identifier: GPL-3.0-or-later
// PChome: a member's photo albums (Big5 pages).
#include <array>
#include <string>

#include "sites/Family.h"
#include "sites/Fetch.h"
#include "sites/Walk.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* photoOrigin = "http://photo.pchome.com.tw";
  const char* domainSuffix = "com.tw";
};
constexpr Hosts kHosts;

// The owner as the album list left it: a folder name, ending in the separator.
std::string OwnerName(std::string owner) {
  while (!owner.empty() && owner.back() == '/') owner.pop_back();
  return owner;
}

ListPlan Normalize(std::string addr) {
  CutAfter(addr, std::string(kHosts.domainSuffix) + "/");
  for (const char* marker : {"/", "&", "*", "?"}) CutAt(addr, marker);
  ListPlan plan = OneCall(LT_NONE, addr);
  plan.calls[0].ownerBefore = addr;
  return plan;
}

constexpr const char* kNextPage = "\">下一頁>";
constexpr const char* kAlbumItem = "class=\"MarkSet\"";
constexpr const char* kPictureItem = "Icon:'";

// What its pages must hold: the album index its album boxes, an album's page its picture data.
constexpr const char* kIndexMarkers[] = {kAlbumItem};
constexpr PageMarkers kAlbumIndex = {PageKind::AlbumIndex, kIndexMarkers,
                                     kYieldsAlbums | kYieldsNextPage};
constexpr const char* kAlbumMarkers[] = {"PhotoList", kPictureItem};
constexpr PageMarkers kAlbumPage = {PageKind::AlbumPage, kAlbumMarkers,
                                    kYieldsPictures | kYieldsNextPage};
constexpr std::array<const PageMarkers*, 2> kPages = {&kAlbumIndex, &kAlbumPage};

// The member's albums, page by page ("*" and the page number after the member id).
void AlbumList(const std::string& member, ListContext& list) {
  list.Texts().strSiteParam1 = member;
  Fetcher fetcher(CodePage::Big5);
  ST_PERLISTRECORD local;
  ForPages(list, 1, [&](int page) {
    std::optional<std::string> text = fetcher.Get(
        kAlbumIndex, std::string(kHosts.photoOrigin) + "/" + member + "*" + std::to_string(page));
    if (!text || text->empty()) return false;
    const bool further = Contains(*text, kNextPage);
    TruncAt(*text, "MainListSection");
    bool stopped = false;
    ForPieces(list, *text, kAlbumItem, [&](std::string& piece) {
      local.nFlags = 0;
      local.strAddr = GetBetween(piece, "href=\"", "\"", BT_CONSUME);
      local.strCover = kHosts.photoOrigin + GetBetween(piece, "Img[", "]", BT_CONSUME);
      local.strName = GetBetween(piece, "<span>", "</span>", BT_CONSUME);
      local.nCount = static_cast<int32_t>(
          static_cast<uint32_t>(ReadDecimal(GetBetween(piece, "共", "張", BT_CONSUME))));
      stopped = !list.Publish(local);
      return !stopped;
    });
    return further && !stopped;
  });
}

// The full-size name of a picture: the small variant's "s" before the extension is dropped. Only
// that one place: an "s." elsewhere in the address (a host or folder such as "images.") stays.
std::string FullSize(std::string address) {
  const size_t slash = address.rfind('/');
  const size_t dot = address.rfind('.');
  if (dot != std::string::npos && dot > 0 && address[dot - 1] == 's' &&
      (slash == std::string::npos || dot - 1 > slash)) {
    address.erase(dot - 1, 1);
  }
  return address;
}

// The album's pictures, page by page; each picture carries its photo page as Referer.
void PictureList(PictureContext& pictures) {
  const std::string albumAddr = pictures.Album().strAddr;
  const std::string owner = pictures.Texts().strOwner;
  Fetcher fetcher(CodePage::Big5);
  ForPages(pictures, 1, [&](int page) {
    std::optional<std::string> text = fetcher.Get(
        kAlbumPage, std::string(kHosts.photoOrigin) + albumAddr + "*" + std::to_string(page));
    if (!text || text->empty()) return false;
    const bool further = Contains(*text, kNextPage);
    CutBefore(*text, "PhotoList", true);
    TruncAt(*text, "PageInfo");
    bool stopped = false;
    const int items = ForPieces(pictures, *text, kPictureItem, [&](std::string& piece) {
      const std::string address = FullSize(std::string(kHosts.photoOrigin) + "/" +
                                           GetBetween(piece, "/", "',", BT_CONSUME));
      const std::string key = GetBetween(piece, "PK:", ",", BT_CONSUME);
      const std::string photoPage =
          std::string(kHosts.photoOrigin) + "/" + OwnerName(owner) + "/" + key;
      const std::string description = GetBetween(piece, "DataSet[", "]'", BT_CONSUME);
      stopped = !pictures.AddPicture(address, description, "Referer: " + photoPage);
      return !stopped;
    });
    return items > 0 && further && !stopped;
  });
}

constexpr std::array<const char*, 1> kFragments = {"pchome.com.tw/"};

constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "PChome albums", AlbumList, PictureList},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://photo.pchome.com.tw/someone/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kPchomeFamily;
const SiteFamily kPchomeFamily = {SITE_PCHOME, "pchome", "PChome相簿", kFragments, Normalize,
                                  kForms,      LT_NONE,  "",           kExamples,  kPages};

}  // namespace albumora
