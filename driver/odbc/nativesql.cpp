// SQLNativeSql and SQLNativeSqlW: the statement text as the driver reads it.
#include <string>

#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/statement/stmt_names.h"
#include "driver/odbc/wide_out.h"

static const char* const kUnit = "nativesql";

namespace {

// Argument checks shared by both forms; SQL_SUCCESS when the text may be read.
SQLRETURN check_native_args(QuillDbc* dbc, const void* text, SQLINTEGER length, const void* out,
                            SQLINTEGER out_size) {
  if (!text) return post_call_error(dbc->errors, "HY009", MSG_NULL_POINTER);
  if ((length < 0 && length != SQL_NTS) || (out && out_size < 1))
    return post_call_error(dbc->errors, "HY090", MSG_BAD_LENGTH);
  if (dbc->state < DBC_CONNECTED) return post_call_error(dbc->errors, "08003", MSG_NO_CONNECTION);
  return SQL_SUCCESS;
}

SQLRETURN native_sql_entry(SQLHDBC handle, const char* text, SQLINTEGER length, char* out,
                           SQLINTEGER out_size, SQLINTEGER* out_length) {
  if (!valid_dbc(handle)) return SQL_INVALID_HANDLE;
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  if (check_native_args(dbc, text, length, out, out_size) != SQL_SUCCESS) return SQL_ERROR;
  size_t total = 0;
  bool truncated = false;
  char empty[1];
  SQLRETURN rc = native_sql_text(dbc, text, length, nullptr, out ? out : empty,
                                 out ? static_cast<size_t>(out_size) : 1, &total, &truncated);
  if (rc != SQL_SUCCESS) return rc;
  if (out_length) *out_length = static_cast<SQLINTEGER>(total);
  if (out && truncated) return post_call_warning(dbc->errors, "01004", MSG_TRUNCATED);
  return SQL_SUCCESS;
}

SQLRETURN native_sql_wide_entry(SQLHDBC handle, const SQLWCHAR* text, SQLINTEGER length,
                                SQLWCHAR* out, SQLINTEGER out_size, SQLINTEGER* out_length) {
  if (!valid_dbc(handle)) return SQL_INVALID_HANDLE;
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  if (check_native_args(dbc, text, length, out, out_size) != SQL_SUCCESS) return SQL_ERROR;
  NarrowArg narrow(text, length);
  std::string result;
  SQLRETURN rc = native_sql_text(dbc, narrow.c_str(), static_cast<SQLINTEGER>(narrow.text.size()),
                                 &result, nullptr, 0, nullptr, nullptr);
  if (rc != SQL_SUCCESS) return rc;
  std::u16string wide;
  utf8_to_utf16(result.data(), result.size(), wide);
  if (out_length) *out_length = static_cast<SQLINTEGER>(wide.size());
  if (out && !copy_utf16_out(wide, out, static_cast<size_t>(out_size)))
    return post_call_warning(dbc->errors, "01004", MSG_TRUNCATED);
  return SQL_SUCCESS;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLNativeSql(SQLHDBC handle, SQLCHAR* text, SQLINTEGER length, SQLCHAR* out,
                                    SQLINTEGER out_size, SQLINTEGER* out_length) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLNativeSql( %h, %S, %d, %p, %d, %p )", handle,
            reinterpret_cast<const char*>(text), static_cast<int>(length), static_cast<void*>(out),
            static_cast<int>(out_size), static_cast<void*>(out_length));
  return TRACE_RETURN(kUnit, "SQLNativeSql() returns %e",
                      native_sql_entry(handle, reinterpret_cast<const char*>(text), length,
                                       reinterpret_cast<char*>(out), out_size, out_length));
}

QUILL_EXPORT SQLRETURN SQLNativeSqlW(SQLHDBC handle, SQLWCHAR* text, SQLINTEGER length,
                                     SQLWCHAR* out, SQLINTEGER out_size, SQLINTEGER* out_length) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLNativeSqlW( %h, %p, %d, %p, %d, %p )", handle,
            static_cast<void*>(text), static_cast<int>(length), static_cast<void*>(out),
            static_cast<int>(out_size), static_cast<void*>(out_length));
  return TRACE_RETURN(kUnit, "SQLNativeSqlW() returns %e",
                      native_sql_wide_entry(handle, text, length, out, out_size, out_length));
}
