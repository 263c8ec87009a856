// Character scalar functions: the "string_function" check of the case files
// (tests/sql/cases/functions/strings.txt), each case calling one function by name on literal
// arguments and stating the result, NULL, or the error raised.
//
// Case forms:   NAME(arg, ...) => 'text' VARCHAR | 42 INTEGER | 1.5 DOUBLE | NULL KIND
//                                => length N VARCHAR | error SQLSTATE message text
// A leading "syntax " calls the SQL-syntax form of the name. Arguments: 'text' ('' is a
// quote, \xHH a byte, \\ a backslash), X'hex' binary, integers (beyond 32 bits: BIGINT),
// decimals with '.' or 'e' (DOUBLE), NULL, and LONG 'text' / LONG NULL long character data.
#include "driver/sql/fn_string.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "driver/sql/eval_context.h"
#include "driver/sql/functions.h"
#include "support/diag.h"
#include "support/list.h"
#include "support/longbuf.h"
#include "support/memory.h"
#include "support/value.h"
#include "tests/sql/case_file.h"

namespace {

bool read_long_whole(EvalContext*, const QuillValue* value, std::string* out) {
  int64_t length = long_buffer_length(value->long_buffer);
  if (length < 0) return false;
  out->resize(static_cast<size_t>(length));
  return read_long_buffer_at(value->long_buffer, 0, out->data(), out->size()) == length;
}

bool read_long_fails(EvalContext*, const QuillValue*, std::string*) {
  return false;
}

// A pool, a diagnostics header and an evaluation context over them; argument values made
// here are released with the fixture.
class Evaluation {
 public:
  Evaluation() {
    pool_ = quill_mem_alloc_handle(nullptr);
    errors_ = CreateErrorHeader(pool_, nullptr);
    context_.pool = pool_;
    context_.errors = errors_;
    context_.read_long = read_long_whole;
  }
  ~Evaluation() {
    for (QuillValue* value : made_) release_value(pool_, value);
    FreeErrorHeader(errors_);
    quill_mem_release_handle(pool_);
  }
  EvalContext* context() { return &context_; }
  MemPool* pool() { return pool_; }
  QuillValue* keep(QuillValue* value) {
    made_.push_back(value);
    return value;
  }
  // SQLSTATE and text of the first diagnostic posted ("" when none).
  std::string first_error() const {
    if (errors_->records == nullptr) return "";
    const auto* record = static_cast<const DiagRecord*>(errors_->records->data);
    return std::string(record->sqlstate) + " " + record->message;
  }

 private:
  MemPool* pool_;
  ErrorHeader* errors_;
  EvalContext context_{};
  std::vector<QuillValue*> made_;
};

// Text of a quoted literal starting at `at` (on the opening quote); `at` ends past it.
std::string quoted(const std::string& line, size_t* at) {
  std::string text;
  size_t i = *at + 1;
  while (i < line.size()) {
    char c = line[i];
    if (c == '\'') {
      if (i + 1 < line.size() && line[i + 1] == '\'') {
        text.push_back('\'');
        i += 2;
        continue;
      }
      ++i;
      break;
    }
    if (c == '\\' && i + 1 < line.size() && line[i + 1] == 'x' && i + 3 < line.size()) {
      text.push_back(static_cast<char>(std::strtol(line.substr(i + 2, 2).c_str(), nullptr, 16)));
      i += 4;
      continue;
    }
    if (c == '\\' && i + 1 < line.size() && line[i + 1] == '\\') ++i;
    text.push_back(line[i++]);
  }
  *at = i;
  return text;
}

// Shows a character result the way the data file writes it.
std::string shown(const char* data, size_t size) {
  std::string text = "'";
  for (size_t i = 0; i < size; ++i) {
    unsigned char c = static_cast<unsigned char>(data[i]);
    if (c == '\'') {
      text += "''";
    } else if (c == '\\') {
      text += "\\\\";
    } else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      text += hex;
    } else {
      text.push_back(static_cast<char>(c));
    }
  }
  return text + "'";
}

void skip_blanks(const std::string& line, size_t* at) {
  while (*at < line.size() && line[*at] == ' ') ++*at;
}

// Parses one argument at `at` into a new value; null (with a test failure) on bad syntax.
QuillValue* argument(Evaluation& evaluation, const std::string& line, size_t* at) {
  skip_blanks(line, at);
  QuillValue* value = evaluation.keep(NewValue(evaluation.pool(), 0));
  if (line.compare(*at, 5, "LONG ") == 0) {
    *at += 5;
    skip_blanks(line, at);
    LongBuffer* buffer = allocate_long_buffer(evaluation.pool(), 0, 0, nullptr, SQL_LONGVARCHAR);
    if (line.compare(*at, 4, "NULL") == 0) {
      *at += 4;
      set_long_buffer_null(buffer);
    } else {
      std::string text = quoted(line, at);
      append_to_long_buffer(buffer, text.data(), text.size());
    }
    set_value_to_long(value, VALUE_LONG_CHARACTER, buffer);
    return value;
  }
  if (line.compare(*at, 4, "NULL") == 0) {
    *at += 4;
    set_value_null(value, VALUE_CHARACTER);
  } else if (line[*at] == '\'') {
    std::string text = quoted(line, at);
    set_value_to_text(value, text.data(), text.size());
  } else if (line.compare(*at, 2, "X'") == 0) {
    ++*at;
    std::string hex = quoted(line, at), bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
      bytes.push_back(static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16)));
    set_value_to_binary(value, bytes.data(), bytes.size());
  } else {
    size_t end = line.find_first_of(",)", *at);
    std::string number = line.substr(*at, end - *at);
    while (!number.empty() && number.back() == ' ') number.pop_back();
    *at = end;
    if (number.find_first_of(".eE") != std::string::npos) {
      set_value_to_double(value, std::strtod(number.c_str(), nullptr));
    } else {
      long long whole = std::strtoll(number.c_str(), nullptr, 10);
      if (whole >= INT32_MIN && whole <= INT32_MAX)
        set_value_to_int(value, static_cast<int32_t>(whole));
      else
        set_value_to_bigint(value, whole);
    }
  }
  return value;
}

const char* kind_name(int32_t kind) {
  switch (kind) {
    case VALUE_CHARACTER:
      return "VARCHAR";
    case VALUE_INTEGER:
      return "INTEGER";
    case VALUE_DOUBLE:
      return "DOUBLE";
    default:
      return "?";
  }
}

// The outcome of a call in the data file's notation.
std::string outcome(Evaluation& evaluation, const QuillValue* result, const std::string& expected) {
  if (result == nullptr) {
    if (evaluation.context()->error != -1) return "null result without an error";
    return "error " + evaluation.first_error();
  }
  if (is_value_null(result)) return std::string("NULL ") + kind_name(result->kind);
  switch (result->kind) {
    case VALUE_CHARACTER:
      if (expected.compare(0, 7, "length ") == 0)
        return "length " + std::to_string(result->bytes.length) + " VARCHAR";
      return shown(result->bytes.data, static_cast<size_t>(result->bytes.length)) + " VARCHAR";
    case VALUE_INTEGER:
      return std::to_string(result->payload.integer) + " INTEGER";
    case VALUE_DOUBLE: {
      // Written as the expectation's number when it reads back to the same double.
      double wanted = std::strtod(expected.c_str(), nullptr);
      if (wanted == result->payload.real) return expected;
      char text[64];
      std::snprintf(text, sizeof text, "%.17g DOUBLE", result->payload.real);
      return text;
    }
    default:
      return "kind " + std::to_string(result->kind);
  }
}

// One call of the case files.
struct Call {
  std::string line;      // the call as written, "[syntax ]NAME(arg, ...)"
  std::string name;      // the function name
  bool syntax_form;      // the SQL-syntax form of the name
  std::string expected;  // the expected outcome in the one-line notation
};

Call call_of(const SqlCase& c) {
  Call call{c.input, "", c.input.compare(0, 7, "syntax ") == 0, c.expected_line()};
  size_t name_start = call.syntax_form ? 7 : 0;
  call.name = c.input.substr(name_start, c.input.find('(') - name_start);
  return call;
}

// Every call of the "string_function" case files.
std::vector<Call> read_calls() {
  std::vector<Call> calls;
  for (const CaseFile& file : read_case_files_of("string_function"))
    for (const SqlCase* c : file.cases()) calls.push_back(call_of(*c));
  return calls;
}

QuillValue* run(Evaluation& evaluation, const Call& call) {
  const ScalarFunction* entry = call.syntax_form ? find_syntax_function(call.name.c_str())
                                                 : find_scalar_function(call.name.c_str());
  if (entry == nullptr) {
    ADD_FAILURE() << "unknown function " << call.name;
    return nullptr;
  }
  ScalarEvaluator evaluate = scalar_function_evaluator(entry);
  if (evaluate == nullptr) {
    ADD_FAILURE() << "no evaluator for " << call.name;
    return nullptr;
  }
  std::vector<void*> arguments;
  size_t at = call.line.find('(') + 1;
  skip_blanks(call.line, &at);
  while (at < call.line.size() && call.line[at] != ')') {
    arguments.push_back(argument(evaluation, call.line, &at));
    skip_blanks(call.line, &at);
    if (at < call.line.size() && call.line[at] == ',') ++at;
  }
  return evaluate(evaluation.context(), static_cast<int>(arguments.size()), arguments.data(),
                  entry);
}

// One case of the "string_function" check, in a fresh evaluation context.
CaseOutcome run_string_case(const SqlCase& c) {
  Evaluation evaluation;
  Call call = call_of(c);
  QuillValue* result = run(evaluation, call);
  return case_outcome_from_line(outcome(evaluation, result, call.expected));
}

[[maybe_unused]] const bool kStringCasesRegistered =
    register_case_function("string_function", run_string_case);

// Every name the character group serves appears in the case files, in both tables.
TEST(StringFunctions, CaseFilesCoverEveryFunction) {
  std::vector<Call> calls = read_calls();
  ASSERT_GT(calls.size(), 100u);
  std::set<std::string> tested, syntax_tested;
  for (const Call& call : calls) (call.syntax_form ? syntax_tested : tested).insert(call.name);
  int count = 0;
  const ScalarFunction* table = scalar_function_table(&count);
  for (int i = 0; i < count; ++i) {
    if (string_function_evaluator(table[i].number) != nullptr) {
      EXPECT_TRUE(tested.count(table[i].name)) << table[i].name;
    }
  }
  table = syntax_function_table(&count);
  for (int i = 0; i < count; ++i) {
    EXPECT_NE(string_function_evaluator(table[i].number), nullptr) << table[i].name;
    EXPECT_TRUE(syntax_tested.count(table[i].name)) << table[i].name;
  }
  EXPECT_EQ(string_function_evaluator(0), nullptr);  // ABS is not a character function
}

TEST(StringFunctions, LongValuesNeedAWorkingReader) {
  for (ReadLongCallback reader : {static_cast<ReadLongCallback>(nullptr), read_long_fails}) {
    Evaluation evaluation;
    evaluation.context()->read_long = reader;
    size_t at = 0;
    void* arguments[] = {argument(evaluation, "LONG 'abc'", &at)};
    const ScalarFunction* entry = find_scalar_function("UCASE");
    EXPECT_EQ(scalar_function_evaluator(entry)(evaluation.context(), 1, arguments, entry), nullptr);
    EXPECT_EQ(evaluation.first_error(), "HY000 Extract from LONG VARCHAR error");
  }
}

TEST(StringFunctions, MalformedCallsAreRefused) {
  Evaluation evaluation;
  size_t at = 0;
  void* arguments[] = {argument(evaluation, "'abc'", &at), nullptr};
  struct Case {
    const char* name;
    int count;
  } cases[] = {{"UCASE", 0}, {"UCASE", 2}, {"LOCATE", 1}, {"LOCATE", 4}, {"CONCAT", 2}};
  for (const Case& c : cases) {
    const ScalarFunction* entry = find_scalar_function(c.name);
    EXPECT_EQ(scalar_function_evaluator(entry)(evaluation.context(), c.count, arguments, entry),
              nullptr)
        << c.name << " " << c.count;
  }
  EXPECT_EQ(evaluation.first_error().substr(0, 5), "07001");
  const ScalarFunction* entry = find_scalar_function("LEN");
  EXPECT_EQ(scalar_function_evaluator(entry)(nullptr, 1, arguments, entry), nullptr);
}

}  // namespace
