// Data definition checks: CREATE TABLE (name limits, existence, column definitions and
// constraints), ALTER TABLE ADD and DROP, CREATE INDEX, DROP INDEX and DROP TABLE.
#include <cstring>

#include "driver/dal/dal.h"
#include "driver/sql/validate_internal.h"

namespace {

constexpr size_t kNameLimit = 128;  // names of this many bytes or more are refused

void check_name_limits(ValidateContext& context, const TableNameNode* name) {
  if (name->link && std::strlen(name->link->text) >= kNameLimit)
    direct_error(context, "HY000", "Link name exceeds limit");
  if (name->catalog && std::strlen(name->catalog->text) >= kNameLimit)
    direct_error(context, "HY000", "Catalog name exceeds limit");
  if (name->schema && std::strlen(name->schema->text) >= kNameLimit)
    direct_error(context, "HY000", "Schema name exceeds limit");
  if (std::strlen(name_text(name->table)) >= kNameLimit)
    direct_error(context, "HY000", "Table name exceeds limit");
}

// True when the DAL knows the table (any backend); `out` receives its descriptor.
bool table_exists(ValidateContext& context, const TableNameNode* name, DalTable* out) {
  if (!context.target->dal) return false;
  int rc = DALDescribeTable(context.target->errors, context.target->dal, name_text(name->link),
                            name_text(name->table), out);
  return rc == SQI_OK || rc == SQI_INFO;
}

void check_reference(ValidateContext& context, TableNameNode* table, NameNode* column) {
  DalTable described{};
  if (!table_exists(context, table, &described))
    direct_error(context, "42S01", "Base table or view in reference does not exist");
  if (!column) return;
  int count = described.column_count;
  auto* columns = static_cast<ColumnInfo*>(
      validate_alloc(context, sizeof(ColumnInfo) * static_cast<size_t>(count > 0 ? count : 1)));
  int rc = count > 0 ? DALDescribeColumns(context.target->errors, context.target->dal, &described,
                                          count, columns)
                     : SQI_OK;
  bool found = false;
  for (int c = 0; (rc == SQI_OK || rc == SQI_INFO) && c < count && !found; ++c)
    found = name_matches(column, columns[c].name);
  if (!found) direct_error(context, "42S01", "Column in reference does not exist");
}

// Checks one column definition; `primary_keys` counts column-level PRIMARY KEYs so far.
ColumnDefPlan* check_column_def(ValidateContext& context, ColumnDefNode* node, int* primary_keys) {
  if (std::strlen(name_text(node->name)) > kNameLimit - 1)
    direct_error(context, "HY000", "Column name exceeds limits");
  auto* plan = new_plan<ColumnDefPlan>(context, PLAN_COLUMN_DEF);
  plan->node = node;
  plan->name = name_text(node->name);
  plan->type = node->type;
  plan->start = 1;
  plan->step = 1;
  for (ListNode* at = node->constraints; at; at = at->next) {
    auto* constraint = static_cast<ColumnConstraintNode*>(at->data);
    switch (constraint->type) {
      case CCONS_PRIMARY_KEY:
        if (++*primary_keys > 1)
          direct_error(context, "HY000", "Column constraint primary key on more than one column");
        plan->primary_key = 1;
        break;
      case CCONS_REFERENCES:
        check_reference(context, constraint->ref_table, constraint->ref_column);
        plan->ref_table = constraint->ref_table;
        plan->ref_column = constraint->ref_column;
        break;
      case CCONS_AUTO_INCREMENT:
        plan->auto_increment = 1;
        if (constraint->start >= 0) plan->start = constraint->start;
        if (constraint->step >= 0) plan->step = constraint->step;
        break;
      case CCONS_DEFAULT:
        plan->default_value = constraint->default_value;
        break;
      case CCONS_NOT_NULL:
        plan->not_null = 1;
        break;
      case CCONS_UNIQUE:
        plan->unique = 1;
        break;
      case CCONS_CHECK:
        plan->check = constraint->condition;
        break;
      default:
        break;
    }
  }
  return plan;
}

bool defined(ListNode* columns, const NameNode* name) {
  for (ListNode* at = columns; at; at = at->next)
    if (name_matches(name, static_cast<ColumnDefPlan*>(at->data)->name)) return true;
  return false;
}

PlanRecord* create_table(ValidateContext& context, CreateTableNode* node) {
  check_name_limits(context, node->table);
  DalTable existing{};
  if (table_exists(context, node->table, &existing))
    direct_error(context, "42S01", "Base table or view already exists");
  auto* plan = new_plan<CreateTablePlan>(context, PLAN_CREATE_TABLE);
  plan->node = node;
  int primary_keys = 0;
  for (ListNode* at = node->elements; at; at = at->next)
    if (static_cast<Node*>(at->data)->kind == NODE_COLUMN_DEF)
      list_append(context, &plan->columns,
                  check_column_def(context, static_cast<ColumnDefNode*>(at->data), &primary_keys));
  for (ListNode* at = node->elements; at; at = at->next) {
    if (static_cast<Node*>(at->data)->kind != NODE_TABLE_CONSTRAINT) continue;
    auto* constraint = static_cast<TableConstraintNode*>(at->data);
    for (ListNode* name = constraint->columns; name; name = name->next) {
      if (defined(plan->columns, static_cast<NameNode*>(name->data))) continue;
      if (constraint->type == TCONS_PRIMARY_KEY)
        direct_error(context, "HY000", "Primary key column not in table");
      if (constraint->type == TCONS_UNIQUE)
        direct_error(context, "HY000", "UNIQUE column not in table");
    }
    list_append(context, &plan->constraints, constraint);
  }
  return plan;
}

int find_column(const TableEntry* table, const NameNode* name) {
  for (int c = 0; c < table->column_count; ++c)
    if (name_matches(name, table->columns[c].name)) return c;
  return -1;
}

}  // namespace

PlanRecord* validate_ddl(ValidateContext& context, Node* node) {
  switch (node->kind) {
    case NODE_CREATE_TABLE:
      return create_table(context, node_cast<CreateTableNode>(node));
    case NODE_ALTER_TABLE_ADD: {
      auto* alter = node_cast<AlterTableAddNode>(node);
      auto* plan = new_plan<AlterAddPlan>(context, PLAN_ALTER_ADD);
      plan->node = alter;
      plan->table = describe_named_table(context, alter->table);
      int primary_keys = 0;
      for (ListNode* at = alter->columns; at; at = at->next)
        list_append(
            context, &plan->columns,
            check_column_def(context, static_cast<ColumnDefNode*>(at->data), &primary_keys));
      return plan;
    }
    case NODE_ALTER_TABLE_DROP: {
      auto* alter = node_cast<AlterTableDropNode>(node);
      auto* plan = new_plan<AlterDropPlan>(context, PLAN_ALTER_DROP);
      plan->node = alter;
      plan->table = describe_named_table(context, alter->table);
      plan->column = find_column(plan->table, alter->column);
      if (plan->column < 0)
        catalog_error(context, "42S22", "Column %s not found in table %s", name_text(alter->column),
                      plan->table->table.name);
      return plan;
    }
    case NODE_CREATE_INDEX: {
      auto* index = node_cast<CreateIndexNode>(node);
      auto* plan = new_plan<CreateIndexPlan>(context, PLAN_CREATE_INDEX);
      plan->node = index;
      plan->table = describe_named_table(context, index->table);
      int count = ListCount(index->columns);
      plan->column_numbers = static_cast<int32_t*>(
          validate_alloc(context, sizeof(int32_t) * static_cast<size_t>(count + 1)));
      for (ListNode* at = index->columns; at; at = at->next) {
        auto* column = static_cast<IndexColumnNode*>(at->data);
        int number = find_column(plan->table, column->name);
        if (number < 0)
          direct_error(context, "42S22", "Column not found '%s'", name_text(column->name));
        plan->column_numbers[plan->column_count++] = number + 1;
      }
      return plan;
    }
    case NODE_DROP_INDEX: {
      auto* drop = node_cast<DropIndexNode>(node);
      if (!drop->table)
        catalog_error(context, "HY000", "Tablename must be specified to drop a index");
      return describe_named_table(context, drop->table);
    }
    default:  // DROP TABLE
      return describe_named_table(context, node_cast<DropTableNode>(node)->table);
  }
}
