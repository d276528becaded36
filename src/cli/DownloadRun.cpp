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

}  // namespace

const char* FailureName(FetchFailure failure) {
  switch (failure) {
    case FetchFailure::None:
      return "none";
    case FetchFailure::Network:
      return "network";
    case FetchFailure::TimedOut:
      return "time-out";
    case FetchFailure::HttpStatus:
      return "HTTP status";
    case FetchFailure::SizeLimit:
      return "size limit";
    case FetchFailure::NotPicture:
      return "not a picture";
    case FetchFailure::NotWritten:
      return "not written";
    case FetchFailure::TooSlow:
      return "too slow";
    case FetchFailure::Stopped:
      return "stopped";
    case FetchFailure::Refused:
      return "refused by the site";
  }
  return "other";
}

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
      error = "--albums: not a row number or range: \"" + EscapeControls(part) + "\"";
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

std::vector<Aria2Entry> Aria2Entries(
    const DownloadList& list, const std::string& userAgent,
    const std::function<std::string(const std::string&)>& cookiesFor) {
  std::vector<Aria2Entry> entries;
  const std::string agent = Aria2Value(userAgent);
  for (size_t i = 0; i < list.size(); ++i) {
    const std::string& line = list.arrUrl[i];
    const size_t cut = line.find("\r\n");
    Aria2Entry entry;
    entry.address = Aria2Value(line.substr(0, cut));
    entry.fallback = cut == std::string::npos ? std::string() : Aria2Value(line.substr(cut + 2));
    if (entry.address.empty()) std::swap(entry.address, entry.fallback);
    if (entry.address.empty()) continue;
    if (entry.fallback == entry.address) entry.fallback.clear();
    entry.dir = Aria2Value(list.strSaveDir);
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
      "# album's folder under albumora's name.\n"
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

std::vector<std::string> ReadAddressLines(std::istream& in) {
  std::vector<std::string> addresses;
  std::string line;
  while (std::getline(in, line)) {
    const std::string address = Trim(line);
    if (address.empty() || address.front() == '#') continue;
    addresses.push_back(address);
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
  std::unique_ptr<ProgressLine> progress;
  if (isatty(STDERR_FILENO) != 0 && host.verbosity() != Verbosity::Quiet) {
    progress = std::make_unique<ProgressLine>();
    host.SetDisplay(progress.get());
  }
  std::unique_ptr<Archive> archive;
  if (choices.useArchive && choices.exportKind == ExportKind::None) {
    std::string error;
    archive = Archive::Open(ProgramFile(kArchiveFileName), error);
    if (!archive) host.Line("albumora: warning: " + error);
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
    if (OutcomeIsGood(album.outcome)) ++summary.albumsGood;
    if (progress) progress->ClearLine();
    const ST_PERLISTRECORD& entry = app.albumList[static_cast<size_t>(album.albumIndex)];
    std::array<long, kFetchFailureKinds> failedBy{};
    for (size_t kind = 0; kind < failedBy.size(); ++kind) failedBy[kind] = album.failedBy[kind];
    if (json) {
      for (const FailedPicture& failure : album.failures) {
        std::printf(
            "{\"type\":\"failed\",\"row\":%d,\"address\":%s,\"file\":%s,\"reason\":%s,"
            "\"error\":%s}\n",
            album.albumIndex + 1, JsonString(PrimaryAddress(failure.address)).c_str(),
            JsonString(failure.file).c_str(), JsonString(FailureName(failure.kind)).c_str(),
            JsonString(failure.reason).c_str());
      }
      std::string pages = "[";
      for (const std::string& page : album.pageFailures) {
        pages += (pages.size() > 1 ? "," : "") + JsonString(page);
      }
      pages += "]";
      std::printf(
          "{\"type\":\"album\",\"row\":%d,\"name\":%s,\"outcome\":%s,\"listed\":%zu,"
          "\"written\":%d,\"already\":%d,\"failed\":%d,\"reasons\":%s,\"stopped\":%d,"
          "\"folder\":%s,\"listOnly\":%s,\"upToDate\":%s,\"count\":%d,\"note\":%s,"
          "\"failedPages\":%s%s}\n",
          album.albumIndex + 1, JsonString(entry.strName).c_str(),
          JsonString(OutcomeName(album.outcome)).c_str(), album.listed,
          static_cast<int>(album.written), static_cast<int>(album.already),
          static_cast<int>(album.failed), ReasonsJson(failedBy).c_str(),
          static_cast<int>(album.stopped), JsonString(album.folder).c_str(),
          album.listOnly ? "true" : "false", album.upToDate ? "true" : "false",
          static_cast<int>(entry.nCount), JsonString(album.note).c_str(), pages.c_str(),
          album.diagnosis ? (",\"diagnosis\":" + DiagnosisJson(*album.diagnosis)).c_str() : "");
    } else {
      std::printf("%04d\t%s\t%s\t%zu\t%d\t%d\t%d\t%d\t%s\n", album.albumIndex + 1,
                  EscapeControls(entry.strName).c_str(), OutcomeName(album.outcome), album.listed,
                  static_cast<int>(album.written), static_cast<int>(album.already),
                  static_cast<int>(album.failed), static_cast<int>(album.stopped),
                  EscapeControls(album.folder).c_str());
    }
    std::fflush(stdout);
    if (verbose) {
      for (const FailedPicture& failure : album.failures) {
        host.Line("failed: " + PrimaryAddress(failure.address) + " -> " + failure.file + ": " +
                  failure.reason);
      }
    }
    if (host.verbosity() != Verbosity::Quiet || !OutcomeIsGood(album.outcome)) {
      std::string line = "album " + entry.strName + ": " + OutcomeName(album.outcome);
      switch (album.outcome) {
        case AlbumOutcome::NothingNew:
          line += " (nothing new since the last download)";
          break;
        case AlbumOutcome::ListFailed:
          line += " (" + std::to_string(album.pageFailures.size()) +
                  " picture-list page(s) failed: " + album.pageFailures.front() + ")";
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
      // A page that answered but no longer holds what the family looks for: said instead of
      // "empty", or beside another outcome.
      if (album.diagnosis && album.outcome == AlbumOutcome::Empty) {
        line = "album " + entry.strName + ": " + DiagnosisText(*album.diagnosis);
      } else if (album.diagnosis) {
        line += "; " + DiagnosisText(*album.diagnosis);
      }
      if (!album.note.empty()) line += "; " + album.note;
      if (!InterruptScope::Interrupted() || album.outcome == AlbumOutcome::Stopped) {
        host.Line(line);
      }
    }
  };
  ListWriterFn writer;
  std::unique_ptr<Aria2Rpc> rpc;
  if (choices.exportKind == ExportKind::Aria2Rpc) {
    rpc = std::make_unique<Aria2Rpc>(choices.aria2Rpc, choices.aria2Secret);
    writer = [&host, &rpc, &summary](const DownloadList& list, const std::string&) {
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
        } else {
          ++summary.notQueued;
          summary.aria2Unreachable = rpc->Unreachable();
          host.Line("albumora: " + entry.out + ": " + error);
        }
      }
    };
  }
  if (choices.exportKind == ExportKind::Aria2) {
    writer = [&host](const DownloadList& list, const std::string& albumName) {
      if (WriteAria2List(list, albumName).empty()) {
        host.Line("albumora: cannot write the aria2 list in " + list.strSaveDir);
      }
    };
  }
  {
    // Running before Ctrl-C is caught: a stop is never overwritten by the start.
    app.nDownState = DOWN_RUNNING;
    InterruptScope interrupts(app);
    DownloadJobOptions options;
    options.report = report;
    options.writeList = writer;
    options.archive = archive.get();
    options.force = choices.force;
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
    status = kExitInterrupted;
  } else if (summary.aria2Unreachable) {
    status = kExitNotStarted;
  } else if (summary.albumsGood < summary.albums || summary.failed > 0 || summary.notQueued > 0) {
    status = kExitSomeFailed;
  }
  std::string line;
  if (summary.queued > 0 || summary.notQueued > 0) {
    line = std::to_string(summary.queued) + " of " + std::to_string(summary.listed) +
           " pictures queued in aria2";
    if (summary.notQueued > 0) line += ", " + std::to_string(summary.notQueued) + " not queued";
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
  if (json) {
    std::printf(
        "{\"type\":\"summary\",\"albums\":%zu,\"outcomes\":%s,\"listed\":%zu,\"written\":%ld,"
        "\"already\":%ld,\"failed\":%ld,\"reasons\":%s,\"stopped\":%ld,\"interrupted\":%s,"
        "\"queued\":%zu,\"status\":%d}\n",
        summary.albums, albumsJson.c_str(), summary.listed, summary.written, summary.already,
        summary.failed, ReasonsJson(summary.failedBy).c_str(), summary.stoppedPictures,
        summary.stopped ? "true" : "false", summary.queued, status);
    std::fflush(stdout);
  }
  if (summary.started || summary.stopped) {
    if (status != kExitOk || session.options().verbosity != Verbosity::Quiet) {
      session.host().Line(line);
    }
    if (summary.failed > 0 && session.options().verbosity != Verbosity::Verbose) {
      session.host().Line("(-v names each failed picture; a rerun fetches only what is missing)");
    }
  }
  return status;
}

namespace {

// With --json, a run that ends before its job still ends in a summary object on stdout.
void PrintEarlySummary(int status) {
  std::printf(
      "{\"type\":\"summary\",\"albums\":0,\"outcomes\":{},\"listed\":0,\"written\":0,"
      "\"already\":0,\"failed\":0,\"reasons\":{},\"stopped\":0,\"interrupted\":%s,"
      "\"status\":%d}\n",
      status == kExitInterrupted ? "true" : "false", status);
  std::fflush(stdout);
}

// One address of a download run: its album list, the selection, the job and the summary.
int DownloadAddressSteps(const DownloadOptions& options, const AlbumSelection& selection,
                         const std::string& address, bool& summarized) {
  CommonOptions common = options.common;
  common.address = address;
  std::string error;
  CliSession session(common);
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
    } else if (verbosity != Verbosity::Quiet || wait.seconds > 30) {
      host.Line(WaitLine(wait));
    }
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
  const DownloadSummary summary = RunDownloadWithSummary(session, options.save, choices);
  session.SaveCookies();
  summarized = true;
  return FinishDownload(session, summary);
}

int DownloadAddress(const DownloadOptions& options, const AlbumSelection& selection,
                    const std::string& address) {
  bool summarized = false;
  const int status = DownloadAddressSteps(options, selection, address, summarized);
  if (options.common.json && !summarized) PrintEarlySummary(status);
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
  if (options.inputFile.empty()) {
    if (!CheckAddressForm(options.common.address, options.common.site, address, error)) {
      return UsageError("download", error);
    }
    started = true;
    return DownloadAddress(options, selection, address);
  }

  std::vector<std::string> addresses;
  if (options.inputFile == "-") {
    addresses = ReadAddressLines(std::cin);
  } else {
    std::ifstream in(options.inputFile);
    if (!in) {
      PrintError("cannot read the address file " + options.inputFile + ": " + std::strerror(errno));
      return kExitNotStarted;
    }
    addresses = ReadAddressLines(in);
  }
  if (addresses.empty()) {
    PrintError("the address file " + options.inputFile + " holds no address");
    return kExitUsage;
  }
  // Every address is checked before the first is listed.
  for (size_t i = 0; i < addresses.size(); ++i) {
    if (!CheckAddressForm(addresses[i], options.common.site, address, error)) {
      return UsageError("download",
                        options.inputFile + ", address " + std::to_string(i + 1) + ": " + error);
    }
    addresses[i] = address;
  }
  const bool quiet = options.common.verbosity == Verbosity::Quiet;
  int overall = kExitOk;
  for (size_t i = 0; i < addresses.size(); ++i) {
    if (!quiet) {
      std::cerr << "albumora: address " << i + 1 << "/" << addresses.size() << ": "
                << EscapeControls(addresses[i]) << "\n";
    }
    started = true;
    const int status = DownloadAddress(options, selection, addresses[i]);
    if (status == kExitInterrupted) return kExitInterrupted;
    overall = std::max(overall, status);
  }
  return overall;
}

}  // namespace

}  // namespace albumora::cli
