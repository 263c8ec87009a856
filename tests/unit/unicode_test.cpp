// UTF-16 <-> UTF-8 conversion of the wide entry points: surrogate pairs,
// malformed input and cutting at whole characters; character counting, offsets and
// validity of UTF-8 text, whole or in pieces.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "support/unicode.h"

namespace {

std::string to_utf8(const std::u16string& text, SQLLEN units = SQL_NTS) {
  std::string out;
  utf16_to_utf8(reinterpret_cast<const SQLWCHAR*>(text.c_str()), units, out);
  return out;
}

std::u16string to_utf16(const std::string& text) {
  std::u16string out;
  utf8_to_utf16(text.data(), text.size(), out);
  return out;
}

struct RoundTrip {
  std::u16string wide;
  std::string narrow;
};

TEST(Unicode, ValidTextRoundTrips) {
  const RoundTrip cases[] = {
      {u"", ""},
      {u"plain ascii", "plain ascii"},
      {u"\u00E9t\u00E9", "\xC3\xA9t\xC3\xA9"},                      // two-byte
      {u"\u20AC 5", "\xE2\x82\xAC 5"},                              // three-byte
      {u"\U0001F600!", "\xF0\x9F\x98\x80!"},                        // surrogate pair, four-byte
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},                          // highest code point
      {u"\u07FF\u0800\uFFFF", "\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBF"},  // range edges
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.narrow, to_utf8(c.wide));
    EXPECT_EQ(c.wide, to_utf16(c.narrow));
    EXPECT_EQ(c.wide.size(), utf8_to_utf16_length(c.narrow.data(), c.narrow.size()));
  }
}

TEST(Unicode, MalformedInputBecomesReplacementCharacter) {
  const std::u16string lone_high = {u'a', 0xD800, u'b'};
  const std::u16string lone_low = {0xDC00};
  const std::u16string reversed = {0xDC00, 0xD800};
  EXPECT_EQ(
      "a\xEF\xBF\xBD"
      "b",
      to_utf8(lone_high));
  EXPECT_EQ("\xEF\xBF\xBD", to_utf8(lone_low));
  EXPECT_EQ("\xEF\xBF\xBD\xEF\xBF\xBD", to_utf8(reversed));
  const std::pair<std::string, std::u16string> bad_utf8[] = {
      {"\xC3", u"\uFFFD"},                      // truncated sequence
      {"\xC3(", u"\uFFFD("},                    // bad continuation
      {"\xC0\xAF", u"\uFFFD\uFFFD"},            // overlong
      {"\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD"},  // encoded surrogate
      {"\xF8\x88\x80\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD"},
      {"ok\xFF", u"ok\uFFFD"},
  };
  for (const auto& [in, out] : bad_utf8) EXPECT_EQ(out, to_utf16(in));
}

TEST(Unicode, CountedLengthStopsEarly) {
  EXPECT_EQ("ab", to_utf8(u"abcdef", 2));
  // A count that ends between the halves of a pair leaves a lone surrogate: replaced.
  EXPECT_EQ("x\xEF\xBF\xBD", to_utf8(u"x\U0001F600", 2));
}

TEST(Unicode, CopyOutCutsAtWholeCharacters) {
  const std::u16string text = u"ab\U0001F600c";  // a b <pair> c = 5 units
  struct Case {
    size_t capacity;
    bool complete;
    std::u16string written;
  } cases[] = {
      {6, true, text}, {5, false, u"ab\U0001F600"}, {4, false, u"ab"}, {3, false, u"ab"},
      {1, false, u""},
  };
  for (const auto& c : cases) {
    SQLWCHAR buffer[8];
    for (auto& unit : buffer) unit = 0x7777;
    EXPECT_EQ(c.complete, copy_utf16_out(text, buffer, c.capacity)) << c.capacity;
    EXPECT_EQ(c.written, std::u16string(reinterpret_cast<char16_t*>(buffer))) << c.capacity;
  }
  EXPECT_TRUE(copy_utf16_out(text, nullptr, 0));  // length-only request
  SQLWCHAR untouched = 0x7777;
  EXPECT_FALSE(copy_utf16_out(text, &untouched, 0));
  EXPECT_EQ(0x7777, untouched);
}

// Each text: its characters (a byte that begins no well-formed sequence counts one), the
// byte offset of its second character, and whether it is well-formed.
TEST(Utf8Characters, CountOffsetAndValidity) {
  struct Case {
    std::string text;
    size_t characters;
    size_t second;
    bool valid;
  } cases[] = {
      {"", 0, 0, true},
      {"ab", 2, 1, true},
      {"\xC3\xB1x", 2, 2, true},
      {"\xE2\x82\xAC\xF0\x9F\x98\x80", 2, 3, true},
      {"\xF4\x8F\xBF\xBF", 1, 4, true},       // U+10FFFF
      {"\xEF\xBF\xBD", 1, 3, true},           // a real U+FFFD
      {"\xC3", 1, 1, false},                  // cut short
      {"\xC3(", 2, 1, false},                 // bad continuation
      {"\xC0\xAF", 2, 1, false},              // overlong
      {"\xE0\x80\x80", 3, 1, false},          // overlong three-byte
      {"\xED\xA0\x80", 3, 1, false},          // encoded surrogate
      {"\xF4\x90\x80\x80", 4, 1, false},      // past U+10FFFF
      {"\xF8\x88\x80\x80\x80", 5, 1, false},  // five-byte form
      {"\x80"
       "abc",
       4, 1, false},  // stray continuation
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.characters, utf8_char_count(c.text.data(), c.text.size())) << c.text;
    EXPECT_EQ(c.second, utf8_char_offset(c.text.data(), c.text.size(), 1)) << c.text;
    EXPECT_EQ(c.text.size(), utf8_char_offset(c.text.data(), c.text.size(), 99)) << c.text;
    EXPECT_EQ(c.valid, utf8_is_valid(c.text.data(), c.text.size())) << c.text;
  }
}

// Text checked in pieces of every size agrees with the check of the whole: a character split
// between pieces is held until it completes.
TEST(Utf8Characters, PiecesAgreeWithTheWhole) {
  const std::string texts[] = {"a\xC3\xB1\xE2\x82\xAC\xF0\x9F\x98\x80z", "\xF0\x9F\x98",
                               "ab\xED\xA0\x80", "\xC3\xB1\xC3"};
  for (const std::string& text : texts) {
    bool whole = utf8_is_valid(text.data(), text.size());
    for (size_t piece = 1; piece <= text.size(); ++piece) {
      unsigned char pending[3];
      unsigned char pending_count = 0;
      bool ok = true;
      for (size_t at = 0; at < text.size() && ok; at += piece)
        ok = utf8_check_piece(text.data() + at, std::min(piece, text.size() - at), pending,
                              &pending_count);
      EXPECT_EQ(whole, ok && pending_count == 0) << text << " in pieces of " << piece;
    }
  }
}

TEST(Unicode, StrictConversionRefusesUnpairedSurrogates) {
  const std::u16string good = u"a\U0001F600", lone = {u'a', 0xD800, u'b'};
  std::string out;
  EXPECT_TRUE(utf16_to_utf8_strict(reinterpret_cast<const SQLWCHAR*>(good.c_str()), SQL_NTS, out));
  EXPECT_EQ("a\xF0\x9F\x98\x80", out);
  out.clear();
  EXPECT_FALSE(utf16_to_utf8_strict(reinterpret_cast<const SQLWCHAR*>(lone.c_str()), SQL_NTS, out));
}

}  // namespace
