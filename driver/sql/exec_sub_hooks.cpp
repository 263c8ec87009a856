// Subqueries of expressions (EXISTS, IN, quantified and scalar comparisons): one
// sub-statement per subquery, made on first use. Its first-column values are kept as they
// stream by, so evaluating the subquery again for the next outer row replays them; it runs
// again only when an outer reference or parameter it depends on changed (the evaluator is
// then told, so its cached answers are dropped).
#include "driver/sql/exec_sub_internal.h"

namespace {

// One subquery of a statement.
struct SubqueryRun {
  const Node* query;  // the subquery node the evaluator names it by
  SubRun run;         // its sub-statement
  SubRows rows;       // first-column values of the current run
  long position;      // next value to hand out
  SubqueryRun* next;  // the statement's next subquery
};

// The statement's subqueries (statement->sub).
struct StatementSubqueries {
  MemPool* pool;      // memory of everything here; a child of the statement's pool
  SubqueryRun* list;  // made so far
};

ExecStatement* statement_of(EvalContext* context) {
  return static_cast<ExecStatement*>(context->statement);
}

StatementSubqueries* subqueries_of(ExecStatement* statement, bool create) {
  auto* subs = static_cast<StatementSubqueries*>(statement->sub);
  if (subs != nullptr || !create) return subs;
  MemPool* pool = quill_mem_alloc_handle(statement->pool);
  if (pool == nullptr) return nullptr;
  subs = static_cast<StatementSubqueries*>(quill_mem_alloc(pool, sizeof(StatementSubqueries)));
  if (subs == nullptr) {
    quill_mem_release_handle(pool);
    return nullptr;
  }
  subs->pool = pool;
  subs->list = nullptr;
  statement->sub = subs;
  return subs;
}

// The plan validated for `query` among the plans the statement runs (UNION members too).
QueryPlan* find_plan(const QueryPlan* plan, const Node* query, int depth) {
  if (plan == nullptr || depth > 64) return nullptr;
  if (QueryPlan* found = subquery_plan(plan, query)) return found;
  if (QueryPlan* found = find_plan(plan->union_left, query, depth + 1)) return found;
  return find_plan(plan->union_right, query, depth + 1);
}

QueryPlan* plan_for(ExecStatement* statement, const Node* query) {
  if (statement->plan != nullptr)
    if (QueryPlan* found = find_plan(statement->plan->query, query, 0)) return found;
  if (QueryPlan* found = find_plan(statement->member, query, 0)) return found;
  return find_plan(statement->query, query, 0);
}

SubqueryRun* find_run(ExecStatement* statement, const Node* query) {
  StatementSubqueries* subs = subqueries_of(statement, false);
  for (SubqueryRun* at = subs ? subs->list : nullptr; at != nullptr; at = at->next)
    if (at->query == query) return at;
  return nullptr;
}

SubqueryRun* make_run(ExecStatement* statement, const Node* query) {
  QueryPlan* plan = plan_for(statement, query);
  if (plan == nullptr) {
    exec_post_general(statement, EXEC_NATIVE_RERUN, "Internal Error");
    return nullptr;
  }
  StatementSubqueries* subs = subqueries_of(statement, true);
  auto* run =
      subs ? static_cast<SubqueryRun*>(quill_mem_alloc(subs->pool, sizeof(SubqueryRun))) : nullptr;
  if (run == nullptr) {
    exec_post_memory(statement);
    return nullptr;
  }
  *run = SubqueryRun{};
  run->query = query;
  run->rows.pool = subs->pool;
  run->rows.width = 1;
  if (sub_run_init(&run->run, statement, plan, subs->pool) < 0) return nullptr;
  run->next = subs->list;
  subs->list = run;
  return run;
}

int open_subquery(EvalContext* context, const Node* query, bool* reexecuted) {
  *reexecuted = false;
  ExecStatement* statement = statement_of(context);
  if (statement == nullptr) return -1;
  SubqueryRun* run = find_run(statement, query);
  bool rerun = false;
  if ((run == nullptr && (run = make_run(statement, query)) == nullptr) ||
      sub_run_open(&run->run, &rerun) < 0) {
    context->error = -1;  // the diagnostic is posted already
    return -1;
  }
  if (rerun) sub_rows_reset(&run->rows, 1);
  *reexecuted = rerun;
  run->position = 0;
  return 0;
}

int fetch_subquery(EvalContext* context, const Node* query, const QuillValue** first_column) {
  *first_column = nullptr;
  ExecStatement* statement = statement_of(context);
  SubqueryRun* run = statement ? find_run(statement, query) : nullptr;
  if (run == nullptr || !run->run.open) return -1;
  SubRows* rows = &run->rows;
  if (run->position >= rows->count) {
    if (rows->complete) return EXEC_NO_DATA;
    ExecStatement* sub = run->run.statement;
    int rc = exec_fetch(sub);
    if (rc == EXEC_NO_DATA) {
      rows->complete = true;
      return EXEC_NO_DATA;
    }
    if (rc < 0) return -1;
    const QuillValue* value = exec_column_value(sub, 0);
    if (value == nullptr) return -1;
    if (sub_rows_append(rows, &value) < 0) return exec_post_memory(statement);
  }
  *first_column = sub_rows_at(rows, run->position++)[0];
  return 0;
}

}  // namespace

void sub_install_eval_hooks(ExecStatement* statement) {
  statement->eval.hooks.open_subquery = open_subquery;
  statement->eval.hooks.fetch_subquery = fetch_subquery;
  sub_statement_reset(statement);
}

int sub_rerun_nested(ExecStatement* statement) {
  StatementSubqueries* subs = subqueries_of(statement, false);
  for (SubqueryRun* at = subs ? subs->list : nullptr; at != nullptr; at = at->next) {
    if (!at->run.open) continue;
    bool changed = false;
    if (sub_run_check(&at->run, &changed) < 0) return -1;
    // Closed now, run again when the predicate next opens it.
    if (changed) sub_run_close(&at->run);
  }
  return 0;
}

void sub_correlated_scans(ExecStatement* statement,
                          std::vector<std::pair<ExecStatement*, BranchTable*>>* out) {
  out->clear();
  StatementSubqueries* subs = subqueries_of(statement, false);
  for (SubqueryRun* at = subs ? subs->list : nullptr; at != nullptr; at = at->next) {
    ExecStatement* sub = at->run.statement;
    if (at->run.watch_count == 0 || !sub || !sub->plan || sub->plan->branch_count != 1 ||
        sub->plan->branches[0].table_count != 1)
      continue;
    BranchTable* scan = &sub->plan->branches[0].tables[0];
    if (scan->cursor->entry->type == TABLE_BASE && scan->restriction_count > 0)
      out->emplace_back(sub, scan);
  }
}

void sub_statement_reset(ExecStatement* statement) {
  StatementSubqueries* subs = subqueries_of(statement, false);
  for (SubqueryRun* at = subs ? subs->list : nullptr; at != nullptr; at = at->next)
    sub_run_close(&at->run);
}

void sub_statement_release(ExecStatement* statement) {
  StatementSubqueries* subs = subqueries_of(statement, false);
  if (subs == nullptr) return;
  for (SubqueryRun* at = subs->list; at != nullptr; at = at->next) sub_run_free(&at->run);
  statement->sub = nullptr;
  quill_mem_release_handle(subs->pool);
}
