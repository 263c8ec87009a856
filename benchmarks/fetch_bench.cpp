// Fetch throughput through the unixODBC Driver Manager: `SELECT * FROM rows_N` (8 columns,
// 1,000,000 rows by default) from this driver over the generated-table backend module, beside
// the SQLite ODBC driver reading the same rows from an in-memory table filled in the same
// connection. Three ways of fetching: bound columns with a row array of 1, bound columns with
// a row array of 1,000, and SQLGetData on every column of every row.
//
//   quill_fetch_bench [rows] [--driver=PATH] [--module=PATH] [--sqlite=PATH]
//
// Prints rows per second for each mode and driver and the ratio; a checksum over every value
// read guards against a side that skips work. No timing is asserted.
#include <sql.h>
#include <sqlext.h>

#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/backend/rows_data.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kTextSize = rows_data::kTextColumnLength + 1;

std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {0};
  SQLCHAR message[512] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(
          SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length)))
    return "(no diagnostic)";
  return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message);
}

// The checksum of a row as every mode computes it from the values it read.
uint64_t row_sum(SQLINTEGER id, SQLINTEGER i2, SQLINTEGER i3, double d1, double d2, double d3,
                 SQLLEN s1_length, SQLLEN s2_length, const char* s1, const char* s2) {
  uint64_t bytes = 0;
  for (const char* p = s1; *p; ++p) bytes += static_cast<unsigned char>(*p);
  if (s2_length != SQL_NULL_DATA)
    for (const char* p = s2; *p; ++p) bytes += static_cast<unsigned char>(*p) * 3u;
  return bytes + static_cast<uint64_t>(id) + static_cast<uint64_t>(static_cast<int64_t>(i2)) +
         static_cast<uint64_t>(static_cast<int64_t>(i3)) +
         static_cast<uint64_t>(static_cast<int64_t>(d1 * 8 + d2 * 8 + d3 * 8)) +
         static_cast<uint64_t>(s1_length) * 3 +
         (s2_length == SQL_NULL_DATA ? 7u : static_cast<uint64_t>(s2_length) * 5);
}

uint64_t expected_sum(int64_t rows) {
  uint64_t sum = 0;
  char text1[rows_data::kTextBufferSize], text2[rows_data::kTextBufferSize] = "";
  for (int64_t id = 1; id <= rows; ++id) {
    SQLLEN s1 = static_cast<SQLLEN>(rows_data::s1(id, text1));
    SQLLEN s2 =
        rows_data::s2_is_null(id) ? SQL_NULL_DATA : static_cast<SQLLEN>(rows_data::s2(id, text2));
    sum += row_sum(static_cast<SQLINTEGER>(id), rows_data::i2(id), rows_data::i3(id),
                   rows_data::d1(id), rows_data::d2(id), rows_data::d3(id), s1, s2, text1, text2);
  }
  return sum;
}

// What one timed pass gives.
struct Pass {
  bool ok = false;
  int64_t rows = 0;
  uint64_t sum = 0;
  double seconds = 0;
};

enum Mode { kBoundSingle, kBoundArray, kGetData };
const char* const kModeNames[] = {"bound, array 1", "bound, array 1000", "SQLGetData"};

// Runs the query once in `mode` and reads every row.
Pass timed_pass(SQLHDBC dbc, const std::string& sql, Mode mode) {
  Pass pass;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) return pass;
  const SQLULEN array = mode == kBoundArray ? 1000 : 1;
  std::vector<SQLINTEGER> integers(3 * array);
  std::vector<double> doubles(3 * array);
  std::vector<char> texts(2 * array * kTextSize);
  std::vector<SQLLEN> indicators(8 * array);
  SQLULEN fetched = 0;
  if (mode != kGetData) {
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(array), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    for (SQLUSMALLINT c = 0; c < 3; ++c) {
      SQLBindCol(stmt, c + 1, SQL_C_SLONG, &integers[c * array], sizeof(SQLINTEGER),
                 &indicators[c * array]);
      SQLBindCol(stmt, c + 4, SQL_C_DOUBLE, &doubles[c * array], sizeof(double),
                 &indicators[(3 + c) * array]);
    }
    for (SQLUSMALLINT c = 0; c < 2; ++c)
      SQLBindCol(stmt, c + 7, SQL_C_CHAR, &texts[c * array * kTextSize], kTextSize,
                 &indicators[(6 + c) * array]);
  }
  Clock::time_point start = Clock::now();
  SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (!SQL_SUCCEEDED(rc)) {
    std::printf("  %s: %s\n", sql.c_str(), diagnostics(SQL_HANDLE_STMT, stmt).c_str());
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return pass;
  }
  while ((rc = SQLFetch(stmt)) != SQL_NO_DATA) {
    if (!SQL_SUCCEEDED(rc)) {
      std::printf("  SQLFetch: %s\n", diagnostics(SQL_HANDLE_STMT, stmt).c_str());
      SQLFreeHandle(SQL_HANDLE_STMT, stmt);
      return pass;
    }
    if (mode == kGetData) {
      SQLINTEGER ints[3];
      double reals[3];
      char text[2][kTextSize] = {"", ""};
      SQLLEN lengths[8];
      for (SQLUSMALLINT c = 0; c < 3; ++c) {
        SQLGetData(stmt, c + 1, SQL_C_SLONG, &ints[c], sizeof(SQLINTEGER), &lengths[c]);
        SQLGetData(stmt, c + 4, SQL_C_DOUBLE, &reals[c], sizeof(double), &lengths[3 + c]);
      }
      for (SQLUSMALLINT c = 0; c < 2; ++c)
        SQLGetData(stmt, c + 7, SQL_C_CHAR, text[c], kTextSize, &lengths[6 + c]);
      pass.sum += row_sum(ints[0], ints[1], ints[2], reals[0], reals[1], reals[2], lengths[6],
                          lengths[7], text[0], text[1]);
      ++pass.rows;
      continue;
    }
    SQLULEN count = fetched;
    for (SQLULEN i = 0; i < count; ++i)
      pass.sum += row_sum(integers[i], integers[array + i], integers[2 * array + i], doubles[i],
                          doubles[array + i], doubles[2 * array + i], indicators[6 * array + i],
                          indicators[7 * array + i], &texts[i * kTextSize],
                          &texts[(array + i) * kTextSize]);
    pass.rows += static_cast<int64_t>(count);
  }
  pass.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  pass.ok = true;
  return pass;
}

bool execute(SQLHDBC dbc, const std::string& sql) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
  bool ok = SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA;
  if (!ok) std::printf("  %s: %s\n", sql.c_str(), diagnostics(SQL_HANDLE_STMT, stmt).c_str());
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return ok;
}

// Creates rows_N in the SQLite connection and fills it inside one transaction with one
// INSERT ... SELECT over a recursive row generator: the formulas of rows_data.h written in
// SQL (the letters of s1 and the digits of s2 run on from the prefix, so each is a slice of a
// repeated alphabet). The checksum of every pass proves both sides hold the same values.
bool fill_sqlite(SQLHDBC dbc, const std::string& table, int64_t rows) {
  const std::string letters = "abcdefghijklmnopqrstuvwxyz";
  const std::string digits = "0123456789";
  const std::string sql =
      "INSERT INTO " + table +
      " WITH RECURSIVE n(id) AS (SELECT 1 UNION ALL SELECT id + 1 FROM n WHERE id < " +
      std::to_string(rows) +
      "), p(id, a, b) AS (SELECT id, 'r' || id || ':', 's2-' || id || '-' FROM n) "
      "SELECT id, id * 7 % 1000 - 500, id * 7919 % 2000003 - 1000000, id / 4.0, "
      "(id % 1000) * 0.5 - 250.25, id * 0.125 - 1000.0, "
      "a || substr('" +
      letters + letters + letters + letters +
      "', (id + length(a)) % 26 + 1, "
      "20 + id % 41 - length(a)), "
      "CASE WHEN id % 10 = 0 THEN NULL ELSE b || substr('" +
      digits + digits + digits + digits + digits + digits + digits +
      "', (id + length(b)) % 10 + 1, "
      "max(0, 10 + id * 3 % 51 - length(b))) END FROM p";
  return execute(dbc, "CREATE TABLE " + table +
                          " (id INTEGER PRIMARY KEY, i2 INTEGER, i3 INTEGER, d1 DOUBLE,"
                          " d2 DOUBLE, d3 DOUBLE, s1 VARCHAR(60), s2 VARCHAR(60))") &&
         execute(dbc, "BEGIN") && execute(dbc, sql) && execute(dbc, "COMMIT");
}

SQLHDBC connect(SQLHENV env, const std::string& text) {
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, nullptr, 0,
                                  nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    std::printf("connect %s: %s\n", text.c_str(), diagnostics(SQL_HANDLE_DBC, dbc).c_str());
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    return SQL_NULL_HDBC;
  }
  return dbc;
}

}  // namespace

int main(int argc, char** argv) {
  int64_t rows = 1'000'000;
  std::string driver = QUILL_DRIVER_PATH, module = QUILL_ROWS_MODULE_PATH,
              sqlite = QUILL_SQLITE_ODBC_PATH;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a.rfind("--driver=", 0) == 0)
      driver = a.substr(9);
    else if (a.rfind("--module=", 0) == 0)
      module = a.substr(9);
    else if (a.rfind("--sqlite=", 0) == 0)
      sqlite = a.substr(9);
    else
      rows = std::atoll(argv[i]);
  }
  if (rows < 1 || rows > rows_data::kMaxRows) {
    std::fprintf(stderr, "rows must be 1 to %lld\n", static_cast<long long>(rows_data::kMaxRows));
    return 2;
  }
  char pattern[] = "/tmp/quill_fetch_bench_XXXXXX";
  if (!mkdtemp(pattern)) return 2;
  std::string dir = pattern;
  std::ofstream(dir + "/odbcinst.ini") << "[QuillRows]\nDriver=" << driver << "\n"
                                       << "[SQLiteRows]\nDriver=" << sqlite << "\n";
  std::ofstream(dir + "/odbc.ini") << "";
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  setenv("QUILLDRV_BACKEND_MODULE", module.c_str(), 1);

  SQLHENV env = SQL_NULL_HENV;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  const std::string table = "rows_" + std::to_string(rows);
  const std::string sql = "SELECT * FROM " + table;
  SQLHDBC quill = connect(env, "DRIVER={QuillRows};URI=http://127.0.0.1:9;work_dir_path=" + dir);
  SQLHDBC lite = connect(env, "DRIVER={SQLiteRows};Database=:memory:");
  if (!quill || !lite) return 1;
  Clock::time_point fill_start = Clock::now();
  if (!fill_sqlite(lite, table, rows)) return 1;
  std::printf("SQLite table %s filled in %.2f s\n", table.c_str(),
              std::chrono::duration<double>(Clock::now() - fill_start).count());
  const uint64_t want = expected_sum(rows);
  int bad = 0;
  std::printf("%-20s %16s %16s %10s\n", "mode", "quilldrv rows/s", "SQLite rows/s", "ratio");
  for (Mode mode : {kBoundSingle, kBoundArray, kGetData}) {
    Pass ours = timed_pass(quill, sql, mode);
    Pass theirs = timed_pass(lite, sql, mode);
    for (const Pass* p : {&ours, &theirs})
      if (!p->ok || p->rows != rows || p->sum != want) {
        std::printf("  %s: %s read %lld rows, checksum %s\n", kModeNames[mode],
                    p == &ours ? "quilldrv" : "SQLite", static_cast<long long>(p->rows),
                    p->sum == want ? "ok" : "WRONG");
        ++bad;
      }
    double ours_rate = ours.seconds > 0 ? static_cast<double>(ours.rows) / ours.seconds : 0;
    double theirs_rate = theirs.seconds > 0 ? static_cast<double>(theirs.rows) / theirs.seconds : 0;
    std::printf("%-20s %16.0f %16.0f %9.2fx\n", kModeNames[mode], ours_rate, theirs_rate,
                theirs_rate > 0 ? ours_rate / theirs_rate : 0.0);
    std::fflush(stdout);
  }
  std::printf("(ratio: quilldrv rows/s over SQLite rows/s; above 1 means quilldrv is faster)\n");
  SQLDisconnect(quill);
  SQLDisconnect(lite);
  SQLFreeHandle(SQL_HANDLE_DBC, quill);
  SQLFreeHandle(SQL_HANDLE_DBC, lite);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  std::error_code ignored;
  std::filesystem::remove_all(dir, ignored);
  return bad ? 1 : 0;
}
