// albumora: the command-line front end.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliCommon.h"

int main(int argc, char** argv) {
  using namespace albumora::cli;
  if (argc < 2) return UsageError("no command");
  const std::string command = argv[1];
  const std::vector<std::string> args(argv + 2, argv + argc);
  if (command == "sites") return RunSitesCommand(args);
  if (command == "list") return RunListCommand(args);
  if (command == "download") return RunDownloadCommand(args);
  if (command == "demo") return RunDemoCommand(args);
  if (command == "serve-bench") return RunServeBenchCommand(args);
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(UsageText().c_str(), stdout);
    return kExitOk;
  }
  return UsageError("unknown command: " + command);
}
