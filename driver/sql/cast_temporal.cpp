// CAST to DATE, TIME and TIMESTAMP: text parsed as an escape literal (wrapped in one when it
// is a bare date/time text) or, for a "0x" quantity, read as Unix seconds in UTC, the same kind
// copied, binary data taken as the structure, parts of a timestamp, and a timestamp made from a
// date (midnight) or a time (today's date).
#include <cctype>
#include <cstring>

#include "support/hex_quantity.h"
#include "driver/sql/cast_internal.h"
#include "driver/sql/literals.h"
#include "support/datetime.h"

namespace {

struct Temporal {
  SQL_DATE_STRUCT date;
  SQL_TIME_STRUCT time;
  SQL_TIMESTAMP_STRUCT timestamp;
};

// Converts a date, time or timestamp value to all three forms by the CAST rules; other
// kinds leave the zero value.
Temporal temporal_of(const QuillValue* source) {
  Temporal out{};
  switch (source->kind) {
    case VALUE_DATE:
      out.date = source->payload.date;
      out.timestamp.year = out.date.year;
      out.timestamp.month = out.date.month;
      out.timestamp.day = out.date.day;
      break;
    case VALUE_TIME:
      out.time = source->payload.time;
      out.timestamp.year = static_cast<SQLSMALLINT>(current_year());
      out.timestamp.month = static_cast<SQLUSMALLINT>(current_month());
      out.timestamp.day = static_cast<SQLUSMALLINT>(current_day());
      out.timestamp.hour = out.time.hour;
      out.timestamp.minute = out.time.minute;
      out.timestamp.second = out.time.second;
      break;
    case VALUE_TIMESTAMP:
      out.timestamp = source->payload.timestamp;
      out.date = {out.timestamp.year, out.timestamp.month, out.timestamp.day};
      out.time = {out.timestamp.hour, out.timestamp.minute, out.timestamp.second};
      break;
    default:
      break;
  }
  return out;
}

void store(QuillValue* value, int kind, const Temporal& temporal) {
  if (kind == VALUE_DATE)
    set_value_to_date(value, &temporal.date);
  else if (kind == VALUE_TIME)
    set_value_to_time(value, &temporal.time);
  else
    set_value_to_timestamp(value, &temporal.timestamp);
}

const char* invalid_message(int kind) {
  if (kind == VALUE_DATE) return "Invalid date value";
  if (kind == VALUE_TIME) return "Invalid time value";
  return "Invalid timestamp value";
}

// A "0x" quantity text as the UTC timestamp that many seconds after 1970 into `scratch`;
// false after raising 22018 (not a quantity) or 22008 (after year 9999).
bool parse_unix_seconds(EvalContext* context, const std::string& text, int kind,
                        QuillValue* scratch) {
  unsigned __int128 seconds = 0;
  HexQuantity read = hex_quantity_read(text, &seconds);
  if (read == HexQuantity::NOT_HEX) {
    eval_error(context, "22018", "%s", invalid_message(kind));
    return false;
  }
  SQL_TIMESTAMP_STRUCT timestamp{};
  if (read == HexQuantity::TOO_LARGE || !unix_seconds_timestamp(seconds, &timestamp)) {
    eval_error(context, "22008", "Datetime field overflow");
    return false;
  }
  set_value_to_timestamp(scratch, &timestamp);
  return true;
}

// Parses a text source into `scratch`: a "0x" quantity as Unix seconds, as an escape literal
// when it begins with "{", otherwise wrapped in the target kind's escape.
bool parse_text(EvalContext* context, const QuillValue* source, int kind, QuillValue* scratch) {
  std::string text;
  size_t limit = source->kind == VALUE_LONG_CHARACTER ? CAST_LONG_DATETIME_BYTES : CAST_TEXT_LIMIT;
  if (!cast_source_text(context, source, limit, &text)) return false;
  if (hex_quantity_prefix(text)) return parse_unix_seconds(context, text, kind, scratch);
  size_t first = 0;
  while (first < text.size() && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  std::string literal;
  if (first < text.size() && text[first] == '{')
    literal = text;
  else if (kind == VALUE_DATE)
    literal = "{d '" + text + "' }";
  else if (kind == VALUE_TIME)
    literal = "{t '" + text + "' }";
  else
    literal = "{ts '" + text + "' }";
  if (parse_escape_literal(literal.c_str(), scratch, nullptr, 0) != ESCAPE_LITERAL_OK) {
    eval_error(context, "22018", "%s", invalid_message(kind));
    return false;
  }
  return true;
}

}  // namespace

QuillValue* cast_to_datetime(EvalContext* context, const QuillValue* source,
                             const CastTarget& target) {
  int kind = target.sql_type == SQL_TYPE_DATE || target.sql_type == SQL_DATE   ? VALUE_DATE
             : target.sql_type == SQL_TYPE_TIME || target.sql_type == SQL_TIME ? VALUE_TIME
                                                                               : VALUE_TIMESTAMP;
  QuillValue* value = cast_new_value(context);
  if (!value) return nullptr;
  if (cast_is_bytes_kind(source->kind)) {
    size_t size = kind == VALUE_TIMESTAMP ? sizeof(SQL_TIMESTAMP_STRUCT) : 6;
    std::string bytes;
    if (!cast_source_bytes(context, source, size, &bytes)) {
      release_value(context->pool, value);
      return nullptr;
    }
    if (bytes.size() < size) return cast_underflow(context, value);
    Temporal temporal{};
    std::memcpy(kind == VALUE_DATE   ? static_cast<void*>(&temporal.date)
                : kind == VALUE_TIME ? static_cast<void*>(&temporal.time)
                                     : static_cast<void*>(&temporal.timestamp),
                bytes.data(), size);
    store(value, kind, temporal);
    return value;
  }
  const QuillValue* from = source;
  if (cast_is_text_kind(source->kind)) {
    if (!parse_text(context, source, kind, value)) {
      release_value(context->pool, value);
      return nullptr;
    }
    from = value;  // the parsed literal, converted in place below
  }
  store(value, kind, temporal_of(from));
  return value;
}
