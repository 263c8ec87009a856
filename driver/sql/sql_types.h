// SQL type codes of the engine: the families used by every compatibility test, the
// result-type rule of operators, default type descriptions, the conversion check used by
// INSERT and UPDATE, and the result description of expressions.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

// <sqlext.h> defines SQL_TYPE_NULL as 0 (an ODBC 2 catalog code the engine never uses); the
// engine's own constant below takes the name, so the macro must go before it is declared.
#undef SQL_TYPE_NULL

struct Node;
struct ColumnRefNode;

// Pseudo type codes beside the ODBC SQL type codes.
constexpr int SQL_TYPE_PARAMETER = 0;     // a dynamic parameter not yet typed
constexpr int SQL_TYPE_NULL = 99;         // the NULL literal
constexpr int SQL_TYPE_TRUTH = 100;       // the result of a predicate
constexpr int SQL_TYPE_UNKNOWN = -9999;   // unknown type
constexpr int SQL_TYPE_CONFLICT = -9998;  // operator_result_type: no result type (conflict)

// Type families; two types are compatible when their families are equal.
enum TypeFamily : int {
  FAMILY_NONE = -1,  // NULL literal, truth value, parameter, unknown
  FAMILY_CHARACTER = 0,
  FAMILY_NUMERIC = 1,
  FAMILY_BINARY = 2,
  FAMILY_DATETIME = 5,
  FAMILY_YEAR_MONTH = 6,
  FAMILY_DAY_TIME = 7,
};

// What is known about the type of a value: a row of the type table with the size adjusted.
struct TypeDescription {
  int sql_type;            // SQL type code (or 100 for a truth value)
  const char* type_name;   // the type's name ("VARCHAR", "INTEGER", ...)
  int64_t column_size;     // characters, digits, or bytes of binary data
  int64_t length;          // octet length of the data (binary: twice the size as text)
  int precision;           // numeric precision, or fraction digits of TIME/TIMESTAMP
  int scale;               // numeric scale
  int interval_precision;  // leading precision of an interval (0 when not one)
  int fraction_precision;  // seconds precision of an interval with seconds
  int nullable;            // SQL_NULLABLE (1), SQL_NO_NULLS (0) or unknown (2)
};

// Family of a type code; FAMILY_NONE for codes outside the families (0, 99, 100, -9999).
int type_family(int sql_type);
// True when both types are in the same family; the NULL literal (99) is compatible with
// every type. Parameters, truth values and unknown types are compatible with nothing.
bool types_compatible(int left_type, int right_type);
// The value kind (support/value.h ValueKind) that holds values of an SQL type; 0 for
// codes without one.
int value_kind_of_sql_type(int sql_type);
// The SQL type code that describes values of a value kind (ODBC 3 date/time codes).
int sql_type_of_value_kind(int value_kind);

// Result type of `left op right` (op 1..6 arithmetic, 6 unary minus with the operand as
// `right`, 7..12 comparisons): an SQL type code, SQL_TYPE_TRUTH for comparisons, or
// SQL_TYPE_CONFLICT.
int operator_result_type(int left_type, int right_type, int op);
// As operator_result_type, also producing the full description from the operands'
// descriptions (precision/scale combining, interval precisions). False on a conflict.
bool operator_result_description(const TypeDescription& left, const TypeDescription& right, int op,
                                 TypeDescription* out);

// The default description of a type code (the type table row: size, length, precision).
void default_type_description(int sql_type, TypeDescription* out);

// True when a value of `from_type` may be stored in a column of `to_type` (the conversion
// check of INSERT and UPDATE for differing families).
bool conversion_allowed(int from_type, int to_type);

// How expression descriptions look up what only validation knows.
struct DescribeContext {
  // Description of a resolved column reference (its column, or a sub-statement's result
  // column); false when unknown.
  bool (*column_description)(void* state, const ColumnRefNode* column, TypeDescription* out);
  // Type code of a dynamic parameter as typed by validation (0 when untyped).
  int (*parameter_type)(void* state, const Node* parameter);
  void* state;       // passed to the callbacks
  int odbc_version;  // 2 or 3: date/time literals are 9/10/11 in ODBC 2 and 91/92/93 in 3
};

// The result description of an expression. False when the expression's type cannot be
// described (a conflict or an unknown node).
bool describe_expression(const Node* expression, const DescribeContext& context,
                         TypeDescription* out);

// --- Helpers shared by validation, descriptions and CAST ---------------------------------
// True for the interval types with a seconds field (SECOND, DAY/HOUR/MINUTE TO SECOND).
bool interval_has_seconds(int sql_type);
// Characters of an interval's text form: the leading precision (2 when <= 0) plus the
// trailing fields, plus fraction_precision + 1 for a seconds type when fraction_precision
// >= 0 (a negative fraction_precision means "no seconds precision given").
int64_t interval_text_length(int sql_type, int leading_precision, int fraction_precision);
// Sets the interval precisions of `out` (whose sql_type is an interval) and its size and
// length; leading <= 0 means 2; fraction < 0 means none given (size without a fraction).
void set_interval_description(TypeDescription* out, int leading_precision, int fraction_precision);
// Nullability of a value computed from two operands: nullable when either is, unknown when
// either is unknown, else not nullable.
int combine_nullable(int left, int right);
