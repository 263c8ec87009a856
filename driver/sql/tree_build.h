// Tree building for the grammar's reduce actions: node allocation, qualified names and link
// names, literal conversion, function-call resolution and the rewrites the parser applies
// (NOT pushed into predicates, BETWEEN, OVERLAPS, IIF, CONVERT). Every builder returns null
// after writing an error message into the parse (or on memory exhaustion, with no message:
// the grammar then reports "memory exhausted").
#pragma once

#include "driver/sql/nodes.h"
#include "driver/sql/scanner.h"

// Up to three leading qualifier parts of a dotted name; null entries are empty parts.
struct NamePrefix {
  NameNode* parts[3];  // in written order
  int count;           // parts present (more than three is an error when the name is built)
};

// A zeroed node of `size` bytes with `kind`, from the parse's pool.
void* build_node(ParseState* state, size_t size, int32_t kind);
// Appends `data` to `list`; null on memory failure.
ListNode* build_append(ParseState* state, ListNode* list, void* data);
// Adds one part (null for an empty part) to `prefix` (null starts a new one).
NamePrefix* build_prefix(ParseState* state, NamePrefix* prefix, NameNode* part);
// Table name from an optional prefix and the last part.
TableNameNode* build_table_name(ParseState* state, NamePrefix* prefix, NameNode* last);
// Column reference from an optional prefix and the column (null for `prefix.*`).
ColumnRefNode* build_column_ref(ParseState* state, NamePrefix* prefix, NameNode* column);
// Operator node of `op_class` and `op`.
Node* build_operator(ParseState* state, int32_t op_class, int32_t op, Node* left, Node* right);
// Rewrites `condition` to its negation (AND/OR exchanged, comparisons inverted, NOT flags
// of EXISTS, LIKE, IS NULL, IN and quantified comparisons toggled). Returns it, or null when
// memory for the walk ran out.
Node* negate_condition(Node* condition);
// a [NOT] BETWEEN b AND c as comparisons.
Node* build_between(ParseState* state, Node* a, Node* b, Node* c, bool negated);
// ( values ) OVERLAPS ( values ) as pairwise (a >= b) AND (a <= b).
Node* build_overlaps(ParseState* state, ListNode* left, ListNode* right);
// IIF ( test , a , b ) as CASE; a value test becomes test <> 0.
Node* build_iif(ParseState* state, Node* test, bool test_is_condition, Node* a, Node* b);
// A literal of `value_kind` from token `text` (converted and checked per kind).
LiteralNode* build_literal(ParseState* state, int32_t value_kind, const char* text);
// Exact numeric from its integer and fraction digit texts (either may be null).
LiteralNode* build_exact_number(ParseState* state, const char* whole, const char* fraction,
                                bool point);
// Interval literal from the sign, the value text and the qualifier node (140 or 141).
LiteralNode* build_interval(ParseState* state, int sign, const char* value_text, Node* qualifier);
// Interval qualifier from a start field and an optional end field; null (syntax error)
// for a combination that is not a qualifier.
Node* build_interval_qualifier(ParseState* state, IntervalFieldNode* start, IntervalFieldNode* end);
// SQL type code of an interval qualifier node (101..113).
int32_t interval_qualifier_type(const Node* qualifier);
// Data type node.
DataTypeNode* build_data_type(ParseState* state, int32_t sql_type, int32_t length, int32_t scale,
                              const char* written_name);
// Named function call (`{fn name(...)}`, `name(...)` and keyword forms); CONVERT becomes CAST.
Node* build_function_call(ParseState* state, const char* name, ListNode* arguments);
// SQL-syntax function form with its negative number.
Node* build_syntax_function(ParseState* state, int32_t number, const char* name,
                            ListNode* arguments);
// Set function; with DISTINCT the operand must be a column reference.
Node* build_set_function(ParseState* state, int32_t function, bool distinct, Node* operand);
// Two-element argument pair node.
Node* build_arg_pair(ParseState* state, Node* first, Node* second);
// Parses a decimal integer token text into `out`; false when out of 32-bit range.
bool token_to_int(const char* text, int32_t* out);
// Integer token value, or null (syntax error) when out of range.
bool build_small_int(ParseState* state, const char* text, int32_t* out);
// Pool string concatenation of up to five pieces (null pieces are skipped).
const char* build_concat(ParseState* state, const char* a, const char* b, const char* c = nullptr,
                         const char* d = nullptr, const char* e = nullptr);

// The common forms (tree_build_forms.cpp).
// A name spelled as the keyword `spelling` (upper case, unquoted).
NameNode* build_keyword_name(ParseState* state, const char* spelling);
// True when `name` is the unquoted word `word` (or `other`); otherwise a syntax error.
bool build_expect_word(ParseState* state, const NameNode* name, const char* word,
                       const char* other);
// True for a bare NULL literal.
bool is_null_literal(const Node* node);
// One row of a VALUES list as a query specification without FROM; the first row names its
// columns COLUMN1, COLUMN2, ...
Node* build_values_row(ParseState* state, ListNode* values, bool first_row);
// True when `row` has as many values as the first of `rows`; otherwise false after a message.
bool build_values_row_fits(ParseState* state, ListNode* rows, Node* row);
// The rows of a VALUES list as UNION ALL, balanced so that a long list nests only as deep as
// its logarithm; the rows keep their order.
Node* build_values_table(ParseState* state, ListNode* rows);
