// SPDX-License-Identifier: GPL-3.0-or-later
// Small file helpers the test suites share.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "text/StringCtrl.h"

namespace albumora::testweb {

// The whole file's bytes; empty when it cannot be read.
inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The lines of a text, without their line feeds.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A file written as UTF-16LE with a byte-order mark (the diagnostic copies), read back as UTF-8;
// "(no byte-order mark)" when it has none.
inline std::string ReadUnicodeFile(const std::filesystem::path& path) {
  const std::string bytes = ReadFile(path);
  if (bytes.size() < 2 || bytes.substr(0, 2) != "\xFF\xFE") return "(no byte-order mark)";
  std::u16string units;
  for (size_t i = 2; i + 1 < bytes.size(); i += 2) {
    units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                          (static_cast<unsigned char>(bytes[i + 1]) << 8)));
  }
  return FromUtf16(units);
}

}  // namespace albumora::testweb
