// The evaluation context every expression evaluation and scalar function call
// runs in: where values are allocated, where errors go, the instant the
// statement's execution started, and a way back into the evaluator for
// arguments that are passed unevaluated.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdarg>
#include <string>

#include "driver/sql/exec_codes.h"
#include "support/diag.h"
#include "support/memory.h"
#include "support/value.h"

struct EvalContext;
struct EvalState;
struct ColumnRefNode;
struct SetFunctionNode;
struct Node;

// Evaluates an expression node for a function that takes its argument unevaluated; a new
// value owned by the caller, or null after an error was raised.
using EvalCallback = QuillValue* (*)(EvalContext* context, const void* expression);
// Reads a LONG VARCHAR or LONG VARBINARY value whole into `out`; false on a read failure.
using ReadLongCallback = bool (*)(EvalContext* context, const QuillValue* value, std::string* out);

// Executor hooks. Values they hand out are borrowed: valid until the next call of the same
// hook, never released by the evaluator (it copies what it keeps).
// The current value of a resolved column reference (resolved_table/resolved_column), outer
// references included; null when it cannot be read (the hook may have posted an error).
using ColumnValueHook = const QuillValue* (*)(EvalContext* context, const ColumnRefNode* column);
// The bound value of dynamic parameter `number` (1-based); null when it is not bound.
using ParameterValueHook = const QuillValue* (*)(EvalContext* context, int number);
// The current value of a set function, whose state the grouping code owns; null after an
// error (the hook may have posted it).
using SetFunctionValueHook = const QuillValue* (*)(EvalContext* context,
                                                   const SetFunctionNode* function);
// (Re)opens the subquery `query` so that its rows can be fetched from the first one.
// `*reexecuted` is set true when it had to run again because its outer references changed
// (cached answers about it are then stale). 0 on success, -1 on failure.
using SubqueryOpenHook = int (*)(EvalContext* context, const Node* query, bool* reexecuted);
// Fetches the next row of the open subquery `query` and points `*first_column` at its first
// column: EXEC_OK a row, EXEC_NO_DATA no more rows, EXEC_ERROR on failure.
using SubqueryFetchHook = int (*)(EvalContext* context, const Node* query,
                                  const QuillValue** first_column);

// The executor's hooks; a null hook means the service is not available.
struct EvalHooks {
  ColumnValueHook column_value;             // column reader (null: column references refused)
  ParameterValueHook parameter_value;       // parameter reader (null: every parameter unbound)
  SetFunctionValueHook set_function_value;  // aggregate reader (null: set functions refused)
  SubqueryOpenHook open_subquery;           // subquery (re)opener (null: subqueries refused)
  SubqueryFetchHook fetch_subquery;         // subquery row reader (null: subqueries refused)
};

struct EvalContext {
  MemPool* pool;                    // memory of the values an evaluation returns
  ErrorHeader* errors;              // diagnostics of the statement being executed
  int error;                        // 0, or -1 once an error was raised
  SQL_TIMESTAMP_STRUCT start_time;  // local time the statement's execution started
  const char* user;                 // the connection's UID (null when absent)
  const char* database;             // the answer of DATABASE()
  int odbc_version;                 // 2 or 3: the date and time type codes reported
  EvalCallback evaluate;            // evaluator for unevaluated arguments
  ReadLongCallback read_long;       // reader of long values (null: long values refused)
  void* statement;                  // the executing statement (opaque here)
  EvalHooks hooks;                  // executor services (columns, parameters, subqueries)
  EvalState* state;                 // per-node caches (driver/sql/eval.h); null: no caching
};

// Raises an error: posts it (origin "ODBC3.0") on the context's header, marks the context,
// and returns null so evaluators can `return eval_error(...)`.
QuillValue* eval_error(EvalContext* context, const char* sqlstate, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
