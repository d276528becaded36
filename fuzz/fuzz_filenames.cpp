// SPDX-License-Identifier: GPL-3.0-or-later
// File names: whatever a site sends, a cleaned name holds no path separator, zero byte or
// control character and is no "." or ".."; a fitted name is never empty, "." or "..", and a
// cleaned name fits the file system once fitted.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fs/FileNames.h"
#include "text/StringCtrl.h"

using namespace albumora;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

bool HasControl(const std::string& name) {
  for (size_t pos = 0; pos < name.size();) {
    const char32_t cp = ReadCodePoint(name, pos);
    if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F)) return true;
  }
  return false;
}

std::string LastComponent(const std::string& path) {
  const size_t slash = path.rfind(kPathSep);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  for (const bool fallback : {false, true}) {
    std::string name = text;
    CleanFileName(name, data[0] & 1 ? 0xFFFFu : data[0], fallback);
    Check(name.find_first_of(std::string("/\\\0", 3)) == std::string::npos);
    Check(!HasControl(name));
    Check(name != "." && name != "..");
    Check(!fallback || !name.empty());
    const std::string fitted = FitFileName(name + ".jpg");
    Check(fitted.size() <= kMaxNameBytes);
    Check(fitted.find('/') == std::string::npos);
  }
  const std::string fitted = LastComponent(FitFileName(text));
  Check(!fitted.empty() && fitted != "." && fitted != "..");
  Check(fitted.size() <= kMaxNameBytes);
  return 0;
}
