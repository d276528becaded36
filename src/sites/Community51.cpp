// SPDX-License-Identifier: GPL-3.0-or-later
// The 51 community site's member albums.
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
  const char* memberOrigin = "http://photo.51.com";
};
constexpr Hosts kHosts;

ListPlan Normalize(std::string addr) {
  if (Contains(addr, "http://")) {
    CutAfter(addr, "com/");
    CutAt(addr, "/");
  }
  ListPlan plan = OneCall(LT_NONE, addr);
  plan.calls[0].ownerBefore = addr;
  return plan;
}

// The site's answer when it throttles.
constexpr const char* kTryLater = "请稍候再试";

constexpr const char* kItem = "\"id\":\"";
constexpr const char* kRows = "\"rows\":";

// What its pages must hold: the groups answer and a group's photo answer are script data whose
// items begin with an id field (the photos after the rows field).
constexpr const char* kGroupMarkers[] = {kItem};
constexpr PageMarkers kGroupsAnswer = {PageKind::ScriptAnswer, kGroupMarkers, kYieldsAlbums};
constexpr const char* kPhotoMarkers[] = {kRows, kItem};
constexpr PageMarkers kPhotosAnswer = {PageKind::ScriptAnswer, kPhotoMarkers,
                                       kYieldsPictures | kYieldsNextPage};
constexpr std::array<const PageMarkers*, 2> kPages = {&kGroupsAnswer, &kPhotosAnswer};

// The request of both lists: the throttling answer counts as a failed attempt (its bytes as the
// site sends them, GBK), 15 s to connect.
Fetcher SiteFetcher() {
  Fetcher fetcher;
  fetcher.Request().nTimeout = 15000;
  return fetcher;
}

PageOptions Throttled(uint8_t tries, uint8_t pause) {
  PageOptions options;
  options.retryMark = WideToGbk(kTryLater);
  options.tries = tries;
  options.retryPause = pause;
  return options;
}

std::string DataAddress(const std::string& member, const std::string& query) {
  return std::string(kHosts.memberOrigin) + "/?u=" + member + "&c=photo&a=getdata&" + query;
}

// All of a member's groups in one answer.
void AlbumList(const std::string& member, ListContext& list) {
  list.Texts().strSiteParam1 = member;
  Fetcher fetcher = SiteFetcher();
  std::optional<std::string> answer =
      fetcher.Get(kGroupsAnswer, DataAddress(member, "gid=0&total=0"), Throttled(1, 1));
  if (!answer || answer->empty()) return;
  std::string& text = *answer;
  if (ContainsInside(text, kTryLater)) list.user().ShowMessage(text);
  TruncAt(text, "}]");
  ST_PERLISTRECORD local;
  ForPieces(list, text, kItem, [&](std::string& piece) {
    local.nFlags = 0;
    local.strCover.clear();
    local.strAddr = LeftOf(piece, "\"");
    local.strName = UnescapeUnicode(GetBetween(piece, "name\":\"", "\"", BT_CONSUME));
    if (local.strName.empty()) return true;
    if (GetBetween(piece, "hide\":\"", "\"", BT_CONSUME) == "2") local.nFlags |= FLAG_ENCRYPTED;
    local.nCount = static_cast<int32_t>(
        static_cast<uint32_t>(ReadDecimal(GetBetween(piece, "count\":\"", "\"", BT_CONSUME))));
    return list.Publish(local);
  });
}

// A group's photos, page by page until a page has none.
void PictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  const std::string member = pictures.Texts().strSiteParam1;
  User& user = pictures.user();
  Fetcher fetcher = SiteFetcher();
  const PageOptions options = Throttled(3, 10);
  ForPages(pictures, 1, [&](int page) {
    const std::string address =
        DataAddress(member, "gid=" + album.strAddr + "&page=" + std::to_string(page));
    std::optional<std::string> answer = fetcher.Get(kPhotosAnswer, address, options);
    if (!answer || answer->empty()) return false;
    if (page == 1 && (album.nFlags & FLAG_ENCRYPTED) && ContainsInside(*answer, "putpass\":\"1")) {
      if (!user.AskYesNo("加密相册,是否输入密码", "提示")) return false;
      user.OpenLogin(std::string(kHosts.memberOrigin) + "/" + member + "/photo/group/" +
                     album.strAddr);
      answer = fetcher.Get(kPhotosAnswer, address, options);
      if (!answer || answer->empty()) return false;
    }
    std::string& text = *answer;
    if (CutBefore(text, kRows, true) < 0) return false;
    bool stopped = false;
    const int items = ForPieces(pictures, text, kItem, [&](std::string& piece) {
      std::string description =
          UnescapeUnicode(GetBetween(piece, "\"title\":\"", "\"", BT_CONSUME));
      const std::string picture = Unslash(GetBetween(piece, "big\":\"", "\"", BT_CONSUME));
      if (pictures.Naming().byNameMode == 0 && description.ends_with("..")) {
        const std::string photoPage =
            kHosts.memberOrigin + Unslash(GetBetween(piece, "url\":\"", "\"", BT_CONSUME));
        if (std::optional<std::string> photo = fetcher.Get(photoPage, options)) {
          if (ContainsInside(*photo, kTryLater)) user.ShowMessage(*photo);
          const std::string title = GetBetweenCopy(*photo, "\"photo_view_title\">", "</");
          if (!title.empty()) description = title;
        }
      }
      if (description.empty()) description = album.strName;
      stopped = !pictures.AddPicture(picture, description, std::string());
      return !stopped;
    });
    if (items == 0) {
      if (ContainsInside(text, kTryLater)) user.ShowMessage(text);
      return false;
    }
    return !stopped;
  });
}

constexpr std::array<const char*, 1> kFragments = {"51.com/"};

constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "51 albums", AlbumList, PictureList},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://photo.51.com/someone/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kCommunity51Family;
const SiteFamily kCommunity51Family = {SITE_51, "51",    "51相册", kFragments, Normalize,
                                       kForms,  LT_NONE, "",       kExamples,  kPages};

}  // namespace albumora
