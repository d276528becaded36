// SPDX-License-Identifier: GPL-3.0-or-later
// ZOL: a member's photo albums.
#include <array>
#include <string>

#include "fs/FileNames.h"
#include "sites/Family.h"
#include "sites/Fetch.h"
#include "sites/Walk.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* photoOrigin = "http://album.zol.com.cn";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  if (Contains(addr, "http://")) {
    CutAfter(addr, "cn/");
    CutAt(addr, "/");
  }
  return OneCall(LT_NONE, addr);
}

constexpr const char* kNextPage = "class=\"nor\">下一页";
constexpr const char* kItem = "id=\"pic_";

// What its pages must hold: the album index and an album's thumbnail pages list their items
// after the same marker.
constexpr const char* kItemMarkers[] = {kItem};
constexpr PageMarkers kAlbumIndex = {PageKind::AlbumIndex, kItemMarkers,
                                     kYieldsAlbums | kYieldsNextPage};
constexpr PageMarkers kThumbnailPage = {PageKind::PictureListPage, kItemMarkers,
                                        kYieldsPictures | kYieldsNextPage};
constexpr std::array<const PageMarkers*, 2> kPages = {&kAlbumIndex, &kThumbnailPage};

// The member's album index, page by page.
void AlbumList(const std::string& member, ListContext& list) {
  list.Texts().strSiteParam1 = member;
  Fetcher fetcher;
  ST_PERLISTRECORD local;
  ForPages(list, 1, [&](int page) {
    std::optional<std::string> text =
        fetcher.Get(kAlbumIndex, std::string(kHosts.photoOrigin) + "/" + member + "/album_" +
                                     std::to_string(page) + ".html");
    if (!text || text->empty()) return false;
    const bool further = Contains(*text, kNextPage);
    if (page == 1) {
      std::string owner = GetBetweenCopy(*text, "<title>", "的全部相册");
      CleanFileName(owner, 0xFFFF, true);
      list.Texts().strOwner = owner;
    }
    bool stopped = false;
    ForPieces(list, *text, kItem, [&](std::string& piece) {
      local.nFlags = 0;
      local.strAddr = GetBetween(piece, "href=\"", "1.html", BT_CONSUME);
      local.strCover = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
      local.strName = GetBetween(piece, "title=\"", "\"", BT_CONSUME);
      local.nCount = static_cast<int32_t>(
          static_cast<uint32_t>(ReadDecimal(GetBetween(piece, "K_11\">", "张", BT_CONSUME))));
      stopped = !list.Publish(local);
      return !stopped;
    });
    return further && !stopped;
  });
}

// The full-size address of a thumbnail: the "/t_s<size>" element removed, or else the size
// code after the first "_" dropped up to the extension.
std::string FullSize(const std::string& thumbnail) {
  std::string address = thumbnail;
  if (ContainsInside(address, "cn/t_s")) {
    const std::string size = GetBetweenCopy(address, "cn/t_s", "/");
    ReplaceAll(address, "/t_s" + size, "");
    return address;
  }
  const size_t underscore = address.find('_');
  // An address without "_" has no size code to drop: it is used as it is.
  if (underscore == std::string::npos) return address;
  const std::string rest = address.substr(underscore + 1);
  const size_t dot = rest.find('.');
  return address.substr(0, underscore) + (dot == std::string::npos ? rest : rest.substr(dot));
}

// The album's thumbnail pages, each thumbnail turned into its full-size picture.
void PictureList(PictureContext& pictures) {
  const std::string albumAddr = pictures.Album().strAddr;
  Fetcher fetcher;
  ForPages(pictures, 1, [&](int page) {
    std::optional<std::string> text =
        fetcher.Get(kThumbnailPage,
                    std::string(kHosts.photoOrigin) + albumAddr + std::to_string(page) + ".html");
    if (!text || text->empty()) return false;
    const bool further = Contains(*text, kNextPage);
    bool stopped = false;
    const int items = ForPieces(pictures, *text, kItem, [&](std::string& piece) {
      const std::string thumbnail = GetBetweenCopy(piece, "src=\"", "\"");
      const std::string description = GetBetween(piece, "title=\"", "\"", BT_CONSUME);
      stopped = !pictures.AddPicture(FullSize(thumbnail), description, std::string());
      return !stopped;
    });
    return items > 0 && further && !stopped;
  });
}

constexpr std::array<const char*, 1> kFragments = {"zol.com.cn/"};

constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "ZOL albums", AlbumList, PictureList},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://album.zol.com.cn/someone/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kZolFamily;
const SiteFamily kZolFamily = {SITE_ZOL, "zol",   "ZOL相册", kFragments, Normalize,
                               kForms,   LT_NONE, "",        kExamples,  kPages};

}  // namespace albumora
