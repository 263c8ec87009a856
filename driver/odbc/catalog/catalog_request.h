// The arguments of one catalog-function call, copied so that the call can run
// on the statement's worker thread after the application's buffers are gone,
// and their hand-over to the matching catalog entry of the data-access layer.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

#include "driver/dal/dal.h"

// One name or pattern argument.
struct CatalogText {
  bool given = false;       // the application passed a pointer (null means "not given")
  std::string text;         // its text (UTF-8)
  bool bad_length = false;  // its length was negative and not SQL_NTS
  bool no_memory = false;   // the copy could not be made
};

// The narrow argument `text` of `length` bytes (or SQL_NTS).
CatalogText catalog_text(const SQLCHAR* text, SQLSMALLINT length);
// The wide argument `text` of `length` characters (or SQL_NTS), converted to UTF-8.
CatalogText catalog_text_wide(const SQLWCHAR* text, SQLSMALLINT length);

// Most name arguments a catalog function takes (SQLForeignKeys: two triples).
constexpr int CATALOG_MAX_NAMES = 6;

// What a catalog function was called with. `names` hold the name arguments in the order the
// ODBC function declares them.
struct CatalogRequest {
  int function = 0;                      // SQL_API_SQLTABLES ... SQL_API_SQLGETTYPEINFO
  CatalogText names[CATALOG_MAX_NAMES];  // name and pattern arguments
  int name_count = 0;                    // entries of `names` the function takes
  int identifier_type = 0;               // SQLSpecialColumns
  int scope = 0;                         // SQLSpecialColumns
  int nullable = 0;                      // SQLSpecialColumns
  int unique = 0;                        // SQLStatistics
  int reserved = 0;                      // SQLStatistics
  int data_type = 0;                     // SQLGetTypeInfo (SQL_ALL_TYPES for all)
};

// The argument as the data-access layer takes it (null text when not given).
SqiText catalog_sqi_text(const CatalogText& argument);
// True when SQLForeignKeys names a primary-key table (non-empty).
bool catalog_pk_table_given(const CatalogRequest& request);
// Runs the data-access entry of `request` on `it`: an SqiResult. `odbc2` maps the ODBC 2
// date, time and timestamp codes of SQLGetTypeInfo to the ODBC 3 ones the backends know.
int catalog_request_run(DalIterator* it, const CatalogRequest& request, bool odbc2);
