// SOUNDEX and DIFFERENCE: the four-character phonetic code of a text and the distance
// between two codes.
#include <cstdlib>

#include "driver/sql/fn_string_internal.h"

namespace fn_string {

namespace {

// Code digit of each letter A..Z.
constexpr char kLetterCodes[] = "01230120022455012623010202";

char ascii_upper(char byte) {
  return byte >= 'a' && byte <= 'z' ? char(byte - 'a' + 'A') : byte;
}

bool is_ascii_letter(char byte) {
  char upper = ascii_upper(byte);
  return upper >= 'A' && upper <= 'Z';
}

// The code of `text` (letter and three digits); false when it does not start with a letter.
bool soundex_code(std::string_view text, char code[5]) {
  if (text.empty() || !is_ascii_letter(text[0])) return false;
  code[0] = ascii_upper(text[0]);
  code[1] = code[2] = code[3] = '0';
  code[4] = '\0';
  int written = 1;
  for (size_t i = 1; i < text.size() && written < 4; ++i) {
    if (!is_ascii_letter(text[i])) continue;
    char digit = kLetterCodes[ascii_upper(text[i]) - 'A'];
    // Zeros are never written, so they do not separate equal codes.
    if (digit != '0' && digit != code[written - 1]) code[written++] = digit;
  }
  return true;
}

int code_number(const char code[5]) {
  return (code[1] - '0') * 100 + (code[2] - '0') * 10 + (code[3] - '0');
}

}  // namespace

QuillValue* soundex_body(const Arguments& arguments) {
  std::string text;
  switch (text_argument(arguments, 0, &text)) {
    case Read::kError:
      return nullptr;
    case Read::kNull:
      return null_result(arguments, VALUE_CHARACTER);
    case Read::kValue:
      break;
  }
  char code[5];
  if (!soundex_code(text, code)) return null_result(arguments, VALUE_CHARACTER);
  return text_result(arguments, std::string_view(code, 4));
}

QuillValue* difference_body(const Arguments& arguments) {
  std::string first, second;
  Read first_read = text_argument(arguments, 0, &first);
  if (first_read == Read::kError) return nullptr;
  Read second_read = text_argument(arguments, 1, &second);
  if (second_read == Read::kError) return nullptr;
  if (first_read == Read::kNull || second_read == Read::kNull)
    return null_result(arguments, VALUE_INTEGER);
  char first_code[5], second_code[5];
  bool first_coded = soundex_code(first, first_code);
  bool second_coded = soundex_code(second, second_code);
  if (!first_coded && !second_coded) return integer_result(arguments, 0);
  if (!first_coded || !second_coded) return integer_result(arguments, 27000);
  return integer_result(arguments,
                        std::abs(first_code[0] - second_code[0]) * 1000 +
                            std::abs(code_number(first_code) - code_number(second_code)));
}

}  // namespace fn_string
