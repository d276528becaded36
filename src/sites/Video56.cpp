// SPDX-License-Identifier: GPL-3.0-or-later
// The 56 video site's photo albums.
#include <array>
#include <climits>
#include <string>

#include "sites/Family.h"
#include "sites/Fetch.h"
#include "sites/Walk.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* photoHost = "http://photo.56.com";
  const char* albumIndexTemplate = "http://photo.56.com/album/index.php?user=%s";
};
constexpr Hosts kHosts;

constexpr const char* kAlbumListStart = "class=\"album_list";
constexpr const char* kPictureItem = "class=\"img\"";

// What its pages must hold: the album index its list of albums, an album's list page its
// pictures.
constexpr const char* kIndexMarkers[] = {kAlbumListStart, "<li"};
constexpr PageMarkers kAlbumIndex = {PageKind::AlbumIndex, kIndexMarkers,
                                     kYieldsAlbums | kYieldsNextPage};
constexpr const char* kPictureMarkers[] = {kPictureItem};
constexpr PageMarkers kPictureListPage = {PageKind::PictureListPage, kPictureMarkers,
                                          kYieldsPictures | kYieldsNextPage};
constexpr std::array<const PageMarkers*, 2> kPages = {&kAlbumIndex, &kPictureListPage};

// A signed count as the page writes it, kept within the entry's range.
int32_t ReadCount(const std::string& text) {
  const long long value = ReadDecimal(text);
  if (value < INT_MIN) return INT_MIN;
  return value > INT_MAX ? INT_MAX : static_cast<int32_t>(value);
}

// The owner's album index (its address names the user), every page of it.
void AlbumList(const std::string& indexAddress, ListContext& list) {
  Fetcher fetcher(CodePage::Utf8);
  ST_PERLISTRECORD local;
  bool stopped = false;
  ForPages(list, 1, [&](int n) {
    std::optional<std::string> answer =
        fetcher.Get(kAlbumIndex, indexAddress + "&page=" + std::to_string(n));
    if (!answer || answer->empty()) return false;
    std::string& text = *answer;
    const bool more = Contains(text, "下一页</a>");
    CutBefore(text, kAlbumListStart, true);
    TruncAt(text, "</ul>");
    ForPieces(list, text, "<li", [&](std::string& piece) {
      local.strAddr = GetBetween(piece, "chackAlbum('", "'", BT_CONSUME);
      local.strCover = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
      local.strName = GetBetween(piece, "title=\"", "\"", BT_CONSUME);
      if (local.strName.empty()) return true;
      local.nCount = ReadCount(GetBetween(piece, "(", ")", BT_CONSUME));
      local.nFlags = 0;
      stopped = !list.Publish(local);
      return !stopped;
    });
    return more && !stopped;
  });
}

// The pictures of one album (its id), every page; each picture is fetched with its list page as
// the referring page.
void PictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  Fetcher fetcher(CodePage::Utf8);
  ForPages(pictures, 1, [&](int n) {
    const std::string request = std::string(kHosts.photoHost) +
                                "/album/?do=Plist&did=" + album.strAddr +
                                "&page=" + std::to_string(n);
    std::optional<std::string> answer = fetcher.Get(kPictureListPage, request);
    if (!answer || answer->empty()) return false;
    const bool more = Contains(*answer, "\">下一页</a>");
    const std::string header = "Referer: " + request;
    bool ended = false;
    const int pieces = ForPieces(pictures, *answer, kPictureItem, [&](std::string& piece) {
      const std::string picture = GetBetween(piece, "src='", "'", BT_CONSUME);
      std::string description = Trim(StripTags(GetBetweenCopy(piece, "<label>", "</label>")));
      if (description.empty()) description = album.strName;
      ended = !pictures.AddPicture(picture, description, header);
      return !ended;
    });
    return pieces > 0 && more && !ended;
  });
}

ListPlan Normalize(std::string addr) {
  std::string owner = addr;
  CutAfter(owner, "album/");
  for (const char* marker : {"&", "/", "?"}) CutAt(owner, marker);
  ListPlan plan = OneCall(LT_NONE, FillTemplate(kHosts.albumIndexTemplate, owner));
  plan.calls[0].ownerBefore = owner;
  return plan;
}

constexpr std::array<const char*, 1> kFragments = {"56.com/"};

constexpr std::array<ListForm, 1> kForms = {{
    {LT_NONE, "56 albums", AlbumList, PictureList},
}};

constexpr std::array<std::pair<const char*, int>, 1> kExamples = {{
    {"http://photo.56.com/album/someone/", LT_NONE},
}};

}  // namespace

extern const SiteFamily kVideo56Family;
const SiteFamily kVideo56Family = {SITE_56, "56",    "56网相册", kFragments, Normalize,
                                   kForms,  LT_NONE, "",         kExamples,  kPages};

}  // namespace albumora
