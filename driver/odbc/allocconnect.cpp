// SQLAllocConnect: ODBC 2 connection allocation.
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "allocconnect";

QUILL_EXPORT SQLRETURN SQLAllocConnect(SQLHENV env, SQLHDBC* output) {
  HandleCall call(SQL_HANDLE_ENV, env);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLAllocConnect( %h, %p )", env, static_cast<void*>(output));
  SQLRETURN rc = odbc_alloc_handle(SQL_HANDLE_DBC, env, output);
  return trace_return_with(kUnit, __LINE__, "SQLAllocConnect() returns %e, OutputHandlePtr = %*h",
                           rc, output);
}
