// Statements of extreme shape, each run on a thread whose stack is only 256 KB: long runs of
// AND and OR give their result; long chains of other operators and deep nesting of any kind
// give the nesting error; and every shape at the deepest nesting accepted runs through parse,
// validation, planning, execution, SQL text and release without exhausting that stack.
#include <gtest/gtest.h>
#include <pthread.h>

#include <functional>
#include <string>
#include <vector>

#include "driver/sql/parser.h"
#include "driver/sql/sqlgen.h"
#include "driver/sql/tree_shape.h"
#include "tests/odbc/odbc_select.h"
#include "tests/sql/exec_harness.h"

namespace {

constexpr size_t kSmallStack = 256 * 1024;

// Runs `work` on a new thread with a 256 KB stack and waits for it.
void on_small_stack(const std::function<void()>& work) {
  pthread_attr_t attributes;
  ASSERT_EQ(0, pthread_attr_init(&attributes));
  ASSERT_EQ(0, pthread_attr_setstacksize(&attributes, kSmallStack));
  pthread_t thread;
  auto run = [](void* argument) -> void* {
    (*static_cast<const std::function<void()>*>(argument))();
    return nullptr;
  };
  ASSERT_EQ(0,
            pthread_create(&thread, &attributes, run, const_cast<std::function<void()>*>(&work)));
  pthread_join(thread, nullptr);
  pthread_attr_destroy(&attributes);
}

std::string chain(int terms, const std::string& term, const std::string& joiner) {
  std::string text = term;
  for (int i = 1; i < terms; ++i) text += joiner + term;
  return text;
}

std::string nest(int levels, const std::string& open, const std::string& core,
                 const std::string& close) {
  std::string text;
  for (int i = 0; i < levels; ++i) text += open;
  text += core;
  for (int i = 0; i < levels; ++i) text += close;
  return text;
}

std::string joins(int tables, const std::string& kind) {
  std::string text = "SELECT T0.A FROM T T0";
  for (int i = 1; i < tables; ++i) {
    std::string alias = "T" + std::to_string(i);
    text += " " + kind + " T " + alias + " ON " + alias + ".A = T0.A";
  }
  return text + " ORDER BY 1";
}

// The engine over table T (A INTEGER, B VARCHAR) holding (1, 'x') and (2, 'y'), and table U
// of the same shape that statements change.
class DeepStatement : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(harness_.declare("T (A INTEGER, B VARCHAR(20))", {"1|x", "2|y"}, &error)) << error;
    ASSERT_TRUE(harness_.declare("U (A INTEGER, B VARCHAR(20)) keys A", {"1|x", "2|y"}, &error))
        << error;
  }

  // Runs `sql` on the small stack.
  ExecRunResult run(const std::string& sql) {
    ExecRunResult result;
    on_small_stack([&] { result = harness_.run(sql); });
    return result;
  }

  // The text of `sql` as the generator prints it, made on the small stack ("" if it does not
  // parse).
  static std::string print(const std::string& sql) {
    std::string printed;
    on_small_stack([&] {
      ParseContext* parse = parse_context_create(nullptr);
      std::string text = sql;
      if (sql_parse(parse, text.data()) == 0)
        printed = sql_statement_list_text(parse_statements(parse));
      parse_context_free(parse);
    });
    return printed;
  }

  ExecHarness harness_;
};

bool refused_as_too_deep(const ExecRunResult& result) {
  return result.rc != 0 && result.error.find("statement nested too deeply") != std::string::npos;
}

TEST_F(DeepStatement, LongAndOrRunsGiveTheirResult) {
  struct Case {
    std::string sql;
    std::vector<std::string> rows;
  } cases[] = {
      {"SELECT A FROM T WHERE " + chain(100000, "A = 1", " AND "), {"1"}},
      {"SELECT A FROM T WHERE " + chain(100000, "A = 3", " OR ") + " OR A = 2", {"2"}},
      // NOT turns the run into ORs of <>.
      {"SELECT A FROM T WHERE NOT (" + chain(100000, "A = 2", " AND ") + ")", {"1"}},
      // Written right-nested with parentheses, as deep as the parser's stack allows.
      {"SELECT A FROM T WHERE " + nest(2000, "A = 1 AND (", "A > 0", ")"), {"1"}},
      // OVERLAPS builds one AND of pairs.
      {"SELECT A FROM T WHERE (" + chain(20000, "A", ", ") + ") OVERLAPS (" +
           chain(20000, "1", ", ") + ")",
       {"1"}},
      // CASE branches and IN values are lists, not nesting.
      {"SELECT CASE " + chain(20000, "WHEN A = 3 THEN 0", " ") + " ELSE A END FROM T ORDER BY 1",
       {"1", "2"}},
      {"SELECT A FROM T WHERE A IN (" + chain(100000, "2", ", ") + ")", {"2"}},
      // Join conditions, HAVING and the WHERE of a change take their own walks.
      {"SELECT T0.A FROM T T0 JOIN T T1 ON T0.A = T1.A AND (" + chain(50000, "T1.A > 0", " AND ") +
           ") ORDER BY 1",
       {"1", "2"}},
      // (5,000 set functions: each is looked up among the others, which is quadratic.)
      {"SELECT B FROM T GROUP BY B HAVING " + chain(5000, "COUNT(*) = 2", " OR ") +
           " OR MIN(A) = 2",
       {"y"}},
      // The planner's own trees: an IN list on a key as ORs, a normal form of 256 branches.
      {"SELECT A FROM U WHERE A IN (" + chain(250, "1", ", ") + ") AND (B = 'x' OR B = 'y')",
       {"1"}},
      {"SELECT A FROM U WHERE " + chain(8, "(A = 1 OR B = 'q')", " AND "), {"1"}},
      {"UPDATE U SET B = 'z' WHERE " + chain(50000, "A = 3", " OR ") + " OR A = 2", {}},
      {"SELECT B FROM U ORDER BY 1", {"x", "z"}},
  };
  for (const Case& c : cases) {
    ExecRunResult result = run(c.sql);
    EXPECT_EQ(result.rc, 0) << c.sql.substr(0, 80) << ": " << result.error;
    EXPECT_EQ(result.rows, c.rows) << c.sql.substr(0, 80);
  }
}

TEST_F(DeepStatement, LongChainsAndDeepNestingAreRefused) {
  const std::string cases[] = {
      "SELECT " + chain(50000, "1", " + "),
      "SELECT " + chain(100000, "B", " || ") + " FROM T",
      "SELECT " + chain(50000, "A", " * ") + " FROM T",
      "SELECT " + nest(400, "ABS(", "A", ")") + " FROM T",
      "SELECT " + nest(400, "CASE WHEN A = 1 THEN ", "A", " END") + " FROM T",
      nest(400, "SELECT (", "SELECT 1", ")"),
      "SELECT A FROM T WHERE " + nest(400, "A IN (SELECT A FROM T WHERE ", "A = 1", ")"),
      "SELECT * FROM " + nest(400, "(SELECT * FROM ", "T", ") X"),
      chain(5000, "SELECT A FROM T", " UNION ALL "),
      joins(2000, "LEFT JOIN"),
  };
  for (const std::string& sql : cases) {
    ExecRunResult result = run(sql);
    EXPECT_TRUE(refused_as_too_deep(result)) << sql.substr(0, 80) << ": " << result.error;
    EXPECT_EQ(print(sql), "") << sql.substr(0, 80);
  }
  // The parser's own stack still ends a deeper nesting of the grammar first.
  ExecRunResult result = run("SELECT " + nest(20000, "-(", "1", ")"));
  EXPECT_NE(result.error.find("memory exhausted"), std::string::npos) << result.error;
}

// Every shape at the deepest nesting the limit accepts (found by parsing) runs to its
// result on the small stack, and one level more is refused.
TEST_F(DeepStatement, EveryShapeRunsAtTheDeepestNestingAccepted) {
  struct Shape {
    const char* name;
    std::function<std::string(int)> make;
    std::function<std::vector<std::string>(int)> rows;
  };
  auto rows_of = [](std::vector<std::string> rows) { return [rows](int) { return rows; }; };
  const std::vector<std::string> both = {"1", "2"};
  const Shape shapes[] = {
      {"plus", [](int n) { return "SELECT " + chain(n, "1", " + "); },
       [](int n) { return std::vector<std::string>{std::to_string(n)}; }},
      {"concat", [](int n) { return "SELECT " + chain(n, "'a'", " || "); },
       [](int n) { return std::vector<std::string>{std::string(static_cast<size_t>(n), 'a')}; }},
      {"negate", [](int n) { return "SELECT " + nest(n, "-(", "1", ")"); },
       [](int n) { return std::vector<std::string>{n % 2 ? "-1" : "1"}; }},
      {"abs", [](int n) { return "SELECT " + nest(n, "ABS(", "A", ")") + " FROM T ORDER BY 1"; },
       rows_of(both)},
      {"trim",
       [](int n) { return "SELECT " + nest(n, "TRIM(BOTH 'x' FROM ", "B", ")") + " FROM T"; },
       rows_of({"", "y"})},
      {"substring",
       [](int n) { return "SELECT " + nest(n, "SUBSTRING(", "B", ", 1, 5)") + " FROM T"; },
       rows_of({"x", "y"})},
      {"case",
       [](int n) {
         return "SELECT " + nest(n, "CASE WHEN A = 1 THEN ", "A", " ELSE 2 END") +
                " FROM T ORDER BY 1";
       },
       rows_of(both)},
      {"like",
       [](int n) {
         return "SELECT A FROM T WHERE " + nest(n, "CASE WHEN B LIKE 'x%' THEN ", "A", " END") +
                " = 1";
       },
       rows_of({"1"})},
      {"scalar subquery", [](int n) { return nest(n, "SELECT (", "SELECT 1", ")"); },
       rows_of({"1"})},
      {"IN subquery",
       [](int n) {
         return "SELECT A FROM T WHERE " + nest(n, "A IN (SELECT A FROM T WHERE ", "A = 1", ")");
       },
       rows_of({"1"})},
      {"EXISTS",
       [](int n) {
         return "SELECT A FROM T WHERE " + nest(n, "EXISTS (SELECT A FROM T WHERE ", "A = 1", ")") +
                " ORDER BY 1";
       },
       rows_of(both)},
      {"comparison subquery",
       [](int n) {
         return "SELECT A FROM T WHERE " +
                nest(n, "A = (SELECT MAX(A) FROM T WHERE ", "A = 1", ")");
       },
       rows_of({"1"})},
      {"ANY",
       [](int n) {
         return "SELECT A FROM T WHERE " + nest(n, "A = ANY (SELECT A FROM T WHERE ", "A = 1", ")");
       },
       rows_of({"1"})},
      {"grouped",
       [](int n) {
         return "SELECT A FROM T WHERE " +
                nest(n, "A IN (SELECT A FROM T GROUP BY A HAVING ", "A = 1", ")");
       },
       rows_of({"1"})},
      {"derived",
       [](int n) {
         return "SELECT A FROM " + nest(n, "(SELECT * FROM ", "T", ") X") + " ORDER BY 1";
       },
       rows_of(both)},
      {"derived grouped",
       [](int n) {
         return "SELECT A FROM " +
                nest(n, "(SELECT A, COUNT(*) AS C FROM ", "T", " GROUP BY A) X") + " ORDER BY 1";
       },
       rows_of(both)},
      {"UNION", [](int n) { return chain(n, "SELECT A FROM T", " UNION ") + " ORDER BY 1"; },
       rows_of(both)},
      {"inner joins", [](int n) { return joins(n, "JOIN"); }, rows_of(both)},
      {"left joins", [](int n) { return joins(n, "LEFT JOIN"); }, rows_of(both)},
      {"insert",
       [](int n) { return "INSERT INTO U VALUES (" + nest(n, "ABS(", "-7", ")") + ", 'i')"; },
       rows_of({})},
      {"mixed",
       [](int n) {
         return "SELECT A FROM T WHERE " +
                nest(n, "A = ABS((SELECT MIN(A) FROM T WHERE ", "A = 1", "))");
       },
       rows_of({"1"})},
  };
  for (const Shape& shape : shapes) {
    // The deepest n that parses.
    int low = 1, high = 4000;
    auto accepted = [](const std::string& sql) {
      ParseContext* parse = parse_context_create(nullptr);
      std::string text = sql;
      bool ok = sql_parse(parse, text.data()) == 0;
      parse_context_free(parse);
      return ok;
    };
    ASSERT_TRUE(accepted(shape.make(low))) << shape.name;
    ASSERT_FALSE(accepted(shape.make(high))) << shape.name;
    while (high - low > 1) {
      int middle = (low + high) / 2;
      (accepted(shape.make(middle)) ? low : high) = middle;
    }
    ExecRunResult result = run(shape.make(low));
    EXPECT_EQ(result.rc, 0) << shape.name << " at " << low << ": " << result.error;
    EXPECT_EQ(result.rows, shape.rows(low)) << shape.name << " at " << low;
    EXPECT_NE(print(shape.make(low)), "") << shape.name;
    EXPECT_TRUE(refused_as_too_deep(run(shape.make(low + 1)))) << shape.name;
  }
}

TEST_F(DeepStatement, JoinsOverManyColumnsNestTheirConditionLittle) {
  std::string columns, names;
  for (int i = 0; i < 3000; ++i) {
    columns += (i ? ", " : "") + std::to_string(i % 7) + " AS C" + std::to_string(i);
    names += (i ? ", C" : "C") + std::to_string(i);
  }
  std::string side = "(SELECT " + columns + " FROM T)";
  for (const std::string& how : {std::string("NATURAL JOIN ") + side + " Y",
                                 std::string("JOIN ") + side + " Y USING (" + names + ")"}) {
    ExecRunResult result = run("SELECT X.C1 FROM " + side + " X " + how);
    EXPECT_EQ(result.rc, 0) << how.substr(0, 20) << ": " << result.error;
    EXPECT_EQ(result.rows, std::vector<std::string>(4, "1")) << how.substr(0, 20);
  }
}

TEST_F(DeepStatement, OperandsBetweenRepeatsCannotMultiplyWithoutLimit) {
  std::string expression = "A";
  for (int level = 0; level < 40; ++level) {
    expression = "CASE WHEN " + expression + " BETWEEN 0 AND 9 THEN 1 ELSE 0 END";
    if (level == 9) {
      ExecRunResult result = run("SELECT " + expression + " FROM T");
      EXPECT_EQ(result.rc, 0) << result.error;
      EXPECT_EQ(result.rows, std::vector<std::string>(2, "1"));
    }
  }
  ExecRunResult result = run("SELECT " + expression + " FROM T");
  EXPECT_NE(result.error.find("statement too complex"), std::string::npos) << result.error;
}

// Through the ODBC API: the refusal is SQLSTATE 42000 with the text that says what to do.
TEST_F(DeepStatement, OdbcReportsTheNestingAsSyntaxError) {
  OdbcResult result;
  on_small_stack([&] {
    OdbcSession session("URI=http://127.0.0.1:1;connect_probe=no");
    ASSERT_TRUE(session.open());
    result = session.select("SELECT " + chain(50000, "1", " + "));
  });
  EXPECT_EQ(result.rc, SQL_ERROR);
  EXPECT_EQ(result.state, "42000");
  EXPECT_NE(result.message.find("nested too deeply"), std::string::npos) << result.message;
  EXPECT_NE(result.message.find(std::to_string(NESTING_WEIGHT_LIMIT)), std::string::npos);
}

}  // namespace
