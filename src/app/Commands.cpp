// SPDX-License-Identifier: GPL-3.0-or-later
// The window's commands that start a job or a view switch on a thread of their own, or ask the
// running one to stop.
#include "app/Commands.h"

#include <system_error>
#include <thread>

#include "albumlist/AlbumListJob.h"
#include "albumlist/AlbumRows.h"
#include "download/DownloadJob.h"
#include "download/Workers.h"
#include "model/AppState.h"
#include "model/Config.h"
#include "net/HttpEngine.h"

namespace albumora {

namespace {

int GetListFunc(AppState& app, const Adapters& adapters) {
  GetAlbumList(app, adapters);
  return 0;
}

void StartDetached(std::function<void()> body) { std::thread(std::move(body)).detach(); }

// Asks a running download job to stop. A job that has ended meanwhile is left alone: a stop
// stored after its end would leave the state at "stop" with no job, and the command dead.
void RequestDownloadStop(AppState& app, uint8_t state) {
  while (state != DOWN_IDLE && !app.nDownState.compare_exchange_weak(state, DOWN_STOP)) {
  }
  if (state != DOWN_IDLE) Pool().stop = true;
}

}  // namespace

void ListCommand(AppState& app, int siteSelection, const Adapters& adapters) {
  ListCommand(app, siteSelection, adapters, StartDetached);
}

void ListCommand(AppState& app, int siteSelection, const Adapters& adapters,
                 const ThreadStarter& start) {
  if (app.bReady.load() != 1) return;
  if (app.nListState.load() != LIST_IDLE) {
    app.nListState = LIST_STOP;
    return;
  }
  // A view switch rebuilding the grid reads the album list: no job may clear it meanwhile.
  if (app.nModeSwitch.load() != 0) return;
  app.nListState = LIST_RUNNING;
  app.nListType = LT_NONE;
  app.nSite = siteSelection;
  try {
    start([&app, &adapters] { GetListFunc(app, adapters); });
  } catch (const std::system_error&) {
    app.host.ShowMessage("Create thread:GetListFunc failed.");
    app.nListState = LIST_IDLE;
  }
}

void DownloadCommand(AppState& app, const Adapters& adapters) {
  DownloadCommand(app, adapters, StartDetached);
}

void DownloadCommand(AppState& app, const Adapters& adapters, const ThreadStarter& start) {
  DownloadCommand(app, adapters, start, DownloadJobOptions{});
}

void DownloadCommand(AppState& app, const Adapters& adapters, const ThreadStarter& start,
                     const DownloadJobOptions& options) {
  uint8_t state = DOWN_IDLE;
  if (!app.nDownState.compare_exchange_strong(state, DOWN_RUNNING)) {
    RequestDownloadStop(app, state);
    return;
  }
  try {
    start([&app, &adapters, options] { RunDownloadJob(app, adapters, options); });
  } catch (const std::system_error&) {
    app.host.ShowMessage("Create thread:DownloadFunc failed.");
    app.nDownState = DOWN_IDLE;
  }
}

bool SwitchView(AppState& app, bool preview) { return SwitchView(app, preview, StartDetached); }

bool SwitchView(AppState& app, bool preview, const ThreadStarter& start) {
  if (app.nModeSwitch.load() != 0) {
    if (app.host.AskYesNo("模式转换未完成,是否中断?", "提示")) app.nModeSwitch = 2;
    return false;
  }
  if (app.nListState.load() != LIST_IDLE) return false;
  app.nModeSwitch = 1;
  app.bPreview = preview;
  app.grid.Reset(preview);
  app.host.GridReset(preview);
  try {
    start([&app] { RebuildAlbumRows(app); });
  } catch (const std::system_error&) {
    app.nModeSwitch = 0;
  }
  return true;
}

void RequestStops(AppState& app) {
  uint8_t list = LIST_RUNNING;
  app.nListState.compare_exchange_strong(list, LIST_STOP);
  RequestDownloadStop(app, app.nDownState.load());
  uint8_t rebuild = 1;
  app.nModeSwitch.compare_exchange_strong(rebuild, 2);
}

void ApplyConfig(const Config& config) {
  EngineLimits limits;
  limits.lowSpeedBytes = config.lowSpeedBytes;
  limits.lowSpeedSeconds = config.lowSpeedSeconds;
  limits.userAgent = config.userAgent;
  limits.retries = config.retries;
  limits.waitMs = config.waitMs;
  limits.randomWait = config.randomWait;
  limits.perHostConnections = config.perHostConnections;
  limits.limitRate = config.limitRate;
  // The back-off base is the engine's own (tests shorten it): kept as it is.
  limits.backoffBaseMs = GetEngineLimits().backoffBaseMs;
  SetEngineLimits(limits);
}

}  // namespace albumora
