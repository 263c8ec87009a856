// SQLExtendedFetch: the ODBC 2 scrolling fetch, with SQL_ROWSET_SIZE rows and the
// caller's own rows-fetched count and status array. Always runs in the caller's thread.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"

static const char* const kUnit = "extendedfetch";

namespace {

SQLRETURN extended_fetch_entry(SQLHSTMT handle, SQLUSMALLINT orientation, SQLLEN offset,
                               SQLULEN* rows_fetched, SQLUSMALLINT* row_status) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return stmt_fetch(stmt, SQL_API_SQLEXTENDEDFETCH, static_cast<SQLSMALLINT>(orientation), offset,
                    stmt->attrs.rowset_size, row_status, rows_fetched);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLExtendedFetch(SQLHSTMT handle, SQLUSMALLINT orientation, SQLLEN offset,
                                        SQLULEN* rows_fetched, SQLUSMALLINT* row_status) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLExtendedFetch( %h, %u, %d, %p, %p )", handle,
            static_cast<int>(orientation), static_cast<int>(offset),
            static_cast<void*>(rows_fetched), static_cast<void*>(row_status));
  return TRACE_RETURN(kUnit, "SQLExtendedFetch() returns %e",
                      extended_fetch_entry(handle, orientation, offset, rows_fetched, row_status));
}
