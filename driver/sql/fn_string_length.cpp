// Character functions that measure or search: ASCII, BIT_LENGTH, CHAR_LENGTH and
// OCTET_LENGTH, LEN/LENGTH, LOCATE and POSITION.
#include "driver/sql/fn_string_internal.h"

namespace fn_string {

namespace {

// Applies `measure` to the single text argument; NULL in, NULL out.
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
  return integer_result(arguments, measure(std::string_view(text)));
}

}  // namespace

QuillValue* ascii_body(const Arguments& arguments) {
  return measure_text(arguments, [](std::string_view text) -> int64_t {
    return text.empty() ? 0 : static_cast<signed char>(text[0]);
  });
}

QuillValue* bit_length_body(const Arguments& arguments) {
  return measure_text(arguments, [](std::string_view text) -> int64_t {
    return static_cast<int64_t>(text.size()) * 8;
  });
}

QuillValue* octet_length_body(const Arguments& arguments) {
  return measure_text(arguments,
                      [](std::string_view text) -> int64_t { return int64_t(text.size()); });
}

QuillValue* trimmed_length_body(const Arguments& arguments) {
  return measure_text(arguments, [](std::string_view text) -> int64_t {
    return int64_t(trim_trailing_spaces(text).size());
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
  if (static_cast<uint64_t>(start - 1) > haystack.size()) return integer_result(arguments, 0);
  size_t found = haystack.find(needle, static_cast<size_t>(start - 1));
  return integer_result(arguments, found == std::string::npos ? 0 : int64_t(found) + 1);
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
  return integer_result(arguments, found == std::string::npos ? 0 : int64_t(found) + 1);
}

}  // namespace fn_string
