// Evaluators of the date, time, timestamp and interval scalar functions: the CURRENT
// functions, the field functions (YEAR ... SECOND, DAYNAME, WEEK, EXTRACT, DATEPART),
// TIMESTAMPADD, TIMESTAMPDIFF, DATEDIFF and CDATE.
//
// Specifier arguments arrive evaluated: a unit name as a character value ("SQL_TSI_DAY",
// "yyyy"); the field of EXTRACT as a character value ("YEAR" ... "SECOND") or as an integer
// value holding an ExtractField.
#pragma once

#include "driver/sql/functions.h"

// The fields of EXTRACT when given as an integer specifier.
enum ExtractField : int {
  EXTRACT_YEAR = 0,
  EXTRACT_MONTH = 1,
  EXTRACT_DAY = 2,
  EXTRACT_HOUR = 3,
  EXTRACT_MINUTE = 4,
  EXTRACT_SECOND = 5,
};

// The evaluator of date/time function `number` (the function table's number); null when the
// number is not a date/time function.
ScalarEvaluator datetime_function_evaluator(int number);
