// SQLPutData: one piece of the value of a data-at-execution parameter.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/statement/stmt_exec.h"

static const char* const kUnit = "putdata";

namespace {

SQLRETURN put_data_entry(SQLHSTMT handle, SQLPOINTER data, SQLLEN length) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return stmt_put_data(stmt, data, length);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLPutData(SQLHSTMT handle, SQLPOINTER data, SQLLEN length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLPutData( %h, %p, %d )", handle, data,
            static_cast<int>(length));
  return TRACE_RETURN(kUnit, "SQLPutData() returns %e", put_data_entry(handle, data, length));
}
