// Date, time, timestamp and interval parameter values: text wrapped into the
// escape form the literal parser reads ({d '...'}, {t '...'}, {ts '...'},
// {INTERVAL ...}), application structures taken by the kind of the marker,
// and the range checks every such value passes.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>

#include "driver/odbc/params/param_error.h"
#include "support/value.h"

// True when the date has a month 1..12 and a day within that month (February 29 only in
// leap years).
bool param_date_in_range(const SQL_DATE_STRUCT& date);
// True when the hour is below 25, the minute at most 59 and the second at most 62.
bool param_time_in_range(const SQL_TIME_STRUCT& time);
// The qualifier written after an interval literal for interval type `sql_type` (101..113),
// "YEAR TO MONTH" and so on; null for any other type.
const char* param_interval_qualifier(SQLSMALLINT sql_type);
// Makes `out` the date, time or timestamp value of marker type `sql_type` (9..11, 91..93)
// from `length` bytes of text: leading blanks skipped, text not starting with "{" wrapped as
// "{d '%s'}", "{t '%s'}" or "{ts '%s'}". A date takes the date of a timestamp, a time the time
// of a timestamp, a timestamp a time on today's date. false with 22007 otherwise.
bool param_datetime_from_text(SQLSMALLINT sql_type, const char* text, size_t length,
                              QuillValue* out, ParamError* error);
// The same from an application structure of type `c_type` (date, time or timestamp; a date
// becomes a timestamp at midnight). false with 22007 for a value out of range.
bool param_datetime_from_struct(SQLSMALLINT sql_type, SQLSMALLINT c_type, const void* data,
                                QuillValue* out, ParamError* error);
// Makes `out` the interval of marker type `sql_type` (101..113) from text: leading blanks
// skipped; text starting with "{" parsed as it stands, other text built into
// "{INTERVAL [-]'text' QUALIFIER }" (a leading minus moved before the quote). false with HY000
// "Invalid interval literal" or 22015 "Interval field overflow".
bool param_interval_from_text(SQLSMALLINT sql_type, const char* text, size_t length,
                              QuillValue* out, ParamError* error);
