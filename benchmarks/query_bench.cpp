// Query throughput of the engine over the in-memory test backend, beside SQLite running the
// same queries over the same rows in the same process:
//   scan  a 1,000,000-row table filtered by an `=` the backend takes (10,000 rows out), and
//         by a predicate only the engine can evaluate (`B + 0 = 7`);
//   join  three tables of 20,000 / 2,000 / 200 rows joined on keys.
//
//   quill_query_bench [scan rows] [join rounds]   (default 1000000 5)
//
// Prints rows per second for each side and the engine's time relative to SQLite.
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "driver/dal/dal.h"
#include "driver/odbc/connect/backend_list.h"
#include "driver/sql/exec.h"
#include "driver/sql/parser.h"
#include "driver/sql/validate.h"
#include "support/connstr.h"
#include "support/diag.h"
#include "support/memory.h"
#include "tests/backend/test_backend.h"

namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

TestTable make_table(const char* name, int rows, int b_modulus, int link_modulus) {
  TestTable table;
  table.name = name;
  table.columns = {
      {"A", SQL_INTEGER}, {"B", SQL_INTEGER}, {"L", SQL_INTEGER}, {"C", SQL_VARCHAR, 16}};
  table.cardinality = rows;
  table.indexes = {{std::string(name) + "_A", true, {1}, rows}};
  table.rows.reserve(static_cast<size_t>(rows));
  for (int i = 0; i < rows; ++i)
    table.rows.push_back({std::to_string(i), std::to_string(i % b_modulus),
                          std::to_string(link_modulus ? i % link_modulus : 0),
                          "row" + std::to_string(i)});
  return table;
}

void load_sqlite(sqlite3* db, const TestTable& table) {
  std::string create = "CREATE TABLE " + table.name + " (A INTEGER, B INTEGER, L INTEGER, C TEXT)";
  sqlite3_exec(db, create.c_str(), nullptr, nullptr, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  std::string sql = "INSERT INTO " + table.name + " VALUES (?, ?, ?, ?)";
  sqlite3_prepare_v2(db, sql.c_str(), -1, &insert, nullptr);
  for (const auto& row : table.rows) {
    for (int c = 0; c < 3; ++c)
      sqlite3_bind_int(insert, c + 1, std::atoi(row[static_cast<size_t>(c)]->c_str()));
    sqlite3_bind_text(insert, 4, row[3]->c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

// Rows of `sql` through SQLite (each column read as the application would).
long run_sqlite(sqlite3* db, const char* sql) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) != SQLITE_OK) return -1;
  long rows = 0;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    for (int c = 0; c < sqlite3_column_count(statement); ++c) sqlite3_column_text(statement, c);
    ++rows;
  }
  sqlite3_finalize(statement);
  return rows;
}

// Rows of `sql` through the engine (each column value read).
long run_engine(Dal* dal, ErrorHeader* errors, const char* sql) {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ParseContext* parse = parse_context_create(pool);
  std::string text = sql;
  StatementPlanList* plans = nullptr;
  ValidateTarget target{dal, errors, pool, nullptr, nullptr, 3};
  long rows = -1;
  if (sql_parse(parse, text.data()) == 0 &&
      validate_statements(target, parse_statements(parse), &plans) == 0) {
    ExecStatement* statement = exec_create(dal, errors, pool, plans, nullptr);
    int rc = statement ? exec_statement(statement) : -1;
    rows = 0;
    while (rc >= 0 && (rc = exec_fetch(statement)) >= 0 && rc != 100) {
      for (int c = 0; c < exec_column_count(statement); ++c) exec_column_value(statement, c);
      ++rows;
    }
    if (rc < 0) rows = -1;
    exec_free(statement);
  }
  parse_context_free(parse);
  quill_mem_release_handle(pool);
  return rows;
}

void compare(const char* name, const char* sql, Dal* dal, ErrorHeader* errors, sqlite3* db,
             int rounds = 5) {
  // Alternate the two sides a few times so that drift hits both; keep the best of each.
  double best_engine = 1e9, best_sqlite = 1e9;
  long engine_rows = 0, sqlite_rows = 0;
  for (int round = 0; round < rounds; ++round) {
    Clock::time_point start = Clock::now();
    engine_rows = run_engine(dal, errors, sql);
    best_engine = std::min(best_engine, seconds_since(start));
    start = Clock::now();
    sqlite_rows = run_sqlite(db, sql);
    best_sqlite = std::min(best_sqlite, seconds_since(start));
  }
  std::printf("%-14s engine %8ld rows %8.3f s   sqlite %8ld rows %8.3f s   engine/sqlite %.2fx\n",
              name, engine_rows, best_engine, sqlite_rows, best_sqlite, best_engine / best_sqlite);
}

}  // namespace

int main(int argc, char** argv) {
  int scan_rows = argc > 1 ? std::atoi(argv[1]) : 1000000;
  int join_rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  TestBackend backend;
  backend.log_scans = false;
  backend.tables.push_back(make_table("BIG", scan_rows, 100, 0));
  backend.tables.push_back(make_table("J1", 20000, 10, 2000));
  backend.tables.push_back(make_table("J2", 2000, 10, 200));
  backend.tables.push_back(make_table("J3", 200, 10, 0));
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  Dal* dal = dal_create(nullptr, errors);
  test_backend_install(dal, &backend);
  ConnAttrSet attributes;
  init_con_str(&attributes, pool);
  if (DALOpen(dal, &attributes, nullptr) != 0) return 1;
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  for (const TestTable& table : backend.tables) load_sqlite(db, table);

  compare("scan pushed", "SELECT A, C FROM BIG WHERE B = 7", dal, errors, db);
  compare("scan engine", "SELECT A, C FROM BIG WHERE B + 0 = 7", dal, errors, db);
  compare("join 3 tables",
          "SELECT J1.A, J2.C, J3.C FROM J1, J2, J3 WHERE J1.L = J2.A AND J2.L = J3.A AND J1.B = 3",
          dal, errors, db, join_rounds);

  sqlite3_close(db);
  dal_destroy(dal);
  quill_mem_release_handle(pool);
  return 0;
}
