// SQLEndTran: commit or roll back on a connection; nothing to do on an environment.
#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "endtran";

SQLRETURN odbc_end_tran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  switch (type) {
    case SQL_HANDLE_ENV: {
      if (!valid_env(handle)) return SQL_INVALID_HANDLE;
      auto* env = static_cast<QuillEnv*>(handle);
      SetupErrorHeader(env->errors, 0);
      return env_check_version_set(env);
    }
    case SQL_HANDLE_DBC: {
      if (!valid_dbc(handle)) return SQL_INVALID_HANDLE;
      auto* dbc = static_cast<QuillDbc*>(handle);
      SetupErrorHeader(dbc->errors, 0);
      if (dbc_check_end_tran(dbc) != SQL_SUCCESS) return SQL_ERROR;
      return end_transaction(dbc, completion);
    }
    default:
      return SQL_ERROR;
  }
}

QUILL_EXPORT SQLRETURN SQLEndTran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion) {
  HandleCall call(type, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLEndTran( %i, %h, %i )", static_cast<int>(type), handle,
            static_cast<int>(completion));
  return TRACE_RETURN(kUnit, "SQLEndTran() returns %e", odbc_end_tran(type, handle, completion));
}
