// SQLGetDiagField and SQLGetDiagFieldW: one field of the diagnostic header or a record.
#include <string>

#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"
#include "support/unicode.h"

static const char* const kUnit = "getdiagfield";

namespace {

bool is_text_field(SQLSMALLINT identifier) {
  switch (identifier) {
    case SQL_DIAG_SQLSTATE:
    case SQL_DIAG_MESSAGE_TEXT:
    case SQL_DIAG_DYNAMIC_FUNCTION:
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_SUBCLASS_ORIGIN:
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_SERVER_NAME:
      return true;
    default:
      return false;
  }
}

// Text fields are read whole in UTF-8, converted, and copied into the caller's buffer,
// whose length and the returned length count bytes.
SQLRETURN get_diag_field_wide(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                              SQLSMALLINT identifier, SQLPOINTER value, SQLSMALLINT buffer_length,
                              SQLSMALLINT* string_length) {
  if (!is_text_field(identifier))
    return odbc_get_diag_field(type, handle, record, identifier, value, buffer_length,
                               string_length);
  if (buffer_length < 0) return SQL_ERROR;
  SQLSMALLINT full = 0;
  SQLRETURN rc = odbc_get_diag_field(type, handle, record, identifier, nullptr, 0, &full);
  if (!SQL_SUCCEEDED(rc)) return rc;
  std::string narrow(static_cast<size_t>(full) + 1, '\0');
  rc = odbc_get_diag_field(type, handle, record, identifier, narrow.data(),
                           static_cast<SQLSMALLINT>(narrow.size()), &full);
  if (!SQL_SUCCEEDED(rc)) return rc;
  narrow.resize(static_cast<size_t>(full));
  std::u16string wide;
  utf8_to_utf16(narrow.data(), narrow.size(), wide);
  if (string_length) *string_length = static_cast<SQLSMALLINT>(wide.size() * sizeof(SQLWCHAR));
  bool complete = copy_utf16_out(wide, static_cast<SQLWCHAR*>(value),
                                 static_cast<size_t>(buffer_length) / sizeof(SQLWCHAR));
  return complete ? SQL_SUCCESS : SQL_SUCCESS_WITH_INFO;
}

}  // namespace

SQLRETURN odbc_get_diag_field(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                              SQLSMALLINT identifier, SQLPOINTER value, SQLSMALLINT buffer_length,
                              SQLSMALLINT* string_length) {
  if (type < SQL_HANDLE_ENV || type > SQL_HANDLE_DESC) return SQL_ERROR;
  ErrorHeader* header = error_header_of(type, handle);
  if (!header) return SQL_INVALID_HANDLE;
  if (type == SQL_HANDLE_STMT && stmt_executing_async(static_cast<QuillStmt*>(handle))) {
    // A running statement's diagnostics belong to the call that has not ended yet.
    if (identifier == SQL_DIAG_RETURNCODE) {
      if (value) *static_cast<SQLRETURN*>(value) = SQL_STILL_EXECUTING;
      return SQL_SUCCESS;
    }
    if (identifier == SQL_DIAG_NUMBER) {
      if (value) *static_cast<SQLINTEGER*>(value) = 0;
      return SQL_SUCCESS;
    }
  }
  return GetDiagField(type, header, record, identifier, value, buffer_length, string_length);
}

QUILL_EXPORT SQLRETURN SQLGetDiagField(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                       SQLSMALLINT identifier, SQLPOINTER value,
                                       SQLSMALLINT buffer_length, SQLSMALLINT* string_length) {
  HandleCall call(type, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetDiagField( %i, %h, %i, %i, %p, %i, %p )",
            static_cast<int>(type), handle, static_cast<int>(record), static_cast<int>(identifier),
            value, static_cast<int>(buffer_length), static_cast<void*>(string_length));
  return TRACE_RETURN(
      kUnit, "SQLGetDiagField() returns %e",
      odbc_get_diag_field(type, handle, record, identifier, value, buffer_length, string_length));
}

QUILL_EXPORT SQLRETURN SQLGetDiagFieldW(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                                        SQLSMALLINT identifier, SQLPOINTER value,
                                        SQLSMALLINT buffer_length, SQLSMALLINT* string_length) {
  HandleCall call(type, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetDiagFieldW( %i, %h, %i, %i, %p, %i, %p )",
            static_cast<int>(type), handle, static_cast<int>(record), static_cast<int>(identifier),
            value, static_cast<int>(buffer_length), static_cast<void*>(string_length));
  SQLRETURN rc;
  try {
    rc = get_diag_field_wide(type, handle, record, identifier, value, buffer_length, string_length);
  } catch (...) {
    rc = SQL_ERROR;
  }
  return TRACE_RETURN(kUnit, "SQLGetDiagFieldW() returns %e", rc);
}
