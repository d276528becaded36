// SPDX-License-Identifier: GPL-3.0-or-later
#include "albumlist/CoverQueue.h"

#include <cstdint>
#include <utility>

#include "model/AppState.h"
#include "net/HttpEngine.h"

namespace albumora {

CoverQueue::CoverQueue(AppState& app, std::function<bool()> stopRequested, size_t maxPending)
    : app_(app), stopRequested_(std::move(stopRequested)), maxPending_(maxPending) {}

CoverQueue::~CoverQueue() {
  {
    std::lock_guard lock(mutex_);
    closing_ = true;
  }
  changed_.notify_all();
  threads_.clear();  // joins
}

void CoverQueue::Add(int index, int row, int column, GridCell cell, const std::string& address,
                     const std::string& path) {
  if (maxPending_ > 0) {
    size_t pending = 0;
    {
      std::lock_guard lock(mutex_);
      pending = queue_.size();
    }
    if (pending >= maxPending_) Drain(true, pending - maxPending_ + 1);
  }
  auto cover = std::make_shared<Cover>();
  cover->index = index;
  cover->row = row;
  cover->column = column;
  cover->cell = std::move(cell);
  cover->address = address;
  cover->path = path;
  // A cell without a cover to fetch waits only for the cells before it.
  cover->started = cover->done = address.empty();
  {
    std::lock_guard lock(mutex_);
    queue_.push_back(std::move(cover));
    // A thread per cover in flight, started as the work comes.
    if (!address.empty() && threads_.size() < kInFlight) {
      threads_.emplace_back([this] { FetchLoop(); });
    }
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

void CoverQueue::Apply(Cover& cover) {
  if (cover.index < 0 || static_cast<size_t>(cover.index) >= app_.albumList.size()) return;
  ST_PERLISTRECORD& entry = app_.albumList[static_cast<size_t>(cover.index)];
  if (cover.fetched) entry.nImage = app_.host.LoadThumbnail(cover.path);
  cover.cell.image = entry.nImage;
  app_.grid.SetCell(cover.row, cover.column, std::move(cover.cell));
  app_.host.GridCellChanged(cover.row, cover.column);
}

void CoverQueue::Drain(bool wait, size_t count) {
  for (; count > 0; --count) {
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

void CoverQueue::Collect() { Drain(false, SIZE_MAX); }

void CoverQueue::Finish() { Drain(true, SIZE_MAX); }

}  // namespace albumora
