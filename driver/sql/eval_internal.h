// Declarations shared by the evaluator's units (eval_expr, eval_function, eval_walk,
// eval_compare, eval_arith, eval_predicates); not part of the evaluator's public interface
// (driver/sql/eval.h).
#pragma once

#include <string>

#include "driver/sql/eval.h"

// Evaluates one node (never in walk mode): a new value, or null after an error.
QuillValue* eval_node(const Node* node, EvalContext* context, int flags);

// A new non-NULL value holding truth `truth`; null after raising a memory error.
QuillValue* new_truth_value(EvalContext* context, int truth);
// A new NULL value of `kind`; null after raising a memory error.
QuillValue* new_null_value(EvalContext* context, int32_t kind);
// A new empty value; null after raising HY001 "Memory allocation error".
QuillValue* new_value(EvalContext* context);
// A new character value holding `length` bytes of `text`; null after a memory error.
QuillValue* new_text_value(EvalContext* context, const char* text, size_t length);
// Raises HY001 "Memory allocation error"; returns null.
QuillValue* memory_error(EvalContext* context);
// Marks the context failed after a support routine returned -1 having posted its error.
QuillValue* support_failed(EvalContext* context);
// The text of a character value (long text read through context->read_long). False after
// raising "Extract from LONG VARCHAR error"; non-character kinds give their text form.
bool value_text(EvalContext* context, const QuillValue* value, std::string* out);

// A scalar function call, TRIM and the SQL-syntax forms included (eval_function.cpp).
QuillValue* eval_function(const FunctionNode* node, EvalContext* context, int flags);
// Walk mode (eval_walk.cpp): hands column references and set-function arguments to `visitor`.
void walk_expression(const Node* node, EvalVisitor visitor, void* argument);

// Predicates (eval_predicates.cpp); each returns a new truth value or null after an error.
QuillValue* eval_logical(const OperatorNode* node, EvalContext* context, int flags);
QuillValue* eval_is_null(const IsNullNode* node, EvalContext* context, int flags);
QuillValue* eval_like(const LikeNode* node, EvalContext* context, int flags);
QuillValue* eval_in(const InNode* node, EvalContext* context, int flags);
QuillValue* eval_exists(const ExistsNode* node, EvalContext* context, int flags);
QuillValue* eval_quantified(const QuantifiedNode* node, EvalContext* context, int flags);
// `left op (query)`: the single row's first column compared with the left value.
QuillValue* eval_subquery_comparison(const OperatorNode* node, EvalContext* context, int flags);
// A subquery used as a value: its only row's first column (NULL without a row).
QuillValue* eval_subquery_value(const Node* query, EvalContext* context);

// True for the query nodes a subquery can be (115, 122, 123).
bool is_query_node(const Node* node);
