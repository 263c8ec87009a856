// The INFO_SCHEMA backend's way back into this layer: it finds the connection a scan runs
// for through the owner of the scan's diagnostic target, and reads its rows with the driver's
// own exported catalog functions on internal statements of that connection.
#include "driver/odbc/catalog/info_schema_catalog.h"

#include "driver/odbc/api.h"
#include "driver/odbc/handles/handles.h"

namespace {

// The connection of the handle owning the diagnostic target `target`, or null.
void* connection_of(void* target) {
  auto* header = static_cast<ErrorHeader*>(target);
  if (!header || !header->owner) return nullptr;
  int32_t tag = *static_cast<int32_t*>(header->owner);
  if (tag == TAG_DBC) return static_cast<QuillDbc*>(header->owner);
  if (tag == TAG_STMT) return static_cast<QuillStmt*>(header->owner)->dbc;
  if (tag == TAG_DESC) return static_cast<QuillDesc*>(header->owner)->dbc;
  return nullptr;
}

SQLHSTMT open_statement(void* connection) {
  SQLHANDLE handle = SQL_NULL_HANDLE;
  if (!connection || !SQL_SUCCEEDED(odbc_alloc_handle(SQL_HANDLE_STMT, connection, &handle)))
    return SQL_NULL_HANDLE;
  // Its catalog calls run here and now, even on a connection that runs asynchronously.
  static_cast<QuillStmt*>(handle)->attrs.async_enable = SQL_ASYNC_ENABLE_OFF;
  return handle;
}

void close_statement(SQLHSTMT statement) {
  odbc_free_handle(SQL_HANDLE_STMT, statement);
}

const InfoSchemaCatalog kCatalog{
    .connection_of = connection_of,
    .open_statement = open_statement,
    .close_statement = close_statement,
    .tables = SQLTables,
    .columns = SQLColumns,
    .column_privileges = SQLColumnPrivileges,
    .table_privileges = SQLTablePrivileges,
    .statistics = SQLStatistics,
    .fetch = SQLFetch,
    .get_data = SQLGetData,
    .get_diag_rec = odbc_get_diag_rec,
    .get_info = SQLGetInfo,
};

}  // namespace

const InfoSchemaCatalog* odbc_info_schema_catalog() {
  return &kCatalog;
}
