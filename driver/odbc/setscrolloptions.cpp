// SQLSetScrollOptions: the ODBC 2 cursor choice, turned into the cursor type,
// concurrency, keyset size and rowset size attributes.
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"

static const char* const kUnit = "setscrolloptions";

namespace {

// The concurrency bits (SQL_CA2_*) of the SQLGetInfo cursor-attributes answer for each type.
SQLUINTEGER concurrencies_offered(SQLULEN cursor_type) {
  switch (cursor_type) {
    case SQL_CURSOR_FORWARD_ONLY:
      return 0x3;  // SQL_FORWARD_ONLY_CURSOR_ATTRIBUTES2
    case SQL_CURSOR_STATIC:
      return 0x10001;  // SQL_STATIC_CURSOR_ATTRIBUTES2
    case SQL_CURSOR_KEYSET_DRIVEN:
      return 0x402b;  // SQL_KEYSET_CURSOR_ATTRIBUTES2
    default:
      return 0x402b;  // SQL_DYNAMIC_CURSOR_ATTRIBUTES2
  }
}

// Errors of this ODBC 2 function carry ODBC 2 SQLSTATEs and origin.
SQLRETURN post_odbc2_error(QuillStmt* stmt, const char* sqlstate, const char* message) {
  SetReturnCode(stmt->errors, -1);
  PostError(stmt->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ODBC 2.0", sqlstate, "%s", message);
  return SQL_ERROR;
}

// Cursor type named by the keyset argument, or -1 when the keyset size does not fit the rowset.
long cursor_type_for(SQLLEN keyset, SQLUSMALLINT rowset) {
  switch (keyset) {
    case SQL_SCROLL_STATIC:
      return SQL_CURSOR_STATIC;
    case SQL_SCROLL_DYNAMIC:
      return SQL_CURSOR_DYNAMIC;
    case SQL_SCROLL_KEYSET_DRIVEN:
      return SQL_CURSOR_KEYSET_DRIVEN;
    case SQL_SCROLL_FORWARD_ONLY:
      return SQL_CURSOR_FORWARD_ONLY;
    default:
      return keyset > static_cast<SQLLEN>(rowset) ? SQL_CURSOR_KEYSET_DRIVEN : -1;
  }
}

SQLRETURN set_scroll_options(QuillStmt* stmt, SQLUSMALLINT concurrency, SQLLEN keyset,
                             SQLUSMALLINT rowset) {
  long type = cursor_type_for(keyset, rowset);
  if (type < 0 || rowset == 0) return post_odbc2_error(stmt, "S1107", "Row value out of range");
  if (concurrency < SQL_CONCUR_READ_ONLY || concurrency > SQL_CONCUR_VALUES)
    return post_odbc2_error(stmt, "S1108", "Concurrency option out of range");
  if (!(concurrencies_offered(type) & (1u << (concurrency - 1))))
    return post_odbc2_error(stmt, "S1C00", "Driver no capable");
  struct Step {
    SQLINTEGER attribute;
    SQLULEN value;
    bool wanted;
  };
  const Step steps[] = {
      {SQL_ATTR_CURSOR_TYPE, static_cast<SQLULEN>(type), true},
      {SQL_ATTR_CONCURRENCY, concurrency, true},
      {SQL_ATTR_KEYSET_SIZE, static_cast<SQLULEN>(keyset), keyset >= 0},
      {SQL_ROWSET_SIZE, rowset, true},
  };
  SQLRETURN overall = SQL_SUCCESS;
  for (const Step& step : steps) {
    if (!step.wanted) continue;
    SQLRETURN rc = set_stmt_attr(stmt, step.attribute, reinterpret_cast<SQLPOINTER>(step.value), 0);
    if (!SQL_SUCCEEDED(rc)) return rc;
    if (rc != SQL_SUCCESS) overall = rc;
  }
  return overall;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLSetScrollOptions(SQLHSTMT handle, SQLUSMALLINT concurrency, SQLLEN keyset,
                                           SQLUSMALLINT rowset) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetScrollOptions( %h, %u, %I, %u )", handle,
            static_cast<int>(concurrency), keyset, static_cast<int>(rowset));
  if (!valid_stmt(handle))
    return TRACE_RETURN(kUnit, "SQLSetScrollOptions() returns %e", SQL_INVALID_HANDLE);
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  return TRACE_RETURN(kUnit, "SQLSetScrollOptions() returns %e",
                      set_scroll_options(stmt, concurrency, keyset, rowset));
}
