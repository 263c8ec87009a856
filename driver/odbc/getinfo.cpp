// SQLGetInfo and SQLGetInfoW: answers about the driver and the data source, taken from
// the answer table; the wide form only widens the text answers.
#include <climits>
#include <cstring>
#include <string>

#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/info/info_table.h"
#include "driver/odbc/connect/own_binary.h"
#include "support/strbuf.h"
#include "support/threads.h"
#include "support/unicode.h"

static const char* const kUnit = "getinfo";

namespace {

// Before a connection exists only the ODBC versions may be asked; while browsing, nothing.
SQLRETURN check_state(QuillDbc* dbc, SQLUSMALLINT type) {
  int state = dbc_state(dbc);
  bool version_question = type == SQL_ODBC_VER || type == SQL_DRIVER_ODBC_VER;
  if (state == DBC_BROWSING || (state == DBC_ALLOCATED && !version_question))
    return post_call_error(dbc->errors, "08003", MSG_NO_CONNECTION);
  return SQL_SUCCESS;
}

// The text of a text answer (never null).
const char* text_of(const QuillDbc* dbc, const InfoAnswer& answer) {
  switch (answer.kind) {
    case InfoKind::Text:
      return answer.text;
    case InfoKind::ConnectionText: {
      const char* value = get_attribute_value(&dbc->attributes, answer.text);
      return value ? value : "";
    }
    case InfoKind::DriverFileName:
      return driver_file_name();
    default:
      return "";
  }
}

SQLRETURN put_number(const InfoAnswer& answer, SQLPOINTER value, SQLSMALLINT* length) {
  if (answer.kind == InfoKind::Small) {
    auto number = static_cast<SQLUSMALLINT>(answer.number);
    if (value) std::memcpy(value, &number, sizeof number);
    if (length) *length = sizeof number;
    return SQL_SUCCESS;
  }
  // The caller's own value is left where it is: handing it back means not touching it.
  if (answer.kind != InfoKind::EchoHandle && value) {
    SQLUINTEGER number = answer.number;
    std::memcpy(value, &number, sizeof number);
  }
  if (length) *length = sizeof(SQLUINTEGER);
  return SQL_SUCCESS;
}

SQLRETURN put_text(QuillDbc* dbc, const char* text, SQLPOINTER value, SQLSMALLINT buffer_length,
                   SQLSMALLINT* length) {
  if (copy_str_buffer(value, buffer_length, length, text))
    return post_call_warning(dbc->errors, "01004", MSG_TRUNCATED);
  return SQL_SUCCESS;
}

// `buffer_length` counts bytes; the text goes out as UTF-16, cut at whole characters.
SQLRETURN put_text_wide(QuillDbc* dbc, const char* text, SQLPOINTER value,
                        SQLSMALLINT buffer_length, SQLSMALLINT* length) {
  std::u16string wide;
  utf8_to_utf16(text, std::strlen(text), wide);
  size_t bytes = wide.size() * sizeof(SQLWCHAR);
  if (length) *length = static_cast<SQLSMALLINT>(bytes > SHRT_MAX ? SHRT_MAX : bytes);
  size_t capacity = static_cast<size_t>(buffer_length) / sizeof(SQLWCHAR);
  if (!copy_utf16_out(wide, static_cast<SQLWCHAR*>(value), capacity))
    return post_call_warning(dbc->errors, "01004", MSG_TRUNCATED);
  return SQL_SUCCESS;
}

SQLRETURN get_info(QuillDbc* dbc, SQLUSMALLINT type, SQLPOINTER value, SQLSMALLINT buffer_length,
                   SQLSMALLINT* length, bool wide) {
  SetupErrorHeader(dbc->errors, 0);
  if (check_state(dbc, type) != SQL_SUCCESS) return SQL_ERROR;
  const InfoAnswer* answer = find_info_answer(type);
  if (!answer) return post_call_error(dbc->errors, "HY096", MSG_INFO_RANGE);
  switch (answer->kind) {
    case InfoKind::Small:
    case InfoKind::Integer:
    case InfoKind::EchoHandle:
      return put_number(*answer, value, length);
    default:
      break;
  }
  if (buffer_length < 0) return post_call_error(dbc->errors, "HY090", MSG_BAD_LENGTH);
  const char* text = text_of(dbc, *answer);
  if (!wide) return put_text(dbc, text, value, buffer_length, length);
  try {
    return put_text_wide(dbc, text, value, buffer_length, length);
  } catch (...) {
    return post_call_error(dbc->errors, "HY001", MSG_MEMORY);
  }
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLGetInfo(SQLHDBC handle, SQLUSMALLINT type, SQLPOINTER value,
                                  SQLSMALLINT buffer_length, SQLSMALLINT* length) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetInfo( %h, %u, %p, %i, %p )", handle,
            static_cast<int>(type), value, static_cast<int>(buffer_length),
            static_cast<void*>(length));
  if (!valid_dbc(handle)) return TRACE_RETURN(kUnit, "SQLGetInfo() returns %e", SQL_INVALID_HANDLE);
  return TRACE_RETURN(
      kUnit, "SQLGetInfo() returns %e",
      get_info(static_cast<QuillDbc*>(handle), type, value, buffer_length, length, false));
}

QUILL_EXPORT SQLRETURN SQLGetInfoW(SQLHDBC handle, SQLUSMALLINT type, SQLPOINTER value,
                                   SQLSMALLINT buffer_length, SQLSMALLINT* length) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetInfoW( %h, %u, %p, %i, %p )", handle,
            static_cast<int>(type), value, static_cast<int>(buffer_length),
            static_cast<void*>(length));
  if (!valid_dbc(handle))
    return TRACE_RETURN(kUnit, "SQLGetInfoW() returns %e", SQL_INVALID_HANDLE);
  return TRACE_RETURN(
      kUnit, "SQLGetInfoW() returns %e",
      get_info(static_cast<QuillDbc*>(handle), type, value, buffer_length, length, true));
}
