// Pieces the data-modification units share: the single-row DAL calls over one iterator,
// the handlers of each statement kind, SET-list evaluation and the call layer's hooks.
#pragma once

#include "driver/sql/exec_internal.h"
#include "driver/sql/exec_modify.h"

// --- exec_modify_rows.cpp --------------------------------------------------------------------
// A DAL iterator with the statement's remaining time-out; null after posting.
DalIterator* modify_open_iterator(ExecStatement* statement);
// exec_delete_row / exec_update_row / exec_insert_row over an iterator the caller owns.
int modify_delete_row(ExecStatement* statement, DalIterator* iterator, const ModifyRow& row,
                      long long* count);
int modify_update_row(ExecStatement* statement, DalIterator* iterator, const ModifyRow& row,
                      DalColumnValue* values, long long* count,
                      QuillValue* const* refresh = nullptr, bool* refreshed = nullptr);
int modify_insert_row(ExecStatement* statement, DalIterator* iterator, TableEntry* table,
                      DalColumnValue* values, long long* count);
// DALDeleteRow without restrictions: 0/1 with *count, 2 when the backend deletes only row
// by row, -1 after posting.
int modify_bulk_delete(ExecStatement* statement, DalIterator* iterator, TableEntry* table,
                       long long* count);
// One entry per column of `table`, no value supplied, nothing changed.
void modify_init_values(TableEntry* table, DalColumnValue* values);

// --- exec_modify_insert.cpp ------------------------------------------------------------------
// INSERT (VALUES, DEFAULT VALUES or a query) into plan->target: EXEC_OK/EXEC_WARNING,
// EXEC_NO_DATA when the query gave no row, EXEC_ERROR after posting; *count receives the rows
// inserted.
int modify_insert(ExecStatement* statement, InsertPlan* plan, long long* count);

// --- exec_modify_searched.cpp ----------------------------------------------------------------
// Searched DELETE or UPDATE through the row-selecting plan: EXEC_OK/EXEC_WARNING, EXEC_NO_DATA
// when no row qualified, EXEC_ERROR after posting; *count receives the rows deleted or updated.
int modify_searched(ExecStatement* statement, SearchedPlan* plan, long long* count);
// Evaluates the SET list on the current row with `evaluator`'s context into `values` (which
// hold the row's current values, owned by `owner`'s pool), marking changed columns;
// `*changed` tells whether any column changed. Scalar subqueries run as sub-statements of
// `evaluator`. 0 or -1 (posted).
int modify_assign(ExecStatement* evaluator, ExecStatement* owner, ListNode* assignments,
                  TableEntry* table, DalColumnValue* values, bool* changed);

// --- exec_modify_positioned.cpp --------------------------------------------------------------
// UPDATE ... WHERE CURRENT OF: 0/1 or -1 after posting; *count receives the rows updated.
int modify_positioned_update(ExecStatement* statement, PositionedUpdatePlan* plan,
                             long long* count);
// DELETE ... WHERE CURRENT OF: 0/1 or -1 after posting; *count receives the rows deleted.
int modify_positioned_delete(ExecStatement* statement, PositionedDeletePlan* plan,
                             long long* count);

// --- exec_modify.cpp -------------------------------------------------------------------------
// The installed call-layer hooks, or null.
const ExecCallLayerHooks* modify_hooks();
// True when the connection has a replication entry whose source is `table`.
bool modify_has_replicas(ExecStatement* statement, const DalTable* table);
