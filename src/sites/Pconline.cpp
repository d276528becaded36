// SPDX-License-Identifier: GPL-3.0-or-later
// pconline: a member's photo list, page by page.
#include <array>
#include <cstdio>
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
  const char* photoHost = "http://photo.pconline.com.cn";
  const char* listTemplate = "http://photo.pconline.com.cn/%s/myphoto_dk1stp_n15.html";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  std::optional<std::string> pageMarker;
  if (ContainsInside(addr, "_p")) {
    // The page part "_p<n>_" (n below 100) becomes the first page's "_dk1stp_".
    for (int n = 1; n <= 99; ++n) {
      char marker[16];
      std::snprintf(marker, sizeof marker, "_p%d_", n);
      pageMarker = marker;
      if (ReplaceAll(addr, marker, "_dk1stp_") > 0) break;
    }
  } else if (ContainsInside(addr, "myphoto.")) {
    ReplaceAll(addr, ".html", "_dk1stp_n15.html");
  } else {
    CutAfter(addr, ".cn/");
    CutAt(addr, "/");
    pageMarker = addr;
    addr = FillTemplate(kHosts.listTemplate, addr);
  }
  ListPlan plan = OneCall(LT_NONE, addr);
  plan.calls[0].siteParam1 = pageMarker;
  return plan;
}

constexpr const char* kPageMarker = "_dk1stp_";
constexpr const char* kAlbumItem = "class=\"picbox";
constexpr const char* kPictureItem = "class=\"picture";

// What its pages must hold: the owner's list its album boxes, an album's page its pictures.
constexpr const char* kIndexMarkers[] = {kAlbumItem};
constexpr PageMarkers kAlbumIndex = {PageKind::AlbumIndex, kIndexMarkers,
                                     kYieldsAlbums | kYieldsNextPage};
constexpr const char* kAlbumMarkers[] = {kPictureItem};
constexpr PageMarkers kAlbumPage = {PageKind::AlbumPage, kAlbumMarkers, kYieldsPictures};
constexpr std::array<const PageMarkers*, 2> kPages = {&kAlbumIndex, &kAlbumPage};

// The owner's album list, page by page, from the address template (it holds the page marker).
void AlbumList(const std::string& pattern, ListContext& list) {
  JobTexts& texts = list.Texts();
  Fetcher fetcher(CodePage::Utf8);
  ST_PERLISTRECORD local;
  ForPages(list, 1, [&](int page) {
    texts.strSiteParam1 = "_p" + std::to_string(page) + "_";
    std::string address = pattern;
    ReplaceAll(address, kPageMarker, texts.strSiteParam1);
    std::optional<std::string> answer = fetcher.Get(kAlbumIndex, address);
    if (!answer || answer->empty()) return false;
    std::string& text = *answer;
    const bool last = !Contains(text, ">下一页</a>");
    if (page == 1) {
      std::string owner = GetBetween(text, "】", "_太平洋", BT_CONSUME);
      if (owner.empty()) {
        owner = pattern;
        CutAfter(owner, "cn/");
        CutAt(owner, "/");
      }
      CleanFileName(owner, 0xFFFF, true);
      texts.strOwner = owner;
    }
    bool stopped = false;
    const int items = ForPieces(list, text, kAlbumItem, [&](std::string& piece) {
      local.strAddr = GetBetween(piece, "href=\"", "\"", BT_CONSUME);
      ReplaceAll(local.strAddr, "photo/", "photo/list_");
      local.strName = GetBetween(piece, "title=\"", "\"", BT_CONSUME);
      local.strCover = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
      local.nCount = -1;
      stopped = !list.Publish(local);
      return !stopped;
    });
    return items > 0 && !last && !stopped;
  });
}

// The one page of an album: every picture, named after the album and its number.
void PictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  Fetcher fetcher(CodePage::Utf8);
  PageOptions page;
  page.cutEnd = "class=\"artOutWrap";
  std::optional<std::string> text = fetcher.Get(kAlbumPage, album.strAddr, page);
  if (!text || text->empty()) return;
  int n = 0;
  ForPieces(pictures, *text, kPictureItem, [&](std::string& piece) {
    std::string address = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
    ReplaceAll(address, "_mthumb", "");
    ++n;
    return pictures.AddPicture(address, album.strName + " (" + std::to_string(n) + ")",
                               std::string());
  });
}

// No fragment selects this family: its addresses keep the selected site.
constexpr std::array<const char*, 0> kFragments = {};

constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "pconline albums", AlbumList, PictureList},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://photo.pconline.com.cn/someone/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kPconlineFamily;
const SiteFamily kPconlineFamily = {SITE_PCONLINE, "pconline", "太平洋摄影部落", kFragments,
                                    Normalize,     kForms,     LT_NONE,          "",
                                    kExamples,     kPages};

}  // namespace albumora
