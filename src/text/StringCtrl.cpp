// SPDX-License-Identifier: GPL-3.0-or-later
// The text toolbox. Every text is UTF-8; the UTF-16 work (escapes, counts) goes through
// ToUtf16/FromUtf16, the code pages through glibc's iconv.
#include "text/StringCtrl.h"

#include <iconv.h>
#include <locale.h>
#include <wctype.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <string_view>
#include <vector>

namespace albumora {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHexDigit(char32_t c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int HexValue(char32_t c) {
  if (c >= '0' && c <= '9') return static_cast<int>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<int>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<int>(c - 'A' + 10);
  return -1;
}

// Reads one code point of UTF-8 at text[pos] and advances pos. A byte that does not start a
// well-formed sequence (stray continuation, overlong form, surrogate, beyond U+10FFFF, cut
// short) yields U+FFFD and advances by one byte.
char32_t NextCodePoint(std::string_view text, size_t& pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(pos);
  if (lead < 0x80) {
    ++pos;
    return lead;
  }
  size_t extra = 0;
  char32_t cp = 0;
  char32_t least = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    extra = 1;
    cp = lead & 0x1F;
    least = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    extra = 2;
    cp = lead & 0x0F;
    least = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    extra = 3;
    cp = lead & 0x07;
    least = 0x10000;
  } else {
    ++pos;
    return kReplacement;
  }
  if (pos + extra >= text.size()) {
    ++pos;
    return kReplacement;
  }
  for (size_t i = 1; i <= extra; ++i) {
    const unsigned char b = byte(pos + i);
    if ((b & 0xC0) != 0x80) {
      ++pos;
      return kReplacement;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++pos;
    return kReplacement;
  }
  pos += extra + 1;
  return cp;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) cp = kReplacement;
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

const char* IconvName(CodePage codePage) {
  switch (codePage) {
    case CodePage::Gbk:
      return "CP936";
    case CodePage::Big5:
      return "CP950";
    case CodePage::Utf8:
      break;
  }
  return "UTF-8";
}

// An iconv descriptor that is closed on every path.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

// Converts as much as iconv accepts, appending to out; returns the number of input bytes used.
// Stops at the first byte iconv refuses (EILSEQ) or an incomplete tail (EINVAL).
size_t ConvertRun(iconv_t cd, const char* in, size_t length, std::string& out) {
  char* inPtr = const_cast<char*>(in);
  size_t inLeft = length;
  char buffer[4096];
  while (inLeft > 0) {
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    const size_t rc = iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer, static_cast<size_t>(outPtr - buffer));
    if (rc == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      break;
    }
  }
  // Flush any shift state (none for these code pages, but harmless).
  char* outPtr = buffer;
  size_t outLeft = sizeof buffer;
  iconv(cd, nullptr, nullptr, &outPtr, &outLeft);
  out.append(buffer, static_cast<size_t>(outPtr - buffer));
  return length - inLeft;
}

// Per code point of the Basic Multilingual Plane, its bytes in a code page as iconv gives them
// (length 0: the code page cannot hold it). Built once per code page with one iconv call per
// code point; encoding is then a lookup per character, whatever the text.
struct EncodeTable {
  std::vector<std::array<char, 4>> bytes;
  std::vector<uint8_t> length;
};

EncodeTable BuildEncodeTable(CodePage codePage) {
  EncodeTable table;
  Converter cd(IconvName(codePage), "UTF-32LE");
  if (!cd.ok()) return table;
  table.bytes.resize(0x10000);
  table.length.resize(0x10000);
  for (char32_t c = 0; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    char in[4] = {static_cast<char>(c & 0xFF), static_cast<char>((c >> 8) & 0xFF), 0, 0};
    std::array<char, 4>& out = table.bytes[c];
    char* inPtr = in;
    size_t inLeft = sizeof in;
    char* outPtr = out.data();
    size_t outLeft = out.size();
    if (iconv(cd.get(), &inPtr, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1) ||
        inLeft != 0) {
      iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
      continue;
    }
    table.length[c] = static_cast<uint8_t>(out.size() - outLeft);
  }
  return table;
}

const EncodeTable& EncodeTableFor(CodePage codePage) {
  if (codePage == CodePage::Big5) {
    static const EncodeTable big5 = BuildEncodeTable(CodePage::Big5);
    return big5;
  }
  static const EncodeTable gbk = BuildEncodeTable(CodePage::Gbk);
  return gbk;
}

// UTF-8 text to a multi-byte code page. A character the code page cannot hold, and each
// sequence that is no UTF-8, becomes "?".
std::string EncodeTo(std::string_view text, CodePage codePage) {
  const EncodeTable& table = EncodeTableFor(codePage);
  if (table.length.empty()) return {};
  std::string out;
  out.reserve(text.size());
  for (size_t pos = 0; pos < text.size();) {
    const size_t start = pos;
    const char32_t c = NextCodePoint(text, pos);
    const bool invalid = c == kReplacement && text.substr(start, pos - start) != "\xEF\xBF\xBD";
    if (invalid || c >= table.length.size() || table.length[c] == 0) {
      out += '?';
      continue;
    }
    out.append(table.bytes[c].data(), table.length[c]);
  }
  return out;
}

// Bytes of a multi-byte code page to UTF-8; each invalid or incomplete byte becomes U+FFFD.
std::string DecodeFrom(const char* bytes, size_t length, CodePage codePage) {
  std::string out;
  if (codePage == CodePage::Utf8) {
    const std::string_view text(bytes, length);
    out.reserve(length);
    size_t pos = 0;
    while (pos < text.size()) AppendUtf8(out, NextCodePoint(text, pos));
    return out;
  }
  Converter cd("UTF-8", IconvName(codePage));
  if (!cd.ok()) return {};
  out.reserve(length * 3 / 2);
  size_t pos = 0;
  while (pos < length) {
    pos += ConvertRun(cd.get(), bytes + pos, length - pos, out);
    if (pos >= length) break;
    AppendUtf8(out, kReplacement);
    ++pos;
    iconv(cd.get(), nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

// A C.UTF-8 character-type locale for case folding, independent of the process's locale.
locale_t FoldLocale() {
  static const locale_t loc = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    return l;
  }();
  return loc;
}

char32_t FoldCase(char32_t c) {
  if (c < 0x80) return (c >= 'A' && c <= 'Z') ? c + ('a' - 'A') : c;
  const locale_t loc = FoldLocale();
  if (loc == static_cast<locale_t>(nullptr)) return c;
  return static_cast<char32_t>(towlower_l(static_cast<wint_t>(c), loc));
}

// The first occurrence of marker in text at or after from, or npos. glibc's memmem is linear
// in the text whatever the marker (two-way search), where a plain search can take the text's
// length times the marker's on a long run of the marker's prefix.
size_t FindText(std::string_view text, std::string_view marker, size_t from = 0) {
  if (from > text.size()) return std::string_view::npos;
  if (marker.empty()) return from;
  const void* at = ::memmem(text.data() + from, text.size() - from, marker.data(), marker.size());
  return at == nullptr ? std::string_view::npos
                       : static_cast<size_t>(static_cast<const char*>(at) - text.data());
}

std::atomic<ClipboardReader> g_clipboardReader{nullptr};

}  // namespace

// ---- marker extraction ----

std::string GetBetween(std::string& source, std::string_view start, std::string_view end,
                       unsigned flags) {
  const size_t at = FindText(source, start);
  if (at == std::string::npos) return {};
  const size_t from = at + start.size();
  std::string result;
  const size_t stop = FindText(source, end, from);
  if (stop != std::string::npos)
    result = source.substr(from, stop - from);
  else if (flags & BT_TOEND)
    result = source.substr(from);
  if (flags & BT_CONSUME) source.erase(0, from);
  return result;
}

std::string GetBetweenCopy(const std::string& source, std::string_view start, std::string_view end,
                           unsigned flags) {
  std::string copy = source;
  return GetBetween(copy, start, end, flags & ~BT_CONSUME);
}

long CutBefore(std::string& text, std::string_view marker, bool withMarker) {
  const size_t at = FindText(text, marker);
  if (at == std::string::npos) return -1;
  text.erase(0, at + (withMarker ? marker.size() : 0));
  return static_cast<long>(at);
}

long TruncAt(std::string& text, std::string_view marker) {
  const size_t at = FindText(text, marker);
  if (at == std::string::npos) return -1;
  text.resize(at);
  return static_cast<long>(at);
}

std::string LeftOf(const std::string& text, std::string_view marker) {
  const size_t at = FindText(text, marker);
  if (at == std::string::npos) return {};
  return text.substr(0, at);
}

void CutAfter(std::string& text, std::string_view marker) { CutBefore(text, marker, true); }

void CutAt(std::string& text, std::string_view marker) { TruncAt(text, marker); }

bool Contains(std::string_view text, std::string_view marker) {
  return FindText(text, marker) != std::string_view::npos;
}

bool ContainsInside(std::string_view text, std::string_view marker) {
  const size_t at = FindText(text, marker);
  return at != std::string_view::npos && at > 0;
}

int ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return 0;
  size_t at = FindText(text, from);
  if (at == std::string::npos) return 0;
  std::string out;
  out.reserve(text.size());
  size_t done = 0;
  int count = 0;
  while (at != std::string::npos) {
    out.append(text, done, at - done);
    out.append(to);
    done = at + from.size();
    ++count;
    at = FindText(text, from, done);
  }
  out.append(text, done, std::string::npos);
  text = std::move(out);
  return count;
}

std::string Trim(std::string_view text) {
  constexpr std::string_view kBlank = " \t\r\n\v\f";
  const size_t first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  const size_t last = text.find_last_not_of(kBlank);
  return std::string(text.substr(first, last - first + 1));
}

long long ReadDecimal(std::string_view text) {
  size_t pos = 0;
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t' || text[pos] == '\r' ||
                               text[pos] == '\n' || text[pos] == '\v' || text[pos] == '\f'))
    ++pos;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '-' || text[pos] == '+')) {
    negative = text[pos] == '-';
    ++pos;
  }
  long long value = 0;
  for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
    const int digit = text[pos] - '0';
    if (value > (LLONG_MAX - digit) / 10) return negative ? LLONG_MIN : LLONG_MAX;
    value = value * 10 + digit;
  }
  return negative ? -value : value;
}

// ---- splitting and counting ----

int CountOf(std::string_view text, std::string_view marker) {
  if (marker.empty()) return 0;
  int count = 0;
  for (size_t at = FindText(text, marker); at != std::string_view::npos;
       at = FindText(text, marker, at + marker.size()))
    ++count;
  return count;
}

int SplitBy(std::vector<std::string>& pieces, std::string_view text, std::string_view separator) {
  pieces.clear();
  const int count = CountOf(text, separator);
  if (count < 1) return 0;
  pieces.reserve(static_cast<size_t>(count) + 1);
  size_t done = 0;
  for (size_t at = FindText(text, separator); at != std::string_view::npos;
       at = FindText(text, separator, done)) {
    pieces.emplace_back(text.substr(done, at - done));
    done = at + separator.size();
  }
  pieces.emplace_back(text.substr(done));
  return count;
}

void ReplaceEach(std::string& text, std::string_view fromList, std::string_view toList) {
  if (CountOf(fromList, "|") != CountOf(toList, "|")) {
    ReplaceAll(text, fromList, toList);
    return;
  }
  std::vector<std::string> from;
  std::vector<std::string> to;
  if (SplitBy(from, fromList, "|") == 0) {
    from.emplace_back(fromList);
    to.emplace_back(toList);
  } else {
    SplitBy(to, toList, "|");
  }
  for (size_t i = 0; i < from.size(); ++i) ReplaceAll(text, from[i], to[i]);
}

// ---- decoding ----

// Works on UTF-16 units: "\uD83D\uDE00" joins into one character; a lone surrogate becomes
// U+FFFD. An escape whose first character is no hex digit would spell the unit 0, which
// would cut the text wherever it becomes a file name; it adds nothing instead.
std::string UnescapeUnicode(const std::string& text) {
  const std::u16string units = ToUtf16(text);
  const std::u16string_view view(units);
  constexpr std::u16string_view kEscape = u"\\u";
  std::u16string out;
  out.reserve(units.size());
  size_t at = view.find(kEscape);
  out.append(view.substr(0, at));
  while (at != std::u16string_view::npos) {
    const size_t begin = at + kEscape.size();
    at = view.find(kEscape, begin);
    const std::u16string_view piece = view.substr(
        begin, at == std::u16string_view::npos ? std::u16string_view::npos : at - begin);
    if (piece.size() < 4) {
      out.append(piece);
      continue;
    }
    unsigned value = 0;
    for (size_t i = 0; i < 4 && IsHexDigit(piece[i]); ++i)
      value = value * 16 + static_cast<unsigned>(HexValue(piece[i]));
    if (value != 0) out += static_cast<char16_t>(value);
    out.append(piece.substr(4));
  }
  return FromUtf16(out);
}

void DecodeEntities(std::string& text) {
  if (text.find('&') == std::string::npos) return;
  ReplaceAll(text, "&quot;", "\"");
  ReplaceAll(text, "&amp;", "&");
  ReplaceAll(text, "&lt;", "<");
  ReplaceAll(text, "&gt;", ">");
  ReplaceAll(text, "&nbsp;", " ");
  ReplaceAll(text, "&hellip;", "\u2026");
  ReplaceAll(text, "&#39;", "'");
}

// The decoded bytes end at the first zero byte ("%00"): a zero would cut the text wherever it
// is used as a C string or a file name.
std::string UrlDecode(const std::string& text, bool utf8) {
  constexpr size_t kMaxBytes = 1024;
  const std::string bytes = WideToGbk(text);
  std::string out;
  for (size_t i = 0; i < bytes.size() && out.size() < kMaxBytes; ++i) {
    if (bytes[i] != '%') {
      out += bytes[i];
      continue;
    }
    if (i + 2 >= bytes.size()) break;
    const int high = HexValue(static_cast<unsigned char>(bytes[i + 1]));
    const int low = HexValue(static_cast<unsigned char>(bytes[i + 2]));
    if (high < 0 || low < 0) break;
    out += static_cast<char>(high * 16 + low);
    i += 2;
  }
  const size_t zero = out.find('\0');
  if (zero != std::string::npos) out.resize(zero);
  return BytesToWide(out.data(), out.size(), utf8 ? CodePage::Utf8 : CodePage::Gbk);
}

// ---- code pages ----

// A character GBK cannot hold becomes "?".
std::string WideToGbk(const std::string& text) { return EncodeTo(text, CodePage::Gbk); }

// Converts exactly length bytes (zero bytes included). Bytes that are invalid in the code page
// become U+FFFD.
std::string BytesToWide(const char* bytes, size_t length, CodePage codePage) {
  if (bytes == nullptr || length == 0) return {};
  return DecodeFrom(bytes, length, codePage);
}

// A character the code page cannot hold becomes "?"; UTF-8 passes unchanged.
std::string TextToCodePage(const std::string& text, CodePage codePage) {
  if (codePage == CodePage::Utf8) return text;
  return EncodeTo(text, codePage);
}

// ---- UTF-16 views ----

size_t Utf16Length(std::string_view text) {
  size_t units = 0;
  size_t pos = 0;
  while (pos < text.size()) units += NextCodePoint(text, pos) >= 0x10000 ? 2 : 1;
  return units;
}

std::u16string ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    const char32_t cp = NextCodePoint(text, pos);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

std::string FromUtf16(std::u16string_view units) {
  std::string out;
  out.reserve(units.size());
  for (size_t i = 0; i < units.size(); ++i) {
    const char16_t unit = units[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < units.size() && units[i + 1] >= 0xDC00 &&
        units[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) +
                          (static_cast<char32_t>(units[i + 1]) - 0xDC00));
      ++i;
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

char32_t ReadCodePoint(std::string_view text, size_t& pos) { return NextCodePoint(text, pos); }

void AppendCodePoint(std::string& out, char32_t cp) { AppendUtf8(out, cp); }

bool EqualsNoCase(std::string_view a, std::string_view b) {
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (FoldCase(NextCodePoint(a, i)) != FoldCase(NextCodePoint(b, j))) return false;
  }
  return i == a.size() && j == b.size();
}

std::u32string FoldKey(std::string_view text) {
  std::u32string key;
  key.reserve(text.size());
  for (size_t i = 0; i < text.size();) key.push_back(FoldCase(NextCodePoint(text, i)));
  return key;
}

// ---- other operations ----

// A generator local to the call, seeded with the time in seconds: two calls in the same second
// give the same text, and no state is shared between threads.
std::string RandomFraction() {
  std::minstd_rand generator(static_cast<std::minstd_rand::result_type>(std::time(nullptr)));
  const int r = static_cast<int>(generator() % 32768);
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%0.16f\n", r / 32767.0);
  return buffer;
}

// An empty key hides nothing: the result is empty.
std::string ScrambleText(const std::string& text, const std::string& key, bool encipher) {
  const std::string k = WideToGbk(key);
  if (k.empty()) return {};
  constexpr char kDigits[] = "0123456789ABCDEF";
  if (encipher) {
    const std::string t = WideToGbk(text);
    std::string bytes;
    bytes.reserve(t.size() * 2);
    for (size_t i = 0; i < t.size(); ++i) {
      const char h = k[i % k.size()];
      const auto c = static_cast<unsigned char>(t[i] ^ h);
      if (c == 0) {
        bytes += h;
        bytes += '1';
      } else if (c == 13) {
        bytes += h;
        bytes += '2';
      } else if (c == 10) {
        bytes += h;
        bytes += '3';
      } else {
        bytes += static_cast<char>(c);
      }
    }
    std::string digits;
    digits.reserve(bytes.size() * 2);
    for (const char byte : bytes) {
      const auto x = static_cast<unsigned char>(byte);
      digits += kDigits[15 - (x >> 4)];
      digits += kDigits[15 - (x & 15)];
    }
    return digits;
  }
  // Decipher: digit pairs back to bytes (an invalid pair ends the input), then the escapes.
  std::string bytes;
  bytes.reserve(text.size() / 2);
  for (size_t i = 0; i + 1 < text.size(); i += 2) {
    const int high = HexValue(static_cast<unsigned char>(text[i]));
    const int low = HexValue(static_cast<unsigned char>(text[i + 1]));
    if (high < 0 || low < 0) break;
    bytes += static_cast<char>(((15 - high) << 4) | (15 - low));
  }
  std::string plain;
  plain.reserve(bytes.size());
  size_t j = 0;
  for (size_t i = 0; i < bytes.size(); ++i) {
    const char h = k[j];
    if (bytes[i] == h) {
      if (i + 1 >= bytes.size()) break;
      const char mark = bytes[++i];
      plain += mark == '1'   ? h
               : mark == '2' ? static_cast<char>(h ^ 13)
                             : static_cast<char>(h ^ 10);
    } else {
      plain += static_cast<char>(bytes[i] ^ h);
    }
    j = (j + 1) % k.size();
  }
  return BytesToWide(plain.data(), plain.size(), CodePage::Gbk);
}

std::string ShiftText(const std::string& text, int base, int step) {
  std::string t = WideToGbk(text);
  for (size_t i = 0; i < t.size(); ++i) {
    const long long shifted = static_cast<unsigned char>(t[i]) + static_cast<long long>(base) +
                              static_cast<long long>(i) * step;
    t[i] = static_cast<char>(static_cast<unsigned char>(((shifted % 256) + 256) % 256));
  }
  return BytesToWide(t.data(), t.size(), CodePage::Gbk);
}

// ---- clipboard ----

void SetClipboardReader(ClipboardReader reader) { g_clipboardReader.store(reader); }

std::string ClipboardText() {
  const ClipboardReader reader = g_clipboardReader.load();
  return reader != nullptr ? reader() : std::string();
}

}  // namespace albumora
