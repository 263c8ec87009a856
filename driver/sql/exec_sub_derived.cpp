// The cursor over a derived table: its query runs in a sub-statement and each row's
// select-list values become the cursor's slot values. Rows are kept as they stream by, so a
// restart of the cursor (a later row of an outer table in the nested loop) replays them;
// only when an outer value the query depends on changed is the query run again.
#include <vector>

#include "driver/sql/exec_sub_internal.h"

namespace {

struct DerivedState {
  MemPool* pool;       // everything below; released on close
  SubRun run;          // the sub-statement of the derived query
  SubRows rows;        // rows produced so far by the current run
  long position;       // next row to hand out (index into `rows`)
  bool own_slots;      // the slot array was made here
  QuillValue** slots;  // the array installed as cursor->slots when made here
};

DerivedState* state_of(TableCursor* cursor) {
  return static_cast<DerivedState*>(cursor->sub);
}

DerivedState* make_state(ExecStatement* statement, TableCursor* cursor) {
  MemPool* pool = quill_mem_alloc_handle(statement->pool);
  if (pool == nullptr) return nullptr;
  auto* state = static_cast<DerivedState*>(quill_mem_alloc(pool, sizeof(DerivedState)));
  if (state == nullptr) {
    quill_mem_release_handle(pool);
    return nullptr;
  }
  *state = DerivedState{};
  state->pool = pool;
  state->rows.pool = pool;
  TableEntry* entry = cursor->entry;
  int width = entry->column_count;
  if (cursor->slots == nullptr) {
    size_t bytes = sizeof(QuillValue*) * static_cast<size_t>(width > 0 ? width : 1);
    state->slots = static_cast<QuillValue**>(quill_mem_alloc(pool, bytes));
    if (state->slots == nullptr) {
      quill_mem_release_handle(pool);
      return nullptr;
    }
    state->own_slots = true;
    cursor->slots = state->slots;
  }
  return state;
}

}  // namespace

int sub_derived_open(ExecStatement* statement, TableCursor* cursor) {
  DerivedState* state = state_of(cursor);
  if (state == nullptr) {
    state = make_state(statement, cursor);
    if (state == nullptr) return exec_post_memory(statement);
    cursor->sub = state;
    if (sub_run_init(&state->run, statement, cursor->entry->derived, state->pool) < 0) return -1;
  }
  bool rerun = false;
  if (sub_run_open(&state->run, &rerun) < 0) return -1;
  if (rerun) sub_rows_reset(&state->rows, cursor->entry->derived->item_count);
  state->position = 0;
  cursor->exhausted = false;
  cursor->materialised = state->rows.complete;
  return 0;
}

int sub_derived_fetch(ExecStatement* statement, TableCursor* cursor) {
  DerivedState* state = state_of(cursor);
  if (state == nullptr || !state->run.open) return EXEC_NO_DATA;
  SubRows* rows = &state->rows;
  int width = rows->width;
  int limit = cursor->entry->column_count < width ? cursor->entry->column_count : width;
  if (state->position >= rows->count) {
    if (rows->complete) return EXEC_NO_DATA;
    ExecStatement* sub = state->run.statement;
    int rc = exec_fetch(sub);
    if (rc == EXEC_NO_DATA) {
      rows->complete = true;
      cursor->materialised = true;
      return EXEC_NO_DATA;
    }
    if (rc < 0) return -1;
    std::vector<const QuillValue*> values(static_cast<size_t>(width));
    for (int i = 0; i < width; ++i) {
      values[static_cast<size_t>(i)] = exec_column_value(sub, i);
      if (values[static_cast<size_t>(i)] == nullptr) return -1;
    }
    if (sub_rows_append(rows, values.data()) < 0) return exec_post_memory(statement);
    if (rc == EXEC_WARNING) statement->warning = true;
  }
  if (state->position >= rows->count) return EXEC_NO_DATA;
  QuillValue** row = sub_rows_at(rows, state->position++);
  for (int i = 0; i < limit; ++i) cursor->slots[i] = row[i];
  return 0;
}

void sub_derived_close(ExecStatement*, TableCursor* cursor) {
  DerivedState* state = state_of(cursor);
  if (state == nullptr) return;
  sub_run_free(&state->run);
  if (state->own_slots && cursor->slots == state->slots) cursor->slots = nullptr;
  cursor->sub = nullptr;
  cursor->materialised = false;
  quill_mem_release_handle(state->pool);
}
