// SQLGetCursorName and SQLGetCursorNameW: the statement's cursor name.
#include <string>

#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/statement/stmt_names.h"
#include "driver/odbc/wide_out.h"
#include "support/strbuf.h"

static const char* const kUnit = "getcursorname";

namespace {

SQLRETURN get_cursor_name_entry(SQLHSTMT handle, SQLCHAR* out, SQLSMALLINT size,
                                SQLSMALLINT* length) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  if (size < 0) return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
  std::string name;
  if (stmt_get_cursor_name(stmt, &name) != SQL_SUCCESS) return SQL_ERROR;
  if (copy_str_buffer(out, size, length, name.c_str()) != 0)
    return post_call_warning(stmt->errors, "01004", MSG_TRUNCATED);
  return SQL_SUCCESS;
}

SQLRETURN get_cursor_name_wide_entry(SQLHSTMT handle, SQLWCHAR* out, SQLSMALLINT size,
                                     SQLSMALLINT* length) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  if (size < 0) return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
  std::string name;
  if (stmt_get_cursor_name(stmt, &name) != SQL_SUCCESS) return SQL_ERROR;
  return widen_out_string(stmt->errors, SQL_SUCCESS, name, out, size, length);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLGetCursorName(SQLHSTMT handle, SQLCHAR* out, SQLSMALLINT size,
                                        SQLSMALLINT* length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetCursorName( %h, %p, %d, %p )", handle,
            static_cast<void*>(out), static_cast<int>(size), static_cast<void*>(length));
  return TRACE_RETURN(kUnit, "SQLGetCursorName() returns %e",
                      get_cursor_name_entry(handle, out, size, length));
}

QUILL_EXPORT SQLRETURN SQLGetCursorNameW(SQLHSTMT handle, SQLWCHAR* out, SQLSMALLINT size,
                                         SQLSMALLINT* length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetCursorNameW( %h, %p, %d, %p )", handle,
            static_cast<void*>(out), static_cast<int>(size), static_cast<void*>(length));
  return TRACE_RETURN(kUnit, "SQLGetCursorNameW() returns %e",
                      get_cursor_name_wide_entry(handle, out, size, length));
}
