// Function-sequence state checks of environments, connections and statements.
// Each check runs before a function's work (posting the refusal) and each
// apply step after it, so the handle's state follows the outcome.
#pragma once

#include "driver/odbc/handles/handles.h"

// Environment (the connection count and state under the environment's members lock).
SQLRETURN env_check_alloc_dbc(QuillEnv* env);  // HY010 while the ODBC version is unset
void env_apply_alloc_dbc(QuillEnv* env);       // one more connection, state 2
void env_apply_free_dbc(QuillEnv* env);        // one fewer; state 1 after the last
SQLRETURN env_check_free_env(QuillEnv* env);   // HY010 while connections remain
SQLRETURN env_check_get_attr(QuillEnv* env);   // HY010 in state 1 with the version unset
SQLRETURN env_check_set_attr(QuillEnv* env, SQLINTEGER attribute);  // HY011 / HY010
SQLRETURN env_check_version_set(QuillEnv* env);  // HY010 while the ODBC version is unset

// Connection (the state under process-wide lock 4, the count under the members lock).
void dbc_apply_alloc_stmt(QuillDbc* dbc);  // 4 becomes 5; statement count + 1
void dbc_apply_free_stmt(QuillDbc* dbc);   // statement count - 1; 5 or 6 fall back to 4 or 5

// Statement; `function` is the SQL_API_* number and `option` its sub-code where one matters.
SQLRETURN stmt_check(QuillStmt* stmt, int function, int option);
void stmt_apply(QuillStmt* stmt, int function, int option, SQLRETURN outcome);
// True while a call of the statement runs on its worker thread.
inline bool stmt_executing_async(const QuillStmt* stmt) {
  return stmt->async_function != 0;
}
