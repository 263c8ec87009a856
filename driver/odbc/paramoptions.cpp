// SQLParamOptions: the ODBC 2 way of giving a parameter-set size and the
// rows-processed counter.
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "paramoptions";

namespace {

SQLRETURN param_options_entry(SQLHSTMT handle, SQLULEN rows, SQLULEN* rows_processed) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  if (stmt_check(stmt, SQL_API_SQLPARAMOPTIONS, 0) != SQL_SUCCESS) return SQL_ERROR;
  SQLRETURN rc = set_stmt_attr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(rows), 0);
  if (SQL_SUCCEEDED(rc)) {
    SQLRETURN second = set_stmt_attr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, rows_processed, 0);
    if (second != SQL_SUCCESS) rc = second;
  }
  return rc;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLParamOptions(SQLHSTMT handle, SQLULEN rows, SQLULEN* rows_processed) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLParamOptions( %h, %U, %p )", handle, rows,
            static_cast<void*>(rows_processed));
  return TRACE_RETURN(kUnit, "SQLParamOptions() returns %e",
                      param_options_entry(handle, rows, rows_processed));
}
