// Numeric, date/time and system scalar function evaluators, driven by the case files in
// functions/: each line is `CALL => expected`, where CALL names a function and writes its
// arguments as literal texts and expected is `NULL`, `<text form> <KIND>` or
// `error <SQLSTATE> <message>`.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "driver/sql/eval_context.h"
#include "driver/sql/functions.h"
#include "driver/sql/literals.h"
#include "support/diag.h"
#include "support/memory.h"
#include "support/value.h"

namespace {

// An argument expression as the case files write it; evaluated by literal_value.
struct TestLiteral {
  std::string text;
};

// Builds a value from a literal text: NULL, 'text', {d '...'} escapes, numbers (with a point
// or exponent: double; beyond 32 bits: BIGINT) and bare names (a character value).
QuillValue* literal_value(MemPool* pool, const std::string& text) {
  QuillValue* value = NewValue(pool, 0);
  if (value == nullptr) return nullptr;
  if (text == "NULL") {
    set_value_null(value, VALUE_CHARACTER);
  } else if (text[0] == '{') {
    EXPECT_EQ(parse_escape_literal(text.c_str(), value, nullptr, 0), ESCAPE_LITERAL_OK) << text;
  } else if (text[0] == '\'') {
    std::string body = text.substr(1, text.size() - 2);
    set_value_to_text(value, body.data(), body.size());
  } else if (text[0] == '-' || text[0] == '.' || (text[0] >= '0' && text[0] <= '9')) {
    if (text.find_first_of(".eE") != std::string::npos) {
      set_value_to_double(value, std::strtod(text.c_str(), nullptr));
    } else {
      long long number = std::strtoll(text.c_str(), nullptr, 10);
      if (number >= INT32_MIN && number <= INT32_MAX)
        set_value_to_int(value, static_cast<int32_t>(number));
      else
        set_value_to_bigint(value, number);
    }
  } else {
    set_value_to_text(value, text.data(), text.size());
  }
  return value;
}

QuillValue* evaluate_literal(EvalContext* context, const void* expression) {
  return literal_value(context->pool, static_cast<const TestLiteral*>(expression)->text);
}

// Splits an argument list at the commas outside quotes and braces.
std::vector<std::string> split_arguments(const std::string& list) {
  std::vector<std::string> parts;
  std::string current;
  bool quoted = false;
  int depth = 0;
  for (char c : list) {
    if (c == '\'') quoted = !quoted;
    if (!quoted && c == '{') ++depth;
    if (!quoted && c == '}') --depth;
    if (c == ',' && !quoted && depth == 0) {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  parts.push_back(current);
  for (std::string& part : parts) {
    part.erase(0, part.find_first_not_of(' '));
    part.erase(part.find_last_not_of(' ') + 1);
  }
  if (parts.size() == 1 && parts[0].empty()) parts.clear();
  return parts;
}

const char* kind_name(int kind) {
  switch (kind) {
    case VALUE_INTEGER:
      return "INTEGER";
    case VALUE_DOUBLE:
      return "DOUBLE";
    case VALUE_CHARACTER:
      return "VARCHAR";
    case VALUE_DATE:
      return "DATE";
    case VALUE_TIME:
      return "TIME";
    case VALUE_TIMESTAMP:
      return "TIMESTAMP";
    case VALUE_BIGINT:
      return "BIGINT";
    default:
      return "OTHER";
  }
}

class ScalarFunctionCases : public ::testing::Test {
 protected:
  void SetUp() override {
    pool_ = quill_mem_alloc_handle(nullptr);
    errors_ = CreateErrorHeader(pool_, nullptr);
    context_.pool = pool_;
    context_.errors = errors_;
    context_.start_time = SQL_TIMESTAMP_STRUCT{2024, 2, 29, 10, 20, 30, 0};
    context_.user = "alice";
    context_.database = "chain";
    context_.odbc_version = 3;
    context_.evaluate = evaluate_literal;
  }
  void TearDown() override {
    FreeErrorHeader(errors_);
    quill_mem_release_handle(pool_);
  }

  // Calls `call` ("NAME(arg, ...)") and describes the outcome as the case files do.
  std::string run(const std::string& call) {
    SetupErrorHeader(errors_, 0);
    context_.error = 0;
    size_t open = call.find('(');
    const ScalarFunction* entry = find_scalar_function(call.substr(0, open).c_str());
    if (entry == nullptr) return "unknown function";
    ScalarEvaluator evaluator = scalar_function_evaluator(entry);
    if (evaluator == nullptr) return "no evaluator";
    std::vector<std::string> texts =
        split_arguments(call.substr(open + 1, call.rfind(')') - open - 1));
    std::vector<TestLiteral> literals;
    for (const std::string& text : texts) literals.push_back({text});
    std::vector<void*> arguments;
    for (size_t i = 0; i < texts.size(); ++i)
      arguments.push_back(entry->unevaluated_arguments
                              ? static_cast<void*>(&literals[i])
                              : static_cast<void*>(literal_value(pool_, texts[i])));
    QuillValue* result =
        evaluator(&context_, static_cast<int>(arguments.size()), arguments.data(), entry);
    if (!entry->unevaluated_arguments)
      for (void* argument : arguments) release_value(pool_, static_cast<QuillValue*>(argument));
    if (result == nullptr) {
      SQLCHAR state[6] = {0}, message[512] = {0};
      SQLINTEGER native = 0;
      SQLSMALLINT length = 0;
      EXPECT_EQ(context_.error, -1);
      GetDiagRec(errors_, 1, state, &native, message, sizeof message, &length);
      return std::string("error ") + reinterpret_cast<char*>(state) + " " +
             reinterpret_cast<char*>(message);
    }
    EXPECT_EQ(context_.error, 0);
    std::string outcome;
    if (is_value_null(result)) {
      outcome = "NULL";
    } else {
      char text[VALUE_TEXT_SIZE];
      value_as_text(result, text);
      outcome = std::string(text) + " " + kind_name(result->kind);
    }
    release_value(pool_, result);
    return outcome;
  }

  // Runs every `CALL => expected` line of a case file.
  void run_file(const char* name) {
    std::ifstream file(std::string(QUILL_SQL_TEST_DIR) + "/functions/" + name);
    ASSERT_TRUE(file.is_open()) << name;
    std::string line;
    int cases = 0;
    while (std::getline(file, line)) {
      if (line.empty() || line[0] == '#') continue;
      size_t arrow = line.find(" => ");
      ASSERT_NE(arrow, std::string::npos) << line;
      EXPECT_EQ(run(line.substr(0, arrow)), line.substr(arrow + 4)) << line;
      ++cases;
    }
    EXPECT_GT(cases, 0);
  }

  MemPool* pool_ = nullptr;
  ErrorHeader* errors_ = nullptr;
  EvalContext context_{};
};

TEST_F(ScalarFunctionCases, Numeric) {
  run_file("numeric.txt");
}

TEST_F(ScalarFunctionCases, DateTime) {
  run_file("datetime.txt");
}

TEST_F(ScalarFunctionCases, SystemFunctionsFollowTheConnection) {
  EXPECT_EQ(run("DATABASE()"), "chain VARCHAR");
  EXPECT_EQ(run("USER()"), "alice VARCHAR");
  context_.database = nullptr;
  context_.user = nullptr;
  EXPECT_EQ(run("DATABASE()"), "NULL");
  EXPECT_EQ(run("USER()"), "NULL");
}

TEST_F(ScalarFunctionCases, RandStaysInRangeAndRepeatsForASeed) {
  std::string first = run("RAND(42)");
  EXPECT_EQ(run("RAND(42)"), first);
  for (int i = 0; i < 20; ++i) {
    std::string outcome = run("RAND()");
    double value = std::strtod(outcome.c_str(), nullptr);
    EXPECT_GE(value, 0.0);
    EXPECT_LE(value, 32767.0);
    EXPECT_NE(outcome.find("DOUBLE"), std::string::npos);
  }
  EXPECT_EQ(run("RAND(NULL)"), "NULL");
}

TEST_F(ScalarFunctionCases, EveryNumericDateTimeAndSystemFunctionHasAnEvaluator) {
  int count = 0;
  const ScalarFunction* table = scalar_function_table(&count);
  for (int i = 0; i < count; ++i) {
    if (table[i].number == 11) continue;  // CONVERT becomes a CAST before evaluation
    EXPECT_NE(scalar_function_evaluator(&table[i]), nullptr) << table[i].name;
  }
}

}  // namespace
