// SQLGetDiagRec and SQLGetDiagRecW: one diagnostic record of a handle.
#include <string>

#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"
#include "support/unicode.h"

static const char* const kUnit = "getdiagrec";

namespace {

// True when the handle is a statement running asynchronously: its diagnostics are not
// readable until it finishes.
bool still_executing(SQLSMALLINT type, SQLHANDLE handle) {
  return type == SQL_HANDLE_STMT && stmt_executing_async(static_cast<QuillStmt*>(handle));
}

SQLRETURN get_diag_rec_wide(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                            SQLWCHAR* sqlstate, SQLINTEGER* native, SQLWCHAR* message,
                            SQLSMALLINT buffer_length, SQLSMALLINT* text_length) {
  if (buffer_length < 0) return SQL_ERROR;
  SQLCHAR state[6] = {0};
  SQLSMALLINT full = 0;
  SQLRETURN rc = odbc_get_diag_rec(type, handle, record, state, native, nullptr, 0, &full);
  if (!SQL_SUCCEEDED(rc)) return rc;
  std::string narrow(static_cast<size_t>(full) + 1, '\0');
  rc = odbc_get_diag_rec(type, handle, record, nullptr, nullptr,
                         reinterpret_cast<SQLCHAR*>(narrow.data()),
                         static_cast<SQLSMALLINT>(narrow.size()), &full);
  if (!SQL_SUCCEEDED(rc)) return rc;
  narrow.resize(static_cast<size_t>(full));
  std::u16string wide;
  utf8_to_utf16(narrow.data(), narrow.size(), wide);
  if (sqlstate) {
    for (int i = 0; i < 6; ++i) sqlstate[i] = state[i];
  }
  if (text_length) *text_length = static_cast<SQLSMALLINT>(wide.size());
  bool complete = copy_utf16_out(wide, message, static_cast<size_t>(buffer_length));
  return complete ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

}  // namespace

SQLRETURN odbc_get_diag_rec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                            SQLCHAR* sqlstate, SQLINTEGER* native, SQLCHAR* message,
                            SQLSMALLINT buffer_length, SQLSMALLINT* text_length) {
  if (type < SQL_HANDLE_ENV || type > SQL_HANDLE_DESC) return SQL_ERROR;
  ErrorHeader* header = error_header_of(type, handle);
  if (!header) return SQL_INVALID_HANDLE;
  if (still_executing(type, handle)) return SQL_NO_DATA;
  return GetDiagRec(header, record, sqlstate, native, message, buffer_length, text_length);
}

QUILL_EXPORT SQLRETURN SQLGetDiagRec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                     SQLCHAR* sqlstate, SQLINTEGER* native, SQLCHAR* message,
                                     SQLSMALLINT buffer_length, SQLSMALLINT* text_length) {
  HandleCall call(type, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetDiagRec( %i, %h, %i, %p, %p, %p, %i, %p )",
            static_cast<int>(type), handle, static_cast<int>(record), static_cast<void*>(sqlstate),
            static_cast<void*>(native), static_cast<void*>(message),
            static_cast<int>(buffer_length), static_cast<void*>(text_length));
  return TRACE_RETURN(kUnit, "SQLGetDiagRec() returns %e",
                      odbc_get_diag_rec(type, handle, record, sqlstate, native, message,
                                        buffer_length, text_length));
}

QUILL_EXPORT SQLRETURN SQLGetDiagRecW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                      SQLWCHAR* sqlstate, SQLINTEGER* native, SQLWCHAR* message,
                                      SQLSMALLINT buffer_length, SQLSMALLINT* text_length) {
  HandleCall call(type, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetDiagRecW( %i, %h, %i, %p, %p, %p, %i, %p )",
            static_cast<int>(type), handle, static_cast<int>(record), static_cast<void*>(sqlstate),
            static_cast<void*>(native), static_cast<void*>(message),
            static_cast<int>(buffer_length), static_cast<void*>(text_length));
  SQLRETURN rc;
  try {
    rc = get_diag_rec_wide(type, handle, record, sqlstate, native, message, buffer_length,
                           text_length);
  } catch (...) {
    rc = SQL_ERROR;  // out of memory while converting; nothing may cross the C boundary
  }
  return TRACE_RETURN(kUnit, "SQLGetDiagRecW() returns %e", rc);
}
