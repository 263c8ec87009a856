// SQLFetch: the next rowset of SQL_ATTR_ROW_ARRAY_SIZE rows into the bound columns.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"

static const char* const kUnit = "fetch";

namespace {

SQLRETURN fetch_work(QuillStmt* stmt) {
  return stmt_fetch(stmt, SQL_API_SQLFETCH, SQL_FETCH_NEXT, 0, stmt->ard->array_size,
                    stmt->ird->array_status_ptr, stmt->ird->rows_processed_ptr);
}

SQLRETURN fetch_entry(SQLHSTMT handle) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  bool handled = false;
  SQLRETURN rc = stmt_async_poll(stmt, SQL_API_SQLFETCH, &handled);
  if (handled) return rc;
  SetupErrorHeader(stmt->errors, 0);
  if (stmt_check(stmt, SQL_API_SQLFETCH, 0) != SQL_SUCCESS) return SQL_ERROR;
  rc = stmt_async_start(stmt, SQL_API_SQLFETCH, fetch_work, &handled);
  if (handled) return rc;
  return fetch_work(stmt);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLFetch(SQLHSTMT handle) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLFetch( %h )", handle);
  return TRACE_RETURN(kUnit, "SQLFetch() returns %e", fetch_entry(handle));
}
