// SPDX-License-Identifier: GPL-3.0-or-later
// `albumora config`: a site's settings slot in soft.dat and the settings of albumora.toml,
// shown and changed.
#pragma once

#include <string>
#include <vector>

#include "cli/CliCommon.h"

namespace albumora::cli {

struct ConfigOptions {
  int site = 0;
  std::string home;
  std::vector<std::string> sets;  // NAME=VALUE
  bool json = false;
};

// The setting names with one line of help each: the slot's, then albumora.toml's.
std::string ConfigNamesHelp();
int RunConfigCommand(const ConfigOptions& options);

}  // namespace albumora::cli
