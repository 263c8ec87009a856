// SQLColAttributes and SQLColAttributesW: the ODBC 2 form of the column
// attribute call, whose type identifier reports dates, times and timestamps
// with their ODBC 2 codes.
#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "colattributes";

namespace {

SQLRETURN col_attributes_entry(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field,
                               SQLPOINTER text, SQLSMALLINT buffer_length, SQLSMALLINT* text_length,
                               SQLLEN* number, bool wide) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  SQLRETURN rc = desc_column_attribute_call(stmt, column, field, text, buffer_length, text_length,
                                            number, true, wide);
  stmt_apply(stmt, SQL_API_SQLCOLATTRIBUTES, field, rc);
  return rc;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLColAttributes(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field,
                                        SQLPOINTER text, SQLSMALLINT buffer_length,
                                        SQLSMALLINT* text_length, SQLLEN* number) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLColAttributes( %h, %u, %u, %p, %i, %p, %p )", handle,
            static_cast<int>(column), static_cast<int>(field), text,
            static_cast<int>(buffer_length), static_cast<void*>(text_length),
            static_cast<void*>(number));
  return TRACE_RETURN(
      kUnit, "SQLColAttributes() returns %e",
      col_attributes_entry(handle, column, field, text, buffer_length, text_length, number, false));
}

QUILL_EXPORT SQLRETURN SQLColAttributesW(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field,
                                         SQLPOINTER text, SQLSMALLINT buffer_length,
                                         SQLSMALLINT* text_length, SQLLEN* number) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLColAttributesW( %h, %u, %u, %p, %i, %p, %p )", handle,
            static_cast<int>(column), static_cast<int>(field), text,
            static_cast<int>(buffer_length), static_cast<void*>(text_length),
            static_cast<void*>(number));
  return TRACE_RETURN(
      kUnit, "SQLColAttributesW() returns %e",
      col_attributes_entry(handle, column, field, text, buffer_length, text_length, number, true));
}
