// SPDX-License-Identifier: GPL-3.0-or-later
// Covers for the thumbnail wall, several in flight at once.
//
// The job thread hands each cell over with Add() and goes on listing; a few fetch threads
// download the covers into tmp/. Loading a cover into the window, storing its thumbnail number
// in the entry and showing its cell stay on the job thread and happen in the order of the cells:
// Collect() shows the cells whose covers have landed at the head of the queue, Finish() waits
// for the rest. A stop (the predicate given) drops the covers not yet started and ends those in
// flight; their cells are shown with the placeholder.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "model/Grid.h"

namespace albumora {

struct AppState;

class CoverQueue {
 public:
  static constexpr size_t kInFlight = 6;

  // maxPending > 0: Add() waits while that many cells are still to be shown (the view
  // switch's rebuild, which has nothing else to do meanwhile); 0: no bound (the list job).
  CoverQueue(AppState& app, std::function<bool()> stopRequested, size_t maxPending = 0);
  ~CoverQueue();  // stops the fetch threads (pending covers are dropped)
  CoverQueue(const CoverQueue&) = delete;
  CoverQueue& operator=(const CoverQueue&) = delete;

  // Queues the cell (row, column) of album `index`, to be shown once the cover at `address`
  // has landed in `path` (at its turn when there is no address).
  void Add(int index, int row, int column, GridCell cell, const std::string& address,
           const std::string& path);
  // Loads the covers landed at the head of the queue, in order, without waiting.
  void Collect();
  // Waits for every cover queued (or for the stop) and loads them in order.
  void Finish();

 private:
  struct Cover {
    int index = 0;
    int row = 0;
    int column = 0;
    GridCell cell;
    std::string address;
    std::string path;
    bool started = false;
    bool done = false;
    bool fetched = false;
  };

  void FetchLoop();
  void Apply(Cover& cover);
  // Shows the cells at the head whose covers are done (waiting for each while `wait`), at most
  // `count` of them.
  void Drain(bool wait, size_t count);

  AppState& app_;
  std::function<bool()> stopRequested_;
  size_t maxPending_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Cover>> queue_;  // in cell order, until applied
  bool closing_ = false;
  std::vector<std::jthread> threads_;
};

}  // namespace albumora
