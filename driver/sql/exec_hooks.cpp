// The evaluator's view of a running query: column references read the value slots of the
// table cursors (outer references those of the enclosing statements), parameters come from
// the current parameter set and set functions from the aggregate accumulators.
#include "driver/sql/exec_internal.h"

namespace {

const QuillValue* column_value(EvalContext* context, const ColumnRefNode* column) {
  auto* statement = static_cast<ExecStatement*>(context->statement);
  const TableEntry* entry = column->resolved_table;
  if (!statement || !entry || column->resolved_column < 0 ||
      column->resolved_column >= entry->column_count)
    return nullptr;
  for (ExecStatement* at = statement; at; at = at->parent) {
    TableCursor* cursor = exec_find_cursor(at, entry);
    if (cursor && cursor->slots) return cursor->slots[column->resolved_column];
  }
  return nullptr;
}

const QuillValue* parameter_value(EvalContext* context, int number) {
  auto* statement = static_cast<ExecStatement*>(context->statement);
  if (!statement) return nullptr;
  const ExecStatement* top = statement;
  while (top->parent) top = top->parent;
  const ExecSettings* settings = &top->settings;
  if (!settings->parameter_values || number < 1 || number > settings->parameter_count)
    return nullptr;
  SQLULEN set = top->parameter_set < settings->set_count ? top->parameter_set : 0;
  return settings->parameter_values[set * static_cast<SQLULEN>(settings->parameter_count) +
                                    static_cast<SQLULEN>(number - 1)];
}

const QuillValue* set_function_value(EvalContext* context, const SetFunctionNode* function) {
  auto* statement = static_cast<ExecStatement*>(context->statement);
  if (!statement) return nullptr;
  for (int i = 0; i < statement->aggregate_count; ++i)
    if (statement->aggregates[i].node == function) return statement->aggregates[i].value;
  return nullptr;
}

}  // namespace

void exec_install_hooks(ExecStatement* statement) {
  statement->eval.hooks.column_value = column_value;
  statement->eval.hooks.parameter_value = parameter_value;
  statement->eval.hooks.set_function_value = set_function_value;
}
