// Parameter values for execution: which bound parameters still need data at
// execution, the pieces SQLPutData appends, the loading of every parameter set
// from the application's buffers into engine values, and the reporting of the
// sets of a parameter array that failed to load. With a parameter array a query
// runs once per set and the rows of all sets come back, in set order, as one
// result set; a set that fails to load is left out and marked SQL_PARAM_ERROR.
#pragma once

#include <vector>

#include "driver/odbc/handles/handles.h"
#include "driver/odbc/params/param_error.h"
#include "support/value.h"

// A set of a parameter array whose parameters could not be converted.
struct ParamRowFailure {
  SQLULEN set;       // 0-based parameter-set row
  ParamError error;  // the first failure of the row
};

// The parameter sets of one execution, as handed to the engine.
struct ParamLoad {
  const QuillValue* const* values = nullptr;  // set-major values (null for skipped sets)
  const SQLUSMALLINT* operations = nullptr;   // per-set operation array the engine honours
  std::vector<ParamRowFailure> failures;      // sets that failed to load, in set order
};

// The 1-based number of the first parameter after `after` whose indicator asks for data at
// execution and that holds no value yet; 0 when none; -1 after posting HY000 "Parameter not
// bound" for a parameter that is not bound at all.
int param_values_next_needing_data(QuillStmt* stmt, int after);
// Starts the data at execution of parameter `number`: its value is marked pending (no piece
// yet) and `*token` receives the application's data pointer. false after posting HY001.
bool param_values_begin_data(QuillStmt* stmt, int number, SQLPOINTER* token);
// Appends a piece given to SQLPutData to parameter `number` (`length` bytes, SQL_NTS, or
// SQL_NULL_DATA). SQL_SUCCESS, or SQL_ERROR after posting (HY019, HY020, HY000, HY001,
// HY009, HY090).
SQLRETURN param_values_append(QuillStmt* stmt, int number, SQLPOINTER data, SQLLEN length);
// Loads `sets` parameter sets into values owned by the statement's parameter pool. With one
// set, a conversion failure is posted and false returned; with several, a failing set is
// recorded in `load->failures` and left out through `load->operations`, and false (after
// posting every failure) only when no set is left. Unbound parameters always fail the call.
bool param_values_load(QuillStmt* stmt, SQLULEN sets, ParamLoad* load);
// After the engine ran with `load` (its outcome `rc`: 0, 1, 100 or -1): the failed sets'
// status entries become SQL_PARAM_ERROR and their diagnostics are posted with their row
// numbers. Returns `rc`, raised from 0 to 1 when failures were reported.
int param_values_report(QuillStmt* stmt, const ParamLoad& load, int rc);
// Drops every value of the last execution, those given at execution included (a new
// execution asks for them again).
void param_values_release(QuillStmt* stmt);
