// SPDX-License-Identifier: GPL-3.0-or-later
// The settings soft.dat has no room for, in the text file "albumora.toml" in the program
// folder: transfer limits, resume, the user agent, the page caps of long lists. A missing file
// gives the defaults; a bad value is named with its line and keeps its default; nothing here
// ever throws to the caller.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace albumora {

constexpr const char* kConfigFileName = "albumora.toml";

struct Config {
  // A transfer (page or picture) slower than lowSpeedBytes a second for lowSpeedSeconds fails
  // as "too slow". 0 bytes: no such limit.
  uint32_t lowSpeedBytes = 1024;
  uint32_t lowSpeedSeconds = 10;
  // A rerun skips the pictures the download archive records as written and still there.
  bool resume = true;
  // Albums after the one shown whose picture lists are read, and whose pictures join the pool,
  // while it downloads (0: one album after another).
  uint32_t lookAhead = 3;
  // Empty: the engine's own agent string.
  std::string userAgent;
  // The shared page walk ends a list past this many pages.
  uint32_t albumListPageCap = 5000;
  uint32_t pictureListPageCap = 10000;
  // Politeness: refusals (429, 503) retried per request, a least interval between requests to
  // one host (ms; 0: none) and whether it varies at random, parallel requests to one host (0: no
  // cap), and bytes a second for the whole job (0: no limit).
  uint32_t retries = 5;
  uint32_t waitMs = 0;
  bool randomWait = false;
  uint32_t perHostConnections = 0;
  uint32_t limitRate = 0;
  // The command line's log file (list, download); empty: none.
  std::string logFile;

  bool operator==(const Config&) const = default;
};

// One setting as `albumora config` and the window's dialogs show it: its name in the file
// ("transfer.low_speed_bytes"), one line of help, the value as text, and a setter that checks.
struct ConfigSetting {
  std::string name;
  std::string help;
  std::function<std::string(const Config&)> get;
  // Stores the value; false with error set ("low_speed_seconds takes a number from 1 to 3600").
  std::function<bool(Config&, const std::string& value, std::string& error)> set;
};
const std::vector<ConfigSetting>& ConfigSettings();

// Reads the file into config (defaults for what it lacks). Each problem is one line in errors,
// naming the file and the line ("albumora.toml:7: transfer.low_speed_seconds takes a number
// from 1 to 3600, not 0; the default 10 stays"); an unknown key is one too, and the other
// values still load. A missing file is no problem. Returns false when the file exists but
// cannot be read or parsed at all (config then holds the defaults; a parse error names the
// line and the column).
bool LoadConfig(const std::filesystem::path& file, Config& config,
                std::vector<std::string>& errors);
// The same for the file's text; source names it in the messages.
bool ParseConfig(std::string_view text, const std::string& source, Config& config,
                 std::vector<std::string>& errors);
// Writes the config through a temporary file and a rename; false with error set when it cannot
// (the old file then stays as it was). A missing file is written whole, with a comment per
// value. A file that is there is edited in place: only the line of each value that differs from
// what the file holds is replaced (or added at the end of its table), so comments, blank lines,
// the order and unknown keys stay; a value the file holds that is not good is left as it is.
// A file that cannot be parsed is not changed.
bool SaveConfig(const std::filesystem::path& file, const Config& config, std::string& error);

}  // namespace albumora
