// The repairs run after an album: file formats by content, file order by time.
#pragma once

#include <cstdint>
#include <string>

namespace albumora {

struct AppState;
struct DownloadList;

bool FixFormat(std::string& path);
// Over an album's list; the AppState forms take app.downloadList.
void FixFormatList(DownloadList& list);
void FixFormatList(AppState& app);
void FixOrder(DownloadList& list);
void FixOrder(AppState& app);
void SetAllFileTimes(const std::string& path, int64_t seconds);

}  // namespace albumora
