// The virtual catalog INFO_SCHEMA: its fifteen tables with their static column
// descriptions, and the rows of each, made by running the driver's own catalog
// functions on an internal statement of the connection. Those functions belong to
// the call layer, which hands them over in an InfoSchemaCatalog.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "driver/dal/sqi/rowset.h"
#include "driver/dal/sqi/sqi.h"

// What INFO_SCHEMA reads its rows through: the call layer's catalog functions, with the
// signatures of the ODBC functions they implement, on internal statements of the connection
// that scans.
struct InfoSchemaCatalog {
  // The call-layer connection that a diagnostic target (of the connection or of one of its
  // statements or descriptors) belongs to; null when it has none.
  void* (*connection_of)(void* target);
  // A new internal statement of `connection` whose calls run synchronously, or null.
  SQLHSTMT (*open_statement)(void* connection);
  void (*close_statement)(SQLHSTMT statement);       // frees an internal statement
  decltype(&SQLTables) tables;                       // SQLTables
  decltype(&SQLColumns) columns;                     // SQLColumns
  decltype(&SQLColumnPrivileges) column_privileges;  // SQLColumnPrivileges
  decltype(&SQLTablePrivileges) table_privileges;    // SQLTablePrivileges
  decltype(&SQLStatistics) statistics;               // SQLStatistics
  decltype(&SQLFetch) fetch;                         // SQLFetch
  decltype(&SQLGetData) get_data;                    // SQLGetData
  decltype(&SQLGetDiagRec) get_diag_rec;             // SQLGetDiagRec
  decltype(&SQLGetInfo) get_info;                    // SQLGetInfo on the connection
};

// Installs the catalog functions every INFO_SCHEMA scan of the process uses (null removes
// them: scans then fail as scans without a connection). `catalog` must outlive its use.
void info_schema_install_catalog(const InfoSchemaCatalog* catalog);

// Describes "INFO_SCHEMA.<table>" (exact, case-sensitive names); SQI_NOT_FOUND otherwise.
int info_schema_describe_table(const char* name, DalTable* out);
// Copies the static descriptions of the table's `count` columns; SQI_ERROR for a wrong count.
int info_schema_describe_columns(const DalTable* table, int count, DalColumn* out);
// The rows of `table` for a scan on the connection that `target` (a diagnostic target of the
// connection or one of its statements) belongs to. Equality restrictions on TABLE_NAME and
// COLUMN_NAME of COLUMNS are passed on to the catalog call and applied exactly. Null after
// posting through `service` (the internal statement's diagnostics, or HY001).
RowSet* info_schema_rows(void* target, SqiService service, const DalTable* table,
                         int restriction_count, Restriction* const* restrictions);
