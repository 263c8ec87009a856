// SQLCloseCursor: close the open cursor and discard its pending results.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "closecursor";

namespace {

SQLRETURN close_cursor_entry(SQLHSTMT handle) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  if (stmt_check(stmt, SQL_API_SQLCLOSECURSOR, 0) != SQL_SUCCESS) return SQL_ERROR;
  close_cursor(stmt);
  stmt_apply(stmt, SQL_API_SQLCLOSECURSOR, 0, SQL_SUCCESS);
  return SQL_SUCCESS;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLCloseCursor(SQLHSTMT handle) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLCloseCursor( %h )", handle);
  return TRACE_RETURN(kUnit, "SQLCloseCursor() returns %e", close_cursor_entry(handle));
}
