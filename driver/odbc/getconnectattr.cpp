// SQLGetConnectAttr and SQLGetConnectAttrW: read one connection attribute.
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "getconnectattr";

QUILL_EXPORT SQLRETURN SQLGetConnectAttr(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value,
                                         SQLINTEGER buffer_length, SQLINTEGER* string_length) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetConnectAttr( %h, %d, %p, %d, %p )", handle,
            static_cast<int>(attribute), value, static_cast<int>(buffer_length),
            static_cast<void*>(string_length));
  if (!valid_dbc(handle))
    return TRACE_RETURN(kUnit, "SQLGetConnectAttr() returns %e", SQL_INVALID_HANDLE);
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  return TRACE_RETURN(kUnit, "SQLGetConnectAttr() returns %e",
                      get_conn_attr(dbc, attribute, value, buffer_length, string_length));
}

QUILL_EXPORT SQLRETURN SQLGetConnectAttrW(SQLHDBC handle, SQLINTEGER attribute, SQLPOINTER value,
                                          SQLINTEGER buffer_length, SQLINTEGER* string_length) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetConnectAttrW( %h, %d, %p, %d, %p )", handle,
            static_cast<int>(attribute), value, static_cast<int>(buffer_length),
            static_cast<void*>(string_length));
  if (!valid_dbc(handle))
    return TRACE_RETURN(kUnit, "SQLGetConnectAttrW() returns %e", SQL_INVALID_HANDLE);
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  SQLRETURN rc;
  try {
    rc = get_conn_attr_wide(dbc, attribute, value, buffer_length, string_length);
  } catch (...) {
    rc = post_call_error(dbc->errors, "HY001", MSG_MEMORY);
  }
  return TRACE_RETURN(kUnit, "SQLGetConnectAttrW() returns %e", rc);
}
