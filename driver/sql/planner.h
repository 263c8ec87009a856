// The query planner: turns a validated query's WHERE clause into OR branches with the
// restrictions each branch can push into its table scans, and chooses the order in which the
// tables of the FROM list are nested (statistics and cost estimates, with the rule that a
// table's required parameters (as its backend marks them) must be supplied by tables scanned
// before it).
#pragma once

#include <vector>

#include "driver/dal/dal.h"
#include "driver/dal/sqi/restriction.h"
#include "driver/sql/plan.h"
#include "support/diag.h"
#include "support/memory.h"

// One restriction candidate of a branch, for one table.
struct PlannedRestriction {
  int table;                // index into the plan's scan_tables list (0-based)
  Restriction restriction;  // column, column_number (1-based), op (7..17), value_expression,
                            // column_reference; in_count for IN (in_values left null)
  const Node* predicate;    // the predicate it came from (for LIKE/IN re-checks)
  int negated;              // NOT LIKE
};

// One OR branch of the WHERE clause.
struct PlannedBranch {
  const Node* predicate;                         // the branch predicate (null: nothing to test)
  std::vector<PlannedRestriction> restrictions;  // grouped by table in join order, each
                                                 // table's sorted cheapest first
};

// What the planner decided for one query specification.
struct QueryPlanning {
  std::vector<PlannedBranch> branches;  // >= 1
  std::vector<int> join_order;          // scan_tables indexes, OUTERMOST first
  bool exact_filtering = false;         // single table + DALGetInfo code 7 + no AND/NOT
  // The nested-loop units in join order, outermost first: a base or derived table (one
  // scan_tables entry), or the TABLE_JOINED entry of an outer join (its leaves are then
  // consecutive in join_order and it gets no restrictions). Inner joins that are not inside
  // an outer join are flattened into their leaves; their conditions are ANDed into every
  // branch predicate (and derive restrictions like WHERE conditions).
  std::vector<TableEntry*> units;
  bool runnable = true;  // false: no order supplies every required parameter
  double cost = 0;       // estimated cost of the chosen order (250 x starts + rows)
};

// How far the planner may go (the connection options map onto these).
struct PlannerOptions {
  bool in_expansion = true;    // rewrite IN lists on indexed columns as OR / AND chains
  bool split_branches = true;  // bring WHERE into disjunctive normal form and split it
  bool no_analysis = false;    // one branch with the whole WHERE and no restrictions
};

// Builds branches (IN expansion, DNF, per-branch restriction derivation) and chooses the
// join order (statistics via DALStatistics on an iterator made from `dal`, cost rules, and
// the required-parameter rule). May rewrite query->where in place with nodes from `pool`.
// 0, or -1 after posting on `errors`.
int plan_query(Dal* dal, ErrorHeader* errors, MemPool* pool, QueryPlan* query, QueryPlanning* out);
// As plan_query, with explicit options.
int plan_query_with(Dal* dal, ErrorHeader* errors, MemPool* pool, QueryPlan* query,
                    const PlannerOptions& options, QueryPlanning* out);
