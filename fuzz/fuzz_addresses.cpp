// SPDX-License-Identifier: GPL-3.0-or-later
// Address normalisation of every site and site recognition: any typed text is handled.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "sites/Registry.h"

using namespace albumora;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 65536) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  for (int site = 0; site < 15; ++site) {
    NormalizeAddress(site, text);
    const int recognised = RecognizeSite(text, site);
    if (recognised < 0 || recognised > 14) std::abort();
  }
  return 0;
}
