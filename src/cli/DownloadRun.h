// The download side of the command line, shared by `download` and `demo`: the album selection,
// the run-only overrides of the download parameters, the terminal's progress line and the
// per-album summary on stdout.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliCommon.h"

namespace albumora::cli {

// The download parameters given on the command line; each one overrides the site's slot for
// this run only (never saved).
struct DownloadOverrides {
  std::optional<uint16_t> threads;
  std::optional<uint16_t> timeoutSec;
  std::optional<uint16_t> minKB;
  std::optional<uint16_t> maxKB;
};

// "all", or row numbers as `list` prints them, comma-separated, with ranges: "1,3-5".
struct AlbumSelection {
  bool all = true;
  std::vector<std::pair<int, int>> ranges;  // inclusive, 1-based
};
bool ParseAlbumSelection(const std::string& text, AlbumSelection& selection, std::string& error);

// Ticks the selected rows in the grid (list mode). False with error set when a row number is
// past the end of the album list.
bool SelectAlbums(AppState& app, const AlbumSelection& selection, std::string& error);

// Applies the overrides to the current site's slot of the in-memory settings record.
void ApplyOverrides(AppState& app, const DownloadOverrides& overrides);

struct DownloadSummary {
  bool started = false;  // the job got past its save-path checks
  size_t albums = 0;
  size_t listed = 0;
  long written = 0;
};

// Runs the download job on this thread with the save path; prints one line per album on stdout
// (row, name, listed, written, folder; tab-separated). On a terminal stderr shows a progress
// line that redraws in place. Ctrl-C asks the job to stop (a second one ends the program).
DownloadSummary RunDownloadWithSummary(CliSession& session, const std::string& savePath);

}  // namespace albumora::cli
