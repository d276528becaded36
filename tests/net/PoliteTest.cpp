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
  // No (or an unreadable) Retry-After: 1, 2, 4 ... times the base, up to a quarter more.
  struct Case {
    std::string header;
    unsigned attempt;
    long lowMs;
    long highMs;
  };
  for (const Case& c : std::vector<Case>{{"", 1, 1000, 1250},
                                         {"", 3, 4000, 5000},
                                         {"soon", 2, 2000, 2500},
                                         {"", 12, 60000, 60000}}) {
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                        net::RefusalWait(c.header, c.attempt, 1000))
                        .count();
    EXPECT_GE(ms, c.lowMs) << c.attempt;
    EXPECT_LE(ms, c.highMs) << c.attempt;
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
