// LONG result columns of an ORDER BY or UNION sort: the sort record carries the key columns
// of the column's table instead of the LONG value, and each sorted row reads the value again
// by a scan of that table restricted to `key = value` on every key column (rows the backend
// returns that do not match the keys are skipped).
#include "driver/sql/exec_sorting.h"
#include "support/dm.h"

namespace {

bool is_long(int sql_type) {
  return sql_type == SQL_LONGVARCHAR || sql_type == SQL_LONGVARBINARY;
}

// The base table and column a LONG select-list item reads, with usable key columns; null
// when the item is not such a column.
const ColumnRefNode* keyed_long_column(const SelectColumn& item) {
  if (!is_long(item.sql_type) || !item.expression || item.expression->kind != NODE_COLUMN_REF)
    return nullptr;
  auto* column = reinterpret_cast<const ColumnRefNode*>(item.expression);
  auto* entry = static_cast<const TableEntry*>(column->resolved_table);
  if (!entry || entry->type != TABLE_BASE || entry->key_count <= 0) return nullptr;
  for (int k = 0; k < entry->key_count; ++k)
    if (entry->key_map[k] < 1 || entry->key_map[k] > entry->column_count) return nullptr;
  return column;
}

// Reads the key columns of the current row of `reader` and compares them with `keys`.
// 1 equal, 0 different, -1 error.
int keys_match(ExecStatement* statement, LongColumn* column, DalIterator* iterator,
               const unsigned char* record) {
  const TableEntry* entry = column->entry;
  for (int k = 0; k < entry->key_count; ++k) {
    int number = entry->key_map[k];
    if (exec_read_column(statement, iterator, number, &entry->columns[number - 1],
                         column->key_values[k], 0) < 0)
      return -1;
    if (dm_to_value(record + column->keys[k].offset, column->stored[k]) < 0)
      return exec_post_memory(statement);
    if (compare_values(column->key_values[k], column->stored[k]) != 0) return 0;
  }
  return 1;
}

}  // namespace

int exec_long_columns_lay_out(ExecStatement* statement, ResultSortState* result, int64_t* offset,
                              bool* marked) {
  QueryPlan* query = statement->query;
  int count = 0;
  for (int i = 0; i < query->item_count; ++i)
    if (is_long(query->items[i].sql_type)) ++count;
  if (count == 0) return 0;
  result->long_columns = static_cast<LongColumn*>(
      quill_mem_alloc(statement->pool, sizeof(LongColumn) * static_cast<size_t>(count)));
  if (!result->long_columns) return exec_post_memory(statement);
  for (int i = 0; i < query->item_count; ++i) {
    if (!is_long(query->items[i].sql_type)) continue;
    const ColumnRefNode* reference = keyed_long_column(query->items[i]);
    if (!reference) return -1;  // the caller reports the missing key information
    LongColumn* column = &result->long_columns[result->long_count++];
    column->result_column = i;
    column->reference = reference;
    column->entry = static_cast<TableEntry*>(reference->resolved_table);
    const TableEntry* entry = column->entry;
    size_t keys = static_cast<size_t>(entry->key_count);
    column->keys =
        static_cast<RecordField*>(quill_mem_alloc(statement->pool, sizeof(RecordField) * keys));
    column->key_values =
        static_cast<QuillValue**>(quill_mem_alloc(statement->pool, sizeof(QuillValue*) * keys));
    column->stored =
        static_cast<QuillValue**>(quill_mem_alloc(statement->pool, sizeof(QuillValue*) * keys));
    column->usage = static_cast<int*>(quill_mem_alloc(
        statement->pool, sizeof(int) * static_cast<size_t>(entry->column_count + 1)));
    if (!column->keys || !column->key_values || !column->stored || !column->usage)
      return exec_post_memory(statement);
    column->usage[reference->resolved_column] = 1;
    for (int k = 0; k < entry->key_count; ++k) {
      const ColumnInfo& info = entry->columns[entry->key_map[k] - 1];
      column->usage[entry->key_map[k] - 1] = 1;
      // The scan that feeds the sort must read the key columns too.
      if (!entry->column_used[entry->key_map[k] - 1]) *marked = true;
      entry->column_used[entry->key_map[k] - 1] = 1;
      int32_t size = exec_field_size(info.sql_type, info.length);
      if (size < 0) return -1;
      column->keys[k] = RecordField{static_cast<int32_t>(*offset), size, info.sql_type};
      *offset += size;
      column->key_values[k] = exec_make_slot(statement->pool, &info);
      column->stored[k] = exec_make_slot(statement->pool, &info);
      if (!column->key_values[k] || !column->stored[k]) return exec_post_memory(statement);
    }
  }
  return 0;
}

int exec_long_columns_store(ExecStatement* statement, ResultSortState* result,
                            unsigned char* record) {
  for (int c = 0; c < result->long_count; ++c) {
    LongColumn* column = &result->long_columns[c];
    TableCursor* cursor = exec_find_cursor(statement, column->entry);
    if (!cursor || !cursor->slots)
      return exec_post_general(statement, EXEC_NATIVE_SORT, "Internal Error");
    for (int k = 0; k < column->entry->key_count; ++k) {
      const QuillValue* value = cursor->slots[column->entry->key_map[k] - 1];
      if (exec_put_field(statement, record + column->keys[k].offset, column->keys[k].size, value,
                         nullptr) < 0)
        return -1;
    }
  }
  return 0;
}

int exec_long_columns_restore(ExecStatement* statement, ResultSortState* result,
                              const unsigned char* record) {
  for (int c = 0; c < result->long_count; ++c) {
    LongColumn* column = &result->long_columns[c];
    const TableEntry* entry = column->entry;
    if (column->iterator) {
      DALResetIterator(column->iterator);
    } else {
      column->iterator = DALOpenIterator(statement->errors, statement->dal);
      if (!column->iterator) return exec_post_general(statement, 0, "Error in DALOpenIterator");
    }
    Restriction records[16];
    Restriction* pointers[16];
    int count = entry->key_count < 16 ? entry->key_count : 16;
    for (int k = 0; k < count; ++k) {
      int number = entry->key_map[k];
      if (dm_to_value(record + column->keys[k].offset, column->stored[k]) < 0)
        return exec_post_memory(statement);
      records[k] = Restriction{};
      records[k].column = const_cast<ColumnInfo*>(&entry->columns[number - 1]);
      records[k].column_number = number;
      records[k].op = RESTRICT_EQUAL;
      records[k].value = column->stored[k];
      pointers[k] = &records[k];
    }
    DALSetTimeout(column->iterator, exec_remaining_timeout(statement));
    int rc = DALStartScan(column->iterator, &entry->table, column->usage, entry->key_map, count,
                          pointers);
    if (rc != SQI_OK && rc != SQI_INFO) {
      if (GetErrorCount(statement->errors) == 0)
        return exec_post_general(statement, EXEC_NATIVE_SORT, "Data Read Error");
      SetReturnCode(statement->errors, -1);
      return -1;
    }
    for (;;) {
      rc = DALFetch(column->iterator);
      if (rc == SQI_NO_DATA)
        return exec_post_general(statement, EXEC_NATIVE_SORT, "Data Read Error");
      if (rc != SQI_OK && rc != SQI_INFO) {
        SetReturnCode(statement->errors, -1);
        return -1;
      }
      int match = keys_match(statement, column, column->iterator, record);
      if (match < 0) return -1;
      if (match) break;
    }
    ResultColumn* target = &statement->columns[column->result_column];
    if (target->value && target->plain) target->value = nullptr;
    target->plain = false;
    const ColumnInfo& info = entry->columns[column->reference->resolved_column];
    if (target->value && target->value->kind != sql_to_value_type(info.sql_type)) {
      release_value(statement->pool, target->value);
      target->value = nullptr;
    }
    if (!target->value) {
      target->value = exec_make_slot(statement->pool, &info);
      if (!target->value) return exec_post_memory(statement);
    }
    // The value is read on first use while the iterator stays on this row.
    if (exec_read_column(statement, column->iterator, column->reference->resolved_column + 1, &info,
                         target->value, 0) < 0)
      return -1;
    target->pending = false;
  }
  return 0;
}

void exec_long_columns_close(ResultSortState* result) {
  for (int c = 0; c < result->long_count; ++c)
    if (result->long_columns[c].iterator) {
      DALCloseIterator(result->long_columns[c].iterator);
      result->long_columns[c].iterator = nullptr;
    }
}
