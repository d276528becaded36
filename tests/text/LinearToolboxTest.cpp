// SPDX-License-Identifier: GPL-3.0-or-later
// The fast toolbox gives exactly the results of the literal algorithms, on random texts built
// from the characters and pieces that make the algorithms branch.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "LiteralToolbox.h"
#include "text/StringCtrl.h"

namespace albumora {
namespace {

std::string RandomText(std::mt19937& random, const std::vector<std::string>& pieces,
                       size_t maxPieces) {
  std::string text;
  const size_t count = random() % (maxPieces + 1);
  for (size_t i = 0; i < count; ++i) text += pieces[random() % pieces.size()];
  return text;
}

TEST(LinearToolbox, StripTagsMatchesTheTagLoop) {
  std::mt19937 random(20240523);
  const std::vector<std::vector<std::string>> alphabets = {
      {"<", ">", "a", "b"},
      {"<", ">", "a"},
      {"<", "<", ">", "b", "/"},
      {"<b>", "</b>", "<", ">", "x", "b"},
      {"<", ">", "a", "<a>", "<<", ">>", std::string(1, '\0')},
  };
  for (const auto& alphabet : alphabets) {
    for (int round = 0; round < 4000; ++round) {
      const std::string text = RandomText(random, alphabet, 40);
      ASSERT_EQ(StripTags(text), literal::StripTags(text)) << "input: " << text;
    }
  }
}

TEST(LinearToolbox, StripTagsRejoinedAndNestedTags) {
  for (const std::string text : {"<b>x<<b>b>", "<b><<b>b>y<b>", "<a<b>c>", "<<<a>>>", "<a<a<a>",
                                 "<x>y<>z<x>", "<a>b<a<a>>a>", "<b>x<b", "><>", "<<b>>b>"}) {
    EXPECT_EQ(StripTags(text), literal::StripTags(text)) << text;
  }
}

TEST(LinearToolbox, MarkerOperationsMatch) {
  std::mt19937 random(7);
  const std::vector<std::string> pieces = {"a",    "b",   "|",    "ab", "aab", "&",
                                           "amp;", "\\u", "4E2D", "0",  ":",   ";"};
  for (int round = 0; round < 5000; ++round) {
    const std::string text = RandomText(random, pieces, 16);
    const std::string marker = RandomText(random, pieces, 3);
    const std::string marker2 = RandomText(random, pieces, 2);

    EXPECT_EQ(CountOf(text, marker), literal::CountOf(text, marker));
    std::vector<std::string> fast;
    std::vector<std::string> plain;
    EXPECT_EQ(SplitBy(fast, text, marker), literal::SplitBy(plain, text, marker));
    EXPECT_EQ(fast, plain);

    for (const unsigned flags : {0u, BT_CONSUME, BT_TOEND, BT_CONSUME | BT_TOEND}) {
      std::string a = text;
      std::string b = text;
      EXPECT_EQ(GetBetween(a, marker, marker2, flags),
                literal::GetBetween(b, marker, marker2, flags));
      EXPECT_EQ(a, b);
    }

    std::string replaced = text;
    std::string plainReplaced = text;
    EXPECT_EQ(ReplaceAll(replaced, marker, marker2),
              literal::ReplaceAll(plainReplaced, marker, marker2));
    EXPECT_EQ(replaced, plainReplaced);

    std::string each = text;
    std::string plainEach = text;
    const std::string fromList = RandomText(random, pieces, 5);
    const std::string toList = RandomText(random, pieces, 5);
    ReplaceEach(each, fromList, toList);
    literal::ReplaceEach(plainEach, fromList, toList);
    EXPECT_EQ(each, plainEach) << text << " / " << fromList << " / " << toList;

    std::string decoded = text;
    std::string plainDecoded = text;
    DecodeEntities(decoded);
    literal::DecodeEntities(plainDecoded);
    EXPECT_EQ(decoded, plainDecoded);

    EXPECT_EQ(UnescapeUnicode(text), literal::UnescapeUnicode(text)) << text;
  }
}

TEST(LinearToolbox, WideToGbkMatchesOneCharacterAtATime) {
  // ASCII, Chinese, the euro sign, emoji and other characters GBK lacks, U+FFFD itself, and
  // sequences that are no UTF-8 (stray continuation, overlong, surrogate, cut short, 0xFF).
  const std::vector<std::string> pieces = {"a",
                                           "%",
                                           "中",
                                           "文",
                                           "€",
                                           "é",
                                           "😀",
                                           "\xF0\x9F",
                                           "한",
                                           "\xEF\xBF\xBD",
                                           "\x80",
                                           "\xC0\xAF",
                                           "\xED\xA0\x80",
                                           "\xE4\xB8",
                                           "\xFF",
                                           "\xF4\x90\x80\x80",
                                           "\x00",
                                           "ü"};
  std::mt19937 random(29);
  for (int round = 0; round < 3000; ++round) {
    const std::string text = RandomText(random, pieces, 12);
    EXPECT_EQ(WideToGbk(text), literal::WideToGbk(text)) << testing::PrintToString(text);
  }
  // UrlDecode goes through it: an emoji among escapes stays one "?".
  EXPECT_EQ(UrlDecode("%D6%D0😀", false), "中?");
}

}  // namespace
}  // namespace albumora
