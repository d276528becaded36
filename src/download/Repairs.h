// The repairs run after an album: file formats by content, file order by time.
#pragma once

#include <cstdint>
#include <string>

namespace albumora {

struct AppState;

bool FixFormat(std::string& path);
void FixFormatList(AppState& app);
void FixOrder(AppState& app);
void SetAllFileTimes(const std::string& path, int64_t seconds);

}  // namespace albumora
