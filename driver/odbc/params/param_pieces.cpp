// Values sent in pieces by SQLPutData: the pieces of character and binary data
// are joined (wide text turned into UTF-8 as it arrives), long values go
// straight into a long buffer, and the assembled value is converted once the
// statement runs. Character text that is not well-formed (UTF-8 that is malformed, wide
// text with an unpaired surrogate) is noted as it arrives and refused (22018) then.
#include <cstring>
#include <string>
#include <vector>

#include "driver/odbc/handles/frame.h"
#include "driver/odbc/params/param_internal.h"
#include "driver/odbc/params/param_types.h"
#include "driver/odbc/params/param_values.h"
#include "support/unicode.h"

namespace {

// Bytes held back until the next piece completes them: of wide text, an odd byte or a high
// surrogate whose low half has not arrived (with a possible odd byte after it); of UTF-8
// text going into a long value, the start of a character the piece cut off. They live in
// the payload of the assembled value, which character, binary and long values leave unused.
struct WideTail {
  unsigned char count;
  unsigned char bytes[3];
  unsigned char malformed;  // 1 once the text was seen not to be well-formed
};
static_assert(sizeof(WideTail) <= sizeof(QuillValue::payload));

WideTail tail_of(const QuillValue* value) {
  WideTail tail{};
  std::memcpy(&tail, &value->payload, sizeof tail);
  return tail;
}

void keep_tail(QuillValue* value, const WideTail& tail) {
  std::memcpy(&value->payload, &tail, sizeof tail);
}

bool is_high_surrogate(SQLWCHAR unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

// Converts the held-back bytes plus `size` new bytes of UTF-16 into UTF-8, keeping in `tail`
// what cannot be converted yet.
std::string wide_piece_to_utf8(const void* data, size_t size, WideTail* tail) {
  std::vector<unsigned char> bytes(tail->bytes, tail->bytes + tail->count);
  const auto* given = static_cast<const unsigned char*>(data);
  bytes.insert(bytes.end(), given, given + size);
  size_t units = bytes.size() / 2;
  std::vector<SQLWCHAR> text(units + 1, 0);
  if (units > 0) std::memcpy(text.data(), bytes.data(), units * 2);
  size_t complete = units;
  if (complete > 0 && is_high_surrogate(text[complete - 1])) --complete;
  std::string out;
  if (!utf16_to_utf8_strict(text.data(), static_cast<SQLLEN>(complete), out)) tail->malformed = 1;
  tail->count = static_cast<unsigned char>(bytes.size() - complete * 2);
  std::memcpy(tail->bytes, bytes.data() + complete * 2, tail->count);
  return out;
}

// Whether the text of a value is well-formed once no piece follows: nothing was malformed,
// no high surrogate waits for its low half and no UTF-8 character is unfinished (a lone odd
// byte of wide text is dropped).
bool tail_well_formed(const WideTail& tail, SQLSMALLINT c_type) {
  if (tail.malformed) return false;
  return c_type == SQL_C_WCHAR ? tail.count < 2 : tail.count == 0;
}

// Bytes of the piece: fixed-size types take their size; text and binary the length given
// (SQL_NTS: up to the terminating zero). -1 after posting.
SQLLEN piece_size(QuillStmt* stmt, SQLSMALLINT c_type, const void* data, SQLLEN length) {
  SQLLEN fixed = param_c_type_size(c_type);
  if (fixed > 0) return fixed;
  if (length >= 0) return length;
  if (length != SQL_NTS) {
    post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
    return -1;
  }
  if (c_type != SQL_C_WCHAR)
    return static_cast<SQLLEN>(std::strlen(static_cast<const char*>(data)));
  const auto* bytes = static_cast<const unsigned char*>(data);
  SQLLEN units = 0;
  while ((bytes[2 * units] | bytes[2 * units + 1]) != 0) ++units;
  return units * 2;
}

SQLRETURN append_long(QuillStmt* stmt, QuillValue* value, bool first, SQLSMALLINT sql_type,
                      int number, const std::string& piece) {
  if (first) {
    bool binary = sql_type == SQL_LONGVARBINARY;
    LongBuffer* buffer = allocate_long_buffer(value->pool, 0, number, param_work_dir(stmt),
                                              binary ? SQL_LONGVARBINARY : SQL_LONGVARCHAR);
    if (!buffer ||
        set_value_to_long(value, binary ? VALUE_LONG_BINARY : VALUE_LONG_CHARACTER, buffer) != 0) {
      free_long_buffer(buffer);
      return post_call_error(stmt->errors, "HY000", MSG_GENERAL_ERROR,
                             "internal error, allocate_long_buffer fails");
    }
  }
  if (append_to_long_buffer(value->long_buffer, piece.data(), piece.size()) != 0)
    return post_call_error(stmt->errors, "HY000", MSG_GENERAL_ERROR,
                           "internal error, append_to_long_buffer fails");
  return SQL_SUCCESS;
}

SQLRETURN append_bytes(QuillStmt* stmt, QuillValue* value, bool first, const std::string& piece) {
  std::string joined;
  if (!first && value->bytes.data)
    joined.assign(value->bytes.data, static_cast<size_t>(value->bytes.length));
  joined += piece;
  if (set_value_to_binary(value, joined.data(), joined.size()) != 0)
    return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  return SQL_SUCCESS;
}

}  // namespace

SQLRETURN param_values_append(QuillStmt* stmt, int number, SQLPOINTER data, SQLLEN length) {
  DescRecord* app = desc_record(stmt->apd, number, false);
  DescRecord* imp = desc_record(stmt->ipd, number, false);
  if (!app || !imp)
    return post_call_error(stmt->errors, "HY000", MSG_GENERAL_ERROR, "Parameter not bound");
  if (!imp->value && !param_values_begin_data(stmt, number, nullptr)) return SQL_ERROR;
  QuillValue* value = imp->value;
  SQLSMALLINT sql_type = imp->concise_type;
  SQLSMALLINT c_type = param_resolve_c_type(app->concise_type, sql_type);
  bool first = value->indicator == PARAM_NO_PIECE;
  if (!first && !(param_takes_pieces(sql_type) && param_c_type_is_bytes(c_type)))
    return post_call_error(stmt->errors, "HY019",
                           "Non-character and non-binary data sent in pieces");
  if (length == SQL_NULL_DATA) {
    if (!first)
      return post_call_error(stmt->errors, "HY020", "Attempt to concatenate a null value");
    int kind = param_null_kind(sql_type);
    set_value_null(value, kind == VALUE_NONE ? VALUE_CHARACTER : kind);
    return SQL_SUCCESS;
  }
  if (!first && is_value_null(value))
    return post_call_error(stmt->errors, "HY020", "Attempt to concatenate a null value");
  if (!data && length != 0) return post_call_error(stmt->errors, "HY009", MSG_NULL_POINTER);
  SQLLEN size = data ? piece_size(stmt, c_type, data, length) : 0;
  if (size < 0) return SQL_ERROR;
  WideTail tail = first ? WideTail{} : tail_of(value);
  std::string piece = c_type == SQL_C_WCHAR
                          ? wide_piece_to_utf8(data, static_cast<size_t>(size), &tail)
                          : std::string(static_cast<const char*>(data), static_cast<size_t>(size));
  bool long_value = param_is_long(sql_type) && param_c_type_is_bytes(c_type);
  // UTF-8 text going into a long value is checked piece by piece (joined text is checked
  // whole when it is converted).
  if (long_value && c_type == SQL_C_CHAR && sql_type != SQL_LONGVARBINARY && !tail.malformed &&
      !utf8_check_piece(piece.data(), piece.size(), tail.bytes, &tail.count))
    tail.malformed = 1;
  SQLRETURN rc = long_value ? append_long(stmt, value, first, sql_type, number, piece)
                            : append_bytes(stmt, value, first, piece);
  if (rc == SQL_SUCCESS) keep_tail(value, tail);
  return rc;
}

bool param_pieces_finish(QuillStmt* stmt, const DescRecord* app, DescRecord* imp, int number,
                         ParamError* error) {
  QuillValue* value = imp->value;
  if (!imp->value_pending) return true;
  SQLSMALLINT c_type = param_resolve_c_type(app->concise_type, imp->concise_type);
  bool none = value->indicator == PARAM_NO_PIECE;
  bool null = !none && is_value_null(value);
  bool text = c_type == SQL_C_WCHAR || (c_type == SQL_C_CHAR && value->long_buffer &&
                                        imp->concise_type != SQL_LONGVARBINARY);
  if (text && !none && !null && !tail_well_formed(tail_of(value), c_type))
    return param_fail(error, "22018", "Invalid character value for cast specification");
  if (value->long_buffer && !null) {
    imp->value_pending = false;  // the long value is complete
    return true;
  }
  if (none && param_c_type_size(c_type) > 0)
    return param_fail_general(error, "Parameter not bound");
  std::string bytes;
  if (!none && !null && value->bytes.data)
    bytes.assign(value->bytes.data, static_cast<size_t>(value->bytes.length));
  ParamInput input;
  input.c_type = c_type;
  input.data = bytes.data();
  input.length = static_cast<SQLLEN>(bytes.size());
  input.wide_as_utf8 = c_type == SQL_C_WCHAR;
  input.is_null = null;
  QuillValue* converted = NewValue(param_pool(stmt), 0);
  if (!converted) return param_fail(error, "HY001", "Memory allocation error");
  if (!param_convert(input, param_target_of(stmt, imp, number), converted, error)) {
    release_value(converted->pool, converted);
    return false;
  }
  release_value(value->pool, value);
  imp->value = converted;
  imp->value_pending = false;
  return true;
}
