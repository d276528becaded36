// SPDX-License-Identifier: GPL-3.0-or-later
// Baidu: albums of one owner on the photo-album service, and picture threads of a Tieba forum.
#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "sites/Family.h"
#include "sites/Fetch.h"
#include "sites/Walk.h"
#include "text/StringCtrl.h"

namespace albumora {

namespace {

// The family's hosts, origins and templates.
struct Hosts {
  const char* albumOrigin = "http://xiangce.baidu.com";
  const char* tiebaHost = "tieba.baidu.com";
  const char* tiebaOrigin = "http://tieba.baidu.com";
  const char* forumPictureHost = "http://imgsrc.baidu.com";
};
constexpr Hosts kHosts;

constexpr const char* kAlbumBox = "class='content-album'";
constexpr const char* kPictureName = "picture_name";
constexpr const char* kThreadBox = "class=\\\"grbm_ele_wrapper";
constexpr const char* kPictureId = "pic_id\"";

// What its pages must hold: the owner's album home page its album boxes, an album's JSON blocks
// their picture records, the forum's thread answer its (escaped) thread boxes, and a thread's
// picture answer its picture ids.
constexpr const char* kHomeMarkers[] = {kAlbumBox};
constexpr PageMarkers kAlbumHome = {PageKind::AlbumIndex, kHomeMarkers, kYieldsAlbums};
constexpr const char* kBlockMarkers[] = {kPictureName};
// A block past the album's last picture says its list is empty.
constexpr const char* kEmptyBlock[] = {"\"list\":[]"};
constexpr PageMarkers kPictureBlock = {PageKind::ScriptAnswer, kBlockMarkers,
                                       kYieldsPictures | kYieldsNextPage, kEmptyBlock};
constexpr const char* kThreadMarkers[] = {kThreadBox};
constexpr PageMarkers kThreadList = {PageKind::ScriptAnswer, kThreadMarkers,
                                     kYieldsAlbums | kYieldsNextPage};
constexpr const char* kThreadPictureMarkers[] = {kPictureId};
constexpr PageMarkers kThreadPictures = {PageKind::ScriptAnswer, kThreadPictureMarkers,
                                         kYieldsPictures | kYieldsNextPage};
constexpr std::array<const PageMarkers*, 4> kPages = {&kAlbumHome, &kPictureBlock, &kThreadList,
                                                      &kThreadPictures};

// ---- Baidu albums (list type 0): the owner's album home page, then each album's pictures from
// the album host's JSON interface in blocks of 100.

// The albums on the owner's album home page, requested as typed; sets strOwner.
void AlbumList(const std::string& address, ListContext& list) {
  Fetcher fetcher(CodePage::Utf8);
  PageOptions page;
  page.cutEnd = "id=\"feedback\"";  // the album list ends before the feedback box
  std::optional<std::string> answer = fetcher.Get(kAlbumHome, address, page);
  if (!answer || answer->empty()) return;
  std::string& text = *answer;
  list.Texts().strOwner = GetBetween(text, "user_name'>", "</", BT_CONSUME);

  ST_PERLISTRECORD local;
  ForPieces(list, text, kAlbumBox, [&](std::string& piece) {
    local.nFlags = 0;
    local.strAddr = GetBetween(piece, "sign='", "'", BT_CONSUME);
    if (local.strAddr.empty()) return true;
    local.strCover = GetBetween(piece, "src=\"", "\"", BT_CONSUME);
    local.nCount = static_cast<int32_t>(ReadDecimal(GetBetween(piece, "<span>", "<", BT_CONSUME)));
    CutBefore(piece, "content-album-name yahei", true);
    local.strName = GetBetween(piece, "'>", "</", BT_CONSUME);
    return list.Publish(local);
  });
}

// The full-size address of a listed picture: the same file under "album/pic/item". An address
// without "album" is kept as listed (cutting it would leave no host).
std::string FullSizeAddress(const std::string& listed) {
  const size_t album = listed.find("album");
  const size_t slash = listed.rfind('/');
  if (album == std::string::npos || slash == std::string::npos) return listed;
  return listed.substr(0, album) + "album/pic/item" + listed.substr(slash);
}

// The pictures of one album. An album that lists no picture although it has some is not
// public: the user may verify access once, before the first block, and the block is read again.
void AlbumPictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  User& user = pictures.user();
  Fetcher fetcher(CodePage::Utf8);
  int offset = 0;
  bool verify = true;
  while (!pictures.Halted()) {
    const std::string address = std::string(kHosts.albumOrigin) + "/picture/album/list/" +
                                album.strAddr +
                                "?format=json&size=100&pn=" + std::to_string(offset) +
                                "&width=80&t=" + RandomFraction() + "&resolution=1280";
    const std::optional<std::string> answer = fetcher.Get(kPictureBlock, address);
    if (!answer || answer->empty()) return;
    if (!Contains(*answer, kPictureName)) {
      if (album.nCount > 0 && offset == 0 && verify) {
        if (!user.AskYesNo("为非公开相册,是否进行验证？\n\n验证成功后请手动关闭验证框", "提示")) {
          return;
        }
        user.OpenLogin(std::string(kHosts.albumOrigin) + "/picture/album/list/" + album.strAddr);
        verify = false;
        continue;
      }
      return;
    }
    bool more = true;
    offset += ForPieces(pictures, *answer, kPictureName, [&](std::string& piece) {
      std::string description = UnescapeUnicode(GetBetween(piece, "\":\"", "\"", BT_CONSUME));
      if (description.empty()) description = album.strName;
      const std::string listed = Unslash(GetBetween(piece, "img_src\":\"", "\"", BT_CONSUME));
      // A record without an address has nothing to download.
      if (listed.empty()) return true;
      more = pictures.AddPicture(FullSizeAddress(listed), description, std::string());
      return more;
    });
    if (!more) return;
  }
}

// ---- Baidu Tieba (list type 1): the picture threads of one forum and their pictures, page by
// page from the Tieba host's JSON interface (the thread list is escaped HTML inside JSON). The
// keyword stays percent-encoded as typed in every request.

void TiebaAlbumList(const std::string& keyword, ListContext& list) {
  Fetcher fetcher(CodePage::Utf8);
  ST_PERLISTRECORD local;
  ForPages(list, 1, [&](int page) {
    const std::string address = std::string(kHosts.tiebaOrigin) + "/photo/g?kw=" + keyword +
                                "&alt=jview&pn=" + std::to_string(page) +
                                "&rn=30&cat_id=all&_=" + RandomFraction();
    const std::optional<std::string> answer = fetcher.Get(kThreadList, address);
    if (!answer || answer->empty()) return false;
    bool more = true;
    const int count = ForPieces(list, *answer, kThreadBox, [&](std::string& piece) {
      local.nFlags = 0;
      local.strAddr = Unslash(GetBetween(piece, "href=\\\"", "\\\"", BT_CONSUME));
      CutAfter(local.strAddr, "p/");  // a thread link gives the thread id
      if (local.strAddr.empty()) return true;
      local.strCover = Unslash(GetBetween(piece, "src=\\\"", "\\\"", BT_CONSUME));
      CutBefore(piece, "grbm_ele_pic_amount", true);
      local.nCount = static_cast<int32_t>(ReadDecimal(GetBetween(piece, ">", "<", BT_CONSUME)));
      local.strName = UnescapeUnicode(GetBetween(piece, "title=\\\"", "\\\"", BT_CONSUME));
      more = list.Publish(local);
      return more;
    });
    return count > 0 && more;
  });
}

void TiebaPictureList(PictureContext& pictures) {
  const ST_PERLISTRECORD& album = pictures.Album();
  const std::string& keyword = pictures.Texts().strSiteParam1;
  Fetcher fetcher(CodePage::Utf8);
  ForPages(pictures, 1, [&](int page) {
    const std::string address =
        std::string(kHosts.tiebaOrigin) + "/photo/g/bw/picture/list?kw=" + keyword +
        "&alt=jview&rn=200&tid=" + album.strAddr + "&pn=" + std::to_string(page) +
        "&ps=0&pe=200&wall_type=v&_=" + RandomFraction();
    const std::optional<std::string> answer = fetcher.Get(kThreadPictures, address);
    if (!answer || answer->empty()) return false;
    bool more = true;
    const int count = ForPieces(pictures, *answer, kPictureId, [&](std::string& piece) {
      const std::string id = GetBetween(piece, "\"", "\"", BT_CONSUME);
      // A record without an id names no picture.
      if (id.empty()) return true;
      const std::string url =
          std::string(kHosts.forumPictureHost) + "/forum/pic/item/" + id + ".jpg";
      std::string description = UnescapeUnicode(GetBetween(piece, "descr\":\"", "\"", BT_CONSUME));
      if (description.empty()) description = album.strName;
      more = pictures.AddPicture(url, description, std::string());
      return more;
    });
    return count > 0 && more;
  });
}

// A Tieba address names its forum after "kw=". Without a keyword there is no forum to list
// (the cuts would leave "http:"): the user is told what to type instead.
constexpr const char* kNoKeywordMessage =
    "贴吧网址中没有吧名，请输入带“kw=”的贴吧网址，例如 http://tieba.baidu.com/f?kw=吧名";

ListPlan Normalize(std::string addr) {
  if (!Contains(addr, std::string(kHosts.tiebaHost) + "/")) return OneCall(LT_BAIDU_ALBUM, addr);
  if (!Contains(addr, "kw=")) {
    ListPlan plan;
    plan.emptyMessage = kNoKeywordMessage;
    return plan;
  }
  CutAfter(addr, "kw=");
  for (const char* marker : {"/", "?", "#", "&"}) CutAt(addr, marker);
  if (addr.empty()) {
    ListPlan plan;
    plan.emptyMessage = kNoKeywordMessage;
    return plan;
  }
  ListPlan plan = OneCall(LT_BAIDU_TIEBA, addr);
  plan.calls[0].siteParam1 = addr;
  plan.calls[0].ownerAfter = UrlDecode(addr, false);
  return plan;
}

constexpr std::array<const char*, 1> kFragments = {"baidu.com/"};

constexpr std::array<ListForm, 2> kForms = {{
    {LT_BAIDU_ALBUM, "Baidu albums", AlbumList, AlbumPictureList},
    {LT_BAIDU_TIEBA, "Baidu Tieba", TiebaAlbumList, TiebaPictureList},
}};

constexpr std::array<std::pair<const char*, int>, 2> kExamples = {{
    {"http://xiangce.baidu.com/someone", LT_BAIDU_ALBUM},
    {"http://tieba.baidu.com/f?kw=%C3%C0%C5%AE&fr=ala0", LT_BAIDU_TIEBA},
}};

}  // namespace

extern const SiteFamily kBaiduFamily;
const SiteFamily kBaiduFamily = {SITE_BAIDU, "baidu", "百度相册/贴吧", kFragments,
                                 Normalize,  kForms,  LT_BAIDU_TIEBA,  "http://xiangce.baidu.com/",
                                 kExamples,  kPages};

}  // namespace albumora
