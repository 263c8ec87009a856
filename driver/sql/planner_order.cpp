// Join order: each candidate order of the nested-loop units is estimated (index scoring on
// the restrictions the order makes usable, 0.9 per restriction, 250 per scan start plus the
// rows fetched) and compared by the replacement rules; an order that leaves a
// table's required parameter unsupplied never wins over one that supplies them all. Every
// permutation is tried up to kMaxPermutedUnits units (and while orders x branches stays
// within kMaxPermutationWork); beyond that a greedy order is built
// position by position (runnable, then more usable restrictions, then the cheaper prefix),
// so planning time stays polynomial in the number of tables.
#include <algorithm>
#include <cmath>
#include <numeric>

#include "driver/sql/planner_internal.h"

namespace {

constexpr size_t kMaxPermutedUnits = 8;         // 8! = 40,320 orders at most
constexpr double kMaxPermutationWork = 200000;  // orders x branches evaluated at most
constexpr double kDefaultEstimate = 10000;
constexpr double kScanStartCost = 250;
constexpr double kRestrictionFactor = 0.9;

// The operator the usable restrictions put on one index column (0: none).
int column_operator(const std::vector<const RestrictionCandidate*>& usable, int column) {
  int first = 0;
  bool lower = false, upper = false, equal = false;
  for (const RestrictionCandidate* candidate : usable) {
    if (candidate->column != column || candidate->negated) continue;
    int op = candidate->op;
    if (!first) first = op;
    equal |= op == RESTRICT_EQUAL;
    lower |= op == RESTRICT_GREATER || op == RESTRICT_GREATER_EQUAL;
    upper |= op == RESTRICT_LESS || op == RESTRICT_LESS_EQUAL;
  }
  if (equal) return RESTRICT_EQUAL;
  if (lower && upper) return RESTRICT_RANGE;
  return first;
}

// Rows expected through `index` given the operator on its first column.
double index_estimate(const PlannerIndex& index, double estimate, int op) {
  switch (op) {
    case RESTRICT_EQUAL:
      if (index.unique) return 1;
      return index.cardinality > 0 ? estimate / index.cardinality : estimate;
    case RESTRICT_NOT_EQUAL:
      if (index.unique) return estimate - 1;
      return index.cardinality > 0 ? estimate - estimate / index.cardinality : estimate;
    case RESTRICT_LESS:
    case RESTRICT_GREATER:
    case RESTRICT_GREATER_EQUAL:
    case RESTRICT_LESS_EQUAL:
      return estimate / 2;
    case RESTRICT_RANGE:
    case RESTRICT_IN:
      return estimate / 4;
    case RESTRICT_LIKE:
      return estimate / 100;
    default:
      return estimate;
  }
}

// Estimated rows of one table under its usable restrictions.
double table_estimate(const PlannerTable& table,
                      const std::vector<const RestrictionCandidate*>& usable) {
  double estimate = table.estimate;
  int best_score = 0;
  double best_estimate = estimate;
  for (const PlannerIndex& index : table.indexes) {
    if (index.columns.empty()) continue;
    size_t restricted = 0;
    for (int column : index.columns)
      if (column >= 0 && column_operator(usable, column) != 0) ++restricted;
    int first_op = column_operator(usable, index.columns[0]);
    int score = 0;
    if (restricted == index.columns.size())
      score = index.unique ? 5 : 3;
    else if (restricted > 0 && first_op != 0)
      score = 2;
    else if (restricted > 0 && table.integer_factor == 0)
      score = 1;
    if (score == 0) continue;
    double through = index_estimate(index, estimate, first_op);
    if (score > best_score || (score == best_score && through < best_estimate)) {
      best_score = score;
      best_estimate = through;
    }
  }
  estimate = best_score > 0 ? best_estimate : estimate;
  if (estimate <= 0) estimate = kDefaultEstimate;
  for (size_t i = 0; i < usable.size(); ++i) estimate *= kRestrictionFactor;
  return estimate * table.cost_factor;
}

// Whether every required parameter column of `table` has a usable `=`, IN list, or a lower
// and an upper bound (a range the backend walks).
bool parameters_supplied(const PlannerTable& table,
                         const std::vector<const RestrictionCandidate*>& usable) {
  for (int column : table.required_columns) {
    bool given = false, lower = false, upper = false;
    for (const RestrictionCandidate* candidate : usable) {
      if (candidate->column != column || candidate->negated) continue;
      given |= candidate->op == RESTRICT_EQUAL || candidate->op == RESTRICT_IN;
      lower |= candidate->op == RESTRICT_GREATER || candidate->op == RESTRICT_GREATER_EQUAL;
      upper |= candidate->op == RESTRICT_LESS || candidate->op == RESTRICT_LESS_EQUAL;
    }
    if (!given && !(lower && upper)) return false;
  }
  return true;
}

// The best of all permutations of the units.
std::vector<int> permuted_order(const PlannerState& state, OrderEvaluation* chosen) {
  std::vector<int> order(state.units.size());
  std::iota(order.begin(), order.end(), 0);
  std::vector<int> best = order;
  OrderEvaluation best_evaluation = planner_evaluate_order(state, order, order.size());
  bool best_is_first = true;
  while (std::next_permutation(order.begin(), order.end())) {
    OrderEvaluation evaluation = planner_evaluate_order(state, order, order.size());
    if (planner_candidate_wins(evaluation, order, best_evaluation, best, best_is_first)) {
      best = order;
      best_evaluation = evaluation;
      best_is_first = false;
    }
  }
  *chosen = best_evaluation;
  return best;
}

// Whether `candidate` is a better next unit than `best` for the greedy order: runnable first,
// then more usable restrictions, then the cheaper prefix; the earlier unit stays on a tie.
bool greedy_better(const OrderEvaluation& candidate, const OrderEvaluation& best) {
  if (candidate.runnable != best.runnable) return candidate.runnable;
  if (candidate.usable != best.usable) return candidate.usable > best.usable;
  return candidate.cost < best.cost;
}

// A greedy order: each position takes the remaining unit that is best for the prefix so far.
std::vector<int> greedy_order(const PlannerState& state, OrderEvaluation* chosen) {
  std::vector<int> order;
  std::vector<int> remaining(state.units.size());
  std::iota(remaining.begin(), remaining.end(), 0);
  while (!remaining.empty()) {
    OrderEvaluation best;
    size_t best_at = 0;
    for (size_t i = 0; i < remaining.size(); ++i) {
      std::vector<int> trial = order;
      trial.push_back(remaining[i]);
      OrderEvaluation evaluation = planner_evaluate_order(state, trial, trial.size());
      if (i == 0 || greedy_better(evaluation, best)) {
        best = evaluation;
        best_at = i;
      }
    }
    order.push_back(remaining[best_at]);
    remaining.erase(remaining.begin() + static_cast<long>(best_at));
  }
  *chosen = planner_evaluate_order(state, order, order.size());
  return order;
}

}  // namespace

bool planner_candidate_usable(const PlannerState& state, const RestrictionCandidate& candidate,
                              const std::vector<int>& position) {
  int own = position[static_cast<size_t>(state.tables[static_cast<size_t>(candidate.table)].unit)];
  if (own < 0) return false;
  for (int table : candidate.depends) {
    int at = position[static_cast<size_t>(state.tables[static_cast<size_t>(table)].unit)];
    if (at < 0 || at >= own) return false;
  }
  return true;
}

OrderEvaluation planner_evaluate_order(const PlannerState& state, const std::vector<int>& order,
                                       size_t count) {
  OrderEvaluation result;
  std::vector<int> position(state.units.size(), -1);
  for (size_t i = 0; i < count && i < order.size(); ++i)
    position[static_cast<size_t>(order[i])] = static_cast<int>(i);
  for (const BranchCandidates& branch : state.branches) {
    double running = 1, starts = 0, rows = 0;
    for (size_t i = 0; i < count && i < order.size(); ++i) {
      double unit_estimate = 1;
      for (int table : state.unit_tables[static_cast<size_t>(order[i])]) {
        const PlannerTable& planned = state.tables[static_cast<size_t>(table)];
        if (!planned.standalone) {
          unit_estimate = kDefaultEstimate;  // an outer join: one unit, rows unknown
          break;
        }
        std::vector<const RestrictionCandidate*> usable;
        for (const RestrictionCandidate& candidate : branch.candidates)
          if (candidate.table == table && planner_candidate_usable(state, candidate, position))
            usable.push_back(&candidate);
        result.usable += static_cast<int>(usable.size());
        result.runnable = result.runnable && parameters_supplied(planned, usable);
        unit_estimate = table_estimate(planned, usable);
      }
      starts += running;
      running *= unit_estimate;
      rows += running;
    }
    result.cost += kScanStartCost * starts + rows;
  }
  return result;
}

bool planner_candidate_wins(const OrderEvaluation& candidate,
                            const std::vector<int>& candidate_order, const OrderEvaluation& best,
                            const std::vector<int>& best_order, bool best_is_first) {
  if (candidate.runnable != best.runnable) return candidate.runnable;
  if (candidate.usable > best.usable) return true;
  double total = candidate.cost + best.cost;
  double ratio = total > 0 ? std::fabs(candidate.cost - best.cost) / total : 0;
  if (best_is_first && ratio < 0.1) return false;
  if (ratio < 0.07) {
    // Near-equal costs: the position nearest the innermost end where the orders differ
    // decides; the candidate wins when the best order holds the lower table number there.
    for (size_t i = best_order.size(); i-- > 0;)
      if (best_order[i] != candidate_order[i]) return best_order[i] < candidate_order[i];
    return false;
  }
  return candidate.cost < best.cost;
}

std::vector<int> planner_choose_order(const PlannerState& state, OrderEvaluation* chosen) {
  double work = static_cast<double>(std::max<size_t>(state.branches.size(), 1));
  for (size_t n = 2; n <= state.units.size() && n <= kMaxPermutedUnits + 1; ++n) work *= n;
  if (state.units.size() > kMaxPermutedUnits || work > kMaxPermutationWork)
    return greedy_order(state, chosen);
  return permuted_order(state, chosen);
}
