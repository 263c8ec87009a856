// SQLSetPos row operations that change data (SQL_UPDATE, SQL_DELETE, SQL_ADD).
#pragma once

#include "driver/odbc/handles/handles.h"

// Updates, deletes or adds rowset row `row` (0: every row of the rowset; for SQL_ADD every
// row of the bound arrays) through the engine's row operations. The caller has run the state
// check and the cursor and row-range checks. Rows whose row-operation entry is SQL_ROW_IGNORE
// are skipped; each other row's status becomes SQL_ROW_UPDATED, SQL_ROW_DELETED,
// SQL_ROW_ADDED or SQL_ROW_ERROR and the affected rows go to the row count. HY092 on a
// read-only cursor; 21S02 when a result column is not a plain table column. SQL_ERROR when
// every row failed, SQL_SUCCESS_WITH_INFO when some did.
SQLRETURN stmt_set_pos_rows(QuillStmt* stmt, SQLSETPOSIROW row, SQLUSMALLINT operation);
