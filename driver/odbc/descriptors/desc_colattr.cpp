// Column attributes of a result column: the IRD field behind each ODBC 3
// identifier and each ODBC 2 one (0..18), answered as text or as a number.
#include <climits>

#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"

namespace {

// ODBC 3 identifiers SQLColAttribute answers from the IRD.
bool is_column_field(SQLUSMALLINT field) {
  switch (field) {
    case SQL_DESC_AUTO_UNIQUE_VALUE:
    case SQL_DESC_BASE_COLUMN_NAME:
    case SQL_DESC_BASE_TABLE_NAME:
    case SQL_DESC_CASE_SENSITIVE:
    case SQL_DESC_CATALOG_NAME:
    case SQL_DESC_CONCISE_TYPE:
    case SQL_DESC_COUNT:
    case SQL_DESC_DISPLAY_SIZE:
    case SQL_DESC_FIXED_PREC_SCALE:
    case SQL_DESC_LABEL:
    case SQL_DESC_LENGTH:
    case SQL_DESC_LITERAL_PREFIX:
    case SQL_DESC_LITERAL_SUFFIX:
    case SQL_DESC_LOCAL_TYPE_NAME:
    case SQL_DESC_NAME:
    case SQL_DESC_NULLABLE:
    case SQL_DESC_NUM_PREC_RADIX:
    case SQL_DESC_OCTET_LENGTH:
    case SQL_DESC_PRECISION:
    case SQL_DESC_SCALE:
    case SQL_DESC_SCHEMA_NAME:
    case SQL_DESC_SEARCHABLE:
    case SQL_DESC_TABLE_NAME:
    case SQL_DESC_TYPE:
    case SQL_DESC_TYPE_NAME:
    case SQL_DESC_UNNAMED:
    case SQL_DESC_UNSIGNED:
    case SQL_DESC_UPDATABLE:
      return true;
    default:
      return false;
  }
}

// The ODBC 2 date, time and timestamp codes for the ODBC 3 ones.
SQLLEN odbc2_type(SQLLEN concise) {
  switch (concise) {
    case SQL_TYPE_DATE:
      return SQL_DATE;
    case SQL_TYPE_TIME:
      return SQL_TIME;
    case SQL_TYPE_TIMESTAMP:
      return SQL_TIMESTAMP;
    default:
      return concise;
  }
}

}  // namespace

SQLUSMALLINT desc_odbc3_attribute(SQLUSMALLINT field) {
  switch (field) {
    case SQL_COLUMN_COUNT:
      return SQL_DESC_COUNT;
    case SQL_COLUMN_NAME:
      return SQL_DESC_NAME;
    case SQL_COLUMN_LENGTH:
      return SQL_DESC_OCTET_LENGTH;
    case SQL_COLUMN_PRECISION:
      return SQL_DESC_LENGTH;
    case SQL_COLUMN_SCALE:
      return SQL_DESC_SCALE;
    case SQL_COLUMN_NULLABLE:
      return SQL_DESC_NULLABLE;
    default:
      return field;  // 2, 6 and 8 to 18 share their numbers with ODBC 3
  }
}

SQLRETURN desc_column_attribute(QuillStmt* stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                bool odbc2, DescFieldValue* out) {
  SQLUSMALLINT mapped = field <= SQL_COLUMN_LABEL ? desc_odbc3_attribute(field) : field;
  if (!is_column_field(mapped)) return post_call_error(stmt->errors, "HY091", MSG_BAD_FIELD_ID);
  QuillDesc* ird = stmt->ird;
  if (mapped == SQL_DESC_COUNT) {
    out->type = DescFieldType::Small;
    out->text = nullptr;
    out->number = ird->count;
    return SQL_SUCCESS;
  }
  bool bookmark = column == 0 && stmt->attrs.use_bookmarks != SQL_UB_OFF;
  DescRecord* record =
      (column == 0 && !bookmark) || column > ird->count ? nullptr : desc_record(ird, column, false);
  if (!record) return post_call_error(stmt->errors, "07009", MSG_BAD_DESC_INDEX);
  const DescFieldEntry* entry = desc_find_field(static_cast<SQLSMALLINT>(mapped));
  const char* base = reinterpret_cast<const char*>(record);
  out->type = entry->type;
  out->text = nullptr;
  out->number = 0;
  if (entry->type == DescFieldType::Text) {
    out->text = base + entry->offset;
    return SQL_SUCCESS;
  }
  switch (mapped) {
    case SQL_DESC_CONCISE_TYPE:
      out->number = odbc2 && field == SQL_COLUMN_TYPE ? odbc2_type(record->concise_type)
                                                      : record->concise_type;
      break;
    case SQL_DESC_TYPE:
      out->number = record->type;
      break;
    case SQL_DESC_LENGTH:
      out->number = static_cast<SQLLEN>(record->length);
      break;
    case SQL_DESC_OCTET_LENGTH:
      out->number = record->octet_length;
      break;
    case SQL_DESC_DISPLAY_SIZE:
      out->number = record->display_size;
      break;
    case SQL_DESC_PRECISION:
      out->number = record->precision;
      break;
    case SQL_DESC_SCALE:
      out->number = record->scale;
      break;
    case SQL_DESC_NULLABLE:
      out->number = record->nullable;
      break;
    case SQL_DESC_NUM_PREC_RADIX:
      out->number = record->num_prec_radix;
      break;
    case SQL_DESC_UNNAMED:
      out->number = record->unnamed;
      break;
    case SQL_DESC_UNSIGNED:
      out->number = record->unsigned_flag;
      break;
    case SQL_DESC_UPDATABLE:
      out->number = record->updatable;
      break;
    case SQL_DESC_SEARCHABLE:
      out->number = record->searchable;
      break;
    case SQL_DESC_CASE_SENSITIVE:
      out->number = record->case_sensitive;
      break;
    case SQL_DESC_FIXED_PREC_SCALE:
      out->number = record->fixed_prec_scale;
      break;
    case SQL_DESC_AUTO_UNIQUE_VALUE:
      out->number = record->auto_unique_value;
      break;
    default:
      break;
  }
  out->type = DescFieldType::Len;
  return SQL_SUCCESS;
}

SQLRETURN desc_column_attribute_call(QuillStmt* stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                     SQLPOINTER text, SQLSMALLINT buffer_length,
                                     SQLSMALLINT* text_length, SQLLEN* number, bool odbc2,
                                     bool wide) {
  SQLUSMALLINT state_field = field <= SQL_COLUMN_LABEL ? desc_odbc3_attribute(field) : field;
  if (desc_check_stmt_state(stmt, SQL_API_SQLCOLATTRIBUTE, state_field) != SQL_SUCCESS)
    return SQL_ERROR;
  DescFieldValue value{};
  SQLRETURN rc = desc_column_attribute(stmt, column, field, odbc2, &value);
  if (rc != SQL_SUCCESS) return rc;
  if (value.type != DescFieldType::Text) {
    if (number) *number = value.number;
    return SQL_SUCCESS;
  }
  if (text && buffer_length < 0) return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
  SQLLEN length = 0;
  try {
    rc = desc_put_text(stmt->errors, value.text, text, buffer_length, &length, wide);
  } catch (...) {
    return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  }
  if (text_length) *text_length = static_cast<SQLSMALLINT>(length > SHRT_MAX ? SHRT_MAX : length);
  return rc;
}

bool desc_column_attribute_is_text(SQLUSMALLINT field) {
  SQLUSMALLINT mapped = field <= SQL_COLUMN_LABEL ? desc_odbc3_attribute(field) : field;
  if (!is_column_field(mapped)) return false;
  const DescFieldEntry* entry = desc_find_field(static_cast<SQLSMALLINT>(mapped));
  return entry && entry->type == DescFieldType::Text;
}
