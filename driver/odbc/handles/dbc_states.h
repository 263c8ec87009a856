// Connection state checks of connecting, browsing, disconnecting and ending
// transactions; all run under the process-wide connection-state lock.
#pragma once

#include "driver/odbc/handles/handles.h"

SQLRETURN dbc_check_connect(QuillDbc* dbc);  // 08002 while browsing or connected
SQLRETURN dbc_check_browse(QuillDbc* dbc);   // 08002 while connected
SQLRETURN dbc_check_disconnect(
    QuillDbc* dbc);                           // 08003 when never connected; 25000 in a transaction
SQLRETURN dbc_check_end_tran(QuillDbc* dbc);  // 08003 below the connected state
// Holds the process-wide connection-state lock for its lifetime.
struct ConnectionStateLock {
  ConnectionStateLock();
  ~ConnectionStateLock();
  ConnectionStateLock(const ConnectionStateLock&) = delete;
  ConnectionStateLock& operator=(const ConnectionStateLock&) = delete;
};
// The connection's state, read under the lock.
DbcState dbc_state(const QuillDbc* dbc);
// Moves the connection to `state` under the lock.
void dbc_set_state(QuillDbc* dbc, DbcState state);
// The state a connected connection falls back to: with statements or without.
DbcState dbc_connected_state(const QuillDbc* dbc);
