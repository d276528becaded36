// SPDX-License-Identifier: GPL-3.0-or-later
// POCO: member albums and post lists.
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
  const char* memberHost = "http://my.poco.cn";
};
constexpr Hosts kHosts;

// Every listing of the site links its further page with this title.
constexpr const char* kNextPage = "title=\"下一页\">";
constexpr const char* kImageBox = "class=\"img_box\">";
constexpr const char* kPostTitle = "class=\"title\">";

// What its pages must hold: a member's album index and an album's list pages hold image boxes,
// a post listing its titled links. A post's page takes its pictures in either of two forms, so
// no one marker must be there.
constexpr const char* kImageBoxMarkers[] = {kImageBox};
constexpr PageMarkers kAlbumIndex = {PageKind::AlbumIndex, kImageBoxMarkers,
                                     kYieldsAlbums | kYieldsNextPage};
constexpr PageMarkers kPictureListPage = {PageKind::PictureListPage, kImageBoxMarkers,
                                          kYieldsPictures | kYieldsNextPage};
constexpr const char* kPostListMarkers[] = {kPostTitle};
constexpr PageMarkers kPostList = {PageKind::AlbumIndex, kPostListMarkers,
                                   kYieldsAlbums | kYieldsNextPage};
constexpr PageMarkers kPostPage = {PageKind::AlbumPage, {}, kYieldsPictures};
constexpr std::array<const PageMarkers*, 4> kPages = {&kAlbumIndex, &kPictureListPage, &kPostList,
                                                      &kPostPage};

void SetOwner(std::string& page, JobTexts& texts) {
  std::string owner = GetBetween(page, "userName:'", "'", BT_CONSUME);
  CleanFileName(owner, 0xFFFF, true);
  texts.strOwner = owner;
}

// A member's albums (the member id), every page of them. Counts are never given.
void AlbumList(const std::string& memberId, ListContext& list) {
  Fetcher fetcher(CodePage::Gbk);
  ST_PERLISTRECORD local;
  bool stopped = false;
  ForPages(list, 1, [&](int n) {
    // The path goes on with "&", as the site writes it.
    std::optional<std::string> answer =
        fetcher.Get(kAlbumIndex, std::string(kHosts.memberHost) +
                                     "/album/album_show_all.htx&user_id=" + memberId +
                                     "&p=" + std::to_string(n));
    if (!answer || answer->empty()) return false;
    std::string& text = *answer;
    const bool more = Contains(text, kNextPage);
    if (n == 1) SetOwner(text, list.Texts());
    ForPieces(list, text, kImageBox, [&](std::string& piece) {
      local.nCount = -1;
      local.nFlags = 0;
      // The first quoted text names the album's opening action; a password album's holds "pwd".
      const std::string action = GetBetween(piece, "'", "'", BT_CONSUME);
      if (ContainsInside(action, "pwd")) local.nFlags |= FLAG_ENCRYPTED;
      const std::string setHash = GetBetween(piece, ", '", "'", BT_CONSUME);
      local.strAddr = std::string(kHosts.memberHost) +
                      "/album/album_show_photo_list.php?user_id=" + memberId +
                      "&set_hash=" + setHash;
      local.strCover = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
      local.strName = GetBetween(piece, "title=\"", "\"", BT_CONSUME);
      if (local.strName.empty()) return true;
      stopped = !list.Publish(local);
      return !stopped;
    });
    return more && !stopped;
  });
}

// The pictures of one album, every page; the listed thumbnails name the full-size files.
void PictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  Fetcher fetcher(CodePage::Gbk);
  ForPages(pictures, 1, [&](int n) {
    std::optional<std::string> answer =
        fetcher.Get(kPictureListPage, album.strAddr + "&do=Plist&p=" + std::to_string(n));
    if (!answer || answer->empty()) return false;
    const bool more = Contains(*answer, kNextPage);
    bool ended = false;
    const int pieces = ForPieces(pictures, *answer, kImageBox, [&](std::string& piece) {
      std::string picture = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
      ReplaceAll(picture, "_165.", ".");
      std::string description = Trim(GetBetween(piece, "title=\"", "\"", BT_CONSUME));
      if (description.empty()) description = album.strName;
      ended = !pictures.AddPicture(picture, description, std::string());
      return !ended;
    });
    return pieces > 0 && more && !ended;
  });
}

// Any other listing: every titled post link is an album, without cover or count.
void PostAlbumList(const std::string& listing, ListContext& list) {
  Fetcher fetcher(CodePage::Gbk);
  ST_PERLISTRECORD local;
  bool stopped = false;
  ForPages(list, 1, [&](int n) {
    std::optional<std::string> answer = fetcher.Get(kPostList, listing + "&p=" + std::to_string(n));
    if (!answer || answer->empty()) return false;
    std::string& text = *answer;
    const bool more = Contains(text, kNextPage);
    if (n == 1) SetOwner(text, list.Texts());
    ForPieces(list, text, kPostTitle, [&](std::string& piece) {
      local.nCount = -1;
      local.nFlags = 0;
      local.strAddr = GetBetween(piece, "href=\"", "\"", BT_CONSUME);
      local.strCover.clear();
      local.strName = GetBetween(piece, ">", "</", BT_CONSUME);
      if (local.strName.empty()) return true;
      stopped = !list.Publish(local);
      return !stopped;
    });
    return more && !stopped;
  });
}

// The pictures of one post: its one page; the original-size addresses when the page names them,
// else every single-quoted source.
void PostPictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  Fetcher fetcher(CodePage::Gbk);
  std::optional<std::string> answer = fetcher.Get(kPostPage, album.strAddr);
  if (!answer || answer->empty()) return;
  const std::string description = album.strName;
  const char* separator = CountOf(*answer, "originPhoto:'") >= 1 ? "originPhoto:'" : "src='";
  ForPieces(pictures, *answer, separator, [&](std::string& piece) {
    return pictures.AddPicture(LeftOf(piece, "'"), description, std::string());
  });
}

ListPlan Normalize(std::string addr) {
  if (ContainsInside(addr, "/album") || ContainsInside(addr, "/theme")) {
    CutAfter(addr, "user_id-");
    CutAfter(addr, "user_id=");
    CutAt(addr, "&");
    CutAt(addr, ".");
    return OneCall(LT_POCO_ALBUM, addr);
  }
  ReplaceAll(addr, "p=", "zrk=");
  return OneCall(LT_POCO_POSTS, addr);
}

constexpr std::array<const char*, 1> kFragments = {"poco.cn/"};

constexpr std::array<ListForm, 2> kForms = {{
    {LT_POCO_ALBUM, "POCO albums", AlbumList, PictureList},
    {LT_POCO_POSTS, "POCO post lists", PostAlbumList, PostPictureList},
}};

constexpr std::array<std::pair<const char*, int>, 2> kExamples = {{
    {"http://my.poco.cn/album/album_list.php?user_id=30003", LT_POCO_ALBUM},
    {"http://my.poco.cn/blog_v2/?user_id=30003&p=1", LT_POCO_POSTS},
}};

}  // namespace

extern const SiteFamily kPocoFamily;
const SiteFamily kPocoFamily = {SITE_POCO, "poco",      "POCO摄影", kFragments, Normalize,
                                kForms,    kNoFallback, "",         kExamples,  kPages};

}  // namespace albumora
