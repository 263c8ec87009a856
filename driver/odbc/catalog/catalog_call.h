// Running a catalog function on a statement: the state check, the fresh result
// pool, the IRD of the function's columns, the forced cursor attributes, and
// the data-access call with its sort (on the worker thread when asynchronous
// execution is on). Also the service entries that run SQLTables for the
// engine's own use.
#pragma once

#include "driver/odbc/catalog/catalog_request.h"
#include "driver/odbc/handles/handles.h"

// Runs the catalog function `request.function` on a valid statement. A call arriving while
// the same function runs asynchronously is a poll. Applies the statement state (S5 on
// success, S1 on failure). Returns SQL_SUCCESS, SQL_SUCCESS_WITH_INFO (01S02 posted, or a
// backend warning), SQL_STILL_EXECUTING or SQL_ERROR.
SQLRETURN catalog_call(QuillStmt* stmt, const CatalogRequest& request);
// Forces the cursor attributes a catalog result allows: read-only concurrency, insensitive,
// keyset and dynamic cursors become static. True when an attribute changed (the caller posts
// 01S02).
bool catalog_force_cursor_attributes(StmtAttributes* attrs);
// Service entry of the engine: SQLTables on `stmt` for every table of table type "VIEW"
// (always in the caller's thread). Returns as catalog_call.
SQLRETURN catalog_service_views(QuillStmt* stmt);
// Service entry of the engine: SQLTables on `stmt` with the table type "EMPTY TABLES" when
// `empty_tables`, else with no table type (every table). Returns as catalog_call.
SQLRETURN catalog_service_tables(QuillStmt* stmt, bool empty_tables);
