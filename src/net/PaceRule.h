// SPDX-License-Identifier: GPL-3.0-or-later
// How fast one host is asked: the rule that finds a host's allowed rate again after it refused.
//
// Unpaced until its first refusal, a host first gets two requests in flight, doubling with each
// answer, and at most 8 in its first second while its answers come quickly (so a strict limiter
// or a sliding window refuses a few of them, not a whole burst of workers; a slow host needs
// every worker and is no such burst). The first
// refusal starts a search: pace at the rate the host accepted so far (at least 4 a second) and
// grow by half after every quarter second of clean answers. A refusal among the first requests
// of a step means the limit lies just under it: keep the last clean rate. A refusal only after a
// while means an allowance ran out (a burst, or a sliding window's second): keep the smaller of
// the last clean rate and nine tenths of what the host accepted meanwhile. Then the probe:
// additive increase for every second of clean answers (fast back to nine tenths of the rate last
// refused, then a hundredth a second up to it, a twentieth past it), multiplicative decrease on
// a refusal (to 95% of the rate the host accepted over the last 4 open seconds, between a half
// and nine tenths of the pace; a plain cut to nine tenths when under 1.5 s have passed since the
// last pause, since so short a measure is mostly a burst).
//
// The rule has no clock and no lock of its own: the caller passes the time of every event and
// guards the rule (one per host, shared by every worker).
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

namespace albumora::net {

class PaceRule {
 public:
  using Clock = std::chrono::steady_clock;
  using TimePoint = Clock::time_point;
  using Duration = Clock::duration;

  // The earliest time a request may start: now or later; TimePoint::max() while the requests in
  // flight fill the start window (wait for an answer).
  TimePoint StartAt(TimePoint now) const;
  // A request starts now (StartAt(now) <= now). gap: a least interval of the caller's own before
  // the next start.
  void Start(TimePoint now, Duration gap = Duration::zero());
  // The exchange started at sentAt ended: accepted when the host answered with no refusal
  // (counted towards the rate it accepts), not accepted when no answer came (not counted).
  void Answered(TimePoint now, TimePoint sentAt, bool accepted);
  // Its answer was a refusal: the host is paused for wait from now. A request sent before the
  // last refusal's cut belongs to the same burst: it may lengthen the pause but does not slow
  // the pace again. True when this begins a new pause or lengthens the current one by more than
  // a second.
  bool Refused(TimePoint now, TimePoint sentAt, Duration wait);

  double Rate() const { return rate_; }  // requests a second; 0 while unpaced
  uint32_t InFlight() const { return inFlight_; }
  TimePoint PausedUntil() const { return pausedUntil_; }
  uint64_t Requests() const { return requests_; }
  uint64_t Refusals() const { return refusals_; }

 private:
  enum class Mode : uint8_t { Unpaced, Search, Probe };
  // The accepted answers a second over the last few seconds the host was open (not paused);
  // span: the seconds that covers.
  double Measured(TimePoint now, double& span) const;
  void MaybeSpeedUp(TimePoint now);

  Mode mode_ = Mode::Unpaced;
  double rate_ = 0;
  double cleanRate_ = 0;    // search: the last rate that stayed clean for a whole step
  double lastRefused_ = 0;  // probe: the rate of the last refusal
  uint32_t window_ = 2;     // requests in flight allowed before answers came (0: no cap)
  uint32_t inFlight_ = 0;
  uint64_t requests_ = 0;
  uint64_t refusals_ = 0;
  TimePoint nextSlot_{};
  TimePoint pausedUntil_{};
  TimePoint cutAt_{};  // the last refusal that changed the pace
  TimePoint firstStart_{};
  TimePoint openSince_{};  // the host was last opened (first request, or a pause's end)
  TimePoint stepAt_{};     // the current step of clean answers began
  uint32_t stepAccepted_ = 0;
  uint32_t stepStarts_ = 0;  // requests started in the current step
  TimePoint lastAtOnce_{};   // the last of the step's first requests started
  bool started_ = false;
  bool quick_ = false;              // the last answer came within kQuickAnswer
  std::deque<TimePoint> accepted_;  // accepted answers over the measuring window
};

}  // namespace albumora::net
