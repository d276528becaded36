// SPDX-License-Identifier: GPL-3.0-or-later
// The repairs run after an album: file formats by content, file order by time.
#pragma once

#include <cstdint>
#include <string>

namespace albumora {

struct DownloadList;

bool FixFormat(std::string& path);
// Over an album's list.
void FixFormatList(DownloadList& list);
void FixOrder(DownloadList& list);
void SetAllFileTimes(const std::string& path, int64_t seconds);

}  // namespace albumora
