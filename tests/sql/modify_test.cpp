// Data modification end to end over the test backend: what the case file
// tests/sql/cases/exec/modify.txt cannot express: the DAL calls each path makes (bulk or
// row-wise delete, unchanged rows never written), rows changed or removed between read and
// write, the pass-through row count, and replication (file lines, loading, the replica runs).
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "driver/odbc/connect/backend_list.h"
#include "driver/sql/exec_modify.h"
#include "driver/sql/exec_replication.h"
#include "support/connstr.h"
#include "tests/sql/exec_harness.h"

namespace {

// A harness with T (A key, B) holding `rows` rows "n|vn".
void declare_t(ExecHarness& harness, int rows) {
  std::vector<std::string> cells;
  for (int i = 1; i <= rows; ++i) cells.push_back(std::to_string(i) + "|v" + std::to_string(i));
  std::string error;
  ASSERT_TRUE(harness.declare("T (A INTEGER, B VARCHAR(10)) keys A", cells, &error)) << error;
}

TEST(ModifyCalls, EachPathMakesTheExpectedBackendCalls) {
  struct Case {
    const char* sql;
    bool bulk_refused;
    int rc;
    long long count;
    int deletes, updates, fetches_by_key;
  } cases[] = {
      {"DELETE FROM T", false, 0, 5, 1, 0, 0},  // one bulk call
      {"DELETE FROM T", true, 0, 5, 6, 0, 5},   // refused, then one per row
      {"DELETE FROM T WHERE A > 3", false, 0, 2, 2, 0, 2},
      {"UPDATE T SET B = B", false, 0, 5, 0, 0, 0},  // counted, never written
      {"UPDATE T SET B = 'v1' WHERE A <= 2", false, 0, 2, 0, 1, 1},
      {"UPDATE T SET B = 'x' WHERE A = 99", false, 100, 0, 0, 0, 0},
      {"INSERT INTO T SELECT A + 10, B FROM T WHERE A > 99", false, 100, 0, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    ExecHarness harness;
    declare_t(harness, 5);
    harness.backend().bulk_delete_refused = c.bulk_refused;
    ExecRunResult result = harness.run(c.sql);
    EXPECT_EQ(result.rc, c.rc) << result.error;
    EXPECT_EQ(result.row_count, c.count);
    EXPECT_EQ(harness.backend().delete_calls, c.deletes);
    EXPECT_EQ(harness.backend().update_calls, c.updates);
    EXPECT_EQ(harness.backend().fetch_by_key_calls, c.fetches_by_key);
  }
}

// A row changed or removed by someone else between the read and the write is not written.
TEST(ModifyConcurrency, ChangedRowFailsWith40001AndMissingRowWith42000) {
  struct Case {
    const char* sql;
    void (*change)(TestTable&);
    const char* error;
    const char* first_b;  // B of row A = 1 afterwards
  } cases[] = {
      {"UPDATE T SET B = 'x' WHERE A = 1", [](TestTable& t) { t.rows[0][1] = "other"; },
       "40001 Serialization failure", "other"},
      {"DELETE FROM T WHERE A = 1", [](TestTable& t) { t.rows[0][1] = "other"; },
       "40001 Serialization failure", "other"},
      {"UPDATE T SET B = 'x' WHERE A = 1", [](TestTable& t) { t.rows.erase(t.rows.begin()); },
       "42000 Syntax error or access violation \"T\"", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    ExecHarness harness;
    declare_t(harness, 3);
    harness.backend().before_fetch_by_key = c.change;
    ExecRunResult result = harness.run(c.sql);
    EXPECT_EQ(result.rc, -1);
    EXPECT_EQ(result.error, c.error);
    EXPECT_EQ(harness.backend().update_calls + harness.backend().delete_calls, 0);
    TestTable* table = harness.backend().find("T");
    if (c.first_b) {
      EXPECT_EQ(table->rows[0][1], TestCell{c.first_b});
    }
  }
}

std::string g_passthrough_sql;

int exec_sql_counting(SqiStmt, const char* sql, void*, int, void* reserved) {
  g_passthrough_sql = sql;
  if (reserved) *static_cast<SQLLEN*>(reserved) = 7;
  return SQI_OK;
}

TEST(ModifyPassThrough, BackendRunsTheTextAndReportsItsCount) {
  ExecHarness harness;
  declare_t(harness, 2);
  harness.backend().passthrough = true;
  static SqiOperations operations = *test_backend_operations();
  operations.exec_sql = exec_sql_counting;
  harness.set_operations(&operations);
  ExecRunResult result = harness.run("DELETE FROM T WHERE A = 1");
  EXPECT_EQ(result.rc, 0) << result.error;
  EXPECT_EQ(result.row_count, 7);
  EXPECT_NE(g_passthrough_sql.find("DELETE"), std::string::npos) << g_passthrough_sql;
  EXPECT_EQ(harness.backend().delete_calls, 0);
  EXPECT_EQ(harness.backend().find("T")->rows.size(), 2u);
}

TEST(ReplicationLine, SplitsPartsAndRejectsMalformedLines) {
  struct Case {
    const char* line;
    bool parses;
    const char* source;   // replication_name_text of the source
    const char* replica;  // and of the replica
  } cases[] = {
      {"\"cat\".\"sch\".\"tab\" = rep", true, "CAT.SCH.TAB", "rep"},
      {"T=R", true, "T", "R"},
      {" lk . cat . sch . t = c . s . \"r\" ", true, "lk.cat.sch.t", "c.s.R"},
      {"\"a.b\" = r", true, "A.B", "r"},
      {"a.b.c.d.e = r", false, "", ""},
      {"t = a.b.c.d", false, "", ""},
      {"t", false, "", ""},
      {"= r", false, "", ""},
      {"t =", false, "", ""},
      {"t = r = s", false, "", ""},
      {"a..b = r", false, "", ""},
      {"\"open = r", false, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    ReplicationName source{}, replica{};
    ASSERT_EQ(replication_parse_line(c.line, &source, &replica), c.parses);
    if (!c.parses) continue;
    EXPECT_EQ(replication_name_text(source), c.source);
    EXPECT_EQ(replication_name_text(replica), c.replica);
  }
  ReplicationName source{}, replica{};
  ASSERT_TRUE(replication_parse_line("\"cat\".\"sch\".\"tab\" = rep", &source, &replica));
  EXPECT_STREQ(source.catalog, "CAT");
  EXPECT_STREQ(source.schema, "SCH");
  EXPECT_STREQ(source.table, "TAB");
  EXPECT_STREQ(source.link, "");
}

// A data-access layer over a harness's backend for loading replication files.
struct LoadSetup {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  Dal* dal = dal_create(nullptr, errors);
  explicit LoadSetup(ExecHarness& harness) {
    test_backend_install(dal, &harness.backend());
    ConnAttrSet attributes;
    init_con_str(&attributes, pool);
    DALOpen(dal, &attributes, nullptr);
  }
  ~LoadSetup() {
    dal_destroy(dal);
    FreeErrorHeader(errors);
    quill_mem_release_handle(pool);
  }
  std::string first_error() {
    if (GetErrorCount(errors) == 0) return "";
    auto* record = static_cast<DiagRecord*>(ListData(ListFirst(errors->records)));
    return std::string(record->sqlstate) + " " + record->message;
  }
};

std::string write_file(const std::string& name, const std::string& text) {
  std::string path = ::testing::TempDir() + name;
  std::ofstream(path) << text;
  return path;
}

void declare_replicated(ExecHarness& harness) {
  std::string error;
  for (const char* table : {"SRC", "REP", "REP2"})
    ASSERT_TRUE(
        harness.declare(std::string(table) + " (A INTEGER, B VARCHAR(10)) keys A", {}, &error))
        << error;
  ASSERT_TRUE(harness.declare("NARROW (A INTEGER) keys A", {}, &error)) << error;
  ASSERT_TRUE(harness.declare("OTHER (A INTEGER, B VARCHAR(10))", {"2|o"}, &error)) << error;
}

TEST(ReplicationLoad, ResolvesEntriesAndReportsFailures) {
  ExecHarness harness;
  declare_replicated(harness);
  struct Case {
    const char* text;  // file contents; null: no file at all
    int rc;
    int entries;
    const char* error;
  } cases[] = {
      {"SRC = REP\n\nSRC = \"rep2\"\n", 0, 2, ""},
      {"", 0, 0, ""},
      {"SRC = NOSUCH\n", -1, 0, "HY000 General error: Replication entry SRC -> NOSUCH failed"},
      {"SRC REP\n", -1, 0, "HY000 General error: Replication entry SRC REP ->  failed"},
      {nullptr, -1, 0, "HY000 General error: Replication failed, unable to open \""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text ? c.text : "(no file)");
    LoadSetup setup(harness);
    std::string path = c.text ? write_file("replication.txt", c.text)
                              : ::testing::TempDir() + "no-such-replication-file";
    ReplicationList* list = nullptr;
    EXPECT_EQ(replication_load(setup.dal, setup.errors, setup.pool, path.c_str(), &list), c.rc);
    EXPECT_EQ(list ? list->count : 0, c.entries);
    EXPECT_EQ(setup.first_error().substr(0, std::string(c.error).size()), c.error);
    replication_free(list);
  }
}

const ReplicationList* g_replication = nullptr;

const ReplicationList* test_replication(void*) {
  return g_replication;
}

TEST(ReplicationApply, ChangesReachEveryReplicaAndFailuresAreReported) {
  ExecHarness harness;
  declare_replicated(harness);
  LoadSetup setup(harness);
  std::string path = write_file("replication_apply.txt", "SRC = REP\nSRC = REP2\n");
  ReplicationList* list = nullptr;
  ASSERT_EQ(replication_load(setup.dal, setup.errors, setup.pool, path.c_str(), &list), 0);
  static const ExecCallLayerHooks hooks{nullptr, test_replication};
  g_replication = list;
  exec_install_call_layer(&hooks);
  struct Step {
    const char* sql;
    long long count;
    size_t rows;  // rows in each of SRC, REP and REP2 afterwards
  } steps[] = {
      {"INSERT INTO SRC VALUES (1, 'a')", 1, 1},
      {"INSERT INTO SRC SELECT A, B FROM OTHER", 1, 2},
      {"UPDATE SRC SET B = 'b' WHERE A = 1", 1, 2},
      {"DELETE FROM SRC WHERE A = 2", 1, 1},
  };
  for (const Step& step : steps) {
    SCOPED_TRACE(step.sql);
    ExecRunResult result = harness.run(step.sql);
    EXPECT_EQ(result.rc, 0) << result.error;
    EXPECT_EQ(result.row_count, step.count);
    for (const char* table : {"SRC", "REP", "REP2"})
      EXPECT_EQ(harness.backend().find(table)->rows.size(), step.rows) << table;
  }
  EXPECT_EQ(harness.backend().find("REP2")->rows[0][1], TestCell{"b"});
  replication_free(list);

  // A replica with fewer columns cannot take the change.
  path = write_file("replication_narrow.txt", "SRC = NARROW\n");
  ASSERT_EQ(replication_load(setup.dal, setup.errors, setup.pool, path.c_str(), &list), 0);
  g_replication = list;
  ExecRunResult result = harness.run("INSERT INTO SRC VALUES (5, 'x')");
  EXPECT_EQ(result.rc, -1);
  EXPECT_EQ(result.error, "HY000 General error: Replicated insert failed");
  exec_install_call_layer(nullptr);
  g_replication = nullptr;
  replication_free(list);
}

}  // namespace
