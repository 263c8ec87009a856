// The outcome of evaluating one expression, in a form both evaluators can be reduced to:
// NULL, an integer, a double, a text, or an error with its SQLSTATE and message.
#pragma once

#include <cstdint>
#include <string>

struct Outcome {
  enum class Kind { Null, Integer, Double, Text, Error } kind = Kind::Null;
  int64_t integer = 0;        // Kind::Integer (truth values: 1 TRUE, 0 FALSE)
  double real = 0;            // Kind::Double (also NUMERIC results)
  std::string text;           // Kind::Text; Kind::Error: the message
  std::string sqlstate;       // Kind::Error
  bool from_numeric = false;  // the driver produced an exact NUMERIC value

  // Readable form for failure messages.
  std::string describe() const;
};

// The outcome of a SQLite evaluation of `SELECT <expression>`.
Outcome evaluate_with_sqlite(const std::string& expression);
// The outcome of the driver's evaluation of a stand-alone expression (predicates give
// 1, 0 or NULL for TRUE, FALSE and UNKNOWN).
Outcome evaluate_with_quill(const std::string& expression, bool predicate);
