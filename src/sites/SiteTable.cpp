#include "sites/SiteTable.h"

#include <array>
#include <atomic>

#include "model/AppState.h"
#include "model/Records.h"
#include "sites/Qzone.h"

namespace albumora {

namespace {

// The slot of an adapter family not built yet: it lists nothing.
void NoAlbums(const std::string&, AppState&) {}
void NoPictures(AppState&, int) {}

// Renren's two picture-list methods: the second runs when the first left the list empty.
void RenrenPicturesFirst(AppState& app, int albumIndex) { NoPictures(app, albumIndex); }
void RenrenPicturesSecond(AppState& app, int albumIndex) { NoPictures(app, albumIndex); }
void RenrenPictures(AppState& app, int albumIndex) {
  RenrenPicturesFirst(app, albumIndex);
  const uint8_t state = app.nDownState.load();
  if (app.downloadList.empty() && state != DOWN_ENOUGH && state != DOWN_STOP) {
    RenrenPicturesSecond(app, albumIndex);
  }
}

constexpr std::array<SiteRow, 24> kRows = {{
    {SITE_QZONE, LT_QZONE_PERSONAL, "Qzone personal albums", QzoneAlbumList, QzonePictureList},
    {SITE_QZONE, LT_QZONE_GROUP, "Qzone group albums", NoAlbums, NoPictures},
    {SITE_QZONE, LT_TENCENT_WEIBO, "Tencent Weibo albums", NoAlbums, NoPictures},
    {SITE_BAIDU, LT_BAIDU_ALBUM, "Baidu albums", NoAlbums, NoPictures},
    {SITE_BAIDU, LT_BAIDU_TIEBA, "Baidu Tieba", NoAlbums, NoPictures},
    {SITE_NETEASE, LT_NETEASE_PP, "NetEase pp albums", NoAlbums, NoPictures},
    {SITE_NETEASE, LT_NONE, "NetEase photo albums", NoAlbums, NoPictures},
    {SITE_RENREN, LT_RENREN, "Renren albums", NoAlbums, RenrenPictures},
    {SITE_RENREN, LT_RENREN_ZHAN, "Renren zhan", NoAlbums, NoPictures},
    {SITE_SINA, LT_SINA_BLOG, "Sina blog albums", NoAlbums, NoPictures},
    {SITE_SINA, LT_SINA_ARTICLE, "Sina blog articles", NoAlbums, NoPictures},
    {SITE_SINA, LT_SINA_WEIBO, "Sina Weibo albums", NoAlbums, NoPictures},
    {SITE_56, LT_NONE, "56 albums", NoAlbums, NoPictures},
    {SITE_POCO, LT_POCO_ALBUM, "POCO albums", NoAlbums, NoPictures},
    {SITE_POCO, LT_POCO_POSTS, "POCO post lists", NoAlbums, NoPictures},
    {SITE_YUPOO, LT_NONE, "Yupoo albums", NoAlbums, NoPictures},
    {SITE_51, LT_NONE, "51 albums", NoAlbums, NoPictures},
    {SITE_ZOL, LT_NONE, "ZOL albums", NoAlbums, NoPictures},
    {SITE_PCHOME, LT_NONE, "PChome albums", NoAlbums, NoPictures},
    {SITE_TAOBAO, LT_NONE, "Taobao and Tmall items", NoAlbums, NoPictures},
    {SITE_MOKO, LT_NONE, "moko albums", NoAlbums, NoPictures},
    {SITE_BABYTREE, LT_BABYTREE_FIRST, "babytree albums", NoAlbums, NoPictures},
    {SITE_BABYTREE, LT_BABYTREE_SECOND, "babytree albums, second reader", NoAlbums, NoPictures},
    {SITE_PCONLINE, LT_NONE, "pconline albums", NoAlbums, NoPictures},
}};

// The list type whose picture list a download uses for a list type the site has no row of:
// kNoFallback where such albums get no pictures.
constexpr int kNoFallback = -100;
constexpr std::array<int, kSiteCount> kOtherListType = {
    kNoFallback,  // Qzone: 0, 1, 2 only
    LT_BAIDU_TIEBA,
    LT_NONE,      // NetEase photo albums
    kNoFallback,  // Renren: 0, 10 only
    kNoFallback,  // Sina: 0, 1, 2 only
    LT_NONE,
    kNoFallback,  // POCO: 0, 1 only
    LT_NONE,
    LT_NONE,
    LT_NONE,
    LT_NONE,
    LT_NONE,
    LT_NONE,
    LT_BABYTREE_SECOND,  // babytree: anything but 0
    LT_NONE,
};

const SiteRow* FindRow(int nSite, int nListType) {
  for (const SiteRow& row : kRows) {
    if (row.nSite == nSite && row.nListType == nListType) return &row;
  }
  return nullptr;
}

std::atomic<AlbumListFn>& AlbumOverride() {
  static std::atomic<AlbumListFn> slot{nullptr};
  return slot;
}

}  // namespace

std::span<const SiteRow> SiteRows() { return kRows; }

void SetAlbumListOverride(AlbumListFn fn) { AlbumOverride().store(fn); }

AlbumListFn AlbumListFor(int nSite, int nListType) {
  const SiteRow* row = FindRow(nSite, nListType);
  if (!row) return nullptr;
  if (AlbumListFn hook = AlbumOverride().load()) return hook;
  return row->albumList;
}

const SiteRow* PictureRowFor(int nSite, int nListType) {
  if (nSite < 0 || nSite >= kSiteCount) return nullptr;
  const SiteRow* row = FindRow(nSite, nListType);
  if (!row && kOtherListType[static_cast<size_t>(nSite)] != kNoFallback) {
    row = FindRow(nSite, kOtherListType[static_cast<size_t>(nSite)]);
  }
  return row;
}

PictureListFn PictureListFor(int nSite, int nListType) {
  const SiteRow* row = PictureRowFor(nSite, nListType);
  return row ? row->pictureList : nullptr;
}

}  // namespace albumora
