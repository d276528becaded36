// The download side of the command line: selection, overrides, the progress line and the
// per-album summary.
#include "cli/DownloadRun.h"
#include "download/Workers.h"
#include "sites/Registry.h"

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <mutex>
#include <thread>

#include "download/DownloadJob.h"
#include "fs/FileNames.h"
#include "text/StringCtrl.h"

namespace albumora::cli {

namespace {

bool ReadRow(const std::string& text, int& row) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  row = std::stoi(text);
  return row > 0;
}

std::string SizeText(uint64_t bytes) {
  char text[32];
  if (bytes >= 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  } else {
    std::snprintf(text, sizeof text, "%.0f KB", static_cast<double>(bytes) / 1024.0);
  }
  return text;
}

// The job's texts on one line of the terminal, redrawn in place a few times a second.
class ProgressLine : public CliHost::Display {
 public:
  ProgressLine() : start_(std::chrono::steady_clock::now()), startBytes_(Pool().bytesWritten) {
    ticker_ = std::thread([this] { Tick(); });
  }
  ~ProgressLine() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    ticker_.join();
    ClearLine();
  }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Status(StatusLine line, const std::string& text) override {
    std::lock_guard lock(mutex_);
    if (line == StatusLine::Main) main_ = text;
    if (line == StatusLine::Progress) progress_ = text;
    DrawLocked();
  }
  std::string LastMain() {
    std::lock_guard lock(mutex_);
    return main_;
  }
  void ClearLine() override {
    std::lock_guard lock(mutex_);
    if (drawn_) std::cerr << "\r\033[K" << std::flush;
    drawn_ = false;
  }

 private:
  void Tick() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      DrawLocked();
      wake_.wait_for(lock, std::chrono::milliseconds(250));
    }
  }
  void DrawLocked() {
    const uint64_t bytes = Pool().bytesWritten.load() - startBytes_;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string text = main_;
    if (!progress_.empty()) text += (text.empty() ? "" : " ") + progress_;
    text += "  " + SizeText(bytes);
    if (seconds > 0.5) text += ", " + SizeText(static_cast<uint64_t>(bytes / seconds)) + "/s";
    std::cerr << "\r\033[K" << text << std::flush;
    drawn_ = true;
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool drawn_ = false;
  std::string main_;
  std::string progress_;
  const std::chrono::steady_clock::time_point start_;
  const uint64_t startBytes_;
  std::thread ticker_;
};

// Ctrl-C asks the running job to stop, as the window's button does; a second one ends the
// program.
std::atomic<AppState*> gStopTarget{nullptr};

void OnInterrupt(int) {
  AppState* app = gStopTarget.load();
  if (app != nullptr) {
    app->nDownState = DOWN_STOP;
    Pool().stop = true;
  }
  std::signal(SIGINT, SIG_DFL);
}

class InterruptScope {
 public:
  explicit InterruptScope(AppState& app) {
    Pool();  // made here, not for the first time inside the signal handler
    gStopTarget = &app;
    previous_ = std::signal(SIGINT, OnInterrupt);
  }
  ~InterruptScope() {
    std::signal(SIGINT, previous_ == SIG_ERR ? SIG_DFL : previous_);
    gStopTarget = nullptr;
  }
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;

 private:
  void (*previous_)(int) = SIG_DFL;
};

}  // namespace

bool ParseAlbumSelection(const std::string& text, AlbumSelection& selection, std::string& error) {
  selection = AlbumSelection{};
  const std::string trimmed = Trim(text);
  if (EqualsNoCase(trimmed, "all")) return true;
  selection.all = false;
  std::vector<std::string> parts;
  SplitBy(parts, trimmed, ",");
  if (parts.empty()) parts.push_back(trimmed);
  for (const std::string& raw : parts) {
    const std::string part = Trim(raw);
    size_t dash = part.find('-');
    int first = 0;
    int last = 0;
    bool ok = dash == std::string::npos ? ReadRow(part, first)
                                        : ReadRow(Trim(part.substr(0, dash)), first) &&
                                              ReadRow(Trim(part.substr(dash + 1)), last);
    if (dash == std::string::npos) last = first;
    if (!ok || last < first) {
      error = "--albums: not a row number or range: \"" + part + "\"";
      return false;
    }
    selection.ranges.emplace_back(first, last);
  }
  return true;
}

bool SelectAlbums(AppState& app, const AlbumSelection& selection, std::string& error) {
  const int count = static_cast<int>(app.albumList.size());
  if (!selection.all) {
    for (const auto& [first, last] : selection.ranges) {
      if (last > count) {
        error = "--albums: no row " + std::to_string(last) + " (the list has " +
                std::to_string(count) + " albums)";
        return false;
      }
    }
  }
  GridModel& grid = app.grid;
  grid.SelectAll(false);
  for (int row = grid.FixedRows(); row < grid.RowCount(); ++row) {
    const int number = grid.Cell(row, 0).data + 1;
    bool wanted = selection.all;
    for (const auto& [first, last] : selection.ranges) {
      wanted = wanted || (number >= first && number <= last);
    }
    if (wanted) grid.SelectRow(row, true);
  }
  return true;
}

void ApplyOverrides(AppState& app, const DownloadOverrides& overrides) {
  DownParam& down = app.Down();
  if (overrides.threads) down.wThreads = *overrides.threads;
  if (overrides.timeoutSec) down.wTimeout = *overrides.timeoutSec;
  if (overrides.minKB) down.wMinKB = *overrides.minKB;
  if (overrides.maxKB) down.wMaxKB = *overrides.maxKB;
}

DownloadSummary RunDownloadWithSummary(CliSession& session, const std::string& savePath) {
  AppState& app = session.app();
  CliHost& host = session.host();
  host.savePath = savePath;

  DownloadSummary summary;
  std::unique_ptr<ProgressLine> progress;
  if (isatty(STDERR_FILENO) != 0) {
    progress = std::make_unique<ProgressLine>();
    host.SetDisplay(progress.get());
  }
  auto report = [&](const AlbumReport& album) {
    summary.started = true;
    ++summary.albums;
    summary.listed += album.listed;
    summary.written += album.written;
    if (progress) progress->ClearLine();
    const std::string& name = app.albumList[static_cast<size_t>(album.albumIndex)].strName;
    std::printf("%04d\t%s\t%zu\t%d\t%s\n", album.albumIndex + 1, name.c_str(), album.listed,
                static_cast<int>(album.written), album.folder.c_str());
    std::fflush(stdout);
  };
  {
    // Running before Ctrl-C is caught: a stop is never overwritten by the start.
    app.nDownState = DOWN_RUNNING;
    InterruptScope interrupts(app);
    RunDownloadJob(app, SiteAdapters(), report);
  }
  host.SetDisplay(nullptr);
  if (progress) {
    const std::string last = progress->LastMain();
    progress.reset();
    if (!last.empty()) std::cerr << "status: " << last << std::endl;
  }
  // The job got past its checks when its folder (save path and owner texts) exists.
  std::string jobFolder = Trim(savePath);
  if (!jobFolder.empty()) {
    if (jobFolder.back() != kPathSep) jobFolder += kPathSep;
    jobFolder += app.strOwner + app.strOwnerTitle;
    std::error_code error;
    summary.started = summary.started || std::filesystem::is_directory(jobFolder, error);
  }
  return summary;
}

}  // namespace albumora::cli
