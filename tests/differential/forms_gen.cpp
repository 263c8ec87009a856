// The common-forms statement generator (see forms_gen.h).
#include "tests/differential/forms_gen.h"

namespace {

// Repeats a word up to about `bytes` bytes: long text whose order is decided late.
std::string long_text(const std::string& word, int bytes) {
  std::string text;
  while (static_cast<int>(text.size()) < bytes) text += word;
  return text;
}

}  // namespace

TestTable generate_long_table(uint32_t seed, int rows) {
  std::mt19937 random(seed);
  auto pick = [&](int count) { return static_cast<int>(random() % static_cast<uint32_t>(count)); };
  static const char* const kWords[] = {"alpha ", "beta ", "Gamma ", "delta "};
  static const int kSizes[] = {10, 300, 301, 900};
  TestTable table;
  table.name = "TL";
  table.columns = {{"K", SQL_INTEGER, 10, 0, 0, SQL_NO_NULLS}, {"TXT", SQL_LONGVARCHAR, 65536}};
  for (int i = 0; i < rows; ++i) {
    TestCell text;
    if (pick(7) != 0) {
      text = long_text(kWords[pick(4)], kSizes[pick(4)]);
      if (pick(3) == 0) *text += std::to_string(pick(3));  // differs only at the end
    }
    table.rows.push_back({std::to_string(pick(6)), text});
  }
  return table;
}

std::string sqlite_long_script(const TestTable& table) {
  std::string script = "CREATE TABLE " + table.name + " (K INTEGER, TXT TEXT);\n";
  for (const auto& row : table.rows)
    script += "INSERT INTO " + table.name + " VALUES (" + *row[0] + ", " +
              (row[1] ? "'" + *row[1] + "'" : std::string("NULL")) + ");\n";
  return script;
}

int FormsQueryGenerator::pick(int count) {
  return static_cast<int>(random_() % static_cast<uint32_t>(count));
}

FormsQuery FormsQueryGenerator::next() {
  switch (pick(4)) {
    case 0:
      return limited();
    case 1:
      return values_join();
    case 2:
      return union_derived();
    default:
      return long_text();
  }
}

FormsQuery FormsQueryGenerator::limited() {
  static const char* const kSelections[] = {"A, B, C", "B, A", "C, A, B", "A"};
  std::string columns = kSelections[pick(4)];
  std::string where = pick(2) ? " WHERE A > " + std::to_string(pick(8)) : "";
  std::string base = "SELECT " + columns + " FROM T1" + where + " ORDER BY " + columns;
  if (pick(3) == 0) base += " DESC";
  int limit = pick(12), offset = pick(3) ? pick(20) : 0;
  FormsQuery query{"", "", true, "limit"};
  switch (pick(3)) {
    case 0:
      query.quill = base + " LIMIT " + std::to_string(limit) +
                    (offset ? " OFFSET " + std::to_string(offset) : "");
      break;
    case 1:
      query.quill = base + " OFFSET " + std::to_string(offset) + " ROWS FETCH " +
                    (pick(2) ? "FIRST " : "NEXT ") + std::to_string(limit) + " ROWS ONLY";
      break;
    default:  // OFFSET alone
      query.quill = base + " OFFSET " + std::to_string(offset) + " ROWS";
      query.sqlite = base + " LIMIT -1 OFFSET " + std::to_string(offset);
      return query;
  }
  query.sqlite = base + " LIMIT " + std::to_string(limit) + " OFFSET " + std::to_string(offset);
  return query;
}

FormsQuery FormsQueryGenerator::values_join() {
  static const char* const kWords[] = {"'ant'", "'bee'", "NULL", "'cat'"};
  int rows = 1 + pick(6);
  std::string values = "VALUES ";
  for (int r = 0; r < rows; ++r)
    values += std::string(r ? ", " : "") + "(" +
              (pick(6) ? std::to_string(pick(12)) : std::string("NULL")) + ", " + kWords[pick(4)] +
              ")";
  std::string quill_source = "(" + values + ") AS v(n, s)";
  std::string sqlite_source = "(SELECT column1 AS n, column2 AS s FROM (" + values + ")) AS v";
  FormsQuery query{"", "", false, "values"};
  switch (pick(3)) {
    case 0:
      query.quill = "SELECT v.n, v.s FROM " + quill_source;
      query.sqlite = "SELECT v.n, v.s FROM " + sqlite_source;
      break;
    case 1: {
      std::string tail = " ON T3.E = v.n WHERE T3.F IS NOT NULL";
      query.quill = "SELECT T3.E, T3.F, v.s FROM T3 JOIN " + quill_source + tail;
      query.sqlite = "SELECT T3.E, T3.F, v.s FROM T3 JOIN " + sqlite_source + tail;
      break;
    }
    default: {
      std::string tail = " ON v.n = T2.A GROUP BY v.n";
      query.quill = "SELECT v.n, COUNT(T2.D) FROM " + quill_source + " LEFT JOIN T2" + tail;
      query.sqlite = "SELECT v.n, COUNT(T2.D) FROM " + sqlite_source + " LEFT JOIN T2" + tail;
      break;
    }
  }
  return query;
}

FormsQuery FormsQueryGenerator::union_derived() {
  std::string left = "SELECT A AS x, B AS y FROM T1 WHERE A < " + std::to_string(pick(12));
  std::string right = "SELECT A, D FROM T2 WHERE A > " + std::to_string(pick(12));
  std::string derived = "(" + left + (pick(2) ? " UNION ALL " : " UNION ") + right + ") u";
  FormsQuery query{"", "", false, "union"};
  switch (pick(3)) {
    case 0:
      query.quill = "SELECT u.x, COUNT(*), MAX(u.y) FROM " + derived + " GROUP BY u.x";
      break;
    case 1:
      query.quill = "SELECT DISTINCT u.y FROM " + derived;
      break;
    default:
      query.quill = "SELECT u.x, u.y FROM " + derived + " ORDER BY u.x, u.y LIMIT " +
                    std::to_string(1 + pick(10));
      query.ordered = true;
      break;
  }
  query.sqlite = query.quill;
  return query;
}

FormsQuery FormsQueryGenerator::long_text() {
  FormsQuery query{"", "", false, "long"};
  switch (pick(5)) {
    case 0:
      query.quill = "SELECT TXT, COUNT(*), MIN(K) FROM TL GROUP BY TXT";
      break;
    case 1:
      query.quill = "SELECT DISTINCT TXT FROM TL WHERE K <> " + std::to_string(pick(6));
      break;
    case 2:
      query.quill =
          "SELECT K, TXT FROM TL ORDER BY TXT" + std::string(pick(2) ? " DESC" : "") + ", K";
      query.ordered = true;
      break;
    case 3:  // the LONG column only in WHERE and in an aggregate's argument
      query.quill = "SELECT K, COUNT(TXT) FROM TL WHERE TXT IS NOT NULL GROUP BY K";
      break;
    default:
      query.quill = "SELECT K, COUNT(DISTINCT TXT) FROM TL GROUP BY K";
      break;
  }
  query.sqlite = query.quill;
  return query;
}
