// Tables and queries of the query differential test. What the generator avoids, because the
// two languages differ there on purpose: IN over a value that may be NULL (the driver's IN is
// never UNKNOWN), character values with trailing blanks (compared blank-padded), comparisons
// between text and numbers, GROUP BY and ORDER BY (rows are compared as multisets).
#include "tests/differential/query_gen.h"

#include <array>

namespace {

const std::array<const char*, 8> kWords = {"apple",  "Apricot", "banana", "berry",
                                           "cherry", "abc",     "b_c",    "Zed"};
const std::array<const char*, 7> kPatterns = {"a%", "%rr%", "B%", "_b%", "%e", "b_c", "%"};
const std::array<const char*, 6> kComparisons = {"=", "<>", "<", ">", "<=", ">="};

}  // namespace

std::vector<TestTable> generate_tables(uint32_t seed, int rows_per_table) {
  std::mt19937 random(seed);
  auto pick = [&](int count) { return static_cast<int>(random() % static_cast<uint32_t>(count)); };
  auto maybe_null = [&](TestCell cell) { return pick(8) == 0 ? TestCell{} : cell; };
  std::vector<TestTable> tables(3);
  tables[0].name = "T1";
  tables[0].columns = {
      {"A", SQL_INTEGER, 10, 0, 0, SQL_NO_NULLS}, {"B", SQL_VARCHAR, 20}, {"C", SQL_DOUBLE, 15}};
  tables[1].name = "T2";
  tables[1].columns = {{"A", SQL_INTEGER, 10, 0, 0, SQL_NO_NULLS}, {"D", SQL_VARCHAR, 20}};
  tables[2].name = "T3";
  tables[2].columns = {{"E", SQL_INTEGER, 10, 0, 0, SQL_NO_NULLS}, {"F", SQL_INTEGER, 10}};
  for (int i = 0; i < rows_per_table; ++i) {
    tables[0].rows.push_back({std::to_string(pick(12)),
                              maybe_null(std::string(kWords[static_cast<size_t>(pick(8))])),
                              maybe_null(std::to_string(pick(40) / 4.0))});
    tables[1].rows.push_back(
        {std::to_string(pick(12)), maybe_null(std::string(kWords[static_cast<size_t>(pick(8))]))});
    tables[2].rows.push_back({std::to_string(pick(12)), maybe_null(std::to_string(pick(12)))});
  }
  return tables;
}

std::string sqlite_script(const std::vector<TestTable>& tables) {
  std::string script;
  for (const TestTable& table : tables) {
    script += "CREATE TABLE " + table.name + " (";
    for (size_t i = 0; i < table.columns.size(); ++i) {
      const TestColumn& column = table.columns[i];
      const char* type = column.sql_type == SQL_INTEGER  ? "INTEGER"
                         : column.sql_type == SQL_DOUBLE ? "REAL"
                                                         : "TEXT";
      script += (i ? ", " : "") + column.name + " " + type;
    }
    script += ");\n";
    for (const auto& row : table.rows) {
      script += "INSERT INTO " + table.name + " VALUES (";
      for (size_t i = 0; i < row.size(); ++i) {
        std::string value = !row[i]                                    ? "NULL"
                            : table.columns[i].sql_type == SQL_VARCHAR ? "'" + *row[i] + "'"
                                                                       : *row[i];
        script += (i ? ", " : "") + value;
      }
      script += ");\n";
    }
  }
  return script;
}

int QueryGenerator::pick(int count) {
  return static_cast<int>(random_() % static_cast<uint32_t>(count));
}

bool QueryGenerator::chance(int percent) {
  return pick(100) < percent;
}

std::string QueryGenerator::column(const std::vector<std::string>& columns) {
  return columns[static_cast<size_t>(pick(static_cast<int>(columns.size())))];
}

std::string QueryGenerator::comparison(const Scope& scope) {
  std::string op = kComparisons[static_cast<size_t>(pick(6))];
  switch (pick(7)) {
    case 0:
      return column(scope.integers) + " " + op + " " + std::to_string(pick(12));
    case 1:
      return column(scope.integers) + " " + op + " " + column(scope.integers);
    case 2:
      return column(scope.texts) + " " + op + " '" + kWords[static_cast<size_t>(pick(8))] + "'";
    case 3:
      return column(scope.texts) + (chance(25) ? " NOT LIKE '" : " LIKE '") +
             kPatterns[static_cast<size_t>(pick(7))] + "'";
    case 4: {
      if (scope.keys.empty()) return column(scope.integers) + " " + op + " 5";
      std::string list = std::to_string(pick(12));
      for (int n = pick(3); n >= 0; --n) list += ", " + std::to_string(pick(12));
      return column(scope.keys) + " IN (" + list + ")";
    }
    case 5:
      return column(scope.integers) + (chance(50) ? " IS NULL" : " IS NOT NULL");
    default:
      if (scope.reals.empty()) return column(scope.integers) + " >= 0";
      return column(scope.reals) + " " + op + " " + std::to_string(pick(40) / 4.0);
  }
}

std::string QueryGenerator::subquery_predicate(const Scope& scope, bool negated) {
  // Correlated or not, over T3. IN needs a never-NULL operand (E is never NULL), and is kept
  // out of negations: the driver's IN over an empty subquery is UNKNOWN, not FALSE.
  if (scope.keys.empty()) return comparison(scope);
  std::string correlation =
      chance(60) ? " WHERE s.E " + std::string(chance(70) ? "=" : "<") + " " + column(scope.keys)
                 : " WHERE s.F > " + std::to_string(pick(12));
  switch (pick(negated ? 2 : 3)) {
    case 0:
      return std::string(chance(30) ? "NOT " : "") + "EXISTS (SELECT * FROM T3 s" + correlation +
             ")";
    case 1:
      return column(scope.integers) + " = (SELECT MAX(s.F) FROM T3 s" + correlation + ")";
    default:
      return column(scope.keys) + " IN (SELECT s.E FROM T3 s" + correlation + ")";
  }
}

std::string QueryGenerator::predicate(const Scope& scope, int depth, bool negated) {
  if (depth <= 0 || chance(35)) {
    if (chance(15)) return subquery_predicate(scope, negated);
    return comparison(scope);
  }
  switch (pick(3)) {
    case 0:
      return "(" + predicate(scope, depth - 1, negated) + " AND " +
             predicate(scope, depth - 1, negated) + ")";
    case 1:
      return "(" + predicate(scope, depth - 1, negated) + " OR " +
             predicate(scope, depth - 1, negated) + ")";
    default:
      return "NOT (" + predicate(scope, depth - 1, true) + ")";
  }
}

std::string QueryGenerator::next() {
  Scope scope;
  std::string from;
  std::vector<std::string> select;
  auto add_t1 = [&](const char* alias) {
    std::string a = alias;
    scope.integers.push_back(a + ".A");
    scope.keys.push_back(a + ".A");
    scope.texts.push_back(a + ".B");
    scope.reals.push_back(a + ".C");
    select.insert(select.end(), {a + ".A", a + ".B", a + ".C"});
  };
  auto add_t2 = [&](const char* alias) {
    std::string a = alias;
    scope.integers.push_back(a + ".A");
    scope.keys.push_back(a + ".A");
    scope.texts.push_back(a + ".D");
    select.insert(select.end(), {a + ".A", a + ".D"});
  };
  auto add_t3 = [&](const char* alias) {
    std::string a = alias;
    scope.integers.insert(scope.integers.end(), {a + ".E", a + ".F"});
    scope.keys.push_back(a + ".E");
    select.insert(select.end(), {a + ".E", a + ".F"});
  };
  std::string where;
  switch (pick(6)) {
    case 0:
      from = "T1 x";
      add_t1("x");
      break;
    case 1:
      from = "T1 x, T2 y";
      add_t1("x");
      add_t2("y");
      where = "x.A = y.A";
      break;
    case 2:
      from = "T1 x, T2 y, T3 z";
      add_t1("x");
      add_t2("y");
      add_t3("z");
      where = "x.A = y.A AND y.A = z.E";
      break;
    case 3: {
      static const std::array<const char*, 4> kJoins = {"INNER JOIN", "LEFT OUTER JOIN",
                                                        "RIGHT OUTER JOIN", "FULL OUTER JOIN"};
      int join = pick(4);
      from = std::string("T1 x ") + kJoins[static_cast<size_t>(join)] + " T2 y ON x.A = y.A";
      add_t1("x");
      add_t2("y");
      // Columns of a side that may come back NULL cannot be IN operands.
      if (join == 1) scope.keys = {"x.A"};
      if (join == 2) scope.keys = {"y.A"};
      if (join == 3) scope.keys.clear();
      break;
    }
    case 4:
      from = "T3 z LEFT OUTER JOIN T1 x ON z.E = x.A AND x.C > 2";
      add_t3("z");
      add_t1("x");
      scope.keys = {"z.E"};
      break;
    default:
      from = "(SELECT E, F FROM T3 WHERE F IS NOT NULL) z, T2 y";
      add_t3("z");
      add_t2("y");
      where = "z.E = y.A";
      break;
  }
  std::string condition = predicate(scope, 3, false);
  where = where.empty() ? condition : where + " AND " + condition;
  // A correlated scalar subquery as a result column now and then.
  if (!scope.keys.empty() && chance(20))
    select.push_back("(SELECT MAX(s.F) FROM T3 s WHERE s.E = " + column(scope.keys) + ")");
  std::string list;
  for (size_t i = 0; i < select.size(); ++i) list += (i ? ", " : "") + select[i];
  return "SELECT " + list + " FROM " + from + " WHERE " + where;
}
