// Evaluators of the numeric scalar functions: ABS, the trigonometric and logarithmic
// functions, CEILING, FLOOR, MOD, PI, POWER, RAND, ROUND, SIGN, SQRT, TRUNCATE, CCUR, INT and
// STR.
#pragma once

#include "driver/sql/functions.h"

// The evaluator of numeric function `number` (the function table's number); null when the
// number is not a numeric function.
ScalarEvaluator numeric_function_evaluator(int number);
