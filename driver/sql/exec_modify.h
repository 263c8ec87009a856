// Data modification in the engine: the row operations the result-set layer calls for
// SQLSetPos (handing the data-access layer the argument records of
// driver/dal/sqi/row_arguments.h), the handlers of INSERT, searched and positioned
// UPDATE/DELETE, and the hooks through which the call layer describes a named cursor's
// current row and the connection's replication entries (so the engine needs none of the
// call layer's headers).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "driver/dal/sqi/restriction.h"
#include "driver/dal/sqi/row_arguments.h"
#include "driver/sql/plan.h"
#include "support/value.h"

struct ExecStatement;
struct ReplicationList;

// --- Row operations --------------------------------------------------------------------------

// A row of a table as it was read, for the row operations.
struct ModifyRow {
  TableEntry* table;                // the table (descriptor, columns, key map)
  const QuillValue* const* values;  // per column (0-based) the value as read; null: not read
  const QuillValue* row_key;        // DAL column -1 of the row, or null
  const QuillValue* bookmark;       // DAL column -2 of the row, or null
  bool check_image;                 // re-read by key and compare before changing the row
};

// Deletes `row` by its key: 0 or 1 with *count rows deleted, -1 after posting (40001
// "Serialization failure" when the row changed since it was read, 42000 when it is gone,
// or the backend's own diagnostic).
int exec_delete_row(ExecStatement* statement, const ModifyRow& row, long long* count);
// Updates `row` with `values` (one per column of the table, `changed` marking what is
// written): 0 or 1 with *count, -1 after posting (as exec_delete_row). When the row carries
// an image to check and `refresh` is given, the updated row is then read again by key into
// `refresh` (per column: the value the fresh column is read into, or null to skip), so that
// the holder of the image can store the row as it now is; `*refreshed` tells whether that
// happened (a row no longer found is not read), and a failed re-read gives 1 with the
// backend's diagnostic.
int exec_update_row(ExecStatement* statement, const ModifyRow& row, DalColumnValue* values,
                    long long* count, QuillValue* const* refresh = nullptr,
                    bool* refreshed = nullptr);
// Reads a LONG value whose read was deferred to first use, while its row is still current:
// 0, or -1 after posting the read's failure.
int exec_settle_long(ExecStatement* statement, const QuillValue* value);
// Inserts one row into `table` (`values`: one entry per column): 0 or 1 with *count, -1.
int exec_insert_row(ExecStatement* statement, TableEntry* table, DalColumnValue* values,
                    long long* count);
// Converts `value` to the type of `column` (the CAST rules): a new value on the statement's
// pool, or null after posting. A NULL value gives a NULL of the column's kind; LONG columns
// take the value as it is.
QuillValue* exec_value_for_column(ExecStatement* statement, const QuillValue* value,
                                  const ColumnInfo* column);

// --- Statement handlers ------------------------------------------------------------------------

// Runs the INSERT, searched DELETE/UPDATE or positioned UPDATE/DELETE of `entry` over every
// parameter set: EXEC_OK, EXEC_WARNING, EXEC_NO_DATA (no row qualified) or EXEC_ERROR after
// posting; the rows changed are added to the statement's row count. -2 when `entry` is not a
// modification.
int exec_modify_statement(ExecStatement* statement, const StatementEntry* entry);
// Rows changed by the statement's last execution (0 after a query).
long long exec_row_count(const ExecStatement* statement);

// --- What the call layer provides ----------------------------------------------------------

// The current row of a named cursor, as the call layer describes it.
struct ExecCursorRow {
  ExecStatement* statement;  // the cursor's engine statement
  const QueryPlan* query;    // the query the cursor runs
  int column_count;          // result columns
  // The current row's value of result column `column` (0-based); null when none.
  const QuillValue* (*column)(void* context, int column);
  void* context;            // passed back to `column`
  bool engine_row_current;  // the engine's table slots still hold the current row
  // Stores new values of the current row (per result column, null: keep) after it was
  // changed, so that a later change compares with what the row now holds: 0 or -1 (posted).
  int (*replace)(void* context, const QuillValue* const* values);
};

// Hooks the call layer installs (once per process) for positioned operations and
// replication.
struct ExecCallLayerHooks {
  // Finds the cursor `name` of `connection` and describes its current row: 0, or -1 when
  // there is no such cursor with a current row.
  int (*cursor_row)(void* connection, const char* name, ExecCursorRow* out);
  // The replication entries of `connection`, or null when it has none.
  const ReplicationList* (*replication)(void* connection);
};

// Installs the call layer's hooks (null removes them); the table must outlive their use.
void exec_install_call_layer(const ExecCallLayerHooks* hooks);
