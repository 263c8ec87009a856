// SQLSetConnectOption and SQLSetConnectOptionW: the ODBC 2 form of
// SQLSetConnectAttr; each option is the attribute of the same number and text
// options arrive NUL-terminated.
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "setconnectoption";

namespace {

SQLRETURN set_connect_option(SQLHDBC handle, SQLUSMALLINT option, SQLULEN value, bool wide) {
  if (!valid_dbc(handle)) return SQL_INVALID_HANDLE;
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  auto* pointer = reinterpret_cast<SQLPOINTER>(value);
  SQLINTEGER length = conn_attr_is_text(option) ? SQL_NTS : 0;
  if (!wide) return set_conn_attr(dbc, option, pointer, length);
  try {
    return set_conn_attr_wide(dbc, option, pointer, length);
  } catch (...) {
    return post_call_error(dbc->errors, "HY001", MSG_MEMORY);
  }
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLSetConnectOption(SQLHDBC handle, SQLUSMALLINT option, SQLULEN value) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetConnectOption( %h, %u, %U )", handle,
            static_cast<int>(option), value);
  return TRACE_RETURN(kUnit, "SQLSetConnectOption() returns %e",
                      set_connect_option(handle, option, value, false));
}

QUILL_EXPORT SQLRETURN SQLSetConnectOptionW(SQLHDBC handle, SQLUSMALLINT option, SQLULEN value) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetConnectOptionW( %h, %u, %U )", handle,
            static_cast<int>(option), value);
  return TRACE_RETURN(kUnit, "SQLSetConnectOptionW() returns %e",
                      set_connect_option(handle, option, value, true));
}
