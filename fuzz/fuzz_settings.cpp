// SPDX-License-Identifier: GPL-3.0-or-later
// The settings file: any file loads, and a load, a save and a load give the same record and a
// file of exactly the record's size.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "model/Settings.h"

using namespace albumora;

namespace {

const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    std::string name = (std::filesystem::temp_directory_path() / "fuzz-settings-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) std::abort();
    return std::filesystem::path(name);
  }();
  return folder;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path first = Folder() / "soft.dat";
  const std::filesystem::path second = Folder() / "again.dat";
  std::ofstream(first, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  SettingsRecord record;
  LoadSettings(record, first);
  if (!SaveSettings(record, second)) std::abort();
  if (std::filesystem::file_size(second) != kSettingsFileSize) std::abort();
  SettingsRecord again;
  LoadSettings(again, second);
  if (EncodeSettings(record) != EncodeSettings(again)) std::abort();
  if (std::filesystem::file_size(second) != kSettingsFileSize) std::abort();
  return 0;
}
