// SPDX-License-Identifier: GPL-3.0-or-later
// babytree: a member's albums through two readers.
#include <array>
#include <functional>
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
  const char* homeHost = "http://home.babytree.com";
  const char* mainOrigin = "http://www.babytree.com";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  CutAfter(addr, "om/u");
  CutAt(addr, "&");
  CutAt(addr, "/");
  ListPlan plan = OneCall(LT_BABYTREE_FIRST, addr);
  AdapterCall second = plan.calls.front();
  second.nListType = LT_BABYTREE_SECOND;
  second.onlyWhenEmpty = true;
  plan.calls.push_back(std::move(second));
  return plan;
}

constexpr const char* kHomeNextPage = "\">下一页</a>";
// The profile pages' further-page link is ">&gt;</a></li>" as sent; answers are read with their
// entities decoded, so it is looked for in its decoded form.
constexpr const char* kProfileNextPage = ">></a></li>";

constexpr const char* kHomeAlbumData = "album_list";
constexpr const char* kDataItem = "\"id\":\"";
constexpr const char* kThumb = "class=\"thumb\">";
constexpr const char* kPhotoThumb = "class=\"photo-thumb\">";
constexpr const char* kPhotoUrl = "\"url\":\"";

// What its pages must hold: the home pages carry the album data as script text, the profile
// pages and their albums' pages thumbnail boxes, a home album's page its photo thumbnails, and
// a home photo page the picture's address.
constexpr const char* kHomeIndexMarkers[] = {kHomeAlbumData, kDataItem};
constexpr PageMarkers kHomeIndex = {PageKind::AlbumIndex, kHomeIndexMarkers,
                                    kYieldsAlbums | kYieldsNextPage};
constexpr const char* kThumbMarkers[] = {kThumb};
constexpr PageMarkers kProfileIndex = {PageKind::AlbumIndex, kThumbMarkers,
                                       kYieldsAlbums | kYieldsNextPage};
constexpr const char* kHomeAlbumMarkers[] = {kPhotoThumb};
constexpr PageMarkers kHomeAlbumPage = {PageKind::AlbumPage, kHomeAlbumMarkers,
                                        kYieldsPictures | kYieldsNextPage | kYieldsPages};
constexpr PageMarkers kProfileAlbumPage = {PageKind::AlbumPage, kThumbMarkers,
                                           kYieldsPictures | kYieldsNextPage | kYieldsPages};
constexpr const char* kPhotoMarkers[] = {kPhotoUrl};
constexpr PageMarkers kHomePhotoPage = {PageKind::PhotoPage, kPhotoMarkers, 0};
constexpr std::array<const PageMarkers*, 5> kPages = {&kHomeIndex, &kProfileIndex, &kHomeAlbumPage,
                                                      &kProfileAlbumPage, &kHomePhotoPage};

// The owner of page 1: the title's name, else the member id.
void SetOwner(const std::string& text, const std::string& member, JobTexts& texts) {
  std::string owner = GetBetweenCopy(text, "<title>", "的相册");
  if (owner.empty()) owner = member;
  CleanFileName(owner, 0, false);
  texts.strOwner = owner;
}

uint32_t ReadCount(std::string& piece, std::string_view start, std::string_view end) {
  return static_cast<uint32_t>(ReadDecimal(GetBetween(piece, start, end, BT_CONSUME)));
}

// Both readers: the member's album pages from 1, each read up to "vertical-align:middle", while
// the page has its further-page link; readPage publishes a page's albums and tells how many
// pieces it held (and, through stopped, whether the job asked to stop).
void ReadAlbumPages(const std::string& member, ListContext& list, const PageMarkers& kind,
                    const std::function<std::string(int page)>& address, const char* nextPage,
                    const std::function<int(std::string& text, bool& stopped)>& readPage) {
  list.Texts().strSiteParam1 = member;
  Fetcher fetcher(CodePage::Utf8);
  PageOptions options;
  options.cutEnd = "vertical-align:middle";
  ForPages(list, 1, [&](int page) {
    std::optional<std::string> text = fetcher.Get(kind, address(page), options);
    if (!text || text->empty()) return false;
    const bool further = Contains(*text, nextPage);
    if (page == 1) SetOwner(*text, member, list.Texts());
    bool stopped = false;
    return readPage(*text, stopped) >= 0 && further && !stopped;
  });
}

// The first reader: the album data the member's home pages carry as script text. A page without
// albums ends the reading.
void HomeAlbumList(const std::string& member, ListContext& list) {
  ST_PERLISTRECORD local;
  ReadAlbumPages(
      member, list, kHomeIndex,
      [&](int page) {
        return std::string(kHosts.homeHost) + "/u" + member +
               "/photo/list?pg=" + std::to_string(page);
      },
      kHomeNextPage,
      [&](std::string& text, bool& stopped) {
        CutBefore(text, kHomeAlbumData, true);
        TruncAt(text, "</script>");
        const int items = ForPieces(list, text, kDataItem, [&](std::string& piece) {
          local.strName = UnescapeUnicode(GetBetween(piece, "title\":\"", "\"", BT_CONSUME));
          local.strAddr = Unslash(GetBetween(piece, "album_url\":\"", "\"", BT_CONSUME));
          local.nCount = static_cast<int32_t>(ReadCount(piece, "sum\":\"", "\""));
          local.strCover = Unslash(GetBetween(piece, "cover_url\":\"", "\"", BT_CONSUME));
          local.nFlags = 0;
          stopped = !list.Publish(local);
          return !stopped;
        });
        return items > 0 ? items : -1;
      });
}

// The second reader: the member's profile pages. A page without albums does not end the paging.
void ProfileAlbumList(const std::string& member, ListContext& list) {
  ST_PERLISTRECORD local;
  ReadAlbumPages(
      member, list, kProfileIndex,
      [&](int page) {
        return std::string(kHosts.mainOrigin) + "/user/showuser.php?uid=u" + member +
               "&tab=photo&view=album_list&order=&pg=" + std::to_string(page);
      },
      kProfileNextPage,
      [&](std::string& text, bool& stopped) {
        return ForPieces(list, text, kThumb, [&](std::string& piece) {
          local.strAddr = GetBetween(piece, "href=\"", "\"", BT_CONSUME);
          local.strCover = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
          local.strName = GetBetween(piece, "<strong>", "</strong>", BT_CONSUME);
          local.nCount = static_cast<int32_t>(ReadCount(piece, "(", ")"));
          local.nFlags = 0;
          stopped = !list.Publish(local);
          return !stopped;
        });
      });
}

// The pictures of a home-page album: each thumbnail's photo page names the full picture.
void HomePictureList(PictureContext& pictures) {
  const std::string albumAddr = pictures.Album().strAddr;
  Fetcher fetcher(CodePage::Utf8);
  PageOptions options;
  options.cutEnd = "mytree-tooltips";
  ForPages(pictures, 1, [&](int page) {
    std::optional<std::string> text =
        fetcher.Get(kHomeAlbumPage, albumAddr + "&pg=" + std::to_string(page), options);
    if (!text || text->empty()) return false;
    const bool further = Contains(*text, kHomeNextPage);
    bool stopped = false;
    const int items = ForPieces(pictures, *text, kPhotoThumb, [&](std::string& piece) {
      const std::string photoPage = GetBetween(piece, "href=\"", "\"", BT_CONSUME);
      std::string address = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
      const std::string description = GetBetween(piece, "title=\"", "\"", BT_CONSUME);
      std::optional<std::string> photo = fetcher.Get(kHomePhotoPage, photoPage, options);
      if (photo && !photo->empty()) {
        const std::string full = Unslash(GetBetween(*photo, kPhotoUrl, "\"", BT_CONSUME));
        if (!full.empty()) address = full;
      }
      stopped = !pictures.AddPicture(address, description, std::string());
      return !stopped;
    });
    return items > 0 && further && !stopped;
  });
}

// The pictures of a profile album: each thumbnail's big photo page names the full picture.
void ProfilePictureList(PictureContext& pictures) {
  const std::string albumAddr = pictures.Album().strAddr;
  Fetcher fetcher(CodePage::Utf8);
  PageOptions options;
  options.cutEnd = "vertical-align:middle;";
  ForPages(pictures, 1, [&](int page) {
    std::optional<std::string> text = fetcher.Get(
        kProfileAlbumPage,
        std::string(kHosts.mainOrigin) + albumAddr + "&pg=" + std::to_string(page), options);
    if (!text || text->empty()) return false;
    const bool further = Contains(*text, kProfileNextPage);
    bool stopped = false;
    const int items = ForPieces(pictures, *text, kThumb, [&](std::string& piece) {
      std::string photoPage =
          std::string(kHosts.mainOrigin) + GetBetween(piece, "href=\"", "\"", BT_CONSUME);
      std::string address = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
      const std::string description = GetBetween(piece, "alt=\"", "\"", BT_CONSUME);
      ReplaceAll(photoPage, "#detail", "&show=big");
      std::optional<std::string> photo = fetcher.Get(photoPage, options);
      if (photo && !photo->empty()) {
        const std::string full = GetBetween(*photo, "src=\"", "\"", BT_CONSUME);
        if (!full.empty()) address = full;
      }
      stopped = !pictures.AddPicture(address, description, std::string());
      return !stopped;
    });
    return items > 0 && further && !stopped;
  });
}

constexpr std::array<const char*, 1> kFragments = {"babytree.com/"};

constexpr std::array<ListForm, 2> kForms = {{
    {LT_BABYTREE_FIRST, "babytree albums", HomeAlbumList, HomePictureList},
    {LT_BABYTREE_SECOND, "babytree albums, second reader", ProfileAlbumList, ProfilePictureList},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://home.babytree.com/u/someone", LT_BABYTREE_FIRST},
}};

}  // namespace

extern const SiteFamily kBabytreeFamily;
const SiteFamily kBabytreeFamily = {SITE_BABYTREE, "babytree", "宝宝树",           kFragments,
                                    Normalize,     kForms,     LT_BABYTREE_SECOND, "",
                                    kExamples,     kPages};

}  // namespace albumora
