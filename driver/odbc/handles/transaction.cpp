// Ending a connection's transaction.
#include "driver/dal/dal.h"
#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handles.h"

SQLRETURN end_transaction(QuillDbc* dbc, SQLSMALLINT completion) {
  if (completion != SQL_COMMIT && completion != SQL_ROLLBACK)
    return post_call_error(dbc->errors, "HY012", "Invalid attribute/option identifier");
  int rc = DALEndTransaction(dbc->dal, completion);
  if (rc == SQI_ERROR) {
    SetReturnCode(dbc->errors, -1);
    return SQL_ERROR;
  }
  if (dbc->state == DBC_IN_TRANSACTION) dbc_set_state(dbc, dbc_connected_state(dbc));
  return rc == SQI_INFO ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}
