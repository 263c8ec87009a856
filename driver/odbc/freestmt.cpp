// SQLFreeStmt: close the cursor, drop the statement, unbind columns or reset parameters.
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "freestmt";

static SQLRETURN free_stmt_option(QuillStmt* stmt, SQLUSMALLINT option) {
  if (option == SQL_DROP) return odbc_free_handle(SQL_HANDLE_STMT, stmt);
  SetupErrorHeader(stmt->errors, 0);
  if (stmt_check(stmt, SQL_API_SQLFREESTMT, option) != SQL_SUCCESS) return SQL_ERROR;
  SQLRETURN rc;
  switch (option) {
    case SQL_CLOSE:
      close_cursor(stmt);
      rc = SQL_SUCCESS;
      break;
    case SQL_UNBIND:
      rc = reset_desc(stmt->ard) ? SQL_SUCCESS : post_call_error(stmt->errors, "HY001", MSG_MEMORY);
      break;
    case SQL_RESET_PARAMS:
      rc = reset_desc(stmt->apd) ? SQL_SUCCESS : post_call_error(stmt->errors, "HY001", MSG_MEMORY);
      break;
    default:
      rc = post_call_error(stmt->errors, "HY092", MSG_OPTION_RANGE);
      break;
  }
  stmt_apply(stmt, SQL_API_SQLFREESTMT, option, rc);
  return rc;
}

QUILL_EXPORT SQLRETURN SQLFreeStmt(SQLHSTMT handle, SQLUSMALLINT option) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLFreeStmt( %h, %u )", handle, static_cast<int>(option));
  if (!valid_stmt(handle))
    return TRACE_RETURN(kUnit, "SQLFreeStmt() returns %e", SQL_INVALID_HANDLE);
  return TRACE_RETURN(kUnit, "SQLFreeStmt() returns %e",
                      free_stmt_option(static_cast<QuillStmt*>(handle), option));
}
