// The statement layer's side of the engine's narrow context: the values it copies from the
// statement, the answers to the engine's questions about the connection (where sorts work and
// how much memory they take, read from the connection's own keys, then its data source and
// the driver; which plans a fetched cursor runs), and validation into the statement's plan
// list with the cursor name generated for it.
#include "driver/odbc/statement/stmt_engine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/odbc/handles/states.h"
#include "driver/sql/validate.h"
#include "support/config.h"
#include "support/cursor_names.h"

namespace {

// work_mem_size (MB; -1 when absent or not a number) and work_dir_path of the connection's
// sorts: its own keys first, then its data source's section, then the driver's.
long sort_settings(void* connection, char* directory, int size) {
  auto* dbc = static_cast<QuillDbc*>(connection);
  long budget = -1;
  const char* memory = get_attribute_value(&dbc->attributes, "work_mem_size");
  if (memory && *memory) {
    char* end = nullptr;
    long megabytes = std::strtol(memory, &end, 10);
    budget = end != memory ? megabytes : -1;
  }
  directory[0] = '\0';
  const char* dir = get_attribute_value(&dbc->attributes, "work_dir_path");
  if (dir && dir[0])
    std::snprintf(directory, static_cast<size_t>(size), "%s", dir);
  else if (dbc->env && dbc->env->config)
    get_default_for(dbc->env->config, nullptr, nullptr,
                    get_attribute_value(&dbc->attributes, "DSN"), "work_dir_path", directory, size);
  size_t length = std::strlen(directory);
  if (length > 1 && (directory[length - 1] == '/' || directory[length - 1] == '\\'))
    directory[length - 1] = '\0';
  return budget;
}

// The plans of the connection's statement named `name` while it is on a fetched row.
StatementPlanList* fetched_cursor_plans(void* connection, const char* name) {
  auto* cursor = static_cast<QuillStmt*>(get_stmt_by_cursor(connection, name));
  if (!cursor || (cursor->state != S6_FETCHED && cursor->state != S7_EXTENDED_FETCHED))
    return nullptr;
  return static_cast<StatementPlanList*>(cursor->plan_list);
}

}  // namespace

StatementContext stmt_engine_context(QuillStmt* stmt) {
  StatementContext context{};
  bool odbc2 = stmt->dbc && stmt->dbc->env && stmt->dbc->env->odbc_version == SQL_OV_ODBC2;
  context.odbc_version = odbc2 ? 2 : 3;
  context.max_rows = stmt->attrs.max_rows;
  context.query_timeout = stmt->attrs.query_timeout;
  context.cancel_flag = &stmt->cancel_requested;
  context.sort_settings = sort_settings;
  context.fetched_cursor_plans = fetched_cursor_plans;
  return context;
}

int validate_statement_list(QuillStmt* statement, ListNode* statements) {
  StatementContext context = stmt_engine_context(statement);
  ValidateTarget target{};
  target.dal = statement->dbc ? statement->dbc->dal : nullptr;
  target.errors = statement->errors;
  // Plans live with the parse tree so that each prepare releases the previous one's.
  target.pool = statement->tree_pool ? statement->tree_pool : statement->pool;
  target.connection = statement->dbc;
  target.statement = &context;
  target.odbc_version = context.odbc_version;
  StatementPlanList* plans = nullptr;  // a new validation starts a new list
  int rc = validate_statements(target, statements, &plans);
  statement->plan_list = plans;
  if (rc != 0) return -1;
  if (!statement->cursor_name && !get_cursor_name(statement)) {
    char name[32];
    generate_cursor_name(statement, name, sizeof name);
    statement->cursor_name = quill_mem_strdup(statement->pool, name);
    if (!statement->cursor_name) {
      SetReturnCode(statement->errors, SQL_ERROR);
      PostError(statement->errors, DIAG_LEVEL_ENGINE, 0, 0, 0, 0, "ODBC3.0", "HY001",
                "Memory allocation error");
      return -1;
    }
    if (statement->dbc && insert_cursor_name(statement->dbc, statement, name) == 0)
      statement->cursor_name_registered = true;
  }
  return 0;
}
