// SPDX-License-Identifier: GPL-3.0-or-later
// Replays every case folder under tests/sites/<family key>/<case>/ through the loopback test web
// and the real engine, runs the family's adapters through the real jobs, and compares what
// happened with the case's expected.txt. Set ALBUMORA_REWRITE_CASES=1 to write expected.txt
// anew after a deliberate change (then read the diff). The format is in tests/sites/README.md.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "CaseFiles.h"
#include "FakeHost.h"
#include "ScratchDir.h"
#include "TestFiles.h"
#include "TestWeb.h"
#include "albumlist/AlbumListJob.h"
#include "albumlist/AlbumRows.h"
#include "download/DownloadJob.h"
#include "fs/ProgramFolder.h"
#include "model/AppState.h"
#include "model/Settings.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"
#include "sites/Fetch.h"
#include "sites/Registry.h"
#include "text/StringCtrl.h"

namespace albumora {
namespace {

namespace fs = std::filesystem;
using testweb::FakeHost;
using testweb::Reply;
using testweb::Request;
using testweb::TestWeb;
using namespace sitecase;

// A host that also keeps its messages, questions (with the answers given) and login windows in
// the order they came.
class CaseHost : public FakeHost {
 public:
  std::vector<std::string> events;

  void ShowMessage(const std::string& text, const std::string& caption) override {
    FakeHost::ShowMessage(text, caption);
    events.push_back("message " + OneLine(text));
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    const bool yes = FakeHost::AskYesNo(text, caption);
    events.push_back("question " + OneLine(text) + " -> " + (yes ? "yes" : "no"));
    return yes;
  }
  void OpenLogin(const std::string& address) override {
    FakeHost::OpenLogin(address);
    events.push_back("login " + OneLine(address));
  }
};

// One case: its folder, script and the transcript of what happened.
class CaseRun {
 public:
  explicit CaseRun(fs::path folder) : folder_(std::move(folder)) {
    nSite_ = SiteFromKey(folder_.parent_path().filename().string());
  }

  std::string Run() {
    routes_ = ReadRoutes(folder_);
    CookieStore::Shared().Clear();
    InitProgramFolder(scratch_.Dir() / "home");
    SetEngineProxy(web_.ProxyUrl());
    web_.RoutePrefix("", "/", [this](const Request& request) { return Answer(request); });
    // The settings a first start has: the file is missing, so zeros and the load repairs.
    LoadSettings(app_.settings, ProgramFile("soft.dat"));
    app_.bReady = 1;
    app_.nSite = nSite_;
    app_.grid.Reset(false);

    const std::string script = testweb::ReadFile(folder_ / "case.txt");
    for (const std::string& raw : testweb::Lines(script)) {
      std::string line = raw;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (Trim(line).empty() || line[0] == '#') continue;
      Step(line);
    }
    SetEngineProxy("");
    CookieStore::Shared().Clear();
    return Masked(out_.str());
  }

 private:
  Reply Answer(const Request& request) {
    std::lock_guard lock(mutex_);
    return Route(routes_, request).value_or(Reply::Status(404));
  }

  void Step(const std::string& line) {
    const std::vector<std::string> words = Words(line);
    const std::string& verb = words[0];
    if (verb == "address") {
      host_.address = RestAfterWords(line, 1);
    } else if (verb == "answer") {
      for (size_t i = 1; i < words.size(); ++i) host_.answers.push_back(words[i] == "yes");
    } else if (verb == "cookie") {
      CookieStore::Shared().SetCookie(words.at(1), RestAfterWords(line, 2));
    } else if (verb == "name-mode") {
      app_.Rule().byNameMode = static_cast<uint8_t>(std::stoi(words.at(1)));
    } else if (verb == "option") {
      app_.Rule().wOptions = static_cast<uint16_t>(app_.Rule().wOptions | std::stoi(words.at(1)));
    } else if (verb == "headers") {
      shownHeaders_.assign(words.begin() + 1, words.end());
    } else if (verb == "mask") {
      masks_.emplace_back(std::regex(words.at(1)), words.size() > 2 ? words[2] : "*");
    } else if (verb == "set") {
      SetText(RestAfterWords(line, 1));
    } else if (verb == "list-type") {
      app_.nListType = std::stoi(words.at(1));
    } else if (verb == "album") {
      AddAlbum(RestAfterWords(line, 1));
    } else if (verb == "list") {
      ListStep();
    } else if (verb == "pictures") {
      for (size_t i = 1; i < words.size(); ++i) PictureStep(std::stoi(words[i]) - 1);
    } else {
      throw std::runtime_error("case.txt: unknown step " + verb);
    }
  }

  // "p1=value", "owner=value" …: a job text before a step.
  void SetText(const std::string& assignment) {
    const size_t eq = assignment.find('=');
    const std::string name = assignment.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : assignment.substr(eq + 1);
    if (name == "owner") app_.strOwner = value;
    if (name == "title") app_.strOwnerTitle = value;
    if (name == "p1") app_.strSiteParam1 = value;
    if (name == "p2") app_.strSiteParam2 = value;
    if (name == "p3") app_.strSiteParam3 = value;
  }

  // "name=A addr=B flags=1 count=3 key=K desc=D cover=C": an album as the list would hold it.
  void AddAlbum(const std::string& fields) {
    auto entry = std::make_unique<ST_PERLISTRECORD>();
    for (const std::string& field : Words(fields)) {
      const size_t eq = field.find('=');
      const std::string name = field.substr(0, eq);
      const std::string value = eq == std::string::npos ? std::string() : field.substr(eq + 1);
      if (name == "name") entry->strName = value;
      if (name == "addr") entry->strAddr = value;
      if (name == "cover") entry->strCover = value;
      if (name == "key") entry->strKey = value;
      if (name == "desc") entry->strDesc = value;
      if (name == "count") entry->nCount = std::stoi(value);
      if (name == "flags") entry->nFlags = std::stoi(value);
    }
    app_.albumList.Append(std::move(entry));
  }

  void ListStep() {
    out_ << "== list " << OneLine(host_.address) << "\n";
    const size_t requestsBefore = web_.Requests().size();
    app_.nListState = LIST_RUNNING;
    app_.nListType = LT_NONE;
    ListPages pages;
    RunAlbumList(app_, SiteAdapters(), &pages);
    WriteRequests(requestsBefore);
    WriteEvents();
    if (pages.diagnosis) out_ << "diagnosis " << OneLine(DiagnosisText(*pages.diagnosis)) << "\n";
    for (size_t i = 0; i < app_.albumList.size(); ++i) {
      const ST_PERLISTRECORD& album = app_.albumList[i];
      out_ << "album " << (i + 1) << " name=" << OneLine(album.strName)
           << " | count=" << Trim(CountText(album.nCount))
           << " | remark=" << RemarkText(album.nFlags) << " | addr=" << OneLine(album.strAddr)
           << " | cover=" << OneLine(album.strCover);
      if (!album.strKey.empty()) out_ << " | key=" << OneLine(album.strKey);
      if (!album.strDesc.empty()) out_ << " | desc=" << OneLine(album.strDesc);
      if (album.nNum1 != 0) out_ << " | num1=" << album.nNum1;
      if (album.nNum2 != 0) out_ << " | num2=" << album.nNum2;
      out_ << "\n";
    }
    out_ << "list-type " << app_.nListType.load() << "\n";
    WriteTexts();
  }

  void PictureStep(int albumIndex) {
    out_ << "== pictures " << (albumIndex + 1) << "\n";
    if (albumIndex < 0 || static_cast<size_t>(albumIndex) >= app_.albumList.size()) {
      out_ << "no such album\n";
      return;
    }
    const size_t requestsBefore = web_.Requests().size();
    AlbumState album(app_, albumIndex, scratch_.Folder());
    const DownloadList& list = album.list;
    app_.nDownState = DOWN_RUNNING;
    std::optional<PageDiagnosis> diagnosis;
    if (PictureListFn adapter = SiteAdapters().PictureList(nSite_, app_.nListType.load())) {
      JobPictureContext context(app_, album);
      {
        FetchStopScope stops(context);
        adapter(context);
      }
      diagnosis = context.Diagnosis();
    }
    app_.nDownState = DOWN_IDLE;
    WriteRequests(requestsBefore);
    WriteEvents();
    if (diagnosis) out_ << "diagnosis " << OneLine(DiagnosisText(*diagnosis)) << "\n";
    std::string folder = list.strSaveDir;
    if (folder.starts_with(scratch_.Folder())) folder.erase(0, scratch_.Folder().size());
    if (!list.empty()) out_ << "folder " << OneLine(folder) << "\n";
    for (size_t i = 0; i < list.size(); ++i) {
      out_ << "picture " << (i + 1) << " file=" << OneLine(list.arrName[i])
           << " | line=" << OneLine(list.arrUrl[i]);
      if (!list.arrHeader[i].empty()) out_ << " | header=" << OneLine(list.arrHeader[i]);
      out_ << "\n";
    }
  }

  void WriteEvents() {
    for (size_t i = eventsShown_; i < host_.events.size(); ++i) out_ << host_.events[i] << "\n";
    eventsShown_ = host_.events.size();
  }

  void WriteRequests(size_t before) {
    const std::vector<Request> requests = web_.Requests();
    for (size_t i = before; i < requests.size(); ++i) {
      const Request& request = requests[i];
      out_ << "request " << request.method << " " << request.url << "\n";
      for (const std::string& name : shownHeaders_) {
        const std::string value = request.Header(name);
        if (!value.empty()) out_ << "  " << name << ": " << value << "\n";
      }
    }
  }

  void WriteTexts() {
    out_ << "texts owner=" << OneLine(app_.strOwner) << " | title=" << OneLine(app_.strOwnerTitle)
         << " | p1=" << OneLine(app_.strSiteParam1) << " | p2=" << OneLine(app_.strSiteParam2)
         << " | p3=" << OneLine(app_.strSiteParam3) << "\n";
  }

  std::string Masked(std::string text) const {
    for (const auto& [pattern, replacement] : masks_) {
      text = std::regex_replace(text, pattern, replacement);
    }
    return text;
  }

  fs::path folder_;
  int nSite_ = -1;
  testweb::ScratchDir scratch_{"case"};
  TestWeb web_;
  std::mutex mutex_;
  std::vector<CaseRoute> routes_;
  CaseHost host_;
  AppState app_{host_};
  std::ostringstream out_;
  std::vector<std::string> shownHeaders_{"Referer", "Cookie"};
  std::vector<std::pair<std::regex, std::string>> masks_;
  size_t eventsShown_ = 0;
};

class SiteCase : public ::testing::TestWithParam<std::string> {};

TEST_P(SiteCase, Replays) {
  const fs::path folder = GetParam();
  CaseRun run(folder);
  const std::string actual = run.Run();
  const fs::path expectedFile = folder / "expected.txt";
  const char* rewrite = std::getenv("ALBUMORA_REWRITE_CASES");
  if (rewrite != nullptr && std::string(rewrite) == "1") {
    std::ofstream(expectedFile, std::ios::binary | std::ios::trunc) << actual;
    return;
  }
  ASSERT_TRUE(fs::exists(expectedFile))
      << "no expected.txt: run with ALBUMORA_REWRITE_CASES=1 and read it";
  EXPECT_EQ(actual, testweb::ReadFile(expectedFile)) << folder;
}

// The command line end to end on a case: `albumora list` shows the albums of the transcript,
// and `albumora download --albums 1` writes the first album's pictures under the owner's folder
// with the transcript's file names. Every picture address of the transcript that no route
// answers gets a small JPEG. Cases that log in first (a cookie step) are left to the replay above.
TEST_P(SiteCase, CommandLineEndToEnd) {
  const fs::path folder = GetParam();
  const std::string script = testweb::ReadFile(folder / "case.txt");
  const std::string expected = testweb::ReadFile(folder / "expected.txt");
  std::string address;
  bool yes = false;
  bool ownNaming = false;  // the case names files by rules of its own: compare counts only
  bool listed = false;
  std::vector<std::pair<std::regex, std::string>> masks;
  for (const std::string& line : testweb::Lines(script)) {
    if (line.starts_with("name-mode ") || line.starts_with("option ")) ownNaming = true;
    if (line.starts_with("mask ")) {
      const std::vector<std::string> words = Words(line);
      masks.emplace_back(std::regex(words.at(1)), words.size() > 2 ? words[2] : "*");
    }
    if (line.starts_with("cookie ") || line.starts_with("album ")) GTEST_SKIP() << "logs in";
    if (line == "list" || line.starts_with("list ")) listed = true;
    // The address of the first list step.
    if (line.starts_with("address ") && !listed) address = RestAfterWords(line, 1);
    if (line.starts_with("answer ") && line.find("yes") != std::string::npos) yes = true;
  }
  if (address.empty() || !Contains(script, "\nlist")) GTEST_SKIP() << "no list step";

  // The first list step's albums and owner, and the pictures of album 1 after it.
  std::vector<std::string> names;
  std::vector<std::string> files;
  std::string owner;
  std::string title;
  std::string folderOf1;
  std::set<std::string> pictureUrls;
  std::string section;
  for (const std::string& line : testweb::Lines(expected)) {
    if (line.starts_with("== ")) {
      if (!section.empty() && line.starts_with("== list")) break;  // only the first list
      section = line.starts_with("== list") ? "list" : line == "== pictures 1" ? "p1" : "other";
    } else if (section == "list" && line.starts_with("album ")) {
      names.push_back(Field(line, "name"));
    } else if (section == "list" && line.starts_with("texts ")) {
      owner = Field(line, "owner");
      title = Field(line, "title");
    } else if (section == "p1" && line.starts_with("folder ")) {
      folderOf1 = line.substr(7);  // the album folder as the picture list named it
    } else if (section == "p1" && line.starts_with("picture ")) {
      files.push_back(Field(line, "file"));
    }
    if (line.starts_with("picture ")) {
      // The address line, its fallback after an escaped "\r\n".
      std::string addresses = Field(line, "line");
      const size_t cut = addresses.find("\\r\\n");
      pictureUrls.insert(addresses.substr(0, cut));
      if (cut != std::string::npos) pictureUrls.insert(addresses.substr(cut + 4));
    }
  }

  testweb::ScratchDir scratch("cli-case");
  TestWeb web;
  const CaseWeb served(web, folder, pictureUrls, false);
  const std::string key = folder.parent_path().filename().string();
  const std::vector<std::string> common = {"--home",
                                           (scratch.Dir() / "home").string(),
                                           "--proxy",
                                           web.ProxyUrl(),
                                           "--site",
                                           key,
                                           yes ? "--yes" : "--no"};
  std::vector<std::string> args = {"list"};
  args.insert(args.end(), common.begin(), common.end());
  args.push_back(address);
  const CliRun list = RunCli(args, scratch.Dir());
  std::vector<std::string> shown;
  for (const std::string& line : testweb::Lines(list.out)) {
    const std::vector<std::string> columns = [&line] {
      std::vector<std::string> parts;
      std::stringstream in(line);
      for (std::string part; std::getline(in, part, '\t');) parts.push_back(part);
      return parts;
    }();
    if (columns.size() >= 2) shown.push_back(columns[1]);
  }
  EXPECT_EQ(shown, names) << list.out;
  if (names.empty() || files.empty()) return;

  // Equal file names in the transcript are numbered on disk as in a download.
  const fs::path save = scratch.Dir() / "save";
  args = {"download"};
  args.insert(args.end(), common.begin(), common.end());
  args.insert(args.end(), {"--save", save.string(), "--albums", "1", address});
  const CliRun download = RunCli(args, scratch.Dir());
  const fs::path written = save / owner / title / folderOf1;
  std::vector<std::string> landed;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(written, error)) {
    const std::string name = entry.path().filename().string();
    if (name == "pic.zrk" || name.ends_with(".txt")) continue;
    std::string masked = name;
    for (const auto& [pattern, replacement] : masks) {
      masked = std::regex_replace(masked, pattern, replacement);
    }
    landed.push_back(masked);
  }
  if (ownNaming) {
    EXPECT_EQ(landed.size(), files.size()) << written << "\n" << download.out;
    return;
  }
  std::sort(landed.begin(), landed.end());
  std::sort(files.begin(), files.end());
  EXPECT_EQ(landed, files) << written << "\n" << download.out;
}

INSTANTIATE_TEST_SUITE_P(Cases, SiteCase, ::testing::ValuesIn(CaseFolders()),
                         [](const auto& info) { return CaseName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SiteCase);

}  // namespace
}  // namespace albumora
