// Generated SELECT statements run by the driver's engine over the in-memory test backend and
// by SQLite over the same rows; each must return the same multiset of rows.
#include <gtest/gtest.h>
#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "driver/dal/dal.h"
#include "driver/sql/exec.h"
#include "driver/sql/parser.h"
#include "driver/sql/validate.h"
#include "support/connstr.h"
#include "support/diag.h"
#include "support/memory.h"
#include "tests/differential/query_gen.h"

namespace {

using Rows = std::vector<std::string>;

std::string format_double(double number) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", number);
  return text;
}

// One row as "v1|v2|...", with NULL for NULL and doubles in "%.6g".
std::string quill_cell(const QuillValue* value) {
  if (!value || is_value_null(value)) return "NULL";
  if (value->kind == VALUE_DOUBLE) return format_double(value->payload.real);
  std::vector<char> text(VALUE_TEXT_SIZE);
  value_as_text(value, text.data());
  return text.data();
}

std::string first_error(ErrorHeader* errors) {
  SQLCHAR state[6] = {0}, message[512] = {0};
  SQLSMALLINT length = 0;
  GetDiagRec(errors, 1, state, nullptr, message, sizeof message, &length);
  return std::string("error ") + reinterpret_cast<char*>(state) + " " +
         reinterpret_cast<char*>(message);
}

// The engine over the test backend.
class QuillSide {
 public:
  explicit QuillSide(TestBackend* backend) {
    test_backend_install(dal_, backend);
    ConnAttrSet attributes;
    init_con_str(&attributes, pool_);
    opened_ = DALOpen(dal_, &attributes, nullptr) == 0;
  }
  ~QuillSide() {
    dal_destroy(dal_);
    quill_mem_release_handle(pool_);
  }
  bool opened() const { return opened_; }

  // The rows of `sql`, or one entry "error ..." when it fails.
  Rows run(const std::string& sql) {
    MemPool* pool = quill_mem_alloc_handle(pool_);
    SetupErrorHeader(errors_, 0);
    Rows rows;
    ParseContext* parse = parse_context_create(pool);
    std::string text = sql;
    StatementPlanList* plans = nullptr;
    ValidateTarget target{dal_, errors_, pool, nullptr, nullptr, 3};
    if (sql_parse(parse, text.data()) != 0) {
      rows.push_back(std::string("error parse ") + parse_message(parse));
    } else if (validate_statements(target, parse_statements(parse), &plans) != 0) {
      rows.push_back(first_error(errors_));
    } else {
      ExecStatement* statement = exec_create(dal_, errors_, pool, plans, nullptr);
      int rc = statement ? exec_statement(statement) : -1;
      while (rc >= 0 && (rc = exec_fetch(statement)) >= 0 && rc != 100) {
        std::string row;
        for (int c = 0; c < exec_column_count(statement); ++c)
          row += (c ? "|" : "") + quill_cell(exec_column_value(statement, c));
        rows.push_back(row);
      }
      if (rc < 0) rows = {first_error(errors_)};
      exec_free(statement);
    }
    parse_context_free(parse);
    quill_mem_release_handle(pool);
    return rows;
  }

 private:
  MemPool* pool_ = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors_ = CreateErrorHeader(pool_, nullptr);
  Dal* dal_ = dal_create(nullptr, errors_);
  bool opened_ = false;
};

// SQLite over the same rows.
class SqliteSide {
 public:
  explicit SqliteSide(const std::string& script) {
    sqlite3_open(":memory:", &db_);
    loaded_ = sqlite3_exec(db_, script.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
  }
  ~SqliteSide() { sqlite3_close(db_); }
  bool loaded() const { return loaded_; }

  Rows run(const std::string& sql) {
    Rows rows;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
      return {std::string("error sqlite ") + sqlite3_errmsg(db_)};
    int rc;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
      std::string row;
      for (int c = 0; c < sqlite3_column_count(statement); ++c) {
        if (c) row += "|";
        switch (sqlite3_column_type(statement, c)) {
          case SQLITE_NULL:
            row += "NULL";
            break;
          case SQLITE_FLOAT:
            row += format_double(sqlite3_column_double(statement, c));
            break;
          default:
            row += reinterpret_cast<const char*>(sqlite3_column_text(statement, c));
        }
      }
      rows.push_back(row);
    }
    if (rc != SQLITE_DONE) rows = {std::string("error sqlite ") + sqlite3_errmsg(db_)};
    sqlite3_finalize(statement);
    return rows;
  }

 private:
  sqlite3* db_ = nullptr;
  bool loaded_ = false;
};

TEST(SelectAgainstSqlite, GeneratedQueriesReturnTheSameRows) {
  TestBackend backend;
  backend.tables = generate_tables(7, 40);
  backend.capabilities = 1 | 2 | 4;  // restrictions without value, LIKE, IS NULL
  QuillSide quill(&backend);
  SqliteSide sqlite(sqlite_script(backend.tables));
  ASSERT_TRUE(quill.opened());
  ASSERT_TRUE(sqlite.loaded());
  QueryGenerator generator(20261209);
  constexpr int kQueries = 600;
  int failures = 0, nonempty = 0;
  for (int i = 0; i < kQueries; ++i) {
    std::string sql = generator.next();
    Rows expected = sqlite.run(sql);
    Rows got = quill.run(sql);
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    if (!expected.empty()) ++nonempty;
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
  std::printf("%d queries, %d with rows, %d failures\n", kQueries, nonempty, failures);
}

}  // namespace
