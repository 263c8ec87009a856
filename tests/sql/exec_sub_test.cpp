// Sub-statements through the whole engine (parse, validate, execute, fetch) on the in-memory
// test backend, beside the case files of tests/sql/cases/exec_sub (outer and nested joins,
// derived tables): subqueries in WHERE, how often correlated subqueries, join sides and derived
// tables scan, parameter sets, and the join failure messages.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "driver/odbc/connect/backend_list.h"
#include "driver/sql/exec.h"
#include "driver/sql/exec_sub.h"
#include "driver/sql/parser.h"
#include "driver/sql/validate.h"
#include "support/connstr.h"
#include "support/diag.h"
#include "support/memory.h"
#include "support/value.h"
#include "tests/backend/test_backend.h"
#include "tests/sql/exec_harness.h"

namespace {

struct SubStatementFixture : ::testing::Test {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  Dal* dal = dal_create(nullptr, errors);
  TestBackend backend;
  std::vector<std::string> diagnostics;             // "STATE native message" of the last failed run
  std::vector<const QuillValue*> parameter_values;  // one parameter per set, when not empty

  void SetUp() override {
    TestTable a;
    a.name = "A";
    a.columns = {{"ID", SQL_INTEGER}, {"NAME", SQL_VARCHAR, 10}};
    a.rows = {{"1", "a"}, {"2", "b"}, {"3", "c"}};
    TestTable b;
    b.name = "B";
    b.columns = {{"ID", SQL_INTEGER}, {"AID", SQL_INTEGER}, {"V", SQL_VARCHAR, 10}};
    b.rows = {{"10", "1", "x"}, {"11", "1", "y"}, {"12", "3", "z"}, {"13", "9", "w"}};
    TestTable c;
    c.name = "C";
    c.columns = {{"K", SQL_INTEGER}};
    c.rows = {{"1"}, {"1"}, {"2"}, {"2"}, {"3"}};
    backend.tables = {a, b, c};
    test_backend_install(dal, &backend);
    ConnAttrSet attributes;
    init_con_str(&attributes, pool);
    ASSERT_EQ(0, DALOpen(dal, &attributes, nullptr));
  }
  void TearDown() override {
    dal_destroy(dal);
    FreeErrorHeader(errors);
    quill_mem_release_handle(pool);
  }

  // Rows as "v1|v2" (NULL for a null value), or one "error ..." entry with the first record.
  // With `again`, the statement then executes a second time after `again` ran on it, its
  // rows following a "--" entry.
  std::vector<std::string> run(const std::string& sql,
                               const std::function<void(ExecStatement*)>& again = nullptr) {
    std::vector<std::string> rows;
    diagnostics.clear();
    backend.scans.clear();
    ParseContext* parse = parse_context_create(nullptr);
    std::string text = sql;
    if (sql_parse(parse, text.data()) != 0) {
      rows.push_back(std::string("parse ") + parse_message(parse));
      parse_context_free(parse);
      return rows;
    }
    SetupErrorHeader(errors, 0);
    StatementPlanList* plans = nullptr;
    ValidateTarget target{dal, errors, parse_pool(parse), nullptr, nullptr, 3};
    ExecStatement* statement = nullptr;
    int rc = validate_statements(target, parse_statements(parse), &plans);
    if (rc == 0) {
      statement = exec_create(dal, errors, pool, plans, nullptr);
      if (statement && !parameter_values.empty())
        exec_set_parameters(statement, parameter_values.data(), 1, parameter_values.size(), nullptr,
                            nullptr, nullptr);
      rc = statement ? execute(statement, &rows) : -1;
      if (rc >= 0 && again) {
        again(statement);
        rows.push_back("--");
        rc = execute(statement, &rows);
      }
    }
    if (rc < 0) rows = {"error " + collect_diagnostics()};
    if (statement) sub_statement_release(statement);  // what exec_free is to do itself
    exec_free(statement);
    parse_context_free(parse);
    return rows;
  }

  // Executes the statement and appends its rows: 0, or -1 after an error.
  int execute(ExecStatement* statement, std::vector<std::string>* rows) {
    int rc = exec_statement(statement);
    while (rc >= 0) {
      rc = exec_fetch(statement);
      if (rc == 100) return 0;
      if (rc < 0) break;
      std::string row;
      for (int i = 0; i < exec_column_count(statement); ++i) {
        const QuillValue* value = exec_column_value(statement, i);
        if (value == nullptr) return -1;
        char buffer[VALUE_TEXT_SIZE];
        value_as_text(value, buffer);
        row += (i ? "|" : "") + (is_value_null(value) ? std::string("NULL") : buffer);
      }
      rows->push_back(row);
    }
    return -1;
  }

  std::string collect_diagnostics() {
    for (SQLSMALLINT record = 1;; ++record) {
      SQLCHAR state[6] = {0};
      SQLCHAR message[600] = {0};
      SQLINTEGER native = 0;
      if (GetDiagRec(errors, record, state, &native, message, sizeof message, nullptr) !=
          SQL_SUCCESS)
        break;
      diagnostics.push_back(reinterpret_cast<char*>(state) + std::string(" ") +
                            std::to_string(native) + " " + reinterpret_cast<char*>(message));
    }
    return diagnostics.empty() ? std::string("(none)") : diagnostics.front();
  }

  // Scans of `table` in the last run, each as its restrictions joined by " AND ".
  std::vector<std::string> scans_of(const std::string& table) const {
    std::vector<std::string> out;
    for (const TestScan& scan : backend.scans) {
      if (scan.table != table) continue;
      std::string text;
      for (const std::string& r : scan.restrictions) text += (text.empty() ? "" : " AND ") + r;
      out.push_back(text);
    }
    return out;
  }
};

std::string joined(const std::vector<std::string>& rows) {
  std::string text;
  for (const std::string& row : rows) text += (text.empty() ? "" : ";") + row;
  return text;
}

struct QueryCase {
  const char* sql;
  const char* rows;  // expected rows, ';' between rows
};

TEST_F(SubStatementFixture, Subqueries) {
  const QueryCase cases[] = {
      {"SELECT ID FROM A WHERE EXISTS (SELECT * FROM B WHERE B.AID = A.ID)", "1;3"},
      {"SELECT ID FROM A WHERE NOT EXISTS (SELECT * FROM B WHERE B.AID = A.ID)", "2"},
      {"SELECT ID FROM A WHERE ID IN (SELECT AID FROM B)", "1;3"},
      {"SELECT ID FROM A WHERE ID NOT IN (SELECT AID FROM B WHERE B.ID < 12)", "2;3"},
      {"SELECT B.ID FROM B WHERE B.AID = (SELECT A.ID FROM A WHERE A.NAME = 'c')", "12"},
      {"SELECT A.ID FROM A WHERE 'y' = (SELECT V FROM B WHERE B.ID = A.ID + 9)", "2"},
      {"SELECT ID FROM A WHERE ID > ALL (SELECT AID FROM B WHERE B.ID < 12)", "2;3"},
      {"SELECT ID FROM A WHERE ID < ANY (SELECT AID FROM B WHERE B.ID >= A.ID + 11)", "1;2"},
      {"SELECT A.ID FROM A WHERE A.ID = (SELECT AID FROM B)",
       "error HY000 0 Sub query has more than one row"},
  };
  for (const QueryCase& c : cases) EXPECT_EQ(c.rows, joined(run(c.sql))) << c.sql;
}

// C.K runs 1, 1, 2, 2, 3: a subquery correlated on it scans B once per distinct run of values.
TEST_F(SubStatementFixture, CorrelatedSubqueriesRunAgainOnlyWhenTheOuterValueChanges) {
  struct {
    const char* sql;
    const char* rows;
    size_t b_scans;
  } cases[] = {
      {"SELECT K FROM C WHERE EXISTS (SELECT * FROM B WHERE B.AID = C.K)", "1;1;3", 3},
      {"SELECT K FROM C WHERE K IN (SELECT AID FROM B)", "1;1;3", 1},
      {"SELECT K FROM C WHERE K IN (SELECT AID FROM B WHERE B.ID > C.K + 9)", "1;1", 3},
      {"SELECT K FROM C WHERE 1 < (SELECT COUNT(*) FROM B WHERE B.AID = C.K)", "1;1", 3},
      {"SELECT K FROM C WHERE 'x' = (SELECT V FROM B WHERE B.ID = 10)", "1;1;2;2;3", 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.rows, joined(run(c.sql))) << c.sql;
    EXPECT_EQ(c.b_scans, scans_of("B").size()) << c.sql;
  }
}

TEST_F(SubStatementFixture, CorrelatedDerivedTableInsideASubquery) {
  EXPECT_EQ("1;3", joined(run("SELECT ID FROM A WHERE EXISTS (SELECT * FROM (SELECT AID FROM B "
                              "WHERE B.AID = A.ID) X)")));
}

// Each parameter set runs the uncorrelated subquery again with its own value.
TEST_F(SubStatementFixture, SubqueryRunsAgainForEachParameterSet) {
  std::vector<const QuillValue*> values;
  for (int number : {1, 2, 3}) {
    QuillValue* value = NewValue(pool, 0);
    set_value_to_int(value, number);
    values.push_back(value);
  }
  parameter_values = values;
  EXPECT_EQ("1;2;3;1;2;3",
            joined(run("SELECT ID FROM A WHERE EXISTS (SELECT * FROM B WHERE B.AID = ?)")));
  EXPECT_EQ((std::vector<std::string>{"AID = 1", "AID = 2", "AID = 3"}), scans_of("B"));
}

// Scans the case files cannot count: no join side or derived table scans more than needed.
TEST_F(SubStatementFixture, JoinSidesAndDerivedTablesScanOnlyAsOftenAsNeeded) {
  struct {
    const char* sql;
    const char* table;
    size_t scans;
  } cases[] = {
      {"SELECT A.ID, B.ID FROM A LEFT JOIN B ON B.AID = A.ID", "B", 3},
      {"SELECT A.ID, B.ID FROM A LEFT JOIN B ON B.AID = A.ID", "A", 1},
      {"SELECT A.ID, B.ID FROM A LEFT JOIN B ON B.AID = A.ID OR B.ID = 13", "B", 1},
      {"SELECT A.ID, B.ID FROM A FULL JOIN B ON B.AID = A.ID", "B", 1},
      {"SELECT A.ID, B.ID FROM A FULL JOIN B ON B.AID = A.ID", "A", 1},
      {"SELECT A.ID, X.K FROM A, (SELECT K FROM C WHERE K = 3) X", "C", 1},
      {"SELECT X.K, A.ID FROM (SELECT K FROM C WHERE K = 3) X, A", "C", 1},
  };
  for (const auto& c : cases) {
    EXPECT_NE("error", run(c.sql).front().substr(0, 5)) << c.sql;
    EXPECT_EQ(c.scans, scans_of(c.table).size()) << c.sql << " scans of " << c.table;
  }
}

// A new execution of the statement sees the data as it is then, not the subquery rows kept
// from the previous one.
TEST_F(SubStatementFixture, SubqueryRowsAreForgottenForANewExecution) {
  auto change = [this](ExecStatement* statement) {
    backend.find("B")->rows.push_back({"14", "2", "v"});
    sub_statement_reset(statement);  // what a new execution is to do itself
  };
  EXPECT_EQ("1;3;--;1;2;3",
            joined(run("SELECT ID FROM A WHERE ID IN (SELECT AID FROM B)", change)));
}

TEST_F(SubStatementFixture, JoinSideAndSubqueryFailures) {
  backend.find("A")->fail_start = true;
  run("SELECT A.ID, B.ID FROM A LEFT JOIN B ON B.AID = A.ID");
  EXPECT_NE(std::find(diagnostics.begin(), diagnostics.end(),
                      "HY000 10003 General error: Internal Error, left hand side of join failed"),
            diagnostics.end());
  backend.find("A")->fail_start = false;
  backend.find("B")->fail_start = true;
  run("SELECT A.ID, B.ID FROM A LEFT JOIN B ON B.AID = A.ID");
  EXPECT_NE(std::find(diagnostics.begin(), diagnostics.end(),
                      "HY000 10003 General error: Internal Error, right hand side of join failed"),
            diagnostics.end());
  // A subquery that cannot run reports the scan's own error, nothing made up.
  EXPECT_EQ("error HY000 0 scan refused by test table",
            joined(run("SELECT ID FROM A WHERE EXISTS (SELECT * FROM B WHERE B.AID = A.ID)")));
  for (const std::string& diagnostic : diagnostics)
    EXPECT_EQ(diagnostic.find("HY001"), std::string::npos) << diagnostic;
}

}  // namespace
