// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/PaceRule.h"

#include <algorithm>

namespace albumora::net {

namespace {

using Seconds = std::chrono::duration<double>;
using Duration = PaceRule::Duration;

constexpr auto kMeasureWindow = std::chrono::seconds(4);  // the accepted rate is measured over it
constexpr double kReliableSeconds = 1.5;                  // a shorter measure may be mostly a burst
constexpr double kSearchStart = 4;  // requests a second at least, when the search begins
// Search: the rate grows by half after a step of clean answers: a quarter second and two answers.
constexpr auto kSearchStep = std::chrono::milliseconds(250);
constexpr uint32_t kSearchAnswers = 2;
constexpr double kSearchGrowth = 1.5;
// Search: a refusal among the first requests of a step came at once (no allowance ran out).
constexpr uint32_t kAtOnce = 3;
constexpr auto kProbeStep = std::chrono::seconds(1);  // probe: adds per clean second
// Probe: far under the rate last refused it climbs back by a tenth of that rate a second, near
// it by a hundredth of its own rate, past it (the host may allow more now) by a twentieth.
constexpr double kNear = 0.9;
constexpr double kClimbShare = 0.1;
constexpr double kPlateauShare = 0.01;
constexpr double kBeyondShare = 0.05;
constexpr double kLeastStep = 0.02;     // requests a second
constexpr double kCut = 0.9;            // probe: the cut on a refusal at most
constexpr double kDeepestCut = 0.5;     // ... and at least
constexpr double kUnderMeasured = 0.9;  // search: pace a little under the measure
constexpr double kUnderSteady = 0.95;   // probe: the measure holds most of the refused rate too
constexpr double kLeastRate = 0.1;      // requests a second
constexpr auto kFirstSecond = std::chrono::seconds(1);
constexpr uint32_t kFirstSecondCap = 8;  // requests in flight in a host's first second ...
constexpr auto kQuickAnswer = std::chrono::milliseconds(20);  // ... while its answers come so fast
constexpr uint32_t kOpenWindow = 32;  // the start window doubles up to this, then no cap

Duration Interval(double rate) {
  if (rate <= 0) return Duration::zero();
  return std::chrono::duration_cast<Duration>(Seconds(1.0 / rate));
}

}  // namespace

PaceRule::TimePoint PaceRule::StartAt(TimePoint now) const {
  if (window_ != 0 && inFlight_ >= window_) return TimePoint::max();
  TimePoint at = std::max({now, pausedUntil_, nextSlot_});
  // In the first second of a host that answers quickly a few requests at a time: a sliding
  // window's second then fills up with fewer of them in flight, all refused.
  if (mode_ == Mode::Unpaced && quick_ && inFlight_ >= kFirstSecondCap) {
    at = std::max(at, firstStart_ + kFirstSecond);
  }
  return at;
}

void PaceRule::Start(TimePoint now, Duration gap) {
  if (!started_) {
    started_ = true;
    firstStart_ = now;
    openSince_ = now;
    stepAt_ = now;
  }
  ++inFlight_;
  ++requests_;
  if (++stepStarts_ == kAtOnce) lastAtOnce_ = now;
  nextSlot_ = now + std::max(Interval(rate_), gap);
}

void PaceRule::Answered(TimePoint now, TimePoint sentAt, bool accepted) {
  if (inFlight_ > 0) --inFlight_;
  quick_ = now - sentAt < kQuickAnswer;
  if (!accepted) return;
  accepted_.push_back(now);
  while (!accepted_.empty() && now - accepted_.front() > kMeasureWindow) accepted_.pop_front();
  if (window_ != 0 && (window_ *= 2) > kOpenWindow) window_ = 0;
  ++stepAccepted_;
  MaybeSpeedUp(now);
}

double PaceRule::Measured(TimePoint now, double& span) const {
  const TimePoint from = std::max(now - kMeasureWindow, openSince_);
  span = std::max(Seconds(now - from).count(), 0.0);
  const auto count = accepted_.end() - std::lower_bound(accepted_.begin(), accepted_.end(), from);
  return static_cast<double>(count) / std::max(span, 1.0);
}

void PaceRule::MaybeSpeedUp(TimePoint now) {
  if (mode_ == Mode::Unpaced || now < pausedUntil_) return;
  const Duration elapsed = now - stepAt_;
  if (mode_ == Mode::Search) {
    if (elapsed < kSearchStep || stepAccepted_ < kSearchAnswers) return;
  } else if (elapsed < kProbeStep) {
    return;
  }
  // Answers keep coming at about the pace (a run that asks less proves nothing about more).
  if (stepAccepted_ >= rate_ * Seconds(elapsed).count() / 2) {
    if (mode_ == Mode::Search) {
      cleanRate_ = rate_;
      rate_ *= kSearchGrowth;
    } else {
      if (rate_ < kNear * lastRefused_) {
        rate_ = std::min(rate_ + kClimbShare * lastRefused_, kNear * lastRefused_);
      } else {
        rate_ +=
            std::max((rate_ < lastRefused_ ? kPlateauShare : kBeyondShare) * rate_, kLeastStep);
      }
    }
  }
  stepAt_ = now;
  stepAccepted_ = 0;
  stepStarts_ = 0;
}

bool PaceRule::Refused(TimePoint now, TimePoint sentAt, Duration wait) {
  if (inFlight_ > 0) --inFlight_;
  ++refusals_;
  const TimePoint until = now + wait;
  if (sentAt < cutAt_) {
    const bool longer = until > pausedUntil_ + std::chrono::seconds(1);
    if (until > pausedUntil_) {
      pausedUntil_ = until;
      openSince_ = stepAt_ = until;
    }
    return longer;
  }
  double span = 0;
  const double measured = Measured(now, span);
  switch (mode_) {
    case Mode::Unpaced:
      // The first refusal: search up from what the host accepted so far.
      rate_ = std::max(measured, kSearchStart);
      mode_ = Mode::Search;
      break;
    case Mode::Search:
      // Refused at once after a step up: the limit lies between the last clean rate and this
      // one; keep the clean rate. Refused only after a while: an allowance of the host (a burst,
      // or a sliding window's second) ran out: a little under what it accepted meanwhile.
      // The probe then climbs slowly on from the rate kept.
      if (cleanRate_ <= 0) {
        rate_ *= kCut;  // refused again before a step up: no measure yet
        lastRefused_ = rate_;
      } else if (stepStarts_ <= kAtOnce || sentAt <= lastAtOnce_) {
        rate_ = cleanRate_;
        lastRefused_ = rate_ / kNear;  // the slow climb of the plateau from here
      } else {
        rate_ = std::min(cleanRate_, kUnderMeasured * measured);
        lastRefused_ = rate_;
      }
      mode_ = Mode::Probe;
      break;
    case Mode::Probe:
      // A little under the rate the host accepted over the last seconds; a shorter measure
      // since the last pause proves little (a burst allowance, or a start), so then a plain cut.
      lastRefused_ = rate_;
      rate_ = span >= kReliableSeconds
                  ? std::clamp(kUnderSteady * measured, kDeepestCut * rate_, kCut * rate_)
                  : kCut * rate_;
      break;
  }
  rate_ = std::max(rate_, kLeastRate);
  cutAt_ = now;
  pausedUntil_ = std::max(pausedUntil_, until);
  openSince_ = stepAt_ = pausedUntil_;
  stepAccepted_ = 0;
  stepStarts_ = 0;
  nextSlot_ = std::max(nextSlot_, pausedUntil_);
  return true;
}

}  // namespace albumora::net
