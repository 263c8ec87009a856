// SQLBindCol: binds (or, with neither buffer nor indicator, unbinds) one
// result column in the application row descriptor in use.
#include <climits>

#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "bindcol";

namespace {

SQLRETURN bind_column(QuillStmt* stmt, SQLUSMALLINT column, SQLSMALLINT type, SQLPOINTER buffer,
                      SQLLEN length, SQLLEN* indicator) {
  if (desc_check_stmt_state(stmt, SQL_API_SQLBINDCOL, 0) != SQL_SUCCESS) return SQL_ERROR;
  if ((column == 0 && stmt->attrs.use_bookmarks == SQL_UB_OFF) || column > SHRT_MAX)
    return post_call_error(stmt->errors, "07009", MSG_BAD_DESC_INDEX);
  if (buffer && length < 0) return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
  QuillDesc* ard = stmt->ard;
  DescRecord* record = desc_record(ard, column, true);
  if (!record) return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  desc_set_concise_type(record, type);
  record->data_ptr = buffer;
  record->octet_length = length;
  record->indicator_ptr = indicator;
  record->octet_length_ptr = indicator;
  desc_trim_count(ard);
  return SQL_SUCCESS;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLBindCol(SQLHSTMT handle, SQLUSMALLINT column, SQLSMALLINT type,
                                  SQLPOINTER buffer, SQLLEN length, SQLLEN* indicator) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLBindCol( %h, %u, %i, %p, %I, %p )", handle,
            static_cast<int>(column), static_cast<int>(type), buffer, length,
            static_cast<void*>(indicator));
  if (!valid_stmt(handle))
    return TRACE_RETURN(kUnit, "SQLBindCol() returns %e", SQL_INVALID_HANDLE);
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  SQLRETURN rc = bind_column(stmt, column, type, buffer, length, indicator);
  stmt_apply(stmt, SQL_API_SQLBINDCOL, 0, rc);
  return TRACE_RETURN(kUnit, "SQLBindCol() returns %e", rc);
}
