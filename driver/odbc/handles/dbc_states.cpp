// Connection state checks.
#include "driver/odbc/handles/dbc_states.h"

#include "driver/odbc/handles/frame.h"

namespace {
constexpr int kConnectionStateLock = 4;
}

ConnectionStateLock::ConnectionStateLock() {
  mutex_entry(kConnectionStateLock, "dbc_states", __LINE__);
}
ConnectionStateLock::~ConnectionStateLock() {
  mutex_exit(kConnectionStateLock);
}

DbcState dbc_state(const QuillDbc* dbc) {
  ConnectionStateLock lock;
  return dbc->state;
}

SQLRETURN dbc_check_connect(QuillDbc* dbc) {
  ConnectionStateLock lock;
  if (dbc->state >= DBC_BROWSING)
    return post_call_error(dbc->errors, "08002", "Connection name in use");
  return SQL_SUCCESS;
}

SQLRETURN dbc_check_browse(QuillDbc* dbc) {
  ConnectionStateLock lock;
  if (dbc->state >= DBC_CONNECTED)
    return post_call_error(dbc->errors, "08002", "Connection name in use");
  return SQL_SUCCESS;
}

SQLRETURN dbc_check_disconnect(QuillDbc* dbc) {
  ConnectionStateLock lock;
  if (dbc->state == DBC_ALLOCATED || dbc->state == DBC_DISCONNECTED)
    return post_call_error(dbc->errors, "08003", MSG_NO_CONNECTION);
  if (dbc->state == DBC_IN_TRANSACTION)
    return post_call_error(dbc->errors, "25000", "Invalid transaction state");
  return SQL_SUCCESS;
}

SQLRETURN dbc_check_end_tran(QuillDbc* dbc) {
  ConnectionStateLock lock;
  if (dbc->state < DBC_CONNECTED) return post_call_error(dbc->errors, "08003", MSG_NO_CONNECTION);
  return SQL_SUCCESS;
}

void dbc_set_state(QuillDbc* dbc, DbcState state) {
  ConnectionStateLock lock;
  dbc->state = state;
}

DbcState dbc_connected_state(const QuillDbc* dbc) {
  return dbc->statement_count > 0 ? DBC_WITH_STATEMENTS : DBC_CONNECTED;
}
