// A loaded test table answers exactly as its cells do: every C type read from every cell
// (pieces, NULLs, numbers that are not the plain text of their value, ragged tables that
// cannot be loaded), whole statements over loaded tables, and the row operations that drop
// the load so that later reads see the change.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "driver/dal/sqi/restriction.h"
#include "driver/odbc/connect/backend_list.h"
#include "support/connstr.h"
#include "support/diag.h"
#include "support/memory.h"
#include "tests/backend/test_backend.h"
#include "tests/sql/exec_harness.h"

namespace {

// T: a plain integer column, one whose cells are not all plain numbers, a big integer, text
// longer than its declared size, a double, a date and a binary column, with NULLs.
TestTable mixed_table() {
  TestTable t;
  t.name = "T";
  t.columns = {{"K", SQL_INTEGER},       {"N", SQL_INTEGER},    {"B", SQL_BIGINT, 19},
               {"V", SQL_VARCHAR, 4},    {"D", SQL_DOUBLE, 15}, {"DT", SQL_TYPE_DATE, 10},
               {"BIN", SQL_VARBINARY, 4}};
  t.rows = {
      {"1", "007", "9223372036854775807", "abcdefgh", "1.5", "2024-01-31", "0A0B"},
      {"-2", " 5", "-1", "", "1e3", "1999-12-31", ""},
      {"2147483648", "12x", "0", "xy", "-0", "2000-02-29", "FF"},
      {std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt,
       std::nullopt},
      {"0", "4", "42", "long text", "3", "2024-01-01", "00"},
  };
  return t;
}

// Every read of every cell of T, as "rc indicator bytes" lines, through a scan with
// `restricted` choosing the listed or the unrestricted path.
std::vector<std::string> read_every_cell(TestBackend* backend, bool restricted) {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  Dal* dal = dal_create(nullptr, errors);
  test_backend_install(dal, backend);
  ConnAttrSet attributes;
  init_con_str(&attributes, pool);
  std::vector<std::string> log;
  DalTable table{};
  if (DALOpen(dal, &attributes, nullptr) != 0 ||
      DALDescribeTable(errors, dal, nullptr, "T", &table) != SQI_OK) {
    log.push_back("open failed");
  } else {
    // A range without bounds keeps every row whose K is not NULL, through the listed rows.
    Restriction range{};
    range.column_number = 1;
    range.op = RESTRICT_RANGE;
    Restriction* restrictions[] = {&range};
    DalIterator* it = DALOpenIterator(errors, dal);
    int rc = DALStartScan(it, &table, nullptr, nullptr, restricted ? -1 : 0, restrictions);
    const int c_types[] = {SQL_C_CHAR,      SQL_C_SLONG,  SQL_C_SBIGINT,       SQL_C_DOUBLE,
                           SQL_C_TYPE_DATE, SQL_C_BINARY, SQL_C_TYPE_TIMESTAMP};
    while (rc == SQI_OK && (rc = DALFetch(it)) == SQI_OK)
      for (int column = -1; column <= table.column_count + 1; ++column)
        for (int c_type : c_types)
          for (int piece = 0; piece < 8; ++piece) {  // a small buffer cuts text into pieces
            unsigned char buffer[24] = {0};
            SQLLEN indicator = 0;
            int got = DALGetData(it, column, c_type, buffer, 4, &indicator);
            char line[128];
            int n = std::snprintf(line, sizeof line, "%d:%d:%d %ld ", column, c_type, got,
                                  static_cast<long>(indicator));
            for (unsigned char byte : buffer) n += std::snprintf(line + n, 4, "%02x", byte);
            log.push_back(line);
            if (got != SQI_INFO) break;
          }
    log.push_back("end " + std::to_string(rc));
    DALCloseIterator(it);
  }
  dal_destroy(dal);
  quill_mem_release_handle(pool);
  return log;
}

TEST(TestBackendLoad, EveryReadOfALoadedTableMatchesItsCells) {
  for (bool restricted : {false, true}) {
    TestBackend backend;
    backend.tables.push_back(mixed_table());
    std::vector<std::string> cells = read_every_cell(&backend, restricted);
    test_table_load(&backend.tables[0]);
    ASSERT_TRUE(backend.tables[0].loaded);
    EXPECT_EQ(read_every_cell(&backend, restricted), cells) << "restricted " << restricted;
    EXPECT_GT(cells.size(), 100u);
  }
}

TEST(TestBackendLoad, RaggedTableStaysUnloaded) {
  TestTable t = mixed_table();
  t.rows[2].pop_back();
  test_table_load(&t);
  EXPECT_FALSE(t.loaded);
}

// Statements over loaded tables answer as over the cells; a change through the row
// operations drops the load and shows at once.
TEST(TestBackendLoad, StatementsOverLoadedTables) {
  ExecHarness harness;
  std::string error;
  ASSERT_TRUE(harness.declare("A (ID INTEGER, G VARCHAR(3), X DOUBLE) keys ID",
                              {"1|b|1.5", "2|a|NULL", "3|b|-2", "4|NULL|7", "5|a|0"}, &error))
      << error;
  ASSERT_TRUE(
      harness.declare("B (A_ID INTEGER, W VARCHAR(5))", {"1|x", "3|y", "3|z", "9|w"}, &error))
      << error;
  const char* queries[] = {
      "SELECT ID, G, X FROM A",
      "SELECT G, COUNT(*), MIN(ID), MAX(X), SUM(ID) FROM A GROUP BY G",
      "SELECT ID, G FROM A ORDER BY G DESC, ID",
      "SELECT A.ID, B.W FROM A, B WHERE A.ID = B.A_ID ORDER BY 2",
      "SELECT ID FROM A WHERE G = 'b' AND X > 0",
      "SELECT DISTINCT G FROM A",
      "SELECT ID FROM A WHERE G IS NULL UNION SELECT A_ID FROM B",
  };
  std::vector<ExecRunResult> expected;
  for (const char* sql : queries) expected.push_back(harness.run(sql));
  test_table_load(harness.backend().find("A"));
  test_table_load(harness.backend().find("B"));
  for (size_t i = 0; i < std::size(queries); ++i) {
    ExecRunResult got = harness.run(queries[i]);
    EXPECT_EQ(got.rc, expected[i].rc) << queries[i];
    EXPECT_EQ(got.rows, expected[i].rows) << queries[i];
  }
  ExecRunResult update = harness.run("UPDATE A SET G = 'c' WHERE ID = 2");
  ASSERT_GE(update.rc, 0) << update.error;
  EXPECT_FALSE(harness.backend().find("A")->loaded);
  EXPECT_EQ(harness.run("SELECT G FROM A WHERE ID = 2").rows, std::vector<std::string>{"c"});
}

}  // namespace
