// SQLExecute: run the prepared statement.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"

static const char* const kUnit = "execute";

namespace {

SQLRETURN execute_work(QuillStmt* stmt) {
  return stmt_execute(stmt, SQL_API_SQLEXECUTE);
}

SQLRETURN execute_entry(SQLHSTMT handle) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  bool handled = false;
  SQLRETURN rc = stmt_async_poll(stmt, SQL_API_SQLEXECUTE, &handled);
  if (handled) return rc;
  SetupErrorHeader(stmt->errors, 0);
  if (stmt_check(stmt, SQL_API_SQLEXECUTE, 0) != SQL_SUCCESS) return SQL_ERROR;
  rc = stmt_async_start(stmt, SQL_API_SQLEXECUTE, execute_work, &handled);
  if (handled) return rc;
  return execute_work(stmt);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLExecute(SQLHSTMT handle) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLExecute( %h )", handle);
  return TRACE_RETURN(kUnit, "SQLExecute() returns %e", execute_entry(handle));
}
