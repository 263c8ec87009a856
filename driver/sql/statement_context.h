// What the engine knows of the ODBC statement it works for: the ODBC version, the row limit,
// the time-out and the cancel flag, plus the two questions it asks about the statement's
// connection (where sorts put their work files and how much memory they take; which plans the
// cursor a positioned UPDATE or DELETE names runs). The call layer fills it; the engine never
// sees a handle record. The connection the questions take is the one the data-access context
// was made for (Dal::connection), opaque here.
#pragma once

#include <sql.h>
#include <sqlext.h>

struct StatementPlanList;

// Fills `directory` (capacity `size`, NUL-terminated; "" for $TMPDIR) with the work directory
// of the sorts of `connection` and returns their work_mem_size in MB (below 1: the default).
using SortSettingsQuestion = long (*)(void* connection, char* directory, int size);

// The plans of the statement of `connection` whose cursor is named `name`, when that statement
// is positioned on a fetched row; null when there is no such cursor or it has no current row.
using FetchedCursorQuestion = StatementPlanList* (*)(void* connection, const char* name);

struct StatementContext {
  int odbc_version;                            // 2 or 3 (date and time type codes)
  SQLULEN max_rows;                            // SQL_ATTR_MAX_ROWS (0: no limit)
  SQLULEN query_timeout;                       // SQL_ATTR_QUERY_TIMEOUT seconds (0: none)
  const int* cancel_flag;                      // read atomically; non-zero asks the statement to
                                               // stop (SQLCancel); or null
  SortSettingsQuestion sort_settings;          // null: $TMPDIR and the default budget
  FetchedCursorQuestion fetched_cursor_plans;  // null: no cursor is ever found
};
