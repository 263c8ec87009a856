// Entry point of the SQL parser: turns one SQL text (statements separated by ';') into a list
// of parse-tree nodes (driver/sql/nodes.h). Every parse keeps its whole state in its own
// context, so parses of different statements run concurrently without a process-wide lock.
#pragma once

#include <cstdint>

#include "driver/sql/nodes.h"
#include "support/memory.h"

// Size of the context's message buffer (a message is cut to 254 characters).
constexpr int PARSE_MESSAGE_SIZE = 256;
// Longest SQL text accepted, in characters, plus one.
constexpr long PARSE_TEXT_LIMIT = 0x100000 + 1;

// One parse: the result, the pool every node and token copy comes from, and the error text.
struct ParseContext {
  MemPool* pool;                     // own pool (child of the creator's), freed with the context
  ListNode* statements;              // statement nodes of the last successful parse, else null
  int32_t parameter_count;           // `?` markers seen by the last parse
  char message[PARSE_MESSAGE_SIZE];  // "<message> near '<token>'" after a failed parse
};

// Makes a context with its own pool, a child of `parent` (may be null). Null on memory failure.
ParseContext* parse_context_create(MemPool* parent);
// Releases the context, its pool and with it every node of every parse made with it.
void parse_context_free(ParseContext* context);
// Parses `text` (NUL-terminated; control characters in it are overwritten with blanks).
// Long runs of AND and OR come out rebalanced, and a statement nested deeper than the
// engine's limit (tree_shape.h) is refused, so every later walk of the tree is bounded.
// Returns 0 on success (statements in the context) and non-zero on failure (message set).
int sql_parse(ParseContext* context, char* text);
// Statement nodes of the last successful parse, in text order (null when empty or failed).
ListNode* parse_statements(const ParseContext* context);
// Number of `?` markers of the last parse.
int32_t parse_parameter_count(const ParseContext* context);
// Error text of the last failed parse ("" after a success).
const char* parse_message(const ParseContext* context);
// The pool of the context (nodes are allocated from it).
MemPool* parse_pool(const ParseContext* context);
