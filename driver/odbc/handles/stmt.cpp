// Allocation and release of statements with their implicit descriptors.
#include <mutex>

#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/cursor/cursor_layer.h"
#include "driver/odbc/catalog/catalog_result.h"
#include "driver/odbc/params/param_values.h"
#include "driver/odbc/positioned/replication.h"
#include "driver/odbc/statement/stmt_exec.h"
#include "driver/sql/exec.h"
#include "support/cursor_names.h"

namespace {

bool make_implicit_descriptors(QuillStmt* stmt) {
  QuillDbc* dbc = stmt->dbc;
  stmt->implicit_ard = make_desc(dbc, stmt, DESC_ARD, true);
  stmt->implicit_apd = make_desc(dbc, stmt, DESC_APD, true);
  stmt->implicit_ird = make_desc(dbc, stmt, DESC_IRD, true);
  stmt->implicit_ipd = make_desc(dbc, stmt, DESC_IPD, true);
  if (!stmt->implicit_ard || !stmt->implicit_apd || !stmt->implicit_ird || !stmt->implicit_ipd)
    return false;
  stmt->ard = stmt->implicit_ard;
  stmt->apd = stmt->implicit_apd;
  stmt->ird = stmt->implicit_ird;
  stmt->ipd = stmt->implicit_ipd;
  return reset_desc(stmt->ard) && reset_desc(stmt->apd) && reset_desc(stmt->ipd);
}

// Under the connection's members lock.
void unlink_statement(QuillDbc* dbc, QuillStmt* stmt) {
  for (QuillStmt** link = &dbc->statements; *link; link = &(*link)->next) {
    if (*link == stmt) {
      *link = stmt->next;
      return;
    }
  }
}

}  // namespace

void close_cursor(QuillStmt* stmt) {
  cursor_close(stmt->cursor);
  stmt->cursor = nullptr;
  if (stmt->exec) exec_close(stmt->exec);
  catalog_release(stmt);
  stmt->cursor_open = false;
  stmt->getdata_started = nullptr;  // lived in the tree pool with the layer's arrays
  param_values_release(stmt);
}

SQLRETURN alloc_stmt(QuillDbc* dbc, SQLHANDLE* out) {
  if (!out) return post_call_error(dbc->errors, "HY009", MSG_NULL_POINTER);
  *out = SQL_NULL_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(newNode(sizeof(QuillStmt), TAG_STMT, dbc->pool));
  MemPool* pool = stmt ? quill_mem_alloc_handle(dbc->pool) : nullptr;
  ErrorHeader* errors = pool ? CreateErrorHeader(pool, stmt) : nullptr;
  HandleGate* gate = errors ? gate_create() : nullptr;
  if (!gate) {
    quill_mem_release_handle(pool);
    quill_mem_free(dbc->pool, stmt);
    return post_call_error(dbc->errors, "HY001", MSG_MEMORY);
  }
  stmt->pool = pool;
  stmt->gate = gate;
  stmt->dbc = dbc;
  stmt->errors = errors;
  stmt->attrs = dbc->template_stmt->attrs;
  if (!make_implicit_descriptors(stmt)) {
    gate_release(gate);
    quill_mem_release_handle(pool);
    quill_mem_free(dbc->pool, stmt);
    return post_call_error(dbc->errors, "HY001", MSG_MEMORY);
  }
  stmt_attributes_seed_descriptors(stmt);
  stmt->state = S1_ALLOCATED;
  {
    std::lock_guard<std::mutex> guard(dbc->gate->members);
    dbc_apply_alloc_stmt(dbc);
    stmt->next = dbc->statements;
    dbc->statements = stmt;
  }
  if (!replication_at_statement_allocation(dbc)) return free_stmt(stmt), SQL_ERROR;
  *out = stmt;
  return SQL_SUCCESS;
}

SQLRETURN free_stmt(QuillStmt* stmt) {
  QuillDbc* dbc = stmt->dbc;
  stmt_async_stop(stmt);
  stmt_release_text(stmt);
  // Explicit descriptors in use stay with the application; the implicit ones go.
  release_desc(stmt->implicit_ard);
  release_desc(stmt->implicit_apd);
  release_desc(stmt->implicit_ird);
  release_desc(stmt->implicit_ipd);
  if (stmt->cursor_name_registered) remove_cursor_name(stmt, get_cursor_name(stmt));
  quill_mem_release_handle(stmt->tree_pool);
  FreeErrorHeader(stmt->errors);
  {
    std::lock_guard<std::mutex> guard(dbc->gate->members);
    unlink_statement(dbc, stmt);
    dbc_apply_free_stmt(dbc);
  }
  stmt->tag = 0;
  gate_release(stmt->gate);
  quill_mem_release_handle(stmt->pool);
  quill_mem_free(dbc->pool, stmt);
  return SQL_SUCCESS;
}

ErrorHeader* error_header_of(SQLSMALLINT handle_type, SQLHANDLE handle) {
  switch (handle_type) {
    case SQL_HANDLE_ENV:
      return valid_env(handle) ? static_cast<QuillEnv*>(handle)->errors : nullptr;
    case SQL_HANDLE_DBC:
      return valid_dbc(handle) ? static_cast<QuillDbc*>(handle)->errors : nullptr;
    case SQL_HANDLE_STMT:
      return valid_stmt(handle) ? static_cast<QuillStmt*>(handle)->errors : nullptr;
    case SQL_HANDLE_DESC:
      return valid_desc(handle) ? static_cast<QuillDesc*>(handle)->errors : nullptr;
    default:
      return nullptr;
  }
}
