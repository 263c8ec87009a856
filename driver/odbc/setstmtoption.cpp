// SQLSetStmtOption: the ODBC 2 form of SQLSetStmtAttr, option n being attribute n.
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "setstmtoption";

QUILL_EXPORT SQLRETURN SQLSetStmtOption(SQLHSTMT handle, SQLUSMALLINT option, SQLULEN value) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetStmtOption( %h, %u, %U )", handle,
            static_cast<int>(option), value);
  if (!valid_stmt(handle))
    return TRACE_RETURN(kUnit, "SQLSetStmtOption() returns %e", SQL_INVALID_HANDLE);
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return TRACE_RETURN(kUnit, "SQLSetStmtOption() returns %e",
                      set_stmt_attr(stmt, option, reinterpret_cast<SQLPOINTER>(value), 0));
}
