// SQLMoreResults: move to the next statement of a batch.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/statement/stmt_exec.h"

static const char* const kUnit = "moreresults";

namespace {

SQLRETURN more_results_entry(SQLHSTMT handle) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return stmt_more_results(stmt);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLMoreResults(SQLHSTMT handle) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLMoreResults( %h )", handle);
  return TRACE_RETURN(kUnit, "SQLMoreResults() returns %e", more_results_entry(handle));
}
