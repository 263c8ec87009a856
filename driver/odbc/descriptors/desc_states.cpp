// Statement-state refusals of the binding, description and descriptor
// functions, kept apart from the statement state table.
#include <mutex>

#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"

namespace {

bool describes_result(int function) {
  return function == SQL_API_SQLDESCRIBECOL || function == SQL_API_SQLCOLATTRIBUTE;
}

bool reads_descriptor(int function) {
  return function == SQL_API_SQLGETDESCFIELD || function == SQL_API_SQLGETDESCREC;
}

// The refusal for one statement, posted on `errors`.
SQLRETURN check_one(const QuillStmt* stmt, ErrorHeader* errors, int function, int field,
                    bool reads_ird) {
  StmtState s = stmt->state;
  // Nothing but the running call may enter while the statement works on its worker thread.
  if (s >= S8_NEED_DATA || stmt->async_function != 0)
    return post_call_error(errors, "HY010", MSG_SEQUENCE);
  if (describes_result(function) || reads_ird) {
    if (s == S1_ALLOCATED) return post_call_error(errors, "HY010", MSG_SEQUENCE);
    if (s == S4_EXECUTED) return post_call_error(errors, "24000", MSG_INVALID_CURSOR_STATE);
  }
  if (describes_result(function) && s == S2_PREPARED && field != SQL_DESC_COUNT)
    return post_call_error(errors, "07005", MSG_NOT_CURSOR_QUERY);
  return SQL_SUCCESS;
}

}  // namespace

SQLRETURN desc_check_stmt_state(QuillStmt* stmt, int function, int field) {
  return check_one(stmt, stmt->errors, function, field, false);
}

SQLRETURN desc_check_desc_state(QuillDesc* desc, int function) {
  if (desc->stmt) {
    bool reads_ird = desc->kind == DESC_IRD && reads_descriptor(function);
    return check_one(desc->stmt, desc->errors, function, 0, reads_ird);
  }
  // An explicit descriptor is associated with every statement that uses it.
  if (!desc->dbc) return SQL_SUCCESS;
  std::lock_guard<std::mutex> members(desc->dbc->gate->members);
  for (QuillStmt* s = desc->dbc->statements; s; s = s->next) {
    if (s->ard != desc && s->apd != desc) continue;
    if (check_one(s, desc->errors, function, 0, false) != SQL_SUCCESS) return SQL_ERROR;
  }
  return SQL_SUCCESS;
}
