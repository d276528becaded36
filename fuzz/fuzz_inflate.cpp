// SPDX-License-Identifier: GPL-3.0-or-later
// The gzip and zlib inflater of answers: any bytes inflate or fail, within the body limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/HttpEngine.h"

using namespace albumora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string out;
  InflateBody(out, reinterpret_cast<const char*>(data), size);
  if (out.size() > kMaxBodyBytes + 8192) std::abort();
  return 0;
}
