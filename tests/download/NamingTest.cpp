// SPDX-License-Identifier: GPL-3.0-or-later
// Picture naming, the album folder, the skip rule and the side files of AddPicture.
#include <gtest/gtest.h>

#include <cctype>

#include "DownloadTestSupport.h"
#include "download/DownloadJob.h"
#include "download/Naming.h"
#include "model/Settings.h"
#include "text/StringCtrl.h"

using namespace albumora;
using albumora::dltest::Exists;
using albumora::dltest::FileSizeLimit;
using albumora::dltest::FolderNames;
using albumora::dltest::ReadBytes;
using albumora::dltest::ScratchDir;
using albumora::dltest::TestApp;
using albumora::dltest::Utf16Ascii;
using albumora::dltest::WriteBytes;

namespace {

class Naming : public ::testing::Test {
 protected:
  void SetUp() override {
    album = t.AddAlbum("Trip");
    state = std::make_unique<AlbumState>(t.app, album, dir.Folder());
  }
  NameRule& Rule() { return t.app.Rule(); }
  DownloadList& List() { return state->list; }
  std::vector<std::string>& Names() { return List().arrName; }
  void Add(const std::string& address, const std::string& description = {}) {
    AddPicture(t.app, *state, address, description, {});
  }
  // The album at index listed on its own next, its pictures under the job folder.
  void Start(int index, const std::string& jobFolder) {
    state = std::make_unique<AlbumState>(t.app, index, jobFolder);
  }

  ScratchDir dir;
  TestApp t;
  int album = 0;
  std::unique_ptr<AlbumState> state;
};

TEST_F(Naming, AddressModeTakesTheLastPartAndCleansItsDot) {
  Rule().byNameMode = 2;
  Add("http://host/photo/abc.png");
  Add("nohost");  // no "/" above index 0: the number
  ASSERT_EQ(Names().size(), 2u);
  EXPECT_EQ(Names()[0], "abc。png.jpg");
  EXPECT_EQ(Names()[1], "2.jpg");
}

TEST_F(Naming, EqualDescriptionsAreNumberedWithoutRegardToCase) {
  Add("http://h/1", "flower");
  Add("http://h/2", "flower");
  Add("http://h/3", "flower");
  Add("http://h/4", "Flower");
  EXPECT_EQ(Names(), (std::vector<std::string>{"flower.jpg", "flower (1).jpg", "flower (2).jpg",
                                               "Flower (3).jpg"}));
}

TEST_F(Naming, PrefixPlaceholdersWithNumberMode) {
  Rule().byNameMode = 1;
  SetField(Rule().szPrefix, "?1_");
  Add("http://h/a");
  Add("http://h/b");
  EXPECT_EQ(Names(), (std::vector<std::string>{"Trip_1.jpg", "Trip_2.jpg"}));
}

TEST_F(Naming, EveryPlaceholder) {
  t.AddAlbum("Second");
  t.app.albumList[0].nNum1 = 41;
  t.app.albumList[0].nNum2 = 42;
  t.app.albumList.nTicked = 6;
  t.app.strOwner = "owner";
  Start(album, dir.Folder());  // the album's copies are taken as its list starts
  Rule().byNameMode = 1;
  SetField(Rule().szPrefix, "?1-?2-?3-?4-?5-?6-?7-?8-");
  Add("http://h/a");
  EXPECT_EQ(Names().at(0), "Trip-1-1-41-42-6-2-owner-1.jpg");
}

TEST_F(Naming, ReplaceListsPieceByPieceOrWhole) {
  SetField(Rule().szFrom, "a|b");
  SetField(Rule().szTo, "x|y");
  Add("http://h/1", "abc");
  EXPECT_EQ(Names().back(), "xyc.jpg");

  SetField(Rule().szTo, "x");  // counts differ: only the whole "a|b" is replaced
  Add("http://h/2", "abc");
  Add("http://h/3", "a|bc");
  EXPECT_EQ(Names()[1], "abc.jpg");
  EXPECT_EQ(Names()[2], "xc.jpg");
}

TEST_F(Naming, EmptyDescriptionBecomesATimeStamp) {
  Add("http://h/1", "");
  const std::string& name = Names().at(0);
  ASSERT_EQ(name.size(), 14u + 4u);
  for (size_t i = 0; i < 14; ++i) EXPECT_TRUE(std::isdigit(static_cast<unsigned char>(name[i])));
  EXPECT_EQ(name.substr(14), ".jpg");
}

TEST_F(Naming, DescriptionThatLooksLikeAPathIsCleanedLikeAnyOther) {
  Add("http://h/1", "D:\\pics\\a.png");
  Add("http://h/2", "/etc/../../passwd");
  EXPECT_EQ(Names()[0], "Dpicsa。png.jpg");
  EXPECT_EQ(Names()[1], "etc。。。。passwd.jpg");
  for (const std::string& name : Names()) EXPECT_EQ(name.find(kPathSep), std::string::npos);
}

TEST_F(Naming, LongChineseNamesFitTheFileSystemAndStayDistinct) {
  std::string longName;
  for (int i = 0; i < 200; ++i) longName += "山水";
  Add("http://h/1", longName);
  Add("http://h/2", longName);
  ASSERT_EQ(Names().size(), 2u);
  for (const std::string& name : Names()) {
    EXPECT_LE(name.size(), kMaxNameBytes);
    EXPECT_EQ(name.substr(name.size() - 4), ".jpg");
    EXPECT_EQ(FromUtf16(ToUtf16(name)), name) << "cut inside a character";
  }
  EXPECT_NE(Names()[0], Names()[1]);
  EXPECT_NE(Names()[1].find(" (1).jpg"), std::string::npos);
  // The names really can be created.
  for (const std::string& name : Names()) {
    WriteBytes(List().strSaveDir + name, "x");
    EXPECT_TRUE(Exists(List().strSaveDir + name));
  }
}

TEST_F(Naming, AlbumFolderAtTheFirstPicture) {
  SetField(Rule().szDirPrefix, "?2.");
  Add("http://h/1", "a");
  EXPECT_EQ(List().strSaveDir, dir.Folder() + "1。Trip" + kPathSep);
  EXPECT_TRUE(std::filesystem::is_directory(List().strSaveDir));
  Add("http://h/2", "b");  // later pictures reuse it
  EXPECT_EQ(List().strSaveDir, dir.Folder() + "1。Trip" + kPathSep);
  EXPECT_EQ(t.host.LastStatus(StatusLine::Progress), "已获取到2张图片信息");
}

// Two albums whose folder texts differ only past the name limit (a long folder prefix) land
// in two folders: the second never writes over the first's pictures and marker.
TEST_F(Naming, FoldersStayDistinctAfterFitting) {
  std::string prefix;
  for (int i = 0; i < 20; ++i) prefix += "前缀";
  SetField(Rule().szDirPrefix, prefix);
  std::string common;
  for (int i = 0; i < 70; ++i) common += "相";
  const int first = t.AddAlbum(common + "一");
  const int second = t.AddAlbum(common + "二");
  const std::string job = List().strSaveDir;
  Start(first, job);
  Add("http://h/1", "a");
  const std::string firstFolder = List().strSaveDir;
  Start(second, job);
  Add("http://h/2", "a");
  const std::string secondFolder = List().strSaveDir;
  EXPECT_NE(firstFolder, secondFolder);
  EXPECT_EQ(FolderNames(job).size(), 2u);
  // The same album again (a second pass of the job) finds its own folder.
  Start(first, job);
  Add("http://h/1", "a");
  EXPECT_EQ(List().strSaveDir, firstFolder);
}

TEST_F(Naming, FolderModeNoneUsesTheJobFolderAndItsMarker) {
  Rule().byDirMode = 1;
  Rule().wOptions = OPT_SKIP_OLD;
  WriteMarker("http://h/old", dir.Folder());
  Add("http://h/new", "a");
  EXPECT_EQ(List().strSaveDir, dir.Folder());
  EXPECT_EQ(state->markUrl, "http://h/old");
  Add("http://h/old", "b");
  EXPECT_EQ(t.app.nDownState.load(), DOWN_ENOUGH);
  EXPECT_EQ(List().size(), 1u);
}

TEST_F(Naming, SkipRuleKeepsAStopTheUserAskedFor) {
  Rule().byDirMode = 1;
  Rule().wOptions = OPT_SKIP_OLD;
  WriteMarker("http://h/old", dir.Folder());
  t.app.nDownState = DOWN_STOP;
  Add("http://h/old", "a");
  EXPECT_EQ(t.app.nDownState.load(), DOWN_STOP) << "\"enough\" must not turn a stop into a run";
  EXPECT_TRUE(List().empty());
}

TEST_F(Naming, SkipRuleMatchesTheMarkerOfAnAddressWithAFallback) {
  const std::string line = "http://h/full/1.jpg\r\nhttp://h/b/1.jpg";
  std::string folder = dir.Folder() + "Trip" + kPathSep;
  std::filesystem::create_directory(folder);
  WriteMarker(line, folder);
  EXPECT_EQ(ReadBytes(folder + "pic.zrk"), Utf16Ascii("http://h/full/1.jpg"));

  Rule().wOptions = OPT_SKIP_OLD | OPT_NAME_FILE;
  Add(line, "first");
  EXPECT_EQ(t.app.nDownState.load(), DOWN_ENOUGH);
  EXPECT_TRUE(List().empty());
  EXPECT_FALSE(Exists(folder + "Trip.txt")) << "a skipped picture writes no name line";
}

TEST_F(Naming, MarkersOfTheWholeLineStillRead) {
  WriteBytes(dir.Folder() + "pic.zrk", Utf16Ascii("http://h/full\r\nhttp://h/pre"));
  EXPECT_EQ(ReadMarker(dir.Folder()), "http://h/full");
  EXPECT_EQ(ReadMarker(dir.Folder() + "missing" + kPathSep), "");
}

TEST_F(Naming, EmptyMarkerSkipsNothing) {
  Rule().wOptions = OPT_SKIP_OLD;
  Add("\r\nhttp://h/pre", "a");  // a picture without a full address
  EXPECT_EQ(t.app.nDownState.load(), DOWN_IDLE);
  EXPECT_EQ(List().size(), 1u);
}

TEST_F(Naming, PictureNameFileInUtf16WithOneByteOrderMark) {
  Rule().wOptions = OPT_NAME_FILE;
  Add("http://h/1", "ab");
  Add("http://h/2", "c");
  std::string bytes = ReadBytes(List().strSaveDir + "Trip.txt");
  EXPECT_EQ(bytes, std::string("\xFF\xFE", 2) + Utf16Ascii("ab\r\nc\r\n"));
}

TEST(ThunderList, GbkLinesAndBothAddressesOfAFallback) {
  ScratchDir dir;
  DownloadList list;
  list.arrUrl = {"http://h/相册/1.jpg", "http://h/2.jpg\r\nhttp://h/b/2.jpg"};
  list.arrName = {"1.jpg", "2.jpg"};
  list.arrHeader = {"", ""};
  WriteThunderList(list, dir.Folder() + "Trip.lst");
  EXPECT_EQ(ReadBytes(dir.Folder() + "Trip.lst"),
            WideToGbk("http://h/相册/1.jpg") + "\r\nhttp://h/2.jpg\r\nhttp://h/b/2.jpg\r\n");
}

TEST(SideFiles, AFailedRewriteKeepsTheOldFileWhole) {
  ScratchDir dir;
  DownloadList list;
  list.arrUrl = {"http://h/a-rather-long-address/1.jpg", "http://h/a-rather-long-address/2.jpg"};
  WriteThunderList(list, dir.Folder() + "Trip.lst");
  const std::string oldList = ReadBytes(dir.Folder() + "Trip.lst");
  WriteMarker("http://h/old", dir.Folder());
  {
    FileSizeLimit full(32);
    list.arrUrl.push_back("http://h/a-rather-long-address/3.jpg");
    WriteThunderList(list, dir.Folder() + "Trip.lst");
    WriteMarker("http://h/a-rather-long-address/3.jpg", dir.Folder());
  }
  EXPECT_EQ(ReadBytes(dir.Folder() + "Trip.lst"), oldList) << "a cut list replaced the old one";
  EXPECT_EQ(ReadMarker(dir.Folder()), "http://h/old");
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"Trip.lst", "pic.zrk"}))
      << "a temporary file was left behind";
}

TEST(PrimaryAddress, TextBeforeTheLineBreak) {
  EXPECT_EQ(PrimaryAddress("a\r\nb"), "a");
  EXPECT_EQ(PrimaryAddress("a"), "a");
  EXPECT_EQ(PrimaryAddress("\r\nb"), "");
}

}  // namespace
