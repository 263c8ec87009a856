// Implementations behind the exported ODBC functions that more than one entry
// point shares (ODBC 2 forms, W forms, the Std variant).
#pragma once

#include <sql.h>
#include <sqlext.h>

// SQLAllocHandle without its trace lines.
SQLRETURN odbc_alloc_handle(SQLSMALLINT type, SQLHANDLE input, SQLHANDLE* output);
// SQLFreeHandle without its trace lines.
SQLRETURN odbc_free_handle(SQLSMALLINT type, SQLHANDLE handle);
// SQLSetEnvAttr without its trace lines.
SQLRETURN odbc_set_env_attr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
// SQLGetDiagRec without its trace lines.
SQLRETURN odbc_get_diag_rec(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                            SQLCHAR* sqlstate, SQLINTEGER* native, SQLCHAR* message,
                            SQLSMALLINT buffer_length, SQLSMALLINT* text_length);
// SQLGetDiagField without its trace lines.
SQLRETURN odbc_get_diag_field(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT record,
                              SQLSMALLINT identifier, SQLPOINTER value, SQLSMALLINT buffer_length,
                              SQLSMALLINT* string_length);
// SQLEndTran without its trace lines (also serves SQLTransact).
SQLRETURN odbc_end_tran(SQLSMALLINT type, SQLHANDLE handle, SQLSMALLINT completion);
