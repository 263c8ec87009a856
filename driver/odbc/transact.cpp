// SQLTransact: the ODBC 2 form of SQLEndTran.
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "transact";

QUILL_EXPORT SQLRETURN SQLTransact(SQLHENV env, SQLHDBC dbc, SQLUSMALLINT completion) {
  HandleCall call(dbc ? SQL_HANDLE_DBC : SQL_HANDLE_ENV, dbc ? dbc : env);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLTransact( %h, %h, %u )", env, dbc,
            static_cast<int>(completion));
  SQLRETURN rc;
  if (dbc)
    rc = odbc_end_tran(SQL_HANDLE_DBC, dbc, static_cast<SQLSMALLINT>(completion));
  else if (env)
    rc = odbc_end_tran(SQL_HANDLE_ENV, env, static_cast<SQLSMALLINT>(completion));
  else
    rc = SQL_ERROR;
  return TRACE_RETURN(kUnit, "SQLTransact() returns %e", rc);
}
