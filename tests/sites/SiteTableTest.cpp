#include "sites/SiteTable.h"

#include <gtest/gtest.h>

#include <string>

#include "model/Records.h"
#include "sites/Qzone.h"

namespace albumora {
namespace {

std::string PictureFamily(int site, int listType) {
  const SiteRow* row = PictureRowFor(site, listType);
  return row ? row->family : "none";
}

TEST(SiteTable, EveryListTypeOfTheRecordsHasBothAdapters) {
  const std::pair<int, int> forms[] = {
      {0, 0},  {0, 1},  {0, 2},   {1, 0},   {1, 1},   {2, 1},  {2, -1}, {3, 0},
      {3, 10}, {4, 0},  {4, 1},   {4, 2},   {5, -1},  {6, 0},  {6, 1},  {7, -1},
      {8, -1}, {9, -1}, {10, -1}, {11, -1}, {12, -1}, {13, 0}, {13, 1}, {14, -1},
  };
  EXPECT_EQ(SiteRows().size(), std::size(forms));
  for (const auto& [site, listType] : forms) {
    EXPECT_NE(AlbumListFor(site, listType), nullptr) << site << "/" << listType;
    EXPECT_NE(PictureListFor(site, listType), nullptr) << site << "/" << listType;
  }
  EXPECT_EQ(AlbumListFor(SITE_QZONE, LT_QZONE_PERSONAL), &QzoneAlbumList);
  EXPECT_EQ(PictureListFor(SITE_QZONE, LT_QZONE_PERSONAL), &QzonePictureList);
}

TEST(SiteTable, DownloadDispatchForOtherListTypes) {
  EXPECT_EQ(PictureFamily(0, 5), "none");
  EXPECT_EQ(PictureFamily(0, -1), "none");
  EXPECT_EQ(PictureFamily(1, -1), "Baidu Tieba");
  EXPECT_EQ(PictureFamily(1, 7), "Baidu Tieba");
  EXPECT_EQ(PictureFamily(1, 0), "Baidu albums");
  EXPECT_EQ(PictureFamily(2, 0), "NetEase photo albums");
  EXPECT_EQ(PictureFamily(2, 1), "NetEase pp albums");
  EXPECT_EQ(PictureFamily(3, 1), "none");
  EXPECT_EQ(PictureFamily(3, 10), "Renren zhan");
  EXPECT_EQ(PictureFamily(4, -1), "none");
  EXPECT_EQ(PictureFamily(5, 3), "56 albums");
  EXPECT_EQ(PictureFamily(6, 2), "none");
  EXPECT_EQ(PictureFamily(7, 0), "Yupoo albums");
  EXPECT_EQ(PictureFamily(11, 0), "Taobao and Tmall items");
  EXPECT_EQ(PictureFamily(13, 0), "babytree albums");
  EXPECT_EQ(PictureFamily(13, -1), "babytree albums, second reader");
  EXPECT_EQ(PictureFamily(13, 1), "babytree albums, second reader");
  EXPECT_EQ(PictureFamily(14, 2), "pconline albums");
  EXPECT_EQ(PictureFamily(15, -1), "none");
  EXPECT_EQ(PictureFamily(-1, 0), "none");
  // The album lists exist only for the list types the job can choose.
  EXPECT_EQ(AlbumListFor(1, -1), nullptr);
  EXPECT_EQ(AlbumListFor(15, -1), nullptr);
}

}  // namespace
}  // namespace albumora
