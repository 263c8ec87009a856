// Typing of resolved expressions: the SQL type code of every node, the checks that go with
// it (operator conflicts, CASE/NULLIF/COALESCE agreement, IN and quantified predicates, LIKE,
// set functions, built-in and scalar function arguments), dynamic parameters typed from their
// context, and result descriptions of select-list items.
#include <initializer_list>
#include <strings.h>

#include <cstring>

#include "driver/sql/functions.h"
#include "driver/sql/like.h"
#include "driver/sql/validate_internal.h"

namespace {

bool is_parameter(const Node* node) {
  return node && node->kind == NODE_PARAMETER;
}
bool is_query(const Node* node) {
  return node && (node->kind == NODE_QUERY_SPEC || node->kind == NODE_GROUPED_QUERY ||
                  node->kind == NODE_UNION);
}

int literal_type(const LiteralNode* literal) {
  switch (literal->value_kind) {
    case LIT_INTEGER:
    case LIT_IDENTITY:
      return SQL_INTEGER;
    case LIT_DOUBLE:
      return SQL_DOUBLE;
    case LIT_STRING:
    case LIT_USER:
    case LIT_CURRENT_USER:
      return SQL_VARCHAR;
    case LIT_BIT_STRING:
    case LIT_BOOLEAN:
      return SQL_BIT;
    case LIT_HEX_STRING:
      return SQL_BINARY;
    case LIT_DATE:
    case LIT_CURRENT_DATE:
      return SQL_TYPE_DATE;
    case LIT_TIME:
    case LIT_CURRENT_TIME:
      return SQL_TYPE_TIME;
    case LIT_TIMESTAMP:
    case LIT_CURRENT_TIMESTAMP:
    case LIT_HASH_DATETIME:
      return SQL_TYPE_TIMESTAMP;
    case LIT_EXACT_NUMERIC:
      return SQL_NUMERIC;
    case LIT_INTERVAL:
      return literal->interval_type;
    case LIT_NULL:
      return SQL_TYPE_NULL;
    default:
      return SQL_TYPE_UNKNOWN;
  }
}

// The plan of a subquery node, searching the context's plan.
QueryPlan* plan_of(ValidateContext& context, const Node* query) {
  QueryPlan* plan = subquery_plan(context.plan, query);
  if (!plan) general_error(context, "expression type conflict");
  return plan;
}

// A parameter operand takes `type` from `other`.
void take_type(ValidateContext& context, Node* node, int type, Node* other) {
  if (is_parameter(node)) type_parameter(context, node, type, other, nullptr);
}

int operator_type(ValidateContext& context, OperatorNode* node) {
  if (node->op_class != OPCLASS_VALUE) {
    if (node->left) expression_type(context, node->left);
    expression_type(context, node->right);
    return SQL_TYPE_TRUTH;
  }
  if (!node->left) {  // unary minus
    int type = expression_type(context, node->right);
    if (is_parameter(node->right)) return type;
    int result = operator_result_type(type, type, OP_NEGATE);
    if (result == SQL_TYPE_CONFLICT) general_error(context, "expression type conflict");
    return result;
  }
  int right = 0;
  if (is_query(node->right)) {
    QueryPlan* sub = plan_of(context, node->right);
    if (sub->item_count != 1) general_error(context, "op ( sub_query ) degree not one");
    right = sub->items[0].sql_type;
  } else {
    right = expression_type(context, node->right);
  }
  int left = expression_type(context, node->left);
  bool left_parameter = is_parameter(node->left);
  bool right_parameter = is_parameter(node->right);
  if (left_parameter && right_parameter)
    general_error(context, "can't have dynamic parameters on both sides");
  if (left_parameter) {
    take_type(context, node->left, right, node->right);
    left = right;
  } else if (right_parameter) {
    take_type(context, node->right, left, node->left);
    right = left;
  }
  int result = operator_result_type(left, right, node->op);
  if (result == SQL_TYPE_CONFLICT) general_error(context, "expression type conflict");
  return result;
}

int nullif_type(ValidateContext& context, NullifNode* node) {
  int first = expression_type(context, node->first);
  int second = expression_type(context, node->second);
  if (is_parameter(node->first) && is_parameter(node->second))
    general_error(context, "expression type conflict");
  if (is_parameter(node->first)) {
    take_type(context, node->first, second, node->second);
    first = second;
  } else if (is_parameter(node->second)) {
    take_type(context, node->second, first, node->first);
    second = first;
  }
  if (!types_compatible(first, second) && !types_compatible(second, first))
    general_error(context, "Unmatched types in NULLIF");
  return first;
}

int coalesce_type(ValidateContext& context, CoalesceNode* node) {
  int result = SQL_TYPE_PARAMETER;
  Node* source = nullptr;
  for (ListNode* at = node->expressions; at; at = at->next) {
    auto* operand = static_cast<Node*>(at->data);
    int type = expression_type(context, operand);
    if (is_parameter(operand)) continue;
    if (result == SQL_TYPE_PARAMETER || (result == SQL_TYPE_NULL && type != SQL_TYPE_NULL)) {
      if (result == SQL_TYPE_PARAMETER || source == nullptr) source = operand;
      result = type;
    } else if (!types_compatible(result, type)) {
      general_error(context, "Unmatched types in COALESCE");
    }
  }
  if (result == SQL_TYPE_PARAMETER)
    general_error(context, "can't have dynamic parameters in all parts of a COALESCE");
  for (ListNode* at = node->expressions; at; at = at->next)
    take_type(context, static_cast<Node*>(at->data), result, source);
  return result;
}

// The running result of CASE branches: equal types stay, others combine as under `+`.
int combine_branch(int running, int type) {
  if (running == SQL_TYPE_PARAMETER || running == SQL_TYPE_NULL) return type;
  if (type == SQL_TYPE_NULL || type == SQL_TYPE_PARAMETER || type == running) return running;
  int combined = operator_result_type(running, type, OP_ADD);
  return combined == SQL_TYPE_CONFLICT ? running : combined;
}

int case_type(ValidateContext& context, CaseNode* node) {
  int operand = 0;
  if (node->operand) {
    if (is_parameter(node->operand))
      general_error(context, "can't have dynamic parameters in CASE operand");
    operand = expression_type(context, node->operand);
  }
  int first_then = SQL_TYPE_PARAMETER;
  int result = SQL_TYPE_PARAMETER;
  int64_t longest = 0;
  for (ListNode* at = node->whens; at; at = at->next) {
    auto* when = static_cast<WhenNode*>(at->data);
    int condition = expression_type(context, when->condition);
    if (node->operand) {
      if (condition == SQL_TYPE_TRUTH)
        general_error(context, "can't have search_condition in CASE with operand");
      if (is_parameter(when->condition))
        take_type(context, when->condition, operand, node->operand);
      else if (!types_compatible(operand, condition))
        general_error(context, "type mismatch between operand and when clause in CASE");
    } else if (condition != SQL_TYPE_TRUTH) {
      general_error(context, "can't have non search_condition in CASE without operand");
    }
    int then = expression_type(context, when->result);
    if (is_parameter(when->result)) continue;
    if (first_then == SQL_TYPE_PARAMETER || first_then == SQL_TYPE_NULL)
      first_then = then;
    else if (!types_compatible(first_then, then))
      general_error(context, "type mismatch between then clauses in CASE");
    result = combine_branch(result, then);
    TypeDescription description;
    describe_result(context, when->result, then, &description);
    if (description.column_size > longest) longest = description.column_size;
  }
  if (node->else_result) {
    int otherwise = expression_type(context, node->else_result);
    if (!is_parameter(node->else_result)) {
      if (first_then != SQL_TYPE_PARAMETER && !types_compatible(first_then, otherwise))
        general_error(context, "type mismatch between then and else clauses in CASE");
      result = combine_branch(result, otherwise);
      TypeDescription description;
      describe_result(context, node->else_result, otherwise, &description);
      if (description.column_size > longest) longest = description.column_size;
    }
  }
  node->result_type = result;
  node->result_length = type_family(result) == FAMILY_CHARACTER ? static_cast<int32_t>(longest) : 0;
  return result;
}

// Types a value that must agree with `operand` (IN list elements, subquery items).
void check_against(ValidateContext& context, int operand, Node* operand_node, Node* value,
                   const char* message) {
  int type = expression_type(context, value);
  if (is_parameter(value)) {
    take_type(context, value, operand, operand_node);
    return;
  }
  if (!types_compatible(operand, type)) general_error(context, "%s", message);
}

int in_type(ValidateContext& context, InNode* node) {
  int operand = expression_type(context, node->operand);
  if (node->query) {
    QueryPlan* sub = plan_of(context, node->query);
    if (sub->item_count != 1) general_error(context, "IN ( sub_query ) degree not one");
    if (is_parameter(node->operand)) {
      take_type(context, node->operand, sub->items[0].sql_type, sub->items[0].expression);
    } else if (!types_compatible(operand, sub->items[0].sql_type)) {
      general_error(context, "type mismatch across IN predicate");
    }
    return SQL_TYPE_TRUTH;
  }
  if (is_parameter(node->operand) && node->values) {
    auto* first = static_cast<Node*>(node->values->data);
    operand = expression_type(context, first);
    take_type(context, node->operand, operand, first);
  }
  for (ListNode* at = node->values; at; at = at->next)
    check_against(context, operand, node->operand, static_cast<Node*>(at->data),
                  "type mismatch across IN predicate");
  return SQL_TYPE_TRUTH;
}

int quantified_type(ValidateContext& context, QuantifiedNode* node) {
  int operand = expression_type(context, node->operand);
  QueryPlan* sub = plan_of(context, node->query);
  if (sub->item_count != 1) general_error(context, "Quantified predicate, degree not one");
  if (is_parameter(node->operand))
    take_type(context, node->operand, sub->items[0].sql_type, sub->items[0].expression);
  else if (!types_compatible(operand, sub->items[0].sql_type))
    general_error(context, "type mismatch across Quantified predicate");
  return SQL_TYPE_TRUTH;
}

int like_type(ValidateContext& context, LikeNode* node) {
  int operand = expression_type(context, node->operand);
  if (is_parameter(node->operand)) {
    take_type(context, node->operand, SQL_VARCHAR, nullptr);
    operand = SQL_VARCHAR;
  }
  if (type_family(operand) != FAMILY_CHARACTER)
    general_error(context, "LIKE only applies to 'string' expressions");
  auto* entry = static_cast<LikeEntry*>(validate_alloc(context, sizeof(LikeEntry)));
  entry->node = node;
  if (node->escape) {
    expression_type(context, node->escape);
    take_type(context, node->escape, SQL_VARCHAR, nullptr);
  }
  auto* pattern =
      node->pattern->kind == NODE_LITERAL ? node_cast<LiteralNode>(node->pattern) : nullptr;
  auto* escape = node->escape && node->escape->kind == NODE_LITERAL
                     ? node_cast<LiteralNode>(node->escape)
                     : nullptr;
  bool fixed_escape = !node->escape || (escape && escape->value_kind == LIT_STRING);
  if (is_parameter(node->pattern)) {
    take_type(context, node->pattern, operand, node->operand);
  } else if (pattern && pattern->value_kind == LIT_STRING && fixed_escape) {
    size_t length = pattern->text ? std::strlen(pattern->text) : 0;
    char escape_char =
        escape ? like_escape_char(escape->text, escape->text ? std::strlen(escape->text) : 0)
               : LIKE_DEFAULT_ESCAPE;
    entry->program =
        static_cast<unsigned char*>(validate_alloc(context, like_program_capacity(length)));
    if (like_compile(pattern->text ? pattern->text : "", length, escape_char, entry->program) !=
        LIKE_COMPILED)
      general_error(context, "error in LIKE expressions");
  } else {
    expression_type(context, node->pattern);
  }
  if (context.plan) list_append(context, &context.plan->likes, entry);
  return SQL_TYPE_TRUTH;
}

void record_set_function(ValidateContext& context, SetFunctionNode* node, int type, int argument) {
  if (!context.plan) return;
  for (ListNode* list : {context.plan->select_set_functions, context.plan->having_set_functions})
    for (ListNode* at = list; at; at = at->next) {
      auto* entry = static_cast<SetFunctionEntry*>(at->data);
      if (entry->node != node) continue;
      entry->sql_type = type;
      entry->argument_type = argument;
    }
}

int set_function_type(ValidateContext& context, SetFunctionNode* node) {
  int argument = node->operand ? expression_type(context, node->operand) : 0;
  int family = type_family(argument);
  bool interval = family == FAMILY_YEAR_MONTH || family == FAMILY_DAY_TIME;
  int result = argument;
  switch (node->function) {
    case SETF_COUNT:
    case SETF_COUNT_STAR:
      result = SQL_INTEGER;
      break;
    case SETF_SUM:
      if (family == FAMILY_NUMERIC)
        result = operator_result_type(SQL_INTEGER, argument, OP_ADD);
      else if (!interval)
        general_error(context, "SUM() requires numeric argument");
      break;
    case SETF_AVG:
      if (family == FAMILY_NUMERIC)
        result = SQL_DOUBLE;
      else if (!interval)
        general_error(context, "AVG() requires numeric argument");
      break;
    default:  // MAX, MIN, FIRST, LAST
      break;
  }
  record_set_function(context, node, result, argument);
  return result;
}

// Types a string argument of a built-in function: parameters become VARCHAR.
bool string_argument(ValidateContext& context, Node* argument) {
  int type = expression_type(context, argument);
  if (is_parameter(argument)) {
    take_type(context, argument, SQL_VARCHAR, nullptr);
    return true;
  }
  return type_family(type) == FAMILY_CHARACTER || type == SQL_TYPE_NULL;
}
bool number_argument(ValidateContext& context, Node* argument) {
  int type = expression_type(context, argument);
  if (is_parameter(argument)) {
    take_type(context, argument, SQL_INTEGER, nullptr);
    return true;
  }
  return type_family(type) == FAMILY_NUMERIC || type == SQL_TYPE_NULL;
}

Node* argument_at(const FunctionNode* node, int index) {
  ListNode* at = node->arguments;
  for (int i = 0; at && i < index; ++i) at = at->next;
  return at ? static_cast<Node*>(at->data) : nullptr;
}

int syntax_function_type(ValidateContext& context, FunctionNode* node) {
  Node* first = argument_at(node, 0);
  switch (node->number) {
    case FUNC_CHARACTER_LENGTH:
    case FUNC_OCTET_LENGTH:
    case FUNC_BIT_LENGTH: {
      const char* name = node->number == FUNC_CHARACTER_LENGTH ? "CHARACTER_LENGTH"
                         : node->number == FUNC_OCTET_LENGTH   ? "OCTET_LENGTH"
                                                               : "BIT_LENGTH";
      if (!string_argument(context, first))
        general_error(context, "argument to %s must be of type 'string'", name);
      return SQL_INTEGER;
    }
    case FUNC_UPPER:
    case FUNC_LOWER:
      if (!string_argument(context, first))
        general_error(context, "argument to %s must be of type 'string'",
                      node->number == FUNC_UPPER ? "UPPER" : "LOWER");
      return SQL_VARCHAR;
    case FUNC_TRIM: {
      auto* trim_node = node_cast<TrimSpecNode>(first);
      if (trim_node->character) string_argument(context, trim_node->character);
      if (!string_argument(context, trim_node->source))
        general_error(context, "argument to TRIM must be of type 'string'");
      return SQL_VARCHAR;
    }
    case FUNC_POSITION: {
      auto* pair = node_cast<ArgPairNode>(first);
      auto* needle = static_cast<Node*>(pair->items->data);
      auto* haystack = static_cast<Node*>(pair->items->next->data);
      if (!string_argument(context, needle))
        general_error(context, "first argument to POSITION must be of type 'string'");
      if (!string_argument(context, haystack))
        general_error(context, "second argument to POSITION must be of type 'string'");
      return SQL_INTEGER;
    }
    case FUNC_SUBSTRING: {
      if (!string_argument(context, first))
        general_error(context, "first argument to SUBSTR must be of type 'string'");
      if (!number_argument(context, argument_at(node, 1)))
        general_error(context, "second argument to SUBSTR must be of type 'number'");
      Node* third = argument_at(node, 2);
      if (third && !number_argument(context, third))
        general_error(context, "third argument to SUBSTR must be of type 'number'");
      return SQL_VARCHAR;
    }
    default:
      return SQL_VARCHAR;
  }
}

constexpr const char* kIntervalUnits[] = {
    "SQL_TSI_FRAC_SECOND", "SQL_TSI_SECOND", "SQL_TSI_MINUTE",  "SQL_TSI_HOUR", "SQL_TSI_DAY",
    "SQL_TSI_WEEK",        "SQL_TSI_MONTH",  "SQL_TSI_QUARTER", "SQL_TSI_YEAR"};
constexpr int kFirstDayUnit = 4;  // SQL_TSI_DAY and later are a day or larger

int timestampadd_type(ValidateContext& context, FunctionNode* node) {
  Node* first = argument_at(node, 0);
  auto* unit = first && first->kind == NODE_COLUMN_REF ? node_cast<ColumnRefNode>(first) : nullptr;
  if (!unit || unit->table || !unit->column)
    general_error(context, "First argument to TIMESTAPADD must be a interval specifier");
  int found = -1;
  for (int i = 0; i < 9 && found < 0; ++i)
    if (strcasecmp(unit->column->text, kIntervalUnits[i]) == 0) found = i;
  if (found < 0)
    general_error(context, "First argument to TIMESTAPADD must be a interval specifier not '%s'",
                  unit->column->text);
  Node* count = argument_at(node, 1);
  if (count) number_argument(context, count);
  Node* source = argument_at(node, 2);
  int type = source ? expression_type(context, source) : SQL_TYPE_TIMESTAMP;
  if (found >= kFirstDayUnit && type == SQL_TYPE_DATE) return SQL_TYPE_DATE;
  if (found < kFirstDayUnit && type == SQL_TYPE_TIME) return SQL_TYPE_TIME;
  return SQL_TYPE_TIMESTAMP;
}

uint32_t family_bits(int type) {
  switch (type_family(type)) {
    case FAMILY_CHARACTER:
    case FAMILY_BINARY:
      return FN_FAMILY_CHARACTER_BITS;
    case FAMILY_NUMERIC:
      return FN_FAMILY_NUMERIC_BITS;
    case FAMILY_DATETIME:
      return FN_FAMILY_DATETIME_BITS;
    case FAMILY_YEAR_MONTH:
    case FAMILY_DAY_TIME:
      return FN_FAMILY_INTERVAL_BITS;
    default:
      return 0;
  }
}

int class_type(uint32_t result_class) {
  int type = scalar_result_sql_type(result_class);
  if (type) return type;
  if (result_class & (FN_CLASS_CHARACTER | FN_CLASS_FIXED_CHARACTER)) return SQL_VARCHAR;
  if (result_class & FN_CLASS_INTEGER) return SQL_INTEGER;
  if (result_class & FN_CLASS_DOUBLE) return SQL_DOUBLE;
  if (result_class & FN_CLASS_TIMESTAMP) return SQL_TYPE_TIMESTAMP;
  if (result_class & FN_CLASS_DATE) return SQL_TYPE_DATE;
  if (result_class & FN_CLASS_TIME) return SQL_TYPE_TIME;
  return SQL_VARCHAR;
}

int scalar_function_type(ValidateContext& context, FunctionNode* node) {
  const ScalarFunction* function = node->function;
  if (!function) return syntax_function_type(context, node);
  if (std::strcmp(function->name, "TIMESTAMPADD") == 0) return timestampadd_type(context, node);
  int first_type = SQL_TYPE_UNKNOWN;
  int index = 0;
  int types[SCALAR_FUNCTION_MAX_ARGUMENTS] = {};
  for (ListNode* at = node->arguments; at; at = at->next, ++index) {
    auto* argument = static_cast<Node*>(at->data);
    uint32_t declared =
        index < SCALAR_FUNCTION_MAX_ARGUMENTS ? function->argument_classes[index] : FN_CLASS_ANY;
    if (!argument || (declared & FN_CLASS_SPECIFIER)) continue;
    int type = expression_type(context, argument);
    if (index < SCALAR_FUNCTION_MAX_ARGUMENTS) types[index] = type;
    if (index == 0) first_type = type;
    if (is_parameter(argument)) {
      take_type(context, argument, class_type(declared & ~FN_CLASS_OPTIONAL), nullptr);
      continue;
    }
    if ((declared & FN_CLASS_ANY) || argument->kind == NODE_ARG_PAIR) continue;
    if (type == SQL_TYPE_NULL) continue;
    if (!scalar_argument_accepts(declared & ~FN_CLASS_OPTIONAL, family_bits(type)))
      general_error(context, "argument %d to %s() invalid type", index + 1, function->name);
  }
  if (std::strcmp(function->name, "IFNULL") == 0 && index >= 2 &&
      !types_compatible(types[0], types[1]) && !types_compatible(types[1], types[0]))
    general_error(context, "incompatible types across ISNULL()");
  if (function->result_class & FN_CLASS_ANY) return first_type;
  return class_type(function->result_class);
}

}  // namespace

const ColumnInfo* resolved_column_info(const ColumnRefNode* column) {
  const TableEntry* entry = column->resolved_table;
  if (!entry || column->resolved_column < 0 || column->resolved_column >= entry->column_count)
    return nullptr;
  return &entry->columns[column->resolved_column];
}

void column_description(const ColumnInfo& column, TypeDescription* out) {
  default_type_description(column.sql_type, out);
  out->sql_type = column.sql_type;
  if (column.length > 0) out->column_size = column.length;
  out->precision = column.precision;
  out->scale = column.scale;
  out->nullable = column.nullable;
}

void type_parameter(ValidateContext& context, Node* parameter, int sql_type, Node* linked,
                    const TypeDescription* description) {
  ParameterEntry* entry = find_parameter(context.plan, parameter);
  for (ListNode* at = context.statement_parameters ? *context.statement_parameters : nullptr;
       at && !entry; at = at->next)
    if (static_cast<ParameterEntry*>(at->data)->node == parameter)
      entry = static_cast<ParameterEntry*>(at->data);
  if (!entry) return;
  entry->sql_type = sql_type;
  entry->linked = linked;
  if (description) {
    entry->description = *description;
  } else if (linked && linked->kind == NODE_COLUMN_REF &&
             resolved_column_info(node_cast<ColumnRefNode>(linked))) {
    column_description(*resolved_column_info(node_cast<ColumnRefNode>(linked)),
                       &entry->description);
  } else {
    default_type_description(sql_type, &entry->description);
  }
}

void describe_result(ValidateContext& context, Node* expression, int sql_type,
                     TypeDescription* out) {
  if (expression && expression->kind == NODE_COLUMN_REF) {
    const ColumnInfo* info = resolved_column_info(node_cast<ColumnRefNode>(expression));
    if (info) {
      column_description(*info, out);
      return;
    }
  }
  DescribeContext describe{};
  describe.column_description = [](void*, const ColumnRefNode* column, TypeDescription* result) {
    const ColumnInfo* info = resolved_column_info(column);
    if (!info) return false;
    column_description(*info, result);
    return true;
  };
  describe.parameter_type = [](void* state, const Node* parameter) {
    ParameterEntry* entry = find_parameter(static_cast<ValidateContext*>(state)->plan, parameter);
    return entry ? static_cast<int>(entry->sql_type) : 0;
  };
  describe.state = &context;
  describe.odbc_version = context.target->odbc_version ? context.target->odbc_version : 3;
  if (!describe_expression(expression, describe, out)) default_type_description(sql_type, out);
}

int expression_type(ValidateContext& context, Node* expression) {
  if (!expression) return SQL_TYPE_UNKNOWN;
  switch (expression->kind) {
    case NODE_COLUMN_REF: {
      const ColumnInfo* info = resolved_column_info(node_cast<ColumnRefNode>(expression));
      return info ? info->sql_type : SQL_TYPE_UNKNOWN;
    }
    case NODE_LITERAL:
      return literal_type(node_cast<LiteralNode>(expression));
    case NODE_PARAMETER: {
      ParameterEntry* entry = find_parameter(context.plan, expression);
      return entry ? entry->sql_type : SQL_TYPE_PARAMETER;
    }
    case NODE_CAST: {
      auto* node = node_cast<CastNode>(expression);
      if (node->operand) expression_type(context, node->operand);
      return node->type->sql_type;
    }
    case NODE_EXISTS:
      return SQL_TYPE_TRUTH;
    case NODE_QUERY_SPEC:
    case NODE_GROUPED_QUERY: {  // a subquery used as a value: its one item's type
      QueryPlan* sub = plan_of(context, expression);
      if (sub->item_count != 1) general_error(context, "op ( sub_query ) degree not one");
      return sub->items[0].sql_type;
    }
    case NODE_IS_NULL:
      expression_type(context, node_cast<IsNullNode>(expression)->operand);
      return SQL_TYPE_TRUTH;
    case NODE_OPERATOR:
      return operator_type(context, node_cast<OperatorNode>(expression));
    case NODE_NULLIF:
      return nullif_type(context, node_cast<NullifNode>(expression));
    case NODE_COALESCE:
      return coalesce_type(context, node_cast<CoalesceNode>(expression));
    case NODE_CASE:
      return case_type(context, node_cast<CaseNode>(expression));
    case NODE_IN:
      return in_type(context, node_cast<InNode>(expression));
    case NODE_QUANTIFIED:
      return quantified_type(context, node_cast<QuantifiedNode>(expression));
    case NODE_LIKE:
      return like_type(context, node_cast<LikeNode>(expression));
    case NODE_SET_FUNCTION:
      return set_function_type(context, node_cast<SetFunctionNode>(expression));
    case NODE_FUNCTION:
      return scalar_function_type(context, node_cast<FunctionNode>(expression));
    case NODE_ARG_PAIR: {
      int type = SQL_TYPE_UNKNOWN;
      for (ListNode* at = node_cast<ArgPairNode>(expression)->items; at; at = at->next)
        type = expression_type(context, static_cast<Node*>(at->data));
      return type;
    }
    case NODE_TRIM_SPEC:
      return expression_type(context, node_cast<TrimSpecNode>(expression)->source);
    case NODE_WRAPPER:
      return expression_type(context, node_cast<WrapperNode>(expression)->wrapped);
    case NODE_INTERVAL_FIELD:
      return SQL_INTEGER;
    default:
      if (is_query(expression)) {
        QueryPlan* sub = plan_of(context, expression);
        return sub->item_count > 0 ? sub->items[0].sql_type : SQL_TYPE_UNKNOWN;
      }
      return SQL_TYPE_UNKNOWN;
  }
}
