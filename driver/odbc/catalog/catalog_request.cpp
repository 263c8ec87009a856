// Catalog-function arguments: copying narrow and wide name arguments, and the
// call of the data-access catalog entry each function maps to.
#include "driver/odbc/catalog/catalog_request.h"

#include <sqlucode.h>

#include <cstring>
#include <new>

#include "support/unicode.h"

CatalogText catalog_text(const SQLCHAR* text, SQLSMALLINT length) {
  CatalogText out;
  if (!text) return out;
  out.given = true;
  if (length < 0 && length != SQL_NTS) {
    out.bad_length = true;
    return out;
  }
  const char* chars = reinterpret_cast<const char*>(text);
  size_t size =
      length == SQL_NTS ? std::strlen(chars) : strnlen(chars, static_cast<size_t>(length));
  try {
    out.text.assign(chars, size);
  } catch (const std::bad_alloc&) {
    out.no_memory = true;
  }
  return out;
}

CatalogText catalog_text_wide(const SQLWCHAR* text, SQLSMALLINT length) {
  CatalogText out;
  if (!text) return out;
  out.given = true;
  if (length < 0 && length != SQL_NTS) {
    out.bad_length = true;
    return out;
  }
  try {
    utf16_to_utf8(text, length, out.text);
    // A counted argument may still carry an early NUL; the name ends there.
    out.text.resize(std::strlen(out.text.c_str()));
  } catch (const std::bad_alloc&) {
    out.no_memory = true;
  }
  return out;
}

SqiText catalog_sqi_text(const CatalogText& argument) {
  if (!argument.given) return SqiText{nullptr, 0};
  return SqiText{argument.text.c_str(), static_cast<int>(argument.text.size())};
}

bool catalog_pk_table_given(const CatalogRequest& request) {
  return request.function == SQL_API_SQLFOREIGNKEYS && request.names[2].given &&
         !request.names[2].text.empty();
}

namespace {

// The ODBC 3 code of an ODBC 2 date, time or timestamp type code.
int odbc3_type(int sql_type) {
  switch (sql_type) {
    case SQL_DATE:
      return SQL_TYPE_DATE;
    case SQL_TIME:
      return SQL_TYPE_TIME;
    case SQL_TIMESTAMP:
      return SQL_TYPE_TIMESTAMP;
    default:
      return sql_type;
  }
}

}  // namespace

int catalog_request_run(DalIterator* it, const CatalogRequest& request, bool odbc2) {
  SqiText n[CATALOG_MAX_NAMES];
  for (int i = 0; i < CATALOG_MAX_NAMES; ++i) n[i] = catalog_sqi_text(request.names[i]);
  switch (request.function) {
    case SQL_API_SQLTABLES:
      return DALTables(it, n[0], n[1], n[2], n[3]);
    case SQL_API_SQLCOLUMNS:
      return DALColumns(it, n[0], n[1], n[2], n[3]);
    case SQL_API_SQLSTATISTICS:
      return DALStatistics(it, n[0], n[1], n[2], request.unique, request.reserved);
    case SQL_API_SQLSPECIALCOLUMNS:
      return DALSpecialColumns(it, request.identifier_type, n[0], n[1], n[2], request.scope,
                               request.nullable);
    case SQL_API_SQLPRIMARYKEYS:
      return DALPrimaryKeys(it, n[0], n[1], n[2]);
    case SQL_API_SQLFOREIGNKEYS:
      return DALForeignKeys(it, n[0], n[1], n[2], n[3], n[4], n[5]);
    case SQL_API_SQLTABLEPRIVILEGES:
      return DALTablePrivileges(it, n[0], n[1], n[2]);
    case SQL_API_SQLCOLUMNPRIVILEGES:
      return DALColumnPrivileges(it, n[0], n[1], n[2], n[3]);
    case SQL_API_SQLPROCEDURES:
      return DALProcedures(it, n[0], n[1], n[2]);
    case SQL_API_SQLPROCEDURECOLUMNS:
      return DALProcedureColumns(it, n[0], n[1], n[2], n[3]);
    case SQL_API_SQLGETTYPEINFO:
      return DALGetTypeInfo(it, odbc2 ? odbc3_type(request.data_type) : request.data_type);
    default:
      return SQI_ERROR;
  }
}
