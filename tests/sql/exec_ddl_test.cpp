// Data-definition statements reach their data-access operation, in order, and a backend that
// refuses one fails the statement with its diagnostic.
#include <gtest/gtest.h>

#include "tests/sql/exec_harness.h"

namespace {

TEST(ExecDataDefinition, EachStatementReachesItsOperation) {
  ExecHarness harness;
  std::string error;
  ASSERT_TRUE(harness.declare("T (A INTEGER, B VARCHAR(10))", {"1|x"}, &error)) << error;
  const char* statements[] = {
      "CREATE TABLE NEWT (C INTEGER NOT NULL, D VARCHAR(5))",
      "CREATE INDEX TI ON T (A)",
      "ALTER TABLE T ADD E INTEGER",
      "ALTER TABLE T DROP B",
      "DROP INDEX TI ON T",
      "DROP TABLE T",
  };
  for (const char* sql : statements) {
    ExecRunResult result = harness.run(sql);
    EXPECT_EQ(result.error, "") << sql;
    EXPECT_TRUE(result.rows.empty()) << sql;
  }
  EXPECT_EQ(harness.backend().definitions,
            (std::vector<std::string>{"CREATE TABLE", "CREATE INDEX", "ADD COLUMN T",
                                      "DROP COLUMN T", "DROP INDEX", "DROP TABLE"}));
}

int refuse(SqiStmt, void*) {
  return SQI_ERROR;  // posts nothing: the engine must still say why
}

TEST(ExecDataDefinition, RefusalFailsTheStatement) {
  ExecHarness harness;
  SqiOperations operations = *test_backend_operations();
  operations.create_table = refuse;
  harness.set_operations(&operations);
  ExecRunResult result = harness.run("CREATE TABLE NEWT (C INTEGER)");
  EXPECT_EQ(result.rc, -1);
  EXPECT_EQ(result.error, "HY000 General error: Data definition refused by the data source");
}

}  // namespace
