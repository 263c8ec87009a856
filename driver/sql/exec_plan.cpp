// Plan building: asks the planner for the branches and the join order of a query member,
// and turns them into an ExecPlan with one cursor per table (value slots for its columns)
// and, per branch, the tables in join order with the restrictions that apply to them.
#include "driver/sql/exec_sub.h"
#include "driver/sql/exec_internal.h"
#include "driver/sql/planner.h"

namespace {

// Prepares the cursor of one table entry with its value slots.
int init_cursor(ExecStatement* statement, ExecPlan* plan, TableCursor* cursor, TableEntry* entry,
                int table_index) {
  cursor->entry = entry;
  cursor->table_index = table_index;
  cursor->numeric_as_struct = -1;
  int count = entry->column_count > 0 ? entry->column_count : 0;
  cursor->slots = static_cast<QuillValue**>(
      quill_mem_alloc(plan->pool, sizeof(QuillValue*) * static_cast<size_t>(count + 1)));
  cursor->column_usage =
      static_cast<int*>(quill_mem_alloc(plan->pool, sizeof(int) * static_cast<size_t>(count + 1)));
  cursor->row_key = NewValue(plan->pool, 0);
  cursor->bookmark = NewValue(plan->pool, 32);
  if (!cursor->slots || !cursor->column_usage || !cursor->row_key || !cursor->bookmark)
    return exec_post_memory(statement);
  set_value_null(cursor->row_key, VALUE_INTEGER);
  set_value_null(cursor->bookmark, VALUE_CHARACTER);
  for (int i = 0; i < count; ++i) {
    cursor->slots[i] = exec_make_slot(plan->pool, &entry->columns[i]);
    if (!cursor->slots[i]) return exec_post_memory(statement);
    cursor->column_usage[i] = entry->column_used ? entry->column_used[i] : 1;
  }
  return 0;
}

// The pool that outlives every execution of the query (the planner rewrites WHERE with it).
MemPool* lasting_pool(ExecStatement* statement) {
  while (statement->parent) statement = statement->parent;
  return statement->lasting_pool;
}

// Index of `entry` in a list, or -1.
int index_in(ListNode* list, const TableEntry* entry) {
  int index = 0;
  for (ListNode* at = list; at; at = at->next, ++index)
    if (at->data == entry) return index;
  return -1;
}

// Fills one branch from the planner's branch.
int build_branch(ExecStatement* statement, ExecPlan* plan, const PlannedBranch& planned,
                 const std::vector<TableCursor*>& unit_cursors, PlanBranch* branch) {
  branch->predicate = planned.predicate;
  branch->table_count = static_cast<int>(unit_cursors.size());
  branch->tables = static_cast<BranchTable*>(quill_mem_alloc(
      plan->pool, sizeof(BranchTable) * static_cast<size_t>(branch->table_count + 1)));
  if (!branch->tables) return exec_post_memory(statement);
  for (int u = 0; u < branch->table_count; ++u) {
    BranchTable* table = &branch->tables[u];
    table->cursor = unit_cursors[static_cast<size_t>(u)];
    int count = 0;
    for (const PlannedRestriction& r : planned.restrictions)
      if (r.table == table->cursor->table_index) ++count;
    if (count == 0 || table->cursor->table_index < 0) continue;
    table->restrictions = static_cast<BranchRestriction*>(
        quill_mem_alloc(plan->pool, sizeof(BranchRestriction) * static_cast<size_t>(count)));
    if (!table->restrictions) return exec_post_memory(statement);
    for (const PlannedRestriction& r : planned.restrictions) {
      if (r.table != table->cursor->table_index) continue;
      BranchRestriction* out = &table->restrictions[table->restriction_count++];
      out->restriction = r.restriction;
      out->restriction.value = nullptr;
      out->restriction.hits = 0;
      out->predicate = r.predicate;
      out->negated = r.negated;
      branch->indexed = true;
    }
  }
  return 0;
}

}  // namespace

TableCursor* exec_find_cursor(ExecStatement* statement, const TableEntry* entry) {
  ExecPlan* plan = statement->plan;
  if (!plan) return nullptr;
  for (int i = 0; i < plan->cursor_count; ++i)
    if (plan->cursors[i].entry == entry) return &plan->cursors[i];
  return nullptr;
}

int exec_build_plan(ExecStatement* statement) {
  exec_free_plan(statement);
  QueryPlan* query = statement->member;
  MemPool* pool = quill_mem_alloc_handle(statement->pool);
  auto* plan =
      pool ? static_cast<ExecPlan*>(newNode(sizeof(ExecPlan), EXEC_PLAN_TAG, pool)) : nullptr;
  if (!plan) {
    if (pool) quill_mem_release_handle(pool);
    return exec_post_memory(statement);
  }
  plan->pool = pool;
  plan->query = query;
  statement->plan = plan;

  QueryPlanning planning;
  if (plan_query(statement->dal, statement->errors, lasting_pool(statement), query, &planning) <
      0) {
    SetReturnCode(statement->errors, -1);
    return -1;
  }
  std::vector<TableEntry*> units = planning.units;
  if (units.empty())
    for (int index : planning.join_order) {
      ListNode* at = query->scan_tables;
      for (int i = 0; at && i < index; ++i) at = at->next;
      if (at) units.push_back(static_cast<TableEntry*>(at->data));
    }

  int scan_count = ListCount(query->scan_tables);
  int extra = 0;
  for (TableEntry* unit : units)
    if (index_in(query->scan_tables, unit) < 0) ++extra;
  plan->cursor_count = scan_count + extra;
  plan->cursors = static_cast<TableCursor*>(
      quill_mem_alloc(pool, sizeof(TableCursor) * static_cast<size_t>(plan->cursor_count + 1)));
  if (!plan->cursors) return exec_post_memory(statement);
  int index = 0;
  for (ListNode* at = query->scan_tables; at; at = at->next, ++index)
    if (init_cursor(statement, plan, &plan->cursors[index], static_cast<TableEntry*>(at->data),
                    index) < 0)
      return -1;
  std::vector<TableCursor*> unit_cursors;
  for (TableEntry* unit : units) {
    int position = index_in(query->scan_tables, unit);
    if (position < 0) {
      position = index++;
      if (init_cursor(statement, plan, &plan->cursors[position], unit, -1) < 0) return -1;
    }
    unit_cursors.push_back(&plan->cursors[position]);
  }

  if (planning.branches.empty()) planning.branches.push_back(PlannedBranch{query->where, {}});
  plan->branch_count = static_cast<int>(planning.branches.size());
  plan->branches = static_cast<PlanBranch*>(
      quill_mem_alloc(pool, sizeof(PlanBranch) * static_cast<size_t>(plan->branch_count)));
  if (!plan->branches) return exec_post_memory(statement);
  for (int b = 0; b < plan->branch_count; ++b)
    if (build_branch(statement, plan, planning.branches[static_cast<size_t>(b)], unit_cursors,
                     &plan->branches[b]) < 0)
      return -1;
  plan->exact_filtering = planning.exact_filtering;
  return 0;
}

void exec_free_plan(ExecStatement* statement) {
  ExecPlan* plan = statement->plan;
  if (!plan) return;
  exec_block_release(statement, true);
  for (int i = 0; i < plan->cursor_count; ++i) {
    TableCursor* cursor = &plan->cursors[i];
    exec_close_cursor(statement, cursor);
    if (cursor->entry && cursor->entry->type != TABLE_BASE) sub_cursor_close(statement, cursor);
    if (cursor->iterator) DALCloseIterator(cursor->iterator);
    cursor->iterator = nullptr;
    // Slots of derived and joined entries may belong to the sub-statement code.
    bool own_slots = cursor->entry && cursor->entry->type == TABLE_BASE;
    for (int c = 0; own_slots && cursor->slots && c < cursor->entry->column_count; ++c)
      if (cursor->slots[c] && cursor->slots[c]->long_buffer) {
        free_long_buffer(cursor->slots[c]->long_buffer);
        cursor->slots[c]->long_buffer = nullptr;
      }
  }
  statement->plan = nullptr;
  quill_mem_release_handle(plan->pool);
}
