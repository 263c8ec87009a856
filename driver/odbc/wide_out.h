// Helpers of the W entry points that return a connection string: the narrow
// path writes UTF-8 into a scratch buffer, which is then widened into the
// caller's buffer with its length in characters.
#pragma once

#include <sql.h>
#include <sqlucode.h>

#include <string>

#include "driver/odbc/handles/frame.h"
#include "support/unicode.h"

// Widens `narrow` into (out, capacity characters); sets *out_length in characters; posts
// 01004 on `header` when cut. Returns the adjusted return code.
inline SQLRETURN widen_out_string(ErrorHeader* header, SQLRETURN rc, const std::string& narrow,
                                  SQLWCHAR* out, SQLSMALLINT capacity, SQLSMALLINT* out_length) {
  std::u16string wide;
  utf8_to_utf16(narrow.data(), narrow.size(), wide);
  if (out_length) *out_length = static_cast<SQLSMALLINT>(wide.size());
  if (out && capacity >= 0 && !copy_utf16_out(wide, out, static_cast<size_t>(capacity))) {
    post_call_warning(header, "01004", MSG_TRUNCATED);
    if (rc == SQL_SUCCESS) rc = SQL_SUCCESS_WITH_INFO;
  }
  return rc;
}

// The UTF-8 form of a wide input argument; null stays null.
struct NarrowArg {
  std::string text;  // converted text
  bool null = true;  // the argument was null
  NarrowArg(const SQLWCHAR* wide, SQLLEN length) {
    if (!wide) return;
    null = false;
    utf16_to_utf8(wide, length, text);
  }
  const char* c_str() const { return null ? nullptr : text.c_str(); }
  SQLSMALLINT length() const { return null ? 0 : static_cast<SQLSMALLINT>(text.size()); }
};
