// SQLAllocHandleStd: SQLAllocHandle that makes ODBC 3 environments.
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"

static const char* const kUnit = "allochandlestd";

QUILL_EXPORT SQLRETURN SQLAllocHandleStd(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  HandleCall call(parent_type_of(type), input);
  log_configure_from_settings();  // so that this first call is traced too
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLAllocHandleStd( %i, %h, %p )", static_cast<int>(type), input,
            static_cast<void*>(output));
  SQLRETURN rc = odbc_alloc_handle(type, input, output);
  if (type == SQL_HANDLE_ENV && SQL_SUCCEEDED(rc))
    static_cast<QuillEnv*>(*output)->odbc_version = SQL_OV_ODBC3;
  return trace_return_with(kUnit, __LINE__, "SQLAllocHandleStd() returns %e, OutputHandlePtr = %*h",
                           rc, output);
}
