// The download job, the worker pool and the picture repairs.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

namespace albumora {

struct AppState;

// The "下载" command (window thread): starts the job on its own thread, or requests a stop.
void DownloadCommand(AppState& app);
// The job body, on the calling thread.
void RunDownloadJob(AppState& app);

// What the job tells a front end that prints a summary, after each album it processed.
struct AlbumReport {
  int position = 0;     // 1-based in the selected list
  int albumIndex = 0;   // in the AlbumList
  size_t listed = 0;    // pictures the adapter listed (after the skip rule)
  int32_t written = 0;  // picture files the pool wrote
  std::string folder;   // the album folder; empty when the album listed nothing
};
using AlbumReportFn = std::function<void(const AlbumReport&)>;
void RunDownloadJob(AppState& app, const AlbumReportFn& report);

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
