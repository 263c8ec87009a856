// Writing descriptor fields by identifier: the count that grows or shrinks an
// application descriptor, the type fields that move together, and plain
// numbers and pointers stored at their member's width.
#include <climits>
#include <cstdint>
#include <cstring>

#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"

namespace {

using T = DescFieldType;

SQLLEN number_of(SQLPOINTER value) {
  return static_cast<SQLLEN>(reinterpret_cast<intptr_t>(value));
}

void store(char* at, DescFieldType storage, SQLPOINTER value) {
  SQLLEN n = number_of(value);
  switch (storage) {
    case T::Small: {
      auto v = static_cast<SQLSMALLINT>(n);
      std::memcpy(at, &v, sizeof v);
      break;
    }
    case T::Integer: {
      auto v = static_cast<SQLINTEGER>(n);
      std::memcpy(at, &v, sizeof v);
      break;
    }
    case T::Len:
      std::memcpy(at, &n, sizeof n);
      break;
    case T::ULen: {
      auto v = static_cast<SQLULEN>(n);
      std::memcpy(at, &v, sizeof v);
      break;
    }
    case T::Pointer:
      std::memcpy(at, &value, sizeof value);
      break;
    default:
      break;
  }
}

// SQL_DESC_COUNT: application descriptors grow (keeping their records) or shrink; the IPD
// grows to describe that many parameters; the IRD's count belongs to its statement.
SQLRETURN set_count(QuillDesc* desc, SQLLEN n) {
  if (n < 0 || n > SHRT_MAX) return post_call_error(desc->errors, "07009", MSG_BAD_DESC_INDEX);
  if (desc->kind == DESC_IRD) return SQL_SUCCESS;
  if (n > 0 && !desc_record(desc, static_cast<int>(n), true))
    return post_call_error(desc->errors, "HY001", MSG_MEMORY);
  desc->count = static_cast<SQLSMALLINT>(n);
  return SQL_SUCCESS;
}

SQLRETURN set_header(QuillDesc* desc, const DescFieldEntry& entry, SQLPOINTER value) {
  SQLLEN n = number_of(value);
  if (entry.id == SQL_DESC_COUNT) return set_count(desc, n);
  if (entry.id == SQL_DESC_ARRAY_SIZE && n <= 0)
    return post_call_error(desc->errors, "HY024", MSG_BAD_ATTR_VALUE);
  store(reinterpret_cast<char*>(desc) + entry.offset, entry.storage, value);
  return SQL_SUCCESS;
}

}  // namespace

void desc_set_verbose_type(DescRecord* record, SQLSMALLINT type, SQLSMALLINT subcode) {
  if (type == SQL_DATETIME) {
    record->type = SQL_DATETIME;
    record->datetime_interval_code = subcode;
    if (subcode >= SQL_CODE_DATE && subcode <= SQL_CODE_TIMESTAMP)
      record->concise_type = static_cast<SQLSMALLINT>(SQL_TYPE_DATE + subcode - SQL_CODE_DATE);
    return;
  }
  if (type == SQL_INTERVAL) {
    record->type = SQL_INTERVAL;
    record->datetime_interval_code = subcode;
    if (subcode >= SQL_CODE_YEAR && subcode <= SQL_CODE_MINUTE_TO_SECOND)
      record->concise_type = static_cast<SQLSMALLINT>(100 + subcode);
    return;
  }
  desc_set_concise_type(record, type);
}

SQLRETURN desc_write_field(QuillDesc* desc, SQLSMALLINT number, SQLSMALLINT field,
                           SQLPOINTER value) {
  const DescFieldEntry* entry = desc_find_field(field);
  if (!entry || !entry->settable) return post_call_error(desc->errors, "HY091", MSG_BAD_FIELD_ID);
  if (entry->header) {
    if (desc_unprepared_ird(desc)) return post_call_error(desc->errors, "HY007", MSG_NOT_PREPARED);
    return set_header(desc, *entry, value);
  }
  bool application = desc->kind == DESC_ARD || desc->kind == DESC_APD;
  DescRecord* record = nullptr;
  SQLRETURN rc = desc_locate_record(desc, number, application, &record);
  if (rc != SQL_SUCCESS) return rc;
  auto n = static_cast<SQLSMALLINT>(number_of(value));
  switch (field) {
    case SQL_DESC_CONCISE_TYPE:
      // The IRD's types are the statement's; setting them is ignored.
      if (desc->kind != DESC_IRD) desc_set_concise_type(record, n);
      return SQL_SUCCESS;
    case SQL_DESC_TYPE:
      if (desc->kind != DESC_IRD) desc_set_verbose_type(record, n, record->datetime_interval_code);
      return SQL_SUCCESS;
    case SQL_DESC_DATETIME_INTERVAL_CODE:
      if (record->type == SQL_DATETIME || record->type == SQL_INTERVAL)
        desc_set_verbose_type(record, record->type, n);
      else
        record->datetime_interval_code = n;
      return SQL_SUCCESS;
    default:
      store(reinterpret_cast<char*>(record) + entry->offset, entry->storage, value);
      return SQL_SUCCESS;
  }
}
