// The parameter-table generator: rows of P, and the query shapes that supply its parameter N.
// Values stray outside 1..top on purpose (a call for a value with no rows returns none), lists
// repeat values (one call each), and ranges may be empty (low above high) or overlap.
#include "tests/differential/params_gen.h"

#include <sql.h>

namespace {

const char* const kWords[] = {"ash", "birch", "cedar", "alder", "beech", "cypress"};

}  // namespace

TestTable generate_parameter_table(uint32_t seed, int rows) {
  std::mt19937 random(seed);
  TestTable table;
  table.name = "P";
  TestColumn n{"N", SQL_INTEGER, 10, 0, 0, SQL_NO_NULLS, true};
  table.columns = {n, {"V", SQL_VARCHAR, 20}, {"W", SQL_INTEGER, 10}};
  for (int i = 0; i < rows; ++i) {
    TestCell w;
    if (random() % 5 != 0) w = std::to_string(static_cast<int>(random() % 50) - 10);
    table.rows.push_back({std::to_string(i / 2 + 1), std::string(kWords[random() % 6]), w});
  }
  return table;
}

int ParamQueryGenerator::pick(int count) {
  return static_cast<int>(random_() % static_cast<uint32_t>(count));
}

int ParamQueryGenerator::value() {
  return pick(top_ + 4) - 1;  // 0 and a few past the top: values without rows
}

std::string ParamQueryGenerator::list(int count) {
  std::string text;
  for (int i = 0; i < count; ++i) text += (i ? ", " : "") + std::to_string(value());
  return text;
}

std::string ParamQueryGenerator::extra() {
  switch (pick(5)) {
    case 0:
      return " AND P.W > " + std::to_string(pick(30) - 5);
    case 1:
      return " AND (P.V LIKE '" + std::string(1, "abc"[pick(3)]) + "%' OR P.W IS NULL)";
    case 2:
      return " AND P.V <> 'cedar'";
    default:
      return "";
  }
}

std::string ParamQueryGenerator::next(std::string* shape) {
  const std::string select = "SELECT P.N, P.V, P.W FROM P WHERE ";
  int low = value(), high = low + pick(8) - 1;
  switch (pick(7)) {
    case 0:
      *shape = "list";
      return select + "P.N IN (" + list(1 + pick(pick(4) == 0 ? 300 : 8)) + ")" + extra();
    case 1: {
      *shape = "or";
      int count = 1 + pick(pick(3) == 0 ? 300 : 6);
      std::string text;
      for (int i = 0; i < count; ++i)
        text += (i ? " OR " : "") +
                (pick(2) ? "P.N = " + std::to_string(value()) : std::to_string(value()) + " = P.N");
      return select + "(" + text + ")" + extra();
    }
    case 2: {
      *shape = "range";
      std::string lower =
          pick(2) ? "P.N >= " + std::to_string(low) : "P.N > " + std::to_string(low - 1);
      std::string upper =
          pick(2) ? "P.N <= " + std::to_string(high) : "P.N < " + std::to_string(high + 1);
      if (pick(2))
        return select + "P.N BETWEEN " + std::to_string(low) + " AND " + std::to_string(high) +
               extra();
      return select + lower + " AND " + upper + extra();
    }
    case 3:
      *shape = "subquery";
      if (pick(2))
        return select + "P.N IN (SELECT T1.A FROM T1 WHERE T1.A BETWEEN " + std::to_string(low) +
               " AND " + std::to_string(high + 3) + ")" + extra();
      return select + "P.N = (SELECT MAX(T1.A) FROM T1 WHERE T1.A < " +
             std::to_string(value() + 1) + ")" + extra();
    case 4:
      *shape = "join";
      if (pick(2))
        return "SELECT T1.A, P.V FROM T1, P WHERE P.N = T1.A AND T1.A < " +
               std::to_string(value()) + extra();
      return "SELECT T1.A, P.N, P.V FROM T1, P WHERE P.N IN (T1.A, T1.A + 2) AND T1.A <= " +
             std::to_string(value()) + extra();
    case 5: {
      // Overlapping ranges as OR branches: each branch's calls, the rows of a block once.
      *shape = "ranges";
      std::string text;
      for (int i = 0, count = 2 + pick(2); i < count; ++i) {
        int from = value();
        text += (i ? " OR " : "") + ("P.N BETWEEN " + std::to_string(from) + " AND " +
                                     std::to_string(from + pick(6) - 1));
        if (pick(3) == 0) text += " AND P.W > " + std::to_string(pick(30) - 5);
      }
      return select + "(" + text + ")" + extra();
    }
    default:
      *shape = "outer";
      return "SELECT P.N, P.V, T1.B FROM P LEFT JOIN T1 ON T1.A = P.N WHERE P.N IN (" + list(4) +
             ")" + extra();
  }
}
