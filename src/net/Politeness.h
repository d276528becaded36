// SPDX-License-Identifier: GPL-3.0-or-later
// Politeness towards the sites: per-host gates (a pause after a refusal, adaptive pacing, a
// fixed interval, a cap of parallel requests) and one shared byte budget for the whole engine.
// The engine enters a host's gate before each exchange and tells it how the answer went.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

namespace albumora::net {

using PoliteClock = std::chrono::steady_clock;

// How the engine is to be polite; a copy of the engine limits' values.
struct PoliteRules {
  uint32_t waitMs = 0;              // fixed least interval between requests to one host
  bool randomWait = false;          // each interval 0.5 to 1.5 times waitMs
  uint32_t perHostConnections = 0;  // parallel requests to one host (0: no cap)
};

// Sleeps until the time point, in short steps; false as soon as stop answers true.
bool SleepUntil(PoliteClock::time_point until, const std::function<bool()>& stop);

// Enters the host's gate: waits out its pause, its pacing (PaceRule.h) and its connection cap.
// False when a stop came first (the gate is then not held). A true return must be matched by
// LeaveHost or PauseHost; started (when given) receives the time the exchange was let in.
bool EnterHost(const std::string& host, const PoliteRules& rules, const std::function<bool()>& stop,
               PoliteClock::time_point* started = nullptr);
// The exchange let in at sentAt is over; accepted: the site gave an answer that was no refusal
// (it counts towards the rate the host is seen to accept).
void LeaveHost(const std::string& host, PoliteClock::time_point sentAt, bool accepted);
// The exchange let in at sentAt was refused: it is over, the host is paused for `wait` from now
// for every worker, and its pacing slows down (PaceRule). True when this begins a new pause or
// lengthens the current one by more than a second (the one to tell the user about).
bool PauseHost(const std::string& host, PoliteClock::time_point sentAt, PoliteClock::duration wait);
// A host's pacing as it stands, for tests and reports.
struct HostPace {
  uint64_t requests = 0;  // exchanges started
  uint64_t refusals = 0;  // refusals seen
  double intervalMs = 0;  // adaptive least interval between starts (0: unpaced)
};
HostPace GetHostPace(const std::string& host);
// Forgets every host's pause and pacing (a new job, or a test).
void ResetHostPacing();

// The engine-wide download budget: `bytes` just arrived, with the limit in bytes a second;
// sleeps as long as the shared budget asks. False when a stop came first.
bool SpendBudget(uint64_t bytes, uint64_t bytesPerSecond, const std::function<bool()>& stop);

// The wait before the attempt'th re-ask of a request: the Retry-After value (seconds, or an HTTP
// date; capped at 10 minutes), or without one exactly 1, 2, 4 ... times baseMs, capped at 60 s.
PoliteClock::duration RefusalWait(const std::string& retryAfter, unsigned attempt, uint32_t baseMs);

}  // namespace albumora::net
