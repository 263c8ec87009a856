// Descriptor record arrays: growth that keeps earlier records, the capacity
// kept in front of the array, the type-setting rule for one concise type, the
// unbinding trim of application descriptors, and the parameter records.
#include "driver/odbc/descriptors/desc_records.h"

#include <climits>
#include <cstddef>
#include <cstdint>

#include "driver/odbc/handles/frame.h"
#include "driver/sql/plan.h"

namespace {

// The record array is preceded by this header in one block of the records pool, so the
// capacity survives a count lowered by unbinding.
struct alignas(16) RecordBlockHeader {
  int64_t capacity;  // records allocated, bookmark record included
};

RecordBlockHeader* block_of(const QuillDesc* desc) {
  if (!desc->records) return nullptr;
  return reinterpret_cast<RecordBlockHeader*>(reinterpret_cast<char*>(desc->records) -
                                              sizeof(RecordBlockHeader));
}

bool is_datetime_code(SQLSMALLINT code) {
  return (code >= SQL_DATE && code <= SQL_TIMESTAMP) ||
         (code >= SQL_TYPE_DATE && code <= SQL_TYPE_TIMESTAMP);
}

bool is_interval_code(SQLSMALLINT code) {
  return code >= SQL_INTERVAL_YEAR && code <= SQL_INTERVAL_MINUTE_TO_SECOND;
}

// Character, integer, double, bit and binary codes, SQL and C alike.
bool is_plain_code(SQLSMALLINT code) {
  switch (code) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_DOUBLE:
    case SQL_BIT:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return true;
    default:
      return false;
  }
}

}  // namespace

int desc_capacity(const QuillDesc* desc) {
  const RecordBlockHeader* block = block_of(desc);
  return block ? static_cast<int>(block->capacity) : 0;
}

DescRecord* desc_record(QuillDesc* desc, int number, bool grow) {
  if (number < 0 || number > SHRT_MAX) return nullptr;
  int capacity = desc_capacity(desc);
  if (number >= capacity) {
    if (!grow) return nullptr;
    size_t bytes = sizeof(RecordBlockHeader) + sizeof(DescRecord) * static_cast<size_t>(number + 1);
    RecordBlockHeader* block = static_cast<RecordBlockHeader*>(
        quill_mem_realloc(desc->records_pool, block_of(desc), bytes));
    if (!block) return nullptr;
    block->capacity = number + 1;
    desc->records = reinterpret_cast<DescRecord*>(block + 1);
    DescRecord* records = desc->records;
    // New parameter records are inputs until told otherwise.
    if (desc->kind == DESC_IPD)
      for (int i = capacity; i <= number; ++i) records[i].parameter_type = SQL_PARAM_INPUT;
  }
  bool application = desc->kind == DESC_ARD || desc->kind == DESC_APD;
  if (grow && application && number > desc->count) desc->count = static_cast<SQLSMALLINT>(number);
  return desc->records + number;
}

void desc_set_concise_type(DescRecord* record, SQLSMALLINT concise_type) {
  if (record->concise_type == concise_type && record->type != 0) return;
  record->concise_type = concise_type;
  record->datetime_interval_code = 0;
  if (is_datetime_code(concise_type)) {
    record->type = SQL_DATETIME;
    record->datetime_interval_code =
        static_cast<SQLSMALLINT>(concise_type >= SQL_TYPE_DATE ? concise_type - SQL_TYPE_DATE + 1
                                                               : concise_type - SQL_DATE + 1);
    return;
  }
  if (is_interval_code(concise_type)) {
    record->type = SQL_INTERVAL;
    record->datetime_interval_code = static_cast<SQLSMALLINT>(concise_type - 100);
    return;
  }
  record->type = concise_type;
  if (concise_type == SQL_NUMERIC || concise_type == SQL_DECIMAL) {
    record->precision = 15;
    record->scale = 0;
  } else if (concise_type == SQL_FLOAT || concise_type == SQL_REAL) {
    record->precision = 9;
  } else if (is_plain_code(concise_type)) {
    record->length = 1;
    record->precision = 0;
  }
}

void desc_trim_count(QuillDesc* desc) {
  auto* records = desc->records;
  int count = desc->count < desc_capacity(desc) ? desc->count : desc_capacity(desc) - 1;
  while (count > 0) {
    const DescRecord& r = records[count];
    if (r.data_ptr || r.indicator_ptr || r.octet_length_ptr) break;
    --count;
  }
  desc->count = static_cast<SQLSMALLINT>(count < 0 ? 0 : count);
}

bool desc_fill_ipd(QuillStmt* stmt, int count, ListNode* parameters) {
  QuillDesc* ipd = stmt->ipd;
  if (count < 0) count = 0;
  if (count > 0 && !desc_record(ipd, count, true)) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return false;
  }
  ipd->count = static_cast<SQLSMALLINT>(count);
  int number = 1;
  for (ListNode* node = parameters; node && number <= count; node = node->next, ++number) {
    const auto* entry = static_cast<const ParameterEntry*>(node->data);
    if (!entry || entry->sql_type == 0) continue;
    DescRecord* record = desc_record(ipd, number, false);
    const TypeDescription& d = entry->description;
    desc_set_concise_type(record,
                          static_cast<SQLSMALLINT>(d.sql_type ? d.sql_type : entry->sql_type));
    record->length = static_cast<SQLULEN>(d.column_size);
    record->octet_length = static_cast<SQLLEN>(d.length);
    record->precision = static_cast<SQLSMALLINT>(d.precision);
    record->scale = static_cast<SQLSMALLINT>(d.scale);
    record->nullable = static_cast<SQLSMALLINT>(d.nullable);
    record->datetime_interval_precision = d.interval_precision;
    record->unnamed = SQL_UNNAMED;
  }
  return true;
}
