// Name resolution over expression trees: column references against the plan's tables and
// then the outer plans (recording outer references), set functions, subqueries validated as
// linked plans, and dynamic parameters collected for typing.
#include "driver/sql/functions.h"
#include "driver/sql/validate_internal.h"

namespace {

bool is_query(const Node* node) {
  return node && (node->kind == NODE_QUERY_SPEC || node->kind == NODE_GROUPED_QUERY ||
                  node->kind == NODE_UNION);
}

void add_once(ValidateContext& context, ListNode** list, void* data) {
  for (ListNode* at = *list; at; at = at->next)
    if (at->data == data) return;
  list_append(context, list, data);
}

// Resolves a column reference in the plan, then in each outer plan.
void resolve_column(ValidateContext& context, ColumnRefNode* column) {
  if (column->resolved_table) return;
  if (context.modify_target) {
    ListNode single{context.modify_target, nullptr, nullptr, nullptr};
    single.tail = &single;
    if (!resolve_column_in(context, column, &single))
      general_error(context, "column '%s' not found in table", name_text(column->column));
    return;
  }
  QueryPlan* plan = context.plan;
  if (!plan)
    general_error(context, "column '%s' not found in specified tables", name_text(column->column));
  list_append(context, &plan->column_refs, column);
  if (resolve_column_in(context, column, plan->scan_tables)) return;
  for (QueryPlan* outer = plan->outer; outer; outer = outer->outer) {
    if (!resolve_column_in(context, column, outer->scan_tables)) continue;
    add_once(context, &outer->dependent_subqueries, plan);
    auto* reference = new_plan<OuterReference>(context, PLAN_OUTER_REFERENCE);
    reference->column = column;
    reference->outer = outer;
    reference->table = column->resolved_table;
    reference->column_number = column->resolved_column;
    list_append(context, &plan->outer_references, reference);
    return;
  }
  general_error(context, "column '%s' not found in specified tables", name_text(column->column));
}

void resolve_set_function(ValidateContext& context, SetFunctionNode* node) {
  if (!context.in_select_list && !context.in_having)
    general_error(context, "set functions only allowed in select list or having clause");
  auto* entry = new_plan<SetFunctionEntry>(context, PLAN_SET_FUNCTION);
  entry->node = node;
  entry->in_having = context.in_having ? 1 : 0;
  list_append(
      context,
      context.in_having ? &context.plan->having_set_functions : &context.plan->select_set_functions,
      entry);
  if (node->operand) resolve_expression(context, node->operand);
}

void resolve_parameter(ValidateContext& context, ParameterNode* node) {
  if (context.in_select_list) general_error(context, "parameter not allowed in select list");
  auto* entry = static_cast<ParameterEntry*>(validate_alloc(context, sizeof(ParameterEntry)));
  entry->node = node;
  if (context.plan) list_append(context, &context.plan->parameters, entry);
  if (context.statement_parameters) list_append(context, context.statement_parameters, entry);
}

void resolve_list(ValidateContext& context, ListNode* list) {
  for (ListNode* at = list; at; at = at->next)
    if (at->data) resolve_expression(context, static_cast<Node*>(at->data));
}

void resolve_function(ValidateContext& context, FunctionNode* node) {
  int index = 0;
  for (ListNode* at = node->arguments; at; at = at->next, ++index) {
    auto* argument = static_cast<Node*>(at->data);
    if (!argument) continue;
    // Unit names (SQL_TSI_DAY, 'yyyy') are not column references.
    if (node->function && index < SCALAR_FUNCTION_MAX_ARGUMENTS &&
        (node->function->argument_classes[index] & FN_CLASS_SPECIFIER) &&
        argument->kind == NODE_COLUMN_REF)
      continue;
    resolve_expression(context, argument);
  }
}

}  // namespace

bool resolve_column_in(ValidateContext& context, ColumnRefNode* column, ListNode* entries) {
  TableEntry* found_entry = nullptr;
  int found_column = -1;
  int matches = 0;
  for (ListNode* at = entries; at; at = at->next) {
    auto* entry = static_cast<TableEntry*>(at->data);
    bool qualified = column->table != nullptr;
    if (qualified && !entry_matches_qualifier(entry, column)) continue;
    for (int c = 0; c < entry->column_count; ++c) {
      if (!qualified && entry->hidden[c]) continue;
      if (!column->column || !name_matches(column->column, entry->columns[c].name)) continue;
      ++matches;
      found_entry = entry;
      found_column = c;
    }
  }
  if (matches > 1)
    general_error(context, "column '%s' not unique in specified tables",
                  column->column ? column->column->text : "unnamed");
  if (matches == 0) return false;
  column->resolved_table = found_entry;
  column->resolved_column = found_column;
  return true;
}

QueryPlan* validate_subquery(ValidateContext& context, Node* query) {
  QueryPlan* plan = validate_query_expression(context, query, context.plan, false);
  if (context.plan) {
    auto* link = static_cast<SubqueryLink*>(validate_alloc(context, sizeof(SubqueryLink)));
    link->query = query;
    link->plan = plan;
    list_append(context, &context.plan->subqueries, link);
    for (ListNode* at = plan->parameters; at; at = at->next)
      list_append(context, &context.plan->parameters, at->data);
  }
  return plan;
}

void resolve_expression(ValidateContext& context, Node* expression) {
  if (!expression) return;
  switch (expression->kind) {
    case NODE_COLUMN_REF:
      resolve_column(context, node_cast<ColumnRefNode>(expression));
      break;
    case NODE_SET_FUNCTION:
      resolve_set_function(context, node_cast<SetFunctionNode>(expression));
      break;
    case NODE_PARAMETER:
      resolve_parameter(context, node_cast<ParameterNode>(expression));
      break;
    case NODE_EXISTS:
      validate_subquery(context, node_cast<ExistsNode>(expression)->query);
      break;
    case NODE_QUERY_SPEC:
    case NODE_GROUPED_QUERY:  // a subquery used as a value
      validate_subquery(context, expression);
      break;
    case NODE_IN: {
      auto* node = node_cast<InNode>(expression);
      resolve_expression(context, node->operand);
      resolve_list(context, node->values);
      if (node->query) validate_subquery(context, node->query);
      break;
    }
    case NODE_QUANTIFIED: {
      auto* node = node_cast<QuantifiedNode>(expression);
      resolve_expression(context, node->operand);
      validate_subquery(context, node->query);
      break;
    }
    case NODE_OPERATOR: {
      auto* node = node_cast<OperatorNode>(expression);
      resolve_expression(context, node->left);
      if (is_query(node->right))
        validate_subquery(context, node->right);
      else
        resolve_expression(context, node->right);
      break;
    }
    case NODE_CAST:
      resolve_expression(context, node_cast<CastNode>(expression)->operand);
      break;
    case NODE_FUNCTION:
      resolve_function(context, node_cast<FunctionNode>(expression));
      break;
    case NODE_ARG_PAIR:
      resolve_list(context, node_cast<ArgPairNode>(expression)->items);
      break;
    case NODE_TRIM_SPEC: {
      auto* node = node_cast<TrimSpecNode>(expression);
      resolve_expression(context, node->character);
      resolve_expression(context, node->source);
      break;
    }
    case NODE_LIKE: {
      auto* node = node_cast<LikeNode>(expression);
      resolve_expression(context, node->operand);
      resolve_expression(context, node->pattern);
      resolve_expression(context, node->escape);
      break;
    }
    case NODE_IS_NULL:
      resolve_expression(context, node_cast<IsNullNode>(expression)->operand);
      break;
    case NODE_CASE: {
      auto* node = node_cast<CaseNode>(expression);
      resolve_expression(context, node->operand);
      resolve_list(context, node->whens);
      resolve_expression(context, node->else_result);
      break;
    }
    case NODE_WHEN: {
      auto* node = node_cast<WhenNode>(expression);
      resolve_expression(context, node->condition);
      resolve_expression(context, node->result);
      break;
    }
    case NODE_NULLIF: {
      auto* node = node_cast<NullifNode>(expression);
      resolve_expression(context, node->first);
      resolve_expression(context, node->second);
      break;
    }
    case NODE_COALESCE:
      resolve_list(context, node_cast<CoalesceNode>(expression)->expressions);
      break;
    case NODE_WRAPPER:
      resolve_expression(context, node_cast<WrapperNode>(expression)->wrapped);
      break;
    default:  // literals, names, interval fields: nothing to resolve
      break;
  }
}

ColumnRefNode* resolved_column_ref(ValidateContext& context, TableEntry* entry, int c) {
  MemPool* pool = context.target->pool;
  auto* name = static_cast<NameNode*>(newNode(sizeof(NameNode), NODE_NAME, pool));
  auto* column = static_cast<ColumnRefNode*>(newNode(sizeof(ColumnRefNode), NODE_COLUMN_REF, pool));
  if (!name || !column) direct_error(context, "HY001", "Memory allocation error");
  name->text = entry->columns[c].name;
  name->quoted = 1;
  column->column = name;
  column->resolved_table = entry;
  column->resolved_column = c;
  if (context.plan) list_append(context, &context.plan->column_refs, column);
  return column;
}
