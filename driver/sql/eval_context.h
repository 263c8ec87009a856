// The evaluation context every expression evaluation and scalar function call
// runs in: where values are allocated, where errors go, the instant the
// statement's execution started, and a way back into the evaluator for
// arguments that are passed unevaluated.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdarg>
#include <string>

#include "support/diag.h"
#include "support/memory.h"
#include "support/value.h"

struct EvalContext;

// Evaluates an expression node for a function that takes its argument unevaluated; a new
// value owned by the caller, or null after an error was raised.
using EvalCallback = QuillValue* (*)(EvalContext* context, const void* expression);
// Reads a LONG VARCHAR or LONG VARBINARY value whole into `out`; false on a read failure.
using ReadLongCallback = bool (*)(EvalContext* context, const QuillValue* value, std::string* out);

struct EvalContext {
  MemPool* pool;                     // memory of the values an evaluation returns
  ErrorHeader* errors;               // diagnostics of the statement being executed
  int error;                         // 0, or -1 once an error was raised
  SQL_TIMESTAMP_STRUCT start_time;   // local time the statement's execution started
  const char* user;                  // the connection's UID (null when absent)
  const char* database;              // the answer of DATABASE()
  int odbc_version;                  // 2 or 3: the date and time type codes reported
  EvalCallback evaluate;             // evaluator for unevaluated arguments
  ReadLongCallback read_long;        // reader of long values (null: long values refused)
  void* statement;                   // the executing statement (opaque here)
};

// Raises an error: posts it (origin "ODBC3.0") on the context's header, marks the context,
// and returns null so evaluators can `return eval_error(...)`.
QuillValue* eval_error(EvalContext* context, const char* sqlstate, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
