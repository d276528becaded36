// SPDX-License-Identifier: GPL-3.0-or-later
// Qzone: personal albums (the route lookup, the album list with its two refusals, the picture
// list with its two services and album passwords), group albums and Tencent Weibo albums.
#include <array>
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "net/CookieStore.h"
#include "sites/Family.h"
#include "sites/Fetch.h"
#include "sites/Walk.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and fragments.
struct QzoneHosts {
  const char* personalFragment = "user.qzone.qq.com";
  const char* personalOrigin = "http://user.qzone.qq.com";
  const char* routeHost = "route.store.qq.com";
  const char* groupFragment = "qun.qzone.qq.com";
  const char* groupOrigin = "http://qun.qzone.qq.com";
  const char* groupPhotoHost = "http://qun.photo.qq.com";
  const char* weiboOrigin = "http://t.qq.com";
  const char* weiboApiOrigin = "http://api.t.qq.com";
  const char* weiboApiHost = "api.t.qq.com";
};
constexpr QzoneHosts kHosts;

constexpr const char* kPersonalAlbum = "\"id\" : \"";
constexpr const char* kPersonalPhoto = "\"batchId\"";
constexpr const char* kGroupAlbum = "\"coverurl\" : \"";
constexpr const char* kGroupPhoto = "\"bheight\"";
constexpr const char* kWeiboAlbum = "\"num\"";
constexpr const char* kWeiboPhoto = "{\"id\":\"";

// What its pages must hold: every list is a script answer whose records begin with a field of
// their own (a refusal or a login page has its own message).
constexpr const char* kPersonalAlbumMarkers[] = {kPersonalAlbum};
constexpr const char* kNoAlbum[] = {"\"albumsInUser\":0 | \"albumsInUser\" : 0"};
constexpr PageMarkers kPersonalAlbums = {PageKind::ScriptAnswer, kPersonalAlbumMarkers,
                                         kYieldsAlbums, kNoAlbum};
constexpr const char* kPersonalPhotoMarkers[] = {kPersonalPhoto};
constexpr PageMarkers kPersonalPhotos = {PageKind::ScriptAnswer, kPersonalPhotoMarkers,
                                         kYieldsPictures};
constexpr const char* kGroupAlbumMarkers[] = {kGroupAlbum};
// A visitor who is not logged in is refused: the family's message follows the empty list.
constexpr const char* kNotLoggedIn[] = {"message\":\"对不起，您尚未登录"};
constexpr PageMarkers kGroupAlbums = {PageKind::ScriptAnswer, kGroupAlbumMarkers,
                                      kYieldsAlbums | kYieldsNextPage, kNotLoggedIn};
constexpr const char* kGroupPhotoMarkers[] = {kGroupPhoto};
constexpr PageMarkers kGroupPhotos = {PageKind::ScriptAnswer, kGroupPhotoMarkers,
                                      kYieldsPictures | kYieldsNextPage};
constexpr const char* kWeiboAlbumMarkers[] = {kWeiboAlbum};
constexpr PageMarkers kWeiboAlbums = {PageKind::ScriptAnswer, kWeiboAlbumMarkers,
                                      kYieldsAlbums | kYieldsNextPage};
constexpr const char* kWeiboPhotoMarkers[] = {kWeiboPhoto};
constexpr PageMarkers kWeiboPhotos = {PageKind::ScriptAnswer, kWeiboPhotoMarkers,
                                      kYieldsPictures | kYieldsNextPage};
constexpr std::array<const PageMarkers*, 6> kPages = {
    &kPersonalAlbums, &kPersonalPhotos, &kGroupAlbums, &kGroupPhotos, &kWeiboAlbums, &kWeiboPhotos};

constexpr const char* kEmptyListMessage =
    "1、没有获取到相册，可能是因为空间不是公开的，可以先在登录菜单里登录你有访问权限的QQ号后重试\n"
    "\n"
    "2、下载QQ空间相册请直接输入QQ号进行下载\n\n"
    "3、下载群相册请输入群空间网址或者群相册网址进行下载\n\n"
    "4、下载腾讯微博相册，请输入那个人的主页网址进行下载";

std::string PersonalOrigin() { return kHosts.personalOrigin; }

std::string PersonalReferer(const std::string& account) { return PersonalOrigin() + "/" + account; }

int32_t FlagsOfPriv(const std::string& priv) {
  if (Contains(priv, "3")) return FLAG_PRIVATE;
  if (Contains(priv, "4") || Contains(priv, "6")) return FLAG_FRIENDS;
  if (Contains(priv, "5")) return FLAG_ENCRYPTED;
  return 0;
}

// The owner's account number of an album ("hostUin=%s&albumid=%s").
std::string OwnerOfAlbum(const std::string& albumAddr) {
  return GetBetweenCopy(albumAddr + "&", "hostUin=", "&");
}

// The album list of one account number (list type 0). Leaves the picture-list host in
// strSiteParam1 and the album-view host in strSiteParam2.
void PersonalAlbumList(const std::string& account, ListContext& list) {
  User& user = list.user();
  JobTexts& texts = list.Texts();
  Fetcher fetcher;
  PageOptions page;
  page.referer = PersonalReferer(account);

  // Which hosts serve this account.
  std::optional<std::string> routeText =
      fetcher.Get(std::string("http://") + kHosts.routeHost + "/GetRoute?UIN=" + account +
                      "&version=2&type=json",
                  page);
  if (!routeText) {
    user.ShowMessage("QQ空间相册错误1");
    return;
  }
  std::string& route = *routeText;
  const std::string network = GetBetween(route, "default\":\"", "\"", BT_CONSUME);
  CutBefore(route, network + "\":", true);
  texts.strSiteParam2 = GetBetween(route, "\"nu\":\"", "\"", BT_CONSUME);
  std::string listHost = GetBetween(route, "\"p\":\"", "\"", BT_CONSUME);
  ReplaceAll(listHost, "sznewp", "alist");
  ReplaceAll(listHost, "xanewp", "xalist");

  const uint32_t token = ComputeGtk(CookieValue(GetCookies(PersonalOrigin() + "/"), "skey"));
  // The cache-busting fraction keeps its line feed: the engine sends it as "%0A".
  const std::string address = "http://" + listHost +
                              "/fcgi-bin/fcg_list_album_v2?hostUin=" + account +
                              "&format=jsonp&plat=qzone&source=qzone&t=" + RandomFraction() +
                              "&g_tk=" + std::to_string(token);

  // The picture-list host, read on in the route answer.
  std::string pictureHost = GetBetween(route, "\"s\":\"", "\"", BT_CONSUME);
  ReplaceAll(pictureHost, "static", "plist");
  texts.strSiteParam1 = pictureHost;

  // An address without host fails as a fetch would (the engine would read "http:///x" as the
  // host "x").
  std::optional<std::string> answer;
  if (!listHost.empty()) answer = fetcher.Get(kPersonalAlbums, address, page);
  if (!answer) {
    user.ShowMessage("对不起，网络繁忙，请稍后再试！");
    return;
  }
  const std::string& text = *answer;
  if (text.empty()) return;

  // Refusals: too many requests, or a space not open to this visitor.
  if (ContainsInside(text, "\"msg\" : \"")) {
    const std::string msg = GetBetweenCopy(text, "\"msg\" : \"", "\"");
    // The frequency text is looked for anywhere in the message, its start included.
    if (Contains(msg, "您的操作过于频繁")) {
      user.ShowMessage(msg);
      return;
    }
    if (user.AskYesNo("加密或非公开空间，是否进行身份验证?\n(验证成功后请重新获取相册列表)",
                      "提示")) {
      user.OpenLogin(PersonalReferer(account));
    }
    return;
  }

  ST_PERLISTRECORD local;
  ForPieces(list, text, kPersonalAlbum, [&](std::string& piece) {
    local.nFlags = 0;
    const std::string id = LeftOf(piece, "\"");
    local.strAddr = "hostUin=" + account + "&albumid=" + id;
    local.strName = GetBetween(piece, "\"name\" : \"", "\"", BT_CONSUME);
    if (local.strName.empty()) return true;
    local.strCover = Unslash(GetBetween(piece, "\"pre\" : \"", "\"", BT_CONSUME));
    local.nFlags = FlagsOfPriv(GetBetween(piece, "\"priv\" :", ",", BT_CONSUME));
    local.nCount =
        static_cast<int32_t>(ReadDecimal(GetBetween(piece, "\"total\" :", ",", BT_CONSUME)));
    return list.Publish(local);
  });
}

// The pictures of one personal album, handed on as "full\r\npreview".
void PersonalPictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  User& user = pictures.user();
  const JobTexts& texts = pictures.Texts();
  Fetcher fetcher;
  // The Referer names the owner's space. The album knows its owner; the address box may hold a
  // whole address or something typed after the list was made.
  std::string owner = OwnerOfAlbum(album.strAddr);
  if (owner.empty()) owner = Trim(user.AddressText());
  PageOptions page;
  page.referer = PersonalReferer(owner);

  bool second = false;
  for (;;) {
    const std::string cookies = GetCookies(PersonalOrigin() + "/");
    const uint32_t token = ComputeGtk(CookieValue(cookies, "skey"));
    std::string uin = CookieValue(cookies, "uin");
    ReplaceAll(uin, "o", "");

    const std::string query =
        album.strAddr + "&t=" + RandomFraction() + "&g_tk=" + std::to_string(token) + "&uin=" + uin;
    std::string address;
    if (second || album.nFlags != 0) {
      address = "http://" + texts.strSiteParam2 +
                "/cgi-bin/common/cgi_view_album_v2?inCharset=gbk&outCharset=gbk&format=jsonp"
                "&plat=qzone&source=qzone&" +
                query;
      ReplaceAll(address, "albumid=", "albumId=");
    } else {
      address = "http://" + texts.strSiteParam1 +
                "/fcgi-bin/fcg_list_photo_v2?inCharset=gbk&outCharset=gbk&format=jsonp"
                "&plat=qzone&source=qzone&" +
                query;
    }
    std::optional<std::string> answer = fetcher.Get(kPersonalPhotos, address, page);
    if (!answer || answer->empty()) return;

    // An encrypted album asks for its password on the album page, then is read again.
    if (ContainsInside(*answer, "\"message\":\"对不起") && (album.nFlags & FLAG_ENCRYPTED) &&
        user.AskYesNo("加密相册，是否输入密码？", "提示")) {
      std::string albumPage = album.strAddr;
      ReplaceAll(albumPage, "hostUin=", "");
      ReplaceAll(albumPage, "&albumid=", "/photo/");
      user.OpenLogin(PersonalOrigin() + "/" + albumPage);
      answer = fetcher.Get(kPersonalPhotos, address, page);
      if (!answer || answer->empty()) return;
    }

    const int count = ForPieces(pictures, *answer, kPersonalPhoto, [&](std::string& piece) {
      const std::string description = GetBetween(piece, "\"name\" : \"", "\"", BT_CONSUME);
      const std::string full = Unslash(GetBetween(piece, "\"origin_url\" : \"", "\"", BT_CONSUME));
      std::string preview = Unslash(GetBetween(piece, "\"pre\" : \"", "\"", BT_CONSUME));
      ReplaceAll(preview, "/a/", "/b/");
      return pictures.AddPicture(full + "\r\n" + preview, description, std::string());
    });
    if (count > 0) return;
    if (Contains(address, "/cgi-bin/common") || second) return;
    second = true;
  }
}

// ---- Group albums (list type 1): the photo interface host answers both lists as JSONP in UTF-8.

// The group list's interface address for one page of albums.
std::string GroupAlbumPage(const std::string& group, const std::string& account, int start,
                           uint32_t token) {
  return std::string(kHosts.groupPhotoHost) + "/cgi-bin/upp/qun_list_album_v2?qunId=" + group +
         "&uin=" + account + "&hostUin=" + account + "&start=" + std::to_string(start) +
         "&num=12&userInfo=1&format=jsonp&platform=qzone&inCharset=utf-8&outCharset=utf-8"
         "&source=jsapi&g_tk=" +
         std::to_string(token);
}

// The albums of one group number. The logged-in account is left in strSiteParam1; each album
// carries the group, its id, the account and the token for its picture list.
void GroupAlbumList(const std::string& group, ListContext& list) {
  const std::string cookies = GetCookies(kHosts.groupOrigin) + ";";
  const uint32_t token = ComputeGtk(GetBetweenCopy(cookies, " skey=", ";"));
  std::string account = GetBetweenCopy(cookies, "guin=o", ";");
  // The cookie writes the number with a leading "o" and one padding zero.
  if (account.starts_with("0")) account.erase(0, 1);
  list.Texts().strSiteParam1 = account;

  Fetcher fetcher(CodePage::Utf8);
  ST_PERLISTRECORD local;
  ForPages(list, 1, [&](int page) {
    const std::optional<std::string> answer =
        fetcher.Get(kGroupAlbums, GroupAlbumPage(group, account, (page - 1) * 12, token));
    if (!answer || answer->empty()) return false;
    const std::string& text = *answer;
    // A visitor who is not logged in.
    if (ContainsInside(text, "message\":\"对不起，您尚未登录")) return false;
    bool more = true;
    const int count = ForPieces(list, text, kGroupAlbum, [&](std::string& piece) {
      local.nFlags = 0;
      local.strCover = Unslash(LeftOf(piece, "\""));
      const std::string id = GetBetweenCopy(piece, "\"id\" : \"", "\"");
      local.strAddr = "qunId=" + group + "&albumId=" + id + "&uin=" + account +
                      "&g_tk=" + std::to_string(token);
      local.strName = GetBetweenCopy(piece, "\"title\" : \"", "\"");
      if (local.strName.empty()) return true;
      local.nCount =
          static_cast<int32_t>(ReadDecimal(GetBetween(piece, "\"photocnt\" :", ",", BT_CONSUME)));
      more = list.Publish(local);
      return more;
    });
    return count > 0 && more;
  });
}

// The pictures of one group album, 15 to a page, in their largest listed size.
void GroupPictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  Fetcher fetcher(CodePage::Utf8);
  ForPages(pictures, 1, [&](int page) {
    const std::string address =
        std::string(kHosts.groupPhotoHost) +
        "/cgi-bin/upp/qun_list_photo_v2?getCommentCnt=5&format=jsonp&platform=qzone"
        "&inCharset=utf-8&outCharset=utf-8&source=jsapi&" +
        album.strAddr + "&t=" + RandomFraction() + "&start=" + std::to_string((page - 1) * 15) +
        "&num=15";
    const std::optional<std::string> answer = fetcher.Get(kGroupPhotos, address);
    if (!answer || answer->empty()) return false;
    bool more = true;
    const int count = ForPieces(pictures, *answer, kGroupPhoto, [&](std::string& piece) {
      std::string url = GetBetweenCopy(piece, "\"rawurl\" : \"", "\"");
      if (url.empty()) url = GetBetweenCopy(piece, "\"hdurl\" : \"", "\"");
      if (url.empty()) {
        const std::string base = GetBetweenCopy(piece, "\"burl\" : \"", "\"");
        // A record without any address has nothing to download (not the bare size "/800").
        if (base.empty()) return true;
        url = base + "/800";
      }
      url = Unslash(std::move(url));
      ReplaceAll(url, "/200/", "/");
      ReplaceAll(url, "/200?", "/800?");
      const std::string description = GetBetween(piece, "\"name\" : \"", "\"", BT_CONSUME);
      more = pictures.AddPicture(url, description, std::string());
      return more;
    });
    return count > 0 && more;
  });
}

// ---- Tencent Weibo albums (list type 2): the photo page names the numeric id; the API host's
// asynchronous interface answers albums and pictures as JSON in UTF-8.

// The clock reading some requests carry: the process's processor clock in milliseconds.
uint32_t ClockReading() {
  return static_cast<uint32_t>(static_cast<unsigned long long>(std::clock()) * 1000ULL /
                               CLOCKS_PER_SEC);
}

PageOptions WeiboPage() {
  PageOptions page;
  page.referer = std::string(kHosts.weiboApiOrigin) + "/proxy.html";
  return page;
}

// The interface's fixed tail: the percent-encoded API origin and a request stamp.
std::string WeiboApiTail(const char* stamp) {
  return std::string("&apiType=14&apiHost=http%3A%2F%2F") + kHosts.weiboApiHost + "&_r=" + stamp +
         "&g_tk=";
}

// The topic albums of one account name. Leaves the numeric id in strSiteParam1.
void WeiboAlbumList(const std::string& name, ListContext& list) {
  JobTexts& texts = list.Texts();
  Fetcher fetcher(CodePage::Utf8);
  const PageOptions page = WeiboPage();
  std::optional<std::string> home =
      fetcher.Get(std::string(kHosts.weiboOrigin) + "/app/qzphoto/" + name + "?preview", page);
  if (!home || home->empty()) return;
  CutBefore(*home, "MI.App.guest", true);
  texts.strSiteParam1 = GetBetween(*home, "uin\":\"", "\"", BT_CONSUME);

  ST_PERLISTRECORD local;
  ForPages(list, 1, [&](int n) {
    // The token of this request is the clock reading, as the site's own page sends it.
    const std::string address = std::string(kHosts.weiboApiOrigin) +
                                "/asyn/gettopicalbum.php?op=1&uin=" + texts.strSiteParam1 +
                                "&page=" + std::to_string(n) + "&n=12" +
                                WeiboApiTail("1382084292800") + std::to_string(ClockReading());
    const std::optional<std::string> answer = fetcher.Get(kWeiboAlbums, address, page);
    if (!answer || answer->empty()) return false;
    bool more = true;
    const int count = ForPieces(list, *answer, kWeiboAlbum, [&](std::string& piece) {
      local.nFlags = 0;
      local.nCount = static_cast<int32_t>(ReadDecimal(GetBetween(piece, ":", ",", BT_CONSUME)));
      local.strName = UnescapeUnicode(GetBetween(piece, "name\":\"", "\",\"", BT_CONSUME));
      const std::string kind = GetBetween(piece, "\"type\":\"", "\"", BT_CONSUME);
      if (!kind.empty()) {
        local.strAddr = kind;
        local.nCount = -1;
      } else {
        local.strAddr = GetBetween(piece, "\"topicid\":\"", "\"", BT_CONSUME);
      }
      if (local.strAddr.empty() || local.strName.empty()) return true;
      // An album without an image has no cover (not the bare size "/240").
      const std::string image = Unslash(GetBetween(piece, "image\":[\"", "\"", BT_CONSUME));
      local.strCover = image.empty() ? std::string() : image + "/240";
      more = list.Publish(local);
      return more;
    });
    return count > 0 && more;
  });
}

// A picture's description: the first "content" of the record, unescaped and without tags.
std::string WeiboContent(std::string& piece) {
  std::string content =
      StripTags(UnescapeUnicode(GetBetween(piece, "content\":\"", "\",\"", BT_CONSUME)));
  return Unslash(std::move(content));
}

// The pictures of one topic album, 24 to a page; from the second page on the request carries
// the time and account of the previous page's last picture.
void WeiboPictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  const JobTexts& texts = pictures.Texts();
  Fetcher fetcher(CodePage::Utf8);
  const PageOptions page = WeiboPage();
  std::string suffix;
  ForPages(pictures, 1, [&](int n) {
    std::string address = std::string(kHosts.weiboApiOrigin) +
                          "/asyn/gettopicalbum.php?op=2&uin=" + texts.strSiteParam1 +
                          "&page=" + std::to_string(n) + "&n=24&topicid=" + album.strAddr +
                          WeiboApiTail("1382325110273") + "7305182";
    if (n > 1) address += suffix;
    const std::optional<std::string> answer = fetcher.Get(kWeiboPhotos, address, page);
    if (!answer || answer->empty()) return false;
    bool more = true;
    const int count = ForPieces(pictures, *answer, kWeiboPhoto, [&](std::string& piece) {
      std::string description = WeiboContent(piece);
      const std::string url = Unslash(GetBetween(piece, "image\":[\"", "\"", BT_CONSUME)) + "/2000";
      suffix = "&time=" + GetBetween(piece, "realtime\":", ",", BT_CONSUME) +
               "&r=" + std::to_string(ClockReading()) + "&u=" + texts.strSiteParam2;
      // A repost's own text may be empty: the next "content" is the reposted one.
      if (description.empty()) description = WeiboContent(piece);
      if (description.empty()) description = album.strName;
      more = pictures.AddPicture(url, description, std::string());
      return more;
    });
    return count > 0 && more;
  });
}

// What the album-list job does with a typed Qzone, group or Tencent Weibo address.
ListPlan Normalize(std::string addr) {
  ListPlan plan;
  plan.emptyMessage = kEmptyListMessage;
  const bool typedAddress = Contains(addr, "http://");
  const bool personal = !typedAddress || ContainsInside(addr, kHosts.personalFragment);
  if (personal) {
    CutAfter(addr, "com/");
    CutAt(addr, "?");
    CutAt(addr, "#");
    AdapterCall call;
    call.nListType = LT_QZONE_PERSONAL;
    call.address = addr;
    call.ownerAfter = addr;
    plan.calls.push_back(std::move(call));
  } else if (Contains(addr, std::string(kHosts.weiboOrigin) + "/")) {
    CutAfter(addr, ".com/");
    CutAfter(addr, "hoto/");
    CutAt(addr, "/");
    CutAt(addr, "?");
    AdapterCall call;
    call.nListType = LT_TENCENT_WEIBO;
    call.address = addr;
    call.siteParam2 = addr;
    call.ownerBefore = addr;
    plan.calls.push_back(std::move(call));
  }
  // The group albums: for a group-space address, and for any Qzone input that gave nothing.
  const bool groupAddress = ContainsInside(addr, kHosts.groupFragment);
  CutAfter(addr, "!/");
  CutAt(addr, "/");
  CutAt(addr, "?");
  CutAt(addr, "#");
  AdapterCall group;
  group.nListType = LT_QZONE_GROUP;
  group.address = addr;
  group.onlyWhenEmpty = !groupAddress;
  group.ownerBefore = addr;
  plan.calls.push_back(std::move(group));
  return plan;
}

constexpr std::array<const char*, 1> kFragments = {"qq.com/"};

constexpr std::array<ListForm, 3> kForms = {{
    {LT_QZONE_PERSONAL, "Qzone personal albums", PersonalAlbumList, PersonalPictureList},
    {LT_QZONE_GROUP, "Qzone group albums", GroupAlbumList, GroupPictureList},
    {LT_TENCENT_WEIBO, "Tencent Weibo albums", WeiboAlbumList, WeiboPictureList},
}};

constexpr std::array<std::pair<const char*, int>, 4> kExamples = {{
    {"10001", LT_QZONE_PERSONAL},
    {"http://user.qzone.qq.com/10001#!/photo", LT_QZONE_PERSONAL},
    {"http://qun.qzone.qq.com/group#!/20002/photo", LT_QZONE_GROUP},
    {"http://t.qq.com/someone", LT_TENCENT_WEIBO},
}};

}  // namespace

extern const SiteFamily kQzoneFamily;
const SiteFamily kQzoneFamily = {
    SITE_QZONE, "qzone",     "QQ空间/腾讯微博",           kFragments, Normalize,
    kForms,     kNoFallback, "http://user.qzone.qq.com/", kExamples,  kPages,
};

}  // namespace albumora
