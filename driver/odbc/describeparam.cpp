// SQLDescribeParam: a parameter's SQL type, size, digits and nullability.
#include "driver/odbc/params/bind_parameter.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "describeparam";

namespace {

SQLRETURN describe_param_entry(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT* sql_type,
                               SQLULEN* column_size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return describe_parameter(stmt, number, sql_type, column_size, digits, nullable);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLDescribeParam(SQLHSTMT handle, SQLUSMALLINT number, SQLSMALLINT* sql_type,
                                        SQLULEN* column_size, SQLSMALLINT* digits,
                                        SQLSMALLINT* nullable) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLDescribeParam( %h, %u, %p, %p, %p, %p )", handle,
            static_cast<int>(number), static_cast<void*>(sql_type), static_cast<void*>(column_size),
            static_cast<void*>(digits), static_cast<void*>(nullable));
  return TRACE_RETURN(
      kUnit, "SQLDescribeParam() returns %e",
      describe_param_entry(handle, number, sql_type, column_size, digits, nullable));
}
