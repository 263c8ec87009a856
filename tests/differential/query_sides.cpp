// Running one statement on each side of a query differential test and printing its rows in
// one common text form, so that rows can be compared as strings.
#include "tests/differential/query_sides.h"

#include <sqlite3.h>

#include <cstdio>

#include "driver/odbc/connect/backend_list.h"
#include "driver/sql/exec.h"
#include "driver/sql/parser.h"
#include "driver/sql/validate.h"

namespace {

std::string quill_cell(const QuillValue* value) {
  if (!value || is_value_null(value)) return "NULL";
  if (value->kind == VALUE_DOUBLE) return format_query_double(value->payload.real);
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

}  // namespace

std::string format_query_double(double number) {
  char text[64];
  std::snprintf(text, sizeof text, "%.6g", number);
  return text;
}

QuillQuerySide::QuillQuerySide(TestBackend* backend) {
  pool_ = quill_mem_alloc_handle(nullptr);
  errors_ = CreateErrorHeader(pool_, nullptr);
  dal_ = dal_create(nullptr, errors_);
  test_backend_install(dal_, backend);
  ConnAttrSet attributes;
  init_con_str(&attributes, pool_);
  opened_ = DALOpen(dal_, &attributes, nullptr) == 0;
}

QuillQuerySide::~QuillQuerySide() {
  dal_destroy(dal_);
  quill_mem_release_handle(pool_);
}

QueryRows QuillQuerySide::run(const std::string& sql) {
  MemPool* pool = quill_mem_alloc_handle(pool_);
  SetupErrorHeader(errors_, 0);
  QueryRows rows;
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

SqliteQuerySide::SqliteQuerySide(const std::string& script) {
  sqlite3_open(":memory:", &db_);
  loaded_ = sqlite3_exec(db_, script.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

SqliteQuerySide::~SqliteQuerySide() {
  sqlite3_close(db_);
}

QueryRows SqliteQuerySide::run(const std::string& sql) {
  QueryRows rows;
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
          row += format_query_double(sqlite3_column_double(statement, c));
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
