// SQLFreeHandle: releases environments, connections, statements and explicit descriptors.
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "freehandle";

SQLRETURN odbc_free_handle(SQLSMALLINT type, SQLHANDLE handle) {
  switch (type) {
    case SQL_HANDLE_ENV:
      if (!valid_env(handle)) return SQL_INVALID_HANDLE;
      return free_env(static_cast<QuillEnv*>(handle));
    case SQL_HANDLE_DBC:
      if (!valid_dbc(handle)) return SQL_INVALID_HANDLE;
      return free_dbc(static_cast<QuillDbc*>(handle));
    case SQL_HANDLE_STMT: {
      if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
      auto* stmt = static_cast<QuillStmt*>(handle);
      SetupErrorHeader(stmt->errors, 0);
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
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLFreeHandle( %i, %h )", static_cast<int>(type), handle);
  return TRACE_RETURN(kUnit, "SQLFreeHandle() returns %e", odbc_free_handle(type, handle));
}
