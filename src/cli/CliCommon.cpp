#include "cli/CliCommon.h"
#include "albumlist/AlbumRows.h"
#include "sites/Registry.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "fs/ProgramFolder.h"
#include "model/Records.h"
#include "model/Settings.h"
#include "net/CookieStore.h"
#include "net/HttpEngine.h"
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

}  // namespace

bool ParseCommonOptions(ArgReader& reader, CommonOptions& options, std::string& error,
                        const ExtraOption& extra) {
  while (!reader.AtEnd()) {
    const std::string arg = reader.Next();
    std::string value;
    if (arg == "--site") {
      if (!reader.Value(value)) {
        error = "--site needs a site key or index";
        return false;
      }
      options.site = SiteFromKey(value);
      if (options.site < 0) {
        error = "unknown site: " + value;
        return false;
      }
    } else if (arg == "--home" || arg == "--cookies" || arg == "--proxy") {
      if (!reader.Value(value) || value.empty()) {
        error = arg + " needs a value";
        return false;
      }
      (arg == "--home"      ? options.home
       : arg == "--cookies" ? options.cookies
                            : options.proxy) = value;
    } else if (arg == "--yes") {
      options.answer = Answer::Yes;
    } else if (arg == "--no") {
      options.answer = Answer::No;
    } else if (arg == "--") {
      while (!reader.AtEnd()) options.positional.push_back(reader.Next());
    } else if (arg.size() > 1 && arg[0] == '-') {
      error.clear();
      if (!extra || !extra(arg, reader, error)) {
        if (error.empty()) error = "unknown option: " + arg;
        return false;
      }
    } else {
      options.positional.push_back(arg);
    }
  }
  return true;
}

std::string UsageText() {
  return "usage:\n"
         "  albumora sites\n"
         "  albumora list [--site KEY|N] [--home DIR] [--yes|--no] [--cookies FILE] [--proxy URL]"
         " ADDRESS\n"
         "  albumora download [--site KEY|N] [--home DIR] [--yes|--no] [--cookies FILE]"
         " [--proxy URL]\n"
         "                    --save DIR [--albums SEL] [--threads N] [--timeout S]"
         " [--min-kb N] [--max-kb N] ADDRESS\n"
         "  albumora demo [--save DIR]\n";
}

int UsageError(const std::string& error) {
  std::cerr << "albumora: " << error << "\n" << UsageText();
  return kExitUsage;
}

CliHost::CliHost(Answer answer) : answer_(answer), interactive_(isatty(STDIN_FILENO) != 0) {}

void CliHost::SetStatus(StatusLine line, const std::string& text) {
  if (display_ != nullptr) {
    display_->Status(line, text);
    return;
  }
  std::string& last = lastStatus_[LineSlot(line)];
  if (text == last) return;
  last = text;
  if (!text.empty()) std::cerr << LineLabel(line) << ": " << text << std::endl;
}

void CliHost::ShowMessage(const std::string& text, const std::string& caption) {
  BeginLine();
  std::cerr << "message: ";
  if (!caption.empty()) std::cerr << "[" << caption << "] ";
  std::cerr << text << std::endl;
}

bool CliHost::AskYesNo(const std::string& text, const std::string& caption) {
  BeginLine();
  std::cerr << "question: ";
  if (!caption.empty()) std::cerr << "[" << caption << "] ";
  std::cerr << text;
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
  return yes;
}

void CliHost::OpenLogin(const std::string& address) {
  BeginLine();
  std::cerr << "login: open " << address
            << " in a browser, log in, and export its cookies (--cookies FILE)" << std::endl;
  if (interactive_) {
    std::cerr << "press Enter to go on " << std::flush;
    std::string line;
    std::getline(std::cin, line);
  }
}

void CliHost::PoolFinished(long seconds, long pictures) {
  BeginLine();
  std::cerr << "done: " << pictures << " pictures in " << seconds << " s" << std::endl;
}

void CliHost::OpenFolder(const std::string& path) {
  BeginLine();
  std::cerr << "folder: " << path << std::endl;
}

CliSession::CliSession(const CommonOptions& options) : options_(options), host_(options.answer) {}

CliSession::~CliSession() = default;

bool CliSession::Setup() {
  std::error_code error;
  std::filesystem::path folder;
  try {
    folder = InitProgramFolder(options_.home);
  } catch (const std::filesystem::filesystem_error& failure) {
    std::cerr << "albumora: cannot use the program folder: " << failure.what() << std::endl;
    return false;
  }
  if (!std::filesystem::is_directory(folder, error)) {
    std::cerr << "albumora: cannot use the program folder " << folder.string() << std::endl;
    return false;
  }
  LoadSettings(app_.settings, ProgramFile("soft.dat"));
  CookieStore& store = CookieStore::Shared();
  const std::filesystem::path saved = ProgramFile("cookies.txt");
  if (std::filesystem::exists(saved, error)) store.Load(saved);
  if (!options_.cookies.empty() && !store.ImportFile(options_.cookies)) {
    std::cerr << "albumora: cannot read the cookies file " << options_.cookies << std::endl;
    return false;
  }
  if (!options_.proxy.empty()) SetEngineProxy(options_.proxy);
  app_.bReady = 1;
  return true;
}

ListOutcome CliSession::ListAlbums(const std::string& address) {
  host_.address = address;
  // As the album-list command would start it.
  app_.nListState = LIST_RUNNING;
  app_.nListType = LT_NONE;
  app_.nSite = options_.site >= 0 ? options_.site : RecognizeSite(address, SITE_QZONE);
  return RunAlbumList(app_, SiteAdapters());
}

void CliSession::SaveCookies() { CookieStore::Shared().Save(ProgramFile("cookies.txt")); }

void PrintAlbums(const AppState& app) {
  for (size_t i = 0; i < app.albumList.size(); ++i) {
    const ST_PERLISTRECORD& entry = app.albumList[i];
    std::printf("%04d\t%s\t%s\t%s\n", static_cast<int>(i) + 1, entry.strName.c_str(),
                CountText(entry.nCount).c_str(), RemarkText(entry.nFlags).c_str());
  }
  std::fflush(stdout);
}

int RunSitesCommand(const std::vector<std::string>& args) {
  if (!args.empty()) return UsageError("sites takes no arguments");
  for (const SiteFamily* site : Families()) {
    std::printf("%d\t%s\t%s\n", site->nSite, site->key, site->displayName);
  }
  return kExitOk;
}

int RunListCommand(const std::vector<std::string>& args) {
  ArgReader reader(args);
  CommonOptions options;
  std::string error;
  if (!ParseCommonOptions(reader, options, error)) return UsageError(error);
  if (options.positional.size() != 1) return UsageError("list needs one ADDRESS");
  CliSession session(options);
  if (!session.Setup()) return kExitNotStarted;
  const ListOutcome outcome = session.ListAlbums(options.positional.front());
  PrintAlbums(session.app());
  session.SaveCookies();
  return outcome == ListOutcome::Ran ? kExitOk : kExitNotStarted;
}

}  // namespace albumora::cli
