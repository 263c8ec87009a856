// SQLCancel: stop an asynchronous execution or leave the data-at-execution dialogue.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/handles/stmt_exec.h"

static const char* const kUnit = "cancel";

namespace {

SQLRETURN cancel_entry(SQLHSTMT handle) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  // The worker owns the diagnostics while it runs: only the flag is touched then.
  if (!stmt_executing_async(stmt)) SetupErrorHeader(stmt->errors, 0);
  return stmt_cancel(stmt);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLCancel(SQLHSTMT handle) {
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLCancel( %h )", handle);
  return TRACE_RETURN(kUnit, "SQLCancel() returns %e", cancel_entry(handle));
}
