// The executing statement: creation and release, engine settings, the statement
// dispatcher (queries, transaction ends), execution start time and deadline, parameter-set
// bookkeeping and sub-statements.
#include "driver/sql/exec_internal.h"
#include "driver/sql/exec_modify.h"
#include "driver/sql/exec_sub.h"

namespace {

constexpr int kFunctionSelectCursor = 85;

// Records the start time on the first execution and the deadline of this one.
void record_start(ExecStatement* statement) {
  if (!statement->started) {
    EvalContext now{};
    eval_context_prepare(&now, statement->pool, statement->errors);
    statement->eval.start_time = now.start_time;
    statement->started = true;
  }
  SQLULEN timeout = exec_active_settings(statement)->query_timeout;
  statement->has_deadline = timeout > 0;
  if (statement->has_deadline)
    statement->deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout);
}

}  // namespace

// Clears the per-execution state of the evaluator's caches.
void exec_reset_eval(ExecStatement* statement) {
  if (statement->eval_state) eval_state_reset(statement->eval_state);
  statement->eval.error = 0;
}

// The first parameter set at or after `from` not marked SQL_PARAM_IGNORE; set_count if none.
SQLULEN exec_next_parameter_set(const ExecSettings* settings, SQLULEN from) {
  while (from < settings->set_count && settings->operations &&
         settings->operations[from] == SQL_PARAM_IGNORE)
    ++from;
  return from;
}

// Records the outcome of the current parameter set.
void exec_finish_parameter_set(ExecStatement* statement, SQLUSMALLINT status) {
  ExecSettings* settings = &statement->settings;
  if (settings->status && statement->parameter_set < settings->set_count)
    settings->status[statement->parameter_set] = status;
  if (settings->processed) *settings->processed = statement->parameter_set + 1;
}

int exec_post_general(ExecStatement* statement, int native, const char* text) {
  SetReturnCode(statement->errors, -1);
  PostError(statement->errors, DIAG_LEVEL_CALL, 0, 0, native, 0, "ISO 9075", "HY000",
            "General error: %s", text);
  return -1;
}

int exec_post_memory(ExecStatement* statement) {
  SetReturnCode(statement->errors, -1);
  PostError(statement->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY001",
            "Memory allocation error");
  return -1;
}

const ExecSettings* exec_active_settings(const ExecStatement* statement) {
  while (statement->parent) statement = statement->parent;
  return &statement->settings;
}

int exec_remaining_timeout(const ExecStatement* statement) {
  const ExecStatement* top = statement;
  while (top->parent) top = top->parent;
  if (!top->has_deadline) return 0;
  auto left = std::chrono::duration_cast<std::chrono::seconds>(top->deadline -
                                                               std::chrono::steady_clock::now());
  return left.count() < 1 ? 1 : static_cast<int>(left.count());
}

void exec_pass_wait(const ExecStatement* statement, DalIterator* iterator) {
  const ExecStatement* top = statement;
  while (top->parent) top = top->parent;
  SqiWait wait{0, top->cancel_flag};
  if (top->has_deadline)
    wait.deadline_ns =
        std::chrono::duration_cast<std::chrono::nanoseconds>(top->deadline.time_since_epoch())
            .count();
  DALSetTimeout(iterator, exec_remaining_timeout(statement));
  DALSetWait(iterator, wait);
}

ExecStatement* exec_create(Dal* dal, ErrorHeader* errors, MemPool* parent_pool,
                           StatementPlanList* plans, const StatementContext* context) {
  MemPool* pool = quill_mem_alloc_handle(parent_pool);
  auto* statement =
      pool ? static_cast<ExecStatement*>(quill_mem_alloc(pool, sizeof(ExecStatement))) : nullptr;
  if (statement) statement->eval_state = eval_state_create(pool);
  if (!statement || !statement->eval_state) {
    if (pool) quill_mem_release_handle(pool);
    SetReturnCode(errors, -1);
    PostError(errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY001", "Memory allocation error");
    return nullptr;
  }
  statement->dal = dal;
  statement->errors = errors;
  statement->pool = pool;
  statement->lasting_pool = parent_pool ? parent_pool : pool;
  statement->plans = plans;
  statement->settings.odbc_version = 3;
  statement->settings.set_count = 1;
  eval_context_prepare(&statement->eval, pool, errors);
  statement->eval.statement = statement;
  statement->eval.state = statement->eval_state;
  exec_install_hooks(statement);
  sub_install_eval_hooks(statement);
  if (context) exec_set_context(statement, *context);
  return statement;
}

void exec_set_context(ExecStatement* statement, const StatementContext& context) {
  statement->context = context;
  statement->settings.odbc_version = context.odbc_version;
  exec_set_max_rows(statement, context.max_rows);
  exec_set_query_timeout(statement, context.query_timeout);
  statement->cancel_flag = context.cancel_flag;
}

void exec_free(ExecStatement* statement) {
  if (!statement) return;
  exec_close(statement);
  if (statement->passthrough) DALCloseIterator(statement->passthrough);
  statement->passthrough = nullptr;
  // Subquery sub-statements keep caches and iterators outside this pool.
  sub_statement_release(statement);
  eval_state_free(statement->eval_state);
  quill_mem_release_handle(statement->pool);
}

void exec_set_max_rows(ExecStatement* statement, SQLULEN max_rows) {
  statement->settings.max_rows = max_rows;
}

void exec_set_query_timeout(ExecStatement* statement, SQLULEN seconds) {
  statement->settings.query_timeout = seconds;
}

void exec_set_parameters(ExecStatement* statement, const QuillValue* const* values,
                         int parameter_count, SQLULEN set_count, const SQLUSMALLINT* operations,
                         SQLUSMALLINT* status, SQLULEN* processed) {
  ExecSettings* settings = &statement->settings;
  settings->parameter_values = values;
  settings->parameter_count = parameter_count;
  settings->set_count = set_count < 1 ? 1 : set_count;
  settings->operations = operations;
  settings->status = status;
  settings->processed = processed;
}

int exec_statement(ExecStatement* statement) {
  record_start(statement);
  StatementEntry* entry = statement->plans
                              ? static_cast<StatementEntry*>(ListData(statement->plans->entries))
                              : nullptr;
  if (!entry || !entry->plan) return exec_post_general(statement, 0, "No statement to execute");
  switch (entry->plan->kind) {
    case PLAN_QUERY: {
      exec_close(statement);
      // A new execution may see other data: subquery rows kept from the last one are stale.
      sub_statement_reset(statement);
      ExecSettings* settings = &statement->settings;
      if (settings->set_count > 1 && settings->status)
        for (SQLULEN i = 0; i < settings->set_count; ++i) settings->status[i] = SQL_PARAM_UNUSED;
      statement->parameter_set = exec_next_parameter_set(settings, 0);
      statement->set_warning = false;
      statement->query = node_cast<QueryPlan>(entry->plan);
      if (!statement->parent) {
        SetupErrorHeader(statement->errors, 0);
        SetDiagDynamicFunction(statement->errors, "SELECT CURSOR", kFunctionSelectCursor);
      }
      if (statement->parameter_set >= settings->set_count) {
        // Every set is ignored: an empty result.
        if (settings->processed) *settings->processed = 0;
        return 0;
      }
      int rc = exec_open_query(statement);
      if (rc < 0) {
        exec_finish_parameter_set(statement, SQL_PARAM_ERROR);
        return rc;
      }
      if (settings->processed) *settings->processed = statement->parameter_set + 1;
      return rc;
    }
    case PLAN_COMMIT:
    case PLAN_ROLLBACK: {
      int completion = entry->plan->kind == PLAN_COMMIT ? SQL_COMMIT : SQL_ROLLBACK;
      int rc = DALEndTransaction(statement->dal, completion);
      if (rc == SQI_OK || rc == SQI_INFO) return rc;
      if (GetErrorCount(statement->errors) == 0) return exec_post_memory(statement);
      SetReturnCode(statement->errors, -1);
      return -1;
    }
    default: {
      int rc = exec_modify_statement(statement, entry);
      if (rc != -2) return rc;
      rc = exec_data_definition(statement, entry);
      if (rc != -2) return rc;
      return exec_post_general(statement, 0, "Statement not supported yet");
    }
  }
}

ExecStatement* exec_sub_statement(ExecStatement* parent, QueryPlan* query) {
  ExecStatement* statement =
      exec_create(parent->dal, parent->errors, parent->pool, nullptr, nullptr);
  if (!statement) return nullptr;
  statement->parent = parent;
  statement->query = query;
  statement->eval.start_time = parent->eval.start_time;
  statement->eval.odbc_version = parent->eval.odbc_version;
  statement->started = true;
  return statement;
}
