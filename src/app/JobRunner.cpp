// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/JobRunner.h"

#include "download/DownloadJob.h"

#include <algorithm>

#include "model/AppState.h"

namespace albumora {

JobRunner::~JobRunner() {
  RequestStop();
  Join();
}

void JobRunner::List(int siteSelection) {
  ListCommand(app_, siteSelection, adapters_, [this](auto body) { Start(std::move(body)); });
}

void JobRunner::Download() {
  DownloadCommand(app_, adapters_, [this](auto body) { Start(std::move(body)); });
}

void JobRunner::Download(const DownloadJobOptions& options) {
  DownloadCommand(
      app_, adapters_, [this](auto body) { Start(std::move(body)); }, options);
}

bool JobRunner::SwitchView(bool preview) {
  return albumora::SwitchView(app_, preview, [this](auto body) { Start(std::move(body)); });
}

void JobRunner::RequestStop() { RequestStops(app_); }

bool JobRunner::Running() const {
  std::lock_guard lock(mutex_);
  return std::any_of(jobs_.begin(), jobs_.end(), [](const Job& job) { return !job.done->load(); });
}

void JobRunner::Join() {
  std::vector<Job> jobs;
  {
    std::lock_guard lock(mutex_);
    jobs.swap(jobs_);
  }
  for (Job& job : jobs) {
    if (job.thread.joinable()) job.thread.join();
  }
}

void JobRunner::Start(std::function<void()> body) {
  JoinFinished();
  auto done = std::make_shared<std::atomic<bool>>(false);
  // std::thread throws std::system_error when it cannot start: the command handles it.
  std::thread thread([body = std::move(body), done] {
    body();
    *done = true;
  });
  std::lock_guard lock(mutex_);
  jobs_.push_back(Job{std::move(thread), std::move(done)});
}

// Threads whose body has ended are joined at once; their join does not wait.
void JobRunner::JoinFinished() {
  std::lock_guard lock(mutex_);
  for (Job& job : jobs_) {
    if (job.done->load() && job.thread.joinable()) job.thread.join();
  }
  std::erase_if(jobs_, [](const Job& job) { return !job.thread.joinable(); });
}

}  // namespace albumora
