// The external sort: budget arithmetic, order, stability and uniqueness in memory and across
// spilled runs, push-back, work-file names and their cleanup, failures and time-outs.
// Sorts with a small remembered work_mem_size run in a child process, since the process
// keeps the first such value for good.
#include "driver/sql/sort.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "driver/sql/sort_internal.h"
#include "support/dm.h"
#include "support/memory.h"

namespace {

constexpr int32_t INT_DM = 16;  // dm header + 4-byte integer
// Test record: two integer dm keys, then the arrival number (not a key).
constexpr int32_t RECORD_LENGTH = 2 * INT_DM + 4;

struct Row {
  int32_t a;
  int32_t b;
  int32_t seq;
  bool operator==(const Row&) const = default;
};

void put_int_dm(unsigned char* at, int32_t value) {
  int32_t header[3] = {VALUE_INTEGER, 0, 0};
  std::memcpy(at, header, sizeof header);
  std::memcpy(at + DM_HEADER_SIZE, &value, sizeof value);
}

int32_t get_int_dm(const unsigned char* at) {
  int32_t value = 0;
  std::memcpy(&value, at + DM_HEADER_SIZE, sizeof value);
  return value;
}

std::vector<unsigned char> encode(const Row& row) {
  std::vector<unsigned char> record(RECORD_LENGTH);
  put_int_dm(record.data(), row.a);
  put_int_dm(record.data() + INT_DM, row.b);
  std::memcpy(record.data() + 2 * INT_DM, &row.seq, sizeof row.seq);
  return record;
}

Row decode(const unsigned char* record) {
  Row row{get_int_dm(record), get_int_dm(record + INT_DM), 0};
  std::memcpy(&row.seq, record + 2 * INT_DM, sizeof row.seq);
  return row;
}

std::vector<SortKey> int_keys(bool second_descending) {
  return {{VALUE_INTEGER, 0, INT_DM, 0},
          {VALUE_INTEGER, INT_DM, INT_DM, second_descending ? SORT_KEY_DESCENDING : 0}};
}

// Rows numbered in arrival order from (a, b) pairs.
std::vector<Row> rows_of(const std::vector<std::pair<int, int>>& pairs) {
  std::vector<Row> rows;
  for (const auto& [a, b] : pairs) rows.push_back({a, b, static_cast<int32_t>(rows.size())});
  return rows;
}

// The reference order: a ascending, b per `descending`, ties in arrival order.
std::vector<Row> reference(std::vector<Row> rows, bool descending, bool unique) {
  auto before = [descending](const Row& x, const Row& y) {
    if (x.a != y.a) return x.a < y.a;
    return descending ? x.b > y.b : x.b < y.b;
  };
  std::stable_sort(rows.begin(), rows.end(), before);
  if (unique)
    rows.erase(std::unique(rows.begin(), rows.end(),
                           [](const Row& x, const Row& y) { return x.a == y.a && x.b == y.b; }),
               rows.end());
  return rows;
}

// Work files of this process still open, by suffix (".tmp", ".mrg", ".rec").
int open_work_files(const char* suffix) {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  while (dirent* entry = readdir(dir)) {
    char link[4096] = {};
    std::string path = std::string("/proc/self/fd/") + entry->d_name;
    if (readlink(path.c_str(), link, sizeof link - 1) <= 0) continue;
    std::string target = link;
    if (target.find("/sort") != std::string::npos && target.find(suffix) != std::string::npos)
      ++count;
  }
  closedir(dir);
  return count;
}

// A fresh directory for work files, removed (it must be empty by then) at the end.
struct WorkDir {
  std::string path;
  WorkDir() {
    char name[] = "/tmp/quill_sort_XXXXXX";
    path = mkdtemp(name);
  }
  ~WorkDir() { rmdir(path.c_str()); }
  int entries() const {
    int count = 0;
    DIR* dir = opendir(path.c_str());
    if (!dir) return -1;
    while (dirent* entry = readdir(dir))
      if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) ++count;
    closedir(dir);
    return count;
  }
};

struct Outcome {
  int status = SORT_OK;  // first non-OK status of insert/finish/read (SORT_END: all fine)
  std::string error;
  std::vector<Row> rows;
  int tmp_files = 0;  // .tmp work files open after finish
  int mrg_files = 0;  // .mrg work files open after finish
  int rec_files = 0;  // .rec record files open after the input
};

// Sorts `rows` completely and reads the result back.
Outcome run_sort(const std::vector<Row>& rows, bool descending, bool unique,
                 const SortContext& context) {
  Outcome outcome;
  std::vector<SortKey> keys = int_keys(descending);
  SortWork* sort = nullptr;
  outcome.status = sort_open(RECORD_LENGTH, unique, 2, keys.data(), &sort, nullptr, context);
  if (outcome.status != SORT_OK) return outcome;
  for (const Row& row : rows) {
    outcome.status = sort_insert(sort, encode(row).data());
    if (outcome.status != SORT_OK) break;
  }
  outcome.rec_files = open_work_files(".rec");
  if (outcome.status == SORT_OK) outcome.status = sort_finish(sort);
  outcome.tmp_files = open_work_files(".tmp");
  outcome.mrg_files = open_work_files(".mrg");
  unsigned char record[RECORD_LENGTH];
  while (outcome.status == SORT_OK) {
    outcome.status = sort_read(sort, record);
    if (outcome.status == SORT_OK) outcome.rows.push_back(decode(record));
  }
  char text[200];
  sort_error_text(sort, text, sizeof text);
  outcome.error = text;
  sort_close(sort);
  return outcome;
}

SortContext context_in(const char* dir, long work_mem = -1) {
  return SortContext{dir, work_mem, nullptr, nullptr};
}

// Runs `body` in a child process, passing when it records no failure.
template <typename Body>
void in_child(Body body) {
  EXPECT_EXIT(
      {
        body();
        std::exit(::testing::Test::HasFailure() ? 1 : 0);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(SortBudget, RemembersTheFirstWorkMemSizeForTheProcess) {
  in_child([&] {
    EXPECT_EQ(sort_memory_budget(-1), 0x1E00000u);  // absent: 30 MB, not remembered
    EXPECT_EQ(sort_memory_budget(0), 0x1E00000u);
    EXPECT_EQ(sort_memory_budget(1), 1048576u);
    EXPECT_EQ(sort_slots_per_run(1, 108), 9709u);  // one 100-byte key + record number
    EXPECT_EQ(sort_memory_budget(8), 1048576u);    // the first value stays
    EXPECT_EQ(sort_memory_budget(-1), 1048576u);
  });
}

TEST(SortOpen, RejectsBadArguments) {
  std::vector<SortKey> keys = int_keys(false);
  SortKey outside{VALUE_INTEGER, RECORD_LENGTH - 8, INT_DM, 0};
  struct Case {
    int32_t record_length;
    int key_count;
    const SortKey* keys;
  } cases[] = {{0, 2, keys.data()},
               {RECORD_LENGTH, 0, keys.data()},
               {RECORD_LENGTH, 1, nullptr},
               {RECORD_LENGTH, 1, &outside}};
  for (const Case& c : cases) {
    SortWork* sort = reinterpret_cast<SortWork*>(1);
    EXPECT_EQ(
        sort_open(c.record_length, false, c.key_count, c.keys, &sort, nullptr, context_in(nullptr)),
        SORT_NO_SORT);
    EXPECT_EQ(sort, nullptr);
  }
  EXPECT_EQ(sort_open(RECORD_LENGTH, false, 2, keys.data(), nullptr, nullptr, context_in(nullptr)),
            SORT_NO_SORT);
}

TEST(SortInMemory, OrdersStablyWithDescendingAndUniqueKeys) {
  struct Case {
    const char* name;
    bool descending;
    bool unique;
    std::vector<std::pair<int, int>> input;
    std::vector<int> expected_seq;
  } cases[] = {
      {"equal keys keep arrival order",
       false,
       false,
       {{2, 0}, {1, 0}, {2, 0}, {1, 0}, {2, 0}},
       {1, 3, 0, 2, 4}},
      {"descending second key reverses only ties of the first",
       true,
       false,
       {{1, 1}, {1, 2}, {0, 5}, {1, 2}, {0, 9}},
       {4, 2, 1, 3, 0}},
      {"uniform run stays as it is", false, false, {{3, 3}, {3, 3}, {3, 3}}, {0, 1, 2}},
      {"unique keeps the first arrival",
       false,
       true,
       {{2, 1}, {1, 1}, {2, 1}, {1, 1}, {1, 2}},
       {1, 4, 0}},
      {"unique with descending key", true, true, {{1, 1}, {1, 2}, {1, 1}, {1, 2}}, {1, 0}},
      {"empty input", false, true, {}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Outcome outcome = run_sort(rows_of(c.input), c.descending, c.unique, context_in(nullptr));
    EXPECT_EQ(outcome.status, SORT_END);
    std::vector<int> seq;
    for (const Row& row : outcome.rows) seq.push_back(row.seq);
    EXPECT_EQ(seq, c.expected_seq);
    EXPECT_EQ(outcome.tmp_files + outcome.mrg_files + outcome.rec_files, 0)
        << "an in-memory sort made work files";
  }
}

TEST(SortInMemory, PushBackReturnsTheRecordAgain) {
  std::vector<SortKey> keys = int_keys(false);
  SortWork* sort = nullptr;
  ASSERT_EQ(sort_open(RECORD_LENGTH, false, 2, keys.data(), &sort, nullptr, context_in(nullptr)),
            SORT_OK);
  for (const Row& row : rows_of({{2, 0}, {1, 0}}))
    ASSERT_EQ(sort_insert(sort, encode(row).data()), SORT_OK);
  ASSERT_EQ(sort_finish(sort), SORT_OK);
  unsigned char record[RECORD_LENGTH];
  ASSERT_EQ(sort_read(sort, record), SORT_OK);
  EXPECT_EQ(decode(record).a, 1);
  sort_push_back(sort, record);
  std::vector<int> seen;
  while (sort_read(sort, record) == SORT_OK) seen.push_back(decode(record).a);
  EXPECT_EQ(seen, (std::vector<int>{1, 2}));
  sort_push_back(sort, encode({7, 7, 7}).data());  // after the end, too
  ASSERT_EQ(sort_read(sort, record), SORT_OK);
  EXPECT_EQ(decode(record), (Row{7, 7, 7}));
  EXPECT_EQ(sort_read(sort, record), SORT_END);
  sort_close(sort);
}

TEST(SortFiles, NamesCarryPidAndARisingCounter) {
  char first[256], second[256];
  sort_work_file_name("/w/dir/", ".tmp", first, sizeof first);
  sort_work_file_name("/w/dir", ".mrg", second, sizeof second);
  char pid[16];
  std::snprintf(pid, sizeof pid, "%05x", static_cast<unsigned>(getpid()));
  std::string prefix = std::string("/w/dir/sort") + pid;
  ASSERT_EQ(std::string(first).rfind(prefix, 0), 0u) << first;
  ASSERT_EQ(std::string(second).rfind(prefix, 0), 0u) << second;
  unsigned counter = 0, next = 0;
  ASSERT_EQ(std::sscanf(first + prefix.size(), "%5x.tmp", &counter), 1);
  ASSERT_EQ(std::sscanf(second + prefix.size(), "%5x.mrg", &next), 1);
  EXPECT_EQ(next, counter + 1);
  EXPECT_EQ(std::strlen(first), prefix.size() + 5 + 4);
}

// Work files are made only when runs spill, but a sort whose directory cannot take them
// fails at once.
TEST(SortFiles, MissingWorkDirectoryFailsOpenWithFileError) {
  std::vector<SortKey> keys = int_keys(false);
  SortWork* sort = nullptr;
  EXPECT_EQ(sort_open(RECORD_LENGTH, false, 2, keys.data(), &sort, nullptr,
                      context_in("/nonexistent/quill/sort")),
            SORT_FILE_ERROR);
  EXPECT_EQ(sort, nullptr);
}

bool always_timed_out(void*) {
  return true;
}

TEST(SortTimeout, FinishReportsTimeoutInMemory) {
  std::vector<SortKey> keys = int_keys(false);
  SortWork* sort = nullptr;
  SortContext context{nullptr, -1, always_timed_out, nullptr};
  ASSERT_EQ(sort_open(RECORD_LENGTH, false, 2, keys.data(), &sort, nullptr, context), SORT_OK);
  ASSERT_EQ(sort_insert(sort, encode({1, 1, 0}).data()), SORT_OK);
  EXPECT_EQ(sort_finish(sort), SORT_TIMEOUT);
  unsigned char record[RECORD_LENGTH];
  EXPECT_EQ(sort_read(sort, record), SORT_TIMEOUT);
  sort_close(sort);
}

// Random rows for the spilling sorts: few distinct values of `a` so ties cross runs.
std::vector<Row> random_rows(size_t count, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<Row> rows(count);
  for (size_t i = 0; i < count; ++i)
    rows[i] = {static_cast<int32_t>(random() % 50), static_cast<int32_t>(random() % 40),
               static_cast<int32_t>(i)};
  return rows;
}

TEST(SortInMemory, LargeSortsMergeTheirCacheSizedChunksStably) {
  // 40-byte slots: 60,000 rows fill several chunks of the in-memory sort but no run file.
  std::vector<Row> rows = random_rows(60000, 17);
  for (bool descending : {false, true})
    for (bool unique : {false, true}) {
      SCOPED_TRACE(std::string(descending ? "desc" : "asc") + (unique ? " unique" : ""));
      Outcome outcome = run_sort(rows, descending, unique, context_in(nullptr));
      EXPECT_EQ(outcome.status, SORT_END) << outcome.error;
      EXPECT_TRUE(outcome.rows == reference(rows, descending, unique));
      EXPECT_EQ(outcome.tmp_files + outcome.mrg_files + outcome.rec_files, 0);
    }
}

TEST(SortSpill, MatchesStableSortAcrossRuns) {
  in_child([&] {
    WorkDir dir;
    // 40-byte slots under 1 MB: 26,214 per run, so 300,000 rows make 12 runs.
    std::vector<Row> rows = random_rows(300000, 7);
    struct Case {
      bool descending;
      bool unique;
      size_t count;
    } cases[] = {
        {false, false, 300000}, {true, true, 300000}, {true, false, 60000}, {false, true, 60000}};
    for (const Case& c : cases) {
      rows.resize(c.count);
      SCOPED_TRACE(std::string(c.descending ? "desc" : "asc") + (c.unique ? " unique" : ""));
      Outcome outcome = run_sort(rows, c.descending, c.unique, context_in(dir.path.c_str(), 1));
      EXPECT_EQ(outcome.status, SORT_END) << outcome.error;
      EXPECT_TRUE(outcome.rows == reference(rows, c.descending, c.unique));
      EXPECT_EQ(outcome.mrg_files, 1);
      EXPECT_EQ(dir.entries(), 0);
    }
    EXPECT_EQ(open_work_files(".tmp") + open_work_files(".mrg"), 0);
  });
}

TEST(SortSpill, WideRecordsEndRunsBeforeTheSlotsDo) {
  in_child([&] {
    WorkDir dir;
    // 4,000-byte records under 1 MB: 262 records end a run long before its 40-byte slots fill
    // it, and every record must come back whole beside its own slot.
    constexpr int32_t WIDE = 4000;
    std::vector<SortKey> keys = int_keys(true);
    SortWork* sort = nullptr;
    ASSERT_EQ(
        sort_open(WIDE, true, 2, keys.data(), &sort, nullptr, context_in(dir.path.c_str(), 1)),
        SORT_OK);
    std::vector<Row> rows = random_rows(6000, 13);
    std::vector<unsigned char> record(WIDE);
    for (const Row& row : rows) {
      std::vector<unsigned char> head = encode(row);
      std::memcpy(record.data(), head.data(), head.size());
      for (int32_t at = RECORD_LENGTH; at < WIDE; ++at)
        record[static_cast<size_t>(at)] = static_cast<unsigned char>(row.seq * 31 + at);
      ASSERT_EQ(sort_insert(sort, record.data()), SORT_OK);
    }
    ASSERT_EQ(sort_finish(sort), SORT_OK);
    EXPECT_GE(sort->run_count, 22);
    std::vector<Row> sorted;
    bool whole = true;
    while (sort_read(sort, record.data()) == SORT_OK) {
      Row row = decode(record.data());
      sorted.push_back(row);
      for (int32_t at = RECORD_LENGTH; at < WIDE && whole; ++at)
        whole = record[static_cast<size_t>(at)] == static_cast<unsigned char>(row.seq * 31 + at);
    }
    EXPECT_TRUE(whole) << "a record came back with another record's bytes";
    EXPECT_TRUE(sorted == reference(rows, true, true));
    sort_close(sort);
    EXPECT_EQ(dir.entries(), 0);
    EXPECT_EQ(open_work_files(".tmp") + open_work_files(".mrg") + open_work_files(".rec"), 0);
  });
}

TEST(SortSpill, LostWorkDirectoryFailsTheRunWrite) {
  in_child([&] {
    WorkDir dir;
    std::vector<SortKey> keys = int_keys(false);
    SortWork* sort = nullptr;
    ASSERT_EQ(sort_open(RECORD_LENGTH, false, 2, keys.data(), &sort, nullptr,
                        context_in(dir.path.c_str(), 1)),
              SORT_OK);
    ASSERT_EQ(rmdir(dir.path.c_str()), 0);  // no work file is made before the first run
    int status = SORT_OK;
    for (const Row& row : random_rows(30000, 3))
      if ((status = sort_insert(sort, encode(row).data())) != SORT_OK) break;
    EXPECT_EQ(status, SORT_FILE_ERROR);
    char text[200];
    sort_error_text(sort, text, sizeof text);
    EXPECT_STREQ(text, "OSFile error (FILEWRITE) 2");
    EXPECT_EQ(sort_finish(sort), SORT_FILE_ERROR);
    sort_close(sort);
  });
}

TEST(SortSpill, GrowsTheRunTableForManyShortRuns) {
  std::vector<SortKey> keys = int_keys(true);
  SortWork* sort = nullptr;
  ASSERT_EQ(sort_open(RECORD_LENGTH, false, 2, keys.data(), &sort, nullptr, context_in(nullptr)),
            SORT_OK);
  // Runs of three slots: 1,000 rows make 334 runs, past the first 128 entries and two growths.
  size_t slots_per_run = sort->slots_per_run;
  sort->slots_per_run = sort->free_slots = 3;
  std::vector<Row> rows = random_rows(1000, 11);
  for (const Row& row : rows) ASSERT_EQ(sort_insert(sort, encode(row).data()), SORT_OK);
  sort->slots_per_run = slots_per_run;  // finish unmaps the buffers open mapped
  ASSERT_EQ(sort_finish(sort), SORT_OK);
  EXPECT_EQ(sort->run_count, 334);
  std::vector<Row> sorted;
  unsigned char record[RECORD_LENGTH];
  while (sort_read(sort, record) == SORT_OK) sorted.push_back(decode(record));
  EXPECT_TRUE(sorted == reference(rows, true, false));
  sort_close(sort);
}

// Not timed out for the first `*argument` checks, then timed out.
bool timed_out_after(void* argument) {
  int* left = static_cast<int*>(argument);
  return (*left)-- <= 0;
}

TEST(SortSpill, MergeChecksTheTimeout) {
  in_child([&] {
    WorkDir dir;
    std::vector<SortKey> keys = int_keys(false);
    int checks_left = 1000;
    SortContext context{dir.path.c_str(), 1, timed_out_after, &checks_left};
    SortWork* sort = nullptr;
    ASSERT_EQ(sort_open(RECORD_LENGTH, false, 2, keys.data(), &sort, nullptr, context), SORT_OK);
    for (const Row& row : random_rows(60000, 5))
      ASSERT_EQ(sort_insert(sort, encode(row).data()), SORT_OK);
    checks_left = 3;  // the last run's sort and two merge steps pass
    EXPECT_EQ(sort_finish(sort), SORT_TIMEOUT);
    EXPECT_LT(checks_left, 0);
    sort_close(sort);
    EXPECT_EQ(dir.entries(), 0);
  });
}

}  // namespace
