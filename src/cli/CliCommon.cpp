// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/CliCommon.h"
#include "app/Commands.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <signal.h>
#include <algorithm>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>

#include "albumlist/AlbumListJob.h"
#include "albumlist/AlbumRows.h"
#include "cli/LogFile.h"
#include "cli/LoginCommand.h"
#include "download/Workers.h"
#include "fs/ProgramFolder.h"
#include "model/Settings.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"
#include "sites/Pages.h"
#include "text/StringCtrl.h"

namespace albumora::cli {

namespace {

const char* LineLabel(StatusLine line) {
  switch (line) {
    case StatusLine::Main:
      return "status";
    case StatusLine::Progress:
      return "progress";
    case StatusLine::ListTitle:
      return "title";
  }
  return "status";
}

size_t LineSlot(StatusLine line) {
  switch (line) {
    case StatusLine::Main:
      return 0;
    case StatusLine::Progress:
      return 1;
    case StatusLine::ListTitle:
      return 2;
  }
  return 0;
}

// Decodes one UTF-8 sequence at text[i]; returns its length (1 for a stray byte, code -1).
size_t DecodeAt(const std::string& text, size_t i, int32_t& code) {
  const auto byte = static_cast<unsigned char>(text[i]);
  size_t length = byte < 0x80         ? 1
                  : (byte >> 5) == 6  ? 2
                  : (byte >> 4) == 14 ? 3
                  : (byte >> 3) == 30 ? 4
                                      : 0;
  if (length == 0 || i + length > text.size()) {
    code = -1;
    return 1;
  }
  code = length == 1 ? byte : byte & (0x7F >> length);
  for (size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(text[i + k]);
    if ((next & 0xC0) != 0x80) {
      code = -1;
      return 1;
    }
    code = (code << 6) | (next & 0x3F);
  }
  return length;
}

bool IsWide(int32_t code) {
  return (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
         (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
         (code >= 0xFE30 && code <= 0xFE4F) || (code >= 0xFF00 && code <= 0xFF60) ||
         (code >= 0xFFE0 && code <= 0xFFE6) || (code >= 0x1F300 && code <= 0x1FAFF) ||
         (code >= 0x20000 && code <= 0x3FFFD);
}

// Ctrl-C, SIGTERM, SIGHUP: the job to stop and the signal that asked for it (0: none yet).
std::atomic<AppState*> gStopTarget{nullptr};
std::atomic<int> gStopSignal{0};

void StopTarget() {
  AppState* app = gStopTarget.load();
  if (app != nullptr) {
    app->nListState = LIST_STOP;
    app->nDownState = DOWN_STOP;
    Pool().stop = true;
  }
}

void OnStopSignal(int signal) {
  int none = 0;
  gStopSignal.compare_exchange_strong(none, signal);
  StopTarget();
  // A second one of the same ends the program at once.
  std::signal(signal, SIG_DFL);
}

}  // namespace

bool CountCookieLines(const std::filesystem::path& path, size_t& cookies, size_t& skipped) {
  cookies = 0;
  skipped = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.starts_with("#HttpOnly_")) line.erase(0, 10);
    if (Trim(line).empty() || line.front() == '#') continue;
    if (std::count(line.begin(), line.end(), '\t') == 6) {
      ++cookies;
    } else {
      ++skipped;
    }
  }
  return !in.bad();
}

int UsageError(const std::string& command, const std::string& error) {
  LogLine("albumora: " + EscapeControls(error));
  std::cerr << "albumora: " << EscapeControls(error) << "\n"
            << "try 'albumora " << (command.empty() ? "" : command + " ") << "--help'" << std::endl;
  return kExitUsage;
}

std::string ClosestWord(const std::string& typed, const std::vector<std::string>& candidates) {
  // The optimal-string-alignment distance: insertions, deletions, substitutions, transpositions.
  auto distance = [](const std::string& a, const std::string& b) {
    std::vector<std::vector<size_t>> d(a.size() + 1, std::vector<size_t>(b.size() + 1));
    for (size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
    for (size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
      for (size_t j = 1; j <= b.size(); ++j) {
        const size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
        d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
        if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
          d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
        }
      }
    }
    return d[a.size()][b.size()];
  };
  if (typed.size() > 64) return {};
  std::string best;
  size_t bestDistance = 3;
  for (const std::string& candidate : candidates) {
    const size_t found = distance(typed, candidate);
    if (found < bestDistance && found * 2 < candidate.size()) {
      best = candidate;
      bestDistance = found;
    }
  }
  return best;
}

void PrintError(const std::string& error) {
  LogLine("albumora: " + EscapeControls(error));
  std::cerr << "albumora: " << EscapeControls(error) << std::endl;
}

void PrintWarning(const std::string& text) {
  LogLine("albumora: warning: " + EscapeControls(text));
  std::cerr << "albumora: warning: " << EscapeControls(text) << std::endl;
}

void LoadConfigFile(Config& config) {
  std::vector<std::string> problems;
  LoadConfig(ProgramFile(kConfigFileName), config, problems);
  for (const std::string& problem : problems) PrintWarning(problem);
}

std::string EscapeControls(const std::string& text, bool keepLineFeeds) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    int32_t code = 0;
    const size_t length = DecodeAt(text, i, code);
    if (keepLineFeeds && code == '\n') {
      out += '\n';
    } else if (code < 0) {
      // A byte that is no part of a UTF-8 character (binary junk): shown, never sent raw.
      const auto byte = static_cast<unsigned char>(text[i]);
      out += "\\x";
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    } else if (code < 0x20 || code == 0x7F) {
      out += "\\x";
      out += kHex[code >> 4];
      out += kHex[code & 15];
    } else if (code >= 0x80 && code < 0xA0) {
      out += "\\u00";
      out += kHex[code >> 4];
      out += kHex[code & 15];
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out;
}

std::string JsonString(const std::string& text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  for (size_t i = 0; i < text.size();) {
    int32_t code = 0;
    const size_t length = DecodeAt(text, i, code);
    if (code < 0) {
      out += "\\ufffd";  // not UTF-8: the replacement character
    } else if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (code < 0x20 || code == 0x7F || (code >= 0x80 && code < 0xA0)) {
      out += "\\u00";
      out += kHex[(code >> 4) & 15];
      out += kHex[code & 15];
    } else {
      out.append(text, i, length);
    }
    i += length;
  }
  return out + "\"";
}

size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    int32_t code = 0;
    i += DecodeAt(text, i, code);
    width += IsWide(code) ? 2 : 1;
  }
  return width;
}

std::string FitWidth(const std::string& text, size_t columns) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    int32_t code = 0;
    const size_t length = DecodeAt(text, i, code);
    const size_t w = IsWide(code) ? 2 : 1;
    if (width + w > columns) return text.substr(0, i);
    width += w;
    i += length;
  }
  return text;
}

size_t TerminalColumns() {
  winsize size{};
  if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
  if (const char* columns = std::getenv("COLUMNS")) {
    const long value = std::strtol(columns, nullptr, 10);
    if (value > 0 && value < 10000) return static_cast<size_t>(value);
  }
  return 80;
}

CliHost::CliHost(Answer answer, Verbosity verbosity)
    : answer_(answer),
      verbosity_(verbosity),
      interactive_(isatty(STDIN_FILENO) != 0),
      terminal_(isatty(STDERR_FILENO) != 0) {}

void CliHost::SetDisplay(Display* display) {
  std::lock_guard lock(mutex_);
  display_ = display;
}

void CliHost::Line(const std::string& text) { Detail(text, true); }

void CliHost::Detail(const std::string& text, bool shown) {
  const std::string escaped = EscapeControls(text, true);
  std::lock_guard lock(mutex_);
  LogLine(escaped);
  if (!shown) return;
  if (display_ != nullptr) display_->ClearLine();
  std::cerr << escaped << std::endl;
}

void CliHost::SetStatus(StatusLine line, const std::string& text) {
  std::lock_guard lock(mutex_);
  if (jobEnded_) return;
  // The log keeps the status and title lines as -v shows them; never the per-picture line.
  if (line != StatusLine::Progress && !text.empty() && text != lastLogged_[LineSlot(line)]) {
    lastLogged_[LineSlot(line)] = text;
    LogLine(std::string(LineLabel(line)) + ": " + EscapeControls(text));
  }
  if (verbosity_ == Verbosity::Quiet) return;
  if (display_ != nullptr) {
    display_->Status(line, EscapeControls(text));
    return;
  }
  // One line per picture is no log: off a terminal the per-picture line is left out. The
  // window's title line repeats what the status says: only with -v.
  if (line == StatusLine::Progress && !(terminal_ || verbosity_ == Verbosity::Verbose)) return;
  if (line == StatusLine::ListTitle && verbosity_ != Verbosity::Verbose) return;
  std::string& last = lastStatus_[LineSlot(line)];
  if (text == last) return;
  last = text;
  if (!text.empty()) std::cerr << LineLabel(line) << ": " << EscapeControls(text) << std::endl;
}

void CliHost::SetDownloadBusy(bool busy) {
  std::lock_guard lock(mutex_);
  jobEnded_ = !busy;
}

void CliHost::ShowMessage(const std::string& text, const std::string& caption) {
  std::string line = "message: " + (caption.empty() ? std::string() : "[" + caption + "] ") + text;
  // A site's message that sends the user to the window's login menu: how to log in here.
  if (text.find("登录") != std::string::npos) {
    line += "\n(on the command line: " +
            std::string(HasDisplay()
                            ? "run 'albumora login" +
                                  (address.empty() ? std::string() : " " + address) + "', or give"
                            : "log in with a browser elsewhere and give") +
            " its exported cookies.txt with --cookies FILE)";
  }
  {
    std::lock_guard lock(mutex_);
    if (holding_) {
      held_.push_back(std::move(line));
      return;
    }
  }
  Line(line);
}

void CliHost::HoldMessages() {
  std::lock_guard lock(mutex_);
  holding_ = true;
}

void CliHost::ReleaseMessages() {
  std::vector<std::string> held;
  {
    std::lock_guard lock(mutex_);
    holding_ = false;
    held.swap(held_);
  }
  for (const std::string& line : held) Line(line);
}

void CliHost::DropMessages() {
  std::lock_guard lock(mutex_);
  holding_ = false;
  held_.clear();
}

bool CliHost::AskYesNo(const std::string& text, const std::string& caption) {
  ReleaseMessages();
  std::lock_guard lock(mutex_);
  if (display_ != nullptr) display_->ClearLine();
  std::cerr << "question: ";
  if (!caption.empty()) std::cerr << "[" << EscapeControls(caption) << "] ";
  // The program's own question texts: their lines as lines.
  std::string question = text;
  ReplaceAll(question, "\n\n", "\n");
  std::cerr << EscapeControls(question, true);
  bool yes = answer_ == Answer::Yes;
  if (answer_ == Answer::Ask && interactive_) {
    std::cerr << " [y/N] " << std::flush;
    std::string line;
    yes = std::getline(std::cin, line) &&
          (Trim(line) == "y" || Trim(line) == "Y" || EqualsNoCase(Trim(line), "yes"));
  } else {
    std::cerr << " [y/N] ";
  }
  std::cerr << "-> " << (yes ? "yes" : "no") << std::endl;
  LogLine("question: " + EscapeControls(question) + " -> " + (yes ? "yes" : "no"));
  return yes;
}

void CliHost::OpenLogin(const std::string& address) {
  ReleaseMessages();
  Line("login: " + LoginAdvice(address));
  if (interactive_) {
    std::cerr << "press Enter to go on " << std::flush;
    std::string line;
    std::getline(std::cin, line);
  }
}

void CliHost::PoolFinished(long seconds, long pictures) {
  Detail("album finished: " + std::to_string(pictures) + " pictures tried in " +
             std::to_string(seconds) + " s",
         verbosity_ == Verbosity::Verbose);
}

void CliHost::OpenFolder(const std::string& path) {
  Detail("folder: " + path, verbosity_ != Verbosity::Quiet);
}

CliSession::CliSession(const CommonOptions& options)
    : options_(options), host_(options.answer, options.verbosity) {}

CliSession::~CliSession() {
  if (!options_.writePages.empty()) SetPageRecorder(nullptr);
  SetFetchFailureObserver(nullptr);
  if (!options_.proxy.empty()) SetEngineProxy("");
}

bool OpenProgramFolder(const std::string& home) {
  std::error_code error;
  std::filesystem::path folder;
  try {
    folder = InitProgramFolder(home);
  } catch (const std::filesystem::filesystem_error& failure) {
    PrintError("cannot use the program folder " + failure.path1().string() + ": " +
               failure.code().message());
    return false;
  }
  if (!std::filesystem::is_directory(folder, error)) {
    PrintError("cannot use the program folder " + folder.string() + ": " +
               (error ? error.message() : "not a folder"));
    return false;
  }
  return true;
}

bool CliSession::Setup() {
  std::error_code error;
  if (!OpenProgramFolder(options_.home)) return false;
  hadSettings_ = std::filesystem::exists(ProgramFile("soft.dat"), error);
  if (keepNoNewSettings_) {
    app_.settings = ReadSettings(ProgramFile("soft.dat"));
  } else {
    LoadSettings(app_.settings, ProgramFile("soft.dat"));
  }
  LoadConfigFile(app_.config);
  CookieStore& store = CookieStore::Shared();
  const std::filesystem::path saved = ProgramFile("cookies.txt");
  if (std::filesystem::exists(saved, error)) store.Load(saved);
  if (!options_.cookies.empty()) {
    size_t cookies = 0;
    size_t skipped = 0;
    errno = std::filesystem::is_directory(options_.cookies, error) ? EISDIR : 0;
    if (errno != 0 || !CountCookieLines(options_.cookies, cookies, skipped) ||
        !store.ImportFile(options_.cookies)) {
      PrintError("cannot read the cookies file " + options_.cookies + ": " +
                 std::strerror(errno != 0 ? errno : EIO));
      return false;
    }
    if (cookies == 0 && skipped > 0) {
      PrintError("the cookies file " + options_.cookies +
                 " holds no cookie line (a browser's export in the Netscape cookies.txt form: "
                 "seven fields separated by tabs)");
      return false;
    }
    if (skipped > 0) {
      PrintWarning("the cookies file " + options_.cookies + ": " + std::to_string(skipped) +
                   " line(s) skipped, not in the Netscape cookies.txt form");
    }
  }
  if (!options_.proxy.empty()) SetEngineProxy(options_.proxy);
  if (!options_.writePages.empty()) {
    std::string problem;
    std::shared_ptr<PageFolderRecorder> pages =
        PageFolderRecorder::Open(options_.writePages, problem);
    if (!pages) {
      PrintError("--write-pages: " + problem);
      return false;
    }
    SetPageRecorder(std::move(pages));
  }

  // Every failed request: remembered as the likely cause of an empty list. With -v a failed
  // page of the album list is named as "failed: ADDRESS: REASON"; a picture is named once, by
  // the album's "failed:" line, and what a stop cut is no failure.
  const bool verbose = options_.verbosity == Verbosity::Verbose;
  SetFetchFailureObserver([this, verbose, mutex = failureMutex_, last = lastFailure_](
                              const std::string& address, const HttpResponse& response) {
    if (response.failure == FetchFailure::Stopped) return;
    {
      std::lock_guard lock(*mutex);
      *last = response.strError;
    }
    if (listing_.load()) {
      // The engine's text begins with the host, which the address names already.
      std::string reason = response.strError;
      const size_t colon = reason.find(": ");
      if (colon != std::string::npos && colon > 0 &&
          address.find(reason.substr(0, colon)) != std::string::npos) {
        reason.erase(0, colon + 2);
      }
      host_.Detail(EscapeControls("failed: " + address + ": " + reason), verbose);
    }
  });
  ApplyConfig(app_.config);
  app_.bReady = 1;
  return true;
}

std::string CliSession::LastFailure() {
  std::lock_guard lock(*failureMutex_);
  return *lastFailure_;
}

int CliSession::SiteFor(const std::string& address) const {
  return options_.site >= 0 ? options_.site : RecognizeSiteOf(address);
}

ListResult CliSession::ListAlbums(const std::string& address) {
  const int site = SiteFor(address);
  if (!SiteHasAdapters(site)) return ListResult::NoAdapter;
  host_.address = address;
  app_.nListType = LT_NONE;
  app_.nSite = site;
  bool ran = false;
  ListPages pages;
  host_.HoldMessages();
  {
    InterruptScope interrupts(app_);
    listing_ = true;
    ran = RunListJob(app_, &pages);
    listing_ = false;
  }
  // An empty list after failed requests or a stop: the site's advice (log in, check the
  // address) would mislead; the cause is told instead.
  const std::string cause = LastFailure();
  if (InterruptScope::Interrupted() || (ran && app_.albumList.empty() && !cause.empty())) {
    host_.DropMessages();
  } else {
    host_.ReleaseMessages();
  }
  if (keepNoNewSettings_ && !hadSettings_) {
    std::error_code error;
    std::filesystem::remove(ProgramFile("soft.dat"), error);
  }
  if (InterruptScope::Interrupted()) return ListResult::Stopped;
  if (!ran) return ListResult::Refused;
  if (!app_.albumList.empty()) return ListResult::Listed;
  PrintError("no album listed for " + address +
             (cause.empty() ? std::string() : " (last failed request: " + cause + ")"));
  if (pages.diagnosis) {
    // The page that should have listed the albums, and what it no longer holds.
    PrintError(DiagnosisText(*pages.diagnosis));
    if (options_.json) {
      std::printf("{\"type\":\"diagnosis\",\"diagnosis\":%s}\n",
                  DiagnosisJson(*pages.diagnosis).c_str());
      std::fflush(stdout);
    }
  }
  return ListResult::Empty;
}

void CliSession::SaveCookies() {
  if (!options_.cookies.empty() && !options_.saveCookies) return;
  CookieStore& store = CookieStore::Shared();
  // A login another process (albumora login, the window) saved meanwhile is merged, not lost.
  store.SaveMerged(ProgramFile("cookies.txt"));
}

void CatchStopSignals() {
  Pool();  // made here, not for the first time inside the signal handler
  for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(signal, &action, nullptr);
  }
}

InterruptScope::InterruptScope(AppState& app) {
  gStopTarget = &app;
  // A signal that came before the job began stops it before its first request.
  if (Interrupted()) StopTarget();
}

InterruptScope::~InterruptScope() { gStopTarget = nullptr; }

bool InterruptScope::Interrupted() { return gStopSignal.load() != 0; }

int InterruptScope::Status() { return 128 + gStopSignal.load(); }

void PrintAlbums(const AppState& app, bool json) {
  for (size_t i = 0; i < app.albumList.size(); ++i) {
    const ST_PERLISTRECORD& entry = app.albumList[i];
    const int row = static_cast<int>(i) + 1;
    if (json) {
      std::printf(
          "{\"type\":\"album\",\"row\":%d,\"name\":%s,\"count\":%d,\"remark\":%s,"
          "\"address\":%s,\"cover\":%s}\n",
          row, JsonString(entry.strName).c_str(), static_cast<int>(entry.nCount),
          JsonString(RemarkText(entry.nFlags)).c_str(), JsonString(entry.strAddr).c_str(),
          JsonString(entry.strCover).c_str());
    } else {
      std::printf("%04d\t%s\t%s\t%s\n", row, EscapeControls(entry.strName).c_str(),
                  Trim(CountText(entry.nCount)).c_str(),
                  EscapeControls(RemarkText(entry.nFlags)).c_str());
    }
  }
  std::fflush(stdout);
}

int RunSitesCommand(bool json) {
  for (const SiteEntry& site : SiteEntries()) {
    if (json) {
      std::string examples = "[";
      for (const std::string& example : site.examples) {
        examples += (examples.size() > 1 ? "," : "") + JsonString(example);
      }
      std::printf("{\"index\":%d,\"key\":%s,\"name\":%s,\"supported\":%s,\"examples\":%s]}\n",
                  site.index, JsonString(site.key).c_str(), JsonString(site.displayName).c_str(),
                  site.supported ? "true" : "false", examples.c_str());
    } else {
      std::string examples;
      for (const std::string& example : site.examples) {
        examples += (examples.empty() ? "" : " ") + example;
      }
      std::printf("%d\t%s\t%s\t%s\t%s\n", site.index, site.key.c_str(), site.displayName.c_str(),
                  site.supported ? "supported" : "not supported yet", examples.c_str());
    }
  }
  return kExitOk;
}

// The exit status of an album-list step that did not list anything.
int ListFailureStatus(ListResult result, const CommonOptions& options, int site,
                      const std::string& command) {
  switch (result) {
    case ListResult::NoAdapter: {
      std::string name = std::to_string(site);
      for (const SiteEntry& entry : SiteEntries()) {
        if (entry.index == site) name = entry.displayName + " (" + entry.key + ")";
      }
      PrintError("the site family " + name +
                 " has no adapter in this version; 'albumora sites' lists the supported ones");
      return kExitNotStarted;
    }
    case ListResult::Refused:
      return UsageError(command, "the address cannot be read: " + EscapeControls(options.address));
    case ListResult::Stopped:
      PrintError("stopped");
      return InterruptScope::Status();
    case ListResult::Empty:
      return kExitListFailed;
    case ListResult::Listed:
      break;
  }
  return kExitOk;
}

int RunListCommand(const CommonOptions& typed) {
  CommonOptions options = typed;
  std::string error;
  if (!CheckAddressForm(typed.address, typed.site, options.address, error)) {
    return UsageError("list", error);
  }
  CliSession session(options);
  session.KeepNoNewSettingsFile();
  if (!session.Setup()) return kExitNotStarted;
  const ListResult result = session.ListAlbums(options.address);
  PrintAlbums(session.app(), options.json);
  session.SaveCookies();
  return ListFailureStatus(result, options, session.SiteFor(options.address), "list");
}

}  // namespace albumora::cli
