// SQLSetDescRec: the type, length, precision, scale and binding pointers of
// one descriptor record at once.
#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "setdescrec";

namespace {

// The values SQLSetDescRec writes into one record.
struct RecValues {
  SQLSMALLINT type;
  SQLSMALLINT subtype;
  SQLLEN length;
  SQLSMALLINT precision;
  SQLSMALLINT scale;
  SQLPOINTER data;
  SQLLEN* octet_length_ptr;
  SQLLEN* indicator;
};

SQLRETURN set_desc_rec(QuillDesc* desc, SQLSMALLINT number, const RecValues& v) {
  if (desc_check_desc_state(desc, SQL_API_SQLSETDESCREC) != SQL_SUCCESS) return SQL_ERROR;
  bool application = desc->kind == DESC_ARD || desc->kind == DESC_APD;
  DescRecord* record = nullptr;
  SQLRETURN rc = desc_locate_record(desc, number, application, &record);
  if (rc != SQL_SUCCESS) return rc;
  // The IRD's types are the statement's; only the other fields are taken.
  if (desc->kind != DESC_IRD) desc_set_verbose_type(record, v.type, v.subtype);
  record->octet_length = v.length;
  record->precision = v.precision;
  record->scale = v.scale;
  record->data_ptr = v.data;
  record->octet_length_ptr = v.octet_length_ptr;
  record->indicator_ptr = v.indicator;
  return SQL_SUCCESS;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLSetDescRec(SQLHDESC handle, SQLSMALLINT number, SQLSMALLINT type,
                                     SQLSMALLINT subtype, SQLLEN length, SQLSMALLINT precision,
                                     SQLSMALLINT scale, SQLPOINTER data, SQLLEN* octet_length_ptr,
                                     SQLLEN* indicator) {
  HandleCall call(SQL_HANDLE_DESC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetDescRec( %h, %i, %i, %i, %I, %i, %i, %p, %p, %p )",
            handle, static_cast<int>(number), static_cast<int>(type), static_cast<int>(subtype),
            length, static_cast<int>(precision), static_cast<int>(scale), data,
            static_cast<void*>(octet_length_ptr), static_cast<void*>(indicator));
  if (!valid_desc(handle))
    return TRACE_RETURN(kUnit, "SQLSetDescRec() returns %e", SQL_INVALID_HANDLE);
  auto* desc = static_cast<QuillDesc*>(handle);
  SetupErrorHeader(desc->errors, 0);
  return TRACE_RETURN(
      kUnit, "SQLSetDescRec() returns %e",
      set_desc_rec(desc, number,
                   {type, subtype, length, precision, scale, data, octet_length_ptr, indicator}));
}
