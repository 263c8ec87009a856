// CAST to the interval types: numbers into a single field, text wrapped in an interval
// literal with the target's qualifier and precisions, intervals copied (same code) or
// re-expressed in the target's fields (compound day-time and year-month targets), and binary
// data taken as the interval structure.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/sql/cast_internal.h"
#include "driver/sql/literals.h"
#include "support/interval.h"

namespace {

// The literal formats by interval code (1..13); the LONGVARCHAR forms of the compound
// qualifiers the literal parser also reads as one word.
constexpr const char* kFormats[] = {
    nullptr,
    "{INTERVAL '%s' YEAR(%d)}",
    "{INTERVAL '%s' MONTH(%d)}",
    "{INTERVAL '%s' DAY(%d)}",
    "{INTERVAL '%s' HOUR(%d)}",
    "{INTERVAL '%s' MINUTE(%d)}",
    "{INTERVAL '%s' SECOND(%d,%d)}",
    "{INTERVAL '%s' YEAR TO MONTH(%d)}",
    "{INTERVAL '%s' DAY TO HOUR(%d)}",
    "{INTERVAL '%s' DAY TO MINUTE(%d)}",
    "{INTERVAL '%s' DAY TO SECOND(%d,%d)}",
    "{INTERVAL '%s' HOUR TO MINUTE(%d)}",
    "{INTERVAL '%s' HOUR TO SECOND(%d,%d)}",
    "{INTERVAL '%s' MINUTE TO SECOND(%d,%d)}",
};

const char* long_text_format(int code) {
  switch (code) {
    case SQL_IS_DAY_TO_HOUR:
      return "{INTERVAL '%s' DAY_TO_HOUR(%d)}";
    case SQL_IS_DAY_TO_MINUTE:
      return "{INTERVAL '%s' DAY_TO_MINUTE(%d)}";
    case SQL_IS_DAY_TO_SECOND:
      return "{INTERVAL '%s' DAY_TO_SECOND(%d,%d)}";
    case SQL_IS_HOUR_TO_SECOND:
      return "{INTERVAL '%s' HOUR_TO_SECOND(%d,%d)}";
    default:
      return kFormats[code];
  }
}

bool has_seconds(int code) {
  return code == SQL_IS_SECOND || code == SQL_IS_DAY_TO_SECOND || code == SQL_IS_HOUR_TO_SECOND ||
         code == SQL_IS_MINUTE_TO_SECOND;
}

// Sets the single field of `interval` (its type already set) to |number| with its sign.
void set_single_field(SQL_INTERVAL_STRUCT* interval, int64_t number) {
  interval->interval_sign = number < 0 ? SQL_TRUE : SQL_FALSE;
  auto field = static_cast<SQLUINTEGER>(number < 0 ? -number : number);
  switch (static_cast<int>(interval->interval_type)) {
    case SQL_IS_YEAR:
      interval->intval.year_month.year = field;
      break;
    case SQL_IS_MONTH:
      interval->intval.year_month.month = field;
      break;
    case SQL_IS_DAY:
      interval->intval.day_second.day = field;
      break;
    case SQL_IS_HOUR:
      interval->intval.day_second.hour = field;
      break;
    case SQL_IS_MINUTE:
      interval->intval.day_second.minute = field;
      break;
    default:
      interval->intval.day_second.second = field;
      break;
  }
}

// Parses a text source wrapped in the target's literal; the result lands in `value`.
bool parse_text(EvalContext* context, const QuillValue* source, int code, int leading, int fraction,
                QuillValue* value) {
  std::string text;
  if (!cast_source_text(context, source, CAST_TEXT_LIMIT, &text)) return false;
  std::string literal =
      cast_interval_literal(text, code, leading, fraction, source->kind == VALUE_LONG_CHARACTER);
  int status = parse_escape_literal(literal.c_str(), value, nullptr, 0);
  if (status != ESCAPE_LITERAL_OK) {
    // A sign written inside the quotes goes before them, where the literal syntax has it.
    std::string rewritten = literal;
    size_t quote = rewritten.find('\'');
    size_t first = rewritten.find_first_not_of(' ', quote + 1);
    if (quote != std::string::npos && first != std::string::npos &&
        (rewritten[first] == '-' || rewritten[first] == '+')) {
      char sign = rewritten[first];
      rewritten.erase(first, 1);
      rewritten.insert(quote, 1, sign);
    }
    if (rewritten != literal) status = parse_escape_literal(rewritten.c_str(), value, nullptr, 0);
  }
  if (status == ESCAPE_LITERAL_OK && cast_is_interval_kind(value->kind)) return true;
  if (status == ESCAPE_LITERAL_INTERVAL_OVERFLOW)
    eval_error(context, "22015", "Interval field overflow");
  else
    eval_error(context, "22018", "Invalid interval value");
  return false;
}

// Re-expresses an interval of the same class in the target's fields (through its total in
// the smallest unit, sign kept). False when the leading field overflows.
bool re_express(const SQL_INTERVAL_STRUCT& from, int code, SQL_INTERVAL_STRUCT* out) {
  int64_t fraction = 0;
  int64_t units = get_base_value(&from, &fraction);
  *out = SQL_INTERVAL_STRUCT{};
  out->interval_type = static_cast<SQLINTERVAL>(code);
  return normalise_interval(units, has_seconds(code) ? fraction : 0, out) == 0;
}

}  // namespace

std::string cast_interval_literal(const std::string& text, int code, int leading, int fraction,
                                  bool long_text) {
  if (code < 1 || code > 13) return std::string();
  const char* format = long_text ? long_text_format(code) : kFormats[code];
  size_t size = text.size() + 64;
  std::string literal(size, '\0');
  int written = has_seconds(code)
                    ? std::snprintf(literal.data(), size, format, text.c_str(), leading, fraction)
                    : std::snprintf(literal.data(), size, format, text.c_str(), leading);
  literal.resize(written > 0 ? static_cast<size_t>(written) : 0);
  return literal;
}

QuillValue* cast_to_interval(EvalContext* context, const QuillValue* source,
                             const CastTarget& target) {
  int code = target.sql_type - 100;
  int leading = target.length > 0 ? target.length : INTERVAL_DEFAULT_LEADING_PRECISION;
  int fraction = target.scale >= 0 ? target.scale : INTERVAL_DEFAULT_FRACTION_PRECISION;
  bool single = is_single_field_interval(code);
  QuillValue* value = cast_new_value(context);
  if (!value) return nullptr;
  SQL_INTERVAL_STRUCT interval{};
  interval.interval_type = static_cast<SQLINTERVAL>(code);

  if (cast_is_text_kind(source->kind)) {
    if (!parse_text(context, source, code, leading, fraction, value)) {
      release_value(context->pool, value);
      return nullptr;
    }
    value->interval_precision = leading;
    return value;
  }
  if (cast_is_bytes_kind(source->kind)) {
    std::string bytes;
    if (!cast_source_bytes(context, source, sizeof interval, &bytes)) {
      release_value(context->pool, value);
      return nullptr;
    }
    if (bytes.size() < sizeof interval) return cast_underflow(context, value);
    std::memcpy(&interval, bytes.data(), sizeof interval);
    if (set_interval_payload(value, &interval, leading) != 0) {
      release_value(context->pool, value);
      return eval_error(context, "HY000", "Invalid interval structure in CAST");
    }
    return value;
  }
  if (cast_is_interval_kind(source->kind)) {
    const SQL_INTERVAL_STRUCT& from = source->payload.interval;
    int from_code = interval_type_of(&from);
    bool same_class = is_year_month_interval(from_code) == is_year_month_interval(code);
    if (from_code == code) {
      interval = from;
    } else if (!single && same_class && !re_express(from, code, &interval)) {
      release_value(context->pool, value);
      return eval_error(context, "22015", "Interval field overflow");
    }
  } else if (single && cast_is_number_kind(source->kind)) {
    // Numbers other than integers are truncated toward zero first.
    int64_t number = 0;
    if (get_bigint_from_value(source, &number) != 0) return cast_range_error(context, value);
    if (number < -static_cast<int64_t>(UINT32_MAX) || number > static_cast<int64_t>(UINT32_MAX))
      return cast_range_error(context, value);
    set_single_field(&interval, number);
  }
  // Anything else gives the target's zero interval.
  if (set_interval_payload(value, &interval, leading) != 0)
    return cast_memory_error(context, value);
  return value;
}
