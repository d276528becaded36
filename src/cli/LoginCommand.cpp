// SPDX-License-Identifier: GPL-3.0-or-later
#include "cli/LoginCommand.h"

#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <vector>

#include "cli/CliCommon.h"
#include "fs/ProgramFolder.h"
#include "net/CookieStore.h"
#include "text/StringCtrl.h"

extern char** environ;

namespace albumora::cli {

namespace {

constexpr const char* kGuiProgram = "albumora-gui";

bool Set(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// The window program: beside this program when it is there, else found on PATH.
std::string GuiProgram() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) {
    const std::filesystem::path beside = self.parent_path() / kGuiProgram;
    if (access(beside.c_str(), X_OK) == 0) return beside.string();
  }
  return kGuiProgram;
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The host of an address ("http://HOST[:PORT]/..."); empty when it is none.
std::string HostOf(const std::string& address) {
  const size_t scheme = address.find("://");
  if (scheme == std::string::npos) return {};
  const size_t begin = scheme + 3;
  const size_t end = address.find_first_of(":/?#", begin);
  return address.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
}

size_t CookieCount(const std::string& cookies) {
  if (cookies.empty()) return 0;
  size_t count = 1;
  for (size_t at = 0; (at = cookies.find("; ", at)) != std::string::npos; at += 2) ++count;
  return count;
}

}  // namespace

bool HasDisplay() { return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM"); }

std::string LoginAdvice(const std::string& address) {
  if (HasDisplay()) {
    return "the site asks for a login at " + address + ": run 'albumora login " + address +
           "' (a browser window; its cookies are kept for albumora), then run this command again";
  }
  return "the site asks for a login at " + address +
         ": there is no display here for the login window; log in with a browser, export its "
         "cookies (cookies.txt) and run this command again with --cookies FILE";
}

int RunLoginCommand(const LoginOptions& options) {
  std::string address = Trim(options.address);
  if (!address.empty() && address[0] == '-') {
    return UsageError("login", "not an address: " + EscapeControls(address));
  }
  if (!options.site.empty()) {
    const int site = SiteFromText(options.site);
    if (site < 0) {
      return UsageError(
          "login", "unknown site: " + EscapeControls(options.site) + " (see 'albumora sites')");
    }
    const std::string page = SiteLoginAddress(site);
    if (address.empty() || (site == SITE_QZONE && AllDigits(address))) {
      if (page.empty()) {
        return UsageError("login",
                          "the site has no login page of its own; give the address "
                          "to log in at");
      }
      address = page + address;  // a QQ number: the owner's page, as the window's menu does
    }
  }

  // A mistyped address is told as such, before the display is looked for.
  std::string scheme = address.substr(0, address.find("://") + 3);
  for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const bool page = (scheme == "http://" || scheme == "https://") &&
                    HostOf(address).find('.') != std::string::npos;
  if (!address.empty() && !AllDigits(address) && !page) {
    return UsageError("login", "not a page address: \"" + EscapeControls(address) +
                                   "\"; give one beginning with http:// or https://, or --site "
                                   "KEY for the site's login page");
  }
  if (!OpenProgramFolder(options.home)) return kExitNotStarted;
  if (!HasDisplay()) {
    PrintError(
        "no display for the login window (DISPLAY and WAYLAND_DISPLAY are not set). Log in "
        "with a browser on a machine with a display, export the site's cookies as cookies.txt "
        "and give that file to 'albumora list' or 'albumora download' with --cookies FILE.");
    return kExitNotStarted;
  }

  std::vector<std::string> args = {kGuiProgram, "--login"};
  if (!address.empty()) args.push_back(address);
  args.insert(args.end(), {"--home", std::filesystem::absolute(ProgramFolder()).string()});
  if (!options.proxy.empty()) args.insert(args.end(), {"--proxy", options.proxy});
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);

  const std::string program = GuiProgram();
  // While the window is open, Ctrl-C (or a termination request) closes it: every cookie it set
  // is already in cookies.txt, so the report below still holds.
  sigset_t stops;
  sigemptyset(&stops);
  sigaddset(&stops, SIGINT);
  sigaddset(&stops, SIGTERM);
  sigset_t previous;
  pthread_sigmask(SIG_BLOCK, &stops, &previous);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK);
  pid_t child = -1;
  const int spawned =
      posix_spawnp(&child, program.c_str(), nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  if (spawned != 0) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    PrintError("cannot start the login window (" + program + ": " + std::strerror(spawned) +
               "); install albumora-gui, or give a browser's exported cookies.txt with "
               "--cookies FILE");
    return kExitNotStarted;
  }
  std::cerr << EscapeControls("login: the login window is open" +
                              (address.empty() ? std::string() : " at " + address))
            << "; log in there and close it (Ctrl-C closes it too)" << std::endl;
  int raw = 0;
  bool stopped = false;
  for (;;) {
    const pid_t ended = waitpid(child, &raw, WNOHANG);
    if (ended == child) break;
    if (ended < 0 && errno != EINTR) {
      pthread_sigmask(SIG_SETMASK, &previous, nullptr);
      PrintError("lost the login window's process");
      return kExitNotStarted;
    }
    const timespec pause{0, 200 * 1000 * 1000};
    if (sigtimedwait(&stops, nullptr, &pause) > 0 && !stopped) {
      stopped = true;
      kill(child, SIGTERM);
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  const bool closed = WIFEXITED(raw) ? WEXITSTATUS(raw) == 0 : stopped || WTERMSIG(raw) == SIGINT;
  if (!closed) {
    PrintError("the login window ended with a failure; the cookies it saved are kept");
    return kExitNotStarted;
  }

  const std::filesystem::path cookies = ProgramFile("cookies.txt");
  CookieStore& store = CookieStore::Shared();
  store.Load(cookies);
  std::string report = "login: the window was closed; cookies are in " + cookies.string();
  const std::string host = HostOf(address);
  if (!host.empty()) {
    report += " (" + std::to_string(CookieCount(store.CookiesFor(address))) + " for " + host + ")";
  }
  std::cerr << EscapeControls(report) << std::endl;
  return kExitOk;
}

}  // namespace albumora::cli
