// Query validation: UNION operands, query specifications (FROM list, wildcard expansion,
// select-list items with their types and descriptions, WHERE, GROUP BY, HAVING, keys),
// ORDER BY of a cursor specification, the single-backend flag and column usage marks.
#include <initializer_list>
#include "driver/sql/validate_internal.h"

namespace {

// Appends the visible columns of `entry` (both sides of a join) as select items.
void expand_entry(ValidateContext& context, TableEntry* entry, ListNode** items) {
  if (entry->type == TABLE_JOINED) {
    expand_entry(context, entry->join->left, items);
    expand_entry(context, entry->join->right, items);
    return;
  }
  for (int c = 0; c < entry->column_count; ++c) {
    if (entry->hidden[c]) continue;
    auto* item = static_cast<SelectItemNode*>(
        newNode(sizeof(SelectItemNode), NODE_SELECT_ITEM, context.target->pool));
    if (!item) direct_error(context, "HY001", "Memory allocation error");
    item->expression = resolved_column_ref(context, entry, c);
    list_append(context, items, item);
  }
}

// The select list with every wildcard replaced by its columns.
ListNode* expand_select_list(ValidateContext& context, QueryPlan* plan) {
  ListNode* items = nullptr;
  if (!plan->select->select_list) {
    for (ListNode* at = plan->from; at; at = at->next)
      expand_entry(context, static_cast<TableEntry*>(at->data), &items);
    return items;
  }
  for (ListNode* at = plan->select->select_list; at; at = at->next) {
    auto* item = static_cast<SelectItemNode*>(at->data);
    auto* column = item->expression->kind == NODE_COLUMN_REF
                       ? node_cast<ColumnRefNode>(item->expression)
                       : nullptr;
    if (!column || !column->wildcard) {
      list_append(context, &items, item);
      continue;
    }
    TableEntry* found = nullptr;
    for (ListNode* from = plan->from; from && !found; from = from->next)
      found = find_qualified_entry(static_cast<TableEntry*>(from->data), column);
    if (!found)
      direct_error(context, "HY001", "Unable to find table %s for wildcard expansion",
                   name_text(column->table));
    for (int c = 0; c < found->column_count; ++c) {
      auto* expanded = static_cast<SelectItemNode*>(
          newNode(sizeof(SelectItemNode), NODE_SELECT_ITEM, context.target->pool));
      if (!expanded) direct_error(context, "HY001", "Memory allocation error");
      expanded->expression = resolved_column_ref(context, found, c);
      list_append(context, &items, expanded);
    }
  }
  return items;
}

// Resolves, types and describes every select-list item.
void validate_select_list(ValidateContext& context, QueryPlan* plan) {
  ListNode* items = expand_select_list(context, plan);
  plan->item_count = ListCount(items);
  plan->items = static_cast<SelectColumn*>(
      validate_alloc(context, sizeof(SelectColumn) * static_cast<size_t>(plan->item_count + 1)));
  int index = 0;
  for (ListNode* at = items; at; at = at->next, ++index) {
    auto* item = static_cast<SelectItemNode*>(at->data);
    SelectColumn& column = plan->items[index];
    column.expression = item->expression;
    column.alias = item->alias;
    context.in_select_list = true;
    resolve_expression(context, item->expression);
    column.sql_type = expression_type(context, item->expression);
    context.in_select_list = false;
    describe_result(context, item->expression, column.sql_type, &column.description);
    if (item->alias) {
      column.name = item->alias->text;
    } else if (item->expression->kind == NODE_COLUMN_REF) {
      const ColumnInfo* info = resolved_column_info(node_cast<ColumnRefNode>(item->expression));
      column.name = info ? info->name : "";
    } else {
      column.name = "";
    }
  }
}

// True when every table and subquery of the plan is served by `backend`.
bool draws_only_on(const QueryPlan* plan, int backend) {
  if (plan->union_left)
    return draws_only_on(plan->union_left, backend) && draws_only_on(plan->union_right, backend);
  for (ListNode* at = plan->scan_tables; at; at = at->next) {
    auto* entry = static_cast<TableEntry*>(at->data);
    if (entry->type == TABLE_DERIVED ? !draws_only_on(entry->derived, backend)
                                     : entry->table.backend_index != backend)
      return false;
  }
  for (ListNode* at = plan->subqueries; at; at = at->next)
    if (!draws_only_on(static_cast<SubqueryLink*>(at->data)->plan, backend)) return false;
  return true;
}

int first_backend(const QueryPlan* plan) {
  if (plan->union_left) return first_backend(plan->union_left);
  if (!plan->scan_tables) return -1;
  auto* entry = static_cast<TableEntry*>(plan->scan_tables->data);
  return entry->type == TABLE_DERIVED ? first_backend(entry->derived) : entry->table.backend_index;
}

void validate_specification(ValidateContext& context, QueryPlan* plan, ListNode* group_by,
                            Node* having, bool grouped) {
  QuerySpecNode* select_node = plan->select;
  plan->keyset_possible = 1;
  plan->distinct = select_node->quantifier == QUANT_DISTINCT;
  plan->top = select_node->top;
  for (ListNode* at = select_node->from; at; at = at->next) {
    TableEntry* entry = make_from_entry(context, static_cast<Node*>(at->data));
    list_append(context, &plan->from, entry);
    collect_scan_tables(context, entry, &plan->scan_tables);
  }
  validate_select_list(context, plan);
  if (select_node->where) {
    resolve_expression(context, select_node->where);
    expression_type(context, select_node->where);
    plan->where = select_node->where;
  }
  if (grouped && having && !group_by)
    general_error(context, "HAVING clause only valid after GROUP BY");
  plan->group_count = ListCount(group_by);
  plan->group_by = static_cast<Node**>(
      validate_alloc(context, sizeof(Node*) * static_cast<size_t>(plan->group_count + 1)));
  int index = 0;
  for (ListNode* at = group_by; at; at = at->next) {
    auto* expression = static_cast<Node*>(at->data);
    resolve_expression(context, expression);
    expression_type(context, expression);
    plan->group_by[index++] = expression;
  }
  if (having) {
    context.in_having = true;
    resolve_expression(context, having);
    expression_type(context, having);
    context.in_having = false;
    plan->having = having;
  }
  extract_keyset_values(context, plan);
}

}  // namespace

QueryPlan* validate_query_expression(ValidateContext& context, Node* query, QueryPlan* outer,
                                     bool for_update) {
  auto* plan = new_plan<QueryPlan>(context, PLAN_QUERY);
  plan->query = query;
  plan->outer = outer;
  plan->top = -1;
  plan->for_update = for_update;
  ValidateContext inner = context;
  inner.plan = plan;
  inner.in_select_list = false;
  inner.in_having = false;
  inner.modify_target = nullptr;
  if (query->kind == NODE_UNION) {
    auto* node = node_cast<UnionNode>(query);
    plan->union_all = node->all;
    plan->union_left = validate_query_expression(inner, node->left, outer, false);
    plan->union_right = validate_query_expression(inner, node->right, outer, false);
    QueryPlan* left = plan->union_left;
    QueryPlan* right = plan->union_right;
    if (left->item_count != right->item_count)
      general_error(context, "select list count differs across UNION");
    for (int i = 0; i < left->item_count; ++i)
      if (!types_compatible(left->items[i].sql_type, right->items[i].sql_type))
        general_error(context, "incompatible types via UNION");
    plan->items = left->items;
    plan->item_count = left->item_count;
    for (QueryPlan* side : {left, right})
      for (ListNode* at = side->parameters; at; at = at->next)
        list_append(context, &plan->parameters, at->data);
  } else {
    bool grouped = query->kind == NODE_GROUPED_QUERY;
    GroupedQueryNode* group = grouped ? node_cast<GroupedQueryNode>(query) : nullptr;
    plan->select = grouped ? group->query : node_cast<QuerySpecNode>(query);
    validate_specification(inner, plan, grouped ? group->group_by : nullptr,
                           grouped ? group->having : nullptr, grouped);
  }
  plan->backend_index = first_backend(plan);
  plan->single_backend = plan->backend_index >= 0 && draws_only_on(plan, plan->backend_index);
  mark_column_usage(plan);
  return plan;
}

void validate_order_by(ValidateContext& context, QueryPlan* plan, ListNode* order_by) {
  plan->order_by = order_by;
  int count = ListCount(order_by);
  plan->order_positions = static_cast<int32_t*>(
      validate_alloc(context, sizeof(int32_t) * static_cast<size_t>(count + 1)));
  ValidateContext inner = context;
  inner.plan = plan;
  int index = 0;
  for (ListNode* at = order_by; at; at = at->next, ++index) {
    auto* item = static_cast<OrderItemNode*>(at->data);
    auto* literal =
        item->expression->kind == NODE_LITERAL ? node_cast<LiteralNode>(item->expression) : nullptr;
    if (literal && literal->value_kind == LIT_INTEGER) {
      if (literal->integer < 0 || literal->integer > plan->item_count)
        general_error(context, "ORDER BY column number out of range");
      plan->order_positions[index] = literal->integer;
      continue;
    }
    auto* column = item->expression->kind == NODE_COLUMN_REF
                       ? node_cast<ColumnRefNode>(item->expression)
                       : nullptr;
    if (column && !column->table && column->column) {
      for (int i = 0; i < plan->item_count; ++i)  // a select-list alias names its position
        if (plan->items[i].alias && name_matches(column->column, plan->items[i].alias->text))
          plan->order_positions[index] = i + 1;
      if (plan->order_positions[index]) continue;
      if (plan->union_left) {  // a UNION sorts by its result columns' names
        for (int i = 0; i < plan->item_count && !plan->order_positions[index]; ++i)
          if (name_matches(column->column, plan->items[i].name))
            plan->order_positions[index] = i + 1;
        if (!plan->order_positions[index])
          general_error(context, "column '%s' not found in specified tables", column->column->text);
        continue;
      }
    }
    resolve_expression(inner, item->expression);
    expression_type(inner, item->expression);
  }
  mark_column_usage(plan);
}

void mark_column_usage(QueryPlan* plan) {
  for (ListNode* at = plan->column_refs; at; at = at->next) {
    auto* column = static_cast<ColumnRefNode*>(at->data);
    TableEntry* entry = column->resolved_table;
    if (entry && column->resolved_column >= 0 && column->resolved_column < entry->column_count)
      entry->column_used[column->resolved_column] = 1;
  }
}
