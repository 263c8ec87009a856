// The scalar function tables as constant data, and their lookups by name and by number.
#include "driver/sql/functions.h"

#include "driver/sql/fn_datetime.h"
#include "driver/sql/fn_numeric.h"
#include "driver/sql/fn_quantity.h"
#include "driver/sql/fn_string.h"
#include "driver/sql/fn_system.h"

#include <cctype>
#include <cstring>
#include <initializer_list>

namespace {

constexpr uint32_t CHR = FN_CLASS_CHARACTER;
constexpr uint32_t INT = FN_CLASS_INTEGER;
constexpr uint32_t FIX = FN_CLASS_FIXED_CHARACTER;
constexpr uint32_t DBL = FN_CLASS_DOUBLE;
constexpr uint32_t DAT = FN_CLASS_DATE;
constexpr uint32_t TIM = FN_CLASS_TIME;
constexpr uint32_t TSP = FN_CLASS_TIMESTAMP;
constexpr uint32_t IVL = FN_CLASS_INTERVAL;
constexpr uint32_t SPC = FN_CLASS_SPECIFIER;
constexpr uint32_t ANY = FN_CLASS_ANY;
constexpr uint32_t BIG = FN_CLASS_BIGINT;
constexpr uint32_t EXA = FN_CLASS_EXACT;
// A quantity: "0x" text, or a number for a column that is already typed.
constexpr uint32_t QTY = FN_CLASS_CHARACTER | FN_CLASS_INTEGER | FN_CLASS_DOUBLE;
constexpr uint32_t OPT = FN_CLASS_OPTIONAL;
constexpr uint32_t D_TS = FN_CLASS_DATE_OR_TIMESTAMP;
constexpr uint32_t T_TS = FN_CLASS_TIME_OR_TIMESTAMP;
constexpr uint32_t DTM = FN_CLASS_DATETIME;
constexpr bool LAZY = true;

// Builds an entry; the argument-count range follows from the optional bits.
constexpr ScalarFunction fn(const char* name, int number, uint32_t result,
                            std::initializer_list<uint32_t> arguments, bool lazy = false) {
  ScalarFunction entry{name, number, 0, 0, result, {0, 0, 0, 0}, lazy, nullptr};
  for (uint32_t argument : arguments) {
    entry.argument_classes[entry.max_arguments++] = argument;
    if ((argument & OPT) == 0) ++entry.min_arguments;
  }
  return entry;
}

// Sorted by name in byte order (binary search depends on it; checked below).
constexpr ScalarFunction kFunctions[] = {
    fn("ABS", 0, ANY | DBL, {DBL}),
    fn("ACOS", 1, DBL, {DBL}),
    fn("ASCII", 2, INT, {CHR}),
    fn("ASIN", 3, DBL, {DBL}),
    fn("ATAN", 4, DBL, {DBL}),
    fn("ATAN2", 5, DBL, {DBL, DBL}),
    fn("BIT_LENGTH", 6, INT, {CHR}),
    fn("CCUR", 69, ANY | DBL, {DBL}),
    fn("CDATE", 72, TSP, {ANY}, LAZY),
    fn("CEILING", 7, INT, {DBL}),
    fn("CHAR", 8, FIX, {INT}),
    fn("CHARACTER_LENGTH", 9, INT, {CHR}),
    fn("CHAR_LENGTH", 9, INT, {CHR}),
    fn("CONCAT", 10, CHR, {CHR, CHR}),
    fn("CONVERT", 11, ANY, {ANY, ANY}),
    fn("COS", 12, DBL, {DBL}),
    fn("COT", 13, DBL, {DBL}),
    fn("CURDATE", 14, DAT, {}),
    fn("CURRENT_DATE", 14, DAT, {}),
    fn("CURRENT_TIME", 15, TIM, {INT | OPT}),
    fn("CURRENT_TIMESTAMP", 16, TSP, {INT | OPT}),
    fn("CURTIME", 15, TIM, {}),
    fn("DATABASE", 17, CHR, {}),
    fn("DATEDIFF", 70, INT, {SPC, DTM, DTM}),
    fn("DATEPART", 73, INT, {SPC, DTM}),
    fn("DAYNAME", 18, CHR, {D_TS}),
    fn("DAYOFMONTH", 19, INT, {D_TS}),
    fn("DAYOFWEEK", 20, INT, {D_TS}),
    fn("DAYOFYEAR", 21, INT, {D_TS}),
    fn("DEGREES", 22, DBL, {DBL}),
    fn("DIFFERENCE", 23, INT, {CHR, CHR}),
    fn("EXP", 24, DBL, {DBL}),
    fn("EXTRACT", 25, INT, {SPC, DTM | IVL}),
    fn("FLOOR", 26, INT, {DBL}),
    fn("FORMAT", 74, CHR, {ANY, SPC}),
    fn("HEX_TO_BIGINT", FN_HEX_TO_BIGINT, BIG, {QTY}),
    fn("HEX_TO_DOUBLE", FN_HEX_TO_DOUBLE, DBL, {QTY}),
    fn("HEX_TO_NUMERIC", FN_HEX_TO_NUMERIC, EXA, {QTY}),
    fn("HOUR", 27, INT, {T_TS}),
    fn("IFNULL", 28, ANY, {ANY, ANY}, LAZY),
    fn("INSERT", 29, CHR, {CHR, INT, INT, CHR}),
    fn("INT", 76, INT, {ANY}, LAZY),
    fn("ISNULL", 75, INT, {ANY}, LAZY),
    fn("LCASE", 30, CHR, {CHR}),
    fn("LEFT", 31, CHR, {CHR, INT}),
    fn("LEN", 32, INT, {CHR}),
    fn("LENGTH", 32, INT, {CHR}),
    fn("LOCATE", 33, INT, {CHR, CHR, INT | OPT}),
    fn("LOG", 34, DBL, {DBL}),
    fn("LOG10", 35, DBL, {DBL}),
    fn("LOWER", 30, CHR, {CHR}),
    fn("LTRIM", 36, CHR, {CHR}),
    fn("MID", 60, CHR, {CHR, INT, INT | OPT}),
    fn("MINUTE", 37, INT, {T_TS}),
    fn("MOD", 38, INT, {INT, INT}),
    fn("MONTH", 39, INT, {D_TS}),
    fn("MONTHNAME", 40, CHR, {D_TS}),
    fn("NOW", 41, TSP, {}),
    fn("OCTET_LENGTH", 42, INT, {CHR}),
    fn("PI", 43, DBL, {}),
    fn("POSITION", 44, INT, {CHR, CHR}),
    fn("POWER", 45, DBL, {DBL, INT}),
    fn("QUARTER", 46, INT, {D_TS}),
    fn("RADIANS", 47, DBL, {DBL}),
    fn("RAND", 48, DBL, {INT | OPT}),
    fn("REPEAT", 49, CHR, {CHR, INT}),
    fn("REPLACE", 50, CHR, {CHR, CHR, CHR}),
    fn("RIGHT", 51, CHR, {CHR, INT}),
    fn("ROUND", 52, DBL, {DBL, INT}),
    fn("RTRIM", 53, CHR, {CHR}),
    fn("SECOND", 54, INT, {T_TS}),
    fn("SIGN", 55, INT, {DBL}),
    fn("SIN", 56, DBL, {DBL}),
    fn("SOUNDEX", 57, CHR, {CHR}),
    fn("SPACE", 58, CHR, {INT}),
    fn("SQRT", 59, DBL, {DBL}),
    fn("STR", 77, CHR, {ANY}, LAZY),
    fn("SUBSTR", 60, CHR, {CHR, INT, INT}),
    fn("SUBSTRING", 60, CHR, {CHR, INT, INT}),
    fn("TAN", 61, DBL, {DBL}),
    fn("TIMESTAMPADD", 62, DTM, {SPC, INT | DBL, DTM}),
    fn("TIMESTAMPDIFF", 63, INT, {SPC, DTM, DTM}),
    fn("TRUNCATE", 64, DBL, {DBL, INT}),
    fn("UCASE", 65, CHR, {CHR}),
    fn("UNIX_TO_TIMESTAMP", FN_UNIX_TO_TIMESTAMP, TSP, {QTY}),
    fn("UPPER", 65, CHR, {CHR}),
    fn("USER", 66, CHR, {}),
    fn("VAL", 71, DBL, {CHR}),
    fn("WEEK", 67, INT, {D_TS}),
    fn("WEEKDAY", 20, INT, {D_TS}),
    fn("WEI_TO_ETHER", FN_WEI_TO_ETHER, EXA, {QTY}),
    fn("YEAR", 68, INT, {D_TS | CHR}),
};

// The SQL-syntax forms; SUBSTRING(s FROM start [FOR length]) may leave out the length.
constexpr ScalarFunction kSyntaxFunctions[] = {
    fn("BIT_LENGTH", SYNTAX_FN_BIT_LENGTH, INT, {CHR}),
    fn("CHARACTER_LENGTH", SYNTAX_FN_CHARACTER_LENGTH, INT, {CHR}),
    fn("CHAR_LENGTH", SYNTAX_FN_CHARACTER_LENGTH, INT, {CHR}),
    fn("LOWER", SYNTAX_FN_LOWER, CHR, {CHR}),
    fn("OCTET_LENGTH", SYNTAX_FN_OCTET_LENGTH, INT, {CHR}),
    fn("POSITION", SYNTAX_FN_POSITION, INT, {CHR, CHR}),
    fn("SUBSTRING", SYNTAX_FN_SUBSTRING, CHR, {CHR, INT, INT | OPT}),
    fn("UPPER", SYNTAX_FN_UPPER, CHR, {CHR}),
};

constexpr int compare_names(const char* a, const char* b) {
  while (*a != '\0' && *a == *b) ++a, ++b;
  return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

template <size_t N>
constexpr bool strictly_sorted(const ScalarFunction (&table)[N]) {
  for (size_t i = 1; i < N; ++i)
    if (compare_names(table[i - 1].name, table[i].name) >= 0) return false;
  return true;
}
static_assert(strictly_sorted(kFunctions), "function table must be sorted by name");
static_assert(strictly_sorted(kSyntaxFunctions), "syntax table must be sorted by name");

// Longer than any name in the tables; longer input cannot match.
constexpr size_t kNameBufferSize = 32;

template <size_t N>
const ScalarFunction* search(const ScalarFunction (&table)[N], const char* name) {
  if (name == nullptr) return nullptr;
  char upper[kNameBufferSize];
  size_t length = 0;
  for (; name[length] != '\0'; ++length) {
    if (length + 1 >= sizeof upper) return nullptr;
    upper[length] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[length])));
  }
  upper[length] = '\0';
  size_t low = 0, high = N;
  while (low < high) {
    size_t middle = low + (high - low) / 2;
    int order = compare_names(table[middle].name, upper);
    if (order == 0) return &table[middle];
    if (order < 0)
      low = middle + 1;
    else
      high = middle;
  }
  return nullptr;
}

template <size_t N>
const ScalarFunction* first_with_number(const ScalarFunction (&table)[N], int number) {
  for (const ScalarFunction& entry : table)
    if (entry.number == number) return &entry;
  return nullptr;
}

}  // namespace

const ScalarFunction* find_scalar_function(const char* name) {
  return search(kFunctions, name);
}

const ScalarFunction* find_syntax_function(const char* name) {
  return search(kSyntaxFunctions, name);
}

int scalar_function_number(const char* name) {
  const ScalarFunction* entry = find_scalar_function(name);
  return entry != nullptr ? entry->number : UNKNOWN_SCALAR_FUNCTION;
}

const ScalarFunction* scalar_function_by_number(int number) {
  return number < 0 ? first_with_number(kSyntaxFunctions, number)
                    : first_with_number(kFunctions, number);
}

bool scalar_function_argument_range(int number, int* min_arguments, int* max_arguments) {
  bool found = false;
  int low = 0, high = 0;
  auto widen = [&](const ScalarFunction& entry) {
    if (entry.number != number) return;
    low = found ? (entry.min_arguments < low ? entry.min_arguments : low) : entry.min_arguments;
    high = found ? (entry.max_arguments > high ? entry.max_arguments : high) : entry.max_arguments;
    found = true;
  };
  for (const ScalarFunction& entry : kFunctions) widen(entry);
  for (const ScalarFunction& entry : kSyntaxFunctions) widen(entry);
  if (!found) return false;
  if (min_arguments != nullptr) *min_arguments = low;
  if (max_arguments != nullptr) *max_arguments = high;
  return true;
}

int scalar_result_sql_type(uint32_t result_class) {
  switch (result_class) {
    case FN_CLASS_CHARACTER:
    case FN_CLASS_FIXED_CHARACTER:
      return 12;  // SQL_VARCHAR
    case FN_CLASS_INTEGER:
      return 4;  // SQL_INTEGER
    case FN_CLASS_DOUBLE:
      return 8;  // SQL_DOUBLE
    case FN_CLASS_DATE:
      return 91;  // SQL_TYPE_DATE
    case FN_CLASS_TIME:
      return 92;  // SQL_TYPE_TIME
    case FN_CLASS_TIMESTAMP:
      return 93;  // SQL_TYPE_TIMESTAMP
    case FN_CLASS_BIGINT:
      return -5;  // SQL_BIGINT
    case FN_CLASS_EXACT:
      return 2;  // SQL_NUMERIC
    default:
      return 0;
  }
}

bool scalar_argument_accepts(uint32_t declared_class, uint32_t family_bits) {
  if ((declared_class & (FN_CLASS_SPECIFIER | FN_CLASS_ANY)) != 0) return true;
  return (declared_class & family_bits & ~static_cast<uint32_t>(FN_CLASS_OPTIONAL)) != 0;
}

ScalarEvaluator scalar_function_evaluator(const ScalarFunction* entry) {
  if (entry == nullptr) return nullptr;
  if (entry->evaluator != nullptr) return entry->evaluator;
  // Each group knows its own numbers and answers null for the others.
  for (ScalarEvaluator (*group)(int) :
       {numeric_function_evaluator, string_function_evaluator, datetime_function_evaluator,
        system_function_evaluator, quantity_function_evaluator}) {
    ScalarEvaluator evaluator = group(entry->number);
    if (evaluator != nullptr) return evaluator;
  }
  return nullptr;
}

const ScalarFunction* scalar_function_table(int* count) {
  if (count != nullptr) *count = static_cast<int>(sizeof kFunctions / sizeof kFunctions[0]);
  return kFunctions;
}

const ScalarFunction* syntax_function_table(int* count) {
  if (count != nullptr)
    *count = static_cast<int>(sizeof kSyntaxFunctions / sizeof kSyntaxFunctions[0]);
  return kSyntaxFunctions;
}
