// SQLDisconnect: releases the connection's statements, backends and schema fileset.
#include "driver/odbc/connect/connection.h"
#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "disconnect";

QUILL_EXPORT SQLRETURN SQLDisconnect(SQLHDBC handle) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLDisconnect( %h )", handle);
  if (!valid_dbc(handle))
    return TRACE_RETURN(kUnit, "SQLDisconnect() returns %e", SQL_INVALID_HANDLE);
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  if (dbc_check_disconnect(dbc) != SQL_SUCCESS)
    return TRACE_RETURN(kUnit, "SQLDisconnect() returns %e", SQL_ERROR);
  // A call of another thread on one of its statements would lose the statement under it.
  if (dbc->gate->busy_children.load() > 0)
    return TRACE_RETURN(kUnit, "SQLDisconnect() returns %e",
                        post_call_error(dbc->errors, "HY010", MSG_SEQUENCE));
  return TRACE_RETURN(kUnit, "SQLDisconnect() returns %e", disconnect_connection(dbc));
}
