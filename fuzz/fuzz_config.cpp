// SPDX-License-Identifier: GPL-3.0-or-later
// The config file: any text loads or is refused with messages, never a throw; what loads saves
// and loads again to the same values without a message.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "model/Config.h"

using namespace albumora;

namespace {

const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    std::string name = (std::filesystem::temp_directory_path() / "fuzz-config-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) std::abort();
    return std::filesystem::path(name);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Config config;
  std::vector<std::string> errors;
  if (!ParseConfig(text, "fuzz.toml", config, errors)) {
    if (errors.size() != 1 || !(config == Config{})) std::abort();
    return 0;
  }
  const std::filesystem::path file = Folder() / "albumora.toml";
  std::string error;
  if (!SaveConfig(file, config, error)) std::abort();
  Config again;
  errors.clear();
  if (!LoadConfig(file, again, errors) || !errors.empty() || !(again == config)) std::abort();
  return 0;
}
