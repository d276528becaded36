// SPDX-License-Identifier: GPL-3.0-or-later
// Album rows: the add-entry operation, the grid row or thumbnail cell of an entry, the count
// and remark texts, and the view switch's rebuild.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace albumora {

struct AppState;
class CoverQueue;
struct ST_PERLISTRECORD;

// The view switch's rebuild (its thread's body): every row again for the grid's current mode,
// until the entries end or nModeSwitch reads 2; then the grid is finished and nModeSwitch is 0.
void RebuildAlbumRows(AppState& app);

// The add-entry operation and the entry's row or cell. With a cover queue a thumbnail cell's
// cover is fetched beside the caller and the cell shown, in cell order, once it has landed;
// without one the cover is fetched before the cell is shown.
void PublishAlbum(const ST_PERLISTRECORD& local, AppState& app, CoverQueue* covers = nullptr);
size_t AddAlbum(AppState& app, const ST_PERLISTRECORD& local);
void ShowAlbumRow(AppState& app, int index, CoverQueue* covers = nullptr);
std::string CountText(int32_t count);
std::string RemarkText(int32_t flags);

}  // namespace albumora
