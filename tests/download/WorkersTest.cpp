// SPDX-License-Identifier: GPL-3.0-or-later
// The worker pool against the loopback test web: worker count, size limits, the fallback
// address, error answers and a stop in the middle of an album.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "DownloadTestSupport.h"
#include "TestWeb.h"
#include "download/DownloadJob.h"
#include "download/Workers.h"
#include "net/HttpEngine.h"

using namespace albumora;
using albumora::dltest::Exists;
using albumora::dltest::FileSizeLimit;
using albumora::dltest::FolderNames;
using albumora::dltest::ReadBytes;
using albumora::dltest::ScratchDir;
using albumora::dltest::TestApp;
using albumora::testweb::Reply;
using albumora::testweb::Request;
using albumora::testweb::TestWeb;

namespace {

std::string Picture(size_t bytes, char fill = 'p') {
  std::string body(bytes, fill);
  body[0] = static_cast<char>(0xFF);
  body[1] = static_cast<char>(0xD8);
  return body;
}

// GCC 12 at -O3 reports a bogus overlap (-Wrestrict) in the inlined std::string code of a
// literal followed by a temporary string; the buffers never overlap.
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wrestrict"
#endif
std::string NumberedPath(int i) { return "/" + std::to_string(i) + ".jpg"; }
std::string NumberedAddress(int i) { return "http://pics.test" + NumberedPath(i); }
#if defined(__GNUC__) && !defined(__clang__) && __GNUC__ == 12
#pragma GCC diagnostic pop
#endif

Reply PictureReply(std::string body) { return Reply::Text(std::move(body), "image/jpeg"); }

class PoolRun : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEngineProxy(web.ProxyUrl());
    list().strSaveDir = dir.Folder();
    Pool().minKB = 0;
    Pool().maxKB = 0;
    Pool().threads = 5;
    Pool().timeoutSec = 10;
    Pool().stop = false;
    Pool().retryPauseSec = 0;
  }
  void TearDown() override {
    Pool().retryPauseSec = 1;
    SetEngineProxy("");
    Pool().stop = false;
  }
  DownloadList& list() { return list_; }
  void Add(const std::string& line, const std::string& name) {
    list().arrUrl.push_back(line);
    list().arrName.push_back(name);
    list().arrHeader.push_back("Referer: http://pics.test/");
  }

  TestWeb web;
  ScratchDir dir;
  TestApp t;
  DownloadList list_;
};

TEST_F(PoolRun, ThreePicturesWithFiveThreadsStartThreeWorkers) {
  for (int i = 1; i <= 3; ++i) {
    web.Route("pics.test", NumberedPath(i),
              PictureReply(Picture(1000 * i, static_cast<char>('0' + i))));
    Add(NumberedAddress(i), std::to_string(i) + ".jpg");
  }
  DownPicFunc(t.app, list());

  EXPECT_EQ(web.Requests().size(), 3u);
  for (const Request& request : web.Requests()) {
    EXPECT_EQ(request.Header("Referer"), "http://pics.test/");
  }
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"1.jpg", "2.jpg", "3.jpg"}));
  EXPECT_EQ(ReadBytes(dir.Folder() + "2.jpg"), Picture(2000, '2'));
  EXPECT_EQ(Pool().finished.load(), 3);
  EXPECT_FALSE(Pool().running.load());
  EXPECT_EQ(t.host.LastStatus(StatusLine::Progress), "已下载3/3......");
  ASSERT_EQ(t.host.poolEnds.size(), 1u);
  EXPECT_EQ(t.host.poolEnds[0].second, 3);
}

TEST_F(PoolRun, EmptyListStartsNothingAndSendsNoNotice) {
  DownPicFunc(t.app, list());
  EXPECT_TRUE(web.Requests().empty());
  EXPECT_TRUE(t.host.poolEnds.empty());
}

TEST_F(PoolRun, MinimumSizeRefusesSmallPictures) {
  Pool().minKB = 100;
  web.Route("pics.test", "/small.jpg", PictureReply(Picture(50 * 1024)));
  web.Route("pics.test", "/big.jpg", PictureReply(Picture(150 * 1024)));
  Reply chunked = PictureReply(Picture(60 * 1024));
  chunked.chunked = true;  // refused by the received length, no length announced
  web.Route("pics.test", "/chunked.jpg", chunked);
  Add("http://pics.test/small.jpg", "small.jpg");
  Add("http://pics.test/big.jpg", "big.jpg");
  Add("http://pics.test/chunked.jpg", "chunked.jpg");
  DownPicFunc(t.app, list());
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"big.jpg"}));
  EXPECT_EQ(t.host.LastStatus(StatusLine::Progress), "已下载3/3......");
}

TEST_F(PoolRun, MaximumSizeByAnnouncedAndByReceivedLength) {
  Pool().maxKB = 500;
  web.Route("pics.test", "/announced.jpg", PictureReply(Picture(600 * 1024)));
  Reply chunked = PictureReply(Picture(600 * 1024));
  chunked.chunked = true;
  web.Route("pics.test", "/received.jpg", chunked);
  web.Route("pics.test", "/fits.jpg", PictureReply(Picture(400 * 1024)));
  Add("http://pics.test/announced.jpg", "announced.jpg");
  Add("http://pics.test/received.jpg", "received.jpg");
  Add("http://pics.test/fits.jpg", "fits.jpg");
  DownPicFunc(t.app, list());
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"fits.jpg"}));

  Pool().maxKB = 0;  // no upper limit
  list().Clear();
  Add("http://pics.test/announced.jpg", "announced.jpg");
  DownPicFunc(t.app, list());
  EXPECT_TRUE(Exists(dir.Folder() + "announced.jpg"));
}

TEST_F(PoolRun, FallbackAddressWhenTheFirstYieldsNothing) {
  web.Route("pics.test", "/b/1.jpg", PictureReply(Picture(3000, 'b')));
  Add("http://pics.test/full/1.jpg\r\nhttp://pics.test/b/1.jpg", "1.jpg");  // 404 first
  Add("\r\nhttp://pics.test/b/1.jpg", "2.jpg");  // no full address at all
  Pool().threads = 1;
  DownPicFunc(t.app, list());
  EXPECT_EQ(ReadBytes(dir.Folder() + "1.jpg"), Picture(3000, 'b'));
  EXPECT_EQ(ReadBytes(dir.Folder() + "2.jpg"), Picture(3000, 'b'));
  EXPECT_EQ(web.RequestsTo("/full/1.jpg").size(), 1u);
  EXPECT_EQ(web.RequestsTo("/b/1.jpg").size(), 2u);
}

TEST_F(PoolRun, ErrorAnswersWriteNoFile) {
  const dltest::ShortBackoff backoff;
  web.Route("pics.test", "/gone.jpg", Reply::Status(404, "404 Not Found"));
  web.Route("pics.test", "/broken.jpg", Reply::Status(500, "<html>error</html>"));
  web.Route("pics.test", "/ok.jpg", PictureReply(Picture(100)));
  Add("http://pics.test/gone.jpg", "gone.jpg");
  Add("http://pics.test/broken.jpg\r\nhttp://pics.test/ok.jpg", "fallback.jpg");
  DownPicFunc(t.app, list());
  // Neither the error page nor a temporary file is left behind.
  EXPECT_EQ(FolderNames(dir.Path()), (std::vector<std::string>{"fallback.jpg"}));
  EXPECT_EQ(ReadBytes(dir.Folder() + "fallback.jpg"), Picture(100));
  EXPECT_EQ(t.host.LastStatus(StatusLine::Progress), "已下载2/2......");
}

TEST_F(PoolRun, APictureThatCannotBeSavedIsNotCountedEvenOverAnOlderFile) {
  web.Route("pics.test", "/big.jpg", PictureReply(Picture(4096)));
  dltest::WriteBytes(dir.Folder() + "big.jpg", "old");
  bool written = true;
  {
    FileSizeLimit full(1024);
    written =
        DownloadPicture(PictureTask{"http://pics.test/big.jpg", "", dir.Folder() + "big.jpg"});
  }
  EXPECT_FALSE(written) << "the older file is no proof the picture landed";
  EXPECT_EQ(ReadBytes(dir.Folder() + "big.jpg"), "old");
  EXPECT_EQ(FolderNames(dir.Path()), std::vector<std::string>{"big.jpg"});
}

TEST_F(PoolRun, StopStartsNoNewWorker) {
  std::atomic<int> served{0};
  web.RoutePrefix("pics.test", "/", [&served](const Request&) {
    Reply reply = PictureReply(Picture(500));
    if (++served == 3) {
      Pool().stop = true;     // the stop button, during the third picture ...
      reply.stallMs = 60000;  // ... which stalls: the stop ends its exchange
    }
    return reply;
  });
  for (int i = 1; i <= 20; ++i) {
    Add(NumberedAddress(i), std::to_string(i) + ".jpg");
  }
  Pool().threads = 1;
  DownPicFunc(t.app, list());
  EXPECT_EQ(web.Requests().size(), 3u);
  EXPECT_EQ(FolderNames(dir.Path()).size(), 2u) << "the picture being fetched leaves no file";
  EXPECT_EQ(t.host.LastStatus(StatusLine::Progress), "已下载2/20......");
  ASSERT_EQ(t.host.poolEnds.size(), 1u);
  EXPECT_EQ(t.host.poolEnds[0].second, 20);
  EXPECT_FALSE(Pool().running.load());
}

TEST_F(PoolRun, AnswersThatAreNoPicturesFallBackAndLeaveNoFile) {
  Reply coded = PictureReply(Picture(5000, 'z'));
  coded.encoding = Reply::Encoding::GzipWithHeader;
  web.Route("pics.test", "/coded.jpg", coded);
  web.Route("pics.test", "/empty.jpg", PictureReply(""));
  web.Route("pics.test", "/login.jpg", Reply::Text("\n<!DOCTYPE html><html>log in</html>"));
  web.Route("pics.test", "/ok.jpg", PictureReply(Picture(100)));
  Add("http://pics.test/coded.jpg", "coded.jpg");
  Add("http://pics.test/empty.jpg\r\nhttp://pics.test/ok.jpg", "empty.jpg");
  Add("http://pics.test/login.jpg\r\nhttp://pics.test/ok.jpg", "login.jpg");
  Add("http://pics.test/login.jpg\r\nhttp://pics.test/empty.jpg", "nothing.jpg");
  DownPicFunc(t.app, list());
  EXPECT_EQ(FolderNames(dir.Path()),
            (std::vector<std::string>{"coded.jpg", "empty.jpg", "login.jpg"}));
  EXPECT_EQ(ReadBytes(dir.Folder() + "coded.jpg"), Picture(5000, 'z')) << "saved decoded";
  EXPECT_EQ(ReadBytes(dir.Folder() + "empty.jpg"), Picture(100));
  EXPECT_EQ(ReadBytes(dir.Folder() + "login.jpg"), Picture(100));
  EXPECT_EQ(Pool().written.load(), 3);
}

TEST_F(PoolRun, OneWorkerAfterAnotherKeepsOneConnection) {
  for (int i = 1; i <= 5; ++i) {
    web.Route("pics.test", NumberedPath(i), PictureReply(Picture(2000)));
    Add(NumberedAddress(i), std::to_string(i) + ".jpg");
  }
  Pool().threads = 1;
  DownPicFunc(t.app, list());
  EXPECT_EQ(FolderNames(dir.Path()).size(), 5u);
  EXPECT_EQ(web.AcceptedConnections(), 1);
}

TEST_F(PoolRun, StopEndsStalledAndTricklingPicturesAtOnce) {
  Reply stall = PictureReply(Picture(1000));
  stall.stallMs = 120000;
  web.Route("pics.test", "/stall.jpg", stall);
  Reply trickle = PictureReply(Picture(100000));
  trickle.trickleBytes = 10;
  trickle.trickleDelayMs = 50;
  web.Route("pics.test", "/trickle.jpg", trickle);
  Add("http://pics.test/stall.jpg\r\nhttp://pics.test/trickle.jpg", "stall.jpg");
  Add("http://pics.test/trickle.jpg\r\nhttp://pics.test/stall.jpg", "trickle.jpg");
  Add("http://pics.test/stall.jpg", "later.jpg");
  Pool().threads = 2;
  Pool().timeoutSec = 60;
  Pool().retryPauseSec = 5;
  std::thread button([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    Pool().stop = true;
  });
  const auto start = std::chrono::steady_clock::now();
  DownPicFunc(t.app, list());
  const auto took = std::chrono::steady_clock::now() - start;
  button.join();
  // Neither the read time-out nor a pause before the fallback ran out.
  EXPECT_LT(took, std::chrono::seconds(20));
  EXPECT_EQ(web.Requests().size(), 2u) << "no fallback and no new picture after the stop";
  EXPECT_TRUE(FolderNames(dir.Path()).empty());
  EXPECT_FALSE(Pool().running.load());
}

}  // namespace
