// The character function group: which evaluator serves each function number.
#include "driver/sql/fn_string.h"

#include "driver/sql/fn_string_internal.h"

namespace {

using namespace fn_string;

struct NumberedEvaluator {
  int number;                 // main-table or SQL-syntax function number
  ScalarEvaluator evaluator;  // its evaluator
};

constexpr NumberedEvaluator kEvaluators[] = {
    {2, evaluator<ascii_body, 1, 1>},
    {6, evaluator<bit_length_body, 1, 1>},
    {SYNTAX_FN_BIT_LENGTH, evaluator<bit_length_body, 1, 1>},
    {8, evaluator<char_body, 1, 1, &kMemoryMessageFred>},
    {9, evaluator<char_length_body, 1, 1>},
    {SYNTAX_FN_CHARACTER_LENGTH, evaluator<char_length_body, 1, 1>},
    {10, evaluator<concat_body, 2, 2, &kMemoryMessageFred>},
    {23, evaluator<difference_body, 2, 2>},
    {29, evaluator<insert_body, 4, 4>},
    {30, evaluator<lower_body, 1, 1>},
    {SYNTAX_FN_LOWER, evaluator<lower_body, 1, 1>},
    {31, evaluator<left_body, 2, 2>},
    {32, evaluator<trimmed_length_body, 1, 1>},
    {33, evaluator<locate_body, 2, 3>},
    {36, evaluator<ltrim_body, 1, 1>},
    {42, evaluator<octet_length_body, 1, 1>},
    {SYNTAX_FN_OCTET_LENGTH, evaluator<octet_length_body, 1, 1>},
    {44, evaluator<position_body, 2, 2>},
    {SYNTAX_FN_POSITION, evaluator<position_body, 2, 2>},
    {49, evaluator<repeat_body, 2, 2>},
    {50, evaluator<replace_body, 3, 3>},
    {51, evaluator<right_body, 2, 2>},
    {53, evaluator<rtrim_body, 1, 1>},
    {57, evaluator<soundex_body, 1, 1>},
    {58, evaluator<space_body, 1, 1>},
    // MID leaves out the length; SUBSTR and SUBSTRING share the number and evaluator.
    {60, evaluator<substring_body, 2, 3>},
    {SYNTAX_FN_SUBSTRING, evaluator<substring_body, 2, 3>},
    {65, evaluator<upper_body, 1, 1>},
    {SYNTAX_FN_UPPER, evaluator<upper_body, 1, 1>},
    {71, evaluator<val_body, 1, 1>},
};

}  // namespace

ScalarEvaluator string_function_evaluator(int number) {
  for (const NumberedEvaluator& entry : kEvaluators)
    if (entry.number == number) return entry.evaluator;
  return nullptr;
}
