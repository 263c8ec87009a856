// Unit tests of the exact numerics (support/numeric.h).
#include "support/numeric.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace {

using i128 = __int128;

constexpr const char* kMax38 = "99999999999999999999999999999999999999";

std::string StatusName(int s) {
  switch (s) {
    case NUMERIC_OK:
      return "OK";
    case NUMERIC_ROUNDED:
      return "ROUNDED";
    case NUMERIC_OVERFLOW:
      return "OVERFLOW";
    case NUMERIC_INVALID:
      return "INVALID";
    case NUMERIC_DIVISION_BY_ZERO:
      return "DIVISION_BY_ZERO";
  }
  return "status " + std::to_string(s);
}

std::string Text(const SQL_NUMERIC_STRUCT& n) {
  char buf[NUMERIC_TEXT_MAX];
  int len = numeric_to_text(&n, buf, sizeof buf);
  if (len < 0) return "<to_text failed>";
  EXPECT_EQ(static_cast<size_t>(len), std::strlen(buf));
  return std::string(buf, static_cast<size_t>(len));
}

// Precision 38, scale = number of digits after the point.
SQL_NUMERIC_STRUCT Auto(const char* text) {
  const char* dot = std::strchr(text, '.');
  int scale = dot ? static_cast<int>(std::strlen(dot + 1)) : 0;
  SQL_NUMERIC_STRUCT n;
  std::memset(&n, 0xAB, sizeof n);
  int s = numeric_from_text(text, std::strlen(text), 38, scale, &n);
  EXPECT_EQ(s, NUMERIC_OK) << "parsing test operand " << text;
  return n;
}

// Builds a structure directly from a signed 128-bit magnitude (independent of the parser).
SQL_NUMERIC_STRUCT Raw(i128 v, int scale, int precision = 38) {
  SQL_NUMERIC_STRUCT n;
  n.precision = static_cast<SQLCHAR>(precision);
  n.scale = static_cast<SQLSCHAR>(scale);
  n.sign = v < 0 ? 0 : 1;
  unsigned __int128 m =
      v < 0 ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
  for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) {
    n.val[i] = static_cast<SQLCHAR>(m & 0xff);
    m >>= 8;
  }
  return n;
}

// Independent formatter of v / 10^scale with exactly `scale` fraction digits.
std::string Fmt(i128 v, int scale) {
  bool neg = v < 0;
  unsigned __int128 m =
      neg ? -static_cast<unsigned __int128>(v) : static_cast<unsigned __int128>(v);
  std::string digits;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m);
  while (static_cast<int>(digits.size()) <= scale) digits.insert(digits.begin(), '0');
  std::string out = neg ? "-" : "";
  out += digits.substr(0, digits.size() - scale);
  if (scale) {
    out += '.';
    out.append(digits, digits.size() - scale, std::string::npos);
  }
  return out;
}

i128 Pow10(int k) {
  i128 r = 1;
  while (k-- > 0) r *= 10;
  return r;
}

// ---------------------------------------------------------------------------------------------
// Text

struct TextCase {
  const char* text;
  int precision;
  int scale;
  int status;
  const char* expected;  // numeric_to_text of the result when status >= 0
};

const TextCase kTextCases[] = {
    {"0", 1, 0, NUMERIC_OK, "0"},
    {"7", 38, 0, NUMERIC_OK, "7"},
    {"+7", 38, 0, NUMERIC_OK, "7"},
    {"  123.45  ", 10, 2, NUMERIC_OK, "123.45"},
    {"\t-3.25\n", 5, 2, NUMERIC_OK, "-3.25"},
    {"-12.5", 5, 2, NUMERIC_OK, "-12.50"},
    {"12.5", 0, 3, NUMERIC_OK, "12.500"},  // precision 0 means 38
    {"0.05", 3, 2, NUMERIC_OK, "0.05"},
    {".5", 3, 1, NUMERIC_OK, "0.5"},
    {"5.", 3, 0, NUMERIC_OK, "5"},
    {"-.25", 3, 2, NUMERIC_OK, "-0.25"},
    {"0.005", 10, 2, NUMERIC_ROUNDED, "0.01"},
    {"-0.005", 10, 2, NUMERIC_ROUNDED, "-0.01"},
    {"0.0049", 10, 2, NUMERIC_ROUNDED, "0.00"},
    {"-0.0049", 10, 2, NUMERIC_ROUNDED, "0.00"},  // no negative zero
    {"1.25", 5, 1, NUMERIC_ROUNDED, "1.3"},
    {"-1.25", 5, 1, NUMERIC_ROUNDED, "-1.3"},
    {"1.24999", 5, 1, NUMERIC_ROUNDED, "1.2"},
    {"2.5", 5, 0, NUMERIC_ROUNDED, "3"},
    {"1.2000", 5, 1, NUMERIC_OK, "1.2"},  // dropped zeros are not a rounding
    {"-0", 5, 0, NUMERIC_OK, "0"},
    {"-0.000", 5, 2, NUMERIC_OK, "0.00"},
    {"000", 5, 0, NUMERIC_OK, "0"},
    {"1.5e2", 10, 1, NUMERIC_OK, "150.0"},
    {"1.5E-2", 10, 3, NUMERIC_OK, "0.015"},
    {"15e-3", 10, 2, NUMERIC_ROUNDED, "0.02"},
    {"-15e-3", 10, 2, NUMERIC_ROUNDED, "-0.02"},
    {"1e+3", 4, 0, NUMERIC_OK, "1000"},
    {"1e4", 4, 0, NUMERIC_OVERFLOW, nullptr},
    {"0.00012e4", 5, 1, NUMERIC_OK, "1.2"},
    {"12345e-10", 10, 10, NUMERIC_OK, "0.0000012345"},
    {"0e999999999999", 38, 2, NUMERIC_OK, "0.00"},
    {"1e999999999999", 38, 2, NUMERIC_OVERFLOW, nullptr},
    {"1e-999999999999", 38, 2, NUMERIC_ROUNDED, "0.00"},
    {"1e-100", 38, 38, NUMERIC_ROUNDED, "0.00000000000000000000000000000000000000"},
    {"99.994", 4, 2, NUMERIC_ROUNDED, "99.99"},
    {"99.995", 4, 2, NUMERIC_OVERFLOW, nullptr},  // rounds to 100.00
    {"100", 4, 2, NUMERIC_OVERFLOW, nullptr},
    {"99.99", 4, 2, NUMERIC_OK, "99.99"},
    {"0000000000000000000000000000000000000000000000123", 38, 0, NUMERIC_OK, "123"},
    {"123.00000000000000000000000000000000000000000000000", 3, 0, NUMERIC_OK, "123"},
    {"99999999999999999999999999999999999999", 38, 0, NUMERIC_OK, kMax38},
    {"-99999999999999999999999999999999999999", 38, 0, NUMERIC_OK,
     "-99999999999999999999999999999999999999"},
    {"100000000000000000000000000000000000000", 38, 0, NUMERIC_OVERFLOW, nullptr},
    {"99999999999999999999999999999999999999.4", 38, 0, NUMERIC_ROUNDED, kMax38},
    {"99999999999999999999999999999999999999.5", 38, 0, NUMERIC_OVERFLOW, nullptr},
    {"9999999999999999999999999999999999999.95", 38, 1, NUMERIC_OVERFLOW, nullptr},
    {"0.99999999999999999999999999999999999999", 38, 38, NUMERIC_OK,
     "0.99999999999999999999999999999999999999"},
    {"0.123456789012345678901234567890123456785", 38, 38, NUMERIC_ROUNDED,
     "0.12345678901234567890123456789012345679"},
    {"0.12345678901234567890123456789012345678449999999999999999999999999999999999", 38, 38,
     NUMERIC_ROUNDED, "0.12345678901234567890123456789012345678"},
    {"0.12345678901234567890123456789012345678000000000000000000000000000000000001", 38, 38,
     NUMERIC_ROUNDED, "0.12345678901234567890123456789012345678"},
    {"12345678901234567890.123456789012345678", 38, 18, NUMERIC_OK,
     "12345678901234567890.123456789012345678"},
    {"1", 38, 38, NUMERIC_OVERFLOW, nullptr},
    {"0.5", 38, 38, NUMERIC_OK, "0.50000000000000000000000000000000000000"},
};

TEST(NumericText, TableRoundTrips) {
  for (const TextCase& c : kTextCases) {
    SCOPED_TRACE(std::string("text '") + c.text + "' p" + std::to_string(c.precision) + " s" +
                 std::to_string(c.scale));
    SQL_NUMERIC_STRUCT n;
    std::memset(&n, 0xAB, sizeof n);
    int s = numeric_from_text(c.text, std::strlen(c.text), c.precision, c.scale, &n);
    EXPECT_EQ(StatusName(s), StatusName(c.status));
    if (s >= 0) {
      ASSERT_NE(c.expected, nullptr);
      EXPECT_EQ(Text(n), c.expected);
      EXPECT_EQ(n.precision, c.precision ? c.precision : 38);
      EXPECT_EQ(n.scale, c.scale);
      // The written text parses back to the same structure.
      SQL_NUMERIC_STRUCT back;
      std::string t = Text(n);
      EXPECT_EQ(numeric_from_text(t.c_str(), t.size(), c.precision, c.scale, &back), NUMERIC_OK);
      EXPECT_EQ(std::memcmp(&back, &n, sizeof n), 0);
    }
  }
}

TEST(NumericText, InvalidTexts) {
  const char* bad[] = {"",   " ",    "-",     "+",     ".",    "-.",  "1e",  "1e+", "1e-",
                       "e5", ".e1",  "1.2.3", "abc",   "1 2",  "1a",  "a1",  "--1", "+-1",
                       "1-", "0x10", "1,5",   "1e5.5", "1e 5", "- 1", "1..", "inf", "nan"};
  for (const char* t : bad) {
    SCOPED_TRACE(std::string("text '") + t + "'");
    SQL_NUMERIC_STRUCT n;
    std::memset(&n, 0x5A, sizeof n);
    EXPECT_EQ(StatusName(numeric_from_text(t, std::strlen(t), 38, 2, &n)), "INVALID");
    // Output untouched on error.
    SQL_NUMERIC_STRUCT untouched;
    std::memset(&untouched, 0x5A, sizeof untouched);
    EXPECT_EQ(std::memcmp(&n, &untouched, sizeof n), 0);
  }
}

TEST(NumericText, InvalidTargets) {
  SQL_NUMERIC_STRUCT n;
  EXPECT_EQ(numeric_from_text("1", 1, 39, 0, &n), NUMERIC_INVALID);
  EXPECT_EQ(numeric_from_text("1", 1, -1, 0, &n), NUMERIC_INVALID);
  EXPECT_EQ(numeric_from_text("1", 1, 10, -1, &n), NUMERIC_INVALID);
  EXPECT_EQ(numeric_from_text("1", 1, 10, 11, &n), NUMERIC_INVALID);
  EXPECT_EQ(numeric_from_text(nullptr, 1, 10, 0, &n), NUMERIC_INVALID);
  EXPECT_EQ(numeric_from_text("1", 1, 10, 0, nullptr), NUMERIC_INVALID);
  EXPECT_EQ(numeric_from_text("1", 1, 10, 10, &n), NUMERIC_OVERFLOW);  // scale == precision
  EXPECT_EQ(numeric_from_text("0.1", 3, 10, 10, &n), NUMERIC_OK);
  EXPECT_EQ(Text(n), "0.1000000000");
}

TEST(NumericText, LengthAndNulBoundTheText) {
  SQL_NUMERIC_STRUCT n;
  EXPECT_EQ(numeric_from_text("12345", 3, 38, 0, &n), NUMERIC_OK);
  EXPECT_EQ(Text(n), "123");
  const char with_nul[] = "42\0garbage";
  EXPECT_EQ(numeric_from_text(with_nul, sizeof with_nul - 1, 38, 0, &n), NUMERIC_OK);
  EXPECT_EQ(Text(n), "42");
  EXPECT_EQ(numeric_from_text("42", static_cast<size_t>(-3), 38, 0, &n), NUMERIC_OK);
  EXPECT_EQ(Text(n), "42");
  EXPECT_EQ(numeric_from_text("42", 0, 38, 0, &n), NUMERIC_INVALID);
}

TEST(NumericText, ToTextBufferSize) {
  SQL_NUMERIC_STRUCT n = Auto("-12.50");
  char buf[8];
  EXPECT_EQ(numeric_to_text(&n, buf, 6), -1);
  EXPECT_EQ(numeric_to_text(&n, buf, 7), 6);
  EXPECT_STREQ(buf, "-12.50");
  EXPECT_EQ(numeric_to_text(&n, nullptr, 7), -1);
  // The longest text fits NUMERIC_TEXT_MAX.
  SQL_NUMERIC_STRUCT big = Auto("-0.99999999999999999999999999999999999999");
  char wide[NUMERIC_TEXT_MAX];
  int len = numeric_to_text(&big, wide, sizeof wide);
  EXPECT_EQ(len, 41);
  EXPECT_EQ(Text(Raw(1, 38)), "0.00000000000000000000000000000000000001");
  EXPECT_EQ(Text(Raw(-5, 3)), "-0.005");
  EXPECT_EQ(Text(Raw(0, 3)), "0.000");
}

TEST(NumericText, InvalidStructures) {
  SQL_NUMERIC_STRUCT neg_scale = Raw(5, 0);
  neg_scale.scale = -1;
  SQL_NUMERIC_STRUCT huge_scale = Raw(5, 0);
  huge_scale.scale = 39;
  SQL_NUMERIC_STRUCT too_big = Raw(0, 0);
  std::memset(too_big.val, 0xff, sizeof too_big.val);
  SQL_NUMERIC_STRUCT ten38 = Raw(Pow10(38), 0);
  SQL_NUMERIC_STRUCT one = Raw(1, 0);
  for (const SQL_NUMERIC_STRUCT* bad : {&neg_scale, &huge_scale, &too_big, &ten38}) {
    char buf[NUMERIC_TEXT_MAX];
    SQL_NUMERIC_STRUCT out;
    int64_t i64;
    EXPECT_EQ(numeric_to_text(bad, buf, sizeof buf), -1);
    EXPECT_EQ(numeric_rescale(bad, 38, 0, &out), NUMERIC_INVALID);
    EXPECT_EQ(numeric_to_int64(bad, &i64), NUMERIC_INVALID);
    EXPECT_TRUE(std::isnan(numeric_to_double(bad)));
    EXPECT_EQ(numeric_add(bad, &one, &out), NUMERIC_INVALID);
    EXPECT_EQ(numeric_sub(&one, bad, &out), NUMERIC_INVALID);
    EXPECT_EQ(numeric_mul(bad, &one, &out), NUMERIC_INVALID);
    EXPECT_EQ(numeric_div(&one, bad, &out), NUMERIC_INVALID);
  }
  // The precision field of an input is not checked.
  SQL_NUMERIC_STRUCT loose = Raw(12345, 2, 0);
  EXPECT_EQ(Text(loose), "123.45");
}

// ---------------------------------------------------------------------------------------------
// Arithmetic

struct ArithCase {
  char op;
  const char* a;
  const char* b;
  int status;
  const char* expected;
};

const ArithCase kArithCases[] = {
    // Addition and subtraction: carry, 38-digit limits, sign crossing.
    {'+', kMax38, "0", NUMERIC_OK, kMax38},
    {'+', kMax38, "1", NUMERIC_OVERFLOW, nullptr},
    {'+', "1", kMax38, NUMERIC_OVERFLOW, nullptr},
    {'+', "-99999999999999999999999999999999999999", "-1", NUMERIC_OVERFLOW, nullptr},
    {'-', "-99999999999999999999999999999999999999", "1", NUMERIC_OVERFLOW, nullptr},
    {'-', kMax38, "-1", NUMERIC_OVERFLOW, nullptr},
    {'+', kMax38, "-1", NUMERIC_OK, "99999999999999999999999999999999999998"},
    {'-', kMax38, kMax38, NUMERIC_OK, "0"},
    {'+', "-99999999999999999999999999999999999999", kMax38, NUMERIC_OK, "0"},
    {'+', "9999999999999999999999999999999999999", "1", NUMERIC_OK,
     "10000000000000000000000000000000000000"},
    {'+', "1.5", "2.25", NUMERIC_OK, "3.75"},
    {'+', "1.5", "-1.5", NUMERIC_OK, "0.0"},
    {'+', "-1.5", "1.5", NUMERIC_OK, "0.0"},
    {'-', "1.5", "2.25", NUMERIC_OK, "-0.75"},
    {'-', "-1.25", "-1.25", NUMERIC_OK, "0.00"},
    {'-', "5", "7.5", NUMERIC_OK, "-2.5"},
    {'-', "-5", "-7.5", NUMERIC_OK, "2.5"},
    {'-', "-5", "7.5", NUMERIC_OK, "-12.5"},
    {'+', "-5", "7.5", NUMERIC_OK, "2.5"},
    {'+', "0.001", "-0.01", NUMERIC_OK, "-0.009"},
    {'+', "9999999999999999999999999999999999999", "0.5", NUMERIC_OK,
     "9999999999999999999999999999999999999.5"},
    // The exact sum needs 39 digits: the fraction digit is rounded away (status OK).
    {'+', "99999999999999999999999999999999999998", "0.5", NUMERIC_OK, kMax38},
    {'+', kMax38, "0.4", NUMERIC_OK, kMax38},
    {'+', kMax38, "0.5", NUMERIC_OVERFLOW, nullptr},
    {'+', "-99999999999999999999999999999999999998", "-0.5", NUMERIC_OK,
     "-99999999999999999999999999999999999999"},
    {'-', "-99999999999999999999999999999999999998", "0.4", NUMERIC_OK,
     "-99999999999999999999999999999999999998"},
    {'+', "0.00000000000000000000000000000000000001", "1", NUMERIC_OK,
     "1.0000000000000000000000000000000000000"},
    {'+', "0.00000000000000000000000000000000000005", "1", NUMERIC_OK,
     "1.0000000000000000000000000000000000001"},
    {'-', "1", "0.00000000000000000000000000000000000005", NUMERIC_OK,
     "0.99999999999999999999999999999999999995"},
    {'+', "0.99999999999999999999999999999999999999", "0.00000000000000000000000000000000000001",
     NUMERIC_OK, "1.0000000000000000000000000000000000000"},
    // Multiplication: 256-bit products, fraction digits rounded away.
    {'*', "1234567890.1234567890123456789012345678", "9876543210.9876543210987654321098765432",
     NUMERIC_OK, "12193263113702179522.618503273386678859"},
    {'*', "-1234567890.1234567890123456789012345678", "9876543210.9876543210987654321098765432",
     NUMERIC_OK, "-12193263113702179522.618503273386678859"},
    {'*', "0.99999999999999999999999999999999999999", "0.99999999999999999999999999999999999999",
     NUMERIC_OK, "0.99999999999999999999999999999999999998"},
    {'*', "-0.00000000000000000005", "0.0000000000000000001", NUMERIC_OK,
     "-0.00000000000000000000000000000000000001"},
    {'*', "0.00000000000000000004", "-0.0000000000000000001", NUMERIC_OK,
     "0.00000000000000000000000000000000000000"},
    {'*', "-2.5", "-4", NUMERIC_OK, "10.0"},
    {'*', "-2.5", "4", NUMERIC_OK, "-10.0"},
    {'*', "1.25", "1.25", NUMERIC_OK, "1.5625"},
    {'*', "0", kMax38, NUMERIC_OK, "0"},
    {'*', "-0.0", kMax38, NUMERIC_OK, "0.0"},
    {'*', "9999999999999999999", "10000000000000000000", NUMERIC_OK,
     "99999999999999999990000000000000000000"},
    {'*', "10000000000000000000", "10000000000000000000", NUMERIC_OVERFLOW, nullptr},
    {'*', "-99999999999999999999999999999999999999", kMax38, NUMERIC_OVERFLOW, nullptr},
    {'*', "99999999999999999999.5", "0.5", NUMERIC_OK, "49999999999999999999.75"},
    // (10^19 - 10^-19)^2 = 10^38 - 2 + 10^-38: the fraction rounds away, the integer part fits.
    {'*', "9999999999999999999.9999999999999999999", "9999999999999999999.9999999999999999999",
     NUMERIC_OK, "99999999999999999999999999999999999998"},
    {'*', "-9999999999999999999.9999999999999999999", "10000000000000000000", NUMERIC_OK,
     "-99999999999999999999999999999999999999"},
    {'*', "-10000000000000000000.000000000000000001", "10000000000000000000", NUMERIC_OVERFLOW,
     nullptr},
    {'*', "999999999999999999.99999999999999999999", "100", NUMERIC_OK,
     "99999999999999999999.999999999999999999"},
    {'*', "999999999999999999.99999999999999999999", "100.0000000000000000", NUMERIC_OK,
     "99999999999999999999.999999999999999999"},
    // Division: scale max(sum, 6), rounding half away from zero.
    {'/', "1", "3", NUMERIC_OK, "0.333333"},
    {'/', "2", "3", NUMERIC_OK, "0.666667"},
    {'/', "-2", "3", NUMERIC_OK, "-0.666667"},
    {'/', "2", "-3", NUMERIC_OK, "-0.666667"},
    {'/', "-2", "-3", NUMERIC_OK, "0.666667"},
    {'/', "1", "7", NUMERIC_OK, "0.142857"},
    {'/', "1", "8", NUMERIC_OK, "0.125000"},
    {'/', "1", "16", NUMERIC_OK, "0.062500"},
    {'/', "1", "32", NUMERIC_OK, "0.031250"},
    {'/', "1", "64", NUMERIC_OK, "0.015625"},
    {'/', "1", "128", NUMERIC_OK, "0.007813"},
    {'/', "-1", "128", NUMERIC_OK, "-0.007813"},
    {'/', "10", "3.00", NUMERIC_OK, "3.333333"},
    {'/', "1.000", "3.0000", NUMERIC_OK, "0.3333333"},
    {'/', "7.5", "2.5", NUMERIC_OK, "3.000000"},
    {'/', "-0.0000004", "10", NUMERIC_OK, "0.0000000"},
    {'/', "-0.0000005", "10", NUMERIC_OK, "-0.0000001"},
    {'/', "0", "5", NUMERIC_OK, "0.000000"},
    {'/', "-0", "5", NUMERIC_OK, "0.000000"},
    {'/', kMax38, "1", NUMERIC_OK, kMax38},
    {'/', kMax38, kMax38, NUMERIC_OK, "1.000000"},
    {'/', "1", kMax38, NUMERIC_OK, "0.000000"},
    {'/', kMax38, "0.5", NUMERIC_OVERFLOW, nullptr},
    {'/', kMax38, "0.99999999999999999999999999999999999999", NUMERIC_OVERFLOW, nullptr},
    {'/', "12345678901234567890123456789", "0.0000000001", NUMERIC_OVERFLOW, nullptr},
    {'/', "1", "0.00000000000000000000000000000000000003", NUMERIC_OK,
     "33333333333333333333333333333333333333"},
    {'/', "-1", "0.00000000000000000000000000000000000003", NUMERIC_OK,
     "-33333333333333333333333333333333333333"},
    {'/', "9999999999999999999999999999999999999.9", "0.1", NUMERIC_OK, kMax38},
    {'/', "9999999999999999999999999999999999999.8", "0.99999999999999999999999999999999999999",
     NUMERIC_OK, "9999999999999999999999999999999999999.9"},
    // Rounding carries into a 39th digit: one more fraction digit goes.
    {'/', "9999999999999999999999999999999999999.9", "0.99999999999999999999999999999999999999",
     NUMERIC_OK, "10000000000000000000000000000000000000"},
    {'/', "2.0000000000000000000", "3.0000000000000000000", NUMERIC_OK,
     "0.66666666666666666666666666666666666667"},
    {'/', "-2.0000000000000000000", "3.0000000000000000000", NUMERIC_OK,
     "-0.66666666666666666666666666666666666667"},
    {'/', "200.0000000000000000000", "3.0000000000000000000", NUMERIC_OK,
     "66.666666666666666666666666666666666667"},
    {'/', "0.00000000000000000000000000000000000002", "3", NUMERIC_OK,
     "0.00000000000000000000000000000000000001"},
    {'/', "0.00000000000000000000000000000000000001", "3", NUMERIC_OK,
     "0.00000000000000000000000000000000000000"},
    {'/', "0.00000000000000000000000000000000000001", "0.00000000000000000000000000000000000003",
     NUMERIC_OK, "0.33333333333333333333333333333333333333"},
    {'/', "0.000", "0.0000000000000000000000000000007896", NUMERIC_OK,
     "0.0000000000000000000000000000000000000"},
    {'/', "-0.00", "-0.00000000000000000000000000000000000001", NUMERIC_OK,
     "0.00000000000000000000000000000000000000"},
    {'/', "5", "0", NUMERIC_DIVISION_BY_ZERO, nullptr},
    {'/', "0", "0", NUMERIC_DIVISION_BY_ZERO, nullptr},
    {'/', "5", "0.000", NUMERIC_DIVISION_BY_ZERO, nullptr},
    {'/', "5", "-0", NUMERIC_DIVISION_BY_ZERO, nullptr},
};

int Apply(char op, const SQL_NUMERIC_STRUCT* a, const SQL_NUMERIC_STRUCT* b,
          SQL_NUMERIC_STRUCT* out) {
  switch (op) {
    case '+':
      return numeric_add(a, b, out);
    case '-':
      return numeric_sub(a, b, out);
    case '*':
      return numeric_mul(a, b, out);
    case '/':
      return numeric_div(a, b, out);
  }
  ADD_FAILURE() << "bad op " << op;
  return NUMERIC_INVALID;
}

TEST(NumericArith, Table) {
  for (const ArithCase& c : kArithCases) {
    SCOPED_TRACE(std::string(c.a) + " " + c.op + " " + c.b);
    SQL_NUMERIC_STRUCT a = Auto(c.a), b = Auto(c.b), out;
    std::memset(&out, 0x77, sizeof out);
    int s = Apply(c.op, &a, &b, &out);
    EXPECT_EQ(StatusName(s), StatusName(c.status));
    if (s >= 0) {
      ASSERT_NE(c.expected, nullptr);
      EXPECT_EQ(Text(out), c.expected);
      EXPECT_EQ(out.precision, 38);
      EXPECT_EQ(out.sign == 0, c.expected[0] == '-');
    } else {
      SQL_NUMERIC_STRUCT untouched;
      std::memset(&untouched, 0x77, sizeof untouched);
      EXPECT_EQ(std::memcmp(&out, &untouched, sizeof out), 0);
    }
  }
}

TEST(NumericArith, ResultScales) {
  SQL_NUMERIC_STRUCT out;
  SQL_NUMERIC_STRUCT a = Auto("1.5"), b = Auto("2.125");
  ASSERT_EQ(numeric_add(&a, &b, &out), NUMERIC_OK);
  EXPECT_EQ(out.scale, 3);
  ASSERT_EQ(numeric_sub(&a, &b, &out), NUMERIC_OK);
  EXPECT_EQ(out.scale, 3);
  ASSERT_EQ(numeric_mul(&a, &b, &out), NUMERIC_OK);
  EXPECT_EQ(out.scale, 4);
  ASSERT_EQ(numeric_div(&a, &b, &out), NUMERIC_OK);
  EXPECT_EQ(out.scale, 6);
  SQL_NUMERIC_STRUCT c = Auto("1.2345"), d = Auto("0.125");
  ASSERT_EQ(numeric_div(&c, &d, &out), NUMERIC_OK);
  EXPECT_EQ(out.scale, 7);
  EXPECT_EQ(Text(out), "9.8760000");
}

TEST(NumericArith, OutputMayAliasInputs) {
  SQL_NUMERIC_STRUCT a = Auto("1.5"), b = Auto("2.25");
  ASSERT_EQ(numeric_add(&a, &b, &a), NUMERIC_OK);
  EXPECT_EQ(Text(a), "3.75");
  ASSERT_EQ(numeric_mul(&a, &a, &a), NUMERIC_OK);
  EXPECT_EQ(Text(a), "14.0625");
  ASSERT_EQ(numeric_div(&b, &a, &b), NUMERIC_OK);
  EXPECT_EQ(Text(b), "0.160000");
  ASSERT_EQ(numeric_sub(&b, &b, &b), NUMERIC_OK);
  EXPECT_EQ(Text(b), "0.000000");
}

TEST(NumericArith, NegativeZeroOperands) {
  SQL_NUMERIC_STRUCT neg_zero = Raw(0, 2);
  neg_zero.sign = 0;
  SQL_NUMERIC_STRUCT one = Auto("1"), out;
  ASSERT_EQ(numeric_add(&neg_zero, &neg_zero, &out), NUMERIC_OK);
  EXPECT_EQ(out.sign, 1);
  EXPECT_EQ(Text(out), "0.00");
  ASSERT_EQ(numeric_sub(&neg_zero, &one, &out), NUMERIC_OK);
  EXPECT_EQ(Text(out), "-1.00");
  ASSERT_EQ(numeric_sub(&one, &neg_zero, &out), NUMERIC_OK);
  EXPECT_EQ(Text(out), "1.00");
  EXPECT_EQ(numeric_div(&one, &neg_zero, &out), NUMERIC_DIVISION_BY_ZERO);
  EXPECT_EQ(Text(neg_zero), "0.00");
}

TEST(NumericArith, NegateAndIsZero) {
  SQL_NUMERIC_STRUCT a = Auto("1.5");
  numeric_negate(&a);
  EXPECT_EQ(Text(a), "-1.5");
  numeric_negate(&a);
  EXPECT_EQ(Text(a), "1.5");
  SQL_NUMERIC_STRUCT z = Auto("0.00");
  numeric_negate(&z);
  EXPECT_EQ(z.sign, 1);
  z.sign = 0;
  numeric_negate(&z);
  EXPECT_EQ(z.sign, 1);
  numeric_negate(nullptr);
  EXPECT_TRUE(numeric_is_zero(&z));
  z.sign = 0;
  EXPECT_TRUE(numeric_is_zero(&z));
  SQL_NUMERIC_STRUCT small = Auto("0.01");
  EXPECT_FALSE(numeric_is_zero(&small));
  EXPECT_FALSE(numeric_is_zero(nullptr));
}

// ---------------------------------------------------------------------------------------------
// Comparison

struct CmpCase {
  const char* a;
  const char* b;
  int expected;  // sign of numeric_cmp
};

const CmpCase kCmpCases[] = {
    {"1.50", "1.5", 0},
    {"1.5", "1.50", 0},
    {"-0", "0", 0},
    {"-0.00", "0", 0},
    {"0", "-0.000", 0},
    {"1", "1.00000000000000000000000000000000000", 0},
    {"-1", "-2", 1},
    {"-2", "-1", -1},
    {"-1.5", "-1.25", -1},
    {"-1.25", "-1.5", 1},
    {"-1.5", "1.25", -1},
    {"1.25", "-1.5", 1},
    {"0.1", "0.09", 1},
    {"0.09", "0.1", -1},
    {"-0.1", "0", -1},
    {"0", "-0.1", 1},
    {"0.00000000000000000000000000000000000001", "0", 1},
    {"-0.00000000000000000000000000000000000001", "0", -1},
    {kMax38, "0.99999999999999999999999999999999999999", 1},
    {"-99999999999999999999999999999999999999", "-0.99999999999999999999999999999999999999", -1},
    {"9999999999999999999.9999999999999999999", "10000000000000000000", -1},
    {"10000000000000000000", "9999999999999999999.9999999999999999999", 1},
    {"12.345", "12.3450000000", 0},
    {"12.345", "12.3450000001", -1},
};

int Sign(int v) {
  return (v > 0) - (v < 0);
}

TEST(NumericCmp, Table) {
  for (const CmpCase& c : kCmpCases) {
    SCOPED_TRACE(std::string(c.a) + " <=> " + c.b);
    SQL_NUMERIC_STRUCT a = Auto(c.a), b = Auto(c.b);
    EXPECT_EQ(Sign(numeric_cmp(&a, &b)), c.expected);
    EXPECT_EQ(Sign(numeric_cmp(&b, &a)), -c.expected);
  }
}

TEST(NumericCmp, RawNegativeZero) {
  SQL_NUMERIC_STRUCT neg_zero = Raw(0, 5);
  neg_zero.sign = 0;
  SQL_NUMERIC_STRUCT zero = Raw(0, 0);
  SQL_NUMERIC_STRUCT tiny = Raw(-1, 38);
  EXPECT_EQ(numeric_cmp(&neg_zero, &zero), 0);
  EXPECT_LT(numeric_cmp(&tiny, &neg_zero), 0);
  EXPECT_GT(numeric_cmp(&neg_zero, &tiny), 0);
}

// ---------------------------------------------------------------------------------------------
// Integer and double conversions

TEST(NumericConvert, FromInt64) {
  SQL_NUMERIC_STRUCT n;
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  ASSERT_EQ(numeric_from_int64(kMin, 19, 0, &n), NUMERIC_OK);
  EXPECT_EQ(Text(n), "-9223372036854775808");
  ASSERT_EQ(numeric_from_int64(kMax, 19, 0, &n), NUMERIC_OK);
  EXPECT_EQ(Text(n), "9223372036854775807");
  EXPECT_EQ(numeric_from_int64(kMax, 18, 0, &n), NUMERIC_OVERFLOW);
  EXPECT_EQ(numeric_from_int64(kMin, 18, 0, &n), NUMERIC_OVERFLOW);
  ASSERT_EQ(numeric_from_int64(kMin, 38, 19, &n), NUMERIC_OK);
  EXPECT_EQ(Text(n), "-9223372036854775808.0000000000000000000");
  EXPECT_EQ(numeric_from_int64(kMin, 38, 20, &n), NUMERIC_OVERFLOW);
  ASSERT_EQ(numeric_from_int64(0, 5, 2, &n), NUMERIC_OK);
  EXPECT_EQ(Text(n), "0.00");
  ASSERT_EQ(numeric_from_int64(-42, 0, 1, &n), NUMERIC_OK);
  EXPECT_EQ(Text(n), "-42.0");
  EXPECT_EQ(n.precision, 38);
  ASSERT_EQ(numeric_from_int64(1, 38, 37, &n), NUMERIC_OK);
  EXPECT_EQ(numeric_from_int64(10, 38, 37, &n), NUMERIC_OVERFLOW);
  EXPECT_EQ(numeric_from_int64(1, 5, 6, &n), NUMERIC_INVALID);
  EXPECT_EQ(numeric_from_int64(1, 5, -1, &n), NUMERIC_INVALID);
}

TEST(NumericConvert, FromInt128) {
  SQL_NUMERIC_STRUCT n;
  const i128 max38 = Pow10(38) - 1;
  ASSERT_EQ(numeric_from_int128(max38, 38, 0, &n), NUMERIC_OK);
  EXPECT_EQ(Text(n), kMax38);
  ASSERT_EQ(numeric_from_int128(-max38, 38, 0, &n), NUMERIC_OK);
  EXPECT_EQ(Text(n), "-99999999999999999999999999999999999999");
  EXPECT_EQ(numeric_from_int128(max38 + 1, 38, 0, &n), NUMERIC_OVERFLOW);
  EXPECT_EQ(numeric_from_int128(-max38 - 1, 38, 0, &n), NUMERIC_OVERFLOW);
  const i128 min128 = static_cast<i128>(static_cast<unsigned __int128>(1) << 127);
  EXPECT_EQ(numeric_from_int128(min128, 38, 0, &n), NUMERIC_OVERFLOW);
  i128 back = 0;
  SQL_NUMERIC_STRUCT v = Auto("-12345678901234567890123456789.987");
  ASSERT_EQ(numeric_to_int128(&v, &back), NUMERIC_OK);
  EXPECT_EQ(Fmt(back, 0), "-12345678901234567890123456789");
}

struct ToIntCase {
  const char* text;
  int status;
  int64_t expected;
};

TEST(NumericConvert, ToInt64) {
  constexpr int64_t kMin = std::numeric_limits<int64_t>::min();
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  const ToIntCase cases[] = {
      {"0", NUMERIC_OK, 0},
      {"-0.5", NUMERIC_OK, 0},
      {"1.9", NUMERIC_OK, 1},
      {"-1.9", NUMERIC_OK, -1},
      {"9223372036854775807", NUMERIC_OK, kMax},
      {"9223372036854775807.999", NUMERIC_OK, kMax},
      {"9223372036854775808", NUMERIC_OVERFLOW, 0},
      {"-9223372036854775808", NUMERIC_OK, kMin},
      {"-9223372036854775808.99", NUMERIC_OK, kMin},
      {"-9223372036854775809", NUMERIC_OVERFLOW, 0},
      {kMax38, NUMERIC_OVERFLOW, 0},
      {"0.99999999999999999999999999999999999999", NUMERIC_OK, 0},
  };
  for (const ToIntCase& c : cases) {
    SCOPED_TRACE(c.text);
    SQL_NUMERIC_STRUCT n = Auto(c.text);
    int64_t v = 12345;
    EXPECT_EQ(StatusName(numeric_to_int64(&n, &v)), StatusName(c.status));
    if (c.status == NUMERIC_OK) {
      EXPECT_EQ(v, c.expected);
    } else {
      EXPECT_EQ(v, 12345);
    }
  }
}

struct FromDoubleCase {
  double value;
  int precision;
  int scale;
  int status;
  const char* expected;
};

TEST(NumericConvert, FromDouble) {
  const FromDoubleCase cases[] = {
      {0.1, 38, 20, NUMERIC_OK, "0.10000000000000000000"},
      {0.3, 10, 1, NUMERIC_OK, "0.3"},
      {-0.1, 38, 30, NUMERIC_OK, "-0.100000000000000000000000000000"},
      {1.0 / 3.0, 38, 20, NUMERIC_OK, "0.33333333333333330000"},
      {-2.5, 10, 0, NUMERIC_ROUNDED, "-3"},
      {2.5, 10, 0, NUMERIC_ROUNDED, "3"},
      {0.125, 10, 2, NUMERIC_ROUNDED, "0.13"},
      {1.005, 10, 2, NUMERIC_ROUNDED, "1.01"},  // shortest text is "1.005"
      {-0.0, 5, 2, NUMERIC_OK, "0.00"},
      {0.0, 5, 0, NUMERIC_OK, "0"},
      {1e-300, 38, 10, NUMERIC_ROUNDED, "0.0000000000"},
      {5e-324, 38, 38, NUMERIC_ROUNDED, "0.00000000000000000000000000000000000000"},
      {1e38, 38, 0, NUMERIC_OVERFLOW, nullptr},
      {-1e38, 38, 0, NUMERIC_OVERFLOW, nullptr},
      {9.999e37, 38, 0, NUMERIC_OK, "99990000000000000000000000000000000000"},
      {-9.999e37, 38, 0, NUMERIC_OK, "-99990000000000000000000000000000000000"},
      {9.999e37, 38, 1, NUMERIC_OVERFLOW, nullptr},
      {1.7976931348623157e308, 38, 0, NUMERIC_OVERFLOW, nullptr},
      {9223372036854775807.0, 38, 0, NUMERIC_OK, "9223372036854776000"},
      {123456789012345678.0, 38, 0, NUMERIC_OK, "123456789012345680"},
      {1e-5, 10, 5, NUMERIC_OK, "0.00001"},
      {12345.678, 10, 3, NUMERIC_OK, "12345.678"},
      {12345.678, 7, 3, NUMERIC_OVERFLOW, nullptr},
      // 2^-24: "%.16g" does not round-trip (power-of-two boundary), "%.17g" is exact.
      {5.9604644775390625e-08, 38, 38, NUMERIC_OK, "0.00000005960464477539062500000000000000"},
      {0.5, 38, 38, NUMERIC_OK, "0.50000000000000000000000000000000000000"},
  };
  for (const FromDoubleCase& c : cases) {
    SCOPED_TRACE(c.value);
    SQL_NUMERIC_STRUCT n;
    int s = numeric_from_double(c.value, c.precision, c.scale, &n);
    EXPECT_EQ(StatusName(s), StatusName(c.status));
    if (s >= 0) {
      ASSERT_NE(c.expected, nullptr);
      EXPECT_EQ(Text(n), c.expected);
    }
  }
  SQL_NUMERIC_STRUCT n;
  EXPECT_EQ(numeric_from_double(std::nan(""), 38, 0, &n), NUMERIC_INVALID);
  EXPECT_EQ(numeric_from_double(std::numeric_limits<double>::infinity(), 38, 0, &n),
            NUMERIC_INVALID);
  EXPECT_EQ(numeric_from_double(-std::numeric_limits<double>::infinity(), 38, 0, &n),
            NUMERIC_INVALID);
  EXPECT_EQ(numeric_from_double(1.0, 39, 0, &n), NUMERIC_INVALID);
}

TEST(NumericConvert, ToDouble) {
  const char* texts[] = {"0.1",
                         "-1.5",
                         "0",
                         kMax38,
                         "-99999999999999999999999999999999999999",
                         "0.00000000000000000000000000000000000001",
                         "12345678901234567890.123456789012345678",
                         "9223372036854775807",
                         "-9223372036854775808",
                         "0.33333333333333333333333333333333333333",
                         "9007199254740993",  // 2^53 + 1: ties to even
                         "99990000000000000000000000000000000000",
                         "1.7976931348623157"};
  for (const char* t : texts) {
    SCOPED_TRACE(t);
    SQL_NUMERIC_STRUCT n = Auto(t);
    EXPECT_EQ(numeric_to_double(&n), std::strtod(t, nullptr));
  }
  SQL_NUMERIC_STRUCT a = Auto("0.1");
  EXPECT_EQ(numeric_to_double(&a), 0.1);
  SQL_NUMERIC_STRUCT m = Auto(kMax38);
  EXPECT_EQ(numeric_to_double(&m), 1e38);
  SQL_NUMERIC_STRUCT neg_zero = Raw(0, 3);
  neg_zero.sign = 0;
  EXPECT_FALSE(std::signbit(numeric_to_double(&neg_zero)));
  // Double -> numeric -> double is the identity for values that fit.
  for (double d : {0.1, -0.7, 123.456, 1e-10, 9.999e37, 3.141592653589793, 2.0 / 3.0}) {
    SQL_NUMERIC_STRUCT x;
    ASSERT_GE(numeric_from_double(d, 38, d > 1e30 ? 0 : 30, &x), 0);
    EXPECT_EQ(numeric_to_double(&x), d) << d;
  }
}

// ---------------------------------------------------------------------------------------------
// Rescale

struct RescaleCase {
  const char* text;
  int precision;
  int scale;
  int status;
  const char* expected;
};

TEST(NumericRescale, Table) {
  const RescaleCase cases[] = {
      {"123.456", 10, 2, NUMERIC_ROUNDED, "123.46"},
      {"123.455", 10, 2, NUMERIC_ROUNDED, "123.46"},
      {"-123.455", 10, 2, NUMERIC_ROUNDED, "-123.46"},
      {"-123.454", 10, 2, NUMERIC_ROUNDED, "-123.45"},
      {"123.450", 10, 2, NUMERIC_OK, "123.45"},
      {"123.45", 6, 3, NUMERIC_OK, "123.450"},
      {"123.45", 5, 3, NUMERIC_OVERFLOW, nullptr},
      {"99.5", 2, 0, NUMERIC_OVERFLOW, nullptr},
      {"99.4", 2, 0, NUMERIC_ROUNDED, "99"},
      {"-99.5", 3, 0, NUMERIC_ROUNDED, "-100"},
      {"-0.4", 5, 0, NUMERIC_ROUNDED, "0"},
      {"-0.5", 5, 0, NUMERIC_ROUNDED, "-1"},
      {"0.00000000000000000000000000000000000001", 38, 0, NUMERIC_ROUNDED, "0"},
      {"0.00000000000000000000000000000000000005", 38, 37, NUMERIC_ROUNDED,
       "0.0000000000000000000000000000000000001"},
      {"0.99999999999999999999999999999999999999", 38, 0, NUMERIC_ROUNDED, "1"},
      {"1", 38, 37, NUMERIC_OK, "1.0000000000000000000000000000000000000"},
      {"1", 38, 38, NUMERIC_OVERFLOW, nullptr},
      {kMax38, 38, 1, NUMERIC_OVERFLOW, nullptr},
      {kMax38, 38, 0, NUMERIC_OK, kMax38},
      {kMax38, 37, 0, NUMERIC_OVERFLOW, nullptr},
      {"0", 1, 1, NUMERIC_OK, "0.0"},
      {"5", 0, 38, NUMERIC_OVERFLOW, nullptr},
      {"0.5", 0, 38, NUMERIC_OK, "0.50000000000000000000000000000000000000"},
      {"1.5", 39, 0, NUMERIC_INVALID, nullptr},
      {"1.5", 5, 6, NUMERIC_INVALID, nullptr},
      {"1.5", 5, -1, NUMERIC_INVALID, nullptr},
  };
  for (const RescaleCase& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " -> p" + std::to_string(c.precision) + " s" +
                 std::to_string(c.scale));
    SQL_NUMERIC_STRUCT in = Auto(c.text), out;
    int s = numeric_rescale(&in, c.precision, c.scale, &out);
    EXPECT_EQ(StatusName(s), StatusName(c.status));
    if (s >= 0) {
      ASSERT_NE(c.expected, nullptr);
      EXPECT_EQ(Text(out), c.expected);
      EXPECT_EQ(out.precision, c.precision ? c.precision : 38);
      EXPECT_EQ(out.scale, c.scale);
    }
  }
  SQL_NUMERIC_STRUCT x = Auto("2.675");
  ASSERT_EQ(numeric_rescale(&x, 5, 2, &x), NUMERIC_ROUNDED);  // in place
  EXPECT_EQ(Text(x), "2.68");
}

// ---------------------------------------------------------------------------------------------
// Property test against independent __int128 arithmetic.

i128 RoundDiv(i128 n, i128 d) {
  i128 q = n / d, r = n % d;
  if (r != 0) {
    i128 ar = r < 0 ? -r : r, ad = d < 0 ? -d : d;
    if (2 * ar >= ad) q += ((n < 0) != (d < 0)) ? -1 : 1;
  }
  return q;
}

TEST(NumericProperty, RandomAgainstInt128) {
  std::mt19937_64 rng(20240611);
  auto random_value = [&](i128* v, int* scale) {
    int digits = static_cast<int>(rng() % 18) + 1;
    i128 m = static_cast<i128>(rng() % static_cast<uint64_t>(Pow10(digits)));
    if (rng() % 8 == 0) m = 0;
    *v = (rng() & 1) ? -m : m;
    *scale = static_cast<int>(rng() % 7);  // 0..6
  };
  for (int iter = 0; iter < 5000; ++iter) {
    i128 va, vb;
    int sa, sb;
    random_value(&va, &sa);
    random_value(&vb, &sb);
    SCOPED_TRACE("a=" + Fmt(va, sa) + " b=" + Fmt(vb, sb));
    SQL_NUMERIC_STRUCT a = Raw(va, sa), b = Raw(vb, sb), out;

    // Text round trip.
    std::string ta = Fmt(va, sa);
    ASSERT_EQ(Text(a), ta);
    SQL_NUMERIC_STRUCT parsed;
    ASSERT_EQ(numeric_from_text(ta.c_str(), ta.size(), 38, sa, &parsed), NUMERIC_OK);
    ASSERT_EQ(numeric_cmp(&parsed, &a), 0);
    ASSERT_EQ(Text(parsed), ta);

    const int s = sa > sb ? sa : sb;
    const i128 xa = va * Pow10(s - sa), xb = vb * Pow10(s - sb);

    ASSERT_EQ(numeric_add(&a, &b, &out), NUMERIC_OK);
    EXPECT_EQ(Text(out), Fmt(xa + xb, s));
    ASSERT_EQ(numeric_sub(&a, &b, &out), NUMERIC_OK);
    EXPECT_EQ(Text(out), Fmt(xa - xb, s));
    ASSERT_EQ(numeric_mul(&a, &b, &out), NUMERIC_OK);
    EXPECT_EQ(Text(out), Fmt(va * vb, sa + sb));
    EXPECT_EQ(out.scale, sa + sb);

    if (vb != 0) {
      const int ds = sa + sb > 6 ? sa + sb : 6;
      const i128 n = va * Pow10(ds - sa + sb);  // < 10^18 * 10^18
      ASSERT_EQ(numeric_div(&a, &b, &out), NUMERIC_OK);
      EXPECT_EQ(Text(out), Fmt(RoundDiv(n, vb), ds));
    } else {
      EXPECT_EQ(numeric_div(&a, &b, &out), NUMERIC_DIVISION_BY_ZERO);
    }

    EXPECT_EQ(Sign(numeric_cmp(&a, &b)), (xa > xb) - (xa < xb));

    int64_t i64 = 0;
    ASSERT_EQ(numeric_to_int64(&a, &i64), NUMERIC_OK);
    EXPECT_EQ(i64, static_cast<int64_t>(va / Pow10(sa)));
    EXPECT_EQ(numeric_to_double(&a), std::strtod(ta.c_str(), nullptr));

    // Rescale to a random scale against rounding computed here.
    const int ns = static_cast<int>(rng() % 8);
    const i128 expected = ns >= sa ? va * Pow10(ns - sa) : RoundDiv(va, Pow10(sa - ns));
    const int st = numeric_rescale(&a, 38, ns, &out);
    ASSERT_GE(st, 0);
    EXPECT_EQ(Text(out), Fmt(expected, ns));
    EXPECT_EQ(st == NUMERIC_ROUNDED, ns < sa && va % Pow10(sa - ns) != 0);
  }
}

// numeric_from_double agrees with parsing the shortest round-tripping "%.15g"/"%.16g"/"%.17g".
TEST(NumericProperty, FromDoubleMatchesPrintf) {
  std::mt19937_64 rng(77);
  for (int iter = 0; iter < 20000; ++iter) {
    double d = static_cast<double>(rng() % 100000000000000000ull) *
               std::pow(10.0, static_cast<int>(rng() % 41) - 30);
    if (rng() & 1) d = -d;
    if (iter % 4 == 0) d = std::ldexp(1.0, static_cast<int>(rng() % 160) - 100);
    char text[64];
    for (int p = 15; p <= 17; ++p) {
      std::snprintf(text, sizeof text, "%.*g", p, d);
      if (std::strtod(text, nullptr) == d) break;
    }
    SCOPED_TRACE(text);
    const int scale = static_cast<int>(rng() % 39);
    SQL_NUMERIC_STRUCT want, got;
    std::memset(&want, 0, sizeof want);
    std::memset(&got, 0, sizeof got);
    const int sw = numeric_from_text(text, std::strlen(text), 38, scale, &want);
    const int sg = numeric_from_double(d, 38, scale, &got);
    ASSERT_EQ(StatusName(sg), StatusName(sw));
    if (sw >= 0) {
      ASSERT_EQ(Text(got), Text(want));
    }
  }
}

}  // namespace
