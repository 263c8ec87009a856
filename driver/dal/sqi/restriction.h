// A predicate the engine pushes into a backend's scan: a column, an operator
// and the value(s) it is compared with. Part of the backend contract: backends
// read restrictions to choose what they fetch; the engine builds them.
#pragma once

#include <cstdint>

#include "driver/dal/sqi/sqi.h"
#include "support/value.h"

// Operator codes of restrictions (shared with the binary operators of expressions).
enum RestrictionOperator : int32_t {
  RESTRICT_LESS = 7,
  RESTRICT_GREATER = 8,
  RESTRICT_GREATER_EQUAL = 9,
  RESTRICT_LESS_EQUAL = 10,
  RESTRICT_EQUAL = 11,
  RESTRICT_NOT_EQUAL = 12,
  RESTRICT_RANGE = 13,  // two bounds on one index column (planner only)
  RESTRICT_LIKE = 14,
  RESTRICT_IS_NULL = 15,
  RESTRICT_IN = 16,       // value list
  RESTRICT_PATTERN = 17,  // LIKE pattern without a fixed prefix
};

// The column information of a restricted column (the engine's name for it) is the column
// descriptor the data-access layer filled.
using ColumnInfo = DalColumn;

struct Restriction {
  ColumnInfo* column;            // the restricted column's description (drives conversion)
  int32_t column_number;         // 1-based column number in its table
  int64_t reserved1;             // zero
  int32_t reserved2;             // zero
  int32_t op;                    // RestrictionOperator
  const void* value_expression;  // the expression the value comes from (parse node)
  QuillValue* value;             // the value converted to the column's type; null when none
  const void* column_reference;  // the column-reference node
  int32_t hits;                  // engine use only
  QuillValue** in_values;        // RESTRICT_IN: the listed values
  int32_t in_count;              // RESTRICT_IN: how many
};
