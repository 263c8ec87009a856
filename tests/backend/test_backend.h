// A backend for engine tests, behind the same operation table as any backend and installed
// in the data-source slot of a Dal: in-memory tables with configurable rows, key columns,
// statistics and capability bits, injectable faults (ignoring pushed restrictions, failing
// scans, slow fetches), and a log of every scan and the restrictions it received, so that
// tests can assert pushdown, sampling, join order and re-runs exactly. Rows can be inserted,
// updated, deleted and re-read by key, with a count of each kind of call; a large table can
// be loaded into a compact typed form that scans read fast.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "driver/dal/dal.h"

// One column of a test table.
struct TestColumn {
  std::string name;             // column name as reported (upper case by convention)
  int sql_type = SQL_INTEGER;   // ODBC SQL type code
  SQLLEN length = 10;           // column size
  int precision = 0;            // numeric precision or fraction digits
  int scale = 0;                // numeric scale
  int nullable = SQL_NULLABLE;  // SQL_NULLABLE or SQL_NO_NULLS
  bool required = false;        // a parameter: scans must restrict it (=, IN, or two bounds)
};

// One index for the statistics answer.
struct TestIndex {
  std::string name;          // index name
  bool unique = false;       // NON_UNIQUE = 0 when set
  std::vector<int> columns;  // 1-based column numbers, in key order
  long cardinality = -1;     // CARDINALITY of each index row; -1 answers NULL
};

// A cell: its text form ("12", "2024-01-31", "abc"), or no value for NULL.
using TestCell = std::optional<std::string>;

// Names in TestTable::keys that stand for the row key (DAL column -1, the 1-based row number)
// and the bookmark (DAL column -2, "row" followed by the row number) instead of a column.
inline constexpr const char* TEST_ROW_KEY = "$ROWKEY";
inline constexpr const char* TEST_BOOKMARK = "$BOOKMARK";

// The cells of a loaded table in a compact typed form (defined by the backend).
struct TestLoadedCells;

// One table with its rows and behaviour.
struct TestTable {
  std::string name;                         // table name (upper case by convention)
  std::vector<TestColumn> columns;          // columns in order
  std::vector<std::vector<TestCell>> rows;  // rows, one cell per column
  std::vector<std::string> keys;            // key column names for DALGetPKInfo (none: no key)
  long cardinality = -1;                    // table statistics row; -1 answers NULL
  std::vector<TestIndex> indexes;           // index rows of the statistics answer
  bool ignore_restrictions = false;         // hand out every row whatever was pushed
  bool fail_start = false;                  // start_scan posts an error
  int fail_after_rows = -1;                 // fetch posts an error after this many rows
  int fetch_delay_ms = 0;                   // each fetch sleeps this long first
  bool fail_long_reads = false;             // reading a LONG column posts an error
  // Row numbers by cell text for the first column of each index, built on first use: an `=`
  // restriction on an indexed integer or character column is answered through it.
  std::map<int, std::multimap<std::string, size_t>> lookup;
  // Cells of numeric columns as numbers (NaN for NULL), by 0-based column, built on first use.
  std::map<size_t, std::vector<double>> numbers;
  // The cells as test_table_load left them, read by scans in place of `rows` (null: not
  // loaded); the row operations drop it. Shared, and never changed, by copies of the table.
  std::shared_ptr<const TestLoadedCells> loaded;
};

// One scan as the backend saw it.
struct TestScan {
  std::string table;                      // table scanned
  int restriction_count = 0;              // count as given (negative: exact filtering asked)
  std::vector<std::string> restrictions;  // "COLUMN op value" per restriction, in order
  int rows_returned = 0;                  // rows handed out by fetch
};

// The whole backend: its tables, its capability answers and what it saw.
struct TestBackend {
  std::vector<TestTable> tables;  // the catalog
  unsigned capabilities = 0;      // DALGetInfo code 1 (restriction capability bits)
  double cost_factor = 1.0;       // DALGetInfo code 2
  int integer_factor = 1;         // DALGetInfo code 6
  bool passthrough = false;       // tables report the pass-through flag
  std::vector<TestScan> scans;    // every start_scan, in order (one shared entry without log)
  int prepared_scans = 0;         // get_info SQI_INFO_PREPARED_SCANS (0: scans one at a time)
  int prepare_calls = 0;          // prepare_scans calls taken
  int prepared_sets = 0;          // restriction sets they were given, all calls together
  // The restriction sets of the last prepare_scans, each as its scan would log them.
  std::vector<std::vector<std::string>> prepared;
  int prepared_hits = 0;     // scans whose restrictions equal a set of the last prepare_scans
  bool log_scans = true;     // keep the scan log (benchmarks turn it off)
  int statistics_calls = 0;  // statistics requests answered
  std::vector<std::string> definitions;  // data-definition requests taken ("DROP TABLE", ...)
  bool bulk_delete_refused = false;      // a delete without restrictions answers 2 (row by row)
  int insert_calls = 0;                  // DALInsertRow calls taken
  int update_calls = 0;                  // DALUpdateRow calls taken
  int delete_calls = 0;                  // DALDeleteRow calls taken (bulk ones too)
  int fetch_by_key_calls = 0;            // DALFetchByKey calls taken
  // A row found by key answers 2 (its LONG data pending) instead of 0.
  bool fetch_by_key_defers_long = false;
  // Runs at the start of every fetch by key with the table (a concurrent change), if set.
  std::function<void(TestTable&)> before_fetch_by_key;

  // The table named `name` (exact match), or null.
  TestTable* find(const std::string& name);
};

// Loads `table` for fast reading, as a database loads its rows: integer cells parsed once and
// text cells packed, which scans then read instead of the cells in `rows` with the same
// results. Insert, update and delete drop the load; change `rows` directly only before it.
void test_table_load(TestTable* table);
// The operation table of the test backend.
const SqiOperations* test_backend_operations();
// Makes `backend` the one the operation table serves (process-wide; tests run one at a time).
void test_backend_use(TestBackend* backend);
// Installs the test backend in the data-source slot of `dal` (before DALOpen).
void test_backend_install(Dal* dal, TestBackend* backend);
// Text form of a restriction as logged: "COLUMN op value" ("A = 5", "B LIKE 'x%'",
// "C IS NULL", "D IN (1, 2)").
std::string describe_restriction(const Restriction* restriction);
