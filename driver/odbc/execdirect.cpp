// SQLExecDirect and SQLExecDirectW: prepare a statement text and execute it at once.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"
#include "driver/odbc/wide_out.h"

static const char* const kUnit = "execdirect";

namespace {

SQLRETURN execute_direct_work(QuillStmt* stmt) {
  return stmt_execute(stmt, SQL_API_SQLEXECDIRECT);
}

SQLRETURN exec_direct_entry(SQLHSTMT handle, const char* text, SQLINTEGER length) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  bool handled = false;
  SQLRETURN rc = stmt_async_poll(stmt, SQL_API_SQLEXECDIRECT, &handled);
  if (handled) return rc;
  SetupErrorHeader(stmt->errors, 0);
  rc = stmt_prepare(stmt, text, length, SQL_API_SQLEXECDIRECT);
  if (rc == SQL_ERROR) return rc;
  rc = stmt_async_start(stmt, SQL_API_SQLEXECDIRECT, execute_direct_work, &handled);
  if (handled) return rc;
  return execute_direct_work(stmt);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLExecDirect(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLExecDirect( %h, %S, %d )", handle,
            reinterpret_cast<const char*>(text), static_cast<int>(length));
  return TRACE_RETURN(kUnit, "SQLExecDirect() returns %e",
                      exec_direct_entry(handle, reinterpret_cast<const char*>(text), length));
}

QUILL_EXPORT SQLRETURN SQLExecDirectW(SQLHSTMT handle, SQLWCHAR* text, SQLINTEGER length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLExecDirectW( %h, %p, %d )", handle, static_cast<void*>(text),
            static_cast<int>(length));
  if (length < 0 && length != SQL_NTS && text)
    return TRACE_RETURN(kUnit, "SQLExecDirectW() returns %e",
                        exec_direct_entry(handle, "", length));
  NarrowArg narrow(text, length);
  return TRACE_RETURN(kUnit, "SQLExecDirectW() returns %e",
                      exec_direct_entry(handle, narrow.c_str(),
                                        text ? static_cast<SQLINTEGER>(narrow.text.size()) : 0));
}
