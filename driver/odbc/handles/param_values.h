// Parameter values for execution: which bound parameters still need data at
// execution, the pieces SQLPutData appends, and the loading of every parameter
// set from the application's buffers into engine values.
#pragma once

#include "driver/odbc/handles/handles.h"
#include "support/value.h"

// The 1-based number of the first parameter after `after` whose indicator asks for data at
// execution and that holds no value yet; 0 when none; -1 after posting HY000 "Parameter not
// bound" for a parameter that is not bound at all.
int param_values_next_needing_data(QuillStmt* stmt, int after);
// The application's data pointer of parameter `number` (the data-at-execution token).
SQLPOINTER param_values_token(QuillStmt* stmt, int number);
// Appends a piece given to SQLPutData to parameter `number` (`length` bytes, SQL_NTS, or
// SQL_NULL_DATA). SQL_SUCCESS, or SQL_ERROR after posting.
SQLRETURN param_values_append(QuillStmt* stmt, int number, SQLPOINTER data, SQLLEN length);
// Loads `sets` parameter sets (set-major, parameter_count values each) into values owned by
// the statement's parameter pool; null after posting.
const QuillValue* const* param_values_load(QuillStmt* stmt, SQLULEN sets);
// Drops every value of the last execution, those given at execution included (a new
// execution asks for them again).
void param_values_release(QuillStmt* stmt);
