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
      const Node* operand = reinterpret_cast<const SetFunctionNode*>(node)->operand;
      if (operand != nullptr) visitor(operand, argument);
      break;
    }
    case NODE_OPERATOR: {
      const auto* op = reinterpret_cast<const OperatorNode*>(node);
      walk_expression(op->left, visitor, argument);
      if (!is_query_node(op->right)) walk_expression(op->right, visitor, argument);
      break;
    }
    case NODE_CAST:
      walk_expression(reinterpret_cast<const CastNode*>(node)->operand, visitor, argument);
      break;
    case NODE_FUNCTION:
      walk_list(reinterpret_cast<const FunctionNode*>(node)->arguments, visitor, argument);
      break;
    case NODE_ARG_PAIR:
      walk_list(reinterpret_cast<const ArgPairNode*>(node)->items, visitor, argument);
      break;
    case NODE_TRIM_SPEC: {
      const auto* trim = reinterpret_cast<const TrimSpecNode*>(node);
      walk_expression(trim->character, visitor, argument);
      walk_expression(trim->source, visitor, argument);
      break;
    }
    case NODE_LIKE: {
      const auto* like = reinterpret_cast<const LikeNode*>(node);
      walk_expression(like->operand, visitor, argument);
      walk_expression(like->pattern, visitor, argument);
      walk_expression(like->escape, visitor, argument);
      break;
    }
    case NODE_IS_NULL:
      walk_expression(reinterpret_cast<const IsNullNode*>(node)->operand, visitor, argument);
      break;
    case NODE_IN:
      walk_expression(reinterpret_cast<const InNode*>(node)->operand, visitor, argument);
      walk_list(reinterpret_cast<const InNode*>(node)->values, visitor, argument);
      break;
    case NODE_QUANTIFIED:
      walk_expression(reinterpret_cast<const QuantifiedNode*>(node)->operand, visitor, argument);
      break;
    case NODE_CASE: {
      const auto* case_node = reinterpret_cast<const CaseNode*>(node);
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
      walk_expression(reinterpret_cast<const NullifNode*>(node)->first, visitor, argument);
      walk_expression(reinterpret_cast<const NullifNode*>(node)->second, visitor, argument);
      break;
    case NODE_COALESCE:
      walk_list(reinterpret_cast<const CoalesceNode*>(node)->expressions, visitor, argument);
      break;
    case NODE_WRAPPER:
      walk_expression(reinterpret_cast<const WrapperNode*>(node)->wrapped, visitor, argument);
      break;
    default:
      break;
  }
}
