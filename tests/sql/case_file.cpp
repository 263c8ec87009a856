// Reads the SQL tests' case files (format in case_file.h), keeps the registry of checks that
// run them, and compares what a case produced with what it expects.
#include "tests/sql/case_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>

namespace {

std::string trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

std::string trim_end(const std::string& text) {
  size_t end = text.find_last_not_of(" \t\r");
  return end == std::string::npos ? "" : text.substr(0, end + 1);
}

// Today's date as "{today}" in an expectation stands for it.
std::string today() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

std::string expand_today(std::string text) {
  for (size_t at = text.find("{today}"); at != std::string::npos; at = text.find("{today}", at))
    text.replace(at, 7, today());
  return text;
}

// Records "=> OUTCOME" on a case.
void add_outcome_line(SqlCase* c, const std::string& outcome) {
  CaseOutcome expected = case_outcome_from_line(expand_today(trim_end(outcome)));
  if (expected.failed) {
    c->expects_error = true;
    c->error = expected.error;
  } else {
    c->rows.push_back(expected.rows.front());
  }
}

std::map<std::string, CaseCheckFactory>& registry() {
  static std::map<std::string, CaseCheckFactory> checks;
  return checks;
}

// A check that runs every case through one function.
class FunctionCheck : public CaseCheck {
 public:
  explicit FunctionCheck(CaseFunction run) : run_(std::move(run)) {}
  CaseOutcome run(const SqlCase& c) override {
    for (const CaseLine& line : c.extras) fail_unknown_case_line(c, line);
    return run_(c);
  }

 private:
  CaseFunction run_;
};

bool matches_error(const std::string& expected, const std::string& actual) {
  const std::string ellipsis = "...";
  if (expected.size() >= ellipsis.size() &&
      expected.compare(expected.size() - ellipsis.size(), ellipsis.size(), ellipsis) == 0)
    return actual.compare(0, expected.size() - ellipsis.size(), expected, 0,
                          expected.size() - ellipsis.size()) == 0;
  return actual == expected;
}

}  // namespace

std::string SqlCase::expected_line() const {
  if (expects_error) return "error " + error;
  return rows.size() == 1 ? rows.front() : "";
}

std::vector<const SqlCase*> CaseFile::cases() const {
  std::vector<const SqlCase*> out;
  for (const auto& step : steps)
    if (const SqlCase* c = std::get_if<SqlCase>(&step)) out.push_back(c);
  return out;
}

bool CaseCheck::apply(const CaseSetting& setting, std::string* error) {
  *error = "this check has no setting '" + setting.word + " " + setting.text + "'";
  return false;
}

bool register_case_check(const std::string& name, CaseCheckFactory factory) {
  registry()[name] = std::move(factory);
  return true;
}

bool register_case_function(const std::string& name, CaseFunction run) {
  return register_case_check(name, [run] { return std::make_unique<FunctionCheck>(run); });
}

std::unique_ptr<CaseCheck> make_case_check(const std::string& name) {
  auto found = registry().find(name);
  return found == registry().end() ? nullptr : found->second();
}

std::string case_directory() {
  return std::string(QUILL_SQL_TEST_DIR) + "/cases";
}

std::vector<std::string> case_file_names() {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::error_code error;
  fs::path root = case_directory();
  for (fs::recursive_directory_iterator it(root, error), end; !error && it != end;
       it.increment(error))
    if (it->is_regular_file() && it->path().extension() == ".txt")
      names.push_back(it->path().lexically_relative(root).generic_string());
  std::sort(names.begin(), names.end());
  return names;
}

CaseFile read_case_file(const std::string& name) {
  CaseFile file;
  file.name = name;
  std::ifstream in(case_directory() + "/" + name);
  if (!in) {
    file.problems.push_back(name + ": cannot open");
    return file;
  }
  SqlCase* current = nullptr;
  auto problem = [&](int number, const std::string& what) {
    file.problems.push_back(name + ":" + std::to_string(number) + ": " + what);
  };
  auto start_case = [&](int number, const std::string& input) {
    if (file.check.empty()) problem(number, "a case before the \"check\" line");
    SqlCase c;
    c.file = name;
    c.line = number;
    c.input = input;
    file.steps.emplace_back(std::move(c));
    current = &std::get<SqlCase>(file.steps.back());
  };
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    std::string text = trim(line);
    if (text.empty() || text[0] == '#') continue;
    std::string left = line.substr(line.find_first_not_of(" \t"));
    size_t arrow = left.find(" => ");
    std::string word = text.substr(0, text.find(' '));
    std::string rest = trim(text.substr(word.size()));
    if (word == "sql") {
      start_case(number, trim_end(left.size() > 4 ? left.substr(4) : ""));
    } else if (word == ">" || word == "=>") {
      if (!current) {
        problem(number, "an expectation outside a case");
      } else if (word == ">") {
        current->rows.push_back(expand_today(trim_end(left.size() > 2 ? left.substr(2) : "")));
      } else {
        add_outcome_line(current, left.size() > 3 ? left.substr(3) : "");
      }
    } else if (arrow != std::string::npos) {
      start_case(number, left.substr(0, arrow));
      add_outcome_line(current, left.substr(arrow + 4));
    } else if (word == "check") {
      if (!file.check.empty() || !file.steps.empty())
        problem(number, "\"check\" comes once, before the first case or setting");
      file.check = rest;
    } else if (word == "set" || word == "table") {
      if (file.check.empty()) problem(number, "a setting before the \"check\" line");
      CaseSetting setting{number, word, rest, {}};
      bool ended = word != "table";
      while (!ended && std::getline(in, line)) {
        ++number;
        std::string row = trim(line);
        ended = row == "end";
        if (!ended && !row.empty() && row[0] != '#') setting.rows.push_back(row);
      }
      if (!ended) problem(setting.line, "table without \"end\"");
      file.steps.emplace_back(std::move(setting));
      current = nullptr;
    } else if (!current) {
      problem(number, "line outside a case: " + text);
    } else if (word == "error") {
      current->expects_error = true;
      current->error = expand_today(rest);
    } else if (word == "unordered" && rest.empty()) {
      current->unordered = true;
    } else {
      current->extras.push_back({number, word, rest});
    }
  }
  if (file.check.empty()) file.problems.push_back(name + ": no \"check\" line");
  return file;
}

std::vector<CaseFile> read_case_files_of(const std::string& check) {
  std::vector<CaseFile> files;
  for (const std::string& name : case_file_names()) {
    CaseFile file = read_case_file(name);
    if (file.check == check) files.push_back(std::move(file));
  }
  return files;
}

CaseOutcome case_outcome_from_line(const std::string& line) {
  CaseOutcome outcome;
  if (line == "error" || line.compare(0, 6, "error ") == 0) {
    outcome.failed = true;
    outcome.error = line.size() > 6 ? line.substr(6) : "";
  } else {
    outcome.rows.push_back(line);
  }
  return outcome;
}

void expect_case_outcome(const SqlCase& c, const CaseOutcome& outcome) {
  if (c.expects_error) {
    EXPECT_TRUE(outcome.failed) << "expected error " << c.error;
    if (outcome.failed) {
      EXPECT_TRUE(matches_error(c.error, outcome.error))
          << "expected error: " << c.error << "\n  actual error: " << outcome.error;
    }
    // Rows before an error are compared only when the case lists them.
    if (c.rows.empty()) return;
  } else {
    EXPECT_FALSE(outcome.failed) << "unexpected error " << outcome.error;
  }
  std::vector<std::string> expected = c.rows, actual = outcome.rows;
  if (c.unordered) {
    std::sort(expected.begin(), expected.end());
    std::sort(actual.begin(), actual.end());
  }
  EXPECT_EQ(expected, actual);
}

void fail_unknown_case_line(const SqlCase& c, const CaseLine& line) {
  ADD_FAILURE() << c.file << ":" << line.line << ": unknown case line '" << line.word << "'";
}
