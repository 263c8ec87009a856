// Conditions on required parameter columns: an OR of `=` on one such column becomes an IN
// list (one restriction, however long the list), and the conjuncts a backend consumes (IN
// lists and range bounds on required parameter columns, which the backend turns into one call
// per value) leave the branch predicate, since the rows of such a call carry the call's own
// value, which the written condition need not compare equal to ('0x64' is block 100). The
// same goes for such conjuncts on the preserved side of a top-level outer join, which its
// cursor pushes into that side's query. With several OR branches they stay (a branch predicate
// also tells later branches which rows it returned), their text bounds compared as numbers.
#include <strings.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "driver/sql/planner_internal.h"
#include "driver/sql/tree_shape.h"

namespace {

OperatorNode* as_operator(const Node* node) {
  return node && node->kind == NODE_OPERATOR ? node_cast<OperatorNode>(const_cast<Node*>(node))
                                             : nullptr;
}

bool is_class(const Node* node, int op_class) {
  const OperatorNode* op = as_operator(node);
  return op && op->op_class == op_class;
}

// Posts the memory failure once.
void post_memory(PlannerState& state, bool* failed) {
  if (!*failed) {
    SetReturnCode(state.errors, -1);
    PostError(state.errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY001",
              "Memory allocation error");
  }
  *failed = true;
}

// The column reference when `node` names a required parameter column of a standalone table
// of this query; its scan table in *table.
const Node* parameter_column(const PlannerState& state, const Node* node, int* table) {
  if (!node || node->kind != NODE_COLUMN_REF) return nullptr;
  auto* ref = node_cast<ColumnRefNode>(node);
  *table = planner_table_index(state, ref->resolved_table);
  if (*table < 0) return nullptr;
  const PlannerTable& planned = state.tables[static_cast<size_t>(*table)];
  int column = ref->resolved_column;
  if (!planned.standalone || column < 0 || column >= planned.entry->column_count ||
      !planned.entry->columns[column].required)
    return nullptr;
  return node;
}

// Whether `value` can be a listed value for a parameter of scan table `table`: literals,
// parameters, other tables' columns (read when the scan starts) and arithmetic on them.
bool listable_value(const PlannerState& state, const Node* value, int table) {
  if (!value) return false;
  switch (value->kind) {
    case NODE_LITERAL:
    case NODE_PARAMETER:
      return true;
    case NODE_COLUMN_REF:
      return planner_table_index(state, node_cast<ColumnRefNode>(value)->resolved_table) != table;
    case NODE_CAST:
      return listable_value(state, node_cast<CastNode>(value)->operand, table);
    case NODE_OPERATOR: {
      const OperatorNode* op = as_operator(value);
      if (op->op_class != OPCLASS_VALUE || (op->op >= OP_LESS && op->op <= OP_NOT_EQUAL))
        return false;
      return (!op->left || listable_value(state, op->left, table)) &&
             (!op->right || listable_value(state, op->right, table));
    }
    default:
      return false;
  }
}

// The OR operands of `node`, flattened, in tree order.
void disjuncts(Node* node, std::vector<Node*>* out) {
  if (is_class(node, OPCLASS_OR)) {
    disjuncts(as_operator(node)->left, out);
    disjuncts(as_operator(node)->right, out);
    return;
  }
  out->push_back(node);
}

// `col IN (v1, ...)` for an OR whose every operand is `col = v` on one required parameter
// column; null when the OR is not of that shape.
Node* list_of_or(PlannerState& state, Node* condition, bool* failed) {
  std::vector<Node*> operands;
  disjuncts(condition, &operands);
  const Node* column = nullptr;
  int column_table = -1, column_number = -1;
  std::vector<Node*> values;
  for (Node* operand : operands) {
    OperatorNode* op = as_operator(operand);
    if (!op || op->op_class != OPCLASS_VALUE || op->op != OP_EQUAL) return nullptr;
    int table = -1;
    const Node* side = parameter_column(state, op->left, &table);
    Node* value = op->right;
    if (!side || !listable_value(state, value, table)) {
      side = parameter_column(state, op->right, &table);
      value = op->left;
    }
    if (!side || !listable_value(state, value, table)) return nullptr;
    int number = node_cast<ColumnRefNode>(side)->resolved_column;
    if (column && (table != column_table || number != column_number)) return nullptr;
    column = side;
    column_table = table;
    column_number = number;
    values.push_back(value);
  }
  auto* in = static_cast<InNode*>(newNode(sizeof(InNode), NODE_IN, state.pool));
  if (!in) {
    post_memory(state, failed);
    return nullptr;
  }
  in->operand = const_cast<Node*>(column);
  for (Node* value : values) {
    ListNode* head = ListAppend(value, in->values, state.pool);
    if (!head) {
      post_memory(state, failed);
      return nullptr;
    }
    in->values = head;
  }
  return in;
}

// Whether a planned restriction is one its backend consumes: an IN list or a range bound on a
// required parameter column (an `=` is kept: its rows echo the value as written).
bool consumed(const PlannedRestriction& planned) {
  const Restriction& r = planned.restriction;
  if (!r.column || !r.column->required) return false;
  switch (r.op) {
    case RESTRICT_IN:
    case RESTRICT_LESS:
    case RESTRICT_GREATER:
    case RESTRICT_LESS_EQUAL:
    case RESTRICT_GREATER_EQUAL:
      return true;
    default:
      return false;
  }
}

// Whether `entry` is `leaf` or holds it.
bool holds_leaf(const TableEntry* entry, const void* leaf) {
  if (entry == leaf) return true;
  return entry->type == TABLE_JOINED && entry->join &&
         (holds_leaf(entry->join->left, leaf) || holds_leaf(entry->join->right, leaf));
}

// The preserved side of a LEFT or RIGHT join that the FROM list names itself and that holds
// `leaf`; null when there is none.
const TableEntry* preserved_side_of(const PlannerState& state, const void* leaf) {
  for (ListNode* at = state.query->from; at; at = at->next) {
    auto* entry = static_cast<const TableEntry*>(at->data);
    if (entry->type != TABLE_JOINED || !entry->join) continue;
    const JoinEntry* join = entry->join;
    const TableEntry* side = join->join_type == JOIN_LEFT    ? join->left
                             : join->join_type == JOIN_RIGHT ? join->right
                                                             : nullptr;
    if (side && holds_leaf(side, leaf)) return side;
  }
  return nullptr;
}

// Whether `value` is a literal or a parameter.
bool constant(const Node* value) {
  return value && (value->kind == NODE_LITERAL || value->kind == NODE_PARAMETER);
}

// Whether a WHERE conjunct is a range bound or IN list with constant values on a required
// parameter column of the preserved side of a top-level outer join: the join's cursor gives it
// to that side's own query (whose backend consumes it), so the rows need not be tested again.
bool preserved_side_consumed(const Node* part) {
  const Node* column = nullptr;
  if (part->kind == NODE_IN) {
    auto* in = node_cast<InNode>(part);
    if (in->negated || in->query || !in->values) return false;
    for (ListNode* at = in->values; at; at = at->next)
      if (!constant(static_cast<Node*>(at->data))) return false;
    column = in->operand;
  } else if (const OperatorNode* op = as_operator(part)) {
    if (op->op_class != OPCLASS_VALUE || (op->op != OP_LESS && op->op != OP_GREATER &&
                                          op->op != OP_LESS_EQUAL && op->op != OP_GREATER_EQUAL))
      return false;
    column = constant(op->right) ? op->left : constant(op->left) ? op->right : nullptr;
  }
  if (!column || column->kind != NODE_COLUMN_REF) return false;
  auto* ref = node_cast<ColumnRefNode>(column);
  auto* table = static_cast<const TableEntry*>(ref->resolved_table);
  return table && ref->resolved_column >= 0 && ref->resolved_column < table->column_count &&
         table->columns[ref->resolved_column].required;
}

// The text of a literal block tag ('latest', 'earliest', ...), or null.
const char* block_tag(const LiteralNode* literal) {
  static const char* const kTags[] = {"latest", "earliest", "pending", "safe", "finalized"};
  if (literal->value_kind != LIT_STRING || !literal->text) return nullptr;
  for (const char* tag : kTags)
    if (strncasecmp(literal->text, tag, std::strlen(tag)) == 0 &&
        static_cast<size_t>(literal->length) == std::strlen(tag))
      return tag;
  return nullptr;
}

// Whether a string literal spells a number as a quantity parameter takes it: "0x" hex digits,
// or decimal digits.
bool number_literal(const LiteralNode* literal) {
  if (literal->value_kind != LIT_STRING || !literal->text) return false;
  std::string text(literal->text, static_cast<size_t>(literal->length));
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X') &&
             text.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos;
  return hex || (!text.empty() && text.find_first_not_of("0123456789") == std::string::npos);
}

// Whether a consumed range bound compares the echo of a character parameter column with a value
// that may spell a number: literal text of a number or tag, a parameter or an expression (a
// numeric literal already compares as a number).
bool textual_bound(const PlannedRestriction& planned) {
  const Restriction& r = planned.restriction;
  if (!consumed(planned) || r.op == RESTRICT_IN || !planned.predicate || !r.value_expression)
    return false;
  switch (r.column->sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      break;
    default:
      return false;
  }
  auto* value = static_cast<const Node*>(r.value_expression);
  if (value->kind != NODE_LITERAL) return true;
  auto* literal = node_cast<LiteralNode>(value);
  if (literal->value_kind != LIT_STRING || !literal->text) return false;
  return number_literal(literal) || block_tag(literal);
}

// The text of a string literal among `values` (a value, or an IN node's list) that spells no
// number, so that an echo of it cannot be compared with a number; null when there is none.
const LiteralNode* text_value(const Node* value) {
  std::vector<const Node*> values{value};
  if (value && value->kind == NODE_IN) {
    values.clear();
    for (ListNode* at = node_cast<InNode>(value)->values; at; at = at->next)
      values.push_back(static_cast<const Node*>(at->data));
  }
  for (const Node* item : values) {
    if (!item || item->kind != NODE_LITERAL) continue;
    auto* literal = node_cast<LiteralNode>(item);
    if (literal->value_kind == LIT_STRING && literal->text && !number_literal(literal))
      return literal;
  }
  return nullptr;
}

// Posts HY000 with `message`; -1.
int refuse(PlannerState& state, const std::string& message) {
  SetReturnCode(state.errors, -1);
  PostError(state.errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY000", message.c_str());
  return -1;
}

// A copy of the comparison `op` with its `bound` operand read as a BIGINT, so that the echoed
// text it is compared with is read as the number it spells; null on memory failure (posted).
Node* quantity_comparison(PlannerState& state, const OperatorNode* op, const Node* bound,
                          bool* failed) {
  auto* copy = static_cast<OperatorNode*>(newNode(sizeof(OperatorNode), NODE_OPERATOR, state.pool));
  auto* cast = static_cast<CastNode*>(newNode(sizeof(CastNode), NODE_CAST, state.pool));
  auto* type =
      static_cast<DataTypeNode*>(newNode(sizeof(DataTypeNode), NODE_DATA_TYPE, state.pool));
  if (!copy || !cast || !type) {
    post_memory(state, failed);
    return nullptr;
  }
  *copy = *op;
  type->sql_type = SQL_BIGINT;
  type->length = -1;
  type->scale = -1;
  type->written_name = "BIGINT";
  cast->operand = const_cast<Node*>(bound);
  cast->type = type;
  (copy->left == bound ? copy->left : copy->right) = cast;
  return copy;
}

// planner_collapse_parameter_lists below an operator; `in_or` when the parent is an OR, whose
// own list (if any) was tried whole: a part of it is never made a list of its own.
Node* collapse(PlannerState& state, Node* condition, bool in_or, bool* failed) {
  OperatorNode* op = as_operator(condition);
  if (!op || *failed) return condition;
  if (op->op_class == OPCLASS_OR && !in_or) {
    if (Node* in = list_of_or(state, condition, failed)) return in;
    if (*failed) return condition;
  }
  if (op->op_class == OPCLASS_AND || op->op_class == OPCLASS_OR || op->op_class == OPCLASS_NOT) {
    bool or_parent = op->op_class == OPCLASS_OR;
    if (op->left) op->left = collapse(state, op->left, or_parent, failed);
    if (op->right) op->right = collapse(state, op->right, or_parent, failed);
  }
  return condition;
}

}  // namespace

Node* planner_collapse_parameter_lists(PlannerState& state, Node* condition, bool* failed) {
  return collapse(state, condition, false, failed);
}

bool planner_parameter_list(const PlannerState& state, int table, int column) {
  const PlannerTable& planned = state.tables[static_cast<size_t>(table)];
  return planned.standalone && column >= 0 && column < planned.entry->column_count &&
         planned.entry->columns[column].required;
}

const Node* planner_without_consumed(PlannerState& state, const Node* predicate,
                                     const std::vector<PlannedRestriction>& restrictions,
                                     bool* failed) {
  // With several branches, each branch predicate also tells later branches which rows it
  // returned already, so it must keep every conjunct.
  if (state.branches.size() != 1) return predicate;
  std::vector<const Node*> taken;
  for (const PlannedRestriction& planned : restrictions)
    if (consumed(planned) && planned.predicate) taken.push_back(planned.predicate);
  {
    // The outer-join cursor pushes the top-level conjuncts of the WHERE clause.
    std::vector<const Node*> top;
    planner_conjuncts(state.query->where, &top);
    for (const Node* part : top)
      if (preserved_side_consumed(part)) {
        const Node* column = part->kind == NODE_IN                ? node_cast<InNode>(part)->operand
                             : constant(as_operator(part)->right) ? as_operator(part)->left
                                                                  : as_operator(part)->right;
        if (preserved_side_of(state, node_cast<ColumnRefNode>(column)->resolved_table))
          taken.push_back(part);
      }
  }
  if (taken.empty() || !predicate) return predicate;
  std::vector<const Node*> parts;
  planner_conjuncts(predicate, &parts);
  std::vector<Node*> kept;
  for (const Node* part : parts)
    if (std::find(taken.begin(), taken.end(), part) == taken.end())
      kept.push_back(const_cast<Node*>(part));
  if (kept.size() == parts.size()) return predicate;
  if (kept.empty()) return nullptr;
  const Node* result = tree_join_balanced(std::move(kept), [&]() -> OperatorNode* {
    auto* node =
        static_cast<OperatorNode*>(newNode(sizeof(OperatorNode), NODE_OPERATOR, state.pool));
    if (!node) {
      post_memory(state, failed);
      return nullptr;
    }
    node->op_class = OPCLASS_AND;
    node->op = OP_NONE;
    return node;
  });
  return *failed ? nullptr : result;
}

int planner_quantity_bounds(PlannerState& state, const Node* predicate,
                            const std::vector<PlannedRestriction>& restrictions, const Node** out) {
  *out = predicate;
  if (state.branches.size() < 2 || !predicate) return 0;
  std::vector<const Node*> parts;
  planner_conjuncts(predicate, &parts);
  std::vector<Node*> rewritten;
  bool changed = false, failed = false;
  for (const Node* part : parts) {
    Node* kept = const_cast<Node*>(part);
    for (const PlannedRestriction& planned : restrictions) {
      if (planned.predicate != part || !textual_bound(planned) || !as_operator(part)) continue;
      auto* bound = static_cast<const Node*>(planned.restriction.value_expression);
      std::string name = planned.restriction.column->name;
      const char* advice =
          ", which cannot be compared across the OR branches of the WHERE "
          "clause; give both ends as block numbers, or write each branch as its "
          "own query joined with UNION ALL";
      // The node resolves a tag when the scan starts; the other branches' rows cannot be told
      // apart from this one's without that number.
      if (bound->kind == NODE_LITERAL && block_tag(node_cast<LiteralNode>(bound)))
        return refuse(state, "The range on '" + name + "' ends at the block tag '" +
                                 block_tag(node_cast<LiteralNode>(bound)) + "'" + advice);
      // Nor can a row whose call echoes a tag (or other text) be placed in the range.
      for (const BranchCandidates& branch : state.branches)
        for (const RestrictionCandidate& other : branch.candidates) {
          if (other.table != planned.table ||
              other.column + 1 != planned.restriction.column_number ||
              (other.op != RESTRICT_EQUAL && other.op != RESTRICT_IN))
            continue;
          const LiteralNode* text =
              text_value(other.op == RESTRICT_IN ? other.predicate : other.value);
          if (text)
            return refuse(state, "The range on '" + name + "' meets its value '" +
                                     std::string(text->text, static_cast<size_t>(text->length)) +
                                     "' in another condition" + advice);
        }
      kept = quantity_comparison(state, as_operator(part), bound, &failed);
      if (failed) return -1;
      changed = true;
      break;
    }
    rewritten.push_back(kept);
  }
  if (!changed) return 0;
  *out = tree_join_balanced(std::move(rewritten), [&]() -> OperatorNode* {
    auto* node =
        static_cast<OperatorNode*>(newNode(sizeof(OperatorNode), NODE_OPERATOR, state.pool));
    if (!node) {
      post_memory(state, &failed);
      return nullptr;
    }
    node->op_class = OPCLASS_AND;
    node->op = OP_NONE;
    return node;
  });
  return failed ? -1 : 0;
}

bool planner_subquery_source(const PlannerState& state, const Node* column, const Node* query,
                             std::vector<int>* depends) {
  int table = -1;
  if (!query || !parameter_column(state, column, &table)) return false;
  if (query->kind != NODE_QUERY_SPEC && query->kind != NODE_GROUPED_QUERY &&
      query->kind != NODE_UNION)
    return false;
  const QueryPlan* plan = nullptr;
  for (ListNode* at = state.query->subqueries; at && !plan; at = at->next) {
    auto* link = static_cast<SubqueryLink*>(at->data);
    if (link->query == query) plan = link->plan;
  }
  if (!plan) return false;
  // The subquery (and those inside it) may read columns of this query's tables: it is then
  // run per row of those tables, which must come first.
  std::vector<const QueryPlan*> pending{plan};
  while (!pending.empty()) {
    const QueryPlan* at = pending.back();
    pending.pop_back();
    for (ListNode* ref = at->outer_references; ref; ref = ref->next) {
      auto* outer = static_cast<OuterReference*>(ref->data);
      if (outer->outer != state.query) continue;
      int index = planner_table_index(state, outer->table);
      if (index == table) return false;  // reads the table it would supply
      if (index >= 0) depends->push_back(index);
    }
    for (ListNode* link = at->subqueries; link; link = link->next)
      pending.push_back(static_cast<SubqueryLink*>(link->data)->plan);
  }
  std::sort(depends->begin(), depends->end());
  depends->erase(std::unique(depends->begin(), depends->end()), depends->end());
  return true;
}

int planner_check_branch_limit(PlannerState& state) {
  if (state.branches.size() != 1 || !state.query->where ||
      planner_branch_count_ok(state.query->where))
    return 0;
  for (size_t table = 0; table < state.tables.size(); ++table)
    for (int column : state.tables[table].required_columns) {
      bool supplied = false;
      for (const RestrictionCandidate& candidate : state.branches[0].candidates)
        supplied |= candidate.table == static_cast<int>(table) && candidate.column == column;
      if (supplied) continue;
      std::string message =
          "The WHERE clause would split into more than " + std::to_string(PLANNER_MAX_BRANCHES) +
          " OR branches (the planner's branch limit), so no value of '" +
          std::string(state.tables[table].entry->columns[column].name) +
          "' can be taken from it; give its values as one IN list or range, or join the "
          "branches with UNION ALL";
      SetReturnCode(state.errors, -1);
      PostError(state.errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY000", message.c_str());
      return -1;
    }
  return 0;
}
