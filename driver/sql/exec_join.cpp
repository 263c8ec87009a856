// The nested-loop join of a branch (the innermost table changes fastest; an inner scan is
// restarted with fresh restriction values whenever an outer table advances) and the direct
// row source: branches in order, each row tested against its branch predicate and dropped
// when an earlier branch already returned it.
#include "driver/sql/exec_internal.h"
#include "driver/sql/exec_sub.h"

namespace {

PlanBranch* current_branch(ExecStatement* statement) {
  ExecPlan* plan = statement->plan;
  return &plan->branches[plan->current_branch];
}

// Closes the scans of the branch's base tables.
void close_branch(ExecStatement* statement, PlanBranch* branch) {
  exec_block_release(statement, false);
  for (int t = 0; t < branch->table_count; ++t) {
    TableCursor* cursor = branch->tables[t].cursor;
    if (cursor->entry->type == TABLE_BASE) exec_close_cursor(statement, cursor);
  }
}

// Whether an earlier branch already accepted the current row: 1 yes, 0 no, -1 error.
int seen_in_earlier_branch(ExecStatement* statement) {
  ExecPlan* plan = statement->plan;
  for (int b = 0; b < plan->current_branch; ++b) {
    const Node* predicate = plan->branches[b].predicate;
    if (!predicate) return 1;
    int rc = eval_predicate(predicate, &statement->eval, EVAL_SEARCH);
    if (rc != 0) return rc;
  }
  return 0;
}

}  // namespace

int exec_join_advance(ExecStatement* statement, PlanBranch* branch, int t, bool* warning) {
  const bool blocked = statement->plan->join_blocked && t > 0 && t == branch->table_count - 1;
  for (;;) {
    int rc = exec_fetch_scan(statement, &branch->tables[t]);
    if (rc == EXEC_OK || rc == EXEC_WARNING) {
      *warning |= rc == EXEC_WARNING;
      return rc;
    }
    if (rc != EXEC_NO_DATA) return EXEC_ERROR;
    if (t == 0) return EXEC_NO_DATA;
    if (blocked) {
      rc = exec_block_next(statement, branch, warning);
      if (rc == EXEC_NO_DATA || rc == EXEC_ERROR) return rc;
      continue;
    }
    rc = exec_join_advance(statement, branch, t - 1, warning);
    if (rc == EXEC_NO_DATA || rc == EXEC_ERROR) return rc;
    rc = exec_start_scan(statement, &branch->tables[t]);
    if (rc < 0) return EXEC_ERROR;
    *warning |= rc == EXEC_WARNING;
  }
}

int exec_open_branch(ExecStatement* statement) {
  PlanBranch* branch = current_branch(statement);
  bool warning = false;
  statement->plan->opened = true;
  statement->plan->branch_done = false;
  exec_block_release(statement, false);
  if (branch->table_count == 0) return EXEC_OK;
  int rc = exec_start_scan(statement, &branch->tables[0]);
  if (rc < 0) return EXEC_ERROR;
  warning |= rc == EXEC_WARNING;
  const int blocked = exec_block_applies(statement, branch);
  if (blocked < 0) return EXEC_ERROR;
  for (int t = 0; t + 1 < branch->table_count; ++t) {
    if (blocked && t + 2 == branch->table_count) {
      // The innermost table's scans are prepared a block of outer rows at a time.
      rc = exec_block_next(statement, branch, &warning);
      if (rc == EXEC_ERROR) return EXEC_ERROR;
      if (rc == EXEC_NO_DATA) {
        statement->plan->branch_done = true;
        return EXEC_NO_DATA;
      }
      break;
    }
    rc = exec_join_advance(statement, branch, t, &warning);
    if (rc == EXEC_ERROR) return EXEC_ERROR;
    if (rc == EXEC_NO_DATA) {
      statement->plan->branch_done = true;
      return EXEC_NO_DATA;
    }
    rc = exec_start_scan(statement, &branch->tables[t + 1]);
    if (rc < 0) return EXEC_ERROR;
    warning |= rc == EXEC_WARNING;
  }
  return warning ? EXEC_WARNING : EXEC_OK;
}

int exec_next_joined_row(ExecStatement* statement) {
  ExecPlan* plan = statement->plan;
  PlanBranch* branch = current_branch(statement);
  if (plan->branch_done) return EXEC_NO_DATA;
  if (branch->table_count == 0) {
    plan->branch_done = true;
    if (plan->single_row_done) return EXEC_NO_DATA;
    plan->single_row_done = true;
    return EXEC_OK;
  }
  bool warning = false;
  int rc = exec_join_advance(statement, branch, branch->table_count - 1, &warning);
  if (rc == EXEC_NO_DATA) plan->branch_done = true;
  if (rc == EXEC_OK && warning) rc = EXEC_WARNING;
  return rc;
}

int exec_fetch_direct(ExecStatement* statement) {
  ExecPlan* plan = statement->plan;
  if (!plan) return EXEC_NO_DATA;
  bool warning = false;
  for (;;) {
    PlanBranch* branch = current_branch(statement);
    int rc = EXEC_OK;
    if (!plan->opened) {
      rc = exec_open_branch(statement);
      if (rc == EXEC_ERROR) return EXEC_ERROR;
      warning |= rc == EXEC_WARNING;
    }
    rc = exec_row_block_next(statement);
    if (rc == EXEC_ERROR) return EXEC_ERROR;
    if (rc == EXEC_NO_DATA) {
      close_branch(statement, branch);
      if (plan->current_branch + 1 >= plan->branch_count) return EXEC_NO_DATA;
      ++plan->current_branch;
      plan->opened = false;
      continue;
    }
    warning |= rc == EXEC_WARNING;
    if (!branch->predicate) return warning ? EXEC_WARNING : EXEC_OK;
    if (sub_rerun_nested(statement) < 0) return EXEC_ERROR;
    rc = eval_predicate(branch->predicate, &statement->eval, EVAL_SEARCH);
    if (rc == -1) {
      SetReturnCode(statement->errors, -1);
      return EXEC_ERROR;
    }
    if (rc == 0) continue;
    rc = seen_in_earlier_branch(statement);
    if (rc == -1) {
      SetReturnCode(statement->errors, -1);
      return EXEC_ERROR;
    }
    if (rc == 1) continue;
    return warning ? EXEC_WARNING : EXEC_OK;
  }
}
