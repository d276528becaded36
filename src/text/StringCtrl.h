// SPDX-License-Identifier: GPL-3.0-or-later
// The text toolbox every adapter reads answers with: marker extraction, splitting, escape and
// entity decoding, tag stripping, code-page conversion and percent-decoding.
//
// Texts: every text of the core is a UTF-8 std::string; byte strings (answer bodies, GBK bytes)
// are std::string too and are named "bytes". Positions returned by the toolbox are byte offsets
// into the UTF-8 text; callers only compare them with -1 ("absent") and 0 ("at the start"), which
// mean the same in UTF-8 bytes as in UTF-16 code units. Where a count of UTF-16 code units is
// what matters (recent entries, name limits, settings fields), use Utf16Length().
//
// Decoding never fails: a byte sequence that is invalid in the chosen code page becomes U+FFFD.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace albumora {

constexpr unsigned BT_CONSUME = 1;  // GetBetween cuts the source after the start marker
constexpr unsigned BT_TOEND = 2;    // GetBetween returns the rest when the end marker is missing

enum class CodePage { Gbk = 936, Big5 = 950, Utf8 = 65001 };

// Marker extraction.
std::string GetBetween(std::string& source, std::string_view start, std::string_view end,
                       unsigned flags);
// Non-consuming form for callers that pass a temporary or a const text.
std::string GetBetweenCopy(const std::string& source, std::string_view start, std::string_view end,
                           unsigned flags = 0);
long CutBefore(std::string& text, std::string_view marker, bool withMarker);
long TruncAt(std::string& text, std::string_view marker);
std::string LeftOf(const std::string& text, std::string_view marker);

// The address-normalisation shorthands: "cut after" drops everything up to and including the
// marker's first occurrence; "cut at" keeps what precedes it; both leave the text alone when the
// marker is absent.
void CutAfter(std::string& text, std::string_view marker);
void CutAt(std::string& text, std::string_view marker);
bool Contains(std::string_view text, std::string_view marker);
// The marker's first occurrence is at a position after the first character.
bool ContainsInside(std::string_view text, std::string_view marker);
// Every occurrence of from replaced by to, scanning on after each replacement; returns the count.
int ReplaceAll(std::string& text, std::string_view from, std::string_view to);
// ASCII white space (space, tab, CR, LF, VT, FF) at both ends.
std::string Trim(std::string_view text);
// Leading blanks and one sign skipped, reading stops at the first non-digit; 0 when there is no
// digit; clamped to the range of long long.
long long ReadDecimal(std::string_view text);

// Splitting and counting. An empty marker or separator counts 0 (and splits nothing).
int CountOf(std::string_view text, std::string_view marker);
int SplitBy(std::vector<std::string>& pieces, std::string_view text, std::string_view separator);
void ReplaceEach(std::string& text, std::string_view fromList, std::string_view toList);

// Decoding.
std::string UnescapeUnicode(const std::string& text);
void DecodeEntities(std::string& text);
std::string StripTags(const std::string& text);
std::string UrlDecode(const std::string& text, bool utf8);

// Code pages (iconv: CP936 for GBK, CP950 for Big5). Encoding: a character the code page cannot
// hold becomes "?". BytesToWide converts exactly length bytes; invalid bytes become U+FFFD.
std::string WideToGbk(const std::string& text);
std::string BytesToWide(const char* bytes, size_t length, CodePage codePage);
std::string TextToCodePage(const std::string& text, CodePage codePage);

// UTF-16 views of a UTF-8 text.
size_t Utf16Length(std::string_view text);
std::u16string ToUtf16(std::string_view text);
std::string FromUtf16(std::u16string_view units);  // a lone surrogate becomes U+FFFD
// One code point of UTF-8 at text[pos], pos advanced past it. A byte that starts no well-formed
// sequence gives U+FFFD and advances by one byte.
char32_t ReadCodePoint(std::string_view text, size_t& pos);
void AppendCodePoint(std::string& out, char32_t cp);
// Case-insensitive whole-text comparison (ASCII and the other cased scripts' simple case folds).
bool EqualsNoCase(std::string_view a, std::string_view b);
// The text with every code point folded as EqualsNoCase folds it: two texts are EqualsNoCase
// exactly when their keys are equal, so a set of keys finds a taken name in constant time.
std::u32string FoldKey(std::string_view text);

// Other operations.
std::string RandomFraction();
std::string ScrambleText(const std::string& text, const std::string& key, bool encipher);
std::string ShiftText(const std::string& text, int base, int step);

// The clipboard reader: empty without a window; the window front end installs its reader.
using ClipboardReader = std::string (*)();
void SetClipboardReader(ClipboardReader reader);
std::string ClipboardText();

}  // namespace albumora
