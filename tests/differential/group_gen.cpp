// Statements of the grouping differential test. The generator keeps to what both dialects
// mean the same way: grouping by plain columns, select lists of grouping columns (now and then
// inside an expression) and set functions, HAVING over set functions and grouping columns,
// ORDER BY over result columns (UNION: by position only, as SQLite requires), UNION members of
// the same column types (integer with integer, text with text, double with double: mixed
// numeric kinds would print differently), set functions with DISTINCT over plain columns only
// (the engine's grammar), set functions in ORDER BY only by position or alias (the engine
// allows them nowhere but in the select list and HAVING), and data small enough that no integer
// SUM leaves 32 bits. UNION and UNION ALL mix freely in a chain, read from the left.
#include "tests/differential/group_gen.h"

#include <algorithm>
#include <array>

namespace {

const std::array<const char*, 8> kWords = {"apple",  "Apricot", "banana", "berry",
                                           "cherry", "abc",     "b_c",    "Zed"};
const std::array<const char*, 4> kPatterns = {"a%", "%rr%", "B%", "%e"};
const std::array<const char*, 6> kComparisons = {"=", "<>", "<", ">", "<=", ">="};
const std::array<const char*, 5> kFunctions = {"COUNT", "SUM", "AVG", "MIN", "MAX"};

}  // namespace

int GroupQueryGenerator::pick(int count) {
  return static_cast<int>(random_() % static_cast<uint32_t>(count));
}

bool GroupQueryGenerator::chance(int percent) {
  return pick(100) < percent;
}

const GroupQueryGenerator::Column& GroupQueryGenerator::column(const std::vector<Column>& columns) {
  return columns[static_cast<size_t>(pick(static_cast<int>(columns.size())))];
}

const GroupQueryGenerator::Column* GroupQueryGenerator::column_of_type(
    const std::vector<Column>& columns, char type) {
  std::vector<const Column*> matching;
  for (const Column& c : columns)
    if (c.type == type) matching.push_back(&c);
  if (matching.empty()) return nullptr;
  return matching[static_cast<size_t>(pick(static_cast<int>(matching.size())))];
}

GroupQueryGenerator::Source GroupQueryGenerator::source() {
  const std::vector<Column> t1 = {{"x.A", 'i'}, {"x.B", 't'}, {"x.C", 'd'}};
  const std::vector<Column> t2 = {{"y.A", 'i'}, {"y.D", 't'}};
  const std::vector<Column> t3 = {{"z.E", 'i'}, {"z.F", 'i'}};
  auto join = [](std::vector<Column> a, const std::vector<Column>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
  };
  switch (pick(7)) {
    case 0:
      return {"T1 x", "", t1};
    case 1:
      return {"T1 x, T2 y", "x.A = y.A", join(t1, t2)};
    case 2:  // the right side's columns come back NULL where no row matches
      return {"T1 x LEFT OUTER JOIN T2 y ON x.A = y.A", "", join(t1, t2)};
    case 3:
      return {"T3 z", "", t3};
    case 4:
      return {"T2 y", "", t2};
    case 5:
      return {"T1 x, T3 z", "x.A = z.E", join(t1, t3)};
    default:
      return {"(SELECT E, F FROM T3 WHERE F IS NOT NULL) z, T2 y", "z.E = y.A", join(t3, t2)};
  }
}

std::string GroupQueryGenerator::filter(const Source& source) {
  const Column& c = column(source.columns);
  std::string op = kComparisons[static_cast<size_t>(pick(6))];
  if (chance(15)) return c.name + (chance(50) ? " IS NULL" : " IS NOT NULL");
  switch (c.type) {
    case 'i':
      return c.name + " " + op + " " + std::to_string(pick(12));
    case 'd':
      return c.name + " " + op + " " + std::to_string(pick(40) / 4.0);
    default:
      if (chance(25)) return c.name + " LIKE '" + kPatterns[static_cast<size_t>(pick(4))] + "'";
      return c.name + " " + op + " '" + kWords[static_cast<size_t>(pick(8))] + "'";
  }
}

std::string GroupQueryGenerator::where_clause(const Source& source) {
  std::string condition;
  if (chance(55)) {
    condition = filter(source);
    if (chance(40))
      condition = "(" + condition + (chance(50) ? " AND " : " OR ") + filter(source) + ")";
  }
  if (source.join.empty()) return condition.empty() ? "" : " WHERE " + condition;
  return " WHERE " + source.join + (condition.empty() ? "" : " AND " + condition);
}

std::string GroupQueryGenerator::aggregate(const Source& source) {
  int function = pick(6);
  if (function == 5) return "COUNT(*)";
  std::string name = kFunctions[static_cast<size_t>(function)];
  bool numeric_only = name == "SUM" || name == "AVG";
  std::vector<Column> candidates;
  for (const Column& c : source.columns)
    if (!numeric_only || c.type != 't') candidates.push_back(c);
  const Column& operand = column(candidates);
  // The engine's grammar takes only a column reference after DISTINCT.
  if (chance(35)) return name + "(DISTINCT " + operand.name + ")";
  std::string argument = operand.name;
  if (numeric_only && operand.type == 'i' && chance(15))
    argument = operand.name + (chance(50) ? " * 2" : " + 1");
  return name + "(" + argument + ")";
}

std::string GroupQueryGenerator::having(const Source& source,
                                        const std::vector<std::string>& groups) {
  auto condition = [&]() -> std::string {
    std::string op = kComparisons[static_cast<size_t>(pick(6))];
    switch (pick(5)) {
      case 0:
        return "COUNT(*) " + op + " " + std::to_string(pick(4));
      case 1: {
        const Column* c = column_of_type(source.columns, 'i');
        std::string function = chance(50) ? "SUM" : "MAX";
        return function + "(" + c->name + ") " + op + " " + std::to_string(pick(20));
      }
      case 2: {
        const Column* c = column_of_type(source.columns, 'd');
        if (!c) c = column_of_type(source.columns, 'i');
        return "AVG(" + c->name + ") " + op + " " + std::to_string(pick(40) / 4.0);
      }
      case 3:
        return "COUNT(DISTINCT " + column(source.columns).name + ") " + op + " " +
               std::to_string(pick(3));
      default: {
        std::string group = groups[static_cast<size_t>(pick(static_cast<int>(groups.size())))];
        for (const Column& c : source.columns) {
          if (c.name != group) continue;
          if (c.type == 'i') return group + " " + op + " " + std::to_string(pick(12));
          if (c.type == 'd') return group + " " + op + " " + std::to_string(pick(40) / 4.0);
          return group + " " + op + " '" + kWords[static_cast<size_t>(pick(8))] + "'";
        }
        return "COUNT(*) > 0";
      }
    }
  };
  std::string text = condition();
  if (chance(35)) text = "(" + text + (chance(50) ? " AND " : " OR ") + condition() + ")";
  return " HAVING " + text;
}

std::string GroupQueryGenerator::order_by(const std::vector<Item>& items,
                                          const std::vector<bool>& key_part, bool* ordered) {
  std::vector<size_t> chosen(items.size());
  for (size_t i = 0; i < chosen.size(); ++i) chosen[i] = i;
  std::shuffle(chosen.begin(), chosen.end(), random_);
  if (!chance(55)) chosen.resize(static_cast<size_t>(1 + pick(static_cast<int>(chosen.size()))));
  std::string text;
  bool every_item = chosen.size() == items.size();
  bool has_key_part = false, every_key_part = true;
  for (size_t i = 0; i < items.size(); ++i) {
    bool in = std::find(chosen.begin(), chosen.end(), i) != chosen.end();
    if (key_part[i]) {
      has_key_part = true;
      every_key_part = every_key_part && in;
    }
  }
  for (size_t index : chosen) {
    const Item& item = items[index];
    text += text.empty() ? " ORDER BY " : ", ";
    text += !item.order.empty() && chance(50) ? item.order : std::to_string(index + 1);
    if (chance(40))
      text += " DESC";
    else if (chance(20))
      text += " ASC";
  }
  *ordered = every_item || (has_key_part && every_key_part);
  return text;
}

GroupQuery GroupQueryGenerator::grouped() {
  Source src = source();
  std::vector<std::string> groups;
  int group_count = 1 + (chance(40) ? 1 : 0);
  while (static_cast<int>(groups.size()) < group_count) {
    std::string name = column(src.columns).name;
    if (std::find(groups.begin(), groups.end(), name) == groups.end()) groups.push_back(name);
    if (src.columns.size() < 2) break;
  }
  std::vector<Item> items;
  std::vector<bool> key_part;
  bool every_group_selected = true;
  for (const std::string& group : groups) {
    if (!chance(85)) {
      every_group_selected = false;
      continue;
    }
    Item item{group, group};
    // An integer grouping column inside an expression (one value per group all the same).
    for (const Column& c : src.columns)
      if (c.name == group && c.type == 'i' && chance(15)) item = Item{group + " + 1", ""};
    size_t at = static_cast<size_t>(pick(static_cast<int>(items.size()) + 1));
    items.insert(items.begin() + static_cast<long>(at), item);
    key_part.insert(key_part.begin() + static_cast<long>(at), true);
  }
  for (int n = 1 + pick(3); n > 0; --n) {
    std::string function = aggregate(src);
    // Now and then inside an expression. ORDER BY names a set function by position or alias
    // only: the engine takes set functions in the select list and HAVING alone.
    if (function.rfind("COUNT", 0) == 0 && chance(15)) function += " * 2";
    Item item{function, ""};
    if (chance(30)) {
      std::string alias = "n" + std::to_string(++alias_counter_ % 7);
      bool taken = false;
      for (const Item& other : items) taken = taken || other.order == alias;
      if (!taken) item = Item{function + " AS " + alias, alias};
    }
    size_t at = static_cast<size_t>(pick(static_cast<int>(items.size()) + 1));
    items.insert(items.begin() + static_cast<long>(at), item);
    key_part.insert(key_part.begin() + static_cast<long>(at), false);
  }
  if (!every_group_selected) key_part.assign(key_part.size(), false);
  std::string sql = chance(10) ? "SELECT DISTINCT " : "SELECT ";
  for (size_t i = 0; i < items.size(); ++i) sql += (i ? ", " : "") + items[i].text;
  sql += " FROM " + src.from + where_clause(src) + " GROUP BY ";
  for (size_t i = 0; i < groups.size(); ++i) sql += (i ? ", " : "") + groups[i];
  if (chance(40)) sql += having(src, groups);
  bool ordered = false;
  if (chance(55)) sql += order_by(items, key_part, &ordered);
  return {sql, ordered, "group"};
}

GroupQuery GroupQueryGenerator::plain_aggregates() {
  Source src = source();
  std::string sql = "SELECT ";
  for (int n = 1 + pick(4), i = 0; i < n; ++i) sql += (i ? ", " : "") + aggregate(src);
  sql += " FROM " + src.from + where_clause(src);
  return {sql, true, "aggregate"};
}

GroupQuery GroupQueryGenerator::distinct_rows() {
  Source src = source();
  std::vector<Item> items;
  for (int n = 1 + pick(3); n > 0; --n) {
    const Column& c = column(src.columns);
    bool taken = false;
    for (const Item& item : items) taken = taken || item.text == c.name;
    if (!taken) items.push_back({c.name, c.name});
  }
  std::string sql = "SELECT DISTINCT ";
  for (size_t i = 0; i < items.size(); ++i) sql += (i ? ", " : "") + items[i].text;
  sql += " FROM " + src.from + where_clause(src);
  bool ordered = false;
  // Every row is distinct, so all result columns together are a key.
  if (chance(50)) sql += order_by(items, std::vector<bool>(items.size(), true), &ordered);
  return {sql, ordered, "distinct"};
}

GroupQuery GroupQueryGenerator::ordered_rows() {
  Source src = source();
  std::vector<Item> items;
  for (int n = 1 + pick(4); n > 0; --n) {
    const Column& c = column(src.columns);
    items.push_back({c.name, c.name});
  }
  std::string sql = "SELECT ";
  for (size_t i = 0; i < items.size(); ++i) sql += (i ? ", " : "") + items[i].text;
  sql += " FROM " + src.from + where_clause(src);
  bool ordered = false;
  std::string keys = order_by(items, std::vector<bool>(items.size(), false), &ordered);
  // Now and then a leading key that is not a result column, or an expression.
  if (chance(30)) {
    const Column& c = column(src.columns);
    std::string key = c.type == 't' || chance(50) ? c.name : c.name + " * 3 - 7";
    keys = " ORDER BY " + key + (chance(50) ? " DESC, " : ", ") + keys.substr(10);
  }
  return {sql + keys, ordered, "order"};
}

std::string GroupQueryGenerator::member_of_type(const std::vector<char>& types) {
  for (;;) {
    Source src = source();
    std::vector<std::string> chosen;
    for (char type : types) {
      const Column* c = column_of_type(src.columns, type);
      if (!c) break;
      chosen.push_back(c->name);
    }
    if (chosen.size() != types.size()) continue;
    // A grouped member: the leading columns grouped, an integer last column counted.
    if (types.size() >= 2 && types.back() == 'i' && chance(20)) {
      std::string group;
      for (size_t i = 0; i + 1 < chosen.size(); ++i) group += (i ? ", " : "") + chosen[i];
      return "SELECT " + group + ", COUNT(*) FROM " + src.from + where_clause(src) + " GROUP BY " +
             group;
    }
    std::string sql = chance(15) ? "SELECT DISTINCT " : "SELECT ";
    for (size_t i = 0; i < chosen.size(); ++i) sql += (i ? ", " : "") + chosen[i];
    return sql + " FROM " + src.from + where_clause(src);
  }
}

GroupQuery GroupQueryGenerator::union_chain() {
  static const std::array<char, 6> kTypes = {'i', 'i', 't', 't', 'i', 'd'};
  std::vector<char> types;
  for (int n = 1 + pick(3); n > 0; --n) types.push_back(kTypes[static_cast<size_t>(pick(6))]);
  std::string sql = member_of_type(types);
  for (int n = 1 + (chance(30) ? 1 : 0) + (chance(20) ? 1 : 0); n > 0; --n)
    sql += std::string(chance(50) ? " UNION ALL " : " UNION ") + member_of_type(types);
  bool ordered = false;
  if (chance(50)) {
    std::vector<Item> items(types.size(), Item{"", ""});
    sql += order_by(items, std::vector<bool>(types.size(), false), &ordered);
  }
  return {sql, ordered, "union"};
}

GroupQuery GroupQueryGenerator::next() {
  int shape = pick(20);
  if (shape < 8) return grouped();
  if (shape < 10) return plain_aggregates();
  if (shape < 13) return distinct_rows();
  if (shape < 15) return ordered_rows();
  return union_chain();
}
