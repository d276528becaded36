#include "albumlist/CoverQueue.h"

#include <utility>

#include "model/AppState.h"
#include "net/HttpEngine.h"

namespace albumora {

CoverQueue::CoverQueue(AppState& app, std::function<bool()> stopRequested)
    : app_(app), stopRequested_(std::move(stopRequested)) {}

CoverQueue::~CoverQueue() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  threads_.clear();  // joins
}

void CoverQueue::Add(int index, int row, int column, const std::string& address,
                     const std::string& path) {
  auto cover = std::make_shared<Cover>();
  cover->index = index;
  cover->row = row;
  cover->column = column;
  cover->address = address;
  cover->path = path;
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(cover));
    // A thread per cover in flight, started as the work comes.
    if (threads_.size() < kInFlight) threads_.emplace_back([this] { FetchLoop(); });
  }
  changed_.notify_all();
}

void CoverQueue::FetchLoop() {
  for (;;) {
    std::shared_ptr<Cover> cover;
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] {
        if (closing_) return true;
        for (const auto& queued : queue_) {
          if (!queued->started) return true;
        }
        return false;
      });
      if (closing_) return;
      for (const auto& queued : queue_) {
        if (!queued->started) {
          cover = queued;
          break;
        }
      }
      cover->started = true;
    }
    bool fetched = false;
    if (!stopRequested_()) {
      HttpRequest request;
      InitRequest(request, cover->address, cover->path, 20000);
      request.bRefuseErrorStatus = true;
      request.nRetryPause = 0;  // one attempt: no pause before giving a cover up
      request.stopRequested = stopRequested_;
      HttpResponse response;
      fetched = HttpFetch(request, response, 0);
    }
    {
      std::lock_guard lock(mutex_);
      cover->done = true;
      cover->fetched = fetched;
    }
    changed_.notify_all();
  }
}

void CoverQueue::Apply(const Cover& cover) {
  if (!cover.fetched) return;
  if (cover.index < 0 || static_cast<size_t>(cover.index) >= app_.albumList.size()) return;
  const int image = app_.host.LoadThumbnail(cover.path);
  app_.albumList[static_cast<size_t>(cover.index)].nImage = image;
  if (image < 0) return;
  GridCell cell = app_.grid.Cell(cover.row, cover.column);
  cell.image = image;
  app_.grid.SetCell(cover.row, cover.column, std::move(cell));
  app_.host.GridCellChanged(cover.row, cover.column);
}

void CoverQueue::Drain(bool wait) {
  for (;;) {
    std::shared_ptr<Cover> head;
    {
      std::unique_lock lock(mutex_);
      if (queue_.empty()) return;
      if (wait) {
        changed_.wait(lock, [&] { return queue_.front()->done; });
      } else if (!queue_.front()->done) {
        return;
      }
      head = std::move(queue_.front());
      queue_.pop_front();
    }
    Apply(*head);
  }
}

void CoverQueue::Collect() { Drain(false); }

void CoverQueue::Finish() { Drain(true); }

}  // namespace albumora
