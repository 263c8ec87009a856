// SQL text of expressions and predicates: column references, operators, functions, set
// functions, CAST, CASE, NULLIF, COALESCE, LIKE, IN, EXISTS, IS NULL and quantified
// comparisons, including the planner marks that the print modes show.
#include <cstring>

#include "driver/sql/functions.h"
#include "driver/sql/sqlgen_internal.h"

namespace {

const Node* list_item(ListNode* list, int index) {
  ListNode* item = ListFirst(list);
  for (int i = 0; item && i < index; ++i) item = ListNext(item);
  return item ? static_cast<const Node*>(ListData(item)) : nullptr;
}

bool is_query(const Node* node) {
  return node && (node->kind == NODE_QUERY_SPEC || node->kind == NODE_GROUPED_QUERY ||
                  node->kind == NODE_UNION);
}

// Symbol of a value operator code, "?" for a code that is not one.
const char* operator_symbol(int32_t op) {
  static const char* const kSymbols[] = {"?", "+", "-",  "||", "*", "/", "-",
                                         "<", ">", ">=", "<=", "=", "<>"};
  return op >= OP_ADD && op <= OP_NOT_EQUAL ? kSymbols[op] : kSymbols[0];
}

void print_column_ref(const ColumnRefNode* node, SqlOutput& out) {
  sqlgen_print_qualifier(node->link, node->catalog, node->schema, node->table, out);
  if (node->column && !node->wildcard) {
    sqlgen_print_name(node->column, out);
  } else {
    sql_emitf(out, "*");
  }
  if (out.mode == SQL_PRINT_MARKED && node->mark != SQL_COLUMN_UNMARKED) {
    sql_emitf(out, node->mark == SQL_COLUMN_MARK_A ? "(A) " : "(*) ");
  }
}

void print_operand(const Node* operand, SqlOutput& out) {
  if (is_query(operand)) {
    sqlgen_print_subquery(operand, out);
  } else {
    sql_print_node(operand, out);
  }
}

void print_operator(const OperatorNode* node, SqlOutput& out) {
  if (out.mode == SQL_PRINT_PRUNED && node->mark) {
    sql_emitf(out, " (0=0) ");
    return;
  }
  switch (node->op_class) {
    case OPCLASS_AND:
    case OPCLASS_OR:
      sql_emitf(out, "( ");
      sql_print_node(node->left, out);
      sql_emitf(out, node->op_class == OPCLASS_AND ? " AND " : " OR ");
      sql_print_node(node->right, out);
      sql_emitf(out, ")");
      break;
    case OPCLASS_NOT:
      sql_emitf(out, "( ");
      sql_emitf(out, " NOT ");
      sql_print_node(node->right ? node->right : node->left, out);
      sql_emitf(out, ")");
      break;
    default:
      sql_emitf(out, "( ");
      print_operand(node->left, out);
      sql_emitf(out, " %s ", operator_symbol(node->op));
      print_operand(node->right, out);
      sql_emitf(out, " )");
      break;
  }
}

// Names a keyword makes unusable as a plain call; these keep the {fn} escape.
bool needs_function_escape(const char* name) {
  static const char* const kKeywordNames[] = {"USER", "CURRENT_DATE", "CURRENT_TIME",
                                              "CURRENT_TIMESTAMP", "CURRENT_USER"};
  for (const char* keyword : kKeywordNames) {
    if (strcmp(name, keyword) == 0) return true;
  }
  return false;
}

// One argument that pairs two operands (EXTRACT's FROM, POSITION's IN), or null.
const ArgPairNode* single_pair_argument(const FunctionNode* node) {
  if (ListCount(node->arguments) != 1) return nullptr;
  const Node* argument = list_item(node->arguments, 0);
  return argument && argument->kind == NODE_ARG_PAIR ? node_cast<ArgPairNode>(argument) : nullptr;
}

void print_pair_call(const char* name, const ArgPairNode* pair, const char* joiner,
                     const char* closer, SqlOutput& out) {
  sql_emitf(out, " %s( ", name);
  sql_print_node(list_item(pair->items, 0), out);
  sql_emitf(out, "%s", joiner);
  sql_print_node(list_item(pair->items, 1), out);
  sql_emitf(out, "%s", closer);
}

void print_named_call(const FunctionNode* node, SqlOutput& out) {
  const char* name = node->function && node->function->name ? node->function->name : node->name;
  if (!name) name = "?";
  if (const ArgPairNode* pair = single_pair_argument(node)) {
    if (node->number == scalar_function_number("EXTRACT")) {
      print_pair_call("EXTRACT", pair, " FROM ", " )", out);
    } else {
      print_pair_call(name, pair, " IN ", " ) ", out);
    }
    return;
  }
  bool escaped = needs_function_escape(name);
  if (escaped) sql_emitf(out, "{fn ");
  sql_emitf(out, "%s( ", name);
  sqlgen_print_list(node->arguments, ", ", out);
  sql_emitf(out, " ) ");
  if (escaped) sql_emitf(out, "}");
}

void print_function(const FunctionNode* node, SqlOutput& out) {
  const char* single = nullptr;
  switch (node->number) {
    case FUNC_BIT_LENGTH:
      single = " BIT_LENGTH( ";
      break;
    case FUNC_CHARACTER_LENGTH:
      single = " CHARACTER_LENGTH( ";
      break;
    case FUNC_OCTET_LENGTH:
      single = " OCTET_LENGTH( ";
      break;
    case FUNC_TRIM:
      single = " TRIM( ";
      break;
    case FUNC_LOWER:
      single = " LOWER( ";
      break;
    case FUNC_UPPER:
      single = " UPPER( ";
      break;
    case FUNC_POSITION:
      if (const ArgPairNode* pair = single_pair_argument(node)) {
        print_pair_call("POSITION", pair, " IN ", " ) ", out);
      } else {
        sql_emitf(out, " POSITION( ");
        sqlgen_print_list(node->arguments, " IN ", out);
        sql_emitf(out, " ) ");
      }
      return;
    case FUNC_SUBSTRING:
      sql_emitf(out, " SUBSTRING( ");
      sql_print_node(list_item(node->arguments, 0), out);
      sql_emitf(out, " FROM ");
      sql_print_node(list_item(node->arguments, 1), out);
      if (const Node* length = list_item(node->arguments, 2)) {
        sql_emitf(out, " FOR ");
        sql_print_node(length, out);
      }
      sql_emitf(out, " ) ");
      return;
    default:
      print_named_call(node, out);
      return;
  }
  sql_emitf(out, "%s", single);
  sqlgen_print_list(node->arguments, ", ", out);
  sql_emitf(out, " ) ");
}

void print_set_function(const SetFunctionNode* node, SqlOutput& out) {
  static const char* const kNames[] = {"",    "COUNT", "MAX",   "MIN", "SUM",
                                       "AVG", "COUNT", "FIRST", "LAST"};
  if (node->function == SETF_COUNT_STAR) {
    sql_emitf(out, " COUNT(*) ");
    return;
  }
  const char* name =
      node->function >= SETF_COUNT && node->function <= SETF_LAST ? kNames[node->function] : "?";
  if (node->function == SETF_FIRST || node->function == SETF_LAST) {
    sql_emitf(out, " %s( ", name);
  } else {
    sql_emitf(out, node->distinct ? " %s( DISTINCT " : " %s( ALL ", name);
  }
  sql_print_node(node->operand, out);
  sql_emitf(out, " ) ");
}

void print_trim_spec(const TrimSpecNode* node, SqlOutput& out) {
  if (node->side == TRIM_LEADING) sql_emitf(out, "LEADING ");
  if (node->side == TRIM_TRAILING) sql_emitf(out, "TRAILING ");
  if (node->side == TRIM_BOTH) sql_emitf(out, "BOTH ");
  sql_print_node(node->character, out);
  sql_emitf(out, " FROM ");
  sql_print_node(node->source, out);
}

void print_cast(const CastNode* node, SqlOutput& out) {
  sql_emitf(out, " CAST ( ");
  if (node->operand) {
    sql_print_node(node->operand, out);
  } else {
    sql_emitf(out, "NULL");
  }
  sql_emitf(out, " AS ");
  sql_print_node(node->type, out);
  sql_emitf(out, ") ");
}

void print_like(const LikeNode* node, SqlOutput& out) {
  sql_print_node(node->operand, out);
  if (node->negated) sql_emitf(out, " NOT ");
  sql_emitf(out, " LIKE ");
  sql_print_node(node->pattern, out);
  if (node->escape) {
    sql_emitf(out, " ESCAPE ");
    sql_print_node(node->escape, out);
  }
}

void print_in(const InNode* node, SqlOutput& out) {
  if (node->reduced == 1 || node->reduced == 2) {
    sql_emitf(out, node->reduced == 1 ? " 1 = 1 " : " 1 = 0 ");
    return;
  }
  sql_print_node(node->operand, out);
  if (node->negated) sql_emitf(out, " NOT ");
  sql_emitf(out, " IN ");
  sql_emitf(out, " ( ");
  if (node->query) {
    sql_print_node(node->query, out);
  } else {
    sqlgen_print_list(node->values, ", ", out);
  }
  sql_emitf(out, ")");
}

void print_quantified(const QuantifiedNode* node, SqlOutput& out) {
  static const char* const kQuantifiers[] = {"", " ALL ", " ANY ", " SOME "};
  sql_print_node(node->operand, out);
  sql_emitf(out, node->negated ? " NOT %s " : " %s ", operator_symbol(node->op));
  if (node->quantifier >= QUANTIFIER_ALL && node->quantifier <= QUANTIFIER_SOME) {
    sql_emitf(out, "%s", kQuantifiers[node->quantifier]);
  }
  sql_emitf(out, " ( ");
  sql_print_node(node->query, out);
  sql_emitf(out, " ) ");
}

void print_case(const CaseNode* node, SqlOutput& out) {
  sql_emitf(out, " CASE ");
  if (node->operand) {
    sql_print_node(node->operand, out);
    sql_emitf(out, " ");
  }
  sqlgen_print_list(node->whens, "", out);
  if (node->else_result) {
    sql_emitf(out, " ELSE ");
    sql_print_node(node->else_result, out);
  }
  sql_emitf(out, " END");
}

}  // namespace

bool sqlgen_print_expression(const Node* node, SqlOutput& out) {
  switch (node->kind) {
    case NODE_COLUMN_REF:
      print_column_ref(node_cast<ColumnRefNode>(node), out);
      return true;
    case NODE_OPERATOR:
      print_operator(node_cast<OperatorNode>(node), out);
      return true;
    case NODE_FUNCTION:
      print_function(node_cast<FunctionNode>(node), out);
      return true;
    case NODE_SET_FUNCTION:
      print_set_function(node_cast<SetFunctionNode>(node), out);
      return true;
    case NODE_TRIM_SPEC:
      print_trim_spec(node_cast<TrimSpecNode>(node), out);
      return true;
    case NODE_CAST:
      print_cast(node_cast<CastNode>(node), out);
      return true;
    case NODE_EXISTS: {
      auto* exists = node_cast<ExistsNode>(node);
      sql_emitf(out, exists->negated ? " NOT EXISTS ( " : " EXISTS ( ");
      sql_print_node(exists->query, out);
      sql_emitf(out, " ) ");
      return true;
    }
    case NODE_LIKE:
      print_like(node_cast<LikeNode>(node), out);
      return true;
    case NODE_IS_NULL: {
      auto* is_null = node_cast<IsNullNode>(node);
      sql_print_node(is_null->operand, out);
      sql_emitf(out, is_null->negated ? " IS NOT NULL" : " IS NULL");
      return true;
    }
    case NODE_IN:
      print_in(node_cast<InNode>(node), out);
      return true;
    case NODE_QUANTIFIED:
      print_quantified(node_cast<QuantifiedNode>(node), out);
      return true;
    case NODE_ARG_PAIR:
      sqlgen_print_list(node_cast<ArgPairNode>(node)->items, ", ", out);
      return true;
    case NODE_PARAMETER:
      sql_emitf(out, " ? ");
      return true;
    case NODE_CASE:
      print_case(node_cast<CaseNode>(node), out);
      return true;
    case NODE_WHEN: {
      auto* when = node_cast<WhenNode>(node);
      sql_emitf(out, " WHEN ");
      sql_print_node(when->condition, out);
      sql_emitf(out, " THEN ");
      sql_print_node(when->result, out);
      return true;
    }
    case NODE_NULLIF: {
      auto* nullif = node_cast<NullifNode>(node);
      sql_emitf(out, "NULLIF( ");
      sql_print_node(nullif->first, out);
      sql_emitf(out, ", ");
      sql_print_node(nullif->second, out);
      sql_emitf(out, ")");
      return true;
    }
    case NODE_COALESCE:
      sql_emitf(out, "COALESCE( ");
      sqlgen_print_list(node_cast<CoalesceNode>(node)->expressions, ", ", out);
      sql_emitf(out, ")");
      return true;
    default:
      return false;
  }
}
