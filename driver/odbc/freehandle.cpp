// SQLFreeHandle: releases environments, connections, statements and explicit descriptors.
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "freehandle";

SQLRETURN odbc_free_handle(SQLSMALLINT type, SQLHANDLE handle) {
  // Callers inside the driver come without the handle's gate; an exported entry holds it.
  HandleCall call(type, handle);
  switch (type) {
    case SQL_HANDLE_ENV: {
      if (!valid_env(handle)) return SQL_INVALID_HANDLE;
      auto* env = static_cast<QuillEnv*>(handle);
      SetupErrorHeader(env->errors, 0);
      return free_env(env);
    }
    case SQL_HANDLE_DBC:
      if (!valid_dbc(handle)) return SQL_INVALID_HANDLE;
      return free_dbc(static_cast<QuillDbc*>(handle));
    case SQL_HANDLE_STMT: {
      if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
      auto* stmt = static_cast<QuillStmt*>(handle);
      SetupErrorHeader(stmt->errors, 0);
      // Another thread's call on it (or one that ran when this call arrived) keeps it.
      if (gate_in_use_elsewhere(stmt->gate))
        return post_call_error(stmt->errors, "HY010", MSG_SEQUENCE);
      if (stmt_check(stmt, SQL_API_SQLFREEHANDLE, 0) != SQL_SUCCESS) return SQL_ERROR;
      return free_stmt(stmt);
    }
    case SQL_HANDLE_DESC: {
      if (!valid_desc(handle)) return SQL_INVALID_HANDLE;
      auto* desc = static_cast<QuillDesc*>(handle);
      SetupErrorHeader(desc->errors, 0);
      return free_desc(desc);
    }
    default:
      return SQL_ERROR;
  }
}

QUILL_EXPORT SQLRETURN SQLFreeHandle(SQLSMALLINT type, SQLHANDLE handle) {
  HandleCall call(type, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLFreeHandle( %i, %h )", static_cast<int>(type), handle);
  return TRACE_RETURN(kUnit, "SQLFreeHandle() returns %e", odbc_free_handle(type, handle));
}
