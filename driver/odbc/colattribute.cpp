// SQLColAttribute and SQLColAttributeW: one descriptive field of a result
// column; the wide form returns text fields as UTF-16 with byte lengths.
#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"

static const char* const kUnit = "colattribute";

namespace {

SQLRETURN col_attribute_entry(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field,
                              SQLPOINTER text, SQLSMALLINT buffer_length, SQLSMALLINT* text_length,
                              SQLLEN* number, bool wide) {
  if (!valid_stmt(handle)) return SQL_INVALID_HANDLE;
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  SQLRETURN rc = desc_column_attribute_call(stmt, column, field, text, buffer_length, text_length,
                                            number, false, wide);
  stmt_apply(stmt, SQL_API_SQLCOLATTRIBUTE, field, rc);
  return rc;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLColAttribute(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field,
                                       SQLPOINTER text, SQLSMALLINT buffer_length,
                                       SQLSMALLINT* text_length, SQLLEN* number) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLColAttribute( %h, %u, %u, %p, %i, %p, %p )", handle,
            static_cast<int>(column), static_cast<int>(field), text,
            static_cast<int>(buffer_length), static_cast<void*>(text_length),
            static_cast<void*>(number));
  SQLRETURN rc =
      col_attribute_entry(handle, column, field, text, buffer_length, text_length, number, false);
  if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO)
    return TRACE_RETURN(kUnit, "SQLColAttribute() returns %e", rc);
  if (desc_column_attribute_is_text(field)) {
    const void* shown = text && buffer_length > 0 ? text : nullptr;
    return trace_return_with(kUnit, __LINE__,
                             "SQLColAttribute() returns %e, CharacterAttributePtr = %s", rc, shown);
  }
  return trace_return_with(kUnit, __LINE__,
                           "SQLColAttribute() returns %e, NumericAttributePtr = %*I", rc, number);
}

QUILL_EXPORT SQLRETURN SQLColAttributeW(SQLHSTMT handle, SQLUSMALLINT column, SQLUSMALLINT field,
                                        SQLPOINTER text, SQLSMALLINT buffer_length,
                                        SQLSMALLINT* text_length, SQLLEN* number) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLColAttributeW( %h, %u, %u, %p, %i, %p, %p )", handle,
            static_cast<int>(column), static_cast<int>(field), text,
            static_cast<int>(buffer_length), static_cast<void*>(text_length),
            static_cast<void*>(number));
  return TRACE_RETURN(
      kUnit, "SQLColAttributeW() returns %e",
      col_attribute_entry(handle, column, field, text, buffer_length, text_length, number, true));
}
