// SPDX-License-Identifier: GPL-3.0-or-later
// The pacing rule on a simulated clock against simulated rate limiters: 15 workers that always
// have a request to make, answers 10 ms after the start, refusals asking for a one-second pause.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "net/PaceRule.h"

namespace albumora::net {
namespace {

using Ms = std::chrono::milliseconds;
using TimePoint = PaceRule::TimePoint;

// A limiter as a host runs it: a token bucket of `burst` + 1 tokens refilled at `rate` a second
// (nginx limit_req; burst 0 spaces requests evenly), or at most `rate` over any sliding second.
struct Limiter {
  enum class Kind { Bucket, Window };
  Limiter(Kind k, double r, double b = 0) : kind(k), rate(r), burst(b) {}
  Kind kind;
  double rate;
  double burst;
  double tokens = 0;
  TimePoint last{};
  std::deque<TimePoint> window;

  bool Admit(TimePoint now) {
    if (kind == Kind::Bucket) {
      tokens =
          std::min(burst + 1, tokens + rate * std::chrono::duration<double>(now - last).count());
      last = now;
      if (tokens < 1) return false;
      tokens -= 1;
      return true;
    }
    while (!window.empty() && now - window.front() >= std::chrono::seconds(1)) window.pop_front();
    if (window.size() >= static_cast<size_t>(rate)) return false;
    window.push_back(now);
    return true;
  }
};

struct Outcome {
  double firstRefusalS = -1;
  std::vector<int> acceptedPerMs;  // answers accepted, by the millisecond they came
  int accepted = 0;
  int refused = 0;
  // Accepted answers over the second that ends at `endS`.
  int AcceptedInSecondTo(double endS) const {
    const int end = std::min(static_cast<int>(endS * 1000), static_cast<int>(acceptedPerMs.size()));
    int sum = 0;
    for (int ms = std::max(end - 1000, 0); ms < end; ++ms) sum += acceptedPerMs[ms];
    return sum;
  }
};

Outcome Simulate(Limiter host, int seconds) {
  constexpr int kWorkers = 15;
  constexpr int kLatencyMs = 10;
  struct Worker {
    std::optional<TimePoint> sent;
    TimePoint due{};
    bool admitted = false;
  };
  PaceRule rule;
  std::vector<Worker> workers(kWorkers);
  const TimePoint zero{std::chrono::hours(1)};
  host.last = zero;
  host.tokens = host.burst + 1;
  Outcome out;
  out.acceptedPerMs.assign(static_cast<size_t>(seconds) * 1000, 0);
  for (int ms = 0; ms < seconds * 1000; ++ms) {
    const TimePoint now = zero + Ms(ms);
    for (Worker& w : workers) {
      if (!w.sent || w.due > now) continue;
      if (w.admitted) {
        rule.Answered(now, *w.sent, true);
        ++out.accepted;
        ++out.acceptedPerMs[ms];
      } else {
        rule.Refused(now, *w.sent, std::chrono::seconds(1));
        ++out.refused;
        if (out.firstRefusalS < 0) out.firstRefusalS = ms / 1000.0;
      }
      w.sent.reset();
    }
    for (Worker& w : workers) {
      if (w.sent || rule.StartAt(now) > now) continue;
      rule.Start(now);
      w.sent = now;
      w.due = now + Ms(kLatencyMs);
      w.admitted = host.Admit(now);
    }
  }
  return out;
}

// After its first refusal the rule reaches 80% of the allowed rate within five seconds and
// keeps near it, with under a tenth of the requests refused.
TEST(PaceRule, FindsTheAllowedRateOfTokenBucketsAndSlidingWindows) {
  struct Case {
    Limiter host;
    const char* name;
  };
  using K = Limiter::Kind;
  for (const Case& c : std::vector<Case>{{Limiter(K::Bucket, 20, 10), "bucket 20/s burst 10"},
                                         {Limiter(K::Bucket, 20, 0), "bucket 20/s"},
                                         {Limiter(K::Bucket, 5, 0), "bucket 5/s"},
                                         {Limiter(K::Bucket, 50, 0), "bucket 50/s"},
                                         {Limiter(K::Bucket, 50, 25), "bucket 50/s burst 25"},
                                         {Limiter(K::Window, 20), "sliding second 20"},
                                         {Limiter(K::Window, 50), "sliding second 50"}}) {
    SCOPED_TRACE(c.name);
    constexpr int kSeconds = 30;
    const Outcome out = Simulate(c.host, kSeconds);
    ASSERT_GE(out.firstRefusalS, 0);
    int best = 0;
    for (double end = out.firstRefusalS + 1; end <= out.firstRefusalS + 5; end += 0.001) {
      best = std::max(best, out.AcceptedInSecondTo(end));
    }
    const double allowed = c.host.rate;
    EXPECT_GE(best, 0.8 * allowed) << "within 5 s of the first refusal";
    const double from = out.firstRefusalS + 5;
    int later = 0;
    for (int ms = static_cast<int>(from * 1000); ms < kSeconds * 1000; ++ms) {
      later += out.acceptedPerMs[ms];
    }
    EXPECT_GE(later / (kSeconds - from), 0.8 * allowed) << "kept afterwards";
    EXPECT_LT(out.refused, 0.1 * (out.accepted + out.refused));
  }
}

}  // namespace
}  // namespace albumora::net
