// Interval totals, normalisation and ordering.
#include <gtest/gtest.h>

#include <cstring>

#include "support/interval.h"

namespace {

SQL_INTERVAL_STRUCT DayTime(SQLINTERVAL type, bool negative, unsigned d, unsigned h, unsigned m,
                            unsigned s, unsigned fraction = 0) {
  SQL_INTERVAL_STRUCT v{};
  v.interval_type = type;
  v.interval_sign = negative ? SQL_TRUE : SQL_FALSE;
  v.intval.day_second = {d, h, m, s, fraction};
  return v;
}

SQL_INTERVAL_STRUCT YearMonth(SQLINTERVAL type, bool negative, unsigned y, unsigned m) {
  SQL_INTERVAL_STRUCT v{};
  v.interval_type = type;
  v.interval_sign = negative ? SQL_TRUE : SQL_FALSE;
  v.intval.year_month = {y, m};
  return v;
}

bool SameFields(const SQL_INTERVAL_STRUCT& a, const SQL_INTERVAL_STRUCT& b) {
  return a.interval_type == b.interval_type && a.interval_sign == b.interval_sign &&
         std::memcmp(&a.intval, &b.intval, sizeof a.intval) == 0;
}

TEST(IntervalNormalise, CarriesWithinTheTypesFields) {
  struct Case {
    SQL_INTERVAL_STRUCT in;
    SQL_INTERVAL_STRUCT expected;
  } cases[] = {
      {DayTime(SQL_IS_DAY_TO_SECOND, false, 0, 25, 61, 61),
       DayTime(SQL_IS_DAY_TO_SECOND, false, 1, 2, 2, 1)},
      {DayTime(SQL_IS_HOUR_TO_SECOND, false, 0, 25, 61, 61),
       DayTime(SQL_IS_HOUR_TO_SECOND, false, 0, 26, 2, 1)},
      {DayTime(SQL_IS_MINUTE_TO_SECOND, true, 0, 0, 0, 3725, 250),
       DayTime(SQL_IS_MINUTE_TO_SECOND, true, 0, 0, 62, 5, 250)},
      {DayTime(SQL_IS_DAY_TO_HOUR, false, 1, 48, 0, 0),
       DayTime(SQL_IS_DAY_TO_HOUR, false, 3, 0, 0, 0)},
      {DayTime(SQL_IS_SECOND, false, 0, 0, 0, 90061, 5),
       DayTime(SQL_IS_SECOND, false, 0, 0, 0, 90061, 5)},
      {YearMonth(SQL_IS_YEAR_TO_MONTH, true, 1, 30), YearMonth(SQL_IS_YEAR_TO_MONTH, true, 3, 6)},
      {YearMonth(SQL_IS_MONTH, false, 0, 30), YearMonth(SQL_IS_MONTH, false, 0, 30)},
      // A negative zero becomes a plain zero.
      {DayTime(SQL_IS_DAY, true, 0, 0, 0, 0), DayTime(SQL_IS_DAY, false, 0, 0, 0, 0)},
  };
  for (const auto& c : cases) {
    SQL_INTERVAL_STRUCT v = c.in;
    int64_t fraction = 0;
    int64_t units = get_base_value(&v, &fraction);
    ASSERT_EQ(normalise_interval(units, fraction, &v), 0);
    EXPECT_TRUE(SameFields(v, c.expected)) << "type " << c.in.interval_type;
  }
}

TEST(IntervalNormalise, BaseValuesFractionsAndOverflow) {
  SQL_INTERVAL_STRUCT v = DayTime(SQL_IS_DAY_TO_SECOND, true, 1, 2, 3, 4, 500000000);
  int64_t fraction = 0;
  EXPECT_EQ(get_base_value(&v, &fraction), -(86400 + 7200 + 180 + 4));
  EXPECT_EQ(fraction, -500000000);
  // Units and a fraction of opposite signs still give one consistent interval.
  SQL_INTERVAL_STRUCT w{};
  w.interval_type = SQL_IS_SECOND;
  ASSERT_EQ(normalise_interval(2, -500000000, &w), 0);
  EXPECT_EQ(w.intval.day_second.second, 1u);
  EXPECT_EQ(w.intval.day_second.fraction, 500000000u);
  EXPECT_EQ(w.interval_sign, SQL_FALSE);
  SQL_INTERVAL_STRUCT big{};
  big.interval_type = SQL_IS_SECOND;
  EXPECT_EQ(normalise_interval(int64_t{1} << 40, 0, &big), -1);
  big.interval_type = SQL_IS_DAY;
  EXPECT_EQ(normalise_interval(int64_t{1} << 40, 0, &big), 0);
  SQL_INTERVAL_STRUCT bad{};
  bad.interval_type = static_cast<SQLINTERVAL>(42);
  EXPECT_EQ(normalise_interval(1, 0, &bad), -1);
}

TEST(IntervalCompare, TotalsAcrossTypesAndSigns) {
  struct Case {
    SQL_INTERVAL_STRUCT a, b;
    int sign;
  } cases[] = {
      {YearMonth(SQL_IS_YEAR, false, 1, 0), YearMonth(SQL_IS_MONTH, false, 0, 12), 0},
      {YearMonth(SQL_IS_YEAR_TO_MONTH, false, 1, 1), YearMonth(SQL_IS_MONTH, false, 0, 12), 1},
      {YearMonth(SQL_IS_YEAR, true, 2, 0), YearMonth(SQL_IS_YEAR, true, 1, 0), -1},
      {YearMonth(SQL_IS_YEAR, true, 1, 0), YearMonth(SQL_IS_MONTH, false, 0, 1), -1},
      {DayTime(SQL_IS_DAY, false, 1, 0, 0, 0), DayTime(SQL_IS_HOUR_TO_SECOND, false, 0, 24, 0, 0),
       0},
      {DayTime(SQL_IS_DAY, false, 1, 0, 0, 0),
       DayTime(SQL_IS_HOUR_TO_SECOND, false, 0, 23, 59, 59, 999999999), 1},
      {DayTime(SQL_IS_SECOND, true, 0, 0, 0, 1, 1), DayTime(SQL_IS_SECOND, true, 0, 0, 0, 1), -1},
      // Year-month intervals sort before day-time ones whatever their size.
      {YearMonth(SQL_IS_YEAR, false, 99, 0), DayTime(SQL_IS_SECOND, true, 0, 0, 0, 5), -1},
  };
  for (const auto& c : cases) {
    int order = compare_interval(&c.a, &c.b);
    EXPECT_EQ((order > 0) - (order < 0), c.sign)
        << c.a.interval_type << " vs " << c.b.interval_type;
    int reverse = compare_interval(&c.b, &c.a);
    EXPECT_EQ((reverse > 0) - (reverse < 0), -c.sign);
  }
}

TEST(IntervalCompare, AgainstNumbersAndMismatches) {
  SQL_INTERVAL_STRUCT days = DayTime(SQL_IS_DAY, true, 3, 0, 0, 0);
  int32_t minus_three = -3;
  int64_t two = 2;
  double minus_two_half = -2.5;
  EXPECT_EQ(interval_compare(&days, &minus_three, 1, nullptr), 0);
  EXPECT_LT(interval_compare(&days, &two, 12, nullptr), 0);
  EXPECT_LT(interval_compare(&days, &minus_two_half, 2, nullptr), 0);
  SQL_INTERVAL_STRUCT months = YearMonth(SQL_IS_MONTH, false, 0, 3);
  EXPECT_EQ(interval_compare(&days, &months, 13, nullptr), INTERVAL_NOT_COMPARABLE);
  SQL_INTERVAL_STRUCT multi = DayTime(SQL_IS_DAY_TO_HOUR, false, 1, 1, 0, 0);
  EXPECT_EQ(interval_compare(&multi, &two, 12, nullptr), INTERVAL_NOT_COMPARABLE);
  EXPECT_EQ(interval_compare(&days, &two, 5, nullptr), INTERVAL_NOT_COMPARABLE);
}

}  // namespace
