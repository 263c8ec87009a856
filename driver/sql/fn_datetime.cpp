// The date, time, timestamp and interval scalar functions. Every date-time argument is first
// brought to a timestamp (a date at midnight, a time on the statement's date); results that
// leave years 1..9999 raise 22008 "Datetime field overflow" and integer results outside 32
// bits raise 22003 "Numeric value out of range".
#include "driver/sql/fn_datetime.h"

#include <cctype>
#include <climits>
#include <cstring>
#include <string>

#include "driver/sql/fn_support.h"
#include "driver/sql/literals.h"
#include "support/datetime.h"
#include "support/interval.h"

namespace {

constexpr int64_t kNanosecondsPerDay = SECONDS_PER_DAY * NANOSECONDS_PER_SECOND;
// CDATE reads at most this much of a long text.
constexpr size_t kCdateLongTextLimit = 256;

const char* const kDayNames[] = {"Sunday",   "Monday", "Tuesday", "Wednesday",
                                 "Thursday", "Friday", "Saturday"};
const char* const kMonthNames[] = {"January",   "February", "March",    "April",
                                   "May",       "June",     "July",     "August",
                                   "September", "October",  "November", "December"};

QuillValue* datetime_overflow(EvalContext* context) {
  return eval_error(context, "22008", "Datetime field overflow");
}

QuillValue* out_of_range(EvalContext* context) {
  return eval_error(context, "22003", "Numeric value out of range");
}

// A 64-bit (or wider) count as an integer value; 22003 outside 32 bits.
QuillValue* integer_result(EvalContext* context, __int128 number) {
  if (number < INT32_MIN || number > INT32_MAX) return out_of_range(context);
  return fn_int_value(context, static_cast<int32_t>(number));
}

SQL_TIMESTAMP_STRUCT statement_midnight(const EvalContext* context) {
  SQL_TIMESTAMP_STRUCT today = context->start_time;
  today.hour = today.minute = today.second = 0;
  today.fraction = 0;
  return today;
}

// A date, time, timestamp or date-time text as a timestamp; false after raising an error.
bool as_timestamp(EvalContext* context, const QuillValue* value, const char* function,
                  SQL_TIMESTAMP_STRUCT* out) {
  SQL_TIMESTAMP_STRUCT result = statement_midnight(context);
  std::string text;
  SQL_TIME_STRUCT time{};
  switch (value->kind) {
    case VALUE_DATE:
      result.year = value->payload.date.year;
      result.month = value->payload.date.month;
      result.day = value->payload.date.day;
      break;
    case VALUE_TIME:
      result.hour = value->payload.time.hour;
      result.minute = value->payload.time.minute;
      result.second = value->payload.time.second;
      break;
    case VALUE_TIMESTAMP:
      result = value->payload.timestamp;
      break;
    case VALUE_CHARACTER:
    case VALUE_LONG_CHARACTER:
      if (!fn_read_text(context, value, &text)) return false;
      if (parse_timestamp_text(text.c_str(), &result)) break;
      if (parse_time_text(text.c_str(), &time)) {
        result.hour = time.hour;
        result.minute = time.minute;
        result.second = time.second;
        break;
      }
      eval_error(context, "22007", "Invalid datetime format");
      return false;
    default:
      eval_error(context, "HY000", "Argument to %s() is not a date or time", function);
      return false;
  }
  if (!is_valid_timestamp(&result)) {
    datetime_overflow(context);
    return false;
  }
  *out = result;
  return true;
}

int64_t day_number(const SQL_TIMESTAMP_STRUCT& timestamp) {
  return ymd_to_jdnl(timestamp.year, timestamp.month, timestamp.day);
}

// Nanoseconds from the start of Julian day 0.
__int128 timestamp_nanoseconds(const SQL_TIMESTAMP_STRUCT& timestamp) {
  return static_cast<__int128>(timestamp_to_seconds(&timestamp)) * NANOSECONDS_PER_SECOND +
         timestamp.fraction;
}

// --- CURRENT functions -----------------------------------------------------------------

QuillValue* eval_current_date(EvalContext* context, int, void* const*, const ScalarFunction*) {
  QuillValue* value = fn_new_value(context);
  if (value == nullptr) return nullptr;
  SQL_DATE_STRUCT date{context->start_time.year, context->start_time.month,
                       context->start_time.day};
  set_value_to_date(value, &date);
  return value;
}

QuillValue* eval_current_time(EvalContext* context, int, void* const*, const ScalarFunction*) {
  QuillValue* value = fn_new_value(context);
  if (value == nullptr) return nullptr;
  SQL_TIME_STRUCT time{context->start_time.hour, context->start_time.minute,
                       context->start_time.second};
  set_value_to_time(value, &time);
  return value;
}

QuillValue* eval_current_timestamp(EvalContext* context, int, void* const*, const ScalarFunction*) {
  QuillValue* value = fn_new_value(context);
  if (value == nullptr) return nullptr;
  SQL_TIMESTAMP_STRUCT now = context->start_time;
  now.fraction = 0;
  set_value_to_timestamp(value, &now);
  return value;
}

// --- Field functions -------------------------------------------------------------------

// The integer a field function derives from a timestamp.
using FieldOf = int32_t (*)(const SQL_TIMESTAMP_STRUCT& timestamp);

int32_t week_of_year(const SQL_TIMESTAMP_STRUCT& timestamp) {
  int64_t first = ymd_to_jdnl(timestamp.year, 1, 1);
  return static_cast<int32_t>((day_number(timestamp) + jdnl_to_dow(first) - first) / 7 + 1);
}
int32_t day_of_year(const SQL_TIMESTAMP_STRUCT& timestamp) {
  return static_cast<int32_t>(day_number(timestamp) - ymd_to_jdnl(timestamp.year, 1, 1) + 1);
}
int32_t day_of_week(const SQL_TIMESTAMP_STRUCT& timestamp) {
  return jdnl_to_dow(day_number(timestamp)) + 1;
}
int32_t quarter_of(const SQL_TIMESTAMP_STRUCT& timestamp) {
  return (timestamp.month - 1) / 3 + 1;
}
int32_t year_of(const SQL_TIMESTAMP_STRUCT& timestamp) {
  return timestamp.year;
}
int32_t month_of(const SQL_TIMESTAMP_STRUCT& timestamp) {
  return timestamp.month;
}
int32_t day_of(const SQL_TIMESTAMP_STRUCT& timestamp) {
  return timestamp.day;
}
int32_t hour_of(const SQL_TIMESTAMP_STRUCT& timestamp) {
  return timestamp.hour;
}
int32_t minute_of(const SQL_TIMESTAMP_STRUCT& timestamp) {
  return timestamp.minute;
}
int32_t second_of(const SQL_TIMESTAMP_STRUCT& timestamp) {
  return timestamp.second;
}

QuillValue* field_function(EvalContext* context, int count, void* const* arguments,
                           const ScalarFunction* entry, FieldOf field) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (fn_is_null(argument)) return fn_null_value(context, VALUE_INTEGER);
  SQL_TIMESTAMP_STRUCT timestamp{};
  if (!as_timestamp(context, argument, fn_name(entry), &timestamp)) return nullptr;
  return fn_int_value(context, field(timestamp));
}

// YEAR also takes text, read as a leading decimal integer (0 when there is none).
QuillValue* eval_year(EvalContext* context, int count, void* const* arguments,
                      const ScalarFunction* entry) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (!fn_is_character(argument) || is_value_null(argument))
    return field_function(context, count, arguments, entry, year_of);
  std::string text;
  if (!fn_read_text(context, argument, &text)) return nullptr;
  const char* cursor = text.c_str();
  while (std::isspace(static_cast<unsigned char>(*cursor))) ++cursor;
  bool negative = *cursor == '-';
  if (*cursor == '-' || *cursor == '+') ++cursor;
  int64_t number = 0;
  for (; std::isdigit(static_cast<unsigned char>(*cursor)); ++cursor) {
    number = number * 10 + (*cursor - '0');
    if (number > static_cast<int64_t>(INT32_MAX) + 1) return out_of_range(context);
  }
  return integer_result(context, negative ? -number : number);
}

QuillValue* name_function(EvalContext* context, int count, void* const* arguments,
                          const ScalarFunction* entry, bool month) {
  const QuillValue* argument = fn_argument(count, arguments, 0);
  if (fn_is_null(argument)) return fn_null_value(context, VALUE_CHARACTER);
  SQL_TIMESTAMP_STRUCT timestamp{};
  if (!as_timestamp(context, argument, fn_name(entry), &timestamp)) return nullptr;
  return fn_text_value(context, month ? kMonthNames[timestamp.month - 1]
                                      : kDayNames[jdnl_to_dow(day_number(timestamp))]);
}

// --- Specifiers --------------------------------------------------------------------------

// The text of a character specifier; false (nothing raised) for another kind, false after
// raising an error when a long text cannot be read.
bool specifier_text(EvalContext* context, const QuillValue* value, std::string* out) {
  return fn_is_character(value) && fn_read_text(context, value, out);
}

// --- EXTRACT -------------------------------------------------------------------------------

const char* const kExtractNames[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};

QuillValue* extract_from_interval(EvalContext* context, int field,
                                  const SQL_INTERVAL_STRUCT& interval) {
  int64_t total = get_base_value(&interval, nullptr);
  if (is_year_month_interval(interval_type_of(&interval))) {
    if (field == EXTRACT_YEAR) return integer_result(context, total / 12);
    if (field == EXTRACT_MONTH) return integer_result(context, total);
    return eval_error(context, "HY000", "Cannot extract %s from INTERVAL YEAR/MONTH",
                      kExtractNames[field]);
  }
  switch (field) {
    case EXTRACT_DAY:
      return integer_result(context, total / SECONDS_PER_DAY);
    case EXTRACT_HOUR:
      return integer_result(context, total / 3600);
    case EXTRACT_MINUTE:
      return integer_result(context, total / 60);
    case EXTRACT_SECOND:
      return integer_result(context, total);
    default:
      return eval_error(context, "HY000", "Cannot extract YEAR/MONTH from INTERVAL DAY");
  }
}

QuillValue* eval_extract(EvalContext* context, int count, void* const* arguments,
                         const ScalarFunction* entry) {
  const QuillValue* specifier = fn_argument(count, arguments, 0);
  const QuillValue* source = fn_argument(count, arguments, 1);
  int field = -1;
  std::string name;
  if (specifier != nullptr && !is_value_null(specifier) &&
      specifier_text(context, specifier, &name)) {
    for (int i = 0; i <= EXTRACT_SECOND; ++i)
      if (name == kExtractNames[i]) field = i;
  } else if (context->error != 0) {
    return nullptr;
  } else if (specifier != nullptr && !is_value_null(specifier) &&
             (specifier->kind == VALUE_INTEGER || specifier->kind == VALUE_BIT)) {
    field = specifier->payload.integer;
  }
  if (field < EXTRACT_YEAR || field > EXTRACT_SECOND)
    return eval_error(context, "HY000",
                      "EXTRACT field must be YEAR, MONTH, DAY, HOUR, MINUTE or SECOND");
  if (fn_is_null(source)) return fn_null_value(context, VALUE_INTEGER);
  if (source->kind == VALUE_YEAR_MONTH_INTERVAL || source->kind == VALUE_DAY_TIME_INTERVAL)
    return extract_from_interval(context, field, source->payload.interval);
  SQL_TIMESTAMP_STRUCT timestamp{};
  if (!as_timestamp(context, source, fn_name(entry), &timestamp)) return nullptr;
  bool has_date = source->kind != VALUE_TIME;
  bool has_time = source->kind != VALUE_DATE;
  const FieldOf fields[] = {year_of, month_of, day_of, hour_of, minute_of, second_of};
  bool present = field <= EXTRACT_DAY ? has_date : has_time;
  return fn_int_value(context, present ? fields[field](timestamp) : 0);
}

// --- TIMESTAMPADD --------------------------------------------------------------------------

enum Unit {
  UNIT_NONE,
  UNIT_FRAC,
  UNIT_SECOND,
  UNIT_MINUTE,
  UNIT_HOUR,
  UNIT_DAY,
  UNIT_WEEK,
  UNIT_MONTH,
  UNIT_QUARTER,
  UNIT_YEAR
};

Unit unit_of_name(const std::string& name) {
  static const struct {
    const char* name;
    Unit unit;
  } kUnits[] = {{"SQL_TSI_FRAC_SECOND", UNIT_FRAC}, {"SQL_TSI_SECOND", UNIT_SECOND},
                {"SQL_TSI_MINUTE", UNIT_MINUTE},    {"SQL_TSI_HOUR", UNIT_HOUR},
                {"SQL_TSI_DAY", UNIT_DAY},          {"SQL_TSI_WEEK", UNIT_WEEK},
                {"SQL_TSI_MONTH", UNIT_MONTH},      {"SQL_TSI_QUARTER", UNIT_QUARTER},
                {"SQL_TSI_YEAR", UNIT_YEAR}};
  for (const auto& candidate : kUnits)
    if (name == candidate.name) return candidate.unit;
  return UNIT_NONE;
}

int64_t floor_div(int64_t a, int64_t b) {
  int64_t quotient = a / b;
  return (a % b != 0 && ((a < 0) != (b < 0))) ? quotient - 1 : quotient;
}

// Shifts a timestamp by `amount` units; false when the result leaves years 1..9999.
bool add_to_timestamp(SQL_TIMESTAMP_STRUCT* timestamp, Unit unit, int64_t amount) {
  int64_t scaled = 0;
  switch (unit) {
    case UNIT_FRAC: {
      int64_t total = static_cast<int64_t>(timestamp->fraction) + amount % NANOSECONDS_PER_SECOND;
      int64_t carry = amount / NANOSECONDS_PER_SECOND + floor_div(total, NANOSECONDS_PER_SECOND);
      SQL_TIMESTAMP_STRUCT shifted = *timestamp;
      shifted.fraction = static_cast<SQLUINTEGER>(total - floor_div(total, NANOSECONDS_PER_SECOND) *
                                                              NANOSECONDS_PER_SECOND);
      if (timestamp_add_noconvert(&shifted, nullptr, &shifted, carry) != 0) return false;
      *timestamp = shifted;
      return true;
    }
    case UNIT_SECOND:
    case UNIT_MINUTE:
    case UNIT_HOUR:
    case UNIT_DAY:
    case UNIT_WEEK: {
      static const int64_t kSeconds[] = {0, 0, 1, 60, 3600, SECONDS_PER_DAY, 7 * SECONDS_PER_DAY};
      if (__builtin_mul_overflow(amount, kSeconds[unit], &scaled)) return false;
      return timestamp_add_noconvert(timestamp, nullptr, timestamp, scaled) == 0;
    }
    case UNIT_MONTH:
    case UNIT_QUARTER:
    case UNIT_YEAR: {
      int64_t factor = unit == UNIT_MONTH ? 1 : (unit == UNIT_QUARTER ? 3 : 12);
      if (__builtin_mul_overflow(amount, factor, &scaled)) return false;
      return timestamp_add_months(timestamp, timestamp, scaled) == 0;
    }
    default:
      return true;
  }
}

// A time shifted by `amount` units of a day or less, wrapping around midnight.
SQL_TIME_STRUCT add_to_time(const SQL_TIME_STRUCT& time, Unit unit, int64_t amount) {
  int64_t seconds = 0;
  switch (unit) {
    case UNIT_FRAC:
      seconds = floor_div(amount, NANOSECONDS_PER_SECOND) % SECONDS_PER_DAY;
      break;
    case UNIT_SECOND:
      seconds = amount % SECONDS_PER_DAY;
      break;
    case UNIT_MINUTE:
      seconds = amount % SECONDS_PER_DAY * 60 % SECONDS_PER_DAY;
      break;
    case UNIT_HOUR:
      seconds = amount % SECONDS_PER_DAY * 3600 % SECONDS_PER_DAY;
      break;
    default:
      break;
  }
  int64_t of_day = time.hour * 3600 + time.minute * 60 + time.second + seconds;
  of_day = (of_day % SECONDS_PER_DAY + SECONDS_PER_DAY) % SECONDS_PER_DAY;
  return SQL_TIME_STRUCT{static_cast<SQLUSMALLINT>(of_day / 3600),
                         static_cast<SQLUSMALLINT>(of_day / 60 % 60),
                         static_cast<SQLUSMALLINT>(of_day % 60)};
}

QuillValue* eval_timestampadd(EvalContext* context, int count, void* const* arguments,
                              const ScalarFunction* entry) {
  const QuillValue* specifier = fn_argument(count, arguments, 0);
  const QuillValue* amount_value = fn_argument(count, arguments, 1);
  const QuillValue* source = fn_argument(count, arguments, 2);
  std::string name;
  if (fn_is_null(specifier) || !specifier_text(context, specifier, &name)) {
    if (context->error != 0) return nullptr;
    return eval_error(context, "HY000",
                      "First argument to TIMESTAPADD must be a interval specifier");
  }
  Unit unit = unit_of_name(name);
  bool day_or_more = unit >= UNIT_DAY;
  bool hour_or_less = unit != UNIT_NONE && unit <= UNIT_HOUR;
  int32_t result_kind = VALUE_TIMESTAMP;
  if (source != nullptr && source->kind == VALUE_DATE && day_or_more) result_kind = VALUE_DATE;
  if (source != nullptr && source->kind == VALUE_TIME && hour_or_less) result_kind = VALUE_TIME;
  if (fn_is_null(amount_value) || fn_is_null(source)) return fn_null_value(context, result_kind);
  double numeric_check = 0;
  if (!fn_double_argument(context, amount_value, fn_name(entry), &numeric_check)) return nullptr;
  int64_t amount = 0;
  if (get_bigint_from_value(amount_value, &amount) != 0) return datetime_overflow(context);

  QuillValue* result = nullptr;
  if (result_kind == VALUE_TIME) {
    SQL_TIME_STRUCT shifted = add_to_time(source->payload.time, unit, amount);
    if ((result = fn_new_value(context)) != nullptr) set_value_to_time(result, &shifted);
    return result;
  }
  SQL_TIMESTAMP_STRUCT timestamp{};
  if (!as_timestamp(context, source, fn_name(entry), &timestamp)) return nullptr;
  if (!add_to_timestamp(&timestamp, unit, amount)) return datetime_overflow(context);
  if ((result = fn_new_value(context)) == nullptr) return nullptr;
  if (result_kind == VALUE_DATE) {
    SQL_DATE_STRUCT date{timestamp.year, timestamp.month, timestamp.day};
    set_value_to_date(result, &date);
  } else {
    set_value_to_timestamp(result, &timestamp);
  }
  return result;
}

// --- TIMESTAMPDIFF and DATEDIFF --------------------------------------------------------

// Whole calendar months from `from` to `to` (to not earlier than from).
int64_t whole_months(const SQL_TIMESTAMP_STRUCT& from, const SQL_TIMESTAMP_STRUCT& to) {
  int64_t months = (static_cast<int64_t>(to.year) * 12 + to.month) -
                   (static_cast<int64_t>(from.year) * 12 + from.month);
  SQL_TIMESTAMP_STRUCT same_month = from;
  same_month.year = to.year;
  same_month.month = to.month;
  // A later day (or time) of the month in `from` means the last month is not complete.
  if (months > 0 && timestamp_compare(&to, &same_month) < 0) --months;
  return months;
}

// The signed difference b - a in `unit`, truncated toward zero.
QuillValue* difference(EvalContext* context, Unit unit, const SQL_TIMESTAMP_STRUCT& a,
                       const SQL_TIMESTAMP_STRUCT& b) {
  __int128 nanoseconds = timestamp_nanoseconds(b) - timestamp_nanoseconds(a);
  switch (unit) {
    case UNIT_FRAC:
      return integer_result(context, nanoseconds);
    case UNIT_SECOND:
      return integer_result(context, nanoseconds / NANOSECONDS_PER_SECOND);
    case UNIT_MINUTE:
      return integer_result(context, nanoseconds / (60LL * NANOSECONDS_PER_SECOND));
    case UNIT_HOUR:
      return integer_result(context, nanoseconds / (3600LL * NANOSECONDS_PER_SECOND));
    case UNIT_DAY:
      return integer_result(context, nanoseconds / kNanosecondsPerDay);
    case UNIT_WEEK:
      return integer_result(context, nanoseconds / kNanosecondsPerDay / 7);
    case UNIT_MONTH:
    case UNIT_QUARTER:
    case UNIT_YEAR: {
      bool negative = nanoseconds < 0;
      int64_t months = negative ? whole_months(b, a) : whole_months(a, b);
      int64_t divisor = unit == UNIT_MONTH ? 1 : (unit == UNIT_QUARTER ? 3 : 12);
      int64_t span = months / divisor;
      return integer_result(context, negative ? -span : span);
    }
    default:
      return fn_int_value(context, 0);
  }
}

// The two date-time operands of a difference; *result set and false when NULL or an error.
bool difference_operands(EvalContext* context, int count, void* const* arguments,
                         const ScalarFunction* entry, SQL_TIMESTAMP_STRUCT* a,
                         SQL_TIMESTAMP_STRUCT* b, QuillValue** result) {
  const QuillValue* first = fn_argument(count, arguments, 1);
  const QuillValue* second = fn_argument(count, arguments, 2);
  *result = nullptr;
  if (fn_is_null(first) || fn_is_null(second)) {
    *result = fn_null_value(context, VALUE_INTEGER);
    return false;
  }
  return as_timestamp(context, first, fn_name(entry), a) &&
         as_timestamp(context, second, fn_name(entry), b);
}

QuillValue* eval_timestampdiff(EvalContext* context, int count, void* const* arguments,
                               const ScalarFunction* entry) {
  const QuillValue* specifier = fn_argument(count, arguments, 0);
  std::string name;
  if (specifier == nullptr || !specifier_text(context, specifier, &name)) {
    if (context->error != 0) return nullptr;
    return eval_error(context, "HY000",
                      "TIMESTAMPDIFF first argument should be a unit string "
                      "(SQL_TSI_FRAC_SECOND etc)");
  }
  SQL_TIMESTAMP_STRUCT a{}, b{};
  QuillValue* result = nullptr;
  if (!difference_operands(context, count, arguments, entry, &a, &b, &result)) return result;
  if (is_value_null(specifier)) return fn_null_value(context, VALUE_INTEGER);
  return difference(context, unit_of_name(name), a, b);
}

QuillValue* eval_datediff(EvalContext* context, int count, void* const* arguments,
                          const ScalarFunction* entry) {
  const QuillValue* specifier = fn_argument(count, arguments, 0);
  std::string name;
  if (fn_is_null(specifier) || !specifier_text(context, specifier, &name)) {
    if (context->error != 0) return nullptr;
    return eval_error(context, "HY000", "DateDiff unknown interval argument");
  }
  static const struct {
    const char* name;
    Unit unit;
  } kIntervals[] = {{"s", UNIT_SECOND},  {"n", UNIT_MINUTE}, {"h", UNIT_HOUR},
                    {"d", UNIT_DAY},     {"ww", UNIT_WEEK},  {"m", UNIT_MONTH},
                    {"q", UNIT_QUARTER}, {"yyyy", UNIT_YEAR}};
  Unit unit = UNIT_NONE;
  for (const auto& candidate : kIntervals)
    if (name == candidate.name) unit = candidate.unit;
  if (unit == UNIT_NONE) {
    if (name == "y") return eval_error(context, "HY000", "DateDiff day of year not supported");
    if (name == "w") return eval_error(context, "HY000", "DateDiff weekday not supported");
    return eval_error(context, "HY000", "DateDiff unknown interval argument");
  }
  SQL_TIMESTAMP_STRUCT a{}, b{};
  QuillValue* result = nullptr;
  if (!difference_operands(context, count, arguments, entry, &a, &b, &result)) return result;
  return difference(context, unit, a, b);
}

// --- DATEPART ------------------------------------------------------------------------------

QuillValue* eval_datepart(EvalContext* context, int count, void* const* arguments,
                          const ScalarFunction* entry) {
  const QuillValue* specifier = fn_argument(count, arguments, 0);
  const QuillValue* source = fn_argument(count, arguments, 1);
  std::string name;
  if (fn_is_null(specifier) || !specifier_text(context, specifier, &name)) {
    if (context->error != 0) return nullptr;
    return eval_error(context, "HY000", "DatePart unknown interval argument");
  }
  static const struct {
    const char* name;
    FieldOf field;
  } kParts[] = {{"s", second_of},     {"n", minute_of},   {"h", hour_of},  {"d", day_of},
                {"ww", week_of_year}, {"w", day_of_week}, {"m", month_of}, {"q", quarter_of},
                {"yyyy", year_of},    {"y", day_of_year}};
  FieldOf field = nullptr;
  for (const auto& candidate : kParts)
    if (name == candidate.name) field = candidate.field;
  if (field == nullptr) return eval_error(context, "HY000", "DatePart unknown interval argument");
  if (fn_is_null(source)) return fn_null_value(context, VALUE_INTEGER);
  SQL_TIMESTAMP_STRUCT timestamp{};
  if (!as_timestamp(context, source, fn_name(entry), &timestamp)) return nullptr;
  return fn_int_value(context, field(timestamp));
}

// --- CDATE ---------------------------------------------------------------------------------

// The timestamp a CDATE argument denotes; false after raising an error.
bool cdate_timestamp(EvalContext* context, const QuillValue* value, SQL_TIMESTAMP_STRUCT* out) {
  std::string text;
  switch (value->kind) {
    case VALUE_DATE:
    case VALUE_TIME:
    case VALUE_TIMESTAMP:
      return as_timestamp(context, value, "CDATE", out);
    case VALUE_BINARY:
    case VALUE_LONG_BINARY: {
      std::string bytes;
      if (value->kind == VALUE_BINARY) {
        bytes.assign(value->bytes.data != nullptr ? value->bytes.data : "",
                     value->bytes.data != nullptr ? static_cast<size_t>(value->bytes.length) : 0);
      } else if (context->read_long == nullptr || !context->read_long(context, value, &bytes)) {
        eval_error(context, "HY000", "Extract from LONG VARCHAR error");
        return false;
      }
      if (bytes.size() < sizeof(SQL_TIMESTAMP_STRUCT)) {
        eval_error(context, "HY000", "Underflow in CAST");
        return false;
      }
      std::memcpy(out, bytes.data(), sizeof *out);
      if (!is_valid_timestamp(out)) {
        datetime_overflow(context);
        return false;
      }
      return true;
    }
    case VALUE_CHARACTER:
    case VALUE_LONG_CHARACTER: {
      if (!fn_read_text(context, value, &text)) return false;
      if (value->kind == VALUE_LONG_CHARACTER && text.size() > kCdateLongTextLimit)
        text.resize(kCdateLongTextLimit);
      if (text.empty() || text[0] != '{') text = "{ts '" + text + "' }";
      QuillValue* parsed = fn_new_value(context);
      if (parsed == nullptr) return false;
      bool ok = parse_escape_literal(text.c_str(), parsed, nullptr, 0) == ESCAPE_LITERAL_OK &&
                parsed->kind != VALUE_YEAR_MONTH_INTERVAL &&
                parsed->kind != VALUE_DAY_TIME_INTERVAL;
      if (ok)
        ok = as_timestamp(context, parsed, "CDATE", out);
      else
        eval_error(context, "22007", "Invalid datetime format");
      release_value(context->pool, parsed);
      return ok;
    }
    default:
      eval_error(context, "HY000", "Argument to CDATE() is not a date or time");
      return false;
  }
}

QuillValue* eval_cdate(EvalContext* context, int count, void* const* arguments,
                       const ScalarFunction*) {
  QuillValue* argument = fn_evaluate_argument(context, count, arguments, 0);
  if (argument == nullptr) return nullptr;
  QuillValue* result = nullptr;
  SQL_TIMESTAMP_STRUCT timestamp{};
  if (is_value_null(argument)) {
    result = fn_null_value(context, VALUE_TIMESTAMP);
  } else if (cdate_timestamp(context, argument, &timestamp)) {
    if ((result = fn_new_value(context)) != nullptr) set_value_to_timestamp(result, &timestamp);
  }
  release_value(context->pool, argument);
  return result;
}

template <FieldOf field>
QuillValue* eval_field(EvalContext* context, int count, void* const* arguments,
                       const ScalarFunction* entry) {
  return field_function(context, count, arguments, entry, field);
}

template <bool month>
QuillValue* eval_name(EvalContext* context, int count, void* const* arguments,
                      const ScalarFunction* entry) {
  return name_function(context, count, arguments, entry, month);
}

}  // namespace

ScalarEvaluator datetime_function_evaluator(int number) {
  switch (number) {
    case 14:
      return eval_current_date;
    case 15:
      return eval_current_time;
    case 16:
    case 41:
      return eval_current_timestamp;
    case 18:
      return eval_name<false>;
    case 19:
      return eval_field<day_of>;
    case 20:
      return eval_field<day_of_week>;
    case 21:
      return eval_field<day_of_year>;
    case 25:
      return eval_extract;
    case 27:
      return eval_field<hour_of>;
    case 37:
      return eval_field<minute_of>;
    case 39:
      return eval_field<month_of>;
    case 40:
      return eval_name<true>;
    case 46:
      return eval_field<quarter_of>;
    case 54:
      return eval_field<second_of>;
    case 62:
      return eval_timestampadd;
    case 63:
      return eval_timestampdiff;
    case 67:
      return eval_field<week_of_year>;
    case 68:
      return eval_year;
    case 70:
      return eval_datediff;
    case 72:
      return eval_cdate;
    case 73:
      return eval_datepart;
    default:
      return nullptr;
  }
}
