// Generated queries over a table whose integer column N is a required parameter (P(N, V, W):
// every scan must restrict N with =, IN or two bounds, one call per value as a node backend
// makes them), run against SQLite over the same rows: IN lists with repeats and misses, long
// ORs of `=`, ranges written with BETWEEN and with bound pairs, ORs of overlapping ranges
// (one branch each), values from IN and scalar subqueries, from joins, and from WHERE on the
// preserved side of an outer join.
#pragma once

#include <cstdint>
#include <random>
#include <string>

#include "tests/backend/test_backend.h"

// P(N required, V, W) with `rows` rows, N from 1 to `rows` / 2 (each twice, V and W differing);
// the generated queries read the test's other tables too (T1(A, B, C) of generate_tables).
TestTable generate_parameter_table(uint32_t seed, int rows);

// Generates queries over P that always supply N.
class ParamQueryGenerator {
 public:
  // A generator whose sequence is fixed by `seed`; N runs from 1 to `top`.
  ParamQueryGenerator(uint32_t seed, int top) : random_(seed), top_(top) {}
  // The next query; `shape` names its form ("list", "or", "range", "ranges", "subquery",
  // "join", "outer").
  std::string next(std::string* shape);

 private:
  std::string list(int count);
  std::string extra();
  int value();
  int pick(int count);

  std::mt19937 random_;
  int top_;
};
