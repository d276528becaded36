// SPDX-License-Identifier: GPL-3.0-or-later
// The same download at every look-ahead. For every site case whose album list holds two or more
// albums, `albumora download` of all its albums runs at look-ahead 0 (one album after another),
// 3 and 8 (the next albums' picture lists read while an album downloads). Each run must write
// the same files (names and bytes), record the same archive rows, print the same album lines and
// send the same requests with the same Referer headers: albums read side by side share nothing.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "CaseFiles.h"
#include "ScratchDir.h"
#include "TestFiles.h"
#include "TestWeb.h"
#include "text/StringCtrl.h"

namespace albumora {
namespace {

namespace fs = std::filesystem;
using namespace sitecase;
using testweb::Reply;
using testweb::Request;
using testweb::TestWeb;

// What one run left behind, with the run's own folders taken out of every text.
struct Outcome {
  int status = -1;
  std::vector<std::string> albumLines;
  std::map<std::string, std::string> files;  // path under the save folder -> bytes
  std::vector<std::string> archiveRows;      // sorted; run numbers and times left out
  std::vector<std::string> requests;         // sorted: "GET url | Referer: …"
};

// The text with the run's save folder and the clock (a picture without a description is named
// by it) taken out.
std::string WithoutFolder(std::string text, const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) ReplaceAll(text, folder, "SAVE/");
  return std::regex_replace(text, std::regex("20[0-9]{12}"), "TIME");
}

std::vector<std::string> ArchiveRows(const fs::path& database,
                                     const std::vector<std::string>& folders) {
  std::vector<std::string> rows;
  sqlite3* raw = nullptr;
  if (sqlite3_open_v2(database.c_str(), &raw, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
    sqlite3_close(raw);
    return {"no archive"};
  }
  std::unique_ptr<sqlite3, decltype(&sqlite3_close)> db(raw, sqlite3_close);
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db.get(), "SELECT * FROM pictures", -1, &statement, nullptr) !=
      SQLITE_OK) {
    return {"no picture table"};
  }
  std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)> rowsOf(statement, sqlite3_finalize);
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::string row;
    for (int column = 0; column < sqlite3_column_count(statement); ++column) {
      const std::string name = sqlite3_column_name(statement, column);
      // What differs from run to run by nature: the row and run numbers, the clock.
      if (name == "id" || name == "run" || name.find("time") != std::string::npos) continue;
      const unsigned char* text = sqlite3_column_text(statement, column);
      row += name + "=" + (text ? reinterpret_cast<const char*>(text) : "") + " | ";
    }
    rows.push_back(WithoutFolder(row, folders));
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

class LookAhead : public ::testing::TestWithParam<std::string> {};

TEST_P(LookAhead, EverySettingGivesTheSameFilesRowsAndRequests) {
  const fs::path folder = GetParam();
  const std::string script = testweb::ReadFile(folder / "case.txt");
  const std::string expected = testweb::ReadFile(folder / "expected.txt");
  std::string address;
  bool yes = false;
  bool listed = false;
  std::vector<std::pair<std::regex, std::string>> masks;
  for (const std::string& line : testweb::Lines(script)) {
    if (line.starts_with("cookie ") || line.starts_with("album ")) GTEST_SKIP() << "logs in";
    if (line.starts_with("mask ")) {
      const std::vector<std::string> words = Words(line);
      masks.emplace_back(std::regex(words.at(1)), words.size() > 2 ? words[2] : "*");
    }
    if (line == "list" || line.starts_with("list ")) listed = true;
    if (line.starts_with("address ") && !listed) address = RestAfterWords(line, 1);
    if (line.starts_with("answer ") && line.find("yes") != std::string::npos) yes = true;
  }
  if (address.empty() || !listed) GTEST_SKIP() << "no list step";

  // The albums of the first list, and every picture address of the transcript.
  size_t albums = 0;
  std::set<std::string> pictureUrls;
  bool firstList = false;
  for (const std::string& line : testweb::Lines(expected)) {
    if (line.starts_with("== list")) {
      if (firstList) break;
      firstList = true;
    }
    if (firstList && line.starts_with("album ")) ++albums;
    if (line.starts_with("picture ")) {
      std::string addresses = Field(line, "line");
      const size_t cut = addresses.find("\\r\\n");
      pictureUrls.insert(addresses.substr(0, cut));
      if (cut != std::string::npos) pictureUrls.insert(addresses.substr(cut + 4));
    }
  }
  if (albums < 2) GTEST_SKIP() << "one album";

  testweb::ScratchDir scratch("look-ahead");
  TestWeb web;
  CaseWeb served(web, folder, pictureUrls, true);

  auto run = [&](int lookAhead) {
    served.Reset();  // answers counted with times= start afresh
    const size_t before = web.Requests().size();
    const fs::path home = scratch.Dir() / ("home" + std::to_string(lookAhead));
    const fs::path save = scratch.Dir() / ("save" + std::to_string(lookAhead));
    fs::create_directories(home);
    std::ofstream(home / "albumora.toml") << "[download]\nlook_ahead = " << lookAhead << "\n";
    const CliRun cli = RunCli({"download", "--home", home.string(), "--proxy", web.ProxyUrl(),
                               "--site", folder.parent_path().filename().string(),
                               yes ? "--yes" : "--no", "--save", save.string(), address},
                              scratch.Dir());
    EXPECT_EQ(cli.err.find("ThreadSanitizer"), std::string::npos) << cli.err;
    EXPECT_EQ(cli.err.find("AddressSanitizer"), std::string::npos) << cli.err;
    std::error_code error;
    const std::vector<std::string> folders = {fs::weakly_canonical(save, error).string() + "/",
                                              fs::absolute(save).string() + "/",
                                              save.string() + "/"};

    Outcome outcome;
    outcome.status = cli.status;
    for (const std::string& line : testweb::Lines(cli.out)) {
      outcome.albumLines.push_back(WithoutFolder(line, folders));
    }
    for (auto it = fs::recursive_directory_iterator(save, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      if (!it->is_regular_file()) continue;
      const std::string name = WithoutFolder(fs::relative(it->path(), save).string(), {});
      outcome.files[name] = testweb::ReadFile(it->path());
    }
    outcome.archiveRows = ArchiveRows(home / "archive.db", folders);
    const std::vector<Request> requests = web.Requests();
    for (size_t i = before; i < requests.size(); ++i) {
      std::string url = requests[i].url;
      for (const auto& [pattern, replacement] : masks) {
        url = std::regex_replace(url, pattern, replacement);
      }
      outcome.requests.push_back(requests[i].method + " " + url +
                                 " | Referer: " + requests[i].Header("Referer"));
    }
    std::sort(outcome.requests.begin(), outcome.requests.end());
    return outcome;
  };

  const Outcome one = run(0);
  for (int lookAhead : {3, 8}) {
    const Outcome other = run(lookAhead);
    SCOPED_TRACE("look-ahead " + std::to_string(lookAhead) + " against 0");
    EXPECT_EQ(other.status, one.status);
    EXPECT_EQ(other.albumLines, one.albumLines);
    std::vector<std::string> names;
    std::vector<std::string> otherNames;
    for (const auto& [name, bytes] : one.files) names.push_back(name);
    for (const auto& [name, bytes] : other.files) otherNames.push_back(name);
    ASSERT_EQ(otherNames, names);
    for (const auto& [name, bytes] : one.files) {
      EXPECT_TRUE(other.files.at(name) == bytes) << name << " differs";
    }
    EXPECT_EQ(other.archiveRows, one.archiveRows);
    EXPECT_EQ(other.requests, one.requests);
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, LookAhead, ::testing::ValuesIn(CaseFolders()),
                         [](const auto& info) { return CaseName(info.param); });

}  // namespace
}  // namespace albumora
