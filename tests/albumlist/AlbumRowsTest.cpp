// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <unistd.h>
#include "ScratchDir.h"
#include "albumlist/AlbumRows.h"
#include "app/Commands.h"
#include "fs/FileNames.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>
#include <vector>

#include "FakeHost.h"
#include "TestWeb.h"
#include "albumlist/AlbumListJob.h"
#include "fs/ProgramFolder.h"
#include "model/AppState.h"
#include "net/HttpEngine.h"

namespace albumora {
namespace {

using testweb::FakeHost;

// GCC 12 at -O3 reports a bogus overlap (-Wrestrict) in the inlined std::string code of a
// literal followed by a temporary string; the buffers never overlap.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
std::string NumberedName(int i) { return "p" + std::to_string(i); }
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic pop
#endif

class AlbumRows : public ::testing::Test {
 protected:
  void SetUp() override {
    InitProgramFolder(home_);
    app_.bReady = 1;
    app_.grid.Reset(false);
  }
  void TearDown() override { SetEngineProxy(""); }

  void Publish(const std::string& name, int32_t count = 1, int32_t flags = 0,
               const std::string& cover = {}) {
    ST_PERLISTRECORD local;
    local.strName = name;
    local.nCount = count;
    local.nFlags = flags;
    local.strCover = cover;
    PublishAlbum(local, app_);
  }

  testweb::ScratchDir scratch_{"rows"};
  std::filesystem::path home_ = scratch_.Dir();
  FakeHost host_;
  AppState app_{host_};
};

TEST(AlbumTexts, CountAndRemark) {
  EXPECT_EQ(CountText(-1), "未知");
  EXPECT_EQ(CountText(7), "   7");
  EXPECT_EQ(CountText(12345), "12345");
  EXPECT_EQ(RemarkText(0), "");
  EXPECT_EQ(RemarkText(1), "加密相册");
  EXPECT_EQ(RemarkText(2), "私密相册");
  EXPECT_EQ(RemarkText(6), "私密相册");
  EXPECT_EQ(RemarkText(4), "好友可见");
  EXPECT_EQ(RemarkText(7), "加密相册");
  EXPECT_EQ(RemarkText(static_cast<int32_t>(0x80000005u)), "00000005");
}

TEST_F(AlbumRows, NamesAreCleanedAndMadeUnique) {
  Publish("A");
  Publish("A");
  Publish("A (1)");
  Publish("a.b/c");
  ASSERT_EQ(app_.albumList.size(), 4u);
  EXPECT_EQ(app_.albumList[0].strName, "A");
  EXPECT_EQ(app_.albumList[1].strName, "A (1)");
  EXPECT_EQ(app_.albumList[2].strName, "A (1) (1)");
  EXPECT_EQ(app_.albumList[3].strName, "a。bc");
  for (size_t i = 0; i < app_.albumList.size(); ++i) {
    EXPECT_EQ(app_.albumList[i].nIndex, static_cast<int32_t>(i));
    EXPECT_EQ(app_.albumList[i].nImage, -1);
  }
}

// The unique-name rule as it was first written, kept as the reference: every candidate is
// compared with every name before it.
std::vector<std::string> ReferenceNames(const std::vector<std::string>& published) {
  std::vector<std::string> names;
  for (std::string name : published) {
    CleanFileName(name, 0xFFFF, true);
    const std::string cleaned = CutName(name, kMaxAlbumNameBytes);
    name = cleaned;
    for (unsigned n = 1; std::find(names.begin(), names.end(), name) != names.end(); ++n) {
      const std::string number = " (" + std::to_string(n) + ")";
      name = CutName(cleaned, kMaxAlbumNameBytes - number.size()) + number;
    }
    names.push_back(name);
  }
  return names;
}

TEST_F(AlbumRows, UniqueNamesAreThoseOfTheReferenceRule) {
  const std::string wide = [] {
    std::string text;
    for (int i = 0; i < 85; ++i) text += "相";
    return text;
  }();
  const std::string full(kMaxAlbumNameBytes, 'x');
  const std::vector<std::vector<std::string>> cases = {
      {"A", "A", "A"},
      {"A", "a", "A", "a", "A"},
      {"A (1)", "A", "A", "A"},
      {"A", "A", "A (1)", "A (1)"},
      {"A", "A (1)", "A", "A", "A (2)", "A"},
      {"B", "A", "B (1)", "B", "B", "A (1) (1)", "A", "A"},
      {wide + "册一", wide + "册二", wide + "册一", wide + "册三", wide + "册二"},
      {full, full, full + "y", full, full, full, full, full, full, full, full, full, full, full},
      {"a/b", "a。b", "a/b", " a/b "},
  };
  for (const std::vector<std::string>& names : cases) {
    app_.albumList.Clear();
    app_.grid.Reset(false);
    for (const std::string& name : names) Publish(name);
    std::vector<std::string> got;
    for (size_t i = 0; i < app_.albumList.size(); ++i) got.push_back(app_.albumList[i].strName);
    EXPECT_EQ(got, ReferenceNames(names)) << names.front();
  }
}

// Ten thousand albums of one name: the last is numbered 9999, and no name comes twice.
TEST_F(AlbumRows, TenThousandEqualNames) {
  constexpr size_t kAlbums = 10000;
  for (size_t i = 0; i < kAlbums; ++i) Publish("旅行");
  ASSERT_EQ(app_.albumList.size(), kAlbums);
  EXPECT_EQ(app_.albumList[kAlbums - 1].strName, "旅行 (9999)");
  std::set<std::string> names;
  for (size_t i = 0; i < kAlbums; ++i) names.insert(app_.albumList[i].strName);
  EXPECT_EQ(names.size(), kAlbums);
}

// Names that share their first 255 bytes (85 Chinese characters) stay two names after being
// fitted for the disk, and a site's escape sequence never reaches a name.
TEST_F(AlbumRows, LongNamesStayUniqueAfterFittingAndLoseControlCharacters) {
  std::string common;
  for (int i = 0; i < 85; ++i) common += "相";
  Publish(common + "册一");
  Publish(common + "册二");
  Publish(
      "\x1b[31mred\x1b[0m \xc2\x9b"
      "2J\x7f");
  ASSERT_EQ(app_.albumList.size(), 3u);
  const std::string& first = app_.albumList[0].strName;
  const std::string& second = app_.albumList[1].strName;
  EXPECT_NE(first, second);
  EXPECT_LE(first.size(), kMaxAlbumNameBytes);
  EXPECT_LE(second.size(), kMaxAlbumNameBytes);
  EXPECT_EQ(second.substr(second.size() - 4), " (1)");
  EXPECT_EQ(app_.albumList[2].strName, "[31mred[0m 2J");
}

TEST_F(AlbumRows, EmptyNameBecomesTimeStamp) {
  Publish("   ");
  ASSERT_EQ(app_.albumList.size(), 1u);
  const std::string& name = app_.albumList[0].strName;
  EXPECT_EQ(name.size(), 14u);
  EXPECT_EQ(name.find_first_not_of("0123456789"), std::string::npos);
}

TEST_F(AlbumRows, NothingBeforeStartUpIsDone) {
  app_.bReady = 0;
  Publish("A");
  EXPECT_TRUE(app_.albumList.empty());
  EXPECT_EQ(app_.grid.RowCount(), 1);
}

TEST_F(AlbumRows, ListModeRowTexts) {
  Publish("旅行", 7, 2);
  Publish("家人", -1, static_cast<int32_t>(0x80000005u));
  ASSERT_EQ(app_.grid.RowCount(), 3);
  EXPECT_EQ(host_.gridRows, (std::vector<int>{1, 2}));
  EXPECT_EQ(app_.grid.Cell(1, 0).text, "0001");
  EXPECT_EQ(app_.grid.Cell(1, 1).text, "旅行");
  EXPECT_EQ(app_.grid.Cell(1, 2).text, "   7");
  EXPECT_EQ(app_.grid.Cell(1, 3).text, "私密相册");
  EXPECT_EQ(app_.grid.Cell(2, 0).text, "0002");
  EXPECT_EQ(app_.grid.Cell(2, 0).data, 1);
  EXPECT_EQ(app_.grid.Cell(2, 2).text, "未知");
  EXPECT_EQ(app_.grid.Cell(2, 3).text, "00000005");
}

TEST_F(AlbumRows, PreviewModeLaysOutSixPerRow) {
  app_.grid.Reset(true);
  for (int i = 0; i < 8; ++i) Publish(NumberedName(i));
  EXPECT_EQ(app_.grid.RowCount(), 2);
  EXPECT_EQ(host_.gridRows, (std::vector<int>{0, 1}));
  EXPECT_EQ(app_.grid.Cell(0, 5).text, "6.p5");
  EXPECT_EQ(app_.grid.Cell(1, 0).text, "7.p6");
  EXPECT_EQ(app_.grid.Cell(1, 1).text, "8.p7");
  EXPECT_EQ(app_.grid.Cell(1, 1).data, 7);
  for (int column = 2; column < GridModel::kThumbsPerRow; ++column) {
    EXPECT_EQ(app_.grid.Cell(1, column).text, "");
  }
  // No cover address: nothing is fetched or loaded.
  EXPECT_TRUE(host_.thumbnails.empty());
  EXPECT_EQ(app_.grid.Cell(0, 0).image, -1);
}

TEST_F(AlbumRows, PreviewFetchesCoverIntoTmpAndLoadsIt) {
  testweb::TestWeb web;
  web.Route("img.example.com", "/c/0.jpg", testweb::Reply::Text("JPEGBYTES", "image/jpeg"));
  SetEngineProxy(web.ProxyUrl());
  host_.thumbnailResult = 3;
  app_.grid.Reset(true);
  Publish("cover", 1, 0, "http://img.example.com/c/0.jpg");
  Publish("missing", 1, 0, "http://img.example.com/c/404.jpg");

  const std::filesystem::path first = home_ / "tmp" / "0.jpg";
  ASSERT_EQ(host_.thumbnails.size(), 1u);
  EXPECT_EQ(std::filesystem::path(host_.thumbnails[0]), first);
  std::ifstream in(first, std::ios::binary);
  std::string bytes((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(bytes, "JPEGBYTES");
  EXPECT_EQ(app_.albumList[0].nImage, 3);
  EXPECT_EQ(app_.grid.Cell(0, 0).image, 3);
  EXPECT_EQ(app_.albumList[1].nImage, -1);
  EXPECT_EQ(app_.grid.Cell(0, 1).text, "2.missing");
}

TEST_F(AlbumRows, RebuildReusesThumbnailsAndStopsOnRequest) {
  host_.thumbnailResult = 0;
  for (int i = 0; i < 3; ++i) Publish(NumberedName(i));
  app_.albumList[0].nImage = 5;
  app_.grid.Reset(true);
  app_.nModeSwitch = 1;
  RebuildAlbumRows(app_);
  EXPECT_EQ(app_.nModeSwitch.load(), 0);
  EXPECT_EQ(app_.grid.Cell(0, 0).image, 5);
  EXPECT_EQ(app_.grid.Cell(0, 2).text, "3.p2");

  app_.grid.Reset(false);
  app_.nModeSwitch = 2;
  RebuildAlbumRows(app_);
  EXPECT_EQ(app_.grid.RowCount(), 1);
  EXPECT_EQ(app_.nModeSwitch.load(), 0);
}

TEST_F(AlbumRows, ViewSwitchRebuildsOnItsThreadAndAsksWhileBusy) {
  for (int i = 0; i < 8; ++i) Publish(NumberedName(i));
  ASSERT_TRUE(SwitchView(app_, true));
  while (app_.nModeSwitch.load() != 0) std::this_thread::yield();
  EXPECT_TRUE(app_.bPreview.load());
  EXPECT_EQ(app_.grid.RowCount(), 2);
  EXPECT_EQ(app_.grid.Cell(1, 1).text, "8.p7");
  EXPECT_EQ(host_.gridResets, std::vector<bool>{true});

  // A rebuild still running: the click only asks; No leaves it running.
  app_.nModeSwitch = 1;
  EXPECT_FALSE(SwitchView(app_, false));
  EXPECT_EQ(app_.nModeSwitch.load(), 1);
  host_.answers = {true};
  EXPECT_FALSE(SwitchView(app_, false));
  EXPECT_EQ(app_.nModeSwitch.load(), 2);
  EXPECT_EQ(host_.questions.size(), 2u);
  EXPECT_EQ(host_.questions[0], "模式转换未完成,是否中断?");
  EXPECT_TRUE(app_.bPreview.load());

  // No switch while an album-list job runs.
  app_.nModeSwitch = 0;
  app_.nListState = LIST_RUNNING;
  EXPECT_FALSE(SwitchView(app_, false));
  EXPECT_TRUE(app_.bPreview.load());
  app_.nListState = LIST_IDLE;
}

TEST(GridSelection, ListModeTakesEachSelectedRowOnce) {
  GridModel grid;
  grid.Reset(false);
  for (int i = 0; i < 4; ++i) {
    const int row = grid.AppendRow();
    grid.SetCell(row, 0, GridCell{"r", 3 - i});
  }
  grid.Select(1, 0, true);
  grid.Select(1, 3, true);  // a second cell of the same row
  grid.Select(3, 2, true);
  grid.Select(0, 0, true);  // the header row holds no album
  EXPECT_EQ(grid.SelectedAlbums(4), (std::vector<int>{3, 1}));
  // A data value that names no album is not handed on.
  EXPECT_EQ(grid.SelectedAlbums(2), (std::vector<int>{1}));
  grid.SelectAll(true);
  EXPECT_EQ(grid.SelectedAlbums(4), (std::vector<int>{3, 2, 1, 0}));
  grid.SelectAll(false);
  EXPECT_TRUE(grid.SelectedAlbums(4).empty());
}

TEST(GridSelection, PreviewCountsEveryCellVisited) {
  GridModel grid;
  grid.Reset(true);
  EXPECT_EQ(grid.FixedRows(), 0);
  EXPECT_EQ(grid.ColumnCount(), GridModel::kThumbsPerRow);
  for (int i = 0; i < 8; ++i) {
    if (i % GridModel::kThumbsPerRow == 0) grid.AppendRow();
    grid.SetCell(i / 6, i % 6, GridCell{"c", i});
  }
  grid.SelectAll(true);  // the four unused cells of row 1 too
  EXPECT_EQ(grid.SelectedAlbums(8), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7}));
  grid.SelectAll(false);
  grid.Select(1, 1, true);
  grid.Select(1, 4, true);  // position 10: past the albums
  EXPECT_EQ(grid.SelectedAlbums(8), (std::vector<int>{7}));
  EXPECT_TRUE(grid.SelectedAlbums(7).empty());  // position 7 is not below 7
  grid.Reset(false);
  EXPECT_EQ(grid.RowCount(), 1);
  EXPECT_EQ(grid.ColumnCount(), GridModel::kListColumns);
}

TEST(GridSelection, SelectRowMarksEveryCell) {
  GridModel grid;
  grid.Reset(false);
  const int row = grid.AppendRow();
  EXPECT_EQ(row, 1);
  grid.SelectRow(row, true);
  for (int column = 0; column < GridModel::kListColumns; ++column) {
    EXPECT_TRUE(grid.Cell(row, column).selected);
  }
  EXPECT_FALSE(grid.Cell(7, 0).selected);  // outside the rows: a blank cell
}

}  // namespace
}  // namespace albumora
