// The catalog functions INFO_SCHEMA scans run, as this layer hands them to the INFO_SCHEMA
// backend: internal statements of the scanning connection, the exported catalog calls, fetch,
// get-data, diagnostics and SQLGetInfo.
#pragma once

#include "driver/backends/info_schema.h"

// The table of those functions (process-wide, never changes).
const InfoSchemaCatalog* odbc_info_schema_catalog();
