// Semantic validation of parsed statements: resolves names through the data-access layer,
// types every expression, expands wildcards, rewrites USING/NATURAL joins and builds the plan
// records (driver/sql/plan.h) that execution runs. Errors are posted where they are found
// and validation stops at the first one.
#pragma once

#include "driver/sql/plan.h"
#include "support/diag.h"
#include "support/memory.h"

struct Dal;
struct QuillStmt;

// What validation works against when there is no statement handle (tests, internal callers).
struct ValidateTarget {
  Dal* dal;              // the connection's data-access layer
  ErrorHeader* errors;   // where errors are posted
  MemPool* pool;         // where plan records are allocated
  void* connection;      // QuillDbc* for cursor lookups (positioned UPDATE), may be null
  QuillStmt* statement;  // the statement handle, may be null
  int odbc_version;      // 2 or 3 (date/time literal types in descriptions)
};

// Validates `statements` (parse nodes in order) for `statement` into a new plan list left in
// statement->plan_list, allocated from statement->tree_pool (the statement's pool when it has
// none), so that releasing the tree pool releases the plans with the parse tree.
// On success every statement has its plan there and the statement has a cursor name. Returns
// 0, or -1 with the error posted on the statement and its return code SQL_ERROR.
int validate_statement_list(QuillStmt* statement, ListNode* statements);

// As validate_statement_list against an explicit target; the plans are appended to `*plans`
// (made when null). Returns 0 or -1; plans of statements before a failure stay in the list.
int validate_statements(const ValidateTarget& target, ListNode* statements,
                        StatementPlanList** plans);
