// The two sides of a query differential test: the driver's engine over the in-memory test
// backend, and SQLite over the same rows. Each runs a statement and returns its rows as text
// ("v1|v2|...", NULL as "NULL", doubles in "%.6g"), or one entry "error ..." when it fails.
#pragma once

#include <string>
#include <vector>

#include "driver/dal/dal.h"
#include "support/connstr.h"
#include "support/diag.h"
#include "support/memory.h"
#include "tests/backend/test_backend.h"

struct sqlite3;

// Result rows of one statement, in the order they were returned.
using QueryRows = std::vector<std::string>;

// The engine over a test backend.
class QuillQuerySide {
 public:
  // Opens a data-access layer over `backend`; opened() tells whether it worked.
  explicit QuillQuerySide(TestBackend* backend);
  ~QuillQuerySide();
  QuillQuerySide(const QuillQuerySide&) = delete;
  QuillQuerySide& operator=(const QuillQuerySide&) = delete;

  // True once the data-access layer is open.
  bool opened() const { return opened_; }
  // The rows of `sql` in fetch order, or {"error STATE message"}.
  QueryRows run(const std::string& sql);

 private:
  MemPool* pool_ = nullptr;
  ErrorHeader* errors_ = nullptr;
  Dal* dal_ = nullptr;
  bool opened_ = false;
};

// SQLite in memory, loaded by a script.
class SqliteQuerySide {
 public:
  // Runs `script` (CREATE/INSERT) in a new in-memory database; loaded() tells whether it worked.
  explicit SqliteQuerySide(const std::string& script);
  ~SqliteQuerySide();
  SqliteQuerySide(const SqliteQuerySide&) = delete;
  SqliteQuerySide& operator=(const SqliteQuerySide&) = delete;

  // True once the script ran.
  bool loaded() const { return loaded_; }
  // The rows of `sql` in step order, or {"error sqlite message"}.
  QueryRows run(const std::string& sql);

 private:
  sqlite3* db_ = nullptr;
  bool loaded_ = false;
};

// A double as both sides print it ("%.6g").
std::string format_query_double(double number);
