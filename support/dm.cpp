// Flattening values into dm buffers and reading them back. compare_dm views the
// payloads in place through stack values, so it orders exactly as compare_values.
#include "support/dm.h"

#include <cstring>

namespace {

struct DmHeader {
  int32_t kind;
  int32_t indicator;
  int32_t length;
};

DmHeader read_header(const void* buffer) {
  DmHeader header{};
  std::memcpy(&header, buffer, sizeof header);
  return header;
}

const unsigned char* payload_at(const void* buffer) {
  return static_cast<const unsigned char*>(buffer) + DM_HEADER_SIZE;
}

// Fills a stack value that points into a dm payload (no copy), for comparison only.
void view_dm(const void* buffer, QuillValue* view) {
  DmHeader header = read_header(buffer);
  *view = QuillValue{};
  view->tag = VALUE_NODE_TAG;
  view->kind = header.kind;
  view->indicator = header.indicator;
  if (header.indicator == SQL_NULL_DATA) {
    view->flags = VALUE_FLAG_NULL;
    return;
  }
  const unsigned char* payload = payload_at(buffer);
  if (header.kind == VALUE_CHARACTER || header.kind == VALUE_BINARY) {
    view->bytes.data = const_cast<char*>(reinterpret_cast<const char*>(payload));
    view->bytes.length = header.length;
    view->bytes.capacity = header.length + (header.kind == VALUE_CHARACTER ? 1 : 0);
    return;
  }
  int32_t size = dm_fixed_payload(header.kind);
  if (size > 0) std::memcpy(&view->payload, payload, static_cast<size_t>(size));
}

}  // namespace

int32_t get_dm_length(int sql_type, int32_t length) {
  if (length < 0) return -1;
  switch (sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
      return length < INT32_MAX ? length + 1 : -1;
    case SQL_BINARY:
    case SQL_VARBINARY:
      return length;
    case SQL_LONGVARCHAR:
    case SQL_LONGVARBINARY:
      return 0;
    default:
      break;
  }
  int kind = sql_to_value_type(sql_type);
  return kind == VALUE_NONE ? -1 : dm_fixed_payload(kind);
}

int32_t value_to_dm(void* buffer, const QuillValue* value) {
  if (!buffer || !value) return -1;
  DmHeader header{value->kind, is_value_null(value) ? SQL_NULL_DATA : value->indicator, 0};
  const void* source = &value->payload;
  int32_t size = 0;
  if (value->kind == VALUE_CHARACTER || value->kind == VALUE_BINARY) {
    size_t held = 0;
    if (value->bytes.data && header.indicator != SQL_NULL_DATA)
      held = value->kind == VALUE_CHARACTER
                 ? strnlen(value->bytes.data, static_cast<size_t>(value->bytes.capacity))
                 : static_cast<size_t>(value->bytes.length);
    if (held > static_cast<size_t>(value->length)) return -1;
    header.length = static_cast<int32_t>(held);
    source = value->bytes.data;
    size = header.length;
  } else {
    size = dm_fixed_payload(value->kind);
    if (size < 0) return -1;
    if (value->kind == VALUE_YEAR_MONTH_INTERVAL || value->kind == VALUE_DAY_TIME_INTERVAL)
      header.length = value->interval_precision;
  }
  std::memcpy(buffer, &header, sizeof header);
  if (header.indicator == SQL_NULL_DATA) return static_cast<int32_t>(DM_HEADER_SIZE);
  auto* payload = static_cast<unsigned char*>(buffer) + DM_HEADER_SIZE;
  if (size > 0) std::memcpy(payload, source, static_cast<size_t>(size));
  if (value->kind == VALUE_CHARACTER) payload[size++] = '\0';
  return static_cast<int32_t>(DM_HEADER_SIZE) + size;
}

int dm_to_value(const void* buffer, QuillValue* value) {
  if (!buffer || !value) return -1;
  DmHeader header = read_header(buffer);
  bool bytes_kind = header.kind == VALUE_CHARACTER || header.kind == VALUE_BINARY;
  if (!bytes_kind && dm_fixed_payload(header.kind) < 0) return -1;
  if (header.indicator == SQL_NULL_DATA) {
    set_value_null(value, header.kind);
    if (header.kind == VALUE_YEAR_MONTH_INTERVAL || header.kind == VALUE_DAY_TIME_INTERVAL)
      value->interval_precision = header.length;
    return 0;
  }
  if (bytes_kind) {
    if (header.length < 0) return -1;
    const auto* payload = reinterpret_cast<const char*>(payload_at(buffer));
    int status = header.kind == VALUE_CHARACTER
                     ? set_value_to_text(value, payload, static_cast<size_t>(header.length))
                     : set_value_to_binary(value, payload, static_cast<size_t>(header.length));
    if (status != 0) return -1;
  } else {
    QuillValue view{};
    view_dm(buffer, &view);
    value->kind = header.kind;
    value->payload = view.payload;
    if (header.kind == VALUE_NUMERIC) {
      value->precision = view.payload.numeric.precision;
      value->scale = view.payload.numeric.scale;
    }
    if (header.kind == VALUE_YEAR_MONTH_INTERVAL || header.kind == VALUE_DAY_TIME_INTERVAL)
      value->interval_precision = header.length;
  }
  value->indicator = header.indicator;
  value->flags &= ~VALUE_FLAG_NULL;
  value->read_offset = 0;
  return 0;
}

int compare_dm(const void* a, const void* b, int extra) {
  (void)extra;
  int order = 0;
  if (dm_compare_same_kind(a, b, &order)) return order;
  QuillValue x{}, y{};
  view_dm(a, &x);
  view_dm(b, &y);
  return compare_values(&x, &y);
}

int32_t dm_fixed_payload(int32_t kind) {
  switch (kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      return 4;
    case VALUE_DOUBLE:
    case VALUE_BIGINT:
      return 8;
    case VALUE_DATE:
      return static_cast<int32_t>(sizeof(SQL_DATE_STRUCT));
    case VALUE_TIME:
      return static_cast<int32_t>(sizeof(SQL_TIME_STRUCT));
    case VALUE_TIMESTAMP:
      return static_cast<int32_t>(sizeof(SQL_TIMESTAMP_STRUCT));
    case VALUE_NUMERIC:
      return static_cast<int32_t>(sizeof(SQL_NUMERIC_STRUCT));
    case VALUE_YEAR_MONTH_INTERVAL:
    case VALUE_DAY_TIME_INTERVAL:
      return static_cast<int32_t>(sizeof(SQL_INTERVAL_STRUCT));
    default:
      return -1;
  }
}
