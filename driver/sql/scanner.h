// The SQL scanner: splits one prepared SQL text into tokens for the grammar. Hand-written and
// reentrant: all of its state lives in the per-parse ParseState, so parses never share state.
//
// Token classes: regular and delimited names (a name directly followed by '.' or '!' is a
// QUALIFIER and turns keyword recognition off for the next word), keywords (binary search in
// the sorted keyword table), strings, #...# literals, integers, approximate numbers, hex and
// bit strings, '?' markers (numbered in text order), the ODBC escape openers and operators.
// After INTERVAL (or {INTERVAL) followed by a quote or sign the interval value is scanned in
// its own modes, and DAY is a keyword only inside interval qualifiers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/sql/nodes.h"
#include "driver/sql/parser.h"

// Semantic value the scanner gives a token.
struct ScanValue {
  NameNode* name;    // IDENTIFIER and QUALIFIER: the name (pool copy)
  const char* text;  // literal tokens: the token text (strings unquoted), pool copy;
                     // keywords: their upper-case spelling (static)
  int32_t number;    // '?' and {?=call: the marker's 1-based number
};

// Whole state of one parse: scanner position and modes, result and error flag.
struct ParseState {
  ParseContext* context;       // caller's context (pool, message buffer, results)
  MemPool* pool;               // the context's pool: nodes and token copies
  const char* pos;             // next character to scan
  const char* end;             // end of the text (trailing blanks and ';' removed)
  int mode;                    // 0 INITIAL, 1 after INTERVAL before the quote, 2 inside it
  bool name_pending;           // next word is a name even if it spells a keyword
  bool in_interval_qualifier;  // between an interval value's closing quote and its end
  int qualifier_depth;         // parentheses open inside that qualifier
  int previous_token;          // token code of the last token returned (0 at the start)
  int before_previous_token;   // token code of the one before it
  const char* token_start;     // text of the last token read, for error messages
  size_t token_length;         // its length
  const char* before_start;    // text of the token before it, for the quoting hint
  size_t before_length;        // its length
  int32_t parameter_count;     // '?' markers scanned so far
  bool failed;                 // an error message has been written; keep the first one
  ListNode* statements;        // statement nodes collected by the grammar
};

// Prepares `state` to scan `text[0..length)` for `context`.
void scan_begin(ParseState* state, ParseContext* context, const char* text, size_t length);
// Returns the next token code (0 at the end) and fills `value`. A scanner error writes the
// message into the context and returns the grammar's error token.
int scan_next_token(ParseState* state, ScanValue* value);
// Writes "<message> near '<last token text>'" into the context (first error only).
void scan_report(ParseState* state, const char* message);
// As scan_report with the token text given explicitly.
void scan_report_near(ParseState* state, const char* message, const char* near, size_t length);
// A syntax error at a keyword that stands where a name could: "syntax error near '<last
// token>'", then how to write the keyword `word[0..length)` as a name.
void scan_report_keyword_as_name(ParseState* state, const char* word, size_t length);
// True for a token code of a keyword.
bool scan_is_keyword(int token);
// True for a keyword that shapes a statement (SELECT, FROM, AND, ...): never meant as a name.
bool scan_is_clause_word(int token);
// Upper-cases ASCII letters of `text` in place.
void scan_upper(char* text);
