// The album-list job: from the typed address to a filled album list.
#pragma once

#include <cstdint>
#include <string>

namespace albumora {

struct AppState;
struct ST_PERLISTRECORD;

// The "获取相册" command (window thread): starts the job on its own thread, or requests a stop
// when one runs. The thread is detached; the job's end is seen in nListState.
void ListCommand(AppState& app, int siteSelection);
// The job body, on the calling thread (the command line runs it directly).
void GetAlbumList(AppState& app);
// The same, telling whether the address was refused (empty, or no "http://" for a site other
// than Qzone: the message was shown and no adapter ran).
enum class ListOutcome { Refused, Ran };
ListOutcome RunAlbumList(AppState& app);

// The view switch's rebuild (its thread's body): every row again for the grid's current mode,
// until the entries end or nModeSwitch reads 2; then the grid is finished and nModeSwitch is 0.
void RebuildAlbumRows(AppState& app);
// The preview check box clicked (window thread) with its new state. While a rebuild runs it
// asks whether to stop it (Yes requests the stop) and returns false: the box goes back to its
// previous state. Otherwise it sets bPreview, sets the grid up for the new mode and starts the
// rebuild on a thread of its own; true. Refused (false) while an album-list job runs.
bool SwitchView(AppState& app, bool preview);

// Album rows.
void PublishAlbum(const ST_PERLISTRECORD& local, AppState& app);
size_t AddAlbum(AppState& app, const ST_PERLISTRECORD& local);
void ShowAlbumRow(AppState& app, int index);
std::string CountText(int32_t count);
std::string RemarkText(int32_t flags);

// Site recognition: the site index an address selects, or current when none matches.
int RecognizeSite(const std::string& text, int current);

}  // namespace albumora
