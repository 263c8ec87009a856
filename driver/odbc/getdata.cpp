// SQLGetData: one column of the current row, in pieces for long data.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"

static const char* const kUnit = "getdata";

namespace {

SQLRETURN get_data_entry(SQLHSTMT handle, SQLUSMALLINT column, SQLSMALLINT c_type,
                         SQLPOINTER buffer, SQLLEN length, SQLLEN* indicator) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return stmt_get_data(stmt, column, c_type, buffer, length, indicator);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLGetData(SQLHSTMT handle, SQLUSMALLINT column, SQLSMALLINT c_type,
                                  SQLPOINTER buffer, SQLLEN length, SQLLEN* indicator) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetData( %h, %u, %d, %p, %d, %p )", handle,
            static_cast<int>(column), static_cast<int>(c_type), buffer, static_cast<int>(length),
            static_cast<void*>(indicator));
  return TRACE_RETURN(kUnit, "SQLGetData() returns %e",
                      get_data_entry(handle, column, c_type, buffer, length, indicator));
}
