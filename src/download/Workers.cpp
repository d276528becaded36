// The worker pool: a manager keeps up to the configured number of workers busy, one picture per
// worker thread, writes the progress and tells the host when the album is done.
//
// The manager joins every worker it started before it returns, also after a stop request: a
// stop starts no new worker and ends the manager's loop at its next wake-up, and it reaches the
// pictures being fetched too (their exchanges end at once, as failures that leave no file), so
// the join is prompt even during a stalled or trickling answer. No worker outlives the download
// list, the album folder or the job's repairs.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "download/DownloadJob.h"
#include "download/Naming.h"
#include "download/Workers.h"
#include "fs/FileNames.h"
#include "model/AppState.h"
#include "net/HttpEngine.h"

namespace albumora {

namespace {

constexpr uint32_t kConnectTimeoutMs = 20000;
constexpr unsigned kPictureFetchFlags = REQ_CACHE | REQ_NORELOAD;

// Workers report their end here; the manager wakes once per ended worker.
class EndQueue {
 public:
  void Push(size_t slot) {
    {
      std::lock_guard lock(mutex_);
      ended_.push_back(slot);
    }
    ready_.notify_one();
  }
  size_t Pop() {
    std::unique_lock lock(mutex_);
    ready_.wait(lock, [this] { return !ended_.empty(); });
    size_t slot = ended_.front();
    ended_.pop_front();
    return slot;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<size_t> ended_;
};

// One address: true when it gave a body (else the fallback is tried); saved tells whether the
// picture file landed, failure and error why not.
bool FetchInto(HttpRequest& request, bool& saved, FetchFailure& failure, std::string& error) {
  saved = false;
  if (request.strUrl.empty()) return false;
  HttpResponse response;
  const bool got = HttpFetch(request, response, kPictureFetchFlags) && response.nBodyBytes > 0;
  saved = got && response.bSaved;
  failure = response.failure;
  error = response.strError;
  if (!saved && failure == FetchFailure::None) {
    failure = got ? FetchFailure::NotWritten : FetchFailure::NotPicture;  // an empty answer
    if (error.empty()) error = got ? "the file could not be written" : "an empty answer";
  }
  return got;
}

}  // namespace

PoolParams& Pool() {
  static PoolParams params;
  return params;
}

bool DownloadPicture(const PictureTask& task, FetchFailure* failure, std::string* error) {
  HttpRequest request;
  InitRequest(request, std::string(), std::string(), kConnectTimeoutMs);
  std::string fallback;
  size_t cut = task.line.find("\r\n");
  if (cut == std::string::npos) {
    request.strUrl = task.line;
  } else {
    request.strUrl = task.line.substr(0, cut);
    fallback = task.line.substr(cut + 2);
  }
  const PoolParams& pool = Pool();
  request.nReadTimeout = pool.timeoutSec.load() * 1000;
  request.nTimeout = kConnectTimeoutMs;
  request.strHeaders = task.header;
  request.nMinKB = pool.minKB.load();
  request.nMaxKB = pool.maxKB.load();
  request.strSavePath = task.savePath;
  request.nRetryPause = pool.retryPauseSec.load();
  // An error page ("404 Not Found"), an HTML page or an empty answer is no picture: the
  // fallback is tried and nothing written. A coded picture lands decoded.
  request.bRefuseErrorStatus = true;
  request.bPicture = true;
  request.stopRequested = [] { return Pool().stop.load(); };

  bool saved = false;
  FetchFailure why = FetchFailure::None;
  std::string text;
  // A stopped job tries no fallback.
  if (!FetchInto(request, saved, why, text) && !fallback.empty() && !Pool().stop.load()) {
    request.strUrl = fallback;
    FetchInto(request, saved, why, text);
  }
  // Whatever a stop cut short was stopped, not failed.
  if (!saved && Pool().stop.load()) {
    why = FetchFailure::Stopped;
    text = "stopped";
  }
  if (failure != nullptr) *failure = saved ? FetchFailure::None : why;
  if (error != nullptr) *error = saved ? std::string() : text;
  return saved;
}

void DownPicFunc(AppState& app, const PictureDoneFn& done) {
  PoolParams& pool = Pool();
  const DownloadList& list = app.downloadList;
  pool.finished = 0;
  pool.written = 0;
  const size_t total = list.size();
  const size_t slots = std::min<size_t>(pool.threads.load(), total);
  if (slots == 0) return;

  pool.running = true;
  const auto start = std::chrono::steady_clock::now();
  long lastShown = static_cast<long>(total) + 1;
  EndQueue ends;
  std::vector<std::thread> workers(slots);
  size_t busy = 0;

  auto showProgress = [&] {
    const long finished = pool.finished.load();
    const bool last = finished >= static_cast<long>(total);
    if (finished != lastShown || last) {
      char text[64];
      std::snprintf(text, sizeof text, "已下载%ld/%zu......", finished, total);
      app.host.SetStatus(StatusLine::Progress, text);
      lastShown = finished;
    }
    return last;
  };
  auto startWorker = [&](size_t slot, size_t index) {
    PictureTask task{list.arrUrl[index], list.arrHeader[index],
                     list.strSaveDir + list.arrName[index]};
    try {
      workers[slot] = std::thread([&ends, &done, slot, index, task = std::move(task)] {
        PictureResult result;
        if (DownloadPicture(task, &result.failure, &result.error)) {
          std::error_code error;
          const auto size = std::filesystem::file_size(FitFileName(task.savePath), error);
          if (!error) {
            result.state = PictureResult::State::Written;
            result.bytes = size;
            Pool().written.fetch_add(1);
            Pool().bytesWritten.fetch_add(size);
          } else {
            result.failure = FetchFailure::NotWritten;
            result.error = "the file is gone after writing: " + error.message();
          }
        }
        if (result.state != PictureResult::State::Written) {
          result.state = PictureResult::State::Failed;
        }
        if (done) done(index, result);
        Pool().finished.fetch_add(1);
        ends.Push(slot);
      });
      ++busy;
    } catch (const std::system_error&) {
      // The slot stays empty; the pictures it would have taken are not started.
    }
  };
  // The next picture to fetch: those already there finish at once, without a worker.
  size_t next = 0;
  auto nextToFetch = [&] {
    while (next < total && next < list.arrAlready.size() && list.arrAlready[next] != 0) {
      PictureResult result;
      result.state = PictureResult::State::Already;
      if (done) done(next, result);
      pool.finished.fetch_add(1);
      ++next;
    }
    return next < total ? next++ : total;
  };

  for (size_t slot = 0; slot < slots && !pool.stop.load(); ++slot) {
    const size_t index = nextToFetch();
    if (index < total) startWorker(slot, index);
  }
  // Nothing to fetch (everything already there): the progress is shown once all the same.
  bool last = busy == 0 && showProgress();

  while (busy > 0 && !last) {
    size_t slot = ends.Pop();
    --busy;
    if (pool.stop.load()) break;
    workers[slot].join();
    if (const size_t index = nextToFetch(); index < total) startWorker(slot, index);
    last = showProgress();
  }

  for (std::thread& worker : workers) {
    if (worker.joinable()) worker.join();
  }
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  app.host.PoolFinished(static_cast<long>(elapsed.count()), static_cast<long>(total));
  pool.running = false;
}

}  // namespace albumora
