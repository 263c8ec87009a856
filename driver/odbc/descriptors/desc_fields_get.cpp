// The descriptor field table and reading fields by identifier: header fields
// from the descriptor, record fields from the addressed record.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/states.h"

namespace {

using T = DescFieldType;

#define HEADER(id, type, storage, member, settable) \
  { id, true, T::type, T::storage, offsetof(QuillDesc, member), settable }
#define RECORD(id, type, storage, member, settable) \
  { id, false, T::type, T::storage, offsetof(DescRecord, member), settable }

const DescFieldEntry kFields[] = {
    HEADER(SQL_DESC_COUNT, Small, Small, count, true),
    HEADER(SQL_DESC_ARRAY_SIZE, ULen, ULen, array_size, true),
    HEADER(SQL_DESC_ARRAY_STATUS_PTR, Pointer, Pointer, array_status_ptr, true),
    HEADER(SQL_DESC_BIND_OFFSET_PTR, Pointer, Pointer, bind_offset_ptr, true),
    HEADER(SQL_DESC_BIND_TYPE, Integer, ULen, bind_type, true),
    HEADER(SQL_DESC_ROWS_PROCESSED_PTR, Pointer, Pointer, rows_processed_ptr, true),
    HEADER(SQL_DESC_ALLOC_TYPE, Small, Small, alloc_type, false),
    RECORD(SQL_DESC_CONCISE_TYPE, Small, Small, concise_type, true),
    RECORD(SQL_DESC_DISPLAY_SIZE, Len, Len, display_size, false),
    RECORD(SQL_DESC_UNSIGNED, Small, Small, unsigned_flag, false),
    RECORD(SQL_DESC_FIXED_PREC_SCALE, Small, Small, fixed_prec_scale, false),
    RECORD(SQL_DESC_UPDATABLE, Small, Small, updatable, false),
    RECORD(SQL_DESC_AUTO_UNIQUE_VALUE, Integer, Small, auto_unique_value, false),
    RECORD(SQL_DESC_CASE_SENSITIVE, Integer, Small, case_sensitive, false),
    RECORD(SQL_DESC_SEARCHABLE, Small, Small, searchable, false),
    RECORD(SQL_DESC_TYPE_NAME, Text, Text, type_name, false),
    RECORD(SQL_DESC_TABLE_NAME, Text, Text, table_name, false),
    RECORD(SQL_DESC_SCHEMA_NAME, Text, Text, schema_name, false),
    RECORD(SQL_DESC_CATALOG_NAME, Text, Text, catalog_name, false),
    RECORD(SQL_DESC_LABEL, Text, Text, label, false),
    RECORD(SQL_DESC_BASE_COLUMN_NAME, Text, Text, base_column_name, false),
    RECORD(SQL_DESC_BASE_TABLE_NAME, Text, Text, base_table_name, false),
    RECORD(SQL_DESC_DATETIME_INTERVAL_PRECISION, Integer, Integer, datetime_interval_precision,
           true),
    RECORD(SQL_DESC_LITERAL_PREFIX, Text, Text, literal_prefix, false),
    RECORD(SQL_DESC_LITERAL_SUFFIX, Text, Text, literal_suffix, false),
    RECORD(SQL_DESC_LOCAL_TYPE_NAME, Text, Text, type_name, false),
    RECORD(SQL_DESC_NUM_PREC_RADIX, Integer, Integer, num_prec_radix, true),
    RECORD(SQL_DESC_PARAMETER_TYPE, Small, Small, parameter_type, true),
    RECORD(SQL_DESC_TYPE, Small, Small, type, true),
    RECORD(SQL_DESC_LENGTH, ULen, ULen, length, true),
    RECORD(SQL_DESC_OCTET_LENGTH_PTR, Pointer, Pointer, octet_length_ptr, true),
    RECORD(SQL_DESC_PRECISION, Small, Small, precision, true),
    RECORD(SQL_DESC_SCALE, Small, Small, scale, true),
    RECORD(SQL_DESC_DATETIME_INTERVAL_CODE, Small, Small, datetime_interval_code, true),
    RECORD(SQL_DESC_NULLABLE, Small, Small, nullable, false),
    RECORD(SQL_DESC_INDICATOR_PTR, Pointer, Pointer, indicator_ptr, true),
    RECORD(SQL_DESC_DATA_PTR, Pointer, Pointer, data_ptr, true),
    RECORD(SQL_DESC_NAME, Text, Text, name, false),
    RECORD(SQL_DESC_UNNAMED, Small, Small, unnamed, true),
    RECORD(SQL_DESC_OCTET_LENGTH, Len, Len, octet_length, true),
};

#undef HEADER
#undef RECORD

// What a record read beyond an application descriptor's records shows: every field unset.
const DescRecord kEmptyRecord{};

SQLLEN load_number(const char* at, DescFieldType storage) {
  switch (storage) {
    case T::Small: {
      SQLSMALLINT v;
      std::memcpy(&v, at, sizeof v);
      return v;
    }
    case T::Integer: {
      SQLINTEGER v;
      std::memcpy(&v, at, sizeof v);
      return v;
    }
    case T::Len: {
      SQLLEN v;
      std::memcpy(&v, at, sizeof v);
      return v;
    }
    case T::ULen: {
      SQLULEN v;
      std::memcpy(&v, at, sizeof v);
      return static_cast<SQLLEN>(v);
    }
    case T::Pointer: {
      void* v;
      std::memcpy(&v, at, sizeof v);
      return static_cast<SQLLEN>(reinterpret_cast<intptr_t>(v));
    }
    default:
      return 0;
  }
}

}  // namespace

const DescFieldEntry* desc_find_field(SQLSMALLINT id) {
  for (const DescFieldEntry& entry : kFields)
    if (entry.id == id) return &entry;
  return nullptr;
}

bool desc_unprepared_ird(const QuillDesc* desc) {
  return desc->kind == DESC_IRD && desc->stmt && desc->stmt->state <= S1_ALLOCATED;
}

SQLRETURN desc_locate_record(QuillDesc* desc, SQLSMALLINT number, bool grow, DescRecord** out) {
  *out = nullptr;
  if (number < 0) return post_call_error(desc->errors, "07009", MSG_BAD_DESC_INDEX);
  if (desc_unprepared_ird(desc)) return post_call_error(desc->errors, "HY007", MSG_NOT_PREPARED);
  bool application = desc->kind == DESC_ARD || desc->kind == DESC_APD;
  if (!application) {
    // Implementation records exist only as the statement described them.
    bool bookmark_missing = number == 0 && (desc->kind == DESC_IPD || !desc->stmt ||
                                            desc->stmt->attrs.use_bookmarks == SQL_UB_OFF);
    DescRecord* record =
        number > desc->count || bookmark_missing ? nullptr : desc_record(desc, number, false);
    if (!record) return post_call_error(desc->errors, "07009", MSG_BAD_DESC_INDEX);
    *out = record;
    return SQL_SUCCESS;
  }
  if (grow) {
    *out = desc_record(desc, number, true);
    return *out ? SQL_SUCCESS : post_call_error(desc->errors, "HY001", MSG_MEMORY);
  }
  if (number > desc->count) return SQL_NO_DATA;
  DescRecord* record = desc_record(desc, number, false);
  *out = record ? record : const_cast<DescRecord*>(&kEmptyRecord);
  return SQL_SUCCESS;
}

SQLRETURN desc_read_field(QuillDesc* desc, SQLSMALLINT number, SQLSMALLINT field,
                          DescFieldValue* out) {
  const DescFieldEntry* entry = desc_find_field(field);
  if (!entry) return post_call_error(desc->errors, "HY091", MSG_BAD_FIELD_ID);
  const char* base;
  if (entry->header) {
    if (desc_unprepared_ird(desc)) return post_call_error(desc->errors, "HY007", MSG_NOT_PREPARED);
    base = reinterpret_cast<const char*>(desc);
  } else {
    DescRecord* record = nullptr;
    SQLRETURN rc = desc_locate_record(desc, number, false, &record);
    if (rc != SQL_SUCCESS) return rc;
    base = reinterpret_cast<const char*>(record);
  }
  out->type = entry->type;
  out->text = entry->type == T::Text ? base + entry->offset : nullptr;
  out->number = entry->type == T::Text ? 0 : load_number(base + entry->offset, entry->storage);
  return SQL_SUCCESS;
}

void desc_write_number(const DescFieldValue& value, SQLPOINTER target) {
  if (!target) return;
  switch (value.type) {
    case T::Small: {
      auto v = static_cast<SQLSMALLINT>(value.number);
      std::memcpy(target, &v, sizeof v);
      break;
    }
    case T::Integer: {
      auto v = static_cast<SQLINTEGER>(value.number);
      std::memcpy(target, &v, sizeof v);
      break;
    }
    case T::Len:
    case T::ULen:
      std::memcpy(target, &value.number, sizeof value.number);
      break;
    case T::Pointer: {
      auto v = reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(value.number));
      std::memcpy(target, &v, sizeof v);
      break;
    }
    default:
      break;
  }
}
