// Semantic validation of parsed statements: resolves names through the data-access layer,
// types every expression, expands wildcards, rewrites USING/NATURAL joins and builds the plan
// records (driver/sql/plan.h) that execution runs. Errors are posted where they are found
// and validation stops at the first one.
#pragma once

#include "driver/sql/plan.h"
#include "driver/sql/statement_context.h"
#include "support/diag.h"
#include "support/memory.h"

struct Dal;

// What validation works against: the connection's data-access layer, where errors go and plans
// are allocated, and what the call layer knows of the statement (null for tests and internal
// callers: positioned statements then find no cursor).
struct ValidateTarget {
  Dal* dal;                           // the connection's data-access layer
  ErrorHeader* errors;                // where errors are posted
  MemPool* pool;                      // where plan records are allocated
  void* connection;                   // the call-layer connection (opaque) that cursor names are
                                      // looked up in (positioned UPDATE/DELETE), may be null
  const StatementContext* statement;  // the statement's context, may be null
  int odbc_version;                   // 2 or 3 (date/time literal types in descriptions)
};

// Validates `statements` (parse nodes in order) against `target`; the plans are appended to
// `*plans` (made when null). Returns 0, or -1 with the error posted on target.errors and its
// return code SQL_ERROR; plans of statements before a failure stay in the list.
int validate_statements(const ValidateTarget& target, ListNode* statements,
                        StatementPlanList** plans);
