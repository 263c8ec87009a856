// SQLFreeEnv: ODBC 2 environment release.
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "freeenv";

QUILL_EXPORT SQLRETURN SQLFreeEnv(SQLHENV env) {
  HandleCall call(SQL_HANDLE_ENV, env);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLFreeEnv( %h )", env);
  return TRACE_RETURN(kUnit, "SQLFreeEnv() returns %e", odbc_free_handle(SQL_HANDLE_ENV, env));
}
