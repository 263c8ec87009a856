// Data modification: INSERT (VALUES, DEFAULT VALUES, query), searched DELETE and UPDATE with
// their row-selecting query, key and pass-through decisions, and positioned UPDATE and DELETE
// against a FOR UPDATE cursor of the same connection.
#include "driver/dal/dal.h"
#include "driver/sql/validate_internal.h"

namespace {

TableEntry* updatable_target(ValidateContext& context, TableNameNode* name) {
  TableEntry* target = describe_named_table(context, name);
  if (target->table.backend_index == 0) catalog_error(context, "HY000", "Views are not updatable");
  return target;
}

bool mentions_column(const Node* node) {
  if (!node) return false;
  switch (node->kind) {
    case NODE_COLUMN_REF:
      return true;
    case NODE_OPERATOR: {
      auto* op = node_cast<OperatorNode>(node);
      return mentions_column(op->left) || mentions_column(op->right);
    }
    case NODE_CAST:
      return mentions_column(node_cast<CastNode>(node)->operand);
    case NODE_FUNCTION:
      for (ListNode* at = node_cast<FunctionNode>(node)->arguments; at; at = at->next)
        if (mentions_column(static_cast<const Node*>(at->data))) return true;
      return false;
    default:
      return false;
  }
}

// True when a value of `type` may be stored in a column of `column_type`.
bool value_fits(int type, int column_type) {
  int family = type_family(type);
  return family == type_family(column_type) || family == FAMILY_CHARACTER ||
         type == SQL_TYPE_NULL || conversion_allowed(type, column_type);
}

AssignmentEntry* new_assignment(ValidateContext& context, TableEntry* target, int column) {
  auto* entry = new_plan<AssignmentEntry>(context, PLAN_ASSIGNMENT);
  entry->column = column;
  entry->target = &target->columns[column];
  return entry;
}

// A parameter value takes the column's description.
void assign_parameter(ValidateContext& context, AssignmentEntry* entry, Node* value) {
  resolve_expression(context, value);
  TypeDescription description;
  column_description(*entry->target, &description);
  type_parameter(context, value, entry->target->sql_type, nullptr, &description);
  entry->value_kind = VALUE_PARAMETER;
  entry->value = value;
  entry->sql_type = entry->target->sql_type;
}

// One VALUES element for column `column` of the target.
AssignmentEntry* check_insert_value(ValidateContext& context, TableEntry* target, int column,
                                    Node* value) {
  AssignmentEntry* entry = new_assignment(context, target, column);
  if (value->kind == NODE_VALUES_KEYWORD) {
    entry->value_kind =
        node_cast<ValuesKeywordNode>(value)->which == 2 ? VALUE_DEFAULT : VALUE_NULL;
    return entry;
  }
  if (value->kind == NODE_LITERAL && node_cast<LiteralNode>(value)->value_kind == LIT_NULL) {
    entry->value_kind = VALUE_NULL;
    return entry;
  }
  if (mentions_column(value))
    direct_error(context, "HY000", "Unexpected column name found in Value list");
  if (value->kind == NODE_PARAMETER) {
    assign_parameter(context, entry, value);
    return entry;
  }
  resolve_expression(context, value);
  int type = expression_type(context, value);
  if (type == SQL_TYPE_UNKNOWN || type == SQL_TYPE_PARAMETER)
    general_error(context, "Invalid or unknown type in insert value list");
  if (!value_fits(type, entry->target->sql_type))
    general_error(context, "Insert value list type does not match column list");
  entry->value_kind = VALUE_EXPRESSION;
  entry->value = value;
  entry->sql_type = type;
  return entry;
}

int find_column(const TableEntry* target, const NameNode* name) {
  for (int c = 0; c < target->column_count; ++c)
    if (name_matches(name, target->columns[c].name)) return c;
  return -1;
}

bool query_draws_only_on(const QueryPlan* plan, int backend) {
  return plan->single_backend && plan->backend_index == backend;
}

void insert_query(ValidateContext& context, InsertPlan* plan, InsertSourceNode* source) {
  TableEntry* target = plan->target;
  plan->query = validate_query_expression(context, source->query, nullptr, false);
  int items = plan->query->item_count;
  int listed = ListCount(source->columns);
  bool fits = source->columns ? listed == items && target->column_count >= listed
                              : target->column_count == items;
  if (!fits) direct_error(context, "21S01", "Insert value list does not match column list");
  plan->query_columns = static_cast<int32_t*>(
      validate_alloc(context, sizeof(int32_t) * static_cast<size_t>(items + 1)));
  ListNode* name = source->columns;
  for (int i = 0; i < items; ++i, name = name ? name->next : nullptr) {
    int column = i;
    if (name) {
      column = find_column(target, static_cast<NameNode*>(name->data));
      if (column < 0)
        general_error(context, "column '%s' not found in specified tables",
                      name_text(static_cast<NameNode*>(name->data)));
    }
    plan->query_columns[i] = column;
    if (!value_fits(plan->query->items[i].sql_type, target->columns[column].sql_type))
      general_error(context, "Insert value list type does not match column list");
  }
  plan->passthrough =
      target->table.passthrough && query_draws_only_on(plan->query, target->table.backend_index);
}

// Checks the SET list against `target` (the entry the row-selecting plan reads).
ListNode* validate_assignments(ValidateContext& context, TableEntry* target, ListNode* assignments,
                               const int32_t* updatable) {
  ListNode* out = nullptr;
  for (ListNode* at = assignments; at; at = at->next) {
    auto* assignment = static_cast<SetAssignmentNode*>(at->data);
    int column = find_column(target, assignment->column);
    if (column < 0)
      direct_error(context, "42S22", "Column not found '%s'", name_text(assignment->column));
    if (updatable && !updatable[column]) direct_error(context, "HY000", "Column not updatable");
    AssignmentEntry* entry = new_assignment(context, target, column);
    int column_type = entry->target->sql_type;
    switch (assignment->value_kind) {
      case ASSIGN_NULL:
        entry->value_kind = VALUE_NULL;
        break;
      case ASSIGN_DEFAULT:
        entry->value_kind = VALUE_DEFAULT;
        break;
      case ASSIGN_SUBQUERY: {
        entry->value_kind = VALUE_SUBQUERY;
        entry->subquery = validate_query_expression(context, assignment->value, nullptr, false);
        if (entry->subquery->item_count != 1)
          direct_error(context, "21S01", "Degree of sub query does not match column list");
        entry->sql_type = entry->subquery->items[0].sql_type;
        if (!value_fits(entry->sql_type, column_type))
          general_error(context, "Insert value list type does not match column list");
        break;
      }
      default: {
        ValidateContext values = context;
        values.plan = nullptr;
        values.modify_target = target;
        if (assignment->value->kind == NODE_PARAMETER) {
          assign_parameter(values, entry, assignment->value);
          break;
        }
        resolve_expression(values, assignment->value);
        entry->value_kind = VALUE_EXPRESSION;
        entry->value = assignment->value;
        entry->sql_type = expression_type(values, assignment->value);
        if (!value_fits(entry->sql_type, column_type))
          general_error(context, "Insert value list type does not match column list");
      }
    }
    list_append(context, &out, entry);
  }
  return out;
}

// SELECT ALL * FROM target [WHERE condition], as parse nodes.
Node* row_selecting_query(ValidateContext& context, TableNameNode* table, Node* where) {
  MemPool* pool = context.target->pool;
  auto* reference = static_cast<TableRefNode*>(newNode(sizeof(TableRefNode), NODE_TABLE_REF, pool));
  auto* select_node =
      static_cast<QuerySpecNode*>(newNode(sizeof(QuerySpecNode), NODE_QUERY_SPEC, pool));
  if (!reference || !select_node) direct_error(context, "HY001", "Memory allocation error");
  reference->table = table;
  select_node->quantifier = QUANT_ALL;
  select_node->top = -1;
  list_append(context, &select_node->from, reference);
  select_node->where = where;
  return select_node;
}

}  // namespace

PlanRecord* validate_insert(ValidateContext& context, InsertNode* node) {
  auto* plan = new_plan<InsertPlan>(context, PLAN_INSERT);
  plan->node = node;
  plan->target = updatable_target(context, node->table);
  TableEntry* target = plan->target;
  InsertSourceNode* source = node->source;
  if (source->query) {
    insert_query(context, plan, source);
    return plan;
  }
  plan->passthrough = target->table.passthrough;
  if (source->default_values) {
    plan->default_values = 1;
    return plan;
  }
  int values = ListCount(source->values);
  if (source->columns) {
    if (ListCount(source->columns) != values)
      direct_error(context, "21S01",
                   "Insert value list does not match column list, column count != value count");
    if (values > target->column_count)
      direct_error(context, "21S01",
                   "Insert value list does not match column list, value count > table column "
                   "count");
  } else if (values != target->column_count) {
    direct_error(context, "21S01",
                 "Insert value list does not match column list value count != table column "
                 "count");
  }
  ListNode* name = source->columns;
  int index = 0;
  for (ListNode* at = source->values; at; at = at->next, ++index) {
    int column = index;
    if (name) {
      column = find_column(target, static_cast<NameNode*>(name->data));
      if (column < 0)
        general_error(context, "column '%s' not found in specified tables",
                      name_text(static_cast<NameNode*>(name->data)));
      name = name->next;
    }
    list_append(context, &plan->values,
                check_insert_value(context, target, column, static_cast<Node*>(at->data)));
  }
  return plan;
}

PlanRecord* validate_searched(ValidateContext& context, Node* node) {
  bool update = node->kind == NODE_UPDATE_SEARCHED;
  auto* update_node = update ? node_cast<UpdateSearchedNode>(node) : nullptr;
  auto* delete_node = update ? nullptr : node_cast<DeleteSearchedNode>(node);
  TableNameNode* table = update ? update_node->table : delete_node->table;
  Node* where = update ? update_node->where : delete_node->where;
  auto* plan = new_plan<SearchedPlan>(context, update ? PLAN_UPDATE : PLAN_DELETE);
  plan->node = node;
  plan->target = updatable_target(context, table);
  plan->key_count = plan->target->table.pk_count;
  plan->rows = validate_query_expression(context, row_selecting_query(context, table, where),
                                         nullptr, false);
  auto* read_entry = static_cast<TableEntry*>(plan->rows->scan_tables->data);
  plan->target = read_entry;  // the entry the rows are read (and keyed) through
  if (update)
    plan->assignments =
        validate_assignments(context, read_entry, update_node->assignments, nullptr);
  int backend = plan->target->table.backend_index;
  bool single = plan->target->table.passthrough && query_draws_only_on(plan->rows, backend);
  for (ListNode* at = plan->assignments; at && single; at = at->next) {
    auto* entry = static_cast<AssignmentEntry*>(at->data);
    if (entry->subquery && !query_draws_only_on(entry->subquery, backend)) single = false;
  }
  if (single) {
    plan->passthrough = 1;
    return plan;
  }
  if (plan->key_count > 0 && plan->rows->keyset_possible) return plan;
  if (plan->key_count > 0) direct_error(context, "HY000", "Unable to form keyset query");
  direct_error(context, "HY000", "Base table has no distinct key information, so is not updatable");
}

namespace {

// The FOR UPDATE query of the cursor a positioned statement names and the entry of its FROM
// list that `table` designates. Direct errors: 34000 for no such open cursor with a current
// row, HY000 `not_updatable` when its query cannot address rows by key, HY000 "Table name
// not in cursor".
struct CursorTarget {
  QueryPlan* plan;    // its query
  TableEntry* entry;  // the cursor's table entry named by the statement
};

CursorTarget cursor_target(ValidateContext& context, NameNode* name, TableNameNode* table,
                           const char* not_updatable) {
  // The call layer knows which of its statements holds the cursor and whether it is on a row.
  const StatementContext* statement = context.target->statement;
  StatementPlanList* list =
      context.target->connection && statement && statement->fetched_cursor_plans
          ? statement->fetched_cursor_plans(context.target->connection, name_text(name))
          : nullptr;
  QueryPlan* cursor_plan = nullptr;
  if (list) {
    for (ListNode* at = list->entries; at && !cursor_plan; at = at->next) {
      auto* entry = static_cast<StatementEntry*>(at->data);
      if (entry->plan && entry->plan->kind == PLAN_QUERY)
        cursor_plan = node_cast<QueryPlan>(entry->plan);
    }
  }
  if (!cursor_plan) direct_error(context, "34000", "Invalid cursor name");
  if (!cursor_plan->for_update || !cursor_plan->keyset_possible)
    direct_error(context, "HY000", not_updatable);
  ColumnRefNode qualifier{};
  qualifier.kind = NODE_COLUMN_REF;
  qualifier.link = table->link;
  qualifier.catalog = table->catalog;
  qualifier.schema = table->schema;
  qualifier.table = table->table;
  TableEntry* target = nullptr;
  for (ListNode* at = cursor_plan->from; at && !target; at = at->next)
    target = find_qualified_entry(static_cast<TableEntry*>(at->data), &qualifier);
  if (!target) direct_error(context, "HY000", "Table name not in cursor");
  return CursorTarget{cursor_plan, target};
}

}  // namespace

PlanRecord* validate_positioned_update(ValidateContext& context, UpdatePositionedNode* node) {
  CursorTarget found = cursor_target(context, node->cursor, node->table, "Cursor not updatable");
  QueryPlan* cursor_plan = found.plan;
  TableEntry* target = found.entry;
  auto* plan = new_plan<PositionedUpdatePlan>(context, PLAN_UPDATE_POSITIONED);
  plan->node = node;
  plan->cursor_plan = cursor_plan;
  plan->target = target;
  plan->assignments = validate_assignments(context, target, node->assignments, target->updatable);
  return plan;
}

PlanRecord* validate_positioned_delete(ValidateContext& context, DeletePositionedNode* node) {
  // A cursor whose rows cannot be addressed by key is read only here.
  CursorTarget found =
      cursor_target(context, node->cursor, node->table,
                    "Current driver is read only, DELETE WHERE CURRENT not supported");
  auto* plan = new_plan<PositionedDeletePlan>(context, PLAN_DELETE_POSITIONED);
  plan->node = node;
  plan->cursor_plan = found.plan;
  plan->target = found.entry;
  return plan;
}
