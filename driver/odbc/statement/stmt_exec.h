// Statement execution shared by the statement entry points: preparing a text
// into validated plans, running the current statement of a batch, the open
// cursor and its fetches, data at execution and asynchronous execution on the
// statement's worker thread. Each function posts its diagnostics on the
// statement; the caller has emptied the error header and runs the state check.
#pragma once

#include "driver/odbc/handles/handles.h"
#include "driver/sql/exec_codes.h"
#include "support/value.h"

// Prepares `text` (`length` bytes or SQL_NTS) for `function` (SQL_API_SQLPREPARE or
// SQL_API_SQLEXECDIRECT): parse, validate, first statement current, IRD and IPD filled.
// The state check of `function` runs inside (after the argument checks). The state is applied
// for SQLPrepare only. Returns SQL_SUCCESS, SQL_SUCCESS_WITH_INFO or SQL_ERROR.
SQLRETURN stmt_prepare(QuillStmt* stmt, const char* text, SQLINTEGER length, int function);
// Executes the current statement for `function` (11 or 12): parameters needing data, then the
// engine (on the worker when asynchronous execution is on). Applies the state.
SQLRETURN stmt_execute(QuillStmt* stmt, int function);
// Runs the current statement now (no state work): an ExecResult (EXEC_ERROR once posted).
int stmt_run_current(QuillStmt* stmt);
// The ODBC return code of an engine outcome.
SQLRETURN sql_return_of(int exec_result);
// Makes `node` of the plan list the current statement (engine statement, IRD, IPD); false
// after posting.
bool stmt_load_entry(QuillStmt* stmt, ListNode* node);
// SQLMoreResults: the next statement of the batch, or SQL_NO_DATA.
SQLRETURN stmt_more_results(QuillStmt* stmt);
// SQLParamData and SQLPutData.
SQLRETURN stmt_param_data(QuillStmt* stmt, SQLPOINTER* token);
SQLRETURN stmt_put_data(QuillStmt* stmt, SQLPOINTER data, SQLLEN length);
// SQLCancel.
SQLRETURN stmt_cancel(QuillStmt* stmt);
// Releases the parse tree, plans and engine statement of the statement.
void stmt_release_text(QuillStmt* stmt);

// Fetches a rowset for `function` (SQL_API_SQLFETCH, SQL_API_SQLFETCHSCROLL or
// SQL_API_SQLEXTENDEDFETCH); `rowset_size`, `row_status` and `rows_fetched` are those of the
// call. State check and apply included.
SQLRETURN stmt_fetch(QuillStmt* stmt, int function, SQLSMALLINT orientation, SQLLEN offset,
                     SQLULEN rowset_size, SQLUSMALLINT* row_status, SQLULEN* rows_fetched);
// SQLGetData of the current row.
SQLRETURN stmt_get_data(QuillStmt* stmt, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER buffer,
                        SQLLEN length, SQLLEN* indicator);
// SQLSetPos.
SQLRETURN stmt_set_pos(QuillStmt* stmt, SQLSETPOSIROW row, SQLUSMALLINT operation,
                       SQLUSMALLINT lock);
// The value of result column `column` (1-based) of the current row; 0 is the bookmark (made
// in `scratch`). Null after posting an error.
QuillValue* stmt_column_value(QuillStmt* stmt, int column, QuillValue* scratch);

// Asynchronous execution. A poll: when a call runs on the worker, `*handled` is set and the
// answer is SQL_STILL_EXECUTING, the finished call's result, or HY010 for another function.
SQLRETURN stmt_async_poll(QuillStmt* stmt, int function, bool* handled);
// With asynchronous execution on, posts `work(stmt)` to the worker (made on first use), sets
// `*handled` and returns SQL_STILL_EXECUTING; otherwise `*handled` is false.
SQLRETURN stmt_async_start(QuillStmt* stmt, int function, SQLRETURN (*work)(QuillStmt*),
                           bool* handled);
// Ends the statement's worker thread (statement being freed).
void stmt_async_stop(QuillStmt* stmt);
