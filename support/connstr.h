// Connection attribute sets: the key/value pairs of a connection string and of a
// data source, in the order given, with keys compared without regard to (ASCII) case.
//
// Connection-string syntax (ODBC): pairs "KEY=value" separated by ';'. A value may be
// enclosed in braces, "{...}", and may then hold ';', '=' and blanks; inside braces
// "}}" stands for one '}'. Blanks around keys are dropped, and around a value outside
// its braces; a braced value is kept exactly. Blanks are space, tab, CR, LF, VT and FF.
// Empty segments (";;") are skipped.
#pragma once

#include "support/list.h"
#include "support/memory.h"

struct ConnAttrPair {
  char* key;    // as first given, trimmed; never empty
  char* value;  // never null ("" for an empty value)
};

struct ConnAttrSet {
  MemPool* pool;    // storage of the pairs and list nodes
  ListNode* pairs;  // ConnAttrPair*, in order of insertion
};

// Makes `set` empty, taking its storage from `pool` from now on.
void init_con_str(ConnAttrSet* set, MemPool* pool);
// Removes every pair (returning their storage to the set's pool).
void clear_con_str(ConnAttrSet* set);

// Parses `text` of `length` bytes (SQL_NTS, -3, for NUL-terminated; parsing also stops
// at a NUL). For each pair, in order, `callback(context, key, value)` runs first when
// not null; a non-zero result skips the pair. Pairs not skipped are appended to `owner`
// (when not null) unless it already holds the key: the first occurrence of a key wins.
// The whole string is checked before any callback runs or any pair is added, so a
// malformed string leaves `owner` untouched. Returns 0 on success; -1 when the string
// is malformed (an unterminated brace, a pair without '=', an empty key, or anything
// but blanks between a closing brace and the next ';'), or `length` is negative and
// not SQL_NTS; -2 when memory runs out (pairs added before that stay).
int parse_connection_string(const char* text,
                            int (*callback)(void* context, const char* key, const char* value),
                            void* context, int length, ConnAttrSet* owner);

// The value of `key` (without regard to case), or null when absent.
const char* get_attribute_value(const ConnAttrSet* set, const char* key);

// Adds `key` = `value` (null value counts as ""), or replaces the value when the set
// holds the key already (without regard to case; the pair keeps its place and its key
// spelling). Blanks around `key` are dropped. Storage comes from the set's pool; `pool`
// is used only when the set has none (and becomes the set's pool). Returns 0, or -1
// when the key is empty or holds '=' or ';' (it could not be written out), or memory
// runs out.
int append_pair(ConnAttrSet* set, const char* key, const char* value, MemPool* pool);

// Removes the pair of `key` (without regard to case). Returns 0, or -1 when absent.
int remove_pair(ConnAttrSet* set, const char* key);

// Number of pairs.
int count_pairs(const ConnAttrSet* set);

// Writes the set as "K=V;K=V" (no trailing ';'). A value is braced when it holds ';',
// '{', '}' or '=' or starts or ends with a blank; '}' inside braces is doubled. At most size - 1
// bytes are stored, cut at a UTF-8 character boundary, always NUL-terminated when size > 0 (buffer
// may be null with size 0). Returns the full length of the string (so a result >= size means
// truncation). parse_connection_string(generate_connection_string(set)) gives back the same set.
int generate_connection_string(const ConnAttrSet* set, char* buffer, int size);
