// Joined tables: USING and NATURAL joins rewritten as ANDed equalities (the right side's
// merged columns hidden from unqualified names), join conditions checked for forbidden
// predicates and resolved against the two sides only, and the condition handed to the inner
// table of an outer join as a scan restriction.
#include <strings.h>

#include <vector>

#include "driver/sql/tree_shape.h"
#include "driver/sql/validate_internal.h"

namespace {

bool is_query(const Node* node) {
  return node && (node->kind == NODE_QUERY_SPEC || node->kind == NODE_GROUPED_QUERY ||
                  node->kind == NODE_UNION);
}

// Calls `visit` on every direct child expression of `node`.
template <typename Visit>
void for_each_child(Node* node, Visit&& visit) {
  auto list = [&](ListNode* items) {
    for (ListNode* at = items; at; at = at->next)
      if (at->data) visit(static_cast<Node*>(at->data));
  };
  auto one = [&](Node* child) {
    if (child) visit(child);
  };
  switch (node->kind) {
    case NODE_OPERATOR:
      one(node_cast<OperatorNode>(node)->left);
      one(node_cast<OperatorNode>(node)->right);
      break;
    case NODE_CAST:
      one(node_cast<CastNode>(node)->operand);
      break;
    case NODE_FUNCTION:
      list(node_cast<FunctionNode>(node)->arguments);
      break;
    case NODE_ARG_PAIR:
      list(node_cast<ArgPairNode>(node)->items);
      break;
    case NODE_TRIM_SPEC:
      one(node_cast<TrimSpecNode>(node)->character);
      one(node_cast<TrimSpecNode>(node)->source);
      break;
    case NODE_LIKE:
      one(node_cast<LikeNode>(node)->operand);
      one(node_cast<LikeNode>(node)->pattern);
      one(node_cast<LikeNode>(node)->escape);
      break;
    case NODE_IS_NULL:
      one(node_cast<IsNullNode>(node)->operand);
      break;
    case NODE_IN:
      one(node_cast<InNode>(node)->operand);
      list(node_cast<InNode>(node)->values);
      break;
    case NODE_CASE:
      one(node_cast<CaseNode>(node)->operand);
      list(node_cast<CaseNode>(node)->whens);
      one(node_cast<CaseNode>(node)->else_result);
      break;
    case NODE_WHEN:
      one(node_cast<WhenNode>(node)->condition);
      one(node_cast<WhenNode>(node)->result);
      break;
    case NODE_NULLIF:
      one(node_cast<NullifNode>(node)->first);
      one(node_cast<NullifNode>(node)->second);
      break;
    case NODE_COALESCE:
      list(node_cast<CoalesceNode>(node)->expressions);
      break;
    case NODE_WRAPPER:
      one(node_cast<WrapperNode>(node)->wrapped);
      break;
    default:
      break;
  }
}

void check_forbidden(ValidateContext& context, Node* node) {
  switch (node->kind) {
    case NODE_SET_FUNCTION:
      direct_error(context, "HY000", "SET predicate not allowed in joining expr");
    case NODE_EXISTS:
      direct_error(context, "HY000", "EXISTS predicate not allowed in joining expr");
    case NODE_IN:
      direct_error(context, "HY000", "IN predicate not allowed in joining expr");
    case NODE_QUANTIFIED:
      direct_error(context, "HY000", "QUANTIFIED predicate not allowed in joining expr");
    default:
      break;
  }
  if (is_query(node) ||
      (node->kind == NODE_OPERATOR && is_query(node_cast<OperatorNode>(node)->right)))
    direct_error(context, "HY000", "SubQuery not allowed in joining expr");
  for_each_child(node, [&](Node* child) { check_forbidden(context, child); });
}

// Resolves a join-condition column among the leaves of both sides.
void resolve_join_column(ValidateContext& context, ColumnRefNode* column, ListNode* leaves) {
  if (column->resolved_table) return;
  TableEntry* found = nullptr;
  int found_column = -1;
  int matches = 0;
  for (ListNode* at = leaves; at; at = at->next) {
    auto* entry = static_cast<TableEntry*>(at->data);
    if (column->table && !entry_matches_qualifier(entry, column)) continue;
    for (int c = 0; c < entry->column_count; ++c) {
      if ((!column->table && entry->hidden[c]) ||
          !name_matches(column->column, entry->columns[c].name))
        continue;
      ++matches;
      found = entry;
      found_column = c;
    }
  }
  const char* name = name_text(column->column);
  if (matches == 0) {
    if (column->table)
      direct_error(context, "HY000", "column '%s.%s' not found in either join sources",
                   column->table->text, name);
    direct_error(context, "HY000", "column '%s' not found in either join sources", name);
  }
  if (matches > 1) {
    if (column->table)
      direct_error(context, "HY000", "column '%s.%s' not unique in either join sources",
                   column->table->text, name);
    direct_error(context, "HY000", "column '%s' not unique in either join sources", name);
  }
  column->resolved_table = found;
  column->resolved_column = found_column;
  if (context.plan) list_append(context, &context.plan->column_refs, column);
}

void resolve_join_columns(ValidateContext& context, Node* node, ListNode* leaves) {
  if (node->kind == NODE_COLUMN_REF) {
    resolve_join_column(context, node_cast<ColumnRefNode>(node), leaves);
    return;
  }
  for_each_child(node, [&](Node* child) { resolve_join_columns(context, child, leaves); });
}

// Adds `left.column = right.column` to the equalities of a USING or NATURAL join.
void add_equality(ValidateContext& context, std::vector<Node*>* equalities, TableEntry* left,
                  int left_column, TableEntry* right, int right_column) {
  MemPool* pool = context.target->pool;
  auto* equal = static_cast<OperatorNode*>(newNode(sizeof(OperatorNode), NODE_OPERATOR, pool));
  if (!equal) direct_error(context, "HY001", "Memory allocation error");
  equal->op_class = OPCLASS_VALUE;
  equal->op = OP_EQUAL;
  equal->left = resolved_column_ref(context, left, left_column);
  equal->right = resolved_column_ref(context, right, right_column);
  equalities->push_back(equal);
}

// The join condition: the equalities ANDed in a balanced tree, so that a join over
// thousands of columns does not nest its condition thousands deep.
void set_condition(ValidateContext& context, JoinEntry* join, std::vector<Node*> equalities) {
  MemPool* pool = context.target->pool;
  join->condition = tree_join_balanced(std::move(equalities), [&] {
    auto* both = static_cast<OperatorNode*>(newNode(sizeof(OperatorNode), NODE_OPERATOR, pool));
    if (!both) direct_error(context, "HY001", "Memory allocation error");
    both->op_class = OPCLASS_AND;
    return both;
  });
}

// The unique visible column named `name` among `leaves` (entry and number); false if none.
bool find_side_column(ListNode* leaves, const NameNode* name, TableEntry** entry, int* column) {
  for (ListNode* at = leaves; at; at = at->next) {
    auto* leaf = static_cast<TableEntry*>(at->data);
    for (int c = 0; c < leaf->column_count; ++c)
      if (!leaf->hidden[c] && name_matches(name, leaf->columns[c].name)) {
        *entry = leaf;
        *column = c;
        return true;
      }
  }
  return false;
}

void check_nameable(ValidateContext& context, const TableEntry* side) {
  if (side->type == TABLE_DERIVED && !side->correlation)
    direct_error(context, "HY000", "Unnamed SubQuery not allowed with USING join");
  if (side->type == TABLE_JOINED)
    direct_error(context, "HY000", "Unnamed SubJoin not allowed with USING join");
}

void build_natural(ValidateContext& context, JoinEntry* join, ListNode* left_leaves,
                   ListNode* right_leaves) {
  std::vector<Node*> equalities;
  for (ListNode* l = left_leaves; l; l = l->next) {
    auto* left = static_cast<TableEntry*>(l->data);
    for (int lc = 0; lc < left->column_count; ++lc) {
      if (left->hidden[lc]) continue;
      for (ListNode* r = right_leaves; r; r = r->next) {
        auto* right = static_cast<TableEntry*>(r->data);
        for (int rc = 0; rc < right->column_count; ++rc) {
          const ColumnInfo& a = left->columns[lc];
          const ColumnInfo& b = right->columns[rc];
          if (right->hidden[rc] || strcasecmp(a.name, b.name) != 0 || a.sql_type != b.sql_type ||
              operator_result_type(a.sql_type, b.sql_type, OP_EQUAL) != SQL_TYPE_TRUTH)
            continue;
          add_equality(context, &equalities, left, lc, right, rc);
          right->hidden[rc] = 1;
          right->visible_columns--;
        }
      }
    }
  }
  if (equalities.empty()) direct_error(context, "HY000", "No joinable columns");
  set_condition(context, join, std::move(equalities));
}

}  // namespace

void validate_join(ValidateContext& context, TableEntry* entry) {
  JoinEntry* join = entry->join;
  JoinedTableNode* node = join->node;
  ListNode* left_leaves = nullptr;
  ListNode* right_leaves = nullptr;
  collect_scan_tables(context, join->left, &left_leaves);
  collect_scan_tables(context, join->right, &right_leaves);
  ListNode* using_columns = node->condition ? node->condition->using_columns : nullptr;
  if (node->natural || using_columns) {
    check_nameable(context, join->left);
    check_nameable(context, join->right);
  }
  if (node->natural) {
    build_natural(context, join, left_leaves, right_leaves);
  } else if (using_columns) {
    std::vector<Node*> equalities;
    for (ListNode* at = using_columns; at; at = at->next) {
      auto* name = static_cast<NameNode*>(at->data);
      TableEntry* left = nullptr;
      TableEntry* right = nullptr;
      int left_column = -1;
      int right_column = -1;
      if (!find_side_column(left_leaves, name, &left, &left_column) ||
          !find_side_column(right_leaves, name, &right, &right_column))
        direct_error(context, "HY000", "column '%s' not found in either join sources",
                     name_text(name));
      add_equality(context, &equalities, left, left_column, right, right_column);
      right->hidden[right_column] = 1;
      right->visible_columns--;
    }
    set_condition(context, join, std::move(equalities));
  } else if (node->condition && node->condition->on) {
    join->condition = node->condition->on;
    check_forbidden(context, join->condition);
    ListNode* leaves = nullptr;
    collect_scan_tables(context, entry, &leaves);
    resolve_join_columns(context, join->condition, leaves);
    resolve_expression(context, join->condition);  // parameters and anything left
  }
  entry->visible_columns = join->left->visible_columns + join->right->visible_columns;
  if (join->condition) expression_type(context, join->condition);
  if (node->join_type == JOIN_LEFT && join->right->type == TABLE_BASE)
    join->right->inner_restriction = join->condition;
  if (node->join_type == JOIN_RIGHT && join->left->type == TABLE_BASE)
    join->left->inner_restriction = join->condition;
}
