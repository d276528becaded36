// SPDX-License-Identifier: GPL-3.0-or-later
// The worker pool: up to the configured number of worker threads take the queued pictures in
// order, one picture at a time, and report each as it ends.
//
// Every worker is joined before the pool goes, also after a stop request: a stop starts no
// further picture and reaches the pictures being fetched too (their exchanges end at once, as
// failures that leave no file), so the join is prompt even during a stalled or trickling answer.
// No worker outlives the download lists, the album folders or the job's repairs.
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
#include "net/SaveStream.h"

namespace albumora {

namespace {

constexpr uint32_t kConnectTimeoutMs = 20000;
constexpr unsigned kPictureFetchFlags = REQ_CACHE | REQ_NORELOAD;

// How often an idle worker or a waiting caller looks at the stop flag, which nobody signals.
constexpr auto kStopLook = std::chrono::milliseconds(50);

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

// One picture of a list, fetched on the calling worker's thread.
PictureResult FetchPicture(const DownloadList& list, size_t index) {
  const PictureTask task{list.arrUrl[index], list.arrHeader[index],
                         list.strSaveDir + list.arrName[index]};
  PictureResult result;
  const bool saved = DownloadPicture(task, &result.failure, &result.error, &result.attempts);
  if (!result.attempts.empty()) result.url = result.attempts.back().url;
  if (saved) {
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
  if (result.state != PictureResult::State::Written) result.state = PictureResult::State::Failed;
  return result;
}

}  // namespace

PoolParams& Pool() {
  static PoolParams params;
  return params;
}

const char* FailureReason(FetchFailure failure) {
  switch (failure) {
    case FetchFailure::None:
      return "none";
    case FetchFailure::Network:
      return "network";
    case FetchFailure::TimedOut:
      return "time-out";
    case FetchFailure::HttpStatus:
      return "HTTP status";
    case FetchFailure::SizeLimit:
      return "size limit";
    case FetchFailure::NotPicture:
      return "not a picture";
    case FetchFailure::NotWritten:
      return "not written";
    case FetchFailure::TooSlow:
      return "too slow";
    case FetchFailure::Stopped:
      return "stopped";
    case FetchFailure::Refused:
      return "refused by the site";
    case FetchFailure::DiskFull:
      return "disk full";
  }
  return "network";
}

bool DownloadPicture(const PictureTask& task, FetchFailure* failure, std::string* error,
                     std::vector<PictureAttempt>* attempts) {
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
  // One retry budget for the picture, its fallback included (HttpEngine.h: RetryBudget).
  RetryBudget budget{GetEngineLimits().retries};
  request.budget = &budget;

  bool saved = false;
  FetchFailure why = FetchFailure::None;
  std::string text;
  std::vector<PictureAttempt> tried;
  auto attempt = [&] {
    const bool got = FetchInto(request, saved, why, text);
    if (!request.strUrl.empty()) {
      tried.push_back(PictureAttempt{request.strUrl, saved ? FetchFailure::None : why,
                                     saved ? std::string() : text});
    }
    // A full disk fails every picture after it the same way: the job stops at once.
    if (!saved && why == FetchFailure::DiskFull) {
      Pool().diskFull = true;
      Pool().stop = true;
    }
    return got;
  };
  // A stopped job tries no fallback, nor does a full disk, nor one that is the address just
  // asked.
  if (!attempt() && !fallback.empty() && fallback != request.strUrl && !Pool().stop.load()) {
    const std::string primary = request.strUrl;
    request.strUrl = fallback;
    attempt();
    // The picture came from its fallback: a part of the first address kept for a resume goes.
    if (saved && !primary.empty()) net::DropResumeFile(FitFileName(task.savePath), primary);
  }
  // Whatever a stop cut short was stopped, not failed; the picture that met the full disk
  // failed for that.
  if (!saved && Pool().stop.load() && why != FetchFailure::DiskFull) {
    why = FetchFailure::Stopped;
    text = "stopped";
  }
  if (attempts != nullptr) *attempts = std::move(tried);
  if (failure != nullptr) *failure = saved ? FetchFailure::None : why;
  if (error != nullptr) *error = saved ? std::string() : text;
  return saved;
}

PicturePool::PicturePool() = default;

PicturePool::~PicturePool() { Join(); }

bool PicturePool::Add(const DownloadList& list, PictureDoneFn done) {
  std::vector<size_t> already;
  const PictureDoneFn* tell = nullptr;
  {
    std::lock_guard lock(mutex_);
    // A deque keeps the addresses of its elements as it grows at the end.
    dones_.push_back(std::move(done));
    tell = &dones_.back();
    const size_t before = tasks_.size();
    for (size_t index = 0; index < list.size(); ++index) {
      if (index < list.arrAlready.size() && list.arrAlready[index] != 0) {
        already.push_back(index);
      } else {
        tasks_.push_back(Task{&list, index, tell});
      }
    }
    // A worker for each picture waiting, up to the threads allowed.
    const size_t wanted =
        std::min<size_t>(Pool().threads.load(), workers_.size() - idle_ + tasks_.size());
    while (workers_.size() < wanted) {
      try {
        workers_.emplace_back([this] { Work(); });
      } catch (const std::system_error&) {
        break;
      }
    }
    if (workers_.empty() && tasks_.size() > before) {
      tasks_.resize(before);
      dones_.pop_back();
      return false;
    }
  }
  ready_.notify_all();
  // Those already there finish at once, without a worker.
  for (size_t index : already) {
    PictureResult result;
    result.state = PictureResult::State::Already;
    if (*tell) (*tell)(index, result);
    Pool().finished.fetch_add(1);
  }
  return true;
}

void PicturePool::Work() {
  std::unique_lock lock(mutex_);
  for (;;) {
    if (Pool().stop.load()) return;
    if (!tasks_.empty()) {
      const Task task = tasks_.front();
      tasks_.pop_front();
      lock.unlock();
      const PictureResult result = FetchPicture(*task.list, task.index);
      if (*task.done) (*task.done)(task.index, result);
      Pool().finished.fetch_add(1);
      lock.lock();
      continue;
    }
    if (closed_) return;
    ++idle_;
    ready_.wait_for(lock, kStopLook);
    --idle_;
  }
}

void PicturePool::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
  }
  ready_.notify_all();
}

void PicturePool::Join() {
  Close();
  for (std::thread& worker : workers_) {
    if (worker.joinable()) worker.join();
  }
  workers_.clear();
}

size_t PicturePool::Waiting() const {
  std::lock_guard lock(mutex_);
  return tasks_.size();
}

void ShowPictureProgress(AppState& app, const DownloadList& list, long finished) {
  char text[64];
  std::snprintf(text, sizeof text, "已下载%ld/%zu......", finished, list.size());
  app.SetShown(
      {list.strSaveDir, static_cast<int32_t>(list.size()), static_cast<int32_t>(finished)});
  app.host.SetStatus(StatusLine::Progress, text);
}

void AlbumProgress::Done(const PictureResult& result) {
  {
    std::lock_guard lock(mutex_);
    ++finished_;
    if (result.failure != FetchFailure::Stopped) ++counted_;
  }
  changed_.notify_all();
}

void AlbumProgress::Abandon() {
  {
    std::lock_guard lock(mutex_);
    abandoned_ = true;
  }
  changed_.notify_all();
}

bool AlbumProgress::ShowUntilDone(AppState& app, const DownloadList& list,
                                  const std::function<void()>& wake) {
  std::unique_lock lock(mutex_);
  size_t shown = 0;
  for (;;) {
    if (counted_ != shown) {
      shown = counted_;
      lock.unlock();
      ShowPictureProgress(app, list, static_cast<long>(shown));
      lock.lock();
    }
    if (Pool().stop.load() || abandoned_) return false;
    if (finished_ >= total_) return true;
    changed_.wait_for(lock, kStopLook);
    if (wake) {
      lock.unlock();
      wake();
      lock.lock();
    }
  }
}

void DownPicFunc(AppState& app, const DownloadList& list, const PictureDoneFn& done) {
  PoolParams& pool = Pool();
  pool.finished = 0;
  pool.written = 0;
  const size_t total = list.size();
  if (total == 0 || pool.threads.load() == 0) return;

  pool.running = true;
  const auto start = std::chrono::steady_clock::now();
  AlbumProgress progress(total);
  {
    PicturePool workers;
    if (!workers.Add(list, [&](size_t index, const PictureResult& result) {
          if (done) done(index, result);
          progress.Done(result);
        })) {
      progress.Abandon();
    }
    workers.Close();
    progress.ShowUntilDone(app, list);
  }
  const auto elapsed =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start);
  app.host.PoolFinished(static_cast<long>(elapsed.count()), static_cast<long>(total));
  pool.running = false;
}

}  // namespace albumora
