// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/StringCtrl.h"

#include <gtest/gtest.h>

#include <ctime>
#include <random>
#include <regex>
#include <string>
#include <vector>

namespace albumora {
namespace {

TEST(GetBetween, ConsumeCutsAfterStartMarker) {
  std::string source = "a:1;b:2;";
  EXPECT_EQ(GetBetween(source, "b:", ";", BT_CONSUME), "2");
  EXPECT_EQ(source, "2;");
  // Front-to-back reading: the next search starts after the previous start marker.
  std::string record = "id:7,name:x,id:8,";
  EXPECT_EQ(GetBetween(record, "id:", ",", BT_CONSUME), "7");
  EXPECT_EQ(GetBetween(record, "name:", ",", BT_CONSUME), "x");
  EXPECT_EQ(GetBetween(record, "id:", ",", BT_CONSUME), "8");
  EXPECT_EQ(GetBetween(record, "id:", ",", BT_CONSUME), "");
  EXPECT_EQ(record, "8,");
}

TEST(GetBetween, MissingMarkers) {
  std::string source = "a:1;b:2;";
  EXPECT_EQ(GetBetween(source, "c:", ";", BT_CONSUME), "");
  EXPECT_EQ(source, "a:1;b:2;");
  // End marker missing: empty without BT_TOEND, the rest with it; the source is still cut.
  std::string text = "xx[tail";
  EXPECT_EQ(GetBetween(text, "[", "]", 0), "");
  EXPECT_EQ(text, "xx[tail");
  EXPECT_EQ(GetBetween(text, "[", "]", BT_TOEND), "tail");
  EXPECT_EQ(GetBetween(text, "[", "]", BT_CONSUME), "");
  EXPECT_EQ(text, "tail");
  // BT_TOEND with the end marker present still stops at it.
  std::string both = "<a>b</a>";
  EXPECT_EQ(GetBetween(both, "<a>", "</a>", BT_TOEND | BT_CONSUME), "b");
  EXPECT_EQ(both, "b</a>");
}

TEST(GetBetween, MarkersAtEdgesAndEmptyMarkers) {
  std::string source = "[x]";
  EXPECT_EQ(GetBetween(source, "[", "]", 0), "x");
  std::string atEnd = "abc[";
  EXPECT_EQ(GetBetween(atEnd, "[", "]", BT_TOEND | BT_CONSUME), "");
  EXPECT_EQ(atEnd, "");
  // An empty start marker is found at the start; an empty end marker right away.
  std::string plain = "abc";
  EXPECT_EQ(GetBetween(plain, "", "c", 0), "ab");
  EXPECT_EQ(GetBetween(plain, "a", "", BT_TOEND), "");
  EXPECT_EQ(GetBetweenCopy(plain, "a", "c"), "b");
  EXPECT_EQ(GetBetweenCopy(plain, "a", "c", BT_CONSUME), "b");
  EXPECT_EQ(plain, "abc");
  std::string chinese = "名称：相册一；";
  EXPECT_EQ(GetBetween(chinese, "：", "；", BT_CONSUME), "相册一");
  EXPECT_EQ(chinese, "相册一；");
}

TEST(Cutting, CutBeforeTruncAtLeftOf) {
  std::string text = "http://a.com/x/y";
  EXPECT_EQ(CutBefore(text, "//", false), 5);
  EXPECT_EQ(text, "//a.com/x/y");
  EXPECT_EQ(CutBefore(text, "//", true), 0);
  EXPECT_EQ(text, "a.com/x/y");
  EXPECT_EQ(CutBefore(text, "?", true), -1);
  EXPECT_EQ(text, "a.com/x/y");
  EXPECT_EQ(TruncAt(text, "/"), 5);
  EXPECT_EQ(text, "a.com");
  EXPECT_EQ(TruncAt(text, "#"), -1);
  EXPECT_EQ(text, "a.com");
  EXPECT_EQ(LeftOf("key=value", "="), "key");
  EXPECT_EQ(LeftOf("keyvalue", "="), "");
  EXPECT_EQ(LeftOf("=v", "="), "");

  std::string address = "http://user.qzone.qq.com/12345?x=1";
  CutAfter(address, "qq.com/");
  CutAt(address, "?");
  EXPECT_EQ(address, "12345");
  CutAfter(address, "none");
  CutAt(address, "none");
  EXPECT_EQ(address, "12345");
}

TEST(Cutting, ContainsAndContainsInside) {
  EXPECT_TRUE(Contains("abc", "b"));
  EXPECT_FALSE(Contains("abc", "d"));
  EXPECT_TRUE(ContainsInside("abc", "b"));
  EXPECT_FALSE(ContainsInside("abc", "a"));
  EXPECT_FALSE(ContainsInside("abc", "d"));
  // Judged by the first occurrence, as a find-position > 0 test is.
  EXPECT_FALSE(ContainsInside("abab", "ab"));
}

TEST(Cutting, ReplaceAllTrimReadDecimal) {
  std::string text = "aaaa";
  EXPECT_EQ(ReplaceAll(text, "aa", "a"), 2);
  EXPECT_EQ(text, "aa");
  // The replacement is not searched again, so a growing replacement ends.
  EXPECT_EQ(ReplaceAll(text, "a", "aa"), 2);
  EXPECT_EQ(text, "aaaa");
  EXPECT_EQ(ReplaceAll(text, "", "x"), 0);
  EXPECT_EQ(text, "aaaa");

  EXPECT_EQ(Trim(" \t a b \r\n"), "a b");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("中文"), "中文");

  EXPECT_EQ(ReadDecimal("  42abc"), 42);
  EXPECT_EQ(ReadDecimal("-7"), -7);
  EXPECT_EQ(ReadDecimal("x1"), 0);
  EXPECT_EQ(ReadDecimal(""), 0);
  EXPECT_EQ(ReadDecimal("99999999999999999999999"), LLONG_MAX);
}

TEST(Splitting, CountOf) {
  EXPECT_EQ(CountOf("aaaa", "aa"), 2);
  EXPECT_EQ(CountOf("aaa", "aa"), 1);
  EXPECT_EQ(CountOf("abc", "x"), 0);
  EXPECT_EQ(CountOf("abc", ""), 0);
  EXPECT_EQ(CountOf("相册|相册", "相册"), 2);
}

TEST(Splitting, SplitBy) {
  std::vector<std::string> pieces{"stale"};
  EXPECT_EQ(SplitBy(pieces, "xy", "|"), 0);
  EXPECT_TRUE(pieces.empty());
  EXPECT_EQ(SplitBy(pieces, "x|y|", "|"), 2);
  EXPECT_EQ(pieces, (std::vector<std::string>{"x", "y", ""}));
  EXPECT_EQ(SplitBy(pieces, "head<li>a<li><li>b", "<li>"), 3);
  EXPECT_EQ(pieces, (std::vector<std::string>{"head", "a", "", "b"}));
  EXPECT_EQ(SplitBy(pieces, "|", "|"), 1);
  EXPECT_EQ(pieces, (std::vector<std::string>{"", ""}));
  EXPECT_EQ(SplitBy(pieces, "abc", ""), 0);
  EXPECT_TRUE(pieces.empty());
}

TEST(Splitting, ReplaceEach) {
  std::string text = "a-b_c";
  ReplaceEach(text, "-|_", "+|=");
  EXPECT_EQ(text, "a+b=c");
  // Items apply in order: the second sees the first's output.
  text = "ab";
  ReplaceEach(text, "a|b", "b|c");
  EXPECT_EQ(text, "cc");
  // An empty from item replaces nothing.
  text = "ab";
  ReplaceEach(text, "|b", "x|y");
  EXPECT_EQ(text, "ay");
  // Different bar counts: the whole lists, bar included.
  text = "x|y and x";
  ReplaceEach(text, "x|y", "z");
  EXPECT_EQ(text, "z and x");
  // No bars on either side: a plain replacement.
  text = "图片001";
  ReplaceEach(text, "图片", "pic");
  EXPECT_EQ(text, "pic001");
  text = "abc";
  ReplaceEach(text, "", "");
  EXPECT_EQ(text, "abc");
}

TEST(Decoding, UnescapeUnicode) {
  EXPECT_EQ(UnescapeUnicode("\\u4e2d\\u6587"), "中文");
  EXPECT_EQ(UnescapeUnicode("a\\u12"), "a12");
  EXPECT_EQ(UnescapeUnicode("x\\u0041bc"), "xAbc");
  EXPECT_EQ(UnescapeUnicode("\\u4E2D"), "中");
  EXPECT_EQ(UnescapeUnicode("no escapes"), "no escapes");
  // Reading stops at the first non-hex character; the rest after 4 characters follows.
  EXPECT_EQ(UnescapeUnicode("\\u41zzq"), "Aq");
  // No hex digit at all adds no zero unit.
  EXPECT_EQ(UnescapeUnicode("a\\uzzzzb"), "ab");
  EXPECT_EQ(UnescapeUnicode("a\\u0000b"), "ab");
  // A surrogate pair from two escapes joins; a lone half becomes U+FFFD.
  EXPECT_EQ(UnescapeUnicode("\\ud83d\\ude00!"), "\U0001F600!");
  EXPECT_EQ(UnescapeUnicode("\\ud83dx"), "\uFFFDx");
  EXPECT_EQ(UnescapeUnicode("\\ude00"), "\uFFFD");
  EXPECT_EQ(UnescapeUnicode("\\u"), "");
  EXPECT_EQ(UnescapeUnicode("\\u\\u4e2d"), "中");
}

TEST(Decoding, DecodeEntitiesOnceInTableOrder) {
  std::string text = "&amp;lt;";
  DecodeEntities(text);
  EXPECT_EQ(text, "<");
  text = "&amp;amp;";
  DecodeEntities(text);
  EXPECT_EQ(text, "&amp;");
  text = "&quot;a&quot;&nbsp;&hellip;&#39;&gt;";
  DecodeEntities(text);
  EXPECT_EQ(text, "\"a\" \u2026'>");
  text = "&unknown;";
  DecodeEntities(text);
  EXPECT_EQ(text, "&unknown;");
}

// The plain form of the tag loop, removing each met tag every time.
std::string NaiveStripTags(const std::string& text) {
  std::string result = text;
  std::string work = text;
  for (;;) {
    const std::string tag = GetBetween(work, "<", ">", BT_CONSUME);
    if (tag.empty()) break;
    ReplaceAll(result, "<" + tag + ">", "");
  }
  return result;
}

TEST(Decoding, StripTags) {
  EXPECT_EQ(StripTags("<b>x</b><b>y"), "xy");
  EXPECT_EQ(StripTags("plain"), "plain");
  EXPECT_EQ(StripTags("<i>a</i><>b<i>"), "a<>b");
  EXPECT_EQ(StripTags("a<b"), "a<b");
  EXPECT_EQ(StripTags("<br/>第一行<br/>第二行"), "第一行第二行");
  EXPECT_EQ(StripTags(""), "");
  // A removal that joins a new copy of the tag: the next meeting of the tag removes it too.
  EXPECT_EQ(StripTags("<b>x<<b>b>"), "x");
  EXPECT_EQ(StripTags("<b><<b>b>y<b>"), "y");
}

TEST(Decoding, StripTagsEndsOnHostileText) {
  EXPECT_EQ(StripTags(std::string(100000, '<')), std::string(100000, '<'));
  std::string many;
  for (int i = 0; i < 20000; ++i) many += "<p>" + std::to_string(i % 10);
  const std::string stripped = StripTags(many);
  EXPECT_EQ(stripped.size(), 20000u);
  std::string unclosed;
  for (int i = 0; i < 50000; ++i) unclosed += "<a";
  EXPECT_EQ(StripTags(unclosed + ">"), "");
  // Same result as removing every met tag each time, on random tag soup.
  std::mt19937 generator(12345);
  for (const std::string alphabet : {"<>ab/", "<>b"}) {
    for (int round = 0; round < 2000; ++round) {
      std::string text;
      const int length = static_cast<int>(generator() % 24);
      for (int i = 0; i < length; ++i) text += alphabet[generator() % alphabet.size()];
      ASSERT_EQ(StripTags(text), NaiveStripTags(text)) << text;
    }
  }
}

TEST(Decoding, UrlDecode) {
  EXPECT_EQ(UrlDecode("%D6%D0", false), "中");
  EXPECT_EQ(UrlDecode("%E4%B8%AD", true), "中");
  EXPECT_EQ(UrlDecode("%e4%b8%ad", true), "中");
  EXPECT_EQ(UrlDecode("a+b%20c", false), "a+b c");
  // Decoding ends at a "%" not followed by two hex digits.
  EXPECT_EQ(UrlDecode("ab%zzcd", false), "ab");
  EXPECT_EQ(UrlDecode("ab%4", false), "ab");
  EXPECT_EQ(UrlDecode("ab%", false), "ab");
  // A zero byte ends the text.
  EXPECT_EQ(UrlDecode("ab%00cd", false), "ab");
  // Characters outside ASCII are taken as their GBK bytes.
  EXPECT_EQ(UrlDecode("中%41", false), "中A");
  // At most 1024 bytes come out.
  EXPECT_EQ(UrlDecode(std::string(3000, 'a'), false).size(), 1024u);
  std::string encoded;
  for (int i = 0; i < 600; ++i) encoded += "%D6%D0";
  EXPECT_EQ(Utf16Length(UrlDecode(encoded, false)), 512u);
}

TEST(CodePages, GbkRoundTrip) {
  EXPECT_EQ(WideToGbk("中文abc"),
            "\xD6\xD0\xCE\xC4"
            "abc");
  const std::string bytes = "\xD6\xD0\xCE\xC4";
  EXPECT_EQ(BytesToWide(bytes.data(), bytes.size(), CodePage::Gbk), "中文");
  const std::string sample = "相册批量下载：网易、人人！";
  const std::string gbk = WideToGbk(sample);
  EXPECT_EQ(BytesToWide(gbk.data(), gbk.size(), CodePage::Gbk), sample);
  // Code page 936 holds the euro sign at 0x80.
  EXPECT_EQ(WideToGbk("€"), "\x80");
  // A character GBK cannot hold becomes one "?".
  EXPECT_EQ(WideToGbk("a\U0001F600b"), "a?b");
  EXPECT_EQ(TextToCodePage("a\U0001F600b", CodePage::Gbk), "a?b");
}

TEST(CodePages, Big5AndUtf8) {
  const std::string big5 = TextToCodePage("中文", CodePage::Big5);
  EXPECT_EQ(big5, "\xA4\xA4\xA4\xE5");
  EXPECT_EQ(BytesToWide(big5.data(), big5.size(), CodePage::Big5), "中文");
  const std::string traditional = "相簿圖片";
  const std::string bytes = TextToCodePage(traditional, CodePage::Big5);
  EXPECT_EQ(BytesToWide(bytes.data(), bytes.size(), CodePage::Big5), traditional);
  EXPECT_EQ(TextToCodePage("中", CodePage::Utf8), "中");
  const std::string utf8 = "\xE4\xB8\xAD";
  EXPECT_EQ(BytesToWide(utf8.data(), utf8.size(), CodePage::Utf8), "中");
}

TEST(CodePages, InvalidBytesBecomeReplacement) {
  const std::string badGbk =
      "a\xFF"
      "b\x81";
  EXPECT_EQ(BytesToWide(badGbk.data(), badGbk.size(), CodePage::Gbk), "a\uFFFDb\uFFFD");
  const std::string badUtf8 = "a\xC0\x80z\xED\xA0\x80\xE4\xB8";
  EXPECT_EQ(BytesToWide(badUtf8.data(), badUtf8.size(), CodePage::Utf8),
            "a\uFFFD\uFFFDz\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD");
  EXPECT_EQ(BytesToWide(nullptr, 0, CodePage::Gbk), "");
  // The length is the caller's: zero bytes inside it are converted too.
  const std::string withZero("a\0b", 3);
  EXPECT_EQ(BytesToWide(withZero.data(), withZero.size(), CodePage::Gbk), withZero);
}

TEST(Utf16, LengthAndConversions) {
  EXPECT_EQ(Utf16Length("a中\U0001F600"), 4u);
  EXPECT_EQ(Utf16Length(""), 0u);
  EXPECT_EQ(ToUtf16("a中\U0001F600"), (std::u16string{u'a', u'中', 0xD83D, 0xDE00}));
  EXPECT_EQ(FromUtf16(u"a中\U0001F600"), "a中\U0001F600");
  EXPECT_EQ(FromUtf16(std::u16string{0xD83D, u'x'}), "\uFFFDx");
  EXPECT_EQ(FromUtf16(std::u16string{0xDE00, 0xD83D}), "\uFFFD\uFFFD");
  // An invalid byte counts as the one U+FFFD it reads as.
  EXPECT_EQ(Utf16Length("\xFF"), 1u);
}

TEST(Utf16, EqualsNoCase) {
  EXPECT_TRUE(EqualsNoCase("D:\\Photos\\ABC", "d:\\photos\\abc"));
  EXPECT_TRUE(EqualsNoCase("相册A", "相册a"));
  EXPECT_FALSE(EqualsNoCase("相册", "相冊"));
  EXPECT_FALSE(EqualsNoCase("abc", "abcd"));
  EXPECT_FALSE(EqualsNoCase("abcd", "abc"));
  EXPECT_TRUE(EqualsNoCase("", ""));
  EXPECT_TRUE(EqualsNoCase("ÄÖÜ ΑΒΓ ДОМ", "äöü αβγ дом"));
}

TEST(Other, RandomFraction) {
  const std::regex form("[01]\\.[0-9]{16}\n");
  for (int i = 0; i < 3; ++i) {
    const std::time_t before = std::time(nullptr);
    const std::string a = RandomFraction();
    const std::string b = RandomFraction();
    const std::time_t after = std::time(nullptr);
    EXPECT_TRUE(std::regex_match(a, form)) << a;
    if (before == after) {
      EXPECT_EQ(a, b);
      break;
    }
  }
}

TEST(Other, ScrambleText) {
  // 'A' ^ 'B' = 0x03, complemented nibbles F and C.
  EXPECT_EQ(ScrambleText("A", "B", true), "FC");
  EXPECT_EQ(ScrambleText("FC", "B", false), "A");
  // A byte equal to the key byte, or differing by CR or LF, is written as an escape.
  EXPECT_EQ(ScrambleText("B", "B", true), ScrambleText("B", "B", true));
  EXPECT_EQ(ScrambleText("B", "B", true).size(), 4u);
  for (const std::string text :
       {"", "abc", "key", "相册批量下载", "\x0f\x07", "k\x0e\x08x", "GHI ghi 网易"}) {
    for (const std::string key : {"key", "K", "密钥", "\r\n"}) {
      const std::string hidden = ScrambleText(text, key, true);
      EXPECT_EQ(ScrambleText(hidden, key, false), text) << text << " / " << key;
      EXPECT_EQ(hidden.find_first_not_of("0123456789ABCDEF"), std::string::npos);
    }
  }
  EXPECT_EQ(ScrambleText("abc", "", true), "");
  // Hostile deciphering input ends without reading past the end.
  EXPECT_EQ(ScrambleText("BD", "B", false), "");
  EXPECT_EQ(ScrambleText("FCZZ", "B", false), "A");
}

TEST(Other, ShiftText) {
  EXPECT_EQ(ShiftText("abc", 1, 1), "bdf");
  EXPECT_EQ(ShiftText(ShiftText("Hello", 3, 2), -3, -2), "Hello");
  EXPECT_EQ(ShiftText("abc", 0, 0), "abc");
}

std::string FakeClipboard() { return "http://photo.163.com/someone"; }

TEST(Other, ClipboardHook) {
  SetClipboardReader(nullptr);
  EXPECT_EQ(ClipboardText(), "");
  SetClipboardReader(&FakeClipboard);
  EXPECT_EQ(ClipboardText(), "http://photo.163.com/someone");
  SetClipboardReader(nullptr);
  EXPECT_EQ(ClipboardText(), "");
}

}  // namespace
}  // namespace albumora
