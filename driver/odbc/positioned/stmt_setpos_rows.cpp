// SQLSetPos SQL_UPDATE, SQL_DELETE and SQL_ADD: every result column must be a plain column
// of a table of the query; the rows of the rowset are grouped by table and deleted by key,
// updated with the application's bound values, or inserted from them, through the engine's
// row operations; each row's status and the affected-row count are recorded.
#include "driver/odbc/positioned/stmt_setpos_rows.h"

#include <cstring>
#include <vector>

#include "driver/odbc/convert/convert_result.h"
#include "driver/odbc/cursor/cursor_layer.h"
#include "driver/odbc/descriptors/desc_records.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/params/param_convert.h"
#include "driver/sql/exec_internal.h"
#include "driver/sql/exec_modify.h"

namespace {

// Byte address of element `row` of a bound buffer.
template <typename T>
T* bound_element(T* base, const QuillDesc* ard, SQLULEN row, SQLLEN element) {
  if (!base) return nullptr;
  char* bytes = reinterpret_cast<char*>(base);
  bytes += ard->bind_type > 0 ? static_cast<SQLLEN>(row * ard->bind_type)
                              : static_cast<SQLLEN>(row) * element;
  if (ard->bind_offset_ptr) bytes += *ard->bind_offset_ptr;
  return reinterpret_cast<T*>(bytes);
}

// Where result column `index` comes from.
struct ColumnSource {
  TableEntry* table;  // the query's table
  int column;         // 0-based column of that table
};

// The statement's running query, or null.
const QueryPlan* running_query(const QuillStmt* stmt) {
  auto* entry =
      stmt->current_entry ? static_cast<const StatementEntry*>(stmt->current_entry->data) : nullptr;
  if (!entry || !entry->plan || entry->plan->kind != PLAN_QUERY) return nullptr;
  return node_cast<QueryPlan>(entry->plan);
}

// The table column behind every result column; false when one is not a plain column of a
// base table.
bool column_sources(const QueryPlan* query, std::vector<ColumnSource>* sources) {
  for (int i = 0; i < query->item_count; ++i) {
    const Node* expression = query->items[i].expression;
    if (!expression || expression->kind != NODE_COLUMN_REF) return false;
    auto* reference = node_cast<ColumnRefNode>(expression);
    TableEntry* table = reference->resolved_table;
    if (!table || table->type != TABLE_BASE || reference->resolved_column < 0 ||
        reference->resolved_column >= table->column_count)
      return false;
    sources->push_back(ColumnSource{table, reference->resolved_column});
  }
  return true;
}

// The application's bound value of result column `index` for rowset row `row`: 1 with
// *out made (a NULL when the indicator says so), 0 when the column is not bound or its
// indicator is SQL_COLUMN_IGNORE, -1 after posting a conversion failure.
int bound_value(QuillStmt* stmt, int index, SQLULEN row, const ColumnInfo* column,
                QuillValue** out) {
  DescRecord* record = desc_record(stmt->ard, index + 1, false);
  if (!record || !record->data_ptr) return 0;
  const SQLLEN* indicator =
      bound_element(record->indicator_ptr ? record->indicator_ptr : record->octet_length_ptr,
                    stmt->ard, row, sizeof(SQLLEN));
  SQLLEN length = indicator ? *indicator : SQL_NTS;
  if (length == SQL_COLUMN_IGNORE) return 0;
  ParamInput input;
  input.c_type = record->concise_type == SQL_C_DEFAULT ? SQL_C_CHAR : record->concise_type;
  SQLLEN element = result_element_size(input.c_type, record->octet_length);
  input.data = bound_element(static_cast<char*>(record->data_ptr), stmt->ard, row, element);
  input.is_null = length == SQL_NULL_DATA;
  if (length == SQL_NTS && input.c_type == SQL_C_CHAR)
    length = static_cast<SQLLEN>(std::strlen(static_cast<const char*>(input.data)));
  else if (length == SQL_NTS)
    length = record->octet_length;
  input.length = length < 0 ? 0 : length;
  ParamTarget target;
  target.sql_type = static_cast<SQLSMALLINT>(column->sql_type);
  target.column_size = column->length < 0 ? 0 : static_cast<SQLULEN>(column->length);
  target.precision = static_cast<SQLSMALLINT>(column->precision);
  target.scale = static_cast<SQLSMALLINT>(column->scale);
  QuillValue* value = NewValue(stmt->pool, 0);
  if (!value) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return -1;
  }
  ParamError error;
  if (!param_convert(input, target, value, &error)) {
    release_value(stmt->pool, value);
    SetReturnCode(stmt->errors, -1);
    PostError(stmt->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", error.sqlstate, "%s",
              error.message.c_str());
    return -1;
  }
  *out = value;
  return 1;
}

// Releases the values of a column value array.
void release_entries(std::vector<DalColumnValue>& values) {
  for (DalColumnValue& entry : values)
    if (entry.value) release_value(entry.value->pool, entry.value);
  values.clear();
}

// Updates the current row of the rowset for one table and stores the row as it now is in
// the cursor, so that a second change of the row compares with the new values. 0/1 with
// *count, -1 after posting.
int update_and_refresh(QuillStmt* stmt, ExecStatement* exec, CursorLayer* layer,
                       const ModifyRow& current, const std::vector<ColumnSource>& sources,
                       std::vector<DalColumnValue>& values, long long* count) {
  TableEntry* table = current.table;
  size_t columns = static_cast<size_t>(table->column_count);
  std::vector<QuillValue*> fresh(columns, nullptr);
  int rc = 0;
  for (size_t c = 0; c < columns && rc == 0; ++c) {
    if (!current.values[c] || exec_is_long_type(table->columns[c].sql_type)) continue;
    fresh[c] = exec_make_slot(stmt->pool, &table->columns[c]);
    if (!fresh[c]) rc = post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  }
  bool refreshed = false;
  if (rc == 0) rc = exec_update_row(exec, current, values.data(), count, fresh.data(), &refreshed);
  if (rc >= 0 && refreshed) {
    std::vector<const QuillValue*> row(sources.size(), nullptr);
    for (size_t i = 0; i < sources.size(); ++i) {
      if (sources[i].table != table) continue;
      size_t c = static_cast<size_t>(sources[i].column);
      row[i] = fresh[c] ? fresh[c] : (values[c].changed ? values[c].value : nullptr);
    }
    if (cursor_replace_row(layer, row.data()) != SQL_SUCCESS) rc = -1;
  }
  for (QuillValue* value : fresh)
    if (value) release_value(stmt->pool, value);
  return rc;
}

// Applies `operation` to rowset row `row` for one table: 0/1 with *count, -1 after posting.
int apply_to_table(QuillStmt* stmt, ExecStatement* exec, CursorLayer* layer, TableEntry* table,
                   const std::vector<ColumnSource>& sources, SQLULEN row, SQLUSMALLINT operation,
                   long long* count) {
  size_t columns = static_cast<size_t>(table->column_count);
  std::vector<const QuillValue*> image(columns, nullptr);
  if (operation != SQL_ADD)
    for (size_t i = 0; i < sources.size(); ++i)
      if (sources[i].table == table)
        image[static_cast<size_t>(sources[i].column)] = cursor_column(layer, static_cast<int>(i));
  ModifyRow current{table, image.data(), nullptr, nullptr, true};
  if (operation == SQL_DELETE) return exec_delete_row(exec, current, count);

  std::vector<DalColumnValue> values(columns);
  for (size_t c = 0; c < columns; ++c)
    values[c] = DalColumnValue{&table->columns[c], static_cast<int32_t>(c + 1), nullptr, 0};
  int rc = 0;
  bool any = false;
  for (size_t i = 0; i < sources.size() && rc == 0; ++i) {
    if (sources[i].table != table) continue;
    DalColumnValue& entry = values[static_cast<size_t>(sources[i].column)];
    QuillValue* given = nullptr;
    int bound = bound_value(stmt, static_cast<int>(i), row, entry.column, &given);
    if (bound < 0) rc = -1;
    if (bound <= 0) continue;
    QuillValue* converted = exec_value_for_column(exec, given, entry.column);
    release_value(stmt->pool, given);
    if (!converted) {
      rc = -1;
      continue;
    }
    if (entry.value) release_value(entry.value->pool, entry.value);
    entry.value = converted;
    entry.changed = 1;
    any = true;
  }
  if (rc == 0 && operation == SQL_UPDATE) {
    // Columns without a bound value keep the row's current value.
    for (size_t c = 0; c < columns && rc == 0; ++c) {
      if (values[c].value || !image[c]) continue;
      values[c].value = duplicate_value(stmt->pool, image[c]);
      if (values[c].value) continue;
      post_call_error(stmt->errors, "HY001", MSG_MEMORY);
      rc = -1;
    }
    if (rc == 0 && any) rc = update_and_refresh(stmt, exec, layer, current, sources, values, count);
  } else if (rc == 0) {
    rc = any ? exec_insert_row(exec, table, values.data(), count) : 0;
  }
  release_entries(values);
  return rc;
}

SQLUSMALLINT done_status(SQLUSMALLINT operation) {
  switch (operation) {
    case SQL_DELETE:
      return SQL_ROW_DELETED;
    case SQL_ADD:
      return SQL_ROW_ADDED;
    default:
      return SQL_ROW_UPDATED;
  }
}

}  // namespace

SQLRETURN stmt_set_pos_rows(QuillStmt* stmt, SQLSETPOSIROW row, SQLUSMALLINT operation) {
  if (stmt->attrs.concurrency == SQL_CONCUR_READ_ONLY)
    return post_call_error(stmt->errors, "HY092", MSG_OPTION_RANGE);
  auto* layer = stmt->cursor;
  auto* exec = stmt->exec;
  const QueryPlan* query = running_query(stmt);
  if (!layer || !exec || !query)
    return post_call_error(stmt->errors, "24000", MSG_INVALID_CURSOR_STATE);
  std::vector<ColumnSource> sources;
  if (!column_sources(query, &sources)) {
    SetReturnCode(stmt->errors, -1);
    PostError(stmt->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "21S02", "%s",
              "Degree of derived table does not match column list");
    return SQL_ERROR;
  }
  std::vector<TableEntry*> tables;
  for (const ColumnSource& source : sources) {
    bool seen = false;
    for (TableEntry* table : tables) seen = seen || table == source.table;
    if (!seen) tables.push_back(source.table);
  }
  SQLULEN rowset = operation == SQL_ADD ? (stmt->ard->array_size < 1 ? 1 : stmt->ard->array_size)
                                        : cursor_rowset_rows(layer);
  SQLULEN first = row == 0 ? 0 : row - 1;
  SQLULEN end = row == 0 ? rowset : row;
  const SQLUSMALLINT* operations = stmt->ard->array_status_ptr;
  SQLUSMALLINT* statuses = stmt->ird->array_status_ptr;
  long long affected = 0;
  int tried = 0, failed = 0;
  for (SQLULEN r = first; r < end; ++r) {
    if (operations && operations[r] == SQL_ROW_IGNORE) continue;
    ++tried;
    int rc = 0;
    if (operation != SQL_ADD && cursor_position(layer, r) != SQL_SUCCESS) rc = -1;
    for (size_t t = 0; t < tables.size() && rc >= 0; ++t) {
      long long count = 0;
      rc = apply_to_table(stmt, exec, layer, tables[t], sources, r, operation, &count);
      affected += count;
    }
    if (rc < 0) ++failed;
    if (statuses) statuses[r] = rc < 0 ? SQL_ROW_ERROR : done_status(operation);
  }
  stmt->row_count = static_cast<SQLLEN>(affected);
  if (operation != SQL_ADD && rowset > 0) cursor_position(layer, first);
  if (tried > 0 && failed == tried) return SQL_ERROR;
  return failed > 0 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}
