// Generated common-forms statements (LIMIT / OFFSET / FETCH, VALUES and UNION derived tables,
// grouping and sorting of long text) run by the driver's engine over the in-memory test backend
// and by SQLite over the same rows: the same multiset of rows, and the same sequence where the
// ORDER BY keys decide the order. NULL is the lowest value on both sides and text orders by its
// bytes on both, so no difference is intended here.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>

#include "tests/differential/forms_gen.h"
#include "tests/differential/query_gen.h"
#include "tests/differential/query_sides.h"

namespace {

TEST(FormsAgainstSqlite, GeneratedStatementsReturnTheSameRows) {
  TestBackend backend;
  backend.tables = generate_tables(17, 40);
  backend.tables.push_back(generate_long_table(17, 40));
  backend.capabilities = 1 | 2 | 4;
  QuillQuerySide quill(&backend);
  SqliteQuerySide sqlite(sqlite_script({backend.tables[0], backend.tables[1], backend.tables[2]}) +
                         sqlite_long_script(backend.tables[3]));
  ASSERT_TRUE(quill.opened());
  ASSERT_TRUE(sqlite.loaded());
  FormsQueryGenerator generator(20261210);
  constexpr int kStatements = 400;
  int failures = 0, nonempty = 0;
  std::map<std::string, int> shapes;
  for (int i = 0; i < kStatements; ++i) {
    FormsQuery query = generator.next();
    ++shapes[query.shape];
    QueryRows expected = sqlite.run(query.sqlite);
    QueryRows got = quill.run(query.quill);
    ASSERT_FALSE(!expected.empty() && expected[0].rfind("error", 0) == 0)
        << query.sqlite << ": " << expected[0];
    if (!expected.empty()) ++nonempty;
    if (!query.ordered) {
      std::sort(expected.begin(), expected.end());
      std::sort(got.begin(), got.end());
    }
    if (got != expected && ++failures <= 10)
      ADD_FAILURE() << "#" << i << " " << query.quill << "\n  driver " << got.size()
                    << " rows, sqlite " << expected.size()
                    << "; first: " << (got.empty() ? "-" : got[0].substr(0, 120)) << " vs "
                    << (expected.empty() ? "-" : expected[0].substr(0, 120));
  }
  EXPECT_EQ(0, failures);
  // Every shape is exercised and most statements return rows.
  EXPECT_EQ(4u, shapes.size());
  EXPECT_GT(nonempty, kStatements * 3 / 4);
}

}  // namespace
