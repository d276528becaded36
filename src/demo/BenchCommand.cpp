// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora-demo serve-bench`: serves the benchmarks' account on the loopback test web until its
// standard input closes. It writes the pictures' addresses to the list file, then prints the
// proxy address on stdout; bench/download_bench.sh and bench/naming_bench.sh drive it.
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

int RunServeBench(const std::string& listFile, const BenchShape& shape) {
  testweb::TestWeb web;
  web.SetConnectionCharge(shape.connectMs);  // each new connection waits this long
  testweb::BenchAccount account;
  account.albums = shape.albums;
  account.oneAlbumName = shape.oneAlbumName;
  account.pictures = shape.pictures;
  account.oneDescription = shape.oneDescription;
  account.everyAlbum = shape.everyAlbum;
  account.listDelayMs = shape.listDelayMs;
  account.bytes = static_cast<size_t>(shape.kb) * 1024;
  account.delayMs = shape.delayMs;
  if (shape.ratePerSecond > 0) {
    account.rateLimit = std::make_shared<testweb::RateLimitedHost>(shape.ratePerSecond);
  }
  const std::vector<std::string> addresses = testweb::ServeBenchAccount(web, account);
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
  if (account.rateLimit) {
    std::cerr << "pictures served: " << account.rateLimit->served.load()
              << "\npictures refused: " << account.rateLimit->refused.load() << std::endl;
  }
  return kExitOk;
}

}  // namespace albumora::demo
