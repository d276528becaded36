#include "sites/Qzone.h"
#include "albumlist/AlbumRows.h"

#include <vector>

#include "albumlist/AlbumListJob.h"
#include "download/Naming.h"
#include "model/AppState.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"
#include "text/StringCtrl.h"

namespace albumora {

const QzoneHostTable kQzoneHosts = {
    "user.qzone.qq.com",
    "http://user.qzone.qq.com",
    "route.store.qq.com",
};

namespace {

std::string PersonalOrigin() { return kQzoneHosts.personalOrigin; }

// The cache-busting value of an address, line feed included: the engine sends it as "%0A".
std::string FractionParam() { return RandomFraction(); }

std::string RefererHeader(const std::string& account) {
  return "Accept-Encoding: gzip, deflate\r\nReferer: " + PersonalOrigin() + "/" + account;
}

bool FetchText(HttpRequest& request, std::string& text) {
  HttpResponse response;
  if (!HttpFetch(request, response, 0)) return false;
  GetResponseText(response, text, TEXT_GUNZIP);
  return true;
}

// "a\/b" as JSON writes it becomes "a/b".
std::string Unslash(std::string text) {
  ReplaceAll(text, "\\/", "/");
  return text;
}

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

}  // namespace

void QzoneAlbumList(const std::string& account, AppState& app) {
  Host& host = app.host;
  HttpRequest request;
  InitRequest(request, std::string(), std::string(), 20000);
  request.strHeaders = RefererHeader(account);
  // The stop button reaches a page in flight too.
  request.stopRequested = [&app] { return app.nListState.load() == LIST_STOP; };

  // Which hosts serve this account.
  request.strUrl = std::string("http://") + kQzoneHosts.routeHost + "/GetRoute?UIN=" + account +
                   "&version=2&type=json";
  std::string route;
  if (!FetchText(request, route)) {
    host.ShowMessage("QQ空间相册错误1");
    return;
  }
  const std::string network = GetBetween(route, "default\":\"", "\"", BT_CONSUME);
  CutBefore(route, network + "\":", true);
  app.strSiteParam2 = GetBetween(route, "\"nu\":\"", "\"", BT_CONSUME);
  std::string listHost = GetBetween(route, "\"p\":\"", "\"", BT_CONSUME);
  ReplaceAll(listHost, "sznewp", "alist");
  ReplaceAll(listHost, "xanewp", "xalist");
  app.strSiteParam1 = listHost;

  const uint32_t token = ComputeGtk(CookieValue(GetCookies(PersonalOrigin() + "/"), "skey"));
  const std::string address = "http://" + app.strSiteParam1 +
                              "/fcgi-bin/fcg_list_album_v2?hostUin=" + account +
                              "&format=jsonp&plat=qzone&source=qzone&t=" + FractionParam() +
                              "&g_tk=" + std::to_string(token);

  // The picture-list host, read on in the route answer.
  std::string pictureHost = GetBetween(route, "\"s\":\"", "\"", BT_CONSUME);
  ReplaceAll(pictureHost, "static", "plist");
  app.strSiteParam1 = pictureHost;

  // An address without host fails as a fetch would (the engine would read "http:///x" as the
  // host "x").
  request.strUrl = address;
  std::string text;
  if (listHost.empty() || !FetchText(request, text)) {
    host.ShowMessage("对不起，网络繁忙，请稍后再试！");
    return;
  }
  if (text.empty()) return;

  // Refusals: too many requests, or a space not open to this visitor.
  if (ContainsInside(text, "\"msg\" : \"")) {
    const std::string msg = GetBetweenCopy(text, "\"msg\" : \"", "\"");
    // The frequency text is looked for anywhere in the message, its start included.
    if (Contains(msg, "您的操作过于频繁")) {
      host.ShowMessage(msg);
      return;
    }
    if (host.AskYesNo("加密或非公开空间，是否进行身份验证?\n(验证成功后请重新获取相册列表)",
                      "提示")) {
      host.OpenLogin(PersonalOrigin() + "/" + account);
    }
    return;
  }

  std::vector<std::string> pieces;
  if (SplitBy(pieces, text, "\"id\" : \"") < 1) return;
  ST_PERLISTRECORD local;
  for (size_t i = 1; i < pieces.size(); ++i) {
    std::string& piece = pieces[i];
    local.nFlags = 0;
    const std::string id = LeftOf(piece, "\"");
    local.strAddr = "hostUin=" + account + "&albumid=" + id;
    local.strName = GetBetween(piece, "\"name\" : \"", "\"", BT_CONSUME);
    if (local.strName.empty()) continue;
    local.strCover = Unslash(GetBetween(piece, "\"pre\" : \"", "\"", BT_CONSUME));
    local.nFlags = FlagsOfPriv(GetBetween(piece, "\"priv\" :", ",", BT_CONSUME));
    local.nCount =
        static_cast<int32_t>(ReadDecimal(GetBetween(piece, "\"total\" :", ",", BT_CONSUME)));
    PublishAlbum(local, app);
    if (app.nListState.load() == LIST_STOP) return;
  }
}

void QzonePictureList(AppState& app, int albumIndex) {
  if (albumIndex < 0 || static_cast<size_t>(albumIndex) >= app.albumList.size()) return;
  const ST_PERLISTRECORD& album = app.albumList[static_cast<size_t>(albumIndex)];
  Host& host = app.host;

  HttpRequest request;
  InitRequest(request, std::string(), std::string(), 20000);
  request.stopRequested = [&app] { return app.nDownState.load() == DOWN_STOP; };
  // The Referer names the owner's space. The album knows its owner; the address box may hold a
  // whole address or something typed after the list was made.
  std::string owner = OwnerOfAlbum(album.strAddr);
  if (owner.empty()) owner = Trim(host.AddressText());
  request.strHeaders = RefererHeader(owner);

  bool second = false;
  for (;;) {
    const std::string cookies = GetCookies(PersonalOrigin() + "/");
    const uint32_t token = ComputeGtk(CookieValue(cookies, "skey"));
    std::string uin = CookieValue(cookies, "uin");
    ReplaceAll(uin, "o", "");

    const std::string query =
        album.strAddr + "&t=" + FractionParam() + "&g_tk=" + std::to_string(token) + "&uin=" + uin;
    std::string address;
    if (second || album.nFlags != 0) {
      address = "http://" + app.strSiteParam2 +
                "/cgi-bin/common/cgi_view_album_v2?inCharset=gbk&outCharset=gbk&format=jsonp"
                "&plat=qzone&source=qzone&" +
                query;
      ReplaceAll(address, "albumid=", "albumId=");
    } else {
      address = "http://" + app.strSiteParam1 +
                "/fcgi-bin/fcg_list_photo_v2?inCharset=gbk&outCharset=gbk&format=jsonp"
                "&plat=qzone&source=qzone&" +
                query;
    }
    request.strUrl = address;
    std::string text;
    if (!FetchText(request, text) || text.empty()) return;

    // An encrypted album asks for its password on the album page, then is read again.
    if (ContainsInside(text, "\"message\":\"对不起") && (album.nFlags & FLAG_ENCRYPTED) &&
        host.AskYesNo("加密相册，是否输入密码？", "提示")) {
      std::string page = album.strAddr;
      ReplaceAll(page, "hostUin=", "");
      ReplaceAll(page, "&albumid=", "/photo/");
      host.OpenLogin(PersonalOrigin() + "/" + page);
      text.clear();
      if (!FetchText(request, text) || text.empty()) return;
    }

    std::vector<std::string> pieces;
    if (SplitBy(pieces, text, "\"batchId\"") > 0) {
      for (size_t i = 1; i < pieces.size(); ++i) {
        std::string& piece = pieces[i];
        const std::string description = GetBetween(piece, "\"name\" : \"", "\"", BT_CONSUME);
        const std::string full =
            Unslash(GetBetween(piece, "\"origin_url\" : \"", "\"", BT_CONSUME));
        std::string preview = Unslash(GetBetween(piece, "\"pre\" : \"", "\"", BT_CONSUME));
        ReplaceAll(preview, "/a/", "/b/");
        AddPicture(app, full + "\r\n" + preview, description, std::string(), albumIndex);
        const uint8_t state = app.nDownState.load();
        if (state == DOWN_ENOUGH || state == DOWN_STOP) return;
      }
      return;
    }
    if (Contains(address, "/cgi-bin/common") || second) return;
    second = true;
  }
}

}  // namespace albumora
