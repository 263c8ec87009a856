// SQLGetStmtAttr: statement attributes and the descriptors in use.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handles.h"

static const char* const kUnit = "getstmtattr";

namespace {

SQLRETURN get_stmt_attr(QuillStmt* stmt, SQLINTEGER attribute, SQLPOINTER value,
                        SQLINTEGER* string_length) {
  const StmtAttributes& a = stmt->attrs;
  SQLULEN number;
  SQLPOINTER pointer = nullptr;
  bool is_pointer = false;
  switch (attribute) {
    case SQL_ATTR_APP_ROW_DESC:
      pointer = stmt->ard, is_pointer = true;
      break;
    case SQL_ATTR_APP_PARAM_DESC:
      pointer = stmt->apd, is_pointer = true;
      break;
    case SQL_ATTR_IMP_ROW_DESC:
      pointer = stmt->ird, is_pointer = true;
      break;
    case SQL_ATTR_IMP_PARAM_DESC:
      pointer = stmt->ipd, is_pointer = true;
      break;
    case SQL_ATTR_FETCH_BOOKMARK_PTR:
      pointer = a.fetch_bookmark_ptr, is_pointer = true;
      break;
    case SQL_ATTR_QUERY_TIMEOUT: number = a.query_timeout; break;
    case SQL_ATTR_MAX_ROWS: number = a.max_rows; break;
    case SQL_ATTR_NOSCAN: number = a.noscan; break;
    case SQL_ATTR_MAX_LENGTH: number = a.max_length; break;
    case SQL_ATTR_ASYNC_ENABLE: number = a.async_enable; break;
    case SQL_ATTR_ROW_BIND_TYPE: number = a.row_bind_type; break;
    case SQL_ATTR_CURSOR_TYPE: number = a.cursor_type; break;
    case SQL_ATTR_CONCURRENCY: number = a.concurrency; break;
    case SQL_ATTR_KEYSET_SIZE: number = a.keyset_size; break;
    case SQL_ROWSET_SIZE: number = a.rowset_size; break;
    case SQL_ATTR_SIMULATE_CURSOR: number = a.simulate_cursor; break;
    case SQL_ATTR_RETRIEVE_DATA: number = a.retrieve_data; break;
    case SQL_ATTR_USE_BOOKMARKS: number = a.use_bookmarks; break;
    case SQL_ATTR_ENABLE_AUTO_IPD: number = a.enable_auto_ipd; break;
    case SQL_ATTR_PARAMSET_SIZE: number = a.paramset_size; break;
    case SQL_ATTR_ROW_ARRAY_SIZE: number = a.row_array_size; break;
    case SQL_ATTR_METADATA_ID: number = a.metadata_id; break;
    case SQL_ATTR_CURSOR_SENSITIVITY: number = static_cast<SQLULEN>(a.cursor_sensitivity); break;
    case SQL_ATTR_CURSOR_SCROLLABLE: number = static_cast<SQLULEN>(a.cursor_scrollable); break;
    default:
      return post_call_error(stmt->errors, "HY096", MSG_INFO_RANGE);
  }
  if (is_pointer) {
    if (value) *static_cast<SQLPOINTER*>(value) = pointer;
    if (string_length) *string_length = sizeof(SQLPOINTER);
  } else {
    if (value) *static_cast<SQLULEN*>(value) = number;
    if (string_length) *string_length = sizeof(SQLULEN);
  }
  return SQL_SUCCESS;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLGetStmtAttr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value,
                                      SQLINTEGER buffer_length, SQLINTEGER* string_length) {
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetStmtAttr( %h, %d, %p, %d, %p )", handle,
            static_cast<int>(attribute), value, static_cast<int>(buffer_length),
            static_cast<void*>(string_length));
  if (!valid_stmt(handle))
    return TRACE_RETURN(kUnit, "SQLGetStmtAttr() returns %e", SQL_INVALID_HANDLE);
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return TRACE_RETURN(kUnit, "SQLGetStmtAttr() returns %e",
                      get_stmt_attr(stmt, attribute, value, string_length));
}
