// SQLNumParams: the number of parameter markers of the prepared text.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "numparams";

namespace {

SQLRETURN num_params_entry(SQLHSTMT handle, SQLSMALLINT* count) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  if (stmt_check(stmt, SQL_API_SQLNUMPARAMS, 0) != SQL_SUCCESS) return SQL_ERROR;
  if (count) *count = static_cast<SQLSMALLINT>(stmt->parse ? stmt->parameter_count : 0);
  return SQL_SUCCESS;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLNumParams(SQLHSTMT handle, SQLSMALLINT* count) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLNumParams( %h, %p )", handle, static_cast<void*>(count));
  return TRACE_RETURN(kUnit, "SQLNumParams() returns %e", num_params_entry(handle, count));
}
