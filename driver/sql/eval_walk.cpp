// Walk mode: hands every column reference, and the argument of every set function, of an
// expression to a visitor without computing anything. Subqueries are not entered.
#include "driver/sql/eval_internal.h"

namespace {

void walk_list(ListNode* list, EvalVisitor visitor, void* argument) {
  for (ListNode* item = list; item != nullptr; item = item->next)
    walk_expression(static_cast<const Node*>(item->data), visitor, argument);
}

}  // namespace

void walk_expression(const Node* node, EvalVisitor visitor, void* argument) {
  if (node == nullptr) return;
  switch (node->kind) {
    case NODE_COLUMN_REF:
      visitor(node, argument);
      break;
    case NODE_SET_FUNCTION: {
      const Node* operand = node_cast<SetFunctionNode>(node)->operand;
      if (operand != nullptr) visitor(operand, argument);
      break;
    }
    case NODE_OPERATOR: {
      const auto* op = node_cast<OperatorNode>(node);
      walk_expression(op->left, visitor, argument);
      if (!is_query_node(op->right)) walk_expression(op->right, visitor, argument);
      break;
    }
    case NODE_CAST:
      walk_expression(node_cast<CastNode>(node)->operand, visitor, argument);
      break;
    case NODE_FUNCTION:
      walk_list(node_cast<FunctionNode>(node)->arguments, visitor, argument);
      break;
    case NODE_ARG_PAIR:
      walk_list(node_cast<ArgPairNode>(node)->items, visitor, argument);
      break;
    case NODE_TRIM_SPEC: {
      const auto* trim = node_cast<TrimSpecNode>(node);
      walk_expression(trim->character, visitor, argument);
      walk_expression(trim->source, visitor, argument);
      break;
    }
    case NODE_LIKE: {
      const auto* like = node_cast<LikeNode>(node);
      walk_expression(like->operand, visitor, argument);
      walk_expression(like->pattern, visitor, argument);
      walk_expression(like->escape, visitor, argument);
      break;
    }
    case NODE_IS_NULL:
      walk_expression(node_cast<IsNullNode>(node)->operand, visitor, argument);
      break;
    case NODE_IN:
      walk_expression(node_cast<InNode>(node)->operand, visitor, argument);
      walk_list(node_cast<InNode>(node)->values, visitor, argument);
      break;
    case NODE_QUANTIFIED:
      walk_expression(node_cast<QuantifiedNode>(node)->operand, visitor, argument);
      break;
    case NODE_CASE: {
      const auto* case_node = node_cast<CaseNode>(node);
      walk_expression(case_node->operand, visitor, argument);
      for (ListNode* item = case_node->whens; item != nullptr; item = item->next) {
        const auto* when = static_cast<const WhenNode*>(item->data);
        walk_expression(when->condition, visitor, argument);
        walk_expression(when->result, visitor, argument);
      }
      walk_expression(case_node->else_result, visitor, argument);
      break;
    }
    case NODE_NULLIF:
      walk_expression(node_cast<NullifNode>(node)->first, visitor, argument);
      walk_expression(node_cast<NullifNode>(node)->second, visitor, argument);
      break;
    case NODE_COALESCE:
      walk_list(node_cast<CoalesceNode>(node)->expressions, visitor, argument);
      break;
    case NODE_WRAPPER:
      walk_expression(node_cast<WrapperNode>(node)->wrapped, visitor, argument);
      break;
    default:
      break;
  }
}
