// SPDX-License-Identifier: GPL-3.0-or-later
// A Host for tests: records every report, answers questions from a queue (default No), and
// serves the address and save-path texts the test sets.
#pragma once

#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "model/Host.h"

namespace albumora::testweb {

class FakeHost : public Host {
 public:
  std::string address;
  std::string savePath;

  std::string AddressText() override { return address; }
  std::string SavePathText() override { return savePath; }

  void SetStatus(StatusLine line, const std::string& text) override {
    std::lock_guard lock(mutex_);
    statuses.emplace_back(line, text);
  }
  void ShowMessage(const std::string& text, const std::string& = {}) override {
    std::lock_guard lock(mutex_);
    messages.push_back(text);
  }
  bool AskYesNo(const std::string& text, const std::string&) override {
    if (onQuestion) onQuestion(text);
    std::lock_guard lock(mutex_);
    questions.push_back(text);
    if (answers.empty()) return false;
    bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void OpenLogin(const std::string& url) override {
    std::lock_guard lock(mutex_);
    logins.push_back(url);
  }
  void SetListBusy(bool busy, bool downloadEnabled) override {
    std::lock_guard lock(mutex_);
    listForms.emplace_back(busy, downloadEnabled);
  }
  void SetDownloadBusy(bool busy) override {
    std::lock_guard lock(mutex_);
    downloadForms.push_back(busy);
  }
  void GridReset(bool preview) override {
    std::lock_guard lock(mutex_);
    gridResets.push_back(preview);
  }
  void GridRowAdded(int row) override {
    std::lock_guard lock(mutex_);
    gridRows.push_back(row);
  }
  void GridCellChanged(int, int) override {}
  void GridFinished() override {}
  int LoadThumbnail(const std::string& path) override {
    std::lock_guard lock(mutex_);
    thumbnails.push_back(path);
    return thumbnailResult;
  }
  void AddressRemembered(const std::string& text) override {
    std::lock_guard lock(mutex_);
    remembered.push_back(text);
  }
  void PoolFinished(long seconds, long pictures) override {
    std::lock_guard lock(mutex_);
    poolEnds.emplace_back(seconds, pictures);
  }
  void OpenFolder(const std::string& path) override {
    std::lock_guard lock(mutex_);
    openedFolders.push_back(path);
  }

  // The last text of a status line, empty when it was never set.
  std::string LastStatus(StatusLine line) const {
    std::lock_guard lock(mutex_);
    for (auto it = statuses.rbegin(); it != statuses.rend(); ++it) {
      if (it->first == line) return it->second;
    }
    return {};
  }

  std::deque<bool> answers;  // answers to the next questions; No when empty
  std::function<void(const std::string&)> onQuestion;  // called as a question is asked
  int thumbnailResult = -1;

  std::vector<std::pair<StatusLine, std::string>> statuses;
  std::vector<std::string> messages;
  std::vector<std::string> questions;
  std::vector<std::string> logins;
  std::vector<std::pair<bool, bool>> listForms;
  std::vector<bool> downloadForms;
  std::vector<bool> gridResets;
  std::vector<int> gridRows;
  std::vector<std::string> thumbnails;
  std::vector<std::string> remembered;
  std::vector<std::pair<long, long>> poolEnds;
  std::vector<std::string> openedFolders;

 private:
  mutable std::mutex mutex_;
};

}  // namespace albumora::testweb
