// Calendar arithmetic: Julian day numbers, weekdays, validity and timestamp shifts.
#include <gtest/gtest.h>

#include <random>

#include "support/datetime.h"

namespace {

SQL_TIMESTAMP_STRUCT Ts(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, unsigned f = 0) {
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = static_cast<SQLSMALLINT>(y);
  ts.month = static_cast<SQLUSMALLINT>(mo);
  ts.day = static_cast<SQLUSMALLINT>(d);
  ts.hour = static_cast<SQLUSMALLINT>(h);
  ts.minute = static_cast<SQLUSMALLINT>(mi);
  ts.second = static_cast<SQLUSMALLINT>(s);
  ts.fraction = f;
  return ts;
}

TEST(DateTimeJulian, KnownDaysAndWeekdays) {
  struct Case {
    int y, m, d;
    int64_t jdn;
    int dow;
  } cases[] = {
      {2000, 1, 1, 2451545, 6},   {1970, 1, 1, 2440588, 4},  {1600, 3, 1, 2305508, 3},
      {1900, 3, 1, 2415080, 4},   {2024, 2, 29, 2460370, 4}, {1582, 10, 15, 2299161, 5},
      {9999, 12, 31, 5373484, 5}, {1, 1, 1, 1721426, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.y << "-" << c.m << "-" << c.d);
    EXPECT_EQ(ymd_to_jdnl(c.y, c.m, c.d), c.jdn);
    EXPECT_EQ(jdnl_to_dow(c.jdn), c.dow);
  }
}

TEST(DateTimeJulian, RoundTripEveryDay1600To2400) {
  int64_t jdn = ymd_to_jdnl(1600, 1, 1);
  for (int y = 1600; y <= 2400; ++y) {
    for (int m = 1; m <= 12; ++m) {
      for (int d = 1; d <= days_in_month(y, m); ++d, ++jdn) {
        ASSERT_EQ(ymd_to_jdnl(y, m, d), jdn) << y << "-" << m << "-" << d;
        int ry = 0, rm = 0, rd = 0;
        jdnl_to_ymd(jdn, &ry, &rm, &rd);
        ASSERT_TRUE(ry == y && rm == m && rd == d) << jdn;
      }
    }
  }
}

TEST(DateTimeCalendar, LeapYearsAndValidity) {
  EXPECT_FALSE(is_leap_year(1900));
  EXPECT_TRUE(is_leap_year(2000));
  EXPECT_TRUE(is_leap_year(2024));
  EXPECT_FALSE(is_leap_year(2023));
  struct Case {
    int y, m, d;
    bool valid;
  } cases[] = {{1900, 2, 29, false}, {2000, 2, 29, true},  {2023, 2, 29, false},
               {2024, 4, 31, false}, {2024, 13, 1, false}, {2024, 0, 1, false},
               {0, 1, 1, false},     {2024, 12, 31, true}};
  for (const auto& c : cases) {
    SQL_DATE_STRUCT date{static_cast<SQLSMALLINT>(c.y), static_cast<SQLUSMALLINT>(c.m),
                         static_cast<SQLUSMALLINT>(c.d)};
    EXPECT_EQ(is_valid_date(&date), c.valid) << c.y << "-" << c.m << "-" << c.d;
  }
}

TEST(DateTimeShift, AddSecondsAcrossCarries) {
  struct Case {
    SQL_TIMESTAMP_STRUCT from;
    int64_t seconds;
    SQL_TIMESTAMP_STRUCT expected;
  } cases[] = {
      {Ts(1900, 2, 28), 86400, Ts(1900, 3, 1)},
      {Ts(2000, 2, 28), 86400, Ts(2000, 2, 29)},
      {Ts(2024, 2, 29), 86400, Ts(2024, 3, 1)},
      {Ts(2023, 12, 31, 23, 59, 59, 500), 1, Ts(2024, 1, 1, 0, 0, 0, 500)},
      {Ts(2024, 1, 1), -1, Ts(2023, 12, 31, 23, 59, 59)},
      {Ts(2024, 3, 1, 0, 30), -3600, Ts(2024, 2, 29, 23, 30)},
      {Ts(2024, 1, 31), 31LL * 86400, Ts(2024, 3, 2)},
      {Ts(2000, 1, 1), -86400LL * 365, Ts(1999, 1, 1)},
      {Ts(2024, 5, 5, 5, 5, 5), 0, Ts(2024, 5, 5, 5, 5, 5)},
  };
  for (const auto& c : cases) {
    SQL_TIMESTAMP_STRUCT result{}, scratch{};
    ASSERT_EQ(timestamp_add_noconvert(&result, &scratch, &c.from, c.seconds), 0);
    EXPECT_EQ(timestamp_compare(&result, &c.expected), 0)
        << c.from.year << "-" << c.from.month << "-" << c.from.day << " + " << c.seconds << " gave "
        << result.year << "-" << result.month << "-" << result.day << " " << result.hour << ":"
        << result.minute << ":" << result.second;
  }
}

TEST(DateTimeShift, OutOfRangeIsRefusedAndAliasingWorks) {
  SQL_TIMESTAMP_STRUCT ts = Ts(9999, 12, 31, 23, 59, 59), result = Ts(2000, 1, 1);
  EXPECT_EQ(timestamp_add_noconvert(&result, nullptr, &ts, 1), -1);
  EXPECT_EQ(result.year, 2000);  // untouched on failure
  SQL_TIMESTAMP_STRUCT first = Ts(1, 1, 1);
  EXPECT_EQ(timestamp_add_noconvert(&result, nullptr, &first, -1), -1);
  EXPECT_EQ(timestamp_add_noconvert(&ts, nullptr, &ts, INT64_MAX), -1);
  SQL_TIMESTAMP_STRUCT in_place = Ts(2024, 2, 28, 12);
  ASSERT_EQ(timestamp_add_noconvert(&in_place, nullptr, &in_place, 86400), 0);
  EXPECT_EQ(in_place.day, 29);
}

TEST(DateTimeShift, AddMonthsClampsToMonthEnd) {
  struct Case {
    SQL_TIMESTAMP_STRUCT from;
    int64_t months;
    SQL_TIMESTAMP_STRUCT expected;
  } cases[] = {
      {Ts(2024, 1, 31), 1, Ts(2024, 2, 29)},    {Ts(2023, 1, 31), 1, Ts(2023, 2, 28)},
      {Ts(2024, 3, 31), -1, Ts(2024, 2, 29)},   {Ts(2024, 11, 15), 3, Ts(2025, 2, 15)},
      {Ts(2024, 1, 15), -13, Ts(2022, 12, 15)},
  };
  for (const auto& c : cases) {
    SQL_TIMESTAMP_STRUCT result{};
    ASSERT_EQ(timestamp_add_months(&result, &c.from, c.months), 0);
    EXPECT_EQ(timestamp_compare(&result, &c.expected), 0) << c.months;
  }
  SQL_TIMESTAMP_STRUCT last = Ts(9999, 12, 1), result{};
  EXPECT_EQ(timestamp_add_months(&result, &last, 1), -1);
}

TEST(DateTimeCompare, FieldOrder) {
  SQL_TIMESTAMP_STRUCT a = Ts(2024, 1, 1, 0, 0, 0, 1), b = Ts(2024, 1, 1);
  EXPECT_GT(timestamp_compare(&a, &b), 0);
  EXPECT_LT(timestamp_compare(&b, &a), 0);
  SQL_TIME_STRUCT t1{1, 0, 0}, t2{0, 59, 59};
  EXPECT_GT(time_compare(&t1, &t2), 0);
  SQL_DATE_STRUCT d1{2023, 12, 31}, d2{2024, 1, 1};
  EXPECT_LT(date_compare(&d1, &d2), 0);
  EXPECT_GE(current_year(), 2024);
  EXPECT_TRUE(current_month() >= 1 && current_month() <= 12);
  EXPECT_TRUE(current_day() >= 1 && current_day() <= 31);
}

}  // namespace
