// Records shared by the sub-statement units: a sub-statement together with the outside values
// it last ran with (so it re-runs only when one changed), a growing store of the rows it
// produced (so a restart replays them instead of scanning again), and the layout of a
// joined entry's value slots.
#pragma once

#include "driver/sql/exec_internal.h"
#include "driver/sql/exec_sub.h"

// One value a sub-statement depends on from outside it.
struct SubWatch {
  const ColumnRefNode* column;  // an outer column reference, or null for a parameter
  int parameter;                // 1-based parameter number when `column` is null
  QuillValue* last;             // the value at the last run; null before the first run
  bool seen;                    // `last` is meaningful (a parameter may have had no value)
};

// A sub-statement run on behalf of `parent`; made on first use.
struct SubRun {
  ExecStatement* parent;     // the statement whose rows the outer references read
  QueryPlan* plan;           // the query it runs
  ExecStatement* statement;  // the sub-statement, null until first opened
  SubWatch* watches;         // outer references and parameters it depends on
  int watch_count;           // entries at `watches`
  MemPool* pool;             // memory of the watches and their values
  bool open;                 // its result set is open
  bool stale;                // must run again at the next open whatever the values say
};

// Rows produced so far by a sub-statement, `width` values each, kept for replays.
struct SubRows {
  MemPool* pool;        // memory of the values and the array
  QuillValue** values;  // row-major, `count` x `width`
  long count;           // rows held
  long capacity;        // rows room was made for
  int width;            // values per row
  bool complete;        // the sub-statement reported its end after the last row held
};

// Prepares `run` to execute `plan` inside `parent`, collecting what it depends on from
// outside: outer references of `plan` and of the plans nested in it, and parameters.
// `pool` holds the watches. 0, or -1 after posting "Memory allocation error".
int sub_run_init(SubRun* run, ExecStatement* parent, QueryPlan* plan, MemPool* pool);
// Compares every watched value with its last one, storing the new values; `*changed` set
// when one differs or nothing was run yet. 0, or -1 after posting "Internal Error" (10002).
int sub_run_check(SubRun* run, bool* changed);
// Makes the sub-statement on first use, or closes its result set, then opens the query
// again. 0/1, or -1 (posted).
int sub_run_restart(SubRun* run);
// Opens the run for reading from its first row: re-runs it when it was never run, is stale
// or a watched value changed (`*rerun` then true). 0, or -1 (posted).
int sub_run_open(SubRun* run, bool* rerun);
// Closes the sub-statement's result set (it stays made for a later restart).
void sub_run_close(SubRun* run);
// Frees the sub-statement.
void sub_run_free(SubRun* run);

// Empties the store (values released) for rows of `width` values.
void sub_rows_reset(SubRows* rows, int width);
// Appends copies of `values` (width of them). 0, or -1 on memory failure.
int sub_rows_append(SubRows* rows, const QuillValue* const* values);
// The values of row `index` (0-based, below count).
QuillValue** sub_rows_at(SubRows* rows, long index);

// Number of value slots of an entry: its columns, or for a joined entry the slots of its
// left side followed by those of its right side.
int sub_entry_slot_count(const TableEntry* entry);
// Calls `visit(leaf, first_slot)` for each base or derived table inside `entry` in slot order.
template <typename Visit>
void sub_for_each_leaf(const TableEntry* entry, int first_slot, Visit&& visit) {
  if (entry->type == TABLE_JOINED) {
    sub_for_each_leaf(entry->join->left, first_slot, visit);
    sub_for_each_leaf(entry->join->right, first_slot + sub_entry_slot_count(entry->join->left),
                      visit);
    return;
  }
  visit(entry, first_slot);
}

// A NULL value of the kind of `column` in `pool`; null on memory failure.
QuillValue* sub_null_value(MemPool* pool, const ColumnInfo* column);

// The plan of one side of a joined table: every used column of the side's tables as a
// select item (`*item_slots` receives each item's slot within the side), FROM the side,
// WHERE `where` (may be null), enclosed by `owner`. Null on memory failure.
QueryPlan* sub_side_plan(MemPool* pool, QueryPlan* owner, TableEntry* side, Node* where,
                         int** item_slots);

// --- derived tables and joins (exec_sub_derived.cpp, exec_sub_join.cpp) -----------------
// Opens or restarts the cursor of a derived table (kept rows replayed). 0, or -1 (posted).
int sub_derived_open(ExecStatement* statement, TableCursor* cursor);
// Next derived row into the slots: EXEC_OK a row, EXEC_NO_DATA the end, EXEC_ERROR.
int sub_derived_fetch(ExecStatement* statement, TableCursor* cursor);
// Frees the derived table's sub-statement and kept rows.
void sub_derived_close(ExecStatement* statement, TableCursor* cursor);
// Opens or restarts the cursor of a joined entry (preserved side run again). 0, or -1.
int sub_join_open(ExecStatement* statement, TableCursor* cursor);
// Next joined row into the slots: EXEC_OK a row, EXEC_NO_DATA the end, EXEC_ERROR.
int sub_join_fetch(ExecStatement* statement, TableCursor* cursor);
// Frees both sides' sub-statements and restores the cursor's slot array.
void sub_join_close(ExecStatement* statement, TableCursor* cursor);
