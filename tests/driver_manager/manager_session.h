// A connected statement handle through the Driver Manager for the DM test suites, and the
// first diagnostic record of a handle.
#pragma once

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>

// First diagnostic record of a handle (empty state when there is none).
struct Diag {
  std::string state;
  SQLINTEGER native = 0;
  std::string message;
};

inline Diag first_diag(SQLSMALLINT type, SQLHANDLE handle) {
  Diag d;
  SQLCHAR state[6] = {0};
  SQLCHAR message[1024] = {0};
  SQLSMALLINT length = 0;
  if (SQL_SUCCEEDED(
          SQLGetDiagRec(type, handle, 1, state, &d.native, message, sizeof message, &length))) {
    d.state = reinterpret_cast<char*>(state);
    d.message = reinterpret_cast<char*>(message);
  }
  return d;
}

// Environment, connection to `dsn` (ODBC 3) and one statement, freed in reverse order.
class DmSession : public ::testing::Test {
 protected:
  explicit DmSession(const char* dsn) : dsn_(dsn) {}
  void SetUp() override {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                         reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    ASSERT_TRUE(SQL_SUCCEEDED(SQLConnect(dbc, (SQLCHAR*)dsn_, SQL_NTS, nullptr, 0, nullptr, 0)));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
  }
  void TearDown() override {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  // The statement's first diagnostic.
  Diag diag() const { return first_diag(SQL_HANDLE_STMT, stmt); }

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;

 private:
  const char* dsn_;
};
