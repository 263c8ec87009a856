// The cursor layer over a generated row source: every orientation checked against
// a small reference model across result, rowset and cache sizes (values include
// NULLs, text and bytes longer than declared, and long data), plus the edge cases
// of forward-only fetching, max rows, bookmarks and the result-set file.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver/odbc/cursor/cursor_layer.h"
#include "support/longbuf.h"
#include "support/value.h"

namespace {

constexpr int COLUMNS = 4;
const int kTypes[COLUMNS] = {SQL_INTEGER, SQL_VARCHAR, SQL_LONGVARCHAR, SQL_VARBINARY};
const int32_t kLengths[COLUMNS] = {10, 5, 0, 4};

// Row n's values: its number; short text, text longer than declared or NULL; long text
// (one row large enough to leave memory) or NULL; bytes, some longer than declared.
void fill_row(QuillValue** values, int n) {
  set_value_to_int(values[0], n);
  std::string text = n % 5 == 0   ? "row-" + std::to_string(n) + "-longer-than-declared"
                     : n % 3 == 0 ? "wide" + std::to_string(n) + "-raised"
                                  : "r" + std::to_string(n);
  if (n % 7 == 0) {
    set_value_null(values[1], VALUE_CHARACTER);
  } else {
    set_value_to_text(values[1], text.data(), text.size());
    if (n % 5 == 0) values[1]->length = 5;  // declared length kept below the data
  }
  LongBuffer* buffer = allocate_long_buffer(values[2]->pool, 0, 2, nullptr, SQL_LONGVARCHAR);
  if (n % 11 == 0) {
    set_long_buffer_null(buffer);
  } else {
    std::string content(n == 7 ? 70000 : static_cast<size_t>(n * 37 % 300), 'a' + n % 26);
    append_to_long_buffer(buffer, content.data(), content.size());
  }
  set_value_to_long(values[2], VALUE_LONG_CHARACTER, buffer);
  unsigned char bytes[8] = {
      static_cast<unsigned char>(n), static_cast<unsigned char>(n >> 8), 1, 2, 3, 4, 5, 6};
  set_value_to_binary(values[3], bytes, n % 4 == 0 ? 8 : 4);
  values[3]->length = 4;
}

std::string describe(const QuillValue* value) {
  if (!value) return "missing";
  if (is_value_null(value)) return "null";
  switch (value->kind) {
    case VALUE_INTEGER:
      return "i" + std::to_string(value->payload.integer);
    case VALUE_CHARACTER:
      return "c" +
             std::string(value->bytes.data, strnlen(value->bytes.data, value->bytes.capacity));
    case VALUE_BINARY:
      return "b" + std::string(value->bytes.data, static_cast<size_t>(value->bytes.length));
    case VALUE_LONG_CHARACTER: {
      std::string content(static_cast<size_t>(long_buffer_length(value->long_buffer)), '\0');
      read_long_buffer_at(value->long_buffer, 0, content.data(), content.size());
      return "l" + content;
    }
    default:
      return "kind" + std::to_string(value->kind);
  }
}

// A source of `rows` generated rows; row `fail_at` fails, row `warn_at` warns.
struct FakeSource {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  QuillValue* values[COLUMNS] = {};
  int rows = 0, served = 0, fail_at = 0, warn_at = 0;

  explicit FakeSource(int row_count) : rows(row_count) {
    for (auto& value : values) value = NewValue(pool, 8);
  }
  ~FakeSource() {
    for (auto* value : values) release_value(pool, value);
    FreeErrorHeader(errors);
    quill_mem_release_handle(pool);
  }
  static int fetch(void* context) {
    auto* self = static_cast<FakeSource*>(context);
    if (self->served >= self->rows) return SQL_NO_DATA;
    int n = ++self->served;
    if (n == self->fail_at) {
      SetReturnCode(self->errors, -1);
      PostError(self->errors, 2, 0, 0, 0, 0, "ISO 9075", "HY000", "%s", "source failed");
      return -1;
    }
    fill_row(self->values, n);
    return n == self->warn_at ? 1 : 0;
  }
  static const QuillValue* column(void* context, int column) {
    return static_cast<FakeSource*>(context)->values[column];
  }
  CursorSource source() { return {this, fetch, column, COLUMNS, kTypes, kLengths}; }
};

// Expected descriptions of row n, from a freshly generated row.
std::vector<std::string> expected_row(int n) {
  FakeSource scratch(0);
  fill_row(scratch.values, n);
  std::vector<std::string> out;
  for (auto* value : scratch.values) out.push_back(describe(value));
  return out;
}

struct Delivered {
  CursorLayer* layer = nullptr;
  std::vector<SQLLEN> numbers;                 // bookmark of each delivered row
  std::vector<std::vector<std::string>> rows;  // its columns
  SQLULEN fail_row = SIZE_MAX;                 // delivery that reports an error
};

SQLRETURN record_row(void* context, SQLULEN row, int) {
  auto* out = static_cast<Delivered*>(context);
  out->numbers.push_back(cursor_row_number(out->layer));
  std::vector<std::string> columns;
  for (int c = 0; c < COLUMNS; ++c) columns.push_back(describe(cursor_column(out->layer, c)));
  out->rows.push_back(columns);
  return row == out->fail_row ? SQL_ERROR : SQL_SUCCESS;
}

std::string first_state(ErrorHeader* errors, std::string* origin = nullptr) {
  SQLCHAR state[6] = {0};
  if (GetDiagRec(errors, 1, state, nullptr, nullptr, 0, nullptr) != SQL_SUCCESS) return "";
  if (origin) {
    char text[32] = {0};
    GetDiagField(SQL_HANDLE_STMT, errors, 1, SQL_DIAG_CLASS_ORIGIN, text, sizeof text, nullptr);
    *origin = text;
  }
  return reinterpret_cast<char*>(state);
}

// Entries of a directory other than "." and "..".
int count_entries(const char* path) {
  int count = 0;
  DIR* dir = opendir(path);
  while (dirent* entry = readdir(dir)) count += entry->d_name[0] != '.';
  closedir(dir);
  return count;
}

// A work directory of its own, removed at the end.
struct WorkDir {
  char path[32] = "/tmp/cursor_test_XXXXXX";
  WorkDir() { mkdtemp(path); }
  ~WorkDir() { rmdir(path); }
};

// One open layer over a fake source, with a fetch helper.
struct Harness {
  FakeSource source;
  WorkDir work;
  CursorLayer* layer = nullptr;
  std::vector<SQLUSMALLINT> status;
  SQLULEN fetched = 0;
  Delivered delivered;

  Harness(int rows, int kind, int cache, SQLULEN max_rows = 0) : source(rows) {
    CursorOptions options{kind, max_rows, work.path, cache};
    layer = cursor_open(source.errors, source.pool, options, source.source());
    delivered.layer = layer;
  }
  ~Harness() { cursor_close(layer); }
  SQLRETURN fetch(int orientation, SQLLEN offset, SQLULEN rowset, bool bookmarks = false,
                  SQLLEN bookmark = 0) {
    status.assign(rowset + 2, 77);  // two guard entries past the rowset stay untouched
    delivered.numbers.clear();
    delivered.rows.clear();
    SetupErrorHeader(source.errors, 0);
    FetchRequest request{orientation,   offset,   bookmark,   bookmarks, rowset,
                         status.data(), &fetched, record_row, &delivered};
    return cursor_fetch(layer, request);
  }
};

// The reference model of scrolling: which rows a fetch delivers.
struct Model {
  long total;         // rows the result has (after max rows)
  long written = 0;   // rows read so far
  long start = 0;     // 0 before the start, total + 1 after the end
  long previous = 1;  // rowset size of the last fetch
  struct Outcome {
    SQLRETURN rc;
    long first, count;
  };
  Outcome fetch(int orientation, long offset, long rowset, long bookmark) {
    long from = 0;
    switch (orientation) {
      case SQL_FETCH_NEXT:
        from = start == 0 ? 1 : start + previous;
        break;
      case SQL_FETCH_FIRST:
        from = 1;
        break;
      case SQL_FETCH_LAST:
        written = total;
        from = total == 0 ? 1 : std::max(1L, total - rowset + 1);
        break;
      case SQL_FETCH_PRIOR:
        from = start <= 1 ? 0 : std::max(1L, start - rowset);
        break;
      case SQL_FETCH_ABSOLUTE:
        from = offset;
        break;
      case SQL_FETCH_RELATIVE:
        from = start + offset;
        break;
      case SQL_FETCH_BOOKMARK:
        if (bookmark <= 0 || bookmark > written) return {SQL_ERROR, 0, 0};
        from = bookmark + offset;
        break;
    }
    previous = rowset;
    if (from < 1) {
      start = 0;
      return {SQL_NO_DATA, 0, 0};
    }
    if (from > total) {
      written = total;
      start = total + 1;
      return {SQL_NO_DATA, 0, 0};
    }
    start = from;
    long count = std::min(rowset, total - from + 1);
    written = std::max(written, count < rowset ? total : from + count - 1);
    return {SQL_SUCCESS, from, count};
  }
};

struct Step {
  int orientation;
  long offset;
  long bookmark;
};

const Step kScript[] = {
    {SQL_FETCH_NEXT, 0, 0},        {SQL_FETCH_NEXT, 0, 0},       {SQL_FETCH_PRIOR, 0, 0},
    {SQL_FETCH_NEXT, 0, 0},        {SQL_FETCH_BOOKMARK, 1, 2},   {SQL_FETCH_RELATIVE, 4, 0},
    {SQL_FETCH_PRIOR, 0, 0},       {SQL_FETCH_PRIOR, 0, 0},      {SQL_FETCH_PRIOR, 0, 0},
    {SQL_FETCH_NEXT, 0, 0},        {SQL_FETCH_ABSOLUTE, 30, 0},  {SQL_FETCH_RELATIVE, -2, 0},
    {SQL_FETCH_LAST, 0, 0},        {SQL_FETCH_NEXT, 0, 0},       {SQL_FETCH_NEXT, 0, 0},
    {SQL_FETCH_PRIOR, 0, 0},       {SQL_FETCH_BOOKMARK, -3, 29}, {SQL_FETCH_FIRST, 0, 0},
    {SQL_FETCH_ABSOLUTE, 0, 0},    {SQL_FETCH_NEXT, 0, 0},       {SQL_FETCH_ABSOLUTE, -3, 0},
    {SQL_FETCH_RELATIVE, 7, 0},    {SQL_FETCH_ABSOLUTE, 997, 0}, {SQL_FETCH_RELATIVE, -100, 0},
    {SQL_FETCH_ABSOLUTE, 5000, 0}, {SQL_FETCH_PRIOR, 0, 0},      {SQL_FETCH_ABSOLUTE, 1, 0},
    {SQL_FETCH_BOOKMARK, 0, 1000},
};

// `current`: the row left current (scrollable: the rowset's first; forward-only: its last).
void check_rowset(Harness& h, SQLRETURN rc, const Model::Outcome& expected, SQLULEN rowset,
                  const std::string& where, bool forward = false) {
  ASSERT_EQ(expected.rc, rc) << where;
  if (rc == SQL_ERROR) return;
  ASSERT_EQ(static_cast<SQLULEN>(expected.count), h.fetched) << where;
  ASSERT_EQ(static_cast<size_t>(expected.count), h.delivered.rows.size()) << where;
  for (long i = 0; i < expected.count; ++i) {
    EXPECT_EQ(expected.first + i, h.delivered.numbers[i]) << where;
    EXPECT_EQ(expected_row(static_cast<int>(expected.first + i)), h.delivered.rows[i]) << where;
  }
  for (SQLULEN i = 0; i < rowset; ++i)
    EXPECT_EQ(i < static_cast<SQLULEN>(expected.count) ? SQL_ROW_SUCCESS : SQL_ROW_NOROW,
              h.status[i])
        << where << " row " << i;
  EXPECT_EQ(77, h.status[rowset]) << where;  // nothing written past the rowset
  SQLLEN current = expected.count == 0 ? 0
                   : forward           ? expected.first + expected.count - 1
                                       : expected.first;
  EXPECT_EQ(current, cursor_row_number(h.layer)) << where;
}

TEST(CursorLayer, ScrollingMatchesTheModel) {
  for (int rows : {0, 1, 29, 30, 31, 1000})
    for (SQLULEN rowset : {1, 3, 10})
      for (int cache : {1, 30, 4096})
        for (SQLULEN max_rows : {0, 25}) {
          if (max_rows && cache != 30) continue;
          Harness h(rows, CURSOR_STATIC, cache, max_rows);
          ASSERT_NE(nullptr, h.layer);
          Model model{max_rows && static_cast<long>(max_rows) < rows ? static_cast<long>(max_rows)
                                                                     : rows};
          int step = 0;
          for (const Step& s : kScript) {
            std::string where = "rows " + std::to_string(rows) + " rowset " +
                                std::to_string(rowset) + " cache " + std::to_string(cache) +
                                " max " + std::to_string(max_rows) + " step " +
                                std::to_string(step++);
            SQLRETURN rc = h.fetch(s.orientation, s.offset, rowset, true, s.bookmark);
            auto expected =
                model.fetch(s.orientation, s.offset, static_cast<long>(rowset), s.bookmark);
            check_rowset(h, rc, expected, rowset, where);
            if (::testing::Test::HasFatalFailure()) return;
          }
          EXPECT_EQ(model.total > cache, cursor_has_file(h.layer))
              << rows << " rows, cache " << cache;
        }
}

TEST(CursorLayer, ForwardOnlyDeliversEveryRowOnce) {
  for (int rows : {0, 1, 29, 31, 1000})
    for (SQLULEN rowset : {1, 3, 10}) {
      Harness h(rows, CURSOR_FORWARD_ONLY, 30);
      long next = 1;
      SQLRETURN rc;
      while ((rc = h.fetch(SQL_FETCH_NEXT, 0, rowset)) != SQL_NO_DATA) {
        ASSERT_EQ(SQL_SUCCESS, rc);
        long count = std::min(static_cast<long>(rowset), rows - next + 1);
        // The source's own value is served, not a copy.
        EXPECT_EQ(h.source.values[0], cursor_column(h.layer, 0));
        check_rowset(h, rc, {SQL_SUCCESS, next, count}, rowset, "forward " + std::to_string(rows),
                     true);
        next += count;
      }
      EXPECT_EQ(rows + 1, next);
      EXPECT_FALSE(cursor_has_file(h.layer));
    }
}

TEST(CursorLayer, RefusedOrientationsAndBookmarks) {
  struct Case {
    int kind, orientation;
    bool bookmarks;
    SQLLEN bookmark;
    const char* state;
    const char* origin;
  } cases[] = {
      {CURSOR_FORWARD_ONLY, SQL_FETCH_PRIOR, false, 0, "HY106", "ISO 9075"},
      {CURSOR_FORWARD_ONLY, SQL_FETCH_ABSOLUTE, false, 0, "HY106", "ISO 9075"},
      {CURSOR_STATIC, SQL_FETCH_BOOKMARK, false, 1, "HY106", "ISO 9075"},
      {CURSOR_STATIC, SQL_FETCH_BOOKMARK, true, 0, "HY111", "ODBC 3.0"},
      {CURSOR_STATIC, SQL_FETCH_BOOKMARK, true, 9, "HY111", "ODBC 3.0"},
      {CURSOR_KEYSET, 7, false, 0, "HY106", "ISO 9075"},
  };
  for (const Case& c : cases) {
    Harness h(10, c.kind, 30);
    ASSERT_EQ(SQL_SUCCESS, h.fetch(SQL_FETCH_NEXT, 0, 4));  // rows 1..4 read
    EXPECT_EQ(SQL_ERROR, h.fetch(c.orientation, 0, 4, c.bookmarks, c.bookmark));
    std::string origin;
    EXPECT_EQ(c.state, first_state(h.source.errors, &origin)) << c.orientation;
    EXPECT_EQ(c.origin, origin) << c.orientation;
  }
}

TEST(CursorLayer, MaxRowsEndsTheResult) {
  for (int kind : {CURSOR_FORWARD_ONLY, CURSOR_STATIC}) {
    Harness h(100, kind, 30, 10);
    const SQLULEN counts[] = {4, 4, 2};
    for (SQLULEN count : counts) {
      EXPECT_EQ(SQL_SUCCESS, h.fetch(SQL_FETCH_NEXT, 0, 4));
      EXPECT_EQ(count, h.fetched);
    }
    EXPECT_EQ(SQL_ROW_NOROW, h.status[2]);
    EXPECT_EQ(SQL_ROW_NOROW, h.status[3]);
    EXPECT_EQ(SQL_NO_DATA, h.fetch(SQL_FETCH_NEXT, 0, 4));
    EXPECT_EQ(10, h.source.served);
  }
}

TEST(CursorLayer, FileIsMadeAtTheFirstEvictionAndHidden) {
  {
    Harness h(31, CURSOR_STATIC, 30);
    for (int n = 1; n <= 30; ++n) ASSERT_EQ(SQL_SUCCESS, h.fetch(SQL_FETCH_NEXT, 0, 1));
    EXPECT_FALSE(cursor_has_file(h.layer));
    EXPECT_STREQ("", cursor_file_name(h.layer));
    ASSERT_EQ(SQL_SUCCESS, h.fetch(SQL_FETCH_NEXT, 0, 1));
    EXPECT_TRUE(cursor_has_file(h.layer));
    std::string name = cursor_file_name(h.layer);
    EXPECT_EQ(0u, name.rfind(std::string(h.work.path) + "/rs", 0)) << name;
    EXPECT_EQ(".tmp", name.substr(name.size() - 4));
    EXPECT_EQ(0, count_entries(h.work.path));  // unlinked as soon as made
    ASSERT_EQ(SQL_SUCCESS, h.fetch(SQL_FETCH_FIRST, 0, 1));
    EXPECT_EQ(expected_row(1), h.delivered.rows[0]);
  }
  Harness h(30, CURSOR_STATIC, 30);
  EXPECT_EQ(SQL_SUCCESS, h.fetch(SQL_FETCH_LAST, 0, 7));
  EXPECT_EQ(SQL_SUCCESS, h.fetch(SQL_FETCH_FIRST, 0, 7));
  EXPECT_FALSE(cursor_has_file(h.layer));
}

TEST(CursorLayer, NothingLeaksAfterClose) {
  int before = count_entries("/proc/self/fd");
  {
    Harness h(200, CURSOR_STATIC, 1);
    EXPECT_EQ(SQL_SUCCESS, h.fetch(SQL_FETCH_LAST, 0, 3));
    EXPECT_EQ(SQL_SUCCESS, h.fetch(SQL_FETCH_ABSOLUTE, 7, 3));  // the 70,000-byte long value
    EXPECT_TRUE(cursor_has_file(h.layer));
    EXPECT_GT(count_entries("/proc/self/fd"), before);
  }
  EXPECT_EQ(before, count_entries("/proc/self/fd"));
}

TEST(CursorLayer, FailedRowsEndTheFetch) {
  struct Case {
    int kind, fail_at, warn_at;
    SQLULEN fail_delivery;
    SQLRETURN rc;
    std::vector<SQLUSMALLINT> status;
  } cases[] = {
      {CURSOR_FORWARD_ONLY, 3, 0, SIZE_MAX, SQL_ERROR, {0, 0, 5, 3}},
      {CURSOR_STATIC, 3, 0, SIZE_MAX, SQL_ERROR, {0, 0, 5, 3}},
      {CURSOR_FORWARD_ONLY, 0, 2, SIZE_MAX, SQL_SUCCESS_WITH_INFO, {0, 6, 0, 0}},
      {CURSOR_STATIC, 0, 2, SIZE_MAX, SQL_SUCCESS_WITH_INFO, {0, 6, 0, 0}},
      {CURSOR_STATIC, 0, 0, 1, SQL_ERROR, {0, 5, 3, 3}},
      {CURSOR_FORWARD_ONLY, 0, 0, 0, SQL_ERROR, {5, 3, 3, 3}},
  };
  for (const Case& c : cases) {
    Harness h(10, c.kind, 30);
    h.source.fail_at = c.fail_at;
    h.source.warn_at = c.warn_at;
    h.delivered.fail_row = c.fail_delivery;
    EXPECT_EQ(c.rc, h.fetch(SQL_FETCH_NEXT, 0, 4));
    EXPECT_EQ(c.status, std::vector<SQLUSMALLINT>(h.status.begin(), h.status.begin() + 4));
  }
}

TEST(CursorLayer, AbsoluteZeroThenNextGivesRowOne) {
  Harness h(5, CURSOR_STATIC, 30);
  EXPECT_EQ(SQL_NO_DATA, h.fetch(SQL_FETCH_ABSOLUTE, 0, 2));
  EXPECT_EQ(0, cursor_row_number(h.layer));
  EXPECT_EQ(nullptr, cursor_column(h.layer, 0));
  EXPECT_EQ(SQL_SUCCESS, h.fetch(SQL_FETCH_NEXT, 0, 2));
  EXPECT_EQ(1, h.delivered.numbers[0]);
  EXPECT_EQ(SQL_SUCCESS, cursor_position(h.layer, 1));
  EXPECT_EQ(2, cursor_row_number(h.layer));
  EXPECT_EQ(SQL_ERROR, cursor_position(h.layer, 2));
  EXPECT_EQ("HY109", first_state(h.source.errors));
}

// The first positive size wins for the life of the process, so it runs in a child.
TEST(CursorLayerDeathTest, CacheSizeIsSetOnce) {
  EXPECT_EXIT(
      {
        bool ok = cursor_cache_size() == 30;
        cursor_note_cache_size(0);
        cursor_note_cache_size(-4);
        ok = ok && cursor_cache_size() == 30;
        cursor_note_cache_size(50);
        cursor_note_cache_size(70);
        ok = ok && cursor_cache_size() == 50;
        std::exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace

// A result of two equal rows of one value: with one cache slot the first row goes through
// the file before it is read back.
struct OneValueSource {
  QuillValue* value;
  int served = 0;
  static int fetch(void* context) {
    return ++static_cast<OneValueSource*>(context)->served <= 2 ? 0 : SQL_NO_DATA;
  }
  static const QuillValue* column(void* context, int) {
    return static_cast<OneValueSource*>(context)->value;
  }
};

TEST(CursorLayer, StoredValuesReadBackUnchanged) {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  SQL_TIMESTAMP_STRUCT stamp{2024, 2, 29, 10, 0, 0, 500000000};
  SQL_INTERVAL_STRUCT interval{};
  interval.interval_type = SQL_IS_DAY_TO_SECOND;
  interval.intval.day_second = {1, 2, 3, 4, 5};
  std::string wide(300, 'x');
  struct Case {
    int sql_type;
    int32_t length;
    void (*fill)(QuillValue*, const void*);
    const void* data = nullptr;
  } cases[] = {
      {SQL_INTEGER, 10, [](QuillValue* v, const void*) { set_value_to_bigint(v, 1LL << 40); }},
      {SQL_DOUBLE, 15, [](QuillValue* v, const void*) { set_value_to_double(v, 0.1); }},
      {SQL_TYPE_TIMESTAMP, 29,
       [](QuillValue* v, const void* d) {
         set_value_to_timestamp(v, static_cast<const SQL_TIMESTAMP_STRUCT*>(d));
       },
       &stamp},
      {SQL_INTERVAL_DAY_TO_SECOND, 20,
       [](QuillValue* v, const void* d) {
         set_interval_payload(v, static_cast<const SQL_INTERVAL_STRUCT*>(d), 5);
       },
       &interval},
      {SQL_NUMERIC, 20, [](QuillValue* v, const void*) { string_to_numeric("-12.50", v, 20, 2); }},
      {SQL_VARCHAR, -1,
       [](QuillValue* v, const void* d) {
         auto* text = static_cast<const std::string*>(d);
         set_value_to_text(v, text->data(), text->size());
       },
       &wide},
      {SQL_VARBINARY, 2, [](QuillValue* v, const void*) { set_value_null(v, VALUE_BINARY); }},
      {0, 0, [](QuillValue* v, const void*) { set_value_null(v, VALUE_NONE); }},
  };
  for (const Case& c : cases) {
    OneValueSource source{NewValue(pool, 8)};
    c.fill(source.value, c.data);
    CursorSource rows{&source, OneValueSource::fetch, OneValueSource::column,
                      1,       &c.sql_type,           &c.length};
    CursorLayer* layer = cursor_open(errors, pool, {CURSOR_KEYSET, 0, nullptr, 1}, rows);
    FetchRequest request{SQL_FETCH_LAST, 0, 0, false, 2, nullptr, nullptr, nullptr, nullptr};
    ASSERT_EQ(SQL_SUCCESS, cursor_fetch(layer, request)) << c.sql_type;
    EXPECT_TRUE(cursor_has_file(layer));
    const QuillValue* back = cursor_column(layer, 0);
    ASSERT_NE(nullptr, back);
    EXPECT_EQ(source.value->kind, back->kind) << c.sql_type;
    EXPECT_EQ(is_value_null(source.value), is_value_null(back)) << c.sql_type;
    EXPECT_EQ(0, compare_values(source.value, back)) << c.sql_type;
    cursor_close(layer);
  }
  FreeErrorHeader(errors);
  quill_mem_release_handle(pool);
}
