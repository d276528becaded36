// SPDX-License-Identifier: GPL-3.0-or-later
// The download side of the command line: selection, overrides, checks, the progress line, the
// per-album lines and the summary; and `albumora download` itself.
#include "cli/DownloadRun.h"
#include "sites/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <thread>

#include "app/Commands.h"
#include "archive/Archive.h"
#include "cli/Aria2Rpc.h"
#include "cli/LogFile.h"
#include "download/DownloadJob.h"
#include "download/Naming.h"
#include "download/Workers.h"
#include "fs/FileNames.h"
#include "fs/ProgramFolder.h"
#include "model/DownloadList.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"
#include "text/StringCtrl.h"

namespace albumora::cli {

namespace {

bool ReadRow(const std::string& text, int& row) {
  if (text.empty() || text.size() > 9) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  row = std::stoi(text);
  return row > 0;
}

std::string SizeText(uint64_t bytes) {
  char text[32];
  if (bytes >= 1024 * 1024) {
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
  } else {
    std::snprintf(text, sizeof text, "%.0f KB", static_cast<double>(bytes) / 1024.0);
  }
  return text;
}

// The job's texts on one line of the terminal, redrawn in place a few times a second and cut to
// the terminal's width (so it never wraps).
class ProgressLine : public CliHost::Display {
 public:
  ProgressLine() : start_(std::chrono::steady_clock::now()), startBytes_(Pool().bytesWritten) {
    ticker_ = std::thread([this] { Tick(); });
  }
  ~ProgressLine() override {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    ticker_.join();
    ClearLine();
  }
  ProgressLine(const ProgressLine&) = delete;
  ProgressLine& operator=(const ProgressLine&) = delete;

  void Status(StatusLine line, const std::string& text) override {
    std::lock_guard lock(mutex_);
    if (line == StatusLine::Main) main_ = text;
    if (line == StatusLine::Progress) progress_ = text;
    DrawLocked();
  }
  void ClearLine() override {
    std::lock_guard lock(mutex_);
    if (drawn_) std::cerr << "\r\033[K" << std::flush;
    drawn_ = false;
  }

 private:
  void Tick() {
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      DrawLocked();
      wake_.wait_for(lock, std::chrono::milliseconds(250));
    }
  }
  void DrawLocked() {
    const uint64_t bytes = Pool().bytesWritten.load() - startBytes_;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    std::string text = main_;
    if (!progress_.empty()) text += (text.empty() ? "" : " ") + progress_;
    text += "  " + SizeText(bytes);
    if (seconds > 0.5) text += ", " + SizeText(static_cast<uint64_t>(bytes / seconds)) + "/s";
    const size_t columns = TerminalColumns();
    std::cerr << "\r\033[K" << FitWidth(text, columns > 1 ? columns - 1 : 1) << std::flush;
    drawn_ = true;
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  bool drawn_ = false;
  std::string main_;
  std::string progress_;
  const std::chrono::steady_clock::time_point start_;
  const uint64_t startBytes_;
  std::thread ticker_;
};

void SetOption(NameRule& rule, uint16_t on, uint16_t off) {
  rule.wOptions = static_cast<uint16_t>((rule.wOptions | on) & ~off);
}

std::string ReasonsText(const std::array<long, kFetchFailureKinds>& failedBy) {
  std::string text;
  for (size_t kind = 0; kind < failedBy.size(); ++kind) {
    if (failedBy[kind] == 0) continue;
    text += (text.empty() ? "" : ", ") + std::to_string(failedBy[kind]) + " " +
            FailureName(static_cast<FetchFailure>(kind));
  }
  return text;
}

std::string ReasonsJson(const std::array<long, kFetchFailureKinds>& failedBy) {
  std::string json = "{";
  for (size_t kind = 0; kind < failedBy.size(); ++kind) {
    if (failedBy[kind] == 0) continue;
    if (json.size() > 1) json += ",";
    json += JsonString(FailureName(static_cast<FetchFailure>(kind))) + ":" +
            std::to_string(failedBy[kind]);
  }
  return json + "}";
}

// The keys that tie an album or summary object to its address: as given, and with -i FILE
// its line.
std::string InputJson(const std::string& address, size_t index) {
  std::string json = ",\"address\":" + JsonString(address);
  if (index > 0) json += ",\"index\":" + std::to_string(index);
  return json;
}

}  // namespace

const char* FailureName(FetchFailure failure) { return FailureReason(failure); }

bool ParseAlbumSelection(const std::string& text, AlbumSelection& selection, std::string& error) {
  selection = AlbumSelection{};
  const std::string trimmed = Trim(text);
  if (EqualsNoCase(trimmed, "all")) return true;
  selection.all = false;
  std::vector<std::string> parts;
  SplitBy(parts, trimmed, ",");
  if (parts.empty()) parts.push_back(trimmed);
  for (const std::string& raw : parts) {
    const std::string part = Trim(raw);
    size_t dash = part.find('-');
    int first = 0;
    int last = 0;
    bool ok = dash == std::string::npos ? ReadRow(part, first)
                                        : ReadRow(Trim(part.substr(0, dash)), first) &&
                                              ReadRow(Trim(part.substr(dash + 1)), last);
    if (dash == std::string::npos) last = first;
    if (!ok || last < first) {
      // Digits that make no row (0, or more rows than any list holds), or a range downwards.
      auto digits = [](const std::string& word) {
        return !word.empty() && word.find_first_not_of("0123456789") == std::string::npos;
      };
      const std::string head = Trim(part.substr(0, dash));
      const std::string tail = dash == std::string::npos ? head : Trim(part.substr(dash + 1));
      const std::string quoted = "\"" + EscapeControls(part) + "\"";
      if (!digits(head) || !digits(tail)) {
        error = "--albums: not a row number or range: " + quoted;
      } else if (!ReadRow(head, first) || !ReadRow(tail, last)) {
        error = "--albums: rows go from 1 to 999999999, not " + quoted;
      } else {
        error = "--albums: a range goes upwards, such as 3-5, not " + quoted;
      }
      return false;
    }
    selection.ranges.emplace_back(first, last);
  }
  return true;
}

bool SelectAlbums(AppState& app, const AlbumSelection& selection, std::string& error) {
  const int count = static_cast<int>(app.albumList.size());
  if (!selection.all) {
    for (const auto& [first, last] : selection.ranges) {
      if (last > count) {
        error = "--albums: no row " + std::to_string(last) + " (the list has " +
                std::to_string(count) + " albums)";
        return false;
      }
    }
  }
  // Which album numbers the ranges name, made once: a selection of thousands of numbers costs
  // each row no more than a single range.
  std::vector<int> wanted(static_cast<size_t>(count) + 2, 0);
  for (const auto& [first, last] : selection.ranges) {
    ++wanted[static_cast<size_t>(first)];
    --wanted[static_cast<size_t>(last) + 1];
  }
  for (size_t number = 1; number < wanted.size(); ++number) wanted[number] += wanted[number - 1];
  GridModel& grid = app.grid;
  grid.SelectAll(false);
  for (int row = grid.FixedRows(); row < grid.RowCount(); ++row) {
    const int number = grid.Cell(row, 0).data + 1;
    if (selection.all ||
        (number >= 1 && number <= count && wanted[static_cast<size_t>(number)] > 0)) {
      grid.SelectRow(row, true);
    }
  }
  return true;
}

void ApplyOverrides(AppState& app, int site, const DownloadOverrides& overrides,
                    ExportKind exportKind) {
  const size_t slot = site >= 0 && site < static_cast<int>(kSettingsSlots) ? site : 0;
  DownParam& down = app.settings.DownParams[slot];
  if (overrides.threads) down.wThreads = *overrides.threads;
  if (overrides.timeoutSec) down.wTimeout = *overrides.timeoutSec;
  if (overrides.minKB) down.wMinKB = *overrides.minKB;
  if (overrides.maxKB) down.wMaxKB = *overrides.maxKB;
  NameRule& rule = app.settings.NameRules[slot];
  SetOption(rule, overrides.optionsOn, overrides.optionsOff);
  if (exportKind != ExportKind::None) SetOption(rule, OPT_THUNDER_ONLY, 0);
}

bool CheckSizeLimits(AppState& app, int site, const DownloadOverrides& overrides,
                     std::string& error) {
  const size_t slot = site >= 0 && site < static_cast<int>(kSettingsSlots) ? site : 0;
  const DownParam& down = app.settings.DownParams[slot];
  const uint16_t minKB = overrides.minKB.value_or(down.wMinKB);
  const uint16_t maxKB = overrides.maxKB.value_or(down.wMaxKB);
  if (maxKB != 0 && minKB > maxKB) {
    error = "the smallest picture size (" + std::to_string(minKB) +
            " KB) lies above the largest (" + std::to_string(maxKB) +
            " KB): every picture would fail (--min-kb, --max-kb, or 'albumora config')";
    return false;
  }
  return true;
}

bool CheckSaveFolder(const std::string& folder, std::string& reason) {
  if (Trim(folder).empty()) {
    reason = "the save folder is empty";
    return false;
  }
  std::error_code error;
  std::filesystem::path path = std::filesystem::absolute(folder, error);
  if (error) {
    reason = folder + ": " + error.message();
    return false;
  }
  // The folder itself, or the nearest folder above it that exists, must be a folder we may
  // write into: there the missing ones will be made.
  for (std::filesystem::path at = path;; at = at.parent_path()) {
    const auto status = std::filesystem::status(at, error);
    if (std::filesystem::exists(status)) {
      if (!std::filesystem::is_directory(status)) {
        reason = "cannot make the save folder " + path.string() + ": " + at.string() +
                 " is a file, not a folder";
        return false;
      }
      if (access(at.c_str(), W_OK | X_OK) != 0) {
        reason = "cannot write into " + at.string() + ": " + std::strerror(errno);
        return false;
      }
      return true;
    }
    if (error && error != std::errc::no_such_file_or_directory &&
        error != std::errc::not_a_directory) {
      reason = "cannot use the save folder " + path.string() + ": " + error.message();
      return false;
    }
    if (at == at.parent_path()) break;
  }
  reason = "cannot make the save folder " + path.string();
  return false;
}

namespace {

// A value for one line of an aria2 input file: line breaks and tabs would start a new entry or
// an option line, so they go; so does white space at either end.
std::string Aria2Value(const std::string& text) {
  std::string value;
  value.reserve(text.size());
  for (char c : text) {
    if (c != '\r' && c != '\n' && c != '\t') value += c;
  }
  return Trim(value);
}

}  // namespace

bool IsLoopbackAddress(const std::string& url) {
  size_t begin = url.find("://");
  begin = begin == std::string::npos ? 0 : begin + 3;
  std::string host;
  if (begin < url.size() && url[begin] == '[') {
    host = url.substr(begin + 1, url.find(']', begin) - begin - 1);
  } else {
    host = url.substr(begin, url.find_first_of(":/?#", begin) - begin);
  }
  return EqualsNoCase(host, "localhost") || host.rfind("127.", 0) == 0 || host == "::1";
}

std::vector<Aria2Entry> Aria2Entries(
    const DownloadList& list, const std::string& userAgent,
    const std::function<std::string(const std::string&)>& cookiesFor) {
  std::vector<Aria2Entry> entries;
  const std::string agent = Aria2Value(userAgent);
  // The album's folder made absolute: aria2c (or the daemon) may run from any folder.
  std::error_code error;
  std::string dir = Aria2Value(list.strSaveDir);
  if (!dir.empty()) {
    const std::filesystem::path absolute = std::filesystem::absolute(dir, error);
    if (!error) dir = absolute.lexically_normal().string();
  }
  for (size_t i = 0; i < list.size(); ++i) {
    // Handed over by an earlier run already (or written): not again.
    if (i < list.arrAlready.size() && list.arrAlready[i] != 0) continue;
    const std::string& line = list.arrUrl[i];
    const size_t cut = line.find("\r\n");
    Aria2Entry entry;
    entry.index = i;
    entry.address = Aria2Value(line.substr(0, cut));
    entry.fallback = cut == std::string::npos ? std::string() : Aria2Value(line.substr(cut + 2));
    if (entry.address.empty()) std::swap(entry.address, entry.fallback);
    if (entry.address.empty()) continue;
    if (entry.fallback == entry.address) entry.fallback.clear();
    entry.dir = dir;
    entry.out = Aria2Value(list.arrName[i]);
    if (!agent.empty()) entry.headers.push_back("User-Agent: " + agent);
    std::vector<std::string> headers;
    SplitBy(headers, list.arrHeader[i], "\r\n");
    if (headers.empty()) headers.push_back(list.arrHeader[i]);
    for (const std::string& header : headers) {
      const std::string value = Aria2Value(header);
      if (!value.empty()) entry.headers.push_back(value);
    }
    const std::string cookies = cookiesFor ? Aria2Value(cookiesFor(entry.address)) : "";
    if (!cookies.empty()) {
      entry.headers.push_back("Cookie: " + cookies);
      entry.hasCookies = true;
    }
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string Aria2ListText(const DownloadList& list, const std::string& userAgent,
                          const std::function<std::string(const std::string&)>& cookiesFor,
                          bool& hasCookies) {
  hasCookies = false;
  std::string text =
      "# aria2 input file written by albumora: aria2c -i FILE fetches every picture into the\n"
      "# album's folder (dir=, an absolute path, so aria2c may run from any folder) under\n"
      "# albumora's name.\n"
      "# A picture's fallback (mostly a smaller copy) is not given to aria2, which would take it\n"
      "# for a mirror of the same file and might join parts of both: it is only named in a\n"
      "# comment before the picture (fetch it by hand if the first address fails).\n";
  for (const Aria2Entry& entry : Aria2Entries(list, userAgent, cookiesFor)) {
    if (!entry.fallback.empty()) text += "# fallback: " + entry.fallback + "\n";
    text += entry.address + "\n";
    text += " dir=" + entry.dir + "\n";
    text += " out=" + entry.out + "\n";
    for (const std::string& header : entry.headers) text += " header=" + header + "\n";
    hasCookies = hasCookies || entry.hasCookies;
  }
  return text;
}

std::string WriteAria2List(const DownloadList& list, const std::string& albumName) {
  const std::string path = FitFileName(list.strSaveDir + albumName + ".aria2.txt");
  const EngineLimits limits = GetEngineLimits();
  bool hasCookies = false;
  const std::string text = Aria2ListText(
      list, limits.userAgent.empty() ? std::string(kUserAgent) : limits.userAgent,
      [](const std::string& address) { return CookieStore::Shared().CookiesFor(address); },
      hasCookies);
  // A file that carries the login's cookies is for its owner's eyes only.
  const mode_t mode = hasCookies ? 0600 : 0644;
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return {};
  bool ok = ::fchmod(fd, mode) == 0 || !hasCookies;
  for (size_t done = 0; ok && done < text.size();) {
    const ssize_t wrote = ::write(fd, text.data() + done, text.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    ok = wrote > 0;
    if (ok) done += static_cast<size_t>(wrote);
  }
  ok = ::close(fd) == 0 && ok;
  return ok ? path : std::string();
}

namespace {

// A decimal number with at most one point; false when it is none.
bool ReadFraction(std::string_view text, double& value) {
  if (text.empty() || text.size() > 20) return false;
  value = 0;
  double scale = 0;
  for (char c : text) {
    if (c == '.' && scale == 0) {
      scale = 1;
    } else if (c >= '0' && c <= '9') {
      if (scale == 0) {
        value = value * 10 + (c - '0');
      } else {
        scale /= 10;
        value += scale * (c - '0');
      }
    } else {
      return false;
    }
  }
  return text != ".";
}

}  // namespace

bool ParseRate(const std::string& text, uint32_t& bytesPerSecond, std::string& error) {
  const std::string trimmed = Trim(text);
  std::string_view number = trimmed;
  double factor = 1;
  if (!number.empty() && (number.back() == 'k' || number.back() == 'K')) factor = 1024;
  if (!number.empty() && (number.back() == 'm' || number.back() == 'M')) factor = 1048576;
  if (factor != 1) number.remove_suffix(1);
  double value = 0;
  if (!ReadFraction(number, value) || value * factor > 4e9) {
    error =
        "--limit-rate takes bytes a second such as 800, 500k or 2M (at most 4000000000; 0: "
        "no limit), not " +
        EscapeControls(text);
    return false;
  }
  bytesPerSecond = static_cast<uint32_t>(value * factor);
  return true;
}

bool ParseWait(const std::string& text, uint32_t& ms, std::string& error) {
  double seconds = 0;
  if (!ReadFraction(Trim(text), seconds) || seconds > 600) {
    error = "--wait takes seconds from 0 to 600 (such as 2 or 0.5), not " + EscapeControls(text);
    return false;
  }
  ms = static_cast<uint32_t>(seconds * 1000 + 0.5);
  return true;
}

std::string WaitLine(const HostWait& wait) {
  return "waiting " + std::to_string(wait.seconds) + " s: " + wait.host + " asked to slow down (" +
         std::to_string(wait.status) + ")";
}

bool ParseLowSpeed(const std::string& text, std::pair<uint32_t, uint32_t>& value,
                   std::string& error) {
  const size_t cut = text.find_first_of(":/");
  auto number = [](const std::string& part, uint32_t low, uint32_t high, uint32_t& out) {
    if (part.empty() || part.size() > 10) return false;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
    }
    const unsigned long long read = std::stoull(part);
    if (read < low || read > high) return false;
    out = static_cast<uint32_t>(read);
    return true;
  };
  if (cut == std::string::npos || !number(Trim(text.substr(0, cut)), 0, 1000000000, value.first) ||
      !number(Trim(text.substr(cut + 1)), 1, 3600, value.second)) {
    error =
        "--low-speed takes BYTES:SECONDS, bytes a second from 0 (no limit) to 1000000000 "
        "and seconds from 1 to 3600, e.g. 1024:10; not \"" +
        EscapeControls(text) + "\"";
    return false;
  }
  return true;
}

std::vector<InputLine> ReadAddressLines(std::istream& in) {
  std::vector<InputLine> addresses;
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    if (number == 1 && line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
    for (size_t hash = line.find('#'); hash != std::string::npos; hash = line.find('#', hash + 1)) {
      if (hash == 0 || line[hash - 1] == ' ' || line[hash - 1] == '\t') {
        line.erase(hash);
        break;
      }
    }
    const std::string address = Trim(line);
    if (!address.empty()) addresses.push_back({number, address});
  }
  return addresses;
}

DownloadSummary RunDownloadWithSummary(CliSession& session, const std::string& savePath,
                                       const RunChoices& choices) {
  AppState& app = session.app();
  CliHost& host = session.host();
  const bool json = session.options().json;
  const bool verbose = host.verbosity() == Verbosity::Verbose;
  host.savePath = savePath;

  DownloadSummary summary;
  summary.address = choices.address;
  summary.index = choices.index;
  summary.dryRun = choices.exportKind == ExportKind::DryRun;
  std::unique_ptr<ProgressLine> progress;
  if (isatty(STDERR_FILENO) != 0 && host.verbosity() != Verbosity::Quiet) {
    progress = std::make_unique<ProgressLine>();
    host.SetDisplay(progress.get());
  }
  std::unique_ptr<Archive> archive;
  // Also for a hand-off: what was handed over is recorded, and a rerun hands only what is new.
  // Not for a dry run, which leaves no trace.
  if (choices.useArchive && choices.exportKind != ExportKind::DryRun) {
    std::string error;
    archive = Archive::Open(ProgramFile(kArchiveFileName), error);
    // Also when it opened: a damaged archive was moved aside.
    if (!error.empty()) host.Line("albumora: warning: " + error);
  }
  auto report = [&](const AlbumReport& album) {
    summary.started = true;
    ++summary.albums;
    summary.listed += album.listed;
    summary.written += album.written;
    summary.already += album.already;
    summary.failed += album.failed;
    summary.stoppedPictures += album.stopped;
    summary.listOnly = summary.listOnly || album.listOnly;
    for (size_t kind = 0; kind < album.failedBy.size(); ++kind) {
      summary.failedBy[kind] += album.failedBy[kind];
    }
    ++summary.outcomes[static_cast<size_t>(album.outcome)];
    if (album.diskFull) summary.diskFull = album.note;
    if (OutcomeIsGood(album.outcome)) ++summary.albumsGood;
    if (progress) progress->ClearLine();
    const ST_PERLISTRECORD& entry = app.albumList[static_cast<size_t>(album.albumIndex)];
    std::array<long, kFetchFailureKinds> failedBy{};
    for (size_t kind = 0; kind < failedBy.size(); ++kind) failedBy[kind] = album.failedBy[kind];
    if (json) {
      for (const FailedPicture& failure : album.failures) {
        // Named at the address that failed last; every address tried in "attempts".
        std::string attempts = "[";
        for (const PictureAttempt& attempt : failure.attempts) {
          attempts += (attempts.size() > 1 ? "," : "") + std::string("{\"address\":") +
                      JsonString(attempt.url) +
                      ",\"reason\":" + JsonString(FailureName(attempt.failure)) +
                      ",\"error\":" + JsonString(attempt.error) + "}";
        }
        attempts += "]";
        std::printf(
            "{\"type\":\"failed\",\"row\":%d,\"address\":%s,\"listed\":%s,\"file\":%s,"
            "\"reason\":%s,\"error\":%s,\"attempts\":%s}\n",
            album.albumIndex + 1, JsonString(failure.lastAddress).c_str(),
            JsonString(PrimaryAddress(failure.address)).c_str(), JsonString(failure.file).c_str(),
            JsonString(FailureName(failure.kind)).c_str(), JsonString(failure.reason).c_str(),
            attempts.c_str());
      }
      std::string pages = "[";
      for (const std::string& page : album.pageFailures) {
        pages += (pages.size() > 1 ? "," : "") + JsonString(page);
      }
      pages += "]";
      std::printf(
          "{\"type\":\"album\"%s,\"row\":%d,\"name\":%s,\"outcome\":%s,\"listed\":%zu,"
          "\"written\":%d,\"already\":%d,\"failed\":%d,\"reasons\":%s,\"stopped\":%d,"
          "\"folder\":%s,\"listOnly\":%s,\"upToDate\":%s,\"count\":%d,\"note\":%s,"
          "\"failedPages\":%s%s}\n",
          InputJson(choices.address, choices.index).c_str(), album.albumIndex + 1,
          JsonString(album.name).c_str(), JsonString(OutcomeName(album.outcome)).c_str(),
          album.listed, static_cast<int>(album.written), static_cast<int>(album.already),
          static_cast<int>(album.failed), ReasonsJson(failedBy).c_str(),
          static_cast<int>(album.stopped), JsonString(album.folder).c_str(),
          album.listOnly ? "true" : "false", album.upToDate ? "true" : "false",
          static_cast<int>(entry.nCount), JsonString(album.note).c_str(), pages.c_str(),
          album.diagnosis ? (",\"diagnosis\":" + DiagnosisJson(*album.diagnosis)).c_str() : "");
    } else {
      std::printf("%04d\t%s\t%s\t%zu\t%d\t%d\t%d\t%d\t%s\n", album.albumIndex + 1,
                  EscapeControls(album.name).c_str(), OutcomeName(album.outcome), album.listed,
                  static_cast<int>(album.written), static_cast<int>(album.already),
                  static_cast<int>(album.failed), static_cast<int>(album.stopped),
                  EscapeControls(album.folder).c_str());
    }
    std::fflush(stdout);
    // "failed: FILE: ADDRESS: REASON (DETAIL), then ADDRESS: REASON (DETAIL)".
    for (const FailedPicture& failure : album.failures) {
      std::string line = "failed: " + failure.file + ": ";
      if (failure.attempts.empty()) {
        line +=
            failure.lastAddress + ": " + FailureName(failure.kind) + " (" + failure.reason + ")";
      }
      for (size_t i = 0; i < failure.attempts.size(); ++i) {
        const PictureAttempt& attempt = failure.attempts[i];
        line += (i > 0 ? ", then " : "") + attempt.url + ": " + FailureName(attempt.failure) +
                " (" + attempt.error + ")";
      }
      host.Detail(EscapeControls(line), verbose);
    }
    {
      // The site's texts (name, page address, note) on one line: their breaks are shown.
      std::string line = "album " + EscapeControls(album.name) + ": " + OutcomeName(album.outcome);
      switch (album.outcome) {
        case AlbumOutcome::NothingNew:
          line += " (nothing new since the last download)";
          break;
        case AlbumOutcome::ListFailed:
          line += " (" + std::to_string(album.pageFailures.size()) +
                  " picture-list page(s) failed: " + EscapeControls(album.pageFailures.front()) +
                  ")";
          break;
        case AlbumOutcome::Refused:
          line += " (a question was answered no, or the album needs a login or password)";
          break;
        case AlbumOutcome::Empty:
          line += " (the site listed no picture)";
          break;
        default:
          break;
      }
      if (choices.exportKind == ExportKind::DryRun) line += " (a dry run: nothing fetched)";
      // A page that answered but no longer holds what the family looks for: said instead of
      // "empty", or beside another outcome.
      if (album.diagnosis && album.outcome == AlbumOutcome::Empty) {
        line = "album " + EscapeControls(album.name) + ": " +
               EscapeControls(DiagnosisText(*album.diagnosis));
      } else if (album.diagnosis) {
        line += "; " + EscapeControls(DiagnosisText(*album.diagnosis));
      }
      if (!album.note.empty()) line += "; " + EscapeControls(album.note);
      host.Detail(line,
                  (host.verbosity() != Verbosity::Quiet || !OutcomeIsGood(album.outcome)) &&
                      (!InterruptScope::Interrupted() || album.outcome == AlbumOutcome::Stopped));
    }
  };
  ListWriterFn writer;
  HandOverFn handOver;
  std::unique_ptr<Aria2Rpc> rpc;
  if (choices.exportKind == ExportKind::Aria2Rpc) {
    rpc = std::make_unique<Aria2Rpc>(choices.aria2Rpc, choices.aria2Secret);
    summary.aria2 = true;
    handOver = [&host, &rpc, &summary](const DownloadList& list, const std::string&) {
      std::vector<uint8_t> handed(list.size(), 0);
      const EngineLimits limits = GetEngineLimits();
      const std::vector<Aria2Entry> entries = Aria2Entries(
          list, limits.userAgent.empty() ? std::string(kUserAgent) : limits.userAgent,
          [](const std::string& address) { return CookieStore::Shared().CookiesFor(address); });
      for (const Aria2Entry& entry : entries) {
        std::string error;
        if (summary.aria2Unreachable) {
          ++summary.notQueued;
        } else if (rpc->Add(entry, error)) {
          ++summary.queued;
          handed[entry.index] = 1;
        } else {
          ++summary.notQueued;
          summary.aria2Unreachable = rpc->Unreachable();
          host.Line(EscapeControls("albumora: " + entry.out + ": " + error));
        }
      }
      return handed;
    };
  }
  if (choices.exportKind == ExportKind::DryRun) {
    // Per picture its address and the file a download would write, before its album's line.
    writer = [&](const DownloadList& list, const std::string& albumName) {
      // The album's row: names in the album list are unique.
      int row = 0;
      for (size_t i = 0; i < app.albumList.size() && row == 0; ++i) {
        if (app.albumList[i].strName == albumName) row = static_cast<int>(i) + 1;
      }
      for (size_t i = 0; i < list.size(); ++i) {
        const std::string& line = list.arrUrl[i];
        const size_t cut = line.find("\r\n");
        std::string address = line.substr(0, cut);
        std::string fallback = cut == std::string::npos ? std::string() : line.substr(cut + 2);
        if (address.empty()) std::swap(address, fallback);
        const std::string file = list.strSaveDir + list.arrName[i];
        const bool already = i < list.arrAlready.size() && list.arrAlready[i] != 0;
        if (json) {
          std::printf(
              "{\"type\":\"picture\"%s,\"row\":%d,\"address\":%s,\"fallback\":%s,"
              "\"file\":%s,\"already\":%s}\n",
              InputJson(choices.address, choices.index).c_str(), row, JsonString(address).c_str(),
              JsonString(fallback).c_str(), JsonString(file).c_str(), already ? "true" : "false");
        } else {
          std::printf("%04d\t%s\t%s\n", row, EscapeControls(address).c_str(),
                      EscapeControls(file).c_str());
        }
      }
      std::fflush(stdout);
    };
  }
  if (choices.exportKind == ExportKind::Aria2) {
    handOver = [&host](const DownloadList& list, const std::string& albumName) {
      std::vector<uint8_t> handed(list.size(), 0);
      if (WriteAria2List(list, albumName).empty()) {
        host.Line("albumora: cannot write the aria2 list in " + list.strSaveDir);
        return handed;
      }
      for (size_t i = 0; i < list.size(); ++i)
        handed[i] = i < list.arrAlready.size() && list.arrAlready[i] != 0 ? 0 : 1;
      return handed;
    };
  }
  {
    // Running before Ctrl-C is caught: a stop is never overwritten by the start.
    app.nDownState = DOWN_RUNNING;
    InterruptScope interrupts(app);
    DownloadJobOptions options;
    options.report = report;
    options.writeList = writer;
    options.handOver = handOver;
    options.handOverOutcome = choices.exportKind == ExportKind::Aria2Rpc ? PictureOutcome::Queued
                                                                         : PictureOutcome::Exported;
    options.handOverRemote =
        choices.exportKind == ExportKind::Aria2Rpc && !IsLoopbackAddress(choices.aria2Rpc);
    options.archive = archive.get();
    options.force = choices.force;
    options.dryRun = choices.exportKind == ExportKind::DryRun;
    RunDownloadJob(app, SiteAdapters(), options);
  }
  if (archive && !archive->LastError().empty()) {
    host.Line("albumora: warning: the download archive: " + archive->LastError());
  }
  summary.stopped = InterruptScope::Interrupted();
  host.SetDisplay(nullptr);
  progress.reset();
  // The job got past its checks when its folder (save path and owner texts) exists.
  std::string jobFolder = Trim(savePath);
  if (!jobFolder.empty()) {
    if (jobFolder.back() != kPathSep) jobFolder += kPathSep;
    jobFolder += app.strOwner + app.strOwnerTitle;
    std::error_code error;
    summary.started = summary.started || std::filesystem::is_directory(jobFolder, error);
  }
  return summary;
}

int FinishDownload(CliSession& session, const DownloadSummary& summary) {
  const bool json = session.options().json;
  int status = kExitOk;
  if (!summary.started && !summary.stopped) {
    status = kExitNotStarted;
  } else if (summary.stopped) {
    status = InterruptScope::Status();
  } else if (summary.aria2Unreachable) {
    status = kExitNotStarted;
  } else if (summary.albumsGood < summary.albums || summary.failed > 0 || summary.notQueued > 0) {
    status = kExitSomeFailed;
  }
  std::string line;
  if (summary.queued > 0 || summary.notQueued > 0 || summary.aria2) {
    line = std::to_string(summary.queued) + " of " + std::to_string(summary.listed) +
           " pictures queued in aria2";
    if (summary.notQueued > 0) line += ", " + std::to_string(summary.notQueued) + " not queued";
    if (summary.already > 0) {
      line += ", " + std::to_string(summary.already) + " handed over or written before";
    }
  } else if (summary.listOnly && summary.dryRun) {
    line = std::to_string(summary.listed) + " pictures listed (a dry run: nothing written)";
  } else if (summary.listOnly) {
    line = std::to_string(summary.listed) + " pictures listed for a download manager";
  } else {
    line = std::to_string(summary.written) + " of " + std::to_string(summary.listed) +
           " pictures written";
    if (summary.already > 0) line += ", " + std::to_string(summary.already) + " already there";
    line += ", " + std::to_string(summary.failed) + " failed";
    if (summary.failed > 0) line += " (" + ReasonsText(summary.failedBy) + ")";
    line += ", " + std::to_string(summary.stoppedPictures) + " stopped";
  }
  std::string albums;
  std::string albumsJson = "{";
  for (size_t outcome = 0; outcome < summary.outcomes.size(); ++outcome) {
    if (summary.outcomes[outcome] == 0) continue;
    const char* name = OutcomeName(static_cast<AlbumOutcome>(outcome));
    albums += (albums.empty() ? "" : ", ") + std::to_string(summary.outcomes[outcome]) + " " + name;
    albumsJson += (albumsJson.size() > 1 ? "," : "") + JsonString(name) + ":" +
                  std::to_string(summary.outcomes[outcome]);
  }
  albumsJson += "}";
  if (!albums.empty()) line += "; albums: " + albums;
  if (summary.stopped) line += "; interrupted";
  if (!summary.diskFull.empty())
    line += "; " + summary.diskFull + ": free some space and run again";
  if (json) {
    std::printf(
        "{\"type\":\"summary\"%s,\"albums\":%zu,\"outcomes\":%s,\"listed\":%zu,\"written\":%ld,"
        "\"already\":%ld,\"failed\":%ld,\"reasons\":%s,\"stopped\":%ld,\"interrupted\":%s,"
        "\"queued\":%zu,\"diskFull\":%s,\"status\":%d}\n",
        InputJson(summary.address, summary.index).c_str(), summary.albums, albumsJson.c_str(),
        summary.listed, summary.written, summary.already, summary.failed,
        ReasonsJson(summary.failedBy).c_str(), summary.stoppedPictures,
        summary.stopped ? "true" : "false", summary.queued,
        summary.diskFull.empty() ? "false" : "true", status);
    std::fflush(stdout);
  }
  if (summary.started || summary.stopped) {
    session.host().Detail(line,
                          status != kExitOk || session.options().verbosity != Verbosity::Quiet);
    if (summary.failed > 0 && session.options().verbosity != Verbosity::Verbose) {
      session.host().Line("(-v names each failed picture; a rerun fetches only what is missing)");
    }
  }
  return status;
}

namespace {

// With --json, a run that ends before its job still ends in a summary object on stdout.
void PrintEarlySummary(int status, const std::string& address = {}, size_t index = 0) {
  std::printf(
      "{\"type\":\"summary\"%s,\"albums\":0,\"outcomes\":{},\"listed\":0,\"written\":0,"
      "\"already\":0,\"failed\":0,\"reasons\":{},\"stopped\":0,\"interrupted\":%s,"
      "\"queued\":0,\"status\":%d}\n",
      InputJson(address, index).c_str(), InterruptScope::Interrupted() ? "true" : "false", status);
  std::fflush(stdout);
}

// One address of a run: as given (with -i FILE its line), and in the form used.
struct Target {
  std::string given;
  size_t index = 0;
  std::string address;
};

// One address of a download run: its album list, the selection, the job and the summary.
int DownloadAddressSteps(const DownloadOptions& options, const AlbumSelection& selection,
                         const Target& target, DownloadSummary& total, bool& summarized) {
  CommonOptions common = options.common;
  common.address = target.address;
  std::string error;
  CliSession session(common);
  if (options.exportKind == ExportKind::DryRun) session.KeepNoNewSettingsFile();
  if (!session.Setup()) return kExitNotStarted;
  Config& config = session.app().config;
  if (options.lowSpeed) {
    config.lowSpeedBytes = options.lowSpeed->first;
    config.lowSpeedSeconds = options.lowSpeed->second;
  }
  if (options.retries) config.retries = *options.retries;
  if (options.waitMs) config.waitMs = *options.waitMs;
  if (options.randomWait) config.randomWait = true;
  if (options.perHostConnections) config.perHostConnections = *options.perHostConnections;
  if (options.limitRate) config.limitRate = *options.limitRate;
  if (options.userAgent) config.userAgent = *options.userAgent;
  ApplyConfig(config);
  // A host that asked to slow down: one line (under -q only for a long wait), or a JSON event.
  const bool json = common.json;
  const Verbosity verbosity = common.verbosity;
  CliHost& host = session.host();
  SetHostWaitObserver([json, verbosity, &host](const HostWait& wait) {
    if (json) {
      std::printf("{\"type\":\"wait\",\"host\":%s,\"seconds\":%u,\"status\":%ld}\n",
                  JsonString(wait.host).c_str(), wait.seconds, wait.status);
      std::fflush(stdout);
    }
    host.Detail(WaitLine(wait), !json && (verbosity != Verbosity::Quiet || wait.seconds > 30));
  });
  struct ObserverReset {
    ~ObserverReset() { SetHostWaitObserver(nullptr); }
  } observerReset;
  const int site = session.SiteFor(common.address);
  if (!CheckSizeLimits(session.app(), site, options.overrides, error)) {
    return UsageError("download", error);
  }

  const ListResult result = session.ListAlbums(common.address);
  session.SaveCookies();
  if (result != ListResult::Listed) return ListFailureStatus(result, common, site, "download");
  if (!SelectAlbums(session.app(), selection, error)) return UsageError("download", error);

  // After the album-list job, which saves the settings it remembers: the overrides stay in
  // memory for this run.
  ApplyOverrides(session.app(), site, options.overrides, options.exportKind);
  RunChoices choices;
  choices.exportKind = options.exportKind;
  choices.aria2Rpc = options.aria2Rpc;
  choices.aria2Secret = options.aria2Secret;
  choices.force = options.force;
  choices.address = target.given;
  choices.index = target.index;
  const DownloadSummary summary = RunDownloadWithSummary(session, options.save, choices);
  session.SaveCookies();
  summarized = true;
  total.albums += summary.albums;
  total.listed += summary.listed;
  total.written += summary.written;
  total.already += summary.already;
  total.failed += summary.failed;
  total.stoppedPictures += summary.stoppedPictures;
  total.queued += summary.queued;
  return FinishDownload(session, summary);
}

int DownloadAddress(const DownloadOptions& options, const AlbumSelection& selection,
                    const Target& target, DownloadSummary& total) {
  bool summarized = false;
  const int status = DownloadAddressSteps(options, selection, target, total, summarized);
  if (options.common.json && !summarized) PrintEarlySummary(status, target.given, target.index);
  return status;
}

// The checks that need no request, then each address.
int RunDownloadSteps(const DownloadOptions& options, bool& started);

}  // namespace

int RunDownloadCommand(const DownloadOptions& options) {
  bool started = false;
  const int status = RunDownloadSteps(options, started);
  if (options.common.json && !started) PrintEarlySummary(status);
  return status;
}

namespace {

int RunDownloadSteps(const DownloadOptions& options, bool& started) {
  AlbumSelection selection;
  std::string error;
  if (!ParseAlbumSelection(options.albums, selection, error)) {
    return UsageError("download", error);
  }
  // Checks that need no request.
  std::string reason;
  if (!CheckSaveFolder(options.save, reason)) {
    PrintError(reason);
    return kExitNotStarted;
  }
  if (options.exportKind == ExportKind::Aria2Rpc) {
    Aria2Rpc rpc(options.aria2Rpc, options.aria2Secret);
    std::string version;
    if (!rpc.Check(version, reason)) {
      PrintError(reason);
      return kExitNotStarted;
    }
  }
  std::string address;
  DownloadSummary total;
  if (options.inputFile.empty()) {
    if (!CheckAddressForm(options.common.address, options.common.site, address, error)) {
      return UsageError("download", error);
    }
    started = true;
    return DownloadAddress(options, selection, {Trim(options.common.address), 0, address}, total);
  }

  // The input file: a folder or a file that cannot be read is told with the system's reason.
  std::vector<InputLine> lines;
  const std::string fileName = options.inputFile == "-" ? "(standard input)" : options.inputFile;
  if (options.inputFile == "-") {
    lines = ReadAddressLines(std::cin);
  } else {
    std::error_code code;
    if (std::filesystem::is_directory(options.inputFile, code)) {
      PrintError("cannot read the address file " + fileName + ": " + std::strerror(EISDIR));
      return kExitNotStarted;
    }
    std::ifstream in(options.inputFile, std::ios::binary);
    if (!in) {
      PrintError("cannot read the address file " + fileName + ": " + std::strerror(errno));
      return kExitNotStarted;
    }
    lines = ReadAddressLines(in);
    if (in.bad()) {
      PrintError("cannot read the address file " + fileName + ": " + std::strerror(errno));
      return kExitNotStarted;
    }
  }
  // Every line is checked before the first address is listed; a bad one is told as FILE:LINE
  // and skipped, and the run ends with status 2 at least.
  std::vector<Target> targets;
  size_t skipped = 0;
  for (const InputLine& line : lines) {
    if (!CheckAddressForm(line.address, options.common.site, address, error)) {
      PrintError(fileName + ":" + std::to_string(line.line) + ": " + error + "; line skipped");
      ++skipped;
      continue;
    }
    targets.push_back({line.address, line.line, address});
  }
  if (targets.empty()) {
    PrintError("the address file " + fileName +
               (skipped > 0 ? " holds no address that can be read" : " holds no address"));
    return kExitUsage;
  }
  const bool quiet = options.common.verbosity == Verbosity::Quiet;
  int overall = skipped > 0 ? kExitUsage : kExitOk;
  started = true;
  size_t run = 0;
  for (size_t i = 0; i < targets.size() && !InterruptScope::Interrupted(); ++i) {
    const Target& target = targets[i];
    const std::string heading = "albumora: address " + std::to_string(i + 1) + "/" +
                                std::to_string(targets.size()) + " (" + EscapeControls(fileName) +
                                ":" + std::to_string(target.index) +
                                "): " + EscapeControls(target.given);
    LogLine(heading);
    if (!quiet) std::cerr << heading << std::endl;
    // The text output's heading: which address the album lines after it belong to.
    if (!options.common.json) {
      std::printf("# %s:%zu: %s\n", EscapeControls(fileName).c_str(), target.index,
                  EscapeControls(target.given).c_str());
      std::fflush(stdout);
    }
    ++run;
    overall = std::max(overall, DownloadAddress(options, selection, target, total));
  }
  if (InterruptScope::Interrupted()) overall = InterruptScope::Status();
  if (options.common.json) {
    std::printf(
        "{\"type\":\"total\",\"file\":%s,\"addresses\":%zu,\"run\":%zu,\"skipped\":%zu,"
        "\"albums\":%zu,\"listed\":%zu,\"written\":%ld,\"already\":%ld,\"failed\":%ld,"
        "\"stopped\":%ld,\"queued\":%zu,\"interrupted\":%s,\"status\":%d}\n",
        JsonString(fileName).c_str(), targets.size() + skipped, run, skipped, total.albums,
        total.listed, total.written, total.already, total.failed, total.stoppedPictures,
        total.queued, InterruptScope::Interrupted() ? "true" : "false", overall);
    std::fflush(stdout);
  }
  return overall;
}

}  // namespace

}  // namespace albumora::cli
