// SQLGetStmtOption: the ODBC 2 form of SQLGetStmtAttr, plus SQL_GET_BOOKMARK,
// which reads the current row's bookmark as SQLGetData column 0 would.
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "getstmtoption";

// SQLGetData without its trace lines. Referenced weakly so that this unit links on its own;
// the data-retrieval unit supplies it.
SQLRETURN odbc_get_data(SQLHSTMT stmt, SQLUSMALLINT column, SQLSMALLINT target_type,
                        SQLPOINTER target, SQLLEN buffer_length, SQLLEN* indicator)
    __attribute__((weak, visibility("hidden")));

namespace {

SQLRETURN get_bookmark(QuillStmt* stmt, SQLPOINTER value) {
  if (stmt->state != S6_FETCHED && stmt->state != S7_EXTENDED_FETCHED)
    return post_call_error(stmt->errors, "24000", MSG_INVALID_CURSOR_STATE);
  if (!odbc_get_data) return post_call_error(stmt->errors, "HYC00", MSG_NOT_IMPLEMENTED);
  return odbc_get_data(stmt, 0, SQL_C_SLONG, value, sizeof(SQLINTEGER), nullptr);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLGetStmtOption(SQLHSTMT handle, SQLUSMALLINT option, SQLPOINTER value) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetStmtOption( %h, %u, %p )", handle,
            static_cast<int>(option), value);
  if (!valid_stmt(handle))
    return TRACE_RETURN(kUnit, "SQLGetStmtOption() returns %e", SQL_INVALID_HANDLE);
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  SQLRETURN rc = option == SQL_GET_BOOKMARK ? get_bookmark(stmt, value)
                                            : get_stmt_attr(stmt, option, value, 0, nullptr);
  return TRACE_RETURN(kUnit, "SQLGetStmtOption() returns %e", rc);
}
