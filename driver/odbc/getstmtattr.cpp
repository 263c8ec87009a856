// SQLGetStmtAttr and SQLGetStmtAttrW: read one statement attribute or the
// descriptors in use (no statement attribute is text, so both forms do the same).
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "getstmtattr";

namespace {

SQLRETURN get_stmt_attr_entry(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value,
                              SQLINTEGER buffer_length, SQLINTEGER* string_length) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return get_stmt_attr(stmt, attribute, value, buffer_length, string_length);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLGetStmtAttr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value,
                                      SQLINTEGER buffer_length, SQLINTEGER* string_length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetStmtAttr( %h, %d, %p, %d, %p )", handle,
            static_cast<int>(attribute), value, static_cast<int>(buffer_length),
            static_cast<void*>(string_length));
  return TRACE_RETURN(kUnit, "SQLGetStmtAttr() returns %e",
                      get_stmt_attr_entry(handle, attribute, value, buffer_length, string_length));
}

QUILL_EXPORT SQLRETURN SQLGetStmtAttrW(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value,
                                       SQLINTEGER buffer_length, SQLINTEGER* string_length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetStmtAttrW( %h, %d, %p, %d, %p )", handle,
            static_cast<int>(attribute), value, static_cast<int>(buffer_length),
            static_cast<void*>(string_length));
  return TRACE_RETURN(kUnit, "SQLGetStmtAttrW() returns %e",
                      get_stmt_attr_entry(handle, attribute, value, buffer_length, string_length));
}
