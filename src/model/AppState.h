// SPDX-License-Identifier: GPL-3.0-or-later
// The records "the main window" owns for the life of the program: the album list, the job
// context texts, the site and list-type codes, the job state bytes and the settings record. An
// album's own state (its list, its marker, its copy of the texts) belongs to the album's run,
// not to these. The front end owns one AppState and implements the Host it reports through.
//
// The state bytes are touched by more than one thread, so they are atomics.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>

#include "model/Config.h"
#include "model/DownloadList.h"
#include "model/Grid.h"
#include "model/Host.h"
#include "model/Records.h"
#include "model/Settings.h"

namespace albumora {

// nListState
constexpr uint8_t LIST_IDLE = 0;
constexpr uint8_t LIST_RUNNING = 1;
constexpr uint8_t LIST_STOP = 2;
// nDownState
constexpr uint8_t DOWN_IDLE = 0;
constexpr uint8_t DOWN_RUNNING = 1;
constexpr uint8_t DOWN_ENOUGH = 2;  // the skip rule met the picture of an earlier download
constexpr uint8_t DOWN_STOP = 3;

struct AppState : JobTexts {
  explicit AppState(Host& h) : host(h) {}
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;

  Host& host;

  AlbumList albumList;
  GridModel grid;
  SettingsRecord settings;
  Config config;  // albumora.toml: what soft.dat has no room for
  // The folders and names the running job has given, over all its albums. Albums name one at
  // a time, in album order.
  NameRegister nameRegister;

  std::atomic<int> nSite{0};  // the site box's selection
  std::atomic<int> nListType{-1};
  std::atomic<uint8_t> bReady{0};
  std::atomic<uint8_t> nListState{LIST_IDLE};
  std::atomic<uint8_t> nDownState{DOWN_IDLE};
  std::atomic<uint8_t> nModeSwitch{0};  // view switch: 0 idle, 1 rebuilding, 2 stop requested
  std::atomic<bool> bPreview{false};

  // The album a running download shows: its folder, its pictures and how many of them are
  // finished, for the window's progress bar. Set by the job; read from any thread.
  struct ShownAlbum {
    std::string folder;
    int32_t total = 0;
    int32_t finished = 0;
  };
  ShownAlbum Shown() const {
    std::lock_guard lock(shownMutex_);
    return shown_;
  }
  void SetShown(ShownAlbum album) {
    std::lock_guard lock(shownMutex_);
    shown_ = std::move(album);
  }

  // The slots of the current site.
  int Slot() const { return nSite.load() >= 0 && nSite.load() < 24 ? nSite.load() : 0; }
  DownParam& Down() { return settings.DownParams[Slot()]; }
  NameRule& Rule() { return settings.NameRules[Slot()]; }
  const NameRule& Rule() const { return settings.NameRules[Slot()]; }

 private:
  mutable std::mutex shownMutex_;
  ShownAlbum shown_;
};

}  // namespace albumora
