// Random scalar expressions written twice: once in the driver's SQL dialect and once in
// SQLite's, restricted to the constructs whose meaning the two languages share (integer and
// double arithmetic, comparison, three-valued logic, CASE, COALESCE, NULLIF, LIKE without
// escapes, and string functions with the same definition).
#pragma once

#include <cstdint>
#include <random>
#include <string>

// One generated expression.
struct ExprPair {
  std::string quill;   // the driver's dialect
  std::string sqlite;  // SQLite's
  bool predicate;      // a truth-valued expression (TRUE/FALSE/UNKNOWN vs 1/0/NULL)
};

// Generates expressions from a fixed seed, so a failure names a reproducible case.
class ExprGenerator {
 public:
  // A generator whose sequence is fixed by `seed`.
  explicit ExprGenerator(uint32_t seed) : random_(seed) {}
  // The next expression, nested at most `depth` levels.
  ExprPair next(int depth);

 private:
  enum class Type { Integer, Double, String, Date, Truth };
  ExprPair make(Type type, int depth);
  ExprPair integer(int depth);
  ExprPair integer_literal();
  ExprPair real(int depth);
  ExprPair text(int depth);
  ExprPair date();
  ExprPair truth(int depth);
  ExprPair comparison(int depth);
  int pick(int count);
  bool chance(int percent);

  std::mt19937 random_;
};
