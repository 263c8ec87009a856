// SQLFreeConnect: ODBC 2 connection release.
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "freeconnect";

QUILL_EXPORT SQLRETURN SQLFreeConnect(SQLHDBC dbc) {
  HandleCall call(SQL_HANDLE_DBC, dbc);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLFreeConnect( %h )", dbc);
  return TRACE_RETURN(kUnit, "SQLFreeConnect() returns %e", odbc_free_handle(SQL_HANDLE_DBC, dbc));
}
