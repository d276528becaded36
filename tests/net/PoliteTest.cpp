// SPDX-License-Identifier: GPL-3.0-or-later
// Politeness towards the sites: refusals (429, 503) wait and retry for the whole host, a stop
// ends a wait, the shared byte budget, and the pacing a refusing host gets.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <ctime>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ScratchDir.h"
#include "TestWeb.h"
#include "download/Workers.h"
#include "net/HttpEngine.h"
#include "net/Politeness.h"

namespace albumora {
namespace {

using testweb::Reply;
using testweb::Request;
using testweb::TestWeb;
using Clock = std::chrono::steady_clock;

class Polite : public ::testing::Test {
 protected:
  void SetUp() override {
    SetEngineProxy(web.ProxyUrl());
    net::ResetHostPacing();
    EngineLimits limits = before;
    limits.backoffBaseMs = 10;
    SetEngineLimits(limits);
  }
  void TearDown() override {
    SetEngineLimits(before);
    SetHostWaitObserver(nullptr);
    SetEngineProxy("");
    net::ResetHostPacing();
  }
  void SetLimits(const std::function<void(EngineLimits&)>& change) {
    EngineLimits limits = GetEngineLimits();
    change(limits);
    SetEngineLimits(limits);
  }
  // A picture request as the worker pool makes it.
  static HttpRequest Picture(const std::string& url, const std::string& savePath = "") {
    HttpRequest request;
    InitRequest(request, url, savePath, 5000);
    request.bPicture = true;
    request.bRefuseErrorStatus = true;
    request.nRetryPause = 0;
    return request;
  }

  const EngineLimits before = GetEngineLimits();
  TestWeb web;
  testweb::ScratchDir dir{"polite"};
};

std::string HttpDate(time_t when) {
  char text[64];
  tm parts{};
  gmtime_r(&when, &parts);
  std::strftime(text, sizeof text, "%a, %d %b %Y %H:%M:%S GMT", &parts);
  return text;
}

TEST(RefusalWait, RetryAfterSecondsDateAndBackOff) {
  using std::chrono::seconds;
  EXPECT_EQ(net::RefusalWait("1", 1, 1000), seconds(1));
  EXPECT_EQ(net::RefusalWait("0", 4, 1000), seconds(0));
  EXPECT_EQ(net::RefusalWait("86400", 1, 1000), seconds(600)) << "capped at 10 minutes";
  const auto dated = net::RefusalWait(HttpDate(std::time(nullptr) + 5), 1, 1000);
  EXPECT_GE(dated, seconds(3));
  EXPECT_LE(dated, seconds(5));
  EXPECT_EQ(net::RefusalWait(HttpDate(std::time(nullptr) - 50), 1, 1000), seconds(0));
  EXPECT_EQ(net::RefusalWait(HttpDate(std::time(nullptr) + 86400), 1, 1000), seconds(600));
  // No (or an unreadable) Retry-After: exactly 1, 2, 4 ... times the base, at most 60 s.
  struct Case {
    std::string header;
    unsigned attempt;
    long ms;
  };
  for (const Case& c : std::vector<Case>{
           {"", 1, 1000}, {"", 3, 4000}, {"soon", 2, 2000}, {"", 6, 32000}, {"", 7, 60000}}) {
    EXPECT_EQ(std::chrono::duration_cast<std::chrono::milliseconds>(
                  net::RefusalWait(c.header, c.attempt, 1000))
                  .count(),
              c.ms)
        << c.attempt;
  }
}

// The site refuses the first tries: the request is retried after the wait, the picture lands,
// the refusal is never saved, and the wait is told once.
TEST_F(Polite, RefusalsAreRetriedAfterTheWaitAndNeverSaved) {
  struct Case {
    int status;
    std::string retryAfter;  // "date": an HTTP date one second ahead
    int refusals;
  };
  for (const Case& c : std::vector<Case>{{429, "1", 1}, {429, "date", 1}, {503, "", 3}}) {
    SCOPED_TRACE(c.status);
    web.ClearRequests();
    net::ResetHostPacing();
    auto asked = std::make_shared<std::atomic<int>>(0);
    const std::string name = "/" + std::to_string(c.status) + c.retryAfter + ".jpg";
    web.Route("pics.test", name, [asked, c](const Request&) {
      if (asked->fetch_add(1) < c.refusals) {
        Reply reply = Reply::Status(c.status, "slow down");
        if (c.retryAfter == "date") {
          reply.With("Retry-After", HttpDate(std::time(nullptr) + 1));
        } else if (!c.retryAfter.empty()) {
          reply.With("Retry-After", c.retryAfter);
        }
        return reply;
      }
      return Reply::Text("\xFF\xD8 picture", "image/jpeg");
    });
    std::vector<HostWait> waits;
    std::mutex mutex;
    SetHostWaitObserver([&](const HostWait& wait) {
      std::lock_guard lock(mutex);
      waits.push_back(wait);
    });
    const std::string path = dir.Folder() + name.substr(1);
    HttpResponse response;
    ASSERT_TRUE(HttpFetch(Picture("http://pics.test" + name, path), response, 0))
        << response.strError;
    EXPECT_TRUE(response.bSaved);
    EXPECT_EQ(asked->load(), c.refusals + 1);
    ASSERT_EQ(waits.size(), static_cast<size_t>(c.refusals));
    EXPECT_EQ(waits[0].host, "pics.test");
    EXPECT_EQ(waits[0].status, c.status);
    EXPECT_EQ(net::GetHostPace("pics.test").refusals, static_cast<uint64_t>(c.refusals));
    web.ClearRequests();
  }
}

// Beyond the retries the picture fails as refused and leaves no file; a page keeps the answer.
TEST_F(Polite, RefusalsBeyondTheBoundFailAsRefused) {
  SetLimits([](EngineLimits& limits) { limits.retries = 2; });
  web.Route("pics.test", "/no.jpg", Reply::Status(429, "no").With("Retry-After", "0"));
  const std::string path = dir.Folder() + "no.jpg";
  HttpResponse response;
  EXPECT_FALSE(HttpFetch(Picture("http://pics.test/no.jpg", path), response, 0));
  EXPECT_EQ(response.failure, FetchFailure::Refused);
  EXPECT_NE(response.strError.find("refused by the site"), std::string::npos);
  EXPECT_EQ(web.RequestsTo("/no.jpg").size(), 3u);
  EXPECT_FALSE(std::filesystem::exists(path));

  // Through the pool's picture download too (no fallback helps: it is refused as well).
  FetchFailure why = FetchFailure::None;
  Pool().retryPauseSec = 0;
  EXPECT_FALSE(DownloadPicture({"http://pics.test/no.jpg", "", path}, &why));
  Pool().retryPauseSec = 1;
  EXPECT_EQ(why, FetchFailure::Refused);

  HttpRequest page;
  InitRequest(page, "http://pics.test/no.jpg", "", 5000);
  page.nRetryPause = 0;
  EXPECT_TRUE(HttpFetch(page, response, 0));
  EXPECT_EQ(response.nStatus, 429);
}

// A stop ends a long wait at once (the wait asked for is ten minutes; the bound here is only
// the test's own guard).
TEST_F(Polite, StopEndsTheWait) {
  web.Route("pics.test", "/wait.jpg", Reply::Status(429, "later").With("Retry-After", "600"));
  std::atomic<bool> stop{false};
  HttpRequest request = Picture("http://pics.test/wait.jpg");
  request.stopRequested = [&stop] { return stop.load(); };
  std::atomic<bool> waiting{false};
  SetHostWaitObserver([&](const HostWait& wait) {
    EXPECT_EQ(wait.seconds, 600u);
    waiting = true;
  });
  std::thread stopper([&] {
    while (!waiting.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    stop = true;
  });
  const auto start = Clock::now();
  HttpResponse response;
  EXPECT_FALSE(HttpFetch(request, response, 0));
  stopper.join();
  EXPECT_LT(Clock::now() - start, std::chrono::seconds(60));
  EXPECT_EQ(response.failure, FetchFailure::Stopped);
  EXPECT_EQ(web.RequestsTo("/wait.jpg").size(), 1u);
  // Another worker of the same host waits too, and a stop ends its wait before any request.
  EXPECT_FALSE(HttpFetch(request, response, 0));
  EXPECT_EQ(web.RequestsTo("/wait.jpg").size(), 1u);
}

// One byte budget for every transfer: three parallel answers of 96 KB at 96 KB a second take
// about three seconds together, not one.
TEST_F(Polite, RateLimitIsSharedByAllTransfers) {
  constexpr size_t kBytes = 96 * 1024;
  Reply big;
  big.generatedBytes = kBytes;
  big.headers.emplace_back("Content-Type", "image/jpeg");
  web.RoutePrefix("big.test", "/", testweb::Serve(big));
  SetLimits([](EngineLimits& limits) { limits.limitRate = kBytes; });
  std::atomic<uint64_t> received{0};
  const auto start = Clock::now();
  std::vector<std::thread> threads;
  for (int i = 0; i < 3; ++i) {
    threads.emplace_back([&, i] {
      HttpResponse response;
      if (HttpFetch(Picture("http://big.test/" + std::to_string(i) + ".jpg"), response, 0)) {
        received += response.nBodyBytes;
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_EQ(received.load(), 3 * kBytes);
  EXPECT_EQ(web.RequestsTo("big.test").size(), 3u);
  // All of it, less the quarter second's worth that may go at once, at the limit's pace.
  EXPECT_GE(seconds, (3.0 * kBytes - kBytes / 4.0) / kBytes - 0.1);
}

// A fixed interval between requests to one host, and a cap of parallel requests to it.
TEST_F(Polite, FixedWaitAndConnectionCap) {
  std::mutex mutex;
  int inFlight = 0;
  int most = 0;
  web.RoutePrefix("capped.test", "/", [&](const Request&) {
    {
      std::lock_guard lock(mutex);
      most = std::max(most, ++inFlight);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    std::lock_guard lock(mutex);
    --inFlight;
    return Reply::Text("\xFF\xD8 ok", "image/jpeg");
  });
  SetLimits([](EngineLimits& limits) { limits.perHostConnections = 1; });
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) {
    threads.emplace_back([i] {
      HttpResponse response;
      EXPECT_TRUE(
          HttpFetch(Picture("http://capped.test/" + std::to_string(i) + ".jpg"), response, 0));
    });
  }
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(most, 1);

  SetLimits([](EngineLimits& limits) {
    limits.perHostConnections = 0;
    limits.waitMs = 100;
  });
  const auto start = Clock::now();
  for (int i = 0; i < 5; ++i) {
    HttpResponse response;
    EXPECT_TRUE(
        HttpFetch(Picture("http://capped.test/w" + std::to_string(i) + ".jpg"), response, 0));
  }
  // Four intervals at least, between five starts.
  EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(400));
  EXPECT_EQ(web.RequestsTo("capped.test").size(), 9u);
}

// One budget of retries per page or picture, whoever asks again: a page's own tries, the engine
// after a refusal, a picture's fallback (a fallback equal to the address is not asked again; a
// different one is asked once more, with what is left of the budget).
TEST_F(Polite, OneRetryBudgetPerPageAndPicture) {
  SetLimits([](EngineLimits& limits) { limits.retries = 2; });
  web.RoutePrefix("busy.test", "/", testweb::Serve(Reply::Status(503, "busy")));
  web.RoutePrefix("ok.test", "/", testweb::Serve(Reply::Text("\xFF\xD8 picture", "image/jpeg")));
  Pool().retryPauseSec = 0;

  // A page whose recipe asks four tries of an answer longer than 100 bytes.
  HttpRequest page;
  InitRequest(page, "http://busy.test/page", "", 5000);
  page.nTries = 4;
  page.nMinLen = 100;
  page.nRetryPause = 0;
  HttpResponse response;
  EXPECT_FALSE(HttpFetch(page, response, 0));
  EXPECT_EQ(response.nStatus, 503);
  EXPECT_EQ(web.RequestsTo("/page").size(), 3u);

  struct Case {
    std::string line;  // the picture's address line, a fallback after "\r\n"
    size_t busyAsks;
    size_t okAsks;
    bool lands;
  };
  for (const Case& c : std::vector<Case>{
           {"http://busy.test/a.jpg\r\nhttp://busy.test/a.jpg", 3, 0, false},
           {"http://busy.test/b.jpg\r\nhttp://ok.test/b.jpg", 3, 1, true},
       }) {
    SCOPED_TRACE(c.line);
    net::ResetHostPacing();
    web.ClearRequests();
    FetchFailure why = FetchFailure::None;
    const std::string path = dir.Folder() + "budget.jpg";
    EXPECT_EQ(DownloadPicture({c.line, "", path}, &why), c.lands);
    EXPECT_EQ(web.RequestsTo("busy.test").size(), c.busyAsks);
    EXPECT_EQ(web.RequestsTo("ok.test").size(), c.okAsks);
    if (!c.lands) {
      EXPECT_EQ(why, FetchFailure::Refused);
    }
  }
  Pool().retryPauseSec = 1;
}

// Transient errors are asked again after the back-off: HTTP 408, 500, 502, 504 and a time-out
// before the answer, for pictures and pages; any other error status is asked once.
TEST_F(Polite, TransientErrorsAreAskedAgain) {
  struct Case {
    std::string name;
    Reply first;  // the first answer; later ones are good (for a 404 too: it is not asked again)
    bool picture;
    size_t asks;
  };
  Reply late = Reply::Text("\xFF\xD8 late", "image/jpeg");
  late.headerDelayMs = 1500;
  for (const Case& c : std::vector<Case>{{"502.jpg", Reply::Status(502, "bad gateway"), true, 2},
                                         {"500.jpg", Reply::Status(500, "oops"), true, 2},
                                         {"504.jpg", Reply::Status(504, "late"), true, 2},
                                         {"408.jpg", Reply::Status(408, "slow"), true, 2},
                                         {"late.jpg", late, true, 2},
                                         {"404.jpg", Reply::Status(404, "gone"), true, 1},
                                         {"403.jpg", Reply::Status(403, "no"), true, 1},
                                         {"500.html", Reply::Status(500, "oops"), false, 2}}) {
    SCOPED_TRACE(c.name);
    auto asked = std::make_shared<std::atomic<int>>(0);
    const bool lasting = c.first.status == 404 || c.first.status == 403;
    web.Route("flaky.test", "/" + c.name, [asked, c, lasting](const Request&) {
      if (asked->fetch_add(1) == 0 || lasting) return c.first;
      return Reply::Text("\xFF\xD8 picture", "image/jpeg");
    });
    const std::string path = dir.Folder() + c.name;
    HttpRequest request = Picture("http://flaky.test/" + c.name, c.picture ? path : "");
    request.bPicture = request.bRefuseErrorStatus = c.picture;
    request.nTimeout = request.nReadTimeout = 500;
    HttpResponse response;
    const bool got = HttpFetch(request, response, 0);
    EXPECT_EQ(static_cast<size_t>(asked->load()), c.asks);
    EXPECT_EQ(got, !lasting);
    if (c.picture) {
      EXPECT_EQ(std::filesystem::exists(path), !lasting);
    } else {
      EXPECT_EQ(response.nStatus, 200);
    }
  }
}

// A host that allows 10 requests over any second and refuses the rest: after its first
// refusal it is paced, so most of 60 pictures over 6 threads go through without one.
TEST_F(Polite, ARefusingHostIsPaced) {
  constexpr size_t kAllowed = 10;
  std::mutex mutex;
  std::deque<Clock::time_point> window;
  web.RoutePrefix("paced.test", "/", [&](const Request&) {
    std::lock_guard lock(mutex);
    const auto now = Clock::now();
    while (!window.empty() && now - window.front() >= std::chrono::seconds(1)) window.pop_front();
    if (window.size() >= kAllowed) return Reply::Status(429, "slow").With("Retry-After", "1");
    window.push_back(now);
    return Reply::Text("\xFF\xD8 ok", "image/jpeg");
  });
  std::atomic<int> written{0};
  std::atomic<int> next{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 6; ++t) {
    threads.emplace_back([&] {
      for (int i; (i = next.fetch_add(1)) < 60;) {
        HttpResponse response;
        if (HttpFetch(Picture("http://paced.test/" + std::to_string(i) + ".jpg"), response, 0)) {
          ++written;
        }
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  const net::HostPace pace = net::GetHostPace("paced.test");
  EXPECT_EQ(written.load(), 60);
  EXPECT_GE(pace.refusals, 1u);
  EXPECT_EQ(pace.requests, 60 + pace.refusals);
  // Unpaced, every second past the first would start with a burst of refusals from every
  // thread; paced near the allowed rate, only a few more come.
  EXPECT_LE(pace.refusals, 20u);
  EXPECT_GE(pace.intervalMs, 50.0) << "about 1000 ms / 10, and a little more";
}

}  // namespace
}  // namespace albumora
