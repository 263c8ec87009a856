// Values sent in pieces by SQLPutData: the pieces of character and binary data
// are joined (wide text turned into UTF-8 as it arrives), long values go
// straight into a long buffer, and the assembled value is converted once the
// statement runs.
#include <cstring>
#include <string>
#include <vector>

#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/param_internal.h"
#include "driver/odbc/handles/param_types.h"
#include "driver/odbc/handles/param_values.h"
#include "support/unicode.h"

namespace {

// Bytes of wide text held back until the next piece completes them: an odd byte, or a high
// surrogate whose low half has not arrived (with a possible odd byte after it). They live in
// the payload of the assembled value, which character, binary and long values leave unused.
struct WideTail {
  unsigned char count;
  unsigned char bytes[3];
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
  utf16_to_utf8(text.data(), static_cast<SQLLEN>(complete), out);
  tail->count = static_cast<unsigned char>(bytes.size() - complete * 2);
  std::memcpy(tail->bytes, bytes.data() + complete * 2, tail->count);
  return out;
}

// What is left of a tail when no piece follows: a lone high surrogate becomes U+FFFD, a lone
// odd byte is dropped.
std::string tail_at_end(const WideTail& tail) {
  return tail.count >= 2 ? std::string("\xEF\xBF\xBD") : std::string();
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
  SQLRETURN rc = param_is_long(sql_type) && param_c_type_is_bytes(c_type)
                     ? append_long(stmt, value, first, sql_type, number, piece)
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
  std::string rest = c_type == SQL_C_WCHAR && !none && !null ? tail_at_end(tail_of(value)) : "";
  if (value->long_buffer && !null) {
    // The long value is complete; only a held-back wide character may remain.
    if (!rest.empty() && append_to_long_buffer(value->long_buffer, rest.data(), rest.size()) != 0)
      return param_fail_general(error, "internal error, append_to_long_buffer fails");
    imp->value_pending = false;
    return true;
  }
  if (none && param_c_type_size(c_type) > 0)
    return param_fail_general(error, "Parameter not bound");
  std::string bytes;
  if (!none && !null && value->bytes.data)
    bytes.assign(value->bytes.data, static_cast<size_t>(value->bytes.length));
  bytes += rest;
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
