// `albumora-demo serve-bench`: serves the download benchmark's album on the loopback test web
// until its standard input closes. It writes the pictures' addresses to the
// list file, then prints the proxy address on stdout; bench/download_bench.sh drives it.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>

#include "DemoSite.h"
#include "TestWeb.h"
#include "cli/CliCommon.h"
#include "demo/DemoCommands.h"

namespace albumora::demo {

using namespace albumora::cli;

int RunServeBench(const std::string& listFile, int pictures, long kb, int delayMs, int connectMs) {
  testweb::TestWeb web;
  web.SetConnectionCharge(connectMs);  // each new connection waits this long
  const std::vector<std::string> addresses =
      testweb::ServeBenchAlbum(web, pictures, static_cast<size_t>(kb) * 1024, delayMs);
  {
    std::ofstream list(listFile, std::ios::trunc);
    for (const std::string& address : addresses) list << address << "\n";
    if (!list) {
      std::cerr << "albumora-demo serve-bench: cannot write " << listFile << std::endl;
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

}  // namespace albumora::demo
