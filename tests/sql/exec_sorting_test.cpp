// The sorting stages end to end over the test backend, beside the case files of GROUP BY
// with HAVING, SELECT DISTINCT, ORDER BY and UNION (tests/sql/cases/exec/group.txt,
// distinct.txt, order.txt, union.txt): values longer than their declared length going
// through a sort, and the same stages over sorts that spill to run files and merge.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <string>

#include "tests/sql/exec_harness.h"

namespace {

// A backend string longer than its column's declared length is never cut in a sort record:
// the stage widens the field and reads its rows again.
TEST(ExecSortingValues, LongerThanDeclaredIsCarriedWhole) {
  ExecHarness harness;
  std::string error;
  const std::string alphabet = "abcdefghijklmnopqrstuvwxyz";
  ASSERT_TRUE(
      harness.declare("SHORT (K INTEGER, S VARCHAR(4))", {"1|" + alphabet, "2|ab", "3|ab"}, &error))
      << error;
  struct Case {
    const char* sql;
    std::vector<std::string> rows;
  } cases[] = {
      {"SELECT S FROM SHORT ORDER BY K", {alphabet, "ab", "ab"}},
      {"SELECT S FROM SHORT ORDER BY S DESC", {alphabet, "ab", "ab"}},
      {"SELECT K FROM SHORT ORDER BY UCASE(S) DESC, K", {"1", "2", "3"}},
      {"SELECT DISTINCT S FROM SHORT", {"ab", alphabet}},
      {"SELECT S FROM SHORT UNION SELECT S FROM SHORT", {"ab", alphabet}},
      {"SELECT S, COUNT(*) FROM SHORT GROUP BY S", {"ab|2", alphabet + "|1"}},
  };
  for (const Case& c : cases) {
    ExecRunResult result = harness.run(c.sql);
    EXPECT_EQ(result.rc, 0) << c.sql << ": " << result.error;
    EXPECT_EQ(result.rows, c.rows) << c.sql;
  }
}

// LONG values are read again by key after sorting; rows a backend returns that do not have
// the keys asked for are passed over.
TEST(ExecSortingValues, LongColumnsAreReadAgainByKey) {
  ExecHarness harness;
  std::string error;
  ASSERT_TRUE(harness.declare("DOCS (ID INTEGER, BODY LONGVARCHAR, RANK INTEGER) keys ID",
                              {"1|alpha|3", "2|beta|1", "3|gamma|2"}, &error))
      << error;
  const std::vector<std::string> expected = {"alpha|3", "gamma|2", "beta|1"};
  for (bool ignored : {false, true}) {
    harness.backend().find("DOCS")->ignore_restrictions = ignored;
    ExecRunResult result = harness.run("SELECT BODY, RANK FROM DOCS ORDER BY RANK DESC");
    EXPECT_EQ(result.rc, 0) << result.error;
    EXPECT_EQ(result.rows, expected) << "restrictions ignored: " << ignored;
  }
}

// Rows of the spilling test: a 200-character key makes slots of about 220 bytes, so a 1 MB
// budget holds some 4,700 slots per run and 12,000 rows make three runs.
constexpr int kSpillRows = 12000;
constexpr int kSpillGroups = 97;

std::string spill_key(int row) {
  char text[16];
  std::snprintf(text, sizeof text, "s%05d", (row * 7919) % kSpillRows);
  return text;
}

// Every stage over spilled runs; mismatches are printed and make the child exit with 1.
int run_spilled_stages() {
  ExecHarness harness;
  std::vector<std::string> rows;
  for (int i = 0; i < kSpillRows; ++i)
    rows.push_back(std::to_string(i) + "|" + spill_key(i) + "|g" +
                   std::to_string(i % kSpillGroups));
  std::string error;
  if (!harness.declare("BIG (I INTEGER, S VARCHAR(200), G VARCHAR(200))", rows, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  ExecRunOptions options;
  options.work_mem_size = 1;
  int failures = 0;
  auto check = [&](const char* sql, const std::vector<std::string>& expected) {
    ExecRunResult result = harness.run(sql, options);
    if (result.rc < 0 || result.rows != expected) {
      std::fprintf(stderr, "%s: rc %d, %zu rows, %s\n", sql, result.rc, result.rows.size(),
                   result.error.c_str());
      ++failures;
    }
  };
  std::vector<std::string> ordered;
  for (int i = 0; i < kSpillRows; ++i) ordered.push_back(spill_key(i));
  std::sort(ordered.begin(), ordered.end());
  check("SELECT S FROM BIG ORDER BY S", ordered);
  check("SELECT S FROM BIG UNION SELECT S FROM BIG", ordered);
  std::map<std::string, int> counts;
  for (int i = 0; i < kSpillRows; ++i) ++counts["g" + std::to_string(i % kSpillGroups)];
  std::vector<std::string> groups, distinct;
  for (const auto& [group, count] : counts) {
    groups.push_back(group + "|" + std::to_string(count));
    distinct.push_back(group);
  }
  check("SELECT G, COUNT(*) FROM BIG GROUP BY G", groups);
  check("SELECT DISTINCT G FROM BIG", distinct);
  std::vector<std::string> descending(ordered.rbegin(), ordered.rbegin() + 3);
  check("SELECT TOP 3 S FROM BIG ORDER BY S DESC", descending);
  return failures;
}

// The remembered work_mem_size is process-wide, so the spilling runs happen in a child.
TEST(ExecSortingSpill, StagesGiveTheSameRowsOverSpilledRuns) {
  EXPECT_EXIT(std::exit(run_spilled_stages() == 0 ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

}  // namespace
