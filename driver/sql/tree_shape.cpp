// Rebalancing of AND/OR runs and the nesting measure of a parse tree; see tree_shape.h.
// The grammar may share a node between two parents (the operand of BETWEEN and OVERLAPS):
// the walk meets such a node once per path, as every later walk does, and counts the
// meetings so that sharing nested many times over is refused before anything walks it.
#include "driver/sql/tree_shape.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

// A child of a node: one node, or a whole list of them (walked one element at a time, so
// that a list of thousands of values never lies on the walk's stack at once).
struct Child {
  const Node* node;  // the child, or null for a list
  ListNode* list;    // the list's first element still to visit, or null
};

// Collects the children of one node in written order (null children are left out).
class Children {
 public:
  explicit Children(std::vector<Child>* out) : out_(out) {}

  // A child in a Node* field of the parent.
  void field(const Node* const* slot) {
    if (*slot) out_->push_back({*slot, nullptr});
  }
  // A child in a field of a more specific type.
  template <typename T>
  void typed(const T* child) {
    if (child) out_->push_back({child, nullptr});
  }
  // Every element of a list.
  void list(ListNode* items) {
    if (items) out_->push_back({nullptr, items});
  }

 private:
  std::vector<Child>* out_;
};

void children_of(const Node* node, std::vector<Child>* out) {
  Children add(out);
  switch (node->kind) {
    case NODE_ALTER_TABLE_ADD:
      add.typed(node_cast<AlterTableAddNode>(node)->table);
      add.list(node_cast<AlterTableAddNode>(node)->columns);
      break;
    case NODE_ALTER_TABLE_DROP:
      add.typed(node_cast<AlterTableDropNode>(node)->table);
      break;
    case NODE_CREATE_INDEX:
      add.typed(node_cast<CreateIndexNode>(node)->table);
      add.list(node_cast<CreateIndexNode>(node)->columns);
      break;
    case NODE_CREATE_TABLE:
      add.typed(node_cast<CreateTableNode>(node)->table);
      add.list(node_cast<CreateTableNode>(node)->elements);
      break;
    case NODE_CREATE_VIEW:
      add.typed(node_cast<CreateViewNode>(node)->view);
      add.list(node_cast<CreateViewNode>(node)->columns);
      add.field(&node_cast<CreateViewNode>(node)->query);
      break;
    case NODE_DELETE_POSITIONED:
      add.typed(node_cast<DeletePositionedNode>(node)->table);
      break;
    case NODE_DELETE_SEARCHED:
      add.typed(node_cast<DeleteSearchedNode>(node)->table);
      add.field(&node_cast<DeleteSearchedNode>(node)->where);
      break;
    case NODE_DROP_INDEX:
      add.typed(node_cast<DropIndexNode>(node)->table);
      break;
    case NODE_DROP_TABLE:
    case NODE_DROP_VIEW:
      add.typed(node_cast<DropTableNode>(node)->table);
      break;
    case NODE_GRANT:
    case NODE_REVOKE:
      add.list(node_cast<GrantNode>(node)->privileges);
      add.typed(node_cast<GrantNode>(node)->table);
      add.list(node_cast<GrantNode>(node)->grantees);
      break;
    case NODE_PRIVILEGE:
      add.list(node_cast<PrivilegeNode>(node)->columns);
      break;
    case NODE_INSERT:
      add.typed(node_cast<InsertNode>(node)->table);
      add.typed(node_cast<InsertNode>(node)->source);
      break;
    case NODE_INSERT_SOURCE:
      add.list(node_cast<InsertSourceNode>(node)->columns);
      add.list(node_cast<InsertSourceNode>(node)->values);
      add.field(&node_cast<InsertSourceNode>(node)->query);
      break;
    case NODE_CURSOR_SPEC:
      add.field(&node_cast<CursorSpecNode>(node)->query);
      add.list(node_cast<CursorSpecNode>(node)->order_by);
      break;
    case NODE_SELECT_FOR_UPDATE:
      add.field(&node_cast<SelectForUpdateNode>(node)->query);
      add.list(node_cast<SelectForUpdateNode>(node)->columns);
      break;
    case NODE_QUERY_SPEC:
      add.list(node_cast<QuerySpecNode>(node)->select_list);
      add.list(node_cast<QuerySpecNode>(node)->from);
      add.field(&node_cast<QuerySpecNode>(node)->where);
      break;
    case NODE_GROUPED_QUERY:
      add.typed(node_cast<GroupedQueryNode>(node)->query);
      add.list(node_cast<GroupedQueryNode>(node)->group_by);
      add.field(&node_cast<GroupedQueryNode>(node)->having);
      break;
    case NODE_UNION:
      add.field(&node_cast<UnionNode>(node)->left);
      add.field(&node_cast<UnionNode>(node)->right);
      break;
    case NODE_SET_ASSIGNMENT:
      add.field(&node_cast<SetAssignmentNode>(node)->value);
      break;
    case NODE_UPDATE_POSITIONED:
      add.typed(node_cast<UpdatePositionedNode>(node)->table);
      add.list(node_cast<UpdatePositionedNode>(node)->assignments);
      break;
    case NODE_UPDATE_SEARCHED:
      add.typed(node_cast<UpdateSearchedNode>(node)->table);
      add.list(node_cast<UpdateSearchedNode>(node)->assignments);
      add.field(&node_cast<UpdateSearchedNode>(node)->where);
      break;
    case NODE_CALL:
      add.typed(node_cast<CallNode>(node)->procedure);
      add.list(node_cast<CallNode>(node)->arguments);
      add.typed(node_cast<CallNode>(node)->return_value);
      break;
    case NODE_COLUMN_DEF:
      add.typed(node_cast<ColumnDefNode>(node)->type);
      add.list(node_cast<ColumnDefNode>(node)->constraints);
      break;
    case NODE_TABLE_REF:
      add.field(&node_cast<TableRefNode>(node)->table);
      break;
    case NODE_ORDER_ITEM:
      add.field(&node_cast<OrderItemNode>(node)->expression);
      break;
    case NODE_WRAPPER:
      add.field(&node_cast<WrapperNode>(node)->wrapped);
      break;
    case NODE_SELECT_ITEM:
      add.field(&node_cast<SelectItemNode>(node)->expression);
      break;
    case NODE_DATA_TYPE:
      add.field(&node_cast<DataTypeNode>(node)->qualifier);
      break;
    case NODE_COLUMN_CONSTRAINT:
      add.field(&node_cast<ColumnConstraintNode>(node)->condition);
      add.typed(node_cast<ColumnConstraintNode>(node)->ref_table);
      add.typed(node_cast<ColumnConstraintNode>(node)->default_value);
      add.list(node_cast<ColumnConstraintNode>(node)->as_items);
      break;
    case NODE_TABLE_CONSTRAINT:
      add.field(&node_cast<TableConstraintNode>(node)->condition);
      add.typed(node_cast<TableConstraintNode>(node)->ref_table);
      break;
    case NODE_JOINED_TABLE:
      add.field(&node_cast<JoinedTableNode>(node)->left);
      add.field(&node_cast<JoinedTableNode>(node)->right);
      add.typed(node_cast<JoinedTableNode>(node)->condition);
      break;
    case NODE_JOIN_CONDITION:
      add.field(&node_cast<JoinConditionNode>(node)->on);
      break;
    case NODE_INTERVAL_RANGE:
      add.typed(node_cast<IntervalRangeNode>(node)->start);
      add.typed(node_cast<IntervalRangeNode>(node)->end);
      break;
    case NODE_CAST:
      add.field(&node_cast<CastNode>(node)->operand);
      add.typed(node_cast<CastNode>(node)->type);
      break;
    case NODE_FUNCTION:
      add.list(node_cast<FunctionNode>(node)->arguments);
      break;
    case NODE_SET_FUNCTION:
      add.field(&node_cast<SetFunctionNode>(node)->operand);
      break;
    case NODE_TRIM_SPEC:
      add.field(&node_cast<TrimSpecNode>(node)->character);
      add.field(&node_cast<TrimSpecNode>(node)->source);
      break;
    case NODE_EXISTS:
      add.field(&node_cast<ExistsNode>(node)->query);
      break;
    case NODE_LIKE:
      add.field(&node_cast<LikeNode>(node)->operand);
      add.field(&node_cast<LikeNode>(node)->pattern);
      add.field(&node_cast<LikeNode>(node)->escape);
      break;
    case NODE_IS_NULL:
      add.field(&node_cast<IsNullNode>(node)->operand);
      break;
    case NODE_IN:
      add.field(&node_cast<InNode>(node)->operand);
      add.list(node_cast<InNode>(node)->values);
      add.field(&node_cast<InNode>(node)->query);
      break;
    case NODE_QUANTIFIED:
      add.field(&node_cast<QuantifiedNode>(node)->operand);
      add.field(&node_cast<QuantifiedNode>(node)->query);
      break;
    case NODE_OPERATOR:
      add.field(&node_cast<OperatorNode>(node)->left);
      add.field(&node_cast<OperatorNode>(node)->right);
      break;
    case NODE_ARG_PAIR:
      add.list(node_cast<ArgPairNode>(node)->items);
      break;
    case NODE_CASE:
      add.field(&node_cast<CaseNode>(node)->operand);
      add.list(node_cast<CaseNode>(node)->whens);
      add.field(&node_cast<CaseNode>(node)->else_result);
      break;
    case NODE_NULLIF:
      add.field(&node_cast<NullifNode>(node)->first);
      add.field(&node_cast<NullifNode>(node)->second);
      break;
    case NODE_COALESCE:
      add.list(node_cast<CoalesceNode>(node)->expressions);
      break;
    case NODE_WHEN:
      add.field(&node_cast<WhenNode>(node)->condition);
      add.field(&node_cast<WhenNode>(node)->result);
      break;
    default:  // names, literals, parameters and the other leaves
      break;
  }
}

// Nodes whose walks take a query's worth of stack.
bool is_query_level(int32_t kind) {
  return kind == NODE_QUERY_SPEC || kind == NODE_GROUPED_QUERY || kind == NODE_JOINED_TABLE;
}

OperatorNode* logic_operator(const Node* node) {
  if (!node || node->kind != NODE_OPERATOR) return nullptr;
  auto* op = node_cast<OperatorNode>(const_cast<Node*>(node));
  return op->op_class == OPCLASS_AND || op->op_class == OPCLASS_OR ? op : nullptr;
}

bool in_run(const Node* node, int32_t op_class) {
  const OperatorNode* op = logic_operator(node);
  return op && op->op_class == op_class;
}

// The depth of a balanced tree over `operands` operands: the logarithm, rounded up.
int32_t balanced_depth(size_t operands) {
  int32_t depth = 0;
  for (size_t room = 1; room < operands; room *= 2) ++depth;
  return depth;
}

// One run of equal logic operators below `root`: its operator nodes (root first) and its
// operands, in written order. Returns the run's depth.
int32_t collect_run(OperatorNode* root, std::vector<OperatorNode*>* operators,
                    std::vector<Node*>* operands, std::vector<std::pair<Node*, int32_t>>* stack) {
  operators->clear();
  operands->clear();
  int32_t depth = 0;
  // Right before left, so the operands come off the stack in written order.
  std::vector<std::pair<Node*, int32_t>>& pending = *stack;
  pending.assign({{root->right, 1}, {root->left, 1}});
  operators->push_back(root);
  while (!pending.empty()) {
    auto [node, level] = pending.back();
    pending.pop_back();
    if (in_run(node, root->op_class)) {
      auto* op = node_cast<OperatorNode>(node);
      operators->push_back(op);
      pending.push_back({op->right, level + 1});
      pending.push_back({op->left, level + 1});
    } else {
      operands->push_back(node);
      depth = std::max(depth, level);
    }
  }
  return depth;
}

// Rebalances the run under `root` when it is deeper than kept and than balanced; the root
// node stays on top, made last from the run's own nodes.
void balance_run(OperatorNode* root, std::vector<OperatorNode*>* operators,
                 std::vector<Node*>* operands, std::vector<std::pair<Node*, int32_t>>* stack) {
  int32_t depth = collect_run(root, operators, operands, stack);
  if (depth <= LOGIC_RUN_DEPTH_KEPT || depth <= balanced_depth(operands->size())) return;
  size_t unused = operators->size();
  tree_join_balanced(std::move(*operands), [&] { return (*operators)[--unused]; });
}

// What is still to visit: one node, or the rest of a list.
struct Pending {
  const Node* node;  // the node, or null for the rest of a list
  ListNode* list;    // the list elements still to visit, or null
  int64_t above;     // the sum of the weights of the node's ancestors
  bool inside_run;   // the parent is an AND or OR of the node's class, its run balanced
};

// The walk's working storage, kept per thread so that parsing a short statement allocates
// nothing for it after the first.
struct Scratch {
  std::vector<Pending> pending;                      // the walk's own stack
  std::vector<Child> children;                       // the children of the node at hand
  std::vector<OperatorNode*> operators;              // the operator nodes of a run
  std::vector<Node*> operands;                       // the operands of a run
  std::vector<std::pair<Node*, int32_t>> run_stack;  // collect_run's stack: node, level

  // Gives back what a huge statement made the vectors hold.
  void trim() {
    constexpr size_t kKept = 4096;
    if (pending.capacity() > kKept) std::vector<Pending>().swap(pending);
    if (operators.capacity() > kKept) std::vector<OperatorNode*>().swap(operators);
    if (operands.capacity() > kKept) std::vector<Node*>().swap(operands);
    if (run_stack.capacity() > kKept) std::vector<std::pair<Node*, int32_t>>().swap(run_stack);
  }
};

void shape(Node* statement, TreeMeasure* out, Scratch& scratch) {
  std::vector<Pending>& pending = scratch.pending;
  std::vector<Child>& children = scratch.children;
  pending.assign({{statement, nullptr, 0, false}});
  while (!pending.empty()) {
    Pending at = pending.back();
    pending.pop_back();
    if (at.list) {  // one element now, the rest after it
      if (at.list->next) pending.push_back({nullptr, at.list->next, at.above, false});
      at.node = static_cast<const Node*>(at.list->data);
      if (!at.node) continue;
    }
    if (++out->expanded > TREE_EXPANDED_LIMIT) return;
    OperatorNode* logic = logic_operator(at.node);
    if (logic && !at.inside_run)
      balance_run(logic, &scratch.operators, &scratch.operands, &scratch.run_stack);
    int64_t nesting = at.above + (is_query_level(at.node->kind) ? NESTING_QUERY_WEIGHT
                                                                : NESTING_EXPRESSION_WEIGHT);
    out->nesting = std::max(out->nesting, nesting);
    children.clear();
    children_of(at.node, &children);
    for (auto child = children.rbegin(); child != children.rend(); ++child)
      pending.push_back(
          {child->node, child->list, nesting, logic && in_run(child->node, logic->op_class)});
  }
}

}  // namespace

bool tree_shape_statement(Node* statement, TreeMeasure* out) {
  *out = TreeMeasure{0, 0};
  if (!statement) return true;
  thread_local Scratch scratch;
  bool done = true;
  try {
    shape(statement, out, scratch);
  } catch (const std::bad_alloc&) {
    done = false;
  }
  scratch.trim();
  return done;
}
