// SQLAllocEnv: ODBC 2 environment allocation (ODBC version 2).
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"

static const char* const kUnit = "allocenv";

QUILL_EXPORT SQLRETURN SQLAllocEnv(SQLHENV* output) {
  log_configure_from_settings();  // so that this first call is traced too
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLAllocEnv( %p )", static_cast<void*>(output));
  SQLRETURN rc = odbc_alloc_handle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, output);
  if (SQL_SUCCEEDED(rc))
    odbc_set_env_attr(*output, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2),
                      0);
  return trace_return_with(kUnit, __LINE__, "SQLAllocEnv() returns %e, OutputHandlePtr = %*h", rc,
                           output);
}
