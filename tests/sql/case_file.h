// The one data-file format of the SQL tests: reading a case file (tests/sql/cases/**/*.txt)
// into its settings and cases, the registry of the checks that run them, and the comparison
// of what a case produced with what it expects.
//
// A file is read line by line; blank lines and lines whose first non-blank character is '#'
// are comments.
//   check NAME          which check runs the file's cases (query, validate, expression, cast,
//                       function, string_function, parse, print); before the first case
//   set WHAT ARGS       a setting of the check for the rest of the file
//   table DECLARATION   a table of the in-memory backend, its rows on the following lines
//   ROW ...             ("1|abc|NULL"), up to a line "end"
//   sql TEXT            starts a case; TEXT is the rest of the line as written
//   > LINE              an expected result line (row, tree, value), in order
//   unordered           the case's result lines are compared as a multiset
//   error TEXT          the case fails with this first diagnostic ("STATE message"); a TEXT
//                       ending in "..." only has to begin the diagnostic
//   => OUTCOME          "error TEXT", or the case's only result line
//   INPUT => OUTCOME    a whole case on one line: "sql INPUT" and "=> OUTCOME"
//   WORD ARGS           a line of the case that its check reads (scan, maxrows, params, ...)
// A case without "> " lines and without "error" expects no result lines and no error.
// "{today}" in an expectation stands for the current date (YYYY-MM-DD).
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

// A line of a case that its check reads itself.
struct CaseLine {
  int line = 0;      // line number in the file
  std::string word;  // first word ("scan", "maxrows", ...)
  std::string text;  // the rest of the line, trimmed
};

// A setting for the rest of the file: "set WHAT ARGS", or a table with its rows.
struct CaseSetting {
  int line = 0;                   // line number of "set" or "table"
  std::string word;               // "set" or "table"
  std::string text;               // the rest of that line, trimmed
  std::vector<std::string> rows;  // a table's row lines, trimmed
};

// One case: its input and what it expects.
struct SqlCase {
  std::string file;               // file name relative to the cases directory
  int line = 0;                   // line number of the input
  std::string input;              // statement, expression or call, as written
  std::vector<std::string> rows;  // expected result lines
  bool unordered = false;         // rows compared as a multiset
  bool expects_error = false;     // the case must fail
  std::string error;              // the expected first diagnostic (or its beginning, "...")
  std::vector<CaseLine> extras;   // further lines for the check (scan, maxrows, ...)

  // The expectation in the one-line notation: "error TEXT", the only row, or "".
  std::string expected_line() const;
  // "file:line" for failure messages.
  std::string where() const { return file + ":" + std::to_string(line); }
};

// A case file as read: its check, then settings and cases in file order.
struct CaseFile {
  std::string name;                                       // path relative to the cases directory
  std::string check;                                      // the check named by "check"
  std::vector<std::variant<CaseSetting, SqlCase>> steps;  // settings and cases in order
  std::vector<std::string> problems;                      // "file:line: what" for bad lines

  // The cases alone, in order.
  std::vector<const SqlCase*> cases() const;
};

// What running one case produced.
struct CaseOutcome {
  bool failed = false;            // the case ended in an error
  std::string error;              // its first diagnostic ("STATE message")
  std::vector<std::string> rows;  // result lines produced (before an error, if any)
};

// Runs the cases of one file; made afresh for each file, so settings last to its end.
class CaseCheck {
 public:
  virtual ~CaseCheck() = default;
  // Applies a setting; false with *error set when the check has no such setting.
  virtual bool apply(const CaseSetting& setting, std::string* error);
  // Runs one case. Lines in c.extras the check does not read must fail the test.
  virtual CaseOutcome run(const SqlCase& c) = 0;
};

// Makes the check object for one file.
using CaseCheckFactory = std::function<std::unique_ptr<CaseCheck>()>;
// Runs one case of a check that has no settings and reads no extra lines.
using CaseFunction = std::function<CaseOutcome(const SqlCase&)>;

// Registers a check under `name` (at static initialisation); returns true.
bool register_case_check(const std::string& name, CaseCheckFactory factory);
// Registers a check without settings that runs every case through `run`; returns true.
bool register_case_function(const std::string& name, CaseFunction run);
// The check registered under `name`, or null.
std::unique_ptr<CaseCheck> make_case_check(const std::string& name);

// The directory of the case files.
std::string case_directory();
// Paths of every case file below case_directory(), relative to it, sorted.
std::vector<std::string> case_file_names();
// Reads one case file (`name` relative to case_directory()).
CaseFile read_case_file(const std::string& name);
// Every case file whose check is `check`, read.
std::vector<CaseFile> read_case_files_of(const std::string& check);

// An outcome from the one-line notation: "error TEXT" fails with TEXT, anything else is
// the only row.
CaseOutcome case_outcome_from_line(const std::string& line);
// Compares an outcome with the case's expectations, failing the current test on a mismatch.
void expect_case_outcome(const SqlCase& c, const CaseOutcome& outcome);
// Fails the current test for a case line its check does not read.
void fail_unknown_case_line(const SqlCase& c, const CaseLine& line);
