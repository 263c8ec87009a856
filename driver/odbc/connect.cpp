// SQLConnect and SQLConnectW: connect to a data source by name with an
// optional user and password.
#include <string>

#include "driver/odbc/connect/connection.h"
#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/wide_out.h"

static const char* const kUnit = "connect";

namespace {

std::string argument(const char* text, SQLSMALLINT length) {
  if (!text) return "";
  return length == SQL_NTS || length < 0 ? std::string(text)
                                         : std::string(text, static_cast<size_t>(length));
}

// Braces keep a name with ';' or '=' in it from being read as further pairs.
std::string pair(const char* key, const std::string& value) {
  bool brace = value.find_first_of(";={}") != std::string::npos;
  if (!brace) return std::string(key) + "=" + value + ";";
  std::string escaped;
  for (char c : value) escaped += c == '}' ? std::string("}}") : std::string(1, c);
  return std::string(key) + "={" + escaped + "};";
}

SQLRETURN connect_call(SQLHDBC handle, const char* server, SQLSMALLINT server_length,
                       const char* user, SQLSMALLINT user_length, const char* password,
                       SQLSMALLINT password_length) {
  if (!valid_dbc(handle)) return SQL_INVALID_HANDLE;
  auto* dbc = static_cast<QuillDbc*>(handle);
  SetupErrorHeader(dbc->errors, 0);
  if (dbc_check_connect(dbc) != SQL_SUCCESS) return SQL_ERROR;
  std::string dsn = argument(server, server_length);
  if (dsn.empty())
    return post_call_error(dbc->errors, "IM002",
                           "Data source name not found and no default driver specified");
  std::string text = pair("DSN", dsn);
  std::string uid = argument(user, user_length);
  std::string pwd = argument(password, password_length);
  if (!uid.empty()) text += pair("UID", uid);
  if (!pwd.empty()) text += pair("PWD", pwd);
  return driver_connect(dbc, nullptr, text.c_str(), SQL_NTS, nullptr, 0, nullptr,
                        SQL_DRIVER_NOPROMPT);
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLConnect(SQLHDBC handle, SQLCHAR* server, SQLSMALLINT server_length,
                                  SQLCHAR* user, SQLSMALLINT user_length, SQLCHAR* password,
                                  SQLSMALLINT password_length) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLConnect( %h, %S, %S, %p, %i )", handle,
            reinterpret_cast<const char*>(server), static_cast<int>(server_length),
            reinterpret_cast<const char*>(user), static_cast<int>(user_length),
            static_cast<void*>(password), static_cast<int>(password_length));
  SQLRETURN rc;
  try {
    rc = connect_call(handle, reinterpret_cast<const char*>(server), server_length,
                      reinterpret_cast<const char*>(user), user_length,
                      reinterpret_cast<const char*>(password), password_length);
  } catch (...) {
    rc = SQL_ERROR;
  }
  return TRACE_RETURN(kUnit, "SQLConnect() returns %e", rc);
}

QUILL_EXPORT SQLRETURN SQLConnectW(SQLHDBC handle, SQLWCHAR* server, SQLSMALLINT server_length,
                                   SQLWCHAR* user, SQLSMALLINT user_length, SQLWCHAR* password,
                                   SQLSMALLINT password_length) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLConnectW( %h, %p, %i, %p, %i, %p, %i )", handle,
            static_cast<void*>(server), static_cast<int>(server_length), static_cast<void*>(user),
            static_cast<int>(user_length), static_cast<void*>(password),
            static_cast<int>(password_length));
  SQLRETURN rc;
  try {
    NarrowArg s(server, server_length), u(user, user_length), p(password, password_length);
    rc = connect_call(handle, s.c_str(), SQL_NTS, u.c_str(), SQL_NTS, p.c_str(), SQL_NTS);
  } catch (...) {
    rc = SQL_ERROR;
  }
  return TRACE_RETURN(kUnit, "SQLConnectW() returns %e", rc);
}
