// SQLSetStmtAttr and SQLSetStmtAttrW: set one statement attribute (no statement
// attribute is text, so both forms do the same).
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "setstmtattr";

namespace {

SQLRETURN set_stmt_attr_entry(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value,
                              SQLINTEGER length) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return set_stmt_attr(stmt, attribute, value, length);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLSetStmtAttr(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value,
                                      SQLINTEGER length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetStmtAttr( %h, %d, %p, %d )", handle,
            static_cast<int>(attribute), value, static_cast<int>(length));
  return TRACE_RETURN(kUnit, "SQLSetStmtAttr() returns %e",
                      set_stmt_attr_entry(handle, attribute, value, length));
}

QUILL_EXPORT SQLRETURN SQLSetStmtAttrW(SQLHSTMT handle, SQLINTEGER attribute, SQLPOINTER value,
                                       SQLINTEGER length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetStmtAttrW( %h, %d, %p, %d )", handle,
            static_cast<int>(attribute), value, static_cast<int>(length));
  return TRACE_RETURN(kUnit, "SQLSetStmtAttrW() returns %e",
                      set_stmt_attr_entry(handle, attribute, value, length));
}
