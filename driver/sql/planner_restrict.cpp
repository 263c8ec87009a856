// Restriction lists of a branch for the chosen order: the candidates usable in that order,
// grouped by table from the outermost inwards and, within a table, cheapest first (a stable
// order, so restrictions of equal cost keep the order they were written in).
#include <algorithm>

#include "driver/sql/planner_internal.h"

namespace {

// Cost of comparing a value of the column's SQL type.
int type_cost(int sql_type) {
  switch (sql_type) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_BIT:
    case SQL_TINYINT:
      return 0;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
      return 1;
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
    case SQL_DATE:
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
      return 2;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_BIGINT:
      return 3;
    default:
      return 4;
  }
}

}  // namespace

int planner_restriction_cost(int op, int sql_type) {
  int cost = 10;
  if (op == RESTRICT_EQUAL)
    cost = 0;
  else if (op == RESTRICT_LIKE || op == RESTRICT_IS_NULL || op == RESTRICT_IN)
    cost = 100;
  return cost + type_cost(sql_type);
}

std::vector<PlannedRestriction> planner_branch_restrictions(
    const PlannerState& state, const std::vector<RestrictionCandidate>& candidates,
    const std::vector<int>& unit_order) {
  std::vector<int> position(state.units.size(), -1);
  for (size_t i = 0; i < unit_order.size(); ++i)
    position[static_cast<size_t>(unit_order[i])] = static_cast<int>(i);
  std::vector<PlannedRestriction> result;
  for (int unit : unit_order)
    for (int table : state.unit_tables[static_cast<size_t>(unit)]) {
      TableEntry* entry = state.tables[static_cast<size_t>(table)].entry;
      size_t first = result.size();
      for (const RestrictionCandidate& candidate : candidates) {
        if (candidate.table != table || !planner_candidate_usable(state, candidate, position))
          continue;
        PlannedRestriction planned{};
        planned.table = table;
        planned.restriction.column = &entry->columns[candidate.column];
        planned.restriction.column_number = candidate.column + 1;
        planned.restriction.op = candidate.op;
        planned.restriction.value_expression = candidate.value;
        planned.restriction.column_reference = candidate.column_ref;
        planned.restriction.in_count = candidate.in_count;
        planned.predicate = candidate.predicate;
        planned.negated = candidate.negated;
        result.push_back(planned);
      }
      std::stable_sort(
          result.begin() + static_cast<long>(first), result.end(),
          [](const PlannedRestriction& a, const PlannedRestriction& b) {
            return planner_restriction_cost(a.restriction.op, a.restriction.column->sql_type) <
                   planner_restriction_cost(b.restriction.op, b.restriction.column->sql_type);
          });
    }
  return result;
}
