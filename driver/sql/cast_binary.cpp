// CAST to BINARY and VARBINARY: the source's own bytes (native integers, doubles and
// structures, text bytes, binary data), checked against the room of the target: the
// declared length for BINARY (zero-padded to it), the source's natural size for VARBINARY.
#include <algorithm>
#include <cstring>

#include "driver/sql/cast_internal.h"

namespace {

// The natural size of a fixed-size source kind; 0 for the kinds whose size is their data.
size_t natural_size(const QuillValue* source) {
  switch (source->kind) {
    case VALUE_INTEGER:
      return sizeof(int32_t);
    case VALUE_BIT:
      return 1;
    case VALUE_DOUBLE:
    case VALUE_BIGINT:
      return 8;
    case VALUE_DATE:
    case VALUE_TIME:
      return 6;
    case VALUE_TIMESTAMP:
      return sizeof(SQL_TIMESTAMP_STRUCT);
    case VALUE_NUMERIC:
      return sizeof(SQL_NUMERIC_STRUCT);
    case VALUE_YEAR_MONTH_INTERVAL:
    case VALUE_DAY_TIME_INTERVAL:
      return sizeof(SQL_INTERVAL_STRUCT);
    default:
      return 0;
  }
}

// The bytes a fixed-size source stores.
std::string fixed_bytes(const QuillValue* source) {
  const void* data = &source->payload;
  unsigned char bit = source->payload.integer != 0 ? 1 : 0;
  if (source->kind == VALUE_BIT) data = &bit;
  return std::string(static_cast<const char*>(data), natural_size(source));
}

}  // namespace

QuillValue* cast_to_binary(EvalContext* context, const QuillValue* source,
                           const CastTarget& target) {
  bool fixed = target.sql_type == SQL_BINARY && target.length > 0;
  std::string bytes;
  size_t room = 0;
  if (size_t size = natural_size(source); size > 0) {
    bytes = fixed_bytes(source);
    room = fixed ? static_cast<size_t>(target.length) : size;
  } else {
    // Text and binary data: read one byte past the room to see whether it overflows.
    size_t limit =
        fixed ? static_cast<size_t>(target.length) + 1 : static_cast<size_t>(INT32_MAX) - 2;
    bool read = source->kind == VALUE_CHARACTER || source->kind == VALUE_LONG_CHARACTER
                    ? cast_source_text(context, source, limit, &bytes)
                    : cast_source_bytes(context, source, limit, &bytes);
    if (!read) return nullptr;
    room = fixed ? static_cast<size_t>(target.length) : bytes.size();
  }
  if (bytes.size() > room) return cast_overflow(context, nullptr);
  if (fixed) bytes.resize(room, '\0');
  QuillValue* value = cast_new_value(context);
  if (!value) return nullptr;
  if (set_value_to_binary(value, bytes.data(), bytes.size()) != 0)
    return cast_memory_error(context, value);
  value->length = std::max(static_cast<int32_t>(bytes.size()), target.length);
  return value;
}
