// The worker pool: up to 15 pictures at a time over the download list.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "net/HttpEngine.h"

namespace albumora {

struct AppState;

// The worker pool's process-wide values.
struct PoolParams {
  std::atomic<uint32_t> minKB{0};
  std::atomic<uint32_t> maxKB{0};
  std::atomic<uint32_t> threads{5};
  std::atomic<uint32_t> timeoutSec{30};
  std::atomic<int32_t> finished{0};
  std::atomic<int32_t> written{0};        // pictures written in the current pool
  std::atomic<uint64_t> bytesWritten{0};  // their bytes
  // Pictures of the current pool that were not written, by the reason of their last attempt.
  std::array<std::atomic<int32_t>, kFetchFailureKinds> failedBy{};
  std::atomic<bool> stop{false};
  std::atomic<bool> running{false};
  // The engine's pause after a failed attempt, in seconds (1; tests that are not about the
  // pause set 0).
  std::atomic<uint8_t> retryPauseSec{1};
};
PoolParams& Pool();

// Runs the pool manager over app.downloadList on the calling thread (DownPicFunc's body).
void DownPicFunc(AppState& app);

// One picture of the pool (a worker's body): the address line (a fallback after "\r\n"), the
// extra header text and the file to write. True when the file was written; otherwise failure
// (when given) tells why the last address tried failed.
struct PictureTask {
  std::string line;
  std::string header;
  std::string savePath;
};
bool DownloadPicture(const PictureTask& task, FetchFailure* failure = nullptr);

}  // namespace albumora
