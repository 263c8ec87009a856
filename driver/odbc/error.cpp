// SQLError: ODBC 2 diagnostics, one record per call, last posted first, with
// ODBC 3 SQLSTATEs translated to their ODBC 2 equivalents.
#include <cstring>

#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"

static const char* const kUnit = "error";

namespace {

struct StateMapping {
  const char* odbc2;  // what an ODBC 2 application expects
  const char* odbc3;  // what the driver posted
};

// First match from the top wins (HY092 becomes S1009, 07009 becomes S1002). S0001 is
// "base table already exists", the ODBC 2 name of 42S01.
const StateMapping kOdbc2States[] = {
    {"01S03", "01001"}, {"01S04", "01001"}, {"22005", "22018"}, {"37000", "42000"},
    {"70100", "HY018"}, {"S0001", "42S01"}, {"S0002", "42S02"}, {"S0011", "42S11"},
    {"S0012", "42S12"}, {"S0021", "42S21"}, {"S0022", "42S22"}, {"S0023", "42S23"},
    {"S1000", "HY000"}, {"S1001", "HY001"}, {"S1002", "07009"}, {"S1003", "HY003"},
    {"S1004", "HY004"}, {"S1008", "HY008"}, {"S1009", "HY009"}, {"S1009", "HY024"},
    {"S1009", "HY092"}, {"S1010", "HY007"}, {"S1010", "HY010"}, {"S1011", "HY011"},
    {"S1012", "HY012"}, {"S1090", "HY090"}, {"S1091", "HY091"}, {"S1092", "HY092"},
    {"S1093", "07009"}, {"S1096", "HY096"}, {"S1097", "HY097"}, {"S1098", "HY098"},
    {"S1099", "HY099"}, {"S1100", "HY100"}, {"S1101", "HY101"}, {"S1103", "HY103"},
    {"S1104", "HY104"}, {"S1105", "HY105"}, {"S1106", "HY106"}, {"S1107", "HY107"},
    {"S1108", "HY108"}, {"S1109", "HY109"}, {"S1110", "HY110"}, {"S1111", "HY111"},
    {"S1C00", "HYC00"}, {"S1T00", "HYT00"}, {"S1000", "07008"},
};

void to_odbc2_state(SQLCHAR* sqlstate) {
  for (const StateMapping& m : kOdbc2States) {
    if (std::memcmp(m.odbc3, sqlstate, 5) == 0) {
      std::memcpy(sqlstate, m.odbc2, 5);
      return;
    }
  }
}

SQLRETURN no_more_records(ErrorHeader* header, SQLCHAR* sqlstate, SQLCHAR* message,
                          SQLSMALLINT buffer_length, SQLSMALLINT* text_length) {
  header->sqlerror_returned = 0;
  if (sqlstate) std::memcpy(sqlstate, "00000", 6);
  if (message && buffer_length != 0) message[0] = '\0';
  if (text_length) *text_length = 0;
  return SQL_NO_DATA;
}

SQLRETURN read_next_record(SQLSMALLINT type, SQLHANDLE handle, SQLCHAR* sqlstate,
                           SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT buffer_length,
                           SQLSMALLINT* text_length) {
  ErrorHeader* header = error_header_of(type, handle);
  if (!header) return SQL_INVALID_HANDLE;
  // The countdown belongs to the handle being read, so reading two handles in turn never
  // mixes their records.
  int remaining = GetErrorCount(header) - header->sqlerror_returned;
  if (remaining <= 0) return no_more_records(header, sqlstate, message, buffer_length, text_length);
  SQLCHAR state[6] = {0};
  SQLRETURN rc = odbc_get_diag_rec(type, handle, static_cast<SQLSMALLINT>(remaining), state, native,
                                   message, buffer_length, text_length);
  if (rc == SQL_NO_DATA)
    return no_more_records(header, sqlstate, message, buffer_length, text_length);
  if (!SQL_SUCCEEDED(rc)) return rc;
  header->sqlerror_returned++;
  to_odbc2_state(state);
  if (sqlstate) std::memcpy(sqlstate, state, 6);
  return rc;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLError(SQLHENV env, SQLHDBC dbc, SQLHSTMT stmt, SQLCHAR* sqlstate,
                                SQLINTEGER* native, SQLCHAR* message, SQLSMALLINT buffer_length,
                                SQLSMALLINT* text_length) {
  SQLSMALLINT type = stmt ? SQL_HANDLE_STMT : (dbc ? SQL_HANDLE_DBC : SQL_HANDLE_ENV);
  HandleCall call(type, stmt ? stmt : (dbc ? dbc : env));
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLError( %h, %h, %h, %p, %p, %p, %i, %p )", env, dbc, stmt,
            static_cast<void*>(sqlstate), static_cast<void*>(native), static_cast<void*>(message),
            static_cast<int>(buffer_length), static_cast<void*>(text_length));
  SQLRETURN rc;
  if (stmt)
    rc = read_next_record(SQL_HANDLE_STMT, stmt, sqlstate, native, message, buffer_length,
                          text_length);
  else if (dbc)
    rc = read_next_record(SQL_HANDLE_DBC, dbc, sqlstate, native, message, buffer_length,
                          text_length);
  else if (env)
    rc = read_next_record(SQL_HANDLE_ENV, env, sqlstate, native, message, buffer_length,
                          text_length);
  else
    rc = SQL_ERROR;
  return TRACE_RETURN(kUnit, "SQLError() returns %e", rc);
}
