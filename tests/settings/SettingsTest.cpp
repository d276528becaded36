// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/Settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "ScratchDir.h"
#include "text/StringCtrl.h"

namespace albumora {
namespace {

namespace fs = std::filesystem;

using testweb::ScratchDir;

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(file), {});
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

void Put16(Bytes& bytes, size_t at, uint16_t value) {
  bytes[at] = static_cast<uint8_t>(value & 0xFF);
  bytes[at + 1] = static_cast<uint8_t>(value >> 8);
}

uint16_t Get16(const Bytes& bytes, size_t at) {
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

size_t DownAt(size_t slot) { return slot * 8; }
size_t RuleAt(size_t slot) { return 192 + slot * 484; }
size_t AddrAt(size_t entry) { return 11808 + entry * 800; }
size_t DirAt(size_t entry) { return 15808 + entry * 800; }

// A file already in repaired form: every slot 5 threads, 30 s; slot 8 by picture number.
Bytes ValidFile() {
  Bytes bytes(kSettingsFileSize, 0);
  for (size_t slot = 0; slot < kSettingsSlots; ++slot) {
    Put16(bytes, DownAt(slot) + 4, 5);
    Put16(bytes, DownAt(slot) + 6, 30);
  }
  bytes[RuleAt(8) + 482] = 1;
  return bytes;
}

TEST(SettingsCodec, FieldsAtTheirOffsets) {
  SettingsRecord record;
  record.DownParams[3] = {0x1234, 0x5678, 7, 45};
  SetField(record.NameRules[2].szPrefix, "前缀");
  SetField(record.NameRules[2].szDirSuffix, "z");
  record.NameRules[2].wOptions = OPT_FIX_ORDER | OPT_SKIP_OLD | 0x8000;
  record.NameRules[2].byNameMode = 2;
  record.NameRules[2].byDirMode = 1;
  SetField(record.NameRules[23].szTo, "t");
  SetField(record.recentAddr[1], "A");
  SetField(record.recentDir[4], "\U0001F600");

  const SettingsBytes image = EncodeSettings(record);
  const Bytes bytes(image.begin(), image.end());
  EXPECT_EQ(Get16(bytes, DownAt(3)), 0x1234);
  EXPECT_EQ(Get16(bytes, DownAt(3) + 2), 0x5678);
  EXPECT_EQ(Get16(bytes, DownAt(3) + 4), 7);
  EXPECT_EQ(Get16(bytes, DownAt(3) + 6), 45);
  EXPECT_EQ(bytes[DownAt(3)], 0x34);               // little-endian
  EXPECT_EQ(Get16(bytes, RuleAt(2)), 0x524D);      // 前
  EXPECT_EQ(Get16(bytes, RuleAt(2) + 2), 0x7F00);  // 缀
  EXPECT_EQ(Get16(bytes, RuleAt(2) + 4), 0);
  EXPECT_EQ(Get16(bytes, RuleAt(2) + 400), u'z');
  EXPECT_EQ(Get16(bytes, RuleAt(2) + 480), OPT_FIX_ORDER | OPT_SKIP_OLD | 0x8000);
  EXPECT_EQ(bytes[RuleAt(2) + 482], 2);
  EXPECT_EQ(bytes[RuleAt(2) + 483], 1);
  EXPECT_EQ(Get16(bytes, RuleAt(23) + 240), u't');
  EXPECT_EQ(Get16(bytes, AddrAt(1)), u'A');
  EXPECT_EQ(Get16(bytes, DirAt(4)), 0xD83D);
  EXPECT_EQ(Get16(bytes, DirAt(4) + 2), 0xDE00);
  size_t nonZero = 0;
  for (const uint8_t byte : bytes) nonZero += byte != 0;
  EXPECT_EQ(nonZero, 19u);

  const SettingsRecord back = DecodeSettings(image.data(), image.size());
  EXPECT_EQ(EncodeSettings(back), image);
  EXPECT_EQ(FieldText(back.NameRules[2].szPrefix), "前缀");
  EXPECT_EQ(back.NameRules[2].wOptions, OPT_FIX_ORDER | OPT_SKIP_OLD | 0x8000);
  EXPECT_EQ(FieldText(back.recentDir[4]), "\U0001F600");
}

TEST(SettingsCodec, ShortInputLeavesZeros) {
  const uint8_t bytes[] = {100, 0, 200, 0, 3};
  const SettingsRecord record = DecodeSettings(bytes, sizeof bytes);
  EXPECT_EQ(record.DownParams[0].wMinKB, 100);
  EXPECT_EQ(record.DownParams[0].wMaxKB, 200);
  EXPECT_EQ(record.DownParams[0].wThreads, 3);
  EXPECT_EQ(record.DownParams[0].wTimeout, 0);
  EXPECT_EQ(EncodeSettings(DecodeSettings(nullptr, 0)), SettingsBytes{});
}

TEST(LoadSettings, RepairsAndRewritesAtOnce) {
  ScratchDir dir;
  const fs::path file = dir.Dir() / "soft.dat";
  Bytes bytes = ValidFile();
  Put16(bytes, DownAt(0) + 0, 50);
  Put16(bytes, DownAt(0) + 2, 900);
  Put16(bytes, DownAt(0) + 4, 16);
  Put16(bytes, DownAt(0) + 6, 9);
  Put16(bytes, DownAt(1) + 4, 0);
  Put16(bytes, DownAt(1) + 6, 10);
  Put16(bytes, DownAt(2) + 4, 15);
  Put16(bytes, DownAt(20) + 4, 99);  // the unused slots are repaired too
  Put16(bytes, DownAt(21) + 4, 12);
  Put16(bytes, DownAt(21) + 6, 600);
  bytes[RuleAt(8) + 482] = 0;
  Put16(bytes, RuleAt(3) + 480, 0xFF80 | OPT_OPEN_DIR);
  Put16(bytes, RuleAt(19) + 160, u'|');
  bytes[RuleAt(22) + 483] = 7;
  WriteFile(file, bytes);

  SettingsRecord record;
  LoadSettings(record, file);
  EXPECT_EQ(record.DownParams[0].wMinKB, 50);
  EXPECT_EQ(record.DownParams[0].wMaxKB, 900);
  EXPECT_EQ(record.DownParams[0].wThreads, 5);
  EXPECT_EQ(record.DownParams[0].wTimeout, 30);
  EXPECT_EQ(record.DownParams[1].wThreads, 5);
  EXPECT_EQ(record.DownParams[1].wTimeout, 10);
  EXPECT_EQ(record.DownParams[2].wThreads, 15);
  EXPECT_EQ(record.DownParams[20].wThreads, 5);
  EXPECT_EQ(record.DownParams[21].wThreads, 12);
  EXPECT_EQ(record.DownParams[21].wTimeout, 600);
  EXPECT_EQ(record.NameRules[8].byNameMode, 1);
  EXPECT_EQ(record.NameRules[3].wOptions, 0xFF80 | OPT_OPEN_DIR);

  // The file holds the repaired record; everything else is carried byte for byte.
  Bytes expected = bytes;
  Put16(expected, DownAt(0) + 4, 5);
  Put16(expected, DownAt(0) + 6, 30);
  Put16(expected, DownAt(1) + 4, 5);
  Put16(expected, DownAt(20) + 4, 5);
  expected[RuleAt(8) + 482] = 1;
  EXPECT_EQ(ReadFile(file), expected);
}

TEST(LoadSettings, SlotEightAlwaysByPictureNumber) {
  ScratchDir dir;
  const fs::path file = dir.Dir() / "soft.dat";
  Bytes bytes = ValidFile();
  bytes[RuleAt(8) + 482] = 2;
  bytes[RuleAt(7) + 482] = 2;
  WriteFile(file, bytes);
  SettingsRecord record;
  LoadSettings(record, file);
  EXPECT_EQ(record.NameRules[8].byNameMode, 1);
  EXPECT_EQ(record.NameRules[7].byNameMode, 2);
}

TEST(LoadSettings, ShortAndMissingFiles) {
  ScratchDir dir;
  const fs::path file = dir.Dir() / "soft.dat";
  // A short file fills the record from its start.
  Bytes head(10, 0);
  Put16(head, 0, 64);
  Put16(head, 2, 2048);
  Put16(head, 4, 3);
  Put16(head, 6, 20);
  Put16(head, 8, 1);  // slot 1's wMinKB
  WriteFile(file, head);
  SettingsRecord record;
  LoadSettings(record, file);
  EXPECT_EQ(record.DownParams[0].wMinKB, 64);
  EXPECT_EQ(record.DownParams[0].wMaxKB, 2048);
  EXPECT_EQ(record.DownParams[0].wThreads, 3);
  EXPECT_EQ(record.DownParams[0].wTimeout, 20);
  EXPECT_EQ(record.DownParams[1].wMinKB, 1);
  EXPECT_EQ(record.DownParams[1].wThreads, 5);
  EXPECT_EQ(record.DownParams[14].wTimeout, 30);
  EXPECT_EQ(FieldText(record.NameRules[0].szPrefix), "");
  EXPECT_EQ(ReadFile(file).size(), kSettingsFileSize);

  // A missing file: the first-start record, and the file is made.
  fs::remove(file);
  SettingsRecord first;
  first.DownParams[0].wMinKB = 77;  // stale content is replaced
  SetField(first.recentAddr[0], "stale");
  LoadSettings(first, file);
  Bytes expected = ValidFile();
  EXPECT_EQ(ReadFile(file), expected);
  EXPECT_EQ(first.DownParams[0].wMinKB, 0);
  EXPECT_EQ(FieldText(first.recentAddr[0]), "");

  // A file longer than the record: the rest is ignored.
  Bytes longer = ValidFile();
  longer.resize(kSettingsFileSize + 100, 0xAB);
  WriteFile(file, longer);
  LoadSettings(first, file);
  EXPECT_EQ(ReadFile(file), ValidFile());
}

TEST(SaveSettings, SameContentSameBytes) {
  ScratchDir dir;
  const fs::path file = dir.Dir() / "soft.dat";
  Bytes bytes = ValidFile();
  Put16(bytes, DownAt(4) + 0, 10);
  Put16(bytes, RuleAt(4) + 0, u'图');
  Put16(bytes, RuleAt(4) + 480, OPT_NAME_FILE | OPT_THUNDER_ONLY);
  Put16(bytes, AddrAt(0), u'h');
  Put16(bytes, DirAt(2), u'/');
  // Units after a field's terminator are carried as they are.
  Put16(bytes, RuleAt(4) + 4, u'x');
  WriteFile(file, bytes);
  SettingsRecord record;
  LoadSettings(record, file);
  EXPECT_EQ(ReadFile(file), bytes);
  EXPECT_TRUE(SaveSettings(record, file));
  EXPECT_EQ(ReadFile(file), bytes);
  // No temporary file stays behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Dir()), fs::directory_iterator()), 1);
}

TEST(SaveSettings, FailureKeepsTheOldState) {
  ScratchDir dir;
  SettingsRecord record;
  EXPECT_FALSE(SaveSettings(record, dir.Dir() / "missing" / "soft.dat"));
  EXPECT_FALSE(fs::exists(dir.Dir() / "missing"));
  // The target cannot be replaced (a folder stands there): false, nothing left over.
  const fs::path folder = dir.Dir() / "soft.dat";
  fs::create_directory(folder);
  EXPECT_FALSE(SaveSettings(record, folder));
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.Dir()), fs::directory_iterator()), 1);
  // LoadSettings still yields the repaired record when nothing can be written.
  SettingsRecord loaded;
  LoadSettings(loaded, dir.Dir() / "missing" / "soft.dat");
  EXPECT_EQ(loaded.DownParams[0].wThreads, 5);
}

TEST(RememberRecent, NewestFirstAndSixthDropsOldest) {
  SettingsRecord record;
  for (int i = 1; i <= 5; ++i)
    EXPECT_TRUE(RememberRecent(record, 1, "/home/u/pics" + std::to_string(i)));
  EXPECT_EQ(FieldText(record.recentDir[0]), "/home/u/pics5");
  EXPECT_EQ(FieldText(record.recentDir[4]), "/home/u/pics1");
  EXPECT_TRUE(RememberRecent(record, 1, "/home/u/pics6"));
  EXPECT_EQ(FieldText(record.recentDir[0]), "/home/u/pics6");
  EXPECT_EQ(FieldText(record.recentDir[1]), "/home/u/pics5");
  EXPECT_EQ(FieldText(record.recentDir[4]), "/home/u/pics2");
  // The oldest is gone, so it can come back.
  EXPECT_TRUE(RememberRecent(record, 1, "/home/u/pics1"));
  // The address list is separate; other kinds add nothing.
  EXPECT_EQ(FieldText(record.recentAddr[0]), "");
  EXPECT_TRUE(RememberRecent(record, 0, "/home/u/pics1"));
  EXPECT_FALSE(RememberRecent(record, 2, "x"));
  EXPECT_FALSE(RememberRecent(record, -1, "x"));
}

TEST(RememberRecent, CaseRuleWithLatinAndChinese) {
  SettingsRecord record;
  EXPECT_TRUE(RememberRecent(record, 1, "/Home/Photos/相册A"));
  EXPECT_FALSE(RememberRecent(record, 1, "/home/photos/相册a"));
  EXPECT_FALSE(RememberRecent(record, 1, "/HOME/PHOTOS/相册A"));
  // Chinese has no case: a different character is a different path.
  EXPECT_TRUE(RememberRecent(record, 1, "/Home/Photos/相冊A"));
  // Whole texts only: a prefix is not the same entry.
  EXPECT_TRUE(RememberRecent(record, 1, "/Home/Photos"));
  EXPECT_TRUE(RememberRecent(record, 0, "http://photo.163.com/Someone"));
  EXPECT_FALSE(RememberRecent(record, 0, "HTTP://PHOTO.163.COM/someone"));
}

TEST(RememberRecent, LengthLimit) {
  SettingsRecord record;
  EXPECT_FALSE(RememberRecent(record, 0, std::string(400, 'a')));
  EXPECT_TRUE(RememberRecent(record, 0, std::string(399, 'a')));
  EXPECT_EQ(FieldText(record.recentAddr[0]), std::string(399, 'a'));
  std::string chinese;
  for (int i = 0; i < 400; ++i) chinese += "图";
  EXPECT_FALSE(RememberRecent(record, 0, chinese));
  // 200 characters outside the basic plane are 400 units.
  std::string astral;
  for (int i = 0; i < 200; ++i) astral += "\U0001F600";
  EXPECT_FALSE(RememberRecent(record, 0, astral));
}

TEST(Fields, SetFieldKeepsTheTerminator) {
  NameField field{};
  field.fill(u'q');
  SetField(field, std::string(50, 'a'));
  EXPECT_EQ(FieldText(field), std::string(39, 'a'));
  EXPECT_EQ(field[39], 0);
  SetField(field, "ab");
  EXPECT_EQ(FieldText(field), "ab");
  for (size_t i = 2; i < field.size(); ++i) EXPECT_EQ(field[i], 0) << i;
  // A pair that would be cut in half is left out whole.
  SetField(field, std::string(38, 'a') + "\U0001F600");
  EXPECT_EQ(FieldText(field), std::string(38, 'a'));
  SetField(field, std::string(37, 'a') + "\U0001F600");
  EXPECT_EQ(FieldText(field), std::string(37, 'a') + "\U0001F600");
  // A field without any terminator reads to its end.
  field.fill(u'z');
  EXPECT_EQ(FieldText(field), std::string(40, 'z'));
}

}  // namespace
}  // namespace albumora
