// SPDX-License-Identifier: GPL-3.0-or-later
// Sina: blog photo albums, blog articles and Weibo albums.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "fs/FileNames.h"
#include "net/CookieStore.h"
#include "sites/Family.h"
#include "sites/Fetch.h"
#include "sites/Walk.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* weiboHost = "weibo.com";
  const char* weiboOrigin = "http://weibo.com";
  const char* weiboPhotoHost = "http://photo.weibo.com";
  const char* blogPhotoHost = "http://photo.blog.sina.com.cn";
};
constexpr Hosts kHosts;

// Diagnostic copies of the last Weibo answers, in the program folder.
constexpr const char* kWeiboPageCopy = "1.tmp";
constexpr const char* kWeiboPicturesCopy = "sinawb.tmp";

// The next-page link of the blog's list pages.
constexpr const char* kNextPageLink = "\">下一页";

constexpr const char* kArticleListLink = "articlelist_";
constexpr const char* kCategory = "\"category\":\"";
constexpr const char* kPictureBox = "class=\"pt_border\"";
constexpr const char* kAlbumId = "\"album_id\":\"";
constexpr const char* kPhotoId = "photo_id\":";

// What its pages must hold: a blog's home page its article-list link (the user id), the photo
// host's category answer its categories, a category's pages their picture boxes, an article
// list its title links or dotted lines; a Weibo account page its id, the album answer its
// album ids, an album's photo answer its photo ids. An article may hold no picture at all.
constexpr const char* kBlogHomeMarkers[] = {kArticleListLink};
constexpr PageMarkers kBlogHome = {PageKind::UserPage, kBlogHomeMarkers, kYieldsPages};
constexpr const char* kCategoryMarkers[] = {kCategory};
constexpr const char* kTotalNone[] = {"\"total\":0,"};
constexpr PageMarkers kCategoryAnswer = {PageKind::ScriptAnswer, kCategoryMarkers, kYieldsAlbums,
                                         kTotalNone};
constexpr const char* kBlogPictureMarkers[] = {kPictureBox};
constexpr PageMarkers kBlogPicturePage = {PageKind::PictureListPage, kBlogPictureMarkers,
                                          kYieldsPictures | kYieldsNextPage};
constexpr const char* kArticleListMarkers[] = {"class=\"atc_title\"> | class=\"SG_j_linedot"};
constexpr PageMarkers kArticleList = {PageKind::AlbumIndex, kArticleListMarkers,
                                      kYieldsAlbums | kYieldsNextPage};
constexpr PageMarkers kArticlePage = {PageKind::AlbumPage, {}, kYieldsPictures};
constexpr const char* kWeiboHomeMarkers[] = {"['oid'] | \"id\":"};
constexpr PageMarkers kWeiboHome = {PageKind::UserPage, kWeiboHomeMarkers, kYieldsPages};
constexpr const char* kWeiboAlbumMarkers[] = {kAlbumId};
constexpr PageMarkers kWeiboAlbums = {PageKind::ScriptAnswer, kWeiboAlbumMarkers, kYieldsAlbums,
                                      kTotalNone};
constexpr const char* kWeiboPhotoMarkers[] = {kPhotoId};
constexpr PageMarkers kWeiboPhotos = {PageKind::ScriptAnswer, kWeiboPhotoMarkers,
                                      kYieldsPictures | kYieldsNextPage, kTotalNone};
constexpr std::array<const PageMarkers*, 8> kPages = {
    &kBlogHome,    &kCategoryAnswer, &kBlogPicturePage, &kArticleList,
    &kArticlePage, &kWeiboHome,      &kWeiboAlbums,     &kWeiboPhotos};

constexpr const char* kEmptyListMessage =
    "没有获取到相册，请在登录菜单里登录新浪(微博)帐号后重试,登录时勾上下次自动登录";

ListPlan Normalize(std::string addr) {
  if (ContainsInside(addr, "/s/")) {
    const size_t underscore = addr.rfind('_');
    addr = underscore == std::string::npos ? std::string() : addr.substr(0, underscore);
    return OneCall(LT_SINA_ARTICLE, addr, kEmptyListMessage);
  }
  if (ContainsInside(addr, std::string(kHosts.weiboHost) + "/")) {
    return OneCall(LT_SINA_WEIBO, addr, kEmptyListMessage);
  }
  return OneCall(LT_SINA_BLOG, addr, kEmptyListMessage);
}

// ---- Blog photo albums ---------------------------------------------------------------------

// Every "&amp;" left in an address (a page that escaped its "&" twice) becomes "&" again.
// Only these remains go: an address may hold the letters "amp" in a word ("camp", "stamp").
std::string WithoutAmpRemains(std::string address) {
  while (ReplaceAll(address, "&amp;", "&") > 0) {
  }
  return address;
}

// The categories of one blog: the home page names the owner and, in its article-list link, the
// user id; the photo host lists every category in one answer.
void BlogAlbumList(const std::string& address, ListContext& list) {
  JobTexts& texts = list.Texts();
  Fetcher fetcher(CodePage::Utf8);
  std::optional<std::string> home = fetcher.Get(kBlogHome, address);
  if (!home || home->empty()) return;
  std::string& page = *home;
  texts.strOwner = StripTags(GetBetween(page, "blogtitle\">", "</", BT_CONSUME));
  texts.strSiteParam1 = GetBetween(page, kArticleListLink, "_", BT_CONSUME);

  std::optional<std::string> answer = fetcher.Get(
      kCategoryAnswer, std::string(kHosts.blogPhotoHost) +
                           "/services/ctg_list_ctg.php?format=gsonv&uid=" + texts.strSiteParam1);
  if (!answer || answer->empty()) return;

  ST_PERLISTRECORD local;
  ForPieces(list, *answer, kCategory, [&](std::string& piece) {
    local.nFlags = 0;
    local.strName = UnescapeUnicode(LeftOf(piece, "\","));
    if (local.strName.empty()) return true;
    local.nCount =
        static_cast<int32_t>(ReadDecimal(GetBetween(piece, "pic_cnt\":\"", "\"", BT_CONSUME)));
    local.strAddr = Unslash(GetBetween(piece, "ctg_url\":\"", "\"", BT_CONSUME));
    local.strCover = Unslash(GetBetween(piece, "big_url\":\"", "\"", BT_CONSUME));
    return list.Publish(local);
  });
}

// The pictures of one category, page by page while the page has its next-page link.
void BlogPictureList(PictureContext& pictures) {
  const std::string albumAddr = pictures.Album().strAddr;
  Fetcher fetcher(CodePage::Utf8);
  ForPages(pictures, 1, [&](int page) {
    std::optional<std::string> answer =
        fetcher.Get(kBlogPicturePage, albumAddr + "/page" + std::to_string(page));
    if (!answer || answer->empty()) return false;
    const bool more = Contains(*answer, kNextPageLink);
    bool going = true;
    ForPieces(pictures, *answer, kPictureBox, [&](std::string& piece) {
      std::string address = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
      ReplaceAll(address, "/small/", "/orignal/");
      address = WithoutAmpRemains(address);
      const std::string description = GetBetween(piece, "title=\"", "\"", BT_CONSUME);
      going = pictures.AddPicture(address, description, std::string());
      return going;
    });
    return going && more;
  });
}

// ---- Blog articles -------------------------------------------------------------------------

// The articles of a blog's article list ("<cut address>_<page>.html"), one album each.
void ArticleAlbumList(const std::string& address, ListContext& list) {
  // An address that lost everything (no "_" in it) names no page: nothing to fetch.
  if (address.empty()) return;
  JobTexts& texts = list.Texts();
  Fetcher fetcher(CodePage::Utf8);
  std::string separator = "class=\"atc_title\">";
  ST_PERLISTRECORD local;
  ForPages(list, 1, [&](int page) {
    std::optional<std::string> answer =
        fetcher.Get(kArticleList, address + "_" + std::to_string(page) + ".html");
    if (!answer || answer->empty()) return false;
    std::string& text = *answer;
    const bool more = Contains(text, kNextPageLink);
    if (page == 1) {
      texts.strOwner = StripTags(GetBetween(text, "blogtitle\">", "</", BT_CONSUME));
      // A list without title links is read at its dotted lines, on every page.
      if (!Contains(text, separator)) separator = "class=\"SG_j_linedot";
    }
    bool going = true;
    ForPieces(list, text, separator, [&](std::string& piece) {
      local.nFlags = 0;
      local.nCount = -1;
      local.strCover.clear();
      local.strName = GetBetweenCopy(piece, "title=\"", "\"");
      if (local.strName.empty()) return true;
      local.strAddr = GetBetweenCopy(piece, "href=\"", "\"");
      going = list.Publish(local);
      return going;
    });
    return going && more;
  });
}

// The pictures in one article's body. Where every picture links to its full-size address
// ("&url=" as often as "real_src"), the links are read; otherwise the pictures themselves.
void ArticlePictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  const std::string albumName = album.strName;
  Fetcher fetcher(CodePage::Gbk);
  PageOptions options;
  options.cutStart = "class=\"articalContent";
  options.cutEnd = "class=\"shareUp\">";
  std::optional<std::string> answer = fetcher.Get(kArticlePage, album.strAddr, options);
  if (!answer || answer->empty()) return;
  const std::string& body = *answer;
  const char* separator =
      CountOf(body, "real_src =\"") == CountOf(body, "&url=") ? "&url=" : "real_src =\"";
  ForPieces(pictures, body, separator, [&](std::string& piece) {
    const size_t quote = piece.find('"');
    // A piece without its closing quote holds no address: nothing to download.
    if (quote == std::string::npos || quote == 0) return true;
    std::string address = piece.substr(0, quote);
    ReplaceAll(address, "/middle/", "/orignal/");
    ReplaceAll(address, "/bmiddle/", "/orignal/");
    ReplaceAll(address, "/mw690/", "/orignal/");
    return pictures.AddPicture(address, albumName, std::string());
  });
}

// ---- Weibo albums --------------------------------------------------------------------------

// The account's user id and nickname, from the first form the account page holds.
void ReadWeiboOwner(std::string& page, JobTexts& texts) {
  std::string owner;
  if (ContainsInside(page, "['oid'] = '")) {
    texts.strSiteParam1 = GetBetween(page, "['oid'] = '", "'", BT_CONSUME);
    owner = GetBetween(page, "['onick'] = '", "'", BT_CONSUME);
  } else if (ContainsInside(page, "['oid']='")) {
    texts.strSiteParam1 = GetBetween(page, "['oid']='", "'", BT_CONSUME);
    owner = GetBetween(page, "['onick']='", "'", BT_CONSUME);
  } else {
    texts.strSiteParam1 = GetBetween(page, "\"id\":", ",", BT_CONSUME);
    owner = GetBetween(page, "\"name\":\"", "\"", BT_CONSUME);
  }
  CleanFileName(owner, 0xFFFF, true);
  texts.strOwner = owner;
}

// The albums of one logged-in account, all in one answer of the photo service. Both requests
// carry the account's login cookies in a cookie line of their own.
void WeiboAlbumList(const std::string& address, ListContext& list) {
  JobTexts& texts = list.Texts();
  Fetcher fetcher(CodePage::Utf8);
  PageOptions options;
  options.cookie = GetCookies(std::string(kHosts.weiboOrigin) + "/");
  std::optional<std::string> home = fetcher.Get(kWeiboHome, address, options);
  if (!home || home->empty()) return;
  WriteUnicodeText(kWeiboPageCopy, *home);
  ReadWeiboOwner(*home, texts);
  if (texts.strSiteParam1.empty()) return;

  const std::string photoHost = kHosts.weiboPhotoHost;
  std::optional<std::string> answer = fetcher.Get(
      kWeiboAlbums, photoHost + "/albums/get_all?uid=" + texts.strSiteParam1 + "&count=65535",
      options);
  if (!answer || answer->empty()) return;

  ST_PERLISTRECORD local;
  ForPieces(list, *answer, kAlbumId, [&](std::string& piece) {
    local.nFlags = 0;
    texts.strSiteParam2 = LeftOf(piece, "\",");
    if (texts.strSiteParam2.empty()) return true;
    const std::string kind = GetBetween(piece, "type\":", ",", BT_CONSUME);
    local.strAddr = photoHost + "/photos/get_all?uid=" + texts.strSiteParam1 +
                    "&album_id=" + texts.strSiteParam2 + "&count=32&type=" + kind + "&page=";
    local.strName = UnescapeUnicode(GetBetween(piece, "\"caption\":\"", "\"", BT_CONSUME));
    local.strCover = Unslash(GetBetween(piece, "cover_pic\":\"", "\"", BT_CONSUME));
    local.nCount =
        static_cast<int32_t>(ReadDecimal(GetBetween(piece, "\"photos\":", ",", BT_CONSUME)));
    return list.Publish(local);
  });
}

// The address of one picture record: its original picture, else one built from its host and
// name (kind "0": the 180-pixel picture under the user id; any other kind: the large one).
std::string WeiboPictureAddress(std::string& piece, const std::string& userId) {
  std::string address = GetBetween(piece, "original_pic\":\"", "\"", BT_CONSUME);
  if (address.empty()) {
    const std::string kind = GetBetweenCopy(piece, "pic_type\":", ",");
    const std::string name = GetBetweenCopy(piece, "pic_name\":\"", "\"");
    const std::string host = GetBetweenCopy(piece, "pic_host\":\"", "\"");
    address = kind == "0" ? host + userId + "/180/" + name : host + "/large/" + name;
  }
  return Unslash(address);
}

// Pictures per page of the photo service.
constexpr uint32_t kWeiboPageSize = 32;

// The pictures of one album, 32 a page; the page count comes from the album's count.
void WeiboPictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  const std::string albumName = album.strName;
  const std::string albumAddr = album.strAddr;
  const std::string userId = pictures.Texts().strSiteParam1;
  // Unsigned, as the site's count is: an unknown count (-1) wraps to no page beyond the first.
  const uint32_t pages =
      (static_cast<uint32_t>(album.nCount) + (kWeiboPageSize - 1)) / kWeiboPageSize;
  Fetcher fetcher(CodePage::Utf8);
  PageOptions options;
  options.tries = 3;
  options.retryPause = 4;
  ForPages(pictures, 1, [&](int page) {
    std::optional<std::string> answer =
        fetcher.Get(kWeiboPhotos, albumAddr + std::to_string(page), options);
    if (!answer) return false;
    WriteUnicodeText(kWeiboPicturesCopy, *answer);
    if (answer->empty()) return false;
    bool going = true;
    ForPieces(pictures, *answer, kPhotoId, [&](std::string& piece) {
      std::string description =
          StripTags(UnescapeUnicode(GetBetweenCopy(piece, "\"caption\":\"", "\",\"")));
      if (description.empty()) description = albumName;
      const std::string address = WeiboPictureAddress(piece, userId);
      going = pictures.AddPicture(address, description, std::string());
      return going;
    });
    return going && static_cast<uint32_t>(page) < pages;
  });
}

constexpr std::array<const char*, 2> kFragments = {"sina.com", "weibo.com/"};

constexpr std::array<ListForm, 3> kForms = {{
    {LT_SINA_BLOG, "Sina blog albums", BlogAlbumList, BlogPictureList},
    {LT_SINA_ARTICLE, "Sina blog articles", ArticleAlbumList, ArticlePictureList},
    {LT_SINA_WEIBO, "Sina Weibo albums", WeiboAlbumList, WeiboPictureList},
}};

constexpr std::array<std::pair<const char*, int>, 3> kExamples = {{
    {"http://photo.blog.sina.com.cn/someone", LT_SINA_BLOG},
    {"http://blog.sina.com.cn/s/blog_4b6c2d0b0100abcd.html", LT_SINA_ARTICLE},
    {"http://weibo.com/someone", LT_SINA_WEIBO},
}};

}  // namespace

extern const SiteFamily kSinaFamily;
const SiteFamily kSinaFamily = {SITE_SINA, "sina",      "新浪博客/微博",     kFragments, Normalize,
                                kForms,    kNoFallback, "http://weibo.com/", kExamples,  kPages};

}  // namespace albumora
