// Rebalancing of AND/OR runs and the nesting measure of a parse tree; see tree_shape.h.
// The grammar may share a node between two parents (the operand of BETWEEN and OVERLAPS):
// the walk meets such a node once per path, as every later walk does, and counts the
// meetings so that sharing nested many times over is refused before anything walks it.
#include "driver/sql/tree_shape.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

template <typename T>
const T* as(const Node* node) {
  return reinterpret_cast<const T*>(node);
}

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
    if (child) out_->push_back({reinterpret_cast<const Node*>(child), nullptr});
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
      add.typed(as<AlterTableAddNode>(node)->table);
      add.list(as<AlterTableAddNode>(node)->columns);
      break;
    case NODE_ALTER_TABLE_DROP:
      add.typed(as<AlterTableDropNode>(node)->table);
      break;
    case NODE_CREATE_INDEX:
      add.typed(as<CreateIndexNode>(node)->table);
      add.list(as<CreateIndexNode>(node)->columns);
      break;
    case NODE_CREATE_TABLE:
      add.typed(as<CreateTableNode>(node)->table);
      add.list(as<CreateTableNode>(node)->elements);
      break;
    case NODE_CREATE_VIEW:
      add.typed(as<CreateViewNode>(node)->view);
      add.list(as<CreateViewNode>(node)->columns);
      add.field(&as<CreateViewNode>(node)->query);
      break;
    case NODE_DELETE_POSITIONED:
      add.typed(as<DeletePositionedNode>(node)->table);
      break;
    case NODE_DELETE_SEARCHED:
      add.typed(as<DeleteSearchedNode>(node)->table);
      add.field(&as<DeleteSearchedNode>(node)->where);
      break;
    case NODE_DROP_INDEX:
      add.typed(as<DropIndexNode>(node)->table);
      break;
    case NODE_DROP_TABLE:
    case NODE_DROP_VIEW:
      add.typed(as<DropTableNode>(node)->table);
      break;
    case NODE_GRANT:
    case NODE_REVOKE:
      add.list(as<GrantNode>(node)->privileges);
      add.typed(as<GrantNode>(node)->table);
      add.list(as<GrantNode>(node)->grantees);
      break;
    case NODE_PRIVILEGE:
      add.list(as<PrivilegeNode>(node)->columns);
      break;
    case NODE_INSERT:
      add.typed(as<InsertNode>(node)->table);
      add.typed(as<InsertNode>(node)->source);
      break;
    case NODE_INSERT_SOURCE:
      add.list(as<InsertSourceNode>(node)->columns);
      add.list(as<InsertSourceNode>(node)->values);
      add.field(&as<InsertSourceNode>(node)->query);
      break;
    case NODE_CURSOR_SPEC:
      add.field(&as<CursorSpecNode>(node)->query);
      add.list(as<CursorSpecNode>(node)->order_by);
      break;
    case NODE_SELECT_FOR_UPDATE:
      add.field(&as<SelectForUpdateNode>(node)->query);
      add.list(as<SelectForUpdateNode>(node)->columns);
      break;
    case NODE_QUERY_SPEC:
      add.list(as<QuerySpecNode>(node)->select_list);
      add.list(as<QuerySpecNode>(node)->from);
      add.field(&as<QuerySpecNode>(node)->where);
      break;
    case NODE_GROUPED_QUERY:
      add.typed(as<GroupedQueryNode>(node)->query);
      add.list(as<GroupedQueryNode>(node)->group_by);
      add.field(&as<GroupedQueryNode>(node)->having);
      break;
    case NODE_UNION:
      add.field(&as<UnionNode>(node)->left);
      add.field(&as<UnionNode>(node)->right);
      break;
    case NODE_SET_ASSIGNMENT:
      add.field(&as<SetAssignmentNode>(node)->value);
      break;
    case NODE_UPDATE_POSITIONED:
      add.typed(as<UpdatePositionedNode>(node)->table);
      add.list(as<UpdatePositionedNode>(node)->assignments);
      break;
    case NODE_UPDATE_SEARCHED:
      add.typed(as<UpdateSearchedNode>(node)->table);
      add.list(as<UpdateSearchedNode>(node)->assignments);
      add.field(&as<UpdateSearchedNode>(node)->where);
      break;
    case NODE_CALL:
      add.typed(as<CallNode>(node)->procedure);
      add.list(as<CallNode>(node)->arguments);
      add.typed(as<CallNode>(node)->return_value);
      break;
    case NODE_COLUMN_DEF:
      add.typed(as<ColumnDefNode>(node)->type);
      add.list(as<ColumnDefNode>(node)->constraints);
      break;
    case NODE_TABLE_REF:
      add.field(&as<TableRefNode>(node)->table);
      break;
    case NODE_ORDER_ITEM:
      add.field(&as<OrderItemNode>(node)->expression);
      break;
    case NODE_WRAPPER:
      add.field(&as<WrapperNode>(node)->wrapped);
      break;
    case NODE_SELECT_ITEM:
      add.field(&as<SelectItemNode>(node)->expression);
      break;
    case NODE_DATA_TYPE:
      add.field(&as<DataTypeNode>(node)->qualifier);
      break;
    case NODE_COLUMN_CONSTRAINT:
      add.field(&as<ColumnConstraintNode>(node)->condition);
      add.typed(as<ColumnConstraintNode>(node)->ref_table);
      add.typed(as<ColumnConstraintNode>(node)->default_value);
      add.list(as<ColumnConstraintNode>(node)->as_items);
      break;
    case NODE_TABLE_CONSTRAINT:
      add.field(&as<TableConstraintNode>(node)->condition);
      add.typed(as<TableConstraintNode>(node)->ref_table);
      break;
    case NODE_JOINED_TABLE:
      add.field(&as<JoinedTableNode>(node)->left);
      add.field(&as<JoinedTableNode>(node)->right);
      add.typed(as<JoinedTableNode>(node)->condition);
      break;
    case NODE_JOIN_CONDITION:
      add.field(&as<JoinConditionNode>(node)->on);
      break;
    case NODE_INTERVAL_RANGE:
      add.typed(as<IntervalRangeNode>(node)->start);
      add.typed(as<IntervalRangeNode>(node)->end);
      break;
    case NODE_CAST:
      add.field(&as<CastNode>(node)->operand);
      add.typed(as<CastNode>(node)->type);
      break;
    case NODE_FUNCTION:
      add.list(as<FunctionNode>(node)->arguments);
      break;
    case NODE_SET_FUNCTION:
      add.field(&as<SetFunctionNode>(node)->operand);
      break;
    case NODE_TRIM_SPEC:
      add.field(&as<TrimSpecNode>(node)->character);
      add.field(&as<TrimSpecNode>(node)->source);
      break;
    case NODE_EXISTS:
      add.field(&as<ExistsNode>(node)->query);
      break;
    case NODE_LIKE:
      add.field(&as<LikeNode>(node)->operand);
      add.field(&as<LikeNode>(node)->pattern);
      add.field(&as<LikeNode>(node)->escape);
      break;
    case NODE_IS_NULL:
      add.field(&as<IsNullNode>(node)->operand);
      break;
    case NODE_IN:
      add.field(&as<InNode>(node)->operand);
      add.list(as<InNode>(node)->values);
      add.field(&as<InNode>(node)->query);
      break;
    case NODE_QUANTIFIED:
      add.field(&as<QuantifiedNode>(node)->operand);
      add.field(&as<QuantifiedNode>(node)->query);
      break;
    case NODE_OPERATOR:
      add.field(&as<OperatorNode>(node)->left);
      add.field(&as<OperatorNode>(node)->right);
      break;
    case NODE_ARG_PAIR:
      add.list(as<ArgPairNode>(node)->items);
      break;
    case NODE_CASE:
      add.field(&as<CaseNode>(node)->operand);
      add.list(as<CaseNode>(node)->whens);
      add.field(&as<CaseNode>(node)->else_result);
      break;
    case NODE_NULLIF:
      add.field(&as<NullifNode>(node)->first);
      add.field(&as<NullifNode>(node)->second);
      break;
    case NODE_COALESCE:
      add.list(as<CoalesceNode>(node)->expressions);
      break;
    case NODE_WHEN:
      add.field(&as<WhenNode>(node)->condition);
      add.field(&as<WhenNode>(node)->result);
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
  auto* op = reinterpret_cast<OperatorNode*>(const_cast<Node*>(node));
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
      auto* op = reinterpret_cast<OperatorNode*>(node);
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
