// SPDX-License-Identifier: GPL-3.0-or-later
// The window's commands on threads the front end owns: every thread a command starts here is
// joined before the runner goes, so no job outlives the records it works on.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "app/Commands.h"

namespace albumora {

struct AppState;
class Adapters;

class JobRunner {
 public:
  JobRunner(AppState& app, const Adapters& adapters) : app_(app), adapters_(adapters) {}
  // Requests the stops and joins every thread.
  ~JobRunner();
  JobRunner(const JobRunner&) = delete;
  JobRunner& operator=(const JobRunner&) = delete;

  // ListCommand, DownloadCommand and SwitchView on this runner's threads.
  void List(int siteSelection);
  void Download();
  void Download(const DownloadJobOptions& options);
  bool SwitchView(bool preview);

  // Asks every running job and the view switch to stop.
  void RequestStop();
  // Whether a thread started here has not finished its body yet.
  bool Running() const;
  // Joins every thread (waits for their ends).
  void Join();

 private:
  struct Job {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> done;
  };
  void Start(std::function<void()> body);
  void JoinFinished();

  AppState& app_;
  const Adapters& adapters_;
  mutable std::mutex mutex_;
  std::vector<Job> jobs_;
};

}  // namespace albumora
