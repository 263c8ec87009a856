// SQL text generator: prints parse trees (driver/sql/nodes.h) back as canonical SQL text,
// keywords in upper case, date-time literals as escape clauses, tokens padded with spaces.
// Serves SQLNativeSql, stored view definitions and queries handed on as text.
#pragma once

#include <cstddef>
#include <string>

#include "driver/sql/nodes.h"
#include "driver/sql/sqlgen_output.h"
#include "support/memory.h"

// Planner marks on a column reference (ColumnRefNode::mark) that SQL_PRINT_MARKED shows.
enum SqlColumnMark : int32_t {
  SQL_COLUMN_UNMARKED = 0,   // prints nothing after the column
  SQL_COLUMN_MARK_A = 1,     // prints "(A) " after the column
  SQL_COLUMN_MARK_STAR = 2,  // prints "(*) " after the column (as does any other non-zero mark)
};

// Prints `node` and everything below it through `out`; null prints nothing. Kinds the
// generator does not know print "<unexpected node type %x->%d>".
void sql_print_node(const Node* node, SqlOutput& out);
// Prints every statement of `statements` (Node* elements), "; " after each but the last.
void sql_print_statement_list(ListNode* statements, SqlOutput& out);

// The text of `node` collected in a growing buffer.
std::string sql_node_text(const Node* node, int mode = SQL_PRINT_PLAIN);
// The text of a statement list collected in a growing buffer.
std::string sql_statement_list_text(ListNode* statements, int mode = SQL_PRINT_PLAIN);
// Bytes the text of `node` takes (measuring pass only, nothing is stored).
size_t sql_node_text_length(const Node* node, int mode = SQL_PRINT_PLAIN);
// Bytes the text of a statement list takes.
size_t sql_statement_list_text_length(ListNode* statements, int mode = SQL_PRINT_PLAIN);
// Prints `node` into a NUL-terminated block of `pool` sized by a measuring first pass.
// Null on memory failure.
char* sql_node_text_in_pool(MemPool* pool, const Node* node, int mode = SQL_PRINT_PLAIN);
// Prints a statement list into `buffer` of `capacity` bytes, keeping only whole pieces
// that fit before the NUL (see SqlBufferSink). Returns the full length of the text;
// `*truncated` (when not null) tells whether anything was left out.
size_t sql_statement_list_into(ListNode* statements, char* buffer, size_t capacity, bool* truncated,
                               int mode = SQL_PRINT_PLAIN);
