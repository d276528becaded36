// SPDX-License-Identifier: GPL-3.0-or-later
// The command line's shared parts: exit statuses, the options every command takes, the
// terminal host, and the session that loads settings and cookies, runs the album-list job and
// saves the cookies.
#pragma once

#include <atomic>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "model/AppState.h"
#include "model/Host.h"

namespace albumora {
struct ListPages;
struct PageDiagnosis;
}  // namespace albumora

namespace albumora::cli {

// Exit statuses (README, `albumora --help`).
constexpr int kExitOk = 0;             // everything listed and written
constexpr int kExitNotStarted = 1;     // bad save folder, program folder, cookies file, no adapter
constexpr int kExitUsage = 2;          // bad options or arguments
constexpr int kExitListFailed = 3;     // the album list failed or found nothing
constexpr int kExitSomeFailed = 4;     // some pictures were not written
constexpr int kExitInterrupted = 130;  // stopped by Ctrl-C (SIGTERM: 143, SIGHUP: 129)

enum class Answer { Ask, Yes, No };
enum class Verbosity { Quiet, Normal, Verbose };

struct CommonOptions {
  int site = -1;  // -1: recognised from the address
  std::string home;
  Answer answer = Answer::Ask;  // Ask: on a terminal ask, otherwise No
  std::string cookies;
  bool saveCookies = false;  // keep the --cookies file's cookies in the program folder
  std::string proxy;
  Verbosity verbosity = Verbosity::Normal;
  bool json = false;
  std::string address;
  std::string logFile;     // --log FILE
  std::string writePages;  // --write-pages DIR: every page fetched saved there (not pictures)
};

// Prints "albumora: <error>" and the hint "try 'albumora COMMAND --help'" on stderr; returns
// kExitUsage.
int UsageError(const std::string& command, const std::string& error);
// The candidate a mistyped word most likely meant (a letter missing, extra, wrong or two swapped,
// at most two such slips and fewer than half the word); empty when none is that close.
std::string ClosestWord(const std::string& typed, const std::vector<std::string>& candidates);
// Counts the lines of a Netscape cookies.txt: cookie lines (seven tab-separated fields) and
// lines that are neither a cookie, a comment nor blank. False when the file cannot be read.
bool CountCookieLines(const std::filesystem::path& path, size_t& cookies, size_t& skipped);
// Prints "albumora: <error>" on stderr.
void PrintError(const std::string& error);
// Prints "albumora: warning: <text>" on stderr (also under -q: a setting that did not load is
// worth knowing).
void PrintWarning(const std::string& text);
// Loads albumora.toml from the program folder into config; each problem is a warning.
void LoadConfigFile(Config& config);
// Decides the program folder (home, or the default rules) and makes sure it is a folder; prints
// why not and returns false when it cannot be used.
bool OpenProgramFolder(const std::string& home);

// Remote and local texts for the terminal: control characters (C0, DEL, C1) become "\xHH" or
// "\uHHHH", so a name cannot move the cursor, clear the screen or break a tab-separated line.
std::string EscapeControls(const std::string& text, bool keepLineFeeds = false);
// A JSON string literal (quotes included) of a UTF-8 text.
std::string JsonString(const std::string& text);
// Columns a UTF-8 text takes on a terminal (East Asian wide characters take two).
size_t DisplayWidth(const std::string& text);
// The longest head of the text that takes at most the given columns.
std::string FitWidth(const std::string& text, size_t columns);
// The width of the terminal on stderr (80 when unknown).
size_t TerminalColumns();

// The terminal's Host: status texts, messages, questions with the answer taken and login
// requests go to stderr; questions are asked on a terminal, otherwise answered by --yes/--no
// (default no). Off a terminal only the main status lines are written (no per-picture line);
// -q writes messages only.
class CliHost : public Host {
 public:
  CliHost(Answer answer, Verbosity verbosity);

  std::string address;
  std::string savePath;

  std::string AddressText() override { return address; }
  std::string SavePathText() override { return savePath; }
  void SetStatus(StatusLine line, const std::string& text) override;
  void ShowMessage(const std::string& text, const std::string& caption = {}) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void OpenLogin(const std::string& address) override;
  void SetListBusy(bool, bool) override {}
  void SetDownloadBusy(bool busy) override;
  void GridReset(bool) override {}
  void GridRowAdded(int) override {}
  void GridCellChanged(int, int) override {}
  void GridFinished() override {}
  int LoadThumbnail(const std::string&) override { return -1; }
  void AddressRemembered(const std::string&) override {}
  void PoolFinished(long seconds, long pictures) override;
  void OpenFolder(const std::string& path) override;

  // Writes one line on stderr (escaped), clearing the progress display first, and to the log.
  void Line(const std::string& text);
  // A line of detail: always to the log, on stderr only when shown.
  void Detail(const std::string& text, bool shown);
  // While held, the site's messages wait; a question or a login request shows them first.
  // Released, they are shown; dropped (the list failed on the network or was stopped, so a
  // message about logging in would mislead), they are not.
  void HoldMessages();
  void ReleaseMessages();
  void DropMessages();
  Verbosity verbosity() const { return verbosity_; }

  // A progress display that owns a line of the terminal (the download command's): while one is
  // set, status texts go to it instead of stderr, and it clears its line before the host writes
  // any other line to stderr.
  class Display {
   public:
    virtual ~Display() = default;
    virtual void Status(StatusLine line, const std::string& text) = 0;
    virtual void ClearLine() = 0;
  };
  void SetDisplay(Display* display);

 private:
  std::mutex mutex_;
  Display* display_ = nullptr;
  Answer answer_;
  Verbosity verbosity_;
  bool interactive_;
  bool terminal_;
  bool jobEnded_ = false;  // the download job said its last word: its closing texts are dropped
  std::string lastStatus_[3];
  std::string lastLogged_[3];
  bool holding_ = false;
  std::vector<std::string> held_;
};

// What came of the album-list step.
enum class ListResult {
  Listed,     // at least one album
  Empty,      // the job ran and found nothing (or failed: the cause was printed)
  Refused,    // the address was refused before any request (the message was printed)
  NoAdapter,  // the site family has no adapter in this build
  Stopped,    // Ctrl-C
};

// One run of a command: the host and the records, set up from the common options.
class CliSession {
 public:
  explicit CliSession(const CommonOptions& options);
  ~CliSession();
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  // Program folder, settings (soft.dat, and albumora.toml with its problems as warnings),
  // cookies (the persisted store, then --cookies), proxy, the engine's failure reports. False with
  // a message on stderr when the folder cannot be made or the cookies file cannot be read.
  bool Setup();
  // A listing needs no settings file: Setup then writes no soft.dat, and one the album-list job
  // made to remember the address is taken away again (a soft.dat that was there keeps it).
  void KeepNoNewSettingsFile() { keepNoNewSettings_ = true; }
  // The site the address goes to: --site, else recognised from the address starting at Qzone.
  int SiteFor(const std::string& address) const;
  // The album-list job for an address, on this thread (Ctrl-C stops it). On Empty the last
  // engine failure, if any, is printed as the cause.
  ListResult ListAlbums(const std::string& address);
  // Saves the cookie store back into the program folder. When another process wrote the file
  // since this session read or wrote it (`albumora login` beside a running download), its
  // cookies are merged in first, so that login is kept. A --cookies file is for its run only:
  // then nothing is saved, unless --save-cookies was given.
  void SaveCookies();

  CliHost& host() { return host_; }
  AppState& app() { return app_; }
  const CommonOptions& options() const { return options_; }
  // The engine's text of the last failed request (empty when none failed).
  std::string LastFailure();

 private:
  CommonOptions options_;
  bool keepNoNewSettings_ = false;
  std::atomic<bool> listing_{false};  // the album-list job runs
  bool hadSettings_ = true;
  CliHost host_;
  AppState app_{host_};
  std::shared_ptr<std::mutex> failureMutex_ = std::make_shared<std::mutex>();
  std::shared_ptr<std::string> lastFailure_ = std::make_shared<std::string>();
};

// Ctrl-C (SIGINT), SIGTERM and SIGHUP end a list or download run as the window's stop button
// does: the job in flight stops, its results are told, and the status is 128 + the signal (130,
// 143, 129). A second one of the same ends the program at once. CatchStopSignals installs the
// handlers for the whole command; a signal outside any job is kept and stops the next one
// before its first request.
void CatchStopSignals();
class InterruptScope {
 public:
  explicit InterruptScope(AppState& app);
  ~InterruptScope();
  InterruptScope(const InterruptScope&) = delete;
  InterruptScope& operator=(const InterruptScope&) = delete;
  static bool Interrupted();
  // 128 + the signal that came (130 for Ctrl-C).
  static int Status();
};

// The album lines of the list command: row, name, picture count, remark (tab-separated), or one
// JSON object per album.
void PrintAlbums(const AppState& app, bool json);

// The site families as the command line knows them (SiteAccess.cpp: the one place that reads
// the site registry).
struct SiteEntry {
  int index;
  std::string key;
  std::string displayName;
  bool supported;                     // an album-list adapter exists in this build
  std::vector<std::string> examples;  // addresses a user would type
};
std::vector<SiteEntry> SiteEntries();
// The index of a command-line key or a decimal index text; -1 when unknown.
int SiteFromText(const std::string& keyOrIndex);
// The login window's start address for a site family; empty for none.
std::string SiteLoginAddress(int nSite);
// True when the site family has an album-list adapter in this build.
bool SiteHasAdapters(int nSite);
// The site recognised from a typed address (Qzone for a bare number).
int RecognizeSiteOf(const std::string& address);
// Checks a typed address before any request: an account number, or an http:// or https://
// address with a host name that a family (the one --site names, when site >= 0) recognises. On
// success address is the form to use (trimmed, "http://", lower-case host, a trailing slash
// dropped where the family's addresses have none); otherwise error names the accepted forms.
// An empty address passes (the site's own message answers it).
bool CheckAddressForm(const std::string& typed, int site, std::string& address, std::string& error);
// The album-list job on this thread for app.nSite and the host's address; false when the
// address was refused before any request (the message was shown).
bool RunListJob(AppState& app, ListPages* pages = nullptr);
// A diagnosis as a JSON object: {"kind","address","status","bytes","missing":[...],
// "siteCount","text"}.
std::string DiagnosisJson(const PageDiagnosis& diagnosis);

// The exit status of an album-list step that listed nothing, its message printed; kExitOk for
// Listed.
int ListFailureStatus(ListResult result, const CommonOptions& options, int site,
                      const std::string& command);

// Commands.
int RunSitesCommand(bool json);
int RunListCommand(const CommonOptions& options);

}  // namespace albumora::cli
