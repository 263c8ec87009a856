// Cursor names of statements: the naming rules of SQLSetCursorName and the
// generated name SQLGetCursorName hands out to an unnamed statement.
#include <strings.h>

#include <cstring>
#include <string>

#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_names.h"
#include "support/cursor_names.h"
#include "support/strbuf.h"

namespace {

// Longest cursor name accepted.
constexpr size_t kCursorNameMax = 18;

bool reserved_name(const std::string& name) {
  return (name.size() > 5 && strncasecmp(name.c_str(), "SQLCUR", 6) == 0) ||
         (name.size() > 6 && strncasecmp(name.c_str(), "SQL_CUR", 7) == 0);
}

}  // namespace

SQLRETURN stmt_set_cursor_name(QuillStmt* stmt, const char* name, SQLSMALLINT length) {
  if (!name) return post_call_error(stmt->errors, "HY009", MSG_NULL_POINTER);
  if (length < 0 && length != SQL_NTS)
    return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
  if (stmt_check(stmt, SQL_API_SQLSETCURSORNAME, 0) != SQL_SUCCESS) return SQL_ERROR;
  std::string wanted(name, length == SQL_NTS ? std::strlen(name) : static_cast<size_t>(length));
  if (wanted.empty() || wanted.size() > kCursorNameMax || reserved_name(wanted) ||
      wanted.find('\0') != std::string::npos)
    return post_call_error(stmt->errors, "34000", "Invalid cursor name");
  void* holder = get_stmt_by_cursor(stmt->dbc, wanted.c_str());
  if (holder && holder != stmt)
    return post_call_error(stmt->errors, "3C000", "Duplicate cursor name");
  char* copy = quill_mem_strdup(stmt->pool, wanted.c_str());
  if (!copy) return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  if (stmt->cursor_name_registered) remove_cursor_name(stmt, nullptr);
  if (insert_cursor_name(stmt->dbc, stmt, copy) != 0) {
    // Another thread took the name in between: the old name comes back.
    if (stmt->cursor_name_registered && stmt->cursor_name)
      insert_cursor_name(stmt->dbc, stmt, stmt->cursor_name);
    return post_call_error(stmt->errors, "3C000", "Duplicate cursor name");
  }
  stmt->cursor_name = copy;
  stmt->cursor_name_registered = true;
  return SQL_SUCCESS;
}

SQLRETURN stmt_get_cursor_name(QuillStmt* stmt, std::string* name) {
  if (stmt_check(stmt, SQL_API_SQLGETCURSORNAME, 0) != SQL_SUCCESS) return SQL_ERROR;
  if (!stmt->cursor_name) {
    char generated[32];
    generate_cursor_name(stmt, generated, sizeof generated);
    stmt->cursor_name = quill_mem_strdup(stmt->pool, generated);
    if (!stmt->cursor_name) return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    if (insert_cursor_name(stmt->dbc, stmt, generated) == 0) stmt->cursor_name_registered = true;
  }
  *name = stmt->cursor_name;
  return SQL_SUCCESS;
}
