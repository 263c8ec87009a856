// In-process ODBC client for tests linked with the driver's core: connects
// with a connection string, runs one statement and reads every column of
// every row as text (NULL as "NULL"), long values in pieces.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <map>
#include <string>
#include <vector>

// One statement's outcome through the ODBC API.
struct OdbcResult {
  SQLRETURN rc = SQL_ERROR;                              // of SQLExecDirect (or the failing fetch)
  std::vector<std::map<std::string, std::string>> rows;  // column name -> text
  std::string state;                                     // first diagnostic, when any
  std::string message;
  SQLINTEGER native = 0;
};

class OdbcSession {
 public:
  explicit OdbcSession(const std::string& connection) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    open_ = SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)connection.c_str(), SQL_NTS,
                                           nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT));
  }
  ~OdbcSession() {
    if (open_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  OdbcSession(const OdbcSession&) = delete;
  OdbcSession& operator=(const OdbcSession&) = delete;
  bool open() const { return open_; }

  // Runs `sql` and reads every row.
  OdbcResult select(const std::string& sql) {
    OdbcResult out;
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
    out.rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    SQLSMALLINT columns = 0;
    std::vector<std::string> names;
    if (SQL_SUCCEEDED(out.rc)) SQLNumResultCols(stmt, &columns);
    for (SQLUSMALLINT c = 1; c <= columns; ++c) {
      SQLCHAR name[256] = {0};
      SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      SQLDescribeCol(stmt, c, name, sizeof name, &length, &type, &size, &digits, &nullable);
      names.emplace_back(reinterpret_cast<char*>(name));
    }
    while (SQL_SUCCEEDED(out.rc) && columns > 0) {
      SQLRETURN rc = SQLFetch(stmt);
      if (rc == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(rc)) {
        out.rc = rc;
        break;
      }
      std::map<std::string, std::string> row;
      for (SQLUSMALLINT c = 1; c <= columns; ++c) row[names[c - 1]] = text_of(stmt, c);
      out.rows.push_back(std::move(row));
    }
    if (!SQL_SUCCEEDED(out.rc)) {
      SQLCHAR state[6] = {0};
      SQLCHAR message[1024] = {0};
      SQLSMALLINT length = 0;
      SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &out.native, message, sizeof message, &length);
      out.state = reinterpret_cast<char*>(state);
      out.message = reinterpret_cast<char*>(message);
    }
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    return out;
  }

 private:
  // The whole text of a column, read in pieces of 1,000 bytes.
  static std::string text_of(SQLHSTMT stmt, SQLUSMALLINT column) {
    std::string text;
    for (;;) {
      char piece[1001];
      SQLLEN length = 0;
      SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, piece, sizeof piece, &length);
      if (rc == SQL_NO_DATA) break;
      if (!SQL_SUCCEEDED(rc)) return "error";
      if (length == SQL_NULL_DATA) return "NULL";
      text += piece;
      if (rc == SQL_SUCCESS) break;
    }
    return text;
  }

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool open_ = false;
};
