// Reading column values from the data-access layer into typed value slots: the C type and
// buffer length of each value kind, NUMERIC as structure or text, LONG data into long
// buffers, and the row key and bookmark of a table's key map.
#include <algorithm>
#include <cstring>
#include <string>

#include "driver/sql/exec_internal.h"

namespace {

constexpr SQLLEN kNumericTextLength = 128;
constexpr int64_t kLargestTextBuffer = 16 * 1024 * 1024;  // guards absurd declared lengths
// Most of a text value read at once; a longer one comes in pieces. Columns declared for
// megabytes (byte strings as hex) would otherwise hold that much memory per slot.
constexpr size_t kTextFirstRead = 64 * 1024;

// Posts the DAL failure (the DAL has posted its own diagnostic) and returns -1.
int dal_failed(ExecStatement* statement) {
  SetReturnCode(statement->errors, -1);
  return -1;
}

// The buffer length for a character or binary column of `declared` length.
size_t text_buffer(int64_t declared) {
  if (declared < 1) declared = 1;
  if (declared > kLargestTextBuffer) declared = kLargestTextBuffer;
  return static_cast<size_t>(declared) + 1;
}

// Reads a fixed-size value into `buffer`; 1 when NULL, 0 when read, -1 on error.
int read_fixed(ExecStatement* statement, DalIterator* iterator, int dal_column, int c_type,
               void* buffer, SQLLEN length, QuillValue* slot) {
  SQLLEN indicator = 0;
  int rc = DALGetData(iterator, dal_column, c_type, buffer, length, &indicator);
  if (rc != SQI_OK && rc != SQI_INFO) return dal_failed(statement);
  if (indicator == SQL_NULL_DATA) {
    set_value_null(slot, slot->kind);
    return 1;
  }
  return 0;
}

// Attaches the slot's long buffer to the LONG column of the current row.
int read_long(ExecStatement* statement, DalIterator* iterator, int dal_column,
              const ColumnInfo* column, QuillValue* slot) {
  if (exec_ensure_long_buffer(statement, column, slot) < 0) return -1;
  // The value is read when first used (most LONG columns are only passed through), while the
  // iterator is still on this row; each new row attaches the buffer again.
  LongBuffer* buffer = slot->long_buffer;
  if (DALDeferLong(buffer, iterator, dal_column) != 0) return dal_failed(statement);
  return set_value_to_long(slot, slot->kind, buffer);
}

}  // namespace

int exec_ensure_long_buffer(ExecStatement* statement, const ColumnInfo* column, QuillValue* slot) {
  if (slot->long_buffer) return 0;
  int sql_type = slot->kind == VALUE_LONG_CHARACTER ? SQL_LONGVARCHAR : SQL_LONGVARBINARY;
  slot->long_buffer =
      allocate_long_buffer(slot->pool, 0, column ? column->number - 1 : 0, nullptr, sql_type);
  if (slot->long_buffer) return 0;
  return exec_post_general(statement, 0,
                           sql_type == SQL_LONGVARCHAR
                               ? "Unable to open working file for LONGVARCHAR field"
                               : "Unable to open working file for LONGVARBINARY field");
}

QuillValue* exec_make_slot(MemPool* pool, const ColumnInfo* column) {
  int kind = sql_to_value_type(column->sql_type);
  if (column->sql_type == SQL_BIT || column->sql_type == SQL_TINYINT) kind = VALUE_INTEGER;
  int64_t declared = column->length;
  bool sized = kind == VALUE_CHARACTER || kind == VALUE_BINARY;
  // The buffer grows when a value is read: made here at the declared length it would cost a
  // plan megabytes of zeroed memory for every byte-string column, read or not.
  QuillValue* slot = NewValue(pool, 0);
  if (!slot) return nullptr;
  slot->length = sized ? static_cast<int32_t>(text_buffer(declared) - 1) : 0;
  slot->precision = column->precision;
  slot->scale = column->scale;
  if (kind == VALUE_YEAR_MONTH_INTERVAL || kind == VALUE_DAY_TIME_INTERVAL)
    slot->interval_precision = column->precision;
  set_value_null(slot, kind);
  return slot;
}

namespace {

// Largest text value read in pieces (a block with full transactions stays well below it).
constexpr size_t kLongestText = size_t{100} << 20;

// Reads the remaining pieces of a text column whose first `got` bytes sit in the slot's
// buffer, and sets the slot to the whole text. 0, or -1 after posting.
int read_rest_of_text(ExecStatement* statement, DalIterator* iterator, int dal_column,
                      QuillValue* slot, size_t got) {
  std::string whole(slot->bytes.data, got);
  std::string piece(64 * 1024, '\0');
  for (;;) {
    SQLLEN indicator = 0;
    int rc = DALGetData(iterator, dal_column, SQL_C_CHAR, piece.data(),
                        static_cast<SQLLEN>(piece.size()), &indicator);
    if (rc != SQI_OK && rc != SQI_INFO) return dal_failed(statement);
    size_t length = std::strlen(piece.c_str());
    whole.append(piece.data(), length);
    if (whole.size() > kLongestText)
      return exec_post_general(statement, 0, "Text value too long to read");
    if (rc == SQI_OK || length < piece.size() - 1) break;
  }
  int32_t declared = slot->length;
  if (set_value_to_text(slot, whole.data(), whole.size()) < 0) return exec_post_memory(statement);
  slot->length = declared;
  return 0;
}

}  // namespace

int exec_read_column(ExecStatement* statement, DalIterator* iterator, int dal_column,
                     const ColumnInfo* column, QuillValue* slot, int numeric_as_struct) {
  switch (slot->kind) {
    case VALUE_INTEGER: {
      SQLINTEGER number = 0;
      int rc = read_fixed(statement, iterator, dal_column, SQL_C_LONG, &number, 4, slot);
      if (rc == 0) set_value_to_int(slot, number);
      return rc < 0 ? -1 : 0;
    }
    case VALUE_DOUBLE: {
      double number = 0;
      int rc = read_fixed(statement, iterator, dal_column, SQL_C_DOUBLE, &number, 8, slot);
      if (rc == 0) set_value_to_double(slot, number);
      return rc < 0 ? -1 : 0;
    }
    case VALUE_BIGINT: {
      SQLBIGINT number = 0;
      int rc = read_fixed(statement, iterator, dal_column, SQL_C_SBIGINT, &number, 8, slot);
      if (rc == 0) set_value_to_bigint(slot, number);
      return rc < 0 ? -1 : 0;
    }
    case VALUE_DATE: {
      SQL_DATE_STRUCT date{};
      int rc = read_fixed(statement, iterator, dal_column, SQL_C_TYPE_DATE, &date, 6, slot);
      if (rc == 0) set_value_to_date(slot, &date);
      return rc < 0 ? -1 : 0;
    }
    case VALUE_TIME: {
      SQL_TIME_STRUCT time{};
      int rc = read_fixed(statement, iterator, dal_column, SQL_C_TYPE_TIME, &time, 6, slot);
      if (rc == 0) set_value_to_time(slot, &time);
      return rc < 0 ? -1 : 0;
    }
    case VALUE_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT stamp{};
      int rc = read_fixed(statement, iterator, dal_column, SQL_C_TYPE_TIMESTAMP, &stamp, 16, slot);
      if (rc == 0) set_value_to_timestamp(slot, &stamp);
      return rc < 0 ? -1 : 0;
    }
    case VALUE_YEAR_MONTH_INTERVAL:
    case VALUE_DAY_TIME_INTERVAL: {
      SQL_INTERVAL_STRUCT interval{};
      int c_type =
          slot->kind == VALUE_YEAR_MONTH_INTERVAL ? SQL_C_INTERVAL_YEAR : SQL_C_INTERVAL_DAY;
      int rc = read_fixed(statement, iterator, dal_column, c_type, &interval, 28, slot);
      if (rc == 0 && set_interval_payload(slot, &interval, slot->interval_precision) < 0)
        set_value_null(slot, slot->kind);
      return rc < 0 ? -1 : 0;
    }
    case VALUE_NUMERIC: {
      int precision = slot->precision, scale = slot->scale;
      if (numeric_as_struct > 0) {
        SQL_NUMERIC_STRUCT numeric{};
        int rc = read_fixed(statement, iterator, dal_column, SQL_C_NUMERIC, &numeric, 19, slot);
        if (rc == 0) set_value_to_numeric(slot, &numeric);
        return rc < 0 ? -1 : 0;
      }
      char text[kNumericTextLength + 1] = "";
      int rc =
          read_fixed(statement, iterator, dal_column, SQL_C_CHAR, text, kNumericTextLength, slot);
      if (rc == 0 && string_to_numeric(text, slot, precision, scale) < 0)
        set_value_null(slot, VALUE_NUMERIC);
      slot->precision = precision;
      slot->scale = scale;
      return rc < 0 ? -1 : 0;
    }
    case VALUE_CHARACTER:
    case VALUE_BINARY: {
      bool text = slot->kind == VALUE_CHARACTER;
      size_t declared = static_cast<size_t>(slot->length > 0 ? slot->length : 1);
      // Text longer than the first read, like text longer than the column, is read in pieces.
      size_t length = text ? std::min(declared, kTextFirstRead) + 1 : declared;
      if (static_cast<size_t>(slot->bytes.capacity) < length + 1) {
        void* grown = quill_mem_realloc(slot->pool, slot->bytes.data, length + 1);
        if (!grown) return exec_post_memory(statement);
        slot->bytes.data = static_cast<char*>(grown);
        slot->bytes.capacity = static_cast<int32_t>(length + 1);
      }
      SQLLEN indicator = 0;
      int rc = DALGetData(iterator, dal_column, text ? SQL_C_CHAR : SQL_C_BINARY, slot->bytes.data,
                          static_cast<SQLLEN>(length), &indicator);
      if (rc != SQI_OK && rc != SQI_INFO) return dal_failed(statement);
      if (indicator == SQL_NULL_DATA) {
        set_value_null(slot, slot->kind);
        return 0;
      }
      int32_t declared_length = slot->length;
      if (indicator == SQL_NO_TOTAL) {
        if (text)
          set_value_to_text(slot, "", 0);
        else
          set_value_to_binary(slot, nullptr, 0);
        slot->indicator = SQL_NO_TOTAL;
      } else if (text) {
        slot->bytes.data[length - 1] = '\0';
        size_t got = std::strlen(slot->bytes.data);
        if (rc == SQI_INFO && got == length - 1) {
          // Longer than the column's declared size (a node's string can be): read the rest in
          // pieces rather than cut the value.
          if (read_rest_of_text(statement, iterator, dal_column, slot, got) < 0) return -1;
        } else {
          set_value_to_text(slot, slot->bytes.data, got);
        }
      } else {
        size_t size = indicator < 0 ? 0 : static_cast<size_t>(indicator);
        set_value_to_binary(slot, slot->bytes.data, size < declared ? size : declared);
      }
      slot->length = declared_length;
      return 0;
    }
    case VALUE_LONG_CHARACTER:
    case VALUE_LONG_BINARY:
      return read_long(statement, iterator, dal_column, column, slot);
    default:
      return 0;  // a type without a value kind leaves its slot as it is
  }
}

int exec_read_row(ExecStatement* statement, TableCursor* cursor) {
  TableEntry* entry = cursor->entry;
  if (cursor->numeric_as_struct < 0) {
    int answer = 0;
    cursor->numeric_as_struct =
        DALGetInfo(cursor->iterator, &entry->table, 3, &answer) == SQI_OK && answer != 0 ? 1 : 0;
  }
  for (int i = 0; i < entry->column_count; ++i) {
    if (!cursor->column_usage[i]) continue;
    if (exec_read_column(statement, cursor->iterator, i + 1, &entry->columns[i], cursor->slots[i],
                         cursor->numeric_as_struct) < 0)
      return -1;
  }
  for (int k = 0; k < entry->key_count; ++k) {
    if (entry->key_map[k] == KEY_ROW_ID) {
      SQLINTEGER key = 0;
      int rc = read_fixed(statement, cursor->iterator, -1, SQL_C_LONG, &key, 4, cursor->row_key);
      if (rc < 0) return -1;
      if (rc == 0) set_value_to_int(cursor->row_key, key);
    } else if (entry->key_map[k] == KEY_BOOKMARK) {
      char mark[33] = "";
      SQLLEN indicator = 0;
      int rc = DALGetData(cursor->iterator, -2, SQL_C_CHAR, mark, 33, &indicator);
      if (rc != SQI_OK && rc != SQI_INFO) return dal_failed(statement);
      if (indicator == SQL_NULL_DATA)
        set_value_null(cursor->bookmark, VALUE_CHARACTER);
      else
        set_value_to_text(cursor->bookmark, mark, std::strlen(mark));
    }
  }
  return 0;
}
