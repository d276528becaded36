// SPDX-License-Identifier: GPL-3.0-or-later
// moko: an owner's posts, one album per post.
#include <array>
#include <climits>
#include <string>
#include <vector>

#include "fs/FileNames.h"
#include "sites/Family.h"
#include "sites/Fetch.h"
#include "sites/Walk.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* hostName = "moko.cc";
  const char* origin = "http://www.moko.cc";
};
constexpr Hosts kHosts;

// The post list page is read only up to its side box.
constexpr const char* kSideBox = "<div class=\"sBox";

constexpr const char* kCategoryBox = "class=\"mwC\"";
constexpr const char* kCover = "src2=\"";
constexpr const char* kPictureItem = "class=\"picBox\">";

// What its pages must hold: the owner's post list its category links, a category page its posts
// (in either of two layouts, both with their covers' "src2"), a post its pictures.
constexpr const char* kPostListMarkers[] = {kCategoryBox};
constexpr PageMarkers kPostList = {PageKind::AlbumIndex, kPostListMarkers,
                                   kYieldsAlbums | kYieldsPages};
constexpr const char* kCategoryMarkers[] = {kCover};
constexpr PageMarkers kCategoryPage = {PageKind::AlbumIndex, kCategoryMarkers,
                                       kYieldsAlbums | kYieldsNextPage};
constexpr const char* kPostMarkers[] = {kPictureItem};
constexpr PageMarkers kPostPage = {PageKind::AlbumPage, kPostMarkers, kYieldsPictures};
constexpr std::array<const PageMarkers*, 3> kPages = {&kPostList, &kCategoryPage, &kPostPage};

// A count the page writes as digits; a negative number or nothing readable gives 0.
int32_t ReadCount(const std::string& text) {
  const long long value = ReadDecimal(text);
  if (value < 0) return 0;
  return value > INT_MAX ? INT_MAX : static_cast<int32_t>(value);
}

std::string OwnerOf(std::string& page) {
  std::string owner = GetBetween(page, "<title>", "'s", BT_CONSUME);
  CleanFileName(owner, 0xFFFF, true);
  return owner;
}

// A further page is linked by the arrow link. The site writes the arrow as "&gt;", which the
// answer's entity decoding has already turned into ">": the second form is the one that matches.
bool HasNextPage(const std::string& page) {
  return Contains(page, "class=\"b bC\">&gt;</a>") || Contains(page, "class=\"b bC\">></a>");
}

// The category bases the owner's post list page links to, in page order.
std::vector<std::string> CategoryBases(const std::string& address, Fetcher& fetcher,
                                       JobTexts& texts) {
  std::vector<std::string> bases;
  PageOptions page;
  page.cutEnd = kSideBox;
  std::optional<std::string> answer = fetcher.Get(kPostList, address, page);
  if (!answer || answer->empty()) return bases;
  std::string& text = *answer;
  texts.strOwner = OwnerOf(text);
  CutBefore(text, kCategoryBox, true);
  TruncAt(text, kSideBox);
  std::vector<std::string> pieces;
  SplitBy(pieces, text, "href=\"");
  for (size_t i = 1; i < pieces.size(); ++i) {
    std::string base = kHosts.origin + pieces[i];
    TruncAt(base, "\"");
    const size_t slash = base.rfind('/');
    if (slash != std::string::npos) base.resize(slash);
    bases.push_back(std::move(base));
  }
  return bases;
}

// Every post of the owner's categories (or of the one category or "new" list typed), one album
// per post.
void AlbumList(const std::string& address, ListContext& list) {
  Fetcher fetcher(CodePage::Utf8);
  JobTexts& texts = list.Texts();
  std::vector<std::string> bases;
  if (Contains(address, "/category/") || Contains(address, "/new/")) {
    const size_t slash = address.rfind('/');
    bases.push_back(slash == std::string::npos ? std::string() : address.substr(0, slash));
  } else {
    bases = CategoryBases(address, fetcher, texts);
  }

  ST_PERLISTRECORD local;
  bool stopped = false;
  for (size_t b = 0; b < bases.size() && !stopped && !list.Halted(); ++b) {
    ForPages(list, 1, [&](int n) {
      std::optional<std::string> answer =
          fetcher.Get(kCategoryPage, bases[b] + "/" + std::to_string(n) + ".html");
      if (!answer || answer->empty()) return false;
      std::string& text = *answer;
      const bool last = !HasNextPage(text);
      if (b == 0 && n == 1 && texts.strOwner.empty()) texts.strOwner = OwnerOf(text);

      auto publish = [&]() {
        local.nFlags = 0;
        stopped = !list.Publish(local);
        return !stopped;
      };
      if (ContainsInside(text, "class=\"show")) {
        ForPieces(list, text, "class=\"show", [&](std::string& piece) {
          local.nCount = ReadCount(GetBetween(piece, "mC\">", "</", BT_CONSUME));
          local.strName = GetBetween(piece, "title=\"", "\"", BT_CONSUME);
          local.strAddr = GetBetween(piece, "href=\"", "\"", BT_CONSUME);
          local.strCover = GetBetween(piece, "src2=\"", "\"", BT_CONSUME);
          return publish();
        });
      } else {
        ForPieces(list, text, "class=\"twShow", [&](std::string& piece) {
          local.nCount = ReadCount(GetBetween(piece, "/>(", ")", BT_CONSUME));
          local.strAddr = GetBetween(piece, "href=\"", "\"", BT_CONSUME);
          local.strName = GetBetween(piece, "title=\"", "\"", BT_CONSUME);
          local.strCover = GetBetween(piece, "src2=\"", "\"", BT_CONSUME);
          return publish();
        });
      }
      return !stopped && !last;
    });
  }
}

// The pictures of one post: its one page, read in the local code page.
void PictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  Fetcher fetcher(CodePage::Gbk);
  std::optional<std::string> answer = fetcher.Get(kPostPage, kHosts.origin + album.strAddr);
  if (!answer || answer->empty()) return;
  const std::string description = album.strName;
  ForPieces(pictures, *answer, kPictureItem, [&](std::string& piece) {
    const std::string picture = GetBetween(piece, "src2=\"", "\"", BT_CONSUME);
    return pictures.AddPicture(picture, description, std::string());
  });
}

ListPlan Normalize(std::string addr) {
  if (!Contains(addr, "/post")) {
    CutAfter(addr, std::string(kHosts.hostName) + "/");
    CutAt(addr, "/");
    addr = std::string(kHosts.origin) + "/post/" + addr + "/list.html";
  }
  return OneCall(LT_NONE, addr);
}

constexpr std::array<const char*, 1> kFragments = {"moko.cc/"};

constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "moko albums", AlbumList, PictureList},
}};

constexpr std::array<std::pair<const char*, int>, 2> kExamples = {{
    {"http://www.moko.cc/someone/", LT_NONE},
    {"http://www.moko.cc/post/someone/category/1234/1.html", LT_NONE},
}};

}  // namespace

extern const SiteFamily kMokoFamily;
const SiteFamily kMokoFamily = {
    SITE_MOKO, "moko",
    "美空网",  kFragments,
    Normalize, kForms,
    LT_NONE,   "http://www.moko.cc/jsps/common/login.jsp?tourl=http%3A//www.moko.cc/",
    kExamples, kPages};

}  // namespace albumora
