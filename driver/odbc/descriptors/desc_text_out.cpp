// Text results of the description functions, narrow or as UTF-16, with their
// lengths in bytes and the truncation warning.
#include <cstring>
#include <string>

#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"
#include "support/strbuf.h"
#include "support/unicode.h"

SQLRETURN desc_put_text(ErrorHeader* errors, const char* text, SQLPOINTER buffer,
                        SQLLEN buffer_length, SQLLEN* length, bool wide) {
  if (!text) text = "";
  bool cut;
  if (!wide) {
    cut = copy_str_bufferl(buffer, buffer_length, length, text) != 0;
  } else {
    std::u16string units;
    utf8_to_utf16(text, std::strlen(text), units);
    if (length) *length = static_cast<SQLLEN>(units.size() * sizeof(SQLWCHAR));
    size_t capacity = buffer_length > 0 ? static_cast<size_t>(buffer_length) / sizeof(SQLWCHAR) : 0;
    cut = buffer && !copy_utf16_out(units, static_cast<SQLWCHAR*>(buffer), capacity);
  }
  return cut ? post_call_warning(errors, "01004", MSG_TRUNCATED) : SQL_SUCCESS;
}
