// Parameter conversion without a Driver Manager: the pair table and SQL_C_DEFAULT
// resolution, conversion by SQL type from each kind of application value, the
// date/time and interval texts, and the data-at-execution pieces the Driver
// Manager would refuse before the driver sees them.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <string>

#include "driver/odbc/params/param_convert.h"
#include "driver/odbc/params/param_temporal.h"
#include "driver/odbc/params/param_types.h"
#include "support/memory.h"

namespace {

TEST(ParamTypes, DefaultApplicationTypes) {
  const struct {
    SQLSMALLINT sql_type;
    SQLSMALLINT c_type;
  } cases[] = {
      {SQL_CHAR, SQL_C_CHAR},
      {SQL_NUMERIC, SQL_C_CHAR},
      {SQL_BIGINT, SQL_C_CHAR},
      {SQL_LONGVARCHAR, SQL_C_CHAR},
      {SQL_INTEGER, SQL_C_SLONG},
      {SQL_SMALLINT, SQL_C_SSHORT},
      {SQL_FLOAT, SQL_C_DOUBLE},
      {SQL_REAL, SQL_C_FLOAT},
      {SQL_TYPE_DATE, SQL_C_TYPE_DATE},
      {SQL_TIME, SQL_C_TIME},
      {SQL_WVARCHAR, SQL_C_WCHAR},
      {SQL_BIT, SQL_C_BIT},
      {SQL_TINYINT, SQL_C_STINYINT},
      {SQL_LONGVARBINARY, SQL_C_BINARY},
      {SQL_INTERVAL_DAY_TO_SECOND, SQL_C_INTERVAL_DAY_TO_SECOND},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.c_type, param_default_c_type(c.sql_type)) << c.sql_type;
    EXPECT_EQ(c.c_type, param_resolve_c_type(SQL_C_DEFAULT, c.sql_type)) << c.sql_type;
    EXPECT_TRUE(param_pair_allowed(c.sql_type, SQL_C_DEFAULT)) << c.sql_type;
  }
  EXPECT_TRUE(param_pair_allowed(SQL_GUID, SQL_C_DEFAULT));
  EXPECT_FALSE(param_pair_allowed(SQL_GUID, SQL_C_CHAR));
  EXPECT_FALSE(param_pair_allowed(SQL_INTEGER, SQL_C_WCHAR));
  EXPECT_TRUE(param_pair_allowed(SQL_INTERVAL_YEAR, SQL_C_TYPE_DATE));
}

// A value converted in its own pool.
class ParamConvert : public ::testing::Test {
 protected:
  void SetUp() override {
    pool_ = quill_mem_alloc_handle(nullptr);
    value_ = NewValue(pool_, 0);
  }
  void TearDown() override {
    release_value(pool_, value_);
    quill_mem_release_handle(pool_);
  }
  // Converts `size` bytes at `data` of `c_type` for `sql_type`; the failure's SQLSTATE, or "".
  std::string convert(SQLSMALLINT c_type, const void* data, SQLLEN size, SQLSMALLINT sql_type,
                      SQLULEN column_size = 0, SQLSMALLINT precision = 0, SQLSMALLINT scale = 0) {
    ParamInput input;
    input.c_type = c_type;
    input.data = data;
    input.length = size;
    ParamTarget target;
    target.sql_type = sql_type;
    target.column_size = column_size;
    target.precision = precision;
    target.scale = scale;
    error_ = ParamError{};
    return param_convert(input, target, value_, &error_) ? "" : error_.sqlstate;
  }
  std::string text(const char* given, SQLSMALLINT sql_type, SQLULEN column_size = 0,
                   SQLSMALLINT precision = 0, SQLSMALLINT scale = 0) {
    return convert(SQL_C_CHAR, given, static_cast<SQLLEN>(std::strlen(given)), sql_type,
                   column_size, precision, scale);
  }
  std::string value_text() {
    char buffer[VALUE_TEXT_SIZE];
    int n = value_as_text(value_, buffer);
    return n < 0 ? "<none>" : std::string(buffer, static_cast<size_t>(n));
  }

  MemPool* pool_ = nullptr;
  QuillValue* value_ = nullptr;
  ParamError error_;
};

TEST_F(ParamConvert, TextBySqlType) {
  const struct {
    const char* text;
    SQLSMALLINT sql_type;
    SQLSMALLINT precision;
    SQLSMALLINT scale;
    const char* state;     // "" on success
    const char* expected;  // value text on success
  } cases[] = {
      {"2024-02-29", SQL_TYPE_DATE, 0, 0, "", "2024-02-29"},
      {"2023-02-29", SQL_TYPE_DATE, 0, 0, "22007", ""},
      {"2000-02-29", SQL_DATE, 0, 0, "", "2000-02-29"},
      {"2100-02-29", SQL_DATE, 0, 0, "22007", ""},
      {"{d '2024-01-31'}", SQL_TYPE_DATE, 0, 0, "", "2024-01-31"},
      {"{d '2024-01-31'}", SQL_TYPE_TIMESTAMP, 0, 0, "22007", ""},
      {"{ts '2024-01-31 01:02:03.5'}", SQL_TYPE_TIMESTAMP, 0, 0, "", "2024-01-31 01:02:03.5"},
      {"24:00:00", SQL_TYPE_TIME, 0, 0, "", "24:00:00"},
      {"23:59:62", SQL_TIME, 0, 0, "", "23:59:62"},
      {"23:59:63", SQL_TIME, 0, 0, "22007", ""},
      {"-1-6", SQL_INTERVAL_YEAR_TO_MONTH, 0, 0, "", "-1-06"},
      {"  -2", SQL_INTERVAL_HOUR, 0, 0, "", "-2"},
      {"100", SQL_INTERVAL_DAY, 0, 0, "22015", ""},
      {"1:2", SQL_INTERVAL_DAY, 0, 0, "HY000", ""},
      {"-12.5", SQL_DECIMAL, 6, 2, "", "-12.50"},
      {"1e2", SQL_NUMERIC, 5, 1, "", "100.0"},
      {"abc", SQL_NUMERIC, 5, 1, "22018", ""},
      {"-129", SQL_TINYINT, 0, 0, "22003", ""},
      {"-128", SQL_TINYINT, 0, 0, "", "-128"},
      {"1", SQL_BIT, 0, 0, "", "1"},
      {"-1", SQL_BIT, 0, 0, "22003", ""},
      {"+2.25", SQL_REAL, 0, 0, "", "2.25"},
      {"1e999", SQL_DOUBLE, 0, 0, "22003", ""},
      {"-9223372036854775808", SQL_BIGINT, 0, 0, "", "-9223372036854775808"},
      // "0x" quantities are numbers, read exactly.
      {"0x10913", SQL_BIGINT, 0, 0, "", "67859"},
      {"0x8000000000000000", SQL_BIGINT, 0, 0, "22003", ""},
      {"0x21e0bff3ff42b9e61a4", SQL_NUMERIC, 38, 0, "", "9998999767921991770532"},
      {"0x10913", SQL_DOUBLE, 0, 0, "", "67859"},
      {"0xzz", SQL_INTEGER, 0, 0, "22018", ""},
      {"x", SQL_GUID, 0, 0, "HY000", ""},
      // Integer application codes given as SQL types.
      {"70000", SQL_C_SLONG, 0, 0, "", "70000"},
      {"5000000000", SQL_C_SLONG, 0, 0, "22003", ""},
      {"5000000000", SQL_C_SBIGINT, 0, 0, "", "5000000000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.text << " as " << c.sql_type);
    EXPECT_EQ(c.state, text(c.text, c.sql_type, 0, c.precision, c.scale)) << error_.message;
    if (*c.state == '\0') {
      EXPECT_EQ(c.expected, value_text());
    }
  }
}

TEST_F(ParamConvert, ApplicationValuesForCharacterMarkers) {
  SQLINTEGER number = -5;
  SQLUBIGINT big = 18446744073709551615ull;
  SQLREAL real = 0.25f;
  unsigned char bytes[] = {0x00, 0x7F, 0xAB};
  SQL_TIMESTAMP_STRUCT ts{2024, 1, 2, 3, 4, 5, 0};
  EXPECT_EQ("", convert(SQL_C_SLONG, &number, 0, SQL_VARCHAR));
  EXPECT_EQ("-5", value_text());
  EXPECT_EQ("", convert(SQL_C_UBIGINT, &big, 0, SQL_CHAR));
  EXPECT_EQ("18446744073709551615", value_text());
  EXPECT_EQ("", convert(SQL_C_FLOAT, &real, 0, SQL_WVARCHAR));
  EXPECT_EQ("0.250000", value_text());
  EXPECT_EQ("", convert(SQL_C_BINARY, bytes, 3, SQL_VARCHAR));
  EXPECT_EQ("007FAB", value_text());
  EXPECT_EQ("HY000", convert(SQL_C_TYPE_TIMESTAMP, &ts, 0, SQL_VARCHAR));
  EXPECT_EQ("General error: Unsupported parameter type", error_.message);
  // The same value as a long character value.
  EXPECT_EQ("", convert(SQL_C_BINARY, bytes, 3, SQL_LONGVARCHAR));
  EXPECT_EQ(VALUE_LONG_CHARACTER, value_->kind);
  EXPECT_EQ(6, long_buffer_length(value_->long_buffer));
  EXPECT_EQ("", convert(SQL_C_BINARY, bytes, 3, SQL_LONGVARBINARY));
  EXPECT_EQ(VALUE_LONG_BINARY, value_->kind);
  EXPECT_EQ(3, long_buffer_length(value_->long_buffer));
}

TEST_F(ParamConvert, StructuresAndBinaryForDatesAndNumbers) {
  SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 23, 58, 57, 0};
  SQL_DATE_STRUCT bad_date{2023, 2, 29};
  SQL_TIME_STRUCT late{24, 0, 0};
  SQLINTEGER number = 70000;
  EXPECT_EQ("", convert(SQL_C_TYPE_TIMESTAMP, &ts, 0, SQL_TYPE_DATE));
  EXPECT_EQ("2024-02-29", value_text());
  EXPECT_EQ("", convert(SQL_C_TYPE_TIMESTAMP, &ts, 0, SQL_TYPE_TIME));
  EXPECT_EQ("23:58:57", value_text());
  EXPECT_EQ("22007", convert(SQL_C_TYPE_DATE, &bad_date, 0, SQL_TYPE_DATE));
  EXPECT_EQ("", convert(SQL_C_TYPE_TIME, &late, 0, SQL_TYPE_TIME));
  // Binary holds the marker's own structure, of exactly its size.
  EXPECT_EQ("", convert(SQL_C_BINARY, &ts, sizeof ts, SQL_TYPE_TIMESTAMP));
  EXPECT_EQ("2024-02-29 23:58:57", value_text());
  EXPECT_EQ("22007", convert(SQL_C_BINARY, &ts, 3, SQL_TYPE_TIMESTAMP));
  EXPECT_EQ("", convert(SQL_C_BINARY, &number, sizeof number, SQL_INTEGER));
  EXPECT_EQ("70000", value_text());
  EXPECT_EQ("22003", convert(SQL_C_BINARY, &number, sizeof number, SQL_SMALLINT));
  EXPECT_EQ("22003", convert(SQL_C_SLONG, &number, 0, SQL_SMALLINT));
  SQLDOUBLE huge = 1e300;
  EXPECT_EQ("22003", convert(SQL_C_DOUBLE, &huge, 0, SQL_BIGINT));
  EXPECT_EQ("22003", convert(SQL_C_DOUBLE, &huge, 0, SQL_DECIMAL, 0, 10, 2));
}

TEST_F(ParamConvert, WideTextAndTheColumnSize) {
  SQLWCHAR wide[] = {u'a', 0xD83D, 0xDE42, u'b'};  // four units, three characters
  EXPECT_EQ("", convert(SQL_C_WCHAR, wide, sizeof wide, SQL_WCHAR, 3));
  EXPECT_EQ(
      "a\xF0\x9F\x99\x82"
      "b",
      value_text());
  EXPECT_EQ("22001", convert(SQL_C_WCHAR, wide, sizeof wide, SQL_VARCHAR, 2));
}

TEST_F(ParamConvert, NullOfTheMarkersType) {
  ParamInput input;
  input.is_null = true;
  ParamTarget target;
  for (SQLSMALLINT type : {SQL_INTEGER, SQL_TYPE_DATE, SQL_WLONGVARCHAR, SQL_INTERVAL_DAY}) {
    target.sql_type = type;
    ASSERT_TRUE(param_convert(input, target, value_, &error_)) << type;
    EXPECT_TRUE(is_value_null(value_));
    EXPECT_EQ(param_null_kind(type), value_->kind);
  }
  target.sql_type = SQL_GUID;
  EXPECT_FALSE(param_convert(input, target, value_, &error_));
}

TEST(ParamTemporal, Ranges) {
  EXPECT_TRUE(param_date_in_range(SQL_DATE_STRUCT{2024, 2, 29}));
  EXPECT_FALSE(param_date_in_range(SQL_DATE_STRUCT{1900, 2, 29}));
  EXPECT_FALSE(param_date_in_range(SQL_DATE_STRUCT{2024, 4, 31}));
  EXPECT_FALSE(param_date_in_range(SQL_DATE_STRUCT{2024, 0, 1}));
  EXPECT_TRUE(param_time_in_range(SQL_TIME_STRUCT{24, 59, 62}));
  EXPECT_FALSE(param_time_in_range(SQL_TIME_STRUCT{25, 0, 0}));
  EXPECT_STREQ("MINUTE TO SECOND", param_interval_qualifier(SQL_INTERVAL_MINUTE_TO_SECOND));
  EXPECT_EQ(nullptr, param_interval_qualifier(SQL_TYPE_DATE));
}

}  // namespace
