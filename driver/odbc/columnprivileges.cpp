// SQLColumnPrivileges and SQLColumnPrivilegesW: the privileges on the columns of a table, as a
// result set of the statement. The wide form converts its name arguments and runs the same call.
#include "driver/odbc/catalog/catalog_call.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "columnprivileges";

namespace {

// The argument text for the trace line (null when not given).
const char* text_or_null(const CatalogText& argument) {
  return argument.given ? argument.text.c_str() : nullptr;
}

SQLRETURN run(SQLHSTMT handle, const CatalogRequest& request) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  return catalog_call(static_cast<QuillStmt*>(handle), request);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLColumnPrivileges(SQLHSTMT handle, SQLCHAR* catalog,
                                           SQLSMALLINT catalog_length, SQLCHAR* schema,
                                           SQLSMALLINT schema_length, SQLCHAR* table,
                                           SQLSMALLINT table_length, SQLCHAR* column,
                                           SQLSMALLINT column_length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  CatalogRequest request;
  request.function = SQL_API_SQLCOLUMNPRIVILEGES;
  request.name_count = 4;
  request.names[0] = catalog_text(catalog, catalog_length);
  request.names[1] = catalog_text(schema, schema_length);
  request.names[2] = catalog_text(table, table_length);
  request.names[3] = catalog_text(column, column_length);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLColumnPrivileges( %h, %S, %S, %S, %S )", handle,
            text_or_null(request.names[0]), static_cast<int>(request.names[0].text.size()),
            text_or_null(request.names[1]), static_cast<int>(request.names[1].text.size()),
            text_or_null(request.names[2]), static_cast<int>(request.names[2].text.size()),
            text_or_null(request.names[3]), static_cast<int>(request.names[3].text.size()));
  return TRACE_RETURN(kUnit, "SQLColumnPrivileges() returns %e", run(handle, request));
}

QUILL_EXPORT SQLRETURN SQLColumnPrivilegesW(SQLHSTMT handle, SQLWCHAR* catalog,
                                            SQLSMALLINT catalog_length, SQLWCHAR* schema,
                                            SQLSMALLINT schema_length, SQLWCHAR* table,
                                            SQLSMALLINT table_length, SQLWCHAR* column,
                                            SQLSMALLINT column_length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  CatalogRequest request;
  request.function = SQL_API_SQLCOLUMNPRIVILEGES;
  request.name_count = 4;
  request.names[0] = catalog_text_wide(catalog, catalog_length);
  request.names[1] = catalog_text_wide(schema, schema_length);
  request.names[2] = catalog_text_wide(table, table_length);
  request.names[3] = catalog_text_wide(column, column_length);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLColumnPrivilegesW( %h, %S, %S, %S, %S )", handle,
            text_or_null(request.names[0]), static_cast<int>(request.names[0].text.size()),
            text_or_null(request.names[1]), static_cast<int>(request.names[1].text.size()),
            text_or_null(request.names[2]), static_cast<int>(request.names[2].text.size()),
            text_or_null(request.names[3]), static_cast<int>(request.names[3].text.size()));
  return TRACE_RETURN(kUnit, "SQLColumnPrivilegesW() returns %e", run(handle, request));
}
