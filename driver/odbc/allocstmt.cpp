// SQLAllocStmt: ODBC 2 statement allocation.
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "allocstmt";

QUILL_EXPORT SQLRETURN SQLAllocStmt(SQLHDBC dbc, SQLHSTMT* output) {
  HandleCall call(SQL_HANDLE_DBC, dbc);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLAllocStmt( %h, %p )", dbc, static_cast<void*>(output));
  SQLRETURN rc = odbc_alloc_handle(SQL_HANDLE_STMT, dbc, output);
  return trace_return_with(kUnit, __LINE__, "SQLAllocStmt() returns %e, OutputHandlePtr = %*h", rc,
                           output);
}
