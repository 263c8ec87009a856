// Numeric, date/time and system scalar function evaluators: the "function" check of the case
// files (tests/sql/cases/functions/numeric.txt, datetime.txt), whose cases are
// `CALL => expected`, where CALL names a function and writes its arguments as literal texts
// and expected is `NULL`, `<text form> <KIND>` or `error <SQLSTATE> <message>`.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "driver/sql/eval_context.h"
#include "driver/sql/functions.h"
#include "driver/sql/literals.h"
#include "support/diag.h"
#include "support/memory.h"
#include "support/value.h"
#include "tests/sql/case_file.h"

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
    case VALUE_NUMERIC:
      return "NUMERIC";
    default:
      return "OTHER";
  }
}

// The "function" check: calls evaluated in one context per file, the statement started at
// 2024-02-29 10:20:30 by user "alice" on database "chain".
class ScalarFunctionCalls : public CaseCheck {
 public:
  ScalarFunctionCalls() {
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
  ~ScalarFunctionCalls() override {
    FreeErrorHeader(errors_);
    quill_mem_release_handle(pool_);
  }
  ScalarFunctionCalls(const ScalarFunctionCalls&) = delete;
  ScalarFunctionCalls& operator=(const ScalarFunctionCalls&) = delete;

  CaseOutcome run(const SqlCase& c) override {
    for (const CaseLine& line : c.extras) fail_unknown_case_line(c, line);
    return case_outcome_from_line(outcome_of(c.input));
  }
  // The evaluation context the calls run in.
  EvalContext* context() { return &context_; }

  // Calls `call` ("NAME(arg, ...)") and describes the outcome as the case files do.
  std::string outcome_of(const std::string& call) {
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

 private:
  MemPool* pool_ = nullptr;
  ErrorHeader* errors_ = nullptr;
  EvalContext context_{};
};

[[maybe_unused]] const bool kFunctionCasesRegistered =
    register_case_check("function", [] { return std::make_unique<ScalarFunctionCalls>(); });

TEST(ScalarFunctionCases, SystemFunctionsFollowTheConnection) {
  ScalarFunctionCalls calls;
  EXPECT_EQ(calls.outcome_of("DATABASE()"), "chain VARCHAR");
  EXPECT_EQ(calls.outcome_of("USER()"), "alice VARCHAR");
  calls.context()->database = nullptr;
  calls.context()->user = nullptr;
  EXPECT_EQ(calls.outcome_of("DATABASE()"), "NULL");
  EXPECT_EQ(calls.outcome_of("USER()"), "NULL");
}

TEST(ScalarFunctionCases, RandStaysInRangeAndRepeatsForASeed) {
  ScalarFunctionCalls calls;
  std::string first = calls.outcome_of("RAND(42)");
  EXPECT_EQ(calls.outcome_of("RAND(42)"), first);
  for (int i = 0; i < 20; ++i) {
    std::string outcome = calls.outcome_of("RAND()");
    double value = std::strtod(outcome.c_str(), nullptr);
    EXPECT_GE(value, 0.0);
    EXPECT_LE(value, 32767.0);
    EXPECT_NE(outcome.find("DOUBLE"), std::string::npos);
  }
  EXPECT_EQ(calls.outcome_of("RAND(NULL)"), "NULL");
}

TEST(ScalarFunctionCases, EveryNumericDateTimeAndSystemFunctionHasAnEvaluator) {
  int count = 0;
  const ScalarFunction* table = scalar_function_table(&count);
  for (int i = 0; i < count; ++i) {
    if (table[i].number == 11) continue;  // CONVERT becomes a CAST before evaluation
    EXPECT_NE(scalar_function_evaluator(&table[i]), nullptr) << table[i].name;
  }
}

}  // namespace
