// Connection attributes held in the connection record. The record is allocated
// zeroed, so the non-zero initial values are put in place by
// conn_attributes_init (the attribute functions also do it on first use).
#pragma once

#include <sql.h>
#include <sqlext.h>

struct ConnAttributes {
  bool initialized;            // conn_attributes_init has run
  SQLULEN async_enable;        // SQL_ATTR_ASYNC_ENABLE (0 unless async connections exist)
  SQLULEN access_mode;         // SQL_ATTR_ACCESS_MODE
  SQLULEN login_timeout;       // SQL_ATTR_LOGIN_TIMEOUT
  SQLULEN trace;               // SQL_ATTR_TRACE
  char* tracefile;             // SQL_ATTR_TRACEFILE, in the connection's pool; null when none
  char* translate_lib;         // SQL_ATTR_TRANSLATE_LIB, likewise
  SQLULEN translate_option;    // SQL_ATTR_TRANSLATE_OPTION
  SQLULEN txn_isolation;       // SQL_ATTR_TXN_ISOLATION, always SQL_TXN_READ_UNCOMMITTED
  char* current_catalog;       // SQL_ATTR_CURRENT_CATALOG, likewise
  SQLULEN odbc_cursors;        // SQL_ATTR_ODBC_CURSORS
  SQLULEN quiet_mode;          // SQL_ATTR_QUIET_MODE (a window handle)
  SQLULEN packet_size;         // SQL_ATTR_PACKET_SIZE
  SQLULEN connection_timeout;  // SQL_ATTR_CONNECTION_TIMEOUT
  SQLULEN metadata_id;         // SQL_ATTR_METADATA_ID
};

// Puts the initial values of a new connection in place (texts none).
inline void conn_attributes_init(ConnAttributes* attrs) {
  *attrs = ConnAttributes{};
  attrs->initialized = true;
  attrs->access_mode = SQL_MODE_READ_WRITE;
  attrs->txn_isolation = SQL_TXN_READ_UNCOMMITTED;
  attrs->odbc_cursors = SQL_CUR_USE_DRIVER;
}
