// Evaluators of the functions that decode Ethereum quantities ("0x" hexadecimal text):
// HEX_TO_BIGINT, HEX_TO_NUMERIC, HEX_TO_DOUBLE, UNIX_TO_TIMESTAMP and WEI_TO_ETHER.
#pragma once

#include "driver/sql/functions.h"

// Function numbers of the decoding functions in the function table.
constexpr int FN_HEX_TO_BIGINT = 78;
constexpr int FN_HEX_TO_DOUBLE = 79;
constexpr int FN_HEX_TO_NUMERIC = 80;
constexpr int FN_UNIX_TO_TIMESTAMP = 81;
constexpr int FN_WEI_TO_ETHER = 82;
// Scale of WEI_TO_ETHER's NUMERIC(38,18) result: one ether is 10^18 wei.
constexpr int WEI_PER_ETHER_DIGITS = 18;

// The evaluator of decoding function `number`; null when the number is not one of them.
ScalarEvaluator quantity_function_evaluator(int number);
