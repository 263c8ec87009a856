// Query execution end to end over the test backend: what the case files (tests/sql/cases/
// exec: scans, pushdown, joins, UNION ALL, aggregates, limits, parameter arrays) cannot
// express: sampling schedule, time-outs, failing scans, result buffers.
#include <gtest/gtest.h>

#include <string>

#include "driver/sql/exec_internal.h"
#include "tests/sql/exec_harness.h"

namespace {

TEST(ExecSampling, CheckScheduleThinsOutWithTheHitCount) {
  struct Case {
    int hits;
    bool due;
  } cases[] = {{0, true},     {1, true},    {10, true},    {11, false},  {19, false},
               {20, true},    {30, true},   {99, false},   {100, true},  {110, false},
               {150, false},  {200, true},  {900, true},   {1000, true}, {1100, false},
               {1500, false}, {2000, true}, {2001, false}, {7000, true}};
  for (const Case& c : cases) EXPECT_EQ(exec_sample_due(c.hits), c.due) << c.hits;
}

// A backend that ignores a pushed `=` still yields only the matching rows, however many
// non-matching rows come between them (the sampling drops some early, the branch predicate
// the rest).
TEST(ExecSampling, BackendIgnoringRestrictionsStillYieldsOnlyMatches) {
  ExecHarness harness;
  std::vector<std::string> rows;
  std::vector<std::string> expected;
  for (int i = 1; i <= 2500; ++i) {
    bool match = i % 7 != 0;
    rows.push_back(std::to_string(i) + "|" + (match ? "1" : "2"));
    if (match) expected.push_back(std::to_string(i));
  }
  std::string error;
  ASSERT_TRUE(harness.declare("S (ID INTEGER, K INTEGER)", rows, &error)) << error;
  harness.backend().find("S")->ignore_restrictions = true;
  ExecRunResult result = harness.run("SELECT ID FROM S WHERE K = 1");
  EXPECT_EQ(result.rc, 0) << result.error;
  EXPECT_EQ(result.rows, expected);
  ASSERT_EQ(harness.scans_of("S").size(), 1u);
  EXPECT_EQ(harness.scans_of("S")[0], "K = 1");
}

TEST(ExecFailures, ScanAndTimeOutErrorsEndTheFetch) {
  ExecHarness harness;
  std::string error;
  std::vector<std::string> rows = {"1", "2", "3", "4", "5", "6", "7", "8"};
  ASSERT_TRUE(harness.declare("SLOW (A INTEGER)", rows, &error)) << error;
  ASSERT_TRUE(harness.declare("BROKEN (A INTEGER)", rows, &error)) << error;
  harness.backend().find("SLOW")->fetch_delay_ms = 400;
  harness.backend().find("BROKEN")->fail_start = true;

  ExecRunOptions timeout;
  timeout.timeout = 1;
  ExecRunResult result = harness.run("SELECT A FROM SLOW", timeout);
  EXPECT_EQ(result.rc, -1);
  EXPECT_EQ(result.error, "HYT00 Timeout expired");
  EXPECT_LT(result.rows.size(), rows.size());

  result = harness.run("SELECT A FROM BROKEN");
  EXPECT_EQ(result.rc, -1);
  EXPECT_EQ(result.error, "HY000 scan refused by test table");
}

// A data source whose scan start reports the table as missing.
int start_not_found(SqiStmt, const DalTable*, const int*, const int*, int, Restriction* const*) {
  return SQI_NOT_FOUND;
}

TEST(ExecFailures, MissingTableAtScanStart) {
  ExecHarness harness;
  std::string error;
  ASSERT_TRUE(harness.declare("GONE (A INTEGER)", {"1"}, &error)) << error;
  static SqiOperations operations = *test_backend_operations();
  operations.start_scan = start_not_found;
  harness.set_operations(&operations);
  ExecRunResult result = harness.run("SELECT A FROM GONE");
  EXPECT_EQ(result.rc, -1);
  EXPECT_EQ(result.error,
            "HY000 General error: Base table or view not found (may be part of nested view)");
  EXPECT_EQ(result.native_error, 10006);
}

// Buffer capacity of the first result column, recorded per row.
void record_capacity(ExecStatement* statement, void* context) {
  const QuillValue* value = exec_column_value(statement, 0);
  static_cast<std::vector<int>*>(context)->push_back(value ? value->bytes.capacity : -1);
}

TEST(ExecResultColumns, ComputedTextGetsDeclaredLengthPlusOneCappedAt64000) {
  ExecHarness harness;
  std::string error;
  ASSERT_TRUE(harness.declare("W (S VARCHAR(10), L VARCHAR(100000))", {"abc|xyz"}, &error))
      << error;
  std::vector<int> capacities;
  ExecRunResult result =
      harness.run_with("SELECT UCASE(S), UCASE(L) FROM W", {}, record_capacity, &capacities);
  EXPECT_EQ(result.rows, std::vector<std::string>{"ABC|XYZ"});
  EXPECT_EQ(capacities, std::vector<int>{11});

  capacities.clear();
  result = harness.run_with("SELECT UCASE(L) FROM W", {}, record_capacity, &capacities);
  EXPECT_EQ(result.rows, std::vector<std::string>{"XYZ"});
  EXPECT_EQ(capacities, std::vector<int>{64000});
}

// Column slots take memory for what is read, not for the declared length: text past the first
// 64 KB read comes in pieces, whole, at and around that boundary and beside short values.
TEST(ExecReadColumns, LongTextOfAWideColumnComesWhole) {
  auto text_of = [](size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
    return text;
  };
  ExecHarness harness;
  std::string error;
  ASSERT_TRUE(harness.declare(
      "WIDE (L VARCHAR(200000), N INTEGER)",
      {text_of(65536) + "|1", text_of(65537) + "|2", text_of(150000) + "|3", "short|4", "NULL|5"},
      &error))
      << error;
  // Rows print at most 1,023 characters of a value: its length and its end show it whole.
  ExecRunResult result =
      harness.run("SELECT LENGTH(L), SUBSTRING(L, LENGTH(L) - 2, 3), N FROM WIDE");
  EXPECT_EQ(result.rc, 0) << result.error;
  EXPECT_EQ(result.rows, (std::vector<std::string>{"65536|nop|1", "65537|opq|2", "150000|def|3",
                                                   "5|ort|4", "NULL|NULL|5"}));
}

// Pass-through: the backend runs the query text and hands back the result rows.
std::string g_passthrough_text;

int exec_sql_over_table(SqiStmt stmt, const char* sql, void*, int, void*) {
  g_passthrough_text = sql;
  static DalTable table;
  table = DalTable{};
  const SqiOperations* base = test_backend_operations();
  if (base->describe_table(nullptr, "PT", &table) != SQI_OK) return SQI_ERROR;
  return base->start_scan(stmt, &table, nullptr, nullptr, 0, nullptr);
}

TEST(ExecPassThrough, WholeQueryGoesToTheBackend) {
  ExecHarness harness;
  std::string error;
  ASSERT_TRUE(harness.declare("PT (A INTEGER, B VARCHAR(5))", {"1|a", "2|NULL"}, &error)) << error;
  harness.backend().passthrough = true;
  static SqiOperations operations = *test_backend_operations();
  operations.exec_sql = exec_sql_over_table;
  harness.set_operations(&operations);
  ExecRunResult result = harness.run("SELECT A, B FROM PT WHERE A > 0");
  EXPECT_EQ(result.rc, 0) << result.error;
  EXPECT_EQ(result.rows, (std::vector<std::string>{"1|a", "2|NULL"}));
  EXPECT_NE(g_passthrough_text.find("WHERE"), std::string::npos) << g_passthrough_text;

  // A LONG result column keeps the query in the engine.
  g_passthrough_text.clear();
  ASSERT_TRUE(harness.declare("PL (A INTEGER, L LONGVARCHAR)", {"1|x"}, &error)) << error;
  result = harness.run("SELECT L FROM PL");
  EXPECT_EQ(result.rows, std::vector<std::string>{"x"});
  EXPECT_TRUE(g_passthrough_text.empty());
}

// A backend that asks for exact filtering (DALGetInfo code 7) gets the count negated.
int info_with_exact_filtering(SqiEnv env, int code, void* out) {
  if (code == 7) {
    *static_cast<int*>(out) = 1;
    return SQI_OK;
  }
  return test_backend_operations()->get_info(env, code, out);
}

TEST(ExecPushdown, ExactFilteringMarkNegatesTheRestrictionCount) {
  ExecHarness harness;
  std::string error;
  ASSERT_TRUE(harness.declare("X (A INTEGER)", {"1", "2", "3"}, &error)) << error;
  static SqiOperations operations = *test_backend_operations();
  operations.get_info = info_with_exact_filtering;
  harness.set_operations(&operations);
  ExecRunResult result = harness.run("SELECT A FROM X WHERE A = 2");
  EXPECT_EQ(result.rows, std::vector<std::string>{"2"});
  ASSERT_EQ(harness.backend().scans.size(), 1u);
  EXPECT_EQ(harness.backend().scans[0].restriction_count, -1);

  harness.backend().scans.clear();
  result = harness.run("SELECT A FROM X WHERE A > 1 AND A < 3");
  EXPECT_EQ(result.rows, std::vector<std::string>{"2"});
  ASSERT_EQ(harness.backend().scans.size(), 1u);
  EXPECT_EQ(harness.backend().scans[0].restriction_count, 2);
}

TEST(ExecParameters, SetsReportStatusesAndProcessedCount) {
  ExecHarness harness;
  std::string error;
  ASSERT_TRUE(harness.declare("P (A INTEGER, B VARCHAR(5))", {"1|a", "2|b", "3|c"}, &error))
      << error;
  ExecRunOptions options;
  options.parameter_sets = {{"3"}, {"9"}, {"1"}, {"2"}};
  options.operations = {SQL_PARAM_PROCEED, SQL_PARAM_PROCEED, SQL_PARAM_IGNORE, SQL_PARAM_PROCEED};
  ExecRunResult result = harness.run("SELECT B FROM P WHERE A = ?", options);
  EXPECT_EQ(result.rc, 0) << result.error;
  EXPECT_EQ(result.rows, (std::vector<std::string>{"c", "b"}));
  EXPECT_EQ(result.statuses, (std::vector<SQLUSMALLINT>{SQL_PARAM_SUCCESS, SQL_PARAM_SUCCESS,
                                                        SQL_PARAM_UNUSED, SQL_PARAM_SUCCESS}));
  EXPECT_EQ(result.processed, 4u);

  options.parameter_sets = {{"2"}, {"0"}, {"1"}};
  options.operations.clear();
  result = harness.run("SELECT B FROM P WHERE A = 6 / ?", options);
  EXPECT_EQ(result.rc, -1);
  EXPECT_EQ(result.error.substr(0, 5), "22012");
  EXPECT_EQ(result.rows, std::vector<std::string>{"c"});
  EXPECT_EQ(result.statuses,
            (std::vector<SQLUSMALLINT>{SQL_PARAM_SUCCESS, SQL_PARAM_ERROR, SQL_PARAM_UNUSED}));
  EXPECT_EQ(result.processed, 2u);
}

}  // namespace
