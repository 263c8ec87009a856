// VAL: the number at the start of a text, read the way BASIC's Val reads it (white space
// ignored anywhere, &H and &O prefixes for hexadecimal and octal). Radix numbers wider than
// 32 bits are read exactly while a double holds them and refused (22003) beyond, never
// wrapped.
#include <cctype>
#include <cstdlib>

#include "driver/sql/fn_string_internal.h"
#include "support/value.h"

namespace fn_string {

namespace {

bool is_white(char byte) {
  return std::isspace(static_cast<unsigned char>(byte)) != 0;
}

int digit_value(char byte, int radix) {
  int value = -1;
  if (byte >= '0' && byte <= '9')
    value = byte - '0';
  else if (byte >= 'a' && byte <= 'f')
    value = byte - 'a' + 10;
  else if (byte >= 'A' && byte <= 'F')
    value = byte - 'A' + 10;
  return value >= 0 && value < radix ? value : -1;
}

// Largest whole number a double holds exactly along with every smaller one (2^53).
constexpr uint64_t kExactDoubleLimit = uint64_t{1} << 53;

// Hexadecimal or octal digits from `at`: up to four digits make a 16-bit signed number and
// a value within 32 bits a 32-bit signed one, as BASIC reads them; a wider value is read as
// it is. False when it exceeds 2^53, where a double would no longer hold it exactly.
bool radix_number(std::string_view text, size_t at, int radix, double* out) {
  uint64_t number = 0;
  int digits = 0;
  for (; at < text.size(); ++at) {
    if (is_white(text[at])) continue;
    int digit = digit_value(text[at], radix);
    if (digit < 0) break;
    number = number * static_cast<uint64_t>(radix) + static_cast<uint64_t>(digit);
    if (number > kExactDoubleLimit) return false;
    ++digits;
  }
  if (digits <= 4)
    *out = static_cast<int16_t>(static_cast<uint16_t>(number));
  else if (number <= UINT32_MAX)
    *out = static_cast<int32_t>(static_cast<uint32_t>(number));
  else
    *out = static_cast<double>(number);
  return true;
}

// Decimal digits and points from `at` (a sign is taken first), converted with atof.
double decimal_number(std::string_view text, size_t at) {
  std::string collected;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) collected.push_back(text[at++]);
  for (; at < text.size(); ++at) {
    if (is_white(text[at])) continue;
    if (!std::isdigit(static_cast<unsigned char>(text[at])) && text[at] != '.') break;
    collected.push_back(text[at]);
  }
  return std::atof(collected.c_str());
}

}  // namespace

QuillValue* val_body(const Arguments& arguments) {
  std::string text;
  switch (text_argument(arguments, 0, &text)) {
    case Read::kError:
      return nullptr;
    case Read::kNull:
      return null_result(arguments, VALUE_DOUBLE);
    case Read::kValue:
      break;
  }
  size_t at = 0;
  while (at < text.size() && is_white(text[at])) ++at;
  double number = 0;
  EvalContext* context = arguments.context;
  int radix = 0;
  if (at + 1 < text.size() && text[at] == '&' && (text[at + 1] == 'H' || text[at + 1] == 'h'))
    radix = 16;
  else if (at + 1 < text.size() && text[at] == '&' && (text[at + 1] == 'O' || text[at + 1] == 'o'))
    radix = 8;
  if (radix == 0)
    number = decimal_number(text, at);
  else if (!radix_number(text, at + 2, radix, &number))
    return eval_error(context, "22003", "Numeric value out of range");
  QuillValue* result = NewValue(context != nullptr ? context->pool : nullptr, 0);
  if (result == nullptr) return eval_error(context, "HY001", "%s", arguments.memory_message);
  set_value_to_double(result, number);
  return result;
}

}  // namespace fn_string
