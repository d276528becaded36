// SPDX-License-Identifier: GPL-3.0-or-later
// NetEase: the classic photo albums (catalogue and picture lists in script files, non-public
// albums through the service's remote call), and the albums of the "pp" community.
#include <array>
#include <string>

#include "fs/FileNames.h"
#include "sites/Family.h"
#include "sites/Fetch.h"
#include "sites/Reader.h"
#include "sites/Walk.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* serviceOrigin = "http://photo.163.com";
  const char* ppDomain = ".pp.163.com";
  const char* ppFragment = "pp.1";
  const char* coverResourceHost = "http://img1.cache.netease.com";
  // Numbered image hosts: "%s" is the host number of a script path.
  const char* firstImageHost = "http://img%s.ph.126.net";
  const char* firstImageOrigin = "http://img.ph.126.net";
  const char* secondImageHost = "http://img%s.bimg.126.net";
  const char* secondImageOrigin = "http://img.bimg.126.net";
};
constexpr Hosts kHosts;

constexpr const char* kWrongAddressMessage = "输入网址有误，应该输入相册网址或首页网址";
constexpr const char* kNotPublicMessage =
    "该相册为非公开,如果该相册为私密相册,登录帐号后重新获取相册列表可下载";
constexpr const char* kVerifyQuestion = "为非公开相册,是否进行验证？\n\n验证成功后请手动关闭验证框";

constexpr const char* kRecord = "{id:";
constexpr const char* kPpCover = "<li class=\"w-cover";
constexpr const char* kPpPictureUrl = ",url:'";

// What its pages must hold: the owner's page names the owner (a page without has its own
// message) and the catalogue script; the catalogue and an album's picture script hold one
// record per item; a pp album page its covers, a pp album its picture table.
constexpr const char* kHomeMarkers[] = {"photo163HostName:' | hostName : '"};
constexpr PageMarkers kOwnerPage = {PageKind::UserPage, kHomeMarkers, kYieldsPages};
constexpr const char* kRecordMarkers[] = {kRecord};
constexpr PageMarkers kCatalogue = {PageKind::ScriptAnswer, kRecordMarkers, kYieldsAlbums};
constexpr PageMarkers kPictureScript = {PageKind::ScriptAnswer, kRecordMarkers, kYieldsPictures};
constexpr const char* kPpIndexMarkers[] = {kPpCover};
constexpr PageMarkers kPpIndex = {PageKind::AlbumIndex, kPpIndexMarkers, kYieldsAlbums};
constexpr const char* kPpAlbumMarkers[] = {kPpPictureUrl};
constexpr PageMarkers kPpAlbumPage = {PageKind::AlbumPage, kPpAlbumMarkers, kYieldsPictures};
constexpr std::array<const PageMarkers*, 5> kPages = {&kOwnerPage, &kCatalogue, &kPictureScript,
                                                      &kPpIndex, &kPpAlbumPage};

// ---- Classic photo albums -------------------------------------------------------------------

// A host-relative image path of a script file ("12/photo/…": host number, then the rest) as a
// whole address. An empty path stays empty: it names no picture.
std::string CompleteImagePath(const std::string& path) {
  if (path.empty()) return {};
  const bool photo = Contains(path, "/photo/");
  const size_t slash = path.find('/');
  if (slash != std::string::npos && slash > 0) {
    const std::string number = path.substr(0, slash);
    const std::string rest = path.substr(slash);
    const bool photoInside = ContainsInside(path, "/photo/");
    return FillTemplate(photoInside ? kHosts.firstImageHost : kHosts.secondImageHost, number) +
           rest;
  }
  return std::string(photo ? kHosts.firstImageOrigin : kHosts.secondImageOrigin) + path;
}

// The three forms of the service's remote call for an album.
enum class RemoteCall { Plain, FromBlog, ById };

std::string RemoteCallAddress(const std::string& owner, RemoteCall form,
                              const std::string& albumId) {
  static constexpr const char* kPlainTail =
      "&c0-param1=string%3A&c0-param2=string%3A&c0-param3=number%3A24881696&c0-param4=boolean%"
      "3Afalse&batchId=530377";
  static constexpr const char* kFromBlogTail =
      "&c0-param1=string%3A&c0-param2=string%3Afromblog&c0-param3=string%3A24881696&c0-param4="
      "boolean%3Afalse&batchId=530377";
  std::string address = std::string(kHosts.serviceOrigin) + "/photo/" + owner +
                        "/dwr/call/plaincall/AlbumBean.getAlbumData.dwr?callCount=1"
                        "&scriptSessionId=%24%7BscriptSessionId%7D187&c0-scriptName=AlbumBean"
                        "&c0-methodName=getAlbumData&c0-id=0&c0-param0=";
  address += form == RemoteCall::ById ? "string%3A" : "number%3A";
  address += albumId;
  address += form == RemoteCall::FromBlog ? kFromBlogTail : kPlainTail;
  return address;
}

// "\r" in a catalogue text is dropped, "\n" becomes a line end.
std::string UnescapeDescription(std::string desc) {
  ReplaceAll(desc, "\\r", "");
  ReplaceAll(desc, "\\n", "\r\n");
  return desc;
}

std::string Placeholder(const char* path) { return std::string(kHosts.coverResourceHost) + path; }

// The albums of the owner the typed page names. Leaves the owner's name on the service in
// strSiteParam3 for the picture list.
void PhotoAlbumList(const std::string& address, ListContext& list) {
  JobTexts& texts = list.Texts();
  Fetcher fetcher;
  std::optional<std::string> page = fetcher.Get(kOwnerPage, address);
  if (!page || page->empty()) return;

  texts.strOwner = GetBetweenCopy(*page, "photo163HostName:'", "'");
  if (texts.strOwner.empty()) texts.strOwner = GetBetweenCopy(*page, "hostName : '", "'");
  if (texts.strOwner.empty()) {
    list.user().ShowMessage(kWrongAddressMessage);
    return;
  }
  std::string catalogue = GetBetween(*page, "albumUrl : '", "'", BT_CONSUME);
  texts.strSiteParam3 = texts.strOwner;

  if (catalogue.empty()) {
    // The owner's album page names the catalogue.
    const size_t pp = address.find(kHosts.ppFragment);
    const std::string albumPage = pp != std::string::npos && pp >= 2
                                      ? "http://" + texts.strOwner + kHosts.ppDomain + "/album/"
                                      : std::string(kHosts.serviceOrigin) + "/" + texts.strOwner;
    std::optional<std::string> owned = fetcher.Get(albumPage);
    if (!owned || owned->empty()) return;
    catalogue = GetBetween(*owned, "albumUrl : '", "'", BT_CONSUME);
  }

  std::optional<std::string> script = fetcher.Get(kCatalogue, catalogue);
  if (!script || script->empty()) return;

  ST_PERLISTRECORD local;
  ForPieces(list, *script, kRecord, [&](std::string& piece) {
    local.nFlags = 0;
    local.strKey = LeftOf(piece, ",");
    MarkerReader reader(piece);
    local.strName = reader.Between("name:'", "'");
    local.strDesc = UnescapeDescription(reader.Between("desc:'", "'"));
    const std::string access = Trim(reader.Between("au:", ","));
    local.nCount = static_cast<int32_t>(ReadDecimal(reader.Between("count:", ",")));
    const std::string coverPath = reader.Between("curl:'", "'");
    local.strAddr = reader.Between("purl:'", "'");

    local.strCover = CompleteImagePath(coverPath);
    if (local.nCount == 0) local.strCover = Placeholder("/image/default/none160.gif");

    if (local.strAddr.empty()) {
      // Not public: the remark and placeholder cover by access code, the script address from
      // the remote call.
      if (access == "2") {
        local.nFlags |= FLAG_PRIVATE;
      } else if (access == "4") {
        local.nFlags |= FLAG_FRIENDS;
        if (coverPath.empty()) local.strCover = Placeholder("/image/default/fwxhy.gif");
      } else if (access == "8") {
        local.nFlags |= FLAG_ENCRYPTED;
        if (coverPath.empty()) local.strCover = Placeholder("/image/default/fwxqa.gif");
      } else if (access != "0") {
        local.nFlags |= FLAG_ENCRYPTED;
        local.strCover = Placeholder("/photo/image/default/fwxmm.gif");
      }
      if (access != "8") {
        std::optional<std::string> answer =
            fetcher.Get(RemoteCallAddress(texts.strSiteParam3, RemoteCall::Plain, local.strKey), {},
                        CodePage::Utf8);
        if (!answer || answer->empty()) return true;  // the album is left out
        local.strAddr = GetBetween(*answer, "',\"", "\");", BT_CONSUME);
      }
      if (local.strAddr.empty()) local.strAddr = local.strKey;
    }
    return list.Publish(local);
  });
}

// The script address a remote-call answer names; empty when it names no script.
std::string ScriptOfAnswer(std::string answer) {
  const std::string script = "http://" + GetBetween(answer, ",\"", "\"", BT_CONSUME);
  return Contains(script, ".js") ? script : std::string();
}

void PhotoPictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  const JobTexts& texts = pictures.Texts();
  User& user = pictures.user();
  Fetcher fetcher;

  if (album.strAddr.empty()) {
    user.ShowMessage(kNotPublicMessage);
    return;
  }
  std::string script;
  if (Utf16Length(album.strAddr) < 20) {
    // An album id: the album is not public; the user may verify access in the login window.
    if (!user.AskYesNo(kVerifyQuestion, "提示")) return;
    user.OpenLogin(std::string(kHosts.serviceOrigin) + "/" + texts.strSiteParam3 +
                   "/list/#aid=" + album.strAddr + "&m=1&p=1");
    std::optional<std::string> answer =
        fetcher.Get(RemoteCallAddress(texts.strSiteParam3, RemoteCall::FromBlog, album.strAddr));
    if (!answer || answer->empty()) return;
    script = ScriptOfAnswer(*answer);
    if (script.empty()) return;
  } else {
    script = "http://" + album.strAddr;
  }

  std::optional<std::string> text = fetcher.Get(kPictureScript, script);
  if (!text) return;
  if (Utf16Length(*text) < 10) {
    // The service refused the script: ask for it by the album id.
    std::optional<std::string> answer =
        fetcher.Get(RemoteCallAddress(texts.strSiteParam3, RemoteCall::ById, album.strKey));
    if (!answer || answer->empty()) return;
    script = ScriptOfAnswer(*answer);
    if (script.empty()) return;
    text = fetcher.Get(kPictureScript, script);
    if (!text || text->empty()) return;
  }

  ForPieces(pictures, *text, kRecord, [&](std::string& piece) {
    MarkerReader reader(piece);
    std::string path = reader.Between("ourl:'", "'");
    if (path.empty()) path = reader.Between("murl:'", "'");
    if (path.empty()) path = reader.Between("surl:'", "'");
    if (path.empty()) return true;
    std::string description = reader.Between("desc:'", "'");
    if (description.empty()) description = album.strName;
    return pictures.AddPicture(CompleteImagePath(path), description, std::string());
  });
}

// ---- pp community albums ----------------------------------------------------------------

void PpAlbumList(const std::string& address, ListContext& list) {
  Fetcher fetcher;
  std::optional<std::string> page = fetcher.Get(kPpIndex, address);
  if (!page || page->empty()) return;

  std::string& text = *page;
  std::string owner = GetBetween(text, "nickName : '", "'", BT_CONSUME);
  CleanFileName(owner, 0xFFFF, true);
  list.Texts().strOwner = owner;

  ST_PERLISTRECORD local;
  ForPieces(list, text, kPpCover, [&](std::string& piece) {
    local.nFlags = 0;
    local.strAddr = GetBetween(piece, "href=\"", "\"", BT_CONSUME);
    if (local.strAddr.empty()) return true;
    local.strName = GetBetween(piece, "title=\"", "\"", BT_CONSUME);
    local.strCover = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
    CutBefore(piece, "<em>", true);
    local.nCount = static_cast<int32_t>(ReadDecimal(GetBetween(piece, "~ [", "张", BT_CONSUME)));
    return list.Publish(local);
  });
}

void PpPictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  Fetcher fetcher;
  PageOptions page;
  page.cutStart = "window.picList";  // only the page's picture table reaches the reader
  page.cutEnd = "photoidsList";
  std::optional<std::string> text = fetcher.Get(kPpAlbumPage, album.strAddr, page);
  if (!text || text->empty()) return;

  ForPieces(pictures, *text, kPpPictureUrl, [&](std::string& piece) {
    const std::string address = LeftOf(piece, "'");
    std::string description = GetBetween(piece, ",picDesc:'", "'", BT_CONSUME);
    if (description.empty()) description = album.strName;
    return pictures.AddPicture(address, description, std::string());
  });
}

ListPlan Normalize(std::string addr) {
  if (ContainsInside(addr, kHosts.ppFragment)) return OneCall(LT_NETEASE_PP, addr);
  return OneCall(LT_NONE, addr);
}

constexpr std::array<const char*, 1> kFragments = {"163.com/"};

constexpr std::array<ListForm, 2> kForms = {{
    {LT_NETEASE_PP, "NetEase pp albums", PpAlbumList, PpPictureList},
    {LT_NONE, "NetEase photo albums", PhotoAlbumList, PhotoPictureList},
}};

constexpr std::array<std::pair<const char*, int>, 2> kExamples = {{
    {"http://photo.163.com/someone/", LT_NONE},
    {"http://someone.pp.163.com/", LT_NETEASE_PP},
}};

}  // namespace

extern const SiteFamily kNeteaseFamily;
const SiteFamily kNeteaseFamily = {SITE_NETEASE, "netease", "网易相册", kFragments,
                                   Normalize,    kForms,    LT_NONE,    "http://photo.163.com/",
                                   kExamples,    kPages};

}  // namespace albumora
