// SQLDisconnect: releases the connection's statements, backends and schema fileset.
#include "driver/odbc/handles/connection.h"
#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/handles/frame.h"

static const char* const kUnit = "disconnect";

QUILL_EXPORT SQLRETURN SQLDisconnect(SQLHDBC handle) {
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLDisconnect( %h )", handle);
  if (!valid_dbc(handle))
    return TRACE_RETURN(kUnit, "SQLDisconnect() returns %e", SQL_INVALID_HANDLE);
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  if (dbc_check_disconnect(dbc) != SQL_SUCCESS)
    return TRACE_RETURN(kUnit, "SQLDisconnect() returns %e", SQL_ERROR);
  return TRACE_RETURN(kUnit, "SQLDisconnect() returns %e", disconnect_connection(dbc));
}
