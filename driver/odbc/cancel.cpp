// SQLCancel: stop a call running on another thread or asynchronously, or leave
// the data-at-execution dialogue.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"

static const char* const kUnit = "cancel";

namespace {

SQLRETURN cancel_entry(SQLHSTMT handle, const CancelCall& call) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  // The thread inside owns the statement and its diagnostics: only its flag was raised.
  if (call.raised()) return SQL_SUCCESS;
  auto* stmt = static_cast<QuillStmt*>(handle);
  // The worker owns the diagnostics while it runs: only the flag is touched then.
  if (!stmt_executing_async(stmt)) SetupErrorHeader(stmt->errors, 0);
  return stmt_cancel(stmt);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLCancel(SQLHSTMT handle) {
  CancelCall call(handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLCancel( %h )", handle);
  return TRACE_RETURN(kUnit, "SQLCancel() returns %e", cancel_entry(handle, call));
}
