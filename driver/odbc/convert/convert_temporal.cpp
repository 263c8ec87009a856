// Date, time and timestamp structure targets: from text read field by field (a
// "0x" quantity as Unix seconds in UTC), from the temporal kinds (with 01S07 when a part is
// dropped), and the text scanner the interval conversions share.
#include <string>

#include "driver/odbc/convert/convert_internal.h"
#include "support/hex_quantity.h"
#include "support/datetime.h"

namespace convert {

namespace {

// Limit of a number read from text: beyond every field, still far from overflowing.
constexpr uint64_t kNumberCeiling = uint64_t{1} << 40;

struct DateFields {
  uint64_t year, month, day;
};
struct TimeFields {
  uint64_t hour, minute, second;
};

bool read_date_fields(TextScanner& scan, DateFields* d) {
  return scan.unsigned_number(&d->year) && scan.accept('-') && scan.unsigned_number(&d->month) &&
         scan.accept('-') && scan.unsigned_number(&d->day);
}

bool read_time_fields(TextScanner& scan, TimeFields* t) {
  return scan.unsigned_number(&t->hour) && scan.accept(':') && scan.unsigned_number(&t->minute) &&
         scan.accept(':') && scan.unsigned_number(&t->second);
}

bool date_in_range(const DateFields& d) {
  return d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 31;
}

bool time_in_range(const TimeFields& t) {
  return t.hour <= 23 && t.minute <= 59 && t.second <= 59;
}

TextScanner scanner_over(const std::string& text) {
  return TextScanner{text.data(), text.data() + text.size()};
}

bool is_character(const QuillValue* value) {
  return value->kind == VALUE_CHARACTER || value->kind == VALUE_LONG_CHARACTER;
}

// The text as a timestamp; false when it does not have the form or a field is out of range.
bool parse_timestamp(const std::string& text, SQL_TIMESTAMP_STRUCT* out) {
  TextScanner scan = scanner_over(text);
  scan.skip_blanks();
  DateFields d{};
  if (!read_date_fields(scan, &d) || !date_in_range(d)) return false;
  TimeFields t{};
  uint32_t fraction = 0;
  if (!scan.only_blanks_left()) {  // a date alone stands for its midnight
    if (!scan.accept(' ') && !scan.accept('T')) return false;
    if (!read_time_fields(scan, &t) || !time_in_range(t)) return false;
    if (scan.accept('.') && !scan.fraction_digits(&fraction)) return false;
    // A trailing zone offset is not part of the value.
    if (!scan.accept('+') && !scan.accept('-') && !scan.only_blanks_left()) return false;
  }
  *out = SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(d.year),
                              static_cast<SQLUSMALLINT>(d.month),
                              static_cast<SQLUSMALLINT>(d.day),
                              static_cast<SQLUSMALLINT>(t.hour),
                              static_cast<SQLUSMALLINT>(t.minute),
                              static_cast<SQLUSMALLINT>(t.second),
                              fraction};
  return true;
}

// A text beginning "0x" as the UTC timestamp that many seconds after 1970: SQL_SUCCESS, or
// the error posted (22018 when it is not a quantity, 22008 after year 9999). Other texts
// return SQL_NO_DATA without a diagnostic.
SQLRETURN quantity_timestamp(ErrorHeader* errors, const std::string& text,
                             SQL_TIMESTAMP_STRUCT* out) {
  if (!hex_quantity_prefix(text)) return SQL_NO_DATA;
  unsigned __int128 seconds = 0;
  HexQuantity read = hex_quantity_read(text, &seconds);
  if (read == HexQuantity::NOT_HEX) return fail(errors, "22018");
  if (read == HexQuantity::TOO_LARGE || !unix_seconds_timestamp(seconds, out))
    return fail(errors, "22008");
  return SQL_SUCCESS;
}

}  // namespace

void TextScanner::skip_blanks() {
  while (at < end && (*at == ' ' || *at == '\t')) ++at;
}

bool TextScanner::accept(char c) {
  if (at < end && *at == c) {
    ++at;
    return true;
  }
  return false;
}

bool TextScanner::unsigned_number(uint64_t* out) {
  const char* start = at;
  uint64_t number = 0;
  while (at < end && *at >= '0' && *at <= '9') {
    number =
        number >= kNumberCeiling ? kNumberCeiling : number * 10 + static_cast<uint64_t>(*at - '0');
    ++at;
  }
  *out = number;
  return at != start;
}

bool TextScanner::fraction_digits(uint32_t* nanoseconds) {
  const char* start = at;
  uint32_t value = 0;
  int digits = 0;
  for (; at < end && *at >= '0' && *at <= '9'; ++at) {
    if (digits < 9) {
      value = value * 10 + static_cast<uint32_t>(*at - '0');
      ++digits;
    }
  }
  for (; digits < 9 && at != start; ++digits) value *= 10;
  *nanoseconds = value;
  return at != start;
}

bool TextScanner::only_blanks_left() {
  skip_blanks();
  return at == end;
}

SQLRETURN to_date(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target) {
  SQL_DATE_STRUCT result{};
  SQLRETURN rc = SQL_SUCCESS;
  if (is_character(value)) {
    std::string text = character_text(value);
    SQL_TIMESTAMP_STRUCT instant{};
    SQLRETURN quantity = quantity_timestamp(errors, text, &instant);
    if (quantity == SQL_ERROR) return SQL_ERROR;
    if (quantity == SQL_SUCCESS) {
      result = {instant.year, instant.month, instant.day};
      if (instant.hour != 0 || instant.minute != 0 || instant.second != 0)
        rc = warn(errors, "01S07");
      return deliver_fixed(target, &result, sizeof result, rc);
    }
    TextScanner scan = scanner_over(text);
    scan.skip_blanks();
    DateFields d{};
    if (!read_date_fields(scan, &d) || !scan.only_blanks_left() || !date_in_range(d))
      return fail(errors, "22008");
    result = {static_cast<SQLSMALLINT>(d.year), static_cast<SQLUSMALLINT>(d.month),
              static_cast<SQLUSMALLINT>(d.day)};
  } else if (value->kind == VALUE_DATE) {
    result = value->payload.date;
  } else if (value->kind == VALUE_TIMESTAMP) {
    const SQL_TIMESTAMP_STRUCT& ts = value->payload.timestamp;
    result = {ts.year, ts.month, ts.day};
    if (ts.hour != 0 || ts.minute != 0 || ts.second != 0 || ts.fraction != 0)
      rc = warn(errors, "01S07");
  } else {
    return fail(errors, "07006");
  }
  return deliver_fixed(target, &result, sizeof result, rc);
}

SQLRETURN to_time(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target) {
  SQL_TIME_STRUCT result{};
  SQLRETURN rc = SQL_SUCCESS;
  if (is_character(value)) {
    std::string text = character_text(value);
    SQL_TIMESTAMP_STRUCT instant{};
    SQLRETURN quantity = quantity_timestamp(errors, text, &instant);
    if (quantity == SQL_ERROR) return SQL_ERROR;
    if (quantity == SQL_SUCCESS) {
      result = {instant.hour, instant.minute, instant.second};
      return deliver_fixed(target, &result, sizeof result, rc);
    }
    TextScanner scan = scanner_over(text);
    scan.skip_blanks();
    TimeFields t{};
    if (!read_time_fields(scan, &t) || !scan.only_blanks_left() || !time_in_range(t))
      return fail(errors, "22008");
    result = {static_cast<SQLUSMALLINT>(t.hour), static_cast<SQLUSMALLINT>(t.minute),
              static_cast<SQLUSMALLINT>(t.second)};
  } else if (value->kind == VALUE_TIME) {
    result = value->payload.time;
  } else if (value->kind == VALUE_TIMESTAMP) {
    const SQL_TIMESTAMP_STRUCT& ts = value->payload.timestamp;
    result = {ts.hour, ts.minute, ts.second};
    if (ts.fraction != 0) rc = warn(errors, "01S07");
  } else {
    return fail(errors, "07006");
  }
  return deliver_fixed(target, &result, sizeof result, rc);
}

SQLRETURN to_timestamp(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target) {
  SQL_TIMESTAMP_STRUCT result{};
  if (is_character(value)) {
    std::string text = character_text(value);
    SQLRETURN quantity = quantity_timestamp(errors, text, &result);
    if (quantity == SQL_ERROR) return SQL_ERROR;
    if (quantity != SQL_SUCCESS && !parse_timestamp(text, &result)) return fail(errors, "22018");
  } else if (value->kind == VALUE_DATE) {
    const SQL_DATE_STRUCT& d = value->payload.date;
    result.year = d.year;
    result.month = d.month;
    result.day = d.day;
  } else if (value->kind == VALUE_TIME) {
    const SQL_TIME_STRUCT& t = value->payload.time;
    result.year = static_cast<SQLSMALLINT>(current_year());
    result.month = static_cast<SQLUSMALLINT>(current_month());
    result.day = static_cast<SQLUSMALLINT>(current_day());
    result.hour = t.hour;
    result.minute = t.minute;
    result.second = t.second;
  } else if (value->kind == VALUE_TIMESTAMP) {
    result = value->payload.timestamp;
  } else {
    return fail(errors, "07006");
  }
  return deliver_fixed(target, &result, sizeof result, SQL_SUCCESS);
}

}  // namespace convert
