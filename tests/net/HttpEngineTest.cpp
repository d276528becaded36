// SPDX-License-Identifier: GPL-3.0-or-later
// The engine against the loopback test web, reached through the engine's proxy setting.
#include "net/HttpEngine.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <zlib.h>

#include <cstdlib>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ScratchDir.h"
#include "TestWeb.h"
#include "net/CookieStore.h"
#include "text/StringCtrl.h"

namespace albumora {
namespace {

using testweb::Reply;
using testweb::Request;
using testweb::TestWeb;
namespace fs = std::filesystem;

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEngineProxy(web.ProxyUrl());
    CookieStore::Shared().Clear();
    // Time-outs and refused connections are asked again: after a short back-off here.
    EngineLimits limits = before;
    limits.backoffBaseMs = 10;
    SetEngineLimits(limits);
  }
  void TearDown() override {
    SetEngineLimits(before);
    SetEngineProxy("");
    CookieStore::Shared().Clear();
  }

  const EngineLimits before = GetEngineLimits();

  HttpRequest NewRequest(const std::string& url) {
    HttpRequest request;
    InitRequest(request, url, "", 5000);
    request.nRetryPause = 0;
    return request;
  }

  TestWeb web;
  HttpResponse response;
};

size_t Entries(const fs::path& folder) {
  return static_cast<size_t>(std::distance(fs::directory_iterator(folder), {}));
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST_F(EngineTest, InitRequestFillsTheDefaults) {
  HttpRequest request;
  request.cutEnd = "x";
  request.nTries = 5;
  request.bRefuseErrorStatus = true;
  InitRequest(request, "http://a.test/", "/tmp/f", 1234);
  EXPECT_EQ(request.strUrl, "http://a.test/");
  EXPECT_EQ(request.strVerb, "GET");
  EXPECT_EQ(request.strSavePath, "/tmp/f");
  EXPECT_EQ(request.cutEnd, "");
  EXPECT_EQ(request.nReadTimeout, 1234u);
  EXPECT_EQ(request.nTimeout, 1234u);
  EXPECT_EQ(request.nTries, 1);
  EXPECT_EQ(request.nRetryPause, 1);
  EXPECT_FALSE(request.bRefuseErrorStatus);
}

TEST_F(EngineTest, SendsTheRequestAsGivenAndKeepsTheFinalHeaderBlock) {
  web.Route("h.test", "/page", Reply::Text("hello", "text/html; charset=utf-8"));
  HttpRequest request = NewRequest("http://h.test/page");
  request.strHeaders = "Referer: http://h.test/\r\nX-Extra: 1";
  ASSERT_TRUE(HttpFetch(request, response, 0));
  EXPECT_EQ(response.body, "hello");
  EXPECT_EQ(response.nStatus, 200);
  EXPECT_EQ(response.bGzip, 0);
  EXPECT_EQ(response.strHeaders.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(response.strHeaders.substr(response.strHeaders.size() - 2), "\r\n");
  EXPECT_EQ(response.strHeaders.find("\r\n\r\n"), std::string::npos);

  Request sent = web.Requests().at(0);
  EXPECT_EQ(sent.Header("User-Agent"), kUserAgent);
  EXPECT_EQ(sent.Header("Referer"), "http://h.test/");
  EXPECT_EQ(sent.Header("X-Extra"), "1");
  EXPECT_EQ(sent.Header("Accept-Encoding"), "");  // only what the caller's headers ask for
}

TEST_F(EngineTest, AddressIsPercentEncodedLikeABrowser) {
  web.RoutePrefix("h.test", "/", [](const Request&) { return Reply::Text("ok"); });
  ASSERT_TRUE(HttpFetch(NewRequest("http://h.test/a b/\xe4\xb8\xad?r=0.25\n"), response, 0));
  Request sent = web.Requests().at(0);
  EXPECT_EQ(sent.path, "/a%20b/%E4%B8%AD");
  EXPECT_EQ(sent.query, "r=0.25%0A");
}

TEST_F(EngineTest, ContentLengthIsCheckedBeforeTheBody) {
  Reply empty = Reply::Text("");
  empty.contentLength = 0;
  web.Route("h.test", "/empty", empty);
  Reply large = Reply::Text(std::string(5000, 'x'));
  large.contentLength = 5000;
  large.trickleBytes = 1000;
  large.trickleDelayMs = 20;
  web.Route("h.test", "/large", large);

  HttpRequest request = NewRequest("http://h.test/empty");
  EXPECT_TRUE(HttpFetch(request, response, 0));
  EXPECT_EQ(response.body, "");
  request.nMinKB = 1;
  EXPECT_FALSE(HttpFetch(request, response, 0));

  request = NewRequest("http://h.test/large");
  request.nMaxKB = 1;
  EXPECT_FALSE(HttpFetch(request, response, 0));
  EXPECT_EQ(response.body, "");  // refused on the announced length, nothing read
  EXPECT_EQ(response.nStatus, 200);
  request.nMaxKB = 5;
  EXPECT_TRUE(HttpFetch(request, response, 0));
}

TEST_F(EngineTest, MaxKBIsCheckedWhileReadingAnUnannouncedBody) {
  Reply chunked = Reply::Text(std::string(5000, 'x'));
  chunked.chunked = true;
  web.Route("h.test", "/chunked", chunked);
  HttpRequest request = NewRequest("http://h.test/chunked");
  request.nMaxKB = 1;
  EXPECT_FALSE(HttpFetch(request, response, 0));
  request.nMaxKB = 0;
  request.nMinKB = 5;
  EXPECT_FALSE(HttpFetch(request, response, 0));  // 5000 bytes are below 5 KB
  request.nMinKB = 4;
  EXPECT_TRUE(HttpFetch(request, response, 0));
  EXPECT_EQ(response.body.size(), 5000u);
}

TEST_F(EngineTest, StopMarkerSplitOverTwoReadsEndsTheTransferAsSuccess) {
  // The answer announces more than it sends: reading it to the end would fail.
  Reply reply = Reply::Text("head<!--END-->tail and more");
  reply.contentLength = 2000;
  reply.trickleBytes = 9;  // "head<!--E" | "ND-->tail" | ...
  reply.trickleDelayMs = 30;
  web.Route("h.test", "/page", reply);
  HttpRequest request = NewRequest("http://h.test/page");
  request.cutEnd = "<!--END-->";
  ASSERT_TRUE(HttpFetch(request, response, 0));
  EXPECT_EQ(response.body, "head");
  EXPECT_EQ(response.cutEnd, "<!--END-->");
}

TEST_F(EngineTest, StartMarkerKeepsWhatFollowsItsLastOccurrence) {
  Reply reply = Reply::Text("a<S>b<S>c<S>rest<E>gone");
  reply.trickleBytes = 3;
  reply.trickleDelayMs = 5;
  web.Route("h.test", "/page", reply);
  HttpRequest request = NewRequest("http://h.test/page");
  request.cutStart = "<S>";
  request.cutEnd = "<E>";
  ASSERT_TRUE(HttpFetch(request, response, 0));
  EXPECT_EQ(response.body, "rest");
  std::string text;
  GetResponseText(response, text, TEXT_GUNZIP | TEXT_UTF8);
  EXPECT_EQ(text, "rest");
}

TEST_F(EngineTest, GzipAnswerIsCutOnlyWhenItBecomesText) {
  Reply reply = Reply::Text("junk<S>keep &amp; more<E>tail");
  reply.encoding = Reply::Encoding::GzipWithHeader;
  web.Route("h.test", "/page", reply);
  HttpRequest request = NewRequest("http://h.test/page");
  request.strHeaders = "Accept-Encoding: gzip, deflate";
  request.cutStart = "<S>";
  request.cutEnd = "<E>";
  ASSERT_TRUE(HttpFetch(request, response, 0));
  EXPECT_EQ(response.bGzip, 1);
  EXPECT_EQ(response.body, testweb::GzipBytes("junk<S>keep &amp; more<E>tail"));
  std::string text;
  GetResponseText(response, text, TEXT_GUNZIP | TEXT_UTF8);
  EXPECT_EQ(text, "keep & more");
}

TEST_F(EngineTest, FetchLengthCheckSeesCompressedBytesUnlessCached) {
  Reply reply = Reply::Text(std::string(10000, 'a'));
  reply.encoding = Reply::Encoding::GzipWithHeader;
  web.Route("h.test", "/page", reply);
  HttpRequest request = NewRequest("http://h.test/page");
  request.nMinLen = 1000;
  EXPECT_FALSE(HttpFetch(request, response, 0));
  EXPECT_TRUE(HttpFetch(request, response, REQ_CACHE));
  EXPECT_LT(response.body.size(), 1000u);  // the record keeps the compressed body
}

TEST_F(EngineTest, DeflateWithoutTheWordGzipIsNotDecompressed) {
  Reply reply = Reply::Text("plain text here");
  reply.encoding = Reply::Encoding::ZlibWithDeflateHeader;
  web.Route("h.test", "/page", reply);
  ASSERT_TRUE(HttpFetch(NewRequest("http://h.test/page"), response, 0));
  EXPECT_EQ(response.bGzip, 0);
  EXPECT_EQ(response.body, testweb::ZlibBytes("plain text here"));
  std::string text;
  GetResponseText(response, text, TEXT_GUNZIP | TEXT_UTF8);
  EXPECT_EQ(text.find("plain text"), std::string::npos);
  // InflateBody itself reads zlib streams.
  std::string out;
  EXPECT_TRUE(InflateBody(out, response.body.data(), response.body.size()));
  EXPECT_EQ(out, "plain text here");
}

TEST_F(EngineTest, DeclaredGbkBeatsTheCallersUtf8) {
  const std::string chinese = "\xe4\xb8\xad\xe6\x96\x87";  // 中文
  web.Route("h.test", "/gbk", Reply::Text(testweb::ToGbk(chinese), "text/html; charset=GBK"));
  web.Route("h.test", "/lower", Reply::Text(testweb::ToGbk(chinese), "text/html; charset=gbk"));
  web.Route("h.test", "/zero", Reply::Text(std::string("ab\0cd", 5), "text/html"));
  web.Route("h.test", "/utf8", Reply::Text(chinese + std::string("\0x", 2), "text/html"));
  std::string text;

  ASSERT_TRUE(HttpFetch(NewRequest("http://h.test/gbk"), response, 0));
  GetResponseText(response, text, TEXT_GUNZIP | TEXT_UTF8);
  EXPECT_EQ(text, chinese);
  ASSERT_TRUE(HttpFetch(NewRequest("http://h.test/lower"), response, 0));
  GetResponseText(response, text, TEXT_GUNZIP | TEXT_UTF8);  // exact case only: read as UTF-8
  EXPECT_NE(text, chinese);
  GetResponseText(response, text, TEXT_GUNZIP);  // GBK by default
  EXPECT_EQ(text, chinese);

  ASSERT_TRUE(HttpFetch(NewRequest("http://h.test/zero"), response, 0));
  GetResponseText(response, text, TEXT_GUNZIP);
  EXPECT_EQ(text, "ab");  // GBK stops at the first zero byte
  web.Route("h.test", "/big5", Reply::Text("\xa4\xa4\xa4\xe5", "text/html"));
  ASSERT_TRUE(HttpFetch(NewRequest("http://h.test/big5"), response, 0));
  GetResponseText(response, text, TEXT_GUNZIP | TEXT_BIG5);
  EXPECT_EQ(text, chinese);
  ASSERT_TRUE(HttpFetch(NewRequest("http://h.test/utf8"), response, 0));
  GetResponseText(response, text, TEXT_GUNZIP | TEXT_UTF8);
  EXPECT_EQ(text, chinese + std::string("\0x", 2));  // UTF-8 uses the full length
}

TEST_F(EngineTest, AttemptsPausesAndRetryMark) {
  std::atomic<int> calls{0};
  web.Route("h.test", "/busy", [&calls](const Request&) {
    return Reply::Text(++calls < 3 ? "server busy" : "the real page");
  });
  web.Route("h.test", "/short", Reply::Text("tiny"));

  HttpRequest request = NewRequest("http://h.test/busy");
  request.retryMark = "busy";
  request.nTries = 3;
  ASSERT_TRUE(HttpFetch(request, response, 0));
  EXPECT_EQ(response.body, "the real page");
  EXPECT_EQ(calls.load(), 3);

  request = NewRequest("http://h.test/short");
  request.nMinLen = 4;  // "tiny" is not longer than 4 bytes
  request.nTries = 0;
  EXPECT_FALSE(HttpFetch(request, response, 0));
  EXPECT_TRUE(web.RequestsTo("/short").empty());

  // One attempt, then the pause that follows every failed attempt.
  request.nTries = 1;
  request.nRetryPause = 1;
  auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(HttpFetch(request, response, 0));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
  EXPECT_EQ(web.RequestsTo("/short").size(), 1u);
}

TEST_F(EngineTest, ReadTimeOutOnAStallButNotOnASteadyTrickle) {
  Reply stalled = Reply::Text("late");
  stalled.stallMs = 20000;  // woken when the web stops
  web.Route("h.test", "/stall", stalled);
  Reply steady = Reply::Text(std::string(16, 's'));
  steady.trickleBytes = 1;
  steady.trickleDelayMs = 50;  // 0.75 s in total, 50 ms between bytes
  web.Route("h.test", "/steady", steady);

  HttpRequest request = NewRequest("http://h.test/stall");
  request.nReadTimeout = 300;
  EXPECT_FALSE(HttpFetch(request, response, 0));
  EXPECT_EQ(response.nStatus, 200);

  request = NewRequest("http://h.test/steady");
  request.nReadTimeout = 500;
  ASSERT_TRUE(HttpFetch(request, response, 0));
  EXPECT_EQ(response.body, std::string(16, 's'));
}

// A body that keeps trickling never trips the per-step time-out; the low-speed limit ends it as
// "too slow", for a page and a picture alike, while an answer at speed passes.
TEST_F(EngineTest, LowSpeedLimitEndsATrickle) {
  Reply trickle = Reply::Text("\xFF\xD8" + std::string(398, 't'), "image/jpeg");
  trickle.trickleBytes = 4;
  trickle.trickleDelayMs = 100;  // 40 bytes a second, for 10 s
  web.Route("h.test", "/trickle", trickle);
  web.Route("h.test", "/fast", Reply::Text(std::string(4000, 'f')));
  const EngineLimits before = GetEngineLimits();
  EngineLimits limits;
  limits.lowSpeedBytes = 1000;
  limits.lowSpeedSeconds = 1;
  SetEngineLimits(limits);
  for (bool picture : {false, true}) {
    HttpRequest request = NewRequest("http://h.test/trickle");
    request.bPicture = picture;
    EXPECT_FALSE(HttpFetch(request, response, 0));
    EXPECT_EQ(response.failure, FetchFailure::TooSlow);
    EXPECT_NE(response.strError.find("too slow"), std::string::npos) << response.strError;
    EXPECT_LT(response.nBodyBytes, 400u);
  }
  HttpRequest fast = NewRequest("http://h.test/fast");
  EXPECT_TRUE(HttpFetch(fast, response, 0));
  SetEngineLimits(before);
}

TEST_F(EngineTest, AnswerThatDoesNotStartInTimeFails) {
  Reply late = Reply::Text("late");
  late.headerDelayMs = 20000;  // woken when the web stops
  web.Route("h.test", "/late", late);
  HttpRequest request = NewRequest("http://h.test/late");
  request.nTimeout = 300;
  request.nReadTimeout = 60000;  // the wait for the headers is not a body read
  EXPECT_FALSE(HttpFetch(request, response, 0));
  EXPECT_EQ(response.nStatus, 0);

  SetEngineProxy("http://127.0.0.1:1");  // nothing listens there
  EXPECT_FALSE(HttpFetch(NewRequest("http://h.test/late"), response, 0));
}

TEST_F(EngineTest, ConnectionClosedMidBodyFails) {
  Reply lying = Reply::Text(std::string(500, 'x'));
  lying.contentLength = 1000;
  web.Route("h.test", "/lying", lying);
  Reply cut = Reply::Text(std::string(5000, 'x'));
  cut.chunked = true;
  cut.trickleBytes = 1000;
  cut.closeAfterBytes = 2000;
  web.Route("h.test", "/cut", cut);
  EXPECT_FALSE(HttpFetch(NewRequest("http://h.test/lying"), response, 0));
  EXPECT_FALSE(HttpFetch(NewRequest("http://h.test/cut"), response, 0));
}

TEST_F(EngineTest, RedirectChainStoresAndSendsCookiesOnEveryHop) {
  web.Route("h.test", "/r1", Reply::Redirect("http://h.test/r2").With("Set-Cookie", "a=1; Path=/"));
  web.Route("h.test", "/r2", Reply::Redirect("/r3", 301).With("Set-Cookie", "b=2; Path=/"));
  web.Route("h.test", "/r3", [](const Request& r) {
    return Reply::Text("cookies: " + r.Header("Cookie")).With("Set-Cookie", "c=3; Path=/");
  });
  ASSERT_TRUE(HttpFetch(NewRequest("http://h.test/r1"), response, 0));
  // The header libcurl sends orders equal paths newest first.
  EXPECT_TRUE(response.body == "cookies: b=2; a=1" || response.body == "cookies: a=1; b=2")
      << response.body;
  EXPECT_EQ(response.nStatus, 200);
  EXPECT_EQ(response.strHeaders.rfind("HTTP/1.1 200", 0), 0u);
  EXPECT_EQ(response.strHeaders.find("Location"), std::string::npos);
  EXPECT_EQ(web.RequestsTo("/r2").at(0).Header("Cookie"), "a=1");
  EXPECT_EQ(GetCookies("http://h.test/"), "a=1; b=2; c=3");
}

TEST_F(EngineTest, ManyThreadsShareTheEngineAndTheCookies) {
  web.RoutePattern("h.test", "^/pic/", [](const Request& r) {
    Reply reply = Reply::Text(r.path + std::string(20000, '.'), "image/jpeg");
    reply.trickleBytes = 5000;
    reply.trickleDelayMs = 2;
    return reply.With("Set-Cookie", "p" + r.path.substr(5) + "=1; Path=/");
  });
  constexpr int kThreads = 15;
  std::atomic<int> good{0};
  {
    std::vector<std::jthread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([i, &good] {
        for (int round = 0; round < 4; ++round) {
          std::string path = "/pic/" + std::to_string(i * 10 + round);
          HttpRequest request;
          InitRequest(request, "http://h.test" + path, "", 5000);
          HttpResponse answer;
          if (HttpFetch(request, answer, REQ_CACHE | REQ_NORELOAD) &&
              answer.body == path + std::string(20000, '.')) {
            ++good;
          }
        }
      });
    }
  }
  EXPECT_EQ(good.load(), kThreads * 4);
  std::string cookies = GetCookies("http://h.test/");
  EXPECT_EQ(std::count(cookies.begin(), cookies.end(), '='), kThreads * 4);
}

TEST_F(EngineTest, CallersCookieLineGoesOnlyToItsOwnHost) {
  CookieStore::Shared().SetCookie("http://h.test/", "s=2; Path=/");
  web.Route("h.test", "/p", Reply::Text("ok"));
  web.Route("h.test", "/away", Reply::Redirect("http://other.test/landing"));
  web.Route("other.test", "/landing", Reply::Text("landed"));
  HttpRequest request = NewRequest("http://h.test/p");
  request.strHeaders = "Accept-Encoding: gzip, deflate\r\ncookie: x=1; y=3";
  ASSERT_TRUE(HttpFetch(request, response, 0));
  Request sent = web.Requests().at(0);
  std::vector<std::string> cookieLines;
  for (const auto& [name, value] : sent.headers) {
    if (EqualsNoCase(name, "cookie")) cookieLines.push_back(value);
  }
  EXPECT_EQ(cookieLines, (std::vector<std::string>{"s=2", "x=1; y=3"}));
  EXPECT_EQ(sent.Header("Accept-Encoding"), "gzip, deflate");

  // A redirect to another host carries neither the caller's line nor h.test's cookies.
  web.ClearRequests();
  request.strUrl = "http://h.test/away";
  ASSERT_TRUE(HttpFetch(request, response, 0));
  ASSERT_EQ(web.Requests().size(), 2u);
  EXPECT_EQ(web.Requests()[0].Header("Cookie").empty(), false);
  EXPECT_EQ(web.Requests()[1].Header("Cookie"), "");
  EXPECT_EQ(response.body, "landed");
}

TEST_F(EngineTest, RedirectLoopFails) {
  web.Route("h.test", "/loop", Reply::Redirect("http://h.test/loop"));
  EXPECT_FALSE(HttpFetch(NewRequest("http://h.test/loop"), response, 0));
  EXPECT_EQ(web.Requests().size(), 11u);  // the first request and ten redirects
}

TEST_F(EngineTest, ErrorStatusIsAnAnswerUnlessRefused) {
  web.Route("h.test", "/missing", Reply::Status(404, "not here"));
  HttpRequest request = NewRequest("http://h.test/missing");
  ASSERT_TRUE(HttpFetch(request, response, 0));
  EXPECT_EQ(response.nStatus, 404);
  EXPECT_EQ(response.body, "not here");
  request.bRefuseErrorStatus = true;
  EXPECT_FALSE(HttpFetch(request, response, 0));
}

TEST_F(EngineTest, SavedFileIsReplacedWholeAndFailuresLeaveItAlone) {
  testweb::ScratchDir folder("net");
  fs::path target = folder.Dir() / "picture.jpg";
  std::ofstream(target, std::ios::binary) << std::string(1000, 'O');
  web.Route("h.test", "/new.jpg", Reply::Text("new", "image/jpeg"));
  web.Route("h.test", "/gone.jpg", Reply::Status(404, "error page"));
  Reply cut = Reply::Text(std::string(3000, 'x'), "image/jpeg");
  cut.contentLength = 5000;
  web.Route("h.test", "/cut.jpg", cut);

  HttpRequest request = NewRequest("http://h.test/new.jpg");
  request.strSavePath = target.string();
  ASSERT_TRUE(HttpFetch(request, response, 0));
  EXPECT_EQ(ReadFile(target), "new");

  request.strUrl = "http://h.test/gone.jpg";
  request.bRefuseErrorStatus = true;
  EXPECT_FALSE(HttpFetch(request, response, 0));
  request.strUrl = "http://h.test/cut.jpg";
  EXPECT_FALSE(HttpFetch(request, response, 0));
  request.strUrl = "http://h.test/new.jpg";
  request.nMinKB = 1;
  EXPECT_FALSE(HttpFetch(request, response, 0));
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(Entries(folder.Dir()), 1u);  // no temporary file left behind
}

TEST_F(EngineTest, SavePathInAMissingFolderStillSucceeds) {
  testweb::ScratchDir folder("net");
  web.Route("h.test", "/pic.jpg", Reply::Text("bytes", "image/jpeg"));
  HttpRequest request = NewRequest("http://h.test/pic.jpg");
  request.strSavePath = (folder.Dir() / "missing" / "pic.jpg").string();
  EXPECT_TRUE(HttpFetch(request, response, 0));
  EXPECT_FALSE(fs::exists(request.strSavePath));
  EXPECT_EQ(Entries(folder.Dir()), 0u);
}

TEST_F(EngineTest, GzipBombIsCutOffAtTheCap) {
  // 300 MiB of zeros, compressed as it is made.
  std::string bomb;
  z_stream stream{};
  ASSERT_EQ(deflateInit2(&stream, Z_BEST_SPEED, Z_DEFLATED, 31, 9, Z_RLE), Z_OK);
  std::string zeros(1 << 20, '\0');
  char window[65536];
  for (int mib = 0; mib < 300; ++mib) {
    stream.next_in = reinterpret_cast<Bytef*>(zeros.data());
    stream.avail_in = static_cast<uInt>(zeros.size());
    int flush = mib == 299 ? Z_FINISH : Z_NO_FLUSH;
    do {
      stream.next_out = reinterpret_cast<Bytef*>(window);
      stream.avail_out = sizeof window;
      deflate(&stream, flush);
      bomb.append(window, sizeof window - stream.avail_out);
    } while (stream.avail_out == 0);
  }
  deflateEnd(&stream);
  ASSERT_LT(bomb.size(), size_t{4} << 20);  // a small download

  std::string out;
  EXPECT_FALSE(InflateBody(out, bomb.data(), bomb.size()));
  EXPECT_LE(out.size(), kMaxBodyBytes);
  EXPECT_GT(out.size(), kMaxBodyBytes - 8192);
}

TEST_F(EngineTest, TruncatedGzipKeepsWhatWasInflated) {
  std::string text(50000, 'q');
  for (size_t i = 0; i < text.size(); i += 7) text[i] = static_cast<char>('a' + i % 26);
  std::string packed = testweb::GzipBytes(text);
  std::string out;
  EXPECT_FALSE(InflateBody(out, packed.data(), packed.size() / 2));
  EXPECT_FALSE(out.empty());
  EXPECT_EQ(text.compare(0, out.size(), out), 0);
  EXPECT_FALSE(InflateBody(out, "not gzip", 8));
  EXPECT_TRUE(out.empty());
}

TEST_F(EngineTest, NoAddressOrAnUnusableOneFails) {
  EXPECT_FALSE(HttpFetch(NewRequest(""), response, 0));
  EXPECT_FALSE(HttpFetch(NewRequest("file:///etc/hostname"), response, 0));
  EXPECT_EQ(response.body, "");
}

}  // namespace
}  // namespace albumora
