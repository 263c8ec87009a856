// SQLSetDescField and SQLSetDescFieldW: one header or record field of a
// descriptor. No settable field is text, so the wide form does the same.
#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "setdescfield";

namespace {

SQLRETURN set_desc_field(SQLHDESC handle, SQLSMALLINT number, SQLSMALLINT field, SQLPOINTER value) {
  if (!valid_desc(handle)) return SQL_INVALID_HANDLE;
  auto* desc = static_cast<QuillDesc*>(handle);
  SetupErrorHeader(desc->errors, 0);
  if (desc_check_desc_state(desc, SQL_API_SQLSETDESCFIELD) != SQL_SUCCESS) return SQL_ERROR;
  return desc_write_field(desc, number, field, value);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLSetDescField(SQLHDESC handle, SQLSMALLINT number, SQLSMALLINT field,
                                       SQLPOINTER value, SQLINTEGER buffer_length) {
  HandleCall call(SQL_HANDLE_DESC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetDescField( %h, %i, %i, %p, %d )", handle,
            static_cast<int>(number), static_cast<int>(field), value,
            static_cast<int>(buffer_length));
  return TRACE_RETURN(kUnit, "SQLSetDescField() returns %e",
                      set_desc_field(handle, number, field, value));
}

QUILL_EXPORT SQLRETURN SQLSetDescFieldW(SQLHDESC handle, SQLSMALLINT number, SQLSMALLINT field,
                                        SQLPOINTER value, SQLINTEGER buffer_length) {
  HandleCall call(SQL_HANDLE_DESC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetDescFieldW( %h, %i, %i, %p, %d )", handle,
            static_cast<int>(number), static_cast<int>(field), value,
            static_cast<int>(buffer_length));
  return TRACE_RETURN(kUnit, "SQLSetDescFieldW() returns %e",
                      set_desc_field(handle, number, field, value));
}
