// Values: text forms, truth values, ordering, and the numeric, BIGINT and interval
// arithmetic with the diagnostics they post.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "support/diag.h"
#include "support/value.h"

namespace {

class ValueTest : public testing::Test {
 protected:
  void SetUp() override {
    pool_ = quill_mem_alloc_handle(nullptr);
    header_ = CreateErrorHeader(pool_, nullptr);
  }
  void TearDown() override { quill_mem_release_handle(pool_); }

  QuillValue* Value() { return NewValue(pool_, 40); }
  QuillValue* Int(int32_t n) {
    QuillValue* v = Value();
    set_value_to_int(v, n);
    return v;
  }
  QuillValue* Big(int64_t n) {
    QuillValue* v = Value();
    set_value_to_bigint(v, n);
    return v;
  }
  QuillValue* Real(double d) {
    QuillValue* v = Value();
    set_value_to_double(v, d);
    return v;
  }
  QuillValue* Num(const char* text, int precision = 38, int scale = 0) {
    QuillValue* v = Value();
    EXPECT_GE(string_to_numeric(text, v, precision, scale), 0) << text;
    return v;
  }
  // A numeric with exactly the fraction digits the text shows.
  QuillValue* Exact(const char* text) {
    const char* point = std::strchr(text, '.');
    return Num(text, 38, point ? static_cast<int>(std::strlen(point + 1)) : 0);
  }
  QuillValue* Text(const char* text) {
    QuillValue* v = Value();
    set_value_to_text(v, text, std::strlen(text));
    return v;
  }
  QuillValue* Null(int32_t kind) {
    QuillValue* v = Value();
    set_value_null(v, kind);
    return v;
  }
  QuillValue* Interval(SQLINTERVAL type, bool negative, unsigned a, unsigned b = 0, unsigned c = 0,
                       unsigned d = 0, unsigned fraction = 0) {
    SQL_INTERVAL_STRUCT i{};
    i.interval_type = type;
    i.interval_sign = negative ? SQL_TRUE : SQL_FALSE;
    if (type == SQL_IS_YEAR || type == SQL_IS_MONTH || type == SQL_IS_YEAR_TO_MONTH)
      i.intval.year_month = {a, b};
    else
      i.intval.day_second = {a, b, c, d, fraction};
    QuillValue* v = Value();
    set_interval_payload(v, &i, 2);
    return v;
  }
  std::string TextOf(const QuillValue* v) {
    char buffer[VALUE_TEXT_SIZE];
    EXPECT_GE(value_as_text(v, buffer), 0);
    return buffer;
  }
  // SQLSTATE and message of the last posted record, "" when none.
  std::string LastError() {
    ListNode* last = ListLast(header_->records);
    if (!last) return "";
    auto* record = static_cast<DiagRecord*>(ListData(last));
    return std::string(record->sqlstate) + " " + record->message;
  }

  MemPool* pool_ = nullptr;
  ErrorHeader* header_ = nullptr;
};

TEST_F(ValueTest, TextForms) {
  SQL_TIMESTAMP_STRUCT ts{2024, 2, 29, 10, 0, 5, 500000000};
  SQL_DATE_STRUCT date{2024, 3, 1};
  SQL_TIME_STRUCT time{7, 8, 9};
  QuillValue* stamp = Value();
  set_value_to_timestamp(stamp, &ts);
  QuillValue* day = Value();
  set_value_to_date(day, &date);
  QuillValue* clock = Value();
  set_value_to_time(clock, &time);
  QuillValue* bytes = Value();
  set_value_to_binary(bytes, "\x0a\xff\x00", 3);
  struct Case {
    QuillValue* value;
    const char* text;
  } cases[] = {
      {Int(-42), "-42"},
      {Big(INT64_MIN), "-9223372036854775808"},
      {Real(0.1), "0.1"},
      {Real(1e100), "1e+100"},
      {Real(0.30000000000000004), "0.30000000000000004"},
      {Text("abc "), "abc "},
      {bytes, "0AFF00"},
      {stamp, "2024-02-29 10:00:05.5"},
      {day, "2024-03-01"},
      {clock, "07:08:09"},
      {Num("-12.5", 10, 2), "-12.50"},
      {Interval(SQL_IS_DAY_TO_SECOND, true, 1, 2, 3, 4), "-1 02:03:04"},
      {Interval(SQL_IS_YEAR_TO_MONTH, false, 3, 6), "3-06"},
      {Interval(SQL_IS_HOUR_TO_MINUTE, false, 0, 2, 3), "2:03"},
      {Interval(SQL_IS_SECOND, false, 0, 0, 0, 7, 250000000), "7.25"},
      {Null(VALUE_INTEGER), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(TextOf(c.value), c.text);
  // Doubles read back exactly from their text.
  for (double d : {0.1, 1.0 / 3, -2.5e-300, 123456789012345678.0}) {
    EXPECT_EQ(std::strtod(TextOf(Real(d)).c_str(), nullptr), d);
  }
}

TEST_F(ValueTest, SqlTypeToKind) {
  struct Case {
    int sql_type, kind;
  } cases[] = {{1, 3},  {12, 3},   {2, 10},   {3, 10},   {4, 1},    {5, 1},    {-7, 1},  {-6, 1},
               {6, 2},  {7, 2},    {8, 2},    {9, 7},    {91, 7},   {10, 8},   {92, 8},  {11, 9},
               {93, 9}, {101, 13}, {102, 13}, {107, 13}, {103, 14}, {113, 14}, {-5, 12}, {-2, 5},
               {-3, 5}, {-1, 29},  {-4, 30},  {-8, 0},   {114, 0},  {0, 0}};
  for (const auto& c : cases) EXPECT_EQ(sql_to_value_type(c.sql_type), c.kind) << c.sql_type;
}

TEST_F(ValueTest, NumericArithmeticAt38Digits) {
  struct Case {
    const char *a, *b;
    int op;
    const char* expected;
  } cases[] = {
      {"99999999999999999999999999999999999999", "-1", 1, "99999999999999999999999999999999999998"},
      {"9999999999999999999.9999999999999999999", "0.0000000000000000001", 1,
       "10000000000000000000"},
      {"1", "3", 5, "0.333333"},
      {"2", "3", 5, "0.666667"},
      {"-1.5", "2.25", 4, "-3.375"},
      {"12345678901234567890", "98765432109876543210", 2, "-86419753208641975320"},
  };
  for (const auto& c : cases) {
    QuillValue* result = Value();
    ASSERT_EQ(numeric_operation(Exact(c.a), Exact(c.b), result, header_, c.op), 0);
    // Re-parse the expectation so that scale differences do not matter.
    QuillValue* expected = Exact(c.expected);
    EXPECT_EQ(numeric_compare(result, expected), 0)
        << c.a << " op " << c.op << " " << c.b << " = " << TextOf(result);
  }
  QuillValue* result = Value();
  ASSERT_EQ(numeric_operation(Num("1"), Int(3), result, header_, 5), 0);
  EXPECT_EQ(TextOf(result), "0.333333");
  ASSERT_EQ(numeric_operation(Num("2.5", 5, 1), nullptr, result, header_, VALUE_OP_NEGATE), 0);
  EXPECT_EQ(TextOf(result), "-2.5");
  EXPECT_EQ(GetErrorCount(header_), 0);
}

TEST_F(ValueTest, ArithmeticErrorsArePosted) {
  const char* kMax = "99999999999999999999999999999999999999";
  struct Case {
    QuillValue *a, *b;
    int op;
    bool bigint;
    const char* error;
  } cases[] = {
      {Num(kMax), Num("1"), VALUE_OP_ADD, false, "22003 Numeric value out of range"},
      {Num(kMax), Num("10"), VALUE_OP_MULTIPLY, false, "22003 Numeric value out of range"},
      {Num("5"), Num("0.00", 5, 2), VALUE_OP_DIVIDE, false, "22012 Division by zero"},
      {Num("5"), Int(0), VALUE_OP_DIVIDE, false, "22012 Division by zero"},
      {Big(INT64_MAX), Int(1), VALUE_OP_ADD, true, "22003 Numeric value out of range"},
      {Big(INT64_MIN), Int(1), VALUE_OP_SUBTRACT, true, "22003 Numeric value out of range"},
      {Big(INT64_MIN), Int(-1), VALUE_OP_DIVIDE, true, "22003 Numeric value out of range"},
      {Big(int64_t{1} << 32), Big(int64_t{1} << 31), VALUE_OP_MULTIPLY, true,
       "22003 Numeric value out of range"},
      {Big(7), Big(0), VALUE_OP_DIVIDE, true, "22012 Division by zero"},
      {Big(7), Real(1e300), VALUE_OP_ADD, true, "22003 Numeric value out of range"},
      {Big(7), Text("x"), VALUE_OP_LESS, true, "HY000 Unsupported type in lessthan compare"},
      {Num("1"), Text("x"), VALUE_OP_NOT_EQUAL, false,
       "HY000 Unsupported type in notequal compare"},
  };
  for (const auto& c : cases) {
    QuillValue* result = Value();
    int before = GetErrorCount(header_);
    int status = c.bigint ? bigint_operation(c.a, c.b, result, header_, c.op)
                          : numeric_operation(c.a, c.b, result, header_, c.op);
    EXPECT_EQ(status, -1) << c.error;
    EXPECT_EQ(GetErrorCount(header_), before + 1);
    EXPECT_EQ(LastError(), c.error);
  }
  // A null context is allowed.
  EXPECT_EQ(bigint_operation(Big(1), Big(0), Value(), nullptr, VALUE_OP_DIVIDE), -1);
}

TEST_F(ValueTest, BigintArithmeticAndComparisons) {
  struct Case {
    QuillValue *a, *b;
    int op;
    int64_t expected;
  } cases[] = {
      {Big(INT64_MAX - 1), Int(1), VALUE_OP_ADD, INT64_MAX},
      {Big(-7), Int(2), VALUE_OP_DIVIDE, -3},
      {Big(3000000000), Big(3), VALUE_OP_MULTIPLY, 9000000000},
      {Big(INT64_MAX), nullptr, VALUE_OP_NEGATE, -INT64_MAX},
  };
  for (const auto& c : cases) {
    QuillValue* result = Value();
    ASSERT_EQ(bigint_operation(c.a, c.b, result, header_, c.op), 0);
    EXPECT_EQ(result->kind, VALUE_BIGINT);
    EXPECT_EQ(result->payload.bigint, c.expected);
  }
  struct Truth {
    QuillValue *a, *b;
    int op, truth;
  } truths[] = {
      {Big(INT64_MAX), Real(9223372036854775808.0), VALUE_OP_LESS, TRUTH_TRUE},
      {Big(5), Int(5), VALUE_OP_EQUAL, TRUTH_TRUE},
      {Big(5), Null(VALUE_BIGINT), VALUE_OP_EQUAL, TRUTH_UNKNOWN},
      {Big(5), Num("5.5", 5, 1), VALUE_OP_LESS, TRUTH_TRUE},
      {Num("0.1", 5, 1), Num("0.10", 5, 2), VALUE_OP_EQUAL, TRUTH_TRUE},
      {Num("-1"), Int(0), VALUE_OP_GREATER_EQUAL, TRUTH_FALSE},
  };
  for (const auto& t : truths) {
    QuillValue* result = Value();
    ASSERT_EQ(bigint_operation(t.a, t.b, result, header_, t.op), 0);
    EXPECT_EQ(get_trivalue_from_value(result), t.truth) << t.op;
  }
  QuillValue* result = Value();
  ASSERT_EQ(numeric_operation(Null(VALUE_NUMERIC), Num("1"), result, header_, VALUE_OP_ADD), 0);
  EXPECT_TRUE(is_value_null(result));
}

TEST_F(ValueTest, IntervalArithmetic) {
  SQL_TIMESTAMP_STRUCT ts{2024, 1, 31, 23, 0, 0, 0};
  QuillValue* stamp = Value();
  set_value_to_timestamp(stamp, &ts);
  SQL_DATE_STRUCT d{2024, 2, 29};
  QuillValue* date = Value();
  set_value_to_date(date, &d);
  SQL_TIME_STRUCT t{23, 30, 0};
  QuillValue* time = Value();
  set_value_to_time(time, &t);
  struct Case {
    QuillValue *a, *b;
    int op;
    const char* expected;
  } cases[] = {
      {Interval(SQL_IS_DAY_TO_SECOND, false, 1, 23, 59, 59),
       Interval(SQL_IS_SECOND, false, 0, 0, 0, 2), VALUE_OP_ADD, "2 00:00:01"},
      {Interval(SQL_IS_HOUR, false, 0, 1), Interval(SQL_IS_HOUR, false, 0, 3), VALUE_OP_SUBTRACT,
       "-2"},
      {Interval(SQL_IS_YEAR, false, 1), Interval(SQL_IS_MONTH, false, 0, 18), VALUE_OP_ADD, "2-06"},
      {Interval(SQL_IS_MINUTE_TO_SECOND, false, 0, 0, 1, 30), Int(3), VALUE_OP_MULTIPLY, "4:30"},
      {Real(1.5), Interval(SQL_IS_DAY, false, 2), VALUE_OP_MULTIPLY, "3"},
      {Interval(SQL_IS_HOUR_TO_SECOND, true, 0, 1, 0, 0), Int(8), VALUE_OP_DIVIDE, "-0:07:30"},
      {Interval(SQL_IS_DAY_TO_HOUR, false, 0, 2), nullptr, VALUE_OP_NEGATE, "-0 02"},
      {Interval(SQL_IS_HOUR, false, 0, 1), stamp, VALUE_OP_ADD, "2024-02-01 00:00:00"},
      {Interval(SQL_IS_MONTH, false, 0, 1), stamp, VALUE_OP_ADD, "2024-02-29 23:00:00"},
      {Interval(SQL_IS_YEAR, false, 1), date, VALUE_OP_SUBTRACT, "2023-02-28"},
      {Interval(SQL_IS_MINUTE, false, 0, 0, 45), time, VALUE_OP_ADD, "00:15:00"},
      {Interval(SQL_IS_DAY, false, 0), nullptr, VALUE_OP_NEGATE, "0"},
  };
  for (const auto& c : cases) {
    QuillValue* result = Value();
    ASSERT_EQ(interval_operation(c.a, c.b, result, header_, c.op), 0) << LastError();
    EXPECT_EQ(TextOf(result), c.expected);
  }
  struct Failure {
    QuillValue *a, *b;
    int op;
    const char* error;
  } failures[] = {
      {Interval(SQL_IS_DAY, false, 1), Int(0), VALUE_OP_DIVIDE, "22012 Division by zero"},
      {Interval(SQL_IS_DAY, false, 1), Interval(SQL_IS_YEAR, false, 1), VALUE_OP_ADD,
       "HY000 Unsupported type in interval operation"},
      {Interval(SQL_IS_MONTH, false, 0, 1), time, VALUE_OP_ADD,
       "HY000 Unsupported type in interval operation"},
      {Interval(SQL_IS_SECOND, false, 0, 0, 0, 4000000000u), Int(4), VALUE_OP_MULTIPLY,
       "22015 Interval field overflow"},
      {Interval(SQL_IS_YEAR, false, 9000), stamp, VALUE_OP_ADD, "22008 Datetime field overflow"},
  };
  for (const auto& f : failures) {
    EXPECT_EQ(interval_operation(f.a, f.b, Value(), header_, f.op), -1);
    EXPECT_EQ(LastError(), f.error);
  }
  QuillValue* truth = Value();
  ASSERT_EQ(interval_operation(Interval(SQL_IS_DAY, false, 1),
                               Interval(SQL_IS_HOUR_TO_SECOND, false, 0, 24), truth, header_,
                               VALUE_OP_EQUAL),
            0);
  EXPECT_EQ(get_trivalue_from_value(truth), TRUTH_TRUE);
  ASSERT_EQ(
      interval_operation(Int(2), Interval(SQL_IS_DAY, true, 1), truth, header_, VALUE_OP_GREATER),
      0);
  EXPECT_EQ(get_trivalue_from_value(truth), TRUTH_TRUE);
}

TEST_F(ValueTest, CompareValuesOrdersClassesAndContents) {
  // Each row is strictly below the next; a value compares equal to itself.
  QuillValue* ordered[] = {
      Null(VALUE_CHARACTER),
      Real(-INFINITY),
      Num("-1.5", 5, 1),
      Int(-1),
      Big(0),
      Num("0.5", 5, 1),
      Int(1),
      Real(1.25),
      Big(INT64_MAX),
      Real(NAN),
      Text(""),
      Text("a"),
      Text("ab"),
      Text("b"),
  };
  const size_t n = sizeof ordered / sizeof ordered[0];
  for (size_t i = 0; i < n; ++i) {
    EXPECT_EQ(compare_values(ordered[i], ordered[i]), 0) << i;
    for (size_t j = i + 1; j < n; ++j) {
      EXPECT_LT(compare_values(ordered[i], ordered[j]), 0) << i << " vs " << j;
      EXPECT_GT(compare_values(ordered[j], ordered[i]), 0) << j << " vs " << i;
    }
  }
  struct Equal {
    QuillValue *a, *b;
  } equals[] = {{Text("abc"), Text("abc   ")},
                {Int(2), Real(2.0)},
                {Num("2.00", 5, 2), Big(2)},
                {Null(VALUE_INTEGER), Null(VALUE_DATE)}};
  for (const auto& e : equals) EXPECT_EQ(compare_values(e.a, e.b), 0);
  QuillValue* short_bytes = Value();
  set_value_to_binary(short_bytes, "ab", 2);
  QuillValue* long_bytes = Value();
  set_value_to_binary(long_bytes, "ab ", 3);
  EXPECT_LT(compare_values(short_bytes, long_bytes), 0);  // binary keeps trailing blanks
  SQL_DATE_STRUCT date{2024, 1, 1};
  SQL_TIMESTAMP_STRUCT midnight{2024, 1, 1, 0, 0, 0, 0};
  QuillValue* day = Value();
  set_value_to_date(day, &date);
  QuillValue* stamp = Value();
  set_value_to_timestamp(stamp, &midnight);
  EXPECT_EQ(compare_values(day, stamp), 0);
}

TEST_F(ValueTest, CopiesAccessAndTruth) {
  QuillValue* text = Text("hello");
  text->read_offset = 3;
  QuillValue* copy = duplicate_value(pool_, text);
  QuillValue* compact = duplicate_value_ex(pool_, text);
  ASSERT_TRUE(copy && compact);
  set_value_to_text(text, "other", 5);
  EXPECT_EQ(TextOf(copy), "hello");
  EXPECT_EQ(copy->read_offset, 0);
  EXPECT_EQ(compact->read_offset, 3);
  EXPECT_EQ(compact->bytes.capacity, 6);
  release_value(pool_, copy);
  release_value(pool_, compact);
  EXPECT_EQ(NewValue(pool_, -1), nullptr);

  int32_t i = 0;
  int64_t b = 0;
  double d = 0;
  EXPECT_EQ(get_int_from_value(Big(int64_t{1} << 40), &i), -1);
  EXPECT_EQ(get_int_from_value(Num("-7.9", 5, 1), &i), 0);
  EXPECT_EQ(i, -7);
  EXPECT_EQ(get_bigint_from_value(Real(1e19), &b), -1);
  EXPECT_EQ(get_bigint_from_value(Text("5"), &b), -1);
  EXPECT_EQ(get_double_from_value(Null(VALUE_DOUBLE), &d), -1);
  EXPECT_EQ(get_double_from_value(Num("2.5", 5, 1), &d), 0);
  EXPECT_EQ(d, 2.5);

  QuillValue* truth = Value();
  for (int t : {TRUTH_FALSE, TRUTH_TRUE, TRUTH_UNKNOWN}) {
    set_trivalue_in_value(truth, t);
    EXPECT_EQ(get_trivalue_from_value(truth), t);
  }
  EXPECT_EQ(get_trivalue_from_value(Null(VALUE_INTEGER)), TRUTH_UNKNOWN);
  EXPECT_TRUE(numeric_is_zero(Num("0.000", 5, 3)));
  EXPECT_FALSE(numeric_is_zero(Null(VALUE_NUMERIC)));
}

}  // namespace
