// Sorting throughput of the engine over the in-memory test backend, in memory and spilling to
// work files under a 1 MB budget, beside SQLite running the same statements over the same
// rows in the same process:
//   order  SELECT K, G FROM BIG ORDER BY G DESC, K
//   group  SELECT G, COUNT(*), MIN(K), MAX(K) FROM BIG GROUP BY G   (about 40 rows a group)
//
//   quill_sort_bench [--tries=N] [rows ...]   (default 1000000; for example 1000000 10000000)
//
// Every measurement is taken N times (default 3) and the try of least processor time kept, so
// that a busy machine shows less in the ratios.
//
// The sort budget is remembered for the rest of a process once set, so every engine run
// happens in a child process forked after the table is built and loaded (test_table_load, the
// counterpart of SQLite's insertions: both sides hold the rows in their own form before any
// statement is timed); the child reports its time and its peak memory growth. Prints input
// rows per second for each side (wall time; processor time beside it), the engine's time
// relative to SQLite (wall and processor time, the latter steadier on a busy machine), and for
// both sides the time beyond a plain read of the same rows (`SELECT K, G FROM BIG`, the second
// baseline), which is what the sort itself costs.
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "driver/dal/dal.h"
#include "driver/odbc/connect/backend_list.h"
#include "driver/sql/exec.h"
#include "driver/sql/parser.h"
#include "driver/sql/sort.h"
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

// Processor time (user + system) of this process so far; beside the wall time it shows how
// much a busy machine stretched a run.
double cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

// BIG(K INTEGER, G VARCHAR(8)): K runs through 0..rows-1 scrambled, G one of rows/40 groups.
TestTable make_big_table(long rows) {
  TestTable table;
  table.name = "BIG";
  table.columns = {{"K", SQL_INTEGER, 10, 0, 0, SQL_NO_NULLS}, {"G", SQL_VARCHAR, 8}};
  table.rows.reserve(static_cast<size_t>(rows));
  long step = 1000003;
  while (std::gcd(step, rows) != 1) step += 2;
  long groups = rows / 40 > 0 ? rows / 40 : 1;
  char text[16];
  for (long i = 0; i < rows; ++i) {
    long key = static_cast<long>((static_cast<int64_t>(i) * step + 17) % rows);
    uint64_t mixed = static_cast<uint64_t>(key) * 2654435761u % 4294967296u;
    std::snprintf(text, sizeof text, "g%06lu",
                  static_cast<unsigned long>(mixed % static_cast<uint64_t>(groups)));
    table.rows.push_back({std::to_string(key), std::string(text)});
  }
  return table;
}

void load_sqlite(sqlite3* db, const TestTable& table) {
  sqlite3_exec(db, "CREATE TABLE BIG (K INTEGER, G TEXT)", nullptr, nullptr, nullptr);
  sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
  sqlite3_stmt* insert = nullptr;
  sqlite3_prepare_v2(db, "INSERT INTO BIG VALUES (?, ?)", -1, &insert, nullptr);
  for (const auto& row : table.rows) {
    sqlite3_bind_int(insert, 1, std::atoi(row[0]->c_str()));
    sqlite3_bind_text(insert, 2, row[1]->c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_step(insert);
    sqlite3_reset(insert);
  }
  sqlite3_finalize(insert);
  sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr);
}

// Rows of `sql` through SQLite (each column read as text, as an application would).
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

// Rows of `sql` through the engine (each column value read), -1 on error.
long run_engine(TestBackend* backend, const char* sql) {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  Dal* dal = dal_create(nullptr, errors);
  test_backend_install(dal, backend);
  ConnAttrSet attributes;
  init_con_str(&attributes, pool);
  ParseContext* parse = parse_context_create(pool);
  std::string text = sql;
  StatementPlanList* plans = nullptr;
  ValidateTarget target{dal, errors, pool, nullptr, nullptr, 3};
  long rows = -1;
  if (DALOpen(dal, &attributes, nullptr) == 0 && sql_parse(parse, text.data()) == 0 &&
      validate_statements(target, parse_statements(parse), &plans) == 0) {
    ExecStatement* statement = exec_create(dal, errors, pool, plans, nullptr);
    int rc = statement ? exec_statement(statement) : -1;
    rows = 0;
    while (rc >= 0 && (rc = exec_fetch(statement)) >= 0 && rc != 100) {
      for (int c = 0; c < exec_column_count(statement); ++c) exec_column_value(statement, c);
      ++rows;
    }
    if (rc < 0) {
      SQLCHAR state[6] = {0}, message[256] = {0};
      SQLSMALLINT length = 0;
      GetDiagRec(errors, 1, state, nullptr, message, sizeof message, &length);
      std::fprintf(stderr, "engine: %s %s\n", state, message);
      rows = -1;
    }
    exec_free(statement);
  }
  parse_context_free(parse);
  dal_destroy(dal);
  quill_mem_release_handle(pool);
  return rows;
}

long status_kb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.rfind(field, 0) == 0) return std::atol(line.c_str() + std::strlen(field));
  return -1;
}

// One engine run as its child process reports it.
struct EngineRun {
  long rows = -1;       // rows returned, -1 on failure
  double seconds = 0;   // wall time of the statement
  double cpu = 0;       // processor time of the statement
  long growth_kb = -1;  // peak resident growth during it (-1: unknown)
};

// Runs `sql` in a child process whose sorts get `budget_mb` megabytes.
EngineRun run_in_child(TestBackend* backend, const char* sql, long budget_mb) {
  EngineRun run;
  int channel[2];
  if (pipe(channel) != 0) return run;
  std::fflush(nullptr);
  pid_t child = fork();
  if (child == 0) {
    close(channel[0]);
    sort_memory_budget(budget_mb);  // remembered by every later sort of this process
    std::ofstream("/proc/self/clear_refs") << "5";
    long base = status_kb("VmRSS:");
    EngineRun mine;
    Clock::time_point start = Clock::now();
    double cpu_start = cpu_seconds();
    mine.rows = run_engine(backend, sql);
    mine.seconds = seconds_since(start);
    mine.cpu = cpu_seconds() - cpu_start;
    mine.growth_kb = status_kb("VmHWM:") - base;
    ssize_t written = write(channel[1], &mine, sizeof mine);
    _exit(written == static_cast<ssize_t>(sizeof mine) ? 0 : 3);
  }
  close(channel[1]);
  if (child < 0 || read(channel[0], &run, sizeof run) != static_cast<ssize_t>(sizeof run))
    run = EngineRun{};
  close(channel[0]);
  if (child > 0) waitpid(child, nullptr, 0);
  return run;
}

// Runs `sql` in `tries` children and keeps the run of least processor time.
EngineRun best_in_child(TestBackend* backend, const char* sql, long budget_mb, int tries) {
  EngineRun best = run_in_child(backend, sql, budget_mb);
  for (int i = 1; i < tries; ++i) {
    EngineRun run = run_in_child(backend, sql, budget_mb);
    if (run.rows >= 0 && (best.rows < 0 || run.cpu < best.cpu)) best = run;
  }
  return best;
}

// One SQLite run of a statement.
struct SqliteRun {
  long rows = -1;      // rows returned
  double seconds = 0;  // wall time
  double cpu = 0;      // processor time
};

// Runs `sql` through SQLite `tries` times and keeps the run of least processor time.
SqliteRun best_sqlite(sqlite3* db, const char* sql, int tries) {
  SqliteRun best;
  for (int i = 0; i < tries; ++i) {
    Clock::time_point start = Clock::now();
    double cpu_start = cpu_seconds();
    SqliteRun run;
    run.rows = run_sqlite(db, sql);
    run.seconds = seconds_since(start);
    run.cpu = cpu_seconds() - cpu_start;
    if (i == 0 || run.cpu < best.cpu) best = run;
  }
  return best;
}

// A plain read of the rows on one side: the part of every statement that is not sorting.
struct ScanBaseline {
  double engine_seconds = 0;  // the engine's wall time
  double engine_cpu = 0;      // the engine's processor time
  double sqlite_seconds = 0;  // SQLite's wall time
  double sqlite_cpu = 0;      // SQLite's processor time
};

void compare(const char* name, const char* sql, long input_rows, TestBackend* backend, sqlite3* db,
             const ScanBaseline& scan, int tries) {
  // Enough for every slot of these statements in one run, so nothing spills.
  long memory_budget_mb = input_rows / 8000 + 64;
  EngineRun memory = best_in_child(backend, sql, memory_budget_mb, tries);
  EngineRun spill = best_in_child(backend, sql, 1, tries);
  SqliteRun sqlite = best_sqlite(db, sql, tries);
  long sqlite_rows = sqlite.rows;
  double sqlite_seconds = sqlite.seconds;
  double sqlite_cpu = sqlite.cpu;
  auto rate = [&](double seconds) { return seconds > 0 ? input_rows / seconds : 0.0; };
  std::printf("%-6s %9ld rows in, %8ld out\n", name, input_rows, sqlite_rows);
  std::printf(
      "  engine in memory  %7.3f s (cpu %7.3f s) %11.0f rows/s  peak +%8ld kB  %5.2fx sqlite"
      " (cpu %5.2fx)  beyond scan cpu %6.3f s  (%ld rows)\n",
      memory.seconds, memory.cpu, rate(memory.seconds), memory.growth_kb,
      memory.seconds / sqlite_seconds, memory.cpu / sqlite_cpu, memory.cpu - scan.engine_cpu,
      memory.rows);
  std::printf(
      "  engine spilling   %7.3f s (cpu %7.3f s) %11.0f rows/s  peak +%8ld kB  %5.2fx sqlite"
      " (cpu %5.2fx)  beyond scan cpu %6.3f s  (%ld rows)  %.2fx in memory\n",
      spill.seconds, spill.cpu, rate(spill.seconds), spill.growth_kb,
      spill.seconds / sqlite_seconds, spill.cpu / sqlite_cpu, spill.cpu - scan.engine_cpu,
      spill.rows, spill.seconds / memory.seconds);
  std::printf(
      "  sqlite            %7.3f s (cpu %7.3f s) %11.0f rows/s"
      "                                           beyond scan cpu %6.3f s\n",
      sqlite_seconds, sqlite_cpu, rate(sqlite_seconds), sqlite_cpu - scan.sqlite_cpu);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<long> sizes;
  int tries = 3;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--tries=", 8) == 0)
      tries = std::atoi(argv[i] + 8);
    else
      sizes.push_back(std::atol(argv[i]));
  }
  if (tries < 1) {
    std::fprintf(stderr, "usage: quill_sort_bench [--tries=N] [rows ...]\n");
    return 2;
  }
  if (sizes.empty()) sizes.push_back(1000000);
  for (long rows : sizes) {
    if (rows < 1) {
      std::fprintf(stderr, "usage: quill_sort_bench [--tries=N] [rows ...]\n");
      return 2;
    }
    TestBackend backend;
    backend.log_scans = false;
    backend.tables.push_back(make_big_table(rows));
    test_table_load(&backend.tables[0]);
    sqlite3* db = nullptr;
    sqlite3_open(":memory:", &db);
    load_sqlite(db, backend.tables[0]);
    // The same rows without a sort: the engine's ceiling, and the part of the peak growth
    // that the scan itself takes.
    const char* plain = "SELECT K, G FROM BIG";
    EngineRun scan = best_in_child(&backend, plain, 1, tries);
    SqliteRun sqlite_scan = best_sqlite(db, plain, tries);
    long sqlite_scanned = sqlite_scan.rows;
    ScanBaseline baseline{scan.seconds, scan.cpu, sqlite_scan.seconds, sqlite_scan.cpu};
    auto rate = [rows](double seconds) { return seconds > 0 ? rows / seconds : 0.0; };
    std::printf("scan   %9ld rows\n", scan.rows);
    std::printf("  engine            %7.3f s (cpu %7.3f s) %11.0f rows/s  peak +%8ld kB\n",
                scan.seconds, scan.cpu, rate(scan.seconds), scan.growth_kb);
    std::printf("  sqlite            %7.3f s (cpu %7.3f s) %11.0f rows/s  (%ld rows)\n",
                baseline.sqlite_seconds, baseline.sqlite_cpu, rate(baseline.sqlite_seconds),
                sqlite_scanned);
    compare("order", "SELECT K, G FROM BIG ORDER BY G DESC, K", rows, &backend, db, baseline,
            tries);
    compare("group", "SELECT G, COUNT(*), MIN(K), MAX(K) FROM BIG GROUP BY G", rows, &backend, db,
            baseline, tries);
    sqlite3_close(db);
  }
  return 0;
}
