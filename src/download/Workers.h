// The worker pool: up to 15 pictures at a time over the download list.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
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
  std::atomic<bool> stop{false};
  std::atomic<bool> running{false};
  // The engine's pause after a failed attempt, in seconds (1; tests that are not about the
  // pause set 0).
  std::atomic<uint8_t> retryPauseSec{1};
};
PoolParams& Pool();

// What became of one picture of the pool.
struct PictureResult {
  enum class State : uint8_t { NotStarted, Written, Failed, Already };
  State state = State::NotStarted;
  FetchFailure failure = FetchFailure::None;  // why not written (Stopped when a stop cut it)
  std::string error;                          // the engine's words for the failure
  uint64_t bytes = 0;                         // the file's size, when written
};
// Called once for every picture the pool finishes, on the thread that finished it (a worker,
// or the manager for a picture already there); index is its place in the download list.
using PictureDoneFn = std::function<void(size_t index, const PictureResult& result)>;

// Runs the pool manager over app.downloadList on the calling thread (DownPicFunc's body). A
// picture marked in arrAlready is not fetched: it counts as finished at once. Pictures left
// unstarted by a stop get no call.
void DownPicFunc(AppState& app, const PictureDoneFn& done = {});

// One picture of the pool (a worker's body): the address line (a fallback after "\r\n"), the
// extra header text and the file to write. True when the file was written; otherwise failure
// (when given) tells why the last address tried failed.
struct PictureTask {
  std::string line;
  std::string header;
  std::string savePath;
};
bool DownloadPicture(const PictureTask& task, FetchFailure* failure = nullptr,
                     std::string* error = nullptr);

}  // namespace albumora
