// Covers for the thumbnail wall, several in flight at once.
//
// The job thread hands each cover over with Add() and goes on listing; a few fetch threads
// download the files into tmp/. Loading a cover into the window, storing its thumbnail number
// in the entry and refreshing its cell stay on the job thread and happen in the order of the
// cells: Collect() takes the covers that have landed at the head of the queue, Finish() waits
// for the rest. A stop (the predicate given) drops the covers not yet started and ends those in
// flight.
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

namespace albumora {

struct AppState;

class CoverQueue {
 public:
  static constexpr size_t kInFlight = 6;

  CoverQueue(AppState& app, std::function<bool()> stopRequested);
  ~CoverQueue();  // stops the fetch threads (pending covers are dropped)
  CoverQueue(const CoverQueue&) = delete;
  CoverQueue& operator=(const CoverQueue&) = delete;

  // Queues the cover of album `index`, shown in grid cell (row, column).
  void Add(int index, int row, int column, const std::string& address, const std::string& path);
  // Loads the covers landed at the head of the queue, in order, without waiting.
  void Collect();
  // Waits for every cover queued (or for the stop) and loads them in order.
  void Finish();

 private:
  struct Cover {
    int index = 0;
    int row = 0;
    int column = 0;
    std::string address;
    std::string path;
    bool started = false;
    bool done = false;
    bool fetched = false;
  };

  void FetchLoop();
  void Apply(const Cover& cover);
  // Takes the finished covers at the head (waiting for each while `wait`), then applies them.
  void Drain(bool wait);

  AppState& app_;
  std::function<bool()> stopRequested_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::shared_ptr<Cover>> queue_;  // in cell order, until applied
  bool closing_ = false;
  std::vector<std::jthread> threads_;
};

}  // namespace albumora
