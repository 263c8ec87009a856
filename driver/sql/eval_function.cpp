// Scalar function calls: the argument list taken apart (pairs of `x FROM y`, EXTRACT
// fields and bare unit names as text), evaluated or passed as expressions as the function
// table says, the call through the table's evaluator, and TRIM, which has no table entry.
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "driver/sql/eval_internal.h"
#include "driver/sql/functions.h"
#include "support/unicode.h"

namespace {

const char* const kFieldNames[] = {"", "YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};

// The arguments as written, with the pairs of `x FROM y` / `x IN y` taken apart.
std::vector<const Node*> argument_nodes(const FunctionNode* node) {
  std::vector<const Node*> nodes;
  for (ListNode* item = node->arguments; item != nullptr; item = item->next) {
    const Node* argument = static_cast<const Node*>(item->data);
    if (argument != nullptr && argument->kind == NODE_ARG_PAIR) {
      for (ListNode* part = node_cast<ArgPairNode>(argument)->items; part != nullptr;
           part = part->next)
        nodes.push_back(static_cast<const Node*>(part->data));
    } else {
      nodes.push_back(argument);
    }
  }
  return nodes;
}

// One evaluated argument: a field of EXTRACT or a bare unit name (SQL_TSI_DAY) declared as
// a specifier becomes its name as text; everything else is evaluated.
QuillValue* function_argument(const Node* argument, uint32_t declared_class, EvalContext* context,
                              int flags) {
  if (argument == nullptr) return new_null_value(context, VALUE_CHARACTER);
  if (argument->kind == NODE_INTERVAL_FIELD) {
    int field = node_cast<IntervalFieldNode>(argument)->field;
    const char* name = field >= FIELD_YEAR && field <= FIELD_SECOND ? kFieldNames[field] : "";
    return new_text_value(context, name, std::strlen(name));
  }
  if (argument->kind == NODE_COLUMN_REF && (declared_class & FN_CLASS_SPECIFIER) != 0) {
    const auto* column = node_cast<ColumnRefNode>(argument);
    if (column->table == nullptr && column->column != nullptr && column->column->text != nullptr)
      return new_text_value(context, column->column->text, std::strlen(column->column->text));
  }
  return eval_node(argument, context, flags);
}

QuillValue* eval_trim(const FunctionNode* node, EvalContext* context, int flags) {
  const Node* first =
      node->arguments != nullptr ? static_cast<const Node*>(node->arguments->data) : nullptr;
  if (first == nullptr || first->kind != NODE_TRIM_SPEC)
    return eval_error(context, "HY000", "Unexpected type in eval expr");
  const auto* trim_node = node_cast<TrimSpecNode>(first);
  // The trim character: its first character, whole (several bytes in UTF-8).
  std::string trimmed = " ";
  if (trim_node->character != nullptr) {
    QuillValue* character = eval_node(trim_node->character, context, flags);
    if (character == nullptr) return nullptr;
    std::string text;
    bool known = !is_value_null(character) && value_text(context, character, &text);
    release_value(context->pool, character);
    if (context->error != 0) return nullptr;
    if (!known) return new_null_value(context, VALUE_CHARACTER);
    if (!text.empty()) trimmed = text.substr(0, utf8_char_size(text.data(), text.size()));
  }
  QuillValue* source = eval_node(trim_node->source, context, flags);
  if (source == nullptr) return nullptr;
  std::string text;
  bool known = !is_value_null(source) && value_text(context, source, &text);
  release_value(context->pool, source);
  if (context->error != 0) return nullptr;
  if (!known) return new_null_value(context, VALUE_CHARACTER);
  std::string_view rest(text);
  if (trim_node->side != TRIM_TRAILING)
    while (rest.starts_with(trimmed)) rest.remove_prefix(trimmed.size());
  if (trim_node->side != TRIM_LEADING)
    while (rest.ends_with(trimmed)) rest.remove_suffix(trimmed.size());
  size_t begin = static_cast<size_t>(rest.data() - text.data()), end = begin + rest.size();
  return new_text_value(context, text.data() + begin, end - begin);
}

}  // namespace

QuillValue* eval_function(const FunctionNode* node, EvalContext* context, int flags) {
  if (node->number == FUNC_TRIM) return eval_trim(node, context, flags);
  const ScalarFunction* entry =
      node->function != nullptr ? node->function : scalar_function_by_number(node->number);
  ScalarEvaluator evaluator = scalar_function_evaluator(entry);
  if (evaluator == nullptr)
    return eval_error(context, "HY000", "Function %s is not available",
                      node->name != nullptr ? node->name : "?");
  std::vector<const Node*> nodes = argument_nodes(node);
  std::vector<void*> arguments(nodes.size(), nullptr);
  bool evaluated = !entry->unevaluated_arguments;
  QuillValue* result = nullptr;
  bool failed = false;
  for (size_t i = 0; i < nodes.size(); ++i) {
    if (!evaluated) {
      arguments[i] = const_cast<Node*>(nodes[i]);
      continue;
    }
    uint32_t declared = i < SCALAR_FUNCTION_MAX_ARGUMENTS ? entry->argument_classes[i] : 0;
    arguments[i] = function_argument(nodes[i], declared, context, flags);
    if (arguments[i] == nullptr) {
      failed = true;
      break;
    }
  }
  if (!failed) {
    result = evaluator(context, static_cast<int>(arguments.size()), arguments.data(), entry);
    if (result == nullptr && context->error == 0)
      eval_error(context, "HY000", "Function %s failed", entry->name);
  }
  if (evaluated)
    for (void* argument : arguments)
      if (argument != nullptr) release_value(context->pool, static_cast<QuillValue*>(argument));
  return result;
}
