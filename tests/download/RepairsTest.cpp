// SPDX-License-Identifier: GPL-3.0-or-later
// The format repair by magic bytes, the no-replace move, and the order repair's file times.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <ctime>

#include "DownloadTestSupport.h"
#include "download/DownloadJob.h"
#include "download/Repairs.h"
#include "download/Workers.h"

using namespace albumora;
using albumora::dltest::Exists;
using albumora::dltest::ReadBytes;
using albumora::dltest::ScratchDir;
using albumora::dltest::TestApp;
using albumora::dltest::WriteBytes;

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

TEST(FixFormat, ExtensionFromTheFirstBytes) {
  struct Case {
    std::string content;
    std::string extension;
  };
  const std::vector<Case> cases = {
      {Bytes({0xFF, 0xD8, 0xFF, 0xE0}), ".jpg"},
      {Bytes({0x89, 0x50, 0x4E, 0x47}), ".png"},
      {"GIF89a", ".gif"},
      {"BM\x10\x00", ".bmp"},
      {Bytes({0, 0, 2, 0, 0}), ".tga"},
      {Bytes({0, 0, 16, 0, 0}), ".tga"},
      {Bytes({0, 0, 1, 0, 1}), ".ico"},
      {Bytes({0, 0, 2, 0, 1}), ".cur"},
      {"MM\x00*", ".tiff"},
      {"II*\x00", ".tiff"},
      {"", ".dat"},  // nothing read: bytes count as 0, no type matches
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    std::string path = dir.Folder() + "a.dat";
    WriteBytes(path, c.content);
    bool moved = FixFormat(path);
    EXPECT_EQ(path, dir.Folder() + "a" + c.extension) << c.extension;
    EXPECT_EQ(moved, c.extension != ".dat");
    EXPECT_EQ(ReadBytes(path), c.content);
  }
}

TEST(FixFormat, MissingFileAndFolderDotsAreLeftAlone) {
  ScratchDir dir;
  std::string missing = dir.Folder() + "none.jpg";
  EXPECT_FALSE(FixFormat(missing));
  EXPECT_EQ(missing, dir.Folder() + "none.jpg");

  // A dot in a folder above the file is no extension.
  std::string folder = dir.Folder() + "my.pics" + kPathSep;
  std::filesystem::create_directory(folder);
  std::string path = folder + "photo";
  WriteBytes(path, Bytes({0x89, 0x50}));
  EXPECT_TRUE(FixFormat(path));
  EXPECT_EQ(path, folder + "photo.png");
  EXPECT_TRUE(Exists(folder + "photo.png"));
}

TEST(FixFormat, ALongerExtensionStillFitsTheNameLimit) {
  ScratchDir dir;
  const std::string stem(kMaxNameBytes - 4, 'n');
  std::string path = dir.Folder() + stem + ".jpg";
  const std::string tiff("MM\x00*", 4);
  WriteBytes(path, tiff);
  EXPECT_TRUE(FixFormat(path));
  EXPECT_EQ(path, dir.Folder() + stem.substr(1) + ".tiff");
  EXPECT_EQ(ReadBytes(path), tiff);
}

TEST(FixFormat, NeverReplacesAnExistingFile) {
  ScratchDir dir;
  std::string path = dir.Folder() + "a.jpg";
  WriteBytes(path, Bytes({0x89, 0x50, 0x4E, 0x47}));
  WriteBytes(dir.Folder() + "a.png", "older");
  EXPECT_FALSE(FixFormat(path));
  EXPECT_EQ(ReadBytes(dir.Folder() + "a.png"), "older");
  EXPECT_TRUE(Exists(dir.Folder() + "a.jpg"));
}

TEST(FixFormatList, EntriesTakeTheNewNamesEvenWhenTheMoveFails) {
  ScratchDir dir;
  DownloadList list;
  list.strSaveDir = dir.Folder();
  list.arrName = {"a.jpg", "b.jpg", "c.jpg"};
  WriteBytes(dir.Folder() + "a.jpg", "GIF89a");
  WriteBytes(dir.Folder() + "b.jpg", Bytes({0x89, 0x50}));
  WriteBytes(dir.Folder() + "b.png", "taken");
  FixFormatList(list);
  EXPECT_EQ(list.arrName, (std::vector<std::string>{"a.gif", "b.png", "c.jpg"}));
  EXPECT_TRUE(Exists(dir.Folder() + "a.gif"));
  EXPECT_TRUE(Exists(dir.Folder() + "b.jpg"));
  EXPECT_EQ(ReadBytes(dir.Folder() + "b.png"), "taken");
}

time_t ModifiedAt(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_mtime;
}

time_t AccessedAt(const std::string& path) {
  struct stat info {};
  stat(path.c_str(), &info);
  return info.st_atime;
}

TEST(FixOrder, TimesStepBackAMinutePerPicture) {
  ScratchDir dir;
  DownloadList list;
  list.strSaveDir = dir.Folder();
  list.arrName = {"1.jpg", "missing.jpg", "3.jpg"};
  WriteBytes(dir.Folder() + "1.jpg", "1");
  WriteBytes(dir.Folder() + "3.jpg", "3");
  time_t before = std::time(nullptr);
  FixOrder(list);
  time_t after = std::time(nullptr);
  time_t first = ModifiedAt(dir.Folder() + "1.jpg");
  EXPECT_GE(first, before);
  EXPECT_LE(first, after);
  EXPECT_EQ(ModifiedAt(dir.Folder() + "3.jpg"), first - 120);
  EXPECT_EQ(AccessedAt(dir.Folder() + "3.jpg"), first - 120);
  EXPECT_FALSE(Exists(dir.Folder() + "missing.jpg")) << "a missing file is not created";
}

TEST(SetAllFileTimes, ZeroLeavesTheTimes) {
  ScratchDir dir;
  std::string path = dir.Folder() + "a.jpg";
  WriteBytes(path, "a");
  SetAllFileTimes(path, 1000000000);
  EXPECT_EQ(ModifiedAt(path), 1000000000);
  SetAllFileTimes(path, 0);
  EXPECT_EQ(ModifiedAt(path), 1000000000);
}

}  // namespace
