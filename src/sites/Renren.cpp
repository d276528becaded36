// SPDX-License-Identifier: GPL-3.0-or-later
// Renren: member albums (two picture-list methods) and "zhan" sites.
#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
  const char* zhanFragment = "zhan.renren.com";
  const char* zhanOrigin = "http://zhan.renren.com";
  const char* pageFragment = "page.renren.com";
  const char* pageTemplate = "http://page.renren.com/%s";
  const char* mainTemplate = "http://www.renren.com/%s";
  const char* photoHost = "http://photo.renren.com";
};
constexpr Hosts kHosts;

constexpr const char* kZhanEmptyMessage =
    "1、没有获取到相册，需要你在登录菜单里登录一个人人帐号(登录时勾上下次自动登录)后重新获取";

constexpr const char* kNoAccessMessage =
    "错误原因：\n1.你没有登录你的人人帐号(在登录菜单里登录,登录时需要勾上下次自动登录)\n2."
    "你没有该相册的访问权限.";
constexpr const char* kPasswordQuestion = "加密相册,是否输入密码";

constexpr const char* kFirstPage = "first-page clearfix";
constexpr const char* kAlbumInfo = "class=\"ablum-infor\">";
constexpr const char* kPosition = "\"position\":";
constexpr const char* kChainList = "\"list\":";
constexpr const char* kPostBox = "<div id=\\\"";

// What its pages must hold: a member's album index its first-page list (its further pages their
// items), an album's page its information box, an album's photo data its positions (the chained
// answers their list), a zhan archive answer its post boxes, a zhan post its photos or images.
constexpr const char* kIndexMarkers[] = {kFirstPage, "<li>"};
constexpr PageMarkers kAlbumIndex = {PageKind::AlbumIndex, kIndexMarkers,
                                     kYieldsAlbums | kYieldsNextPage};
constexpr const char* kIndexMoreMarkers[] = {"<li>"};
constexpr PageMarkers kAlbumIndexMore = {PageKind::ScriptAnswer, kIndexMoreMarkers,
                                         kYieldsAlbums | kYieldsNextPage};
constexpr const char* kAlbumMarkers[] = {kAlbumInfo};
constexpr PageMarkers kOneAlbum = {PageKind::AlbumPage, kAlbumMarkers, kYieldsAlbums};
constexpr PageMarkers kAlbumPage = {PageKind::AlbumPage, kAlbumMarkers, kYieldsPages};
constexpr const char* kByPageMarkers[] = {kPosition};
constexpr PageMarkers kPhotoData = {PageKind::ScriptAnswer, kByPageMarkers,
                                    kYieldsPictures | kYieldsNextPage};
constexpr const char* kChainMarkers[] = {kChainList, kPosition};
constexpr PageMarkers kPhotoChain = {PageKind::ScriptAnswer, kChainMarkers,
                                     kYieldsPictures | kYieldsNextPage};
constexpr const char* kLargeMarkers[] = {"class=\"photoes-box\">"};
constexpr PageMarkers kLargePhoto = {PageKind::PhotoPage, kLargeMarkers, 0};
constexpr const char* kArchiveMarkers[] = {kPostBox};
constexpr PageMarkers kZhanArchive = {PageKind::ScriptAnswer, kArchiveMarkers,
                                      kYieldsAlbums | kYieldsNextPage};
constexpr const char* kPostMarkers[] = {"class=\"photo\"> | <img"};
constexpr PageMarkers kZhanPost = {PageKind::AlbumPage, kPostMarkers, kYieldsPictures};
constexpr std::array<const PageMarkers*, 9> kPages = {&kAlbumIndex, &kAlbumIndexMore, &kOneAlbum,
                                                      &kAlbumPage,  &kPhotoData,      &kPhotoChain,
                                                      &kLargePhoto, &kZhanArchive,    &kZhanPost};

bool DigitsOnly(const std::string& text) {
  return text.find_first_not_of("0123456789") == std::string::npos;
}

// Fetches a member's page and reads the numeric id from it ("pid: '", else "profile_owner =").
// False when the fetch fails; id is then untouched. The id may be empty.
bool LookupId(const std::string& url, std::string& id) {
  Fetcher fetcher(CodePage::Utf8);
  std::optional<std::string> text = fetcher.Get(url);
  if (!text) return false;
  id = GetBetween(*text, "pid: '", "'", BT_CONSUME);
  if (id.empty()) id = GetBetween(*text, "profile_owner =", ";", BT_CONSUME);
  return true;
}

std::string PhotoHost() { return kHosts.photoHost; }

// The text before the marker's first occurrence; the whole text when it is absent.
std::string LeftOfOrAll(const std::string& text, std::string_view marker) {
  std::string left = text;
  TruncAt(left, marker);
  return left;
}

// ---- Member albums --------------------------------------------------------------------------

// One album given by its address.
void OneAlbum(const std::string& address, ListContext& list) {
  Fetcher fetcher(CodePage::Utf8);
  std::optional<std::string> page = fetcher.Get(kOneAlbum, address);
  if (!page || page->empty()) return;
  std::string& text = *page;

  const std::string tabs = GetBetweenCopy(text, "class=\"nav-tabs\">", "</ul>");
  std::string& owner = list.Texts().strOwner;
  owner = StripTags(GetBetweenCopy(tabs, "<li>", "</li>"));
  // The first tab of the logged-in member's own page.
  if (owner == "我的相册") owner = GetBetweenCopy(text, "guestName\" value=\"", "\"");

  CutBefore(text, "class=\"ablum-infor\">", true);
  ST_PERLISTRECORD local;
  local.strName = GetBetween(text, "<h1>", "<span", BT_CONSUME);
  if (Utf16Length(local.strName) > 300) return;
  local.strAddr = address;
  local.strCover.clear();
  local.nCount = static_cast<int32_t>(ReadDecimal(GetBetween(text, "\">(", "张", BT_CONSUME)));
  local.nFlags = 0;
  (void)list.Publish(local);
}

// The albums of a member id, 40 a page.
void MemberAlbums(const std::string& id, ListContext& list) {
  Fetcher fetcher(CodePage::Utf8);
  ST_PERLISTRECORD local;
  bool more = true;
  ForPages(list, 0, [&](int n) {
    const std::string address =
        n == 0 ? PhotoHost() + "/photo/" + id + "/album/relatives?curpage=1"
               : PhotoHost() + "/photo/" + id +
                     "/album/relatives/ajax?offset=" + std::to_string(n * 40) + "&limit=40";
    std::optional<std::string> page = fetcher.Get(n == 0 ? kAlbumIndex : kAlbumIndexMore, address);
    if (!page || page->empty()) return false;

    if (n == 0) {
      if (!Contains(*page, kFirstPage)) {
        // The member's home-left view holds the whole list at once.
        page = fetcher.Get(kAlbumIndex,
                           PhotoHost() + "/photo/" + id + "?from=homeleft&__view=async-html");
        if (!page || page->empty()) return false;
        if (!Contains(*page, kFirstPage)) {
          list.user().ShowMessage(kNoAccessMessage);
          return false;
        }
        more = false;
      }
      list.Texts().strOwner = GetBetween(*page, "<title>人人网 - ", "的相册</title>", BT_CONSUME);
    }
    std::string& text = *page;
    CutBefore(text, "class=\"album-list", true);
    CutBefore(text, "<ul", true);
    TruncAt(text, kFirstPage);

    bool go = true;
    const int albums = ForPieces(list, text, "<li>", [&](std::string& piece) {
      local.nFlags = 0;
      local.strAddr = GetBetween(piece, "href=\"", "\"", BT_CONSUME);
      local.strCover = GetBetween(piece, "data-src=\"", "\"", BT_CONSUME);
      local.nCount = static_cast<int32_t>(
          ReadDecimal(GetBetween(piece, "photo-num\">", "</div>", BT_CONSUME)));
      local.strName = GetBetween(piece, "album-name\">", "</span>", BT_CONSUME);
      if (ContainsInside(local.strName, "class=\"userhead\"")) {
        local.strName = "头像相册";
      } else if (Contains(local.strName, "class=\"phone")) {
        local.strName = "手机相册";
      } else if (Contains(local.strName, "class=\"password")) {
        local.strName = "加密相册";
        local.nFlags = FLAG_ENCRYPTED;
      }
      go = list.Publish(local);
      return go;
    });
    return albums > 0 && go && more;
  });
}

void AlbumList(const std::string& address, ListContext& list) {
  if (ContainsInside(address, "/album-")) {
    OneAlbum(address, list);
  } else {
    MemberAlbums(address, list);
  }
}

// The album page without its query: list addresses may carry one ("?frommyphoto").
std::string AlbumPageOf(const ST_PERLISTRECORD& album) { return LeftOfOrAll(album.strAddr, "?"); }

// Reads the album page again and names the album from it (the album folder is named at the
// first picture). Nothing when the page cannot be read; the text after the title otherwise.
std::optional<std::string> RefreshName(PictureContext& pictures, Fetcher& fetcher) {
  ST_PERLISTRECORD& album = pictures.Album();
  std::optional<std::string> page = fetcher.Get(kAlbumPage, album.strAddr);
  if (!page || page->empty()) return std::nullopt;
  std::string& text = *page;
  CutBefore(text, kAlbumInfo, true);
  std::string name = GetBetween(text, "<h1>", "<span", BT_CONSUME);
  // A page without a title (a login page, say) keeps the listed name.
  if (!Trim(name).empty()) {
    CleanFileName(name, 0xFFFF, true);
    album.strName = name;
  }
  return page;
}

std::string Description(const std::string& title, const ST_PERLISTRECORD& album) {
  std::string description = UnescapeUnicode(title);
  return description.empty() ? album.strName : description;
}

// The first method: the album's photo data by pages, all photos in one page.
void PicturesByPage(PictureContext& pictures) {
  JobTexts& texts = pictures.Texts();
  Fetcher fetcher(CodePage::Utf8);
  texts.strSiteParam1 = AlbumPageOf(pictures.Album());
  if (!RefreshName(pictures, fetcher)) return;
  const ST_PERLISTRECORD& album = pictures.Album();

  // One page holds every photo; a site that ignores the page number answers the same page
  // again, which ends the page walk before its photos are added twice.
  ForPages(pictures, 0, [&](int page) {
    const std::string address =
        texts.strSiteParam1 + "/bypage/ajax?curPage=" + std::to_string(page) + "&pagenum=65535";
    std::optional<std::string> text = fetcher.Get(kPhotoData, address);
    if (!text || text->empty()) return false;
    const std::string header = "Referer: " + address;
    bool go = true;
    const int count = ForPieces(pictures, *text, kPosition, [&](std::string& piece) {
      MarkerReader reader(piece);
      std::string picture = Unslash(reader.Between("\"largeUrl\":\"", "\""));
      const std::string description = Description(reader.Between("\"title\":\"", "\""), album);
      if (!Contains(picture, "original_") && !Contains(picture, "xlarge_")) {
        // A larger picture on the photo's own page.
        std::string root = texts.strSiteParam1;
        TruncAt(root, "/album-");
        texts.strSiteParam2 = root;
        const std::string photoId =
            GetBetweenCopy(std::string(reader.Rest()), "\"photoId\":\"", "\"");
        std::optional<std::string> large =
            fetcher.Get(kLargePhoto, root + "/photo-" + photoId + "/large?xtype=album");
        static constexpr std::string_view kBox = "class=\"photoes-box\">";
        if (large && ContainsInside(*large, kBox)) {
          // The pictures box after its last occurrence.
          large->erase(0, large->rfind(kBox) + kBox.size());
          const std::string found = GetBetween(*large, "src=\"", "\"", BT_CONSUME);
          if (!found.empty()) picture = found;
        }
      }
      go = pictures.AddPicture(picture, description, header);
      return go;
    });
    return count > 0 && go;
  });
}

// The second method: chained photo data, newest position first, down to position 1.
void PicturesByChain(PictureContext& pictures) {
  JobTexts& texts = pictures.Texts();
  Fetcher fetcher(CodePage::Utf8);
  std::optional<std::string> page = RefreshName(pictures, fetcher);
  if (!page) return;
  const ST_PERLISTRECORD& album = pictures.Album();
  CutBefore(*page, "data-info=\"{album:'", true);
  texts.strSiteParam1 = GetBetween(*page, "href=\"", "\"", BT_CONSUME);

  long long last = 6553500;
  ForPages(pictures, 0, [&](int) {
    if (texts.strSiteParam1.empty()) return false;
    std::optional<std::string> text = fetcher.Get(kPhotoChain, texts.strSiteParam1);
    if (!text || text->empty()) return false;
    const std::string header = "Referer: " + texts.strSiteParam1;
    if (CutBefore(*text, kChainList, true) < 0) return false;

    bool go = true;
    bool taken = false;
    ForPieces(pictures, *text, kPosition, [&](std::string& piece) {
      const long long position = ReadDecimal(LeftOfOrAll(piece, ","));
      if (position >= last) return true;
      last = position;
      taken = true;
      MarkerReader reader(piece);
      const std::string description =
          Description(reader.Between("\"originTitle\":\"", "\""), album);
      texts.strSiteParam2 = reader.Between("\"largeurl\":\"", "\"");
      texts.strSiteParam1 = Unslash(reader.Between("\"link\":\"", "\""));
      std::string picture = reader.Between("\"xLargeUrl\":\"", "\"");
      if (picture.empty()) picture = texts.strSiteParam2;
      go = pictures.AddPicture(Unslash(picture), description, header) && position > 1;
      return go;
    });
    // An answer with no new position would lead to the same address again.
    return go && taken;
  });
}

// The pictures of a member album: the first method, and the second when the first found none.
// A password album asks once; No leaves the album without pictures.
void PictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  if (album.nFlags >= 0 && (album.nFlags & FLAG_ENCRYPTED) != 0) {
    User& user = pictures.user();
    if (!user.AskYesNo(kPasswordQuestion, "提示")) return;
    user.OpenLogin(AlbumPageOf(album) + "/private");
  }
  PicturesByPage(pictures);
  if (pictures.PictureCount() == 0 && !pictures.Halted()) PicturesByChain(pictures);
}

// ---- Zhan sites -----------------------------------------------------------------------------

// The posts of a zhan site: of one tag when the address names one, else month by month.
void ZhanAlbumList(const std::string& address, ListContext& list) {
  JobTexts& texts = list.Texts();
  Fetcher fetcher(CodePage::Utf8);
  std::optional<std::string> page = fetcher.Get(address);
  if (!page || page->empty()) return;

  std::string site = address;
  CutBefore(site, "com/", true);
  TruncAt(site, "?");
  site = Trim(site);
  texts.strSiteParam1 = GetBetweenCopy(*page, "site_id=", "\"");
  std::optional<std::string> tag;
  if (ContainsInside(address, "tagId=")) {
    tag = address;
    CutBefore(*tag, "tagId=", true);
    TruncAt(*tag, "&");
  }
  texts.strOwner = GetBetweenCopy(*page, "name:'", "'");

  std::vector<std::string> months;
  if (tag) {
    texts.strOwnerTitle = GetBetweenCopy(GetBetweenCopy(*page, "class=\"s\"", "</li>"), ">", "<");
    texts.strSiteParam2 = "&tag_id=" + *tag;
    months.emplace_back();
  } else {
    texts.strSiteParam2.clear();
    std::optional<std::string> archive =
        fetcher.Get(std::string(kHosts.zhanOrigin) + "/archive?site_id=" + texts.strSiteParam1);
    if (!archive || archive->empty()) return;
    CutBefore(*archive, "class=\"time_control", true);
    TruncAt(*archive, "</section>");
    std::vector<std::string> pieces;
    SplitBy(pieces, *archive, "mark=\"");
    for (size_t i = 1; i < pieces.size(); ++i) {
      TruncAt(pieces[i], "\"");
      months.push_back(pieces[i]);
    }
  }

  ST_PERLISTRECORD local;
  bool go = true;
  for (const std::string& month : months) {
    ForPages(list, 0, [&](int n) {
      const std::string address =
          month.empty()
              ? std::string(kHosts.zhanOrigin) +
                    "/archive/archiveByTag?site_id=" + texts.strSiteParam1 + texts.strSiteParam2 +
                    "&page=" + std::to_string(n)
              : std::string(kHosts.zhanOrigin) +
                    "/archive/archiveByTime?site_id=" + texts.strSiteParam1 + texts.strSiteParam2 +
                    "&month=" + month + "&page=" + std::to_string(n);
      std::optional<std::string> text = fetcher.Get(kZhanArchive, address);
      if (!text || text->empty()) return false;
      const int posts = ForPieces(list, *text, kPostBox, [&](std::string& piece) {
        local.nFlags = 0;
        local.nCount = -1;
        local.strCover.clear();
        std::string post = piece;
        TruncAt(post, "\\\"");
        ReplaceAll(post, "feed", "");
        local.strAddr = std::string(kHosts.zhanOrigin) + "/" + site + "?gid=" + post + "&ajax=true";
        local.strName =
            UnescapeUnicode(GetBetween(piece, "class=\\\"title\\\">", "<\\/", BT_CONSUME));
        if (local.strName.empty()) return true;
        go = list.Publish(local);
        return go;
      });
      return posts > 0 && go;
    });
    if (!go || list.Halted()) return;
  }
}

// The pictures in a post's body.
void ZhanPictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  Fetcher fetcher(CodePage::Utf8);
  PageOptions page;
  page.cutStart = "id=\"main-wrap\"";  // only the post body reaches the reader
  page.cutEnd = "class=\"ccagreement\">";
  std::optional<std::string> text = fetcher.Get(kZhanPost, album.strAddr, page);
  if (!text || text->empty()) return;
  const std::string header = "Referer: " + album.strAddr;
  const char* separator = Contains(*text, "class=\"photo\">") ? "class=\"photo\">" : "<img";
  ForPieces(pictures, *text, separator, [&](std::string& piece) {
    std::string picture = GetBetween(piece, "data-src=\"", "\"", BT_CONSUME);
    if (picture.empty()) picture = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
    // A piece without a picture address names nothing to download.
    if (picture.empty()) return true;
    return pictures.AddPicture(picture, std::string(), header);
  });
}

ListPlan Normalize(std::string addr) {
  if (ContainsInside(addr, "/album-")) {
    CutAt(addr, "?");
    return OneCall(LT_RENREN, addr);
  }
  if (Contains(addr, kHosts.zhanFragment)) {
    return OneCall(LT_RENREN_ZHAN, addr, kZhanEmptyMessage);
  }
  const bool page = Contains(addr, kHosts.pageFragment);
  CutAfter(addr, "id=");
  for (const char* marker : {"?", "/album", "/profile", "/channel-"}) CutAt(addr, marker);
  const size_t slash = addr.rfind('/');
  if (slash != std::string::npos && slash > 0) addr.erase(0, slash + 1);
  ListPlan plan = OneCall(LT_RENREN, Trim(addr));
  if (!DigitsOnly(addr)) {
    plan.idLookupUrl = FillTemplate(page ? kHosts.pageTemplate : kHosts.mainTemplate, addr);
    plan.lookupId = LookupId;
  }
  return plan;
}

constexpr std::array<const char*, 1> kFragments = {"renren.com/"};

constexpr std::array<ListForm, 2> kForms = {{
    {LT_RENREN, "Renren albums", AlbumList, PictureList},
    {LT_RENREN_ZHAN, "Renren zhan", ZhanAlbumList, ZhanPictureList},
}};

constexpr std::array<std::pair<const char*, int>, 2> kExamples = {{
    {"http://www.renren.com/profile.do?id=200001", LT_RENREN},
    {"http://zhan.renren.com/somesite", LT_RENREN_ZHAN},
}};

}  // namespace

extern const SiteFamily kRenrenFamily;
const SiteFamily kRenrenFamily = {SITE_RENREN, "renren", "人人网",    kFragments,
                                  Normalize,   kForms,   kNoFallback, "http://www.renren.com/",
                                  kExamples,   kPages};

}  // namespace albumora
