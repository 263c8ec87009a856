// UPDATE ... WHERE CURRENT OF cursor: the named cursor's current row is found through the
// call layer's hook, its values for the target table are gathered (from the cursor's result
// columns, or the engine's slots when they still hold that row), the SET list is evaluated
// against that row image and the row is updated by key after the re-read check.
#include <vector>

#include "driver/sql/exec_modify_internal.h"

namespace {

// What SET expressions of a positioned UPDATE read for columns of the cursor's table.
struct RowImage {
  const TableEntry* table;          // the cursor's table entry
  const QuillValue* const* values;  // per column, the current row's value (null: unknown)
  EvalHooks saved;                  // the statement's hooks before the image was installed
};

const QuillValue* image_column(EvalContext* context, const ColumnRefNode* column) {
  auto* statement = static_cast<ExecStatement*>(context->statement);
  auto* image = statement ? static_cast<RowImage*>(statement->modify_image) : nullptr;
  if (!image) return nullptr;
  if (column->resolved_table == image->table && column->resolved_column >= 0 &&
      column->resolved_column < image->table->column_count)
    return image->values[column->resolved_column];
  return image->saved.column_value ? image->saved.column_value(context, column) : nullptr;
}

// The result column of `query` that is a plain reference to column `column` of `table`, or -1.
int result_column_of(const QueryPlan* query, const TableEntry* table, int column) {
  for (int i = 0; i < query->item_count; ++i) {
    const Node* expression = query->items[i].expression;
    if (!expression || expression->kind != NODE_COLUMN_REF) continue;
    auto* reference = reinterpret_cast<const ColumnRefNode*>(expression);
    if (reference->resolved_table == table && reference->resolved_column == column) return i;
  }
  return -1;
}

int post_state(ExecStatement* statement, const char* sqlstate, const char* message) {
  SetReturnCode(statement->errors, -1);
  PostError(statement->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", sqlstate, "%s", message);
  return -1;
}

}  // namespace

int modify_positioned_update(ExecStatement* statement, PositionedUpdatePlan* plan,
                             long long* count) {
  *count = 0;
  const ExecCallLayerHooks* hooks = modify_hooks();
  const char* name = plan->node && plan->node->cursor ? plan->node->cursor->text : nullptr;
  ExecCursorRow cursor{};
  int found = hooks && hooks->cursor_row && name && statement->dal
                  ? hooks->cursor_row(statement->dal->connection, name, &cursor)
                  : -1;
  if (found == -2) return post_state(statement, "24000", "Invalid cursor state");
  if (found < 0 || cursor.query != plan->cursor_plan)
    return post_state(statement, "34000", "Invalid cursor name");
  TableEntry* target = plan->target;
  size_t columns = static_cast<size_t>(target->column_count);
  std::vector<const QuillValue*> values(columns, nullptr);
  TableCursor* engine = cursor.engine_row_current && cursor.statement
                            ? exec_find_cursor(cursor.statement, target)
                            : nullptr;
  for (size_t c = 0; c < columns; ++c) {
    int result = result_column_of(plan->cursor_plan, target, static_cast<int>(c));
    if (result >= 0 && result < cursor.column_count && cursor.column)
      values[c] = cursor.column(cursor.context, result);
    else if (engine && engine->slots && (!engine->column_usage || engine->column_usage[c]))
      values[c] = engine->slots[c];
  }
  ModifyRow row{target, values.data(), engine ? engine->row_key : nullptr,
                engine ? engine->bookmark : nullptr, true};

  // The SET list reads the cursor's row through the image.
  RowImage image{target, values.data(), statement->eval.hooks};
  statement->modify_image = &image;
  statement->eval.hooks.column_value = image_column;
  std::vector<DalColumnValue> next(columns);
  modify_init_values(target, next.data());
  int rc = 0;
  for (size_t c = 0; c < columns && rc == 0; ++c) {
    if (!values[c]) continue;
    next[c].value = duplicate_value(statement->pool, values[c]);
    if (!next[c].value) rc = exec_post_memory(statement);
  }
  bool changed = false;
  if (rc == 0)
    rc = modify_assign(statement, statement, plan->assignments, target, next.data(), &changed);
  statement->eval.hooks = image.saved;
  statement->modify_image = nullptr;

  if (rc == 0 && changed) rc = exec_update_row(statement, row, next.data(), count);
  if (rc >= 0 && !changed) *count = 1;
  for (DalColumnValue& entry : next)
    if (entry.value) release_value(statement->pool, entry.value);
  if (rc < 0) return -1;
  if (modify_has_replicas(statement, &target->table))
    return exec_post_general(statement, 0, "Positioned update not supported with replication");
  return rc;
}
