// CAST: dispatch of a conversion by target type, NULL sources, the character target, and the
// helpers the per-family units share (result values, source text and bytes, errors).
#include "driver/sql/cast.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "support/hex_quantity.h"
#include "driver/sql/cast_internal.h"
#include "driver/sql/eval_context.h"
#include "driver/sql/nodes.h"
#include "driver/sql/sql_types.h"

QuillValue* cast_new_value(EvalContext* context, int32_t length) {
  QuillValue* value = NewValue(context->pool, std::max(length, 0));
  if (!value) return eval_error(context, "HY001", "Memory allocation error");
  return value;
}

QuillValue* cast_memory_error(EvalContext* context, QuillValue* value) {
  release_value(context->pool, value);
  return eval_error(context, "HY001", "Memory allocation error");
}

QuillValue* cast_underflow(EvalContext* context, QuillValue* value) {
  release_value(context->pool, value);
  return eval_error(context, "HY000", "Underflow in CAST");
}

QuillValue* cast_overflow(EvalContext* context, QuillValue* value) {
  release_value(context->pool, value);
  return eval_error(context, "HY000", "Overflow in CAST");
}

QuillValue* cast_range_error(EvalContext* context, QuillValue* value) {
  release_value(context->pool, value);
  return eval_error(context, "22003", "Numeric value out of range");
}

bool cast_is_number_kind(int kind) {
  return kind == VALUE_INTEGER || kind == VALUE_BIT || kind == VALUE_DOUBLE ||
         kind == VALUE_NUMERIC || kind == VALUE_BIGINT;
}
bool cast_is_text_kind(int kind) {
  return kind == VALUE_CHARACTER || kind == VALUE_LONG_CHARACTER;
}
bool cast_is_bytes_kind(int kind) {
  return kind == VALUE_BINARY || kind == VALUE_LONG_BINARY;
}
bool cast_is_interval_kind(int kind) {
  return kind == VALUE_YEAR_MONTH_INTERVAL || kind == VALUE_DAY_TIME_INTERVAL;
}

namespace {

// Up to `limit` bytes of a value's own buffer or of its long buffer.
bool read_source(EvalContext* context, const QuillValue* source, size_t limit, std::string* out) {
  out->clear();
  if (source->kind == VALUE_CHARACTER || source->kind == VALUE_BINARY) {
    if (source->bytes.data && source->bytes.length > 0)
      out->assign(source->bytes.data, std::min(static_cast<size_t>(source->bytes.length), limit));
    return true;
  }
  const LongBuffer* buffer = source->long_buffer;
  int64_t total = buffer ? long_buffer_length(buffer) : 0;
  if (total <= 0) return true;
  out->resize(std::min(static_cast<size_t>(total), limit));
  int64_t read = read_long_buffer_at(buffer, 0, out->data(), out->size());
  if (read < 0) {
    eval_error(context, "HY000", "Extract from LONG VARCHAR error");
    return false;
  }
  out->resize(static_cast<size_t>(read));
  return true;
}

}  // namespace

bool cast_source_text(EvalContext* context, const QuillValue* source, size_t limit,
                      std::string* out) {
  if (!read_source(context, source, limit, out)) return false;
  // Text ends at its first NUL, whatever the buffer holds beyond it.
  out->resize(std::strlen(out->c_str()));
  return true;
}

bool cast_source_bytes(EvalContext* context, const QuillValue* source, size_t limit,
                       std::string* out) {
  return read_source(context, source, limit, out);
}

int64_t cast_leading_field(const QuillValue* interval) {
  const SQL_INTERVAL_STRUCT& value = interval->payload.interval;
  switch (static_cast<int>(value.interval_type)) {
    case SQL_IS_YEAR:
      return value.intval.year_month.year;
    case SQL_IS_MONTH:
      return value.intval.year_month.month;
    case SQL_IS_DAY:
      return value.intval.day_second.day;
    case SQL_IS_HOUR:
      return value.intval.day_second.hour;
    case SQL_IS_MINUTE:
      return value.intval.day_second.minute;
    case SQL_IS_SECOND:
      return value.intval.day_second.second;
    default:
      return 0;
  }
}

std::string cast_leading_number(const std::string& text, bool fraction) {
  size_t start = 0;
  while (start < text.size() && std::isspace(static_cast<unsigned char>(text[start]))) ++start;
  size_t end = start;
  auto digits = [&](size_t at) {
    while (at < text.size() && std::isdigit(static_cast<unsigned char>(text[at]))) ++at;
    return at;
  };
  if (end < text.size() && (text[end] == '+' || text[end] == '-')) ++end;
  size_t whole_end = digits(end);
  bool any = whole_end > end;
  end = whole_end;
  if (fraction && end < text.size() && text[end] == '.') {
    size_t fraction_end = digits(end + 1);
    if (any || fraction_end > end + 1) {
      any = true;
      end = fraction_end;
    }
  }
  if (!any) return std::string();
  if (fraction && end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
    size_t exponent = end + 1;
    if (exponent < text.size() && (text[exponent] == '+' || text[exponent] == '-')) ++exponent;
    size_t exponent_end = digits(exponent);
    if (exponent_end > exponent) end = exponent_end;
  }
  return text.substr(start, end - start);
}

bool cast_text_number(EvalContext* context, const std::string& text, bool fraction,
                      CastTextNumber* out) {
  if (hex_quantity_prefix(text)) {
    switch (hex_quantity_read(text, &out->magnitude)) {
      case HexQuantity::VALUE:
        out->is_quantity = true;
        return true;
      case HexQuantity::TOO_LARGE:
        cast_range_error(context, nullptr);
        return false;
      case HexQuantity::NOT_HEX:
        break;
    }
  } else {
    out->decimal = cast_leading_number(text, fraction);
    if (!out->decimal.empty()) return true;
  }
  eval_error(context, "22018", "Invalid character value for cast specification");
  return false;
}

QuillValue* cast_to_text(EvalContext* context, const QuillValue* source, const CastTarget& target) {
  std::string text;
  if (source->kind == VALUE_CHARACTER || source->kind == VALUE_LONG_CHARACTER) {
    if (!cast_source_text(context, source, CAST_TEXT_LIMIT, &text)) return nullptr;
  } else {
    char buffer[CAST_TEXT_LIMIT + 1] = {0};
    int length = value_as_text(source, buffer);
    text.assign(buffer, length > 0 ? static_cast<size_t>(length) : 0);
  }
  int32_t declared = target.length > 0 ? target.length : 0;
  int32_t length = std::max(static_cast<int32_t>(text.size()), declared);
  QuillValue* value = cast_new_value(context, length);
  if (!value) return nullptr;
  if (set_value_to_text(value, text.data(), text.size()) != 0)
    return cast_memory_error(context, value);
  value->length = length;
  return value;
}

namespace {

// A NULL of the target's kind (an interval NULL carries the target's interval code).
QuillValue* null_of(EvalContext* context, int kind, const CastTarget& target) {
  QuillValue* value = cast_new_value(context);
  if (!value) return nullptr;
  set_value_null(value, kind);
  int family = type_family(target.sql_type);
  if (family == FAMILY_YEAR_MONTH || family == FAMILY_DAY_TIME) {
    value->payload.interval.interval_type = static_cast<SQLINTERVAL>(target.sql_type - 100);
    value->interval_precision = target.length > 0 ? target.length : 2;
  }
  if (kind == VALUE_NUMERIC) {
    value->precision = target.length > 0 ? target.length : 15;
    value->scale = target.scale >= 0 ? target.scale : 0;
  }
  if (target.length > 0 && (kind == VALUE_CHARACTER || kind == VALUE_BINARY))
    value->length = target.length;
  return value;
}

}  // namespace

QuillValue* cast_value(EvalContext* context, const QuillValue* source, const DataTypeNode* target) {
  if (!target) return eval_error(context, "HY000", "Unsupported target type in CAST");
  return cast_value_to(context, source, target->sql_type, target->length, target->scale);
}

QuillValue* cast_value_to(EvalContext* context, const QuillValue* source, int sql_type, int length,
                          int scale) {
  CastTarget target{sql_type, length, scale};
  int kind = value_kind_of_sql_type(sql_type);
  if (kind == VALUE_NONE || sql_type == SQL_TYPE_TRUTH)
    return eval_error(context, "HY000", "Unsupported target type %d in CAST", sql_type);
  bool null_long = source && source->long_buffer && long_buffer_is_null(source->long_buffer) &&
                   (source->kind == VALUE_LONG_CHARACTER || source->kind == VALUE_LONG_BINARY);
  if (!source || is_value_null(source) || null_long) return null_of(context, kind, target);
  switch (kind) {
    case VALUE_CHARACTER:
      return cast_to_text(context, source, target);
    case VALUE_NUMERIC:
      return cast_to_exact(context, source, target);
    case VALUE_INTEGER:
      return cast_to_integer(context, source);
    case VALUE_DOUBLE:
      return cast_to_double(context, source);
    case VALUE_BIGINT:
      return cast_to_bigint(context, source);
    case VALUE_BIT:
      return cast_to_bit(context, source);
    case VALUE_DATE:
    case VALUE_TIME:
    case VALUE_TIMESTAMP:
      return cast_to_datetime(context, source, target);
    case VALUE_YEAR_MONTH_INTERVAL:
    case VALUE_DAY_TIME_INTERVAL:
      return cast_to_interval(context, source, target);
    case VALUE_BINARY:
      return cast_to_binary(context, source, target);
    default: {  // LONGVARCHAR and LONGVARBINARY keep the source as it is
      QuillValue* copy = duplicate_value(context->pool, source);
      if (!copy) return eval_error(context, "HY001", "Memory allocation error");
      return copy;
    }
  }
}
