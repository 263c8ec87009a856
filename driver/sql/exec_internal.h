// Records shared by the query-execution units: the executing statement, its plan with one
// branch per OR disjunct, the per-table cursors with their value slots, result columns and
// aggregate accumulators, plus the helpers the units call on each other.
#pragma once

#include <chrono>
#include <cstdint>
#include <vector>

#include "driver/dal/dal.h"
#include "driver/dal/sqi/restriction.h"
#include "driver/sql/eval.h"
#include "driver/sql/eval_context.h"
#include "driver/sql/exec.h"
#include "driver/sql/plan.h"
#include "driver/sql/tree.h"
#include "support/value.h"

constexpr int32_t EXEC_PLAN_TAG = 405;
constexpr int32_t EXEC_RESULT_CAP = 64000;  // largest buffer of a computed result column

// Native errors of execution diagnostics.
constexpr int EXEC_NATIVE_RERUN = 10002;
constexpr int EXEC_NATIVE_JOIN = 10003;
constexpr int EXEC_NATIVE_SORT = 10004;
constexpr int EXEC_NATIVE_NOT_FOUND = 10006;

// The rows of one FROM-list entry while a query runs.
struct TableCursor {
  TableEntry* entry;        // the table reference
  int table_index;          // index in the query's scan_tables list (0-based)
  DalIterator* iterator;    // the DAL iterator (null while not open)
  bool exhausted;           // no more rows until the scan is restarted
  bool materialised;        // derived/joined entry whose sub-statement has produced its rows
  bool started;             // a scan was started on the iterator
  int capabilities;         // DALGetInfo code 1 answer (restriction capability bits)
  bool capabilities_known;  // code 1 was asked
  int table_flag;           // DALGetInfo code 4 answer (0 when the call failed)
  bool table_flag_known;    // code 4 was asked
  int numeric_as_struct;    // DALGetInfo code 3: 1 read NUMERIC as structure, 0 as text, -1 unasked
  QuillValue** slots;       // one value per column of the entry (0-based)
  QuillValue* row_key;      // DAL column -1 (filled when the key map names KEY_ROW_ID)
  QuillValue* bookmark;     // DAL column -2 (filled when the key map names KEY_BOOKMARK)
  int* column_usage;        // per column 1 when read (what DALStartScan receives)
  Restriction** active;     // restrictions handed to the running scan (checked by sampling)
  const Node** active_predicates;  // per active restriction: its predicate (LIKE/IN re-check)
  int active_count;                // entries at `active`
  Restriction* active_records;     // storage behind `active` (rewritten LIKEs included)
  int active_capacity;             // records at `active_records`
  void* sub;                       // owned by the sub-statement code (derived/joined entries)
};

// One restriction of a branch on one table with where it came from.
struct BranchRestriction {
  Restriction restriction;  // the record handed to the backend (value set per scan)
  const Node* predicate;    // the predicate it came from (LIKE/IN re-checks), or null
  int negated;              // NOT LIKE
};

// A table of a branch, in join order.
struct BranchTable {
  TableCursor* cursor;              // the table's cursor (shared by all branches)
  BranchRestriction* restrictions;  // restrictions that apply to the table in this branch
  int restriction_count;            // entries at `restrictions`
};

// One OR branch of the WHERE clause.
struct PlanBranch {
  const Node* predicate;  // the branch predicate; null when nothing remains to test
  BranchTable* tables;    // per table, OUTERMOST first (join order)
  int table_count;        // entries at `tables`
  bool indexed;           // some restriction is usable by an index
};

struct JoinBlock;  // exec_join_block.cpp

// The execution plan of one query member (tag 405), freed with its pool.
struct ExecPlan {
  int32_t kind;            // EXEC_PLAN_TAG
  MemPool* pool;           // everything below is allocated here
  QueryPlan* query;        // the query member it runs
  TableCursor* cursors;    // per scan_tables entry
  int cursor_count;        // entries at `cursors`
  PlanBranch* branches;    // the branches
  int branch_count;        // entries at `branches` (>= 1)
  int current_branch;      // branch being fetched
  bool exact_filtering;    // rows are trusted to meet every pushed restriction
  bool opened;             // branch `current_branch` has been opened
  bool branch_done;        // the current branch has no more rows
  bool single_row_done;    // a query without tables returned its one row
  JoinBlock* join_block;   // outer rows read ahead for the innermost table's prepared scans
  bool join_blocked;       // the current branch's innermost table goes through join_block
  JoinBlock* row_block;    // joined rows read ahead for correlated subqueries' prepared scans
  bool row_blocked;        // the current branch's rows go through row_block
  bool row_block_refused;  // row_block was found of no use for the current branch
};

// One accumulator of a set function without GROUP BY.
struct AggregateState {
  const SetFunctionNode* node;  // the set function
  QuillValue* value;            // running MIN/MAX/FIRST/LAST/SUM, the finalised result
  long long count;              // rows counted (COUNT, AVG divisor)
  bool seen;                    // a non-NULL operand was accumulated
  TREE* distinct;               // DISTINCT operands seen so far, or null
};

// One result column of the open query.
struct ResultColumn {
  const SelectColumn* item;  // the select-list item
  int32_t declared_length;   // the column's declared length
  bool pending;              // the expression must be (re)evaluated for this row
  bool plain;                // a plain column reference: reads the table slot
  QuillValue* value;         // the current value (owned unless plain)
};

struct SortingState;

// Row source: EXEC_OK/EXEC_WARNING row, EXEC_NO_DATA end, EXEC_ERROR.
using ExecRowSource = int (*)(ExecStatement* statement);

// A statement being executed (top-level or sub-statement).
struct ExecStatement {
  Dal* dal;                       // the connection's data-access layer
  ErrorHeader* errors;            // diagnostics
  MemPool* pool;                  // own pool (values, result columns)
  MemPool* lasting_pool;          // the creator's pool: outlives executions (planner rewrites)
  StatementPlanList* plans;       // validated statements (null for sub-statements)
  StatementContext context;       // what the call layer told of its statement (zero: none)
  ExecStatement* parent;          // enclosing statement of a sub-statement, else null
  QueryPlan* query;               // the query being run (head of its UNION chain)
  QueryPlan* member;              // UNION ALL member being read
  ExecPlan* plan;                 // the plan of `member`, or null
  ExecSettings settings;          // engine-level settings
  ExecSettings* shared_settings;  // the settings in force (a sub-statement's parent's)
  EvalContext eval;               // evaluation context (hooks installed)
  EvalState* eval_state;          // evaluator caches
  bool started;                   // start time recorded (kept across re-executions)
  std::chrono::steady_clock::time_point deadline;  // time-out instant (when has_deadline)
  bool has_deadline;                               // a query time-out is in force
  const int* cancel_flag;                          // non-zero asks the scans to stop; or null
  ResultColumn* columns;                           // result columns of the open query
  int column_count;                                // entries at `columns`
  ExecRowSource row_source;                        // installed row reader, null when no result set
  long long row_limit;                             // effective row limit (0 none, -1 no rows)
  long long rows_to_skip;                          // OFFSET rows still to pass over unseen
  long long rows_returned;                         // rows handed out so far
  SQLULEN parameter_set;                           // current parameter set (0-based)
  bool set_warning;                                // the current set saw a warning
  bool aggregate;                                  // the select list has set functions (one row)
  bool aggregate_done;                             // that row was returned
  AggregateState* aggregates;                      // per set function of the select list
  int aggregate_count;                             // entries at `aggregates`
  DalIterator* passthrough;                        // iterator of the pass-through path, or null
  bool warning;                                    // a warning was seen during the current fetch
  void* sub;                                       // owned by the sub-statement code
  SortingState* sorting;  // grouping, DISTINCT, ORDER BY and UNION sorts (exec_sorting.h)
  long sort_memory;       // work_mem_size of the sorts without context.sort_settings (0: none)
  long long row_count;    // rows changed by the last modification statement (exec_modify*)
  void* modify_image;     // row image a positioned UPDATE's SET list reads (exec_modify*)
};

// True for the LONG types (LONGVARCHAR, LONGVARBINARY), whose values are read on first use
// and never carried in sort records.
inline bool exec_is_long_type(int sql_type) {
  return sql_type == SQL_LONGVARCHAR || sql_type == SQL_LONGVARBINARY;
}

// --- exec_plan.cpp -------------------------------------------------------------------
// Builds statement->plan for statement->member (branches, cursors, slots). 0 or -1.
int exec_build_plan(ExecStatement* statement);
// Closes every cursor of the plan and frees it; null plan ignored.
void exec_free_plan(ExecStatement* statement);
// The cursor serving `entry` in the statement's plan, or null.
TableCursor* exec_find_cursor(ExecStatement* statement, const TableEntry* entry);

// --- exec_scan.cpp -------------------------------------------------------------------
// Starts the scan of one table of a branch with its restrictions: 0/1, 4 table not found
// (posted), -1 error.
int exec_start_scan(ExecStatement* statement, BranchTable* table);
// Next qualifying row of a started scan (sampled verification applied): EXEC_OK/EXEC_WARNING
// row, EXEC_NO_DATA end, EXEC_ERROR.
int exec_fetch_scan(ExecStatement* statement, BranchTable* table);
// Closes the cursor's scan (iterator kept for reuse) and its sub-statement cursor.
void exec_close_cursor(ExecStatement* statement, TableCursor* cursor);
// True when a restriction with hit counter `hits` is checked on this row.
bool exec_sample_due(int hits);
// The restriction sets of many coming scans of one table of `owner`'s plan, evaluated one by
// one as the rows they depend on come by, then got ready together by the table's backend; the
// values are released with the record.
class ScanSets {
 public:
  ScanSets(ExecStatement* owner, BranchTable* table) : owner_(owner), table_(table) {}
  ~ScanSets();
  ScanSets(const ScanSets&) = delete;
  ScanSets& operator=(const ScanSets&) = delete;
  ScanSets(ScanSets&& other) noexcept
      : owner_(other.owner_), table_(other.table_), sets_(std::move(other.sets_)) {
    other.sets_.clear();
  }
  // Evaluates the restrictions the scan would be given now (opening the cursor's iterator when
  // needed) and keeps them as the next set. 0 or -1.
  int take();
  // Has the table's backend get the scans of every set ready on `iterator`, with `statement`'s
  // deadline and cancel flag (only a speed-up: what it cannot get ready, the scans fetch).
  void prepare(const ExecStatement* statement, DalIterator* iterator) const;

 private:
  ExecStatement* owner_;                        // the statement whose plan holds the table
  BranchTable* table_;                          // the table scanned
  std::vector<std::vector<Restriction>> sets_;  // one per coming scan, values owned
};
// A copy of `value` from `pool` standing on its own (a LONG value read now, not when first
// used, since its reader moves on); null after posting the failure.
QuillValue* exec_standalone_copy(ExecStatement* statement, MemPool* pool, const QuillValue* value);
// The cursor's iterator, opened when it has none; null after posting the failure.
DalIterator* exec_cursor_iterator(ExecStatement* statement, TableCursor* cursor);

// --- exec_read.cpp -------------------------------------------------------------------
// A value slot for a column description (kind by its SQL type). Null on memory failure.
QuillValue* exec_make_slot(MemPool* pool, const ColumnInfo* column);
// Gives a LONG slot its long buffer when it has none. 0, or -1 after posting "Unable to open
// working file for LONGVARCHAR field" (or LONGVARBINARY).
int exec_ensure_long_buffer(ExecStatement* statement, const ColumnInfo* column, QuillValue* slot);
// Reads the used columns (and key/bookmark) of the current row into the cursor's slots. 0/-1.
int exec_read_row(ExecStatement* statement, TableCursor* cursor);
// Reads one column from an iterator into `slot` (pass-through reader too). 0/-1.
int exec_read_column(ExecStatement* statement, DalIterator* iterator, int dal_column,
                     const ColumnInfo* column, QuillValue* slot, int numeric_as_struct);

// --- exec_join.cpp -------------------------------------------------------------------
// Opens the current branch (outermost table inwards): EXEC_OK/EXEC_WARNING, EXEC_NO_DATA no
// rows, EXEC_ERROR.
int exec_open_branch(ExecStatement* statement);
// Next joined row of the current branch: EXEC_OK/EXEC_WARNING, EXEC_NO_DATA end, EXEC_ERROR.
int exec_next_joined_row(ExecStatement* statement);
// Direct row source: branches with de-duplication and parameter sets.
int exec_fetch_direct(ExecStatement* statement);
// Moves table `t` of the branch to its next row, advancing outer tables (and restarting this
// one) when it runs out: EXEC_OK/EXEC_WARNING a row, EXEC_NO_DATA the branch is exhausted,
// EXEC_ERROR. `warning` collects warnings of restarted scans.
int exec_join_advance(ExecStatement* statement, PlanBranch* branch, int t, bool* warning);

// --- exec_join_block.cpp -------------------------------------------------------------
// Whether the innermost table of the branch gets its scans prepared a block of outer rows at
// a time (its backend prepares many scans at once and every table is a base table); sets up
// the plan's join block when so. -1 on error.
int exec_block_applies(ExecStatement* statement, PlanBranch* branch);
// Moves the outer tables to their next row for the innermost table and restarts its scan,
// replaying outer rows read ahead (reading and preparing the next block when they run out):
// EXEC_OK/EXEC_WARNING, EXEC_NO_DATA the outer tables are exhausted, EXEC_ERROR.
int exec_block_next(ExecStatement* statement, PlanBranch* branch, bool* warning);
// Gives the outer cursors their own slots back and drops rows read ahead (of both blocks); the
// blocks are kept for reuse unless `free_block`.
void exec_block_release(ExecStatement* statement, bool free_block);
// Next joined row of the current branch (as exec_next_joined_row), replayed from rows read
// ahead once the statement's correlated subqueries have run and their backend gets many scans
// ready at once: their scans for a block of rows are then got ready together.
int exec_row_block_next(ExecStatement* statement);

// --- exec_aggregate.cpp ----------------------------------------------------------------
// Frees the accumulators (their values and DISTINCT trees).
void exec_aggregate_release(ExecStatement* statement);
// Prepares accumulators for the select list's set functions. 0/-1.
int exec_aggregate_reset(ExecStatement* statement);
// Accumulates the current row into every accumulator. 0/-1.
int exec_aggregate_row(ExecStatement* statement);
// Finalises (AVG division). 0/-1.
int exec_aggregate_finish(ExecStatement* statement);
// Row source of an aggregate query without GROUP BY: one row.
int exec_fetch_aggregate(ExecStatement* statement);

// --- exec_statement.cpp -----------------------------------------------------------------
// Forgets the evaluator's cached answers (a new execution or parameter set begins).
void exec_reset_eval(ExecStatement* statement);
// The first parameter set at or after `from` not marked SQL_PARAM_IGNORE; set_count if none.
SQLULEN exec_next_parameter_set(const ExecSettings* settings, SQLULEN from);
// Records `status` for the current parameter set and the sets processed so far.
void exec_finish_parameter_set(ExecStatement* statement, SQLUSMALLINT status);

// --- exec_hooks.cpp --------------------------------------------------------------------
// Installs the column, parameter and set-function hooks into statement->eval.
void exec_install_hooks(ExecStatement* statement);
// Posts an HY000 "General error: %s" diagnostic with `native` and returns -1.
int exec_post_general(ExecStatement* statement, int native, const char* text);
// Posts "Memory allocation error" (HY001) and returns -1.
int exec_post_memory(ExecStatement* statement);
// Runs a data-definition statement (CREATE/DROP TABLE and INDEX, ALTER TABLE, CREATE/DROP
// USER) through its data-access operation, then commits on every backend: 0 or 1, -1 after
// an error, -2 when the entry is not a data-definition statement.
int exec_data_definition(ExecStatement* statement, const StatementEntry* entry);
// Hands the statement's deadline and cancel flag (those of the top statement) to `iterator`,
// so that a backend waiting on the network stops in time.
void exec_pass_wait(const ExecStatement* statement, DalIterator* iterator);
// Seconds left before the deadline (at least 1), 0 when none.
int exec_remaining_timeout(const ExecStatement* statement);
// The settings in force (shared with the parent for sub-statements).
const ExecSettings* exec_active_settings(const ExecStatement* statement);
