// SPDX-License-Identifier: GPL-3.0-or-later
// The window's commands: each starts its job (or the view switch) on a thread of its own, or
// asks the running one to stop. The job's end is seen in its state byte. The jobs use the
// adapters they are given, which must outlive them (the registry's SiteAdapters()).
//
// The plain forms start detached threads. A front end that owns its threads passes a
// ThreadStarter (see JobRunner): the command's rules stay the same, only the thread is its.
#pragma once

#include <functional>

namespace albumora {

struct AppState;
class Adapters;
struct Config;
struct DownloadJobOptions;

// Runs a body on a new thread; throws std::system_error when no thread can be made.
using ThreadStarter = std::function<void(std::function<void()> body)>;

// The "获取相册" command: starts the album-list job, or requests a stop when one runs.
void ListCommand(AppState& app, int siteSelection, const Adapters& adapters);
void ListCommand(AppState& app, int siteSelection, const Adapters& adapters,
                 const ThreadStarter& start);
// The "下载" command: starts the download job, or requests a stop.
void DownloadCommand(AppState& app, const Adapters& adapters);
void DownloadCommand(AppState& app, const Adapters& adapters, const ThreadStarter& start);
// The same with the job's options (the download archive, a forced rerun, the album reports).
void DownloadCommand(AppState& app, const Adapters& adapters, const ThreadStarter& start,
                     const DownloadJobOptions& options);

// The config file's values that the engine applies to every request (the low-speed limit,
// the user agent); both front ends call it once the file is read.
void ApplyConfig(const Config& config);
// The preview check box clicked with its new state. While a rebuild runs it asks whether to
// stop it (Yes requests the stop) and returns false: the box goes back to its previous state.
// Otherwise it sets bPreview, sets the grid up for the new mode and starts the rebuild on a
// thread of its own; true. Refused (false) while an album-list job runs.
bool SwitchView(AppState& app, bool preview);
bool SwitchView(AppState& app, bool preview, const ThreadStarter& start);

// The stop requests of the three, as their second press makes them, without a question: a
// running album-list job, a running download job (with the pool's stop flag) and a running
// view switch are asked to end. Used when the window closes.
void RequestStops(AppState& app);

}  // namespace albumora
