// SPDX-License-Identifier: GPL-3.0-or-later
// Shared pieces of the download tests: a scratch folder, an AppState over a FakeHost with a
// few albums, and small file helpers.
#pragma once

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "FakeHost.h"
#include "ScratchDir.h"
#include "TestFiles.h"
#include "fs/FileNames.h"
#include "model/AppState.h"
#include "net/HttpEngine.h"

namespace albumora::dltest {

using testweb::ScratchDir;

// The records with a FakeHost; albums are added by name.
struct TestApp {
  testweb::FakeHost host;
  AppState app{host};

  TestApp() {
    DownParam& down = app.Down();
    down.wThreads = 5;
    down.wTimeout = 10;
  }
  int AddAlbum(const std::string& name, int32_t count = 0) {
    auto entry = std::make_unique<ST_PERLISTRECORD>();
    entry->strName = name;
    entry->strAddr = "album=" + name;
    entry->nCount = count;
    app.albumList.Append(std::move(entry));
    return static_cast<int>(app.albumList.size()) - 1;
  }
  // Selects albums in list mode: one grid row per album, its column 0 holding the index.
  void ShowAndSelect(const std::vector<int>& selected) {
    app.grid.Reset(false);
    for (size_t i = 0; i < app.albumList.size(); ++i) {
      int row = app.grid.AppendRow();
      GridCell cell;
      cell.text = std::to_string(i + 1);
      cell.data = static_cast<int>(i);
      app.grid.SetCell(row, 0, cell);
    }
    for (int index : selected) app.grid.SelectRow(index + app.grid.FixedRows(), true);
  }
};

// Transient errors (a 500, a time-out) are asked again: after a short back-off while it lives.
class ShortBackoff {
 public:
  ShortBackoff() : saved_(GetEngineLimits()) {
    EngineLimits limits = saved_;
    limits.backoffBaseMs = 10;
    SetEngineLimits(limits);
  }
  ShortBackoff(const ShortBackoff&) = delete;
  ShortBackoff& operator=(const ShortBackoff&) = delete;
  ~ShortBackoff() { SetEngineLimits(saved_); }

 private:
  EngineLimits saved_;
};

inline std::string ReadBytes(const std::string& path) { return testweb::ReadFile(path); }

inline void WriteBytes(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline bool Exists(const std::string& path) { return std::filesystem::exists(path); }

// The names in a folder, sorted.
inline std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// UTF-16LE bytes of an ASCII text.
inline std::string Utf16Ascii(const std::string& text) {
  std::string bytes;
  for (char c : text) {
    bytes.push_back(c);
    bytes.push_back('\0');
  }
  return bytes;
}

// While it lives, no file of this process may grow past limit bytes: a full disk, as a writer
// sees it.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t limit) : previousSignal_(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit lower = previous_;
    lower.rlim_cur = limit;
    setrlimit(RLIMIT_FSIZE, &lower);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousSignal_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previousSignal_)(int);
};

}  // namespace albumora::dltest
