// Character, wide-character and binary targets: the next piece of a value's
// text (or bytes) from its read position, the length of what remains, and the
// truncation warning when the piece does not hold the rest. Wide text is real
// UTF-16 of the UTF-8 text, cut only between whole characters.

#include <cstring>
#include <vector>

#include "driver/odbc/convert/convert_internal.h"
#include "support/strbuf.h"

namespace convert {

namespace {

constexpr uint32_t kReplacement = 0xFFFD;
// Bytes examined per step when the UTF-16 length of a long remainder is counted.
constexpr size_t kCountChunk = 64 * 1024;

bool is_continuation(unsigned char byte) {
  return (byte & 0xC0) == 0x80;
}

// Decodes the character at `s` (`available` bytes). Returns the bytes it takes, or 0 when the
// sequence is cut short by the end of `available` (more bytes may follow). A malformed byte
// decodes as U+FFFD taking one byte.
size_t decode_utf8(const unsigned char* s, size_t available, uint32_t* code) {
  unsigned char lead = s[0];
  size_t need = 0;
  uint32_t cp = 0;
  uint32_t min = 0;
  if (lead < 0x80) {
    *code = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    need = 2, cp = lead & 0x1F, min = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    need = 3, cp = lead & 0x0F, min = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    need = 4, cp = lead & 0x07, min = 0x10000;
  } else {
    *code = kReplacement;
    return 1;
  }
  for (size_t i = 1; i < need; ++i) {
    if (i >= available) return 0;
    if (!is_continuation(s[i])) {
      *code = kReplacement;
      return 1;
    }
    cp = (cp << 6) | (s[i] & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    *code = kReplacement;
    return 1;
  }
  *code = cp;
  return need;
}

// Decodes at `s` where `at_end` says no bytes follow `available`: a short sequence is malformed.
size_t decode_at(const unsigned char* s, size_t available, bool at_end, uint32_t* code) {
  size_t used = decode_utf8(s, available, code);
  if (used == 0 && at_end) {
    *code = kReplacement;
    return 1;
  }
  return used;
}

size_t utf16_units(uint32_t code) {
  return code >= 0x10000 ? 2 : 1;
}

// The largest limit <= `limit` that does not split a character of a UTF-8 source.
bool whole_character_limit(PieceSource& source, uint64_t limit, uint64_t* cut) {
  *cut = limit;
  if (!source.utf8 || limit >= source.total() || limit == 0) return true;
  uint64_t start = limit >= 3 ? limit - 3 : 0;
  char window[4];
  size_t count = static_cast<size_t>(limit - start + 1);
  if (!source.read(start, count, window)) return false;
  *cut = start + utf8_truncation_point(window, count, count - 1);
  return true;
}

// UTF-16 units of the source's units [from, to).
bool count_utf16(PieceSource& source, uint64_t from, uint64_t to, uint64_t* units) {
  std::vector<unsigned char> chunk;
  *units = 0;
  uint64_t at = from;
  while (at < to) {
    size_t size = static_cast<size_t>(to - at < kCountChunk ? to - at : kCountChunk);
    chunk.resize(size);
    if (!source.read(at, size, reinterpret_cast<char*>(chunk.data()))) return false;
    bool at_end = at + size == to;
    size_t i = 0;
    while (i < size) {
      uint32_t code = 0;
      size_t used = decode_at(chunk.data() + i, size - i, at_end, &code);
      if (used == 0 && i == 0) used = 1, code = kReplacement;  // cannot grow: count it as is
      if (used == 0) break;                                    // completed by the next chunk
      *units += utf16_units(code);
      i += used;
    }
    at += i;
  }
  return true;
}

// The end of the units a call may hand out (SQL_ATTR_MAX_LENGTH caps the whole value).
bool delivery_limit(PieceSource& source, const ResultTarget& target, uint64_t* limit) {
  uint64_t total = source.total();
  if (target.max_length > 0 && target.max_length < total)
    return whole_character_limit(source, target.max_length, limit);
  *limit = total;
  return true;
}

// True when every unit up to `limit` was already handed out (an empty value counts as handed
// out once its one empty piece was returned).
bool exhausted(uint64_t position, uint64_t limit) {
  return position > limit || (position == limit && limit > 0);
}

SQLRETURN read_failure(ErrorHeader* errors) {
  return fail_general(errors, "long data cannot be read");
}

SQLRETURN narrow_piece(ErrorHeader* errors, PieceSource& source, const ResultTarget& target) {
  uint64_t limit = 0;
  if (!delivery_limit(source, target, &limit)) return read_failure(errors);
  uint64_t position = source.position();
  if (exhausted(position, limit)) return SQL_NO_DATA;
  uint64_t remaining = limit - position;
  SQLLEN buffer_length = usable_length(target);
  auto* out = static_cast<char*>(target.buffer);
  report_length(target, as_length(remaining));
  if (remaining == 0) {
    if (out && buffer_length > 0) out[0] = '\0';
    return source.advance_to(1) ? SQL_SUCCESS : read_failure(errors);
  }
  if (!out || buffer_length == 0) return warn(errors, "01004");
  uint64_t room = static_cast<uint64_t>(buffer_length - 1);
  size_t count = static_cast<size_t>(remaining < room ? remaining : room);
  if (count < remaining && source.utf8) {
    // One unit more shows whether the cut would split a character; it fits the buffer.
    if (!source.read(position, count + 1, out)) return read_failure(errors);
    count = utf8_truncation_point(out, count + 1, count);
  } else if (!source.read(position, count, out)) {
    return read_failure(errors);
  }
  out[count] = '\0';
  if (!source.advance_to(position + count)) return read_failure(errors);
  return count < remaining ? warn(errors, "01004") : SQL_SUCCESS;
}

void put_unit(char* out, size_t index, SQLWCHAR unit) {
  std::memcpy(out + index * sizeof(SQLWCHAR), &unit, sizeof unit);
}

SQLRETURN wide_piece(ErrorHeader* errors, PieceSource& source, const ResultTarget& target) {
  uint64_t limit = 0;
  if (!delivery_limit(source, target, &limit)) return read_failure(errors);
  uint64_t position = source.position();
  if (exhausted(position, limit)) return SQL_NO_DATA;
  uint64_t remaining = limit - position;
  uint64_t units_left = 0;
  // Counting the whole rest for every piece would make reading a long value in pieces take
  // time in the square of its length; the count of the rest is remembered between pieces.
  if (!source.recall_units(position, limit, &units_left) &&
      !count_utf16(source, position, limit, &units_left))
    return read_failure(errors);
  report_length(target, as_length(units_left * sizeof(SQLWCHAR)));
  auto* out = static_cast<char*>(target.buffer);
  size_t capacity = static_cast<size_t>(usable_length(target)) / sizeof(SQLWCHAR);
  if (remaining == 0) {
    if (out && capacity > 0) put_unit(out, 0, 0);
    return source.advance_to(1) ? SQL_SUCCESS : read_failure(errors);
  }
  if (!out || capacity == 0) return warn(errors, "01004");
  size_t room = capacity - 1;
  // A UTF-16 unit never comes from more than three bytes; a few more bytes complete the last
  // character looked at.
  uint64_t wanted = static_cast<uint64_t>(room) * 3 + 4;
  size_t size = static_cast<size_t>(remaining < wanted ? remaining : wanted);
  std::vector<unsigned char> bytes(size);
  if (!source.read(position, size, reinterpret_cast<char*>(bytes.data())))
    return read_failure(errors);
  bool at_end = size == remaining;
  size_t used_bytes = 0;
  size_t written = 0;
  while (used_bytes < size) {
    uint32_t code = 0;
    size_t used = decode_at(bytes.data() + used_bytes, size - used_bytes, at_end, &code);
    if (used == 0 || written + utf16_units(code) > room) break;
    if (code >= 0x10000) {
      code -= 0x10000;
      put_unit(out, written++, static_cast<SQLWCHAR>(0xD800 + (code >> 10)));
      put_unit(out, written++, static_cast<SQLWCHAR>(0xDC00 + (code & 0x3FF)));
    } else {
      put_unit(out, written++, static_cast<SQLWCHAR>(code));
    }
    used_bytes += used;
  }
  put_unit(out, written, 0);
  if (!source.advance_to(position + used_bytes)) return read_failure(errors);
  // The characters handed out decode the same way when the rest is counted, so the rest
  // holds exactly the units not written.
  source.remember_units(position + used_bytes, limit, units_left - written);
  return used_bytes < remaining ? warn(errors, "01004") : SQL_SUCCESS;
}

}  // namespace

SQLRETURN to_text(ErrorHeader* errors, QuillValue* value, const ResultTarget& target, bool wide) {
  std::string scratch;
  std::unique_ptr<PieceSource> source = text_source(value, scratch);
  return wide ? wide_piece(errors, *source, target) : narrow_piece(errors, *source, target);
}

SQLRETURN to_binary(ErrorHeader* errors, QuillValue* value, const ResultTarget& target) {
  std::string scratch;
  std::unique_ptr<PieceSource> source = image_source(value, scratch);
  if (!source) return fail(errors, "07006");
  uint64_t limit = source->total();
  if (target.max_length > 0 && target.max_length < limit) limit = target.max_length;
  uint64_t position = source->position();
  if (exhausted(position, limit)) return SQL_NO_DATA;
  uint64_t remaining = limit - position;
  report_length(target, as_length(remaining));
  if (remaining == 0) return source->advance_to(1) ? SQL_SUCCESS : read_failure(errors);
  SQLLEN buffer_length = usable_length(target);
  if (!target.buffer || buffer_length == 0) return warn(errors, "01004");
  uint64_t room = static_cast<uint64_t>(buffer_length);
  size_t count = static_cast<size_t>(remaining < room ? remaining : room);
  if (!source->read(position, count, static_cast<char*>(target.buffer)))
    return read_failure(errors);
  if (!source->advance_to(position + count)) return read_failure(errors);
  return count < remaining ? warn(errors, "01004") : SQL_SUCCESS;
}

}  // namespace convert
