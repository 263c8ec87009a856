// UPDATE and DELETE ... WHERE CURRENT OF cursor: the named cursor's current row is found
// through the call layer's hook, its values for the target table are gathered (from the
// cursor's result columns, or the engine's slots when they still hold that row). A DELETE
// removes the row by key after the re-read check; an UPDATE evaluates the SET list against
// that row image, updates the row by key after the same check and gives the cursor the row as
// it now is, so that a second change of the same row is not mistaken for someone else's.
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
    auto* reference = node_cast<ColumnRefNode>(expression);
    if (reference->resolved_table == table && reference->resolved_column == column) return i;
  }
  return -1;
}

int post_state(ExecStatement* statement, const char* sqlstate, const char* message) {
  SetReturnCode(statement->errors, -1);
  PostError(statement->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", sqlstate, "%s", message);
  return -1;
}

// The named cursor's current row as the columns of the target table see it.
struct CursorImage {
  ExecCursorRow cursor{};                 // the call layer's description of the cursor
  TableCursor* engine = nullptr;          // the cursor's engine slots, when they hold the row
  std::vector<const QuillValue*> values;  // per column of the target; null: not known
  std::vector<int> result_of;             // per column: the result column showing it, or -1
};

// Finds the cursor `name` running `query` and gathers its current row for `target`, reading
// LONG values whose read was deferred. 0, or -1 after posting.
int gather_row(ExecStatement* statement, const NameNode* name, const QueryPlan* query,
               TableEntry* target, CursorImage* image) {
  const ExecCallLayerHooks* hooks = modify_hooks();
  const char* text = name ? name->text : nullptr;
  int found = hooks && hooks->cursor_row && text && statement->dal
                  ? hooks->cursor_row(statement->dal->connection, text, &image->cursor)
                  : -1;
  if (found == -2) return post_state(statement, "24000", "Invalid cursor state");
  if (found < 0 || image->cursor.query != query)
    return post_state(statement, "34000", "Invalid cursor name");
  const ExecCursorRow& cursor = image->cursor;
  size_t columns = static_cast<size_t>(target->column_count);
  image->values.assign(columns, nullptr);
  image->result_of.assign(columns, -1);
  image->engine = cursor.engine_row_current && cursor.statement
                      ? exec_find_cursor(cursor.statement, target)
                      : nullptr;
  TableCursor* engine = image->engine;
  for (size_t c = 0; c < columns; ++c) {
    int result = result_column_of(query, target, static_cast<int>(c));
    if (result >= 0 && result < cursor.column_count && cursor.column) {
      image->values[c] = cursor.column(cursor.context, result);
      image->result_of[c] = result;
    } else if (engine && engine->slots && (!engine->column_usage || engine->column_usage[c])) {
      image->values[c] = engine->slots[c];
    }
    if (image->values[c] && exec_is_long_type(target->columns[c].sql_type) &&
        exec_settle_long(statement, image->values[c]) < 0)
      return -1;
  }
  return 0;
}

// The gathered row for the row operations, checked against the backend before it changes.
ModifyRow image_row(TableEntry* target, const CursorImage& image) {
  TableCursor* engine = image.engine;
  return ModifyRow{target, image.values.data(), engine ? engine->row_key : nullptr,
                   engine ? engine->bookmark : nullptr, true};
}

// After an update: where the row is read again (the engine's own slots for columns taken
// from them, new values for the columns the cursor shows), and the cursor's stored row is
// given the fresh values.
struct Refresh {
  ExecStatement* statement;
  std::vector<QuillValue*> into;  // per column of the target, handed to exec_update_row
  std::vector<bool> made;         // per column: `into` was made here (and is released here)
  bool refreshed = false;         // the row was read again
  ~Refresh() {
    for (size_t c = 0; c < into.size(); ++c)
      if (made[c] && into[c]) release_value(statement->pool, into[c]);
  }
};

// Prepares `refresh` for the image's columns. 0, or -1 after posting.
int prepare_refresh(ExecStatement* statement, TableEntry* target, const CursorImage& image,
                    Refresh* refresh) {
  size_t columns = image.values.size();
  refresh->into.assign(columns, nullptr);
  refresh->made.assign(columns, false);
  for (size_t c = 0; c < columns; ++c) {
    if (!image.values[c] || exec_is_long_type(target->columns[c].sql_type)) continue;
    if (image.result_of[c] < 0) {
      refresh->into[c] = image.engine ? image.engine->slots[c] : nullptr;
      continue;
    }
    refresh->into[c] = exec_make_slot(statement->pool, &target->columns[c]);
    refresh->made[c] = true;
    if (!refresh->into[c]) return exec_post_memory(statement);
  }
  return 0;
}

// Hands the fresh values of the columns the cursor shows (and the LONG values written) to
// the cursor's stored row. 0, or -1 after posting.
int store_refreshed(const CursorImage& image, const Refresh& refresh,
                    const std::vector<DalColumnValue>& written) {
  const ExecCursorRow& cursor = image.cursor;
  if (!cursor.replace || cursor.column_count <= 0) return 0;
  std::vector<const QuillValue*> results(static_cast<size_t>(cursor.column_count), nullptr);
  bool any = false;
  for (size_t c = 0; c < image.result_of.size(); ++c) {
    int result = image.result_of[c];
    if (result < 0) continue;
    const QuillValue* value = refresh.refreshed && refresh.made[c] ? refresh.into[c] : nullptr;
    if (!value && written[c].changed && written[c].value && !refresh.made[c])
      value = written[c].value;  // LONG columns are not read again
    results[static_cast<size_t>(result)] = value;
    any = any || value;
  }
  return any ? cursor.replace(cursor.context, results.data()) : 0;
}

}  // namespace

int modify_positioned_update(ExecStatement* statement, PositionedUpdatePlan* plan,
                             long long* count) {
  *count = 0;
  TableEntry* target = plan->target;
  CursorImage image;
  if (gather_row(statement, plan->node ? plan->node->cursor : nullptr, plan->cursor_plan, target,
                 &image) < 0)
    return -1;
  size_t columns = static_cast<size_t>(target->column_count);
  std::vector<const QuillValue*>& values = image.values;
  ModifyRow row = image_row(target, image);

  // The SET list reads the cursor's row through the image.
  RowImage row_image{target, values.data(), statement->eval.hooks};
  statement->modify_image = &row_image;
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
  statement->eval.hooks = row_image.saved;
  statement->modify_image = nullptr;

  Refresh refresh{statement, {}, {}};
  if (rc == 0 && changed) rc = prepare_refresh(statement, target, image, &refresh);
  if (rc == 0 && changed)
    rc = exec_update_row(statement, row, next.data(), count, refresh.into.data(),
                         &refresh.refreshed);
  if (rc >= 0 && changed && store_refreshed(image, refresh, next) < 0) rc = -1;
  if (rc >= 0 && !changed) *count = 1;
  for (DalColumnValue& entry : next)
    if (entry.value) release_value(statement->pool, entry.value);
  if (rc < 0) return -1;
  if (modify_has_replicas(statement, &target->table))
    return exec_post_general(statement, 0, "Positioned update not supported with replication");
  return rc;
}

int modify_positioned_delete(ExecStatement* statement, PositionedDeletePlan* plan,
                             long long* count) {
  *count = 0;
  CursorImage image;
  if (gather_row(statement, plan->node ? plan->node->cursor : nullptr, plan->cursor_plan,
                 plan->target, &image) < 0)
    return -1;
  int rc = exec_delete_row(statement, image_row(plan->target, image), count);
  if (rc < 0) return -1;
  if (modify_has_replicas(statement, &plan->target->table))
    return exec_post_general(statement, 0, "Positioned delete not supported with replication");
  return rc;
}
