// The virtual catalog INFO_SCHEMA: its fifteen tables with their static column
// descriptions, and the rows of each, made by running the driver's own catalog
// functions on an internal statement of the connection.
#pragma once

#include "driver/dal/sqi/rowset.h"
#include "driver/dal/sqi/sqi.h"

struct Restriction;

// The schema of the virtual catalog, and the prefix validation puts before a table name
// qualified with it ("INFO_SCHEMA.TABLES") so that only this backend answers for it.
constexpr const char* INFO_SCHEMA_NAME = "INFO_SCHEMA";
constexpr const char* INFO_SCHEMA_PREFIX = "INFO_SCHEMA.";

// Describes "INFO_SCHEMA.<table>" (exact, case-sensitive names); SQI_NOT_FOUND otherwise.
int info_schema_describe_table(const char* name, DalTable* out);
// Copies the static descriptions of the table's `count` columns; SQI_ERROR for a wrong count.
int info_schema_describe_columns(const DalTable* table, int count, DalColumn* out);
// The rows of `table` for a scan on the connection that `target` (a diagnostic target of the
// connection or one of its statements) belongs to. Equality restrictions on TABLE_NAME and
// COLUMN_NAME of COLUMNS are passed on to the catalog call and applied exactly. Null after
// posting through `service` (the internal statement's diagnostics, or HY001).
RowSet* info_schema_rows(void* target, SqiService service, const DalTable* table,
                         int restriction_count, Restriction* const* restrictions);
