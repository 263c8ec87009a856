// SQLRowCount: rows affected by the current statement; -1 for a query.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "rowcount";

namespace {

SQLRETURN row_count_entry(SQLHSTMT handle, SQLLEN* count) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  if (stmt_check(stmt, SQL_API_SQLROWCOUNT, 0) != SQL_SUCCESS) return SQL_ERROR;
  if (count) *count = stmt->current_entry && stmt->result_columns == 0 ? stmt->row_count : -1;
  return SQL_SUCCESS;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLRowCount(SQLHSTMT handle, SQLLEN* count) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLRowCount( %h, %p )", handle, static_cast<void*>(count));
  return TRACE_RETURN(kUnit, "SQLRowCount() returns %e", row_count_entry(handle, count));
}
