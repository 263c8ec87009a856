// SQLBrowseConnect and SQLBrowseConnectW: connect step by step, asking the
// application for what is missing.
#include "driver/odbc/connect/connection.h"
#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/wide_out.h"

static const char* const kUnit = "browseconnect";

static SQLRETURN browse_call(SQLHDBC handle, const char* in, SQLSMALLINT in_length, char* out,
                             SQLSMALLINT out_size, SQLSMALLINT* out_length) {
  if (!valid_dbc(handle)) return SQL_INVALID_HANDLE;
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  if (dbc_check_browse(dbc) != SQL_SUCCESS) return SQL_ERROR;
  return browse_connect(dbc, in, in_length, out, out_size, out_length);
}

QUILL_EXPORT SQLRETURN SQLBrowseConnect(SQLHDBC handle, SQLCHAR* in, SQLSMALLINT in_length,
                                        SQLCHAR* out, SQLSMALLINT out_size,
                                        SQLSMALLINT* out_length) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLBrowseConnect( %h, %S, %*p, %i, %p )", handle,
            reinterpret_cast<const char*>(in), static_cast<int>(in_length), static_cast<void*>(out),
            static_cast<int>(out_size), static_cast<void*>(out_length));
  SQLRETURN rc;
  try {
    rc = browse_call(handle, reinterpret_cast<const char*>(in), in_length,
                     reinterpret_cast<char*>(out), out_size, out_length);
  } catch (...) {
    rc = SQL_ERROR;
  }
  return TRACE_RETURN(kUnit, "SQLBrowseConnect() returns %e", rc);
}

QUILL_EXPORT SQLRETURN SQLBrowseConnectW(SQLHDBC handle, SQLWCHAR* in, SQLSMALLINT in_length,
                                         SQLWCHAR* out, SQLSMALLINT out_size,
                                         SQLSMALLINT* out_length) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLBrowseConnectW( %h, %p, %i, %p, %i, %p )", handle,
            static_cast<void*>(in), static_cast<int>(in_length), static_cast<void*>(out),
            static_cast<int>(out_size), static_cast<void*>(out_length));
  SQLRETURN rc;
  try {
    NarrowArg text(in, in_length);
    char narrow[4096] = "";
    SQLSMALLINT narrow_length = 0;
    rc = browse_call(handle, text.c_str(), text.null ? 0 : SQL_NTS, narrow, sizeof narrow,
                     &narrow_length);
    if (rc == SQL_NEED_DATA || SQL_SUCCEEDED(rc))
      rc = widen_out_string(static_cast<QuillDbc*>(handle)->errors, rc, narrow, out, out_size,
                            out_length);
  } catch (...) {
    rc = SQL_ERROR;
  }
  return TRACE_RETURN(kUnit, "SQLBrowseConnectW() returns %e", rc);
}
