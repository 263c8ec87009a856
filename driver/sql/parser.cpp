// The parse entry point: prepares the SQL text (length limit, control characters, trailing
// blanks and ';'), runs the scanner and grammar over it in a per-parse state, settles the
// shape of each statement (AND/OR runs rebalanced, nesting and size held to their limits)
// and hands the statement list to the caller's context.
#include "driver/sql/parser.h"

#include <cstdio>
#include <cstring>

#include "driver/sql/scanner.h"
#include "driver/sql/tree_shape.h"

// Defined by the generated grammar.
int sql_run_grammar(ParseState* state);

namespace {

bool is_control(unsigned char c) {
  return c < 0x20 || c == 0x7f;
}
bool is_trailing_junk(char c) {
  return c == ' ' || c == ';';
}

// Rebalances the long AND/OR runs of every statement and holds each to the nesting and size
// limits, so that no later walk of the tree can exhaust a thread's stack or run away.
// False with the context's message written.
bool check_shape(ParseContext* context, ListNode* statements) {
  for (ListNode* at = statements; at; at = at->next) {
    TreeMeasure measure{};
    if (!tree_shape_statement(static_cast<Node*>(at->data), &measure)) {
      std::snprintf(context->message, PARSE_MESSAGE_SIZE, "memory exhausted");
    } else if (measure.expanded > TREE_EXPANDED_LIMIT) {
      std::snprintf(context->message, PARSE_MESSAGE_SIZE,
                    "statement too complex: more than %lld nodes once the operands BETWEEN "
                    "repeats are counted; simplify it",
                    static_cast<long long>(TREE_EXPANDED_LIMIT));
    } else if (measure.nesting > NESTING_WEIGHT_LIMIT) {
      std::snprintf(context->message, PARSE_MESSAGE_SIZE,
                    "statement nested too deeply: nesting %lld, limit %d (an expression level "
                    "counts %d, a subquery or join %d); simplify or split it",
                    static_cast<long long>(measure.nesting), NESTING_WEIGHT_LIMIT,
                    NESTING_EXPRESSION_WEIGHT, NESTING_QUERY_WEIGHT);
    } else {
      continue;
    }
    return false;
  }
  return true;
}

}  // namespace

ParseContext* parse_context_create(MemPool* parent) {
  MemPool* pool = quill_mem_alloc_handle(parent);
  if (!pool) return nullptr;
  auto* context = static_cast<ParseContext*>(quill_mem_alloc(pool, sizeof(ParseContext)));
  if (!context) {
    quill_mem_release_handle(pool);
    return nullptr;
  }
  context->pool = pool;
  return context;
}

void parse_context_free(ParseContext* context) {
  if (context) quill_mem_release_handle(context->pool);
}

int sql_parse(ParseContext* context, char* text) {
  if (!context) return -1;
  context->statements = nullptr;
  context->parameter_count = 0;
  context->message[0] = '\0';
  ParseState state;
  if (!text) text = const_cast<char*>("");
  // One walk: skip leading blanks, blank out control characters, find the end.
  size_t length = 0;
  while (length < static_cast<size_t>(PARSE_TEXT_LIMIT) && text[length] != '\0') {
    if (is_control(static_cast<unsigned char>(text[length]))) text[length] = ' ';
    ++length;
  }
  scan_begin(&state, context, text, 0);
  if (length >= static_cast<size_t>(PARSE_TEXT_LIMIT)) {
    scan_report_near(&state, "Parser limit exceeded (length)", "", 0);
    return 1;
  }
  size_t start = 0;
  while (start < length && text[start] == ' ') ++start;
  while (length > start && is_trailing_junk(text[length - 1])) --length;
  scan_begin(&state, context, text + start, length - start);
  int result = sql_run_grammar(&state);
  if (result != 0 || state.failed) {
    if (!state.failed) scan_report(&state, "syntax error");
    return result != 0 ? result : 1;
  }
  if (!check_shape(context, state.statements)) return 1;
  context->statements = state.statements;
  context->parameter_count = state.parameter_count;
  return 0;
}

ListNode* parse_statements(const ParseContext* context) {
  return context ? context->statements : nullptr;
}

int32_t parse_parameter_count(const ParseContext* context) {
  return context ? context->parameter_count : 0;
}

const char* parse_message(const ParseContext* context) {
  return context ? context->message : "";
}

MemPool* parse_pool(const ParseContext* context) {
  return context ? context->pool : nullptr;
}
