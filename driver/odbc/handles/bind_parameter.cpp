// Parameter binding into the APD and IPD records.
#include "driver/odbc/handles/bind_parameter.h"

#include "driver/odbc/handles/desc_records.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/states.h"

namespace {

bool known_c_type(SQLSMALLINT c_type) {
  switch (c_type) {
    case SQL_C_CHAR:
    case SQL_C_WCHAR:
    case SQL_C_BINARY:
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
    case SQL_C_TINYINT:
    case SQL_C_STINYINT:
    case SQL_C_UTINYINT:
    case SQL_C_BIT:
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
    case SQL_C_DOUBLE:
    case SQL_C_FLOAT:
    case SQL_C_TYPE_DATE:
    case SQL_C_DATE:
    case SQL_C_TYPE_TIME:
    case SQL_C_TIME:
    case SQL_C_TYPE_TIMESTAMP:
    case SQL_C_TIMESTAMP:
    case SQL_C_NUMERIC:
    case SQL_C_DEFAULT:
      return true;
    default:
      return false;
  }
}

}  // namespace

SQLRETURN bind_parameter(QuillStmt* stmt, SQLUSMALLINT number, SQLSMALLINT direction,
                         SQLSMALLINT c_type, SQLSMALLINT sql_type, SQLULEN column_size,
                         SQLSMALLINT digits, SQLPOINTER buffer, SQLLEN buffer_length,
                         SQLLEN* length_or_indicator) {
  if (stmt_check(stmt, SQL_API_SQLBINDPARAMETER, 0) != SQL_SUCCESS) return SQL_ERROR;
  if (number < 1) return post_call_error(stmt->errors, "07009", MSG_BAD_DESC_INDEX);
  if (!known_c_type(c_type))
    return post_call_error(stmt->errors, "HY003", "Invalid application buffer type");
  if (direction != SQL_PARAM_INPUT)
    return post_call_error(stmt->errors, "HY105", "Invalid parameter type");
  if (buffer_length < 0) return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
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
  desc_set_concise_type(imp, sql_type);
  imp->parameter_type = direction;
  imp->length = column_size;
  imp->precision = static_cast<SQLSMALLINT>(column_size > 0x7fff ? 0x7fff : column_size);
  imp->scale = digits;
  imp->value = nullptr;
  return SQL_SUCCESS;
}
