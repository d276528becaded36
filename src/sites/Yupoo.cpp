// SPDX-License-Identifier: GPL-3.0-or-later
// Yupoo: an owner's albums on either host, or one album.
#include <array>
#include <climits>
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
  const char* mainHost = "www.yupoo.com";
  const char* mainOrigin = "http://www.yupoo.com";
  const char* secondHost = "v.yupoo.com";
  const char* secondOrigin = "http://v.yupoo.com";
  const char* userSuffix = ".v.yupoo.com";
  const char* domainMarker = ".yupoo.com";
};
constexpr Hosts kHosts;

// Every Yupoo page is fetched up to four times, four seconds apart, and an answer of 100 bytes or
// less counts as failed.
constexpr uint32_t kMinLen = 100;
constexpr uint8_t kTries = 4;
constexpr uint8_t kRetryPause = 4;
// The owner's pages are read only up to the footer.
constexpr const char* kFooter = "id=\"footer\">";
// Picture-list requests connect within 15 s (their reads keep 20 s).
constexpr uint32_t kPictureConnectTimeoutMs = 15000;

constexpr const char* kPasswordQuestion = "加密相册,是否输入密码";
constexpr const char* kLoginMessage = "请先在登录菜单里登录你的又拍帐号,登录时勾上下次自动登录";

constexpr const char* kSetCase = "class=\"set-case\">";
constexpr const char* kSetCaseOld = "class=\"SetCase";
constexpr const char* kPhotoItem = "photos['";

// What its pages must hold: an owner's album pages their album boxes (in either layout), one
// album's page its name, an album's detail pages their photo records, a zoom page the original.
constexpr const char* kOwnerMarkers[] = {"class=\"set-case\"> | class=\"SetCase"};
constexpr PageMarkers kOwnerAlbums = {PageKind::AlbumIndex, kOwnerMarkers,
                                      kYieldsAlbums | kYieldsNextPage};
constexpr const char* kSingleMarkers[] = {"class=\"albumOwner\"> | 的相册</a> /"};
constexpr PageMarkers kSingleAlbum = {PageKind::AlbumPage, kSingleMarkers, kYieldsAlbums};
constexpr const char* kDetailMarkers[] = {kPhotoItem};
constexpr PageMarkers kDetailPage = {PageKind::PictureListPage, kDetailMarkers,
                                     kYieldsPictures | kYieldsNextPage | kYieldsPages};
constexpr const char* kZoomMarkers[] = {"<img src=\""};
constexpr PageMarkers kZoomPage = {PageKind::PhotoPage, kZoomMarkers, 0};
constexpr std::array<const PageMarkers*, 4> kPages = {&kOwnerAlbums, &kSingleAlbum, &kDetailPage,
                                                      &kZoomPage};

PageOptions YupooPage() {
  PageOptions page;
  page.minLen = kMinLen;
  page.tries = kTries;
  page.retryPause = kRetryPause;
  return page;
}

// A count the page writes as digits; a negative number or nothing readable gives 0.
int32_t ReadCount(const std::string& text) {
  const long long value = ReadDecimal(text);
  if (value < 0) return 0;
  return value > INT_MAX ? INT_MAX : static_cast<int32_t>(value);
}

// The owner as the page title names him: "<title>" up to "的相册", after any "-" and "_".
std::string OwnerFromTitle(std::string& text, bool afterSeparators) {
  std::string owner = GetBetween(text, "<title>", "的相册", BT_CONSUME);
  if (afterSeparators) {
    CutBefore(owner, "-", true);
    CutBefore(owner, "_", true);
  }
  CleanFileName(owner, 0xFFFF, true);
  return owner;
}

// One album's own address: a single entry with the count its title gives.
void SingleAlbum(const std::string& address, ListContext& list) {
  Fetcher fetcher(CodePage::Utf8);
  PageOptions page = YupooPage();
  page.cutEnd = kFooter;
  std::string request = address;
  CutAt(request, "?");
  std::optional<std::string> answer = fetcher.Get(kSingleAlbum, request, page);
  if (!answer) return;
  std::string& text = *answer;
  list.Texts().strOwner = OwnerFromTitle(text, true);

  ST_PERLISTRECORD local;
  local.nFlags = 0;
  local.strName = GetBetween(text, "class=\"albumOwner\">", "</span>", BT_CONSUME);
  if (local.strName.empty()) local.strName = GetBetween(text, "的相册</a> /", "</", BT_CONSUME);
  if (Utf16Length(local.strName) > 300) return;
  local.nCount = ReadCount(GetBetween(text, "(", "张", BT_CONSUME));
  local.strAddr = request;
  local.strCover.clear();
  (void)list.Publish(local);
}

// An owner's album list, page by page until the disabled next-page link.
void OwnerAlbums(const std::string& address, ListContext& list) {
  Fetcher fetcher(CodePage::Utf8);
  PageOptions page = YupooPage();
  page.cutEnd = kFooter;
  const std::string linkOrigin =
      ContainsInside(address, kHosts.secondHost) ? kHosts.secondOrigin : kHosts.mainOrigin;
  std::string separator = kSetCase;
  ST_PERLISTRECORD local;

  ForPages(list, 1, [&](int n) {
    const std::string request = address + "page" + std::to_string(n) + "/";
    page.referer = request;
    std::optional<std::string> answer = fetcher.Get(kOwnerAlbums, request, page);
    if (!answer || answer->empty()) return false;
    std::string& text = *answer;
    const bool last = ContainsInside(text, "nextprev\">下一页");
    if (n == 1) {
      list.Texts().strOwner = OwnerFromTitle(text, false);
      if (CountOf(text, kSetCase) < 1) separator = kSetCaseOld;
    }
    bool stopped = false;
    const int pieces = ForPieces(list, text, separator, [&](std::string& piece) {
      local.nFlags = 0;
      local.strAddr = GetBetween(piece, "href=\"", "\"", BT_CONSUME);
      local.strCover = GetBetween(piece, "src_data=\"", "\"", BT_CONSUME);
      if (local.strCover.empty()) local.strCover = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
      local.strName = GetBetween(piece, "alt=\"", "\"", BT_CONSUME);
      local.nCount = ReadCount(GetBetween(piece, "<b>", "</b>", BT_CONSUME));
      if (local.nCount == 0)
        local.nCount = ReadCount(GetBetween(piece, "<strong>", "</strong>", BT_CONSUME));
      // The default cover stands for an album behind a password.
      if (ContainsInside(local.strCover, "default_set_photo.gif")) local.nFlags |= FLAG_ENCRYPTED;
      if (!Contains(local.strAddr, "http://")) local.strAddr = linkOrigin + local.strAddr;
      stopped = !list.Publish(local);
      return !stopped;
    });
    return pieces > 0 && !stopped && !last;
  });
}

// The album list: one album's address (an id after "albums/"), or an owner's list.
void AlbumList(const std::string& address, ListContext& list) {
  if (!GetBetweenCopy(address, "albums/", "/").empty()) {
    SingleAlbum(address, list);
  } else {
    OwnerAlbums(address, list);
  }
}

// The pictures of one album: the list in detail style, page by page, each picture taken in its
// original size from its zoom page.
void PictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  User& user = pictures.user();
  Fetcher fetcher(CodePage::Utf8);
  fetcher.Request().nTimeout = kPictureConnectTimeoutMs;
  PageOptions page = YupooPage();

  std::string base = album.strAddr;
  CutAt(base, "albums/");
  pictures.Texts().strSiteParam1 = base;

  ForPages(pictures, 1, [&](int n) {
    const std::string request = album.strAddr + "page" + std::to_string(n) + "/?style=detail";
    page.referer = request;
    std::optional<std::string> answer = fetcher.Get(kDetailPage, request, page);
    if (!answer || answer->empty()) return false;
    if (n == 1 && (album.nFlags & FLAG_ENCRYPTED) &&
        ContainsInside(*answer, "album_password\">访问密码")) {
      if (!user.AskYesNo(kPasswordQuestion, "提示")) return false;
      user.OpenLogin(request);
      answer = fetcher.Get(kDetailPage, request, page);
      if (!answer || answer->empty()) return false;
    }

    bool ended = false;
    const int pieces = ForPieces(pictures, *answer, kPhotoItem, [&](std::string& piece) {
      const std::string id = LeftOf(piece, "'");
      const std::string zoom = base + id + "/zoom/original/";
      std::string description = GetBetween(piece, "title:'", "'", BT_CONSUME);
      if (description.empty()) description = GetBetween(piece, "description:'", "'", BT_CONSUME);
      if (description.empty()) description = album.strName;
      std::string picture = GetBetween(piece, "src=\"", "\"", BT_CONSUME);

      PageOptions zoomPage = YupooPage();
      zoomPage.referer = zoom;
      if (std::optional<std::string> original = fetcher.Get(kZoomPage, zoom, zoomPage)) {
        if (Contains(*original, "无法查看该照片的原图")) {
          user.ShowMessage(kLoginMessage);
          ended = true;
          return false;
        }
        const std::string full = GetBetween(*original, "<img src=\"", "\"", BT_CONSUME);
        if (Contains(full, "http")) picture = full;
      }
      if (picture.empty()) return true;
      ended = !pictures.AddPicture(picture, description, std::string());
      return !ended;
    });
    // No next-page marker: the pages end with one that fails or lists no photo.
    return pieces > 0 && !ended;
  });
}

ListPlan Normalize(std::string addr) {
  ReplaceAll(addr, "/collections/", "/albums/");
  if (ContainsInside(addr, kHosts.userSuffix)) {
    CutAfter(addr, "http://");
    CutAt(addr, ".v");
    addr = std::string(kHosts.secondOrigin) + "/photos/" + addr + "/albums/";
  } else if (Contains(addr, kHosts.secondOrigin) ||
             Contains(addr, std::string(kHosts.mainHost) + "/")) {
    CutAt(addr, "page");
  } else {
    CutAfter(addr, "http://");
    CutAt(addr, kHosts.domainMarker);
    addr = std::string(kHosts.mainOrigin) + "/photos/" + addr + "/albums/";
  }
  return OneCall(LT_NONE, addr);
}

constexpr std::array<const char*, 1> kFragments = {"yupoo.com/"};

constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "Yupoo albums", AlbumList, PictureList},
}};

constexpr std::array<std::pair<const char*, int>, 3> kExamples = {{
    {"http://www.yupoo.com/photos/someone/albums/", LT_NONE},
    {"http://someone.v.yupoo.com/", LT_NONE},
    {"http://www.yupoo.com/photos/someone/collections/12345/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kYupooFamily;
const SiteFamily kYupooFamily = {
    SITE_YUPOO, "yupoo", "又拍网", kFragments,
    Normalize,  kForms,  LT_NONE,  "http://www.yupoo.com/account/login/",
    kExamples,  kPages};

}  // namespace albumora
