// SPDX-License-Identifier: GPL-3.0-or-later
// cookies.txt: any file loads, and what a load gives survives a save and a load unchanged.
#include <stdlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "net/CookieStore.h"

using namespace albumora;

namespace {

const std::filesystem::path& Folder() {
  static const std::filesystem::path folder = [] {
    std::string name = (std::filesystem::temp_directory_path() / "fuzz-cookies-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) std::abort();
    return std::filesystem::path(name);
  }();
  return folder;
}

std::vector<std::string> SortedLines(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::sort(lines.begin(), lines.end());
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::filesystem::path input = Folder() / "cookies.txt";
  const std::filesystem::path saved = Folder() / "saved.txt";
  const std::filesystem::path again = Folder() / "again.txt";
  std::ofstream(input, std::ios::binary | std::ios::trunc)
      .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  CookieStore& store = CookieStore::Shared();
  if (!store.Load(input) || !store.Save(saved)) std::abort();
  const std::vector<std::string> first = SortedLines(saved);
  if (!store.Load(saved) || !store.Save(again)) std::abort();
  if (SortedLines(again) != first) std::abort();
  store.CookiesFor("http://h.test/");
  return 0;
}
