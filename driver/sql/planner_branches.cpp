// Branch building: IN lists on indexed columns rewritten as OR / AND chains, the WHERE clause
// brought into disjunctive normal form by distributing AND over OR in place, the split into
// one branch per disjunct, and the restriction candidates each branch's conjuncts offer.
#include <algorithm>

#include "driver/sql/planner_internal.h"
#include "driver/sql/tree_shape.h"

namespace {

constexpr double kMaxBranches = PLANNER_MAX_BRANCHES;

OperatorNode* as_operator(const Node* node) {
  return node && node->kind == NODE_OPERATOR ? node_cast<OperatorNode>(const_cast<Node*>(node))
                                             : nullptr;
}
bool is_class(const Node* node, int op_class) {
  const OperatorNode* op = as_operator(node);
  return op && op->op_class == op_class;
}

OperatorNode* make_operator(PlannerState& state, int op_class, int op, Node* left, Node* right,
                            bool* failed) {
  auto* node = static_cast<OperatorNode*>(newNode(sizeof(OperatorNode), NODE_OPERATOR, state.pool));
  if (!node) {
    if (!*failed) {
      SetReturnCode(state.errors, -1);
      PostError(state.errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY001",
                "Memory allocation error");
    }
    *failed = true;
    return nullptr;
  }
  node->op_class = op_class;
  node->op = op;
  node->left = left;
  node->right = right;
  return node;
}

// The scan table and 0-based column of a plain column reference of this query, or false.
bool own_column(const PlannerState& state, const Node* node, int* table, int* column) {
  if (!node || node->kind != NODE_COLUMN_REF) return false;
  auto* ref = node_cast<ColumnRefNode>(node);
  *table = planner_table_index(state, ref->resolved_table);
  *column = ref->resolved_column;
  return *table >= 0 && *column >= 0 &&
         *column < state.tables[static_cast<size_t>(*table)].entry->column_count;
}

// `col IN (e1, ..., ek)` as `col = e1 OR ...`, NOT IN as `col <> e1 AND ...`; null when
// the IN is not to be expanded.
Node* expand_one_in(PlannerState& state, InNode* in, bool* failed) {
  int table = -1, column = -1;
  if (!in->values || in->query || in->reduced != 0) return nullptr;
  if (!own_column(state, in->operand, &table, &column)) return nullptr;
  if (!planner_column_indexed(state, table, column)) return nullptr;
  // A required parameter's list goes to its backend whole, one call per value.
  if (planner_parameter_list(state, table, column)) return nullptr;
  if (ListCount(in->values) > kMaxBranches) return nullptr;  // would only exceed the limit
  int op_class = in->negated ? OPCLASS_AND : OPCLASS_OR;
  int op = in->negated ? OP_NOT_EQUAL : OP_EQUAL;
  std::vector<Node*> tests;
  for (ListNode* at = in->values; at && !*failed; at = at->next)
    tests.push_back(
        make_operator(state, OPCLASS_VALUE, op, in->operand, static_cast<Node*>(at->data), failed));
  if (*failed) return nullptr;
  // Balanced, so the chain adds no more than a few levels to the condition.
  Node* chain = tree_join_balanced(std::move(tests), [&] {
    return make_operator(state, op_class, OP_NONE, nullptr, nullptr, failed);
  });
  return *failed ? nullptr : chain;
}

// Disjuncts the normal form of `node` would have.
double disjunct_count(const Node* node) {
  if (is_class(node, OPCLASS_OR))
    return disjunct_count(as_operator(node)->left) + disjunct_count(as_operator(node)->right);
  if (is_class(node, OPCLASS_AND))
    return disjunct_count(as_operator(node)->left) * disjunct_count(as_operator(node)->right);
  return 1;
}

Node* normal_form(PlannerState& state, Node* node, bool* failed) {
  OperatorNode* op = as_operator(node);
  if (!op || *failed) return node;
  if (op->op_class == OPCLASS_OR) {
    op->left = normal_form(state, op->left, failed);
    op->right = normal_form(state, op->right, failed);
    return node;
  }
  if (op->op_class != OPCLASS_AND) return node;
  op->left = normal_form(state, op->left, failed);
  op->right = normal_form(state, op->right, failed);
  // The OR operand may be shared (a Z distributed earlier), so it is never changed: the
  // result is a new OR node, the AND node itself becoming one of its operands.
  bool left_or = is_class(op->left, OPCLASS_OR);
  if (!left_or && !is_class(op->right, OPCLASS_OR)) return node;
  OperatorNode* either = as_operator(left_or ? op->left : op->right);
  Node* z = left_or ? op->right : op->left;
  // (X OR Y) AND Z  ->  (Z AND X) OR (Z AND Y);  Z AND (X OR Y) likewise. Both new nodes are
  // made before anything changes, so a memory failure leaves the tree as it was.
  OperatorNode* made_and =
      make_operator(state, OPCLASS_AND, OP_NONE, z, left_or ? either->left : either->right, failed);
  OperatorNode* made_or = make_operator(state, OPCLASS_OR, OP_NONE, nullptr, nullptr, failed);
  if (*failed) return node;
  op->left = z;
  op->right = left_or ? either->right : either->left;
  made_or->left = left_or ? made_and : node;
  made_or->right = left_or ? node : made_and;
  made_or->left = normal_form(state, made_or->left, failed);
  made_or->right = normal_form(state, made_or->right, failed);
  return made_or;
}

// What a value expression refers to.
struct ValueScan {
  std::vector<int> tables;  // own scan tables referred to
  bool pushable = true;     // no aggregate, subquery or unknown node
};

void scan_value(const PlannerState& state, const Node* node, ValueScan* scan) {
  if (!node || !scan->pushable) return;
  auto list = [&](ListNode* items) {
    for (ListNode* at = items; at; at = at->next)
      scan_value(state, static_cast<Node*>(at->data), scan);
  };
  switch (node->kind) {
    case NODE_LITERAL:
    case NODE_PARAMETER:
    case NODE_INTERVAL_FIELD:
      return;
    case NODE_COLUMN_REF: {
      auto* ref = node_cast<ColumnRefNode>(node);
      int table = planner_table_index(state, ref->resolved_table);
      if (table >= 0) scan->tables.push_back(table);  // others are outer references: constants
      return;
    }
    case NODE_OPERATOR: {
      auto* op = node_cast<OperatorNode>(node);
      if (op->right && (op->right->kind == NODE_QUERY_SPEC ||
                        op->right->kind == NODE_GROUPED_QUERY || op->right->kind == NODE_UNION)) {
        scan->pushable = false;
        return;
      }
      scan_value(state, op->left, scan);
      scan_value(state, op->right, scan);
      return;
    }
    case NODE_CAST:
      scan_value(state, node_cast<CastNode>(node)->operand, scan);
      return;
    case NODE_FUNCTION:
      list(node_cast<FunctionNode>(node)->arguments);
      return;
    case NODE_ARG_PAIR:
      list(node_cast<ArgPairNode>(node)->items);
      return;
    case NODE_TRIM_SPEC:
      scan_value(state, node_cast<TrimSpecNode>(node)->character, scan);
      scan_value(state, node_cast<TrimSpecNode>(node)->source, scan);
      return;
    case NODE_CASE:
      scan_value(state, node_cast<CaseNode>(node)->operand, scan);
      list(node_cast<CaseNode>(node)->whens);
      scan_value(state, node_cast<CaseNode>(node)->else_result, scan);
      return;
    case NODE_WHEN:
      scan_value(state, node_cast<WhenNode>(node)->condition, scan);
      scan_value(state, node_cast<WhenNode>(node)->result, scan);
      return;
    case NODE_NULLIF:
      scan_value(state, node_cast<NullifNode>(node)->first, scan);
      scan_value(state, node_cast<NullifNode>(node)->second, scan);
      return;
    case NODE_COALESCE:
      list(node_cast<CoalesceNode>(node)->expressions);
      return;
    case NODE_WRAPPER:
      scan_value(state, node_cast<WrapperNode>(node)->wrapped, scan);
      return;
    default:  // aggregates, subqueries, predicates: never a pushed value
      scan->pushable = false;
  }
}

int mirrored(int op) {
  switch (op) {
    case OP_LESS:
      return OP_GREATER;
    case OP_GREATER:
      return OP_LESS;
    case OP_GREATER_EQUAL:
      return OP_LESS_EQUAL;
    case OP_LESS_EQUAL:
      return OP_GREATER_EQUAL;
    default:
      return op;
  }
}

// Adds the candidate `column op value` when `column` is a plain column of this query whose
// table the value does not refer to.
void add_candidate(const PlannerState& state, const Node* column, int op, const Node* value,
                   ListNode* values, const Node* predicate, int negated,
                   std::vector<RestrictionCandidate>* out) {
  RestrictionCandidate candidate;
  if (!own_column(state, column, &candidate.table, &candidate.column)) return;
  if (!state.tables[static_cast<size_t>(candidate.table)].standalone) return;
  ValueScan scan;
  int in_count = 0;
  // A subquery supplies a required parameter: run before the scan (again per row of the
  // tables it reads).
  const Node* source = op == RESTRICT_IN ? node_cast<InNode>(predicate)->query : value;
  if (!planner_subquery_source(state, column, source, &scan.tables)) {
    if (op == RESTRICT_IN && !values) return;  // other IN subqueries stay in the predicate
    scan_value(state, value, &scan);
    for (ListNode* at = values; at; at = at->next, ++in_count)
      scan_value(state, static_cast<Node*>(at->data), &scan);
  }
  if (!scan.pushable) return;
  std::sort(scan.tables.begin(), scan.tables.end());
  scan.tables.erase(std::unique(scan.tables.begin(), scan.tables.end()), scan.tables.end());
  for (int table : scan.tables)
    if (table == candidate.table || !state.tables[static_cast<size_t>(table)].standalone) return;
  candidate.op = op;
  candidate.negated = negated;
  candidate.in_count = in_count;
  candidate.value = value;
  candidate.column_ref = column;
  candidate.predicate = predicate;
  candidate.depends = std::move(scan.tables);
  out->push_back(std::move(candidate));
}

}  // namespace

void planner_conjuncts(const Node* node, std::vector<const Node*>* out) {
  if (!node) return;
  if (is_class(node, OPCLASS_AND)) {
    planner_conjuncts(as_operator(node)->left, out);
    planner_conjuncts(as_operator(node)->right, out);
    return;
  }
  out->push_back(node);
}

Node* planner_expand_in(PlannerState& state, Node* condition, bool* failed) {
  if (!condition || *failed) return condition;
  if (OperatorNode* op = as_operator(condition)) {
    if (op->op_class == OPCLASS_AND || op->op_class == OPCLASS_OR || op->op_class == OPCLASS_NOT) {
      if (op->left) op->left = planner_expand_in(state, op->left, failed);
      if (op->right) op->right = planner_expand_in(state, op->right, failed);
    }
    return condition;
  }
  if (condition->kind != NODE_IN) return condition;
  Node* chain = expand_one_in(state, node_cast<InNode>(condition), failed);
  return chain ? chain : condition;
}

bool planner_branch_count_ok(const Node* condition) {
  return disjunct_count(condition) <= kMaxBranches;
}

Node* planner_normal_form(PlannerState& state, Node* condition, bool* failed) {
  if (!planner_branch_count_ok(condition)) return condition;
  return normal_form(state, condition, failed);
}

bool planner_has_and_or_not(const Node* condition) {
  const OperatorNode* op = as_operator(condition);
  if (!op) return false;
  if (op->op_class == OPCLASS_AND || op->op_class == OPCLASS_NOT) return true;
  if (op->op_class != OPCLASS_OR) return false;
  return planner_has_and_or_not(op->left) || planner_has_and_or_not(op->right);
}

void planner_split_branches(Node* condition, std::vector<Node*>* out) {
  if (is_class(condition, OPCLASS_OR)) {
    planner_split_branches(as_operator(condition)->left, out);
    planner_split_branches(as_operator(condition)->right, out);
    return;
  }
  out->push_back(condition);
}

const Node* planner_with_join_conditions(PlannerState& state, const Node* predicate, bool* failed) {
  if (state.join_conditions.empty()) return predicate;
  // The join conditions in order, then the predicate, ANDed in a balanced tree: a query of
  // many joins must not nest its branch predicate once per join.
  std::vector<Node*> operands;
  for (const Node* condition : state.join_conditions)
    operands.push_back(const_cast<Node*>(condition));
  if (predicate) operands.push_back(const_cast<Node*>(predicate));
  const Node* result = tree_join_balanced(std::move(operands), [&] {
    return make_operator(state, OPCLASS_AND, OP_NONE, nullptr, nullptr, failed);
  });
  return *failed ? nullptr : result;
}

void planner_derive_candidates(const PlannerState& state, const Node* predicate,
                               std::vector<RestrictionCandidate>* out) {
  std::vector<const Node*> parts;
  planner_conjuncts(predicate, &parts);
  for (const Node* part : parts) {
    switch (part->kind) {
      case NODE_OPERATOR: {
        auto* op = node_cast<OperatorNode>(part);
        if (op->op_class != OPCLASS_VALUE || op->op < OP_LESS || op->op > OP_NOT_EQUAL) break;
        add_candidate(state, op->left, op->op, op->right, nullptr, part, 0, out);
        add_candidate(state, op->right, mirrored(op->op), op->left, nullptr, part, 0, out);
        break;
      }
      case NODE_LIKE: {
        auto* like = node_cast<LikeNode>(part);
        add_candidate(state, like->operand, RESTRICT_LIKE, like->pattern, nullptr, part,
                      like->negated, out);
        break;
      }
      case NODE_IS_NULL: {
        auto* is_null = node_cast<IsNullNode>(part);
        if (!is_null->negated)
          add_candidate(state, is_null->operand, RESTRICT_IS_NULL, nullptr, nullptr, part, 0, out);
        break;
      }
      case NODE_IN: {
        auto* in = node_cast<InNode>(part);
        if (!in->negated && (in->values || in->query) && in->reduced == 0)
          add_candidate(state, in->operand, RESTRICT_IN, nullptr, in->values, part, 0, out);
        break;
      }
      default:
        break;
    }
  }
}
