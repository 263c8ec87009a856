// SQLSetParam: the ODBC 1 form of SQLBindParameter (an input parameter, buffer length -1).
#include "driver/odbc/params/bind_parameter.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "setparam";

namespace {

SQLRETURN set_param_entry(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT c_type,
                          SQLSMALLINT sql_type, SQLULEN column_size, SQLSMALLINT digits,
                          SQLPOINTER buffer, SQLLEN* length) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return bind_parameter(stmt, SQL_API_SQLSETPARAM, number, SQL_PARAM_INPUT, c_type, sql_type,
                        column_size, digits, buffer, -1, length);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLSetParam(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT c_type,
                                   SQLSMALLINT sql_type, SQLULEN column_size, SQLSMALLINT digits,
                                   SQLPOINTER buffer, SQLLEN* length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetParam( %h, %u, %d, %d, %d, %d, %p, %p )", handle,
            static_cast<int>(number), static_cast<int>(c_type), static_cast<int>(sql_type),
            static_cast<int>(column_size), static_cast<int>(digits), buffer,
            static_cast<void*>(length));
  return TRACE_RETURN(
      kUnit, "SQLSetParam() returns %e",
      set_param_entry(handle, number, c_type, sql_type, column_size, digits, buffer, length));
}
