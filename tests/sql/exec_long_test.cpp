// LONG columns are attached to their row and read only when used: a query that does not
// use them never reads them, and a read that fails when the value is used ends the fetch
// with the backend's diagnostic instead of an empty value.
#include <gtest/gtest.h>

#include "tests/sql/exec_harness.h"

namespace {

TEST(ExecLongColumns, ReadOnlyWhenUsedAndFailuresReported) {
  ExecHarness harness;
  std::string error;
  ASSERT_TRUE(harness.declare("K (I INTEGER, L LONGVARCHAR)", {"1|first", "2|NULL"}, &error))
      << error;
  harness.backend().find("K")->fail_long_reads = true;
  struct Case {
    const char* sql;
    std::vector<std::string> rows;
    std::string error;
  } cases[] = {
      // L is attached on every row but never read.
      {"SELECT I FROM K", {"1", "2"}, ""},
      {"SELECT L FROM K", {}, "HY000 long read failed in test table"},
      {"SELECT I FROM K WHERE L IS NULL", {}, "HY000 long read failed in test table"},
  };
  for (const Case& c : cases) {
    ExecRunResult result = harness.run(c.sql);
    EXPECT_EQ(result.rows, c.rows) << c.sql;
    EXPECT_EQ(result.error.substr(0, c.error.size()), c.error) << c.sql;
  }
  harness.backend().find("K")->fail_long_reads = false;
  // Rows come branch by branch: the IS NULL branch first.
  ExecRunResult result = harness.run("SELECT I, L FROM K WHERE L IS NULL OR L LIKE 'f%'");
  EXPECT_EQ(result.rows, (std::vector<std::string>{"2|NULL", "1|first"})) << result.error;
}

}  // namespace
