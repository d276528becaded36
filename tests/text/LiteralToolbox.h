// SPDX-License-Identifier: GPL-3.0-or-later
// The toolbox's algorithms written out literally, step by step and without any care for speed:
// the reference the fast toolbox is compared with on random and fuzzed inputs. Only for small
// inputs (several of them are quadratic or worse).
#pragma once

#include <iconv.h>

#include <string>
#include <vector>

#include "text/StringCtrl.h"

namespace albumora::literal {

// Replace-all as a text type does it: scan from the front, replace, go on after the
// replacement (in the text before any replacement).
inline int ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
  if (from.empty()) return 0;
  std::string out;
  int count = 0;
  size_t i = 0;
  while (i < text.size()) {
    if (text.compare(i, from.size(), from) == 0) {
      out += to;
      i += from.size();
      ++count;
    } else {
      out += text[i++];
    }
  }
  text = out;
  return count;
}

inline std::string GetBetween(std::string& source, const std::string& start, const std::string& end,
                              unsigned flags) {
  std::string r = source;
  std::string result;
  const size_t at = r.find(start);
  if (at != std::string::npos) {
    r.erase(0, at + start.size());
    if (flags & BT_TOEND) result = r;
    const size_t stop = r.find(end);
    if (stop != std::string::npos) result = r.substr(0, stop);
    if (flags & BT_CONSUME) source = r;
  }
  return result;
}

inline int CountOf(const std::string& text, const std::string& marker) {
  if (marker.empty()) return 0;
  int count = 0;
  for (size_t i = 0; i + marker.size() <= text.size();) {
    if (text.compare(i, marker.size(), marker) == 0) {
      ++count;
      i += marker.size();
    } else {
      ++i;
    }
  }
  return count;
}

inline int SplitBy(std::vector<std::string>& pieces, const std::string& text,
                   const std::string& separator) {
  pieces.clear();
  const int count = CountOf(text, separator);
  if (count < 1) return 0;
  std::string rest = text;
  for (int k = 0; k < count; ++k) {
    const size_t at = rest.find(separator);
    pieces.push_back(rest.substr(0, at));
    rest.erase(0, at + separator.size());
  }
  pieces.push_back(rest);
  return count;
}

inline void ReplaceEach(std::string& text, const std::string& fromList, const std::string& toList) {
  if (CountOf(fromList, "|") != CountOf(toList, "|")) {
    ReplaceAll(text, fromList, toList);
    return;
  }
  std::vector<std::string> from;
  std::vector<std::string> to;
  if (SplitBy(from, fromList, "|") == 0) {
    from = {fromList};
    to = {toList};
  } else {
    SplitBy(to, toList, "|");
  }
  for (size_t i = 0; i < from.size(); ++i) ReplaceAll(text, from[i], to[i]);
}

inline void DecodeEntities(std::string& text) {
  ReplaceAll(text, "&quot;", "\"");
  ReplaceAll(text, "&amp;", "&");
  ReplaceAll(text, "&lt;", "<");
  ReplaceAll(text, "&gt;", ">");
  ReplaceAll(text, "&nbsp;", " ");
  ReplaceAll(text, "&hellip;", "\u2026");
  ReplaceAll(text, "&#39;", "'");
}

// On UTF-16 units; an escape that spells the unit 0 adds nothing (a zero would cut names).
inline std::string UnescapeUnicode(const std::string& text) {
  std::u16string units = ToUtf16(text);
  std::vector<std::u16string> pieces;
  const std::u16string escape = u"\\u";
  for (;;) {
    const size_t at = units.find(escape);
    if (at == std::u16string::npos) break;
    pieces.push_back(units.substr(0, at));
    units.erase(0, at + 2);
  }
  pieces.push_back(units);
  std::u16string out = pieces[0];
  for (size_t k = 1; k < pieces.size(); ++k) {
    const std::u16string& piece = pieces[k];
    if (piece.size() < 4) {
      out += piece;
      continue;
    }
    unsigned value = 0;
    for (size_t i = 0; i < 4; ++i) {
      const char16_t c = piece[i];
      int digit = -1;
      if (c >= u'0' && c <= u'9') digit = c - u'0';
      if (c >= u'a' && c <= u'f') digit = c - u'a' + 10;
      if (c >= u'A' && c <= u'F') digit = c - u'A' + 10;
      if (digit < 0) break;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    if (value != 0) out += static_cast<char16_t>(value);
    out += piece.substr(4);
  }
  return FromUtf16(out);
}

inline std::string StripTags(const std::string& text) {
  std::string result = text;
  std::string work = text;
  for (;;) {
    const std::string tag = GetBetween(work, "<", ">", BT_CONSUME);
    if (tag.empty()) break;
    ReplaceAll(result, "<" + tag + ">", "");
  }
  return result;
}

// Encoding one character at a time through iconv: the bytes a lead byte announces are given to
// iconv alone; a character it refuses (one GBK cannot hold) is one "?", and so is each byte of a
// sequence that is no UTF-8.
inline std::string WideToGbk(const std::string& text) {
  iconv_t cd = iconv_open("CP936", "UTF-8");
  iconv_t utf32 = iconv_open("UTF-32LE", "UTF-8");
  std::string out;
  for (size_t pos = 0; pos < text.size();) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    const size_t take = lead >= 0xC2 && lead <= 0xDF   ? 2
                        : lead >= 0xE0 && lead <= 0xEF ? 3
                        : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                       : 1;
    char buffer[16];
    char* outPtr = buffer;
    size_t outLeft = sizeof buffer;
    std::string one = text.substr(pos, take);
    char* in = one.data();
    size_t inLeft = one.size();
    if (one.size() == take &&
        iconv(cd, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && inLeft == 0) {
      out.append(buffer, static_cast<size_t>(outPtr - buffer));
      pos += take;
    } else {
      iconv(cd, nullptr, nullptr, nullptr, nullptr);
      out += '?';
      // A character GBK lacks is one "?"; a sequence that is no UTF-8 one per byte.
      std::string copy = one;
      in = copy.data();
      inLeft = copy.size();
      outPtr = buffer;
      outLeft = sizeof buffer;
      const bool character =
          one.size() == take &&
          iconv(utf32, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1) && inLeft == 0;
      iconv(utf32, nullptr, nullptr, nullptr, nullptr);
      pos += character ? take : 1;
    }
  }
  iconv_close(utf32);
  iconv_close(cd);
  return out;
}

}  // namespace albumora::literal
