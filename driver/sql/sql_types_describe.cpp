// Result descriptions of expressions: walks an expression tree and derives the type, size,
// length, precision and scale of its result (literals, CAST, operators, set functions,
// scalar functions, CASE, NULLIF and COALESCE). Column references and parameters are
// described through the caller's DescribeContext.
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

#include "driver/sql/nodes.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/sql_types_internal.h"

namespace {

int datetime_code(int odbc3_code, const DescribeContext& context) {
  if (context.odbc_version == 2) return odbc3_code - (SQL_TYPE_DATE - SQL_DATE);
  return odbc3_code;
}

// Decimal digits of an exact numeric literal's text (at least 1, at most 38).
int literal_digits(const char* text) {
  int digits = 0;
  for (const char* p = text ? text : ""; *p; ++p)
    if (std::isdigit(static_cast<unsigned char>(*p))) ++digits;
  return std::clamp(digits, 1, 38);
}

void describe_interval_literal(const LiteralNode* literal, TypeDescription* out) {
  describe_type(literal->interval_type, SQL_NO_NULLS, out);
  // The qualifier's precisions are not kept on the node: the leading precision is the
  // larger of 2 and the digits written in the leading field; a seconds precision counts as
  // given when the text has a fraction.
  const char* text = literal->text ? literal->text : "";
  if (*text == '-' || *text == '+') ++text;
  while (*text == ' ') ++text;
  int leading = 0;
  while (std::isdigit(static_cast<unsigned char>(text[leading]))) ++leading;
  int fraction = -1;
  if (const char* point = std::strchr(text, '.'); point && interval_has_seconds(out->sql_type)) {
    fraction = 0;
    while (std::isdigit(static_cast<unsigned char>(point[1 + fraction]))) ++fraction;
  }
  set_interval_description(out, std::max(leading, 2), fraction);
}

bool describe_literal(const LiteralNode* literal, const DescribeContext& context,
                      TypeDescription* out) {
  switch (literal->value_kind) {
    case LIT_INTEGER:
      describe_type(SQL_INTEGER, SQL_NO_NULLS, out);
      return true;
    case LIT_DOUBLE:
      describe_type(SQL_DOUBLE, SQL_NO_NULLS, out);
      return true;
    case LIT_STRING:
      describe_type(SQL_CHAR, SQL_NO_NULLS, out);
      out->column_size = out->length = literal->length;
      return true;
    case LIT_BIT_STRING:
    case LIT_BOOLEAN:
      describe_type(SQL_BIT, SQL_NO_NULLS, out);
      return true;
    case LIT_HEX_STRING:
      describe_type(SQL_BINARY, SQL_NO_NULLS, out);
      out->column_size = literal->byte_count;
      out->length = 2 * static_cast<int64_t>(literal->byte_count);
      return true;
    case LIT_DATE:
    case LIT_CURRENT_DATE:
      describe_type(datetime_code(SQL_TYPE_DATE, context), SQL_NO_NULLS, out);
      return true;
    case LIT_TIME:
    case LIT_CURRENT_TIME:
      describe_type(datetime_code(SQL_TYPE_TIME, context), SQL_NO_NULLS, out);
      return true;
    case LIT_TIMESTAMP:
    case LIT_CURRENT_TIMESTAMP:
    case LIT_HASH_DATETIME:  // #...# is a date/time written in another notation
      describe_type(datetime_code(SQL_TYPE_TIMESTAMP, context), SQL_NO_NULLS, out);
      return true;
    case LIT_EXACT_NUMERIC:
      describe_type(SQL_NUMERIC, SQL_NO_NULLS, out);
      out->precision = std::max(literal_digits(literal->text), literal->scale);
      out->scale = literal->scale;
      out->column_size = out->length = out->precision + 2;
      return true;
    case LIT_INTERVAL:
      describe_interval_literal(literal, out);
      return true;
    case LIT_NULL:
      describe_type(SQL_TYPE_NULL, SQL_NULLABLE, out);
      return true;
    case LIT_IDENTITY:  // the last auto-numbered value
      describe_type(SQL_INTEGER, SQL_NULLABLE, out);
      return true;
    default:  // USER, CURRENT_USER and other special values
      describe_type(SQL_CHAR, SQL_NULLABLE_UNKNOWN, out);
      return true;
  }
}

void describe_cast_target(const DataTypeNode* type, TypeDescription* out) {
  describe_type(type->sql_type, SQL_NULLABLE_UNKNOWN, out);
  switch (type->sql_type) {
    case SQL_CHAR:
    case SQL_VARCHAR:
      if (type->length > 0) out->column_size = out->length = type->length;
      break;
    case SQL_BINARY:
    case SQL_VARBINARY:
      if (type->length > 0) {
        out->column_size = type->length;
        out->length = 2 * static_cast<int64_t>(type->length);
      }
      break;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      out->precision = type->length > 0 ? std::min(type->length, 38) : 15;
      out->scale = type->scale >= 0 ? std::min(type->scale, out->precision) : 0;
      out->column_size = out->precision;
      out->length = out->precision + 2;
      break;
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      if (type->length >= 0) {
        bool time = type->sql_type == SQL_TYPE_TIME || type->sql_type == SQL_TIME;
        int digits = std::min(type->length, 9);
        out->precision = digits;
        // "HH:MM:SS." or "YYYY-MM-DD HH:MM:SS." and the digits; no point without digits.
        out->column_size = out->length = (time ? 9 : 20) + digits - (digits == 0 ? 1 : 0);
      }
      break;
    default:
      if (type_family(type->sql_type) == FAMILY_YEAR_MONTH ||
          type_family(type->sql_type) == FAMILY_DAY_TIME)
        set_interval_description(
            out, type->length,
            interval_has_seconds(type->sql_type) ? (type->scale >= 0 ? type->scale : 6) : -1);
      break;
  }
}

bool describe_set_function(const SetFunctionNode* function, const DescribeContext& context,
                           TypeDescription* out) {
  if (function->function == SETF_COUNT || function->function == SETF_COUNT_STAR) {
    describe_type(SQL_INTEGER, SQL_NO_NULLS, out);
    return true;
  }
  if (!function->operand || !describe_expression(function->operand, context, out)) return false;
  if (function->function == SETF_AVG && type_family(out->sql_type) == FAMILY_NUMERIC)
    describe_type(SQL_DOUBLE, SQL_NULLABLE, out);
  else
    out->nullable = SQL_NULLABLE;  // an empty group yields NULL
  return true;
}

bool describe_case(const CaseNode* node, const DescribeContext& context, TypeDescription* out) {
  // The results in order: every THEN, then the ELSE.
  std::vector<const Node*> results;
  for (ListNode* item = ListFirst(node->whens); item; item = ListNext(item))
    results.push_back(static_cast<const WhenNode*>(ListData(item))->result);
  if (results.empty()) return false;
  if (node->else_result) results.push_back(node->else_result);
  size_t count = results.size();
  // The first THEN gives the type (the first result that is not a bare NULL when it is
  // one); text and binary sizes cover every result.
  TypeDescription branch{};
  int nullable = node->else_result ? SQL_NO_NULLS : SQL_NULLABLE;
  bool found = false;
  for (size_t i = 0; i < count; ++i) {
    if (!describe_expression(results[i], context, &branch)) return false;
    nullable = combine_nullable(nullable, branch.nullable);
    if (!found || out->sql_type == SQL_TYPE_NULL) *out = branch, found = true;
  }
  int family = type_family(out->sql_type);
  if (family == FAMILY_CHARACTER || family == FAMILY_BINARY) {
    for (size_t i = 0; i < count; ++i) {
      if (!describe_expression(results[i], context, &branch)) return false;
      out->column_size = std::max(out->column_size, branch.column_size);
      out->length = std::max(out->length, branch.length);
    }
  }
  out->nullable = nullable;
  return true;
}

bool describe_operator(const OperatorNode* node, const DescribeContext& context,
                       TypeDescription* out) {
  if (node->op_class != OPCLASS_VALUE || node->op >= OP_LESS) {
    describe_type(SQL_TYPE_TRUTH, SQL_NULLABLE_UNKNOWN, out);
    return true;
  }
  TypeDescription right{};
  if (!node->right || !describe_expression(node->right, context, &right)) return false;
  if (node->op == OP_NEGATE) return operator_result_description(right, right, OP_NEGATE, out);
  TypeDescription left{};
  if (!node->left || !describe_expression(node->left, context, &left)) return false;
  return operator_result_description(left, right, node->op, out);
}

// A subquery used as a value: its first select-list expression.
const Node* subquery_value(const Node* query) {
  while (query) {
    switch (query->kind) {
      case NODE_QUERY_SPEC: {
        const Node* item = describe_list_item(node_cast<QuerySpecNode>(query)->select_list, 0);
        if (item && item->kind == NODE_SELECT_ITEM)
          return node_cast<SelectItemNode>(item)->expression;
        return item;
      }
      case NODE_GROUPED_QUERY:
        query = node_cast<GroupedQueryNode>(query)->query;
        break;
      case NODE_UNION:
        query = node_cast<UnionNode>(query)->left;
        break;
      case NODE_CURSOR_SPEC:
        query = node_cast<CursorSpecNode>(query)->query;
        break;
      default:
        return nullptr;
    }
  }
  return nullptr;
}

}  // namespace

bool describe_expression(const Node* expression, const DescribeContext& context,
                         TypeDescription* out) {
  if (!expression || !out) return false;
  switch (expression->kind) {
    case NODE_COLUMN_REF:
      return context.column_description &&
             context.column_description(context.state, node_cast<ColumnRefNode>(expression), out);
    case NODE_PARAMETER: {
      int type = context.parameter_type ? context.parameter_type(context.state, expression) : 0;
      describe_type(type, SQL_NULLABLE_UNKNOWN, out);
      return true;
    }
    case NODE_LITERAL:
      return describe_literal(node_cast<LiteralNode>(expression), context, out);
    case NODE_CAST:
      if (!node_cast<CastNode>(expression)->type) return false;
      describe_cast_target(node_cast<CastNode>(expression)->type, out);
      return true;
    case NODE_OPERATOR:
      return describe_operator(node_cast<OperatorNode>(expression), context, out);
    case NODE_SET_FUNCTION:
      return describe_set_function(node_cast<SetFunctionNode>(expression), context, out);
    case NODE_FUNCTION:
      return describe_function(node_cast<FunctionNode>(expression), context, out);
    case NODE_CASE:
      return describe_case(node_cast<CaseNode>(expression), context, out);
    case NODE_NULLIF:
      if (!describe_expression(node_cast<NullifNode>(expression)->first, context, out))
        return false;
      out->nullable = SQL_NULLABLE;
      return true;
    case NODE_COALESCE:
      return describe_expression(
          describe_list_item(node_cast<CoalesceNode>(expression)->expressions, 0), context, out);
    case NODE_WRAPPER:
      return describe_expression(node_cast<WrapperNode>(expression)->wrapped, context, out);
    case NODE_SELECT_ITEM:
      return describe_expression(node_cast<SelectItemNode>(expression)->expression, context, out);
    case NODE_EXISTS:
    case NODE_LIKE:
    case NODE_IS_NULL:
    case NODE_IN:
    case NODE_QUANTIFIED:
      describe_type(SQL_TYPE_TRUTH, SQL_NULLABLE_UNKNOWN, out);
      return true;
    case NODE_QUERY_SPEC:
    case NODE_GROUPED_QUERY:
    case NODE_UNION:
    case NODE_CURSOR_SPEC:
      if (!describe_expression(subquery_value(expression), context, out)) return false;
      out->nullable = SQL_NULLABLE;  // no row gives NULL
      return true;
    default:
      return false;
  }
}
