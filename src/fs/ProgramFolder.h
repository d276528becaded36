// SPDX-License-Identifier: GPL-3.0-or-later
// "The program folder": where soft.dat, cookies.txt, "tmp" and the diagnostic files live.
// Decided once at start-up: a folder a front end names (the command line's --home), else the
// executable's folder when a soft.dat stands beside it (a portable install), else the per-user
// application folder ($XDG_CONFIG_HOME/Albumora/, else ~/.config/Albumora/). Created when missing.
#pragma once

#include <filesystem>
#include <string>

namespace albumora {

// Decides the program folder; override empty = the default rules. Returns the folder. A
// command that only reads passes create false: a missing folder then stays missing.
std::filesystem::path InitProgramFolder(const std::filesystem::path& override = {},
                                        bool create = true);
// The folder decided by InitProgramFolder (the default rules if it was never called).
std::filesystem::path ProgramFolder();
// A file or folder name inside the program folder.
std::filesystem::path ProgramFile(const std::string& name);

}  // namespace albumora
