// Character functions that measure or search: ASCII, BIT_LENGTH, CHAR_LENGTH and
// OCTET_LENGTH, LEN/LENGTH, LOCATE and POSITION. Lengths and positions of character data
// count UTF-8 characters (OCTET_LENGTH and BIT_LENGTH count bytes); binary data counts bytes.
#include "driver/sql/fn_string_internal.h"

namespace fn_string {

namespace {

// Applies `measure` (given the text and whether it counts characters) to the single text
// argument; NULL in, NULL out.
template <typename Measure>
QuillValue* measure_text(const Arguments& arguments, Measure measure) {
  std::string text;
  switch (text_argument(arguments, 0, &text)) {
    case Read::kError:
      return nullptr;
    case Read::kNull:
      return null_result(arguments, VALUE_INTEGER);
    case Read::kValue:
      break;
  }
  return integer_result(arguments,
                        measure(std::string_view(text), counts_characters(arguments, 0)));
}

// The 1-based position, in the haystack's units, of the match at byte `found`; 0 for none.
int64_t position_of(std::string_view haystack, size_t found, bool characters) {
  if (found == std::string::npos) return 0;
  return text_units(haystack.substr(0, found), characters) + 1;
}

}  // namespace

QuillValue* ascii_body(const Arguments& arguments) {
  return measure_text(arguments, [](std::string_view text, bool) -> int64_t {
    return text.empty() ? 0 : static_cast<signed char>(text[0]);
  });
}

QuillValue* bit_length_body(const Arguments& arguments) {
  return measure_text(arguments, [](std::string_view text, bool) -> int64_t {
    return static_cast<int64_t>(text.size()) * 8;
  });
}

QuillValue* char_length_body(const Arguments& arguments) {
  return measure_text(arguments, [](std::string_view text, bool characters) {
    return text_units(text, characters);
  });
}

QuillValue* octet_length_body(const Arguments& arguments) {
  return measure_text(arguments,
                      [](std::string_view text, bool) -> int64_t { return int64_t(text.size()); });
}

QuillValue* trimmed_length_body(const Arguments& arguments) {
  return measure_text(arguments, [](std::string_view text, bool characters) {
    return text_units(trim_trailing_spaces(text), characters);
  });
}

QuillValue* locate_body(const Arguments& arguments) {
  std::string needle, haystack;
  Read needle_read = text_argument(arguments, 0, &needle);
  if (needle_read == Read::kError) return nullptr;
  Read haystack_read = text_argument(arguments, 1, &haystack);
  if (haystack_read == Read::kError) return nullptr;
  int64_t start = 1;
  if (arguments.count > 2) {
    // A NULL start counts as 1, so it does not make the result NULL.
    if (integer_argument(arguments, 2, &start) == Read::kError) return nullptr;
  }
  if (needle_read == Read::kNull || haystack_read == Read::kNull)
    return null_result(arguments, VALUE_INTEGER);
  if (start < 1) start = 1;
  bool characters = counts_characters(arguments, 1);
  if (start - 1 > text_units(haystack, characters)) return integer_result(arguments, 0);
  size_t from = unit_offset(haystack, static_cast<uint64_t>(start - 1), characters);
  return integer_result(arguments, position_of(haystack, haystack.find(needle, from), characters));
}

QuillValue* position_body(const Arguments& arguments) {
  std::string needle, haystack;
  Read needle_read = text_argument(arguments, 0, &needle);
  if (needle_read == Read::kError) return nullptr;
  Read haystack_read = text_argument(arguments, 1, &haystack);
  if (haystack_read == Read::kError) return nullptr;
  if (needle_read == Read::kNull || haystack_read == Read::kNull)
    return null_result(arguments, VALUE_INTEGER);
  size_t found = haystack.find(trim_trailing_spaces(needle));
  return integer_result(arguments, position_of(haystack, found, counts_characters(arguments, 1)));
}

}  // namespace fn_string
