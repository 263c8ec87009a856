// SQLNumResultCols: the number of result columns of the current statement.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "numresultcols";

namespace {

SQLRETURN num_result_cols_entry(SQLHSTMT handle, SQLSMALLINT* count) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  if (stmt_check(stmt, SQL_API_SQLNUMRESULTCOLS, 0) != SQL_SUCCESS) return SQL_ERROR;
  if (!count) return post_call_error(stmt->errors, "HY009", MSG_NULL_POINTER);
  *count = static_cast<SQLSMALLINT>(stmt->result_columns);
  return SQL_SUCCESS;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLNumResultCols(SQLHSTMT handle, SQLSMALLINT* count) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLNumResultCols( %h, %p )", handle, static_cast<void*>(count));
  return TRACE_RETURN(kUnit, "SQLNumResultCols() returns %e", num_result_cols_entry(handle, count));
}
