// Evaluators of the character scalar functions: lengths, searches, case, trimming, VAL,
// substrings, building (CONCAT, INSERT, REPEAT, REPLACE, SPACE) and SOUNDEX/DIFFERENCE.
//
// Choices where the function library leaves the outcome open (each returns a defined
// string and never reads outside its input):
//   SUBSTRING/SUBSTR/MID  a start of 0 gives the empty string, as a negative start does;
//                         a negative length gives the empty string.
//   LEFT                  a negative count gives the empty string.
//   INSERT                a negative length removes nothing.
//   REPLACE               an empty search string (after trimming) returns the source unchanged.
//   REPEAT, SPACE         a result above MAX_GENERATED_TEXT_BYTES fails with
//                         22001 "String data, right truncated" instead of being cut.
//   REPLACE               the same limit, unless the result is no longer than the source.
//   LOCATE                a start past the end of the haystack gives 0.
//   VAL                   a sign before the first digit is kept (VAL('-2.5') is -2.5).
// Binary arguments are used as their raw bytes; other non-character kinds as their text form.
#pragma once

#include <cstddef>

#include "driver/sql/functions.h"

// Largest result REPEAT, SPACE and REPLACE may build (1 MiB).
constexpr size_t MAX_GENERATED_TEXT_BYTES = size_t{1} << 20;

// The evaluator of character function `number` (main-table numbers and the negative numbers
// of the SQL-syntax forms); null when `number` is not a character function.
ScalarEvaluator string_function_evaluator(int number);
