// What the statement layer hands the SQL engine: the narrow context the engine works with
// instead of the statement record, and validation of a parsed text into the plan list and
// cursor name the statement keeps.
#pragma once

#include "driver/odbc/handles/handles.h"
#include "driver/sql/statement_context.h"
#include "support/list.h"

// The engine's view of `stmt` as it stands now: ODBC version, row limit, time-out, cancel flag
// and the connection questions (sort settings, fetched cursors).
StatementContext stmt_engine_context(QuillStmt* stmt);

// Validates `statements` (parse nodes in order) for `statement` into a new plan list left in
// statement->plan_list, allocated from statement->tree_pool (the statement's pool when it has
// none), so that releasing the tree pool releases the plans with the parse tree.
// On success every statement has its plan there and the statement has a cursor name. Returns
// 0, or -1 with the error posted on the statement and its return code SQL_ERROR.
int validate_statement_list(QuillStmt* statement, ListNode* statements);
