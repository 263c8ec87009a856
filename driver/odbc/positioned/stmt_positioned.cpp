// The call layer's answers to the engine's positioned-operation and replication hooks: the
// statement holding a named cursor, the query it runs and the values of its current row
// (from the cursor layer), and the replication entries kept in the connection.
#include "driver/odbc/positioned/stmt_positioned.h"

#include "driver/odbc/cursor/cursor_layer.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"
#include "driver/sql/exec_modify.h"
#include "support/cursor_names.h"

namespace {

// The query plan the statement's cursor runs (its first query statement), or null.
const QueryPlan* cursor_query(const QuillStmt* stmt) {
  auto* list = stmt->plan_list;
  for (ListNode* at = list ? list->entries : nullptr; at; at = at->next) {
    auto* entry = static_cast<const StatementEntry*>(at->data);
    if (entry->plan && entry->plan->kind == PLAN_QUERY) return node_cast<QueryPlan>(entry->plan);
  }
  return nullptr;
}

const QuillValue* current_column(void* context, int column) {
  return cursor_column(static_cast<CursorLayer*>(context), column);
}

int replace_row(void* context, const QuillValue* const* values) {
  return cursor_replace_row(static_cast<CursorLayer*>(context), values) == SQL_SUCCESS ? 0 : -1;
}

int cursor_row(void* connection, const char* name, ExecCursorRow* out) {
  auto* stmt = static_cast<QuillStmt*>(connection ? get_stmt_by_cursor(connection, name) : nullptr);
  if (!stmt || !valid_stmt(stmt)) return -1;
  // A cursor another thread is moving has no row to change.
  if (stmt->gate->users.load() > 0) return -2;
  auto* layer = stmt->cursor;
  if ((stmt->state != S6_FETCHED && stmt->state != S7_EXTENDED_FETCHED) || !layer || !stmt->exec)
    return -2;
  if (cursor_row_number(layer) == 0) return -2;
  const QueryPlan* query = cursor_query(stmt);
  if (!query) return -1;
  out->statement = stmt->exec;
  out->query = query;
  out->column_count = query->item_count;
  out->column = current_column;
  out->context = layer;
  out->engine_row_current = cursor_kind(layer) == CURSOR_FORWARD_ONLY;
  out->replace = replace_row;
  return 0;
}

const ReplicationList* connection_replication(void* connection) {
  auto* dbc = static_cast<QuillDbc*>(connection);
  return dbc && valid_dbc(dbc) ? dbc->replication_entries : nullptr;
}

const ExecCallLayerHooks kHooks{cursor_row, connection_replication};

}  // namespace

void stmt_positioned_install() {
  exec_install_call_layer(&kHooks);
}
