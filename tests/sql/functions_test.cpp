// Scalar function table: ordering, lookups by name and number, argument ranges and classes.
#include "driver/sql/functions.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>

namespace {

struct ExpectedFunction {
  const char* name;
  int number;
  int min_arguments;
  int max_arguments;
  uint32_t result_class;
};

TEST(ScalarFunctionTable, EntriesMatchTheirDefinitions) {
  const ExpectedFunction cases[] = {
      {"ABS", 0, 1, 1, FN_CLASS_ANY | FN_CLASS_DOUBLE},
      {"ATAN2", 5, 2, 2, FN_CLASS_DOUBLE},
      {"CCUR", 69, 1, 1, FN_CLASS_ANY | FN_CLASS_DOUBLE},
      {"CDATE", 72, 1, 1, FN_CLASS_TIMESTAMP},
      {"CHAR", 8, 1, 1, FN_CLASS_FIXED_CHARACTER},
      {"CHARACTER_LENGTH", 9, 1, 1, FN_CLASS_INTEGER},
      {"CHAR_LENGTH", 9, 1, 1, FN_CLASS_INTEGER},
      {"CURDATE", 14, 0, 0, FN_CLASS_DATE},
      {"CURRENT_DATE", 14, 0, 0, FN_CLASS_DATE},
      {"CURRENT_TIME", 15, 0, 1, FN_CLASS_TIME},
      {"CURTIME", 15, 0, 0, FN_CLASS_TIME},
      {"CURRENT_TIMESTAMP", 16, 0, 1, FN_CLASS_TIMESTAMP},
      {"NOW", 41, 0, 0, FN_CLASS_TIMESTAMP},
      {"DATEDIFF", 70, 3, 3, FN_CLASS_INTEGER},
      {"DATEPART", 73, 2, 2, FN_CLASS_INTEGER},
      {"DAYOFWEEK", 20, 1, 1, FN_CLASS_INTEGER},
      {"WEEKDAY", 20, 1, 1, FN_CLASS_INTEGER},
      {"EXTRACT", 25, 2, 2, FN_CLASS_INTEGER},
      {"FORMAT", 74, 2, 2, FN_CLASS_CHARACTER},
      {"IFNULL", 28, 2, 2, FN_CLASS_ANY},
      {"INSERT", 29, 4, 4, FN_CLASS_CHARACTER},
      {"INT", 76, 1, 1, FN_CLASS_INTEGER},
      {"ISNULL", 75, 1, 1, FN_CLASS_INTEGER},
      {"LCASE", 30, 1, 1, FN_CLASS_CHARACTER},
      {"LOWER", 30, 1, 1, FN_CLASS_CHARACTER},
      {"LEN", 32, 1, 1, FN_CLASS_INTEGER},
      {"LENGTH", 32, 1, 1, FN_CLASS_INTEGER},
      {"LOCATE", 33, 2, 3, FN_CLASS_INTEGER},
      {"LOG10", 35, 1, 1, FN_CLASS_DOUBLE},
      {"MID", 60, 2, 3, FN_CLASS_CHARACTER},
      {"SUBSTR", 60, 3, 3, FN_CLASS_CHARACTER},
      {"SUBSTRING", 60, 3, 3, FN_CLASS_CHARACTER},
      {"PI", 43, 0, 0, FN_CLASS_DOUBLE},
      {"RAND", 48, 0, 1, FN_CLASS_DOUBLE},
      {"REPLACE", 50, 3, 3, FN_CLASS_CHARACTER},
      {"STR", 77, 1, 1, FN_CLASS_CHARACTER},
      {"TIMESTAMPADD", 62, 3, 3, FN_CLASS_DATETIME},
      {"TIMESTAMPDIFF", 63, 3, 3, FN_CLASS_INTEGER},
      {"UCASE", 65, 1, 1, FN_CLASS_CHARACTER},
      {"HEX_TO_BIGINT", 78, 1, 1, FN_CLASS_BIGINT},
      {"HEX_TO_NUMERIC", 80, 1, 1, FN_CLASS_EXACT},
      {"UNIX_TO_TIMESTAMP", 81, 1, 1, FN_CLASS_TIMESTAMP},
      {"WEI_TO_ETHER", 82, 1, 1, FN_CLASS_EXACT},
      {"UPPER", 65, 1, 1, FN_CLASS_CHARACTER},
      {"USER", 66, 0, 0, FN_CLASS_CHARACTER},
      {"VAL", 71, 1, 1, FN_CLASS_DOUBLE},
      {"WEEK", 67, 1, 1, FN_CLASS_INTEGER},
      {"YEAR", 68, 1, 1, FN_CLASS_INTEGER},
  };
  for (const ExpectedFunction& expected : cases) {
    SCOPED_TRACE(expected.name);
    const ScalarFunction* entry = find_scalar_function(expected.name);
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->name, expected.name);
    EXPECT_EQ(entry->number, expected.number);
    EXPECT_EQ(entry->min_arguments, expected.min_arguments);
    EXPECT_EQ(entry->max_arguments, expected.max_arguments);
    EXPECT_EQ(entry->result_class, expected.result_class);
    EXPECT_EQ(scalar_function_number(expected.name), expected.number);
  }
}

TEST(ScalarFunctionTable, SortedConsistentAndComplete) {
  int count = 0;
  const ScalarFunction* table = scalar_function_table(&count);
  ASSERT_EQ(count, 92);
  std::set<int> numbers;
  for (int i = 0; i < count; ++i) {
    const ScalarFunction& entry = table[i];
    SCOPED_TRACE(entry.name);
    if (i > 0) {
      EXPECT_LT(std::strcmp(table[i - 1].name, entry.name), 0);
    }
    int required = 0;
    for (int a = 0; a < entry.max_arguments; ++a) {
      EXPECT_NE(entry.argument_classes[a], 0u);
      if ((entry.argument_classes[a] & FN_CLASS_OPTIONAL) == 0) ++required;
    }
    for (int a = entry.max_arguments; a < SCALAR_FUNCTION_MAX_ARGUMENTS; ++a)
      EXPECT_EQ(entry.argument_classes[a], 0u);
    EXPECT_EQ(entry.min_arguments, required);
    EXPECT_EQ(entry.evaluator, nullptr);
    EXPECT_EQ(find_scalar_function(entry.name), &entry);
    numbers.insert(entry.number);
  }
  // Numbers 0..82 are all used.
  EXPECT_EQ(numbers.size(), 83u);
  EXPECT_EQ(*numbers.begin(), 0);
  EXPECT_EQ(*numbers.rbegin(), 82);
}

TEST(ScalarFunctionTable, OnlyTheExpressionFunctionsAreUnevaluated) {
  const std::set<std::string> lazy = {"CDATE", "IFNULL", "INT", "ISNULL", "STR"};
  int count = 0;
  const ScalarFunction* table = scalar_function_table(&count);
  for (int i = 0; i < count; ++i)
    EXPECT_EQ(table[i].unevaluated_arguments, lazy.count(table[i].name) == 1) << table[i].name;
}

TEST(ScalarFunctionLookup, IgnoresCaseAndRejectsUnknownNames) {
  const char* same[] = {"substring", "SubString", "SUBSTRING"};
  for (const char* name : same)
    EXPECT_EQ(find_scalar_function(name), find_scalar_function("SUBSTRING"));
  const char* unknown[] = {
      "",      "SUBSTRINGS", "SUBSTRIN", "CONVERTX",
      "A",     "ZZZ",        "_",        "AVERYLONGNAMETHATISLONGERTHANANYFUNCTIONNAMEINTHETABLE",
      "COUNT", "CAST",       "LEFT$"};
  for (const char* name : unknown) {
    EXPECT_EQ(find_scalar_function(name), nullptr) << name;
    EXPECT_EQ(scalar_function_number(name), UNKNOWN_SCALAR_FUNCTION) << name;
  }
  EXPECT_EQ(find_scalar_function(nullptr), nullptr);
  EXPECT_EQ(find_syntax_function(nullptr), nullptr);
  EXPECT_EQ(scalar_function_number(nullptr), UNKNOWN_SCALAR_FUNCTION);
  // First and last entries are reachable by the binary search.
  EXPECT_NE(find_scalar_function("abs"), nullptr);
  EXPECT_NE(find_scalar_function("year"), nullptr);
}

TEST(ScalarFunctionLookup, SyntaxFormsHaveNegativeNumbers) {
  const ExpectedFunction cases[] = {
      {"BIT_LENGTH", -6, 1, 1, FN_CLASS_INTEGER},
      {"CHARACTER_LENGTH", -1, 1, 1, FN_CLASS_INTEGER},
      {"CHAR_LENGTH", -1, 1, 1, FN_CLASS_INTEGER},
      {"LOWER", -7, 1, 1, FN_CLASS_CHARACTER},
      {"OCTET_LENGTH", -2, 1, 1, FN_CLASS_INTEGER},
      {"POSITION", -3, 2, 2, FN_CLASS_INTEGER},
      {"SUBSTRING", -4, 2, 3, FN_CLASS_CHARACTER},
      {"UPPER", -8, 1, 1, FN_CLASS_CHARACTER},
  };
  int count = 0;
  syntax_function_table(&count);
  EXPECT_EQ(count, 8);
  for (const ExpectedFunction& expected : cases) {
    SCOPED_TRACE(expected.name);
    std::string lower(expected.name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const ScalarFunction* entry = find_syntax_function(lower.c_str());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->number, expected.number);
    EXPECT_EQ(entry->min_arguments, expected.min_arguments);
    EXPECT_EQ(entry->max_arguments, expected.max_arguments);
    EXPECT_EQ(entry->result_class, expected.result_class);
  }
  EXPECT_EQ(find_syntax_function("MID"), nullptr);
}

TEST(ScalarFunctionLookup, ByNumberAndArgumentRange) {
  struct Case {
    int number;
    const char* first_name;
    int min_arguments;
    int max_arguments;
  } cases[] = {
      {0, "ABS", 1, 1},           {9, "CHARACTER_LENGTH", 1, 1},
      {15, "CURRENT_TIME", 0, 1}, {16, "CURRENT_TIMESTAMP", 0, 1},
      {41, "NOW", 0, 0},          {60, "MID", 2, 3},
      {29, "INSERT", 4, 4},       {-1, "CHARACTER_LENGTH", 1, 1},
      {-4, "SUBSTRING", 2, 3},    {-8, "UPPER", 1, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    const ScalarFunction* entry = scalar_function_by_number(c.number);
    ASSERT_NE(entry, nullptr);
    EXPECT_STREQ(entry->name, c.first_name);
    int low = -1, high = -1;
    ASSERT_TRUE(scalar_function_argument_range(c.number, &low, &high));
    EXPECT_EQ(low, c.min_arguments);
    EXPECT_EQ(high, c.max_arguments);
  }
  const int unknown[] = {-99, -5, 83, 1000};
  for (int number : unknown) {
    EXPECT_EQ(scalar_function_by_number(number), nullptr) << number;
    int low = 7, high = 7;
    EXPECT_FALSE(scalar_function_argument_range(number, &low, &high));
    EXPECT_EQ(low, 7);
    EXPECT_EQ(high, 7);
  }
}

TEST(ScalarFunctionClasses, ResultTypesAndArgumentAcceptance) {
  struct ResultCase {
    uint32_t result_class;
    int sql_type;
  } results[] = {{FN_CLASS_CHARACTER, 12},
                 {FN_CLASS_FIXED_CHARACTER, 12},
                 {FN_CLASS_INTEGER, 4},
                 {FN_CLASS_DOUBLE, 8},
                 {FN_CLASS_DATE, 91},
                 {FN_CLASS_TIME, 92},
                 {FN_CLASS_TIMESTAMP, 93},
                 {FN_CLASS_ANY, 0},
                 {FN_CLASS_ANY | FN_CLASS_DOUBLE, 0},
                 {FN_CLASS_DATETIME, 0}};
  for (const ResultCase& c : results)
    EXPECT_EQ(scalar_result_sql_type(c.result_class), c.sql_type) << c.result_class;

  struct AcceptCase {
    const char* function;
    int argument;
    uint32_t family;
    bool accepted;
  } accepts[] = {
      {"MONTH", 0, FN_FAMILY_DATETIME_BITS, true},    {"MONTH", 0, FN_FAMILY_NUMERIC_BITS, false},
      {"HOUR", 0, FN_FAMILY_DATETIME_BITS, true},     {"YEAR", 0, FN_FAMILY_CHARACTER_BITS, true},
      {"ABS", 0, FN_FAMILY_NUMERIC_BITS, true},       {"ABS", 0, FN_FAMILY_CHARACTER_BITS, false},
      {"LEFT", 1, FN_FAMILY_NUMERIC_BITS, true},      {"LEFT", 0, FN_FAMILY_INTERVAL_BITS, false},
      {"EXTRACT", 0, FN_FAMILY_NUMERIC_BITS, true},   {"EXTRACT", 1, FN_FAMILY_INTERVAL_BITS, true},
      {"IFNULL", 1, FN_FAMILY_INTERVAL_BITS, true},   {"LOCATE", 2, FN_FAMILY_NUMERIC_BITS, true},
      {"LOCATE", 2, FN_FAMILY_CHARACTER_BITS, false}, {"CHAR", 0, FN_FAMILY_NUMERIC_BITS, true},
  };
  for (const AcceptCase& c : accepts) {
    const ScalarFunction* entry = find_scalar_function(c.function);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(scalar_argument_accepts(entry->argument_classes[c.argument], c.family), c.accepted)
        << c.function << " argument " << c.argument;
  }
}

}  // namespace
