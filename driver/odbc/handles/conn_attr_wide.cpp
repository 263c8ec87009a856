// The wide forms of the connection attributes: only the text attributes are
// transcoded between UTF-16 and the UTF-8 the connection keeps.
#include <string>

#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "support/unicode.h"

namespace {

const char* text_of(const ConnAttributes& a, SQLINTEGER attribute) {
  switch (attribute) {
    case SQL_ATTR_TRACEFILE:
      return a.tracefile;
    case SQL_ATTR_TRANSLATE_LIB:
      return a.translate_lib;
    default:
      return a.current_catalog;
  }
}

}  // namespace

SQLRETURN set_conn_attr_wide(QuillDbc* dbc, SQLINTEGER attribute, SQLPOINTER value,
                             SQLINTEGER length) {
  if (!conn_attr_is_text(attribute) || !value) return set_conn_attr(dbc, attribute, value, length);
  if ((length < 0 && length != SQL_NTS) || (length > 0 && length % sizeof(SQLWCHAR) != 0))
    return post_call_error(dbc->errors, "HY090", MSG_BAD_LENGTH);
  SQLLEN units = length == SQL_NTS ? SQL_NTS : length / static_cast<SQLLEN>(sizeof(SQLWCHAR));
  std::string narrow;
  utf16_to_utf8(static_cast<const SQLWCHAR*>(value), units, narrow);
  return set_conn_attr(dbc, attribute, narrow.data(), static_cast<SQLINTEGER>(narrow.size()));
}

SQLRETURN get_conn_attr_wide(QuillDbc* dbc, SQLINTEGER attribute, SQLPOINTER value,
                             SQLINTEGER buffer_length, SQLINTEGER* string_length) {
  if (!conn_attr_is_text(attribute))
    return get_conn_attr(dbc, attribute, value, buffer_length, string_length);
  if (value && buffer_length < 0) return post_call_error(dbc->errors, "HY090", MSG_BAD_LENGTH);
  // The narrow call with no buffer runs the state check and writes nothing.
  SQLRETURN rc = get_conn_attr(dbc, attribute, nullptr, 0, nullptr);
  if (rc != SQL_SUCCESS) return rc;
  const char* text = text_of(conn_attributes_of(dbc), attribute);
  std::u16string wide;
  if (text) utf8_to_utf16(text, std::char_traits<char>::length(text), wide);
  if (string_length) *string_length = static_cast<SQLINTEGER>(wide.size() * sizeof(SQLWCHAR));
  size_t capacity = value ? static_cast<size_t>(buffer_length) / sizeof(SQLWCHAR) : 0;
  if (!copy_utf16_out(wide, static_cast<SQLWCHAR*>(value), capacity))
    return post_call_warning(dbc->errors, "01004", MSG_TRUNCATED);
  return SQL_SUCCESS;
}
