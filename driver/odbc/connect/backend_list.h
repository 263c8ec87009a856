// The backends of every connection's data-access context, in list order: the view store,
// the INFO_SCHEMA tables (reading their rows through this layer's catalog functions) and the
// data source: the backend module that QUILLDRV_BACKEND_MODULE names, else Ethereum.
#pragma once

#include "driver/dal/dal.h"

struct QuillDbc;

// Creates the data-access context of `connection` (null for a context that serves no
// connection, as the engine's tests use) with the driver's backends installed; null on memory
// failure. `connection->env` must be set: its ODBC version is the context's.
Dal* dal_create(QuillDbc* connection, ErrorHeader* errors);
