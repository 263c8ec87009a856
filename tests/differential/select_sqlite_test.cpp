// Generated SELECT statements run by the driver's engine over the in-memory test backend and
// by SQLite over the same rows; each must return the same multiset of rows, with the join's
// innermost scans made one at a time and got ready in blocks.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "tests/differential/query_gen.h"
#include "tests/differential/query_sides.h"

namespace {

using Rows = QueryRows;

TEST(SelectAgainstSqlite, GeneratedQueriesReturnTheSameRows) {
  TestBackend backend;
  backend.tables = generate_tables(7, 40);
  backend.capabilities = 1 | 2 | 4;  // restrictions without value, LIKE, IS NULL
  QuillQuerySide quill(&backend);
  SqliteQuerySide sqlite(sqlite_script(backend.tables));
  ASSERT_TRUE(quill.opened());
  ASSERT_TRUE(sqlite.loaded());
  QueryGenerator generator(20261209);
  constexpr int kQueries = 600;
  int failures = 0, nonempty = 0;
  for (int i = 0; i < kQueries; ++i) {
    std::string sql = generator.next();
    Rows expected = sqlite.run(sql);
    backend.prepared_scans = 0;
    Rows got = quill.run(sql);
    // Again with the innermost table's scans got ready three outer rows at a time.
    backend.prepared_scans = 3;
    Rows blocked = quill.run(sql);
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    std::sort(blocked.begin(), blocked.end());
    if (!expected.empty()) ++nonempty;
    if (blocked != got && got == expected) {
      ++failures;
      ADD_FAILURE() << "#" << i << " " << sql << ": " << blocked.size()
                    << " rows with scans got ready in blocks, " << got.size() << " without";
    }
    if (got != expected && ++failures <= 10) {
      std::string detail;
      for (size_t r = 0; r < std::max(got.size(), expected.size()) && r < 12; ++r)
        detail += "\n    " + (r < got.size() ? got[r] : std::string("-")) + "   vs   " +
                  (r < expected.size() ? expected[r] : std::string("-"));
      ADD_FAILURE() << "#" << i << " " << sql << "\n  driver " << got.size() << " rows, sqlite "
                    << expected.size() << " rows (driver vs sqlite):" << detail;
    }
  }
  EXPECT_EQ(failures, 0);
  // The generated data must make most queries return rows, or the comparison proves little.
  EXPECT_GE(nonempty, kQueries / 3);
  EXPECT_GT(backend.prepare_calls, kQueries / 10);  // joins did go through blocks
  std::printf("%d queries, %d with rows, %d failures, %d blocks of scans got ready\n", kQueries,
              nonempty, failures, backend.prepare_calls);
}

}  // namespace
