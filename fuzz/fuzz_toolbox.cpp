// SPDX-License-Identifier: GPL-3.0-or-later
// The toolbox against its literal algorithms: the input is split at the first two 0x01 bytes
// into a text and two markers.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "LiteralToolbox.h"
#include "text/StringCtrl.h"

using namespace albumora;

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;  // the literal algorithms are quadratic
  const std::string input(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> parts;
  size_t begin = 0;
  for (int k = 0; k < 2; ++k) {
    const size_t at = input.find('\x01', begin);
    if (at == std::string::npos) break;
    parts.push_back(input.substr(begin, at - begin));
    begin = at + 1;
  }
  parts.push_back(input.substr(begin));
  const std::string text = parts.back();
  const std::string a = parts.size() > 1 ? parts[0] : "<";
  const std::string b = parts.size() > 2 ? parts[1] : ">";

  Check(StripTags(text) == literal::StripTags(text));
  Check(UnescapeUnicode(text) == literal::UnescapeUnicode(text));
  std::string fast = text;
  std::string plain = text;
  DecodeEntities(fast);
  literal::DecodeEntities(plain);
  Check(fast == plain);
  Check(CountOf(text, a) == literal::CountOf(text, a));
  std::vector<std::string> fastPieces;
  std::vector<std::string> plainPieces;
  Check(SplitBy(fastPieces, text, a) == literal::SplitBy(plainPieces, text, a));
  Check(fastPieces == plainPieces);
  for (const unsigned flags : {0u, BT_CONSUME, BT_TOEND, BT_CONSUME | BT_TOEND}) {
    std::string x = text;
    std::string y = text;
    Check(GetBetween(x, a, b, flags) == literal::GetBetween(y, a, b, flags));
    Check(x == y);
  }
  fast = text;
  plain = text;
  ReplaceEach(fast, a, b);
  literal::ReplaceEach(plain, a, b);
  Check(fast == plain);
  fast = text;
  plain = text;
  Check(ReplaceAll(fast, a, b) == literal::ReplaceAll(plain, a, b));
  Check(fast == plain);
  UrlDecode(text, true);
  UrlDecode(text, false);
  return 0;
}
