// The download and demo commands.
#include <iostream>

#include "cli/CliCommon.h"

namespace albumora::cli {

int RunDownloadCommand(const std::vector<std::string>&) {
  std::cerr << "albumora: download is not built yet" << std::endl;
  return kExitUsage;
}

int RunDemoCommand(const std::vector<std::string>&) {
  std::cerr << "albumora: demo is not built yet" << std::endl;
  return kExitUsage;
}

}  // namespace albumora::cli
