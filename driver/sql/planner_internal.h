// What the planner's units share: per-table statistics, restriction candidates with the
// tables their values depend on, and the order evaluation that join ordering and the final
// restriction lists both use.
#pragma once

#include <string>
#include <vector>

#include "driver/sql/planner.h"

// Normal forms with more disjuncts than this are not built: the WHERE clause then stays one
// branch, so a long AND of ORs cannot blow up into exponentially many branches.
constexpr int PLANNER_MAX_BRANCHES = 256;

// One index of a table as its statistics describe it.
struct PlannerIndex {
  std::string name;          // index name (statistics rows of one name form one index)
  bool unique = false;       // NON_UNIQUE = 0
  std::vector<int> columns;  // 0-based column per ordinal (-1: not a column of the entry)
  double cardinality = 0;    // CARDINALITY of the index (table estimate / 10 when NULL)
};

// What the planner knows of one scan table.
struct PlannerTable {
  TableEntry* entry = nullptr;        // the scan table
  int unit = -1;                      // the nested-loop unit holding it
  bool standalone = false;            // the unit is this table alone (not an outer join)
  double estimate = 10000;            // rows the table holds (statistics, else 10,000)
  double cost_factor = 1.0;           // DALGetInfo code 2
  int integer_factor = 1;             // DALGetInfo code 6
  std::vector<PlannerIndex> indexes;  // its indexes
  std::vector<int> required_columns;  // 0-based columns the backend requires a value on
};

// A predicate of a branch that could restrict one table's scan.
struct RestrictionCandidate {
  int table = -1;                    // scan table index of the restricted column
  int column = -1;                   // 0-based column in that table
  int op = 0;                        // RestrictionOperator, mirrored when the column was right
  int negated = 0;                   // NOT LIKE
  int in_count = 0;                  // IN: number of listed values
  const Node* value = nullptr;       // the value side (null for IS NULL and IN)
  const Node* column_ref = nullptr;  // the restricted column's reference
  const Node* predicate = nullptr;   // the predicate it came from
  std::vector<int> depends;          // scan table indexes the value refers to
};

// One branch while planning: its predicate and the candidates derived from it.
struct BranchCandidates {
  const Node* predicate = nullptr;               // branch predicate (join conditions ANDed in)
  std::vector<RestrictionCandidate> candidates;  // in predicate order
};

// The planning state of one query.
struct PlannerState {
  Dal* dal = nullptr;                         // the connection's data access
  ErrorHeader* errors = nullptr;              // where failures are posted
  MemPool* pool = nullptr;                    // where rewritten nodes are made
  QueryPlan* query = nullptr;                 // the query planned
  std::vector<PlannerTable> tables;           // per scan table, scan_tables order
  std::vector<TableEntry*> units;             // nested-loop units, FROM order
  std::vector<std::vector<int>> unit_tables;  // per unit: its scan table indexes
  std::vector<const Node*> join_conditions;   // conditions of flattened inner joins
  std::vector<BranchCandidates> branches;     // the branches
};

// The verdict on one candidate order (unit indexes, outermost first).
struct OrderEvaluation {
  bool runnable = true;  // every required parameter column is supplied
  int usable = 0;        // restrictions usable in this order (all branches)
  double cost = 0;       // 250 x scan starts + rows fetched (summed over branches)
};

// Scan-table index of `entry` in the state, or -1 (an outer query's table).
int planner_table_index(const PlannerState& state, const void* entry);
// Loads statistics, cost factors and required columns of every standalone base table.
void planner_load_statistics(PlannerState& state);
// Whether 0-based `column` of scan table `table` is a column of one of its indexes.
bool planner_column_indexed(const PlannerState& state, int table, int column);
// Whether the single table's backend asks for exact filtering (DALGetInfo code 7).
bool planner_exact_filtering_offered(PlannerState& state, int table);

// Rewrites IN lists on indexed columns inside the boolean structure of `condition`.
// Null on memory failure (posted).
Node* planner_expand_in(PlannerState& state, Node* condition, bool* failed);
// Rewrites each OR of `=` on one required parameter column as an IN list, inside the boolean
// structure of `condition`; the backend makes one call per listed value. `*failed` on memory
// failure (posted).
Node* planner_collapse_parameter_lists(PlannerState& state, Node* condition, bool* failed);
// Whether 0-based `column` of scan table `table` is a required parameter column of a
// standalone table (its IN lists are kept whole, for the backend).
bool planner_parameter_list(const PlannerState& state, int table, int column);
// When the WHERE clause stayed one branch because its normal form would pass the branch limit
// and a required parameter column is left without a value in it, posts the message naming
// the limit (the backend would only say the column is missing) and returns -1; else 0.
int planner_check_branch_limit(PlannerState& state);
// Whether `query` (a subquery node of this query) can supply the required parameter column
// `column` (IN (subquery), = (subquery)); `depends` gets the scan tables it reads, which must be
// scanned before the parameter's table.
bool planner_subquery_source(const PlannerState& state, const Node* column, const Node* query,
                             std::vector<int>* depends);
// `predicate` without the conjuncts that `restrictions` hand to a backend which consumes them
// (IN lists and range bounds on required parameter columns); null when nothing remains.
// `*failed` on memory failure (posted).
const Node* planner_without_consumed(PlannerState& state, const Node* predicate,
                                     const std::vector<PlannedRestriction>& restrictions,
                                     bool* failed);
// With several branches, `predicate` (in *out) with the range bounds that `restrictions` hand
// to a backend which consumes them on a character parameter column compared as quantities: each
// branch predicate also tells later branches which rows it returned, and the rows echo their
// call's block as hex or decimal text, which does not order as text ('0x10' < '0x2'). 0, or -1
// with the diagnostic posted (a block tag as such an end, memory).
int planner_quantity_bounds(PlannerState& state, const Node* predicate,
                            const std::vector<PlannedRestriction>& restrictions, const Node** out);
// Brings `condition` into disjunctive normal form; returns the new root. Leaves it as it is
// when the normal form would exceed the branch limit. `*failed` on memory failure.
Node* planner_normal_form(PlannerState& state, Node* condition, bool* failed);
// Whether the normal form of `condition` stays within the branch limit (256 disjuncts).
bool planner_branch_count_ok(const Node* condition);
// Whether `condition` holds an AND or a NOT anywhere in its boolean structure.
bool planner_has_and_or_not(const Node* condition);
// The OR operands of a normal form, in tree order (the node itself when not an OR).
void planner_split_branches(Node* condition, std::vector<Node*>* out);
// Appends the conjuncts of the AND tree `node` to `out`, in tree order (null adds nothing).
void planner_conjuncts(const Node* node, std::vector<const Node*>* out);
// The AND of the flattened join conditions and `predicate` (either may be absent).
// `*failed` on memory failure.
const Node* planner_with_join_conditions(PlannerState& state, const Node* predicate, bool* failed);
// Derives the restriction candidates of the conjuncts of `predicate`.
void planner_derive_candidates(const PlannerState& state, const Node* predicate,
                               std::vector<RestrictionCandidate>* out);

// Whether `candidate` is usable when units at `position[unit]` precede its table's unit.
bool planner_candidate_usable(const PlannerState& state, const RestrictionCandidate& candidate,
                              const std::vector<int>& position);
// Evaluates one order of units (outermost first); `count` units of it are considered
// (a greedy prefix), the rest ignored.
OrderEvaluation planner_evaluate_order(const PlannerState& state, const std::vector<int>& order,
                                       size_t count);
// Whether `candidate` replaces `best` (the replacement rules; `best_is_first` when the best
// is the first order evaluated).
bool planner_candidate_wins(const OrderEvaluation& candidate,
                            const std::vector<int>& candidate_order, const OrderEvaluation& best,
                            const std::vector<int>& best_order, bool best_is_first);
// Chooses the unit order; returns it outermost first with its evaluation.
std::vector<int> planner_choose_order(const PlannerState& state, OrderEvaluation* chosen);

// Cost of one restriction for ordering within its table (cheapest first).
int planner_restriction_cost(int op, int sql_type);
// The planned restrictions of one branch for the chosen unit order, grouped by table in
// join order and sorted by cost within each table.
std::vector<PlannedRestriction> planner_branch_restrictions(
    const PlannerState& state, const std::vector<RestrictionCandidate>& candidates,
    const std::vector<int>& unit_order);
