// Searched DELETE and UPDATE: the bulk delete attempt, and the row-wise path that runs the
// row-selecting query as a sub-statement, keeps every qualifying row (and, for UPDATE, its
// new values) before any row is touched, then deletes or updates the rows by key.
#include <vector>

#include "driver/sql/exec_modify_internal.h"

namespace {

// One qualifying row: its values as read and, for UPDATE, the values to write.
struct KeptRow {
  std::vector<QuillValue*> values;   // per column, null when not read
  QuillValue* row_key = nullptr;     // DAL column -1, or null
  QuillValue* bookmark = nullptr;    // DAL column -2, or null
  std::vector<DalColumnValue> next;  // UPDATE: the row's new values
  bool changed = false;              // UPDATE: some column differs
};

// Owns the kept rows' values.
struct KeptRows {
  ExecStatement* statement;
  std::vector<KeptRow> rows;
  ~KeptRows() {
    MemPool* pool = statement->pool;
    for (KeptRow& row : rows) {
      for (QuillValue* value : row.values)
        if (value) release_value(pool, value);
      if (row.row_key) release_value(pool, row.row_key);
      if (row.bookmark) release_value(pool, row.bookmark);
      for (DalColumnValue& entry : row.next)
        if (entry.value) release_value(pool, entry.value);
    }
  }
};

QuillValue* copy_of(ExecStatement* statement, const QuillValue* value, int* rc) {
  if (!value) return nullptr;
  QuillValue* copy = duplicate_value(statement->pool, value);
  if (!copy) *rc = exec_post_memory(statement);
  return copy;
}

// The first column of the first row of a scalar subquery (NULL without rows); null after
// posting, also when it yields a second row.
QuillValue* scalar_subquery(ExecStatement* evaluator, QueryPlan* query) {
  ExecStatement* sub = exec_sub_statement(evaluator, query);
  if (!sub) return nullptr;
  QuillValue* result = nullptr;
  int rc = exec_open_query(sub);
  if (rc >= 0) rc = exec_fetch(sub);
  if (rc == EXEC_NO_DATA) {
    result = NewValue(evaluator->pool, 0);
    if (result)
      set_value_null(result, VALUE_CHARACTER);
    else
      exec_post_memory(evaluator);
  } else if (rc >= 0) {
    const QuillValue* value = exec_column_value(sub, 0);
    if (value) result = duplicate_value(evaluator->pool, value);
    if (value && !result) exec_post_memory(evaluator);
    int next = result ? exec_fetch(sub) : -1;
    if (next == 0 || next == 1) {
      release_value(evaluator->pool, result);
      result = nullptr;
      SetReturnCode(evaluator->errors, -1);
      PostError(evaluator->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY000", "%s",
                "Update sub query generated vector result");
    } else if (next < 0 && result) {
      release_value(evaluator->pool, result);
      result = nullptr;
    }
  }
  exec_free(sub);
  if (!result) SetReturnCode(evaluator->errors, -1);
  return result;
}

// Keeps the current row of the row-selecting sub-statement. 0 or -1 (posted).
int keep_row(ExecStatement* statement, ExecStatement* rows, SearchedPlan* plan, KeptRow* kept) {
  TableEntry* target = plan->target;
  TableCursor* cursor = exec_find_cursor(rows, target);
  if (!cursor || !cursor->slots) return exec_post_general(statement, 0, "Internal Error");
  int rc = 0;
  kept->values.assign(static_cast<size_t>(target->column_count), nullptr);
  for (int c = 0; c < target->column_count && rc == 0; ++c) {
    if (cursor->column_usage && !cursor->column_usage[c]) continue;
    // A LONG value is read while the sub-statement is still on its row.
    if (exec_is_long_type(target->columns[c].sql_type))
      rc = exec_settle_long(statement, cursor->slots[c]);
    if (rc == 0) kept->values[static_cast<size_t>(c)] = copy_of(statement, cursor->slots[c], &rc);
  }
  if (rc == 0) kept->row_key = copy_of(statement, cursor->row_key, &rc);
  if (rc == 0) kept->bookmark = copy_of(statement, cursor->bookmark, &rc);
  if (rc < 0 || plan->kind != PLAN_UPDATE) return rc;
  kept->next.assign(static_cast<size_t>(target->column_count), DalColumnValue{});
  modify_init_values(target, kept->next.data());
  for (int c = 0; c < target->column_count && rc == 0; ++c)
    kept->next[static_cast<size_t>(c)].value =
        copy_of(statement, kept->values[static_cast<size_t>(c)], &rc);
  if (rc < 0) return -1;
  // The SET expressions read the row through the sub-statement's slots.
  return modify_assign(rows, statement, plan->assignments, target, kept->next.data(),
                       &kept->changed);
}

// Runs the row-selecting query and keeps every qualifying row. 0, or -1 (posted).
int collect_rows(ExecStatement* statement, SearchedPlan* plan, KeptRows* kept) {
  TableEntry* target = plan->target;
  // The rows are addressed through the table's slots, so the query must not go whole to
  // the backend as text.
  int passthrough = target->table.passthrough;
  target->table.passthrough = 0;
  ExecStatement* rows = exec_sub_statement(statement, plan->rows);
  int rc = rows ? exec_open_query(rows) : -1;
  while (rc >= 0) {
    rc = exec_fetch(rows);
    if (rc == EXEC_NO_DATA || rc < 0) break;
    kept->rows.emplace_back();
    if (keep_row(statement, rows, plan, &kept->rows.back()) < 0) rc = -1;
  }
  exec_free(rows);
  target->table.passthrough = passthrough;
  if (rc < 0) {
    SetReturnCode(statement->errors, -1);
    return -1;
  }
  return 0;
}

// Deletes or updates the kept rows by key. 0/1 or -1 (posted).
int apply_rows(ExecStatement* statement, SearchedPlan* plan, KeptRows& kept, DalIterator* iterator,
               long long* count) {
  bool warning = false;
  for (KeptRow& row : kept.rows) {
    ModifyRow image{plan->target, row.values.data(), row.row_key, row.bookmark, true};
    long long changed = 0;
    int rc = 0;
    if (plan->kind == PLAN_DELETE) {
      rc = modify_delete_row(statement, iterator, image, &changed);
    } else if (row.changed) {
      rc = modify_update_row(statement, iterator, image, row.next.data(), &changed);
    } else {
      changed = 1;  // nothing to write, but the row qualified
    }
    if (rc < 0) return -1;
    warning = warning || rc == EXEC_WARNING;
    *count += changed;
  }
  return warning ? EXEC_WARNING : EXEC_OK;
}

bool has_where(const SearchedPlan* plan) {
  if (plan->kind != PLAN_DELETE) return true;
  return node_cast<DeleteSearchedNode>(plan->node)->where != nullptr;
}

}  // namespace

int modify_assign(ExecStatement* evaluator, ExecStatement* owner, ListNode* assignments,
                  TableEntry* table, DalColumnValue* values, bool* changed) {
  for (ListNode* at = assignments; at; at = at->next) {
    auto* item = static_cast<AssignmentEntry*>(at->data);
    if (item->column < 0 || item->column >= table->column_count) continue;
    DalColumnValue& entry = values[item->column];
    const ColumnInfo* column = &table->columns[item->column];
    if (item->value_kind == VALUE_DEFAULT) {
      if (entry.value) release_value(owner->pool, entry.value);
      entry.value = nullptr;
      entry.changed = 1;
      *changed = true;
      continue;
    }
    QuillValue* value = nullptr;
    if (item->value_kind == VALUE_SUBQUERY) {
      value = scalar_subquery(evaluator, item->subquery);
      if (!value) return -1;
    } else if (item->value_kind != VALUE_NULL) {
      value = eval_expression_guarded(item->value, &evaluator->eval, 0);
      if (!value) {
        SetReturnCode(evaluator->errors, -1);
        return -1;
      }
    }
    QuillValue* converted = exec_value_for_column(owner, value, column);
    if (value) release_value(evaluator->pool, value);
    if (!converted) return -1;
    bool differs = !entry.value || exec_is_long_type(column->sql_type) ||
                   is_value_null(entry.value) != is_value_null(converted) ||
                   compare_values(entry.value, converted) != 0;
    if (entry.value) release_value(owner->pool, entry.value);
    entry.value = converted;
    if (differs) {
      entry.changed = 1;
      *changed = true;
    }
  }
  return 0;
}

int modify_searched(ExecStatement* statement, SearchedPlan* plan, long long* count) {
  *count = 0;
  DalIterator* iterator = modify_open_iterator(statement);
  if (!iterator) return -1;
  int rc = 2;
  if (!has_where(plan)) rc = modify_bulk_delete(statement, iterator, plan->target, count);
  if (rc == 2) {
    KeptRows kept{statement, {}};
    rc = collect_rows(statement, plan, &kept);
    if (rc == EXEC_OK && kept.rows.empty()) rc = EXEC_NO_DATA;
    if (rc == 0) rc = apply_rows(statement, plan, kept, iterator, count);
  }
  DALCloseIterator(iterator);
  return rc;
}
