// SPDX-License-Identifier: GPL-3.0-or-later
// The download side of the command line, shared by `download` and the demo: the album
// selection, the run-only overrides of the site's settings, the checks made before any request,
// the terminal's progress line, the per-album lines on stdout and the closing summary.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <istream>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliCommon.h"
#include "net/HttpEngine.h"

namespace albumora {
struct DownloadList;
}

namespace albumora::cli {

// The settings given on the command line; each one overrides the site's slot for this run only
// (never saved).
struct DownloadOverrides {
  std::optional<uint16_t> threads;
  std::optional<uint16_t> timeoutSec;
  std::optional<uint16_t> minKB;
  std::optional<uint16_t> maxKB;
  uint16_t optionsOn = 0;   // OPT_ flags switched on for this run
  uint16_t optionsOff = 0;  // and off
};

// Instead of downloading, a list per album for a download manager.
// None: download here; Thunder, Aria2: list files; Aria2Rpc: each picture handed to a running
// aria2.
// DryRun: each picture's address and the file it would get printed, nothing written.
enum class ExportKind { None, Thunder, Aria2, Aria2Rpc, DryRun };

// "all", or row numbers as `list` prints them, comma-separated, with ranges: "1,3-5".
struct AlbumSelection {
  bool all = true;
  std::vector<std::pair<int, int>> ranges;  // inclusive, 1-based
};
bool ParseAlbumSelection(const std::string& text, AlbumSelection& selection, std::string& error);

// Ticks the selected rows in the grid (list mode). False with error set when a row number is
// past the end of the album list.
bool SelectAlbums(AppState& app, const AlbumSelection& selection, std::string& error);

// Applies the overrides (and the export's list option) to the slot of the site.
void ApplyOverrides(AppState& app, int site, const DownloadOverrides& overrides,
                    ExportKind exportKind);
// The size limits in force for the site after the overrides; false with error set when the
// minimum lies above a maximum other than 0 (every picture would fail).
bool CheckSizeLimits(AppState& app, int site, const DownloadOverrides& overrides,
                     std::string& error);

// Whether the save folder exists or can be made, and can be written: false with the reason
// ("permission denied", "... is a file") when not. Makes nothing.
bool CheckSaveFolder(const std::string& folder, std::string& reason);

// One picture as aria2 takes it: one address (the fallback when there is no other), the folder,
// the file name and the request headers (user agent, the site's, the store's cookies).
struct Aria2Entry {
  std::string address;
  std::string fallback;  // another picture (a smaller copy); empty when none
  std::string dir;
  std::string out;
  std::vector<std::string> headers;
  bool hasCookies = false;
  size_t index = 0;  // the picture's place in the album's list
};
// Whether an address names this machine (localhost, 127.x.x.x, [::1]): a daemon there writes
// to the local disk.
bool IsLoopbackAddress(const std::string& url);
std::vector<Aria2Entry> Aria2Entries(
    const DownloadList& list, const std::string& userAgent,
    const std::function<std::string(const std::string&)>& cookiesFor);
// The text of an album's aria2 input file: per picture one address (the fallback when there is
// no other; a fallback beside an address is only named in a comment, since aria2 would take it
// for a mirror of the same file), its folder and file name as option lines, the user agent, its
// header lines (the Referer a site needs) and the Cookie header cookiesFor gives for the address
// (hasCookies tells whether any was written). No line starts with white space but the options.
std::string Aria2ListText(const DownloadList& list, const std::string& userAgent,
                          const std::function<std::string(const std::string&)>& cookiesFor,
                          bool& hasCookies);
// Writes the album's aria2 input file (Aria2ListText with the engine's user agent and the
// cookie store), 0600 when it carries cookies. Returns the file's path, empty when it cannot be
// written.
std::string WriteAria2List(const DownloadList& list, const std::string& albumName);

struct DownloadSummary {
  // With -i FILE: the address as the file gives it and its line (0 without -i).
  std::string address;
  size_t index = 0;
  bool started = false;  // the job got past its save-path checks
  bool stopped = false;  // Ctrl-C
  bool listOnly = false;
  bool dryRun = false;
  size_t albums = 0;
  size_t albumsGood = 0;  // complete, or nothing new
  size_t listed = 0;
  long written = 0;
  long already = 0;  // written by an earlier run and still there: not fetched again
  long failed = 0;
  long stoppedPictures = 0;  // cut short or never started because of the stop
  std::array<long, kFetchFailureKinds> failedBy{};
  std::array<size_t, 7> outcomes{};  // albums by outcome
  size_t queued = 0;                 // pictures handed to aria2
  size_t notQueued = 0;              // pictures aria2 refused or could not take
  bool aria2Unreachable = false;     // the daemon stopped answering
  std::string diskFull;              // the job stopped at a full disk: the album's note
  bool aria2 = false;                // pictures were to be handed to aria2
};

// The reason names of the summary and the JSON lines.
const char* FailureName(FetchFailure failure);

// Runs the download job on this thread with the save path; prints one line per album on stdout
// (row, name, listed, written, failed, skipped, folder; tab-separated) or one JSON object. On a
// terminal stderr shows a progress line that fits its width. Ctrl-C asks the job to stop.
// How the job runs beyond the site's settings.
struct RunChoices {
  ExportKind exportKind = ExportKind::None;
  bool force = false;      // fetch again what the download archive has
  bool useArchive = true;  // open the download archive in the program folder
  std::string aria2Rpc;    // with Aria2Rpc: the daemon's address and secret
  std::string aria2Secret;
  std::string address;  // the address as given, and its line with -i FILE (else 0)
  size_t index = 0;
};
DownloadSummary RunDownloadWithSummary(CliSession& session, const std::string& savePath,
                                       const RunChoices& choices);

// "N of M pictures written, A already there, K failed (reasons), S stopped" and the albums by
// outcome on stderr (and a JSON summary line with --json); returns the exit status of the
// download: 0 only when every album is complete or has nothing new.
int FinishDownload(CliSession& session, const DownloadSummary& summary);

struct DownloadOptions {
  CommonOptions common;
  std::string save;
  std::string albums = "all";
  DownloadOverrides overrides;
  ExportKind exportKind = ExportKind::None;
  bool force = false;
  // --low-speed BYTES:SECONDS for this run
  std::optional<std::pair<uint32_t, uint32_t>> lowSpeed;
  // Politeness for this run: --retries, --wait (ms), --random-wait, --host-connections,
  // --limit-rate (bytes a second), --user-agent
  std::optional<uint32_t> retries;
  std::optional<uint32_t> waitMs;
  bool randomWait = false;
  std::optional<uint32_t> perHostConnections;
  std::optional<uint32_t> limitRate;
  std::optional<std::string> userAgent;
  // -i FILE: one address per line ("-": standard input), run in order
  std::string inputFile;
  // --aria2-rpc URL, --aria2-secret TOKEN: hand the pictures to a running aria2
  std::string aria2Rpc;
  std::string aria2Secret;
};
// "1024:10" (or "1024/10") into bytes a second and seconds; false with error set.
bool ParseLowSpeed(const std::string& text, std::pair<uint32_t, uint32_t>& value,
                   std::string& error);
// "500k", "2M", "1.5m" or "800" (bytes a second; k and m are 1024 and 1048576) into bytes a
// second, at most 4000000000; false with error set.
bool ParseRate(const std::string& text, uint32_t& bytesPerSecond, std::string& error);
// "2" or "0.5" seconds (at most 600) into milliseconds; false with error set.
bool ParseWait(const std::string& text, uint32_t& ms, std::string& error);
// The line a host's wait shows: "waiting 12 s: pic.example.com asked to slow down (429)".
std::string WaitLine(const HostWait& wait);
// One address of an input file: its line number (1-based) and its text, a comment after it
// removed.
struct InputLine {
  size_t line = 0;
  std::string address;
};
// The addresses of an input file: one a line; a UTF-8 byte-order mark, blank lines, lines
// starting with "#" and a comment after an address (" # ...": "#" after white space, so that
// an address's own "#fragment" stays) are left out.
std::vector<InputLine> ReadAddressLines(std::istream& in);
int RunDownloadCommand(const DownloadOptions& options);

}  // namespace albumora::cli
