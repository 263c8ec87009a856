// Row records of a scrollable cursor: each column's value in its flat form at a
// fixed offset. Values that cannot live in their entry (long data, text or bytes
// longer than the declared length, values wider than the column's type) are
// appended to the layer's side store and the entry keeps a reference to them,
// so reading the row back always gives the values that were read.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/odbc/cursor/cursor_internal.h"
#include "driver/odbc/handles/frame.h"
#include "support/dm.h"

namespace {

// Indicator of an entry whose value lives in the side store.
constexpr int32_t STORED_ASIDE = -77;
// Payload of such an entry: offset and size of the bytes in the side store.
constexpr size_t REFERENCE_SIZE = 2 * sizeof(uint64_t);
// Inline payload for a column whose length is unknown.
constexpr size_t UNKNOWN_PAYLOAD = 64;
// Wider values go to the side store rather than making every record huge.
constexpr size_t INLINE_LIMIT = 8192;
// Piece size when copying a long value out of the side store.
constexpr size_t COPY_PIECE = 64 * 1024;

struct EntryHeader {
  int32_t kind;
  int32_t indicator;
  int32_t length;
};

bool is_long_kind(int32_t kind) {
  return kind == VALUE_LONG_CHARACTER || kind == VALUE_LONG_BINARY;
}

bool is_bytes_kind(int32_t kind) {
  return kind == VALUE_CHARACTER || kind == VALUE_BINARY;
}

int post_store_error(CursorLayer* layer, const char* what) {
  int code = errno ? errno : EIO;
  char text[512];
  std::snprintf(text, sizeof text, "Error in %s (%d) %s", what, code, std::strerror(code));
  post_call_error(layer->errors, "HY000", MSG_GENERAL_ERROR, text);
  return -1;
}

int post_memory_error(CursorLayer* layer) {
  post_call_error(layer->errors, "HY001", MSG_MEMORY);
  return -1;
}

// Bytes a character or binary value holds (as the flat form counts them).
size_t held_bytes(const QuillValue* value) {
  if (!value->bytes.data) return 0;
  if (value->kind == VALUE_BINARY) return static_cast<size_t>(value->bytes.length);
  return strnlen(value->bytes.data, static_cast<size_t>(value->bytes.capacity));
}

bool reserve_scratch(CursorLayer* layer, size_t size) {
  if (size <= layer->scratch_capacity) return true;
  void* grown = quill_mem_realloc(layer->pool, layer->scratch, size);
  if (!grown) return false;
  layer->scratch = static_cast<unsigned char*>(grown);
  layer->scratch_capacity = size;
  return true;
}

// Makes the side store on first use; false after posting.
bool ensure_side_store(CursorLayer* layer) {
  if (layer->side_store) return true;
  errno = 0;
  layer->side_store = allocate_long_buffer(layer->pool, 0, 0, layer->work_dir, SQL_LONGVARBINARY);
  if (!layer->side_store) post_store_error(layer, "rs_file_write");
  return layer->side_store != nullptr;
}

void write_reference(unsigned char* entry, int32_t kind, uint64_t offset, uint64_t size) {
  EntryHeader header{kind, STORED_ASIDE, 0};
  std::memcpy(entry, &header, sizeof header);
  std::memcpy(entry + DM_HEADER_SIZE, &offset, sizeof offset);
  std::memcpy(entry + DM_HEADER_SIZE + sizeof offset, &size, sizeof size);
}

// Appends bytes to the side store and writes the reference entry.
int store_aside(CursorLayer* layer, unsigned char* entry, int32_t kind, const void* data,
                uint64_t size) {
  if (!ensure_side_store(layer)) return -1;
  uint64_t offset = layer->side_store->length;
  errno = 0;
  if (size > 0 && append_to_long_buffer(layer->side_store, data, static_cast<size_t>(size)) < 0)
    return post_store_error(layer, "rs_file_write");
  write_reference(entry, kind, offset, size);
  return 0;
}

// A long value: its bytes go to the side store piece by piece.
int store_long(CursorLayer* layer, unsigned char* entry, const QuillValue* value) {
  LongBuffer* buffer = value->long_buffer;
  int64_t length = long_buffer_length(buffer);
  if (length < 0) return post_store_error(layer, "rs_file_read");
  if (!reserve_scratch(layer, COPY_PIECE)) return post_memory_error(layer);
  if (!ensure_side_store(layer)) return -1;
  uint64_t offset = layer->side_store->length;
  for (uint64_t done = 0; done < static_cast<uint64_t>(length);) {
    int64_t got = read_long_buffer_at(buffer, done, layer->scratch, COPY_PIECE);
    if (got <= 0) return post_store_error(layer, "rs_file_read");
    errno = 0;
    if (append_to_long_buffer(layer->side_store, layer->scratch, static_cast<size_t>(got)) < 0)
      return post_store_error(layer, "rs_file_write");
    done += static_cast<uint64_t>(got);
  }
  write_reference(entry, value->kind, offset, static_cast<uint64_t>(length));
  return 0;
}

// A character or binary value too long for its entry: its flat form goes aside.
int store_bytes_aside(CursorLayer* layer, unsigned char* entry, const QuillValue* value) {
  size_t held = held_bytes(value);
  size_t size = DM_HEADER_SIZE + held + (value->kind == VALUE_CHARACTER ? 1 : 0);
  if (!reserve_scratch(layer, size)) return post_memory_error(layer);
  EntryHeader header{value->kind, value->indicator, static_cast<int32_t>(held)};
  std::memcpy(layer->scratch, &header, sizeof header);
  if (held > 0) std::memcpy(layer->scratch + DM_HEADER_SIZE, value->bytes.data, held);
  if (value->kind == VALUE_CHARACTER) layer->scratch[DM_HEADER_SIZE + held] = '\0';
  return store_aside(layer, entry, value->kind, layer->scratch, size);
}

int store_value(CursorLayer* layer, unsigned char* entry, const ColumnLayout& column,
                const QuillValue* value) {
  if (is_value_null(value)) {
    EntryHeader header{value->kind, SQL_NULL_DATA, value->interval_precision};
    std::memcpy(entry, &header, sizeof header);
    return 0;
  }
  if (is_long_kind(value->kind)) return store_long(layer, entry, value);
  if (is_bytes_kind(value->kind)) {
    // Data beyond the declared length, or beyond the entry, is kept aside whole.
    size_t held = held_bytes(value);
    size_t needed = held + (value->kind == VALUE_CHARACTER ? 1 : 0);
    bool fits = held <= static_cast<size_t>(value->length > 0 ? value->length : 0) &&
                needed <= column.payload;
    if (fits && value_to_dm(entry, value) >= 0) return 0;
    return store_bytes_aside(layer, entry, value);
  }
  if (!reserve_scratch(layer, DM_HEADER_SIZE + sizeof(SQL_INTERVAL_STRUCT) + 8))
    return post_memory_error(layer);
  // Fixed kinds are flattened into the scratch buffer first: a value of a wider kind than
  // the column's type (a BIGINT in an INTEGER column) may not fit the entry.
  int32_t size = value_to_dm(layer->scratch, value);
  if (size < 0) {
    post_call_error(layer->errors, "HY000", MSG_GENERAL_ERROR, "Unsupported value kind in row");
    return -1;
  }
  if (static_cast<size_t>(size) <= DM_HEADER_SIZE + column.payload) {
    std::memcpy(entry, layer->scratch, static_cast<size_t>(size));
    return 0;
  }
  return store_aside(layer, entry, value->kind, layer->scratch, static_cast<uint64_t>(size));
}

// Reads `size` bytes at `offset` of the side store into `out`.
int read_aside(CursorLayer* layer, uint64_t offset, void* out, size_t size) {
  if (!layer->side_store) return post_store_error(layer, "rs_file_read");
  errno = 0;
  if (read_long_buffer_at(layer->side_store, offset, out, size) != static_cast<int64_t>(size))
    return post_store_error(layer, "rs_file_read");
  return 0;
}

// Rebuilds a long value into the slot's own long buffer.
int load_long(CursorLayer* layer, QuillValue* slot, int32_t kind, uint64_t offset, uint64_t size) {
  int sql_type = kind == VALUE_LONG_CHARACTER ? SQL_LONGVARCHAR : SQL_LONGVARBINARY;
  LongBuffer* buffer = slot->long_buffer;
  if (buffer) {
    reset_long_buffer(buffer);
  } else {
    errno = 0;
    buffer = allocate_long_buffer(layer->pool, 0, 0, layer->work_dir, sql_type);
    if (!buffer) return post_store_error(layer, "rs_file_read");
  }
  buffer->sql_type = sql_type;
  if (!reserve_scratch(layer, COPY_PIECE)) {
    if (buffer != slot->long_buffer) free_long_buffer(buffer);
    return post_memory_error(layer);
  }
  int rc = 0;
  for (uint64_t done = 0; rc == 0 && done < size;) {
    size_t piece = size - done < COPY_PIECE ? static_cast<size_t>(size - done) : COPY_PIECE;
    rc = read_aside(layer, offset + done, layer->scratch, piece);
    errno = 0;
    if (rc == 0 && append_to_long_buffer(buffer, layer->scratch, piece) < 0)
      rc = post_store_error(layer, "rs_file_read");
    done += piece;
  }
  set_value_to_long(slot, kind, buffer);
  return rc;
}

int load_value(CursorLayer* layer, const unsigned char* entry, QuillValue* slot) {
  EntryHeader header{};
  std::memcpy(&header, entry, sizeof header);
  if (header.indicator == SQL_NULL_DATA) {
    if (slot->long_buffer) set_long_buffer_null(slot->long_buffer);
    set_value_null(slot, header.kind);
    slot->interval_precision = header.length;
    return 0;
  }
  const unsigned char* flat = entry;
  if (header.indicator == STORED_ASIDE) {
    uint64_t offset = 0, size = 0;
    std::memcpy(&offset, entry + DM_HEADER_SIZE, sizeof offset);
    std::memcpy(&size, entry + DM_HEADER_SIZE + sizeof offset, sizeof size);
    if (is_long_kind(header.kind)) return load_long(layer, slot, header.kind, offset, size);
    if (!reserve_scratch(layer, static_cast<size_t>(size))) return post_memory_error(layer);
    if (read_aside(layer, offset, layer->scratch, static_cast<size_t>(size)) < 0) return -1;
    flat = layer->scratch;
  }
  if (dm_to_value(flat, slot) < 0) {
    errno = EIO;  // the record does not hold a readable value
    return post_store_error(layer, "rs_file_read");
  }
  return 0;
}

}  // namespace

bool row_layout_build(CursorLayer* layer, size_t* record_length) {
  int count = layer->source.column_count;
  layer->columns = static_cast<ColumnLayout*>(quill_mem_alloc(
      layer->pool, sizeof(ColumnLayout) * static_cast<size_t>(count > 0 ? count : 1)));
  if (!layer->columns) return false;
  size_t offset = 0;
  for (int i = 0; i < count; ++i) {
    ColumnLayout& column = layer->columns[i];
    column.sql_type = layer->source.column_types ? layer->source.column_types[i] : 0;
    column.length = layer->source.column_lengths ? layer->source.column_lengths[i] : -1;
    int32_t flat = get_dm_length(column.sql_type, column.length);
    size_t payload = flat < 0 ? UNKNOWN_PAYLOAD : static_cast<size_t>(flat);
    if (payload > INLINE_LIMIT) payload = INLINE_LIMIT;
    // Every entry can hold a reference, and any fixed-size value of any kind.
    if (payload < sizeof(SQL_INTERVAL_STRUCT)) payload = sizeof(SQL_INTERVAL_STRUCT);
    if (payload < REFERENCE_SIZE) payload = REFERENCE_SIZE;
    payload = (payload + 3) & ~static_cast<size_t>(3);
    column.offset = offset;
    column.payload = payload;
    offset += DM_HEADER_SIZE + payload;
  }
  *record_length = offset > 0 ? offset : 1;
  return true;
}

bool row_slots_build(CursorLayer* layer) {
  int count = layer->source.column_count;
  layer->slots = static_cast<QuillValue**>(quill_mem_alloc(
      layer->pool, sizeof(QuillValue*) * static_cast<size_t>(count > 0 ? count : 1)));
  if (!layer->slots) return false;
  for (int i = 0; i < count; ++i) {
    int32_t length = layer->columns[i].length;
    layer->slots[i] = NewValue(layer->pool, length > 0 && length <= 8192 ? length : 0);
    if (!layer->slots[i]) return false;
    if (length > 0) layer->slots[i]->length = length;
  }
  return true;
}

int row_store(CursorLayer* layer, int64_t record) {
  unsigned char* bytes = record_cache_claim(&layer->cache, layer->errors, record);
  if (!bytes) return -1;
  for (int i = 0; i < layer->source.column_count; ++i) {
    const QuillValue* value = layer->source.column(layer->source.context, i);
    if (!value) return -1;  // the source posted why
    if (store_value(layer, bytes + layer->columns[i].offset, layer->columns[i], value) < 0)
      return -1;
  }
  return 0;
}

int row_load(CursorLayer* layer, int64_t record) {
  const unsigned char* bytes = record_cache_fetch(&layer->cache, layer->errors, record);
  if (!bytes) return -1;
  for (int i = 0; i < layer->source.column_count; ++i)
    if (load_value(layer, bytes + layer->columns[i].offset, layer->slots[i]) < 0) return -1;
  return 0;
}

int row_rewrite(CursorLayer* layer, int64_t record, const QuillValue* const* values) {
  // The slots take the stored row first: the columns kept are written back from them.
  if (row_load(layer, record) < 0) return -1;
  unsigned char* bytes = record_cache_claim(&layer->cache, layer->errors, record);
  if (!bytes) return -1;
  for (int i = 0; i < layer->source.column_count; ++i) {
    const QuillValue* value = values[i] ? values[i] : layer->slots[i];
    if (store_value(layer, bytes + layer->columns[i].offset, layer->columns[i], value) < 0)
      return -1;
  }
  return row_load(layer, record);
}

void row_release(CursorLayer* layer) {
  if (layer->slots) {
    for (int i = 0; i < layer->source.column_count; ++i) {
      if (!layer->slots[i]) continue;
      free_long_buffer(layer->slots[i]->long_buffer);
      layer->slots[i]->long_buffer = nullptr;
    }
  }
  free_long_buffer(layer->side_store);
  layer->side_store = nullptr;
}
