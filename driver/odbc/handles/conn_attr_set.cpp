// Setting connection attributes: the connection's own values, its texts kept
// in the connection's pool, autocommit with its commit, and statement
// attributes kept on the template statement for statements allocated later.
#include <cstring>

#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/connect/connection.h"
#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/handles/frame.h"
#include "support/threads.h"

namespace {

// Options of another vendor's driver, accepted and ignored.
constexpr SQLINTEGER kVendorOptionA = 1041;
constexpr SQLINTEGER kVendorOptionB = 1042;

// Statements of a connection can run their work on a worker thread of their own.
bool can_connect_async() {
  return true;
}

// The connection-state refusals of SQLSetConnectAttr.
SQLRETURN check_set_conn_attr(QuillDbc* dbc, SQLINTEGER attribute) {
  DbcState state = dbc_state(dbc);
  if (state == DBC_BROWSING) return post_call_error(dbc->errors, "HY010", MSG_SEQUENCE);
  if (state == DBC_ALLOCATED &&
      (attribute == SQL_ATTR_TRANSLATE_LIB || attribute == SQL_ATTR_TRANSLATE_OPTION))
    return post_call_error(dbc->errors, "08003", MSG_NO_CONNECTION);
  if (state >= DBC_CONNECTED) {
    if (attribute == SQL_ATTR_ODBC_CURSORS)
      return post_call_error(dbc->errors, "08002", "Connection name in use");
    if (attribute == SQL_ATTR_PACKET_SIZE ||
        (attribute == SQL_ATTR_TXN_ISOLATION && state == DBC_IN_TRANSACTION))
      return post_call_error(dbc->errors, "HY011", MSG_CANNOT_SET_NOW);
  }
  return SQL_SUCCESS;
}

// Replaces a text attribute with `length` bytes of `value` (SQL_NTS: up to its NUL);
// a null value clears it.
SQLRETURN set_text(QuillDbc* dbc, char*& slot, SQLPOINTER value, SQLINTEGER length) {
  char* copy = nullptr;
  if (value) {
    if (length < 0 && length != SQL_NTS)
      return post_call_error(dbc->errors, "HY090", MSG_BAD_LENGTH);
    const char* text = static_cast<const char*>(value);
    copy = quill_mem_strdup(dbc->pool, text, length == SQL_NTS ? -1 : length);
    if (!copy) return post_call_error(dbc->errors, "HY001", MSG_MEMORY);
  }
  quill_mem_free(dbc->pool, slot);
  slot = copy;
  return SQL_SUCCESS;
}

SQLRETURN set_autocommit(QuillDbc* dbc, SQLULEN n) {
  if (n != SQL_AUTOCOMMIT_OFF && n != SQL_AUTOCOMMIT_ON)
    return post_call_error(dbc->errors, "HY024", MSG_BAD_ATTR_VALUE);
  if (n == SQL_AUTOCOMMIT_ON && dbc->state == DBC_IN_TRANSACTION) {
    SQLRETURN rc = end_transaction(dbc, SQL_COMMIT);
    if (!SQL_SUCCEEDED(rc)) return rc;
  }
  dbc->autocommit = static_cast<SQLUINTEGER>(n);
  return SQL_SUCCESS;
}

SQLRETURN set_async_enable(QuillDbc* dbc, SQLULEN n) {
  if (n == SQL_ASYNC_ENABLE_ON && !can_connect_async())
    return post_call_error(dbc->errors, "IM001", MSG_NO_FUNCTION);
  if (n != SQL_ASYNC_ENABLE_OFF && n != SQL_ASYNC_ENABLE_ON)
    return post_call_error(dbc->errors, "HY024", MSG_BAD_ATTR_VALUE);
  conn_attributes_of(dbc).async_enable = n;
  dbc->template_stmt->attrs.async_enable = n;
  return SQL_SUCCESS;
}

}  // namespace

SQLRETURN set_conn_attr(QuillDbc* dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length) {
  if (check_set_conn_attr(dbc, attribute) != SQL_SUCCESS) return SQL_ERROR;
  ConnAttributes& a = conn_attributes_of(dbc);
  SQLULEN n = reinterpret_cast<SQLULEN>(value);
  switch (attribute) {
    case SQL_ATTR_ASYNC_ENABLE:
      return set_async_enable(dbc, n);
    case SQL_ATTR_ACCESS_MODE:
      a.access_mode = n;
      return SQL_SUCCESS;
    case SQL_ATTR_AUTOCOMMIT:
      return set_autocommit(dbc, n);
    case SQL_ATTR_LOGIN_TIMEOUT:
      a.login_timeout = n;
      pass_timeouts(dbc);
      return SQL_SUCCESS;
    case SQL_ATTR_TRACE:
      a.trace = n;
      return SQL_SUCCESS;
    case SQL_ATTR_TRACEFILE:
      return set_text(dbc, a.tracefile, value, length);
    case SQL_ATTR_TRANSLATE_LIB:
      return set_text(dbc, a.translate_lib, value, length);
    case SQL_ATTR_TRANSLATE_OPTION:
      a.translate_option = n;
      return SQL_SUCCESS;
    case SQL_ATTR_TXN_ISOLATION:
      // Reads are never isolated from anything on a node; the level cannot change.
      return SQL_SUCCESS;
    case SQL_ATTR_CURRENT_CATALOG:
      return set_text(dbc, a.current_catalog, value, length);
    case SQL_ATTR_ODBC_CURSORS:
      a.odbc_cursors = n;
      return SQL_SUCCESS;
    case SQL_ATTR_QUIET_MODE:
      a.quiet_mode = n;
      return SQL_SUCCESS;
    case SQL_ATTR_PACKET_SIZE:
      a.packet_size = n;
      return SQL_SUCCESS;
    case SQL_ATTR_CONNECTION_TIMEOUT:
      a.connection_timeout = n;
      pass_timeouts(dbc);
      return SQL_SUCCESS;
    case SQL_ATTR_METADATA_ID:
      a.metadata_id = n;
      dbc->template_stmt->attrs.metadata_id = n;
      return SQL_SUCCESS;
    case kVendorOptionA:
    case kVendorOptionB:
      return SQL_SUCCESS;
    default:
      if (stmt_attr_settable_on_connection(attribute))
        return store_stmt_attr(dbc->template_stmt, dbc->errors, attribute, value);
      return post_call_error(dbc->errors, "HY024", MSG_BAD_ATTR_VALUE);
  }
}
