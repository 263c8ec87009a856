// SQLFetchScroll: a rowset chosen by orientation and offset.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"

static const char* const kUnit = "fetchscroll";

namespace {

SQLRETURN fetch_scroll_now(QuillStmt* stmt, SQLSMALLINT orientation, SQLLEN offset) {
  return stmt_fetch(stmt, SQL_API_SQLFETCHSCROLL, orientation, offset, stmt->ard->array_size,
                    stmt->ird->array_status_ptr, stmt->ird->rows_processed_ptr);
}

SQLRETURN fetch_scroll_work(QuillStmt* stmt) {
  return fetch_scroll_now(stmt, stmt->async_scroll_orientation, stmt->async_scroll_offset);
}

SQLRETURN fetch_scroll_entry(SQLHSTMT handle, SQLSMALLINT orientation, SQLLEN offset) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  bool handled = false;
  SQLRETURN rc = stmt_async_poll(stmt, SQL_API_SQLFETCHSCROLL, &handled);
  if (handled) return rc;
  SetupErrorHeader(stmt->errors, 0);
  if (stmt_check(stmt, SQL_API_SQLFETCHSCROLL, 0) != SQL_SUCCESS) return SQL_ERROR;
  if (stmt->attrs.async_enable == SQL_ASYNC_ENABLE_ON) {
    stmt->async_scroll_orientation = orientation;
    stmt->async_scroll_offset = offset;
  }
  rc = stmt_async_start(stmt, SQL_API_SQLFETCHSCROLL, fetch_scroll_work, &handled);
  if (handled) return rc;
  return fetch_scroll_now(stmt, orientation, offset);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLFetchScroll(SQLHSTMT handle, SQLSMALLINT orientation, SQLLEN offset) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLFetchScroll( %h, %d, %d )", handle,
            static_cast<int>(orientation), static_cast<int>(offset));
  return TRACE_RETURN(kUnit, "SQLFetchScroll() returns %e",
                      fetch_scroll_entry(handle, orientation, offset));
}
