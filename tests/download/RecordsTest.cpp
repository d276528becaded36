// SPDX-License-Identifier: GPL-3.0-or-later
// What the job records and keeps: the archive by real paths, copies found by their bytes, the
// failure named per address, the empty-album pair, the order repair's times and the resume of
// a cut picture.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <map>
#include <mutex>

#include "DownloadTestSupport.h"
#include "TestWeb.h"
#include "archive/Archive.h"
#include "download/DownloadJob.h"
#include "download/Workers.h"
#include "model/Settings.h"
#include "net/HttpEngine.h"
#include "sites/Registry.h"

using namespace albumora;
using albumora::dltest::FolderNames;
using albumora::dltest::ReadBytes;
using albumora::dltest::ScratchDir;
using albumora::dltest::TestApp;
using albumora::testweb::Reply;
using albumora::testweb::Request;
using albumora::testweb::TestWeb;
namespace fs = std::filesystem;

namespace {

// Per album index: "address|description" lines.
std::map<int, std::vector<std::string>> gLists;
std::mutex gListsMutex;

void ListedPictures(PictureContext& pictures) {
  std::vector<std::string> lines;
  {
    std::lock_guard lock(gListsMutex);
    lines = gLists[pictures.Album().nIndex];
  }
  for (const std::string& line : lines) {
    const size_t bar = line.find('|');
    if (!pictures.AddPicture(line.substr(0, bar),
                             bar == std::string::npos ? "" : line.substr(bar + 1), {}))
      return;
  }
}

class ListedAdapters : public Adapters {
 public:
  PictureListFn PictureList(int, int) const override { return ListedPictures; }
};

class Records : public ::testing::Test {
 protected:
  void SetUp() override {
    gLists.clear();
    SetEngineProxy(web.ProxyUrl());
    web.RoutePrefix("pics.test", "/", [](const Request& request) {
      if (request.path.starts_with("/missing")) return Reply::Status(404, "Not Found");
      if (request.path.ends_with(".png"))
        return Reply::Text("\x89PNG\r\n" + request.path, "image/png");
      return Reply::Text("\xFF\xD8 picture " + request.path, "image/jpeg");
    });
    t.host.savePath = dir.Path();
    t.app.strOwner = std::string("10001") + kPathSep;
    t.app.Rule().byNameMode = 1;  // named by number
    Pool().retryPauseSec = 0;
  }
  void TearDown() override {
    Pool().retryPauseSec = 1;
    SetEngineProxy("");
    Pool().stop = false;
  }
  std::vector<AlbumReport> Run(Archive* archive, const std::vector<int>& albums = {0}) {
    t.ShowAndSelect(albums);
    std::vector<AlbumReport> reports;
    DownloadJobOptions options;
    options.archive = archive;
    options.report = [&reports](const AlbumReport& album) { reports.push_back(album); };
    RunDownloadJob(t.app, adapters, options);
    return reports;
  }
  std::unique_ptr<Archive> OpenArchive() {
    std::string error;
    auto archive = Archive::Open(dir.Folder() + "archive.db", error);
    EXPECT_TRUE(archive) << error;
    return archive;
  }
  std::string Album(const std::string& name) const {
    return fs::canonical(dir.Path()).string() + "/10001/" + name + "/";
  }

  TestWeb web;
  ScratchDir dir;
  TestApp t;
  ListedAdapters adapters;
};

TEST_F(Records, TheSameFolderHoweverSpelledIsFetchedOnce) {
  t.AddAlbum("Lake");
  gLists[0] = {"http://pics.test/1.jpg", "http://pics.test/2.jpg"};
  auto archive = OpenArchive();
  // The scratch folder by its absolute path, relative to the current folder, and through a
  // symbolic link.
  const fs::path link =
      fs::path(dir.Path()).parent_path() / ("link-" + fs::path(dir.Path()).filename().string());
  fs::create_directory_symlink(dir.Path(), link);
  const std::string spellings[] = {dir.Path(), fs::relative(dir.Path()).string(), link.string()};
  for (size_t i = 0; i < std::size(spellings); ++i) {
    SCOPED_TRACE(spellings[i]);
    t.host.savePath = spellings[i];
    const auto reports = Run(archive.get());
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0].written, i == 0 ? 2 : 0);
    EXPECT_EQ(reports[0].already, i == 0 ? 0 : 2);
    EXPECT_EQ(reports[0].folder, Album("Lake"));
  }
  EXPECT_EQ(web.RequestsTo("pics.test").size(), 2u);
  // Every run left a row per picture: written once, then "already there" with its source.
  const auto rows = archive->RunOf("qzone", "album=Lake");
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].outcome, PictureOutcome::Already);
  EXPECT_EQ(rows[0].path, Album("Lake") + "1.jpg");
  EXPECT_EQ(rows[0].albumName, "Lake");
  EXPECT_EQ(rows[0].owner, "10001/");
  fs::remove(link);
}

TEST_F(Records, WithoutAnArchiveACopyFoundByItsBytesIsThePictures) {
  t.AddAlbum("Sea");
  t.app.Rule().byNameMode = 0;  // named by description: both pictures are "海边"
  gLists[0] = {"http://pics.test/a.jpg|海边", "http://pics.test/b.jpg|海边"};
  for (int run = 0; run < 3; ++run) Run(nullptr);
  EXPECT_EQ(FolderNames(Album("Sea")),
            (std::vector<std::string>{"pic.zrk", "海边 (1).jpg", "海边.jpg"}));
  EXPECT_EQ(ReadBytes(Album("Sea") + "海边 (1).jpg"), "\xFF\xD8 picture /b.jpg");
}

TEST_F(Records, FailuresAreNamedPerAddressAndEmptyAlbumsByTheSitesCount) {
  // The first address is too slow, its fallback answers 404.
  const EngineLimits before = GetEngineLimits();
  EngineLimits slow = before;
  slow.lowSpeedBytes = 1000000;
  slow.lowSpeedSeconds = 1;
  SetEngineLimits(slow);
  Reply trickle = Reply::Text(std::string(4000, 'x'), "image/jpeg");
  trickle.trickleBytes = 10;
  trickle.trickleDelayMs = 200;
  web.Route("slow.test", "/big.jpg", trickle);
  t.AddAlbum("Chain");
  t.AddAlbum("Counted none", 0);
  t.AddAlbum("Counted seven", 7);
  gLists[0] = {"http://slow.test/big.jpg\r\nhttp://pics.test/missing.jpg"};
  auto archive = OpenArchive();
  const auto reports = Run(archive.get(), {0, 1, 2});
  SetEngineLimits(before);

  ASSERT_EQ(reports.size(), 3u);
  ASSERT_EQ(reports[0].failures.size(), 1u);
  const FailedPicture& failed = reports[0].failures[0];
  EXPECT_EQ(failed.lastAddress, "http://pics.test/missing.jpg");
  EXPECT_EQ(failed.kind, FetchFailure::HttpStatus);
  ASSERT_EQ(failed.attempts.size(), 2u);
  EXPECT_EQ(failed.attempts[0].url, "http://slow.test/big.jpg");
  EXPECT_EQ(failed.attempts[0].failure, FetchFailure::TooSlow);
  EXPECT_EQ(failed.attempts[1].failure, FetchFailure::HttpStatus);
  const auto rows = archive->FailedOf("qzone", "album=Chain");
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].url, "http://pics.test/missing.jpg");
  EXPECT_EQ(rows[0].listedUrl, "http://slow.test/big.jpg");
  EXPECT_EQ(rows[0].reason, "HTTP status");
  EXPECT_NE(rows[0].detail.find("404"), std::string::npos) << rows[0].detail;

  EXPECT_EQ(reports[1].outcome, AlbumOutcome::Complete);
  EXPECT_EQ(reports[1].note, "");
  EXPECT_EQ(reports[2].outcome, AlbumOutcome::Empty);
  EXPECT_EQ(reports[2].note, "the site counts 7, none listed: the page may have changed");
}

TEST_F(Records, TheOrderRepairsTimesFollowTheListAfterTheArchiveReadTheFiles) {
  t.AddAlbum("Order");
  t.app.Rule().wOptions = OPT_FIX_FORMAT | OPT_FIX_ORDER;
  gLists[0] = {"http://pics.test/1.jpg", "http://pics.test/2.png", "http://pics.test/3.jpg"};
  auto archive = OpenArchive();
  Run(archive.get());
  const std::string names[] = {"1.jpg", "2.png", "3.jpg"};
  int64_t previous = INT64_MAX;
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    struct stat status {};
    ASSERT_EQ(stat((Album("Order") + name).c_str(), &status), 0);
    EXPECT_EQ(status.st_atim.tv_sec, status.st_mtim.tv_sec);
    EXPECT_LT(status.st_mtim.tv_sec, previous);
    previous = status.st_mtim.tv_sec;
  }
  EXPECT_TRUE(archive->FindWritten("qzone", "album=Order", "http://pics.test/2.png"));
}

// A hand-off to a daemon elsewhere: names ignore the local disk, a rerun hands nothing, --force
// hands all again under the same names.
TEST_F(Records, HandedOverOnceUnlessForced) {
  t.AddAlbum("Remote");
  t.app.Rule().wOptions = OPT_THUNDER_ONLY;
  gLists[0] = {"http://pics.test/1.jpg", "http://pics.test/2.jpg"};
  auto archive = OpenArchive();
  fs::create_directories(Album("Remote"));
  dltest::WriteBytes(Album("Remote") + "1.jpg", "a local file the daemon never sees");
  std::vector<std::vector<std::string>> handed;
  for (const bool force : {false, false, true}) {
    t.ShowAndSelect({0});
    DownloadJobOptions options;
    options.archive = archive.get();
    options.force = force;
    options.handOverRemote = true;
    options.handOverOutcome = PictureOutcome::Queued;
    options.handOver = [&handed](const DownloadList& list, const std::string&) {
      handed.emplace_back();
      std::vector<uint8_t> given(list.size(), 0);
      for (size_t i = 0; i < list.size(); ++i) {
        if (list.arrAlready[i] != 0) continue;
        handed.back().push_back(list.arrName[i]);
        given[i] = 1;
      }
      return given;
    };
    RunDownloadJob(t.app, adapters, options);
  }
  const std::vector<std::string> both = {"1.jpg", "2.jpg"};
  EXPECT_EQ(handed, (std::vector<std::vector<std::string>>{both, {}, both}));
  EXPECT_TRUE(web.RequestsTo("pics.test").empty());
}

// A picture cut at half resumes with a Range request when the server offers ranges and names
// its version; a server that ignores the Range starts it over. Either way the file is whole.
TEST_F(Records, ACutPictureResumesOrStartsOver) {
  const std::string whole = "\xFF\xD8" + std::string(20000, 'r') + "end";
  for (const bool honoursRange : {true, false}) {
    SCOPED_TRACE(honoursRange);
    std::atomic<int> served{0};
    std::vector<std::string> ranges;
    std::mutex mutex;
    const std::string path = honoursRange ? "/ranged.jpg" : "/ignoring.jpg";
    web.Route("big.test", path, [&](const Request& request) {
      {
        std::lock_guard lock(mutex);
        ranges.push_back(request.Header("Range"));
      }
      Reply reply = Reply::Text(whole, "image/jpeg");
      reply.With("Accept-Ranges", "bytes").With("ETag", "\"v1\"");
      const std::string range = request.Header("Range");
      if (honoursRange && range.starts_with("bytes=")) {
        const size_t from = std::stoul(range.substr(6));
        reply.status = 206;
        reply.body = whole.substr(from);
        reply.With("Content-Range", "bytes " + std::to_string(from) + "-" +
                                        std::to_string(whole.size() - 1) + "/" +
                                        std::to_string(whole.size()));
      } else if (++served == 1) {
        reply.contentLength = static_cast<long>(whole.size());
        reply.closeAfterBytes = static_cast<long>(whole.size() / 2);  // cut at half
      }
      return reply;
    });
    const std::string target = dir.Folder() + (honoursRange ? "ranged.jpg" : "ignoring.jpg");
    const PictureTask task{"http://big.test" + path, "", target};
    EXPECT_FALSE(DownloadPicture(task));
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(DownloadPicture(task));
    const std::string landed = ReadBytes(target);
    EXPECT_TRUE(landed == whole) << landed.size() << " bytes of " << whole.size();
    ASSERT_EQ(ranges.size(), 2u);
    EXPECT_EQ(ranges[0], "");
    EXPECT_EQ(ranges[1], "bytes=" + std::to_string(whole.size() / 2) + "-");
  }
  // Nothing but the pictures is left.
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"ignoring.jpg", "ranged.jpg"}));
}

}  // namespace
