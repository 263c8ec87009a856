// Every case file below tests/sql/cases, one test per file: the file's check runs its cases
// in order and each outcome is compared with the case's expectations. A new suite is a new
// file. QUILL_CASES_PRINT=1 prints each case with what it produced, in the file notation,
// for writing new cases.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/sql/case_file.h"

namespace {

// Prints a case and its outcome as a case file would state them.
void print_case(const SqlCase& c, const CaseOutcome& outcome) {
  std::printf("sql %s\n", c.input.c_str());
  for (const std::string& row : outcome.rows) std::printf("> %s\n", row.c_str());
  if (outcome.failed) std::printf("error %s\n", outcome.error.c_str());
}

class SqlCaseFiles : public ::testing::TestWithParam<std::string> {};

TEST_P(SqlCaseFiles, Run) {
  CaseFile file = read_case_file(GetParam());
  for (const std::string& problem : file.problems) ADD_FAILURE() << problem;
  std::unique_ptr<CaseCheck> check = make_case_check(file.check);
  ASSERT_NE(check, nullptr) << file.name << ": no check named '" << file.check << "'";
  bool print = std::getenv("QUILL_CASES_PRINT") != nullptr;
  int cases = 0;
  for (const auto& step : file.steps) {
    if (const auto* setting = std::get_if<CaseSetting>(&step)) {
      std::string error;
      EXPECT_TRUE(check->apply(*setting, &error))
          << file.name << ":" << setting->line << ": " << error;
      continue;
    }
    const SqlCase& c = std::get<SqlCase>(step);
    SCOPED_TRACE(c.where() + ": " + c.input);
    CaseOutcome outcome = check->run(c);
    if (print) print_case(c, outcome);
    expect_case_outcome(c, outcome);
    ++cases;
  }
  EXPECT_GT(cases, 0) << file.name << " has no cases";
  RecordProperty("cases", cases);
}

// "exec/scan.txt" becomes "exec_scan".
std::string test_name(const ::testing::TestParamInfo<std::string>& info) {
  std::string name = info.param.substr(0, info.param.rfind('.'));
  for (char& ch : name)
    if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
  return name;
}

INSTANTIATE_TEST_SUITE_P(Sql, SqlCaseFiles, ::testing::ValuesIn(case_file_names()), test_name);

}  // namespace
