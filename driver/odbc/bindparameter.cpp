// SQLBindParameter: bind an application buffer to a parameter marker.
#include "driver/odbc/params/bind_parameter.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "bindparameter";

namespace {

SQLRETURN bind_parameter_entry(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT direction,
                               SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN column_size,
                               SQLSMALLINT digits, SQLPOINTER buffer, SQLLEN buffer_length,
                               SQLLEN* length) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return bind_parameter(stmt, SQL_API_SQLBINDPARAMETER, number, direction, c_type, sql_type,
                        column_size, digits, buffer, buffer_length, length);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLBindParameter(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT direction,
                                        SQLSMALLINT c_type, SQLSMALLINT sql_type,
                                        SQLULEN column_size, SQLSMALLINT digits, SQLPOINTER buffer,
                                        SQLLEN buffer_length, SQLLEN* length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLBindParameter( %h, %u, %d, %d, %d, %d, %d, %p, %d, %p )",
            handle, static_cast<int>(number), static_cast<int>(direction), static_cast<int>(c_type),
            static_cast<int>(sql_type), static_cast<int>(column_size), static_cast<int>(digits),
            buffer, static_cast<int>(buffer_length), static_cast<void*>(length));
  return TRACE_RETURN(kUnit, "SQLBindParameter() returns %e",
                      bind_parameter_entry(handle, number, direction, c_type, sql_type, column_size,
                                           digits, buffer, buffer_length, length));
}
