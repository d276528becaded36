// SPDX-License-Identifier: GPL-3.0-or-later
#include "model/Config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ScratchDir.h"
#include "TestFiles.h"

namespace albumora {
namespace {

namespace fs = std::filesystem;

using testweb::ReadFile;
using testweb::ScratchDir;

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Each bad file gives one message naming the line, and keeps its other values: every case holds
// album_list_pages = 7 at its end unless the whole file fails.
TEST(ConfigTest, BadFilesAreNamedByLineAndKeepTheOtherValues) {
  struct Case {
    const char* text;
    bool parsed;  // false: the whole file is refused
    int line;
    const char* fragment;
  };
  const Case cases[] = {
      {"[transfer]\nlow_speed_seconds = 0\n", true, 2,
       "transfer.low_speed_seconds takes a number from 1 to 3600, not 0; the default 10 stays"},
      {"[transfer]\n\nlow_speed_bytes = \"fast\"\n", true, 3, "from 0 to 1000000000, not a string"},
      {"[transfer]\nlow_speed_bytes = 1_000_000_001\n", true, 2, "not 1000000001"},
      {"[transfer]\nuser_agent = \"a\\nb\"\n", true, 2,
       "printable ASCII text of at most 512 characters; the default \"\" stays"},
      {"[transfer]\nuser_agent = \"\xe7\x9b\xb8\"\n", true, 2, "user_agent takes printable"},
      {"[transfer]\nuser_agent = 5\n", true, 2, "at most 512 characters, not 5; the default"},
      {"[download]\nresume = 1\n", true, 2, "download.resume takes true or false, not 1"},
      {"[paging]\npicture_list_pages = 2.5\n", true, 2, "not a fraction; the default 10000"},
      {"[paging]\npicture_list_pages = -5\n", true, 2, "from 1 to 1000000, not -5"},
      {"[paging]\npicture_list_pages = [1]\n", true, 2, "not a list"},
      {"# comment\n[transfer]\nlow_speed_byte = 5\n", true, 3,
       "unknown setting transfer.low_speed_byte (the [transfer] settings: low_speed_bytes, "
       "low_speed_seconds, user_agent); ignored"},
      {"colour = \"red\"\n", true, 1, "unknown setting colour"},
      {"[[paging.more]]\n", true, 1, "unknown setting paging.more"},
      {"transfer = 5\n", true, 1, "transfer is a table of settings ([transfer]), not 5"},
      {"[transfer\nlow_speed_bytes = 5\n", false, 1, "every setting keeps its default"},
      {"[transfer]\nresume = true\nresume = false\n", false, 3, "every setting keeps"},
      {"[download]\nresume = tru\n", false, 2, "every setting keeps"},
      {"\xff\xfe[\x00\x01", false, 1, "every setting keeps"},
  };
  ScratchDir scratch;
  const fs::path file = scratch.Dir() / kConfigFileName;
  for (const Case& c : cases) {
    std::string text = c.text;
    if (c.parsed) text += "\n[paging]\nalbum_list_pages = 7\n";
    if (std::string(c.text).starts_with("[paging]"))
      text = c.text + std::string("album_list_pages = 7\n");
    WriteText(file, text);
    Config config;
    config.userAgent = "stale";
    std::vector<std::string> errors;
    EXPECT_EQ(LoadConfig(file, config, errors), c.parsed) << c.text;
    ASSERT_EQ(errors.size(), 1u) << c.text << Joined(errors);
    EXPECT_EQ(errors[0].rfind(file.string() + ":" + std::to_string(c.line) + ":", 0), 0u)
        << errors[0];
    EXPECT_NE(errors[0].find(c.fragment), std::string::npos) << errors[0];
    EXPECT_EQ(errors[0].find('\n'), std::string::npos) << errors[0];
    Config expected;
    if (c.parsed) expected.albumListPageCap = 7;
    EXPECT_EQ(config, expected) << c.text;
  }

  // Several problems are told in line order, whatever order the keys sort in.
  WriteText(file, "[transfer]\nlow_speed_seconds = 0\nlow_speed_bytes = -1\n[a]\n");
  Config config;
  std::vector<std::string> errors;
  EXPECT_TRUE(LoadConfig(file, config, errors));
  ASSERT_EQ(errors.size(), 3u) << Joined(errors);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(errors[i].rfind(file.string() + ":" + std::to_string(i + 2) + ": ", 0), 0u)
        << Joined(errors);
  }
}

TEST(ConfigTest, SavedFileLoadsBackTheSameValues) {
  ScratchDir scratch;
  const fs::path file = scratch.Dir() / kConfigFileName;
  Config config;
  config.lowSpeedBytes = 0;
  config.lowSpeedSeconds = 3600;
  config.resume = false;
  config.userAgent = R"(Mozilla/5.0 "quoted" \back\ #not-a-comment)";
  config.albumListPageCap = 1;
  config.pictureListPageCap = 1'000'000;
  std::string error;
  ASSERT_TRUE(SaveConfig(file, config, error)) << error;
  const std::string text = ReadFile(file);
  EXPECT_NE(text.find("[transfer]\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\n# seconds a transfer may stay slow before it fails (1 to "
                      "3600)\nlow_speed_seconds = 3600\n"),
            std::string::npos)
      << text;
  Config loaded;
  std::vector<std::string> errors;
  EXPECT_TRUE(LoadConfig(file, loaded, errors));
  EXPECT_TRUE(errors.empty()) << Joined(errors);
  EXPECT_EQ(loaded, config);

  // Every setting shows its value and takes it back.
  for (const ConfigSetting& setting : ConfigSettings()) {
    Config copy;
    ASSERT_TRUE(setting.set(copy, setting.get(config), error)) << setting.name << error;
    EXPECT_EQ(setting.get(copy), setting.get(config)) << setting.name;
  }

  // A value the file could not hold is refused and the old file stays; so it does when the
  // folder is missing. No temporary file is left behind.
  Config bad = config;
  bad.userAgent = "line\nbreak";
  EXPECT_FALSE(SaveConfig(file, bad, error));
  EXPECT_NE(error.find("transfer.user_agent"), std::string::npos) << error;
  EXPECT_FALSE(SaveConfig(scratch.Dir() / "missing" / kConfigFileName, config, error));
  EXPECT_NE(error.find("missing"), std::string::npos) << error;
  EXPECT_EQ(ReadFile(file), text);
  EXPECT_EQ(std::distance(fs::directory_iterator(scratch.Dir()), fs::directory_iterator()), 1);
}

TEST(ConfigTest, SettersCheckTheirRanges) {
  struct Case {
    const char* name;
    std::string value;
    bool ok;
  };
  const Case cases[] = {
      {"transfer.low_speed_bytes", "0", true},
      {"transfer.low_speed_bytes", "1000000000", true},
      {"transfer.low_speed_bytes", "1000000001", false},
      {"transfer.low_speed_bytes", "99999999999999999999", false},
      {"transfer.low_speed_seconds", "0", false},
      {"transfer.low_speed_seconds", " 3600 ", true},
      {"transfer.low_speed_seconds", "-1", false},
      {"transfer.low_speed_seconds", "12a", false},
      {"transfer.low_speed_seconds", "", false},
      {"transfer.user_agent", "", true},
      {"transfer.user_agent", std::string(512, 'a'), true},
      {"transfer.user_agent", std::string(513, 'a'), false},
      {"transfer.user_agent", "tab\there", false},
      {"download.resume", "off", true},
      {"download.resume", "TRUE", true},
      {"download.resume", "maybe", false},
      {"paging.album_list_pages", "1000000", true},
      {"paging.picture_list_pages", "1000001", false},
  };
  for (const Case& c : cases) {
    const ConfigSetting* setting = nullptr;
    for (const ConfigSetting& s : ConfigSettings()) {
      if (s.name == c.name) setting = &s;
    }
    ASSERT_NE(setting, nullptr) << c.name;
    Config config;
    std::string error;
    EXPECT_EQ(setting->set(config, c.value, error), c.ok) << c.name << "=" << c.value;
    if (!c.ok) {
      EXPECT_EQ(error.rfind(std::string(c.name) + " takes ", 0), 0u) << error;
      EXPECT_EQ(config, Config{}) << c.name << "=" << c.value;
    }
  }
}

TEST(ConfigTest, MissingFileGivesTheDefaultsAndAFolderIsRefused) {
  ScratchDir scratch;
  Config config;
  config.lowSpeedBytes = 1;
  std::vector<std::string> errors;
  EXPECT_TRUE(LoadConfig(scratch.Dir() / kConfigFileName, config, errors));
  EXPECT_TRUE(errors.empty());
  EXPECT_EQ(config, Config{});
  EXPECT_TRUE(fs::is_empty(scratch.Dir()));  // nothing is made by a load

  fs::create_directory(scratch.Dir() / kConfigFileName);
  EXPECT_FALSE(LoadConfig(scratch.Dir() / kConfigFileName, config, errors));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("cannot be read"), std::string::npos) << errors[0];
}

// A hand-written file keeps every byte but the lines of the values that change: comments, an
// inline note, blank lines, the order, an unknown key and a bad value (told when loading, never
// silently rewritten).
TEST(ConfigTest, SavingEditsAHandWrittenFileInPlace) {
  ScratchDir scratch;
  const fs::path file = scratch.Dir() / kConfigFileName;
  const std::string before =
      "# my notes\n"
      "[polite]\n"
      "retries = \"many\"   # a bad value\n"
      "wait_ms = 250\n"
      "\n"
      "[transfer]\n"
      "mine = 1\n"
      "low_speed_bytes  =  2048 # slow line\n"
      "user_agent = \"agent\" # 漢字\n";
  WriteText(file, before);
  Config config;
  std::vector<std::string> errors;
  ASSERT_TRUE(LoadConfig(file, config, errors));
  ASSERT_EQ(errors.size(), 2u) << Joined(errors);
  config.lowSpeedBytes = 4096;
  config.userAgent = "other";
  config.randomWait = true;
  config.lookAhead = 2;
  std::string error;
  ASSERT_TRUE(SaveConfig(file, config, error)) << error;
  EXPECT_EQ(ReadFile(file),
            "# my notes\n"
            "[polite]\n"
            "retries = \"many\"   # a bad value\n"
            "wait_ms = 250\n"
            "random_wait = true\n"
            "\n"
            "[transfer]\n"
            "mine = 1\n"
            "low_speed_bytes  =  4096 # slow line\n"
            "user_agent = \"other\" # 漢字\n"
            "\n"
            "[download]\n"
            "look_ahead = 2\n");
  Config loaded;
  errors.clear();
  EXPECT_TRUE(LoadConfig(file, loaded, errors));
  EXPECT_EQ(loaded, config);
  // Nothing changed: not a byte moves.
  const std::string after = ReadFile(file);
  ASSERT_TRUE(SaveConfig(file, loaded, error)) << error;
  EXPECT_EQ(ReadFile(file), after);
}

// Random bytes, every cut of a real file and an oversized file: a message or a load, never a
// throw, and never a value outside its range.
TEST(ConfigTest, GarbageNeverThrows) {
  Config saved;
  saved.userAgent = "agent \"x\"";
  ScratchDir scratch;
  const fs::path file = scratch.Dir() / kConfigFileName;
  std::string error;
  ASSERT_TRUE(SaveConfig(file, saved, error));
  const std::string text = ReadFile(file);
  std::vector<std::string> inputs;
  for (size_t cut = 0; cut <= text.size(); ++cut) inputs.push_back(text.substr(0, cut));
  std::mt19937 random(7);
  for (int i = 0; i < 300; ++i) {
    std::string bytes(random() % 200, '\0');
    for (char& c : bytes) c = static_cast<char>(random());
    inputs.push_back(bytes);
  }
  for (const std::string& input : inputs) {
    Config config;
    std::vector<std::string> errors;
    const bool parsed = ParseConfig(input, "in", config, errors);
    if (!parsed) {
      EXPECT_EQ(config, Config{});
    }
    EXPECT_GE(config.lowSpeedSeconds, 1u);
    EXPECT_GE(config.albumListPageCap, 1u);
    EXPECT_LE(config.userAgent.size(), 512u);
  }

  WriteText(file, std::string(2 << 20, '#'));
  Config config;
  std::vector<std::string> errors;
  EXPECT_FALSE(LoadConfig(file, config, errors));
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_NE(errors[0].find("larger than"), std::string::npos) << errors[0];
}

}  // namespace
}  // namespace albumora
