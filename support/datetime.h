// Calendar arithmetic for SQL dates, times and timestamps: Julian day numbers,
// validity checks, ordering of the ODBC date/time structures and shifting a
// timestamp by a number of seconds or months.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

constexpr int64_t SECONDS_PER_DAY = 86400;
constexpr uint32_t NANOSECONDS_PER_SECOND = 1000000000u;
// Dates outside years 1..9999 are refused by the arithmetic below.
constexpr int DATE_MIN_YEAR = 1;
constexpr int DATE_MAX_YEAR = 9999;

// True for leap years of the proleptic Gregorian calendar (1900 no, 2000 yes).
bool is_leap_year(int year);
// Number of days in `month` (1..12) of `year`; 0 for a month out of range.
int days_in_month(int year, int month);
// True when the structure names a real calendar day within years 1..9999.
bool is_valid_date(const SQL_DATE_STRUCT* date);
// True for 00:00:00..23:59:59.
bool is_valid_time(const SQL_TIME_STRUCT* time);
// True for a valid date, a valid time and a fraction below one second (nanoseconds).
bool is_valid_timestamp(const SQL_TIMESTAMP_STRUCT* timestamp);

// Julian Day Number of a proleptic Gregorian date (2000-01-01 is 2451545).
int64_t ymd_to_jdnl(int year, int month, int day);
// Inverse of ymd_to_jdnl.
void jdnl_to_ymd(int64_t jdn, int* year, int* month, int* day);
// Day of the week of a Julian Day Number: 0 Sunday .. 6 Saturday.
int jdnl_to_dow(int64_t jdn);

// Orderings of the ODBC structures: negative, 0 or positive, field by field.
int date_compare(const SQL_DATE_STRUCT* a, const SQL_DATE_STRUCT* b);
int time_compare(const SQL_TIME_STRUCT* a, const SQL_TIME_STRUCT* b);
int timestamp_compare(const SQL_TIMESTAMP_STRUCT* a, const SQL_TIMESTAMP_STRUCT* b);

// Whole seconds from the start of Julian day 0 to the timestamp (fraction ignored).
int64_t timestamp_to_seconds(const SQL_TIMESTAMP_STRUCT* timestamp);
// Builds a timestamp from timestamp_to_seconds form plus a fraction in nanoseconds.
// Returns 0, or -1 (out untouched) when the year falls outside 1..9999.
int timestamp_from_seconds(int64_t seconds, uint32_t fraction, SQL_TIMESTAMP_STRUCT* out);
// result = timestamp shifted by `seconds` (any sign), carrying through days, months and
// years; the fraction is kept. `scratch` (may be null) receives the same result before it
// is copied, so `result` may alias `timestamp`. Returns 0, or -1 when the result leaves
// years 1..9999 (result untouched).
int timestamp_add_noconvert(SQL_TIMESTAMP_STRUCT* result, SQL_TIMESTAMP_STRUCT* scratch,
                            const SQL_TIMESTAMP_STRUCT* timestamp, int64_t seconds);
// result = timestamp shifted by `months` (any sign); a day past the new month's end becomes
// that month's last day (2024-01-31 + 1 month = 2024-02-29). Returns 0 or -1 out of range.
int timestamp_add_months(SQL_TIMESTAMP_STRUCT* result, const SQL_TIMESTAMP_STRUCT* timestamp,
                         int64_t months);

// Today's date in local time.
int current_year();
int current_month();
int current_day();
