// Qzone: personal albums (the route lookup, the album list with its two refusals, the picture
// list with its two services and album passwords), group albums and Tencent Weibo albums.
#include <array>
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
  if (!listHost.empty()) answer = fetcher.Get(address, page);
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
  ForPieces(list, text, "\"id\" : \"", [&](std::string& piece) {
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
    std::optional<std::string> answer = fetcher.Get(address, page);
    if (!answer || answer->empty()) return;

    // An encrypted album asks for its password on the album page, then is read again.
    if (ContainsInside(*answer, "\"message\":\"对不起") && (album.nFlags & FLAG_ENCRYPTED) &&
        user.AskYesNo("加密相册，是否输入密码？", "提示")) {
      std::string albumPage = album.strAddr;
      ReplaceAll(albumPage, "hostUin=", "");
      ReplaceAll(albumPage, "&albumid=", "/photo/");
      user.OpenLogin(PersonalOrigin() + "/" + albumPage);
      answer = fetcher.Get(address, page);
      if (!answer || answer->empty()) return;
    }

    const int count = ForPieces(pictures, *answer, "\"batchId\"", [&](std::string& piece) {
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
    {LT_QZONE_GROUP, "Qzone group albums", nullptr, nullptr},
    {LT_TENCENT_WEIBO, "Tencent Weibo albums", nullptr, nullptr},
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
    kForms,     kNoFallback, "http://user.qzone.qq.com/", kExamples,
};

}  // namespace albumora
