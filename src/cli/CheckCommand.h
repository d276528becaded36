// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora check`: whether a site family still reads its pages.
#pragma once

#include "cli/CliCommon.h"

namespace albumora::cli {

// Exit status of a check whose album list took albums but a picture list took no picture.
constexpr int kExitCheckPictures = 4;

// The album list of ADDRESS (or of each example address of --site KEY) and the first
// picture-list pages of its first albums, as a table of steps (or one JSON object per step).
int RunCheckCommand(const CommonOptions& options);

}  // namespace albumora::cli
