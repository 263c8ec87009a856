// The flat form: every value kind survives value_to_dm/dm_to_value, and compare_dm
// orders exactly as compare_values over generated values of each SQL type.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/dm.h"
#include "support/interval.h"

namespace {

int Sign(int x) {
  return (x > 0) - (x < 0);
}

class DmTest : public testing::Test {
 protected:
  void SetUp() override { pool_ = quill_mem_alloc_handle(nullptr); }
  void TearDown() override { quill_mem_release_handle(pool_); }

  // A random value of the value kind of `sql_type` (declared length `length`); about one in
  // eight is NULL. Small ranges make ties common.
  QuillValue* Random(int sql_type, int32_t length) {
    QuillValue* v = NewValue(pool_, length);
    int kind = sql_to_value_type(sql_type);
    if (rng_() % 8 == 0) {
      set_value_null(v, kind);
      return v;
    }
    auto pick = [this](int n) { return static_cast<int>(rng_() % static_cast<unsigned>(n)); };
    switch (kind) {
      case VALUE_INTEGER:
        set_value_to_int(v, pick(2) ? pick(21) - 10 : static_cast<int32_t>(rng_()));
        break;
      case VALUE_BIGINT:
        set_value_to_bigint(v, pick(2) ? pick(21) - 10 : static_cast<int64_t>(rng_() * rng_()));
        break;
      case VALUE_DOUBLE:
        set_value_to_double(v, (pick(41) - 20) / 4.0 * (pick(3) ? 1 : 1e200));
        break;
      case VALUE_CHARACTER:
      case VALUE_BINARY: {
        std::string s;
        int n = pick(length + 1);
        for (int i = 0; i < n; ++i)
          s += kind == VALUE_CHARACTER ? "ab "[pick(3)] : static_cast<char>(pick(3) * 127);
        if (kind == VALUE_CHARACTER)
          set_value_to_text(v, s.data(), s.size());
        else
          set_value_to_binary(v, s.data(), s.size());
        break;
      }
      case VALUE_DATE: {
        SQL_DATE_STRUCT d{static_cast<SQLSMALLINT>(1999 + pick(3)),
                          static_cast<SQLUSMALLINT>(1 + pick(12)),
                          static_cast<SQLUSMALLINT>(1 + pick(28))};
        set_value_to_date(v, &d);
        break;
      }
      case VALUE_TIME: {
        SQL_TIME_STRUCT t{static_cast<SQLUSMALLINT>(pick(24)), static_cast<SQLUSMALLINT>(pick(3)),
                          static_cast<SQLUSMALLINT>(pick(60))};
        set_value_to_time(v, &t);
        break;
      }
      case VALUE_TIMESTAMP: {
        SQL_TIMESTAMP_STRUCT ts{static_cast<SQLSMALLINT>(2000 + pick(2)),
                                static_cast<SQLUSMALLINT>(1 + pick(2)),
                                static_cast<SQLUSMALLINT>(1 + pick(3)),
                                static_cast<SQLUSMALLINT>(pick(2)),
                                0,
                                static_cast<SQLUSMALLINT>(pick(2)),
                                static_cast<SQLUINTEGER>(pick(3) * 1000)};
        set_value_to_timestamp(v, &ts);
        break;
      }
      case VALUE_NUMERIC: {
        char text[64];
        std::snprintf(text, sizeof text, "%s%d.%04d", pick(2) ? "-" : "",
                      pick(2) ? pick(5) : static_cast<int>(rng_() % 1000000000), pick(3) * 2500);
        EXPECT_GE(string_to_numeric(text, v, 20, 4), 0);
        break;
      }
      default: {
        SQL_INTERVAL_STRUCT i{};
        i.interval_type = static_cast<SQLINTERVAL>(sql_type - 100);
        int64_t fraction = is_day_time_interval(i.interval_type) ? pick(2) * 500000000 : 0;
        int64_t units = pick(200) - 100;
        EXPECT_EQ(normalise_interval(units, units < 0 ? -fraction : fraction, &i), 0);
        set_interval_payload(v, &i, 2 + pick(3));
      }
    }
    return v;
  }

  MemPool* pool_ = nullptr;
  std::mt19937_64 rng_{20240229};
};

struct Column {
  int sql_type;
  int32_t length;
};

const Column kColumns[] = {
    {SQL_INTEGER, 4},
    {SQL_BIT, 1},
    {SQL_BIGINT, 19},
    {SQL_DOUBLE, 15},
    {SQL_VARCHAR, 6},
    {SQL_CHAR, 0},
    {SQL_VARBINARY, 4},
    {SQL_TYPE_DATE, 10},
    {SQL_TYPE_TIME, 8},
    {SQL_TYPE_TIMESTAMP, 26},
    {SQL_NUMERIC, 20},
    {SQL_INTERVAL_YEAR, 2},
    {SQL_INTERVAL_YEAR_TO_MONTH, 5},
    {SQL_INTERVAL_DAY_TO_SECOND, 12},
    {SQL_INTERVAL_HOUR_TO_MINUTE, 5},
    {SQL_INTERVAL_MINUTE_TO_SECOND, 9},
    {SQL_INTERVAL_SECOND, 9},
};

TEST_F(DmTest, RoundTripAndOrderMatchCompareValues) {
  for (const Column& column : kColumns) {
    SCOPED_TRACE(testing::Message() << "SQL type " << column.sql_type);
    int32_t payload = get_dm_length(column.sql_type, column.length);
    ASSERT_GE(payload, 0);
    size_t slot = DM_HEADER_SIZE + static_cast<size_t>(payload);
    std::vector<QuillValue*> values;
    std::vector<std::vector<unsigned char>> dms;
    for (int i = 0; i < 250; ++i) {
      QuillValue* v = Random(column.sql_type, column.length);
      std::vector<unsigned char> dm(slot + 1, 0xEE);
      int32_t written = value_to_dm(dm.data(), v);
      ASSERT_GT(written, 0);
      ASSERT_LE(static_cast<size_t>(written), slot);
      ASSERT_EQ(dm[slot], 0xEE);  // nothing past the slot

      QuillValue* back = NewValue(pool_, 0);
      ASSERT_EQ(dm_to_value(dm.data(), back), 0);
      ASSERT_EQ(back->kind, v->kind);
      ASSERT_EQ(is_value_null(back), is_value_null(v));
      ASSERT_EQ(compare_values(back, v), 0);
      char a[VALUE_TEXT_SIZE], b[VALUE_TEXT_SIZE];
      value_as_text(v, a);
      value_as_text(back, b);
      ASSERT_STREQ(a, b);  // also tells trailing blanks and numeric scale apart
      if (v->kind == VALUE_YEAR_MONTH_INTERVAL || v->kind == VALUE_DAY_TIME_INTERVAL) {
        EXPECT_EQ(back->interval_precision, v->interval_precision);
        EXPECT_EQ(back->payload.interval.interval_type, v->payload.interval.interval_type);
      }
      values.push_back(v);
      dms.push_back(dm);
    }
    for (size_t i = 0; i < values.size(); ++i)
      for (size_t j = 0; j < values.size(); ++j)
        ASSERT_EQ(Sign(compare_dm(dms[i].data(), dms[j].data(), 0)),
                  Sign(compare_values(values[i], values[j])))
            << i << " vs " << j;
  }
}

TEST_F(DmTest, LengthsAndRefusals) {
  struct Case {
    int sql_type;
    int32_t length, expected;
  } cases[] = {{SQL_CHAR, 10, 11},          {SQL_VARBINARY, 16, 16},   {SQL_INTEGER, 0, 4},
               {SQL_DOUBLE, 0, 8},          {SQL_TYPE_DATE, 0, 6},     {SQL_TYPE_TIMESTAMP, 0, 16},
               {SQL_NUMERIC, 38, 19},       {SQL_INTERVAL_DAY, 2, 28}, {SQL_LONGVARCHAR, 100, 0},
               {SQL_LONGVARBINARY, 100, 0}, {SQL_WCHAR, 5, -1},        {SQL_CHAR, -1, -1}};
  for (const auto& c : cases)
    EXPECT_EQ(get_dm_length(c.sql_type, c.length), c.expected) << c.sql_type;

  unsigned char dm[64] = {};
  QuillValue* long_value = NewValue(pool_, 0);
  set_value_null(long_value, VALUE_LONG_CHARACTER);
  EXPECT_EQ(value_to_dm(dm, long_value), -1);
  QuillValue* too_long = NewValue(pool_, 2);
  too_long->length = 2;
  set_value_to_text(too_long, "abc", 3);  // raises the declared length to 3
  too_long->length = 2;
  EXPECT_EQ(value_to_dm(dm, too_long), -1);
  std::memset(dm, 0, sizeof dm);
  int32_t unknown_kind = 77;
  std::memcpy(dm, &unknown_kind, 4);
  EXPECT_EQ(dm_to_value(dm, NewValue(pool_, 0)), -1);

  QuillValue* no_total = NewValue(pool_, 4);
  set_value_to_text(no_total, "", 0);
  no_total->indicator = SQL_NO_TOTAL;
  ASSERT_GT(value_to_dm(dm, no_total), 0);
  QuillValue* back = NewValue(pool_, 0);
  ASSERT_EQ(dm_to_value(dm, back), 0);
  EXPECT_EQ(back->indicator, SQL_NO_TOTAL);
}

}  // namespace
