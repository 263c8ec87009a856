// SQLAllocHandle: environments, connections, statements and explicit descriptors.
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"

static const char* const kUnit = "allochandle";

SQLRETURN odbc_alloc_handle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  // Callers inside the driver (the internal statements of INFO_SCHEMA scans) come without the
  // input handle's gate; an exported entry already holds it.
  HandleCall call(parent_type_of(type), input);
  switch (type) {
    case SQL_HANDLE_ENV:
      return alloc_env(output);
    case SQL_HANDLE_DBC: {
      if (!valid_env(input)) return SQL_INVALID_HANDLE;
      auto* env = static_cast<QuillEnv*>(input);
      SetupErrorHeader(env->errors, 0);
      return alloc_dbc(env, output);
    }
    case SQL_HANDLE_STMT: {
      if (!valid_dbc(input)) return SQL_INVALID_HANDLE;
      auto* dbc = static_cast<QuillDbc*>(input);
      SetupErrorHeader(dbc->errors, 0);
      return alloc_stmt(dbc, output);
    }
    case SQL_HANDLE_DESC: {
      if (!valid_dbc(input)) return SQL_INVALID_HANDLE;
      auto* dbc = static_cast<QuillDbc*>(input);
      SetupErrorHeader(dbc->errors, 0);
      return alloc_desc(dbc, output);
    }
    default:
      return SQL_ERROR;
  }
}

QUILL_EXPORT SQLRETURN SQLAllocHandle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output) {
  HandleCall call(parent_type_of(type), input);
  log_configure_from_settings();  // so that this first call is traced too
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLAllocHandle( %i, %h, %p )", static_cast<int>(type), input,
            static_cast<void*>(output));
  SQLRETURN rc = odbc_alloc_handle(type, input, output);
  return trace_return_with(kUnit, __LINE__, "SQLAllocHandle() returns %e, OutputHandlePtr = %*h",
                           rc, output);
}
