// Character functions whose result can outgrow their input: CHAR, CONCAT, INSERT, REPEAT,
// REPLACE and SPACE. Results REPEAT, SPACE and REPLACE build are held to
// MAX_GENERATED_TEXT_BYTES so a large count cannot exhaust memory.
#include "driver/sql/fn_string.h"
#include "driver/sql/fn_string_internal.h"

namespace fn_string {

namespace {

QuillValue* too_long(const Arguments& arguments) {
  return eval_error(arguments.context, "22001", "String data, right truncated");
}

// `copies` copies of `unit` (none for copies below 1), or 22001 past the size limit.
QuillValue* repeated(const Arguments& arguments, std::string_view unit, int64_t copies) {
  if (copies < 1 || unit.empty()) return text_result(arguments, std::string_view());
  if (static_cast<uint64_t>(copies) > MAX_GENERATED_TEXT_BYTES / unit.size())
    return too_long(arguments);
  std::string result;
  result.reserve(unit.size() * static_cast<size_t>(copies));
  for (int64_t i = 0; i < copies; ++i) result.append(unit);
  return text_result(arguments, result);
}

}  // namespace

QuillValue* char_body(const Arguments& arguments) {
  int64_t code = 0;
  switch (integer_argument(arguments, 0, &code)) {
    case Read::kError:
      return nullptr;
    case Read::kNull:
      return null_result(arguments, VALUE_CHARACTER);
    case Read::kValue:
      break;
  }
  const char byte = static_cast<char>(static_cast<uint64_t>(code) & 0xFF);
  return text_result(arguments, std::string_view(&byte, 1));
}

QuillValue* concat_body(const Arguments& arguments) {
  std::string first, second;
  Read first_read = text_argument(arguments, 0, &first);
  if (first_read == Read::kError) return nullptr;
  Read second_read = text_argument(arguments, 1, &second);
  if (second_read == Read::kError) return nullptr;
  if (first_read == Read::kNull || second_read == Read::kNull)
    return null_result(arguments, VALUE_CHARACTER);
  first.resize(trim_trailing_spaces(first).size());
  first.append(trim_trailing_spaces(second));
  return text_result(arguments, first);
}

QuillValue* insert_body(const Arguments& arguments) {
  std::string source, insertion;
  int64_t start = 0, length = 0;
  Read reads[] = {text_argument(arguments, 0, &source), integer_argument(arguments, 1, &start),
                  integer_argument(arguments, 2, &length), text_argument(arguments, 3, &insertion)};
  for (Read read : reads)
    if (read == Read::kError) return nullptr;
  for (Read read : reads)
    if (read == Read::kNull) return null_result(arguments, VALUE_CHARACTER);
  std::string_view text = trim_trailing_spaces(source);
  bool characters = counts_characters(arguments, 0);
  const uint64_t size = static_cast<uint64_t>(text_units(text, characters));
  // Characters kept in front: start - 1, none for a start of 1 or less, all past the end.
  uint64_t head = start <= 1 ? 0 : static_cast<uint64_t>(start - 1);
  if (head > size) head = size;
  // The tail resumes after start - 1 + length characters (exact in 128 bits); a negative
  // length removes nothing.
  __int128 resume = static_cast<__int128>(start) - 1 + (length > 0 ? length : 0);
  uint64_t tail = resume <= static_cast<__int128>(head)   ? head
                  : resume >= static_cast<__int128>(size) ? size
                                                          : static_cast<uint64_t>(resume);
  // From characters to byte offsets.
  head = unit_offset(text, head, characters);
  tail = unit_offset(text, tail, characters);
  std::string result(text.substr(0, head));
  result.append(trim_trailing_spaces(insertion));
  result.append(text.substr(tail));
  return text_result(arguments, result);
}

QuillValue* repeat_body(const Arguments& arguments) {
  std::string unit;
  int64_t copies = 0;
  Read unit_read = text_argument(arguments, 0, &unit);
  if (unit_read == Read::kError) return nullptr;
  Read copies_read = integer_argument(arguments, 1, &copies);
  if (copies_read == Read::kError) return nullptr;
  if (unit_read == Read::kNull || copies_read == Read::kNull)
    return null_result(arguments, VALUE_CHARACTER);
  return repeated(arguments, trim_trailing_spaces(unit), copies);
}

QuillValue* space_body(const Arguments& arguments) {
  int64_t count = 0;
  switch (integer_argument(arguments, 0, &count)) {
    case Read::kError:
      return nullptr;
    case Read::kNull:
      return null_result(arguments, VALUE_CHARACTER);
    case Read::kValue:
      break;
  }
  return repeated(arguments, " ", count);
}

QuillValue* replace_body(const Arguments& arguments) {
  std::string source, find, with;
  Read reads[] = {text_argument(arguments, 0, &source), text_argument(arguments, 1, &find),
                  text_argument(arguments, 2, &with)};
  for (Read read : reads)
    if (read == Read::kError) return nullptr;
  for (Read read : reads)
    if (read == Read::kNull) return null_result(arguments, VALUE_CHARACTER);
  std::string_view text = trim_trailing_spaces(source);
  std::string_view pattern = trim_trailing_spaces(find);
  std::string_view replacement = trim_trailing_spaces(with);
  // An empty pattern would match everywhere without advancing: leave the text alone.
  if (pattern.empty()) return text_result(arguments, text);
  const size_t limit =
      text.size() > MAX_GENERATED_TEXT_BYTES ? text.size() : MAX_GENERATED_TEXT_BYTES;
  std::string result;
  size_t from = 0;
  for (size_t at = text.find(pattern); at != std::string_view::npos;
       at = text.find(pattern, from)) {
    result.append(text.substr(from, at - from));
    result.append(replacement);
    from = at + pattern.size();
    if (result.size() > limit) return too_long(arguments);
  }
  result.append(text.substr(from));
  if (result.size() > limit) return too_long(arguments);
  return text_result(arguments, result);
}

}  // namespace fn_string
