// Node quantities read as numbers and times: a "0x" hex quantity (of any width) as its
// decimal digits, and Unix seconds as a UTC timestamp. Pure functions, no diagnostics.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <string_view>

// The decimal digits of a hex quantity ("0x" or "0X", then one or more hex digits), without
// leading zeros ("0" for zero); false when `text` is not a hex quantity.
bool eth_hex_to_decimal(std::string_view text, std::string* digits);
// The value of decimal digits (no sign) when it fits a signed 64-bit integer.
bool eth_decimal_to_int64(const std::string& digits, int64_t* out);
// The UTC date and time `seconds` after 1970-01-01 00:00:00; false beyond the year 9999.
bool eth_unix_to_timestamp(int64_t seconds, SQL_TIMESTAMP_STRUCT* out);
// "YYYY-MM-DD HH:MM:SS" of a timestamp.
std::string eth_timestamp_text(const SQL_TIMESTAMP_STRUCT& stamp);
// The SQL_NUMERIC_STRUCT (scale 0, positive) of at most 38 decimal digits.
void eth_decimal_to_numeric(const std::string& digits, int precision, SQL_NUMERIC_STRUCT* out);
