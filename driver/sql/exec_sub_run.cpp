// Running a sub-statement on behalf of its parent: what it depends on from outside (outer
// column references and parameters), re-running it only when one of those values changed,
// and the store of rows it produced so that a restart can replay them without a new scan.
#include <cstring>
#include <vector>

#include "driver/sql/exec_sub_internal.h"

namespace {

// Every plan nested in `plan` (itself included): subqueries, derived tables (also inside
// joins) and UNION operands.
void collect_plans(QueryPlan* plan, std::vector<QueryPlan*>* out);

void collect_entry_plans(TableEntry* entry, std::vector<QueryPlan*>* out) {
  if (entry == nullptr) return;
  if (entry->type == TABLE_JOINED && entry->join != nullptr) {
    collect_entry_plans(entry->join->left, out);
    collect_entry_plans(entry->join->right, out);
  } else if (entry->type == TABLE_DERIVED && entry->derived != nullptr) {
    collect_plans(entry->derived, out);
  }
}

void collect_plans(QueryPlan* plan, std::vector<QueryPlan*>* out) {
  if (plan == nullptr) return;
  for (QueryPlan* seen : *out)
    if (seen == plan) return;
  out->push_back(plan);
  collect_plans(plan->union_left, out);
  collect_plans(plan->union_right, out);
  for (ListNode* at = plan->from; at != nullptr; at = at->next)
    collect_entry_plans(static_cast<TableEntry*>(at->data), out);
  for (ListNode* at = plan->subqueries; at != nullptr; at = at->next)
    collect_plans(static_cast<SubqueryLink*>(at->data)->plan, out);
}

bool contains(const std::vector<QueryPlan*>& plans, const QueryPlan* plan) {
  for (const QueryPlan* p : plans)
    if (p == plan) return true;
  return false;
}

// The value a watch reads now (borrowed), through the parent's hooks; `*failed` when an
// outer column cannot be read.
const QuillValue* current_value(const SubRun* run, const SubWatch& watch, bool* failed) {
  EvalContext* context = &run->parent->eval;
  *failed = false;
  if (watch.column != nullptr) {
    const QuillValue* value =
        context->hooks.column_value ? context->hooks.column_value(context, watch.column) : nullptr;
    *failed = value == nullptr;
    return value;
  }
  // An unbound parameter has no value; the sub-statement itself reports that.
  return context->hooks.parameter_value ? context->hooks.parameter_value(context, watch.parameter)
                                        : nullptr;
}

bool same_value(const SubWatch& watch, const QuillValue* now) {
  if (!watch.seen) return false;
  if (watch.last == nullptr || now == nullptr) return watch.last == nullptr && now == nullptr;
  return compare_values(watch.last, now) == 0;
}

}  // namespace

int sub_run_init(SubRun* run, ExecStatement* parent, QueryPlan* plan, MemPool* pool) {
  *run = SubRun{};
  run->parent = parent;
  run->plan = plan;
  run->pool = pool;
  run->stale = true;
  std::vector<QueryPlan*> nested;
  collect_plans(plan, &nested);
  std::vector<SubWatch> watches;
  for (QueryPlan* member : nested) {
    for (ListNode* at = member->outer_references; at != nullptr; at = at->next) {
      auto* reference = static_cast<OuterReference*>(at->data);
      if (reference == nullptr || reference->column == nullptr ||
          contains(nested, reference->outer))
        continue;
      bool duplicate = false;
      for (const SubWatch& w : watches)
        duplicate = duplicate || (w.column != nullptr &&
                                  w.column->resolved_table == reference->column->resolved_table &&
                                  w.column->resolved_column == reference->column->resolved_column);
      if (!duplicate) watches.push_back(SubWatch{reference->column, 0, nullptr, false});
    }
    for (ListNode* at = member->parameters; at != nullptr; at = at->next) {
      auto* entry = static_cast<ParameterEntry*>(at->data);
      if (entry == nullptr || entry->node == nullptr) continue;
      bool duplicate = false;
      for (const SubWatch& w : watches)
        duplicate = duplicate || (w.column == nullptr && w.parameter == entry->node->number);
      if (!duplicate) watches.push_back(SubWatch{nullptr, entry->node->number, nullptr, false});
    }
  }
  if (watches.empty()) return 0;
  run->watches = static_cast<SubWatch*>(quill_mem_alloc(pool, sizeof(SubWatch) * watches.size()));
  if (run->watches == nullptr) return exec_post_memory(parent);
  std::memcpy(static_cast<void*>(run->watches), watches.data(), sizeof(SubWatch) * watches.size());
  run->watch_count = static_cast<int>(watches.size());
  return 0;
}

int sub_run_check(SubRun* run, bool* changed) {
  *changed = run->statement == nullptr;
  for (int i = 0; i < run->watch_count; ++i) {
    SubWatch& watch = run->watches[i];
    bool failed = false;
    const QuillValue* now = current_value(run, watch, &failed);
    if (failed) return exec_post_general(run->parent, EXEC_NATIVE_RERUN, "Internal Error");
    if (same_value(watch, now)) continue;
    *changed = true;
    release_value(run->pool, watch.last);
    watch.last = nullptr;
    watch.seen = true;
    if (now == nullptr) continue;
    watch.last = duplicate_value(run->pool, now);
    if (watch.last == nullptr) {
      watch.seen = false;
      return exec_post_memory(run->parent);
    }
  }
  return 0;
}

int sub_run_restart(SubRun* run) {
  if (run->statement == nullptr) {
    run->statement = exec_sub_statement(run->parent, run->plan);
    if (run->statement == nullptr) return -1;
  } else if (run->open) {
    exec_close(run->statement);
  }
  run->open = false;
  int rc = exec_open_query(run->statement);
  if (rc < 0) {
    // The next open must try again rather than trust half-stored values.
    run->stale = true;
    return -1;
  }
  run->open = true;
  run->stale = false;
  return rc;
}

int sub_run_open(SubRun* run, bool* rerun) {
  bool changed = false;
  *rerun = false;
  if (sub_run_check(run, &changed) < 0) return -1;
  if (!changed && !run->stale && run->open) return 0;
  *rerun = true;
  if (sub_run_restart(run) < 0) {
    // Forget the stored values so the next open runs again.
    for (int i = 0; i < run->watch_count; ++i) run->watches[i].seen = false;
    return -1;
  }
  return 0;
}

void sub_run_close(SubRun* run) {
  if (run->statement != nullptr && run->open) exec_close(run->statement);
  run->open = false;
  run->stale = true;
}

void sub_run_free(SubRun* run) {
  if (run->statement != nullptr) {
    // Its own subqueries first: their sub-statements hold memory outside the pools.
    sub_statement_release(run->statement);
    exec_free(run->statement);
  }
  run->statement = nullptr;
  run->open = false;
  run->stale = true;
}

void sub_rows_reset(SubRows* rows, int width) {
  for (long i = 0; i < rows->count * rows->width; ++i) release_value(rows->pool, rows->values[i]);
  rows->count = 0;
  rows->width = width;
  rows->complete = false;
}

int sub_rows_append(SubRows* rows, const QuillValue* const* values) {
  if (rows->count == rows->capacity) {
    long capacity = rows->capacity == 0 ? 16 : rows->capacity * 2;
    size_t bytes = sizeof(QuillValue*) * static_cast<size_t>(capacity) *
                   static_cast<size_t>(rows->width > 0 ? rows->width : 1);
    void* grown = rows->values == nullptr ? quill_mem_alloc(rows->pool, bytes)
                                          : quill_mem_realloc(rows->pool, rows->values, bytes);
    if (grown == nullptr) return -1;
    rows->values = static_cast<QuillValue**>(grown);
    rows->capacity = capacity;
  }
  QuillValue** row = rows->values + rows->count * rows->width;
  for (int i = 0; i < rows->width; ++i) {
    row[i] = duplicate_value(rows->pool, values[i]);
    if (row[i] == nullptr) {
      for (int j = 0; j < i; ++j) release_value(rows->pool, row[j]);
      return -1;
    }
  }
  ++rows->count;
  return 0;
}

QuillValue** sub_rows_at(SubRows* rows, long index) {
  return rows->values + index * rows->width;
}

int sub_entry_slot_count(const TableEntry* entry) {
  if (entry->type == TABLE_JOINED)
    return entry->join == nullptr
               ? 0
               : sub_entry_slot_count(entry->join->left) + sub_entry_slot_count(entry->join->right);
  return entry->column_count;
}

QuillValue* sub_null_value(MemPool* pool, const ColumnInfo* column) {
  int length = column->length > 0 && column->length < 64000 ? static_cast<int>(column->length) : 0;
  QuillValue* value = NewValue(pool, length);
  if (value != nullptr) set_value_null(value, sql_to_value_type(column->sql_type));
  return value;
}
