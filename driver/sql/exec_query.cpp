// The SELECT set-up and its row source: pass-through to a backend that can run the whole
// query, the effective row limit, the sorting stages of each member (GROUP BY, DISTINCT) and
// of the whole query (ORDER BY, UNION), the UNION ALL chain read member after member, and
// the next parameter set at the end of the chain.
#include "driver/sql/exec_internal.h"
#include "driver/sql/exec_sorting.h"
#include "driver/sql/sqlgen.h"

namespace {

// The query members of a UNION chain in order; false when a member joins without ALL.
bool collect_members(QueryPlan* query, ListNode** members, MemPool* pool, bool* all) {
  if (!query) return true;
  if (query->select == nullptr && (query->union_left || query->union_right)) {
    if (!query->union_all) *all = false;
    return collect_members(query->union_left, members, pool, all) &&
           collect_members(query->union_right, members, pool, all);
  }
  ListNode* grown = ListAppend(query, *members, pool);
  if (!grown) return false;
  *members = grown;
  return true;
}

// Points the result columns at the items of the current member.
int bind_columns(ExecStatement* statement) {
  QueryPlan* member = statement->member;
  if (!statement->columns || statement->column_count != member->item_count) {
    statement->column_count = member->item_count;
    statement->columns = static_cast<ResultColumn*>(
        quill_mem_alloc(statement->pool, sizeof(ResultColumn) * (member->item_count + 1)));
    if (!statement->columns) return exec_post_memory(statement);
  }
  if (statement->sorting) statement->sorting->stored_columns = false;
  for (int i = 0; i < member->item_count; ++i) {
    ResultColumn* column = &statement->columns[i];
    if (column->value && !column->plain) release_value(statement->pool, column->value);
    column->value = nullptr;
    column->item = &member->items[i];
    int64_t size = member->items[i].description.column_size;
    column->declared_length = size > INT32_MAX ? INT32_MAX : static_cast<int32_t>(size);
    const Node* expression = member->items[i].expression;
    column->plain = expression && expression->kind == NODE_COLUMN_REF;
    column->pending = true;
  }
  return 0;
}

// The rows of the current member before DISTINCT: grouped, single aggregate row or direct.
int member_rows(ExecStatement* statement) {
  if (statement->sorting && statement->sorting->group) return exec_fetch_grouped(statement);
  if (statement->aggregate) return exec_fetch_single_group(statement);
  return exec_fetch_direct(statement);
}

// The rows of the current member as its select list delivers them.
int member_fetch(ExecStatement* statement) {
  if (statement->sorting && statement->sorting->distinct) return exec_fetch_distinct(statement);
  return member_rows(statement);
}

// Builds the plan of the current member and opens branch 0 (again, for a sort that reads the
// rows once more).
int open_scans(ExecStatement* statement) {
  if (exec_build_plan(statement) < 0) return -1;
  // Scans start now so that a missing or failing table is reported by the execution itself.
  return exec_open_branch(statement) < 0 ? -1 : 0;
}

// The rows of the current member from the start: accumulators, scans and grouping sort.
int open_rows(ExecStatement* statement) {
  exec_group_close(statement);
  statement->aggregate_done = false;
  if (statement->aggregate && exec_aggregate_reset(statement) < 0) return -1;
  if (open_scans(statement) < 0) return -1;
  if (statement->member->group_count > 0 && exec_group_open(statement, open_scans) < 0) return -1;
  return 0;
}

// Builds the plan of the current member, installs its accumulators, opens branch 0 and runs
// the member's grouping and DISTINCT sorts.
int open_member(ExecStatement* statement) {
  exec_member_sorts_close(statement);
  exec_free_plan(statement);
  QueryPlan* member = statement->member;
  if (bind_columns(statement) < 0) return -1;
  // Set functions (or a HAVING) without GROUP BY make the whole result one group.
  statement->aggregate =
      member->group_count == 0 &&
      (member->select_set_functions || member->having_set_functions || member->having);
  if (open_rows(statement) < 0) return -1;
  if (member->distinct && exec_distinct_open(statement, member_rows, open_rows) < 0) return -1;
  return 0;
}

// The next member after the current one, or null.
QueryPlan* next_member(ExecStatement* statement) {
  ListNode* members = nullptr;
  bool all = true;
  if (!collect_members(statement->query, &members, statement->pool, &all)) return nullptr;
  QueryPlan* next = nullptr;
  for (ListNode* at = members; at; at = at->next)
    if (at->data == statement->member) {
      next = at->next ? static_cast<QueryPlan*>(at->next->data) : nullptr;
      break;
    }
  while (members) members = ListDelete(members, members, statement->pool);
  return next;
}

// Row source of a query: reads the member chain and, at its end, the next parameter set.
int fetch_query(ExecStatement* statement) {
  for (;;) {
    int rc = member_fetch(statement);
    if (rc == EXEC_WARNING) statement->set_warning = true;
    if (rc == EXEC_ERROR) {
      if (!statement->parent) exec_finish_parameter_set(statement, SQL_PARAM_ERROR);
      return EXEC_ERROR;
    }
    if (rc != EXEC_NO_DATA) return rc;
    if (QueryPlan* next = next_member(statement)) {
      statement->member = next;
      if (open_member(statement) < 0) {
        if (!statement->parent) exec_finish_parameter_set(statement, SQL_PARAM_ERROR);
        return -1;
      }
      continue;
    }
    if (statement->parent) return EXEC_NO_DATA;
    const ExecSettings* settings = &statement->settings;
    exec_finish_parameter_set(
        statement, statement->set_warning ? SQL_PARAM_SUCCESS_WITH_INFO : SQL_PARAM_SUCCESS);
    SQLULEN following = exec_next_parameter_set(settings, statement->parameter_set + 1);
    if (following >= settings->set_count) return EXEC_NO_DATA;
    statement->parameter_set = following;
    statement->set_warning = false;
    exec_reset_eval(statement);
    ListNode* members = nullptr;
    bool all = true;
    if (!collect_members(statement->query, &members, statement->pool, &all))
      return exec_post_memory(statement);
    statement->member = static_cast<QueryPlan*>(members->data);
    while (members) members = ListDelete(members, members, statement->pool);
    if (open_member(statement) < 0) {
      exec_finish_parameter_set(statement, SQL_PARAM_ERROR);
      return -1;
    }
  }
}

// Reads the pass-through result: every result column in order.
int fetch_passthrough(ExecStatement* statement) {
  int rc = DALFetch(statement->passthrough);
  if (rc == SQI_NO_DATA) return EXEC_NO_DATA;
  if (rc != SQI_OK && rc != SQI_INFO) return -1;
  for (int i = 0; i < statement->column_count; ++i) {
    ResultColumn* column = &statement->columns[i];
    if (exec_read_column(statement, statement->passthrough, i + 1, nullptr, column->value, 0) < 0)
      return -1;
  }
  return rc == SQI_INFO ? 1 : 0;
}

// Whether the whole query can go to its backend as text.
bool passthrough_possible(const QueryPlan* query) {
  if (!query->select || !query->single_backend || !query->scan_tables) return false;
  if (query->order_by || query->group_count > 0 || query->having || query->select_set_functions)
    return false;
  for (ListNode* at = query->scan_tables; at; at = at->next) {
    auto* entry = static_cast<TableEntry*>(at->data);
    if (entry->type != TABLE_BASE || !entry->table.passthrough) return false;
  }
  for (int i = 0; i < query->item_count; ++i) {
    int type = query->items[i].sql_type;
    if (type == SQL_LONGVARCHAR || type == SQL_LONGVARBINARY) return false;
  }
  return true;
}

// Runs the query whole on its backend; 1 when taken, 0 when not possible, -1 on error.
int open_passthrough(ExecStatement* statement) {
  QueryPlan* query = statement->query;
  if (!passthrough_possible(query)) return 0;
  char* text = sql_node_text_in_pool(statement->pool, query->query);
  if (!text) return exec_post_memory(statement);
  if (statement->passthrough) {
    DALResetIterator(statement->passthrough);
  } else {
    statement->passthrough = DALOpenIterator(statement->errors, statement->dal);
    if (!statement->passthrough) return exec_post_general(statement, 0, "Error in DALOpenIterator");
  }
  exec_pass_wait(statement, statement->passthrough);
  int rc = DALExecSQL(statement->passthrough, text, statement, query->backend_index, nullptr);
  quill_mem_free(statement->pool, text);
  if (rc != SQI_OK && rc != SQI_INFO) {
    DALCloseIterator(statement->passthrough);
    statement->passthrough = nullptr;
    if (GetErrorCount(statement->errors) == 0)
      return exec_post_general(statement, 0, "Error in DALExecSQL");
    SetReturnCode(statement->errors, -1);
    return -1;
  }
  statement->member = query;
  if (bind_columns(statement) < 0) return -1;
  for (int i = 0; i < statement->column_count; ++i) {
    ResultColumn* column = &statement->columns[i];
    DalColumn description{};
    description.sql_type = column->item->sql_type;
    description.length = column->declared_length;
    description.precision = column->item->description.precision;
    description.scale = column->item->description.scale;
    column->value = exec_make_slot(statement->pool, &description);
    if (!column->value) return exec_post_memory(statement);
    column->plain = false;
    column->pending = false;
  }
  statement->row_source = fetch_passthrough;
  return 1;
}

// Opens the first member of the chain; *all tells whether every member joins with ALL.
int open_first_member(ExecStatement* statement, bool* all) {
  ListNode* members = nullptr;
  if (!collect_members(statement->query, &members, statement->pool, all))
    return exec_post_memory(statement);
  statement->member = members ? static_cast<QueryPlan*>(members->data) : nullptr;
  while (members) members = ListDelete(members, members, statement->pool);
  if (!statement->member) return exec_post_general(statement, 0, "No query to execute");
  return open_member(statement);
}

// Starts the whole chain again from its first member and first parameter set.
int restart_chain(ExecStatement* statement) {
  statement->parameter_set = exec_next_parameter_set(&statement->settings, 0);
  statement->set_warning = false;
  exec_reset_eval(statement);
  bool all = true;
  return open_first_member(statement, &all);
}

}  // namespace

int exec_open_query(ExecStatement* statement) {
  QueryPlan* query = statement->query;
  if (!query) return exec_post_general(statement, 0, "No query to execute");
  exec_reset_eval(statement);
  statement->rows_returned = 0;
  statement->row_source = nullptr;
  exec_sorting_close(statement);
  exec_free_plan(statement);

  const ExecSettings* settings = exec_active_settings(statement);
  long long limit = query->top > 0 ? query->top : 0;
  if (query->has_limit && (limit == 0 || query->limit < limit)) limit = query->limit;
  long long max_rows = statement->parent ? 0 : static_cast<long long>(settings->max_rows);
  if (limit > 0 && max_rows > 0)
    statement->row_limit = limit < max_rows ? limit : max_rows;
  else
    statement->row_limit = limit > 0 ? limit : max_rows;
  if (query->has_limit && query->limit == 0) statement->row_limit = -1;  // LIMIT 0: no rows
  statement->rows_to_skip = query->offset;

  int passthrough = open_passthrough(statement);
  if (passthrough < 0) return -1;
  if (passthrough > 0) return 0;

  bool all = true;
  if (open_first_member(statement, &all) < 0) return -1;
  if (query->order_by || !all) {
    // ORDER BY (over the whole chain) or UNION without ALL: every row goes through one sort.
    int rc = exec_result_sort_open(statement, fetch_query, !all, restart_chain);
    if (rc < 0) {
      exec_sorting_close(statement);
      return -1;
    }
    statement->row_source = exec_fetch_sorted;
    return rc;
  }
  statement->row_source = fetch_query;
  return 0;
}

int exec_fetch(ExecStatement* statement) {
  if (!statement->row_source) {
    SetReturnCode(statement->errors, -1);
    PostError(statement->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "24000",
              "Invalid cursor state");
    return -1;
  }
  if (statement->row_limit < 0 ||
      (statement->row_limit > 0 && statement->rows_returned >= statement->row_limit))
    return EXEC_NO_DATA;
  // OFFSET: the first rows are read and passed over, after any sort has ordered them.
  int rc;
  while (statement->rows_to_skip > 0) {
    rc = statement->row_source(statement);
    if (rc != EXEC_OK && rc != EXEC_WARNING) {
      if (rc == EXEC_ERROR) SetReturnCode(statement->errors, -1);
      return rc;
    }
    --statement->rows_to_skip;
  }
  rc = statement->row_source(statement);
  if (rc == EXEC_OK || rc == EXEC_WARNING) {
    ++statement->rows_returned;
    for (int i = 0; i < statement->column_count; ++i)
      if (!statement->columns[i].plain && statement->row_source != fetch_passthrough &&
          !(statement->sorting && statement->sorting->stored_columns))
        statement->columns[i].pending = true;
  }
  if (rc == EXEC_ERROR) SetReturnCode(statement->errors, -1);
  return rc;
}

int exec_column_count(const ExecStatement* statement) {
  return statement->row_source ? statement->column_count : 0;
}

void exec_close(ExecStatement* statement) {
  if (!statement) return;
  exec_sorting_close(statement);
  exec_free_plan(statement);
  exec_aggregate_release(statement);
  if (statement->columns)
    for (int i = 0; i < statement->column_count; ++i) {
      ResultColumn* column = &statement->columns[i];
      if (column->value && !column->plain) release_value(statement->pool, column->value);
      column->value = nullptr;
      column->pending = true;
    }
  statement->row_source = nullptr;
}
