// The SQLGetTypeInfo answer of the view store: one row per SQL data type the
// engine handles (CAST targets, column types and literals), in the nineteen
// columns of the ODBC type catalog.
#pragma once

#include "driver/dal/sqi/rowset.h"

// The rows of the type catalog for `sql_type` (SQL_ALL_TYPES for every type; a type the engine
// does not handle gives no rows), in no particular order: the caller sorts. Null when memory
// runs out.
RowSet* type_info_rowset(int sql_type);
// Number of rows type_info_rowset(SQL_ALL_TYPES) holds.
int type_info_type_count();
