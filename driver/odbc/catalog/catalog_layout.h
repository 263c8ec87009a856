// The fixed result columns of the catalog functions and SQLGetTypeInfo: per
// function its column table and the columns its rows are sorted by, and the
// implementation row descriptor built from such a table.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "driver/odbc/handles/handles.h"

// One result column of a catalog function.
struct CatalogColumn {
  const char* name;  // column name ("TABLE_CAT", ...)
  int sql_type;      // SQL_VARCHAR, SQL_CHAR, SQL_SMALLINT or SQL_INTEGER
  int length;        // characters of a character column (0 for numbers)
  bool not_null;     // the column never holds NULL
};

// Most sort keys any catalog function has.
constexpr int CATALOG_MAX_KEYS = 5;

// The result columns and sort keys of one catalog function.
struct CatalogLayout {
  int function;                  // SQL_API_SQLTABLES ... SQL_API_SQLGETTYPEINFO
  const CatalogColumn* columns;  // result columns in order
  int column_count;              // entries at `columns`
  int keys[CATALOG_MAX_KEYS];    // 1-based sort-key column numbers, in key order
  int key_count;                 // entries used in `keys`
};

// The layout of catalog function `function` (an SQL_API_* number); null for any other.
// SQLForeignKeys orders by the foreign-key side (5, 6, 7, 9) when `pk_table_given`, else by
// the primary-key side (1, 2, 3, 9); other functions ignore the flag.
const CatalogLayout* catalog_layout(int function, bool pk_table_given);
// The type name a catalog column reports ("VARCHAR", "CHARACTER", "INTEGER", "SMALLINT",
// else "UNKNOWN").
const char* catalog_type_name(int sql_type);
// Rebuilds the statement's IRD from `layout` (record 0 the bookmark when bookmarks are on) and
// sets its result-column count. false after posting HY001.
bool catalog_fill_ird(QuillStmt* stmt, const CatalogLayout& layout);
