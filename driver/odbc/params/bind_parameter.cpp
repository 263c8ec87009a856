// Parameter binding into the APD and IPD records, and the description of a
// parameter: from its IPD record, else from the type validation inferred for it,
// else as wide character text.
#include "driver/odbc/params/bind_parameter.h"

#include "driver/odbc/descriptors/desc_records.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/params/param_types.h"
#include "driver/odbc/handles/states.h"
#include "driver/sql/plan.h"

namespace {

bool has_fraction_digits(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_TIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_INTERVAL_SECOND:
    case SQL_INTERVAL_DAY_TO_SECOND:
    case SQL_INTERVAL_HOUR_TO_SECOND:
    case SQL_INTERVAL_MINUTE_TO_SECOND:
      return true;
    default:
      return false;
  }
}

// The implementation record's size and digit fields after the ODBC rules of SQLBindParameter:
// the column size is the length of character and binary types and the precision of
// numbers; the decimal digits are the scale, or the fraction digits of seconds.
void describe_in_ipd(DescRecord* imp, SQLSMALLINT sql_type, SQLULEN column_size,
                     SQLSMALLINT digits) {
  desc_set_concise_type(imp, sql_type);
  imp->length = column_size;
  imp->scale = digits;
  if (has_fraction_digits(sql_type))
    imp->precision = digits;
  else
    imp->precision = static_cast<SQLSMALLINT>(column_size > 0x7fff ? 0x7fff : column_size);
  imp->nullable = SQL_NULLABLE;
}

// Size a marker of no inferable type is described with: wide text long enough for the
// long hexadecimal texts (call data, raw transactions) parameters carry.
constexpr SQLULEN kUntypedParameterSize = 65535;

// The validated entry of marker `number` (1-based, text order) of the current statement, or
// null when there is no current statement or it has fewer markers.
const ParameterEntry* validated_parameter(const QuillStmt* stmt, int number) {
  if (!stmt->current_entry || !stmt->current_entry->data) return nullptr;
  const auto* entry = static_cast<const StatementEntry*>(stmt->current_entry->data);
  for (ListNode* at = entry->parameters; at; at = at->next)
    if (--number == 0) return static_cast<const ParameterEntry*>(at->data);
  return nullptr;
}

}  // namespace

SQLRETURN bind_parameter(QuillStmt* stmt, int function, SQLUSMALLINT number, SQLSMALLINT direction,
                         SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN column_size,
                         SQLSMALLINT digits, SQLPOINTER buffer, SQLLEN buffer_length,
                         SQLLEN* length_or_indicator) {
  if (stmt_check(stmt, function, 0) != SQL_SUCCESS) return SQL_ERROR;
  if (number < 1) return post_call_error(stmt->errors, "07009", MSG_BAD_DESC_INDEX);
  if (!param_known_c_type(c_type))
    return post_call_error(stmt->errors, "HY003", "Invalid application buffer type");
  if (!param_pair_allowed(sql_type, c_type))
    return post_call_error(stmt->errors, "07006", "restricted data type attribute violation");
  if (direction != SQL_PARAM_INPUT)
    return post_call_error(stmt->errors, "HY105", "Invalid parameter type");
  if (function == SQL_API_SQLBINDPARAMETER && buffer_length < 0)
    return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
  DescRecord* app = desc_record(stmt->apd, number, true);
  DescRecord* imp = desc_record(stmt->ipd, number, true);
  if (!app || !imp) return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  if (stmt->ipd->count < static_cast<SQLSMALLINT>(number)) stmt->ipd->count = number;
  desc_set_concise_type(app, c_type);
  app->data_ptr = buffer;
  app->octet_length = buffer_length;
  app->indicator_ptr = length_or_indicator;
  app->octet_length_ptr = length_or_indicator;
  if (c_type == SQL_C_NUMERIC) {
    app->precision = static_cast<SQLSMALLINT>(column_size);
    app->scale = digits;
  }
  describe_in_ipd(imp, sql_type, column_size, digits);
  imp->parameter_type = direction;
  // A value given at an earlier execution stays until the next execution releases it: an
  // open cursor may still read it.
  return SQL_SUCCESS;
}

SQLRETURN describe_parameter(QuillStmt* stmt, SQLUSMALLINT number, SQLSMALLINT* sql_type,
                             SQLULEN* column_size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  if (stmt_check(stmt, SQL_API_SQLDESCRIBEPARAM, 0) != SQL_SUCCESS) return SQL_ERROR;
  DescRecord* imp =
      number >= 1 && number <= stmt->ipd->count ? desc_record(stmt->ipd, number, false) : nullptr;
  if (imp && imp->concise_type != 0) {  // bound by the application, or filled automatically
    if (sql_type) *sql_type = imp->concise_type;
    if (column_size) *column_size = imp->length;
    if (digits) *digits = imp->scale;
    if (nullable) *nullable = imp->nullable;
    return SQL_SUCCESS;
  }
  if (number < 1 || number > stmt->parameter_count)
    return post_call_error(stmt->errors, "07009", MSG_BAD_DESC_INDEX);
  const ParameterEntry* entry = validated_parameter(stmt, number);
  if (entry && entry->sql_type != 0) {
    const TypeDescription& d = entry->description;
    if (sql_type) *sql_type = static_cast<SQLSMALLINT>(d.sql_type ? d.sql_type : entry->sql_type);
    if (column_size) *column_size = static_cast<SQLULEN>(d.column_size > 0 ? d.column_size : 0);
    if (digits) *digits = static_cast<SQLSMALLINT>(d.scale);
    if (nullable) *nullable = static_cast<SQLSMALLINT>(d.nullable);
    return SQL_SUCCESS;
  }
  if (sql_type) *sql_type = SQL_WVARCHAR;
  if (column_size) *column_size = kUntypedParameterSize;
  if (digits) *digits = 0;
  if (nullable) *nullable = SQL_NULLABLE;
  return SQL_SUCCESS;
}
