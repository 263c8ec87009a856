// Date, time, timestamp and interval literal texts, and whole escape literals.
#include "driver/sql/literals.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "support/memory.h"
#include "support/value.h"

namespace {

TEST(DateText, CalendarRules) {
  struct Case {
    const char* text;
    bool ok;
    int year, month, day;
  } cases[] = {
      {"2024-02-29", true, 2024, 2, 29},
      {"2023-02-29", false, 0, 0, 0},
      {"1900-02-29", false, 0, 0, 0},
      {"2000-02-29", true, 2000, 2, 29},
      {"2024-02-30", false, 0, 0, 0},
      {"2024-04-31", false, 0, 0, 0},
      {"2024-04-30", true, 2024, 4, 30},
      {"2024-13-01", false, 0, 0, 0},
      {"2024-00-10", false, 0, 0, 0},
      {"2024-01-00", false, 0, 0, 0},
      {" 2024-1-5 ", true, 2024, 1, 5},
      {"0001-01-01", true, 1, 1, 1},
      {"0000-01-01", false, 0, 0, 0},
      {"9999-12-31", true, 9999, 12, 31},
      {"10000-01-01", false, 0, 0, 0},
      {"2024/01/01", false, 0, 0, 0},
      {"2024-01-01x", false, 0, 0, 0},
      {"2024-01-", false, 0, 0, 0},
      {"2024-001-01", false, 0, 0, 0},
      {"-2024-01-01", false, 0, 0, 0},
      {"", false, 0, 0, 0},
      {"2024-01-01 10:00:00", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SQL_DATE_STRUCT date{7, 7, 7};
    ASSERT_EQ(parse_date_text(c.text, &date), c.ok);
    if (c.ok) {
      EXPECT_EQ(date.year, c.year);
      EXPECT_EQ(date.month, c.month);
      EXPECT_EQ(date.day, c.day);
    } else {
      EXPECT_EQ(date.year, 7);  // untouched
    }
  }
  EXPECT_FALSE(parse_date_text(nullptr, nullptr));
}

TEST(TimeText, ClockRules) {
  struct Case {
    const char* text;
    bool ok;
    int hour, minute, second;
  } cases[] = {
      {"00:00:00", true, 0, 0, 0},      {"23:59:59", true, 23, 59, 59},
      {"24:00:00", false, 0, 0, 0},     {"12:60:00", false, 0, 0, 0},
      {"12:00:60", false, 0, 0, 0},     {"1:2:3", true, 1, 2, 3},
      {" 10:20:30 ", true, 10, 20, 30}, {"12:00", false, 0, 0, 0},
      {"12:00:00.5", true, 12, 0, 0},   {"12:00:00.", false, 0, 0, 0},
      {"123:00:00", false, 0, 0, 0},    {"12:00:00 PM", false, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SQL_TIME_STRUCT time{};
    ASSERT_EQ(parse_time_text(c.text, &time), c.ok);
    if (c.ok) {
      EXPECT_EQ(time.hour, c.hour);
      EXPECT_EQ(time.minute, c.minute);
      EXPECT_EQ(time.second, c.second);
    }
  }
}

TEST(TimestampText, FractionDigitsBecomeNanoseconds) {
  struct Case {
    const char* text;
    bool ok;
    unsigned fraction;
  } cases[] = {
      {"2024-02-29 23:59:59", true, 0},
      {"2024-02-29 23:59:59.1", true, 100000000},
      {"2024-02-29 23:59:59.12", true, 120000000},
      {"2024-02-29 23:59:59.123", true, 123000000},
      {"2024-02-29 23:59:59.1234", true, 123400000},
      {"2024-02-29 23:59:59.12345", true, 123450000},
      {"2024-02-29 23:59:59.123456", true, 123456000},
      {"2024-02-29 23:59:59.1234567", true, 123456700},
      {"2024-02-29 23:59:59.12345678", true, 123456780},
      {"2024-02-29 23:59:59.123456789", true, 123456789},
      {"2024-02-29 23:59:59.000000001", true, 1},
      {"2024-02-29 23:59:59.1234567890", false, 0},
      {"2024-02-29  23:59:59.5", true, 500000000},
      {"2024-02-2923:59:59", false, 0},
      {"2024-02-30 00:00:00", false, 0},
      {"2023-02-29 00:00:00", false, 0},
      {"2024-01-01 24:00:00", false, 0},
      {"2024-01-01 10:00", false, 0},
      {"2024-01-01 10:00:00x", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    SQL_TIMESTAMP_STRUCT ts{};
    ASSERT_EQ(parse_timestamp_text(c.text, &ts), c.ok);
    if (c.ok) {
      EXPECT_EQ(ts.year, 2024);
      EXPECT_EQ(ts.fraction, c.fraction);
    }
  }
  SQL_TIMESTAMP_STRUCT midnight{};
  ASSERT_TRUE(parse_timestamp_text("2024-03-01", &midnight));
  EXPECT_EQ(midnight.day, 1);
  EXPECT_EQ(midnight.hour + midnight.minute + midnight.second, 0);
}

struct Qualifier {
  const char* name;
  int leading;
  int trailing;
};

const Qualifier kQualifiers[] = {
    {"YEAR", 1, 0},
    {"MONTH", 2, 0},
    {"DAY", 3, 0},
    {"HOUR", 4, 0},
    {"MINUTE", 5, 0},
    {"SECOND", 6, 0},
    {"YEAR TO MONTH", 1, 2},
    {"DAY TO HOUR", 3, 4},
    {"DAY TO MINUTE", 3, 5},
    {"DAY TO SECOND", 3, 6},
    {"HOUR TO MINUTE", 4, 5},
    {"HOUR TO SECOND", 4, 6},
    {"MINUTE TO SECOND", 5, 6},
};

TEST(IntervalLiteral, EveryFormAgainstEveryQualifier) {
  struct Form {
    const char* text;
    std::string fits;  // qualifier names separated by '|'
  } forms[] = {
      {"5", "|YEAR|MONTH|DAY|HOUR|MINUTE|SECOND|"},
      {"5.25", "|SECOND|"},
      {"5:6", "|HOUR TO MINUTE|MINUTE TO SECOND|"},
      {"5:6.25", "|MINUTE TO SECOND|"},
      {"5:6:7", "|HOUR TO SECOND|"},
      {"5:6:7.25", "|HOUR TO SECOND|"},
      {"5 6", "|DAY TO HOUR|"},
      {"5 6:7", "|DAY TO MINUTE|"},
      {"5 6:7:8", "|DAY TO SECOND|"},
      {"5 6:7:8.25", "|DAY TO SECOND|"},
      {"5-6", "|YEAR TO MONTH|"},
      {"5:6:7:8", ""},
      {"5 6 7", ""},
      {"5-6-7", ""},
      {"", ""},
      {" 5", ""},
      {"5 ", ""},
      {"5..5", ""},
      {"5.5.5", ""},
      {"5:", ""},
      {":5", ""},
      {"+5", ""},
      {"-5", ""},
      {"5.", ""},
      {".5", ""},
      {"five", ""},
      {"5.1234567890", ""},
  };
  for (const Form& form : forms) {
    for (const Qualifier& q : kQualifiers) {
      SCOPED_TRACE(std::string("'") + form.text + "' " + q.name);
      bool fits = form.fits.find(std::string("|") + q.name + "|") != std::string::npos;
      SQL_INTERVAL_STRUCT interval{};
      IntervalLiteralStatus status =
          build_interval_literal_status(1, form.text, q.leading, 0, q.trailing, -1, &interval);
      EXPECT_EQ(status, fits ? IntervalLiteralStatus::Ok : IntervalLiteralStatus::BadForm);
      if (fits) {
        EXPECT_EQ(interval.interval_type, interval_type_of_qualifier(q.leading, q.trailing));
      }
    }
  }
}

TEST(IntervalLiteral, FieldValuesSignAndFraction) {
  SQL_INTERVAL_STRUCT iv{};
  ASSERT_TRUE(build_interval_literal(-1, "1 02:03:04.5", 3, 0, 6, -1, &iv));
  EXPECT_EQ(iv.interval_type, SQL_IS_DAY_TO_SECOND);
  EXPECT_EQ(iv.interval_sign, SQL_TRUE);
  EXPECT_EQ(iv.intval.day_second.day, 1u);
  EXPECT_EQ(iv.intval.day_second.hour, 2u);
  EXPECT_EQ(iv.intval.day_second.minute, 3u);
  EXPECT_EQ(iv.intval.day_second.second, 4u);
  EXPECT_EQ(iv.intval.day_second.fraction, 500000000u);

  ASSERT_TRUE(build_interval_literal(1, "3-06", 1, 0, 2, -1, &iv));
  EXPECT_EQ(iv.interval_type, SQL_IS_YEAR_TO_MONTH);
  EXPECT_EQ(iv.interval_sign, SQL_FALSE);
  EXPECT_EQ(iv.intval.year_month.year, 3u);
  EXPECT_EQ(iv.intval.year_month.month, 6u);

  struct FractionCase {
    const char* text;
    int precision;
    unsigned nanoseconds;
  } fractions[] = {
      {"1.999", 2, 990000000},       {"1.999", 0, 0},
      {"1.5", -1, 500000000},        {"1.1234567", -1, 123456000},
      {"1.123456789", 9, 123456789}, {"1.000000001", 9, 1},
      {"1.05", 6, 50000000},
  };
  for (const FractionCase& c : fractions) {
    SCOPED_TRACE(c.text);
    ASSERT_TRUE(build_interval_literal(1, c.text, 6, 0, 0, c.precision, &iv));
    EXPECT_EQ(iv.intval.day_second.second, 1u);
    EXPECT_EQ(iv.intval.day_second.fraction, c.nanoseconds);
  }

  // A zero interval is never negative; single MONTH keeps its whole count.
  ASSERT_TRUE(build_interval_literal(-1, "0", 3, 0, 0, -1, &iv));
  EXPECT_EQ(iv.interval_sign, SQL_FALSE);
  ASSERT_TRUE(build_interval_literal(-1, "15", 2, 0, 0, -1, &iv));
  EXPECT_EQ(iv.interval_sign, SQL_TRUE);
  EXPECT_EQ(iv.intval.year_month.month, 15u);
}

TEST(IntervalLiteral, RangesAndPrecisions) {
  struct Case {
    const char* text;
    int leading, leading_precision, trailing, fraction_precision;
    IntervalLiteralStatus status;
  } cases[] = {
      {"99", 3, 0, 0, -1, IntervalLiteralStatus::Ok},
      {"100", 3, 0, 0, -1, IntervalLiteralStatus::FieldOverflow},
      {"100", 3, 3, 0, -1, IntervalLiteralStatus::Ok},
      {"1000", 3, 3, 0, -1, IntervalLiteralStatus::FieldOverflow},
      {"007", 1, 2, 0, -1, IntervalLiteralStatus::Ok},
      {"999999999", 6, 9, 0, -1, IntervalLiteralStatus::Ok},
      {"99999999999999999999999", 6, 9, 0, -1, IntervalLiteralStatus::FieldOverflow},
      {"100 1", 3, 0, 4, -1, IntervalLiteralStatus::FieldOverflow},
      {"1 24", 3, 0, 4, -1, IntervalLiteralStatus::FieldOverflow},
      {"1 23", 3, 0, 4, -1, IntervalLiteralStatus::Ok},
      {"1-12", 1, 0, 2, -1, IntervalLiteralStatus::FieldOverflow},
      {"1-11", 1, 0, 2, -1, IntervalLiteralStatus::Ok},
      {"1:60", 4, 0, 5, -1, IntervalLiteralStatus::FieldOverflow},
      {"1:60", 5, 0, 6, -1, IntervalLiteralStatus::FieldOverflow},
      {"99 23:59:59.999999", 3, 0, 6, -1, IntervalLiteralStatus::Ok},
      {"1 2:3:60", 3, 0, 6, -1, IntervalLiteralStatus::FieldOverflow},
      {"99:59", 4, 0, 5, -1, IntervalLiteralStatus::Ok},
      {"5", 3, 10, 0, -1, IntervalLiteralStatus::BadForm},
      {"5", 6, 0, 0, 10, IntervalLiteralStatus::BadForm},
      // Qualifiers that do not exist.
      {"5", 1, 0, 3, -1, IntervalLiteralStatus::BadForm},
      {"5-6", 2, 0, 1, -1, IntervalLiteralStatus::BadForm},
      {"5", 3, 0, 3, -1, IntervalLiteralStatus::BadForm},
      {"5", 2, 0, 6, -1, IntervalLiteralStatus::BadForm},
      {"5", 0, 0, 0, -1, IntervalLiteralStatus::BadForm},
      {"5", 7, 0, 0, -1, IntervalLiteralStatus::BadForm},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " " + std::to_string(c.leading) + "/" +
                 std::to_string(c.trailing));
    SQL_INTERVAL_STRUCT iv{};
    EXPECT_EQ(build_interval_literal_status(1, c.text, c.leading, c.leading_precision, c.trailing,
                                            c.fraction_precision, &iv),
              c.status);
  }
  SQL_INTERVAL_STRUCT iv{};
  EXPECT_FALSE(build_interval_literal(0, "5", 3, 0, 0, -1, &iv));
  EXPECT_FALSE(build_interval_literal(1, nullptr, 3, 0, 0, -1, &iv));
}

class EscapeLiteral : public ::testing::Test {
 protected:
  void SetUp() override {
    pool_ = quill_mem_alloc_handle(nullptr);
    value_ = NewValue(pool_, 40);
    ASSERT_NE(value_, nullptr);
  }
  void TearDown() override {
    release_value(pool_, value_);
    quill_mem_release_handle(pool_);
  }
  int Parse(const char* text, unsigned options = 0) {
    return parse_escape_literal(text, value_, message_, sizeof message_, options);
  }
  MemPool* pool_ = nullptr;
  QuillValue* value_ = nullptr;
  char message_[256] = {};
};

TEST_F(EscapeLiteral, DateTimeForms) {
  struct Case {
    const char* text;
    unsigned options;
    int status;
    int kind;
    const char* text_form_or_message;
  } cases[] = {
      {"{d '2024-02-29'}", 0, ESCAPE_LITERAL_OK, VALUE_DATE, "2024-02-29"},
      {"{D'2024-02-29'}", 0, ESCAPE_LITERAL_OK, VALUE_DATE, "2024-02-29"},
      {"  { d '2024-02-29' }  ", 0, ESCAPE_LITERAL_OK, VALUE_DATE, "2024-02-29"},
      {"{d\t'2024-01-01'\n}", 0, ESCAPE_LITERAL_OK, VALUE_DATE, "2024-01-01"},
      {"{t '10:20:30'}", 0, ESCAPE_LITERAL_OK, VALUE_TIME, "10:20:30"},
      {"{t '24:00:00'}", ESCAPE_LITERAL_LENIENT_TIME, ESCAPE_LITERAL_OK, VALUE_TIME, "24:00:00"},
      {"{t '10:00:61'}", ESCAPE_LITERAL_LENIENT_TIME, ESCAPE_LITERAL_OK, VALUE_TIME, "10:00:61"},
      {"{ts '2024-02-29 10:20:30.5' }", 0, ESCAPE_LITERAL_OK, VALUE_TIMESTAMP,
       "2024-02-29 10:20:30.5"},
      {"{TS '2024-02-29'}", 0, ESCAPE_LITERAL_OK, VALUE_TIMESTAMP, "2024-02-29 00:00:00"},
      {"{d '2023-02-29'}", 0, ESCAPE_LITERAL_INVALID_VALUE, 0,
       "Invalid DATE literal near '2023-02-29'"},
      {"{d '1900-02-29'}", 0, ESCAPE_LITERAL_INVALID_VALUE, 0,
       "Invalid DATE literal near '1900-02-29'"},
      {"{t '24:00:00'}", 0, ESCAPE_LITERAL_INVALID_VALUE, 0,
       "Invalid TIME literal near '24:00:00'"},
      {"{t '25:00:00'}", ESCAPE_LITERAL_LENIENT_TIME, ESCAPE_LITERAL_INVALID_VALUE, 0,
       "Invalid TIME literal near '25:00:00'"},
      {"{t '10:00:63'}", ESCAPE_LITERAL_LENIENT_TIME, ESCAPE_LITERAL_INVALID_VALUE, 0,
       "Invalid TIME literal near '10:00:63'"},
      {"{ts '2024-13-01 00:00:00'}", 0, ESCAPE_LITERAL_INVALID_VALUE, 0,
       "Invalid TIMESTAMP literal near '2024-13-01 00:00:00'"},
      {"{x '2024'}", 0, ESCAPE_LITERAL_SYNTAX_ERROR, 0, "syntax error near 'X'"},
      {"{d 2024-01-01}", 0, ESCAPE_LITERAL_SYNTAX_ERROR, 0, "syntax error near '2024'"},
      {"{d '2024-01-01'", 0, ESCAPE_LITERAL_SYNTAX_ERROR, 0, "syntax error near '2024-01-01'"},
      {"{d '2024-01-01'} x", 0, ESCAPE_LITERAL_SYNTAX_ERROR, 0, "syntax error near 'X'"},
      {"{d '2024-01-01}", 0, ESCAPE_LITERAL_SYNTAX_ERROR, 0, "syntax error near ''2024-01-01}'"},
      {"d '2024-01-01'", 0, ESCAPE_LITERAL_SYNTAX_ERROR, 0, "syntax error near 'D'"},
      {"", 0, ESCAPE_LITERAL_SYNTAX_ERROR, 0, "syntax error near ''"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    set_value_null(value_, VALUE_CHARACTER);
    ASSERT_EQ(Parse(c.text, c.options), c.status);
    if (c.status == ESCAPE_LITERAL_OK) {
      EXPECT_EQ(value_->kind, c.kind);
      EXPECT_FALSE(is_value_null(value_));
      char text[VALUE_TEXT_SIZE];
      value_as_text(value_, text);
      EXPECT_STREQ(text, c.text_form_or_message);
    } else {
      EXPECT_STREQ(message_, c.text_form_or_message);
      EXPECT_EQ(value_->kind, VALUE_CHARACTER);  // untouched
      EXPECT_TRUE(is_value_null(value_));
    }
  }
}

TEST_F(EscapeLiteral, IntervalForms) {
  struct Case {
    const char* text;
    int status;
    const char* text_form_or_message;
    int precision;
  } cases[] = {
      {"{INTERVAL '5' DAY}", ESCAPE_LITERAL_OK, "5", 2},
      {"{interval -'1-6' year to month}", ESCAPE_LITERAL_OK, "-1-06", 2},
      {"{INTERVAL +'7' HOUR}", ESCAPE_LITERAL_OK, "7", 2},
      {"{INTERVAL '1 02:03:04.5' DAY_TO_SECOND }", ESCAPE_LITERAL_OK, "1 02:03:04.5", 2},
      {"{INTERVAL '1 02:03:04.5' day_to_second}", ESCAPE_LITERAL_OK, "1 02:03:04.5", 2},
      {"{INTERVAL '100 1' DAY_TO_HOUR(3)}", ESCAPE_LITERAL_OK, "100 01", 3},
      {"{INTERVAL ' 3:4 ' MINUTE_TO_SECOND}", ESCAPE_LITERAL_OK, "3:04", 2},
      {"{INTERVAL '100' DAY(3)}", ESCAPE_LITERAL_OK, "100", 3},
      {"{INTERVAL '5.123' SECOND(2,1)}", ESCAPE_LITERAL_OK, "5.1", 2},
      {"{INTERVAL '1 2:3:4.5678' DAY TO SECOND(2)}", ESCAPE_LITERAL_OK, "1 02:03:04.56", 2},
      {"{INTERVAL '1 2:3:4.5678' DAY(4) TO SECOND(9)}", ESCAPE_LITERAL_OK, "1 02:03:04.5678", 4},
      {"{INTERVAL '1\t2' DAY TO HOUR}", ESCAPE_LITERAL_OK, "1 02", 2},
      {"{INTERVAL '100' DAY}", ESCAPE_LITERAL_INTERVAL_OVERFLOW,
       "Invalid INTERVAL literal near '100'", 0},
      {"{INTERVAL '1 24' DAY TO HOUR}", ESCAPE_LITERAL_INTERVAL_OVERFLOW,
       "Invalid INTERVAL literal near '1 24'", 0},
      {"{INTERVAL '-1' DAY}", ESCAPE_LITERAL_INVALID_VALUE, "Invalid INTERVAL literal near '-1'",
       0},
      {"{INTERVAL '5' YEAR TO DAY}", ESCAPE_LITERAL_INVALID_VALUE,
       "Invalid INTERVAL literal near '5'", 0},
      {"{INTERVAL '5' DAY(0)}", ESCAPE_LITERAL_INVALID_VALUE, "Invalid INTERVAL literal near '5'",
       0},
      {"{INTERVAL '5' DAY(123)}", ESCAPE_LITERAL_INVALID_VALUE, "Invalid INTERVAL literal near '5'",
       0},
      {"{INTERVAL '5' DAY(2,1)}", ESCAPE_LITERAL_SYNTAX_ERROR, "syntax error near '}'", 0},
      // The forms CAST writes: the precisions after the trailing field, leading first.
      {"{INTERVAL '105:6' HOUR TO MINUTE(3)}", ESCAPE_LITERAL_OK, "105:06", 3},
      {"{INTERVAL '1-2' YEAR TO MONTH(4)}", ESCAPE_LITERAL_OK, "1-02", 4},
      {"{INTERVAL '1 2:3:4.5678' DAY TO SECOND(3,2)}", ESCAPE_LITERAL_OK, "1 02:03:04.56", 3},
      {"{INTERVAL '5:6' HOUR(2) TO MINUTE(2)}", ESCAPE_LITERAL_SYNTAX_ERROR,
       "syntax error near '}'", 0},
      {"{INTERVAL '5' DAY_TO}", ESCAPE_LITERAL_SYNTAX_ERROR, "syntax error near 'DAY_TO'", 0},
      {"{INTERVAL '5' DAY_TO_WEEK}", ESCAPE_LITERAL_SYNTAX_ERROR, "syntax error near 'DAY_TO_WEEK'",
       0},
      {"{INTERVAL '5' WEEK}", ESCAPE_LITERAL_SYNTAX_ERROR, "syntax error near 'WEEK'", 0},
      {"{INTERVAL '5'}", ESCAPE_LITERAL_SYNTAX_ERROR, "syntax error near '}'", 0},
      {"{INTERVAL 5 DAY}", ESCAPE_LITERAL_SYNTAX_ERROR, "syntax error near '5'", 0},
      {"{INTERVAL '5' DAY TO}", ESCAPE_LITERAL_SYNTAX_ERROR, "syntax error near '}'", 0},
      {"{INTERVAL '5' DAY(}", ESCAPE_LITERAL_SYNTAX_ERROR, "syntax error near '}'", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    set_value_null(value_, VALUE_CHARACTER);
    ASSERT_EQ(Parse(c.text), c.status);
    if (c.status == ESCAPE_LITERAL_OK) {
      char text[VALUE_TEXT_SIZE];
      value_as_text(value_, text);
      EXPECT_STREQ(text, c.text_form_or_message);
      EXPECT_EQ(value_->interval_precision, c.precision);
    } else {
      EXPECT_STREQ(message_, c.text_form_or_message);
      EXPECT_EQ(value_->kind, VALUE_CHARACTER);
    }
  }
  ASSERT_EQ(Parse("{INTERVAL -'1 02:00:00' DAY TO SECOND}"), ESCAPE_LITERAL_OK);
  EXPECT_EQ(value_->kind, VALUE_DAY_TIME_INTERVAL);
  EXPECT_EQ(value_->payload.interval.interval_sign, SQL_TRUE);
  ASSERT_EQ(Parse("{INTERVAL '2-3' YEAR TO MONTH}"), ESCAPE_LITERAL_OK);
  EXPECT_EQ(value_->kind, VALUE_YEAR_MONTH_INTERVAL);
}

TEST_F(EscapeLiteral, NullArgumentsAndShortMessageBuffers) {
  EXPECT_EQ(Parse(nullptr), ESCAPE_LITERAL_SYNTAX_ERROR);
  EXPECT_STREQ(message_, "syntax error near ''");
  EXPECT_EQ(parse_escape_literal("{d '2024-01-01'}", nullptr, nullptr, 0), ESCAPE_LITERAL_OK);
  EXPECT_EQ(parse_escape_literal("{d '2024-02-30'}", nullptr, nullptr, 0),
            ESCAPE_LITERAL_INVALID_VALUE);
  char small[8];
  EXPECT_EQ(parse_escape_literal("{q}", nullptr, small, sizeof small), ESCAPE_LITERAL_SYNTAX_ERROR);
  EXPECT_STREQ(small, "syntax ");
}

}  // namespace
