// Year-month and day-time intervals on the ODBC interval structure: their total
// in the smallest unit, normalisation of fields, and ordering.
//
// Conventions: interval_sign is SQL_TRUE for a negative interval; fields are
// magnitudes. The seconds fraction (intval.day_second.fraction) is held in
// NANOSECONDS (0..999,999,999), like the fraction of a timestamp.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <climits>
#include <cstdint>

#include "support/diag.h"

// interval_compare's result when the two sides cannot be compared (an error was posted).
constexpr int INTERVAL_NOT_COMPARABLE = INT_MIN;

// The interval type as a plain integer, read without trusting it to be a valid enumerator.
int interval_type_of(const SQL_INTERVAL_STRUCT* interval);
// True for SQL_IS_YEAR, SQL_IS_MONTH and SQL_IS_YEAR_TO_MONTH.
bool is_year_month_interval(int interval_type);
// True for the ten day-time interval types (SQL_IS_DAY .. SQL_IS_MINUTE_TO_SECOND but 7).
bool is_day_time_interval(int interval_type);
// True for the six single-field types (SQL_IS_YEAR .. SQL_IS_SECOND).
bool is_single_field_interval(int interval_type);
// SQL type code 101..113 of an interval type, 0 when the type is not an interval.
int interval_sql_type(int interval_type);
// Signed value of the leading field (for single-field intervals: the interval's value).
int64_t interval_leading_value(const SQL_INTERVAL_STRUCT* interval);

// The interval in its smallest unit, signed: months for year-month intervals, whole seconds
// for day-time intervals, counting only the fields the type has. `scratch` (may be null)
// receives the signed fraction in nanoseconds (0 for year-month and types without seconds).
int64_t get_base_value(const SQL_INTERVAL_STRUCT* interval, int64_t* scratch);
// Fills the fields of value->interval_type from a signed count of `units` (months or seconds,
// as get_base_value gives them) plus a signed fraction in nanoseconds (same sign, or 0):
// carries seconds into minutes, hours and days (24 hours) as far as the type's fields go;
// the leading field takes the rest; units finer than the last field are truncated toward
// zero. Returns 0, or -1 when the leading field overflows 32 bits or the type is unknown.
int normalise_interval(int64_t units, int64_t fraction, SQL_INTERVAL_STRUCT* value);

// Total order over interval payloads: year-month before day-time, then by signed total.
int compare_interval(const SQL_INTERVAL_STRUCT* a, const SQL_INTERVAL_STRUCT* b);
// Compares `left` with a payload of value kind `right_kind` (13 or 14: an interval of the
// same class; 1 or 4: int32_t; 12: int64_t; 2: double; 10: SQL_NUMERIC_STRUCT, the number
// compared with the leading field of a single-field interval). Negative, 0 or positive, or
// INTERVAL_NOT_COMPARABLE after posting HY000 into `context` (may be null).
int interval_compare(const SQL_INTERVAL_STRUCT* left, const void* right, int right_kind,
                     ErrorHeader* context);
