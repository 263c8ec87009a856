// The row operations: key restrictions built from a row's key values, the re-read by key that
// detects a row changed or removed since it was read (and refreshes a row after its update),
// and the single-row insert, delete and update calls to the data-access layer with their row
// counts.
#include <vector>

#include "driver/sql/cast.h"
#include "driver/sql/exec_internal.h"
#include "driver/sql/exec_modify.h"
#include "driver/sql/exec_modify_internal.h"

namespace {

// Posts `sqlstate` with a message of the ISO class and returns -1.
int post_state(ExecStatement* statement, const char* sqlstate, const char* format,
               const char* argument) {
  SetReturnCode(statement->errors, -1);
  PostError(statement->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", sqlstate, format, argument);
  return -1;
}

// The `=` restrictions on every key part of the row's table.
struct KeyRestrictions {
  std::vector<Restriction> records;
  std::vector<Restriction*> pointers;
};

// Fills `keys` from the row; -1 after posting when the table has no usable key or a key
// value was not read.
int build_keys(ExecStatement* statement, const ModifyRow& row, KeyRestrictions* keys) {
  const TableEntry* table = row.table;
  if (!table || table->key_count <= 0 || !table->key_map)
    return exec_post_general(statement, 0,
                             "Base table has no distinct key information, so is not updatable");
  keys->records.assign(static_cast<size_t>(table->key_count), Restriction{});
  for (int k = 0; k < table->key_count; ++k) {
    Restriction& r = keys->records[static_cast<size_t>(k)];
    int number = table->key_map[k];
    const QuillValue* value = nullptr;
    if (number == KEY_ROW_ID) {
      value = row.row_key;
    } else if (number == KEY_BOOKMARK) {
      value = row.bookmark;
    } else if (number >= 1 && number <= table->column_count && row.values) {
      value = row.values[number - 1];
      r.column = &table->columns[number - 1];
    }
    if (!value)
      return exec_post_general(statement, 0,
                               "Base table has no distinct key information, so is not updatable");
    r.column_number = number;
    r.op = RESTRICT_EQUAL;
    r.value = const_cast<QuillValue*>(value);
  }
  for (Restriction& r : keys->records) keys->pointers.push_back(&r);
  return 0;
}

// A DAL call that failed: its diagnostic is on the statement, else `what` is posted.
int dal_failed(ExecStatement* statement, int errors_before, const char* what) {
  if (GetErrorCount(statement->errors) > errors_before) {
    SetReturnCode(statement->errors, -1);
    return -1;
  }
  return exec_post_general(statement, 0, what);
}

// Whether `fresh` and `cached` hold the same value (NULL equals NULL).
bool same_value(const QuillValue* fresh, const QuillValue* cached) {
  bool fresh_null = is_value_null(fresh);
  bool cached_null = is_value_null(cached);
  if (fresh_null || cached_null) return fresh_null == cached_null;
  return compare_values(fresh, cached) == 0;
}

// Re-reads the row by key and compares it with the values it was read with: 0 unchanged,
// -1 after posting 40001 (changed), 42000 (gone) or the backend's error.
int check_image(ExecStatement* statement, DalIterator* iterator, const ModifyRow& row,
                KeyRestrictions& keys) {
  TableEntry* table = row.table;
  std::vector<int> usage(static_cast<size_t>(table->column_count) + 1, 0);
  for (int c = 0; c < table->column_count; ++c)
    if (row.values && row.values[c] && !exec_is_long_type(table->columns[c].sql_type)) usage[c] = 1;
  DalFetchByKeyArguments arguments{usage.data(), static_cast<int32_t>(keys.pointers.size()),
                                   keys.pointers.data(), 0, nullptr};
  int before = GetErrorCount(statement->errors);
  exec_pass_wait(statement, iterator);
  int rc = DALFetchByKey(iterator, &table->table, &arguments);
  if (rc == SQI_NOT_FOUND || rc == DAL_FETCH_BY_KEY_NOT_FOUND)
    return post_state(statement, "42000", "Syntax error or access violation \"%s\"",
                      table->table.name);
  if (rc != SQI_OK && rc != SQI_INFO && rc != SQI_NO_DATA)
    return dal_failed(statement, before, "Error in DALFetchByKey");
  for (int c = 0; c < table->column_count; ++c) {
    if (!usage[static_cast<size_t>(c)]) continue;
    QuillValue* fresh = exec_make_slot(statement->pool, &table->columns[c]);
    if (!fresh) return exec_post_memory(statement);
    int read = exec_read_column(statement, iterator, c + 1, &table->columns[c], fresh, 0);
    bool same = read == 0 && same_value(fresh, row.values[c]);
    release_value(statement->pool, fresh);
    if (read < 0) return -1;
    if (!same) return post_state(statement, "40001", "%s", "Serialization failure");
  }
  return 0;
}

// Reads the updated row again by key into `refresh`. 0 read, 2 when the row is no longer
// found (nothing read), or 1 after posting why the re-read failed.
int refresh_row(ExecStatement* statement, DalIterator* iterator, const ModifyRow& row,
                const DalColumnValue* values, QuillValue* const* refresh) {
  TableEntry* table = row.table;
  size_t columns = static_cast<size_t>(table->column_count);
  // The key may have been among the columns written: the row is found by its new values.
  std::vector<const QuillValue*> now(columns, nullptr);
  std::vector<int> usage(columns + 1, 0);
  for (size_t c = 0; c < columns; ++c) {
    now[c] = values[c].changed && values[c].value ? values[c].value
                                                  : (row.values ? row.values[c] : nullptr);
    usage[c] = refresh[c] && !exec_is_long_type(table->columns[c].sql_type) ? 1 : 0;
  }
  ModifyRow after{table, now.data(), row.row_key, row.bookmark, false};
  int before = GetErrorCount(statement->errors);
  KeyRestrictions keys;
  if (build_keys(statement, after, &keys) < 0) return 1;
  DalFetchByKeyArguments arguments{usage.data(), static_cast<int32_t>(keys.pointers.size()),
                                   keys.pointers.data(), 0, nullptr};
  int rc = DALFetchByKey(iterator, &table->table, &arguments);
  if (rc == SQI_NOT_FOUND || rc == DAL_FETCH_BY_KEY_NOT_FOUND) return 2;
  if (rc != SQI_OK && rc != SQI_INFO && rc != SQI_NO_DATA) {
    if (GetErrorCount(statement->errors) == before)
      exec_post_general(statement, 0, "Error in DALFetchByKey");
    return 1;
  }
  for (size_t c = 0; c < columns; ++c) {
    if (!usage[c]) continue;
    int column = static_cast<int>(c);
    if (exec_read_column(statement, iterator, column + 1, &table->columns[c], refresh[c], 0) < 0)
      return 1;
  }
  return 0;
}

// The rows a DAL call reports, never negative.
long long reported_rows(SQLLEN rows) {
  return rows < 0 ? 0 : static_cast<long long>(rows);
}

}  // namespace

DalIterator* modify_open_iterator(ExecStatement* statement) {
  DalIterator* iterator = DALOpenIterator(statement->errors, statement->dal);
  if (!iterator) {
    if (GetErrorCount(statement->errors) == 0)
      exec_post_general(statement, 0, "Error in DALOpenIterator");
    SetReturnCode(statement->errors, -1);
    return nullptr;
  }
  exec_pass_wait(statement, iterator);
  return iterator;
}

int modify_delete_row(ExecStatement* statement, DalIterator* iterator, const ModifyRow& row,
                      long long* count) {
  *count = 0;
  KeyRestrictions keys;
  if (build_keys(statement, row, &keys) < 0) return -1;
  if (row.check_image && check_image(statement, iterator, row, keys) < 0) return -1;
  DalDeleteArguments arguments{static_cast<int32_t>(keys.pointers.size()), keys.pointers.data(), 1};
  int before = GetErrorCount(statement->errors);
  int rc = DALDeleteRow(iterator, &row.table->table, &arguments);
  if (rc != SQI_OK && rc != SQI_INFO) return dal_failed(statement, before, "Error in DALDeleteRow");
  *count = reported_rows(arguments.rows);
  return rc == SQI_INFO ? 1 : 0;
}

int modify_update_row(ExecStatement* statement, DalIterator* iterator, const ModifyRow& row,
                      DalColumnValue* values, long long* count, QuillValue* const* refresh,
                      bool* refreshed) {
  *count = 0;
  KeyRestrictions keys;
  if (build_keys(statement, row, &keys) < 0) return -1;
  if (row.check_image && check_image(statement, iterator, row, keys) < 0) return -1;
  DalUpdateArguments arguments{static_cast<int32_t>(keys.pointers.size()), keys.pointers.data(),
                               row.table->column_count, values, 1};
  int before = GetErrorCount(statement->errors);
  int rc = DALUpdateRow(iterator, &row.table->table, &arguments, DAL_UPDATE_MODE_ROW);
  if (rc != SQI_OK && rc != SQI_INFO) return dal_failed(statement, before, "Error in DALUpdateRow");
  *count = reported_rows(arguments.rows);
  int outcome = rc == SQI_INFO ? 1 : 0;
  if (refreshed) *refreshed = false;
  if (!refresh || !row.check_image) return outcome;
  int read = refresh_row(statement, iterator, row, values, refresh);
  if (refreshed) *refreshed = read == 0;
  if (read == 1) {
    SetReturnCode(statement->errors, 1);
    outcome = 1;
  }
  return outcome;
}

int modify_insert_row(ExecStatement* statement, DalIterator* iterator, TableEntry* table,
                      DalColumnValue* values, long long* count) {
  *count = 0;
  DalInsertArguments arguments{table->column_count, values, 1};
  int before = GetErrorCount(statement->errors);
  int rc = DALInsertRow(iterator, &table->table, &arguments);
  if (rc != SQI_OK && rc != SQI_INFO) return dal_failed(statement, before, "Error in DALInsertRow");
  *count = reported_rows(arguments.rows);
  return rc == SQI_INFO ? 1 : 0;
}

int modify_bulk_delete(ExecStatement* statement, DalIterator* iterator, TableEntry* table,
                       long long* count) {
  *count = 0;
  DalDeleteArguments arguments{0, nullptr, 0};
  int before = GetErrorCount(statement->errors);
  int rc = DALDeleteRow(iterator, &table->table, &arguments);
  if (rc == SQI_NO_DATA) return 2;
  if (rc != SQI_OK && rc != SQI_INFO) return dal_failed(statement, before, "Error in DALDeleteRow");
  *count = reported_rows(arguments.rows);
  return rc == SQI_INFO ? 1 : 0;
}

void modify_init_values(TableEntry* table, DalColumnValue* values) {
  for (int c = 0; c < table->column_count; ++c)
    values[c] = DalColumnValue{&table->columns[c], c + 1, nullptr, 0};
}

QuillValue* exec_value_for_column(ExecStatement* statement, const QuillValue* value,
                                  const ColumnInfo* column) {
  MemPool* pool = statement->pool;
  int kind = sql_to_value_type(column->sql_type);
  if (column->sql_type == SQL_BIT || column->sql_type == SQL_TINYINT) kind = VALUE_INTEGER;
  QuillValue* out = nullptr;
  if (!value || is_value_null(value)) {
    out = NewValue(pool, 0);
    if (out) set_value_null(out, kind == VALUE_NONE ? VALUE_CHARACTER : kind);
  } else if (exec_is_long_type(column->sql_type) || kind == VALUE_NONE) {
    out = duplicate_value(pool, value);
  } else {
    statement->eval.error = 0;
    out = cast_value_to(&statement->eval, value, column->sql_type, static_cast<int>(column->length),
                        column->scale);
    if (!out) {
      SetReturnCode(statement->errors, -1);
      return nullptr;
    }
    return out;
  }
  if (!out) exec_post_memory(statement);
  return out;
}

int exec_delete_row(ExecStatement* statement, const ModifyRow& row, long long* count) {
  *count = 0;
  DalIterator* iterator = modify_open_iterator(statement);
  if (!iterator) return -1;
  int rc = modify_delete_row(statement, iterator, row, count);
  DALCloseIterator(iterator);
  return rc;
}

int exec_update_row(ExecStatement* statement, const ModifyRow& row, DalColumnValue* values,
                    long long* count, QuillValue* const* refresh, bool* refreshed) {
  *count = 0;
  if (refreshed) *refreshed = false;
  DalIterator* iterator = modify_open_iterator(statement);
  if (!iterator) return -1;
  int rc = modify_update_row(statement, iterator, row, values, count, refresh, refreshed);
  DALCloseIterator(iterator);
  return rc;
}

int exec_insert_row(ExecStatement* statement, TableEntry* table, DalColumnValue* values,
                    long long* count) {
  *count = 0;
  DalIterator* iterator = modify_open_iterator(statement);
  if (!iterator) return -1;
  int rc = modify_insert_row(statement, iterator, table, values, count);
  DALCloseIterator(iterator);
  return rc;
}

int exec_settle_long(ExecStatement* statement, const QuillValue* value) {
  if (!value || !value->long_buffer) return 0;
  int before = GetErrorCount(statement->errors);
  if (settle_value(value) == 0) return 0;
  if (GetErrorCount(statement->errors) == before)
    return exec_post_general(statement, 0, "Error in DALReadLong");
  SetReturnCode(statement->errors, -1);
  return -1;
}
