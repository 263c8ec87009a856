// The SQL scanner (see scanner.h): token recognition over the prepared text, keyword lookup by
// binary search, token copies on the parse's pool and error messages of the parse.
#include "driver/sql/scanner.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "support/strbuf.h"

#include "grammar.tab.h"

namespace {

struct Keyword {
  const char* text;  // upper-case spelling
  int token;         // grammar token code
};

// Sorted by text (strcmp order) for the binary search.
constexpr Keyword kKeywords[] = {
    {"@@IDENTITY", TK_K_AT_IDENTITY},
    {"ADD", TK_K_ADD},
    {"ALL", TK_K_ALL},
    {"ALTER", TK_K_ALTER},
    {"AND", TK_K_AND},
    {"ANY", TK_K_ANY},
    {"AS", TK_K_AS},
    {"ASC", TK_K_ASC},
    {"AUTHORIZATION", TK_K_AUTHORIZATION},
    {"AUTOINCREMENT", TK_K_AUTOINCREMENT},
    {"AUTONUMBER", TK_K_AUTONUMBER},
    {"AUTO_INCREMENT", TK_K_AUTO_INCREMENT},
    {"AVG", TK_K_AVG},
    {"BETWEEN", TK_K_BETWEEN},
    {"BIGINT", TK_K_BIGINT},
    {"BINARY", TK_K_BINARY},
    {"BIT", TK_K_BIT},
    {"BIT_LENGTH", TK_K_BIT_LENGTH},
    {"BOTH", TK_K_BOTH},
    {"BY", TK_K_BY},
    {"BYTE", TK_K_BYTE},
    {"CASCADE", TK_K_CASCADE},
    {"CASE", TK_K_CASE},
    {"CAST", TK_K_CAST},
    {"CHAR", TK_K_CHAR},
    {"CHARACTER", TK_K_CHARACTER},
    {"CHARACTER_LENGTH", TK_K_CHARACTER_LENGTH},
    {"CHAR_LENGTH", TK_K_CHAR_LENGTH},
    {"CHECK", TK_K_CHECK},
    {"COALESCE", TK_K_COALESCE},
    {"COLUMN", TK_K_COLUMN},
    {"COMMIT", TK_K_COMMIT},
    {"CONSTRAINT", TK_K_CONSTRAINT},
    {"COUNT", TK_K_COUNT},
    {"COUNTER", TK_K_COUNTER},
    {"CREATE", TK_K_CREATE},
    {"CURRENT", TK_K_CURRENT},
    {"CURRENT_DATE", TK_K_CURRENT_DATE},
    {"CURRENT_TIME", TK_K_CURRENT_TIME},
    {"CURRENT_TIMESTAMP", TK_K_CURRENT_TIMESTAMP},
    {"CURRENT_USER", TK_K_CURRENT_USER},
    {"DATE", TK_K_DATE},
    {"DATETIME", TK_K_DATETIME},
    {"DAY", TK_K_DAY},
    {"DEC", TK_K_DEC},
    {"DECIMAL", TK_K_DECIMAL},
    {"DEFAULT", TK_K_DEFAULT},
    {"DELETE", TK_K_DELETE},
    {"DESC", TK_K_DESC},
    {"DISTINCT", TK_K_DISTINCT},
    {"DOUBLE", TK_K_DOUBLE},
    {"DROP", TK_K_DROP},
    {"ELSE", TK_K_ELSE},
    {"END", TK_K_END},
    {"ESCAPE", TK_K_ESCAPE},
    {"EXISTS", TK_K_EXISTS},
    {"FALSE", TK_K_FALSE},
    {"FETCH", TK_K_FETCH},
    {"FIRST", TK_K_FIRST},
    {"FLOAT", TK_K_FLOAT},
    {"FOR", TK_K_FOR},
    {"FOREIGN", TK_K_FOREIGN},
    {"FROM", TK_K_FROM},
    {"FULL", TK_K_FULL},
    {"GRANT", TK_K_GRANT},
    {"GROUP", TK_K_GROUP},
    {"HAVING", TK_K_HAVING},
    {"HOUR", TK_K_HOUR},
    {"IDENTITY", TK_K_IDENTITY},
    {"IIF", TK_K_IIF},
    {"IMAGE", TK_K_IMAGE},
    {"IN", TK_K_IN},
    {"INDEX", TK_K_INDEX},
    {"INNER", TK_K_INNER},
    {"INSERT", TK_K_INSERT},
    {"INT", TK_K_INTEGER},
    {"INTEGER", TK_K_INTEGER},
    {"INTERVAL", TK_K_INTERVAL},
    {"INTO", TK_K_INTO},
    {"IS", TK_K_IS},
    {"JOIN", TK_K_JOIN},
    {"KEY", TK_K_KEY},
    {"LAST", TK_K_LAST},
    {"LEADING", TK_K_LEADING},
    {"LEFT", TK_K_LEFT},
    {"LIKE", TK_K_LIKE},
    {"LIMIT", TK_K_LIMIT},
    {"LONG", TK_K_LONG},
    {"LONGBLOB", TK_K_LONGBLOB},
    {"LONGCHAR", TK_K_LONGCHAR},
    {"LOWER", TK_K_LOWER},
    {"MAX", TK_K_MAX},
    {"MEDIUMBLOB", TK_K_MEDIUMBLOB},
    {"MEMO", TK_K_MEMO},
    {"MIDDLEINT", TK_K_MIDDLEINT},
    {"MIN", TK_K_MIN},
    {"MINUTE", TK_K_MINUTE},
    {"MONTH", TK_K_MONTH},
    {"NATURAL", TK_K_NATURAL},
    {"NO", TK_K_NO},
    {"NOT", TK_K_NOT},
    {"NULL", TK_K_NULL},
    {"NULLIF", TK_K_NULLIF},
    {"NUMERIC", TK_K_NUMERIC},
    {"OCTET_LENGTH", TK_K_OCTET_LENGTH},
    {"OF", TK_K_OF},
    {"OFFSET", TK_K_OFFSET},
    {"ON", TK_K_ON},
    {"OPTION", TK_K_OPTION},
    {"OR", TK_K_OR},
    {"ORDER", TK_K_ORDER},
    {"OUTER", TK_K_OUTER},
    {"OVERLAPS", TK_K_OVERLAPS},
    {"POSITION", TK_K_POSITION},
    {"PRECISION", TK_K_PRECISION},
    {"PRIMARY", TK_K_PRIMARY},
    {"PRIVILEGES", TK_K_PRIVILEGES},
    {"PUBLIC", TK_K_PUBLIC},
    {"REAL", TK_K_REAL},
    {"REFERENCES", TK_K_REFERENCES},
    {"RESTRICT", TK_K_RESTRICT},
    {"REVOKE", TK_K_REVOKE},
    {"RIGHT", TK_K_RIGHT},
    {"ROLLBACK", TK_K_ROLLBACK},
    {"SECOND", TK_K_SECOND},
    {"SELECT", TK_K_SELECT},
    {"SET", TK_K_SET},
    {"SIGNED", TK_K_SIGNED},
    {"SMALLINT", TK_K_SMALLINT},
    {"SOME", TK_K_SOME},
    {"SUBSTRING", TK_K_SUBSTRING},
    {"SUM", TK_K_SUM},
    {"TABLE", TK_K_TABLE},
    {"TEXT", TK_K_TEXT},
    {"THEN", TK_K_THEN},
    {"TIME", TK_K_TIME},
    {"TIMESTAMP", TK_K_TIMESTAMP},
    {"TINYBLOB", TK_K_TINYBLOB},
    {"TINYINT", TK_K_TINYINT},
    {"TO", TK_K_TO},
    {"TOP", TK_K_TOP},
    {"TRAILING", TK_K_TRAILING},
    {"TRIM", TK_K_TRIM},
    {"TRUE", TK_K_TRUE},
    {"UNION", TK_K_UNION},
    {"UNIQUE", TK_K_UNIQUE},
    {"UNSIGNED", TK_K_UNSIGNED},
    {"UPDATE", TK_K_UPDATE},
    {"UPPER", TK_K_UPPER},
    {"USER", TK_K_USER},
    {"USING", TK_K_USING},
    {"VALUE", TK_K_VALUE},
    {"VALUES", TK_K_VALUES},
    {"VARBINARY", TK_K_VARBINARY},
    {"VARCHAR", TK_K_VARCHAR},
    {"VARYING", TK_K_VARYING},
    {"VIEW", TK_K_VIEW},
    {"WHEN", TK_K_WHEN},
    {"WHERE", TK_K_WHERE},
    {"WITH", TK_K_WITH},
    {"WORK", TK_K_WORK},
    {"YEAR", TK_K_YEAR},
    {"YES", TK_K_YES},
};
constexpr size_t kKeywordCount = sizeof kKeywords / sizeof kKeywords[0];
static_assert(kKeywordCount == 163, "keyword table size");
constexpr size_t kLongestKeyword = 17;  // CURRENT_TIMESTAMP

// The keyword spelled `upper`, or null.
const Keyword* find_keyword(const char* upper) {
  size_t low = 0, high = kKeywordCount;
  while (low < high) {
    size_t mid = (low + high) / 2;
    int order = std::strcmp(upper, kKeywords[mid].text);
    if (order == 0) return &kKeywords[mid];
    if (order < 0)
      high = mid;
    else
      low = mid + 1;
  }
  return nullptr;
}

bool is_letter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
bool is_hex_digit(char c) {
  return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool is_word_char(char c) {
  return is_letter(c) || is_digit(c) || c == '@' || c == '_';
}
bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
char upper_of(char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

// Case-insensitive test that `word` starts at `p` (within `end`) and is not followed by a word
// character.
bool word_at(const char* p, const char* end, const char* word) {
  size_t n = std::strlen(word);
  if (static_cast<size_t>(end - p) < n) return false;
  for (size_t i = 0; i < n; ++i)
    if (upper_of(p[i]) != word[i]) return false;
  return p + n == end || !is_word_char(p[n]);
}

bool is_field_token(int token) {
  return token == TK_K_YEAR || token == TK_K_MONTH || token == TK_K_DAY || token == TK_K_HOUR ||
         token == TK_K_MINUTE || token == TK_K_SECOND;
}

NameNode* make_name(ParseState* state, const char* text, size_t length, bool quoted) {
  auto* name = static_cast<NameNode*>(newNode(sizeof(NameNode), NODE_NAME, state->pool));
  if (!name) return nullptr;
  char* copy = quill_mem_strdup(state->pool, text, static_cast<ptrdiff_t>(length));
  if (!copy) return nullptr;
  if (!quoted) scan_upper(copy);
  name->text = copy;
  name->quoted = quoted ? 1 : 0;
  return name;
}

// Copies a quoted body, making each doubled `quote` one.
char* copy_unquoted(ParseState* state, const char* body, size_t length, char quote) {
  auto* out = static_cast<char*>(quill_mem_alloc(state->pool, length + 1));
  if (!out) return nullptr;
  size_t n = 0;
  for (size_t i = 0; i < length; ++i) {
    out[n++] = body[i];
    if (body[i] == quote) ++i;  // the second of a doubled pair
  }
  out[n] = '\0';
  return out;
}

// After INTERVAL or {INTERVAL: does an interval value (quote, optionally after a sign) follow?
bool interval_value_follows(const char* p, const char* end) {
  while (p < end && is_blank(*p)) ++p;
  if (p < end && (*p == '+' || *p == '-')) {
    ++p;
    while (p < end && is_blank(*p)) ++p;
  }
  return p < end && *p == '\'';
}

constexpr int kOutOfMemory = -2;

// FROM is a column name (`SELECT from, to FROM ...`, `WHERE x = from`) where no FROM clause or
// FROM of a function can stand: after an operator, a '(' or a word that wants an operand, or
// before what only follows an operand (a ',', a comparison, a ')', AS, IS, ORDER, ...), or at
// the end of the text after a ','. A printed statement reads back the same way.
bool from_is_name(const ParseState* state) {
  static constexpr int kWantsOperand[] = {
      '=',     '<',     '>',       '+',       '-',       '/',         TK_LE,
      TK_GE,   TK_NE,   TK_CONCAT, TK_K_AND,  TK_K_OR,   TK_K_NOT,    TK_K_WHERE,
      TK_K_BY, TK_K_ON, TK_K_WHEN, TK_K_THEN, TK_K_ELSE, TK_K_HAVING, TK_K_BETWEEN};
  for (int token : kWantsOperand)
    if (state->previous_token == token) return true;
  // After '(' only TRIM ( FROM x ) has the keyword.
  if (state->previous_token == '(' && state->before_previous_token != TK_K_TRIM) return true;
  const char* p = state->pos;
  while (p < state->end && is_blank(*p)) ++p;
  if (p == state->end) return state->previous_token == ',';
  char c = *p;
  if (c == ',' || c == '=' || c == '<' || c == '>' || c == '!' || c == ')') return true;
  if (!is_letter(c)) return false;
  // Words that can neither name a table nor begin an operand follow only an operand.
  char upper[kLongestKeyword + 1];
  size_t length = 0;
  while (p + length < state->end && is_word_char(p[length]) && length < kLongestKeyword) {
    upper[length] = upper_of(p[length]);
    ++length;
  }
  if (p + length < state->end && is_word_char(p[length])) return false;  // longer than any
  upper[length] = '\0';
  const Keyword* next = find_keyword(upper);
  if (!next) return false;
  static constexpr int kAfterOperand[] = {
      TK_K_FROM, TK_K_AS,   TK_K_IS,    TK_K_LIKE,  TK_K_BETWEEN, TK_K_IN,    TK_K_NOT,
      TK_K_AND,  TK_K_OR,   TK_K_ORDER, TK_K_GROUP, TK_K_HAVING,  TK_K_UNION, TK_K_WHERE,
      TK_K_ASC,  TK_K_DESC, TK_K_THEN,  TK_K_ELSE,  TK_K_END,     TK_K_WHEN};
  for (int token : kAfterOperand)
    if (next->token == token) return true;
  return false;
}

// Scans a word starting at state->pos (a letter or '@').
int scan_word(ParseState* state, ScanValue* value) {
  const char* p = state->pos;
  const char* word = p;
  while (p < state->end && is_word_char(*p)) ++p;
  size_t length = static_cast<size_t>(p - word);
  state->pos = p;
  if (p < state->end && (*p == '.' || *p == '!')) {
    value->name = make_name(state, word, length, false);
    return value->name ? TK_QUALIFIER : kOutOfMemory;
  }
  // LEFT$ and RIGHT$ are the LEFT and RIGHT functions.
  bool dollar =
      p < state->end && *p == '$' &&
      ((length == 4 && word_at(word, p, "LEFT")) || (length == 5 && word_at(word, p, "RIGHT")));
  if (dollar) state->pos = p + 1;
  if (!state->name_pending && length <= kLongestKeyword) {
    char upper[kLongestKeyword + 1];
    for (size_t i = 0; i < length; ++i) upper[i] = upper_of(word[i]);
    upper[length] = '\0';
    const Keyword* keyword = find_keyword(upper);
    int token = keyword ? keyword->token : 0;
    // The spelling goes with the token: a keyword the grammar accepts as a name needs it.
    if (keyword) value->text = keyword->text;
    if (token == TK_K_FROM && from_is_name(state)) token = TK_K_FROM_NAME;
    if (token == TK_K_DAY && !state->in_interval_qualifier &&
        state->previous_token != TK_K_INTERVAL)
      token = 0;
    if (token == TK_K_INTERVAL && interval_value_follows(state->pos, state->end)) state->mode = 1;
    if (token != 0) return token;
  }
  value->name = make_name(state, word, length, false);
  return value->name ? TK_IDENTIFIER : kOutOfMemory;
}

// Scans a number starting at state->pos: digits, or '.' digits with an exponent.
int scan_number(ParseState* state, ScanValue* value) {
  const char* start = state->pos;
  const char* p = start;
  while (p < state->end && is_digit(*p)) ++p;
  const char* digits_end = p;
  if (p < state->end && *p == '.') {
    ++p;
    while (p < state->end && is_digit(*p)) ++p;
  }
  const char* mantissa_end = p;
  bool has_digits = digits_end > start || mantissa_end > digits_end + 1;
  bool exponent = false;
  if (has_digits && p < state->end && (*p == 'e' || *p == 'E')) {
    const char* q = p + 1;
    if (q < state->end && (*q == '+' || *q == '-')) ++q;
    if (q < state->end && is_digit(*q)) {
      while (q < state->end && is_digit(*q)) ++q;
      p = q;
      exponent = true;
    }
  }
  if (!exponent) {
    if (digits_end == start) return 0;  // a lone '.': not a number
    p = digits_end;
  }
  state->pos = p;
  value->text = quill_mem_strdup(state->pool, start, p - start);
  if (!value->text) return kOutOfMemory;
  return exponent ? TK_APPROXNUM : TK_INTNUM;
}

// Quoted X'..' or B'..' literal at state->pos (pointing at the quote); `digit` tests a digit.
int scan_quoted_digits(ParseState* state, ScanValue* value, bool (*digit)(char), int token) {
  const char* p = state->pos + 1;
  const char* body = p;
  while (p < state->end && digit(*p)) ++p;
  if (p >= state->end || *p != '\'') return 0;
  value->text = quill_mem_strdup(state->pool, body, p - body);
  if (!value->text) return kOutOfMemory;
  state->pos = p + 1;
  return token;
}

bool is_bit_digit(char c) {
  return c == '0' || c == '1';
}

// The ODBC escape openers after '{'; 0 when none matches.
int scan_escape(ParseState* state) {
  const char* p = state->pos + 1;
  const char* end = state->end;
  struct Opener {
    const char* word;
    int token;
  };
  static constexpr Opener kOpeners[] = {
      {"FN", TK_ESC_FN},         {"D", TK_ESC_D},       {"TS", TK_ESC_TS},
      {"T", TK_ESC_T},           {"OJ", TK_ESC_OJ},     {"INTERVAL", TK_ESC_INTERVAL},
      {"ESCAPE", TK_ESC_ESCAPE}, {"CALL", TK_ESC_CALL},
  };
  for (const Opener& opener : kOpeners) {
    if (word_at(p, end, opener.word)) {
      state->pos = p + std::strlen(opener.word);
      if (opener.token == TK_ESC_INTERVAL && interval_value_follows(state->pos, end))
        state->mode = 1;
      return opener.token;
    }
  }
  if (p < end && *p == '?') {
    const char* q = p + 1;
    while (q < end && is_blank(*q)) ++q;
    if (q < end && *q == '=') {
      ++q;
      if (word_at(q, end, "CALL")) {
        state->pos = q + 4;
        return TK_ESC_RETCALL;
      }
    }
  }
  return 0;
}

// One token in the INITIAL mode.
int scan_initial(ParseState* state, ScanValue* value) {
  const char* p = state->pos;
  const char* end = state->end;
  char c = *p;
  if (is_letter(c) || c == '@') {
    if ((c == 'x' || c == 'X') && p + 1 < end && p[1] == '\'') {
      state->pos = p + 1;
      int token = scan_quoted_digits(state, value, is_hex_digit, TK_HEXLIT);
      if (token != 0) return token;
      state->pos = p;
    }
    if ((c == 'b' || c == 'B') && p + 1 < end && p[1] == '\'') {
      state->pos = p + 1;
      int token = scan_quoted_digits(state, value, is_bit_digit, TK_BITLIT);
      if (token != 0) return token;
      state->pos = p;
    }
    return scan_word(state, value);
  }
  if (c == '0' && p + 2 < end && (p[1] == 'x' || p[1] == 'X') && is_hex_digit(p[2])) {
    const char* q = p + 2;
    while (q < end && is_hex_digit(*q)) ++q;
    value->text = quill_mem_strdup(state->pool, p + 2, q - (p + 2));
    if (!value->text) return kOutOfMemory;
    state->pos = q;
    return TK_HEXLIT;
  }
  if (is_digit(c) || (c == '.' && p + 1 < end && is_digit(p[1]))) {
    int token = scan_number(state, value);
    if (token != 0) return token;
  }
  switch (c) {
    case '"': {
      const char* q = p + 1;
      while (q < end) {
        if (*q == '"') {
          if (q + 1 < end && q[1] == '"') {
            q += 2;
            continue;
          }
          break;
        }
        ++q;
      }
      if (q >= end) {
        state->pos = end;
        scan_report_near(state, "ERROR - unexpected end to delimited identifier", p,
                         static_cast<size_t>(end - p));
        return TK_SQL_YYerror;
      }
      char* text = copy_unquoted(state, p + 1, static_cast<size_t>(q - p - 1), '"');
      if (!text) return kOutOfMemory;
      state->pos = q + 1;
      value->name = static_cast<NameNode*>(newNode(sizeof(NameNode), NODE_NAME, state->pool));
      if (!value->name) return kOutOfMemory;
      value->name->text = text;
      value->name->quoted = 1;
      return (state->pos < end && (*state->pos == '.' || *state->pos == '!')) ? TK_QUALIFIER
                                                                              : TK_IDENTIFIER;
    }
    case '[': {
      const char* q = p + 1;
      while (q < end && *q != ']' && *q != '\n' && *q != '!' && *q != '.' && *q != '[' && *q != '`')
        ++q;
      if (q >= end || *q != ']' || q == p + 1) break;
      value->name = make_name(state, p + 1, static_cast<size_t>(q - p - 1), true);
      if (!value->name) return kOutOfMemory;
      state->pos = q + 1;
      return (state->pos < end && (*state->pos == '.' || *state->pos == '!')) ? TK_QUALIFIER
                                                                              : TK_IDENTIFIER;
    }
    case '\'': {
      const char* q = p + 1;
      while (q < end) {
        if (*q == '\'') {
          if (q + 1 < end && q[1] == '\'') {
            q += 2;
            continue;
          }
          break;
        }
        if (*q == '\n') break;
        ++q;
      }
      if (q >= end || *q != '\'') break;
      value->text = copy_unquoted(state, p + 1, static_cast<size_t>(q - p - 1), '\'');
      if (!value->text) return kOutOfMemory;
      state->pos = q + 1;
      return TK_STRING;
    }
    case '#': {
      const char* q = p + 1;
      while (q < end && *q != '#' && *q != '\n') ++q;
      if (q >= end || *q != '#') break;
      value->text = quill_mem_strdup(state->pool, p + 1, q - p - 1);
      if (!value->text) return kOutOfMemory;
      state->pos = q + 1;
      return TK_HASHLIT;
    }
    case '{': {
      int token = scan_escape(state);
      if (token == TK_ESC_RETCALL) value->number = ++state->parameter_count;
      if (token != 0) return token;
      break;
    }
    case '?':
      state->pos = p + 1;
      value->number = ++state->parameter_count;
      return TK_PARAM;
    case '<':
      if (p + 1 < end && (p[1] == '>' || p[1] == '=')) {
        state->pos = p + 2;
        return p[1] == '>' ? TK_NE : TK_LE;
      }
      break;
    case '>':
      if (p + 1 < end && p[1] == '=') {
        state->pos = p + 2;
        return TK_GE;
      }
      break;
    case '|':
      if (p + 1 < end && p[1] == '|') {
        state->pos = p + 2;
        return TK_CONCAT;
      }
      break;
    case '&':
      state->pos = p + 1;
      return TK_CONCAT;
    default:
      break;
  }
  state->pos = p + 1;
  return static_cast<unsigned char>(c);
}

// One token inside the quotes of an interval value.
int scan_interval_body(ParseState* state, ScanValue* value) {
  const char* p = state->pos;
  const char* end = state->end;
  if (is_blank(*p)) {
    const char* q = p;
    while (q < end && is_blank(*q)) ++q;
    bool edge = (q < end && *q == '\'') || state->previous_token == TK_INTERVAL_QUOTE;
    state->pos = q;
    if (edge) return -1;  // blanks next to a quote are ignored
    return TK_INTERVAL_SPACE;
  }
  if (is_digit(*p)) {
    const char* q = p;
    while (q < end && is_digit(*q)) ++q;
    value->text = quill_mem_strdup(state->pool, p, q - p);
    if (!value->text) return kOutOfMemory;
    state->pos = q;
    return TK_INTNUM;
  }
  state->pos = p + 1;
  if (*p == '\'') {
    state->mode = 0;
    state->in_interval_qualifier = true;
    state->qualifier_depth = 0;
    return TK_INTERVAL_QUOTE;
  }
  return static_cast<unsigned char>(*p);
}

// Updates the context switches after `token` was read.
void after_token(ParseState* state, int token) {
  if (token == TK_QUALIFIER || token == TK_ESC_FN || token == TK_ESC_CALL ||
      token == TK_ESC_RETCALL)
    state->name_pending = true;
  else if (token != '.' && token != '!')
    state->name_pending = false;
  if (state->in_interval_qualifier && token != TK_INTERVAL_QUOTE) {
    bool keeps = is_field_token(token) || token == TK_K_TO || token == TK_INTNUM;
    if (token == '(') {
      ++state->qualifier_depth;
      keeps = true;
    } else if (token == ')' && state->qualifier_depth > 0) {
      --state->qualifier_depth;
      keeps = true;
    } else if (token == ',' && state->qualifier_depth > 0) {
      keeps = true;
    }
    if (!keeps) state->in_interval_qualifier = false;
  }
  state->before_previous_token = state->previous_token;
  state->previous_token = token;
}

}  // namespace

void scan_upper(char* text) {
  for (; *text; ++text) *text = upper_of(*text);
}

void scan_begin(ParseState* state, ParseContext* context, const char* text, size_t length) {
  *state = ParseState{};
  state->context = context;
  state->pool = context->pool;
  state->pos = text;
  state->end = text + length;
  state->token_start = text;
}

int scan_next_token(ParseState* state, ScanValue* value) {
  *value = ScanValue{};
  for (;;) {
    if (state->mode != 2)
      while (state->pos < state->end && is_blank(*state->pos)) ++state->pos;
    state->before_start = state->token_start;
    state->before_length = state->token_length;
    state->token_start = state->pos;
    state->token_length = 0;
    if (state->pos >= state->end) {
      state->before_previous_token = state->previous_token;
      state->previous_token = 0;
      return 0;
    }
    int token;
    if (state->mode == 2) {
      token = scan_interval_body(state, value);
      if (token == -1) continue;
    } else if (state->mode == 1 && *state->pos == '\'') {
      ++state->pos;
      state->mode = 2;
      token = TK_INTERVAL_QUOTE;
    } else {
      token = scan_initial(state, value);
    }
    state->token_length = static_cast<size_t>(state->pos - state->token_start);
    if (token == kOutOfMemory) {
      scan_report(state, "out of dynamic memory in yy_scan_bytes()");
      return TK_SQL_YYerror;
    }
    if (token != TK_SQL_YYerror) after_token(state, token);
    return token;
  }
}

void scan_report_near(ParseState* state, const char* message, const char* near, size_t length) {
  if (state->failed) return;
  state->failed = true;
  // At most 254 bytes, cut (here and in the token) before a character that does not fit.
  std::string token(near ? near : "", near ? strnlen(near, length) : 0);
  token.resize(utf8_truncation_point(token.data(), token.size(), 300));
  utf8_format(state->context->message, PARSE_MESSAGE_SIZE - 1, "%s near '%s'", message,
              token.c_str());
}

void scan_report(ParseState* state, const char* message) {
  scan_report_near(state, message, state->token_start, state->token_length);
}

void scan_report_keyword_as_name(ParseState* state, const char* word, size_t length) {
  if (state->failed) return;
  state->failed = true;
  std::string near(state->token_start, strnlen(state->token_start, state->token_length));
  near.resize(utf8_truncation_point(near.data(), near.size(), 60));
  std::string name(word, strnlen(word, length));
  name.resize(utf8_truncation_point(name.data(), name.size(), 40));
  std::string upper = name;
  scan_upper(upper.data());
  utf8_format(state->context->message, PARSE_MESSAGE_SIZE - 1,
              "syntax error near '%s': %s is a keyword; to use it as a name, write it in double "
              "quotes (\"%s\")",
              near.c_str(), upper.c_str(), name.c_str());
}

bool scan_is_keyword(int token) {
  return token >= TK_K_AT_IDENTITY && token <= TK_K_YES;
}

bool scan_is_clause_word(int token) {
  static constexpr int kClauseWords[] = {
      TK_K_SELECT,   TK_K_FROM, TK_K_WHERE, TK_K_GROUP, TK_K_ORDER,  TK_K_HAVING,
      TK_K_UNION,    TK_K_BY,   TK_K_AND,   TK_K_OR,    TK_K_NOT,    TK_K_ON,
      TK_K_AS,       TK_K_JOIN, TK_K_IS,    TK_K_IN,    TK_K_LIKE,   TK_K_BETWEEN,
      TK_K_CASE,     TK_K_WHEN, TK_K_THEN,  TK_K_ELSE,  TK_K_END,    TK_K_EXISTS,
      TK_K_DISTINCT, TK_K_ALL,  TK_K_INTO,  TK_K_SET,   TK_K_VALUES, TK_K_NULL};
  for (int word : kClauseWords)
    if (word == token) return true;
  return false;
}
