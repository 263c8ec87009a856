// Character functions that cut or change their input: LCASE/UCASE, LEFT, RIGHT, LTRIM,
// RTRIM and SUBSTRING/SUBSTR/MID. Counts and starts are characters of UTF-8 text (bytes of
// binary data), so a cut never falls inside a character; case changes touch ASCII letters
// only and so leave every other character whole.
#include "driver/sql/fn_string_internal.h"

namespace fn_string {

namespace {

// Reads the text argument and, when present, the integer argument `count_index`.
// Returns kValue with both read, kNull when either is NULL, kError after an error.
Read text_and_count(const Arguments& arguments, int count_index, std::string* text,
                    int64_t* count) {
  Read text_read = text_argument(arguments, 0, text);
  if (text_read == Read::kError) return Read::kError;
  Read count_read = integer_argument(arguments, count_index, count);
  if (count_read == Read::kError) return Read::kError;
  return text_read == Read::kNull || count_read == Read::kNull ? Read::kNull : Read::kValue;
}

// Applies `edit` to the single text argument; NULL in, NULL out.
template <typename Edit>
QuillValue* edit_text(const Arguments& arguments, Edit edit) {
  std::string text;
  switch (text_argument(arguments, 0, &text)) {
    case Read::kError:
      return nullptr;
    case Read::kNull:
      return null_result(arguments, VALUE_CHARACTER);
    case Read::kValue:
      break;
  }
  return text_result(arguments, edit(std::string_view(text)));
}

// Case conversion touches the ASCII letters only, whatever the locale.
std::string with_case(std::string_view text, char from_first, char to_first) {
  std::string result(text);
  for (char& byte : result)
    if (byte >= from_first && byte <= from_first + 25)
      byte = static_cast<char>(byte - from_first + to_first);
  return result;
}

}  // namespace

QuillValue* lower_body(const Arguments& arguments) {
  return edit_text(arguments, [](std::string_view text) { return with_case(text, 'A', 'a'); });
}

QuillValue* upper_body(const Arguments& arguments) {
  return edit_text(arguments, [](std::string_view text) { return with_case(text, 'a', 'A'); });
}

QuillValue* ltrim_body(const Arguments& arguments) {
  return edit_text(arguments, [](std::string_view text) {
    size_t first = text.find_first_not_of(' ');
    return first == std::string_view::npos ? std::string_view() : text.substr(first);
  });
}

QuillValue* rtrim_body(const Arguments& arguments) {
  return edit_text(arguments, [](std::string_view text) { return trim_trailing_spaces(text); });
}

QuillValue* left_body(const Arguments& arguments) {
  std::string text;
  int64_t count = 0;
  switch (text_and_count(arguments, 1, &text, &count)) {
    case Read::kError:
      return nullptr;
    case Read::kNull:
      return null_result(arguments, VALUE_CHARACTER);
    case Read::kValue:
      break;
  }
  // A negative count takes nothing.
  if (count < 0) count = 0;
  size_t take = unit_offset(text, static_cast<uint64_t>(count), counts_characters(arguments, 0));
  return text_result(arguments, std::string_view(text).substr(0, take));
}

QuillValue* right_body(const Arguments& arguments) {
  std::string text;
  int64_t count = 0;
  switch (text_and_count(arguments, 1, &text, &count)) {
    case Read::kError:
      return nullptr;
    case Read::kNull:
      return null_result(arguments, VALUE_CHARACTER);
    case Read::kValue:
      break;
  }
  std::string_view trimmed = trim_trailing_spaces(text);
  bool characters = counts_characters(arguments, 0);
  int64_t units = text_units(trimmed, characters);
  if (count < 0 || count >= units) return text_result(arguments, trimmed);
  size_t from = unit_offset(trimmed, static_cast<uint64_t>(units - count), characters);
  return text_result(arguments, trimmed.substr(from));
}

QuillValue* substring_body(const Arguments& arguments) {
  std::string text;
  int64_t start = 0;
  switch (text_and_count(arguments, 1, &text, &start)) {
    case Read::kError:
      return nullptr;
    case Read::kNull:
      return null_result(arguments, VALUE_CHARACTER);
    case Read::kValue:
      break;
  }
  int64_t length = -1;
  bool has_length = arguments.count > 2;
  if (has_length) {
    switch (integer_argument(arguments, 2, &length)) {
      case Read::kError:
        return nullptr;
      case Read::kNull:
        return null_result(arguments, VALUE_CHARACTER);
      case Read::kValue:
        break;
    }
  }
  std::string_view trimmed = trim_trailing_spaces(text);
  bool characters = counts_characters(arguments, 0);
  // Starts of 0 and below, or past the end, select nothing; so does a negative length.
  if (start < 1 || start > text_units(trimmed, characters) || (has_length && length < 0))
    return text_result(arguments, std::string_view());
  std::string_view rest =
      trimmed.substr(unit_offset(trimmed, static_cast<uint64_t>(start - 1), characters));
  if (has_length)
    rest = rest.substr(0, unit_offset(rest, static_cast<uint64_t>(length), characters));
  return text_result(arguments, rest);
}

}  // namespace fn_string
