// SPDX-License-Identifier: GPL-3.0-or-later
// A fresh folder under the system's temporary folder for one test, removed with everything in
// it when the test ends.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "fs/FileNames.h"

namespace albumora::testweb {

class ScratchDir {
 public:
  explicit ScratchDir(std::string_view tag = "test") {
    std::string pattern =
        (std::filesystem::temp_directory_path() / ("albumora-" + std::string(tag) + "-XXXXXX"))
            .string();
    if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code error;
    if (!path_.empty()) std::filesystem::remove_all(path_, error);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  const std::string& Path() const { return path_; }
  // The folder text with the separator at its end, as the pipelines keep folders.
  std::string Folder() const { return path_ + kPathSep; }
  std::filesystem::path Dir() const { return path_; }

 private:
  std::string path_;
};

}  // namespace albumora::testweb
