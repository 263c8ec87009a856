// Generated tables and SELECT statements for the query differential test: the same rows are
// loaded into the in-memory test backend and into SQLite, and each generated query (joins,
// outer joins, subqueries, OR/AND/NOT mixtures, LIKE, IN, NULLs) must return the same
// multiset of rows from both. The generator keeps to constructs whose meaning the two
// languages share; see the comments in query_gen.cpp for what it avoids and why.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/backend/test_backend.h"

// The tables of the test: T1(A, B, C), T2(A, D), T3(E, F); A and E are never NULL.
std::vector<TestTable> generate_tables(uint32_t seed, int rows_per_table);
// SQL that creates and fills the same tables in SQLite.
std::string sqlite_script(const std::vector<TestTable>& tables);

// Generates SELECT statements from a fixed seed.
class QueryGenerator {
 public:
  // A generator whose sequence is fixed by `seed`.
  explicit QueryGenerator(uint32_t seed) : random_(seed) {}
  // The next query, written in the subset both dialects read the same way.
  std::string next();

 private:
  struct Scope {
    std::vector<std::string> integers;  // qualified integer columns in scope
    std::vector<std::string> keys;      // qualified never-NULL integer columns
    std::vector<std::string> texts;     // qualified text columns
    std::vector<std::string> reals;     // qualified double columns
  };
  std::string predicate(const Scope& scope, int depth, bool negated);
  std::string comparison(const Scope& scope);
  std::string subquery_predicate(const Scope& scope, bool negated);
  std::string column(const std::vector<std::string>& columns);
  int pick(int count);
  bool chance(int percent);

  std::mt19937 random_;
};
