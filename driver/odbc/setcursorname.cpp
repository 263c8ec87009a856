// SQLSetCursorName and SQLSetCursorNameW: name a statement's cursor.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/statement/stmt_names.h"
#include "driver/odbc/wide_out.h"

static const char* const kUnit = "setcursorname";

namespace {

SQLRETURN set_cursor_name_entry(SQLHSTMT handle, const char* name, SQLSMALLINT length) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return stmt_set_cursor_name(stmt, name, length);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLSetCursorName(SQLHSTMT handle, SQLCHAR* name, SQLSMALLINT length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetCursorName( %h, %S, %d )", handle,
            reinterpret_cast<const char*>(name), static_cast<int>(length));
  return TRACE_RETURN(kUnit, "SQLSetCursorName() returns %e",
                      set_cursor_name_entry(handle, reinterpret_cast<const char*>(name), length));
}

QUILL_EXPORT SQLRETURN SQLSetCursorNameW(SQLHSTMT handle, SQLWCHAR* name, SQLSMALLINT length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetCursorNameW( %h, %p, %d )", handle,
            static_cast<void*>(name), static_cast<int>(length));
  if (name && length < 0 && length != SQL_NTS)
    return TRACE_RETURN(kUnit, "SQLSetCursorNameW() returns %e",
                        set_cursor_name_entry(handle, "", length));
  NarrowArg narrow(name, length);
  return TRACE_RETURN(kUnit, "SQLSetCursorNameW() returns %e",
                      set_cursor_name_entry(handle, narrow.c_str(), SQL_NTS));
}
