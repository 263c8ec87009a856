// Reading the LONG result columns of a sorted ORDER BY / UNION row: the key stored in the
// sort record positions an iterator on the row with DALFetchByKey (one `=` restriction per
// key part) and the LONG value is copied from it at once, or attached to be read on first use
// when the backend answers that its LONG data is pending. A row that is gone is a read error.
// A result column that the members of a UNION read from several tables is read from the
// table its record names.
#include <cstring>

#include "driver/sql/exec_modify.h"
#include "driver/sql/exec_sorting.h"
#include "support/dm.h"
#include "support/longbuf.h"

namespace {

// A failed DAL call: the backend's diagnostic stands when it posted one, otherwise
// "Data Read Error" is posted. -1.
int read_failed(ExecStatement* statement, int errors_before) {
  if (GetErrorCount(statement->errors) > errors_before) {
    SetReturnCode(statement->errors, -1);
    return -1;
  }
  return exec_post_general(statement, EXEC_NATIVE_SORT, "Data Read Error");
}

// Positions the column's iterator on the row whose key is stored in `record`: 0 read the
// value now, SQI_NO_DATA read it on first use, -1 after posting.
int fetch_by_key(ExecStatement* statement, LongColumn* column, const unsigned char* record) {
  const TableEntry* entry = column->entry;
  for (int k = 0; k < entry->key_count; ++k)
    if (dm_to_value(record + column->keys[k].offset, column->stored[k]) < 0)
      return exec_post_memory(statement);
  if (column->iterator) {
    DALResetIterator(column->iterator);
  } else {
    column->iterator = DALOpenIterator(statement->errors, statement->dal);
    if (!column->iterator) return exec_post_general(statement, 0, "Error in DALOpenIterator");
  }
  DalFetchByKeyArguments arguments{column->usage, entry->key_count, column->pointers, 0, nullptr};
  int before = GetErrorCount(statement->errors);
  exec_pass_wait(statement, column->iterator);
  int rc = DALFetchByKey(column->iterator, &entry->table, &arguments);
  if (rc == SQI_OK || rc == SQI_INFO) return 0;
  if (rc == SQI_NO_DATA) return SQI_NO_DATA;
  if (rc == SQI_NOT_FOUND || rc == DAL_FETCH_BY_KEY_NOT_FOUND)
    return exec_post_general(statement, EXEC_NATIVE_SORT, "Data Read Error");
  return read_failed(statement, before);
}

// The value slot of the column's result column, made a LONG slot with its own long buffer
// when it is not one. Null after posting.
QuillValue* long_target(ExecStatement* statement, LongColumn* column) {
  ResultColumn* target = &statement->columns[column->result_column];
  if (target->value && target->plain) target->value = nullptr;  // a table slot, not owned
  target->plain = false;
  const ColumnInfo& info = column->entry->columns[column->reference->resolved_column];
  int kind = sql_to_value_type(info.sql_type);
  if (target->value && target->value->kind != kind) {
    release_value(statement->pool, target->value);
    target->value = nullptr;
  }
  if (!target->value) {
    target->value = exec_make_slot(statement->pool, &info);
    if (!target->value) {
      exec_post_memory(statement);
      return nullptr;
    }
  }
  if (exec_ensure_long_buffer(statement, &info, target->value) < 0) return nullptr;
  target->pending = false;
  return target->value;
}

// Re-reads one LONG column of the sorted row. 0 or -1 (posted).
int restore_column(ExecStatement* statement, LongColumn* column, const unsigned char* record) {
  int found = fetch_by_key(statement, column, record);
  if (found < 0) return -1;
  QuillValue* value = long_target(statement, column);
  if (!value) return -1;
  LongBuffer* buffer = value->long_buffer;
  int dal_column = column->reference->resolved_column + 1;
  int before = GetErrorCount(statement->errors);
  if (found == SQI_NO_DATA) {
    if (DALDeferLong(buffer, column->iterator, dal_column) != 0)
      return read_failed(statement, before);
  } else if (DALReadLong(buffer, column->iterator, dal_column) != 0) {
    return read_failed(statement, before);
  }
  if (set_value_to_long(value, value->kind, buffer) < 0)
    return exec_post_general(statement, EXEC_NATIVE_SORT, "Internal Error");
  return 0;
}

// Whether the row of `record` reads the column's value from the column's table (its result
// column may be read from other tables by other members of a UNION).
bool row_reads_from(const LongColumn* column, const unsigned char* record) {
  if (column->source_field.size == 0) return true;
  int32_t header[3], source = 0;
  std::memcpy(header, record + column->source_field.offset, sizeof header);
  if (header[1] == SQL_NULL_DATA) return false;
  std::memcpy(&source, record + column->source_field.offset + DM_HEADER_SIZE, sizeof source);
  return source == column->source;
}

}  // namespace

int exec_long_columns_restore(ExecStatement* statement, ResultSortState* result,
                              const unsigned char* record) {
  for (int c = 0; c < result->long_count; ++c)
    if (row_reads_from(&result->long_columns[c], record) &&
        restore_column(statement, &result->long_columns[c], record) < 0)
      return -1;
  return 0;
}

void exec_long_columns_close(ResultSortState* result) {
  if (!result->long_columns) return;
  MemPool* pool = result->long_columns[0].pool;
  for (int c = 0; c < result->long_count; ++c) {
    LongColumn* column = &result->long_columns[c];
    if (column->iterator) DALCloseIterator(column->iterator);
    if (column->stored)
      for (int k = 0; k < column->entry->key_count; ++k) release_value(pool, column->stored[k]);
    quill_mem_free(pool, column->keys);
    quill_mem_free(pool, column->stored);
    quill_mem_free(pool, column->restrictions);
    quill_mem_free(pool, column->pointers);
    quill_mem_free(pool, column->usage);
    quill_mem_free(pool, column->members);
    quill_mem_free(pool, column->member_entries);
  }
  quill_mem_free(pool, result->long_columns);
  result->long_columns = nullptr;
  result->long_count = 0;
}
