// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's log file (--log FILE, or log.file in albumora.toml): every line stderr
// shows, and the -v detail also without -v, appended with a time stamp; never the progress line.
#pragma once

#include <string>

namespace albumora::cli {

// Opens the log for this process (appending; made 0600 when missing). False with error set
// when it cannot be opened. Closed when the process ends.
bool OpenLog(const std::string& path, std::string& error);
// Appends "YYYY-MM-DDTHH:MM:SS+ZZZZ text" (local time), each line of a text of several lines
// with its own stamp; nothing when no log is open. Safe from any thread; a line is written
// with one call, so that two programs appending to one log do not mix their lines.
void LogLine(const std::string& text);
bool LogOpen();

}  // namespace albumora::cli
