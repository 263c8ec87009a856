// Calendar arithmetic on Julian Day Numbers; every shift goes through whole
// seconds so that carries across days, months, years and leap days are exact.
#include "support/datetime.h"

#include <ctime>

namespace {

int sign_of(long long difference) {
  return difference < 0 ? -1 : (difference > 0 ? 1 : 0);
}

// Floor division, so that negative second counts land on the previous day.
int64_t floor_div(int64_t a, int64_t b) {
  int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

std::tm local_today() {
  std::time_t now = std::time(nullptr);
  std::tm parts{};
  localtime_r(&now, &parts);
  return parts;
}

}  // namespace

bool is_leap_year(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int days_in_month(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return (month == 2 && is_leap_year(year)) ? 29 : kDays[month - 1];
}

bool is_valid_date(const SQL_DATE_STRUCT* date) {
  return date->year >= DATE_MIN_YEAR && date->year <= DATE_MAX_YEAR && date->day >= 1 &&
         date->day <= days_in_month(date->year, date->month);
}

bool is_valid_time(const SQL_TIME_STRUCT* time) {
  return time->hour <= 23 && time->minute <= 59 && time->second <= 59;
}

bool is_valid_timestamp(const SQL_TIMESTAMP_STRUCT* ts) {
  SQL_DATE_STRUCT date{ts->year, ts->month, ts->day};
  SQL_TIME_STRUCT time{ts->hour, ts->minute, ts->second};
  return is_valid_date(&date) && is_valid_time(&time) && ts->fraction < NANOSECONDS_PER_SECOND;
}

int64_t ymd_to_jdnl(int year, int month, int day) {
  // Fliegel and Van Flandern; exact for every year after -4800.
  int64_t a = (14 - month) / 12;
  int64_t y = static_cast<int64_t>(year) + 4800 - a;
  int64_t m = month + 12 * a - 3;
  return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

void jdnl_to_ymd(int64_t jdn, int* year, int* month, int* day) {
  int64_t a = jdn + 32044;
  int64_t b = (4 * a + 3) / 146097;
  int64_t c = a - 146097 * b / 4;
  int64_t d = (4 * c + 3) / 1461;
  int64_t e = c - 1461 * d / 4;
  int64_t m = (5 * e + 2) / 153;
  *day = static_cast<int>(e - (153 * m + 2) / 5 + 1);
  *month = static_cast<int>(m + 3 - 12 * (m / 10));
  *year = static_cast<int>(100 * b + d - 4800 + m / 10);
}

int jdnl_to_dow(int64_t jdn) {
  return static_cast<int>(((jdn + 1) % 7 + 7) % 7);
}

int date_compare(const SQL_DATE_STRUCT* a, const SQL_DATE_STRUCT* b) {
  if (a->year != b->year) return sign_of(a->year - b->year);
  if (a->month != b->month) return sign_of(a->month - b->month);
  return sign_of(a->day - b->day);
}

int time_compare(const SQL_TIME_STRUCT* a, const SQL_TIME_STRUCT* b) {
  if (a->hour != b->hour) return sign_of(a->hour - b->hour);
  if (a->minute != b->minute) return sign_of(a->minute - b->minute);
  return sign_of(a->second - b->second);
}

int timestamp_compare(const SQL_TIMESTAMP_STRUCT* a, const SQL_TIMESTAMP_STRUCT* b) {
  SQL_DATE_STRUCT da{a->year, a->month, a->day}, db{b->year, b->month, b->day};
  if (int order = date_compare(&da, &db)) return order;
  SQL_TIME_STRUCT ta{a->hour, a->minute, a->second}, tb{b->hour, b->minute, b->second};
  if (int order = time_compare(&ta, &tb)) return order;
  return sign_of(static_cast<long long>(a->fraction) - static_cast<long long>(b->fraction));
}

int64_t timestamp_to_seconds(const SQL_TIMESTAMP_STRUCT* ts) {
  return ymd_to_jdnl(ts->year, ts->month, ts->day) * SECONDS_PER_DAY + ts->hour * 3600 +
         ts->minute * 60 + ts->second;
}

int timestamp_from_seconds(int64_t seconds, uint32_t fraction, SQL_TIMESTAMP_STRUCT* out) {
  static const int64_t kFirst = ymd_to_jdnl(DATE_MIN_YEAR, 1, 1) * SECONDS_PER_DAY;
  static const int64_t kEnd = (ymd_to_jdnl(DATE_MAX_YEAR, 12, 31) + 1) * SECONDS_PER_DAY;
  if (seconds < kFirst || seconds >= kEnd) return -1;
  int64_t jdn = floor_div(seconds, SECONDS_PER_DAY);
  int64_t in_day = seconds - jdn * SECONDS_PER_DAY;
  int year = 0, month = 0, day = 0;
  jdnl_to_ymd(jdn, &year, &month, &day);
  out->year = static_cast<SQLSMALLINT>(year);
  out->month = static_cast<SQLUSMALLINT>(month);
  out->day = static_cast<SQLUSMALLINT>(day);
  out->hour = static_cast<SQLUSMALLINT>(in_day / 3600);
  out->minute = static_cast<SQLUSMALLINT>(in_day / 60 % 60);
  out->second = static_cast<SQLUSMALLINT>(in_day % 60);
  out->fraction = fraction;
  return 0;
}

int timestamp_add_noconvert(SQL_TIMESTAMP_STRUCT* result, SQL_TIMESTAMP_STRUCT* scratch,
                            const SQL_TIMESTAMP_STRUCT* timestamp, int64_t seconds) {
  SQL_TIMESTAMP_STRUCT local{};
  SQL_TIMESTAMP_STRUCT* work = scratch ? scratch : &local;
  int64_t base = timestamp_to_seconds(timestamp);
  int64_t shifted = 0;
  if (__builtin_add_overflow(base, seconds, &shifted)) return -1;
  if (timestamp_from_seconds(shifted, timestamp->fraction, work) != 0) return -1;
  *result = *work;
  return 0;
}

int timestamp_add_months(SQL_TIMESTAMP_STRUCT* result, const SQL_TIMESTAMP_STRUCT* timestamp,
                         int64_t months) {
  constexpr int64_t kMaxShift = 12LL * (DATE_MAX_YEAR + 1);
  if (months > kMaxShift || months < -kMaxShift) return -1;
  int64_t index = static_cast<int64_t>(timestamp->year) * 12 + (timestamp->month - 1) + months;
  int64_t year = floor_div(index, 12);
  int month = static_cast<int>(index - year * 12) + 1;
  if (year < DATE_MIN_YEAR || year > DATE_MAX_YEAR) return -1;
  SQL_TIMESTAMP_STRUCT shifted = *timestamp;
  shifted.year = static_cast<SQLSMALLINT>(year);
  shifted.month = static_cast<SQLUSMALLINT>(month);
  int last = days_in_month(static_cast<int>(year), month);
  if (shifted.day > last) shifted.day = static_cast<SQLUSMALLINT>(last);
  *result = shifted;
  return 0;
}

int current_year() {
  return local_today().tm_year + 1900;
}
int current_month() {
  return local_today().tm_mon + 1;
}
int current_day() {
  return local_today().tm_mday;
}
