// The window's commands: each starts its job (or the view switch) on a detached thread of its
// own, or asks the running one to stop. The job's end is seen in its state byte. The jobs use
// the adapters they are given, which must outlive them (the registry's SiteAdapters()).
#pragma once

namespace albumora {

struct AppState;
class Adapters;

// The "获取相册" command: starts the album-list job, or requests a stop when one runs.
void ListCommand(AppState& app, int siteSelection, const Adapters& adapters);
// The "下载" command: starts the download job, or requests a stop.
void DownloadCommand(AppState& app, const Adapters& adapters);
// The preview check box clicked with its new state. While a rebuild runs it asks whether to
// stop it (Yes requests the stop) and returns false: the box goes back to its previous state.
// Otherwise it sets bPreview, sets the grid up for the new mode and starts the rebuild on a
// thread of its own; true. Refused (false) while an album-list job runs.
bool SwitchView(AppState& app, bool preview);

}  // namespace albumora
