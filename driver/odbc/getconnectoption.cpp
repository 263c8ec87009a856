// SQLGetConnectOption and SQLGetConnectOptionW: the ODBC 2 form of
// SQLGetConnectAttr; text options go into a buffer of the ODBC 2 maximum size.
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "getconnectoption";

namespace {

SQLRETURN get_connect_option(SQLHDBC handle, SQLUSMALLINT option, SQLPOINTER value, bool wide) {
  if (!valid_dbc(handle)) return SQL_INVALID_HANDLE;
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  SQLINTEGER buffer_length = 0;
  if (conn_attr_is_text(option))
    buffer_length = SQL_MAX_OPTION_STRING_LENGTH * (wide ? sizeof(SQLWCHAR) : 1);
  if (!wide) return get_conn_attr(dbc, option, value, buffer_length, nullptr);
  try {
    return get_conn_attr_wide(dbc, option, value, buffer_length, nullptr);
  } catch (...) {
    return post_call_error(dbc->errors, "HY001", MSG_MEMORY);
  }
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLGetConnectOption(SQLHDBC handle, SQLUSMALLINT option, SQLPOINTER value) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetConnectOption( %h, %u, %p )", handle,
            static_cast<int>(option), value);
  return TRACE_RETURN(kUnit, "SQLGetConnectOption() returns %e",
                      get_connect_option(handle, option, value, false));
}

QUILL_EXPORT SQLRETURN SQLGetConnectOptionW(SQLHDBC handle, SQLUSMALLINT option, SQLPOINTER value) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetConnectOptionW( %h, %u, %p )", handle,
            static_cast<int>(option), value);
  return TRACE_RETURN(kUnit, "SQLGetConnectOptionW() returns %e",
                      get_connect_option(handle, option, value, true));
}
