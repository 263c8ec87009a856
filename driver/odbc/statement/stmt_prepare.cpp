// Preparing a statement text: parse into a fresh tree pool, validate into plans,
// make the first statement of the batch current and describe its result
// columns and parameters; and the release of all of that.
#include <cstring>

#include "driver/odbc/descriptors/desc_records.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_engine.h"
#include "driver/odbc/statement/stmt_exec.h"
#include "driver/sql/exec.h"
#include "driver/sql/parser.h"

namespace {

// Native error of a syntax error reported by SQLPrepare (SQLExecDirect reports 0).
constexpr int kPrepareSyntaxNative = 182;
// Native error of the execution-list faults.
constexpr int kExecListNative = 10000;

SQLRETURN post_exec_list_error(QuillStmt* stmt, const char* what) {
  SetReturnCode(stmt->errors, SQL_ERROR);
  PostError(stmt->errors, DIAG_LEVEL_CALL, 0, 0, kExecListNative, 0, "ISO 9075", "HY000",
            MSG_GENERAL_ERROR, what);
  return SQL_ERROR;
}

}  // namespace

void stmt_release_text(QuillStmt* stmt) {
  close_cursor(stmt);
  exec_free(stmt->exec);
  stmt->exec = nullptr;
  stmt->parse = nullptr;
  stmt->plan_list = nullptr;
  stmt->current_entry = nullptr;
  stmt->result_columns = 0;
  stmt->parameter_count = 0;
  stmt->prepared = false;
  // The parse context, its nodes and the plans all live in the tree pool.
  quill_mem_release_handle(stmt->tree_pool);
  stmt->tree_pool = nullptr;
}

// Makes `node` the current statement: a fresh engine statement over it alone, the IRD
// rebuilt for queries and the IPD described. false after posting.
bool stmt_load_entry(QuillStmt* stmt, ListNode* node) {
  if (!node || !node->data) {
    post_exec_list_error(stmt, "null data in load_next_exec()");
    return false;
  }
  exec_free(stmt->exec);
  stmt->exec = nullptr;
  stmt->current_entry = node;
  auto* entry = static_cast<StatementEntry*>(node->data);
  // The engine runs the first entry of its list: give it a list of this one entry.
  auto* single =
      static_cast<StatementPlanList*>(quill_mem_alloc(stmt->tree_pool, sizeof(StatementPlanList)));
  auto* link = static_cast<ListNode*>(quill_mem_alloc(stmt->tree_pool, sizeof(ListNode)));
  if (!single || !link) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return false;
  }
  single->kind = PLAN_STATEMENT_LIST;
  link->data = entry;
  link->next = nullptr;
  single->entries = link;
  StatementContext context = stmt_engine_context(stmt);
  auto* exec = exec_create(stmt->dbc->dal, stmt->errors, stmt->tree_pool, single, &context);
  if (!exec) return false;
  stmt->exec = exec;
  const QueryPlan* query =
      entry->plan && entry->plan->kind == PLAN_QUERY ? node_cast<QueryPlan>(entry->plan) : nullptr;
  stmt->result_columns = query ? query->item_count : 0;
  if (!desc_fill_ird(stmt, query)) return false;
  // Parameters bound by the application keep the types it gave them, unless it asked for the
  // IPD to be filled by the driver.
  if (stmt->attrs.enable_auto_ipd != SQL_TRUE) return true;
  int count = 0;
  for (ListNode* at = entry->parameters; at; at = at->next) ++count;
  return desc_fill_ipd(stmt, count, entry->parameters);
}

SQLRETURN stmt_prepare(QuillStmt* stmt, const char* text, SQLINTEGER length, int function) {
  if (!text) return post_call_error(stmt->errors, "HY009", MSG_NULL_POINTER);
  if (length < 0 && length != SQL_NTS)
    return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
  if (stmt_check(stmt, function, 0) != SQL_SUCCESS) return SQL_ERROR;
  size_t size = length == SQL_NTS ? std::strlen(text) : static_cast<size_t>(length);
  MemPool* pool = quill_mem_alloc_handle(stmt->pool);
  ParseContext* parse = pool ? parse_context_create(pool) : nullptr;
  char* copy = pool ? static_cast<char*>(quill_mem_alloc(pool, size + 1)) : nullptr;
  if (!parse || !copy) {
    quill_mem_release_handle(pool);
    return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  }
  std::memcpy(copy, text, size);
  copy[size] = '\0';
  stmt_release_text(stmt);
  stmt->tree_pool = pool;
  stmt->parse = parse;
  bool prepare = function == SQL_API_SQLPREPARE;
  auto fail = [&]() {
    stmt_release_text(stmt);
    stmt->state = S1_ALLOCATED;
    return SQL_ERROR;
  };
  if (std::memchr(text, '\0', size) != nullptr || sql_parse(parse, copy) != 0) {
    const char* message =
        std::memchr(text, '\0', size) ? "embedded NUL character in SQL text" : parse_message(parse);
    SetReturnCode(stmt->errors, SQL_ERROR);
    PostError(stmt->errors, DIAG_LEVEL_CALL, 0, 0, prepare ? kPrepareSyntaxNative : 0, 0,
              "ISO 9075", "42000", MSG_SYNTAX, message);
    return fail();
  }
  stmt->parameter_count = parse_parameter_count(parse);
  if (validate_statement_list(stmt, parse_statements(parse)) != 0) return fail();
  auto* plans = stmt->plan_list;
  if (!plans || !plans->entries) {
    post_exec_list_error(stmt, "null list in load_first_exec()");
    return fail();
  }
  if (!stmt_load_entry(stmt, plans->entries)) return fail();
  if (prepare) {
    stmt->prepared = true;
    stmt->state = stmt->result_columns > 0 ? S3_PREPARED_RESULTS : S2_PREPARED;
  }
  return outcome_of(stmt->errors);
}
