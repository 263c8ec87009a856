// LONG columns are attached to their row and read only when used: a query that does not
// use them never reads them, and a read that fails when the value is used ends the fetch
// with the backend's diagnostic instead of an empty value. Rows that go through the ORDER BY
// sort carry their table's key instead of the LONG value, which is read again by key (one
// fetch by key per LONG column and row), in memory and over spilled runs; the rows of a
// UNION read theirs from the table of their own member.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/sql/sort.h"
#include "support/longbuf.h"
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

// A text longer than one 1,024-byte piece of a LONG read.
const std::string kLongText = std::string(1500, 'x') + "-end";
// What the harness prints of it (its text forms stop at VALUE_TEXT_SIZE - 1 bytes).
const std::string kShownLong = kLongText.substr(0, VALUE_TEXT_SIZE - 1);

// Tables keyed by a column, by two columns, by the row key and by the bookmark, and one
// without key information, all holding the same rows.
void declare_sorted_tables(ExecHarness* harness) {
  const std::vector<std::string> rows = {"2|b|0B0B|20", "1|a|0A|30", "3|NULL|NULL|10",
                                         "4|" + kLongText + "|CAFE|40"};
  const char* declarations[] = {
      "KL (ID INTEGER, TXT LONGVARCHAR, BIN LONGVARBINARY, N INTEGER) keys ID",
      "K2 (ID INTEGER, TXT LONGVARCHAR, BIN LONGVARBINARY, N INTEGER) keys N,ID",
      "KR (ID INTEGER, TXT LONGVARCHAR, BIN LONGVARBINARY, N INTEGER) keys $ROWKEY",
      "KB (ID INTEGER, TXT LONGVARCHAR, BIN LONGVARBINARY, N INTEGER) keys $BOOKMARK",
      "NK (ID INTEGER, TXT LONGVARCHAR, BIN LONGVARBINARY, N INTEGER)",
  };
  std::string error;
  for (const char* declaration : declarations)
    ASSERT_TRUE(harness->declare(declaration, rows, &error)) << error;
}

TEST(ExecLongColumns, SortedRowsReadTheirLongValuesByKey) {
  ExecHarness harness;
  declare_sorted_tables(&harness);
  const std::string by_n = "4|" + kShownLong;
  struct Case {
    std::string sql;
    std::vector<std::string> rows;
    int fetches_per_row;  // LONG columns read again by key
    std::string error;
  } cases[] = {
      {"SELECT ID, TXT FROM KL ORDER BY N DESC", {by_n, "1|a", "2|b", "3|NULL"}, 1, ""},
      {"SELECT BIN, ID FROM KL ORDER BY 2", {"0A|1", "0B0B|2", "NULL|3", "CAFE|4"}, 1, ""},
      {"SELECT TXT, BIN FROM KL WHERE ID < 3 ORDER BY N", {"b|0B0B", "a|0A"}, 2, ""},
      {"SELECT TOP 2 ID, BIN FROM KL ORDER BY ID DESC", {"4|CAFE", "3|NULL"}, 1, ""},
      {"SELECT ID, TXT FROM K2 ORDER BY ID", {"1|a", "2|b", "3|NULL", by_n}, 1, ""},
      {"SELECT ID, TXT, BIN FROM KR ORDER BY N",
       {"3|NULL|NULL", "2|b|0B0B", "1|a|0A", by_n + "|CAFE"},
       2,
       ""},
      {"SELECT ID, BIN FROM KB ORDER BY ID DESC", {"4|CAFE", "3|NULL", "2|0B0B", "1|0A"}, 1, ""},
      // Each LONG column is read again from its own table of a join.
      {"SELECT KL.TXT, K2.BIN FROM KL, K2 WHERE KL.ID = K2.ID ORDER BY KL.N DESC",
       {kShownLong + "|CAFE", "a|0A", "b|0B0B", "NULL|NULL"},
       2,
       ""},
      // Without key information the LONG values travel in the sort records by content.
      {"SELECT ID, TXT FROM NK ORDER BY ID", {"1|a", "2|b", "3|NULL", by_n}, 0, ""},
      // A UNION reads each row's LONG values from the table of its member.
      {"SELECT ID, TXT FROM KL UNION SELECT ID, TXT FROM KL",
       {"1|a", "2|b", "3|NULL", by_n},
       1,
       ""},
      {"SELECT ID, TXT FROM KL WHERE ID < 3 UNION SELECT ID, TXT FROM KR WHERE ID < 3",
       {"1|a", "1|a", "2|b", "2|b"},
       1,
       ""},
      {"SELECT BIN, TXT FROM KB WHERE ID = 2 UNION SELECT BIN, TXT FROM K2 WHERE ID = 2 "
       "UNION SELECT BIN, TXT FROM KB WHERE N = 20",
       {"0B0B|b", "0B0B|b"},
       2,
       ""},
      {"SELECT N, BIN FROM KR UNION ALL SELECT N, BIN FROM KL WHERE ID = 4 ORDER BY 1 DESC",
       {"40|CAFE", "40|CAFE", "30|0A", "20|0B0B", "10|NULL"},
       1,
       ""},
      {"SELECT ID, TXT FROM KL UNION SELECT ID, TXT FROM NK",
       {"1|a", "2|b", "3|NULL", by_n},
       0,
       ""},
      {"SELECT ID, TXT FROM NK UNION SELECT ID, TXT FROM KR ORDER BY 1",
       {"1|a", "2|b", "3|NULL", by_n},
       0,
       ""},
  };
  // The backend may copy the LONG value at once or leave it to be read on first use.
  for (bool deferred : {false, true}) {
    harness.backend().fetch_by_key_defers_long = deferred;
    for (const Case& c : cases) {
      harness.backend().fetch_by_key_calls = 0;
      ExecRunResult result = harness.run(c.sql);
      EXPECT_EQ(result.rows, c.rows) << c.sql << " deferred " << deferred << ": " << result.error;
      EXPECT_EQ(result.error, c.error) << c.sql;
      EXPECT_EQ(harness.backend().fetch_by_key_calls,
                c.fetches_per_row * static_cast<int>(c.rows.size()))
          << c.sql << " deferred " << deferred;
    }
  }
}

// What a fetched row held in result column 0: whether its LONG value was still to be read
// (attached to the row) and its bytes once read.
struct LongSeen {
  std::vector<bool> pending;
  std::vector<int64_t> lengths;
};

void collect_long_values(ExecStatement* statement, void* context) {
  auto* seen = static_cast<LongSeen*>(context);
  const QuillValue* value = exec_column_value(statement, 0);
  LongBuffer* buffer = value ? value->long_buffer : nullptr;
  seen->pending.push_back(buffer && buffer->fill);
  seen->lengths.push_back(buffer ? long_buffer_length(buffer) : -2);
}

TEST(ExecLongColumns, SortedLongValuesAreReadWholeNowOrOnFirstUse) {
  ExecHarness harness;
  declare_sorted_tables(&harness);
  const std::vector<int64_t> lengths = {static_cast<int64_t>(kLongText.size()), 1, 1, -1};
  for (bool deferred : {false, true}) {
    harness.backend().fetch_by_key_defers_long = deferred;
    LongSeen seen;
    ExecRunResult result =
        harness.run_with("SELECT TXT FROM KR ORDER BY N DESC", {}, collect_long_values, &seen);
    EXPECT_EQ(result.error, "");
    EXPECT_EQ(seen.lengths, lengths) << "deferred " << deferred;
    EXPECT_EQ(seen.pending, std::vector<bool>(4, deferred));
  }
}

TEST(ExecLongColumns, RowsChangedOrGoneBeforeTheirFetch) {
  ExecHarness harness;
  declare_sorted_tables(&harness);
  struct Case {
    const char* table;
    void (*change)(TestTable& table);  // run before every fetch by key
    std::vector<std::string> rows;
    std::string error;
  } cases[] = {
      // The sorted columns are those the row was sorted with; the LONG value is the current.
      {"KL",
       [](TestTable& t) {
         t.rows[0][1] = "new";
         t.rows[0][3] = "99";
       },
       {"3|NULL|10", "2|new|20", "1|a|30"},
       ""},
      {"KR",
       [](TestTable& t) { t.rows[2][1] = "now set"; },
       {"3|now set|10", "2|b|20", "1|a|30"},
       ""},
      // A row whose key no longer exists cannot be read again.
      {"KL",
       [](TestTable& t) { t.rows[0][0] = "7"; },
       {"3|NULL|10"},
       "HY000 General error: Data Read Error"},
      {"KR", [](TestTable& t) { t.rows.resize(1); }, {}, "HY000 General error: Data Read Error"},
  };
  for (const Case& c : cases) {
    ExecHarness fresh;
    declare_sorted_tables(&fresh);
    fresh.backend().before_fetch_by_key = c.change;
    ExecRunResult result =
        fresh.run(std::string("SELECT ID, TXT, N FROM ") + c.table + " WHERE ID < 4 ORDER BY N");
    EXPECT_EQ(result.rows, c.rows) << c.table << ": " << result.error;
    EXPECT_EQ(result.error, c.error) << c.table;
    if (!c.error.empty()) {
      EXPECT_EQ(result.native_error, 10004) << c.table;
    }
  }
  // A backend failure while the value is copied ends the fetch with its diagnostic.
  harness.backend().find("KL")->fail_long_reads = true;
  ExecRunResult result = harness.run("SELECT ID, TXT FROM KL ORDER BY N");
  EXPECT_EQ(result.error, "HY000 long read failed in test table");
}

// Rows of a sort that spills under a 1 MB budget; mismatches are printed and counted.
int run_spilled_long_sorts() {
  constexpr int kRows = 1200;
  const char* keys[] = {"ID", "$ROWKEY"};
  int failures = 0;
  for (const char* key : keys) {
    ExecHarness harness;
    std::vector<std::string> rows, expected;
    for (int i = 0; i < kRows; ++i) {
      char sort_key[16];
      std::snprintf(sort_key, sizeof sort_key, "s%05d", (i * 7919) % kRows);
      rows.push_back(std::to_string(i) + "|" + sort_key + "|long " + std::to_string(i));
    }
    std::string error;
    if (!harness.declare(
            std::string("BIG (ID INTEGER, S VARCHAR(2000), L LONGVARCHAR) keys ") + key, rows,
            &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
    for (int i = 0; i < kRows; ++i) {
      int row = 0;
      while ((row * 7919) % kRows != i) ++row;
      char line[64];
      std::snprintf(line, sizeof line, "s%05d|long %d", i, row);
      expected.push_back(line);
    }
    ExecRunOptions options;
    options.work_mem_size = 1;
    ExecRunResult result = harness.run("SELECT S, L FROM BIG ORDER BY S", options);
    // The 2,013-byte sort key (a slot of 2,021 bytes) fills a 1 MB run long before the end.
    if (sort_slots_per_run(1, 2013 + 8) * 2 > kRows) {
      std::fprintf(stderr, "the sort does not spill\n");
      ++failures;
    }
    if (result.rows != expected || harness.backend().fetch_by_key_calls != kRows) {
      std::fprintf(stderr, "keys %s: %zu rows, %d fetches, %s\n", key, result.rows.size(),
                   harness.backend().fetch_by_key_calls, result.error.c_str());
      ++failures;
    }
  }
  return failures;
}

// A UNION of two tables of kRows rows each (keyed by a column and by the row key) whose
// unique sort spills under a 1 MB budget; each row's LONGVARCHAR and LONGVARBINARY values
// must come from its own table. Mismatches are printed and counted.
int run_spilled_long_unions() {
  constexpr int kRows = 1200;
  ExecHarness harness;
  std::string error;
  // Name, key and the first byte of the binary values.
  const char* tables[][3] = {{"UA", "ID", "0A"}, {"UB", "$ROWKEY", "0B"}};
  for (const auto& table : tables) {
    std::vector<std::string> rows;
    for (int i = 0; i < kRows; ++i) {
      char line[64];
      // Every S twice within a table, so that only the key keeps both rows.
      std::snprintf(line, sizeof line, "%d|s%05d|%s %d|%s%04X", i, ((i * 7919) % kRows) / 2,
                    table[0], i, table[2], i);
      rows.push_back(line);
    }
    if (!harness.declare(
            std::string(table[0]) +
                " (ID INTEGER, S VARCHAR(2000), L LONGVARCHAR, B LONGVARBINARY) keys " + table[1],
            rows, &error)) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }
  // The rows in S order; among equal S, those of UA (the first member) first, each table's
  // in key order (row key order is declaration order).
  std::vector<std::string> expected, descending;
  for (bool down : {false, true})
    for (int step = 0; step < kRows / 2; ++step) {
      int s = down ? kRows / 2 - 1 - step : step;  // ties keep their ascending order
      for (const auto& table : tables)
        for (int i = 0; i < kRows; ++i)
          if (((i * 7919) % kRows) / 2 == s) {
            char line[64];
            std::snprintf(line, sizeof line, "s%05d|%s %d|%s%04X", s, table[0], i, table[2], i);
            (down ? descending : expected).push_back(line);
          }
    }
  struct Case {
    const char* sql;
    const std::vector<std::string>* rows;
  } cases[] = {
      {"SELECT S, L, B FROM UA UNION SELECT S, L, B FROM UB", &expected},
      {"SELECT S, L, B FROM UA UNION SELECT S, L, B FROM UB UNION SELECT S, L, B FROM UA "
       "ORDER BY 1 DESC",
       &descending},
  };
  int failures = 0;
  for (const Case& c : cases) {
    harness.backend().fetch_by_key_calls = 0;
    ExecRunOptions options;
    options.work_mem_size = 1;
    ExecRunResult result = harness.run(c.sql, options);
    if (result.rows != *c.rows ||
        harness.backend().fetch_by_key_calls != 2 * static_cast<int>(c.rows->size())) {
      std::fprintf(stderr, "%s: %zu rows, %d fetches, %s\n", c.sql, result.rows.size(),
                   harness.backend().fetch_by_key_calls, result.error.c_str());
      for (size_t i = 0; i < result.rows.size() && i < c.rows->size(); ++i)
        if (result.rows[i] != (*c.rows)[i]) {
          std::fprintf(stderr, "row %zu: %s, expected %s\n", i, result.rows[i].c_str(),
                       (*c.rows)[i].c_str());
          break;
        }
      ++failures;
    }
  }
  // A unique slot (S, then per LONG column the table's number and both tables' keys) fills a
  // 1 MB run long before the 2,400 rows end.
  if (sort_slots_per_run(1, 2013 + 2 * (16 + 16 + 16) + 8) * 2 > 2 * kRows) {
    std::fprintf(stderr, "the sort does not spill\n");
    ++failures;
  }
  return failures;
}

// The remembered work_mem_size is process-wide, so the spilling sorts run in a child.
TEST(ExecLongColumns, SpilledSortsReadTheirLongValuesByKey) {
  EXPECT_EXIT(std::exit(run_spilled_long_sorts() == 0 ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

TEST(ExecLongColumns, SpilledUnionsReadEachRowsLongValueFromItsTable) {
  EXPECT_EXIT(std::exit(run_spilled_long_unions() == 0 ? 0 : 1), ::testing::ExitedWithCode(0), "");
}

}  // namespace
