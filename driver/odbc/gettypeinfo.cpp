// SQLGetTypeInfo and SQLGetTypeInfoW: the SQL data types the driver handles, one
// row per type (or the rows of one type), as a result set of the statement.
#include "driver/odbc/catalog/catalog_call.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "gettypeinfo";

namespace {

SQLRETURN run(SQLHSTMT handle, SQLSMALLINT data_type) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  CatalogRequest request;
  request.function = SQL_API_SQLGETTYPEINFO;
  request.data_type = data_type;
  return catalog_call(static_cast<QuillStmt*>(handle), request);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLGetTypeInfo(SQLHSTMT handle, SQLSMALLINT data_type) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetTypeInfo( %h, %d )", handle, static_cast<int>(data_type));
  return TRACE_RETURN(kUnit, "SQLGetTypeInfo() returns %e", run(handle, data_type));
}

// The data type is a number: the wide form differs only in its name.
QUILL_EXPORT SQLRETURN SQLGetTypeInfoW(SQLHSTMT handle, SQLSMALLINT data_type) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetTypeInfoW( %h, %d )", handle,
            static_cast<int>(data_type));
  return TRACE_RETURN(kUnit, "SQLGetTypeInfoW() returns %e", run(handle, data_type));
}
