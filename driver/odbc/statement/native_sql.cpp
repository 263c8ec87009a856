// SQLNativeSql's work: parse the text and write the tree back as SQL text.
#include <cstring>

#include "driver/odbc/handles/frame.h"
#include "driver/odbc/statement/stmt_names.h"
#include "driver/sql/parser.h"
#include "driver/sql/sqlgen.h"

SQLRETURN native_sql_text(QuillDbc* dbc, const char* text, SQLINTEGER length, std::string* out,
                          char* buffer, size_t capacity, size_t* total, bool* truncated) {
  size_t size = length == SQL_NTS ? std::strlen(text) : static_cast<size_t>(length);
  ParseContext* parse = parse_context_create(dbc->pool);
  char* copy = parse ? static_cast<char*>(quill_mem_alloc(parse_pool(parse), size + 1)) : nullptr;
  if (!copy) {
    parse_context_free(parse);
    return post_call_error(dbc->errors, "HY001", MSG_MEMORY);
  }
  std::memcpy(copy, text, size);
  copy[size] = '\0';
  SQLRETURN rc = SQL_SUCCESS;
  if (std::memchr(text, '\0', size) != nullptr || sql_parse(parse, copy) != 0) {
    const char* message =
        std::memchr(text, '\0', size) ? "embedded NUL character in SQL text" : parse_message(parse);
    rc = post_call_error(dbc->errors, "42000", MSG_SYNTAX, message);
  } else {
    if (out) *out = sql_statement_list_text(parse_statements(parse));
    if (total)
      *total = sql_statement_list_into(parse_statements(parse), buffer, capacity, truncated);
  }
  parse_context_free(parse);
  return rc;
}
