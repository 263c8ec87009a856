// Reading connection attributes, with the connection-state refusals of
// SQLGetConnectAttr.
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/handles/frame.h"
#include "support/strbuf.h"
#include "support/threads.h"

namespace {

// Readable before connecting, together with 101 to 105 and SQL_ATTR_ODBC_CURSORS.
constexpr SQLINTEGER kReadableWhenAllocated = 30002;

SQLRETURN check_get_conn_attr(QuillDbc* dbc, SQLINTEGER attribute) {
  int state = dbc_state(dbc);
  if (state == DBC_BROWSING) return post_call_error(dbc->errors, "HY010", MSG_SEQUENCE);
  bool readable = (attribute >= SQL_ATTR_ACCESS_MODE && attribute <= SQL_ATTR_TRACEFILE) ||
                  attribute == SQL_ATTR_ODBC_CURSORS || attribute == kReadableWhenAllocated;
  if (state == DBC_ALLOCATED && !readable)
    return post_call_error(dbc->errors, "08003", MSG_NO_CONNECTION);
  return SQL_SUCCESS;
}

SQLRETURN put_text(QuillDbc* dbc, const char* text, SQLPOINTER value, SQLINTEGER buffer_length,
                   SQLINTEGER* string_length) {
  if (value && buffer_length < 0) return post_call_error(dbc->errors, "HY090", MSG_BAD_LENGTH);
  if (copy_str_bufferi(value, buffer_length, string_length, text))
    return post_call_warning(dbc->errors, "01004", MSG_TRUNCATED);
  return SQL_SUCCESS;
}

template <typename T>
SQLRETURN put_number(T number, SQLPOINTER value, SQLINTEGER* string_length) {
  if (value) *static_cast<T*>(value) = number;
  if (string_length) *string_length = sizeof(T);
  return SQL_SUCCESS;
}

SQLRETURN put_uint(SQLULEN number, SQLPOINTER value, SQLINTEGER* string_length) {
  return put_number(static_cast<SQLUINTEGER>(number), value, string_length);
}

}  // namespace

SQLRETURN get_conn_attr(QuillDbc* dbc, SQLINTEGER attribute, SQLPOINTER value,
                        SQLINTEGER buffer_length, SQLINTEGER* string_length) {
  if (check_get_conn_attr(dbc, attribute) != SQL_SUCCESS) return SQL_ERROR;
  const ConnAttributes& a = conn_attributes_of(dbc);
  SQLINTEGER* len = string_length;
  switch (attribute) {
    // ODBC declares these two SQLULEN and the window handle a pointer; the rest SQLUINTEGER.
    case SQL_ATTR_ASYNC_ENABLE:
      return put_number(a.async_enable, value, len);
    case SQL_ATTR_ODBC_CURSORS:
      return put_number(a.odbc_cursors, value, len);
    case SQL_ATTR_QUIET_MODE:
      return put_number(reinterpret_cast<SQLPOINTER>(a.quiet_mode), value, len);
    case SQL_ATTR_ACCESS_MODE:
      return put_uint(a.access_mode, value, len);
    case SQL_ATTR_AUTOCOMMIT:
      return put_uint(dbc->autocommit, value, len);
    case SQL_ATTR_LOGIN_TIMEOUT:
      return put_uint(a.login_timeout, value, len);
    case SQL_ATTR_TRACE:
      return put_uint(a.trace, value, len);
    case SQL_ATTR_TRANSLATE_OPTION:
      return put_uint(a.translate_option, value, len);
    case SQL_ATTR_TXN_ISOLATION:
      return put_uint(SQL_TXN_READ_UNCOMMITTED, value, len);
    case SQL_ATTR_PACKET_SIZE:
      return put_uint(a.packet_size, value, len);
    case SQL_ATTR_CONNECTION_TIMEOUT:
      return put_uint(a.connection_timeout, value, len);
    case SQL_ATTR_METADATA_ID:
      return put_uint(a.metadata_id, value, len);
    case SQL_ATTR_CONNECTION_DEAD:
      return put_uint(SQL_CD_FALSE, value, len);
    case SQL_ATTR_AUTO_IPD:
      return put_uint(SQL_FALSE, value, len);
    case SQL_ATTR_TRACEFILE:
      return put_text(dbc, a.tracefile, value, buffer_length, len);
    case SQL_ATTR_TRANSLATE_LIB:
      return put_text(dbc, a.translate_lib, value, buffer_length, len);
    case SQL_ATTR_CURRENT_CATALOG:
      return put_text(dbc, a.current_catalog, value, buffer_length, len);
    default:
      return post_call_error(dbc->errors, "HY024", MSG_BAD_ATTR_VALUE);
  }
}
