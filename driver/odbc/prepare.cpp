// SQLPrepare and SQLPrepareW: parse and validate a statement text for later execution.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"
#include "driver/odbc/wide_out.h"

static const char* const kUnit = "prepare";

namespace {

SQLRETURN prepare_entry(SQLHSTMT handle, const char* text, SQLINTEGER length) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return stmt_prepare(stmt, text, length, SQL_API_SQLPREPARE);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLPrepare(SQLHSTMT handle, SQLCHAR* text, SQLINTEGER length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLPrepare( %h, %S, %d )", handle,
            reinterpret_cast<const char*>(text), static_cast<int>(length));
  return TRACE_RETURN(kUnit, "SQLPrepare() returns %e",
                      prepare_entry(handle, reinterpret_cast<const char*>(text), length));
}

QUILL_EXPORT SQLRETURN SQLPrepareW(SQLHSTMT handle, SQLWCHAR* text, SQLINTEGER length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLPrepareW( %h, %p, %d )", handle, static_cast<void*>(text),
            static_cast<int>(length));
  if (length < 0 && length != SQL_NTS && text)
    return TRACE_RETURN(kUnit, "SQLPrepareW() returns %e", prepare_entry(handle, "", length));
  NarrowArg narrow(text, length);
  return TRACE_RETURN(kUnit, "SQLPrepareW() returns %e",
                      prepare_entry(handle, narrow.c_str(),
                                    text ? static_cast<SQLINTEGER>(narrow.text.size()) : 0));
}
