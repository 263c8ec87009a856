// libFuzzer target: arbitrary bytes as a SQL statement, parsed, validated and executed over
// a small in-memory catalog (the test backend), with every row and column read. Every stage
// must accept or refuse with a diagnostic, never crash, hang or leak.
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/dal/dal.h"
#include "driver/odbc/connect/backend_list.h"
#include "driver/sql/exec.h"
#include "driver/sql/parser.h"
#include "driver/sql/validate.h"
#include "support/connstr.h"
#include "support/diag.h"
#include "support/memory.h"
#include "tests/backend/test_backend.h"

namespace {

TestBackend* catalog() {
  static TestBackend* backend = [] {
    auto* b = new TestBackend;
    b->log_scans = false;
    b->capabilities = 1 | 2 | 4 | 8;
    TestTable t1;
    t1.name = "T1";
    t1.columns = {{"A", SQL_INTEGER},
                  {"B", SQL_VARCHAR, 20},
                  {"C", SQL_DOUBLE},
                  {"D", SQL_TYPE_DATE},
                  {"L", SQL_LONGVARCHAR, 1000}};
    t1.rows = {{"1", "apple", "1.5", "2024-01-31", "long text"},
               {"2", std::nullopt, "-2", "2000-02-29", std::nullopt},
               {"3", "Berry", std::nullopt, std::nullopt, "x"}};
    t1.keys = {"A"};
    t1.indexes = {{"T1_A", true, {1}, 3}};
    TestTable t2;
    t2.name = "T2";
    t2.columns = {{"A", SQL_INTEGER}, {"E", SQL_VARCHAR, 10}, {"N", SQL_NUMERIC, 10, 10, 2}};
    t2.rows = {{"1", "x", "1.25"}, {"3", "y", std::nullopt}, {"4", std::nullopt, "-7.50"}};
    b->tables = {t1, t2};
    return b;
  }();
  return backend;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 2048) return 0;
  std::string text(reinterpret_cast<const char*>(data), size);
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  Dal* dal = dal_create(nullptr, errors);
  catalog()->definitions.clear();  // data-definition requests are only logged
  test_backend_install(dal, catalog());
  ConnAttrSet attributes;
  init_con_str(&attributes, pool);
  ParseContext* parse = parse_context_create(pool);
  if (parse && DALOpen(dal, &attributes, nullptr) == 0 && sql_parse(parse, text.data()) == 0 &&
      parse_statements(parse)) {
    ValidateTarget target{dal, errors, pool, nullptr, nullptr, 3};
    StatementPlanList* plans = nullptr;
    if (validate_statements(target, parse_statements(parse), &plans) == 0) {
      ExecStatement* statement = exec_create(dal, errors, pool, plans, nullptr);
      exec_set_max_rows(statement, 200);  // cross joins of the fuzzer's making stay small
      int rc = statement ? exec_statement(statement) : -1;
      for (int rows = 0; rc >= 0 && rows < 200; ++rows) {
        rc = exec_fetch(statement);
        if (rc < 0 || rc == 100) break;
        for (int c = 0; c < exec_column_count(statement); ++c) {
          const QuillValue* value = exec_column_value(statement, c);
          if (value) {
            char buffer[VALUE_TEXT_SIZE];
            value_as_text(value, buffer);
          }
        }
      }
      if (rc < 0 && GetErrorCount(errors) == 0) __builtin_trap();  // failed without a word
      exec_free(statement);
    } else if (GetErrorCount(errors) == 0) {
      __builtin_trap();  // refused without a word
    }
  }
  if (parse) parse_context_free(parse);
  dal_destroy(dal);
  quill_mem_release_handle(pool);
  return 0;
}
