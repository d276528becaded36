// SPDX-License-Identifier: GPL-3.0-or-later
// The download job over a fake picture list: albums without pictures, the Thunder-only branch,
// a stop between albums, the early ends, the marker and the skip rule across two runs.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "DownloadTestSupport.h"
#include "TestWeb.h"
#include "app/Commands.h"
#include "download/DownloadJob.h"
#include "download/Naming.h"
#include "download/Workers.h"
#include "net/HttpEngine.h"
#include "sites/Fetch.h"
#include "sites/Registry.h"

using namespace albumora;
using albumora::dltest::Exists;
using albumora::dltest::FolderNames;
using albumora::dltest::ReadBytes;
using albumora::dltest::ScratchDir;
using albumora::dltest::TestApp;
using albumora::dltest::Utf16Ascii;
using albumora::dltest::WriteBytes;
using albumora::testweb::Reply;
using albumora::testweb::TestWeb;

namespace {

// What the fake picture-list adapter hands over, per album index.
std::map<int, std::vector<std::string>> gPictures;
std::mutex gCallsMutex;  // albums are listed on threads of their own
std::vector<int> gCalls;
int gStopAtAlbum = -1;  // the album during whose listing the user presses stop
AppState* gApp = nullptr;
const Adapters* gAdapters = nullptr;

void FakePictureList(PictureContext& pictures) {
  const int albumIndex = pictures.Album().nIndex;
  std::vector<std::string> addresses;
  {
    std::lock_guard lock(gCallsMutex);
    gCalls.push_back(albumIndex);
    if (auto found = gPictures.find(albumIndex); found != gPictures.end())
      addresses = found->second;
  }
  // The button while the job runs, once the album is the one shown (the message waits for
  // that: the list of a later album is read ahead while an earlier one downloads).
  if (albumIndex == gStopAtAlbum) {
    pictures.user().ShowMessage("stop", {});
    DownloadCommand(*gApp, *gAdapters);
  }
  for (const std::string& address : addresses) {
    // "ask:" asks a question and ends the list on No; "page:" reads a list page through the
    // fetch recipe.
    if (address.starts_with("ask:")) {
      if (!pictures.user().AskYesNo(address.substr(4), "提示")) return;
      continue;
    }
    if (address.starts_with("page:")) {
      Fetcher fetcher;
      (void)fetcher.Get(address.substr(5));
      continue;
    }
    if (!pictures.AddPicture(address, {}, {})) return;
  }
}

// The fake picture list in place of every site's, for every list type.
class FakeAdapters : public Adapters {
 public:
  PictureListFn PictureList(int, int) const override { return FakePictureList; }
};

class Job : public ::testing::Test {
 protected:
  void SetUp() override {
    gPictures.clear();
    gCalls.clear();
    gStopAtAlbum = -1;
    gApp = &t.app;
    gAdapters = &adapters;
    SetEngineProxy(web.ProxyUrl());
    web.RoutePrefix("pics.test", "/", [this](const albumora::testweb::Request& request) {
      if (request.path.ends_with(".png")) return Reply::Text("\x89PNG\r\n", "image/png");
      if (request.path.starts_with("/missing")) return Reply::Status(404, "Not Found");
      Reply reply = Reply::Text("\xFF\xD8 picture " + request.path, "image/jpeg");
      if (onPicture) onPicture(request.path, reply);
      return reply;
    });
    t.host.savePath = "  " + dir.Path() + "  ";
    t.app.strOwner = std::string("10001") + kPathSep;
    t.app.Rule().byNameMode = 1;
    Pool().retryPauseSec = 0;
  }
  void TearDown() override {
    Pool().retryPauseSec = 1;
    SetEngineProxy("");
    Pool().stop = false;
  }
  std::string JobFolder() const { return dir.Folder() + "10001" + kPathSep; }
  std::string AlbumFolder(const std::string& name) const { return JobFolder() + name + kPathSep; }

  TestWeb web;
  ScratchDir dir;
  TestApp t;
  FakeAdapters adapters;
  // Sees (and may change) each picture answer before it goes, on the test web's thread.
  std::function<void(const std::string& path, Reply& reply)> onPicture;
};

TEST_F(Job, AnAlbumWithoutPicturesGetsNoFolder) {
  t.AddAlbum("Empty", -1);
  t.AddAlbum("Lake");
  gPictures[1] = {"http://pics.test/1.jpg\r\nhttp://pics.test/b/1.jpg", "http://pics.test/2.jpg"};
  t.app.Rule().wOptions = OPT_OPEN_DIR;
  t.ShowAndSelect({0, 1});
  RunDownloadJob(t.app, adapters);

  // The lists are read side by side, so the adapter calls come in any order.
  std::sort(gCalls.begin(), gCalls.end());
  EXPECT_EQ(gCalls, (std::vector<int>{0, 1}));
  EXPECT_EQ(t.app.albumList.nTicked, 2);
  EXPECT_EQ(FolderNames(JobFolder()), (std::vector<std::string>{"Lake"}));
  EXPECT_EQ(FolderNames(AlbumFolder("Lake")),
            (std::vector<std::string>{"1.jpg", "2.jpg", "pic.zrk"}));
  EXPECT_EQ(ReadBytes(AlbumFolder("Lake") + "2.jpg"), "\xFF\xD8 picture /2.jpg");
  EXPECT_EQ(ReadBytes(AlbumFolder("Lake") + "pic.zrk"), Utf16Ascii("http://pics.test/1.jpg"));

  EXPECT_TRUE(t.host.messages.empty());
  EXPECT_EQ(t.host.downloadForms, (std::vector<bool>{true, false}));
  EXPECT_EQ(t.host.LastStatus(StatusLine::Main), "下载完毕：写入 2/2");
  EXPECT_EQ(t.host.LastStatus(StatusLine::Progress), "");
  EXPECT_EQ(t.app.nDownState.load(), DOWN_IDLE);
  EXPECT_EQ(t.host.openedFolders, (std::vector<std::string>{AlbumFolder("Lake")}));
  bool sawSecond = false;
  for (const auto& [line, text] : t.host.statuses) {
    sawSecond = sawSecond || (line == StatusLine::Main && text == "正在下载第2/2个图集");
  }
  EXPECT_TRUE(sawSecond);
}

TEST_F(Job, ReportsEveryAlbumItProcessed) {
  t.AddAlbum("Empty");
  t.AddAlbum("Lake");
  gPictures[1] = {"http://pics.test/1.jpg", "http://pics.test/missing.jpg\r\n"};
  t.ShowAndSelect({0, 1});
  std::vector<AlbumReport> reports;
  RunDownloadJob(t.app, adapters,
                 [&reports](const AlbumReport& album) { reports.push_back(album); });
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].listed, 0u);
  EXPECT_EQ(reports[0].folder, "");
  EXPECT_EQ(reports[1].position, 2);
  EXPECT_EQ(reports[1].albumIndex, 1);
  EXPECT_EQ(reports[1].listed, 2u);
  EXPECT_EQ(reports[1].written, 1);
  EXPECT_EQ(reports[1].folder, AlbumFolder("Lake"));
}

TEST_F(Job, ThunderOnlyWritesListsAndFetchesNothing) {
  t.AddAlbum("A");
  t.AddAlbum("B");
  gPictures[0] = {"http://pics.test/a1.jpg"};
  gPictures[1] = {"http://pics.test/b1.jpg\r\nhttp://pics.test/b/b1.jpg"};
  t.app.Rule().wOptions = OPT_THUNDER_ONLY | OPT_OPEN_DIR;
  t.ShowAndSelect({0, 1});
  RunDownloadJob(t.app, adapters);

  EXPECT_TRUE(web.Requests().empty());
  EXPECT_EQ(FolderNames(AlbumFolder("A")), (std::vector<std::string>{"A.lst"}));
  EXPECT_EQ(ReadBytes(AlbumFolder("B") + "B.lst"),
            "http://pics.test/b1.jpg\r\nhttp://pics.test/b/b1.jpg\r\n");
  EXPECT_EQ(t.host.openedFolders.size(), 1u) << "the lists count as pictures handled";
}

TEST_F(Job, StopDuringTheSecondAlbumEndsTheJob) {
  for (const char* name : {"A", "B", "C"}) t.AddAlbum(name);
  gPictures[0] = {"http://pics.test/a.jpg"};
  gPictures[1] = {"http://pics.test/b.jpg"};
  gPictures[2] = {"http://pics.test/c.jpg"};
  gStopAtAlbum = 1;
  t.app.Rule().wOptions = OPT_OPEN_DIR;
  t.ShowAndSelect({0, 1, 2});
  RunDownloadJob(t.app, adapters);

  EXPECT_EQ(web.RequestsTo("/b.jpg").size(), 0u);
  EXPECT_EQ(web.RequestsTo("/c.jpg").size(), 0u);
  EXPECT_TRUE(Exists(AlbumFolder("A") + "pic.zrk"));
  EXPECT_FALSE(Exists(AlbumFolder("B") + "pic.zrk"));
  EXPECT_FALSE(Exists(AlbumFolder("C")));
  EXPECT_EQ(t.host.LastStatus(StatusLine::Main), "下载已停止：写入 1/2");
  EXPECT_EQ(t.app.nDownState.load(), DOWN_IDLE);
}

// A window whose user presses stop the moment the job shows its downloading form.
struct StopOnBusyHost : albumora::testweb::FakeHost {
  AppState* app = nullptr;
  const Adapters* adapters = nullptr;
  void SetDownloadBusy(bool busy) override {
    FakeHost::SetDownloadBusy(busy);
    if (busy && app != nullptr) DownloadCommand(*app, *adapters);
  }
};

TEST_F(Job, StopPressedAsTheJobStartsIsKept) {
  StopOnBusyHost host;
  AppState app{host};
  host.app = &app;
  host.adapters = &adapters;
  host.savePath = dir.Path();
  app.strOwner = t.app.strOwner;
  auto entry = std::make_unique<ST_PERLISTRECORD>();
  entry->strName = "A";
  app.albumList.Append(std::move(entry));
  app.grid.Reset(false);
  const int row = app.grid.AppendRow();
  app.grid.SetCell(row, 0, GridCell{"1", 0});
  app.grid.SelectRow(row, true);
  gPictures[0] = {"http://pics.test/a.jpg"};

  app.nDownState = DOWN_RUNNING;  // as the command leaves it for the job
  RunDownloadJob(app, adapters);
  EXPECT_TRUE(gCalls.empty()) << "the stop was overwritten by the job's start";
  EXPECT_TRUE(web.Requests().empty());
  EXPECT_EQ(host.LastStatus(StatusLine::Main), "下载已停止");
  EXPECT_EQ(app.nDownState.load(), DOWN_IDLE);
}

TEST_F(Job, EarlyEnds) {
  t.AddAlbum("A");
  t.ShowAndSelect({0});

  t.host.savePath = "   ";
  RunDownloadJob(t.app, adapters);
  EXPECT_EQ(t.host.messages, (std::vector<std::string>{"请先设置保存路径"}));
  EXPECT_TRUE(t.host.downloadForms.empty());

  t.host.messages.clear();
  WriteBytes(dir.Folder() + "file", "x");
  t.host.savePath = dir.Folder() + "file";
  t.app.strOwner = "sub";
  RunDownloadJob(t.app, adapters);
  ASSERT_EQ(t.host.messages.size(), 2u);
  EXPECT_EQ(t.host.messages[1], "请检测设置的保存路径是否有误");
  EXPECT_TRUE(t.host.downloadForms.empty());
  EXPECT_EQ(t.app.nDownState.load(), DOWN_IDLE);
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(Job, NothingSelectedAndUnknownSite) {
  t.AddAlbum("A");
  t.ShowAndSelect({});
  RunDownloadJob(t.app, adapters);
  EXPECT_EQ(t.host.messages, (std::vector<std::string>{"请先勾选要下载的相册"}));
  EXPECT_EQ(t.host.LastStatus(StatusLine::Main), "下载完毕：没有可下载的图片");

  t.host.messages.clear();
  t.ShowAndSelect({0});
  t.app.nSite = 20;
  RunDownloadJob(t.app, adapters);
  EXPECT_EQ(t.host.messages, (std::vector<std::string>{"Error ListType Code."}));
  EXPECT_TRUE(gCalls.empty());
}

TEST_F(Job, SecondRunWithSkipOldFetchesOnlyNewPictures) {
  t.AddAlbum("A");
  gPictures[0] = {"http://pics.test/2.jpg\r\nhttp://pics.test/b/2.jpg",
                  "http://pics.test/1.jpg\r\nhttp://pics.test/b/1.jpg"};
  t.app.Rule().wOptions = OPT_SKIP_OLD;
  t.ShowAndSelect({0});
  RunDownloadJob(t.app, adapters);
  EXPECT_EQ(web.Requests().size(), 2u);

  web.ClearRequests();
  RunDownloadJob(t.app, adapters);
  EXPECT_TRUE(web.Requests().empty()) << "the first picture is the marker's";

  web.ClearRequests();
  gPictures[0].insert(gPictures[0].begin(), "http://pics.test/3.jpg\r\nhttp://pics.test/b/3.jpg");
  RunDownloadJob(t.app, adapters);
  EXPECT_EQ(web.Requests().size(), 1u);
  EXPECT_EQ(ReadBytes(AlbumFolder("A") + "pic.zrk"), Utf16Ascii("http://pics.test/3.jpg"));
}

TEST_F(Job, AFailedPictureLeavesNoMarkerSoTheNextRunFetchesItAgain) {
  t.AddAlbum("A");
  gPictures[0] = {"http://pics.test/2.jpg", "http://pics.test/missing/1.jpg"};
  t.app.Rule().wOptions = OPT_SKIP_OLD;
  t.ShowAndSelect({0});
  RunDownloadJob(t.app, adapters);
  EXPECT_FALSE(Exists(AlbumFolder("A") + "pic.zrk"));

  web.ClearRequests();
  gPictures[0][1] = "http://pics.test/1.jpg";  // the site answers again
  RunDownloadJob(t.app, adapters);
  EXPECT_EQ(web.Requests().size(), 2u) << "nothing was skipped";
  EXPECT_EQ(ReadBytes(AlbumFolder("A") + "pic.zrk"), Utf16Ascii("http://pics.test/2.jpg"));
}

TEST_F(Job, FormatRepairAfterThePool) {
  t.AddAlbum("A");
  gPictures[0] = {"http://pics.test/p.png"};
  t.app.Rule().wOptions = OPT_FIX_FORMAT;
  t.ShowAndSelect({0});
  RunDownloadJob(t.app, adapters);
  EXPECT_EQ(FolderNames(AlbumFolder("A")), (std::vector<std::string>{"1.png", "pic.zrk"}));
}

TEST_F(Job, CommandStartsTheJobOnItsOwnThread) {
  t.AddAlbum("A");
  gPictures[0] = {"http://pics.test/a.jpg"};
  t.ShowAndSelect({0});
  DownloadCommand(t.app, adapters);
  // Waits for the job's end (no time is asserted; the bound only keeps a fault from hanging).
  for (int i = 0; i < 1000 && !t.host.LastStatus(StatusLine::Main).starts_with("下载完毕"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  while (t.app.nDownState.load() != DOWN_IDLE) std::this_thread::yield();
  EXPECT_TRUE(Exists(AlbumFolder("A") + "1.jpg"));
}

}  // namespace

// Each album ends with one outcome, and the job's end says what went wrong.
TEST_F(Job, EveryAlbumHasAnOutcome) {
  const dltest::ShortBackoff backoff;
  web.Route("pages.test", "/500", Reply::Status(500, "Internal Server Error"));
  Reply cut = Reply::Text(std::string(4000, 'x'));
  cut.encoding = Reply::Encoding::GzipWithHeader;
  cut.contentLength = 5000;  // the connection closes after a shorter body
  web.Route("pages.test", "/cut", cut);
  web.Route("pages.test", "/ok", Reply::Text("fine"));
  const struct {
    std::vector<std::string> list;
    AlbumOutcome outcome;
    int written;
    int failed;
  } albums[] = {
      {{"http://pics.test/a.jpg", "page:http://pages.test/ok"}, AlbumOutcome::Complete, 1, 0},
      {{"http://pics.test/b.jpg", "http://pics.test/missing.jpg"}, AlbumOutcome::Partial, 1, 1},
      {{"http://pics.test/c.jpg", "page:http://pages.test/500"}, AlbumOutcome::ListFailed, 1, 0},
      {{"page:http://pages.test/cut"}, AlbumOutcome::ListFailed, 0, 0},
      {{"ask:加密相册,是否输入密码", "http://pics.test/d.jpg"}, AlbumOutcome::Refused, 0, 0},
      {{}, AlbumOutcome::Complete, 0, 0},  // the site counts 0: nothing is missing
  };
  std::vector<int> selected;
  for (size_t i = 0; i < std::size(albums); ++i) {
    gPictures[t.AddAlbum("A" + std::to_string(i))] = albums[i].list;
    selected.push_back(static_cast<int>(i));
  }
  t.ShowAndSelect(selected);
  std::vector<AlbumReport> reports;
  DownloadJobOptions options;
  options.report = [&reports](const AlbumReport& album) { reports.push_back(album); };
  RunDownloadJob(t.app, adapters, options);

  ASSERT_EQ(reports.size(), std::size(albums));
  for (size_t i = 0; i < std::size(albums); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(OutcomeName(reports[i].outcome), std::string(OutcomeName(albums[i].outcome)));
    EXPECT_EQ(reports[i].written, albums[i].written);
    EXPECT_EQ(reports[i].failed, albums[i].failed);
  }
  ASSERT_EQ(reports[1].failures.size(), 1u);
  EXPECT_EQ(reports[1].failures[0].address, "http://pics.test/missing.jpg");
  EXPECT_EQ(reports[1].failures[0].file, AlbumFolder("A1") + "2.jpg");
  EXPECT_NE(reports[1].failures[0].reason.find("404"), std::string::npos);
  EXPECT_NE(reports[2].pageFailures.at(0).find("HTTP 500"), std::string::npos);
  EXPECT_EQ(reports[3].pageFailures.size(), 1u);
  EXPECT_EQ(t.host.LastStatus(StatusLine::Main),
            "下载完毕：写入 3/4，失败 1，2个图集列表获取失败，图集“A4”需要验证");
}

// A rerun fetches only what is missing; a file that is not the picture's keeps its bytes; with
// force every picture is fetched again into its own file.
TEST_F(Job, RerunsFinishTheJobAndOverwriteNothing) {
  std::string error;
  const std::unique_ptr<Archive> archive = Archive::Open(dir.Folder() + "archive.db", error);
  ASSERT_TRUE(archive) << error;
  bool thirdFails = true;
  // The 503 is a refusal: no retry, so the failure comes at once.
  const EngineLimits before = GetEngineLimits();
  EngineLimits noRetry = before;
  noRetry.retries = 0;
  SetEngineLimits(noRetry);
  struct Restore {
    EngineLimits limits;
    ~Restore() { SetEngineLimits(limits); }
  } restore{before};
  web.RoutePrefix("flaky.test", "/", [&thirdFails](const albumora::testweb::Request& request) {
    if (thirdFails && request.path == "/3.jpg") return Reply::Status(503, "Busy");
    return Reply::Text("\xFF\xD8 flaky " + request.path, "image/jpeg");
  });
  t.AddAlbum("Lake");
  gPictures[0] = {"http://flaky.test/1.jpg", "http://flaky.test/2.jpg", "http://flaky.test/3.jpg"};
  std::filesystem::create_directories(AlbumFolder("Lake"));
  WriteBytes(AlbumFolder("Lake") + "1.jpg", "someone else's");

  auto run = [&](bool force) {
    t.ShowAndSelect({0});
    web.ClearRequests();
    AlbumReport report;
    DownloadJobOptions options;
    options.report = [&report](const AlbumReport& album) { report = album; };
    options.archive = archive.get();
    options.force = force;
    RunDownloadJob(t.app, adapters, options);
    return std::make_pair(report, web.RequestsTo("flaky.test").size());
  };
  auto [first, requests] = run(false);
  EXPECT_EQ(first.outcome, AlbumOutcome::Partial);
  EXPECT_EQ(requests, 3u);
  EXPECT_EQ(ReadBytes(AlbumFolder("Lake") + "1.jpg"), "someone else's");
  EXPECT_EQ(ReadBytes(AlbumFolder("Lake") + "1 (1).jpg"), "\xFF\xD8 flaky /1.jpg");
  EXPECT_FALSE(Exists(AlbumFolder("Lake") + "pic.zrk"));

  thirdFails = false;
  auto [second, rerunRequests] = run(false);
  EXPECT_EQ(second.outcome, AlbumOutcome::Complete);
  EXPECT_EQ(second.already, 2);
  EXPECT_EQ(second.written, 1);
  EXPECT_EQ(rerunRequests, 1u) << "only the failed picture";
  EXPECT_TRUE(Exists(AlbumFolder("Lake") + "pic.zrk"));

  std::filesystem::remove(AlbumFolder("Lake") + "2.jpg");
  auto [third, missingRequests] = run(false);
  EXPECT_EQ(third.written, 1);
  EXPECT_EQ(missingRequests, 1u) << "only the missing picture";

  auto [again, noRequests] = run(false);
  EXPECT_EQ(again.already, 3);
  EXPECT_EQ(noRequests, 0u) << "a finished album asks for no picture";

  auto [forced, allRequests] = run(true);
  EXPECT_EQ(forced.written, 3);
  EXPECT_EQ(allRequests, 3u);
  EXPECT_EQ(FolderNames(AlbumFolder("Lake")),
            (std::vector<std::string>{"1 (1).jpg", "1.jpg", "2.jpg", "3.jpg", "pic.zrk"}));
  EXPECT_EQ(ReadBytes(AlbumFolder("Lake") + "1.jpg"), "someone else's");
}

// Without any record, a file at the picture's name that holds the very bytes fetched is the
// picture's own (a run killed before it could record it): no second copy is kept. A file with
// other bytes stays beside the picture.
TEST_F(Job, AFileWithThePicturesBytesIsItsOwn) {
  t.AddAlbum("Lake");
  gPictures[0] = {"http://pics.test/1.jpg", "http://pics.test/2.jpg"};
  std::filesystem::create_directories(AlbumFolder("Lake"));
  WriteBytes(AlbumFolder("Lake") + "1.jpg", "\xFF\xD8 picture /1.jpg");
  WriteBytes(AlbumFolder("Lake") + "2.jpg", "\xFF\xD8 another picture");
  t.ShowAndSelect({0});
  RunDownloadJob(t.app, adapters);
  EXPECT_EQ(FolderNames(AlbumFolder("Lake")),
            (std::vector<std::string>{"1.jpg", "2 (1).jpg", "2.jpg", "pic.zrk"}));
  EXPECT_EQ(ReadBytes(AlbumFolder("Lake") + "2.jpg"), "\xFF\xD8 another picture");
}

// Albums that share one folder (no album folders, names by number) keep every file.
TEST_F(Job, AlbumsSharingAFolderKeepEveryPicture) {
  t.app.Rule().byDirMode = 1;
  t.AddAlbum("A");
  t.AddAlbum("B");
  gPictures[0] = {"http://pics.test/a1.jpg", "http://pics.test/a2.jpg"};
  gPictures[1] = {"http://pics.test/b1.jpg", "http://pics.test/b2.jpg"};
  t.ShowAndSelect({0, 1});
  RunDownloadJob(t.app, adapters);
  EXPECT_EQ(FolderNames(JobFolder()),
            (std::vector<std::string>{"1 (1).jpg", "1.jpg", "2 (1).jpg", "2.jpg", "pic.zrk"}));
  EXPECT_EQ(ReadBytes(JobFolder() + "1 (1).jpg"), "\xFF\xD8 picture /b1.jpg");
  // The shared marker holds the last album's first picture.
  EXPECT_EQ(ReadBytes(JobFolder() + "pic.zrk"), Utf16Ascii("http://pics.test/b1.jpg"));
}

// Albums are read ahead and their pictures fetched while an earlier album finishes, yet
// everything a user sees keeps album order: the status texts, a question (asked once its album
// is shown, after the album before it is done), the skip rule's halt (its album only), the
// markers (each once its own album's last picture landed) and the reports.
TEST_F(Job, AlbumsReadAheadKeepTheirOrder) {
  for (const char* name : {"A", "B", "C", "D"}) t.AddAlbum(name);
  gPictures[0] = {"http://pics.test/a1.jpg", "http://pics.test/slow/a2.jpg"};
  gPictures[1] = {"http://pics.test/b1.jpg", "http://pics.test/b2.jpg", "http://pics.test/b3.jpg"};
  gPictures[2] = {"ask:继续下载C？", "http://pics.test/c1.jpg"};
  gPictures[3] = {"http://pics.test/d1.jpg"};
  t.app.Rule().wOptions = OPT_SKIP_OLD;
  std::filesystem::create_directories(AlbumFolder("B"));
  WriteMarker("http://pics.test/b2.jpg", AlbumFolder("B"));

  // A's second picture stalls; B's first is served meanwhile, before A's marker can be there.
  std::atomic<bool> markerAWhileBServed{true};
  onPicture = [&](const std::string& path, Reply& reply) {
    if (path.starts_with("/slow/")) reply.stallMs = 400;
    if (path == "/b1.jpg") markerAWhileBServed = Exists(AlbumFolder("A") + "pic.zrk");
  };
  std::vector<std::string> mainAtQuestion;
  bool markerBAtQuestion = false;
  t.host.answers = {true};
  t.host.onQuestion = [&](const std::string&) {
    for (const auto& [line, text] : t.host.statuses) {
      if (line == StatusLine::Main) mainAtQuestion.push_back(text);
    }
    markerBAtQuestion = Exists(AlbumFolder("B") + "pic.zrk") && Exists(AlbumFolder("B") + "1.jpg");
  };
  t.ShowAndSelect({0, 1, 2, 3});
  std::vector<AlbumReport> reports;
  RunDownloadJob(t.app, adapters, [&](const AlbumReport& album) { reports.push_back(album); });

  EXPECT_FALSE(markerAWhileBServed) << "B was not fetched while A's last picture was in flight";
  EXPECT_EQ(mainAtQuestion, (std::vector<std::string>{"正在下载第1/4个图集", "正在下载第2/4个图集",
                                                      "正在下载第3/4个图集"}));
  EXPECT_TRUE(markerBAtQuestion);
  EXPECT_EQ(t.host.questions, std::vector<std::string>{"继续下载C？"});
  EXPECT_TRUE(web.RequestsTo("/b2.jpg").empty());
  EXPECT_TRUE(web.RequestsTo("/b3.jpg").empty()) << "the skip rule ends B's list only";
  ASSERT_EQ(reports.size(), 4u);
  const size_t listed[] = {2, 1, 1, 1};
  for (size_t i = 0; i < reports.size(); ++i) {
    EXPECT_EQ(reports[i].position, static_cast<int>(i + 1));
    EXPECT_EQ(reports[i].listed, listed[i]) << i;
    EXPECT_EQ(reports[i].outcome, AlbumOutcome::Complete) << i;
  }
  EXPECT_TRUE(reports[1].upToDate);
  EXPECT_FALSE(reports[2].upToDate);
  for (const char* name : {"A", "C", "D"}) EXPECT_TRUE(Exists(AlbumFolder(name) + "pic.zrk"));
  EXPECT_EQ(ReadBytes(AlbumFolder("A") + "pic.zrk"), Utf16Ascii("http://pics.test/a1.jpg"));
  EXPECT_EQ(ReadBytes(AlbumFolder("B") + "pic.zrk"), Utf16Ascii("http://pics.test/b1.jpg"));
  EXPECT_EQ(t.host.LastStatus(StatusLine::Main), "下载完毕：写入 5/5");
}

// A stop while later albums are read ahead: what was in flight is cut, nothing is fetched or
// named after it, an unfinished album gets no marker, and every album begun is told.
TEST_F(Job, StopWhileAlbumsAreReadAhead) {
  for (const char* name : {"A", "B", "C"}) t.AddAlbum(name);
  gPictures[0] = {"http://pics.test/a1.jpg", "http://pics.test/slow/a2.jpg"};
  gPictures[1] = {"http://pics.test/b1.jpg", "http://pics.test/b2.jpg"};
  gPictures[2] = {"page:http://pages.test/stop", "http://pics.test/c1.jpg"};
  onPicture = [](const std::string& path, Reply& reply) {
    if (path.starts_with("/slow/")) reply.stallMs = 5000;
  };
  // C's list page: the user presses stop once B's pictures landed, A's last still in flight.
  web.Route("pages.test", "/stop", [&](const albumora::testweb::Request&) {
    for (int i = 0; i < 500 && !Exists(AlbumFolder("B") + "2.jpg"); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    DownloadCommand(t.app, adapters);
    return Reply::Text("page");
  });
  t.ShowAndSelect({0, 1, 2});
  std::vector<AlbumReport> reports;
  RunDownloadJob(t.app, adapters, [&](const AlbumReport& album) { reports.push_back(album); });

  EXPECT_TRUE(web.RequestsTo("/c1.jpg").empty());
  EXPECT_FALSE(Exists(AlbumFolder("A") + "pic.zrk"));
  EXPECT_FALSE(Exists(AlbumFolder("A") + "2.jpg")) << "the picture cut short leaves no file";
  EXPECT_TRUE(Exists(AlbumFolder("B") + "pic.zrk")) << "B's pictures all landed before the stop";
  EXPECT_FALSE(Exists(AlbumFolder("C")));
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0].outcome, AlbumOutcome::Stopped);
  EXPECT_EQ(reports[0].stopped, 1);
  EXPECT_EQ(reports[1].outcome, AlbumOutcome::Complete);
  EXPECT_EQ(reports[1].written, 2);
  EXPECT_EQ(reports[2].outcome, AlbumOutcome::Stopped);
  EXPECT_EQ(reports[2].listed, 0u);
  EXPECT_EQ(t.host.LastStatus(StatusLine::Main), "下载已停止：写入 3/4");
  EXPECT_EQ(t.app.nDownState.load(), DOWN_IDLE);
}
