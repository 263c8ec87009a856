// SQLSetConnectAttr and SQLSetConnectAttrW: set one connection attribute.
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "setconnectattr";

QUILL_EXPORT SQLRETURN SQLSetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value,
                                         SQLINTEGER length) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetConnectAttr( %h, %d, %p, %d )", handle,
            static_cast<int>(attribute), value, static_cast<int>(length));
  if (!valid_dbc(handle))
    return TRACE_RETURN(kUnit, "SQLSetConnectAttr() returns %e", SQL_INVALID_HANDLE);
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  return TRACE_RETURN(kUnit, "SQLSetConnectAttr() returns %e",
                      set_conn_attr(dbc, attribute, value, length));
}

QUILL_EXPORT SQLRETURN SQLSetConnectAttrW(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value,
                                          SQLINTEGER length) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetConnectAttrW( %h, %d, %p, %d )", handle,
            static_cast<int>(attribute), value, static_cast<int>(length));
  if (!valid_dbc(handle))
    return TRACE_RETURN(kUnit, "SQLSetConnectAttrW() returns %e", SQL_INVALID_HANDLE);
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  SQLRETURN rc;
  try {
    rc = set_conn_attr_wide(dbc, attribute, value, length);
  } catch (...) {
    rc = post_call_error(dbc->errors, "HY001", MSG_MEMORY);
  }
  return TRACE_RETURN(kUnit, "SQLSetConnectAttrW() returns %e", rc);
}
