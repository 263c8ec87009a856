// Value nodes: allocation, copying, release, setters and numeric access.
#include "support/value.h"

#include <cmath>
#include <cstring>

#include "support/interval.h"
#include "support/numeric.h"

namespace {

void mark_not_null(QuillValue* value, int32_t kind) {
  value->kind = kind;
  value->indicator = 0;
  value->flags &= ~VALUE_FLAG_NULL;
}

// Makes sure the byte buffer holds at least `capacity` bytes (contents kept).
bool reserve_bytes(QuillValue* value, size_t capacity) {
  if (capacity > INT32_MAX) return false;
  if (value->bytes.data && static_cast<size_t>(value->bytes.capacity) >= capacity) return true;
  void* grown = quill_mem_realloc(value->pool, value->bytes.data, capacity);
  if (!grown) return false;
  value->bytes.data = static_cast<char*>(grown);
  value->bytes.capacity = static_cast<int32_t>(capacity);
  return true;
}

// Copies a long buffer's content into a fresh buffer in the same directory.
LongBuffer* copy_long_buffer(MemPool* pool, const LongBuffer* source) {
  LongBuffer* copy = allocate_long_buffer(pool, source->table, source->column, source->directory,
                                          source->sql_type);
  if (!copy) return nullptr;
  if (source->is_null) {
    set_long_buffer_null(copy);
    return copy;
  }
  unsigned char chunk[8192];
  uint64_t offset = 0;
  while (offset < source->length) {
    int64_t got = read_long_buffer_at(source, offset, chunk, sizeof chunk);
    if (got <= 0 || append_to_long_buffer(copy, chunk, static_cast<size_t>(got)) != 0) {
      free_long_buffer(copy);
      return nullptr;
    }
    offset += static_cast<uint64_t>(got);
  }
  return copy;
}

QuillValue* copy_value(MemPool* pool, const QuillValue* value, bool compact) {
  if (!pool || !value) return nullptr;
  auto* copy = static_cast<QuillValue*>(newNode(sizeof(QuillValue), VALUE_NODE_TAG, pool));
  if (!copy) return nullptr;
  *copy = *value;
  copy->pool = pool;
  copy->bytes = ValueBytes{};
  copy->long_buffer = nullptr;
  if (!compact) copy->read_offset = 0;
  if (value->bytes.data && value->bytes.capacity > 0) {
    size_t used = static_cast<size_t>(value->bytes.capacity);
    if (compact) {
      used = value->kind == VALUE_CHARACTER
                 ? strnlen(value->bytes.data, static_cast<size_t>(value->bytes.capacity)) + 1
                 : static_cast<size_t>(value->bytes.length);
      if (used == 0) used = 1;
    }
    if (!reserve_bytes(copy, used)) {
      quill_mem_free(pool, copy);
      return nullptr;
    }
    std::memcpy(copy->bytes.data, value->bytes.data, used);
    copy->bytes.length = value->bytes.length;
    if (value->kind == VALUE_CHARACTER) copy->bytes.data[used - 1] = '\0';
  }
  if (value->long_buffer) {
    copy->long_buffer = copy_long_buffer(pool, value->long_buffer);
    if (!copy->long_buffer) {
      quill_mem_free(pool, copy->bytes.data);
      quill_mem_free(pool, copy);
      return nullptr;
    }
  }
  return copy;
}

bool fits_int32(long double v) {
  return v >= INT32_MIN && v <= INT32_MAX;
}

}  // namespace

QuillValue* NewValue(MemPool* pool, int32_t length) {
  if (!pool || length < 0 || length > INT32_MAX - 2) return nullptr;
  auto* value = static_cast<QuillValue*>(newNode(sizeof(QuillValue), VALUE_NODE_TAG, pool));
  if (!value) return nullptr;
  value->pool = pool;
  if (!reserve_bytes(value, static_cast<size_t>(length) + 2)) {
    quill_mem_free(pool, value);
    return nullptr;
  }
  value->kind = VALUE_CHARACTER;
  value->length = length;
  return value;
}

QuillValue* duplicate_value(MemPool* pool, const QuillValue* value) {
  return copy_value(pool, value, false);
}

QuillValue* duplicate_value_ex(MemPool* pool, const QuillValue* value) {
  return copy_value(pool, value, true);
}

void release_value(MemPool* pool, QuillValue* value) {
  if (!value) return;
  MemPool* owner = value->pool ? value->pool : pool;
  free_long_buffer(value->long_buffer);
  quill_mem_free(owner, value->bytes.data);
  quill_mem_free(owner, value);
}

int settle_value(const QuillValue* value) {
  if (!value || !value->long_buffer || !value->long_buffer->fill) return 0;
  // A deferred long value learns whether it is NULL from its read, run now; the record is
  // logically unchanged, so a const value may be settled.
  auto* mutable_value = const_cast<QuillValue*>(value);
  int rc = settle_long_buffer(value->long_buffer);
  if (value->long_buffer->is_null)
    set_value_null(mutable_value, value->kind);
  else
    mark_not_null(mutable_value, value->kind);
  return rc;
}

bool is_value_null(const QuillValue* value) {
  settle_value(value);
  return !value || value->indicator == SQL_NULL_DATA || (value->flags & VALUE_FLAG_NULL) != 0;
}

void set_value_null(QuillValue* value, int32_t kind) {
  value->kind = kind;
  value->indicator = SQL_NULL_DATA;
  value->flags |= VALUE_FLAG_NULL;
  std::memset(&value->payload, 0, sizeof value->payload);
  value->bytes.length = 0;
  if (value->bytes.data) value->bytes.data[0] = '\0';
  value->read_offset = 0;
}

void set_value_to_int(QuillValue* value, int32_t number) {
  mark_not_null(value, VALUE_INTEGER);
  value->payload.integer = number;
}

void set_value_to_bigint(QuillValue* value, int64_t number) {
  mark_not_null(value, VALUE_BIGINT);
  value->payload.bigint = number;
}

void set_value_to_double(QuillValue* value, double number) {
  mark_not_null(value, VALUE_DOUBLE);
  value->payload.real = number;
}

void set_value_to_date(QuillValue* value, const SQL_DATE_STRUCT* date) {
  mark_not_null(value, VALUE_DATE);
  value->payload.date = *date;
}

void set_value_to_time(QuillValue* value, const SQL_TIME_STRUCT* time) {
  mark_not_null(value, VALUE_TIME);
  value->payload.time = *time;
}

void set_value_to_timestamp(QuillValue* value, const SQL_TIMESTAMP_STRUCT* timestamp) {
  mark_not_null(value, VALUE_TIMESTAMP);
  value->payload.timestamp = *timestamp;
}

void set_value_to_numeric(QuillValue* value, const SQL_NUMERIC_STRUCT* numeric) {
  mark_not_null(value, VALUE_NUMERIC);
  value->payload.numeric = *numeric;
  value->precision = numeric->precision;
  value->scale = numeric->scale;
}

int set_interval_payload(QuillValue* value, const SQL_INTERVAL_STRUCT* interval,
                         int32_t leading_precision) {
  int type = interval_type_of(interval);
  int32_t kind = is_year_month_interval(type) ? VALUE_YEAR_MONTH_INTERVAL
                 : is_day_time_interval(type) ? VALUE_DAY_TIME_INTERVAL
                                              : VALUE_NONE;
  if (kind == VALUE_NONE) return -1;
  mark_not_null(value, kind);
  value->payload.interval = *interval;
  value->interval_precision = leading_precision;
  return 0;
}

int set_value_to_interval(QuillValue* dst, const QuillValue* src) {
  if (!src || (src->kind != VALUE_YEAR_MONTH_INTERVAL && src->kind != VALUE_DAY_TIME_INTERVAL))
    return -1;
  if (is_value_null(src)) {
    set_value_null(dst, src->kind);
    dst->payload.interval.interval_type = src->payload.interval.interval_type;
    dst->interval_precision = src->interval_precision;
    return 0;
  }
  return set_interval_payload(dst, &src->payload.interval, src->interval_precision);
}

int set_value_to_text(QuillValue* value, const char* text, size_t size) {
  if ((!text && size > 0) || size >= INT32_MAX - 2) return -1;
  if (!reserve_bytes(value, size + 2)) return -1;
  if (size > 0) std::memmove(value->bytes.data, text, size);
  value->bytes.data[size] = '\0';
  value->bytes.length = static_cast<int32_t>(size);
  if (value->length < static_cast<int32_t>(size)) value->length = static_cast<int32_t>(size);
  mark_not_null(value, VALUE_CHARACTER);
  value->read_offset = 0;
  return 0;
}

int set_value_to_binary(QuillValue* value, const void* data, size_t size) {
  if ((!data && size > 0) || size >= INT32_MAX - 1) return -1;
  if (!reserve_bytes(value, size + 1)) return -1;
  if (size > 0) std::memmove(value->bytes.data, data, size);
  value->bytes.length = static_cast<int32_t>(size);
  if (value->length < static_cast<int32_t>(size)) value->length = static_cast<int32_t>(size);
  mark_not_null(value, VALUE_BINARY);
  value->read_offset = 0;
  return 0;
}

int set_value_to_long(QuillValue* value, int32_t kind, LongBuffer* buffer) {
  if (!buffer || (kind != VALUE_LONG_CHARACTER && kind != VALUE_LONG_BINARY)) return -1;
  if (value->long_buffer && value->long_buffer != buffer) free_long_buffer(value->long_buffer);
  value->long_buffer = buffer;
  if (buffer->is_null && !buffer->fill) {
    set_value_null(value, kind);
  } else {
    mark_not_null(value, kind);  // a deferred value is settled by is_value_null
  }
  value->read_offset = 0;
  return 0;
}

int get_bigint_from_value(const QuillValue* value, int64_t* out) {
  if (is_value_null(value)) return -1;
  switch (value->kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      *out = value->payload.integer;
      return 0;
    case VALUE_BIGINT:
      *out = value->payload.bigint;
      return 0;
    case VALUE_DOUBLE: {
      double d = value->payload.real;
      // 2^63 is exactly representable; anything at or above it does not fit.
      if (!(d >= -9223372036854775808.0 && d < 9223372036854775808.0)) return -1;
      *out = static_cast<int64_t>(d);
      return 0;
    }
    case VALUE_NUMERIC:
      return numeric_to_int64(&value->payload.numeric, out) == NUMERIC_OK ? 0 : -1;
    default:
      return -1;
  }
}

int get_int_from_value(const QuillValue* value, int32_t* out) {
  int64_t wide = 0;
  if (get_bigint_from_value(value, &wide) != 0 || !fits_int32(static_cast<long double>(wide)))
    return -1;
  *out = static_cast<int32_t>(wide);
  return 0;
}

int get_double_from_value(const QuillValue* value, double* out) {
  if (is_value_null(value)) return -1;
  switch (value->kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      *out = value->payload.integer;
      return 0;
    case VALUE_BIGINT:
      *out = static_cast<double>(value->payload.bigint);
      return 0;
    case VALUE_DOUBLE:
      *out = value->payload.real;
      return 0;
    case VALUE_NUMERIC:
      *out = numeric_to_double(&value->payload.numeric);
      return 0;
    default:
      return -1;
  }
}

void set_trivalue_in_value(QuillValue* value, int t) {
  mark_not_null(value, VALUE_INTEGER);
  value->payload.integer = (t == TRUTH_FALSE || t == TRUTH_TRUE) ? t : TRUTH_UNKNOWN;
}

int get_trivalue_from_value(const QuillValue* value) {
  if (is_value_null(value)) return TRUTH_UNKNOWN;
  switch (value->kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      if (value->payload.integer == TRUTH_UNKNOWN) return TRUTH_UNKNOWN;
      return value->payload.integer != 0 ? TRUTH_TRUE : TRUTH_FALSE;
    case VALUE_BIGINT:
      return value->payload.bigint != 0 ? TRUTH_TRUE : TRUTH_FALSE;
    case VALUE_DOUBLE:
      return value->payload.real != 0 ? TRUTH_TRUE : TRUTH_FALSE;
    case VALUE_NUMERIC:
      return numeric_is_zero(&value->payload.numeric) ? TRUTH_FALSE : TRUTH_TRUE;
    default:
      return TRUTH_UNKNOWN;
  }
}
