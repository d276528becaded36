// SPDX-License-Identifier: GPL-3.0-or-later
// albumora: the command-line front end. The options are read by CLI11; each command runs
// from its options record.
#include <CLI/CLI.hpp>
#include <algorithm>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "cli/CheckCommand.h"
#include "cli/CliCommon.h"
#include "cli/ConfigCommand.h"
#include "cli/DownloadRun.h"
#include "cli/LogFile.h"
#include "cli/LoginCommand.h"
#include "fs/ProgramFolder.h"
#include "model/Config.h"
#include "model/Settings.h"

namespace {

using namespace albumora;
using namespace albumora::cli;

constexpr const char* kExitStatusHelp =
    "Exit status:\n"
    "  0    every selected album complete (written or already there) or with nothing new\n"
    "  1    could not start: save folder, program folder, cookies file, site without adapter\n"
    "  2    usage: bad option, value, address form or album selection\n"
    "  3    the album list failed (network, refusal by the site) or found no album\n"
    "  4    an album is not complete: pictures failed, a picture-list page failed, a question\n"
    "       was answered no (password, login), the site listed none of the pictures it\n"
    "       counts, or the disk is full (the job then stops at once)\n"
    "  130  stopped by Ctrl-C (pictures in flight are cut off and counted as stopped; the\n"
    "       album lines, the summary and the archive's rows are written as after any run)\n"
    "  143  stopped by SIGTERM (timeout, kill, systemd), 129 by SIGHUP: as Ctrl-C\n"
    "With -i FILE: 130, 143 or 129 after a stop, otherwise the highest status of its\n"
    "addresses, and at least 2 when a line of FILE was skipped.\n";

constexpr const char* kAddressHelp =
    "ADDRESS:\n"
    "  qzone   a QQ number (10001: 5 to 10 digits), or http://user.qzone.qq.com/NUMBER\n"
    "  others  the owner's album page, beginning with http:// or https:// ('albumora sites'\n"
    "          lists the families and example addresses); without --site the family is\n"
    "          recognised from the address, and a bare number is a QQ number. Any other\n"
    "          text is refused before any request (exit 2).\n";

constexpr const char* kListOutputHelp =
    "Output (stdout): one line per album, tab-separated: row (0001...), name, picture count\n"
    "(-1: unknown), remark; with --json one object per line: "
    "{\"type\":\"album\",\"row\",\"name\",\"count\",\"remark\",\"address\",\"cover\"}.\n"
    "Control characters in names are shown as \\xHH.\n";

constexpr const char* kDownloadOutputHelp =
    "Output (stdout): one line per album, tab-separated: row, name, outcome, pictures listed,\n"
    "written, already there, failed, stopped, album folder. Outcomes: complete, partial (some\n"
    "pictures failed), list failed (a picture-list page failed), refused (a question answered\n"
    "no, a login or password needed), nothing new (--skip-old), stopped, empty. With --json\n"
    "one object per album {\"type\":\"album\",\"row\",\"name\",\"outcome\",\"listed\",\n"
    "\"written\",\"already\",\"failed\",\"reasons\",\"stopped\",\"folder\",\"note\",...}, one\n"
    "{\"type\":\"failed\",\"address\",\"listed\",\"file\",\"reason\",\"error\",\"attempts\":[{"
    "\"address\",\n"
    "\"reason\",\"error\"},...]} per failed picture before it (named at the last address tried),\n"
    "and a last {\"type\":\"summary\",...,\"queued\",\"status\"} (queued: pictures handed\n"
    "to aria2). Album and summary objects carry \"address\" as given; with -i FILE also\n"
    "\"index\", its line, and a {\"type\":\"total\",...} object ends the stream. With -i FILE\n"
    "the text output heads each address with \"# FILE:LINE: ADDRESS\".\n"
    "stderr tells each album's outcome and ends with \"N of M pictures written, A already\n"
    "there, K failed (reasons), S stopped; albums: ...\". Reasons: network, time-out, HTTP\n"
    "status, size limit, not a picture, not written, too slow, refused by the site, disk full.\n"
    "-v names each failed picture with each address tried and what it gave. A full disk stops\n"
    "the job at once (exit 4, the system's reason named, no half-written file).\n"
    "Resume: the download archive (archive.db in the program folder) records every picture by\n"
    "its absolute path; a rerun fetches only the pictures that are missing, failed or stopped\n"
    "(--force: all), and a picture cut short resumes where it stopped when the server allows.\n"
    "A damaged archive is moved aside (archive.db.damaged-DATE-TIME) and a new one started.\n"
    "--aria2-rpc and --export record what they hand over; a rerun hands only what is new.\n"
    "A file already at a picture's name that is not that picture is never overwritten: the\n"
    "picture takes the next free name \"NAME (1).jpg\".\n"
    "Markers: an album whose pictures are all there gets pic.zrk (its first picture's\n"
    "address); --skip-old stops listing there. Delete pic.zrk to make the skip rule start\n"
    "over.\n";

constexpr const char* kCheckHelp =
    "Reads the album list of ADDRESS (at most 2 pages) and the first picture-list pages of its\n"
    "first 2 readable albums; without ADDRESS, --site KEY checks each example address of the\n"
    "family ('albumora sites' lists them). Prints a table of steps: page kind, status, bytes,\n"
    "time, items taken, the markers the family looks for found and missing, the address; then\n"
    "what each album gave and where a page no longer holds its markers. With --json one\n"
    "{\"type\":\"step\",...} object per page and a {\"type\":\"check\",...} object per address.\n"
    "Exit status: 0 every step took items; 3 the album list took no album; 4 a picture list\n"
    "took no picture; 1 no adapter; 2 usage; 130 Ctrl-C.\n";

struct CommonInputs {
  std::string site;
  bool yes = false;
  bool no = false;
  bool quiet = false;
  bool verbose = false;
};

void AddCommonOptions(CLI::App* command, CommonOptions& options, CommonInputs& inputs,
                      bool addressRequired = true) {
  command
      ->add_option("--site", inputs.site,
                   "site family: key (qzone, baidu, ...) or index 0-14 from 'albumora "
                   "sites'; default: recognised from ADDRESS")
      ->type_name("KEY|N");
  command
      ->add_option("--home", options.home,
                   "program folder (soft.dat, cookies.txt, tmp/); default "
                   "$XDG_CONFIG_HOME/Albumora or ~/.config/Albumora")
      ->type_name("DIR");
  auto* yes = command->add_flag("-y,--yes", inputs.yes, "answer the site's questions with yes");
  command
      ->add_flag("-n,--no", inputs.no,
                 "answer the site's questions with no (the default "
                 "off a terminal)")
      ->excludes(yes);
  command
      ->add_option("--cookies", options.cookies,
                   "use a browser's exported cookies.txt for this run (albums that need a "
                   "login); lines not in its form are counted and skipped")
      ->type_name("FILE");
  command->add_flag("--save-cookies", options.saveCookies,
                    "keep the --cookies file's cookies in the program folder for later runs");
  command
      ->add_option("--proxy", options.proxy,
                   "send every request through this HTTP proxy (http://HOST:PORT); "
                   "default: the http_proxy variables")
      ->type_name("URL");
  auto* quiet = command->add_flag("-q,--quiet", inputs.quiet, "print only results and errors");
  command
      ->add_flag("-v,--verbose", inputs.verbose,
                 "also name each failed picture (\"failed: FILE: ADDRESS: REASON, then ...\") and "
                 "each failed album-list page (\"failed: ADDRESS: REASON\")")
      ->excludes(quiet);
  command->add_flag("--json", options.json, "results as one JSON object per line");
  command
      ->add_option("--log", options.logFile,
                   "append what stderr tells, and the -v detail, to FILE with a time stamp per "
                   "line (never the progress line); default log.file of albumora.toml")
      ->type_name("FILE");
  command
      ->add_option("--write-pages", options.writePages,
                   "save every page fetched (not pictures) into DIR, one file per request in "
                   "fetch order, cookies and credentials removed: attach it to a bug report")
      ->type_name("DIR");
  auto* address =
      command->add_option("ADDRESS", options.address, "account number or album page address")
          ->type_name("");
  if (addressRequired) address->required();
}

// False with error set when --site names no family.
bool FinishCommon(CommonOptions& options, const CommonInputs& inputs, std::string& error) {
  if (!inputs.site.empty()) {
    options.site = SiteFromText(inputs.site);
    if (options.site < 0) {
      error = "unknown site: " + EscapeControls(inputs.site) + " (see 'albumora sites')";
      return false;
    }
  }
  if (options.saveCookies && options.cookies.empty()) {
    error = "--save-cookies keeps the cookies of a --cookies FILE: give one";
    return false;
  }
  options.answer = inputs.yes ? Answer::Yes : inputs.no ? Answer::No : Answer::Ask;
  options.verbosity = inputs.quiet     ? Verbosity::Quiet
                      : inputs.verbose ? Verbosity::Verbose
                                       : Verbosity::Normal;
  return true;
}

struct OptionSwitch {
  const char* name;
  const char* help;
  uint16_t bit;
};

constexpr OptionSwitch kSwitches[] = {
    {"skip-old",
     "stop each album at the picture of its last download (reruns fetch only new "
     "pictures)",
     OPT_SKIP_OLD},
    {"thunder-list", "write a Thunder list NAME.lst per album instead of downloading",
     OPT_THUNDER_ONLY},
    {"fix-format", "after each album, rename files to the type their content shows",
     OPT_FIX_FORMAT},
    {"fix-order", "after each album, stamp file times in list order", OPT_FIX_ORDER},
    {"name-file", "keep NAME.txt with the pictures' original names per album", OPT_NAME_FILE},
    {"taobao-main", "Taobao and Tmall items: main pictures only", OPT_TAOBAO_MAIN},
};

// The command word the user typed, for the hint after a usage error.
std::string CommandWord(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "sites" || word == "list" || word == "download" || word == "config" ||
        word == "login" || word == "check") {
      return word;
    }
  }
  return {};
}

// The message of a parse error: an unknown command or option named, with the one most likely
// meant; else CLI11's own.
std::string ParseErrorText(CLI::App& app, CLI::App* command, const CLI::ParseError& error) {
  const CLI::App& at = command != nullptr ? *command : app;
  for (const std::string& item : app.remaining(true)) {
    if (item.size() > 1 && item[0] == '-' && item != "--") {
      const std::string name = item.substr(0, item.find('='));
      std::vector<std::string> names;
      for (const CLI::Option* option : at.get_options()) {
        for (const std::string& longName : option->get_lnames()) names.push_back("--" + longName);
      }
      std::string text = "unknown option " + EscapeControls(name);
      if (command != nullptr) text += " for " + command->get_name();
      const std::string meant = name.starts_with("--") ? ClosestWord(name, names) : "";
      if (!meant.empty()) text += "; did you mean " + meant + "?";
      return text;
    }
    if (command == nullptr) {
      std::string text = "unknown command '" + EscapeControls(item) + "'";
      const std::string meant =
          ClosestWord(item, {"sites", "list", "download", "config", "login", "check", "help"});
      return text + (meant.empty()
                         ? "; the commands are sites, list, download, check, config, login "
                           "and help"
                         : "; did you mean '" + meant + "'?");
    }
  }
  return error.what();
}

// A whole number option in the program's own words: "--timeout takes 10 to 65535 seconds, not
// \"-5\"" for a negative number, a number too large to hold, or text.
struct NumberOption {
  CLI::Option* option;
  const std::string* text;
  long low;
  long high;
  const char* unit;  // "seconds"; empty: a plain number
};

bool ReadNumberOption(const NumberOption& number, long& value, std::string& error) {
  const std::string& text = *number.text;
  const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
  const size_t first = digits ? std::min(text.find_first_not_of('0'), text.size() - 1) : 0;
  const bool fits = digits && text.size() - first <= 9;
  value = fits ? std::stol(text) : 0;
  if (fits && value >= number.low && value <= number.high) return true;
  error = number.option->get_name() + " takes " +
          (*number.unit == '\0' ? "a whole number from " : "") + std::to_string(number.low) +
          " to " + std::to_string(number.high) + (*number.unit == '\0' ? "" : " ") + number.unit +
          ", not \"" + EscapeControls(text) + "\"";
  return false;
}

// Opens the log a list or download run appends to: --log FILE, else log.file of albumora.toml
// (a relative one from the program folder); and tells the run's command line in it.
bool StartLog(const CommonOptions& options, int argc, char** argv, std::string& error) {
  std::string path = options.logFile;
  if (path.empty()) {
    // Read without a word: the run's own loading tells the file's problems.
    InitProgramFolder(options.home, false);
    Config config;
    std::vector<std::string> problems;
    LoadConfig(ProgramFile(kConfigFileName), config, problems);
    if (config.logFile.empty()) return true;
    path = std::filesystem::path(config.logFile).is_relative()
               ? ProgramFile(config.logFile).string()
               : config.logFile;
  }
  if (!OpenLog(path, error)) return false;
  std::string line = std::string("albumora ") + ALBUMORA_VERSION + ":";
  for (int i = 1; i < argc; ++i) line += " " + EscapeControls(argv[i]);
  LogLine(line);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // A closed stdout ("albumora download ... | head -1") drops the output; the job goes on.
  std::signal(SIGPIPE, SIG_IGN);
  CLI::App app{
      "albumora downloads whole web photo albums in bulk: the owner's album list, then "
      "every picture into a folder per album.",
      "albumora"};
  app.set_version_flag("-V,--version", std::string("albumora ") + ALBUMORA_VERSION);
  app.require_subcommand(1);
  // As in wget and curl: the last of a repeated single-value option wins.
  app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
  app.footer(std::string("Try 'albumora COMMAND --help' (or 'albumora help COMMAND') for a "
                         "command's options.\n\n") +
             kExitStatusHelp);

  // sites
  bool sitesJson = false;
  CLI::App* sites = app.add_subcommand(
      "sites", "list the site families: index, key, name, whether this build supports it");
  sites->add_flag("--json", sitesJson, "one JSON object per line");

  // list
  CommonOptions listOptions;
  CommonInputs listInputs;
  CLI::App* list = app.add_subcommand("list", "print the owner's albums");
  AddCommonOptions(list, listOptions, listInputs);
  list->footer(std::string(kAddressHelp) + "\n" + kListOutputHelp + "\n" + kExitStatusHelp);

  // download
  DownloadOptions download;
  CommonInputs downloadInputs;
  CLI::App* downloadCommand =
      app.add_subcommand("download", "list the owner's albums, then download the selected ones");
  AddCommonOptions(downloadCommand, download.common, downloadInputs, false);
  downloadCommand
      ->add_option("-i,--input-file", download.inputFile,
                   "download every address of FILE in order, one a line ('#' at a line's start "
                   "or after white space starts a comment; - reads standard input), instead of "
                   "ADDRESS; a bad line is told as FILE:LINE and skipped (status 2 at least)")
      ->type_name("FILE");
  downloadCommand->add_flag("--force", download.force,
                            "fetch every picture again, also those an earlier run wrote (each "
                            "into its own file); by default a rerun fetches only what is missing");
  std::string lowSpeed;
  auto* lowSpeedOption =
      downloadCommand
          ->add_option("--low-speed", lowSpeed,
                       "a page or picture slower than BYTES a second for SECONDS fails as "
                       "\"too slow\" (default 1024:10 from albumora.toml; 0:1 turns it off)")
          ->type_name("BYTES:SECONDS");
  std::string retries;
  auto* retriesOption =
      downloadCommand
          ->add_option("--retries", retries,
                       "a picture or page is asked again at most N times in all (its fallback "
                       "address and a page's own tries included) when the site refuses (429, "
                       "503: the host waits for every thread) or on a transient error (HTTP 408, "
                       "500, 502, 504, a time-out, a connection reset or refused before any "
                       "data), after the wait the site asks for or 1, 2, 4 ... s (at most 60); "
                       "other errors are not retried (0 to 100; default 5 from albumora.toml)")
          ->type_name("N");
  std::string wait;
  auto* waitOption = downloadCommand
                         ->add_option("--wait", wait,
                                      "at least SECONDS (such as 2 or 0.5) between two requests "
                                      "to one host (default 0 from albumora.toml)")
                         ->type_name("SECONDS");
  downloadCommand->add_flag("--random-wait", download.randomWait,
                            "each --wait is 0.5 to 1.5 times as long, at random");
  std::string hostConnections;
  auto* hostConnectionsOption =
      downloadCommand
          ->add_option("--host-connections", hostConnections,
                       "at most N requests to one host at a time, 0 to 64 (0: as many as the "
                       "threads)")
          ->type_name("N");
  std::string limitRate;
  auto* limitRateOption =
      downloadCommand
          ->add_option("--limit-rate", limitRate,
                       "at most RATE bytes a second for the whole download, all threads "
                       "together (such as 500k or 2M; default none)")
          ->type_name("RATE");
  std::string userAgent;
  auto* userAgentOption =
      downloadCommand
          ->add_option("--user-agent", userAgent, "the User-Agent of every request of this run")
          ->type_name("TEXT");
  downloadCommand
      ->add_option("-o,--save", download.save,
                   "save folder; pictures land in SAVE/OWNER/ALBUM/ (made when missing)")
      ->required()
      ->type_name("DIR");
  downloadCommand
      ->add_option(
          "-a,--albums", download.albums,
          "albums to download, by the row numbers 'albumora list' prints: all (default), or "
          "numbers and ranges such as 1,3-5")
      ->type_name("SEL");
  std::string threads;
  std::string timeout;
  std::string minKB;
  std::string maxKB;
  auto* threadsOption =
      downloadCommand
          ->add_option("-t,--threads", threads,
                       "pictures fetched at a time, 1 to 15 (default: the site's setting, 5)")
          ->type_name("N");
  auto* timeoutOption =
      downloadCommand
          ->add_option("--timeout", timeout,
                       "seconds a picture may wait for data, 10 to 65535 (default: the site's "
                       "setting, 30)")
          ->type_name("SECONDS");
  auto* minOption = downloadCommand
                        ->add_option("--min-kb", minKB,
                                     "skip pictures smaller than this many KB, 0 to 65535 "
                                     "(default: the site's setting, 0 = no limit)")
                        ->type_name("KB");
  auto* maxOption = downloadCommand
                        ->add_option("--max-kb", maxKB,
                                     "skip pictures larger than this many KB, 0 to 65535 "
                                     "(default: the site's setting, 0 = no limit)")
                        ->type_name("KB");
  for (const OptionSwitch& option : kSwitches) {
    const uint16_t bit = option.bit;
    DownloadOverrides& overrides = download.overrides;
    downloadCommand->add_flag_callback(
        std::string("--") + option.name,
        [&overrides, bit] {
          overrides.optionsOn |= bit;
          overrides.optionsOff = static_cast<uint16_t>(overrides.optionsOff & ~bit);
        },
        std::string(option.help) + " (this run only)");
    downloadCommand->add_flag_callback(
        std::string("--no-") + option.name,
        [&overrides, bit] {
          overrides.optionsOff |= bit;
          overrides.optionsOn = static_cast<uint16_t>(overrides.optionsOn & ~bit);
        },
        std::string("turn --") + option.name + " off for this run");
  }
  std::string exportKind;
  downloadCommand
      ->add_option("--export", exportKind,
                   "instead of downloading, write per album a list for a download manager: "
                   "aria2 (ALBUM.aria2.txt, for aria2c -i, with out= names, the user agent, "
                   "referers and cookies) or thunder (ALBUM.lst)")
      ->check(CLI::IsMember({"aria2", "thunder"}).description(""))
      ->type_name("aria2|thunder");
  bool dryRun = false;
  downloadCommand->add_flag(
      "--dry-run,--simulate", dryRun,
      "list the albums and their pictures and print per picture its address and the file it "
      "would be written to (row, address, file; --json: one object per picture); nothing is "
      "fetched and no folder, file, marker or archive row is written");
  downloadCommand
      ->add_option("--aria2-rpc", download.aria2Rpc,
                   "instead of downloading, hand each picture to a running aria2 (aria2c "
                   "--enable-rpc) at its JSON-RPC address, e.g. http://nas:6800/jsonrpc, "
                   "with the album's folder and names")
      ->type_name("URL");
  downloadCommand
      ->add_option("--aria2-secret", download.aria2Secret, "aria2's --rpc-secret for --aria2-rpc")
      ->type_name("TOKEN");
  downloadCommand->footer(std::string(kAddressHelp) + "\n" + kDownloadOutputHelp +
                          "\nThe numeric options and switches override the site's settings "
                          "for this run only.\n\n" +
                          kExitStatusHelp);

  // check
  CommonOptions checkOptions;
  CommonInputs checkInputs;
  CLI::App* checkCommand = app.add_subcommand(
      "check",
      "does a site family still work? its album list and first picture lists, page by page");
  AddCommonOptions(checkCommand, checkOptions, checkInputs, false);
  checkCommand->footer(kCheckHelp);

  // config
  ConfigOptions config;
  std::string configSite = "qzone";
  CLI::App* configCommand = app.add_subcommand(
      "config",
      "show or change the saved settings: a site's slot of soft.dat and albumora.toml (both "
      "shared with the window)");
  configCommand->add_option("--site", configSite, "site family: key or index (default qzone)")
      ->type_name("KEY|N");
  configCommand->add_option("--home", config.home, "program folder (as for list)")
      ->type_name("DIR");
  configCommand
      ->add_option("--set", config.sets, "NAME=VALUE; may be given more than once; saved at once")
      ->allow_extra_args(false)
      ->type_name("NAME=VALUE");
  configCommand->add_flag("--json", config.json,
                          "the slot and albumora.toml's settings as one JSON object");
  configCommand->footer("Names:\n" + ConfigNamesHelp() +
                        "\nThreads 1 to 15 and a time-out of 10 s or more are required, as in "
                        "the window's dialog;\ntexts hold at most 38 characters. A value out of "
                        "range is refused and nothing\nis saved. Showing writes no file.\n");

  // login
  LoginOptions login;
  CLI::App* loginCommand = app.add_subcommand(
      "login", "log in to a site in a browser window; its cookies are kept for list and download");
  loginCommand
      ->add_option("--site", login.site,
                   "site family: key or index; without URL its login page is opened (qzone "
                   "with a QQ number as URL: that owner's page)")
      ->type_name("KEY|N");
  loginCommand->add_option("--home", login.home, "program folder (as for list)")->type_name("DIR");
  loginCommand->add_option("--proxy", login.proxy, "the browser's HTTP proxy (http://HOST:PORT)")
      ->type_name("URL");
  loginCommand
      ->add_option("URL", login.address,
                   "the page to open (default: the site's login "
                   "page, else the clipboard's text)")
      ->type_name("");
  loginCommand->footer(
      "The window is albumora-gui's login window (beside albumora or on PATH); it needs a\n"
      "display. Every cookie the site sets there is saved to cookies.txt in the program\n"
      "folder at once. Without a display: log in with a browser elsewhere, export its cookies\n"
      "as cookies.txt and give it to list or download with --cookies FILE.\n");

  // "albumora help [COMMAND]": the help, as --help gives it.
  if (argc >= 2 && std::string(argv[1]) == "help") {
    if (argc == 2) {
      std::cout << app.help();
      return kExitOk;
    }
    for (CLI::App* command : app.get_subcommands({})) {
      if (argc == 3 && command->get_name() == argv[2]) {
        std::cout << command->help("albumora");
        return kExitOk;
      }
    }
    return UsageError("", argc == 3 ? "unknown command '" + EscapeControls(argv[2]) + "'"
                                    : "help takes one command at most");
  }

  const std::string word = CommandWord(argc, argv);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    if (word.empty() && argc < 2) {
      return UsageError("", "a command is needed: sites, list, download, check, config or login");
    }
    return UsageError(word,
                      ParseErrorText(app, word.empty() ? nullptr : app.get_subcommand(word), e));
  }

  std::string error;
  if (sites->parsed()) return RunSitesCommand(sitesJson);
  // The two commands that run a job, as the log sees them.
  auto runList = [&]() -> int {
    if (!FinishCommon(listOptions, listInputs, error)) return UsageError("list", error);
    return RunListCommand(listOptions);
  };
  auto runDownload = [&]() -> int {
    if (!FinishCommon(download.common, downloadInputs, error)) {
      return UsageError("download", error);
    }
    DownloadOverrides& overrides = download.overrides;
    const NumberOption numbers[] = {
        {threadsOption, &threads, 1, 15, ""},  {timeoutOption, &timeout, 10, 65535, "seconds"},
        {minOption, &minKB, 0, 65535, "KB"},   {maxOption, &maxKB, 0, 65535, "KB"},
        {retriesOption, &retries, 0, 100, ""}, {hostConnectionsOption, &hostConnections, 0, 64, ""},
    };
    long values[std::size(numbers)] = {};
    for (size_t i = 0; i < std::size(numbers); ++i) {
      if (numbers[i].option->count() > 0 && !ReadNumberOption(numbers[i], values[i], error)) {
        return UsageError("download", error);
      }
    }
    if (threadsOption->count() > 0) overrides.threads = static_cast<uint16_t>(values[0]);
    if (timeoutOption->count() > 0) overrides.timeoutSec = static_cast<uint16_t>(values[1]);
    if (minOption->count() > 0) overrides.minKB = static_cast<uint16_t>(values[2]);
    if (maxOption->count() > 0) overrides.maxKB = static_cast<uint16_t>(values[3]);
    if (retriesOption->count() > 0) download.retries = static_cast<uint32_t>(values[4]);
    if (hostConnectionsOption->count() > 0) {
      download.perHostConnections = static_cast<uint32_t>(values[5]);
    }
    if (download.common.address.empty() == download.inputFile.empty()) {
      return UsageError("download", download.inputFile.empty()
                                        ? "ADDRESS is required (or -i FILE)"
                                        : "give either ADDRESS or -i FILE, not both");
    }
    if (lowSpeedOption->count() > 0) {
      std::pair<uint32_t, uint32_t> value;
      if (!ParseLowSpeed(lowSpeed, value, error)) return UsageError("download", error);
      download.lowSpeed = value;
    }
    if (waitOption->count() > 0) {
      uint32_t ms = 0;
      if (!ParseWait(wait, ms, error)) return UsageError("download", error);
      download.waitMs = ms;
    }
    if (limitRateOption->count() > 0) {
      uint32_t rate = 0;
      if (!ParseRate(limitRate, rate, error)) return UsageError("download", error);
      download.limitRate = rate;
    }
    if (userAgentOption->count() > 0) {
      const bool printable =
          userAgent.size() <= 512 && std::all_of(userAgent.begin(), userAgent.end(),
                                                 [](char c) { return c >= 0x20 && c <= 0x7E; });
      if (!printable) {
        return UsageError("download",
                          "--user-agent takes printable ASCII text of at most 512 characters");
      }
      download.userAgent = userAgent;
    }
    const bool rpc = !download.aria2Rpc.empty();
    if ((!exportKind.empty() || rpc) && (overrides.optionsOn & OPT_THUNDER_ONLY) != 0) {
      return UsageError("download", std::string(rpc ? "--aria2-rpc" : "--export") +
                                        " and --thunder-list both stand for the download: "
                                        "give one");
    }
    if (!exportKind.empty() && rpc) {
      return UsageError("download", "--export and --aria2-rpc: give one");
    }
    if (dryRun && (!exportKind.empty() || rpc || (overrides.optionsOn & OPT_THUNDER_ONLY) != 0)) {
      return UsageError("download",
                        "--dry-run writes nothing: it goes with no --export, --aria2-rpc or "
                        "--thunder-list");
    }
    if (!download.aria2Secret.empty() && !rpc) {
      return UsageError("download", "--aria2-secret goes with --aria2-rpc URL");
    }
    download.exportKind = dryRun                    ? ExportKind::DryRun
                          : rpc                     ? ExportKind::Aria2Rpc
                          : exportKind == "aria2"   ? ExportKind::Aria2
                          : exportKind == "thunder" ? ExportKind::Thunder
                                                    : ExportKind::None;
    return RunDownloadCommand(download);
  };
  if (list->parsed() || downloadCommand->parsed()) {
    CatchStopSignals();
    if (!StartLog(list->parsed() ? listOptions : download.common, argc, argv, error)) {
      PrintError(error);
      return kExitNotStarted;
    }
    const int status = list->parsed() ? runList() : runDownload();
    LogLine("exit status " + std::to_string(status));
    return status;
  }
  if (checkCommand->parsed()) {
    if (!FinishCommon(checkOptions, checkInputs, error)) return UsageError("check", error);
    return RunCheckCommand(checkOptions);
  }
  if (configCommand->parsed()) {
    config.site = SiteFromText(configSite);
    if (config.site < 0) {
      return UsageError("config", "unknown site: " + EscapeControls(configSite));
    }
    return RunConfigCommand(config);
  }
  if (loginCommand->parsed()) return RunLoginCommand(login);
  return UsageError("", "a command is needed: sites, list, download, check, config or login");
}
