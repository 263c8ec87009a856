// Generated statements for the grouping differential test: GROUP BY with HAVING, set
// functions with and without DISTINCT, SELECT DISTINCT, ORDER BY by position, name, alias and
// expression (ASC/DESC), and UNION / UNION ALL chains, over the tables of query_gen.h. Each
// statement says whether its ORDER BY fixes the row order completely, so that the test can
// compare such results in order and all others as multisets.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

// One generated statement.
struct GroupQuery {
  std::string sql;       // the statement, in the subset both dialects read the same way
  bool ordered = false;  // the ORDER BY keys decide the order of all distinct result rows
  const char* shape;     // "group", "aggregate", "distinct", "order" or "union"
};

// Generates grouping, ordering and UNION statements from a fixed seed.
class GroupQueryGenerator {
 public:
  // A generator whose sequence is fixed by `seed`.
  explicit GroupQueryGenerator(uint32_t seed) : random_(seed) {}
  // The next statement.
  GroupQuery next();

 private:
  // A column in scope: qualified name and type ('i' integer, 'd' double, 't' text).
  struct Column {
    std::string name;  // qualified name ("x.A")
    char type;         // 'i', 'd' or 't'
  };
  // A FROM clause with its join condition and the columns it brings.
  struct Source {
    std::string from;             // the FROM clause text
    std::string join;             // join condition for the WHERE clause ("" when none)
    std::vector<Column> columns;  // columns in scope
  };
  // One select item with what ORDER BY can call it.
  struct Item {
    std::string text;   // the item as written (with " AS name" when aliased)
    std::string order;  // how ORDER BY may name it ("" : by position only)
  };

  // A random FROM clause (one table, an inner join, an outer join or a derived table).
  Source source();
  // " WHERE ..." with the source's join condition and maybe filters ("" when neither).
  std::string where_clause(const Source& source);
  // One comparison, LIKE or IS [NOT] NULL over a column of `source`.
  std::string filter(const Source& source);
  // One set function (COUNT(*), COUNT, SUM, AVG, MIN, MAX; DISTINCT over a column).
  std::string aggregate(const Source& source);
  // " HAVING ..." over set functions and the grouping columns `groups`.
  std::string having(const Source& source, const std::vector<std::string>& groups);
  // " ORDER BY ..." over `items`; *ordered tells whether the keys cover every item, or every
  // item marked in `key_part` (a key of the result) when at least one is marked.
  std::string order_by(const std::vector<Item>& items, const std::vector<bool>& key_part,
                       bool* ordered);
  // A GROUP BY statement, with HAVING and ORDER BY now and then.
  GroupQuery grouped();
  // Set functions without GROUP BY (one row).
  GroupQuery plain_aggregates();
  // SELECT DISTINCT, ORDER BY now and then.
  GroupQuery distinct_rows();
  // A plain SELECT with ORDER BY (keys may be expressions or columns not selected).
  GroupQuery ordered_rows();
  // Two or three members joined by UNION / UNION ALL, ORDER BY now and then.
  GroupQuery union_chain();
  // A UNION member whose result columns have the given types ('i', 'd', 't').
  std::string member_of_type(const std::vector<char>& types);
  // A random column of `columns`.
  const Column& column(const std::vector<Column>& columns);
  // A random column of `columns` of `type`, or null when there is none.
  const Column* column_of_type(const std::vector<Column>& columns, char type);
  // A number in [0, count).
  int pick(int count);
  // True with the given chance in percent.
  bool chance(int percent);

  std::mt19937 random_;    // the sequence
  int alias_counter_ = 0;  // numbers the select-list aliases n0..n6
};
