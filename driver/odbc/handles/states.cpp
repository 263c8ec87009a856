// State tables of environments, connections and statements.
#include "driver/odbc/handles/states.h"

#include <mutex>

#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

SQLRETURN env_check_alloc_dbc(QuillEnv* env) {
  return env_check_version_set(env);
}

SQLRETURN env_check_version_set(QuillEnv* env) {
  if (env->odbc_version == -1) return post_call_error(env->errors, "HY010", MSG_SEQUENCE);
  return SQL_SUCCESS;
}

void env_apply_alloc_dbc(QuillEnv* env) {
  env->connection_count++;
  env->state = ENV_WITH_CONNECTIONS;
}

void env_apply_free_dbc(QuillEnv* env) {
  if (env->connection_count > 0) env->connection_count--;
  if (env->connection_count == 0) env->state = ENV_ALLOCATED;
}

SQLRETURN env_check_free_env(QuillEnv* env) {
  if (env->state == ENV_WITH_CONNECTIONS)
    return post_call_error(env->errors, "HY010", MSG_SEQUENCE);
  return SQL_SUCCESS;
}

SQLRETURN env_check_get_attr(QuillEnv* env) {
  std::unique_lock<std::mutex> members(env->gate->members);  // connections come and go
  EnvState state = env->state;
  members.unlock();
  if (state == ENV_ALLOCATED && env->odbc_version == -1)
    return post_call_error(env->errors, "HY010", MSG_SEQUENCE);
  return SQL_SUCCESS;
}

SQLRETURN env_check_set_attr(QuillEnv* env, SQLINTEGER attribute) {
  std::unique_lock<std::mutex> members(env->gate->members);  // connections come and go
  EnvState state = env->state;
  members.unlock();
  if (state == ENV_WITH_CONNECTIONS)
    return post_call_error(env->errors, "HY011", MSG_CANNOT_SET_NOW);
  if (attribute != SQL_ATTR_ODBC_VERSION && env->odbc_version == -1)
    return post_call_error(env->errors, "HY010", MSG_SEQUENCE);
  return SQL_SUCCESS;
}

void dbc_apply_alloc_stmt(QuillDbc* dbc) {
  ConnectionStateLock lock;
  if (dbc->state == DBC_CONNECTED) dbc->state = DBC_WITH_STATEMENTS;
  dbc->statement_count++;
}

void dbc_apply_free_stmt(QuillDbc* dbc) {
  ConnectionStateLock lock;
  if (dbc->statement_count > 0) dbc->statement_count--;
  bool last = dbc->statement_count == 0;
  if (dbc->state == DBC_WITH_STATEMENTS) {
    if (last) dbc->state = DBC_CONNECTED;
  } else if (dbc->state == DBC_IN_TRANSACTION) {
    // Reading a node never leaves work to commit; the state simply falls back.
    dbc->state = (last && dbc->autocommit) ? DBC_CONNECTED : DBC_WITH_STATEMENTS;
  }
}

namespace {

// Attributes that shape the cursor: fixed once a statement is prepared or executed.
bool is_cursor_attribute(int attribute) {
  switch (attribute) {
    case SQL_ATTR_CURSOR_TYPE:
    case SQL_ATTR_CONCURRENCY:
    case SQL_ATTR_SIMULATE_CURSOR:
    case SQL_ATTR_USE_BOOKMARKS:
    case SQL_ATTR_CURSOR_SENSITIVITY:
    case SQL_ATTR_CURSOR_SCROLLABLE:
      return true;
    default:
      return false;
  }
}

SQLRETURN check_set_stmt_attr(QuillStmt* stmt, int attribute) {
  StmtState s = stmt->state;
  if (s >= S8_NEED_DATA) {
    return stmt->prepared ? post_call_error(stmt->errors, "HY011", MSG_CANNOT_SET_NOW)
                          : post_call_error(stmt->errors, "HY010", MSG_SEQUENCE);
  }
  if (!is_cursor_attribute(attribute)) return SQL_SUCCESS;
  if (s == S2_PREPARED || s == S3_PREPARED_RESULTS)
    return post_call_error(stmt->errors, "HY010", MSG_SEQUENCE);
  if (s >= S4_EXECUTED && s <= S7_EXTENDED_FETCHED)
    return post_call_error(stmt->errors, "24000", MSG_INVALID_CURSOR_STATE);
  return SQL_SUCCESS;
}

SQLRETURN check_get_stmt_attr(QuillStmt* stmt, int attribute) {
  StmtState s = stmt->state;
  if (s >= S8_NEED_DATA) return post_call_error(stmt->errors, "HY010", MSG_SEQUENCE);
  if (attribute == SQL_ATTR_ROW_NUMBER && s != S6_FETCHED && s != S7_EXTENDED_FETCHED)
    return post_call_error(stmt->errors, "24000", MSG_INVALID_CURSOR_STATE);
  return SQL_SUCCESS;
}

// Refusals shared by the table below.
SQLRETURN sequence_error(QuillStmt* stmt) {
  return post_call_error(stmt->errors, "HY010", MSG_SEQUENCE);
}
SQLRETURN cursor_state_error(QuillStmt* stmt) {
  return post_call_error(stmt->errors, "24000", MSG_INVALID_CURSOR_STATE);
}

// Functions that start a new statement text or execution.
SQLRETURN check_new_execution(QuillStmt* stmt, int function) {
  StmtState s = stmt->state;
  if (s >= S8_NEED_DATA) return sequence_error(stmt);
  if (s >= S5_CURSOR_OPEN) return cursor_state_error(stmt);
  if (function == SQL_API_SQLEXECUTE && (s == S1_ALLOCATED || !stmt->prepared))
    return sequence_error(stmt);
  return SQL_SUCCESS;
}

SQLRETURN check_fetch(QuillStmt* stmt, int function) {
  StmtState s = stmt->state;
  if (s == S4_EXECUTED) return cursor_state_error(stmt);
  if (s < S5_CURSOR_OPEN || s >= S8_NEED_DATA) return sequence_error(stmt);
  bool extended = function == SQL_API_SQLEXTENDEDFETCH;
  if ((s == S6_FETCHED && extended) || (s == S7_EXTENDED_FETCHED && !extended))
    return sequence_error(stmt);
  return SQL_SUCCESS;
}

SQLRETURN check_positioned(QuillStmt* stmt) {
  StmtState s = stmt->state;
  if (s == S4_EXECUTED || s == S5_CURSOR_OPEN) return cursor_state_error(stmt);
  if (s != S6_FETCHED && s != S7_EXTENDED_FETCHED) return sequence_error(stmt);
  return SQL_SUCCESS;
}

SQLRETURN check_statement_function(QuillStmt* stmt, int function) {
  StmtState s = stmt->state;
  switch (function) {
    case SQL_API_SQLPREPARE:
    case SQL_API_SQLEXECDIRECT:
    case SQL_API_SQLEXECUTE:
      return check_new_execution(stmt, function);
    case SQL_API_SQLFETCH:
    case SQL_API_SQLFETCHSCROLL:
    case SQL_API_SQLEXTENDEDFETCH:
      return check_fetch(stmt, function);
    case SQL_API_SQLGETDATA:
    case SQL_API_SQLSETPOS:
      return check_positioned(stmt);
    case SQL_API_SQLCLOSECURSOR:
      if (s >= S8_NEED_DATA) return sequence_error(stmt);
      if (s < S5_CURSOR_OPEN) return cursor_state_error(stmt);
      return SQL_SUCCESS;
    // Catalog functions open a new result set like an execution.
    case SQL_API_SQLTABLES:
    case SQL_API_SQLCOLUMNS:
    case SQL_API_SQLSTATISTICS:
    case SQL_API_SQLSPECIALCOLUMNS:
    case SQL_API_SQLPRIMARYKEYS:
    case SQL_API_SQLFOREIGNKEYS:
    case SQL_API_SQLTABLEPRIVILEGES:
    case SQL_API_SQLCOLUMNPRIVILEGES:
    case SQL_API_SQLPROCEDURES:
    case SQL_API_SQLPROCEDURECOLUMNS:
    case SQL_API_SQLGETTYPEINFO:
      if (s >= S8_NEED_DATA) return sequence_error(stmt);
      if (s >= S5_CURSOR_OPEN) return cursor_state_error(stmt);
      return SQL_SUCCESS;
    case SQL_API_SQLDESCRIBEPARAM:
      if (s == S1_ALLOCATED || s >= S8_NEED_DATA) return sequence_error(stmt);
      return SQL_SUCCESS;
    case SQL_API_SQLSETPARAM:
    case SQL_API_SQLPARAMOPTIONS:
    case SQL_API_SQLMORERESULTS:
    case SQL_API_SQLNUMPARAMS:
    case SQL_API_SQLGETCURSORNAME:
    case SQL_API_SQLBINDCOL:
    case SQL_API_SQLBINDPARAMETER:
    case SQL_API_SQLBINDPARAM:
      return s >= S8_NEED_DATA ? sequence_error(stmt) : SQL_SUCCESS;
    case SQL_API_SQLNUMRESULTCOLS:
      if (s == S1_ALLOCATED || s >= S8_NEED_DATA) return sequence_error(stmt);
      return SQL_SUCCESS;
    case SQL_API_SQLROWCOUNT:
      if (s < S4_EXECUTED || s >= S8_NEED_DATA) return sequence_error(stmt);
      return SQL_SUCCESS;
    case SQL_API_SQLSETCURSORNAME:
      if (s >= S8_NEED_DATA) return sequence_error(stmt);
      if (s >= S4_EXECUTED) return cursor_state_error(stmt);
      return SQL_SUCCESS;
    case SQL_API_SQLPARAMDATA:
      if (s < S8_NEED_DATA || s > S10_CAN_PUT) return sequence_error(stmt);
      return SQL_SUCCESS;
    case SQL_API_SQLPUTDATA:
      if (s != S9_MUST_PUT && s != S10_CAN_PUT) return sequence_error(stmt);
      return SQL_SUCCESS;
    default:
      return SQL_SUCCESS;
  }
}

}  // namespace

SQLRETURN stmt_check(QuillStmt* stmt, int function, int option) {
  // While a call runs on the worker only that call (polling) and SQLCancel may enter.
  if (stmt->async_function != 0 && function != stmt->async_function &&
      function != SQL_API_SQLCANCEL)
    return sequence_error(stmt);
  StmtState s = stmt->state;
  switch (function) {
    case SQL_API_SQLSETSTMTATTR:
      return check_set_stmt_attr(stmt, option);
    case SQL_API_SQLGETSTMTATTR:
      return check_get_stmt_attr(stmt, option);
    case SQL_API_SQLFREESTMT:
    case SQL_API_SQLFREEHANDLE:
      if (s >= S8_NEED_DATA) return post_call_error(stmt->errors, "HY010", MSG_SEQUENCE);
      return SQL_SUCCESS;
    case SQL_API_SQLCANCEL:
      return SQL_SUCCESS;
    default:
      return check_statement_function(stmt, function);
  }
}

void stmt_apply(QuillStmt* stmt, int function, int option, SQLRETURN outcome) {
  if (outcome != SQL_SUCCESS && outcome != SQL_SUCCESS_WITH_INFO) return;
  StmtState s = stmt->state;
  switch (function) {
    case SQL_API_SQLFREESTMT:
    case SQL_API_SQLCLOSECURSOR:
      if (function == SQL_API_SQLFREESTMT && option != SQL_CLOSE) return;
      if (s == S4_EXECUTED)
        stmt->state = stmt->prepared ? S2_PREPARED : S1_ALLOCATED;
      else if (s >= S5_CURSOR_OPEN && s <= S7_EXTENDED_FETCHED)
        stmt->state = stmt->prepared ? S3_PREPARED_RESULTS : S1_ALLOCATED;
      return;
    case SQL_API_SQLFREEHANDLE:
      stmt->state = S0_UNALLOCATED;
      return;
    default:
      return;
  }
}
