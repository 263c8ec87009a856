// Validation entry point and statement dispatch: the dynamic function code of each
// statement, the refused statement kinds, transaction and user statements; plus the error,
// memory and name helpers every validation unit shares.
#include <strings.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <new>
#include <string>
#include <vector>

#include "driver/dal/dal.h"
#include "driver/sql/validate_internal.h"
#include "support/strbuf.h"

namespace {

constexpr const char* kEngineOrigin = "ODBC3.0";
constexpr const char* kCatalogOrigin = "ISO 9075";

void post(ValidateContext& context, const char* origin, const char* sqlstate, const char* format,
          va_list args) {
  char text[512];
  utf8_vformat(text, sizeof text, format, args);
  ErrorHeader* errors = context.target->errors;
  SetReturnCode(errors, SQL_ERROR);
  PostError(errors, DIAG_LEVEL_ENGINE, 0, 0, 0, 0, origin, sqlstate, "%s", text);
}

// The dynamic function code and text of a statement kind.
struct FunctionCode {
  int32_t kind;
  int32_t code;
  const char* text;
};
constexpr FunctionCode kFunctionCodes[] = {
    {NODE_ALTER_TABLE_ADD, 4, "ALTER TABLE"},
    {NODE_ALTER_TABLE_DROP, 4, "ALTER TABLE"},
    {NODE_CREATE_INDEX, -1, "CREATE INDEX"},
    {NODE_CREATE_TABLE, 77, "CREATE TABLE"},
    {NODE_CREATE_VIEW, 84, "CREATE VIEW"},
    {NODE_DELETE_POSITIONED, 38, "DYNAMIC DELETE CURSOR"},
    {NODE_DELETE_SEARCHED, 19, "DELETE WHERE"},
    {NODE_DROP_INDEX, -2, "DROP INDEX"},
    {NODE_DROP_TABLE, 32, "DROP TABLE"},
    {NODE_DROP_VIEW, 36, "DROP VIEW"},
    {NODE_GRANT, 48, "GRANT"},
    {NODE_INSERT, 50, "INSERT"},
    {NODE_REVOKE, 59, "REVOKE"},
    {NODE_CURSOR_SPEC, 85, "SELECT CURSOR"},
    {NODE_SELECT_FOR_UPDATE, 85, "SELECT CURSOR"},
    {NODE_UPDATE_POSITIONED, 81, "DYNAMIC UPDATE CURSOR"},
    {NODE_UPDATE_SEARCHED, 82, "UPDATE WHERE"},
    {NODE_CALL, 7, "CALL"},
};

const FunctionCode* function_code_of(int32_t kind) {
  for (const FunctionCode& entry : kFunctionCodes)
    if (entry.kind == kind) return &entry;
  return nullptr;
}

const char* copy_name(ValidateContext& context, const NameNode* name) {
  if (!name) return nullptr;
  char* copy = quill_mem_strdup(context.target->pool, name->text);
  if (!copy) direct_error(context, "HY001", "Memory allocation error");
  return copy;
}

// Validates a SELECT FOR UPDATE: the query, its keys, then the updatable columns.
PlanRecord* validate_for_update(ValidateContext& context, SelectForUpdateNode* node) {
  QueryPlan* plan = validate_query_expression(context, node->query, nullptr, true);
  for (ListNode* at = node->columns; at; at = at->next) {
    auto* column = static_cast<ColumnRefNode*>(at->data);
    ValidateContext inner = context;
    inner.plan = plan;
    if (!resolve_column_in(inner, column, plan->scan_tables))
      general_error(context, "column '%s' not found in specified tables",
                    name_text(column->column));
    TableEntry* entry = column->resolved_table;
    entry->column_used[column->resolved_column] = 1;
    entry->updatable[column->resolved_column] = 1;
  }
  if (!node->columns)
    for (ListNode* at = plan->scan_tables; at; at = at->next) {
      auto* entry = static_cast<TableEntry*>(at->data);
      for (int c = 0; c < entry->column_count; ++c) entry->column_used[c] = entry->updatable[c] = 1;
    }
  return plan;
}

// The statement's parameters in text order (validation meets them in clause order).
ListNode* in_text_order(ValidateContext& context, ListNode* parameters) {
  std::vector<ParameterEntry*> entries;
  for (ListNode* at = parameters; at; at = at->next)
    entries.push_back(static_cast<ParameterEntry*>(at->data));
  std::stable_sort(entries.begin(), entries.end(), [](ParameterEntry* a, ParameterEntry* b) {
    return a->node->number < b->node->number;
  });
  ListNode* sorted = nullptr;
  for (ParameterEntry* entry : entries) list_append(context, &sorted, entry);
  return sorted;
}

// Validates one statement and returns its plan record.
PlanRecord* validate_statement(ValidateContext& context, Node* statement) {
  switch (statement->kind) {
    case NODE_CREATE_VIEW:
      direct_error(context, "HY000", "Current driver is read only, CREATE VIEW not supported");
    case NODE_DROP_VIEW:
      direct_error(context, "HY000", "Current driver is read only, DROP VIEW not supported");
    case NODE_GRANT:
      direct_error(context, "HY000", "GRANT not supported at this time");
    case NODE_REVOKE:
      direct_error(context, "HY000", "REVOKE not supported at this time");
    case NODE_CALL:
      direct_error(context, "HY000", "Stored procedures not supported in the release");
    case NODE_COMMIT:
      return new_plan<TransactionPlan>(context, PLAN_COMMIT);
    case NODE_ROLLBACK:
      return new_plan<TransactionPlan>(context, PLAN_ROLLBACK);
    case NODE_CREATE_USER: {
      auto* node = node_cast<CreateUserNode>(statement);
      auto* plan = new_plan<UserPlan>(context, PLAN_CREATE_USER);
      plan->user = copy_name(context, node->user);
      plan->authorization = copy_name(context, node->authorization);
      plan->in_name = copy_name(context, node->in_name);
      return plan;
    }
    case NODE_DROP_USER: {
      auto* node = node_cast<DropUserNode>(statement);
      auto* plan = new_plan<UserPlan>(context, PLAN_DROP_USER);
      plan->user = copy_name(context, node->user);
      plan->in_name = copy_name(context, node->in_name);
      return plan;
    }
    case NODE_CURSOR_SPEC: {
      auto* node = node_cast<CursorSpecNode>(statement);
      QueryPlan* plan = validate_query_expression(context, node->query, nullptr, false);
      validate_order_by(context, plan, node->order_by);
      plan->has_limit = node->has_limit;
      plan->limit = node->limit;
      plan->offset = node->offset;
      return plan;
    }
    case NODE_SELECT_FOR_UPDATE:
      return validate_for_update(context, node_cast<SelectForUpdateNode>(statement));
    case NODE_INSERT:
      return validate_insert(context, node_cast<InsertNode>(statement));
    case NODE_DELETE_SEARCHED:
    case NODE_UPDATE_SEARCHED:
      return validate_searched(context, statement);
    case NODE_UPDATE_POSITIONED:
      return validate_positioned_update(context, node_cast<UpdatePositionedNode>(statement));
    case NODE_DELETE_POSITIONED:
      return validate_positioned_delete(context, node_cast<DeletePositionedNode>(statement));
    case NODE_CREATE_TABLE:
    case NODE_CREATE_INDEX:
    case NODE_ALTER_TABLE_ADD:
    case NODE_ALTER_TABLE_DROP:
    case NODE_DROP_INDEX:
    case NODE_DROP_TABLE:
      return validate_ddl(context, statement);
    default:
      general_error(context, "UNKNOWN STMT statement not supported");
  }
}

}  // namespace

void catalog_error(ValidateContext& context, const char* sqlstate, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  utf8_vformat(text, sizeof text, format, args);
  va_end(args);
  ErrorHeader* errors = context.target->errors;
  SetReturnCode(errors, SQL_ERROR);
  if (std::strcmp(sqlstate, "HY000") == 0)
    PostError(errors, DIAG_LEVEL_ENGINE, 0, 0, 0, 0, kCatalogOrigin, sqlstate, "General error: %s",
              text);
  else
    PostError(errors, DIAG_LEVEL_ENGINE, 0, 0, 0, 0, kCatalogOrigin, sqlstate, "%s", text);
  throw ValidationFailed{};
}

void direct_error(ValidateContext& context, const char* sqlstate, const char* format, ...) {
  va_list args;
  va_start(args, format);
  post(context, kEngineOrigin, sqlstate, format, args);
  va_end(args);
  throw ValidationFailed{};
}

void general_error(ValidateContext& context, const char* format, ...) {
  char text[512];
  va_list args;
  va_start(args, format);
  utf8_vformat(text, sizeof text, format, args);
  va_end(args);
  ErrorHeader* errors = context.target->errors;
  SetReturnCode(errors, SQL_ERROR);
  PostError(errors, DIAG_LEVEL_ENGINE, 0, 0, 0, 0, kEngineOrigin, "S1000", "General error %s",
            text);
  throw ValidationFailed{};
}

void* validate_alloc(ValidateContext& context, size_t size) {
  void* memory = quill_mem_alloc(context.target->pool, size ? size : 1);
  if (!memory) direct_error(context, "HY001", "Memory allocation error");
  return memory;
}

void list_append(ValidateContext& context, ListNode** list, void* data) {
  ListNode* head = ListAppend(data, *list, context.target->pool);
  if (!head) direct_error(context, "HY001", "Memory allocation error");
  *list = head;
}

bool name_matches(const NameNode* name, const char* text) {
  if (!name || !text) return false;
  return name->quoted ? std::strcmp(name->text, text) == 0 : strcasecmp(name->text, text) == 0;
}

const char* name_text(const NameNode* name) {
  return name && name->text ? name->text : "";
}

void format_table_name(const TableNameNode* name, char* out, size_t size) {
  std::string text;
  if (name->link) text += std::string(name->link->text) + "$";
  if (name->catalog) text += std::string(name->catalog->text) + ".";
  if (name->schema) text += std::string(name->schema->text) + ".";
  text += name_text(name->table);
  utf8_format(out, size, "%s", text.c_str());
}

QueryPlan* subquery_plan(const QueryPlan* plan, const Node* query) {
  for (ListNode* at = plan ? plan->subqueries : nullptr; at; at = at->next) {
    auto* link = static_cast<SubqueryLink*>(at->data);
    if (link->query == query) return link->plan;
  }
  return nullptr;
}

ParameterEntry* find_parameter(const QueryPlan* plan, const Node* parameter) {
  for (; plan; plan = plan->outer)
    for (ListNode* at = plan->parameters; at; at = at->next) {
      auto* entry = static_cast<ParameterEntry*>(at->data);
      if (entry->node == parameter) return entry;
    }
  return nullptr;
}

int validate_statements(const ValidateTarget& target, ListNode* statements,
                        StatementPlanList** plans) {
  ValidateContext context{};
  context.target = &target;
  try {
    if (!*plans) *plans = new_plan<StatementPlanList>(context, PLAN_STATEMENT_LIST);
    for (ListNode* at = statements; at; at = at->next) {
      auto* statement = static_cast<Node*>(at->data);
      const FunctionCode* code = function_code_of(statement->kind);
      SetupErrorHeader(target.errors, 0);
      SetDiagDynamicFunction(target.errors, code ? code->text : "", code ? code->code : 0);
      ListNode* parameters = nullptr;
      ValidateContext statement_context{};
      statement_context.target = &target;
      statement_context.statement_parameters = &parameters;
      PlanRecord* plan = validate_statement(statement_context, statement);
      auto* entry = static_cast<StatementEntry*>(validate_alloc(context, sizeof(StatementEntry)));
      entry->statement = statement;
      entry->plan = plan;
      entry->function_code = code ? code->code : 0;
      entry->parameters = in_text_order(context, parameters);
      list_append(context, &(*plans)->entries, entry);
    }
  } catch (const ValidationFailed&) {
    return -1;
  } catch (const std::bad_alloc&) {
    SetReturnCode(target.errors, SQL_ERROR);
    PostError(target.errors, DIAG_LEVEL_ENGINE, 0, 0, 0, 0, kEngineOrigin, "HY001",
              "Memory allocation error");
    return -1;
  }
  return 0;
}
