// The argument records of the row operations a backend may implement (insert_row,
// delete_row, update_row and fetch_by_key of the operation table): the engine fills them, the
// data-access layer passes them through unchanged and the backend reads them.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "driver/dal/sqi/restriction.h"
#include "support/value.h"

// One entry of the column value array of DALInsertRow and DALUpdateRow.
struct DalColumnValue {
  const DalColumn* column;  // the column's descriptor
  int32_t number;           // 1-based column number
  QuillValue* value;        // the value to store; null when not supplied (DEFAULT)
  int32_t changed;          // UPDATE: 1 when the column is to be written
};

// DALInsertRow: one new row.
struct DalInsertArguments {
  int32_t column_count;     // entries at `columns` (one per column of the table)
  DalColumnValue* columns;  // the values
  SQLLEN rows;              // out: rows inserted (the engine presets 1)
};

// DALDeleteRow: the rows matching every key restriction (none: every row of the table).
struct DalDeleteArguments {
  int32_t restriction_count;         // entries at `restrictions`; 0 asks for a bulk delete
  Restriction* const* restrictions;  // `=` restrictions on the key parts
  SQLLEN rows;                       // out: rows deleted (preset 1 for a keyed delete, 0 bulk)
};

// DALUpdateRow: the row matching every key restriction gets the changed columns.
struct DalUpdateArguments {
  int32_t restriction_count;         // entries at `restrictions`
  Restriction* const* restrictions;  // `=` restrictions on the key parts
  int32_t column_count;              // entries at `columns`
  DalColumnValue* columns;           // the row's values; `changed` marks what to write
  SQLLEN rows;                       // out: rows updated (preset 1)
};

// DALFetchByKey: positions the iterator on the row matching the key restrictions so that
// its columns can be read with DALGetData. Results: 0 found, 2 found with LONG data
// pending, 4 or 5 not found, 3 error.
struct DalFetchByKeyArguments {
  const int* column_usage;           // per column (0-based) 1 when it will be read
  int32_t restriction_count;         // entries at `restrictions`
  Restriction* const* restrictions;  // `=` restrictions on the key parts
  int32_t flag;                      // 0 (reserved)
  void* row_buffer;                  // null: the row is read through DALGetData
};

// DALExecSQL of a modification statement run whole by its backend receives, in its reserved
// argument, an SQLLEN* where the backend stores the rows it changed (left 0 when unknown).

constexpr int DAL_FETCH_BY_KEY_NOT_FOUND = 5;  // DALFetchByKey: no row has that key
constexpr int DAL_UPDATE_MODE_ROW = 1;         // DALUpdateRow mode of a keyed row update
