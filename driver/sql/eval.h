// The expression evaluator: computes the value of one parse-tree expression (driver/sql/nodes.h)
// for the current row with three-valued logic, the comparison and arithmetic operators,
// LIKE, IS NULL, IN, EXISTS, quantified and scalar subquery comparisons, CASE, NULLIF,
// COALESCE, literals and special values, dynamic parameters, column references, set-function
// values and scalar function calls.
//
// Stand-alone use (a parsed expression, no statement around it). Literals, operators, CASE,
// NULLIF, COALESCE, CAST and scalar functions need no validation. The parser yields a value
// expression as the first select item of "SELECT <expression> FROM t" (statement 113 whose
// `query` is a QuerySpecNode) and a predicate as the `where` of "SELECT 1 FROM t WHERE <p>"
// (predicates are not value expressions in the grammar; NOT is pushed into them).
//
//   MemPool* pool = quill_mem_alloc_handle(nullptr);
//   ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
//   EvalContext context{};
//   eval_context_prepare(&context, pool, errors);     // start time = now, evaluator linked
//   QuillValue* value = eval_expr(expression, &context, nullptr, nullptr, 0);
//   if (value == nullptr) { /* context.error is -1; the diagnostic is on `errors` */ }
//   ...
//   release_value(pool, value);
//
// Without hooks, column references raise "Data Read Error", parameters "Parameter not bound",
// set functions and subqueries their own errors. An executor fills context->hooks
// (driver/sql/eval_context.h): the subquery hooks are called on every evaluation of a
// subquery predicate, and the open hook says whether the rows had to be computed again. To
// let IN subqueries answer from their value set between rows, the executor also gives the
// context an EvalState (eval_state_create) and resets it for each new execution.
//
// Errors: every evaluation error is posted on context->errors (origin "ODBC3.0"), sets
// context->error to -1 and makes the evaluating call return null (or -1).
//
// Truth values are VALUE_INTEGER values holding TRUTH_FALSE, TRUTH_TRUE or TRUTH_UNKNOWN
// (support/value.h); read them with get_trivalue_from_value.
#pragma once

#include <vector>

#include "driver/sql/eval_context.h"
#include "driver/sql/nodes.h"
#include "support/value.h"

// Evaluation flags (bits).
enum EvalFlag : int {
  EVAL_SEARCH = 1,    // search condition: AND stops after a left side that is not TRUE
  EVAL_CHECK = 2,     // restriction checks and stand-alone evaluation
  EVAL_CONSTANT = 4,  // LIKE and IS NULL give a NULL value without looking at their operands
};

// Receives, in walk mode, every column reference and the argument of every set function.
using EvalVisitor = void (*)(const Node* node, void* argument);

// Per-statement caches of the evaluator (the value sets of IN subqueries), keyed by node.
struct EvalState;

// Links `context` to `pool` and `errors` with everything else cleared: start time is the
// local time now, odbc_version 3, context->evaluate the evaluator, no hooks, no state.
void eval_context_prepare(EvalContext* context, MemPool* pool, ErrorHeader* errors);

// Evaluates `expression`: a new value on context->pool owned by the caller (release_value),
// or null after an error. A null expression gives a non-NULL empty value whose indicator
// is 1. With a `visitor` nothing is computed: the walk mode hands every column reference
// and every set function's argument (not entering subqueries) to the visitor and returns
// null without an error.
QuillValue* eval_expr(const Node* expression, EvalContext* context, EvalVisitor visitor,
                      void* visitor_argument, int flags);

// Evaluates a condition in search mode with its own error boundary: 1 when it is TRUE,
// 0 when FALSE or UNKNOWN, -1 after an error (posted, context->error -1).
int eval_predicate(const Node* condition, EvalContext* context, int flags);

// Evaluates an expression with its own error boundary (context->error is cleared first):
// a new value, or null after an error (posted, context->error -1).
QuillValue* eval_expression_guarded(const Node* expression, EvalContext* context, int flags);

// The EvalCallback the scalar functions use for their unevaluated arguments.
QuillValue* eval_callback(EvalContext* context, const void* expression);

// A cache holder whose memory comes from a child of `parent`; null on memory failure.
EvalState* eval_state_create(MemPool* parent);
// Forgets every cached answer (a new execution of the statement begins).
void eval_state_reset(EvalState* state);
// Frees the state and its caches; null is ignored.
void eval_state_free(EvalState* state);

// Compares two values with comparison operator `op` (OP_LESS .. OP_NOT_EQUAL): a truth
// value, or -1 after raising the error (unsupported kinds, invalid temporal texts).
int compare_operands(EvalContext* context, const QuillValue* left, const QuillValue* right, int op);

// Applies arithmetic operator `op` (OP_ADD, OP_SUBTRACT, OP_CONCAT, OP_MULTIPLY, OP_DIVIDE;
// OP_NEGATE with `right` null): a new value on context->pool, or null after an error.
QuillValue* arithmetic_operation(EvalContext* context, const QuillValue* left,
                                 const QuillValue* right, int op);

// Compiles a LIKE pattern value (NULL patterns compile to a program that matches nothing)
// with the escape of `escape` (null or empty: backslash) into `program`. False after
// raising the error of a pattern ending in its escape ("Error in parameterised like" when
// `parameter` says the pattern came from a dynamic parameter).
bool like_compile_value(EvalContext* context, const QuillValue* pattern, const QuillValue* escape,
                        bool parameter, std::vector<unsigned char>* program);

// Matches `value` against a program of like_compile_value: TRUTH_TRUE, TRUTH_FALSE,
// TRUTH_UNKNOWN for a NULL value, or -1 after a long-text read error.
int like_match_value(EvalContext* context, const std::vector<unsigned char>& program,
                     const QuillValue* value);
