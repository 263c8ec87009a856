// Query execution entry points: a statement made from validated plans runs its first
// statement, hands out result rows one at a time and evaluates result columns on demand.
// The ODBC statement layer hands over what the engine knows of its statement (a
// StatementContext) and the parameter sets before executing.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "driver/sql/exec_codes.h"
#include "driver/sql/plan.h"
#include "driver/sql/statement_context.h"
#include "support/diag.h"
#include "support/memory.h"
#include "support/value.h"

struct Dal;
struct ExecStatement;

// Engine-level settings of a statement: what exec_set_context, exec_set_max_rows,
// exec_set_query_timeout and exec_set_parameters gave it.
struct ExecSettings {
  SQLULEN max_rows;       // SQL_ATTR_MAX_ROWS (0: no limit)
  SQLULEN query_timeout;  // SQL_ATTR_QUERY_TIMEOUT seconds (0: none)
  int odbc_version;       // 2 or 3
  // Parameter sets: `set_count` sets of `parameter_count` values each, set-major
  // (values[set * parameter_count + (number - 1)]); a null value is an unbound parameter.
  const QuillValue* const* parameter_values;  // borrowed; null when no parameters
  int parameter_count;                        // values per set
  SQLULEN set_count;                          // number of sets (1 without a parameter array)
  const SQLUSMALLINT* operations;             // per set SQL_PARAM_PROCEED/SQL_PARAM_IGNORE, or null
  SQLUSMALLINT* status;                       // per set status out (SQL_PARAM_*), or null
  SQLULEN* processed;                         // sets processed out, or null
};

// A statement ready to execute: the validated plan list plus where it runs. `context` is what
// the call layer knows of its statement (copied; null: ODBC 3, no limits, no cancel flag, sorts
// in $TMPDIR with sort_memory). `parent_pool` must live as long as the plans are used: the
// planner's rewrites of WHERE clauses are allocated from it (null: the statement's own pool,
// so the plans must not be executed again after exec_free). Null after posting "Memory
// allocation error".
ExecStatement* exec_create(Dal* dal, ErrorHeader* errors, MemPool* parent_pool,
                           StatementPlanList* plans, const StatementContext* context);
// Takes the call layer's current view of its statement (copied) before an execution: ODBC
// version, row limit, time-out, the cancel flag (once `*cancel_flag` becomes non-zero the
// statement's scans and sorts stop with HY008 "Operation canceled") and the connection
// questions.
void exec_set_context(ExecStatement* statement, const StatementContext& context);
// Closes everything the statement opened and frees its pool; null is ignored.
void exec_free(ExecStatement* statement);
// Sets the row limit (SQL_ATTR_MAX_ROWS, 0 none).
void exec_set_max_rows(ExecStatement* statement, SQLULEN max_rows);
// Sets the query time-out in seconds (0 none).
void exec_set_query_timeout(ExecStatement* statement, SQLULEN seconds);
// Installs parameter sets (see ExecSettings); `values` stays owned by the caller.
void exec_set_parameters(ExecStatement* statement, const QuillValue* const* values,
                         int parameter_count, SQLULEN set_count, const SQLUSMALLINT* operations,
                         SQLUSMALLINT* status, SQLULEN* processed);
// Runs the first statement of the plan list: 0 or 1 (warning), -1 after posting an error.
int exec_statement(ExecStatement* statement);
// Next result row: EXEC_OK a row, EXEC_WARNING a row with a warning, EXEC_NO_DATA no more rows,
// EXEC_ERROR after posting an error.
int exec_fetch(ExecStatement* statement);
// Number of result columns of the open query (0 when none).
int exec_column_count(const ExecStatement* statement);
// The value of result column `column` (0-based) of the current row, evaluated on first read;
// owned by the statement and valid until the next fetch. Null after an error (posted).
const QuillValue* exec_column_value(ExecStatement* statement, int column);
// Closes the result set: scans closed, plan released (the statement can execute again).
void exec_close(ExecStatement* statement);
// A sub-statement running `query` inside `parent`: its own pool, the parent's DAL,
// diagnostics, settings and parameters, and a parent link for outer references. Run it with
// exec_open_query / exec_fetch; freed with exec_free or with the parent. Null on failure.
ExecStatement* exec_sub_statement(ExecStatement* parent, QueryPlan* query);
// (Re)builds the plan of the statement's query and opens its scans: 0/1, or -1 after posting.
int exec_open_query(ExecStatement* statement);
