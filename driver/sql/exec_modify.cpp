// Runs a modification statement: the parameter-array loop with its per-set status, the
// pass-through of a statement its backend runs whole, the handler of each kind, the row
// count, and replication of a successful change to every replica of the target table.
#include <atomic>
#include <vector>

#include "driver/sql/exec_modify_internal.h"
#include "driver/sql/exec_replication.h"
#include "driver/sql/sqlgen.h"

namespace {

std::atomic<const ExecCallLayerHooks*> g_hooks{nullptr};

const ReplicationList* replication_of(ExecStatement* statement) {
  const ExecCallLayerHooks* hooks = modify_hooks();
  if (!hooks || !hooks->replication || !statement->dal) return nullptr;
  return hooks->replication(statement->dal->connection);
}

// The table a modification plan changes, or null.
TableEntry* target_of(PlanRecord* plan) {
  switch (plan->kind) {
    case PLAN_INSERT:
      return node_cast<InsertPlan>(plan)->target;
    case PLAN_DELETE:
    case PLAN_UPDATE:
      return node_cast<SearchedPlan>(plan)->target;
    case PLAN_UPDATE_POSITIONED:
      return node_cast<PositionedUpdatePlan>(plan)->target;
    case PLAN_DELETE_POSITIONED:
      return node_cast<PositionedDeletePlan>(plan)->target;
    default:
      return nullptr;
  }
}

// Runs the handler of the plan's kind (pass-through only when `replica` is false).
int run_handler(ExecStatement* statement, const StatementEntry* entry, bool replica,
                long long* count);

// The statement's text run whole by the target's backend. 0/1 or -1 (posted).
int run_passthrough(ExecStatement* statement, const StatementEntry* entry, TableEntry* target,
                    long long* count) {
  char* text = sql_node_text_in_pool(statement->pool, entry->statement);
  if (!text) return exec_post_memory(statement);
  DalIterator* iterator = modify_open_iterator(statement);
  if (!iterator) {
    quill_mem_free(statement->pool, text);
    return -1;
  }
  // The backend reports the rows it changed through the reserved argument.
  SQLLEN rows = 0;
  int before = GetErrorCount(statement->errors);
  int rc = DALExecSQL(iterator, text, statement, target->table.backend_index, &rows);
  DALCloseIterator(iterator);
  quill_mem_free(statement->pool, text);
  if (rc != SQI_OK && rc != SQI_INFO) {
    if (GetErrorCount(statement->errors) > before) {
      SetReturnCode(statement->errors, -1);
      return -1;
    }
    return exec_post_general(statement, 0, "Error in DALExecSQL");
  }
  *count = rows < 0 ? 0 : rows;
  return rc == SQI_INFO ? 1 : 0;
}

bool wants_passthrough(const StatementEntry* entry) {
  switch (entry->plan->kind) {
    case PLAN_INSERT:
      return node_cast<InsertPlan>(entry->plan)->passthrough != 0;
    case PLAN_DELETE:
    case PLAN_UPDATE:
      return node_cast<SearchedPlan>(entry->plan)->passthrough != 0;
    default:
      return false;
  }
}

int run_handler(ExecStatement* statement, const StatementEntry* entry, bool replica,
                long long* count) {
  PlanRecord* plan = entry->plan;
  if (!replica && wants_passthrough(entry))
    return run_passthrough(statement, entry, target_of(plan), count);
  switch (plan->kind) {
    case PLAN_INSERT:
      return modify_insert(statement, node_cast<InsertPlan>(plan), count);
    case PLAN_DELETE:
    case PLAN_UPDATE:
      return modify_searched(statement, node_cast<SearchedPlan>(plan), count);
    case PLAN_UPDATE_POSITIONED:
      return modify_positioned_update(statement, node_cast<PositionedUpdatePlan>(plan), count);
    case PLAN_DELETE_POSITIONED:
      return modify_positioned_delete(statement, node_cast<PositionedDeletePlan>(plan), count);
    default:
      return -2;
  }
}

const char* replica_failure(int kind) {
  switch (kind) {
    case PLAN_INSERT:
      return "Replicated insert failed";
    case PLAN_DELETE:
      return "Replicated delete failed";
    default:
      return "Replicated update failed";
  }
}

// Runs the handler again for every replica of the target: 0, or -1 after posting.
int replicate(ExecStatement* statement, const StatementEntry* entry) {
  const ReplicationList* list = replication_of(statement);
  TableEntry* target = target_of(entry->plan);
  if (!list || !target || entry->plan->kind == PLAN_UPDATE_POSITIONED ||
      entry->plan->kind == PLAN_DELETE_POSITIONED)
    return 0;
  const DalTable source = target->table;
  for (int i = 0; i < list->count; ++i) {
    const ReplicationEntry& replica = list->entries[i];
    if (!replication_matches(replica, source)) continue;
    // The replica is described again: the backend records the entry kept may belong to an
    // earlier connection of the same handle.
    DalTable table{};
    std::vector<ColumnInfo> described;
    int rc = DALDescribeTable(statement->errors, statement->dal, "", replica.replica_name.table,
                              &table) == SQI_OK
                 ? 0
                 : -1;
    if (rc == 0 && table.column_count >= target->column_count) {
      described.resize(static_cast<size_t>(table.column_count));
      int got = DALDescribeColumns(statement->errors, statement->dal, &table, table.column_count,
                                   described.data());
      if (got != SQI_OK && got != SQI_INFO) rc = -1;
    } else {
      rc = -1;
    }
    if (rc == 0) {
      // The replica takes the target's place (descriptor and columns) for one more run.
      ColumnInfo* columns = target->columns;
      target->table = table;
      target->columns = described.data();
      long long ignored = 0;
      rc = run_handler(statement, entry, true, &ignored);
      target->table = source;
      target->columns = columns;
    }
    if (rc < 0 || rc == 2)
      return exec_post_general(statement, 0, replica_failure(entry->plan->kind));
  }
  return 0;
}

// One execution of the statement for the current parameter set: an ExecResult.
int run_once(ExecStatement* statement, const StatementEntry* entry) {
  long long count = 0;
  int rc = run_handler(statement, entry, false, &count);
  statement->row_count += count;
  if (rc == EXEC_OK || rc == EXEC_WARNING) {
    if (replicate(statement, entry) < 0) return -1;
  }
  return rc;
}

}  // namespace

const ExecCallLayerHooks* modify_hooks() {
  return g_hooks.load();
}

void exec_install_call_layer(const ExecCallLayerHooks* hooks) {
  g_hooks.store(hooks);
}

bool modify_has_replicas(ExecStatement* statement, const DalTable* table) {
  const ReplicationList* list = replication_of(statement);
  for (int i = 0; list && i < list->count; ++i)
    if (replication_matches(list->entries[i], *table)) return true;
  return false;
}

long long exec_row_count(const ExecStatement* statement) {
  return statement ? statement->row_count : 0;
}

int exec_modify_statement(ExecStatement* statement, const StatementEntry* entry) {
  switch (entry->plan->kind) {
    case PLAN_INSERT:
    case PLAN_DELETE:
    case PLAN_UPDATE:
    case PLAN_UPDATE_POSITIONED:
    case PLAN_DELETE_POSITIONED:
      break;
    default:
      return -2;
  }
  statement->row_count = 0;
  ExecSettings* settings = &statement->settings;
  if (settings->set_count <= 1) {
    statement->parameter_set = 0;
    exec_reset_eval(statement);
    int rc = run_once(statement, entry);
    if (settings->processed) *settings->processed = 1;
    if (settings->status)
      settings->status[0] = rc < 0               ? SQL_PARAM_ERROR
                            : rc == EXEC_WARNING ? SQL_PARAM_SUCCESS_WITH_INFO
                                                 : SQL_PARAM_SUCCESS;
    return rc < 0 ? EXEC_ERROR : rc;
  }
  // A parameter array: every set not ignored runs, an error in one does not stop the rest.
  if (settings->status)
    for (SQLULEN i = 0; i < settings->set_count; ++i) settings->status[i] = SQL_PARAM_UNUSED;
  int failed = 0, ran = 0, no_data = 0;
  bool warning = false;
  for (SQLULEN set = exec_next_parameter_set(settings, 0); set < settings->set_count;
       set = exec_next_parameter_set(settings, set + 1)) {
    statement->parameter_set = set;
    exec_reset_eval(statement);
    int rc = run_once(statement, entry);
    ++ran;
    if (rc < 0) ++failed;
    if (rc == EXEC_NO_DATA) ++no_data;
    if (rc == EXEC_WARNING) warning = true;
    exec_finish_parameter_set(statement, rc < 0               ? SQL_PARAM_ERROR
                                         : rc == EXEC_WARNING ? SQL_PARAM_SUCCESS_WITH_INFO
                                                              : SQL_PARAM_SUCCESS);
  }
  if (ran == 0) return EXEC_NO_DATA;
  if (failed == ran) return EXEC_ERROR;
  if (failed > 0 || warning) return EXEC_WARNING;
  return no_data == ran ? EXEC_NO_DATA : EXEC_OK;
}
