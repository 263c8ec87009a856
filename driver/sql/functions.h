// The scalar function table: every function SQL text may call by name (as {fn name(...)},
// name(...) or a keyword form), with its number, argument-count range, argument and result
// classes, and its evaluator. A second, smaller table holds the SQL-syntax forms (LOWER(x),
// SUBSTRING(x FROM y FOR z), POSITION(x IN y), ...) under negative numbers.
#pragma once

#include <cstdint>

struct QuillValue;
// Evaluation context (driver/sql/eval_context.h): memory, error exit, statement start time.
struct EvalContext;
struct ScalarFunction;

// Argument and result classes are bit sets of these values.
enum FunctionClass : uint32_t {
  FN_CLASS_CHARACTER = 1,
  FN_CLASS_INTEGER = 2,
  FN_CLASS_FIXED_CHARACTER = 4,
  FN_CLASS_DOUBLE = 8,
  FN_CLASS_DATE = 16,
  FN_CLASS_TIME = 32,
  FN_CLASS_TIMESTAMP = 64,
  FN_CLASS_INTERVAL = 128,
  FN_CLASS_SPECIFIER = 256,  // a unit name (SQL_TSI_DAY, "yyyy", ...); never type-checked
  FN_CLASS_ANY = 512,        // any type; never type-checked. In a result: "type of the argument"
  FN_CLASS_OPTIONAL = 2048,  // the argument may be left out
  FN_CLASS_BIGINT = 4096,    // results only: BIGINT
  FN_CLASS_EXACT = 8192,     // results only: NUMERIC (precision and scale by the function)
};

// Shorthands for the classes the table uses.
constexpr uint32_t FN_CLASS_DATE_OR_TIMESTAMP = FN_CLASS_DATE | FN_CLASS_TIMESTAMP;
constexpr uint32_t FN_CLASS_TIME_OR_TIMESTAMP = FN_CLASS_TIME | FN_CLASS_TIMESTAMP;
constexpr uint32_t FN_CLASS_DATETIME = FN_CLASS_DATE | FN_CLASS_TIME | FN_CLASS_TIMESTAMP;

// Bits an actual argument satisfies, by the family of its type.
constexpr uint32_t FN_FAMILY_CHARACTER_BITS = FN_CLASS_CHARACTER | FN_CLASS_FIXED_CHARACTER;
constexpr uint32_t FN_FAMILY_NUMERIC_BITS = FN_CLASS_INTEGER | FN_CLASS_DOUBLE;
constexpr uint32_t FN_FAMILY_DATETIME_BITS = FN_CLASS_TIMESTAMP;
constexpr uint32_t FN_FAMILY_INTERVAL_BITS = FN_CLASS_INTERVAL;

// Most arguments any function takes (INSERT has four).
constexpr int SCALAR_FUNCTION_MAX_ARGUMENTS = 4;
// scalar_function_number's answer for an unknown name.
constexpr int UNKNOWN_SCALAR_FUNCTION = -99;

// Function numbers the SQL-syntax forms use (the keyword forms of the grammar).
constexpr int SYNTAX_FN_CHARACTER_LENGTH = -1;
constexpr int SYNTAX_FN_OCTET_LENGTH = -2;
constexpr int SYNTAX_FN_POSITION = -3;
constexpr int SYNTAX_FN_SUBSTRING = -4;
constexpr int SYNTAX_FN_BIT_LENGTH = -6;
constexpr int SYNTAX_FN_LOWER = -7;
constexpr int SYNTAX_FN_UPPER = -8;

// Computes one function call. `arguments` holds `argument_count` evaluated QuillValue*
// (or, for functions with unevaluated_arguments, the argument expression nodes, evaluated
// through context->evaluate). `entry` is the table entry called (its name tells apart the
// names sharing an evaluator). Returns a new value on context->pool, or null after posting
// the error through eval_error.
using ScalarEvaluator = QuillValue* (*)(EvalContext* context, int argument_count,
                                        void* const* arguments, const ScalarFunction* entry);

// One entry of the function table.
struct ScalarFunction {
  const char* name;       // upper-case name, the table's sort key
  int number;             // function number; several names may share one
  int min_arguments;      // number of arguments without FN_CLASS_OPTIONAL
  int max_arguments;      // number of declared arguments
  uint32_t result_class;  // FunctionClass bits of the result
  uint32_t argument_classes[SCALAR_FUNCTION_MAX_ARGUMENTS];  // per argument; 0 past max
  bool unevaluated_arguments;  // evaluator receives expressions, not values
  ScalarEvaluator evaluator;   // null until the evaluators are linked in
};

// The entry of `name` (any case) in the main table; null when unknown or name is null.
const ScalarFunction* find_scalar_function(const char* name);
// The entry of `name` (any case) among the SQL-syntax forms; null when not one of them.
const ScalarFunction* find_syntax_function(const char* name);
// The number of `name` (any case) in the main table, UNKNOWN_SCALAR_FUNCTION when unknown.
int scalar_function_number(const char* name);
// The first entry (by name) with `number`; negative numbers select the SQL-syntax forms.
// Null for a number no entry has.
const ScalarFunction* scalar_function_by_number(int number);
// The argument-count range of `number`: when several names share it, the widest range over
// them. False (outputs untouched) for an unknown number.
bool scalar_function_argument_range(int number, int* min_arguments, int* max_arguments);
// The SQL type code a result class gives (12 VARCHAR, 4 INTEGER, 8 DOUBLE, 91 DATE,
// 92 TIME, 93 TIMESTAMP, -5 BIGINT, 2 NUMERIC), 0 when the class names no single type (any, several
// bits).
int scalar_result_sql_type(uint32_t result_class);
// True when an argument declared `declared_class` accepts an actual argument satisfying
// `family_bits` (one of FN_FAMILY_*): a shared bit, or a specifier/any class.
bool scalar_argument_accepts(uint32_t declared_class, uint32_t family_bits);

// The evaluator of `entry`: the table's own, else the one the function groups (numeric,
// string, date/time, system) register for its number. Null for CONVERT, a null entry, or a
// function whose group is not linked in.
ScalarEvaluator scalar_function_evaluator(const ScalarFunction* entry);

// The whole main table, sorted by name (for tests and catalog listings).
const ScalarFunction* scalar_function_table(int* count);
// The whole SQL-syntax table, sorted by name.
const ScalarFunction* syntax_function_table(int* count);
