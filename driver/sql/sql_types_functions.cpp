// Result descriptions of scalar function calls: by the result class of the function table,
// with the size rules of the character functions and the SQL-syntax forms.
#include <sql.h>
#include <sqlext.h>

#include <strings.h>

#include "driver/sql/fn_quantity.h"
#include "driver/sql/functions.h"
#include "driver/sql/nodes.h"
#include "driver/sql/sql_types.h"
#include "driver/sql/sql_types_internal.h"

const Node* describe_list_item(ListNode* list, int index) {
  for (ListNode* item = ListFirst(list); item; item = ListNext(item))
    if (index-- == 0) return static_cast<const Node*>(ListData(item));
  return nullptr;
}

void describe_type(int sql_type, int nullable, TypeDescription* out) {
  default_type_description(sql_type, out);
  out->nullable = nullable;
}

namespace {

// Size a LONGVARCHAR argument contributes to a character function's result.
constexpr int64_t kLongArgumentSize = 255;

// Size an argument contributes to a character result (255 for long text).
int64_t argument_size(const TypeDescription& argument) {
  return argument.sql_type == SQL_LONGVARCHAR ? kLongArgumentSize : argument.column_size;
}

// A literal integer argument's value, or -1.
int literal_count(const Node* node) {
  if (!node || node->kind != NODE_LITERAL) return -1;
  auto* literal = node_cast<LiteralNode>(node);
  return literal->value_kind == LIT_INTEGER && literal->integer >= 0 ? literal->integer : -1;
}

// Character results of the named functions: VARCHAR sized by the function's rule.
bool describe_character_function(const FunctionNode* function, const DescribeContext& context,
                                 TypeDescription* out) {
  TypeDescription first{}, second{};
  const Node* first_node = describe_list_item(function->arguments, 0);
  bool has_first = first_node && describe_expression(first_node, context, &first);
  describe_type(SQL_VARCHAR, SQL_NULLABLE_UNKNOWN, out);
  int64_t size = -1;
  switch (function->number) {
    case 10:  // CONCAT
    case 29:  // INSERT: the string and the inserted string
    {
      const Node* other = describe_list_item(function->arguments, function->number == 10 ? 1 : 3);
      if (!has_first || !other || !describe_expression(other, context, &second)) return false;
      if (first.sql_type == SQL_LONGVARCHAR || second.sql_type == SQL_LONGVARCHAR)
        size = kLongArgumentSize;
      else
        size = first.column_size + second.column_size;
      break;
    }
    case 30:  // LCASE
    case 31:  // LEFT
    case 36:  // LTRIM
    case 53:  // RTRIM
    case 60:  // SUBSTRING
    case 65:  // UCASE
      if (!has_first) return false;
      size = argument_size(first);
      break;
    case 17:  // DATABASE
    case 18:  // DAYNAME
    case 40:  // MONTHNAME
    case 66:  // USER
      size = 64;
      break;
    case 57:  // SOUNDEX
      size = 4;
      break;
    case 49:  // REPEAT
      if (int count = literal_count(describe_list_item(function->arguments, 1));
          count >= 0 && has_first)
        size = count * argument_size(first);
      break;
    case 58:  // SPACE
      size = literal_count(first_node);
      break;
    default:
      break;
  }
  if (size >= 0) out->column_size = out->length = size;
  return true;
}

// The SQL-syntax forms (negative numbers).
bool describe_syntax_function(const FunctionNode* function, const DescribeContext& context,
                              TypeDescription* out) {
  const Node* argument = describe_list_item(function->arguments, 0);
  switch (function->number) {
    case FUNC_TRIM:
      if (argument && argument->kind == NODE_TRIM_SPEC)
        argument = node_cast<TrimSpecNode>(argument)->source;
      [[fallthrough]];
    case FUNC_LOWER:
    case FUNC_UPPER:
      if (!argument || !describe_expression(argument, context, out)) return false;
      if (out->sql_type == SQL_LONGVARCHAR) {
        int nullable = out->nullable;
        describe_type(SQL_VARCHAR, nullable, out);
        out->column_size = out->length = kLongArgumentSize;
      }
      return true;
    case FUNC_SUBSTRING:
      return argument && describe_expression(argument, context, out);
    default:  // lengths and positions
      describe_type(SQL_INTEGER, SQL_NULLABLE_UNKNOWN, out);
      return true;
  }
}

// TIMESTAMPADD keeps a DATE for units of a day or more and a TIME for units below a day, as
// validation types it; anything else is a TIMESTAMP.
bool describe_timestampadd(const FunctionNode* function, const DescribeContext& context,
                           TypeDescription* out) {
  const Node* unit = describe_list_item(function->arguments, 0);
  const Node* source = describe_list_item(function->arguments, 2);
  TypeDescription source_type{};
  int type = SQL_TYPE_TIMESTAMP;
  if (unit && unit->kind == NODE_COLUMN_REF && node_cast<ColumnRefNode>(unit)->column && source &&
      describe_expression(source, context, &source_type)) {
    const char* name = node_cast<ColumnRefNode>(unit)->column->text;
    bool below_day =
        strcasecmp(name, "SQL_TSI_FRAC_SECOND") == 0 || strcasecmp(name, "SQL_TSI_SECOND") == 0 ||
        strcasecmp(name, "SQL_TSI_MINUTE") == 0 || strcasecmp(name, "SQL_TSI_HOUR") == 0;
    if (!below_day && (source_type.sql_type == SQL_TYPE_DATE || source_type.sql_type == SQL_DATE))
      type = SQL_TYPE_DATE;
    if (below_day && (source_type.sql_type == SQL_TYPE_TIME || source_type.sql_type == SQL_TIME))
      type = SQL_TYPE_TIME;
  }
  describe_type(type, SQL_NULLABLE_UNKNOWN, out);
  return true;
}

}  // namespace

bool describe_function(const FunctionNode* function, const DescribeContext& context,
                       TypeDescription* out) {
  if (function->number < 0) return describe_syntax_function(function, context, out);
  const ScalarFunction* entry =
      function->function ? function->function : scalar_function_by_number(function->number);
  if (!entry) return false;
  const Node* first = describe_list_item(function->arguments, 0);
  uint32_t result = entry->result_class;
  if (function->number == 28 || result == FN_CLASS_ANY)  // IFNULL and "type of the argument"
    return first && describe_expression(first, context, out);
  if (result & FN_CLASS_DOUBLE) {
    if ((result & FN_CLASS_ANY) && first && describe_expression(first, context, out) &&
        (out->sql_type == SQL_NUMERIC || out->sql_type == SQL_DECIMAL))
      return true;
    describe_type(SQL_DOUBLE, SQL_NULLABLE_UNKNOWN, out);
    return true;
  }
  if (result & FN_CLASS_CHARACTER) return describe_character_function(function, context, out);
  if (function->number == 62) return describe_timestampadd(function, context, out);
  if (result & (FN_CLASS_BIGINT | FN_CLASS_EXACT)) {  // the decoding functions
    describe_type(result & FN_CLASS_BIGINT ? SQL_BIGINT : SQL_NUMERIC, SQL_NULLABLE_UNKNOWN, out);
    if (result & FN_CLASS_EXACT) {
      out->precision = out->column_size = 38;
      out->length = 40;  // digits, sign and point
      out->scale = function->number == FN_WEI_TO_ETHER ? WEI_PER_ETHER_DIGITS : 0;
    }
    return true;
  }
  int type = SQL_TYPE_UNKNOWN;
  if (result & FN_CLASS_INTEGER)
    type = SQL_INTEGER;
  else if (result & FN_CLASS_FIXED_CHARACTER)
    type = SQL_CHAR;
  else if (result & FN_CLASS_TIMESTAMP)  // also the "any date/time" class
    type = SQL_TYPE_TIMESTAMP;
  else if (result & FN_CLASS_DATE)
    type = SQL_TYPE_DATE;
  else if (result & FN_CLASS_TIME)
    type = SQL_TYPE_TIME;
  if (type == SQL_TYPE_UNKNOWN) return false;
  describe_type(type, SQL_NULLABLE_UNKNOWN, out);
  return true;
}
