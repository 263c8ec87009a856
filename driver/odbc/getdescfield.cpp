// SQLGetDescField and SQLGetDescFieldW: one header or record field of a
// descriptor; the wide form returns text fields as UTF-16 with byte lengths.
#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "getdescfield";

namespace {

SQLRETURN get_desc_field(SQLHDESC handle, SQLSMALLINT number, SQLSMALLINT field, SQLPOINTER value,
                         SQLINTEGER buffer_length, SQLINTEGER* length, bool wide) {
  if (!valid_desc(handle)) return SQL_INVALID_HANDLE;
  auto* desc = static_cast<QuillDesc*>(handle);
  SetupErrorHeader(desc->errors, 0);
  if (desc_check_desc_state(desc, SQL_API_SQLGETDESCFIELD) != SQL_SUCCESS) return SQL_ERROR;
  DescFieldValue answer{};
  SQLRETURN rc = desc_read_field(desc, number, field, &answer);
  if (rc != SQL_SUCCESS) return rc;
  if (answer.type != DescFieldType::Text) {
    desc_write_number(answer, value);
    return SQL_SUCCESS;
  }
  if (value && buffer_length < 0) return post_call_error(desc->errors, "HY090", MSG_BAD_LENGTH);
  SQLLEN full = 0;
  try {
    rc = desc_put_text(desc->errors, answer.text, value, buffer_length, &full, wide);
  } catch (...) {
    return post_call_error(desc->errors, "HY001", MSG_MEMORY);
  }
  if (length) *length = static_cast<SQLINTEGER>(full);
  return rc;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLGetDescField(SQLHDESC handle, SQLSMALLINT number, SQLSMALLINT field,
                                       SQLPOINTER value, SQLINTEGER buffer_length,
                                       SQLINTEGER* length) {
  HandleCall call(SQL_HANDLE_DESC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetDescField( %h, %i, %i, %p, %d, %p )", handle,
            static_cast<int>(number), static_cast<int>(field), value,
            static_cast<int>(buffer_length), static_cast<void*>(length));
  return TRACE_RETURN(kUnit, "SQLGetDescField() returns %e",
                      get_desc_field(handle, number, field, value, buffer_length, length, false));
}

QUILL_EXPORT SQLRETURN SQLGetDescFieldW(SQLHDESC handle, SQLSMALLINT number, SQLSMALLINT field,
                                        SQLPOINTER value, SQLINTEGER buffer_length,
                                        SQLINTEGER* length) {
  HandleCall call(SQL_HANDLE_DESC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetDescFieldW( %h, %i, %i, %p, %d, %p )", handle,
            static_cast<int>(number), static_cast<int>(field), value,
            static_cast<int>(buffer_length), static_cast<void*>(length));
  return TRACE_RETURN(kUnit, "SQLGetDescFieldW() returns %e",
                      get_desc_field(handle, number, field, value, buffer_length, length, true));
}
