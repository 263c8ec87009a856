// The evaluator's entry points and dispatch by node kind: column references, dynamic
// parameters, literals and special values, set-function values, CAST, CASE, NULLIF,
// COALESCE and value operators; and the small value helpers the evaluator's units share.
#include <cstring>
#include <ctime>
#include <string>

#include "driver/sql/cast.h"
#include "driver/sql/eval_internal.h"
#include "driver/sql/fn_support.h"
#include "driver/sql/literals.h"

namespace {

// Flags handed to operands that are values rather than parts of a search condition: the
// AND short cut (which may answer UNKNOWN for FALSE) must not leak under NOT or into values.
int value_flags(int flags) {
  return flags & ~EVAL_SEARCH;
}

QuillValue* copy_value(EvalContext* context, const QuillValue* value) {
  QuillValue* copy = duplicate_value(context->pool, value);
  return copy != nullptr ? copy : memory_error(context);
}

// --- Column references, parameters, set functions -----------------------------------------

QuillValue* eval_column(const ColumnRefNode* node, EvalContext* context) {
  const QuillValue* value = nullptr;
  if (context->hooks.column_value != nullptr) value = context->hooks.column_value(context, node);
  if (value == nullptr) {
    if (context->error == 0) eval_error(context, "HY000", "Data Read Error");
    return nullptr;
  }
  // A deferred LONG value is read now; a failed read is a read error, not a memory one.
  if (settle_value(value) < 0) return eval_error(context, "HY000", "Data Read Error");
  return copy_value(context, value);
}

QuillValue* eval_parameter(const ParameterNode* node, EvalContext* context) {
  const QuillValue* value = nullptr;
  if (context->hooks.parameter_value != nullptr)
    value = context->hooks.parameter_value(context, node->number);
  if (value == nullptr) return eval_error(context, "HY000", "Parameter not bound");
  return copy_value(context, value);
}

QuillValue* eval_set_function(const SetFunctionNode* node, EvalContext* context) {
  const QuillValue* value = nullptr;
  if (context->hooks.set_function_value != nullptr)
    value = context->hooks.set_function_value(context, node);
  if (value == nullptr) {
    if (context->error == 0) eval_error(context, "HY000", "Set function value not available");
    return nullptr;
  }
  return copy_value(context, value);
}

// --- Literals -------------------------------------------------------------------------------

int digit_count(const char* text) {
  int digits = 0;
  for (const char* c = text; *c != '\0'; ++c)
    if (*c >= '0' && *c <= '9') ++digits;
  return digits;
}

QuillValue* exact_numeric_literal(const LiteralNode* node, EvalContext* context) {
  if (node->text == nullptr) return eval_error(context, "HY000", "Unexpected type in eval expr");
  int scale = node->scale > 0 ? node->scale : 0;
  int precision = digit_count(node->text);
  if (precision < scale) precision = scale;
  if (precision < 1) precision = 1;
  if (precision > 38) precision = 38;
  QuillValue* value = new_value(context);
  if (value == nullptr) return nullptr;
  if (string_to_numeric(node->text, value, precision, scale) < 0) {
    release_value(context->pool, value);
    return eval_error(context, "22003", "Numeric value out of range");
  }
  return value;
}

// #...#: a date, a time or a timestamp, whichever the text is.
QuillValue* hash_datetime_literal(const LiteralNode* node, QuillValue* value,
                                  EvalContext* context) {
  const char* text = node->text != nullptr ? node->text : "";
  SQL_DATE_STRUCT date{};
  SQL_TIME_STRUCT time{};
  SQL_TIMESTAMP_STRUCT timestamp{};
  if (parse_date_text(text, &date)) {
    set_value_to_date(value, &date);
  } else if (parse_time_text(text, &time)) {
    set_value_to_time(value, &time);
  } else if (parse_timestamp_text(text, &timestamp)) {
    set_value_to_timestamp(value, &timestamp);
  } else {
    release_value(context->pool, value);
    return eval_error(context, "22012", "Invalid timestamp value");
  }
  return value;
}

QuillValue* eval_literal(const LiteralNode* node, EvalContext* context) {
  if (node->value != nullptr) return copy_value(context, node->value);
  if (node->value_kind == LIT_EXACT_NUMERIC) return exact_numeric_literal(node, context);
  if (node->value_kind == LIT_STRING || node->value_kind == LIT_USER ||
      node->value_kind == LIT_CURRENT_USER) {
    if (node->value_kind != LIT_STRING && context->user == nullptr)
      return new_null_value(context, VALUE_CHARACTER);
    const char* text = node->value_kind == LIT_STRING ? node->text : context->user;
    if (text == nullptr) text = "";
    size_t length = node->value_kind == LIT_STRING && node->length >= 0
                        ? static_cast<size_t>(node->length)
                        : std::strlen(text);
    return new_text_value(context, text, length);
  }
  QuillValue* value = new_value(context);
  if (value == nullptr) return nullptr;
  const SQL_TIMESTAMP_STRUCT& now = context->start_time;
  switch (node->value_kind) {
    case LIT_INTEGER:
      set_value_to_int(value, node->integer);
      break;
    case LIT_DOUBLE:
      set_value_to_double(value, node->real);
      break;
    case LIT_BOOLEAN:
      set_value_to_int(value, node->integer != 0 ? 1 : 0);
      value->kind = VALUE_BIT;
      break;
    case LIT_BIT_STRING: {
      const char* digits = node->text != nullptr ? node->text : "";
      set_value_to_int(value, std::strchr(digits, '1') != nullptr ? 1 : 0);
      value->kind = VALUE_BIT;
      break;
    }
    case LIT_HEX_STRING:
      if (set_value_to_binary(value, node->bytes, node->byte_count > 0 ? node->byte_count : 0) !=
          0) {
        release_value(context->pool, value);
        return memory_error(context);
      }
      break;
    case LIT_DATE:
      set_value_to_date(value, &node->date);
      break;
    case LIT_TIME:
      set_value_to_time(value, &node->time);
      break;
    case LIT_TIMESTAMP:
      set_value_to_timestamp(value, &node->timestamp);
      break;
    case LIT_NULL:
      set_value_null(value, VALUE_CHARACTER);
      break;
    case LIT_IDENTITY:
      set_value_null(value, VALUE_INTEGER);
      break;
    case LIT_CURRENT_DATE: {
      SQL_DATE_STRUCT date{now.year, now.month, now.day};
      set_value_to_date(value, &date);
      break;
    }
    case LIT_CURRENT_TIME: {
      SQL_TIME_STRUCT time{now.hour, now.minute, now.second};
      set_value_to_time(value, &time);
      break;
    }
    case LIT_CURRENT_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT timestamp = now;
      timestamp.fraction = 0;
      set_value_to_timestamp(value, &timestamp);
      break;
    }
    case LIT_HASH_DATETIME:
      return hash_datetime_literal(node, value, context);
    case LIT_INTERVAL:
      if (set_interval_payload(value, &node->interval, 0) != 0) {
        release_value(context->pool, value);
        return eval_error(context, "HY000", "Unexpected type in eval expr");
      }
      break;
    default:
      release_value(context->pool, value);
      return eval_error(context, "HY000", "Unexpected type in eval expr");
  }
  return value;
}

// --- CAST, CASE, NULLIF, COALESCE -----------------------------------------------------------

QuillValue* eval_cast(const CastNode* node, EvalContext* context, int flags) {
  QuillValue* source = node->operand != nullptr ? eval_node(node->operand, context, flags)
                                                : new_null_value(context, VALUE_CHARACTER);
  if (source == nullptr) return nullptr;
  QuillValue* result = cast_value(context, source, node->type);
  release_value(context->pool, source);
  if (result == nullptr && context->error == 0) eval_error(context, "HY000", "CAST failed");
  return result;
}

// True when the WHEN of `when` selects its THEN; -1 after an error.
int case_matches(const QuillValue* operand, const WhenNode* when, EvalContext* context) {
  QuillValue* tested = eval_node(when->condition, context, 0);
  if (tested == nullptr) return -1;
  int truth = operand != nullptr ? compare_operands(context, operand, tested, OP_EQUAL)
                                 : get_trivalue_from_value(tested);
  release_value(context->pool, tested);
  if (truth < 0) return -1;
  return truth == TRUTH_TRUE ? 1 : 0;
}

QuillValue* eval_case(const CaseNode* node, EvalContext* context, int flags) {
  QuillValue* operand = nullptr;
  if (node->operand != nullptr) {
    operand = eval_node(node->operand, context, flags);
    if (operand == nullptr) return nullptr;
  }
  const Node* chosen = node->else_result;
  bool failed = false;
  for (ListNode* item = node->whens; item != nullptr; item = item->next) {
    int matched = case_matches(operand, static_cast<const WhenNode*>(item->data), context);
    if (matched < 0) failed = true;
    if (matched != 0) {
      chosen = static_cast<const WhenNode*>(item->data)->result;
      break;
    }
  }
  if (operand != nullptr) release_value(context->pool, operand);
  if (failed) return nullptr;
  QuillValue* result = chosen != nullptr ? eval_node(chosen, context, flags)
                                         : new_null_value(context, VALUE_CHARACTER);
  if (result == nullptr || node->result_type == 0) return result;
  QuillValue* converted =
      cast_value_to(context, result, node->result_type, node->result_length, -1);
  release_value(context->pool, result);
  if (converted == nullptr && context->error == 0) eval_error(context, "HY000", "CAST failed");
  return converted;
}

QuillValue* eval_nullif(const NullifNode* node, EvalContext* context, int flags) {
  QuillValue* first = eval_node(node->first, context, flags);
  if (first == nullptr) return nullptr;
  QuillValue* second = eval_node(node->second, context, flags);
  if (second == nullptr) {
    release_value(context->pool, first);
    return nullptr;
  }
  int truth = compare_operands(context, first, second, OP_EQUAL);
  release_value(context->pool, second);
  if (truth < 0) {
    release_value(context->pool, first);
    return nullptr;
  }
  if (truth == TRUTH_TRUE) set_value_null(first, first->kind);
  return first;
}

QuillValue* eval_coalesce(const CoalesceNode* node, EvalContext* context, int flags) {
  QuillValue* value = nullptr;
  for (ListNode* item = node->expressions; item != nullptr; item = item->next) {
    if (value != nullptr) release_value(context->pool, value);
    value = eval_node(static_cast<const Node*>(item->data), context, flags);
    if (value == nullptr || !is_value_null(value)) return value;
  }
  return value != nullptr ? value : new_null_value(context, VALUE_CHARACTER);
}

// --- Operators ------------------------------------------------------------------------------

QuillValue* eval_operator(const OperatorNode* node, EvalContext* context, int flags) {
  if (node->op_class >= OPCLASS_NOT && node->op_class <= OPCLASS_OR)
    return eval_logical(node, context, flags);
  if (node->op_class != OPCLASS_VALUE)
    return eval_error(context, "HY000", "Unexpected bool expression");
  bool comparison = node->op >= OP_LESS && node->op <= OP_NOT_EQUAL;
  if (comparison && is_query_node(node->right))
    return eval_subquery_comparison(node, context, flags);
  if (node->right == nullptr || (node->left == nullptr && node->op != OP_NEGATE))
    return eval_error(context, "HY000", "Unexpected bool expression");
  int operand_flags = value_flags(flags);
  QuillValue* left = nullptr;
  if (node->left != nullptr) {
    left = eval_node(node->left, context, operand_flags);
    if (left == nullptr) return nullptr;
  }
  QuillValue* right = eval_node(node->right, context, operand_flags);
  QuillValue* result = nullptr;
  if (right != nullptr) {
    if (comparison) {
      int truth = compare_operands(context, left, right, node->op);
      if (truth >= 0) result = new_truth_value(context, truth);
    } else if (node->op == OP_NEGATE) {
      result = arithmetic_operation(context, right, nullptr, OP_NEGATE);
    } else {
      result = arithmetic_operation(context, left, right, node->op);
    }
    release_value(context->pool, right);
  }
  if (left != nullptr) release_value(context->pool, left);
  return result;
}

}  // namespace

// --- Shared helpers -------------------------------------------------------------------------

QuillValue* new_text_value(EvalContext* context, const char* text, size_t length) {
  QuillValue* value = new_value(context);
  if (value != nullptr && set_value_to_text(value, text, length) != 0) {
    release_value(context->pool, value);
    return memory_error(context);
  }
  return value;
}

QuillValue* memory_error(EvalContext* context) {
  return eval_error(context, "HY001", "Memory allocation error");
}

QuillValue* support_failed(EvalContext* context) {
  context->error = -1;
  return nullptr;
}

QuillValue* new_value(EvalContext* context) {
  QuillValue* value = NewValue(context->pool, 0);
  return value != nullptr ? value : memory_error(context);
}

QuillValue* new_null_value(EvalContext* context, int32_t kind) {
  QuillValue* value = new_value(context);
  if (value != nullptr) set_value_null(value, kind);
  return value;
}

QuillValue* new_truth_value(EvalContext* context, int truth) {
  QuillValue* value = new_value(context);
  if (value != nullptr) set_trivalue_in_value(value, truth);
  return value;
}

bool value_text(EvalContext* context, const QuillValue* value, std::string* out) {
  if (value->kind == VALUE_CHARACTER || value->kind == VALUE_LONG_CHARACTER)
    return fn_read_text(context, value, out);
  char buffer[VALUE_TEXT_SIZE];
  int length = value_as_text(value, buffer);
  out->assign(buffer, length > 0 ? static_cast<size_t>(length) : 0);
  return true;
}

bool is_query_node(const Node* node) {
  return node != nullptr && (node->kind == NODE_QUERY_SPEC || node->kind == NODE_GROUPED_QUERY ||
                             node->kind == NODE_UNION);
}

QuillValue* eval_node(const Node* node, EvalContext* context, int flags) {
  if (node == nullptr) {
    QuillValue* value = new_value(context);
    if (value != nullptr) value->indicator = 1;
    return value;
  }
  switch (node->kind) {
    case NODE_COLUMN_REF:
      return eval_column(node_cast<ColumnRefNode>(node), context);
    case NODE_PARAMETER:
      return eval_parameter(node_cast<ParameterNode>(node), context);
    case NODE_LITERAL:
      return eval_literal(node_cast<LiteralNode>(node), context);
    case NODE_SET_FUNCTION:
      return eval_set_function(node_cast<SetFunctionNode>(node), context);
    case NODE_CAST:
      return eval_cast(node_cast<CastNode>(node), context, value_flags(flags));
    case NODE_FUNCTION:
      return eval_function(node_cast<FunctionNode>(node), context, value_flags(flags));
    case NODE_OPERATOR:
      return eval_operator(node_cast<OperatorNode>(node), context, flags);
    case NODE_EXISTS:
      return eval_exists(node_cast<ExistsNode>(node), context, flags);
    case NODE_LIKE:
      return eval_like(node_cast<LikeNode>(node), context, flags);
    case NODE_IS_NULL:
      return eval_is_null(node_cast<IsNullNode>(node), context, flags);
    case NODE_IN:
      return eval_in(node_cast<InNode>(node), context, flags);
    case NODE_QUANTIFIED:
      return eval_quantified(node_cast<QuantifiedNode>(node), context, flags);
    case NODE_CASE:
      return eval_case(node_cast<CaseNode>(node), context, value_flags(flags));
    case NODE_NULLIF:
      return eval_nullif(node_cast<NullifNode>(node), context, value_flags(flags));
    case NODE_COALESCE:
      return eval_coalesce(node_cast<CoalesceNode>(node), context, value_flags(flags));
    case NODE_WRAPPER:
      return eval_node(node_cast<WrapperNode>(node)->wrapped, context, flags);
    case NODE_QUERY_SPEC:
    case NODE_GROUPED_QUERY:
    case NODE_UNION:
      return eval_subquery_value(node, context);
    default:
      return eval_error(context, "HY000", "Unexpected type in eval expr");
  }
}

// --- Public entry points --------------------------------------------------------------------

// Reads a long value's buffer whole (a deferred value is read first); false on a failure.
static bool read_long_value(EvalContext*, const QuillValue* value, std::string* out) {
  out->clear();
  if (!value || !value->long_buffer) return false;
  int64_t length = long_buffer_length(value->long_buffer);
  if (length < 0) return true;  // NULL: no text
  out->resize(static_cast<size_t>(length));
  return read_long_buffer_at(value->long_buffer, 0, out->data(), out->size()) == length;
}

void eval_context_prepare(EvalContext* context, MemPool* pool, ErrorHeader* errors) {
  *context = EvalContext{};
  context->pool = pool;
  context->errors = errors;
  context->odbc_version = 3;
  context->evaluate = eval_callback;
  context->read_long = read_long_value;
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  context->start_time.year = static_cast<SQLSMALLINT>(local.tm_year + 1900);
  context->start_time.month = static_cast<SQLUSMALLINT>(local.tm_mon + 1);
  context->start_time.day = static_cast<SQLUSMALLINT>(local.tm_mday);
  context->start_time.hour = static_cast<SQLUSMALLINT>(local.tm_hour);
  context->start_time.minute = static_cast<SQLUSMALLINT>(local.tm_min);
  context->start_time.second = static_cast<SQLUSMALLINT>(local.tm_sec > 59 ? 59 : local.tm_sec);
}

QuillValue* eval_expr(const Node* expression, EvalContext* context, EvalVisitor visitor,
                      void* visitor_argument, int flags) {
  if (visitor != nullptr) {
    walk_expression(expression, visitor, visitor_argument);
    return nullptr;
  }
  if (context == nullptr) return nullptr;
  // Every evaluation is its own error boundary: an earlier failure must not be taken for one
  // of this evaluation.
  context->error = 0;
  if (context->evaluate == nullptr) context->evaluate = eval_callback;
  QuillValue* value = eval_node(expression, context, flags);
  if (value == nullptr && context->error == 0) eval_error(context, "HY000", "Unexpected error");
  return value;
}

QuillValue* eval_callback(EvalContext* context, const void* expression) {
  return eval_expr(static_cast<const Node*>(expression), context, nullptr, nullptr, 0);
}

QuillValue* eval_expression_guarded(const Node* expression, EvalContext* context, int flags) {
  if (context == nullptr) return nullptr;
  QuillValue* value = eval_expr(expression, context, nullptr, nullptr, flags);
  if (context->error != 0 && value != nullptr) {
    release_value(context->pool, value);
    value = nullptr;
  }
  return value;
}

int eval_predicate(const Node* condition, EvalContext* context, int flags) {
  QuillValue* value = eval_expression_guarded(condition, context, flags | EVAL_SEARCH);
  if (value == nullptr) return -1;
  int truth = get_trivalue_from_value(value);
  release_value(context->pool, value);
  return truth == TRUTH_TRUE ? 1 : 0;
}
