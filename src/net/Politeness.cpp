// SPDX-License-Identifier: GPL-3.0-or-later
#include "net/Politeness.h"

#include <curl/curl.h>

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <map>
#include <mutex>
#include <random>
#include <thread>

#include "net/PaceRule.h"

namespace albumora::net {

namespace {

using Clock = PoliteClock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr auto kPollStep = std::chrono::milliseconds(50);
constexpr auto kMaxRetryAfter = std::chrono::minutes(10);
constexpr auto kMaxBackoff = std::chrono::seconds(60);

class HostGates {
 public:
  std::mutex mutex;
  std::condition_variable freed;
  std::map<std::string, PaceRule> hosts;  // guarded by mutex
};

HostGates& Gates() {
  static HostGates gates;
  return gates;
}

struct Budget {
  std::mutex mutex;
  double tokens = 0;
  Clock::time_point last = Clock::now();
};

Budget& SharedBudget() {
  static Budget budget;
  return budget;
}

double RandomUnit() {
  thread_local std::mt19937 engine{std::random_device{}()};
  return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
}

// The caller's own least interval after a start.
Clock::duration FixedGap(const PoliteRules& rules) {
  double ms = rules.waitMs;
  if (rules.randomWait) ms *= 0.5 + RandomUnit();
  return std::chrono::duration_cast<Clock::duration>(Millis(ms));
}

}  // namespace

bool SleepUntil(Clock::time_point until, const std::function<bool()>& stop) {
  for (;;) {
    if (stop && stop()) return false;
    const auto now = Clock::now();
    if (now >= until) return true;
    std::this_thread::sleep_for(std::min<Clock::duration>(until - now, kPollStep));
  }
}

bool EnterHost(const std::string& host, const PoliteRules& rules, const std::function<bool()>& stop,
               Clock::time_point* started) {
  HostGates& gates = Gates();
  std::unique_lock lock(gates.mutex);
  for (;;) {
    if (stop && stop()) return false;
    PaceRule& pace = gates.hosts[host];
    const auto now = Clock::now();
    const bool capped =
        rules.perHostConnections != 0 && pace.InFlight() >= rules.perHostConnections;
    const auto at = capped ? Clock::time_point::max() : pace.StartAt(now);
    if (at <= now) {
      pace.Start(now, FixedGap(rules));
      if (started != nullptr) *started = now;
      return true;
    }
    if (at == Clock::time_point::max()) {
      gates.freed.wait_for(lock, kPollStep);
      continue;
    }
    // Another worker may take the slot, or a refusal pause the host meanwhile: look again.
    lock.unlock();
    const bool awake = SleepUntil(at, stop);
    lock.lock();
    if (!awake) return false;
  }
}

void LeaveHost(const std::string& host, Clock::time_point sentAt, bool accepted) {
  HostGates& gates = Gates();
  {
    std::lock_guard lock(gates.mutex);
    gates.hosts[host].Answered(Clock::now(), sentAt, accepted);
  }
  gates.freed.notify_all();
}

bool PauseHost(const std::string& host, Clock::time_point sentAt, Clock::duration wait) {
  HostGates& gates = Gates();
  bool told = false;
  {
    std::lock_guard lock(gates.mutex);
    told = gates.hosts[host].Refused(Clock::now(), sentAt, wait);
  }
  gates.freed.notify_all();
  return told;
}

HostPace GetHostPace(const std::string& host) {
  std::lock_guard lock(Gates().mutex);
  auto it = Gates().hosts.find(host);
  if (it == Gates().hosts.end()) return {};
  const PaceRule& pace = it->second;
  return {pace.Requests(), pace.Refusals(), pace.Rate() > 0 ? 1000.0 / pace.Rate() : 0.0};
}

void ResetHostPacing() {
  std::lock_guard lock(Gates().mutex);
  std::erase_if(Gates().hosts, [](const auto& entry) { return entry.second.InFlight() == 0; });
}

bool SpendBudget(uint64_t bytes, uint64_t bytesPerSecond, const std::function<bool()>& stop) {
  if (bytesPerSecond == 0) return true;
  Budget& budget = SharedBudget();
  Clock::time_point until;
  {
    std::lock_guard lock(budget.mutex);
    const auto now = Clock::now();
    const double rate = static_cast<double>(bytesPerSecond);
    const double elapsed = std::chrono::duration<double>(now - budget.last).count();
    budget.last = now;
    // A quarter of a second's worth may be spent at once; a debt is paid by waiting.
    budget.tokens = std::min(budget.tokens + elapsed * rate, rate / 4);
    budget.tokens -= static_cast<double>(bytes);
    if (budget.tokens >= 0) return true;
    until = now + std::chrono::duration_cast<Clock::duration>(
                      std::chrono::duration<double>(-budget.tokens / rate));
  }
  return SleepUntil(until, stop);
}

Clock::duration RefusalWait(const std::string& retryAfter, unsigned attempt, uint32_t baseMs) {
  if (!retryAfter.empty()) {
    if (std::all_of(retryAfter.begin(), retryAfter.end(),
                    [](char c) { return c >= '0' && c <= '9'; })) {
      const auto digits = retryAfter.substr(0, 6);  // past 999999 s the cap applies anyway
      return std::min<Clock::duration>(std::chrono::seconds(std::stol(digits)), kMaxRetryAfter);
    }
    const time_t when = curl_getdate(retryAfter.c_str(), nullptr);
    if (when != -1) {
      const auto seconds =
          std::max<long long>(0, static_cast<long long>(when - std::time(nullptr)));
      return std::min<Clock::duration>(std::chrono::seconds(seconds), kMaxRetryAfter);
    }
  }
  const unsigned doublings = std::min(attempt > 0 ? attempt - 1 : 0u, 16u);
  const double ms = static_cast<double>(baseMs) * static_cast<double>(1u << doublings);
  return std::min<Clock::duration>(std::chrono::duration_cast<Clock::duration>(Millis(ms)),
                                   kMaxBackoff);
}

}  // namespace albumora::net
