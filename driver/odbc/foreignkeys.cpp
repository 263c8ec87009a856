// SQLForeignKeys and SQLForeignKeysW: the foreign keys between tables, as a result set of the
// statement. The wide form converts its name arguments and runs the same call.
#include "driver/odbc/catalog/catalog_call.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "foreignkeys";

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

QUILL_EXPORT SQLRETURN SQLForeignKeys(SQLHSTMT handle, SQLCHAR* pk_catalog,
                                      SQLSMALLINT pk_catalog_length, SQLCHAR* pk_schema,
                                      SQLSMALLINT pk_schema_length, SQLCHAR* pk_table,
                                      SQLSMALLINT pk_table_length, SQLCHAR* fk_catalog,
                                      SQLSMALLINT fk_catalog_length, SQLCHAR* fk_schema,
                                      SQLSMALLINT fk_schema_length, SQLCHAR* fk_table,
                                      SQLSMALLINT fk_table_length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  CatalogRequest request;
  request.function = SQL_API_SQLFOREIGNKEYS;
  request.name_count = 6;
  request.names[0] = catalog_text(pk_catalog, pk_catalog_length);
  request.names[1] = catalog_text(pk_schema, pk_schema_length);
  request.names[2] = catalog_text(pk_table, pk_table_length);
  request.names[3] = catalog_text(fk_catalog, fk_catalog_length);
  request.names[4] = catalog_text(fk_schema, fk_schema_length);
  request.names[5] = catalog_text(fk_table, fk_table_length);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLForeignKeys( %h, %S, %S, %S, %S, %S, %S )", handle,
            text_or_null(request.names[0]), static_cast<int>(request.names[0].text.size()),
            text_or_null(request.names[1]), static_cast<int>(request.names[1].text.size()),
            text_or_null(request.names[2]), static_cast<int>(request.names[2].text.size()),
            text_or_null(request.names[3]), static_cast<int>(request.names[3].text.size()),
            text_or_null(request.names[4]), static_cast<int>(request.names[4].text.size()),
            text_or_null(request.names[5]), static_cast<int>(request.names[5].text.size()));
  return TRACE_RETURN(kUnit, "SQLForeignKeys() returns %e", run(handle, request));
}

QUILL_EXPORT SQLRETURN SQLForeignKeysW(SQLHSTMT handle, SQLWCHAR* pk_catalog,
                                       SQLSMALLINT pk_catalog_length, SQLWCHAR* pk_schema,
                                       SQLSMALLINT pk_schema_length, SQLWCHAR* pk_table,
                                       SQLSMALLINT pk_table_length, SQLWCHAR* fk_catalog,
                                       SQLSMALLINT fk_catalog_length, SQLWCHAR* fk_schema,
                                       SQLSMALLINT fk_schema_length, SQLWCHAR* fk_table,
                                       SQLSMALLINT fk_table_length) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  CatalogRequest request;
  request.function = SQL_API_SQLFOREIGNKEYS;
  request.name_count = 6;
  request.names[0] = catalog_text_wide(pk_catalog, pk_catalog_length);
  request.names[1] = catalog_text_wide(pk_schema, pk_schema_length);
  request.names[2] = catalog_text_wide(pk_table, pk_table_length);
  request.names[3] = catalog_text_wide(fk_catalog, fk_catalog_length);
  request.names[4] = catalog_text_wide(fk_schema, fk_schema_length);
  request.names[5] = catalog_text_wide(fk_table, fk_table_length);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLForeignKeysW( %h, %S, %S, %S, %S, %S, %S )", handle,
            text_or_null(request.names[0]), static_cast<int>(request.names[0].text.size()),
            text_or_null(request.names[1]), static_cast<int>(request.names[1].text.size()),
            text_or_null(request.names[2]), static_cast<int>(request.names[2].text.size()),
            text_or_null(request.names[3]), static_cast<int>(request.names[3].text.size()),
            text_or_null(request.names[4]), static_cast<int>(request.names[4].text.size()),
            text_or_null(request.names[5]), static_cast<int>(request.names[5].text.size()));
  return TRACE_RETURN(kUnit, "SQLForeignKeysW() returns %e", run(handle, request));
}
