// SPDX-License-Identifier: GPL-3.0-or-later
#include "fs/FileNames.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <system_error>
#include <vector>

#include "ScratchDir.h"
#include "fs/ProgramFolder.h"
#include "text/StringCtrl.h"

namespace albumora {
namespace {

namespace fs = std::filesystem;

using testweb::ScratchDir;

std::string Cleaned(std::string text, unsigned pattern = 0xFFFF, bool fallback = false) {
  CleanFileName(text, pattern, fallback);
  return text;
}

std::string ReadBytes(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

TEST(CleanFileName, Fallbacks) {
  const std::regex stamp("[0-9]{14}");
  EXPECT_TRUE(std::regex_match(Cleaned("  ", 0xFFFF, true), stamp));
  EXPECT_EQ(Cleaned("  ", 3, true), "pic3");
  EXPECT_EQ(Cleaned("  ", 3, false), "");
  EXPECT_EQ(Cleaned("", 0, true), "pic0");
  // Only removed characters: empty after cleaning, so the fallback applies.
  EXPECT_EQ(Cleaned("\\/:*?\"<>|", 7, true), "pic7");
  // 1000 UTF-16 units or more fall back; 999 stay.
  EXPECT_EQ(Cleaned(std::string(1000, 'a'), 5, true), "pic5");
  EXPECT_EQ(Cleaned(std::string(999, 'a'), 5, true), std::string(999, 'a'));
  std::string chinese;
  for (int i = 0; i < 1000; ++i) chinese += "图";
  EXPECT_EQ(Cleaned(chinese, 5, true), "pic5");
  EXPECT_EQ(Utf16Length(Cleaned(chinese, 5, false)), 1000u);
}

TEST(CleanFileName, StepsAndTheirOrder) {
  EXPECT_EQ(Cleaned("a\tb"), "a_b");
  EXPECT_EQ(Cleaned("a.b"), "a\u3002b");
  EXPECT_EQ(Cleaned("&amp;"), "&");
  EXPECT_EQ(Cleaned("a\r\nb\\c/d:e*f?g\"h<i>j|k"), "abcdefghijk");
  EXPECT_EQ(Cleaned("a\ab"), "ab");
  // Entities are decoded first, so an encoded forbidden character is removed too.
  EXPECT_EQ(Cleaned("x&lt;y&gt;&quot;z"), "xyz");
  EXPECT_EQ(Cleaned("Tom&#39;s &hellip;"), "Tom's \u2026");
  // Runs of spaces shrink to one; the ends are trimmed.
  EXPECT_EQ(Cleaned("  a     b  "), "a b");
  EXPECT_EQ(Cleaned("a&nbsp;&nbsp;&nbsp;b"), "a b");
  // A tab at an end is trimmed before tabs become "_"; inside it stays as "_".
  EXPECT_EQ(Cleaned("\ta\tb\t"), "a_b");
  // The second trim catches what the removals uncovered.
  EXPECT_EQ(Cleaned("? a ?"), "a");
  // Dots never leave "." or ".." as a name.
  EXPECT_EQ(Cleaned(".."), "\u3002\u3002");
  // A zero byte would cut the path; it is removed.
  EXPECT_EQ(Cleaned(std::string("a\0b", 3)), "ab");
  EXPECT_EQ(Cleaned("我的相册 2012.05"), "我的相册 2012\u300205");
}

TEST(EnsureDirPath, CreatesEveryLevel) {
  ScratchDir scratch;
  std::string path = " " + scratch.Path() + "/x/y ";
  EXPECT_TRUE(EnsureDirPath(path));
  EXPECT_EQ(path, scratch.Path() + "/x/y/");
  EXPECT_TRUE(fs::is_directory(scratch.Path() + "/x"));
  EXPECT_TRUE(fs::is_directory(scratch.Path() + "/x/y"));
  // Existing levels are fine; the trailing separator is not doubled.
  EXPECT_TRUE(EnsureDirPath(path));
  EXPECT_EQ(path, scratch.Path() + "/x/y/");
  std::string chinese = scratch.Path() + "/相册/第一集/";
  EXPECT_TRUE(EnsureDirPath(chinese));
  EXPECT_TRUE(fs::is_directory(scratch.Path() + "/相册/第一集"));
  // Blank: no levels, nothing made, and the text does not turn into the root folder.
  std::string blank = "  ";
  EXPECT_TRUE(EnsureDirPath(blank));
  EXPECT_EQ(blank, "");
}

TEST(EnsureDirPath, RelativePathStaysRelative) {
  ScratchDir scratch;
  const fs::path before = fs::current_path();
  fs::current_path(scratch.Path());
  std::string path = "a/b";
  const bool made = EnsureDirPath(path);
  fs::current_path(before);
  EXPECT_TRUE(made);
  EXPECT_EQ(path, "a/b/");
  EXPECT_TRUE(fs::is_directory(scratch.Path() + "/a/b"));
}

TEST(EnsureDirPath, ReportsTheFailingFolder) {
  ScratchDir scratch;
  {
    std::ofstream file(scratch.Path() + "/file");
    file << "x";
  }
  std::vector<std::string> shown;
  SetFolderMessage([&](const std::string& folder) { shown.push_back(folder); });
  // A regular file in the way stops even root, who ignores permission bits. The level that is
  // no folder is the one reported; nothing is made below it.
  std::string under = scratch.Path() + "/new/file/sub";
  fs::create_directory(scratch.Path() + "/new");
  fs::rename(scratch.Path() + "/file", scratch.Path() + "/new/file");
  EXPECT_FALSE(EnsureDirPath(under));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], scratch.Path() + "/new/file");
  EXPECT_FALSE(fs::exists(scratch.Path() + "/new/file/sub"));
  // A file as the last level is no folder either.
  std::string last = scratch.Path() + "/new/file";
  EXPECT_FALSE(EnsureDirPath(last));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1], scratch.Path() + "/new/file");
  EXPECT_TRUE(fs::is_regular_file(scratch.Path() + "/new/file"));
  // Without a callback nothing is shown, the result is the same.
  SetFolderMessage(nullptr);
  EXPECT_FALSE(EnsureDirPath(under));
  EXPECT_EQ(shown.size(), 2u);
}

TEST(HasPictureExt, Extensions) {
  EXPECT_TRUE(HasPictureExt("PHOTO.JPEG"));
  EXPECT_FALSE(HasPictureExt("photo\u3002jpg"));
  for (const char* name : {"a.jpg", "a.bmp", "a.gif", "a.png", "a.tif", "x.y.Png"})
    EXPECT_TRUE(HasPictureExt(name)) << name;
  for (const char* name : {"a.tiff", "a.webp", "jpg", "a.jpg.txt", "", "a."})
    EXPECT_FALSE(HasPictureExt(name)) << name;
}

TEST(WriteUnicodeFile, ByteOrderMarkThenData) {
  ScratchDir scratch;
  const std::string name = scratch.Path() + "/log.err";
  WriteUnicodeFile(name, "a\0b\0", 4);
  EXPECT_EQ(ReadBytes(name), std::string("\xFF\xFE"
                                         "a\0b\0",
                                         6));
  // Replaced on each write.
  WriteUnicodeText(name, "中\U0001F600");
  EXPECT_EQ(ReadBytes(name), std::string("\xFF\xFE\x2D\x4E\x3D\xD8\x00\xDE", 8));
  WriteUnicodeFile(name, nullptr, 0);
  EXPECT_EQ(ReadBytes(name), "\xFF\xFE");
  // A file that cannot be created: nothing happens.
  WriteUnicodeText(scratch.Path() + "/missing/x.tmp", "x");
  EXPECT_FALSE(fs::exists(scratch.Path() + "/missing"));
}

TEST(WriteUnicodeFile, DefaultNameAndRelativeNamesLieInTheProgramFolder) {
  ScratchDir scratch;
  const fs::path before = ProgramFolder();
  InitProgramFolder(scratch.Path());
  WriteUnicodeText("", "x");
  WriteUnicodeText("log.err", "y");
  InitProgramFolder(before);
  EXPECT_EQ(ReadBytes(scratch.Path() + "/1.txt"), std::string("\xFF\xFEx\0", 4));
  EXPECT_EQ(ReadBytes(scratch.Path() + "/log.err"), std::string("\xFF\xFEy\0", 4));
}

TEST(FitFileName, LongChineseNameKeepsExtension) {
  ScratchDir scratch;
  std::string stem;
  for (int i = 0; i < 120; ++i) stem += "长";  // 360 bytes
  const std::string fitted = FitFileName(scratch.Folder() + stem + ".jpg");
  const std::string name = fs::path(fitted).filename().string();
  EXPECT_LE(name.size(), kMaxNameBytes);
  EXPECT_EQ(name.size(), 83u * 3 + 4);  // whole characters only
  EXPECT_EQ(name.substr(name.size() - 4), ".jpg");
  EXPECT_EQ(fitted.substr(0, scratch.Folder().size()), scratch.Folder());
  // The file system takes it.
  std::ofstream(fitted) << "x";
  EXPECT_TRUE(fs::exists(fitted));
  // A name that fits is unchanged.
  EXPECT_EQ(FitFileName(scratch.Folder() + "短.jpg"), scratch.Folder() + "短.jpg");
  EXPECT_EQ(FitFileName(std::string(255, 'a')), std::string(255, 'a'));
}

TEST(FitFileName, LongExtensionAndFolderDots) {
  // A dot far from the end is no extension: the whole name is cut.
  const std::string name = "a." + std::string(300, 'b');
  EXPECT_EQ(FitFileName(name), name.substr(0, 255));
  // Dots in the folders do not count; only the last component is cut.
  const std::string folder = "/tmp/x.y/";
  const std::string fitted = FitFileName(folder + std::string(300, 'c') + ".png");
  EXPECT_EQ(fitted, folder + std::string(251, 'c') + ".png");
}

TEST(FitFileName, InvalidUtf8NeverLeavesAnEmptyOrDotName) {
  const std::string bad(300, '\x80');
  EXPECT_EQ(FitFileName("." + bad), "." + bad.substr(0, 254));
  EXPECT_EQ(FitFileName(".." + bad), ".." + bad.substr(0, 253));
  EXPECT_EQ(FitFileName("dir/" + bad), "dir/" + bad.substr(0, 255));
  for (const std::string name : {"", ".", "..", "dir/.", "dir/.."}) {
    const std::string fitted = FitFileName(name);
    const std::string last = fitted.substr(fitted.rfind('/') + 1);
    EXPECT_TRUE(last != "" && last != "." && last != "..") << name;
  }
  // A valid sequence is never cut in two: 254 bytes of "a" and then a 3-byte character.
  EXPECT_EQ(FitFileName(std::string(254, 'a') + "相相"), std::string(254, 'a'));
}

TEST(CleanFileName, ControlCharactersNeverReachAName) {
  std::string name =
      "a\x1b[1mb\x01\x7f\xc2\x85"
      "cd\te";
  name.insert(name.find('d'), 1, '\0');
  CleanFileName(name, 0, false);
  EXPECT_EQ(name, "a[1mbcd_e");
  std::string invalid = "x\xff\xc2y";
  CleanFileName(invalid, 0, false);
  EXPECT_EQ(invalid, "x\uFFFD\uFFFDy");
  // A right-to-left override would show "photo\u202Egpj.exe" as "photoexe.jpg".
  std::string bidi = "photo\u202Egpj\u2066.exe\u2069\u202A\u202C";
  CleanFileName(bidi, 0, false);
  EXPECT_EQ(bidi, "photogpj\u3002exe");
}

}  // namespace
}  // namespace albumora
