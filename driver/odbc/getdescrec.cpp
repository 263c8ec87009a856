// SQLGetDescRec and SQLGetDescRecW: the name and type fields of one
// descriptor record; the wide form widens the name (lengths in characters).
#include <string>

#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/wide_out.h"
#include "support/strbuf.h"

static const char* const kUnit = "getdescrec";

namespace {

// Where SQLGetDescRec puts everything but the name.
struct RecOutputs {
  SQLSMALLINT* type;
  SQLSMALLINT* subtype;
  SQLLEN* length;
  SQLSMALLINT* precision;
  SQLSMALLINT* scale;
  SQLSMALLINT* nullable;
};

// The record after the checks; *rc carries a refusal or SQL_NO_DATA when null.
const DescRecord* located(QuillDesc* desc, SQLSMALLINT number, SQLSMALLINT buffer_length,
                          SQLRETURN* rc) {
  *rc = desc_check_desc_state(desc, SQL_API_SQLGETDESCREC);
  if (*rc != SQL_SUCCESS) return nullptr;
  DescRecord* record = nullptr;
  *rc = desc_locate_record(desc, number, false, &record);
  if (*rc != SQL_SUCCESS) return nullptr;
  if (buffer_length < 0) {
    *rc = post_call_error(desc->errors, "HY090", MSG_BAD_LENGTH);
    return nullptr;
  }
  return record;
}

void put_fields(const DescRecord& r, const RecOutputs& out) {
  if (out.type) *out.type = r.type;
  if (out.subtype) *out.subtype = r.datetime_interval_code;
  if (out.length) *out.length = r.octet_length;
  if (out.precision) *out.precision = r.precision;
  if (out.scale) *out.scale = r.scale;
  if (out.nullable) *out.nullable = r.nullable;
}

SQLRETURN get_rec_narrow(QuillDesc* desc, SQLSMALLINT number, SQLCHAR* name,
                         SQLSMALLINT buffer_length, SQLSMALLINT* name_length,
                         const RecOutputs& out) {
  SQLRETURN rc;
  const DescRecord* record = located(desc, number, buffer_length, &rc);
  if (!record) return rc;
  put_fields(*record, out);
  if (copy_str_buffer(name, buffer_length, name_length, record->name))
    return post_call_warning(desc->errors, "01004", MSG_TRUNCATED);
  return SQL_SUCCESS;
}

SQLRETURN get_rec_wide(QuillDesc* desc, SQLSMALLINT number, SQLWCHAR* name,
                       SQLSMALLINT buffer_length, SQLSMALLINT* name_length, const RecOutputs& out) {
  SQLRETURN rc;
  const DescRecord* record = located(desc, number, buffer_length, &rc);
  if (!record) return rc;
  put_fields(*record, out);
  try {
    return widen_out_string(desc->errors, SQL_SUCCESS, std::string(record->name), name,
                            buffer_length, name_length);
  } catch (...) {
    return post_call_error(desc->errors, "HY001", MSG_MEMORY);
  }
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLGetDescRec(SQLHDESC handle, SQLSMALLINT number, SQLCHAR* name,
                                     SQLSMALLINT buffer_length, SQLSMALLINT* name_length,
                                     SQLSMALLINT* type, SQLSMALLINT* subtype, SQLLEN* length,
                                     SQLSMALLINT* precision, SQLSMALLINT* scale,
                                     SQLSMALLINT* nullable) {
  HandleCall call(SQL_HANDLE_DESC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetDescRec( %h, %i, %p, %i, %p, %p, %p, %p, %p, %p, %p )",
            handle, static_cast<int>(number), static_cast<void*>(name),
            static_cast<int>(buffer_length), static_cast<void*>(name_length),
            static_cast<void*>(type), static_cast<void*>(subtype), static_cast<void*>(length),
            static_cast<void*>(precision), static_cast<void*>(scale), static_cast<void*>(nullable));
  if (!valid_desc(handle))
    return TRACE_RETURN(kUnit, "SQLGetDescRec() returns %e", SQL_INVALID_HANDLE);
  auto* desc = static_cast<QuillDesc*>(handle);
  SetupErrorHeader(desc->errors, 0);
  return TRACE_RETURN(kUnit, "SQLGetDescRec() returns %e",
                      get_rec_narrow(desc, number, name, buffer_length, name_length,
                                     {type, subtype, length, precision, scale, nullable}));
}

QUILL_EXPORT SQLRETURN SQLGetDescRecW(SQLHDESC handle, SQLSMALLINT number, SQLWCHAR* name,
                                      SQLSMALLINT buffer_length, SQLSMALLINT* name_length,
                                      SQLSMALLINT* type, SQLSMALLINT* subtype, SQLLEN* length,
                                      SQLSMALLINT* precision, SQLSMALLINT* scale,
                                      SQLSMALLINT* nullable) {
  HandleCall call(SQL_HANDLE_DESC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetDescRecW( %h, %i, %p, %i, %p, %p, %p, %p, %p, %p, %p )",
            handle, static_cast<int>(number), static_cast<void*>(name),
            static_cast<int>(buffer_length), static_cast<void*>(name_length),
            static_cast<void*>(type), static_cast<void*>(subtype), static_cast<void*>(length),
            static_cast<void*>(precision), static_cast<void*>(scale), static_cast<void*>(nullable));
  if (!valid_desc(handle))
    return TRACE_RETURN(kUnit, "SQLGetDescRecW() returns %e", SQL_INVALID_HANDLE);
  auto* desc = static_cast<QuillDesc*>(handle);
  SetupErrorHeader(desc->errors, 0);
  return TRACE_RETURN(kUnit, "SQLGetDescRecW() returns %e",
                      get_rec_wide(desc, number, name, buffer_length, name_length,
                                   {type, subtype, length, precision, scale, nullable}));
}
