// Evaluators of the system scalar functions: DATABASE, USER, IFNULL, ISNULL and FORMAT.
#pragma once

#include "driver/sql/functions.h"

// The evaluator of system function `number` (the function table's number); null when the
// number is not a system function.
ScalarEvaluator system_function_evaluator(int number);
