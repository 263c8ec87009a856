// SQLDriverConnect and SQLDriverConnectW: connect with a connection string,
// the data source's entries and, when allowed, the setup library's prompt.
#include <cstring>
#include <string>

#include "driver/odbc/connect/connection.h"
#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/wide_out.h"

static const char* const kUnit = "driverconnect";

static SQLRETURN driver_connect_call(SQLHDBC handle, SQLHWND window, const char* in,
                                     SQLSMALLINT in_length, char* out, SQLSMALLINT out_size,
                                     SQLSMALLINT* out_length, SQLUSMALLINT completion) {
  if (!valid_dbc(handle)) return SQL_INVALID_HANDLE;
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  if (dbc_check_connect(dbc) != SQL_SUCCESS) return SQL_ERROR;
  return driver_connect(dbc, window, in, in_length, out, out_size, out_length, completion);
}

QUILL_EXPORT SQLRETURN SQLDriverConnect(SQLHDBC handle, SQLHWND window, SQLCHAR* in,
                                        SQLSMALLINT in_length, SQLCHAR* out, SQLSMALLINT out_size,
                                        SQLSMALLINT* out_length, SQLUSMALLINT completion) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLDriverConnect( %h, %h, %S, %p, %i, %p, %u )", handle,
            static_cast<void*>(window), reinterpret_cast<const char*>(in),
            static_cast<int>(in_length), static_cast<void*>(out), static_cast<int>(out_size),
            static_cast<void*>(out_length), static_cast<int>(completion));
  SQLRETURN rc =
      driver_connect_call(handle, window, reinterpret_cast<const char*>(in), in_length,
                          reinterpret_cast<char*>(out), out_size, out_length, completion);
  if (g_trace_on.load(std::memory_order_relaxed))
    log_message(kUnit, __LINE__, rc == SQL_ERROR ? LOG_LEVEL_FAILURE : LOG_LEVEL_CALL,
                "SQLDriverConnect() returns %e, OutConnectionStr = %*S", static_cast<int>(rc),
                reinterpret_cast<const char*>(out), out_length);
  return rc;
}

QUILL_EXPORT SQLRETURN SQLDriverConnectW(SQLHDBC handle, SQLHWND window, SQLWCHAR* in,
                                         SQLSMALLINT in_length, SQLWCHAR* out, SQLSMALLINT out_size,
                                         SQLSMALLINT* out_length, SQLUSMALLINT completion) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLDriverConnectW( %h, %h, %p, %i, %p, %i, %p, %u )", handle,
            static_cast<void*>(window), static_cast<void*>(in), static_cast<int>(in_length),
            static_cast<void*>(out), static_cast<int>(out_size), static_cast<void*>(out_length),
            static_cast<int>(completion));
  SQLRETURN rc;
  try {
    NarrowArg text(in, in_length);
    char narrow[4096] = "";
    SQLSMALLINT narrow_length = 0;
    rc = driver_connect_call(handle, window, text.c_str(), text.null ? 0 : SQL_NTS, narrow,
                             sizeof narrow, &narrow_length, completion);
    if (SQL_SUCCEEDED(rc))
      rc = widen_out_string(static_cast<QuillDbc*>(handle)->errors, rc, narrow, out, out_size,
                            out_length);
  } catch (...) {
    rc = SQL_ERROR;
  }
  return TRACE_RETURN(kUnit, "SQLDriverConnectW() returns %e", rc);
}
