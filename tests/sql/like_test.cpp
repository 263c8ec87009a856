// LIKE patterns: compiled programs, matching rules, escapes, the planner's prefix, the
// streaming matcher, and patterns that would take exponential time with naive backtracking.
#include "driver/sql/like.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <random>
#include <string>
#include <vector>

namespace {

struct Compiled {
  int status;
  std::vector<unsigned char> program;
};

Compiled compile(const std::string& pattern, const char* escape_value = nullptr) {
  Compiled out;
  out.program.assign(like_program_capacity(pattern.size()), 0xEE);
  char escape = like_escape_char(escape_value,
                                 escape_value ? std::char_traits<char>::length(escape_value) : 0);
  out.status = like_compile(pattern.data(), pattern.size(), escape, out.program.data());
  if (out.status == LIKE_COMPILED) out.program.resize(like_program_length(out.program.data()));
  return out;
}

bool stream_match(const std::vector<unsigned char>& program, const std::string& text,
                  size_t piece) {
  LikeStream stream(program.data());
  for (size_t at = 0; at < text.size(); at += piece)
    stream.feed(text.data() + at, std::min(piece, text.size() - at));
  return stream.matched();
}

// Plain recursive matcher straight from the pattern text: slow, obviously right.
bool reference_match(const std::string& p, size_t pi, const std::string& t, size_t ti,
                     char escape) {
  if (pi == p.size()) return ti == t.size();
  char c = p[pi];
  if (c == escape) {
    return ti < t.size() &&
           std::toupper(static_cast<unsigned char>(p[pi + 1])) ==
               std::toupper(static_cast<unsigned char>(t[ti])) &&
           reference_match(p, pi + 2, t, ti + 1, escape);
  }
  if (c == '_' || c == '?') return ti < t.size() && reference_match(p, pi + 1, t, ti + 1, escape);
  if (c == '%' || c == '*') {
    for (size_t end = t.size() + 1; end-- > ti;)  // longest candidate first
      if (reference_match(p, pi + 1, t, end, escape)) return true;
    return false;
  }
  return ti < t.size() &&
         std::toupper(static_cast<unsigned char>(c)) ==
             std::toupper(static_cast<unsigned char>(t[ti])) &&
         reference_match(p, pi + 1, t, ti + 1, escape);
}

TEST(LikeCompile, Programs) {
  struct Case {
    std::string pattern;
    const char* escape;
    std::vector<unsigned char> program;
  } cases[] = {
      {"", nullptr, {3}},
      {"a_%", nullptr, {1, 'a', 2, 4, 3}},
      {"?*", nullptr, {2, 4, 3}},
      {"a%%*b", nullptr, {1, 'a', 4, 1, 'b', 3}},  // adjacent runs merge
      {"a\\%", nullptr, {1, 'a', 1, '%', 3}},
      {"\\\\", nullptr, {1, '\\', 3}},                   // escaped escape
      {"\\a", nullptr, {1, 'a', 3}},                     // escaping a plain character
      {"!%\\", "!x", {1, '%', 1, '\\', 3}},              // first character of ESCAPE only
      {"\\%", "", {1, '%', 3}},                          // empty ESCAPE: backslash
      {"%%", "%", {1, '%', 3}},                          // the escape wins over the wildcard
      {std::string("\x04%", 2), nullptr, {1, 4, 4, 3}},  // literal bytes equal to opcodes
  };
  for (const Case& c : cases) {
    Compiled got = compile(c.pattern, c.escape);
    ASSERT_EQ(got.status, LIKE_COMPILED) << c.pattern;
    EXPECT_EQ(got.program, c.program) << c.pattern;
  }
}

TEST(LikeCompile, Errors) {
  struct Case {
    std::string pattern;
    const char* escape;
  } cases[] = {{"ab\\", nullptr}, {"\\", nullptr}, {"a\\\\\\", nullptr}, {"ab!", "!"}};
  for (const Case& c : cases)
    EXPECT_EQ(compile(c.pattern, c.escape).status, LIKE_TRAILING_ESCAPE) << c.pattern;
  unsigned char program[4];
  EXPECT_EQ(like_compile(nullptr, 2, '\\', program), LIKE_BAD_ARGUMENT);
  EXPECT_EQ(like_compile("ab", 2, '\\', nullptr), LIKE_BAD_ARGUMENT);
  EXPECT_EQ(like_compile(nullptr, 0, '\\', program), LIKE_COMPILED);
  EXPECT_EQ(program[0], LIKE_OP_END);
}

TEST(LikeMatch, Table) {
  struct Case {
    std::string pattern;
    const char* escape;
    std::string text;
    bool matches;
  } cases[] = {
      {"a\\%", nullptr, "a%", true},
      {"a\\%", nullptr, "abc", false},
      {"a\\%", nullptr, "a", false},
      {"a\\%", nullptr, "a%b", false},
      {"A%", nullptr, "abc", true},
      {"a%", nullptr, "ABC", true},
      {"abc", nullptr, "aBc", true},
      {"abc", nullptr, "abcd", false},  // anchored at the end
      {"bc", nullptr, "abc", false},    // and at the start
      {"_", nullptr, "x", true},
      {"_", nullptr, "", false},
      {"?", nullptr, "xy", false},
      {"a?c", nullptr, "abc", true},
      {"%", nullptr, "", true},
      {"*", nullptr, "anything", true},
      {"a*c", nullptr, "ac", true},
      {"a*c", nullptr, "abbbc", true},
      {"a*c", nullptr, "abbbcd", false},
      {"%b%", nullptr, "abc", true},
      {"%x%", nullptr, "abc", false},
      {"%a", nullptr, "banana", true},
      {"%an_", nullptr, "banana", true},
      {"%an_n", nullptr, "banana", false},
      {"_%_", nullptr, "a", false},
      {"_%_", nullptr, "ab", true},
      {"", nullptr, "", true},
      {"", nullptr, "a", false},
      {"", nullptr, " ", false},
      {"\\\\", nullptr, "\\", true},
      {"\\\\%", nullptr, "\\x", true},
      {"\\\\\\%", nullptr, "\\%", true},
      {"\\\\\\%", nullptr, "\\x", false},
      {"\\_", nullptr, "_", true},
      {"\\_", nullptr, "x", false},
      {"!%!!", "!", "%!", true},
      {"a\\%", "!", "a\\xyz", true},  // with ESCAPE '!' the backslash is plain
      {"[a]", nullptr, "[A]", true},
      {"é", nullptr, "é", true},
      {"é", nullptr, "É", false},  // no case folding beyond ASCII
      {"_", nullptr, "é", true},   // "_" is one character, however many bytes
      {"__", nullptr, "é", false},
      {"_", nullptr, "\xF0\x9F\x98\x80", true},
      {"_b", nullptr, "ñb", true},
      {"%_", nullptr, "ñ", true},
      {"%__", nullptr, "ñ", false},
      {"a%_€", nullptr, "añ€", true},
      {"ñ_", nullptr, "ñ€", true},
      {"_", nullptr, "\xC3", true},  // a byte that begins no character counts as one
      {"__", nullptr, "\xC3(", true},
      {"\xC3%", nullptr, "ñ", false},  // half a character matches no character
      {"%ö%", nullptr, "schön", true},
      {std::string("a\0b", 3), nullptr, std::string("A\0B", 3), true},
      {"\x80", nullptr, "\xA0", false},  // high bytes are not letters
  };
  for (const Case& c : cases) {
    Compiled got = compile(c.pattern, c.escape);
    ASSERT_EQ(got.status, LIKE_COMPILED) << c.pattern;
    EXPECT_EQ(like_match(got.program.data(), c.text.data(), c.text.size()), c.matches)
        << c.pattern << " vs " << c.text;
    for (size_t piece : {1u, 2u, 64u})
      EXPECT_EQ(stream_match(got.program, c.text, piece), c.matches)
          << c.pattern << " vs " << c.text << " streamed by " << piece;
  }
}

TEST(LikeMatch, AgreesWithReferenceOnRandomPatterns) {
  std::mt19937 random(7u);
  const char pattern_bytes[] = "aAb%_*?\\";
  const char text_bytes[] = "aAb%_\\";
  std::uniform_int_distribution<int> pattern_byte(0, 7), text_byte(0, 5), size(0, 7);
  for (int round = 0; round < 20000; ++round) {
    std::string pattern, text;
    for (int i = size(random); i > 0; --i) pattern += pattern_bytes[pattern_byte(random)];
    for (int i = size(random) + 2; i > 0; --i) text += text_bytes[text_byte(random)];
    Compiled got = compile(pattern);
    ASSERT_LE(like_program_length(got.program.data()), like_program_capacity(pattern.size()));
    // A trailing escape is an error exactly when an unescaped escape ends the pattern.
    size_t escapes = 0;
    while (escapes < pattern.size() && pattern[pattern.size() - 1 - escapes] == '\\') ++escapes;
    ASSERT_EQ(got.status == LIKE_TRAILING_ESCAPE, escapes % 2 == 1) << pattern;
    if (got.status != LIKE_COMPILED) continue;
    bool expected = reference_match(pattern, 0, text, 0, '\\');
    ASSERT_EQ(like_match(got.program.data(), text.data(), text.size()), expected)
        << pattern << " vs " << text;
    ASSERT_EQ(stream_match(got.program, text, 3), expected) << pattern << " vs " << text;
  }
}

TEST(LikeMatch, PathologicalPatternsFinish) {
  const std::string long_a(20000, 'a');
  struct Case {
    std::string pattern;
    std::string text;
    bool matches;
  } cases[] = {
      {"%a%a%a%a%a%a%a%a%b", long_a, false},
      {"%a%a%a%a%a%a%a%a%a", long_a, true},
      {"%_%_%_%_%_%_%_%_%c", long_a + "c", true},
      {"a%a%a%a%a%a%a%a%ab", long_a + "ab", true},
      {std::string(40, '%') + "b", long_a, false},
      {"%" + std::string(200, 'a') + "b", long_a, false},
  };
  for (const Case& c : cases) {
    Compiled got = compile(c.pattern);
    ASSERT_EQ(got.status, LIKE_COMPILED);
    EXPECT_EQ(like_match(got.program.data(), c.text.data(), c.text.size()), c.matches) << c.pattern;
    EXPECT_EQ(stream_match(got.program, c.text, 4096), c.matches) << c.pattern;
  }
}

TEST(LikeStreamState, StopsEarlyWhenNothingCanMatch) {
  Compiled got = compile("ab%");
  LikeStream stream(got.program.data());
  stream.feed("a", 1);
  EXPECT_FALSE(stream.dead());
  EXPECT_FALSE(stream.matched());
  stream.feed("B", 1);
  EXPECT_TRUE(stream.matched());
  LikeStream other(got.program.data());
  other.feed("x", 1);
  EXPECT_TRUE(other.dead());
  other.feed("ab", 2);  // nothing revives a dead match
  EXPECT_FALSE(other.matched());
}

TEST(LikePrefix, Shapes) {
  struct Case {
    std::string pattern;
    std::string prefix;
    LikePatternShape shape;
  } cases[] = {
      {"abc%", "abc", LIKE_SHAPE_PREFIX}, {"abc%%", "abc", LIKE_SHAPE_PREFIX},
      {"abc", "abc", LIKE_SHAPE_EXACT},   {"", "", LIKE_SHAPE_EXACT},
      {"%", "", LIKE_SHAPE_PREFIX},       {"ab_", "ab", LIKE_SHAPE_GENERAL},
      {"ab%c", "ab", LIKE_SHAPE_GENERAL}, {"a\\%b%", "a%b", LIKE_SHAPE_PREFIX},
      {"%abc", "", LIKE_SHAPE_GENERAL},   {"0xAb*", "0xAb", LIKE_SHAPE_PREFIX},
  };
  for (const Case& c : cases) {
    Compiled got = compile(c.pattern);
    ASSERT_EQ(got.status, LIKE_COMPILED);
    std::string prefix = "stale";
    EXPECT_EQ(like_fixed_prefix(got.program.data(), &prefix), c.shape) << c.pattern;
    EXPECT_EQ(prefix, c.prefix) << c.pattern;
  }
}

}  // namespace
