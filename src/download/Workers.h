// SPDX-License-Identifier: GPL-3.0-or-later
// The worker pool: up to 15 pictures at a time over the download list.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "net/HttpEngine.h"

namespace albumora {

struct AppState;
struct DownloadList;

// The worker pool's process-wide values.
struct PoolParams {
  std::atomic<uint32_t> minKB{0};
  std::atomic<uint32_t> maxKB{0};
  std::atomic<uint32_t> threads{5};
  std::atomic<uint32_t> timeoutSec{30};
  std::atomic<int32_t> finished{0};       // pictures finished in the current pool
  std::atomic<int32_t> written{0};        // of which written
  std::atomic<uint64_t> bytesWritten{0};  // their bytes (never reset)
  std::atomic<bool> stop{false};
  std::atomic<bool> running{false};
  // The engine's pause after a failed attempt, in seconds (1; tests that are not about the
  // pause set 0).
  std::atomic<uint8_t> retryPauseSec{1};
  // Set (with stop) when a picture could not be written because the disk or the user's quota
  // is full: every later picture would fail the same way. Cleared when a job starts.
  std::atomic<bool> diskFull{false};
};
PoolParams& Pool();

// One address a picture was asked at, and what it gave.
struct PictureAttempt {
  std::string url;
  FetchFailure failure = FetchFailure::None;  // None: the picture came from here
  std::string error;                          // the engine's words ("host: HTTP 404 Not Found")
};

// What became of one picture of the pool.
struct PictureResult {
  enum class State : uint8_t { NotStarted, Written, Failed, Already };
  State state = State::NotStarted;
  // Why not written (Stopped when a stop cut it): the failure at the last address tried.
  FetchFailure failure = FetchFailure::None;
  std::string error;   // the engine's words for that failure
  uint64_t bytes = 0;  // the file's size, when written
  // Where the bytes came from, or the last address tried; empty when none was tried.
  std::string url;
  std::vector<PictureAttempt> attempts;  // each address tried, in order
};

// The documented name of a failure ("network", "time-out", "HTTP status", "size limit", "not a
// picture", "not written", "too slow", "stopped", "refused by the site", "disk full").
const char* FailureReason(FetchFailure failure);
// Called once for every picture the pool finishes, on the thread that finished it (a worker,
// or the manager for a picture already there); index is its place in the download list.
using PictureDoneFn = std::function<void(size_t index, const PictureResult& result)>;

// The worker pool of a job: albums join it as their lists end, and their pictures are fetched
// in the order they joined, up to Pool().threads at a time, so the tail of one album overlaps
// the next. A stop (Pool().stop) starts no further picture and cuts those being fetched.
class PicturePool {
 public:
  PicturePool();
  ~PicturePool();  // Close, then Join
  PicturePool(const PicturePool&) = delete;
  PicturePool& operator=(const PicturePool&) = delete;

  // Queues the pictures of an album's list. A picture marked in arrAlready is not fetched: it
  // is done at once, on the calling thread. The list and done must live until each picture of
  // the list is done or the pool is joined. False when no worker could be started (nothing of
  // the list is then queued).
  bool Add(const DownloadList& list, PictureDoneFn done);
  // No more albums: the workers end once the queue is empty.
  void Close();
  // Waits for every worker. Pictures a stop left unstarted get no call.
  void Join();
  // Pictures queued and not yet started.
  size_t Waiting() const;

 private:
  struct Task {
    const DownloadList* list;
    size_t index;
    const PictureDoneFn* done;
  };
  void Work();

  mutable std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<Task> tasks_;
  std::deque<PictureDoneFn> dones_;  // stable addresses for the tasks
  std::vector<std::thread> workers_;
  size_t idle_ = 0;
  bool closed_ = false;
};

// The pictures of one album the pool has finished, for the thread that shows its progress.
class AlbumProgress {
 public:
  explicit AlbumProgress(size_t total) : total_(total) {}
  // For each picture of the album, from the pool's done call.
  void Done(const PictureResult& result);
  // No picture of the album will finish: no worker could be started for them.
  void Abandon();
  // Shows "已下载x/y......" as pictures finish (one ended by a stop is no progress), calling
  // wake after every wake-up; true once every picture is done, false at a stop or when
  // abandoned.
  bool ShowUntilDone(AppState& app, const DownloadList& list,
                     const std::function<void()>& wake = {});

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t total_;
  size_t finished_ = 0;
  size_t counted_ = 0;  // of which not ended by a stop
  bool abandoned_ = false;
};

// The pool over one album's list alone, on the calling thread: the progress is shown as
// pictures finish, and the host told at the end. A picture marked in arrAlready is not fetched:
// it counts as finished at once. Pictures left unstarted by a stop get no call.
void DownPicFunc(AppState& app, const DownloadList& list, const PictureDoneFn& done = {});

// "已下载3/12......" in the progress line, and the album shown with its count.
void ShowPictureProgress(AppState& app, const DownloadList& list, long finished);

// One picture of the pool (a worker's body): the address line (a fallback after "\r\n"), the
// extra header text and the file to write. True when the file was written; otherwise failure
// (when given) tells why the last address tried failed. attempts (when given) gets each
// address tried and what it gave. A full disk (DiskFull) sets Pool().diskFull and stops the
// pool: no further picture starts.
struct PictureTask {
  std::string line;
  std::string header;
  std::string savePath;
};
bool DownloadPicture(const PictureTask& task, FetchFailure* failure = nullptr,
                     std::string* error = nullptr, std::vector<PictureAttempt>* attempts = nullptr);

}  // namespace albumora
