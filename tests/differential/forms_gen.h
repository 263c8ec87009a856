// Generated statements for the common-forms differential test: LIMIT / OFFSET (and the
// OFFSET ... FETCH form), derived tables that are a VALUES list with named columns or a UNION,
// and GROUP BY / DISTINCT / ORDER BY over long text. Each statement comes in the driver's
// spelling and in SQLite's (which names VALUES columns column1, ... and has no FETCH).
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "tests/backend/test_backend.h"

// One generated statement in both spellings.
struct FormsQuery {
  std::string quill;     // the statement as the driver reads it
  std::string sqlite;    // the same statement for SQLite
  bool ordered = false;  // the ORDER BY keys fix the order of all result rows
  const char* shape;     // "limit", "values", "union", "long"
};

// The long-text table TL (K INTEGER, TXT LONGVARCHAR): values of 10 to 900 bytes, repeated
// and NULL now and then, so that groups form and sort fields must grow.
TestTable generate_long_table(uint32_t seed, int rows);
// SQLite's CREATE and INSERT statements for `table` (its LONG text as TEXT).
std::string sqlite_long_script(const TestTable& table);

// Generates common-forms statements over T1, T2, T3 (query_gen.h) and TL from a fixed seed.
class FormsQueryGenerator {
 public:
  // A generator whose sequence is fixed by `seed`.
  explicit FormsQueryGenerator(uint32_t seed) : random_(seed) {}
  // The next statement.
  FormsQuery next();

 private:
  // SELECT ... ORDER BY every selected column, with LIMIT / OFFSET in one of its spellings.
  FormsQuery limited();
  // A table joined to (VALUES ...) AS v(n, s), or the VALUES list alone.
  FormsQuery values_join();
  // GROUP BY or DISTINCT over a derived table that is a UNION [ALL] of two members.
  FormsQuery union_derived();
  // GROUP BY, DISTINCT or ORDER BY over the long text of TL.
  FormsQuery long_text();
  // A number in [0, count).
  int pick(int count);

  std::mt19937 random_;  // the sequence
};
