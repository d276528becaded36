// The command line's shared parts: the options every command takes, the terminal host, and the
// session that loads settings and cookies, runs the album-list job and saves the cookies.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "albumlist/AlbumListJob.h"
#include "model/AppState.h"
#include "model/Host.h"

namespace albumora::cli {

constexpr int kExitOk = 0;
constexpr int kExitNotStarted = 1;
constexpr int kExitUsage = 2;

// The arguments of a command, read front to back.
class ArgReader {
 public:
  explicit ArgReader(std::vector<std::string> args) : args_(std::move(args)) {}
  bool AtEnd() const { return pos_ >= args_.size(); }
  const std::string& Next() { return args_[pos_++]; }
  // The value of the option just read; false when none follows.
  bool Value(std::string& value) {
    if (AtEnd()) return false;
    value = Next();
    return true;
  }

 private:
  std::vector<std::string> args_;
  size_t pos_ = 0;
};

enum class Answer { Ask, Yes, No };

struct CommonOptions {
  int site = -1;  // -1: recognised from the address
  std::string home;
  Answer answer = Answer::Ask;  // Ask: on a terminal ask, otherwise No
  std::string cookies;
  std::string proxy;
  std::vector<std::string> positional;
};

// A command's own option: called with the option text (e.g. "--save") and the reader, to take
// its value. Returns false for an option it does not know; error then says what went wrong
// when it knew the option but its value was bad.
using ExtraOption =
    std::function<bool(const std::string& option, ArgReader& reader, std::string& error)>;

// Parses the common options and the positional arguments; false with error set on a usage
// error.
bool ParseCommonOptions(ArgReader& reader, CommonOptions& options, std::string& error,
                        const ExtraOption& extra = {});

// The usage text of every command.
std::string UsageText();
// Prints "albumora: <error>" and the usage text on stderr; returns kExitUsage.
int UsageError(const std::string& error);

// The terminal's Host: status texts (as they change), messages, questions with the answer
// taken and login requests go to stderr; questions are asked on a terminal, otherwise answered
// by --yes/--no (default no).
class CliHost : public Host {
 public:
  explicit CliHost(Answer answer);

  std::string address;
  std::string savePath;

  std::string AddressText() override { return address; }
  std::string SavePathText() override { return savePath; }
  void SetStatus(StatusLine line, const std::string& text) override;
  void ShowMessage(const std::string& text, const std::string& caption = {}) override;
  bool AskYesNo(const std::string& text, const std::string& caption) override;
  void OpenLogin(const std::string& address) override;
  void SetListBusy(bool, bool) override {}
  void SetDownloadBusy(bool) override {}
  void GridReset(bool) override {}
  void GridRowAdded(int) override {}
  void GridCellChanged(int, int) override {}
  void GridFinished() override {}
  int LoadThumbnail(const std::string&) override { return -1; }
  void AddressRemembered(const std::string&) override {}
  void PoolFinished(long seconds, long pictures) override;
  void OpenFolder(const std::string& path) override;

  // A progress display that owns a line of the terminal (the download command's): while one is
  // set, status texts go to it instead of stderr, and it clears its line before the host writes
  // any other line to stderr.
  class Display {
   public:
    virtual ~Display() = default;
    virtual void Status(StatusLine line, const std::string& text) = 0;
    virtual void ClearLine() = 0;
  };
  void SetDisplay(Display* display) { display_ = display; }

 private:
  void BeginLine() {
    if (display_ != nullptr) display_->ClearLine();
  }

  Display* display_ = nullptr;
  Answer answer_;
  bool interactive_;
  std::string lastStatus_[3];
};

// One run of a command: the host and the records, set up from the common options.
class CliSession {
 public:
  explicit CliSession(const CommonOptions& options);
  ~CliSession();
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  // Program folder, settings, cookies (the persisted store, then --cookies), proxy. False with
  // a message on stderr when the folder cannot be made or the cookies file cannot be read.
  bool Setup();
  // The album-list job for an address, on this thread: the site from --site, else recognised
  // from the address starting at Qzone.
  ListOutcome ListAlbums(const std::string& address);
  // Saves the cookie store back into the program folder.
  void SaveCookies();

  CliHost& host() { return host_; }
  AppState& app() { return app_; }
  const CommonOptions& options() const { return options_; }

 private:
  CommonOptions options_;
  CliHost host_;
  AppState app_{host_};
};

// The album lines of the list command: "%04d", name, count text, remark text, tab-separated.
void PrintAlbums(const AppState& app);

// Commands; args exclude the command word.
int RunSitesCommand(const std::vector<std::string>& args);
int RunListCommand(const std::vector<std::string>& args);
int RunDownloadCommand(const std::vector<std::string>& args);
int RunDemoCommand(const std::vector<std::string>& args);
// The benchmark's server (bench/download_bench.sh); not in the usage text.
int RunServeBenchCommand(const std::vector<std::string>& args);

}  // namespace albumora::cli
