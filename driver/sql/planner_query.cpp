// The planner's entry point: collects the nested-loop units of a query (inner joins opened
// up, outer joins kept whole), reads statistics, builds the branches, chooses the join order
// and hands out each branch's restrictions for that order.
#include "driver/sql/planner_internal.h"

namespace {

// Appends the nested-loop units of `entry`: inner joins are opened up into their sides and
// their conditions kept to be ANDed into every branch.
void collect_units(PlannerState& state, TableEntry* entry) {
  if (entry->type == TABLE_JOINED && entry->join && entry->join->join_type == JOIN_INNER) {
    collect_units(state, entry->join->left);
    collect_units(state, entry->join->right);
    if (entry->join->condition) state.join_conditions.push_back(entry->join->condition);
    return;
  }
  state.units.push_back(entry);
}

// Scan-table indexes of the leaves under `entry`.
void collect_leaves(const PlannerState& state, const TableEntry* entry, std::vector<int>* out) {
  if (entry->type == TABLE_JOINED && entry->join) {
    collect_leaves(state, entry->join->left, out);
    collect_leaves(state, entry->join->right, out);
    return;
  }
  int index = planner_table_index(state, entry);
  if (index >= 0) out->push_back(index);
}

// Fills the tables, units and their membership.
void collect_tables(PlannerState& state) {
  for (ListNode* at = state.query->scan_tables; at; at = at->next) {
    PlannerTable table;
    table.entry = static_cast<TableEntry*>(at->data);
    state.tables.push_back(table);
  }
  for (ListNode* at = state.query->from; at; at = at->next)
    collect_units(state, static_cast<TableEntry*>(at->data));
  for (size_t unit = 0; unit < state.units.size(); ++unit) {
    std::vector<int> leaves;
    collect_leaves(state, state.units[unit], &leaves);
    for (int table : leaves) {
      state.tables[static_cast<size_t>(table)].unit = static_cast<int>(unit);
      state.tables[static_cast<size_t>(table)].standalone =
          state.units[unit] == state.tables[static_cast<size_t>(table)].entry;
    }
    state.unit_tables.push_back(leaves);
  }
  for (size_t table = 0; table < state.tables.size(); ++table) {
    if (state.tables[table].unit >= 0) continue;  // not reached from the FROM list
    state.tables[table].unit = static_cast<int>(state.units.size());
    state.tables[table].standalone = true;
    state.units.push_back(state.tables[table].entry);
    state.unit_tables.push_back({static_cast<int>(table)});
  }
}

// The disjuncts that become branches, after IN expansion and the normal form.
std::vector<Node*> branch_predicates(PlannerState& state, const PlannerOptions& options,
                                     QueryPlanning* out, bool* failed) {
  QueryPlan* query = state.query;
  Node* where = query->where;
  if (where && !options.no_analysis) {
    where = planner_collapse_parameter_lists(state, where, failed);
    if (options.in_expansion) where = planner_expand_in(state, where, failed);
    bool single = state.tables.size() == 1 && state.units.size() == 1 &&
                  state.tables[0].standalone && state.join_conditions.empty();
    if (single && !planner_has_and_or_not(where) && planner_exact_filtering_offered(state, 0))
      out->exact_filtering = true;
    else if (options.split_branches && !*failed)
      where = planner_normal_form(state, where, failed);
  }
  if (query->select && query->select->where == query->where) query->select->where = where;
  query->where = where;
  std::vector<Node*> disjuncts;
  if (!where || options.no_analysis || out->exact_filtering || !options.split_branches ||
      !planner_branch_count_ok(where))
    disjuncts.push_back(where);
  else
    planner_split_branches(where, &disjuncts);
  return disjuncts;
}

}  // namespace

int plan_query(Dal* dal, ErrorHeader* errors, MemPool* pool, QueryPlan* query, QueryPlanning* out) {
  return plan_query_with(dal, errors, pool, query, PlannerOptions{}, out);
}

int plan_query_with(Dal* dal, ErrorHeader* errors, MemPool* pool, QueryPlan* query,
                    const PlannerOptions& options, QueryPlanning* out) {
  *out = QueryPlanning{};
  PlannerState state;
  state.dal = dal;
  state.errors = errors;
  state.pool = pool;
  state.query = query;
  collect_tables(state);
  planner_load_statistics(state);
  bool failed = false;
  for (Node* disjunct : branch_predicates(state, options, out, &failed)) {
    BranchCandidates branch;
    branch.predicate = planner_with_join_conditions(state, disjunct, &failed);
    if (failed) return -1;
    if (!options.no_analysis)
      planner_derive_candidates(state, branch.predicate, &branch.candidates);
    state.branches.push_back(std::move(branch));
  }
  if (failed) return -1;
  if (!options.no_analysis && options.split_branches && !out->exact_filtering &&
      planner_check_branch_limit(state) < 0)
    return -1;
  OrderEvaluation chosen;
  std::vector<int> unit_order = planner_choose_order(state, &chosen);
  out->runnable = chosen.runnable;
  out->cost = chosen.cost;
  for (int unit : unit_order) {
    out->units.push_back(state.units[static_cast<size_t>(unit)]);
    for (int table : state.unit_tables[static_cast<size_t>(unit)]) out->join_order.push_back(table);
  }
  for (const BranchCandidates& branch : state.branches) {
    std::vector<PlannedRestriction> restrictions =
        planner_branch_restrictions(state, branch.candidates, unit_order);
    const Node* predicate =
        planner_without_consumed(state, branch.predicate, restrictions, &failed);
    if (failed || planner_quantity_bounds(state, predicate, restrictions, &predicate) < 0)
      return -1;
    out->branches.push_back(PlannedBranch{predicate, std::move(restrictions)});
  }
  return 0;
}
