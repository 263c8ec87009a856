// SQLParamData: the next parameter needing data at execution, or the execution itself.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/statement/stmt_exec.h"

static const char* const kUnit = "paramdata";

namespace {

SQLRETURN param_data_entry(SQLHSTMT handle, SQLPOINTER* token) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return stmt_param_data(stmt, token);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLParamData(SQLHSTMT handle, SQLPOINTER* token) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLParamData( %h, %p )", handle, static_cast<void*>(token));
  return TRACE_RETURN(kUnit, "SQLParamData() returns %e", param_data_entry(handle, token));
}
