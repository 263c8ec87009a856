// SQLSetPos: position on, refresh, update, delete or add rows of the rowset.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"

static const char* const kUnit = "setpos";

namespace {

SQLRETURN set_pos_entry(SQLHSTMT handle, SQLSETPOSIROW row, SQLUSMALLINT operation,
                        SQLUSMALLINT lock) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return stmt_set_pos(stmt, row, operation, lock);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLSetPos(SQLHSTMT handle, SQLSETPOSIROW row, SQLUSMALLINT operation,
                                 SQLUSMALLINT lock) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetPos( %h, %d, %u, %u )", handle, static_cast<int>(row),
            static_cast<int>(operation), static_cast<int>(lock));
  return TRACE_RETURN(kUnit, "SQLSetPos() returns %e", set_pos_entry(handle, row, operation, lock));
}
