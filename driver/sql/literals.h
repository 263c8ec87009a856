// Literal texts of the SQL engine: date, time and timestamp texts ('2024-02-29',
// '10:20:30', '2024-02-29 10:20:30.123'), interval literals built from a value text and a
// qualifier, and the escape-literal parser for whole texts ({d '...'}, {t '...'},
// {ts '...'}, {INTERVAL [-]'...' qualifier}) used by parameter conversion and CAST.
// Everything here is stateless and reentrant: no lock is needed around any call.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>

struct QuillValue;

// Interval fields, in the order of a qualifier (YEAR TO MONTH, DAY TO SECOND, ...).
enum IntervalField : int {
  INTERVAL_FIELD_NONE = 0,  // as a trailing field: a single-field qualifier
  INTERVAL_FIELD_YEAR = 1,
  INTERVAL_FIELD_MONTH = 2,
  INTERVAL_FIELD_DAY = 3,
  INTERVAL_FIELD_HOUR = 4,
  INTERVAL_FIELD_MINUTE = 5,
  INTERVAL_FIELD_SECOND = 6,
};

// Precisions a qualifier gets when it states none, and the largest ones accepted.
constexpr int INTERVAL_DEFAULT_LEADING_PRECISION = 2;
constexpr int INTERVAL_DEFAULT_FRACTION_PRECISION = 6;
constexpr int INTERVAL_MAX_LEADING_PRECISION = 9;
constexpr int INTERVAL_MAX_FRACTION_PRECISION = 9;

// Outcome of building an interval literal.
enum class IntervalLiteralStatus {
  Ok,
  BadForm,        // qualifier not a valid one, or the value text does not fit its shape
  FieldOverflow,  // a field beyond its range (leading precision, 23 hours, 59 minutes, ...)
};

// Outcome of parse_escape_literal.
enum EscapeLiteralStatus : int {
  ESCAPE_LITERAL_OK = 0,
  ESCAPE_LITERAL_SYNTAX_ERROR = 1,       // not one of the four escape forms
  ESCAPE_LITERAL_INVALID_VALUE = 2,      // date/time/timestamp text or interval text invalid
  ESCAPE_LITERAL_INTERVAL_OVERFLOW = 3,  // interval field beyond its range
};

// parse_escape_literal options.
enum EscapeLiteralOption : unsigned {
  // Times may hold hour 24 and seconds up to 62 (the parameter checks); otherwise 0-23, 0-59.
  ESCAPE_LITERAL_LENIENT_TIME = 1u,
};

// 'YYYY-MM-DD' (year 1-4 digits in 1..9999, month and day 1-2 digits, blanks around allowed)
// naming a real calendar day. False (out untouched) otherwise.
bool parse_date_text(const char* text, SQL_DATE_STRUCT* out);
// 'HH:MM:SS' (1-2 digits each, hour 0-23, minute and second 0-59, blanks around allowed); an
// optional fraction '.fffffffff' (1-9 digits) is accepted and dropped. False otherwise.
bool parse_time_text(const char* text, SQL_TIME_STRUCT* out);
// 'YYYY-MM-DD HH:MM:SS[.f...]' (fraction 1-9 digits, into nanoseconds) or a date alone
// (midnight), with the date and time rules above. False (out untouched) otherwise.
bool parse_timestamp_text(const char* text, SQL_TIMESTAMP_STRUCT* out);

// Builds an interval from its sign (+1 or -1), the text between the quotes and the
// qualifier: leading_field and trailing_field are IntervalField values (trailing
// INTERVAL_FIELD_NONE for a single field); leading_precision <= 0 means 2,
// fraction_precision < 0 means 6. Fraction digits beyond fraction_precision are truncated;
// the fraction is stored in nanoseconds. A zero interval is never negative.
IntervalLiteralStatus build_interval_literal_status(int sign, const char* value_text,
                                                    int leading_field, int leading_precision,
                                                    int trailing_field, int fraction_precision,
                                                    SQL_INTERVAL_STRUCT* out);
// build_interval_literal_status == Ok; out untouched on failure.
bool build_interval_literal(int sign, const char* value_text, int leading_field,
                            int leading_precision, int trailing_field, int fraction_precision,
                            SQL_INTERVAL_STRUCT* out);
// The SQL_IS_* interval type of a qualifier, 0 when it is not a valid qualifier.
int interval_type_of_qualifier(int leading_field, int trailing_field);

// Parses one whole escape literal: {d '...'}, {t '...'}, {ts '...'} or
// {INTERVAL [+|-]'...' qualifier} (keywords in any case; the qualifier as keywords with
// optional precisions, "DAY(3) TO SECOND(2)", or as one word, "DAY_TO_SECOND"). Blanks may
// surround every token; control characters count as blanks. On success `out` becomes a date,
// time, timestamp or interval value. On failure `out` is untouched and `message` (size
// bytes, may be null) receives "<reason> near '<token>'". Returns an EscapeLiteralStatus.
int parse_escape_literal(const char* text, QuillValue* out, char* message, size_t message_size,
                         unsigned options = 0);
