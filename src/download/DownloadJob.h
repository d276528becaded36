// The download job, the worker pool and the picture repairs.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

namespace albumora {

struct AppState;

// The "下载" command (window thread): starts the job on its own thread, or requests a stop.
void DownloadCommand(AppState& app);
// The job body, on the calling thread.
void RunDownloadJob(AppState& app);

// The worker pool's process-wide values.
struct PoolParams {
  std::atomic<uint32_t> minKB{0};
  std::atomic<uint32_t> maxKB{0};
  std::atomic<uint32_t> threads{5};
  std::atomic<uint32_t> timeoutSec{30};
  std::atomic<int32_t> finished{0};
  std::atomic<bool> stop{false};
  std::atomic<bool> running{false};
};
PoolParams& Pool();

// Runs the pool manager over app.downloadList on the calling thread (DownPicFunc's body).
void DownPicFunc(AppState& app);

// One picture of the pool (a worker's body): the address line (a fallback after "\r\n"), the
// extra header text and the file to write. True when the file was written.
struct PictureTask {
  std::string line;
  std::string header;
  std::string savePath;
};
bool DownloadPicture(const PictureTask& task);

// Repairs.
bool FixFormat(std::string& path);
void FixFormatList(AppState& app);
void FixOrder(AppState& app);
void SetAllFileTimes(const std::string& path, int64_t seconds);

}  // namespace albumora
