// copy_str_buffer family, utf8_truncation_point and the formatting cut at whole characters.
#include "support/strbuf.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// "é" is C3 A9; "😀" (U+1F600) is F0 9F 98 80; "€" is E2 82 AC.
const char kE[] = "\xC3\xA9";
const char kEmoji[] = "\xF0\x9F\x98\x80";
const char kEuro[] = "\xE2\x82\xAC";

struct CutCase {
  std::string text;
  size_t max_bytes;
  size_t expected;
};

TEST(Utf8TruncationPoint, Table) {
  const CutCase cases[] = {
      {"abcdef", 10, 6},
      {"abcdef", 6, 6},
      {"abcdef", 3, 3},
      {"abcdef", 0, 0},
      {"", 0, 0},
      {std::string("a") + kE + "b", 1, 1},  // before é
      {std::string("a") + kE + "b", 2, 1},  // inside é
      {std::string("a") + kE + "b", 3, 3},  // after é
      {std::string("ab") + kEmoji, 2, 2},
      {std::string("ab") + kEmoji, 3, 2},
      {std::string("ab") + kEmoji, 4, 2},
      {std::string("ab") + kEmoji, 5, 2},
      {std::string("ab") + kEmoji, 6, 6},
      {std::string(kEuro) + kEuro, 4, 3},
      {std::string(kEuro) + kEuro, 5, 3},
      {std::string(kEmoji), 3, 0},
      {"\x80\x80\x80\x80\x80x", 3, 3},  // malformed: continuation bytes only, cut raw
      {"a\x80"
       "bc",
       1, 1},  // stray continuation after ASCII, cut raw
  };
  for (const auto& c : cases) {
    EXPECT_EQ(utf8_truncation_point(c.text.data(), c.text.size(), c.max_bytes), c.expected)
        << "text of " << c.text.size() << " bytes, max " << c.max_bytes;
  }
}

struct CopyCase {
  std::string text;
  SQLLEN buffer_length;
  std::string expected;  // buffer contents (up to the NUL)
  int expected_rc;
};

TEST(CopyStrBuffer, TruncationTable) {
  const CopyCase cases[] = {
      {"hello", 10, "hello", 0},
      {"hello", 6, "hello", 0},
      {"hello", 5, "hell", 1},
      {"hello", 2, "h", 1},
      {"hello", 1, "", 1},
      {"", 1, "", 0},
      {"", 5, "", 0},
      {std::string("caf") + kE, 6, std::string("caf") + kE, 0},
      {std::string("caf") + kE, 5, "caf", 1},  // room for 4 bytes: é would be split
      {std::string("caf") + kE, 4, "caf", 1},
      {std::string("x") + kEmoji, 6, std::string("x") + kEmoji, 0},
      {std::string("x") + kEmoji, 5, "x", 1},
      {std::string("x") + kEmoji, 3, "x", 1},
      {std::string("x") + kEmoji, 2, "x", 1},
      {std::string(kEmoji) + "y", 4, "", 1},
  };
  for (const auto& c : cases) {
    char buf[32];
    std::memset(buf, 'Z', sizeof buf);
    SQLSMALLINT len = -99;
    int rc = copy_str_buffer(buf, c.buffer_length, &len, c.text.c_str());
    EXPECT_EQ(rc, c.expected_rc) << c.text << " into " << c.buffer_length;
    EXPECT_EQ(std::string(buf), c.expected) << c.text << " into " << c.buffer_length;
    EXPECT_EQ(len, static_cast<SQLSMALLINT>(c.text.size()));
    EXPECT_EQ(buf[c.buffer_length], 'Z') << "wrote past the buffer";
  }
}

TEST(CopyStrBuffer, NullBufferReportsLengthOnly) {
  SQLSMALLINT s = 0;
  SQLINTEGER i = 0;
  SQLLEN l = 0;
  EXPECT_EQ(copy_str_buffer(nullptr, 0, &s, "abcdef"), 0);
  EXPECT_EQ(copy_str_bufferi(nullptr, 3, &i, "abcdef"), 0);
  EXPECT_EQ(copy_str_bufferl(nullptr, 100, &l, "abcdef"), 0);
  EXPECT_EQ(s, 6);
  EXPECT_EQ(i, 6);
  EXPECT_EQ(l, 6);
}

TEST(CopyStrBuffer, ZeroOrNegativeLengthWritesNothing) {
  char buf[4] = {'Z', 'Z', 'Z', 'Z'};
  SQLSMALLINT len = 0;
  EXPECT_EQ(copy_str_buffer(buf, 0, &len, "abc"), 1);
  EXPECT_EQ(buf[0], 'Z');
  EXPECT_EQ(len, 3);
  EXPECT_EQ(copy_str_buffer(buf, -5, &len, "abc"), 1);
  EXPECT_EQ(buf[0], 'Z');
  EXPECT_EQ(copy_str_buffer(buf, 0, &len, ""), 0);  // nothing to cut
}

TEST(CopyStrBuffer, NullTextAndNullLength) {
  char buf[4] = {'Z', 'Z', 'Z', 'Z'};
  SQLINTEGER len = -1;
  EXPECT_EQ(copy_str_bufferi(buf, 4, &len, nullptr), 0);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(len, 0);
  EXPECT_EQ(copy_str_bufferl(buf, 4, nullptr, "abcdef"), 1);
  EXPECT_STREQ(buf, "abc");
}

TEST(CopyStrBuffer, ExplicitLength) {
  char buf[16];
  SQLLEN len = 0;
  // Only the given bytes are copied, even when the text goes on.
  EXPECT_EQ(copy_str_bufferl(buf, sizeof buf, &len, "abcdefgh", 4), 0);
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(len, 4);
  // SQL_NTS means up to the NUL.
  EXPECT_EQ(copy_str_bufferl(buf, sizeof buf, &len, "abcdefgh", SQL_NTS), 0);
  EXPECT_EQ(len, 8);
  // A cut inside é with an explicit length.
  std::string text = std::string("ab") + kE + "cd";
  EXPECT_EQ(copy_str_bufferi(buf, 4, nullptr, text.data(), static_cast<SQLLEN>(text.size())), 1);
  EXPECT_STREQ(buf, "ab");
}

TEST(CopyStrBuffer, LengthsClampToTheirType) {
  std::string big(40000, 'x');
  SQLSMALLINT s = 0;
  SQLINTEGER i = 0;
  SQLLEN l = 0;
  char buf[8];
  EXPECT_EQ(copy_str_buffer(buf, sizeof buf, &s, big.c_str()), 1);
  EXPECT_EQ(s, 32767);
  EXPECT_EQ(copy_str_bufferi(buf, sizeof buf, &i, big.c_str()), 1);
  EXPECT_EQ(i, 40000);
  EXPECT_EQ(copy_str_bufferl(buf, sizeof buf, &l, big.c_str()), 1);
  EXPECT_EQ(l, 40000);
  EXPECT_STREQ(buf, "xxxxxxx");
}

// A formatted text too long for its buffer loses the characters that do not fit whole.
TEST(Utf8Format, CutsBeforeACharacterThatDoesNotFit) {
  const std::string name = std::string("ab") + kEmoji + kE;  // 2 + 4 + 2 bytes
  struct Case {
    size_t size;
    std::string written;
  } cases[] = {{20, "[" + name + "]"},
               {10, "[" + name},
               {9, "[ab" + std::string(kEmoji)},
               {8, "[ab" + std::string(kEmoji)},
               {7, "[ab"},
               {4, "[ab"},
               {1, ""}};
  for (const Case& c : cases) {
    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    size_t written = utf8_format(buffer, c.size, "[%s]", name.c_str());
    EXPECT_EQ(c.written, std::string(buffer)) << c.size;
    EXPECT_EQ(c.written.size(), written) << c.size;
  }
  EXPECT_EQ("ab", utf8_prefix(name.c_str(), 5));
  EXPECT_EQ("ab" + std::string(kEmoji), utf8_prefix(name.c_str(), 7));
  EXPECT_EQ(name, utf8_prefix(name.c_str(), 100));
}

}  // namespace
