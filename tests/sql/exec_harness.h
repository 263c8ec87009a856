// Runs SQL text against the in-memory test backend: declares tables compactly, parses,
// validates and executes a statement, and returns every result row as text
// ("1|abc|NULL"), or the first diagnostic as "STATE message". Also registers the "query"
// check of the case files (tests/sql/cases; its lines are described in exec_harness.cpp).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "driver/sql/exec.h"
#include "tests/backend/test_backend.h"

// Engine settings and parameters of one run.
struct ExecRunOptions {
  SQLULEN max_rows = 0;  // SQL_ATTR_MAX_ROWS
  SQLULEN timeout = 0;   // query time-out seconds
  // Parameter sets, one text cell per parameter: digits make an INTEGER, "NULL" a NULL,
  // anything else a character value.
  std::vector<std::vector<std::string>> parameter_sets;
  std::vector<SQLUSMALLINT> operations;  // per set SQL_PARAM_PROCEED/IGNORE (empty: all proceed)
  long work_mem_size = 0;  // the sorts' work_mem_size in megabytes (0: the default budget)
};

// What one run produced.
struct ExecRunResult {
  int rc = 0;                          // exec_statement result, or the failing fetch's (-1)
  std::vector<std::string> rows;       // rows as "v1|v2|..." (NULL as "NULL")
  std::string error;                   // first diagnostic "STATE message", "" when none
  int native_error = 0;                // its native error
  std::vector<SQLUSMALLINT> statuses;  // parameter status array after the run
  SQLULEN processed = 0;               // parameter sets processed
  long long row_count = 0;             // rows a modification changed (exec_row_count)
};

// A test backend with a data-access layer opened over it.
class ExecHarness {
 public:
  ExecHarness();
  ~ExecHarness();
  ExecHarness(const ExecHarness&) = delete;
  ExecHarness& operator=(const ExecHarness&) = delete;

  // The backend (tables, capabilities, faults, scan log); change it before run().
  TestBackend& backend() { return backend_; }
  // Adds a table from "NAME (COL TYPE[(n[,s])], ...) [keys C1,C2] [cardinality N]
  // [index NAME [unique] (C1,...)] [required C1,C2]" (required: parameter columns every scan
  // must restrict) and its rows ("1|abc|NULL"). False with *error set.
  bool declare(const std::string& declaration, const std::vector<std::string>& rows,
               std::string* error);
  // Parses, validates and executes `sql`, then fetches every row.
  ExecRunResult run(const std::string& sql, const ExecRunOptions& options = {});
  // As run(), also handing the live statement to `inspect` after each fetched row, before
  // the harness reads its columns (for checks on result-column buffers).
  ExecRunResult run_with(const std::string& sql, const ExecRunOptions& options,
                         void (*inspect)(ExecStatement* statement, void* context), void* context);
  // The restrictions of every scan of `table` so far, each scan as "R1; R2" in order.
  std::vector<std::string> scans_of(const std::string& table) const;
  // Serves the data-source slot with `operations` instead of the test backend's own table
  // (a copy of test_backend_operations() with slots replaced); null restores it.
  void set_operations(const SqiOperations* operations) { operations_ = operations; }

 private:
  TestBackend backend_;
  const SqiOperations* operations_ = nullptr;
};

// Text form of a value as the harness prints it ("NULL" for NULL).
std::string exec_value_text(const QuillValue* value);
