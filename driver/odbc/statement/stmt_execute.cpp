// Executing the current statement: the scan for parameters needing data, the
// run through the engine, the opening of the cursor layer over a query's rows,
// the next statement of a batch, and cancellation.
#include <atomic>
#include <cstdlib>

#include "driver/odbc/cursor/cursor_layer.h"
#include "driver/odbc/descriptors/desc_records.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/params/param_values.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_engine.h"
#include "driver/odbc/statement/stmt_exec.h"
#include "driver/sql/exec.h"
#include "driver/sql/exec_modify.h"

namespace {

ExecStatement* exec_of(QuillStmt* stmt) {
  return stmt->exec;
}

const StatementEntry* current_entry(const QuillStmt* stmt) {
  return stmt->current_entry ? static_cast<const StatementEntry*>(stmt->current_entry->data)
                             : nullptr;
}

bool current_is_query(const QuillStmt* stmt) {
  const StatementEntry* entry = current_entry(stmt);
  return entry && entry->plan && entry->plan->kind == PLAN_QUERY;
}

// Row source entries over the engine statement.
int source_fetch(void* context) {
  return exec_fetch(static_cast<ExecStatement*>(context));
}
const QuillValue* source_column(void* context, int column) {
  return exec_column_value(static_cast<ExecStatement*>(context), column);
}

// The cursor kind the statement attributes ask for; the cursor type is adjusted to what the
// kind delivers.
int choose_cursor_kind(QuillStmt* stmt, bool keys) {
  StmtAttributes& a = stmt->attrs;
  bool scrollable = a.cursor_scrollable == SQL_SCROLLABLE;
  bool keyset_or_dynamic =
      a.cursor_type == SQL_CURSOR_KEYSET_DRIVEN || a.cursor_type == SQL_CURSOR_DYNAMIC;
  if (keys && scrollable && keyset_or_dynamic) {
    a.cursor_type = SQL_CURSOR_KEYSET_DRIVEN;
    return CURSOR_KEYSET;
  }
  if (scrollable && a.cursor_type != SQL_CURSOR_FORWARD_ONLY) {
    a.cursor_type = SQL_CURSOR_STATIC;
    return keys && keyset_or_dynamic ? CURSOR_KEYSET : CURSOR_STATIC;
  }
  if (a.cursor_type != SQL_CURSOR_FORWARD_ONLY) {
    a.cursor_type = keys ? SQL_CURSOR_KEYSET_DRIVEN : SQL_CURSOR_STATIC;
    return keys ? CURSOR_KEYSET : CURSOR_STATIC;
  }
  return CURSOR_FORWARD_ONLY;
}

// Opens the cursor layer over the query the engine just opened. false after posting.
bool open_cursor_layer(QuillStmt* stmt) {
  const StatementEntry* entry = current_entry(stmt);
  const auto* query = node_cast<QueryPlan>(entry->plan);
  int count = query->item_count;
  auto* types = static_cast<int*>(quill_mem_alloc(stmt->tree_pool, sizeof(int) * (count + 1)));
  auto* lengths =
      static_cast<int32_t*>(quill_mem_alloc(stmt->tree_pool, sizeof(int32_t) * (count + 1)));
  if (!types || !lengths) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return false;
  }
  for (int i = 0; i < count; ++i) {
    types[i] = query->items[i].sql_type;
    int64_t size = query->items[i].description.column_size;
    lengths[i] = size < 0 || size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
  }
  CursorSource source{exec_of(stmt), source_fetch, source_column, count, types, lengths};
  if (const char* size = get_attribute_value(&stmt->dbc->attributes, "work_dir_size"))
    cursor_note_cache_size(std::atol(size));
  CursorOptions options{};
  options.kind = choose_cursor_kind(stmt, query->keyset_possible != 0);
  options.max_rows = stmt->attrs.max_rows;
  options.work_dir = stmt->dbc->schema_fileset;
  options.cache_slots = cursor_cache_size();
  auto* layer = cursor_open(stmt->errors, stmt->tree_pool, options, source);
  if (!layer) return false;
  stmt->cursor = layer;
  stmt->cursor_open = true;
  return true;
}

// Applies the state after an execution of `function` that returned `rc`.
void apply_execution_state(QuillStmt* stmt, int function, SQLRETURN rc) {
  // SQL_NO_DATA (a searched change that found no row) executed the statement as well.
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO || rc == SQL_NO_DATA) {
    stmt->state = stmt->result_columns > 0 ? S5_CURSOR_OPEN : S4_EXECUTED;
  } else if (rc == SQL_NEED_DATA) {
    stmt->state = S8_NEED_DATA;
  } else if (function == SQL_API_SQLEXECDIRECT) {
    stmt->state = S1_ALLOCATED;
  } else {
    stmt->state = stmt->result_columns > 0 ? S3_PREPARED_RESULTS : S2_PREPARED;
  }
}

}  // namespace

SQLRETURN sql_return_of(int exec_result) {
  switch (exec_result) {
    case EXEC_OK:
      return SQL_SUCCESS;
    case EXEC_WARNING:
      return SQL_SUCCESS_WITH_INFO;
    case EXEC_NO_DATA:
      return SQL_NO_DATA;
    default:
      return SQL_ERROR;
  }
}

int stmt_run_current(QuillStmt* stmt) {
  ExecStatement* exec = exec_of(stmt);
  if (!exec) return EXEC_ERROR;
  SQLULEN sets = stmt->apd->array_size < 1 ? 1 : stmt->apd->array_size;
  // The cancel flag was cleared as the call entered (or as the asynchronous work was posted),
  // so that a cancel from another thread arriving from then on is seen.
  exec_set_context(exec, stmt_engine_context(stmt));
  // Sets that fail to load are left out (their status becomes SQL_PARAM_ERROR afterwards).
  ParamLoad load;
  load.operations = stmt->apd->array_status_ptr;
  if (stmt->parameter_count > 0 && !param_values_load(stmt, sets, &load)) return EXEC_ERROR;
  exec_set_parameters(exec, load.values, stmt->parameter_count, sets, load.operations,
                      stmt->ipd->array_status_ptr, stmt->ipd->rows_processed_ptr);
  int rc = param_values_report(stmt, load, exec_statement(exec));
  if (rc < 0) return EXEC_ERROR;
  if (current_is_query(stmt)) {
    stmt->row_count = -1;
    if (!open_cursor_layer(stmt)) return EXEC_ERROR;
  } else {
    stmt->row_count = static_cast<SQLLEN>(exec_row_count(exec));
  }
  return rc;
}

SQLRETURN stmt_execute(QuillStmt* stmt, int function) {
  if (function == SQL_API_SQLEXECUTE && stmt_check(stmt, function, 0) != SQL_SUCCESS)
    return SQL_ERROR;
  close_cursor(stmt);
  param_values_release(stmt);
  int missing = param_values_next_needing_data(stmt, 0);
  if (missing < 0) {
    apply_execution_state(stmt, function, SQL_ERROR);
    return SQL_ERROR;
  }
  if (missing > 0) {
    stmt->need_data_function = function;
    stmt->need_data_saved_state = stmt->state;
    stmt->data_parameter = 0;
    apply_execution_state(stmt, function, SQL_NEED_DATA);
    return SQL_NEED_DATA;
  }
  stmt->row_count = 0;
  SQLRETURN result = sql_return_of(stmt_run_current(stmt));
  if (result == SQL_ERROR) close_cursor(stmt);
  apply_execution_state(stmt, function, result);
  if (result == SQL_ERROR && function == SQL_API_SQLEXECDIRECT) stmt_release_text(stmt);
  return result;
}

SQLRETURN stmt_more_results(QuillStmt* stmt) {
  if (stmt_check(stmt, SQL_API_SQLMORERESULTS, 0) != SQL_SUCCESS) return SQL_ERROR;
  ListNode* next = stmt->current_entry ? stmt->current_entry->next : nullptr;
  if (!next || stmt->state < S4_EXECUTED) {
    if (stmt->state >= S4_EXECUTED) {
      close_cursor(stmt);
      if (stmt->prepared)
        stmt->state = stmt->result_columns > 0 ? S3_PREPARED_RESULTS : S2_PREPARED;
      else
        stmt->state = S1_ALLOCATED;
    }
    return SQL_NO_DATA;
  }
  close_cursor(stmt);
  if (!stmt_load_entry(stmt, next)) return SQL_ERROR;
  int rc = stmt_run_current(stmt);
  if (rc < 0) {
    close_cursor(stmt);
    return SQL_ERROR;
  }
  stmt->state = stmt->result_columns > 0 ? S5_CURSOR_OPEN : S4_EXECUTED;
  return rc == EXEC_WARNING ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN stmt_cancel(QuillStmt* stmt) {
  // A call running on another thread had its flag raised by SQLCancel's entry.
  if (stmt_executing_async(stmt)) {
    std::atomic_ref<int>(stmt->cancel_requested).store(1);
    return SQL_SUCCESS;
  }
  if (stmt->state >= S8_NEED_DATA && stmt->state <= S10_CAN_PUT) {
    param_values_release(stmt);
    switch (stmt->need_data_function) {
      case SQL_API_SQLEXECDIRECT:
        close_cursor(stmt);
        stmt_release_text(stmt);
        stmt->state = S1_ALLOCATED;
        break;
      case SQL_API_SQLEXECUTE:
        close_cursor(stmt);
        stmt->state = stmt->result_columns > 0 ? S3_PREPARED_RESULTS : S2_PREPARED;
        break;
      default:
        stmt->state = stmt->need_data_saved_state;
        break;
    }
    stmt->data_parameter = 0;
  }
  return SQL_SUCCESS;
}
