// SQLBulkOperations: bulk additions, updates and deletions by bookmark are
// not provided.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"

static const char* const kUnit = "bulkoperations";

QUILL_EXPORT SQLRETURN SQLBulkOperations(SQLHSTMT handle, SQLSMALLINT operation) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLBulkOperations( %h, %i )", handle,
            static_cast<int>(operation));
  if (!valid_stmt(handle))
    return TRACE_RETURN(kUnit, "SQLBulkOperations() returns %e", SQL_INVALID_HANDLE);
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return TRACE_RETURN(kUnit, "SQLBulkOperations() returns %e",
                      post_call_error(stmt->errors, "HY000", MSG_GENERAL_ERROR,
                                      "SQLBulkOperations not implemented"));
}
