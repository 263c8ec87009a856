// Sub-statements of a query: cursors over derived tables and joined (outer or explicit
// inner JOIN ... ON) table entries, the subquery hooks of expression evaluation, and the
// service that re-runs correlated sub-statements when their outer values changed.
#pragma once

#include <utility>
#include <vector>

struct ExecStatement;
struct TableCursor;
struct BranchTable;

// Opens a cursor over a derived table or joined table entry; its rows land in
// cursor->slots (a joined entry's: the columns of its left side's tables, then those of its
// right side's, in validation's order; the join's tables that have cursors of their own in
// the plan get their slots pointed into these). Opening again restarts it: a derived table
// replays its kept rows unless an outer value it depends on changed. 0, or -1 after posting.
int sub_cursor_open(ExecStatement* statement, TableCursor* cursor);

// Fetches the next row of a cursor opened by sub_cursor_open into cursor->slots:
// EXEC_OK a row, EXEC_WARNING a row with a warning, EXEC_NO_DATA no more rows, EXEC_ERROR
// after posting an error.
int sub_cursor_fetch(ExecStatement* statement, TableCursor* cursor);

// Frees what sub_cursor_open made for the cursor (safe on a cursor never opened).
void sub_cursor_close(ExecStatement* statement, TableCursor* cursor);

// Installs the subquery hooks (EXISTS, IN, quantified and scalar comparisons, subquery
// values) into the statement's evaluation context; sub-statements are made lazily, one
// per subquery plan.
void sub_install_eval_hooks(ExecStatement* statement);

// Before a branch predicate: re-runs the statement's nested sub-statements whose outer
// values changed. 0, or -1 after posting "Internal Error" (native error 10002).
int sub_rerun_nested(ExecStatement* statement);

// The statement's subqueries that depend on its rows, have run, and whose sub-statement scans
// one base table under restrictions: each sub-statement with that scan (in the plan of its
// last run), for the scans of coming rows to be got ready ahead.
void sub_correlated_scans(ExecStatement* statement,
                          std::vector<std::pair<ExecStatement*, BranchTable*>>* out);

// Forgets the rows kept for the statement's subqueries so that they run again at their next
// use; call it when a new execution of the statement begins (it may see other data).
void sub_statement_reset(ExecStatement* statement);

// Frees the sub-statements made for the statement's subqueries; call it from exec_free
// before the statement's pool is released (their evaluator caches live outside the pool).
void sub_statement_release(ExecStatement* statement);
