// Parse speed of the driver's SQL front end beside SQLite's sqlite3_prepare_v2
// on comparable statements, in the same run: a set of typical queries and one
// query of about 100 KB. Prints statements per second for each.
#include <benchmark/benchmark.h>
#include <sqlite3.h>

#include <string>
#include <vector>

#include "driver/sql/parser.h"
#include "support/memory.h"

namespace {

// Statements both dialects accept, over tables the SQLite side creates.
const std::vector<std::string>& typical_queries() {
  static const std::vector<std::string> queries = {
      "SELECT a, b, c FROM t WHERE a = 1 AND b > 2",
      "SELECT t.a, u.d FROM t INNER JOIN u ON t.a = u.d WHERE u.e LIKE 'x%'",
      "SELECT a, COUNT(*) FROM t GROUP BY a HAVING COUNT(*) > 3 ORDER BY a DESC",
      "SELECT a FROM t WHERE b IN (SELECT d FROM u WHERE e = 'q') AND c IS NOT NULL",
      "SELECT CASE WHEN a > 10 THEN 'big' ELSE 'small' END, b * 2 + c FROM t",
      "SELECT DISTINCT a FROM t WHERE b BETWEEN 1 AND 100 OR c <> 7",
      "SELECT a FROM t WHERE EXISTS (SELECT 1 FROM u WHERE u.d = t.a) UNION SELECT d FROM u",
      "SELECT t.a, u.e FROM t LEFT OUTER JOIN u ON t.b = u.d WHERE t.c = 'blockNumber'",
  };
  return queries;
}

// One statement of about 100 KB: a long IN list.
const std::string& large_query() {
  static const std::string query = [] {
    std::string q = "SELECT a, b FROM t WHERE a IN (";
    for (int i = 0; q.size() < 100 * 1024; ++i) q += (i ? ", " : "") + std::to_string(i * 7919);
    return q + ")";
  }();
  return query;
}

void quill_parse(benchmark::State& state, const std::vector<std::string>& queries) {
  std::vector<std::vector<char>> texts;
  for (const auto& q : queries) texts.emplace_back(q.begin(), q.end() + 1);
  std::vector<char> scratch;
  for (auto _ : state) {
    for (const auto& text : texts) {
      scratch = text;  // the parser may modify its input
      MemPool* pool = quill_mem_alloc_handle(nullptr);
      ParseContext* context = parse_context_create(pool);
      if (sql_parse(context, scratch.data()) != 0) state.SkipWithError(parse_message(context));
      parse_context_free(context);
      quill_mem_release_handle(pool);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(queries.size()));
}

void sqlite_prepare(benchmark::State& state, const std::vector<std::string>& queries) {
  sqlite3* db = nullptr;
  sqlite3_open(":memory:", &db);
  sqlite3_exec(db, "CREATE TABLE t(a, b, c); CREATE TABLE u(d, e)", nullptr, nullptr, nullptr);
  for (auto _ : state) {
    for (const auto& q : queries) {
      sqlite3_stmt* stmt = nullptr;
      if (sqlite3_prepare_v2(db, q.c_str(), static_cast<int>(q.size()), &stmt, nullptr) !=
          SQLITE_OK)
        state.SkipWithError(sqlite3_errmsg(db));
      sqlite3_finalize(stmt);
    }
  }
  state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(queries.size()));
  sqlite3_close(db);
}

void BM_QuillParseTypical(benchmark::State& s) { quill_parse(s, typical_queries()); }
void BM_SqlitePrepareTypical(benchmark::State& s) { sqlite_prepare(s, typical_queries()); }
void BM_QuillParse100KB(benchmark::State& s) { quill_parse(s, {large_query()}); }
void BM_SqlitePrepare100KB(benchmark::State& s) { sqlite_prepare(s, {large_query()}); }

BENCHMARK(BM_QuillParseTypical);
BENCHMARK(BM_SqlitePrepareTypical);
BENCHMARK(BM_QuillParse100KB);
BENCHMARK(BM_SqlitePrepare100KB);

}  // namespace

BENCHMARK_MAIN();
