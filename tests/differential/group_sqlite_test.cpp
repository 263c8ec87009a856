// Generated grouping, DISTINCT, ORDER BY and UNION statements run by the driver's engine over
// the in-memory test backend and by SQLite over the same rows: results must be the same
// multiset of rows, and the same sequence when the ORDER BY keys decide the order.
//
// Both sides agree where one might expect them not to, and the test holds them to it:
// - NULL is the lowest value in both: first ascending, last descending, one group, one
//   DISTINCT row.
// - AVG is a double on both sides, also over integers (taken in double precision, never an
//   integer quotient); SUM of integers an integer, of doubles a double.
// - Text orders by its bytes in both (upper case before lower case).
// - A UNION chain reads from the left in both: `A UNION B UNION ALL C` keeps all of C's rows.
// Where the engine differs on purpose, the generator stays away (see group_gen.cpp) and
// IntendedDifferencesHold below pins the difference down:
// - SUM of INTEGER values is an INTEGER: past 32 bits it fails with 22003 "Numeric value out
//   of range" where SQLite widens to 64 bits. The data keep sums small.
// - The engine ignores trailing blanks when it compares text; the data hold none.
// - Set functions take DISTINCT only before a column reference ("Column name expected in
//   SUM( DISTINCT ), expression found"), and may stand only in the select list and HAVING
//   ("set functions only allowed in select list or having clause"): ORDER BY names them by
//   position or alias.
// - An ORDER BY of a UNION names result columns by position (SQLite takes no expressions there).
// - UNION members of mixed numeric kinds (INTEGER with DOUBLE) would print differently.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>

#include "tests/differential/group_gen.h"
#include "tests/differential/query_gen.h"
#include "tests/differential/query_sides.h"

namespace {

std::string side_by_side(const QueryRows& got, const QueryRows& expected) {
  std::string detail;
  for (size_t r = 0; r < std::max(got.size(), expected.size()) && r < 14; ++r)
    detail += "\n    " + (r < got.size() ? got[r] : std::string("-")) + "   vs   " +
              (r < expected.size() ? expected[r] : std::string("-"));
  return detail;
}

TEST(GroupAgainstSqlite, GeneratedStatementsReturnTheSameRows) {
  TestBackend backend;
  backend.tables = generate_tables(11, 60);
  backend.capabilities = 1 | 2 | 4;  // restrictions without value, LIKE, IS NULL
  QuillQuerySide quill(&backend);
  SqliteQuerySide sqlite(sqlite_script(backend.tables));
  ASSERT_TRUE(quill.opened());
  ASSERT_TRUE(sqlite.loaded());
  GroupQueryGenerator generator(20261210);
  constexpr int kStatements = 800;
  int failures = 0, nonempty = 0, in_order = 0, multirow_in_order = 0;
  std::map<std::string, int> shapes;
  std::map<std::string, int> failing_shapes;
  for (int i = 0; i < kStatements; ++i) {
    GroupQuery query = generator.next();
    ++shapes[query.shape];
    QueryRows expected = sqlite.run(query.sql);
    QueryRows got = quill.run(query.sql);
    if (!expected.empty()) ++nonempty;
    bool same;
    if (query.ordered) {
      ++in_order;
      if (expected.size() > 1) ++multirow_in_order;
      same = got == expected;
    } else {
      std::sort(expected.begin(), expected.end());
      std::sort(got.begin(), got.end());
      same = got == expected;
    }
    if (!same)
      ++failing_shapes[std::string(query.shape) +
                       (got.size() == 1 && got[0].rfind("error", 0) == 0 ? " (error)" : " (rows)")];
    if (!same && failures >= 15 && failures < 200)
      std::printf("also failing: #%d %s\n", i, query.sql.c_str());
    if (!same && ++failures <= 15)
      ADD_FAILURE() << "#" << i << (query.ordered ? " (in order) " : " ") << query.sql
                    << "\n  driver " << got.size() << " rows, sqlite " << expected.size()
                    << " rows (driver vs sqlite):" << side_by_side(got, expected);
  }
  EXPECT_EQ(failures, 0);
  // Most statements must return rows, and many ordered ones several, or the test proves little.
  EXPECT_GE(nonempty, kStatements * 2 / 3);
  EXPECT_GE(multirow_in_order, kStatements / 8);
  std::printf(
      "%d statements (%d with rows, %d compared in order, %d of them with several rows),"
      " %d failures;",
      kStatements, nonempty, in_order, multirow_in_order, failures);
  for (const auto& [shape, count] : shapes) std::printf(" %s %d", shape.c_str(), count);
  std::printf("\n");
  for (const auto& [shape, count] : failing_shapes)
    std::printf("  failing: %s %d\n", shape.c_str(), count);
}

// Chains mixing UNION and UNION ALL (which the generator keeps apart): the same rows as
// SQLite, which reads them from the left.
TEST(GroupAgainstSqlite, MixedUnionChainsReadFromTheLeft) {
  TestBackend backend;
  backend.tables = generate_tables(11, 60);
  backend.capabilities = 1 | 2 | 4;
  QuillQuerySide quill(&backend);
  SqliteQuerySide sqlite(sqlite_script(backend.tables));
  ASSERT_TRUE(quill.opened());
  ASSERT_TRUE(sqlite.loaded());
  const char* const statements[] = {
      "SELECT E FROM T3 WHERE E < 2 UNION SELECT E FROM T3 WHERE E < 2 UNION ALL "
      "SELECT E FROM T3 WHERE E < 2 ORDER BY 1",
      "SELECT E FROM T3 WHERE E < 3 UNION ALL SELECT E FROM T3 WHERE E < 2 UNION "
      "SELECT E FROM T3 WHERE E < 4",
      "SELECT E FROM T3 UNION SELECT E FROM T3 WHERE E > 5 UNION ALL SELECT E FROM T3 "
      "WHERE E < 3 UNION ALL SELECT E FROM T3 WHERE E < 2 ORDER BY 1 DESC",
      "SELECT E FROM T3 WHERE E < 2 UNION ALL SELECT E FROM T3 WHERE E < 2 UNION "
      "SELECT E FROM T3 WHERE E = 7 UNION ALL SELECT E FROM T3 WHERE E = 7",
  };
  for (const char* sql : statements) {
    SCOPED_TRACE(sql);
    QueryRows got = quill.run(sql), expected = sqlite.run(sql);
    if (std::string(sql).find("ORDER BY") == std::string::npos) {
      std::sort(got.begin(), got.end());
      std::sort(expected.begin(), expected.end());
    }
    EXPECT_GT(expected.size(), 2u);
    EXPECT_EQ(got, expected) << side_by_side(got, expected);
  }
}

// The differences the generator avoids, pinned down: what each side returns (a row count, or
// the first row, an error for the engine beginning with the text given).
TEST(GroupAgainstSqlite, IntendedDifferencesHold) {
  TestBackend backend;
  backend.tables = generate_tables(11, 60);
  backend.capabilities = 1 | 2 | 4;
  QuillQuerySide quill(&backend);
  SqliteQuerySide sqlite(sqlite_script(backend.tables));
  ASSERT_TRUE(quill.opened());
  ASSERT_TRUE(sqlite.loaded());
  struct Case {
    const char* sql;
    const char* engine;  // first row, or the beginning of the engine's error
    const char* sqlite;  // first row
    size_t engine_rows;  // rows the engine returns
    size_t sqlite_rows;  // rows SQLite returns
  };
  const Case cases[] = {
      // INTEGER sums stay INTEGER.
      {"SELECT SUM(E * 100000000) FROM T3", "error 22003", "36300000000", 1, 1},
      // DISTINCT takes a column reference only.
      {"SELECT SUM(DISTINCT E + 1) FROM T3",
       "error parse Column name expected in SUM( DISTINCT ), expression found", "78", 1, 1},
      // Set functions belong in the select list and HAVING.
      {"SELECT E FROM T3 GROUP BY E ORDER BY COUNT(*)",
       "error S1000 General error set functions only allowed in select list or having clause", "0",
       1, 12},
      // Trailing blanks do not count in the engine's text comparison.
      {"SELECT COUNT(*) FROM T1 WHERE B = 'apple  '", "4", "0", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    QueryRows got = quill.run(c.sql), expected = sqlite.run(c.sql);
    ASSERT_EQ(got.size(), c.engine_rows) << (got.empty() ? "" : got[0]);
    ASSERT_EQ(expected.size(), c.sqlite_rows) << (expected.empty() ? "" : expected[0]);
    EXPECT_EQ(got[0].rfind(c.engine, 0), 0u) << got[0];
    EXPECT_EQ(expected[0], c.sqlite);
  }
}

}  // namespace
