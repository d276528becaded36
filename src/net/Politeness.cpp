#include "net/Politeness.h"

#include <curl/curl.h>

#include <algorithm>
#include <condition_variable>
#include <ctime>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <thread>

namespace albumora::net {

namespace {

using Clock = PoliteClock;
using Millis = std::chrono::duration<double, std::milli>;

constexpr auto kPollStep = std::chrono::milliseconds(50);
constexpr auto kMaxRetryAfter = std::chrono::minutes(10);
constexpr auto kMaxBackoff = std::chrono::seconds(60);
// Pacing after a refusal: a little under the rate the host was seen to accept.
constexpr double kPaceMargin = 1.1;
// Each accepted answer shortens the adaptive interval by this share (the rate grows back).
constexpr double kPaceRecovery = 0.004;

struct HostState {
  Clock::time_point pausedUntil{};
  Clock::time_point nextSlot{};
  double intervalMs = 0;
  std::deque<Clock::time_point> accepted;  // answers accepted over the last second
  uint32_t active = 0;
  uint64_t requests = 0;
  uint64_t refusals = 0;
};

class HostGates {
 public:
  std::mutex mutex;
  std::condition_variable freed;
  std::map<std::string, HostState> hosts;
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

Clock::duration Interval(const HostState& host, const PoliteRules& rules) {
  double ms = rules.waitMs;
  if (rules.randomWait) ms *= 0.5 + RandomUnit();
  ms = std::max(ms, host.intervalMs);
  return std::chrono::duration_cast<Clock::duration>(Millis(ms));
}

void DropOld(HostState& host, Clock::time_point now) {
  while (!host.accepted.empty() && now - host.accepted.front() > std::chrono::seconds(1)) {
    host.accepted.pop_front();
  }
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

bool EnterHost(const std::string& host, const PoliteRules& rules,
               const std::function<bool()>& stop) {
  HostGates& gates = Gates();
  std::unique_lock lock(gates.mutex);
  for (;;) {
    if (stop && stop()) return false;
    HostState& state = gates.hosts[host];
    auto now = Clock::now();
    if (rules.perHostConnections != 0 && state.active >= rules.perHostConnections) {
      gates.freed.wait_for(lock, kPollStep);
      continue;
    }
    const auto start = std::max({now, state.pausedUntil, state.nextSlot});
    state.nextSlot = start + Interval(state, rules);
    if (start > now) {
      lock.unlock();
      const bool awake = SleepUntil(start, stop);
      lock.lock();
      if (!awake) return false;
      // A refusal meanwhile may have paused the host again, or the cap filled up.
      HostState& again = gates.hosts[host];
      if (again.pausedUntil > Clock::now()) continue;
      if (rules.perHostConnections != 0 && again.active >= rules.perHostConnections) continue;
      ++again.active;
      ++again.requests;
      return true;
    }
    ++state.active;
    ++state.requests;
    return true;
  }
}

void LeaveHost(const std::string& host, bool accepted) {
  HostGates& gates = Gates();
  {
    std::lock_guard lock(gates.mutex);
    HostState& state = gates.hosts[host];
    if (state.active > 0) --state.active;
    if (accepted) {
      const auto now = Clock::now();
      state.accepted.push_back(now);
      DropOld(state, now);
      state.intervalMs *= 1.0 - kPaceRecovery;
      if (state.intervalMs < 1.0) state.intervalMs = 0;
    }
  }
  gates.freed.notify_all();
}

bool PauseHost(const std::string& host, Clock::duration wait) {
  std::lock_guard lock(Gates().mutex);
  HostState& state = Gates().hosts[host];
  const auto now = Clock::now();
  ++state.refusals;
  DropOld(state, now);
  // Pace at a little under the rate the host accepted over the last second (or since its last
  // pause ended, when that is nearer), and at least a quarter slower than before. Refusals of
  // requests sent before the host's current pause began belong to the same burst: no change.
  if (state.pausedUntil > now) {
    const bool longer = now + wait > state.pausedUntil + std::chrono::seconds(1);
    state.pausedUntil = std::max(state.pausedUntil, now + wait);
    state.nextSlot = std::max(state.nextSlot, state.pausedUntil);
    return longer;
  }
  const auto seen = state.accepted.size();
  const auto since = std::min<Clock::duration>(now - state.pausedUntil, std::chrono::seconds(1));
  const double spanMs = std::max(Millis(since).count(), 1.0);
  const double paced = seen > 0 ? spanMs * kPaceMargin / static_cast<double>(seen) : 100.0;
  state.intervalMs = std::max(paced, state.intervalMs * 1.25);
  state.pausedUntil = now + wait;
  state.nextSlot = std::max(state.nextSlot, state.pausedUntil);
  return true;
}

HostPace GetHostPace(const std::string& host) {
  std::lock_guard lock(Gates().mutex);
  auto it = Gates().hosts.find(host);
  if (it == Gates().hosts.end()) return {};
  return {it->second.requests, it->second.refusals, it->second.intervalMs};
}

void ResetHostPacing() {
  std::lock_guard lock(Gates().mutex);
  std::erase_if(Gates().hosts, [](const auto& entry) { return entry.second.active == 0; });
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
  double ms = static_cast<double>(baseMs) * static_cast<double>(1u << doublings);
  ms = std::min(ms, std::chrono::duration<double, std::milli>(kMaxBackoff).count());
  ms *= 1.0 + RandomUnit() / 4;
  return std::min<Clock::duration>(std::chrono::duration_cast<Clock::duration>(Millis(ms)),
                                   kMaxBackoff);
}

}  // namespace albumora::net
