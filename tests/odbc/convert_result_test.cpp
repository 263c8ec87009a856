// Conversion of result values into application buffers: every source kind
// against every family of application types, the values and diagnostics of the
// awkward cases, range bounds, the length/indicator protocol, and character,
// wide, hexadecimal and long values read in pieces.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "driver/odbc/convert/convert_result.h"
#include "support/datetime.h"
#include "support/numeric.h"

namespace {

using Maker = void (*)(QuillValue*);

template <typename T>
std::string raw(T v) {
  return std::string(reinterpret_cast<const char*>(&v), sizeof v);
}

void make_interval(QuillValue* v, SQLINTERVAL type, bool negative, SQLUINTEGER a, SQLUINTEGER b,
                   SQLUINTEGER c = 0, SQLUINTEGER d = 0, SQLUINTEGER fraction = 0) {
  SQL_INTERVAL_STRUCT iv{};
  iv.interval_type = type;
  iv.interval_sign = negative ? SQL_TRUE : SQL_FALSE;
  if (type == SQL_IS_YEAR || type == SQL_IS_MONTH || type == SQL_IS_YEAR_TO_MONTH)
    iv.intval.year_month = {a, b};
  else
    iv.intval.day_second = {a, b, c, d, fraction};
  set_interval_payload(v, &iv, 0);
}

void make_numeric(QuillValue* v, const char* text) {
  SQL_NUMERIC_STRUCT n{};
  numeric_from_text(text, std::strlen(text), 10, 2, &n);
  set_value_to_numeric(v, &n);
}

struct ConvertResult : ::testing::Test {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  QuillValue* value = NewValue(pool, 0);
  unsigned char buffer[128];
  SQLLEN length = -999;

  void TearDown() override {
    release_value(pool, value);
    FreeErrorHeader(errors);
    quill_mem_release_handle(pool);
  }
  void set_long(int kind, const std::string& bytes) {
    LongBuffer* lb = allocate_long_buffer(
        pool, 0, 0, nullptr, kind == VALUE_LONG_CHARACTER ? SQL_LONGVARCHAR : SQL_LONGVARBINARY);
    append_to_long_buffer(lb, bytes.data(), bytes.size());
    set_value_to_long(value, kind, lb);
  }
  SQLRETURN convert(SQLSMALLINT c_type, SQLLEN buffer_length, bool restart = true,
                    SQLULEN max_length = 0, SQLSMALLINT column_type = 0) {
    SetupErrorHeader(errors, 0);
    ResultTarget target{c_type, buffer, buffer_length, &length,    &length,
                        5,      2,      max_length,    column_type};
    return convert_result_value(errors, value, target, restart);
  }
  std::string state() {
    SQLCHAR sqlstate[6] = {0};
    SQLCHAR message[256];
    SQLINTEGER native = 0;
    SQLSMALLINT text_length = 0;
    if (GetDiagRec(errors, 1, sqlstate, &native, message, sizeof message, &text_length) !=
        SQL_SUCCESS)
      return "";
    return reinterpret_cast<char*>(sqlstate);
  }
  const DiagRecord* record() {
    return errors->records ? static_cast<const DiagRecord*>(errors->records->data) : nullptr;
  }
};

// --- Values and diagnostics of single conversions ---------------------------------------
struct Case {
  const char* label;
  Maker make;
  SQLSMALLINT c_type;
  SQLLEN buffer_length;
  std::string expected;  // bytes written (text without its terminator)
  SQLLEN expected_length;
  SQLRETURN rc;
  const char* sqlstate;
};

SQL_TIMESTAMP_STRUCT kStamp{2024, 2, 29, 13, 5, 9, 500000000};

const Case kCases[] = {
    {"10 chars, 4-byte buffer", [](QuillValue* v) { set_value_to_text(v, "0123456789", 10); },
     SQL_C_CHAR, 4, "012", 10, SQL_SUCCESS_WITH_INFO, "01004"},
    {"binary of 3 bytes as text", [](QuillValue* v) { set_value_to_binary(v, "\x0A\xFF\x10", 3); },
     SQL_C_CHAR, 64, "0AFF10", 6, SQL_SUCCESS, ""},
    {"double 2.5 to long", [](QuillValue* v) { set_value_to_double(v, 2.5); }, SQL_C_LONG, 4,
     raw<SQLINTEGER>(2), 4, SQL_SUCCESS_WITH_INFO, "01S07"},
    {"double 3e9 to long", [](QuillValue* v) { set_value_to_double(v, 3e9); }, SQL_C_LONG, 4, "", 0,
     SQL_ERROR, "22003"},
    {"double 1.5 to bit", [](QuillValue* v) { set_value_to_double(v, 1.5); }, SQL_C_BIT, 1,
     raw<SQLCHAR>(1), 1, SQL_SUCCESS_WITH_INFO, "01S07"},
    {"double 2.0 to bit", [](QuillValue* v) { set_value_to_double(v, 2.0); }, SQL_C_BIT, 1, "", 0,
     SQL_ERROR, "22003"},
    {"double 0.5 to bit", [](QuillValue* v) { set_value_to_double(v, 0.5); }, SQL_C_BIT, 1,
     raw<SQLCHAR>(1), 1, SQL_SUCCESS, ""},
    {"integer 2 to bit", [](QuillValue* v) { set_value_to_int(v, 2); }, SQL_C_BIT, 1, "", 0,
     SQL_ERROR, "22003"},
    {"text '-7' to bit", [](QuillValue* v) { set_value_to_text(v, "-7", 2); }, SQL_C_BIT, 1,
     raw<SQLCHAR>(1), 1, SQL_SUCCESS, ""},
    {"timestamp to text drops the fraction",
     [](QuillValue* v) { set_value_to_timestamp(v, &kStamp); }, SQL_C_CHAR, 64,
     "2024-02-29 13:05:09", 19, SQL_SUCCESS, ""},
    {"timestamp to date warns", [](QuillValue* v) { set_value_to_timestamp(v, &kStamp); },
     SQL_C_TYPE_DATE, 0, raw(SQL_DATE_STRUCT{2024, 2, 29}), 6, SQL_SUCCESS_WITH_INFO, "01S07"},
    {"timestamp to time warns", [](QuillValue* v) { set_value_to_timestamp(v, &kStamp); },
     SQL_C_TYPE_TIME, 0, raw(SQL_TIME_STRUCT{13, 5, 9}), 6, SQL_SUCCESS_WITH_INFO, "01S07"},
    {"integer to year-to-month", [](QuillValue* v) { set_value_to_int(v, 3); },
     SQL_C_INTERVAL_YEAR_TO_MONTH, 0, "", 0, SQL_ERROR, "22015"},
    {"double %f", [](QuillValue* v) { set_value_to_double(v, -1.25); }, SQL_C_CHAR, 64, "-1.250000",
     9, SQL_SUCCESS, ""},
    {"bigint text", [](QuillValue* v) { set_value_to_bigint(v, INT64_MIN); }, SQL_C_CHAR, 64,
     "-9223372036854775808", 20, SQL_SUCCESS, ""},
    {"numeric text", [](QuillValue* v) { make_numeric(v, "-12.5"); }, SQL_C_CHAR, 64, "-12.50", 6,
     SQL_SUCCESS, ""},
    {"interval text",
     [](QuillValue* v) { make_interval(v, SQL_IS_DAY_TO_SECOND, true, 1, 2, 3, 4); }, SQL_C_CHAR,
     64, "-1 02:03:04", 11, SQL_SUCCESS, ""},
    {"integer image", [](QuillValue* v) { set_value_to_int(v, 0x01020304); }, SQL_C_BINARY, 64,
     raw<int32_t>(0x01020304), 4, SQL_SUCCESS, ""},
    {"image does not fit", [](QuillValue* v) { set_value_to_double(v, 1.0); }, SQL_C_BINARY, 3,
     raw(1.0).substr(0, 3), 8, SQL_SUCCESS_WITH_INFO, "01004"},
    {"numeric 12.50 to short", [](QuillValue* v) { make_numeric(v, "12.5"); }, SQL_C_SSHORT, 2,
     raw<SQLSMALLINT>(12), 2, SQL_SUCCESS_WITH_INFO, "01S07"},
    {"text '42abc' to long", [](QuillValue* v) { set_value_to_text(v, " 42abc", 6); }, SQL_C_LONG,
     4, raw<SQLINTEGER>(42), 4, SQL_SUCCESS, ""},
    // Text that is no number never reads as 0; a "0x" quantity reads exactly.
    {"text 'abc' to long", [](QuillValue* v) { set_value_to_text(v, "abc", 3); }, SQL_C_LONG, 4, "",
     0, SQL_ERROR, "22018"},
    {"text 'latest' to double", [](QuillValue* v) { set_value_to_text(v, "latest", 6); },
     SQL_C_DOUBLE, 8, "", 0, SQL_ERROR, "22018"},
    {"empty text to bit", [](QuillValue* v) { set_value_to_text(v, "", 0); }, SQL_C_BIT, 1, "", 0,
     SQL_ERROR, "22018"},
    {"quantity to sbigint", [](QuillValue* v) { set_value_to_text(v, "0x10913", 7); },
     SQL_C_SBIGINT, 8, raw<SQLBIGINT>(67859), 8, SQL_SUCCESS, ""},
    {"quantity to double",
     [](QuillValue* v) { set_value_to_text(v, " 0x21e0bff3ff42b9e61a4", 22); }, SQL_C_DOUBLE, 8,
     raw(9998999767921991770532.0), 8, SQL_SUCCESS, ""},
    {"quantity to ubigint limit",
     [](QuillValue* v) { set_value_to_text(v, "0xffffffffffffffff", 18); }, SQL_C_UBIGINT, 8,
     raw<SQLUBIGINT>(UINT64_MAX), 8, SQL_SUCCESS, ""},
    {"quantity beyond ubigint",
     [](QuillValue* v) { set_value_to_text(v, "0x10000000000000000", 19); }, SQL_C_UBIGINT, 8, "",
     0, SQL_ERROR, "22003"},
    {"quantity beyond long", [](QuillValue* v) { set_value_to_text(v, "0x80000000", 10); },
     SQL_C_SLONG, 4, "", 0, SQL_ERROR, "22003"},
    {"quantity beyond 128 bits",
     [](QuillValue* v) { set_value_to_text(v, "0x100000000000000000000000000000000", 35); },
     SQL_C_DOUBLE, 8, "", 0, SQL_ERROR, "22003"},
    {"bad quantity to long", [](QuillValue* v) { set_value_to_text(v, "0x12zz", 6); }, SQL_C_SLONG,
     4, "", 0, SQL_ERROR, "22018"},
    {"quantity to bit", [](QuillValue* v) { set_value_to_text(v, "0x1", 3); }, SQL_C_BIT, 1,
     raw<SQLCHAR>(1), 1, SQL_SUCCESS, ""},
    {"quantity over numeric (5,2)", [](QuillValue* v) { set_value_to_text(v, "0x10913", 7); },
     SQL_C_NUMERIC, 0, "", 0, SQL_ERROR, "22003"},
    {"quantity seconds to timestamp", [](QuillValue* v) { set_value_to_text(v, "0x6553f130", 10); },
     SQL_C_TYPE_TIMESTAMP, 0, raw(SQL_TIMESTAMP_STRUCT{2023, 11, 14, 22, 14, 8, 0}), 16,
     SQL_SUCCESS, ""},
    {"quantity seconds to date", [](QuillValue* v) { set_value_to_text(v, "0x6553f130", 10); },
     SQL_C_TYPE_DATE, 0, raw(SQL_DATE_STRUCT{2023, 11, 14}), 6, SQL_SUCCESS_WITH_INFO, "01S07"},
    {"quantity seconds past year 9999",
     [](QuillValue* v) { set_value_to_text(v, "0xffffffffffff", 14); }, SQL_C_TYPE_TIMESTAMP, 0, "",
     0, SQL_ERROR, "22008"},
    {"negative interval to long", [](QuillValue* v) { make_interval(v, SQL_IS_HOUR, true, 0, 7); },
     SQL_C_LONG, 4, raw<SQLINTEGER>(-7), 4, SQL_SUCCESS, ""},
    {"multi-field interval to long",
     [](QuillValue* v) { make_interval(v, SQL_IS_HOUR_TO_MINUTE, false, 0, 1, 2); }, SQL_C_LONG, 4,
     "", 0, SQL_ERROR, "07006"},
    {"float narrowing", [](QuillValue* v) { set_value_to_double(v, 0.1); }, SQL_C_FLOAT, 4,
     raw(0.1f), 4, SQL_SUCCESS_WITH_INFO, "01S07"},
    {"float limit", [](QuillValue* v) { set_value_to_double(v, 3.4028234663852886e38); },
     SQL_C_FLOAT, 4, raw(3.4028234663852886e38f), 4, SQL_SUCCESS, ""},
    {"float overflow", [](QuillValue* v) { set_value_to_double(v, 3.5e38); }, SQL_C_FLOAT, 4, "", 0,
     SQL_ERROR, "22003"},
    {"text to double", [](QuillValue* v) { set_value_to_text(v, "-2.5e3x", 7); }, SQL_C_DOUBLE, 8,
     raw(-2500.0), 8, SQL_SUCCESS, ""},
    {"text to date", [](QuillValue* v) { set_value_to_text(v, " 2024-12-31 ", 12); },
     SQL_C_TYPE_DATE, 0, raw(SQL_DATE_STRUCT{2024, 12, 31}), 6, SQL_SUCCESS, ""},
    {"text month 13 to date", [](QuillValue* v) { set_value_to_text(v, "2024-13-01", 10); },
     SQL_C_TYPE_DATE, 0, "", 0, SQL_ERROR, "22008"},
    {"text hour 24 to time", [](QuillValue* v) { set_value_to_text(v, "24:00:00", 8); },
     SQL_C_TYPE_TIME, 0, "", 0, SQL_ERROR, "22008"},
    {"text to timestamp with fraction",
     [](QuillValue* v) { set_value_to_text(v, "2024-02-29T13:05:09.5+01:00", 27); },
     SQL_C_TYPE_TIMESTAMP, 0, raw(kStamp), 16, SQL_SUCCESS, ""},
    {"bad text to timestamp", [](QuillValue* v) { set_value_to_text(v, "soon", 4); },
     SQL_C_TYPE_TIMESTAMP, 0, "", 0, SQL_ERROR, "22018"},
    {"date to timestamp is midnight",
     [](QuillValue* v) {
       SQL_DATE_STRUCT d{1999, 12, 31};
       set_value_to_date(v, &d);
     },
     SQL_C_TYPE_TIMESTAMP, 0, raw(SQL_TIMESTAMP_STRUCT{1999, 12, 31, 0, 0, 0, 0}), 16, SQL_SUCCESS,
     ""},
    {"text to day-to-second", [](QuillValue* v) { set_value_to_text(v, " -3 04:05:06.25", 15); },
     SQL_C_INTERVAL_DAY_TO_SECOND, 0, "", 28, SQL_SUCCESS, ""},
    {"text hour 24 to day-to-hour", [](QuillValue* v) { set_value_to_text(v, "1 24", 4); },
     SQL_C_INTERVAL_DAY_TO_HOUR, 0, "", 0, SQL_ERROR, "22015"},
    {"14 months to year", [](QuillValue* v) { make_interval(v, SQL_IS_MONTH, false, 0, 14); },
     SQL_C_INTERVAL_YEAR, 0, "", 0, SQL_ERROR, "01004"},
    {"day-time to month", [](QuillValue* v) { make_interval(v, SQL_IS_DAY, false, 2, 0); },
     SQL_C_INTERVAL_MONTH, 0, "", 0, SQL_ERROR, "07006"},
    {"day-to-second to hour drops seconds",
     [](QuillValue* v) { make_interval(v, SQL_IS_DAY_TO_SECOND, false, 1, 2, 3, 4); },
     SQL_C_INTERVAL_HOUR, 0, "", 28, SQL_SUCCESS_WITH_INFO, "01S07"},
    {"bigint beyond an interval field",
     [](QuillValue* v) { set_value_to_bigint(v, int64_t{1} << 33); }, SQL_C_INTERVAL_DAY, 0, "", 0,
     SQL_ERROR, "22015"},
    {"integer to numeric (5,2)", [](QuillValue* v) { set_value_to_int(v, 123); }, SQL_C_NUMERIC, 0,
     "", 19, SQL_SUCCESS, ""},
    {"integer over numeric (5,2)", [](QuillValue* v) { set_value_to_int(v, 1234); }, SQL_C_NUMERIC,
     0, "", 0, SQL_ERROR, "22003"},
    {"unknown type code", [](QuillValue* v) { set_value_to_int(v, 1); }, 1234, 0, "", 0, SQL_ERROR,
     "07006"},
    {"empty text", [](QuillValue* v) { set_value_to_text(v, "", 0); }, SQL_C_CHAR, 8, "", 0,
     SQL_SUCCESS, ""},
    {"negative buffer length", [](QuillValue* v) { set_value_to_text(v, "abc", 3); }, SQL_C_CHAR,
     -5, "", 3, SQL_SUCCESS_WITH_INFO, "01004"},
};

TEST_F(ConvertResult, CasesGiveTheirValuesAndDiagnostics) {
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.label);
    set_value_null(value, VALUE_NONE);
    c.make(value);
    std::memset(buffer, 0xAB, sizeof buffer);
    length = -999;
    EXPECT_EQ(c.rc, convert(c.c_type, c.buffer_length));
    EXPECT_EQ(c.sqlstate, state());
    if (c.rc == SQL_ERROR) {
      EXPECT_EQ(-999, length);
      EXPECT_EQ(0xAB, buffer[0]);  // numbers and structures stay unchanged
      continue;
    }
    EXPECT_EQ(c.expected_length, length);
    EXPECT_EQ(c.expected, std::string(reinterpret_cast<char*>(buffer), c.expected.size()));
    if (c.c_type == SQL_C_CHAR && c.buffer_length > 0) {
      EXPECT_EQ(0, buffer[c.expected.size()]);
    }
  }
}

TEST_F(ConvertResult, StructuresHoldTheirFields) {
  set_value_to_text(value, " -3 04:05:06.25", 15);
  ASSERT_EQ(SQL_SUCCESS, convert(SQL_C_INTERVAL_DAY_TO_SECOND, 0));
  SQL_INTERVAL_STRUCT iv;
  std::memcpy(&iv, buffer, sizeof iv);
  EXPECT_EQ(SQL_IS_DAY_TO_SECOND, iv.interval_type);
  EXPECT_EQ(SQL_TRUE, iv.interval_sign);
  EXPECT_EQ(3u, iv.intval.day_second.day);
  EXPECT_EQ(6u, iv.intval.day_second.second);
  EXPECT_EQ(250000000u, iv.intval.day_second.fraction);

  make_interval(value, SQL_IS_YEAR_TO_MONTH, true, 2, 3);
  ASSERT_EQ(SQL_SUCCESS, convert(SQL_C_INTERVAL_MONTH, 0));
  std::memcpy(&iv, buffer, sizeof iv);
  EXPECT_EQ(27u, iv.intval.year_month.month);
  EXPECT_EQ(SQL_TRUE, iv.interval_sign);

  set_value_to_int(value, 123);
  ASSERT_EQ(SQL_SUCCESS, convert(SQL_C_NUMERIC, 0));
  SQL_NUMERIC_STRUCT n;
  std::memcpy(&n, buffer, sizeof n);
  EXPECT_EQ(5, n.precision);
  EXPECT_EQ(2, n.scale);
  EXPECT_EQ(12300, n.val[0] | n.val[1] << 8);

  SQL_TIME_STRUCT t{10, 11, 12};
  set_value_to_time(value, &t);
  ASSERT_EQ(SQL_SUCCESS, convert(SQL_C_TYPE_TIMESTAMP, 0));
  SQL_TIMESTAMP_STRUCT ts;
  std::memcpy(&ts, buffer, sizeof ts);
  EXPECT_EQ(current_year(), ts.year);
  EXPECT_EQ(current_month(), ts.month);
  EXPECT_EQ(current_day(), ts.day);
  EXPECT_EQ(10, ts.hour);
  EXPECT_EQ(12, ts.second);
}

// --- Range bounds of the integer targets ---------------------------------------------------
struct Bound {
  SQLSMALLINT c_type;
  const char* inside_low;
  const char* inside_high;
  const char* below;
  const char* above;
};

const Bound kBounds[] = {
    {SQL_C_STINYINT, "-128", "127", "-129", "128"},
    {SQL_C_UTINYINT, "0", "255", "-1", "256"},
    {SQL_C_SSHORT, "-32768", "32767", "-32769", "32768"},
    {SQL_C_USHORT, "0", "65535", "-1", "65536"},
    {SQL_C_SLONG, "-2147483648", "2147483647", "-2147483649", "2147483648"},
    {SQL_C_ULONG, "0", "4294967295", "-1", "4294967296"},
    {SQL_C_SBIGINT, "-9223372036854775808", "9223372036854775807", "-9223372036854775809",
     "9223372036854775808"},
    {SQL_C_UBIGINT, "0", "18446744073709551615", "-1", "18446744073709551616"},
};

TEST_F(ConvertResult, IntegerTargetsKeepTheirRange) {
  for (const Bound& b : kBounds) {
    SCOPED_TRACE(b.c_type);
    for (const char* text : {b.inside_low, b.inside_high}) {
      set_value_to_text(value, text, std::strlen(text));
      EXPECT_EQ(SQL_SUCCESS, convert(b.c_type, 0)) << text;
      EXPECT_EQ(result_element_size(b.c_type, 0), length);
    }
    for (const char* text : {b.below, b.above}) {
      set_value_to_text(value, text, std::strlen(text));
      EXPECT_EQ(SQL_ERROR, convert(b.c_type, 0)) << text;
      EXPECT_EQ("22003", state());
    }
  }
  SQLBIGINT big = 0;
  set_value_to_double(value, -9223372036854775808.0);
  EXPECT_EQ(SQL_SUCCESS, convert(SQL_C_SBIGINT, 0));
  std::memcpy(&big, buffer, sizeof big);
  EXPECT_EQ(INT64_MIN, big);
  set_value_to_double(value, 9223372036854775808.0);
  EXPECT_EQ(SQL_ERROR, convert(SQL_C_SBIGINT, 0));
  set_value_to_text(value, "18446744073709551615", 20);
  EXPECT_EQ(SQL_SUCCESS, convert(SQL_C_UBIGINT, 0));
  SQLUBIGINT ubig = 0;
  std::memcpy(&ubig, buffer, sizeof ubig);
  EXPECT_EQ(UINT64_MAX, ubig);
}

// --- Every source kind against every family ----------------------------------------------
const SQLSMALLINT kFamilies[] = {SQL_C_CHAR,           SQL_C_WCHAR,       SQL_C_BINARY,
                                 SQL_C_SLONG,          SQL_C_DOUBLE,      SQL_C_BIT,
                                 SQL_C_NUMERIC,        SQL_C_TYPE_DATE,   SQL_C_TYPE_TIME,
                                 SQL_C_TYPE_TIMESTAMP, SQL_C_INTERVAL_DAY};

struct Row {
  const char* label;
  Maker make;
  const char* outcome[11];  // per family: "" success, else the SQLSTATE
};

const SQL_DATE_STRUCT kDate{2020, 1, 2};
const SQL_TIME_STRUCT kTime{3, 4, 5};
const SQL_TIMESTAMP_STRUCT kMidnight{2020, 1, 2, 0, 0, 0, 0};
const char* const kNone = "07006";

const Row kMatrix[] = {
    {"integer",
     [](QuillValue* v) { set_value_to_int(v, 1); },
     {"", "", "", "", "", "", "", kNone, kNone, kNone, ""}},
    {"bit",
     [](QuillValue* v) {
       set_value_to_int(v, 1);
       v->kind = VALUE_BIT;
     },
     {"", "", "", "", "", "", "", kNone, kNone, kNone, ""}},
    {"double",
     [](QuillValue* v) { set_value_to_double(v, 1.0); },
     {"", "", "", "", "", "", "", kNone, kNone, kNone, kNone}},
    {"character",
     [](QuillValue* v) { set_value_to_text(v, "1", 1); },
     {"", "", "", "", "", "", "", "22008", "22008", "22018", ""}},
    {"binary",
     [](QuillValue* v) { set_value_to_binary(v, "\x01", 1); },
     {"", "", "", kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone}},
    {"date",
     [](QuillValue* v) { set_value_to_date(v, &kDate); },
     {"", "", "", kNone, kNone, kNone, kNone, "", kNone, "", kNone}},
    {"time",
     [](QuillValue* v) { set_value_to_time(v, &kTime); },
     {"", "", "", kNone, kNone, kNone, kNone, kNone, "", "", kNone}},
    {"timestamp",
     [](QuillValue* v) { set_value_to_timestamp(v, &kMidnight); },
     {"", "", "", kNone, kNone, kNone, kNone, "", "", "", kNone}},
    {"numeric",
     [](QuillValue* v) { make_numeric(v, "1"); },
     {"", "", "", "", "", "", "", kNone, kNone, kNone, kNone}},
    {"bigint",
     [](QuillValue* v) { set_value_to_bigint(v, 1); },
     {"", "", "", "", "", "", "", kNone, kNone, kNone, ""}},
    {"year-month interval",
     [](QuillValue* v) { make_interval(v, SQL_IS_YEAR, false, 1, 0); },
     {"", "", "", "", "", "", "", kNone, kNone, kNone, kNone}},
    {"day-time interval",
     [](QuillValue* v) { make_interval(v, SQL_IS_DAY, false, 1, 0); },
     {"", "", "", "", "", "", "", kNone, kNone, kNone, ""}},
};

TEST_F(ConvertResult, EverySourceKindMeetsEveryFamily) {
  for (const Row& row : kMatrix) {
    for (size_t f = 0; f < std::size(kFamilies); ++f) {
      SCOPED_TRACE(std::string(row.label) + " -> " + std::to_string(kFamilies[f]));
      set_value_null(value, VALUE_NONE);
      row.make(value);
      SQLRETURN rc = convert(kFamilies[f], sizeof buffer);
      EXPECT_EQ(row.outcome[f], state());
      EXPECT_EQ(*row.outcome[f] ? SQL_ERROR : SQL_SUCCESS, rc);
    }
  }
  const char* const long_outcome[][11] = {
      {"", "", "", "", "", "", "", "22008", "22008", "22018", ""},
      {"", "", "", kNone, kNone, kNone, kNone, kNone, kNone, kNone, kNone}};
  for (int i = 0; i < 2; ++i) {
    for (size_t f = 0; f < std::size(kFamilies); ++f) {
      SCOPED_TRACE(std::to_string(i) + " long -> " + std::to_string(kFamilies[f]));
      set_long(i == 0 ? VALUE_LONG_CHARACTER : VALUE_LONG_BINARY, "1");
      SQLRETURN rc = convert(kFamilies[f], sizeof buffer);
      EXPECT_EQ(long_outcome[i][f], state());
      EXPECT_EQ(*long_outcome[i][f] ? SQL_ERROR : SQL_SUCCESS, rc);
    }
  }
}

// --- Length/indicator protocol ---------------------------------------------------------
TEST_F(ConvertResult, LengthAndIndicatorProtocol) {
  set_value_null(value, VALUE_INTEGER);
  SQLLEN indicator = 5;
  ResultTarget target{SQL_C_LONG, buffer, 4, &indicator, nullptr, 0, 0, 0, 0};
  EXPECT_EQ(SQL_SUCCESS, convert_result_value(errors, value, target, true));
  EXPECT_EQ(SQL_NULL_DATA, indicator);
  target.indicator = nullptr;
  EXPECT_EQ(SQL_ERROR, convert_result_value(errors, value, target, true));
  EXPECT_EQ("22002", state());

  set_value_to_text(value, "abcdef", 6);
  SQLLEN octets = 0;
  indicator = 7;
  target = {SQL_C_CHAR, buffer, sizeof buffer, &indicator, &octets, 0, 0, 0, 0};
  EXPECT_EQ(SQL_SUCCESS, convert_result_value(errors, value, target, true));
  EXPECT_EQ(6, octets);
  EXPECT_EQ(0, indicator);

  // No buffer: only the length, with the truncation warning; nothing is consumed.
  target = {SQL_C_CHAR, nullptr, 0, &octets, &octets, 0, 0, 0, 0};
  SetupErrorHeader(errors, 0);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, convert_result_value(errors, value, target, true));
  EXPECT_EQ(6, octets);
  std::memset(buffer, 0xAB, sizeof buffer);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, convert(SQL_C_CHAR, 0, false));
  EXPECT_EQ(0xAB, buffer[0]);
  EXPECT_EQ(SQL_SUCCESS, convert(SQL_C_CHAR, sizeof buffer, false));
  EXPECT_EQ("abcdef", std::string(reinterpret_cast<char*>(buffer)));

  EXPECT_EQ(4, result_element_size(SQL_C_LONG, 100));
  EXPECT_EQ(16, result_element_size(SQL_C_TYPE_TIMESTAMP, 0));
  EXPECT_EQ(28, result_element_size(SQL_C_INTERVAL_DAY, 0));
  EXPECT_EQ(100, result_element_size(SQL_C_CHAR, 100));
  EXPECT_EQ(0, result_element_size(SQL_C_BINARY, -3));
}

TEST_F(ConvertResult, DefaultTypeAndMaxLength) {
  make_numeric(value, "3.5");
  EXPECT_EQ(SQL_SUCCESS, convert(SQL_C_DEFAULT, sizeof buffer, true, 0, SQL_DECIMAL));
  EXPECT_EQ("3.50", std::string(reinterpret_cast<char*>(buffer)));
  set_value_to_int(value, 9);
  EXPECT_EQ(SQL_SUCCESS, convert(SQL_C_DEFAULT, 0, true, 0, SQL_INTEGER));
  EXPECT_EQ(4, length);
  set_value_to_text(value, "0123456789", 10);
  EXPECT_EQ(SQL_SUCCESS, convert(SQL_C_DEFAULT, sizeof buffer, true, 0, SQL_LONGVARCHAR));
  EXPECT_EQ(10, length);

  EXPECT_EQ(SQL_SUCCESS, convert(SQL_C_CHAR, sizeof buffer, true, 5));
  EXPECT_EQ("01234", std::string(reinterpret_cast<char*>(buffer)));
  EXPECT_EQ(5, length);
  EXPECT_EQ(SQL_NO_DATA, convert(SQL_C_CHAR, sizeof buffer, false, 5));
}

TEST_F(ConvertResult, DiagnosticsCarryTheirTextAndOrigin) {
  set_value_to_double(value, 2.5);
  convert(SQL_C_LONG, 4);
  ASSERT_NE(nullptr, record());
  EXPECT_STREQ("Fractional truncation", record()->message);
  EXPECT_STREQ("ODBC 3.0", record()->class_origin);
  set_value_to_binary(value, "\x01", 1);
  convert(SQL_C_LONG, 4);
  EXPECT_STREQ("restricted data type attribute violation", record()->message);
  EXPECT_STREQ("ISO 9075", record()->class_origin);
}

// --- Pieces over successive calls -----------------------------------------------------------
struct Piece {
  std::string text;  // characters returned (UTF-8; wide pieces are compared as its UTF-16)
  SQLLEN length;
  SQLRETURN rc;
};

const std::vector<Piece> kTenInFour = {{"012", 10, SQL_SUCCESS_WITH_INFO},
                                       {"345", 7, SQL_SUCCESS_WITH_INFO},
                                       {"678", 4, SQL_SUCCESS_WITH_INFO},
                                       {"9", 1, SQL_SUCCESS},
                                       {"", 0, SQL_NO_DATA}};
const std::vector<Piece> kHexInFour = {{"0AF", 10, SQL_SUCCESS_WITH_INFO},
                                       {"F10", 7, SQL_SUCCESS_WITH_INFO},
                                       {"2B3", 4, SQL_SUCCESS_WITH_INFO},
                                       {"C", 1, SQL_SUCCESS},
                                       {"", 0, SQL_NO_DATA}};

struct PieceRun {
  const char* label;
  int kind;
  std::string source;
  SQLSMALLINT c_type;
  SQLLEN buffer_length;
  std::vector<Piece> pieces;
};

const PieceRun kRuns[] = {
    {"character", VALUE_CHARACTER, "0123456789", SQL_C_CHAR, 4, kTenInFour},
    {"long character", VALUE_LONG_CHARACTER, "0123456789", SQL_C_CHAR, 4, kTenInFour},
    {"binary as hex", VALUE_BINARY, "\x0A\xFF\x10\x2B\x3C", SQL_C_CHAR, 4, kHexInFour},
    {"long binary as hex", VALUE_LONG_BINARY, "\x0A\xFF\x10\x2B\x3C", SQL_C_CHAR, 4, kHexInFour},
    {"binary image",
     VALUE_BINARY,
     "abcde",
     SQL_C_BINARY,
     2,
     {{"ab", 5, SQL_SUCCESS_WITH_INFO},
      {"cd", 3, SQL_SUCCESS_WITH_INFO},
      {"e", 1, SQL_SUCCESS},
      {"", 0, SQL_NO_DATA}}},
    {"long image",
     VALUE_LONG_CHARACTER,
     "abc",
     SQL_C_BINARY,
     2,
     {{"ab", 3, SQL_SUCCESS_WITH_INFO}, {"c", 1, SQL_SUCCESS}, {"", 0, SQL_NO_DATA}}},
    {"wide 10 chars",
     VALUE_CHARACTER,
     "0123456789",
     SQL_C_WCHAR,
     8,
     {{"012", 20, SQL_SUCCESS_WITH_INFO},
      {"345", 14, SQL_SUCCESS_WITH_INFO},
      {"678", 8, SQL_SUCCESS_WITH_INFO},
      {"9", 2, SQL_SUCCESS},
      {"", 0, SQL_NO_DATA}}},
    // "aé😀b": 1-, 2- and 4-byte characters; the pair is never split.
    {"wide non-ASCII",
     VALUE_CHARACTER,
     "a\xC3\xA9\xF0\x9F\x98\x80"
     "b",
     SQL_C_WCHAR,
     8,
     {{"a\xC3\xA9", 10, SQL_SUCCESS_WITH_INFO},
      {"\xF0\x9F\x98\x80"
       "b",
       6, SQL_SUCCESS},
      {"", 0, SQL_NO_DATA}}},
    {"long wide non-ASCII",
     VALUE_LONG_CHARACTER,
     "\xF0\x9F\x98\x80\xE2\x82\xAC",
     SQL_C_WCHAR,
     6,
     {{"\xF0\x9F\x98\x80", 6, SQL_SUCCESS_WITH_INFO},
      {"\xE2\x82\xAC", 2, SQL_SUCCESS},
      {"", 0, SQL_NO_DATA}}},
    {"pair too wide for the room",
     VALUE_CHARACTER,
     "\xF0\x9F\x98\x80",
     SQL_C_WCHAR,
     4,
     {{"", 4, SQL_SUCCESS_WITH_INFO}, {"", 4, SQL_SUCCESS_WITH_INFO}}},
    {"narrow cut between characters",
     VALUE_CHARACTER,
     "a\xC3\xA9z",
     SQL_C_CHAR,
     3,
     {{"a", 4, SQL_SUCCESS_WITH_INFO},
      {"\xC3\xA9", 3, SQL_SUCCESS_WITH_INFO},
      {"z", 1, SQL_SUCCESS}}},
    {"empty long value",
     VALUE_LONG_CHARACTER,
     "",
     SQL_C_CHAR,
     4,
     {{"", 0, SQL_SUCCESS}, {"", 0, SQL_NO_DATA}}},
};

// The UTF-16 the converter should write for UTF-8 `text`.
std::u16string utf16_of(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    auto c = static_cast<unsigned char>(text[i]);
    uint32_t cp = c;
    size_t n = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    if (n > 1) cp = c & (0x3F >> (n - 1));
    for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (text[i + k] & 0x3F);
    if (cp >= 0x10000) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
    i += n;
  }
  return out;
}

TEST_F(ConvertResult, PiecesContinueAcrossCalls) {
  for (const PieceRun& run : kRuns) {
    SCOPED_TRACE(run.label);
    if (run.kind == VALUE_CHARACTER)
      set_value_to_text(value, run.source.data(), run.source.size());
    else if (run.kind == VALUE_BINARY)
      set_value_to_binary(value, run.source.data(), run.source.size());
    else
      set_long(run.kind, run.source);
    bool restart = true;
    for (const Piece& piece : run.pieces) {
      std::memset(buffer, 0xAB, sizeof buffer);
      length = -999;
      SQLRETURN rc = convert(run.c_type, run.buffer_length, restart);
      restart = false;
      EXPECT_EQ(piece.rc, rc) << piece.text;
      if (rc == SQL_NO_DATA) continue;
      EXPECT_EQ(piece.length, length) << piece.text;
      EXPECT_EQ(0xAB, buffer[run.buffer_length]);  // never past the buffer
      if (run.c_type == SQL_C_WCHAR) {
        std::u16string expected = utf16_of(piece.text) + u'\0';
        EXPECT_EQ(0, std::memcmp(buffer, expected.data(), expected.size() * 2)) << piece.text;
      } else if (run.c_type == SQL_C_BINARY) {
        EXPECT_EQ(piece.text, std::string(reinterpret_cast<char*>(buffer), piece.text.size()));
      } else {
        EXPECT_EQ(piece.text, std::string(reinterpret_cast<char*>(buffer)));
      }
    }
  }
}

TEST_F(ConvertResult, RestartRewindsLongValues) {
  set_long(VALUE_LONG_CHARACTER, "0123456789");
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, convert(SQL_C_CHAR, 4, true));
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, convert(SQL_C_CHAR, 4, false));
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, convert(SQL_C_CHAR, 4, true));
  EXPECT_EQ("012", std::string(reinterpret_cast<char*>(buffer)));
  EXPECT_EQ(10, length);
}

int fill_deferred(LongBuffer* buffer) {
  return append_to_long_buffer(buffer, "deferred", 8);
}

TEST_F(ConvertResult, DeferredLongValueIsSettledFirst) {
  set_long(VALUE_LONG_CHARACTER, "");
  defer_long_buffer(value->long_buffer, fill_deferred, nullptr, 1);
  EXPECT_EQ(SQL_SUCCESS, convert(SQL_C_CHAR, sizeof buffer));
  EXPECT_EQ("deferred", std::string(reinterpret_cast<char*>(buffer)));
  EXPECT_EQ(8, length);
}

}  // namespace

TEST_F(ConvertResult, OddValuesNeverCrash) {
  const SQLSMALLINT targets[] = {SQL_C_CHAR,    SQL_C_WCHAR, SQL_C_BINARY,         SQL_C_UBIGINT,
                                 SQL_C_FLOAT,   SQL_C_BIT,   SQL_C_NUMERIC,        SQL_C_TYPE_DATE,
                                 SQL_C_DEFAULT, 112,         SQL_C_INTERVAL_MONTH, SQL_C_TYPE_TIME};
  const Maker odd[] = {
      [](QuillValue* v) { set_value_to_double(v, std::nan("")); },
      [](QuillValue* v) { set_value_to_double(v, -HUGE_VAL); },
      [](QuillValue* v) { make_interval(v, static_cast<SQLINTERVAL>(99), true, 7, 7); },
      [](QuillValue* v) { set_value_to_text(v, "99999999999999999999999-1-1 1:1:1.1", 35); },
      [](QuillValue* v) {
        set_value_to_text(v, "\xFF\xC3\xF0\x9F", 4);  // malformed UTF-8
        v->read_offset = -5;
      },
      [](QuillValue* v) {
        set_value_to_binary(v, "ab", 2);
        v->read_offset = INT64_MAX;
      },
  };
  for (Maker make : odd) {
    for (SQLSMALLINT c_type : targets) {
      set_value_null(value, VALUE_NONE);
      make(value);
      std::memset(buffer, 0xAB, sizeof buffer);
      convert(c_type, 9, false, 0, SQL_WCHAR);
      EXPECT_EQ(0xAB, buffer[std::max<SQLLEN>(9, result_element_size(c_type, 9))]);
    }
  }
}
