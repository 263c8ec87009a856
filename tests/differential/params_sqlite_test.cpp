// Generated queries that supply a required parameter column (lists, ORs, ranges, subqueries,
// joins, the preserved side of an outer join) run by the driver's engine over the test backend
// and by SQLite over the same rows: the same multiset of rows.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "tests/differential/params_gen.h"
#include "tests/differential/query_gen.h"
#include "tests/differential/query_sides.h"

namespace {

TEST(ParamsAgainstSqlite, QueriesSupplyingParametersReturnTheSameRows) {
  constexpr int kRows = 40;
  TestBackend backend;
  backend.tables = generate_tables(23, 40);
  backend.tables.push_back(generate_parameter_table(23, kRows));
  backend.capabilities = 1 | 2 | 4;
  QuillQuerySide quill(&backend);
  SqliteQuerySide sqlite(sqlite_script(backend.tables));
  ASSERT_TRUE(quill.opened());
  ASSERT_TRUE(sqlite.loaded());
  ParamQueryGenerator generator(20261221, kRows / 2);
  constexpr int kQueries = 500;
  int failures = 0, nonempty = 0;
  std::map<std::string, int> shapes;
  for (int i = 0; i < kQueries; ++i) {
    std::string shape;
    std::string sql = generator.next(&shape);
    ++shapes[shape];
    QueryRows expected = sqlite.run(sql);
    QueryRows got = quill.run(sql);
    ASSERT_FALSE(!expected.empty() && expected[0].rfind("error", 0) == 0) << sql;
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    if (!expected.empty()) ++nonempty;
    if (got != expected && ++failures <= 10)
      ADD_FAILURE() << "#" << i << " " << sql.substr(0, 6000) << "\n  driver " << got.size()
                    << " rows, sqlite " << expected.size()
                    << "; first: " << (got.empty() ? "-" : got[0]) << " vs "
                    << (expected.empty() ? "-" : expected[0]);
  }
  EXPECT_EQ(0, failures);
  EXPECT_EQ(7u, shapes.size());
  EXPECT_GT(nonempty, kQueries / 2);
}

}  // namespace
