// Interval structure targets (the thirteen interval types): from integers into
// single-field intervals, from text by the target's literal form, and from
// year-month and day-time interval values re-expressed in the target's fields.

#include <cstdint>
#include <string>

#include "driver/odbc/convert/convert_internal.h"
#include "support/interval.h"

namespace convert {

namespace {

constexpr uint64_t kFieldMax = UINT32_MAX;

// Stores `magnitude` into the one field of a single-field interval type.
void set_single_field(SQL_INTERVAL_STRUCT* out, int type, SQLUINTEGER magnitude) {
  switch (type) {
    case SQL_IS_YEAR:
      out->intval.year_month.year = magnitude;
      break;
    case SQL_IS_MONTH:
      out->intval.year_month.month = magnitude;
      break;
    case SQL_IS_DAY:
      out->intval.day_second.day = magnitude;
      break;
    case SQL_IS_HOUR:
      out->intval.day_second.hour = magnitude;
      break;
    case SQL_IS_MINUTE:
      out->intval.day_second.minute = magnitude;
      break;
    default:
      out->intval.day_second.second = magnitude;
      break;
  }
}

bool from_integer(int64_t number, int type, SQL_INTERVAL_STRUCT* out) {
  if (!is_single_field_interval(type)) return false;
  uint64_t magnitude =
      number < 0 ? 0 - static_cast<uint64_t>(number) : static_cast<uint64_t>(number);
  if (magnitude > kFieldMax) return false;
  out->interval_sign = number < 0 ? SQL_TRUE : SQL_FALSE;
  set_single_field(out, type, static_cast<SQLUINTEGER>(magnitude));
  return true;
}

// Reads "[.fraction]" after the seconds of a text.
bool read_optional_fraction(TextScanner& scan, SQL_INTERVAL_STRUCT* out) {
  if (!scan.accept('.')) return true;
  uint32_t fraction = 0;
  if (!scan.fraction_digits(&fraction)) return false;
  out->intval.day_second.fraction = fraction;
  return true;
}

// Reads `count` fields separated by `separators` (separators[i] precedes field i + 1); the
// first field is bounded by 32 bits, the others by `limits`.
bool read_fields(TextScanner& scan, int count, const char* separators, const uint64_t* limits,
                 uint64_t* fields) {
  for (int i = 0; i < count; ++i) {
    if (i > 0 && !scan.accept(separators[i - 1])) return false;
    if (!scan.unsigned_number(&fields[i])) return false;
    if (fields[i] > (i == 0 ? kFieldMax : limits[i])) return false;
  }
  return true;
}

// Text in the literal form of the target type; false when it does not fit.
bool from_text(const std::string& text, int type, SQL_INTERVAL_STRUCT* out) {
  TextScanner scan{text.data(), text.data() + text.size()};
  scan.skip_blanks();
  if (scan.accept('-')) out->interval_sign = SQL_TRUE;
  uint64_t f[4] = {0, 0, 0, 0};
  if (is_single_field_interval(type)) {
    // The number of the leading digits; what follows them is not read.
    if (!scan.unsigned_number(&f[0]) || f[0] > kFieldMax) return false;
    set_single_field(out, type, static_cast<SQLUINTEGER>(f[0]));
    return type != SQL_IS_SECOND || read_optional_fraction(scan, out);
  }
  auto& ym = out->intval.year_month;
  auto& ds = out->intval.day_second;
  static constexpr uint64_t kDay[] = {0, 23, 59, 59};
  static constexpr uint64_t kHour[] = {0, 59, 59};
  static constexpr uint64_t kMonth[] = {0, 11};
  switch (type) {
    case SQL_IS_YEAR_TO_MONTH:
      if (!read_fields(scan, 2, "-", kMonth, f)) return false;
      ym.year = static_cast<SQLUINTEGER>(f[0]);
      ym.month = static_cast<SQLUINTEGER>(f[1]);
      break;
    case SQL_IS_DAY_TO_HOUR:
    case SQL_IS_DAY_TO_MINUTE:
    case SQL_IS_DAY_TO_SECOND: {
      int count = type == SQL_IS_DAY_TO_HOUR ? 2 : (type == SQL_IS_DAY_TO_MINUTE ? 3 : 4);
      if (!read_fields(scan, count, " ::", kDay, f)) return false;
      ds.day = static_cast<SQLUINTEGER>(f[0]);
      ds.hour = static_cast<SQLUINTEGER>(f[1]);
      ds.minute = static_cast<SQLUINTEGER>(f[2]);
      ds.second = static_cast<SQLUINTEGER>(f[3]);
      if (type == SQL_IS_DAY_TO_SECOND && !read_optional_fraction(scan, out)) return false;
      break;
    }
    case SQL_IS_HOUR_TO_MINUTE:
    case SQL_IS_HOUR_TO_SECOND:
      if (!read_fields(scan, type == SQL_IS_HOUR_TO_MINUTE ? 2 : 3, "::", kHour, f)) return false;
      ds.hour = static_cast<SQLUINTEGER>(f[0]);
      ds.minute = static_cast<SQLUINTEGER>(f[1]);
      ds.second = static_cast<SQLUINTEGER>(f[2]);
      if (type == SQL_IS_HOUR_TO_SECOND && !read_optional_fraction(scan, out)) return false;
      break;
    default:  // SQL_IS_MINUTE_TO_SECOND
      if (!read_fields(scan, 2, ":", kHour, f)) return false;
      ds.minute = static_cast<SQLUINTEGER>(f[0]);
      ds.second = static_cast<SQLUINTEGER>(f[1]);
      if (!read_optional_fraction(scan, out)) return false;
      break;
  }
  return scan.only_blanks_left();
}

SQLRETURN from_year_month(ErrorHeader* errors, const SQL_INTERVAL_STRUCT& source, int type,
                          SQL_INTERVAL_STRUCT* out) {
  int64_t total = get_base_value(&source, nullptr);
  uint64_t months = total < 0 ? 0 - static_cast<uint64_t>(total) : static_cast<uint64_t>(total);
  out->interval_sign = source.interval_sign == SQL_TRUE ? SQL_TRUE : SQL_FALSE;
  switch (type) {
    case SQL_IS_YEAR:
      if (months % 12 != 0) return fail(errors, "01004");
      out->intval.year_month.year = static_cast<SQLUINTEGER>(months / 12);
      return SQL_SUCCESS;
    case SQL_IS_MONTH:
      if (months > kFieldMax) return fail(errors, "22015");
      out->intval.year_month.month = static_cast<SQLUINTEGER>(months);
      return SQL_SUCCESS;
    case SQL_IS_YEAR_TO_MONTH:
      out->intval.year_month.year = static_cast<SQLUINTEGER>(months / 12);
      out->intval.year_month.month = static_cast<SQLUINTEGER>(months % 12);
      return SQL_SUCCESS;
    default:
      return fail(errors, "07006");
  }
}

SQLRETURN from_day_time(ErrorHeader* errors, const SQL_INTERVAL_STRUCT& source, int type,
                        SQL_INTERVAL_STRUCT* out) {
  if (!is_day_time_interval(type)) return fail(errors, "07006");
  int64_t fraction = 0;
  int64_t seconds = get_base_value(&source, &fraction);
  if (normalise_interval(seconds, fraction, out) < 0) return fail(errors, "22015");
  // Trailing fields the target lacks are dropped: report it.
  int64_t kept_fraction = 0;
  int64_t kept = get_base_value(out, &kept_fraction);
  if (kept != seconds || kept_fraction != fraction) return warn(errors, "01S07");
  return SQL_SUCCESS;
}

}  // namespace

SQLRETURN to_interval(ErrorHeader* errors, const QuillValue* value, const ResultTarget& target) {
  int type = target.c_type - 100;  // SQL_C_INTERVAL_YEAR (101) is SQL_IS_YEAR (1), and so on
  SQL_INTERVAL_STRUCT result{};
  result.interval_type = static_cast<SQLINTERVAL>(type);
  result.interval_sign = SQL_FALSE;
  SQLRETURN rc = SQL_SUCCESS;
  switch (value->kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      if (!from_integer(value->payload.integer, type, &result)) return fail(errors, "22015");
      break;
    case VALUE_BIGINT:
      if (!from_integer(value->payload.bigint, type, &result)) return fail(errors, "22015");
      break;
    case VALUE_CHARACTER:
    case VALUE_LONG_CHARACTER:
      if (!from_text(character_text(value), type, &result)) return fail(errors, "22015");
      break;
    case VALUE_YEAR_MONTH_INTERVAL:
      rc = from_year_month(errors, value->payload.interval, type, &result);
      break;
    case VALUE_DAY_TIME_INTERVAL:
      rc = from_day_time(errors, value->payload.interval, type, &result);
      break;
    default:
      return fail(errors, "07006");
  }
  if (rc == SQL_ERROR) return rc;
  return deliver_fixed(target, &result, sizeof result, rc);
}

}  // namespace convert
