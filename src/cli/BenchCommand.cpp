// `albumora serve-bench` (not in the usage text): serves the download benchmark's album on the
// loopback test web until its standard input closes. It writes the pictures' addresses to the
// list file, then prints the proxy address on stdout; bench/download_bench.sh drives it.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "DemoSite.h"
#include "TestWeb.h"
#include "cli/CliCommon.h"

namespace albumora::cli {

int RunServeBenchCommand(const std::vector<std::string>& args) {
  int pictures = 300;
  long kb = 100;
  int delayMs = 50;
  int connectMs = 0;
  std::string listFile;
  for (size_t i = 0; i + 1 < args.size(); i += 2) {
    const std::string& option = args[i];
    const std::string& value = args[i + 1];
    try {
      if (option == "--pictures") {
        pictures = std::stoi(value);
      } else if (option == "--kb") {
        kb = std::stol(value);
      } else if (option == "--delay") {
        delayMs = std::stoi(value);
      } else if (option == "--connect-ms") {
        connectMs = std::stoi(value);
      } else if (option == "--list") {
        listFile = value;
      } else {
        return UsageError("serve-bench: unknown option " + option);
      }
    } catch (const std::exception&) {
      return UsageError("serve-bench: bad value for " + option);
    }
  }
  if (args.size() % 2 != 0 || listFile.empty() || pictures < 1 || kb < 1 || delayMs < 0 ||
      connectMs < 0) {
    return UsageError(
        "serve-bench --list FILE [--pictures N] [--kb K] [--delay MS] [--connect-ms MS]");
  }
  testweb::TestWeb web;
  web.SetConnectionCharge(connectMs);  // each new connection waits this long
  const std::vector<std::string> addresses =
      testweb::ServeBenchAlbum(web, pictures, static_cast<size_t>(kb) * 1024, delayMs);
  {
    std::ofstream list(listFile, std::ios::trunc);
    for (const std::string& address : addresses) list << address << "\n";
    if (!list) {
      std::cerr << "serve-bench: cannot write " << listFile << std::endl;
      return kExitNotStarted;
    }
  }
  std::printf("%s\n", web.ProxyUrl().c_str());
  std::fflush(stdout);
  // Serves until the driver closes our standard input.
  for (int c = std::getchar(); c != EOF; c = std::getchar()) {
  }
  std::cerr << "connections accepted: " << web.AcceptedConnections() << std::endl;
  return kExitOk;
}

}  // namespace albumora::cli
