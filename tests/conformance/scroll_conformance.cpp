// Scrolling conformance through the unixODBC Driver Manager: the driver, fed by the
// generated-table backend module, is walked over `SELECT * FROM rows_N` results of 0 to
// 100,000 rows with forward-only and static cursors, row-wise and column-wise bindings and
// row arrays of 1, 7 and 100; every rowset (return code, values, indicators, row statuses,
// rows fetched, bookmarks) is compared with a model of the cursor computed from rows_data.h.
// Static cursors take a scripted random walk (fixed seed) through every fetch orientation,
// also with SQLExtendedFetch. Beside the walks: column descriptions, catalog calls
// (SQLTables, SQLColumns), filtered queries the engine must re-check because the module
// ignores pushed restrictions, and fetch corner cases (SQL_ATTR_MAX_ROWS, bookmarks off,
// SQLSetPos beyond the rowset, SQLGetData of the bookmark).
//
//   quill_scroll_conformance [--cache=N] [--seed=S] [--verbose]
//                            [--driver=PATH] [--module=PATH] [--sqlite=PATH]
//
// --cache gives the connection's work_dir_size: the record cache size is fixed by the first
// connection of a process, so each cache size runs in its own process. --sqlite=PATH runs the
// same walk against the SQLite ODBC driver over a file database filled with the same rows,
// using the ODBC reference rules for the corner cases where this driver's cursor rules differ
// (a check of the program itself). Exit status 0 when everything matched.
#include <sql.h>
#include <sqlext.h>

#include <stdlib.h>
#include <strings.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/backend/rows_data.h"

namespace {

// ---- options and environment ----

struct Options {
  int cache = 30;                               // work_dir_size of the connection
  uint64_t seed = 20261209;                     // seed of the random walks
  bool verbose = false;                         // print every run, not just failures
  std::string driver = QUILL_DRIVER_PATH;       // the driver library
  std::string module = QUILL_ROWS_MODULE_PATH;  // the backend module
  std::string sqlite;                           // SQLite ODBC driver path (reference mode)
};

Options g_options;
// Steps taken per orientation (index 0: SQLFetch) and how many of them returned SQL_NO_DATA.
long g_steps[9] = {0};
long g_no_data[9] = {0};
std::string g_dir;  // temporary directory: ini files, work files, SQLite database
int g_failures = 0;

bool reference_mode() {
  return !g_options.sqlite.empty();
}

bool write_ini_files() {
  char pattern[] = "/tmp/quill_scroll_XXXXXX";
  if (!mkdtemp(pattern)) return false;
  g_dir = pattern;
  std::ofstream(g_dir + "/odbcinst.ini") << "[QuillRows]\nDriver=" << g_options.driver << "\n"
                                         << "[SQLiteRows]\nDriver=" << g_options.sqlite << "\n";
  std::ofstream(g_dir + "/odbc.ini") << "";
  setenv("ODBCSYSINI", g_dir.c_str(), 1);
  setenv("ODBCINI", (g_dir + "/odbc.ini").c_str(), 1);
  setenv("QUILLDRV_BACKEND_MODULE", g_options.module.c_str(), 1);
  return true;
}

std::string diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::string text;
  for (SQLSMALLINT i = 1; i < 5; ++i) {
    SQLCHAR state[6] = {0};
    SQLCHAR message[512] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(
            SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length)))
      break;
    text += std::string(i > 1 ? "; " : "") + reinterpret_cast<char*>(state) + " " +
            reinterpret_cast<char*>(message);
  }
  return text;
}

std::string first_state(SQLHSTMT stmt) {
  SQLCHAR state[6] = {0};
  SQLCHAR message[512] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, message,
                                   sizeof message, &length)))
    return "";
  return reinterpret_cast<char*>(state);
}

const char* rc_name(SQLRETURN rc) {
  switch (rc) {
    case SQL_SUCCESS:
      return "SQL_SUCCESS";
    case SQL_SUCCESS_WITH_INFO:
      return "SQL_SUCCESS_WITH_INFO";
    case SQL_NO_DATA:
      return "SQL_NO_DATA";
    case SQL_ERROR:
      return "SQL_ERROR";
    case SQL_INVALID_HANDLE:
      return "SQL_INVALID_HANDLE";
    default:
      return "other";
  }
}

const char* orientation_name(SQLSMALLINT orientation) {
  switch (orientation) {
    case SQL_FETCH_NEXT:
      return "NEXT";
    case SQL_FETCH_FIRST:
      return "FIRST";
    case SQL_FETCH_LAST:
      return "LAST";
    case SQL_FETCH_PRIOR:
      return "PRIOR";
    case SQL_FETCH_ABSOLUTE:
      return "ABSOLUTE";
    case SQL_FETCH_RELATIVE:
      return "RELATIVE";
    case SQL_FETCH_BOOKMARK:
      return "BOOKMARK";
    default:
      return "?";
  }
}

// ---- the cursor model ----

// What one fetch should give: the return code, the first row and the number of rows.
struct Expected {
  SQLRETURN rc = SQL_SUCCESS;
  int64_t first = 0;  // 1-based first row of the rowset (rc success)
  int64_t count = 0;  // rows in the rowset
  std::string state;  // SQLSTATE of an expected error or warning
};

// The cursor position of a scrollable result: 0 before the start, n + 1 after the end,
// otherwise the first row of the current rowset. This driver's rules: PRIOR from the first
// rowset, ABSOLUTE below 1 and RELATIVE or BOOKMARK landing below row 1 go before the start;
// the ODBC reference rules (reference mode) move to the first rowset in the cases the ODBC
// reference names instead.
struct CursorModel {
  int64_t n = 0;      // rows in the result
  int64_t r = 1;      // rowset size
  int64_t start = 0;  // current position as above
  bool reference = false;

  Expected land(int64_t first, const char* warning = "") {
    Expected e;
    if (first < 1) {
      start = 0;
      e.rc = SQL_NO_DATA;
      return e;
    }
    if (first > n) {
      start = n + 1;
      e.rc = SQL_NO_DATA;
      return e;
    }
    start = first;
    e.first = first;
    e.count = first + r - 1 <= n ? r : n - first + 1;
    e.state = warning;
    e.rc = warning[0] ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
    return e;
  }

  Expected fetch(SQLSMALLINT orientation, int64_t offset, int64_t bookmark_row) {
    switch (orientation) {
      case SQL_FETCH_NEXT:
        if (start == 0) return land(1);
        if (start > n) return land(n + 1);
        return land(start + r);
      case SQL_FETCH_FIRST:
        return land(n == 0 ? n + 1 : 1);
      case SQL_FETCH_LAST:
        return land(n == 0 ? n + 1 : (n - r + 1 < 1 ? 1 : n - r + 1));
      case SQL_FETCH_PRIOR:
        if (start <= 1) return land(0);
        if (reference && start <= r && start <= n) return land(1, "01S06");
        return land(start - r < 1 ? 1 : start - r);
      case SQL_FETCH_ABSOLUTE:
        if (reference && offset < 0) {
          if (-offset <= n) return land(n + offset + 1);
          if (-offset > r) return land(0);
          return land(1);
        }
        return land(offset < 1 ? 0 : offset);
      case SQL_FETCH_RELATIVE: {
        if (reference && start == 0 && offset <= 0) return land(0);
        if (reference && start > n && offset >= 0) return land(n + 1);
        int64_t target = start + offset;
        if (reference && target < 1 && -offset <= r && start > 1) return land(1);
        return land(target);
      }
      case SQL_FETCH_BOOKMARK:
        return land(bookmark_row + offset);
      default:
        return Expected{SQL_ERROR, 0, 0, "HY106"};
    }
  }
};

// ---- bindings ----

constexpr int kTextSize = rows_data::kTextColumnLength + 1;
constexpr unsigned char kSentinel = 0xA5;

// One row of a row-wise binding.
struct BoundRow {
  SQLULEN bookmark;
  SQLLEN bookmark_indicator;
  SQLINTEGER integers[3];
  SQLLEN integer_indicators[3];
  double doubles[3];
  SQLLEN double_indicators[3];
  char texts[2][kTextSize];
  SQLLEN text_indicators[2];
};

// Where the values of row i of the rowset landed.
struct RowView {
  SQLULEN* bookmark;
  SQLLEN* bookmark_indicator;
  SQLINTEGER* integers[3];
  SQLLEN* integer_indicators[3];
  double* doubles[3];
  SQLLEN* double_indicators[3];
  char* texts[2];
  SQLLEN* text_indicators[2];
};

// The buffers of one run, row-wise or column-wise.
class Buffers {
 public:
  Buffers(bool row_wise, int size) : row_wise_(row_wise), size_(size) {
    if (row_wise) {
      rows_.resize(static_cast<size_t>(size));
    } else {
      bookmarks_.resize(static_cast<size_t>(size));
      indicators_.resize(static_cast<size_t>(size) * 9);
      integers_.resize(static_cast<size_t>(size) * 3);
      doubles_.resize(static_cast<size_t>(size) * 3);
      texts_.resize(static_cast<size_t>(size) * 2 * kTextSize);
    }
    status_.resize(static_cast<size_t>(size));
  }

  RowView view(int i) {
    RowView v{};
    size_t k = static_cast<size_t>(i), n = static_cast<size_t>(size_);
    if (row_wise_) {
      BoundRow& row = rows_[k];
      v.bookmark = &row.bookmark;
      v.bookmark_indicator = &row.bookmark_indicator;
      for (int c = 0; c < 3; ++c) {
        v.integers[c] = &row.integers[c];
        v.integer_indicators[c] = &row.integer_indicators[c];
        v.doubles[c] = &row.doubles[c];
        v.double_indicators[c] = &row.double_indicators[c];
      }
      for (int c = 0; c < 2; ++c) {
        v.texts[c] = row.texts[c];
        v.text_indicators[c] = &row.text_indicators[c];
      }
      return v;
    }
    v.bookmark = &bookmarks_[k];
    v.bookmark_indicator = &indicators_[k];
    for (size_t c = 0; c < 3; ++c) {
      v.integers[c] = &integers_[c * n + k];
      v.integer_indicators[c] = &indicators_[(1 + c) * n + k];
      v.doubles[c] = &doubles_[c * n + k];
      v.double_indicators[c] = &indicators_[(4 + c) * n + k];
    }
    for (size_t c = 0; c < 2; ++c) {
      v.texts[c] = &texts_[(c * n + k) * kTextSize];
      v.text_indicators[c] = &indicators_[(7 + c) * n + k];
    }
    return v;
  }

  // Binds the bookmark (when wanted) and columns 1..`columns` of the result.
  bool bind(SQLHSTMT stmt, bool bookmark, int columns) {
    SQLULEN bind_type = row_wise_ ? sizeof(BoundRow) : SQL_BIND_BY_COLUMN;
    if (!SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_BIND_TYPE,
                                      reinterpret_cast<SQLPOINTER>(bind_type), 0)))
      return false;
    RowView v = view(0);
    bool ok = true;
    // SQL_C_BOOKMARK is SQL_C_UBIGINT with 64-bit unixODBC: the bookmark is 8 bytes.
    if (bookmark)
      ok &= SQL_SUCCEEDED(
          SQLBindCol(stmt, 0, SQL_C_BOOKMARK, v.bookmark, sizeof(SQLULEN), v.bookmark_indicator));
    for (int c = 0; c < 3 && c < columns; ++c)
      ok &= SQL_SUCCEEDED(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(1 + c), SQL_C_SLONG,
                                     v.integers[c], sizeof(SQLINTEGER), v.integer_indicators[c]));
    for (int c = 0; c < 3 && c + 3 < columns; ++c)
      ok &= SQL_SUCCEEDED(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(4 + c), SQL_C_DOUBLE,
                                     v.doubles[c], sizeof(double), v.double_indicators[c]));
    for (int c = 0; c < 2 && c + 6 < columns; ++c)
      ok &= SQL_SUCCEEDED(SQLBindCol(stmt, static_cast<SQLUSMALLINT>(7 + c), SQL_C_CHAR, v.texts[c],
                                     kTextSize, v.text_indicators[c]));
    return ok;
  }

  // Fills every buffer with a pattern no fetch writes, so stale values show.
  void scramble() {
    if (row_wise_) {
      std::memset(static_cast<void*>(rows_.data()), kSentinel, rows_.size() * sizeof(BoundRow));
    } else {
      std::memset(bookmarks_.data(), kSentinel, bookmarks_.size() * sizeof(SQLULEN));
      std::memset(indicators_.data(), kSentinel, indicators_.size() * sizeof(SQLLEN));
      std::memset(integers_.data(), kSentinel, integers_.size() * sizeof(SQLINTEGER));
      std::memset(static_cast<void*>(doubles_.data()), kSentinel, doubles_.size() * sizeof(double));
      std::memset(texts_.data(), kSentinel, texts_.size());
    }
    for (SQLUSMALLINT& s : status_) s = 0xA5A5;
  }

  SQLUSMALLINT* status() { return status_.data(); }

 private:
  bool row_wise_;
  int size_;
  std::vector<BoundRow> rows_;
  std::vector<SQLULEN> bookmarks_;
  std::vector<SQLLEN> indicators_;
  std::vector<SQLINTEGER> integers_;
  std::vector<double> doubles_;
  std::vector<char> texts_;
  std::vector<SQLUSMALLINT> status_;
};

// ---- one run ----

struct RunConfig {
  int64_t rows;           // N of rows_N
  bool scrollable;        // static cursor, else forward-only
  bool row_wise;          // row-wise binding, else column-wise
  int array_size;         // SQL_ATTR_ROW_ARRAY_SIZE (SQL_ROWSET_SIZE when extended)
  bool extended = false;  // fetch with SQLExtendedFetch instead of SQLFetch/SQLFetchScroll
};

std::string describe(const RunConfig& c) {
  char text[160];
  std::snprintf(text, sizeof text, "rows_%lld %s %s array=%d cache=%d%s",
                static_cast<long long>(c.rows), c.scrollable ? "static" : "forward-only",
                c.row_wise ? "row-wise" : "column-wise", c.array_size, g_options.cache,
                c.extended ? " SQLExtendedFetch" : "");
  return text;
}

// Mismatch reporting for one run: the first few are printed in full.
struct Report {
  std::string run;
  int mismatches = 0;
  std::string step;  // the call being checked

  void fail(const std::string& what) {
    if (mismatches++ < 6)
      std::printf("FAIL [%s] %s: %s\n", run.c_str(), step.c_str(), what.c_str());
  }
};

std::string format(const char* pattern, long long a, long long b) {
  char text[200];
  std::snprintf(text, sizeof text, pattern, a, b);
  return text;
}

// Checks the values of rowset row `i` against row `id`.
void check_row(Report& report, Buffers& buffers, int i, int64_t id, int bound_columns,
               bool bookmarks, std::vector<std::pair<int64_t, SQLULEN>>* seen_bookmarks) {
  RowView v = buffers.view(i);
  const SQLINTEGER integers[3] = {static_cast<SQLINTEGER>(id), rows_data::i2(id),
                                  rows_data::i3(id)};
  const double doubles[3] = {rows_data::d1(id), rows_data::d2(id), rows_data::d3(id)};
  char prefix_text[64];
  std::snprintf(prefix_text, sizeof prefix_text, "row %d (id %lld): ", i,
                static_cast<long long>(id));
  const std::string prefix = prefix_text;
  for (int c = 0; c < 3; ++c) {
    if (*v.integer_indicators[c] == SQL_NULL_DATA || *v.integers[c] != integers[c])
      report.fail(prefix + std::string(rows_data::kColumnNames[c]) +
                  format(" expected %lld, got %lld", integers[c], *v.integers[c]));
    if (*v.double_indicators[c] == SQL_NULL_DATA || *v.doubles[c] != doubles[c]) {
      char text[160];
      std::snprintf(text, sizeof text, "%s%s expected %.17g, got %.17g (indicator %lld)",
                    prefix_text, rows_data::kColumnNames[3 + c], doubles[c], *v.doubles[c],
                    static_cast<long long>(*v.double_indicators[c]));
      report.fail(text);
    }
  }
  char expected[rows_data::kTextBufferSize];
  size_t length = rows_data::s1(id, expected);
  if (*v.text_indicators[0] != static_cast<SQLLEN>(length) || std::strcmp(v.texts[0], expected))
    report.fail(prefix + std::string("S1 expected '") + expected + "' (" + std::to_string(length) +
                "), got '" + std::string(v.texts[0], strnlen(v.texts[0], kTextSize)) + "' (" +
                std::to_string(*v.text_indicators[0]) + ")");
  if (bound_columns >= 8) {
    if (rows_data::s2_is_null(id)) {
      if (*v.text_indicators[1] != SQL_NULL_DATA)
        report.fail(prefix + "S2 expected NULL, got indicator " +
                    std::to_string(*v.text_indicators[1]));
    } else {
      length = rows_data::s2(id, expected);
      if (*v.text_indicators[1] != static_cast<SQLLEN>(length) || std::strcmp(v.texts[1], expected))
        report.fail(prefix + "S2 expected '" + expected + "', got '" +
                    std::string(v.texts[1], strnlen(v.texts[1], kTextSize)) + "' (" +
                    std::to_string(*v.text_indicators[1]) + ")");
    }
  }
  if (bookmarks) {
    // This driver's bookmark is the row number; other drivers choose their own values.
    if (!reference_mode() && *v.bookmark != static_cast<SQLULEN>(id))
      report.fail(prefix + format("bookmark expected %lld, got %lld", id, *v.bookmark));
    // The SQLite driver writes 4-byte bookmarks (and steps column-wise arrays by 4 bytes), so
    // the reference walk keeps only the first row's, cut to 4 bytes.
    SQLULEN mark = reference_mode() ? *v.bookmark & 0xFFFFFFFFu : *v.bookmark;
    if (seen_bookmarks && (!reference_mode() || i == 0)) seen_bookmarks->push_back({id, mark});
  }
}

// Reads column 8 (S2, unbound) of the current row with SQLGetData in pieces of 15 bytes.
void check_get_data(Report& report, SQLHSTMT stmt, int64_t id) {
  std::string got;
  char piece[16];
  SQLLEN indicator = 0;
  SQLRETURN rc;
  int calls = 0;
  bool null_value = false;
  while ((rc = SQLGetData(stmt, 8, SQL_C_CHAR, piece, sizeof piece, &indicator)) != SQL_NO_DATA) {
    ++calls;
    if (!SQL_SUCCEEDED(rc)) {
      report.fail("SQLGetData(8) returned " + std::string(rc_name(rc)) + ": " +
                  diagnostics(SQL_HANDLE_STMT, stmt));
      return;
    }
    if (indicator == SQL_NULL_DATA) {
      null_value = true;
      if (rc != SQL_SUCCESS)
        report.fail("SQLGetData(8) of NULL returned " + std::string(rc_name(rc)));
      break;
    }
    size_t remaining = static_cast<size_t>(indicator);
    if (rc == SQL_SUCCESS_WITH_INFO && (first_state(stmt) != "01004" || remaining < sizeof piece)) {
      report.fail(format("SQLGetData(8) piece %lld: truncation without 01004 or indicator %lld",
                         calls, indicator));
      return;
    }
    got += piece;
    if (rc == SQL_SUCCESS) break;
    if (calls > 10) {
      report.fail("SQLGetData(8) never ends");
      return;
    }
  }
  char expected[rows_data::kTextBufferSize];
  if (rows_data::s2_is_null(id)) {
    if (!null_value) report.fail("SQLGetData(8) expected NULL, got '" + got + "'");
    return;
  }
  rows_data::s2(id, expected);
  if (null_value || got != expected)
    report.fail("SQLGetData(8) expected '" + std::string(expected) + "', got '" + got + "'" +
                (null_value ? " (NULL)" : ""));
  rc = SQLGetData(stmt, 8, SQL_C_CHAR, piece, sizeof piece, &indicator);
  if (rc != SQL_NO_DATA)
    report.fail("SQLGetData(8) after the whole value returned " + std::string(rc_name(rc)));
}

// Simple deterministic generator (the same sequence on every platform).
struct Random {
  uint64_t state;
  uint64_t next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return state;
  }
  int64_t below(int64_t n) { return n <= 0 ? 0 : static_cast<int64_t>(next() % uint64_t(n)); }
};

// One fetch step as performed.
struct Step {
  bool plain_fetch = false;  // SQLFetch rather than SQLFetchScroll
  SQLSMALLINT orientation = SQL_FETCH_NEXT;
  int64_t offset = 0;
  int64_t bookmark_row = 0;  // the row whose bookmark a BOOKMARK step uses
  SQLULEN bookmark = 0;      // the bookmark value
};

// Chooses the next step of the walk.
Step choose(Random& random, const CursorModel& model,
            const std::vector<std::pair<int64_t, SQLULEN>>& bookmarks) {
  Step s;
  int64_t n = model.n, r = model.r;
  int64_t pick = random.below(100);
  // The SQLite driver's PRIOR and RELATIVE follow rules of their own, and it positions
  // differently when ABSOLUTE or BOOKMARK leave the result: the reference walk keeps to the
  // moves both drivers agree on.
  if (model.reference && pick >= 22 && pick < 36) pick = 10;
  if (model.reference && pick >= 66 && pick < 86) pick = 40;
  if (pick < 6) {
    s.plain_fetch = true;
  } else if (pick < 22) {
    s.orientation = SQL_FETCH_NEXT;
  } else if (pick < 36) {
    s.orientation = SQL_FETCH_PRIOR;
  } else if (pick < 41) {
    s.orientation = SQL_FETCH_FIRST;
  } else if (pick < 46) {
    s.orientation = SQL_FETCH_LAST;
  } else if (pick < 66) {
    s.orientation = SQL_FETCH_ABSOLUTE;
    const int64_t choices[] = {0,
                               -1,
                               -1 - random.below(n + r + 2),
                               1,
                               n,
                               n + 1,
                               n + 1 + random.below(5),
                               n - r + 1,
                               1 + random.below(n > 0 ? n : 1),
                               1 + random.below(n > 0 ? n : 1)};
    s.offset = choices[random.below(10)];
    if (model.reference && (s.offset < 1 || s.offset > n)) s.offset = 1;
  } else if (pick < 86 || bookmarks.empty()) {
    s.orientation = SQL_FETCH_RELATIVE;
    const int64_t choices[] = {0,
                               1,
                               -1,
                               r,
                               -r,
                               r + 1,
                               -(r + 1),
                               random.below(n / 2 + 3),
                               -random.below(n / 2 + 3),
                               random.below(2 * r + 2) - r - 1};
    s.offset = choices[random.below(10)];
  } else {
    s.orientation = SQL_FETCH_BOOKMARK;
    const auto& mark =
        bookmarks[static_cast<size_t>(random.below(static_cast<int64_t>(bookmarks.size())))];
    s.bookmark_row = mark.first;
    s.bookmark = mark.second;
    const int64_t choices[] = {0, 0, 1, -1, r, -r, random.below(2 * r + 2) - r - 1};
    s.offset = choices[random.below(7)];
    if (model.reference && (s.bookmark_row + s.offset < 1 || s.bookmark_row + s.offset > n))
      s.offset = 0;
  }
  return s;
}

std::string step_text(int number, const Step& s, bool extended) {
  const char* call = extended ? "SQLExtendedFetch" : "SQLFetchScroll";
  char text[160];
  if (s.plain_fetch && !extended)
    std::snprintf(text, sizeof text, "step %d SQLFetch", number);
  else if (s.orientation == SQL_FETCH_BOOKMARK)
    std::snprintf(text, sizeof text, "step %d %s(BOOKMARK of row %lld = %lu, %lld)", number, call,
                  static_cast<long long>(s.bookmark_row), static_cast<unsigned long>(s.bookmark),
                  static_cast<long long>(s.offset));
  else
    std::snprintf(text, sizeof text, "step %d %s(%s, %lld)", number, call,
                  orientation_name(s.plain_fetch ? SQL_FETCH_NEXT : s.orientation),
                  static_cast<long long>(s.offset));
  return text;
}

// Performs a step and compares everything with the model's expectation.
void run_step(Report& report, SQLHSTMT stmt, Buffers& buffers, CursorModel& model,
              const RunConfig& config, const Step& step, SQLULEN* fetched, int bound_columns,
              bool bookmarks, std::vector<std::pair<int64_t, SQLULEN>>* seen) {
  char before[48];
  std::snprintf(before, sizeof before, " [model before: start %lld]",
                static_cast<long long>(model.start));
  Expected e = model.fetch(step.plain_fetch ? SQL_FETCH_NEXT : step.orientation, step.offset,
                           step.bookmark_row);
  buffers.scramble();
  *fetched = 0xA5A5A5;
  static SQLULEN fetch_bookmark = 0;
  SQLRETURN rc;
  if (config.extended) {
    // The pointers given replace the statement's for the call; a bookmark fetch takes the
    // bookmark itself as the offset.
    SQLLEN offset = step.orientation == SQL_FETCH_BOOKMARK ? static_cast<SQLLEN>(step.bookmark)
                                                           : static_cast<SQLLEN>(step.offset);
    rc = SQLExtendedFetch(stmt, step.plain_fetch ? SQL_FETCH_NEXT : step.orientation, offset,
                          fetched, buffers.status());
  } else if (step.plain_fetch) {
    rc = SQLFetch(stmt);
  } else {
    if (step.orientation == SQL_FETCH_BOOKMARK) {
      fetch_bookmark = step.bookmark;
      SQLSetStmtAttr(stmt, SQL_ATTR_FETCH_BOOKMARK_PTR, &fetch_bookmark, 0);
    }
    rc = SQLFetchScroll(stmt, step.orientation, static_cast<SQLLEN>(step.offset));
  }
  report.step += before;
  int kind = step.plain_fetch ? 0 : step.orientation;
  ++g_steps[kind];
  if (rc == SQL_NO_DATA) ++g_no_data[kind];
  std::string state = rc == SQL_SUCCESS ? "" : first_state(stmt);
  if (rc != e.rc) {
    report.fail(std::string("return code expected ") + rc_name(e.rc) + ", got " + rc_name(rc) +
                (rc == SQL_ERROR || rc == SQL_SUCCESS_WITH_INFO
                     ? " (" + diagnostics(SQL_HANDLE_STMT, stmt) + ")"
                     : "") +
                format(" (expected rows %lld..+%lld)", e.first, e.count));
    // Resynchronise on a known position so one fault does not hide the rest of the walk.
    if (config.scrollable) {
      SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0);
      model.fetch(SQL_FETCH_FIRST, 0, 0);
    }
    return;
  }
  if (!e.state.empty() && state != e.state)
    report.fail("SQLSTATE expected " + e.state + ", got " + state);
  if (rc == SQL_NO_DATA) {
    if (*fetched != 0)
      report.fail(format("rows fetched after SQL_NO_DATA expected %lld, got %lld", 0,
                         static_cast<long long>(*fetched)));
    return;
  }
  if (!SQL_SUCCEEDED(rc)) return;
  if (*fetched != static_cast<SQLULEN>(e.count))
    report.fail(
        format("rows fetched expected %lld, got %lld", e.count, static_cast<long long>(*fetched)));
  SQLUSMALLINT* status = buffers.status();
  for (int i = 0; i < config.array_size; ++i) {
    SQLUSMALLINT want = i < e.count ? SQL_ROW_SUCCESS : SQL_ROW_NOROW;
    if (status[i] != want) {
      report.fail(format("row status [%lld] expected %lld", i, want) + ", got " +
                  std::to_string(status[i]));
      break;
    }
  }
  for (int i = 0; i < e.count; ++i)
    check_row(report, buffers, i, e.first + i, bound_columns, bookmarks, seen);
  if (bound_columns < 8 && e.count > 0) check_get_data(report, stmt, e.first);
}

SQLHSTMT open_statement(Report& report, SQLHDBC dbc, const RunConfig& config, Buffers& buffers,
                        SQLULEN* fetched, bool bookmarks, int bound_columns) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt))) {
    report.fail("SQLAllocHandle(STMT) failed: " + diagnostics(SQL_HANDLE_DBC, dbc));
    return SQL_NULL_HSTMT;
  }
  report.step = "statement attributes";
  SQLULEN cursor = config.scrollable ? SQL_CURSOR_STATIC : SQL_CURSOR_FORWARD_ONLY;
  SQLRETURN rc =
      SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(cursor), 0);
  if (!SQL_SUCCEEDED(rc))
    report.fail("SQL_ATTR_CURSOR_TYPE: " + diagnostics(SQL_HANDLE_STMT, stmt));
  if (bookmarks && !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_USE_BOOKMARKS,
                                                 reinterpret_cast<SQLPOINTER>(SQL_UB_ON), 0)))
    report.fail("SQL_ATTR_USE_BOOKMARKS: " + diagnostics(SQL_HANDLE_STMT, stmt));
  SQLINTEGER size_attribute = config.extended ? SQL_ROWSET_SIZE : SQL_ATTR_ROW_ARRAY_SIZE;
  if (!SQL_SUCCEEDED(
          SQLSetStmtAttr(stmt, size_attribute,
                         reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(config.array_size)), 0)))
    report.fail("rowset size: " + diagnostics(SQL_HANDLE_STMT, stmt));
  if (!config.extended &&
      (!SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROW_STATUS_PTR, buffers.status(), 0)) ||
       !SQL_SUCCEEDED(SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, fetched, 0))))
    report.fail("row status / rows fetched pointers: " + diagnostics(SQL_HANDLE_STMT, stmt));
  report.step = "SQLBindCol";
  if (!buffers.bind(stmt, bookmarks, bound_columns))
    report.fail("binding failed: " + diagnostics(SQL_HANDLE_STMT, stmt));
  std::string sql = "SELECT * FROM rows_" + std::to_string(config.rows);
  report.step = "SQLExecDirect(" + sql + ")";
  rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (!SQL_SUCCEEDED(rc)) {
    report.fail(std::string(rc_name(rc)) + ": " + diagnostics(SQL_HANDLE_STMT, stmt));
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return SQL_NULL_HSTMT;
  }
  SQLULEN actual = 0;
  SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, &actual, 0, nullptr);
  if (actual != cursor)
    report.fail(format("cursor type after execute expected %lld, got %lld",
                       static_cast<long long>(cursor), static_cast<long long>(actual)));
  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt, &columns);
  if (columns != rows_data::kColumnCount)
    report.fail(
        format("SQLNumResultCols expected %lld, got %lld", rows_data::kColumnCount, columns));
  return stmt;
}

void run(SQLHDBC dbc, const RunConfig& config) {
  Report report;
  report.run = describe(config);
  bool bookmarks = config.scrollable;
  // With one-row rowsets S2 stays unbound and is read with SQLGetData in pieces.
  int bound_columns = config.array_size == 1 ? 7 : 8;
  Buffers buffers(config.row_wise, config.array_size);
  SQLULEN fetched = 0;
  SQLHSTMT stmt = open_statement(report, dbc, config, buffers, &fetched, bookmarks, bound_columns);
  if (!stmt) {
    ++g_failures;
    return;
  }
  CursorModel model;
  model.n = config.rows;
  model.r = config.array_size;
  model.reference = reference_mode();
  std::vector<std::pair<int64_t, SQLULEN>> seen;
  Random random{g_options.seed ^ (static_cast<uint64_t>(config.rows) * 1000003u) ^
                (static_cast<uint64_t>(config.array_size) << 40) ^ (config.row_wise ? 7u : 0u)};
  int steps = 0;
  if (!config.scrollable) {
    // A forward-only cursor refuses other orientations, then delivers every row in order.
    report.step = "SQLFetchScroll(PRIOR) on a forward-only cursor";
    SQLRETURN rc = SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0);
    if (!reference_mode() && (rc != SQL_ERROR || first_state(stmt) != "HY106"))
      report.fail(std::string("expected SQL_ERROR HY106, got ") + rc_name(rc) + " " +
                  diagnostics(SQL_HANDLE_STMT, stmt));
    for (;;) {
      Step step;
      step.plain_fetch = random.below(2) == 0;
      report.step = step_text(++steps, step, config.extended);
      run_step(report, stmt, buffers, model, config, step, &fetched, bound_columns, false, nullptr);
      if (model.start > model.n || report.mismatches > 20) break;
    }
  } else {
    // An invalid bookmark is refused; the walk then starts from the first rowset.
    report.step = config.extended ? "SQLExtendedFetch(BOOKMARK 0)" : "SQLFetchScroll(BOOKMARK 0)";
    static SQLULEN zero = 0;
    SQLSetStmtAttr(stmt, SQL_ATTR_FETCH_BOOKMARK_PTR, &zero, 0);
    SQLRETURN rc = config.extended
                       ? SQLExtendedFetch(stmt, SQL_FETCH_BOOKMARK, 0, &fetched, buffers.status())
                       : SQLFetchScroll(stmt, SQL_FETCH_BOOKMARK, 0);
    if (!reference_mode() && (rc != SQL_ERROR || first_state(stmt) != "HY111"))
      report.fail(std::string("expected SQL_ERROR HY111, got ") + rc_name(rc) + " " +
                  diagnostics(SQL_HANDLE_STMT, stmt));
    Step first;
    first.orientation = SQL_FETCH_FIRST;
    report.step = step_text(++steps, first, config.extended);
    run_step(report, stmt, buffers, model, config, first, &fetched, bound_columns, true, &seen);
    int total = config.rows >= 100000 ? 300 : 250;
    while (steps < total && report.mismatches <= 20) {
      Step step = choose(random, model, seen);
      if (config.extended && step.orientation == SQL_FETCH_BOOKMARK) step.offset = 0;
      report.step = step_text(++steps, step, config.extended);
      run_step(report, stmt, buffers, model, config, step, &fetched, bound_columns, true, &seen);
      if (seen.size() > 4096) seen.erase(seen.begin(), seen.begin() + 2048);
    }
  }
  report.step = "SQLCloseCursor";
  if (!SQL_SUCCEEDED(SQLCloseCursor(stmt)))
    report.fail("SQLCloseCursor: " + diagnostics(SQL_HANDLE_STMT, stmt));
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  if (report.mismatches) {
    ++g_failures;
    std::printf("FAILED [%s]: %d mismatches in %d steps\n", report.run.c_str(), report.mismatches,
                steps);
  } else if (g_options.verbose) {
    std::printf("ok [%s]: %d steps\n", report.run.c_str(), steps);
  }
  std::fflush(stdout);
}

// ---- catalog and description checks of the backend module ----

// Filtered queries: the module ignores pushed restrictions, so the engine's own checks must
// give exactly the rows the formulas select. Expected values come from rows_data.h.
void check_queries(Report& report, SQLHDBC dbc) {
  struct Query {
    std::string sql;
    bool (*keep)(int64_t id);  // the rows of rows_1000 the query selects
    bool count_only;           // the query gives one COUNT(*) row
  };
  const Query queries[] = {
      {"SELECT COUNT(*) FROM rows_1000 WHERE s2 IS NULL",
       [](int64_t id) { return rows_data::s2_is_null(id); }, true},
      {"SELECT id FROM rows_1000 WHERE id = 5", [](int64_t id) { return id == 5; }, false},
      {"SELECT id FROM rows_1000 WHERE i2 > 490",
       [](int64_t id) { return rows_data::i2(id) > 490; }, false},
      {"SELECT id FROM rows_1000 WHERE d3 < -990 AND s2 IS NOT NULL",
       [](int64_t id) { return rows_data::d3(id) < -990 && !rows_data::s2_is_null(id); }, false},
  };
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  for (const Query& q : queries) {
    report.step = q.sql;
    std::vector<int64_t> want;
    for (int64_t id = 1; id <= 1000; ++id)
      if (q.keep(id)) want.push_back(id);
    if (q.count_only) want = {static_cast<int64_t>(want.size())};
    std::vector<int64_t> got;
    if (!SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)q.sql.c_str(), SQL_NTS))) {
      report.fail(diagnostics(SQL_HANDLE_STMT, stmt));
      SQLFreeStmt(stmt, SQL_CLOSE);
      continue;
    }
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    while (SQL_SUCCEEDED(SQLFetch(stmt)) && got.size() <= want.size())
      if (SQL_SUCCEEDED(SQLGetData(stmt, 1, SQL_C_SBIGINT, &value, sizeof value, &indicator)))
        got.push_back(value);
    SQLFreeStmt(stmt, SQL_CLOSE);
    if (got != want)
      report.fail(format("expected %lld rows (first %lld)", static_cast<long long>(want.size()),
                         want.empty() ? 0 : want[0]) +
                  format(", got %lld rows (first %lld)", static_cast<long long>(got.size()),
                         got.empty() ? 0 : got[0]));
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
}

// Fetch corner cases outside the walks: SQL_ATTR_MAX_ROWS, bookmark fetches and column 0
// without bookmarks, SQLSetPos beyond the rowset, SQLGetData of the bookmark.
void check_fetch_edges(SQLHDBC dbc) {
  Report report;
  report.run = "fetch edges";
  auto open = [&](SQLULEN cursor, SQLULEN array, SQLULEN max_rows, bool bookmarks) {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
    SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, reinterpret_cast<SQLPOINTER>(cursor), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, reinterpret_cast<SQLPOINTER>(array), 0);
    SQLSetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(max_rows), 0);
    if (bookmarks)
      SQLSetStmtAttr(stmt, SQL_ATTR_USE_BOOKMARKS, reinterpret_cast<SQLPOINTER>(SQL_UB_ON), 0);
    if (!SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)"SELECT * FROM rows_31", SQL_NTS)))
      report.fail("SQLExecDirect: " + diagnostics(SQL_HANDLE_STMT, stmt));
    return stmt;
  };
  auto expect_state = [&](SQLHSTMT stmt, SQLRETURN rc, const char* state) {
    if (rc != SQL_ERROR || first_state(stmt) != state)
      report.fail(std::string("expected SQL_ERROR ") + state + ", got " + rc_name(rc) + " " +
                  diagnostics(SQL_HANDLE_STMT, stmt));
  };
  SQLULEN fetched = 0;
  {
    report.step = "SQL_ATTR_MAX_ROWS 10 with rowsets of 4";
    SQLHSTMT stmt = open(SQL_CURSOR_FORWARD_ONLY, 4, 10, false);
    SQLSetStmtAttr(stmt, SQL_ATTR_ROWS_FETCHED_PTR, &fetched, 0);
    const SQLULEN want[] = {4, 4, 2};
    for (SQLULEN n : want) {
      SQLRETURN rc = SQLFetch(stmt);
      if (!SQL_SUCCEEDED(rc) || fetched != n)
        report.fail(format("expected %lld rows, got %lld", static_cast<long long>(n),
                           SQL_SUCCEEDED(rc) ? static_cast<long long>(fetched) : -1LL));
    }
    if (SQLFetch(stmt) != SQL_NO_DATA) report.fail("fourth SQLFetch expected SQL_NO_DATA");
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }
  {
    SQLHSTMT stmt = open(SQL_CURSOR_STATIC, 4, 0, false);
    report.step = "SQLFetchScroll(BOOKMARK) with bookmarks off";
    static SQLULEN one = 1;
    SQLSetStmtAttr(stmt, SQL_ATTR_FETCH_BOOKMARK_PTR, &one, 0);
    expect_state(stmt, SQLFetchScroll(stmt, SQL_FETCH_BOOKMARK, 0), "HY106");
    report.step = "SQLGetData(0) with bookmarks off";
    SQLFetchScroll(stmt, SQL_FETCH_FIRST, 0);
    SQLULEN mark = 0;
    SQLLEN indicator = 0;
    expect_state(stmt, SQLGetData(stmt, 0, SQL_C_BOOKMARK, &mark, sizeof mark, &indicator),
                 "07009");
    report.step = "SQLSetPos(5) on a rowset of 4";
    expect_state(stmt, SQLSetPos(stmt, 5, SQL_POSITION, SQL_LOCK_NO_CHANGE), "HY109");
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }
  {
    SQLHSTMT stmt = open(SQL_CURSOR_STATIC, 1, 0, true);
    report.step = "SQLGetData(0) after SQLFetchScroll(ABSOLUTE 17)";
    SQLULEN mark = 0;
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLFetchScroll(stmt, SQL_FETCH_ABSOLUTE, 17);
    if (!SQL_SUCCEEDED(rc) ||
        !SQL_SUCCEEDED(SQLGetData(stmt, 0, SQL_C_BOOKMARK, &mark, sizeof mark, &indicator)) ||
        mark != 17)
      report.fail(format("expected bookmark 17, got %lld (%lld)", static_cast<long long>(mark),
                         static_cast<long long>(indicator)) +
                  " " + diagnostics(SQL_HANDLE_STMT, stmt));
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  }
  if (report.mismatches) ++g_failures;
}

void check_metadata(SQLHDBC dbc) {
  Report report;
  report.run = "metadata";
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  report.step = "SQLDescribeCol on SELECT * FROM rows_31";
  if (SQL_SUCCEEDED(SQLPrepare(stmt, (SQLCHAR*)"SELECT * FROM rows_31", SQL_NTS))) {
    const SQLSMALLINT types[] = {SQL_INTEGER, SQL_INTEGER, SQL_INTEGER, SQL_DOUBLE,
                                 SQL_DOUBLE,  SQL_DOUBLE,  SQL_VARCHAR, SQL_VARCHAR};
    for (SQLUSMALLINT c = 1; c <= rows_data::kColumnCount; ++c) {
      SQLCHAR name[64] = {0};
      SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      if (!SQL_SUCCEEDED(SQLDescribeCol(stmt, c, name, sizeof name, &name_length, &type, &size,
                                        &digits, &nullable))) {
        report.fail("column " + std::to_string(c) + ": " + diagnostics(SQL_HANDLE_STMT, stmt));
        continue;
      }
      if (strcasecmp(reinterpret_cast<char*>(name), rows_data::kColumnNames[c - 1]) != 0 ||
          type != types[c - 1])
        report.fail("column " + std::to_string(c) + " described as " +
                    reinterpret_cast<char*>(name) + " type " + std::to_string(type));
      if (c == 8 && nullable != SQL_NULLABLE) report.fail("S2 not described as nullable");
    }
  } else {
    report.fail("SQLPrepare: " + diagnostics(SQL_HANDLE_STMT, stmt));
  }
  SQLFreeStmt(stmt, SQL_CLOSE);
  if (!reference_mode()) {
    report.step = "SQLTables(ROWS_%)";
    std::vector<std::string> names;
    if (SQL_SUCCEEDED(
            SQLTables(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"ROWS\\_%", SQL_NTS, nullptr, 0))) {
      SQLCHAR name[130];
      SQLLEN indicator = 0;
      while (SQL_SUCCEEDED(SQLFetch(stmt)))
        if (SQL_SUCCEEDED(SQLGetData(stmt, 3, SQL_C_CHAR, name, sizeof name, &indicator)))
          names.push_back(reinterpret_cast<char*>(name));
      if (names.size() != std::size(rows_data::kListedSizes))
        report.fail("expected " + std::to_string(std::size(rows_data::kListedSizes)) +
                    " tables, got " + std::to_string(names.size()));
    } else {
      report.fail(diagnostics(SQL_HANDLE_STMT, stmt));
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    report.step = "SQLColumns(ROWS_1000)";
    if (SQL_SUCCEEDED(
            SQLColumns(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"ROWS_1000", SQL_NTS, nullptr, 0))) {
      int count = 0;
      SQLCHAR name[130];
      SQLLEN indicator = 0;
      while (SQL_SUCCEEDED(SQLFetch(stmt))) {
        if (SQL_SUCCEEDED(SQLGetData(stmt, 4, SQL_C_CHAR, name, sizeof name, &indicator)) &&
            count < rows_data::kColumnCount &&
            strcasecmp(reinterpret_cast<char*>(name), rows_data::kColumnNames[count]) != 0)
          report.fail("column " + std::to_string(count + 1) + " listed as " +
                      reinterpret_cast<char*>(name));
        ++count;
      }
      if (count != rows_data::kColumnCount)
        report.fail("expected 8 columns, got " + std::to_string(count));
    } else {
      report.fail(diagnostics(SQL_HANDLE_STMT, stmt));
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  check_queries(report, dbc);
  if (report.mismatches) ++g_failures;
}

// ---- the reference database ----

bool fill_sqlite(SQLHDBC dbc, const std::vector<int64_t>& sizes) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);
  auto exec = [&](const std::string& sql) {
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (!SQL_SUCCEEDED(rc) && rc != SQL_NO_DATA) {
      std::printf("SQLite: %s: %s\n", sql.c_str(), diagnostics(SQL_HANDLE_STMT, stmt).c_str());
      return false;
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    return true;
  };
  bool ok = exec("BEGIN");
  for (int64_t n : sizes) {
    std::string table = "rows_" + std::to_string(n);
    ok = ok && exec("CREATE TABLE " + table +
                    " (id INTEGER PRIMARY KEY, i2 INTEGER, i3 INTEGER, d1 DOUBLE, d2 DOUBLE, "
                    "d3 DOUBLE, s1 VARCHAR(60), s2 VARCHAR(60))");
    for (int64_t id = 1; ok && id <= n; ++id) {
      char s1[rows_data::kTextBufferSize], s2[rows_data::kTextBufferSize];
      rows_data::s1(id, s1);
      std::string s2_text = "NULL";
      if (!rows_data::s2_is_null(id)) {
        rows_data::s2(id, s2);
        s2_text = std::string("'") + s2 + "'";
      }
      char sql[400];
      std::snprintf(sql, sizeof sql,
                    "INSERT INTO %s VALUES (%lld, %d, %d, %.17g, %.17g, %.17g, '%s', %s)",
                    table.c_str(), static_cast<long long>(id), rows_data::i2(id), rows_data::i3(id),
                    rows_data::d1(id), rows_data::d2(id), rows_data::d3(id), s1, s2_text.c_str());
      ok = exec(sql);
    }
  }
  ok = ok && exec("COMMIT");
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return ok;
}

bool parse_options(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    auto value = [&](const char* key) -> const char* {
      size_t n = std::strlen(key);
      return a.compare(0, n, key) == 0 ? argv[i] + n : nullptr;
    };
    if (const char* v = value("--cache="))
      g_options.cache = std::atoi(v);
    else if (const char* v = value("--seed="))
      g_options.seed = std::strtoull(v, nullptr, 10);
    else if (const char* v = value("--driver="))
      g_options.driver = v;
    else if (const char* v = value("--module="))
      g_options.module = v;
    else if (const char* v = value("--sqlite="))
      g_options.sqlite = v;
    else if (a == "--verbose")
      g_options.verbose = true;
    else {
      std::fprintf(stderr, "unknown option %s\n", argv[i]);
      return false;
    }
  }
  if (g_options.seed == 0) g_options.seed = 1;
  return g_options.cache > 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (!parse_options(argc, argv) || !write_ini_files()) return 2;
  const std::vector<int64_t> sizes = {0, 1, 29, 30, 31, 1000, 100000};
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  std::string connection =
      reference_mode()
          ? "DRIVER={SQLiteRows};Database=" + g_dir + "/rows.db"
          : "DRIVER={QuillRows};URI=http://127.0.0.1:9;connect_probe=no;work_dir_path=" + g_dir +
                ";work_dir_size=" + std::to_string(g_options.cache);
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)connection.c_str(), SQL_NTS, nullptr, 0,
                                  nullptr, SQL_DRIVER_NOPROMPT);
  if (!SQL_SUCCEEDED(rc)) {
    std::printf("FAIL connect %s: %s\n", connection.c_str(),
                diagnostics(SQL_HANDLE_DBC, dbc).c_str());
    return 1;
  }
  if (reference_mode() && !fill_sqlite(dbc, sizes)) return 1;
  check_metadata(dbc);
  if (!reference_mode()) check_fetch_edges(dbc);
  int runs = 0;
  for (int64_t n : sizes)
    for (bool scrollable : {true, false})
      for (bool row_wise : {true, false})
        for (int array_size : {1, 7, 100}) {
          run(dbc, RunConfig{n, scrollable, row_wise, array_size});
          ++runs;
        }
  // SQLExtendedFetch keeps its own rowset size and pointers; a few static runs walk with it.
  if (!reference_mode())
    for (int64_t n : {int64_t{31}, int64_t{1000}})
      for (bool row_wise : {true, false}) {
        run(dbc, RunConfig{n, true, row_wise, 7, true});
        ++runs;
      }
  if (g_options.verbose) {
    const char* names[] = {"SQLFetch", "NEXT",     "FIRST", "LAST",    "PRIOR",
                           "ABSOLUTE", "RELATIVE", "",      "BOOKMARK"};
    for (int k = 0; k < 9; ++k)
      if (g_steps[k])
        std::printf("%-9s %7ld steps, %6ld SQL_NO_DATA\n", names[k], g_steps[k], g_no_data[k]);
  }
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  std::error_code ignored;
  std::filesystem::remove_all(g_dir, ignored);
  std::printf("%s: %d runs, %d failed (cache %d)\n",
              reference_mode() ? "SQLite reference" : "quilldrv", runs, g_failures,
              g_options.cache);
  return g_failures ? 1 : 0;
}
