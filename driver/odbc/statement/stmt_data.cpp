// The data-at-execution dialogue: SQLParamData hands out the token of the
// next parameter needing data (or runs the statement once none is left) and
// SQLPutData appends a piece to the parameter SQLParamData named.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/params/param_values.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"

SQLRETURN stmt_param_data(QuillStmt* stmt, SQLPOINTER* token) {
  if (stmt_check(stmt, SQL_API_SQLPARAMDATA, 0) != SQL_SUCCESS) return SQL_ERROR;
  // The parameter handed out last must have received at least one piece.
  if (stmt->state == S9_MUST_PUT) return post_call_error(stmt->errors, "HY010", MSG_SEQUENCE);
  int next = param_values_next_needing_data(stmt, stmt->data_parameter);
  if (next < 0) return SQL_ERROR;
  if (next > 0) {
    if (!param_values_begin_data(stmt, next, token)) return SQL_ERROR;
    stmt->data_parameter = next;
    stmt->state = S9_MUST_PUT;
    return SQL_NEED_DATA;
  }
  // Every parameter has its data: run the statement for the function that asked for it.
  int function = stmt->need_data_function;
  stmt->data_parameter = 0;
  SQLRETURN result = sql_return_of(stmt_run_current(stmt));
  if (result == SQL_SUCCESS || result == SQL_SUCCESS_WITH_INFO) {
    stmt->state = stmt->result_columns > 0 ? S5_CURSOR_OPEN : S4_EXECUTED;
  } else {
    close_cursor(stmt);
    param_values_release(stmt);
    if (function == SQL_API_SQLEXECDIRECT) {
      stmt_release_text(stmt);
      stmt->state = S1_ALLOCATED;
    } else {
      stmt->state = stmt->result_columns > 0 ? S3_PREPARED_RESULTS : S2_PREPARED;
    }
  }
  return result;
}

SQLRETURN stmt_put_data(QuillStmt* stmt, SQLPOINTER data, SQLLEN length) {
  if (stmt_check(stmt, SQL_API_SQLPUTDATA, 0) != SQL_SUCCESS) return SQL_ERROR;
  if (stmt->data_parameter <= 0) return post_call_error(stmt->errors, "HY010", MSG_SEQUENCE);
  SQLRETURN rc = param_values_append(stmt, stmt->data_parameter, data, length);
  if (rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) stmt->state = S10_CAN_PUT;
  return rc;
}
