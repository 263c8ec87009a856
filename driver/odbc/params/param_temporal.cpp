// Date, time, timestamp and interval parameter values from text or structures.
#include "driver/odbc/params/param_temporal.h"

#include <string>

#include "driver/sql/literals.h"
#include "support/datetime.h"

namespace {

constexpr const char* kInvalidDatetime = "Invalid datetime format";

bool is_leading_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

// The text after its leading blanks.
std::string without_leading_blanks(const char* text, size_t length) {
  size_t at = 0;
  while (at < length && is_leading_blank(text[at])) ++at;
  return std::string(text + at, length - at);
}

bool is_date_type(SQLSMALLINT sql_type) {
  return sql_type == SQL_DATE || sql_type == SQL_TYPE_DATE;
}
bool is_time_type(SQLSMALLINT sql_type) {
  return sql_type == SQL_TIME || sql_type == SQL_TYPE_TIME;
}

SQL_DATE_STRUCT today() {
  return SQL_DATE_STRUCT{static_cast<SQLSMALLINT>(current_year()),
                         static_cast<SQLUSMALLINT>(current_month()),
                         static_cast<SQLUSMALLINT>(current_day())};
}

SQL_DATE_STRUCT date_of(const SQL_TIMESTAMP_STRUCT& ts) {
  return SQL_DATE_STRUCT{ts.year, ts.month, ts.day};
}
SQL_TIME_STRUCT time_of(const SQL_TIMESTAMP_STRUCT& ts) {
  return SQL_TIME_STRUCT{ts.hour, ts.minute, ts.second};
}
SQL_TIMESTAMP_STRUCT timestamp_of(const SQL_DATE_STRUCT& date, const SQL_TIME_STRUCT& time,
                                  SQLUINTEGER fraction) {
  return SQL_TIMESTAMP_STRUCT{date.year,   date.month,  date.day, time.hour,
                              time.minute, time.second, fraction};
}

// Stores the value of the marker's kind after the range checks. `kind` of the source value
// is VALUE_DATE, VALUE_TIME or VALUE_TIMESTAMP; the source is given as a timestamp whose
// unused parts are zero.
bool store_by_kind(SQLSMALLINT sql_type, int kind, const SQL_TIMESTAMP_STRUCT& source,
                   QuillValue* out, ParamError* error) {
  SQL_DATE_STRUCT date = date_of(source);
  SQL_TIME_STRUCT time = time_of(source);
  if (is_date_type(sql_type)) {
    if (kind == VALUE_TIME || !param_date_in_range(date))
      return param_fail(error, "22007", kInvalidDatetime);
    set_value_to_date(out, &date);
    return true;
  }
  if (is_time_type(sql_type)) {
    if (kind == VALUE_DATE || !param_time_in_range(time))
      return param_fail(error, "22007", kInvalidDatetime);
    set_value_to_time(out, &time);
    return true;
  }
  if (kind == VALUE_TIME) date = today();
  SQLUINTEGER fraction = kind == VALUE_TIMESTAMP ? source.fraction : 0;
  if (!param_date_in_range(date) || !param_time_in_range(time) ||
      fraction >= NANOSECONDS_PER_SECOND)
    return param_fail(error, "22007", kInvalidDatetime);
  SQL_TIMESTAMP_STRUCT result = timestamp_of(date, time, fraction);
  set_value_to_timestamp(out, &result);
  return true;
}

}  // namespace

bool param_date_in_range(const SQL_DATE_STRUCT& date) {
  if (date.month < 1 || date.month > 12 || date.day < 1) return false;
  return date.day <= days_in_month(date.year, date.month);
}

bool param_time_in_range(const SQL_TIME_STRUCT& time) {
  return time.hour < 25 && time.minute <= 59 && time.second <= 62;
}

const char* param_interval_qualifier(SQLSMALLINT sql_type) {
  static const char* const kQualifiers[] = {"YEAR",
                                            "MONTH",
                                            "DAY",
                                            "HOUR",
                                            "MINUTE",
                                            "SECOND",
                                            "YEAR TO MONTH",
                                            "DAY TO HOUR",
                                            "DAY TO MINUTE",
                                            "DAY TO SECOND",
                                            "HOUR TO MINUTE",
                                            "HOUR TO SECOND",
                                            "MINUTE TO SECOND"};
  if (sql_type < SQL_INTERVAL_YEAR || sql_type > SQL_INTERVAL_MINUTE_TO_SECOND) return nullptr;
  return kQualifiers[sql_type - SQL_INTERVAL_YEAR];
}

bool param_datetime_from_text(SQLSMALLINT sql_type, const char* text, size_t length,
                              QuillValue* out, ParamError* error) {
  std::string body = without_leading_blanks(text, length);
  std::string literal = body;
  if (body.empty() || body[0] != '{') {
    const char* opener = is_date_type(sql_type)   ? "{d '"
                         : is_time_type(sql_type) ? "{t '"
                                                  : "{ts '";
    literal = opener + body + "'}";
  }
  QuillValue parsed{};
  if (parse_escape_literal(literal.c_str(), &parsed, nullptr, 0, ESCAPE_LITERAL_LENIENT_TIME) !=
      ESCAPE_LITERAL_OK)
    return param_fail(error, "22007", kInvalidDatetime);
  SQL_TIMESTAMP_STRUCT source{};
  switch (parsed.kind) {
    case VALUE_DATE:
      source.year = parsed.payload.date.year;
      source.month = parsed.payload.date.month;
      source.day = parsed.payload.date.day;
      break;
    case VALUE_TIME:
      source.hour = parsed.payload.time.hour;
      source.minute = parsed.payload.time.minute;
      source.second = parsed.payload.time.second;
      break;
    case VALUE_TIMESTAMP:
      source = parsed.payload.timestamp;
      break;
    default:  // an interval literal where a date or time was wanted
      return param_fail(error, "22007", kInvalidDatetime);
  }
  // A timestamp literal may only stand for a date or time; a date never for a timestamp.
  if (!is_date_type(sql_type) && !is_time_type(sql_type) && parsed.kind == VALUE_DATE)
    return param_fail(error, "22007", kInvalidDatetime);
  return store_by_kind(sql_type, parsed.kind, source, out, error);
}

bool param_datetime_from_struct(SQLSMALLINT sql_type, SQLSMALLINT c_type, const void* data,
                                QuillValue* out, ParamError* error) {
  SQL_TIMESTAMP_STRUCT source{};
  int kind = VALUE_TIMESTAMP;
  switch (c_type) {
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE: {
      const auto* date = static_cast<const SQL_DATE_STRUCT*>(data);
      source.year = date->year;
      source.month = date->month;
      source.day = date->day;
      // A date stands for midnight of that day when a timestamp is wanted.
      kind = is_date_type(sql_type) || is_time_type(sql_type) ? VALUE_DATE : VALUE_TIMESTAMP;
      break;
    }
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME: {
      const auto* time = static_cast<const SQL_TIME_STRUCT*>(data);
      source.hour = time->hour;
      source.minute = time->minute;
      source.second = time->second;
      kind = VALUE_TIME;
      break;
    }
    default:
      source = *static_cast<const SQL_TIMESTAMP_STRUCT*>(data);
      break;
  }
  return store_by_kind(sql_type, kind, source, out, error);
}

bool param_interval_from_text(SQLSMALLINT sql_type, const char* text, size_t length,
                              QuillValue* out, ParamError* error) {
  const char* qualifier = param_interval_qualifier(sql_type);
  if (!qualifier) return param_fail_general(error, "Unsupported parameter type");
  std::string body = without_leading_blanks(text, length);
  std::string literal;
  if (!body.empty() && body[0] == '{') {
    literal = body;
  } else {
    literal = "{INTERVAL ";
    if (!body.empty() && body[0] == '-') {
      literal += "-";
      body.erase(0, 1);
    }
    literal += "'" + body + "' " + qualifier + " }";
  }
  QuillValue parsed{};
  int status = parse_escape_literal(literal.c_str(), &parsed, nullptr, 0);
  if (status == ESCAPE_LITERAL_INTERVAL_OVERFLOW)
    return param_fail(error, "22015", "Interval field overflow");
  if (status != ESCAPE_LITERAL_OK ||
      (parsed.kind != VALUE_YEAR_MONTH_INTERVAL && parsed.kind != VALUE_DAY_TIME_INTERVAL))
    return param_fail_general(error, "Invalid interval literal");
  if (set_value_to_interval(out, &parsed) != 0)
    return param_fail_general(error, "Invalid interval literal");
  return true;
}
