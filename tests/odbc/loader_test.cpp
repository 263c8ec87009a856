// The driver as a Driver Manager sees it: handles allocated and freed in ODBC 2
// and ODBC 3 orders, environment rules, invalid handles and diagnostics, all
// through the library's exported symbols.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/odbc/driver_api.h"

namespace {

DriverApi& api() {
  static DriverApi instance(QUILL_DRIVER_PATH);
  return instance;
}

struct Diag {
  std::string state;
  std::string message;
  SQLINTEGER native = 0;
};

// Every record of a handle, first to last.
std::vector<Diag> diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diag> out;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {0};
    SQLCHAR message[512];
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc =
        api().GetDiagRec(type, handle, i, state, &native, message, sizeof message, &length);
    if (rc == SQL_NO_DATA) break;
    EXPECT_TRUE(SQL_SUCCEEDED(rc));
    if (!SQL_SUCCEEDED(rc)) break;
    out.push_back({reinterpret_cast<char*>(state), reinterpret_cast<char*>(message), native});
  }
  return out;
}

std::string only_state(SQLSMALLINT type, SQLHANDLE handle) {
  auto records = diagnostics(type, handle);
  return records.size() == 1 ? records[0].state : "records: " + std::to_string(records.size());
}

// An ODBC 3 environment with one connection, freed at the end of the test.
struct Odbc3Connection : ::testing::Test {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  void SetUp() override {
    ASSERT_EQ(SQL_SUCCESS, api().AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, api().SetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                            reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    ASSERT_EQ(SQL_SUCCESS, api().AllocHandle(SQL_HANDLE_DBC, env, &dbc));
  }
  void TearDown() override {
    if (dbc) {
      EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_DBC, dbc));
    }
    if (env) {
      EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_ENV, env));
    }
  }
  SQLHSTMT new_statement() {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    EXPECT_EQ(SQL_SUCCESS, api().AllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
    return stmt;
  }
};

TEST(LoaderOrder, Odbc3AllocatesAndFreesEveryKind) {
  SQLHENV env = SQL_NULL_HENV;
  ASSERT_EQ(SQL_SUCCESS, api().AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
  ASSERT_EQ(SQL_SUCCESS, api().SetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                          reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
  SQLHDBC dbc = SQL_NULL_HDBC;
  ASSERT_EQ(SQL_SUCCESS, api().AllocHandle(SQL_HANDLE_DBC, env, &dbc));
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ASSERT_EQ(SQL_SUCCESS, api().AllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
  SQLHDESC desc = SQL_NULL_HDESC;
  ASSERT_EQ(SQL_SUCCESS, api().AllocHandle(SQL_HANDLE_DESC, dbc, &desc));

  // What unixODBC asks right after allocating a statement: four distinct descriptors.
  std::vector<SQLHANDLE> descriptors;
  for (SQLINTEGER attr : {SQL_ATTR_APP_ROW_DESC, SQL_ATTR_APP_PARAM_DESC, SQL_ATTR_IMP_ROW_DESC,
                          SQL_ATTR_IMP_PARAM_DESC}) {
    SQLHANDLE h = nullptr;
    ASSERT_EQ(SQL_SUCCESS, api().GetStmtAttr(stmt, attr, &h, SQL_IS_POINTER, nullptr));
    ASSERT_NE(nullptr, h);
    for (SQLHANDLE other : descriptors) EXPECT_NE(other, h);
    descriptors.push_back(h);
  }
  EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_DESC, desc));
  EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_ENV, env));
}

TEST(LoaderOrder, Odbc2EntryPointsUseVersionTwo) {
  SQLHENV env = SQL_NULL_HENV;
  ASSERT_EQ(SQL_SUCCESS, api().AllocEnv(&env));
  SQLINTEGER version = 0;
  ASSERT_EQ(SQL_SUCCESS, api().GetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &version, 0, nullptr));
  EXPECT_EQ(SQL_OV_ODBC2, version);
  SQLHDBC dbc = SQL_NULL_HDBC;
  ASSERT_EQ(SQL_SUCCESS, api().AllocConnect(env, &dbc));
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ASSERT_EQ(SQL_SUCCESS, api().AllocStmt(dbc, &stmt));
  EXPECT_EQ(SQL_SUCCESS, api().FreeStmt(stmt, SQL_CLOSE));
  EXPECT_EQ(SQL_SUCCESS, api().FreeStmt(stmt, SQL_UNBIND));
  EXPECT_EQ(SQL_SUCCESS, api().FreeStmt(stmt, SQL_RESET_PARAMS));
  EXPECT_EQ(SQL_SUCCESS, api().FreeStmt(stmt, SQL_DROP));
  EXPECT_EQ(SQL_SUCCESS, api().FreeConnect(dbc));
  EXPECT_EQ(SQL_SUCCESS, api().FreeEnv(env));
}

TEST(LoaderOrder, AllocHandleStdMakesOdbc3Environment) {
  SQLHENV env = SQL_NULL_HENV;
  ASSERT_EQ(SQL_SUCCESS, api().AllocHandleStd(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
  SQLINTEGER version = 0;
  ASSERT_EQ(SQL_SUCCESS, api().GetEnvAttr(env, SQL_ATTR_ODBC_VERSION, &version, 0, nullptr));
  EXPECT_EQ(SQL_OV_ODBC3, version);
  EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_ENV, env));
}

TEST(LoaderEnvironment, ConnectionNeedsOdbcVersion) {
  SQLHENV env = SQL_NULL_HENV;
  ASSERT_EQ(SQL_SUCCESS, api().AllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
  SQLHDBC dbc = reinterpret_cast<SQLHDBC>(0x1);
  EXPECT_EQ(SQL_ERROR, api().AllocHandle(SQL_HANDLE_DBC, env, &dbc));
  EXPECT_EQ(SQL_NULL_HDBC, dbc);
  auto records = diagnostics(SQL_HANDLE_ENV, env);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("HY010", records[0].state);
  EXPECT_EQ("Function sequence error", records[0].message);
  // Reading attributes other than the version is refused as well while it is unset.
  SQLINTEGER value = 0;
  EXPECT_EQ(SQL_ERROR, api().GetEnvAttr(env, SQL_ATTR_OUTPUT_NTS, &value, 0, nullptr));
  EXPECT_EQ("HY010", only_state(SQL_HANDLE_ENV, env));
  EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_ENV, env));

  ASSERT_EQ(SQL_SUCCESS, api().AllocEnv(&env));
  ASSERT_EQ(SQL_SUCCESS, api().AllocHandle(SQL_HANDLE_DBC, env, &dbc));
  EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_ENV, env));
}

TEST_F(Odbc3Connection, VersionCannotChangeOnceConnectionsExist) {
  EXPECT_EQ(SQL_ERROR, api().SetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                        reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0));
  auto records = diagnostics(SQL_HANDLE_ENV, env);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("HY011", records[0].state);
  EXPECT_EQ("Attribute cannot be set now", records[0].message);
  // After the last connection goes the environment accepts it again.
  ASSERT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_DBC, dbc));
  dbc = SQL_NULL_HDBC;
  EXPECT_EQ(SQL_SUCCESS, api().SetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                          reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC2), 0));
}

struct EnvAttrCase {
  SQLINTEGER attribute;
  intptr_t value;
  SQLRETURN expected;
  const char* state;   // expected SQLSTATE, "" for none
  const char* origin;  // expected class origin, "" when not checked
};

TEST(LoaderEnvironment, SetEnvAttrTable) {
  const EnvAttrCase cases[] = {
      {SQL_ATTR_ODBC_VERSION, SQL_OV_ODBC3, SQL_SUCCESS, "", ""},
      {SQL_ATTR_ODBC_VERSION, SQL_OV_ODBC3_80, SQL_SUCCESS, "", ""},
      {SQL_ATTR_ODBC_VERSION, 77, SQL_ERROR, "HY024", "ISO 9075"},
      {SQL_ATTR_CONNECTION_POOLING, SQL_CP_ONE_PER_DRIVER, SQL_SUCCESS, "", ""},
      {SQL_ATTR_CP_MATCH, SQL_CP_RELAXED_MATCH, SQL_SUCCESS, "", ""},
      {SQL_ATTR_OUTPUT_NTS, SQL_TRUE, SQL_SUCCESS, "", ""},
      {SQL_ATTR_OUTPUT_NTS, SQL_FALSE, SQL_ERROR, "HYC00", "ODBC 3.0"},
      {12345, 1, SQL_ERROR, "HY024", "ISO 9075"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.attribute) + "=" + std::to_string(c.value));
    SQLHENV env = SQL_NULL_HENV;
    ASSERT_EQ(SQL_SUCCESS, api().AllocEnv(&env));
    EXPECT_EQ(c.expected,
              api().SetEnvAttr(env, c.attribute, reinterpret_cast<SQLPOINTER>(c.value), 0));
    if (*c.state) {
      EXPECT_EQ(c.state, only_state(SQL_HANDLE_ENV, env));
      SQLCHAR origin[64] = {0};
      SQLSMALLINT length = 0;
      ASSERT_EQ(SQL_SUCCESS, api().GetDiagField(SQL_HANDLE_ENV, env, 1, SQL_DIAG_CLASS_ORIGIN,
                                                origin, sizeof origin, &length));
      EXPECT_STREQ(c.origin, reinterpret_cast<char*>(origin));
    } else {
      EXPECT_TRUE(diagnostics(SQL_HANDLE_ENV, env).empty());
    }
    EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_ENV, env));
  }
}

TEST_F(Odbc3Connection, ImplicitDescriptorCannotBeFreedAndStaysUsable) {
  SQLHSTMT stmt = new_statement();
  SQLHDESC ard = nullptr;
  ASSERT_EQ(SQL_SUCCESS, api().GetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &ard, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, api().FreeHandle(SQL_HANDLE_DESC, ard));
  auto records = diagnostics(SQL_HANDLE_DESC, ard);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("HY017", records[0].state);
  EXPECT_EQ("Invalid use of a automatically allocated descriptor handle", records[0].message);
  // Still the statement's descriptor, still answering.
  SQLHDESC again = nullptr;
  ASSERT_EQ(SQL_SUCCESS, api().GetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &again, 0, nullptr));
  EXPECT_EQ(ard, again);
  EXPECT_EQ(SQL_SUCCESS, api().FreeStmt(stmt, SQL_UNBIND));
  SQLINTEGER count = -1;
  EXPECT_EQ(SQL_SUCCESS,
            api().GetDiagField(SQL_HANDLE_DESC, ard, 0, SQL_DIAG_NUMBER, &count, 0, nullptr));
  EXPECT_EQ(1, count);
  EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_STMT, stmt));
}

TEST_F(Odbc3Connection, FreeStmtOptionOutOfRange) {
  SQLHSTMT stmt = new_statement();
  EXPECT_EQ(SQL_ERROR, api().FreeStmt(stmt, 4));
  auto records = diagnostics(SQL_HANDLE_STMT, stmt);
  ASSERT_EQ(1u, records.size());
  EXPECT_EQ("HY092", records[0].state);
  EXPECT_EQ("Option type out of range", records[0].message);
  // The next call starts with clean diagnostics.
  EXPECT_EQ(SQL_SUCCESS, api().FreeStmt(stmt, SQL_CLOSE));
  EXPECT_TRUE(diagnostics(SQL_HANDLE_STMT, stmt).empty());
  EXPECT_EQ(SQL_SUCCESS, api().FreeStmt(stmt, SQL_DROP));
}

TEST_F(Odbc3Connection, SqlErrorTranslatesAndCountsDown) {
  SQLHSTMT stmt = new_statement();
  EXPECT_EQ(SQL_ERROR, api().FreeStmt(stmt, 4));
  SQLCHAR state[6] = {0};
  SQLCHAR message[256] = {0};
  SQLINTEGER native = -1;
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQL_SUCCESS, api().Error(SQL_NULL_HENV, SQL_NULL_HDBC, stmt, state, &native, message,
                                     sizeof message, &length));
  EXPECT_STREQ("S1009", reinterpret_cast<char*>(state));  // HY092 in ODBC 2 terms
  EXPECT_STREQ("Option type out of range", reinterpret_cast<char*>(message));
  EXPECT_EQ(static_cast<SQLSMALLINT>(std::strlen("Option type out of range")), length);
  EXPECT_EQ(SQL_NO_DATA, api().Error(SQL_NULL_HENV, SQL_NULL_HDBC, stmt, state, &native, message,
                                     sizeof message, &length));
  EXPECT_STREQ("00000", reinterpret_cast<char*>(state));
  EXPECT_STREQ("", reinterpret_cast<char*>(message));
  // All handles null: nothing to read.
  EXPECT_EQ(SQL_ERROR, api().Error(SQL_NULL_HENV, SQL_NULL_HDBC, SQL_NULL_HSTMT, state, &native,
                                   message, sizeof message, &length));
  EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_STMT, stmt));
}

TEST_F(Odbc3Connection, DiagnosticHeaderFields) {
  SQLHSTMT stmt = new_statement();
  EXPECT_EQ(SQL_ERROR, api().FreeStmt(stmt, 9));
  SQLRETURN code = 0;
  EXPECT_EQ(SQL_SUCCESS,
            api().GetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_RETURNCODE, &code, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, code);
  SQLINTEGER number = 0;
  EXPECT_EQ(SQL_SUCCESS,
            api().GetDiagField(SQL_HANDLE_STMT, stmt, 0, SQL_DIAG_NUMBER, &number, 0, nullptr));
  EXPECT_EQ(1, number);
  SQLCHAR text[8] = {0};
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQL_SUCCESS, api().GetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_SQLSTATE, text,
                                            sizeof text, &length));
  EXPECT_STREQ("HY092", reinterpret_cast<char*>(text));
  EXPECT_EQ(SQL_NO_DATA, api().GetDiagField(SQL_HANDLE_STMT, stmt, 2, SQL_DIAG_SQLSTATE, text,
                                            sizeof text, &length));
  EXPECT_EQ(SQL_ERROR, api().GetDiagRec(99, stmt, 1, text, nullptr, nullptr, 0, nullptr));
  EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_STMT, stmt));
}

TEST(LoaderHandles, InvalidHandlesAreRefusedWithoutPosting) {
  int32_t not_a_handle[32] = {999};
  SQLHANDLE bogus = not_a_handle;
  SQLHANDLE out = nullptr;
  EXPECT_EQ(SQL_INVALID_HANDLE, api().AllocHandle(SQL_HANDLE_DBC, nullptr, &out));
  EXPECT_EQ(SQL_INVALID_HANDLE, api().AllocHandle(SQL_HANDLE_DBC, bogus, &out));
  EXPECT_EQ(SQL_INVALID_HANDLE, api().AllocHandle(SQL_HANDLE_STMT, bogus, &out));
  EXPECT_EQ(SQL_INVALID_HANDLE, api().AllocHandle(SQL_HANDLE_DESC, bogus, &out));
  EXPECT_EQ(SQL_ERROR, api().AllocHandle(77, bogus, &out));
  EXPECT_EQ(SQL_ERROR, api().AllocHandle(SQL_HANDLE_ENV, nullptr, nullptr));
  for (SQLSMALLINT type : {SQL_HANDLE_ENV, SQL_HANDLE_DBC, SQL_HANDLE_STMT, SQL_HANDLE_DESC}) {
    SCOPED_TRACE(type);
    EXPECT_EQ(SQL_INVALID_HANDLE, api().FreeHandle(type, bogus));
    EXPECT_EQ(SQL_INVALID_HANDLE, api().FreeHandle(type, nullptr));
    EXPECT_EQ(SQL_INVALID_HANDLE,
              api().GetDiagRec(type, bogus, 1, nullptr, nullptr, nullptr, 0, nullptr));
  }
  EXPECT_EQ(SQL_INVALID_HANDLE, api().FreeStmt(bogus, SQL_CLOSE));
  EXPECT_EQ(SQL_INVALID_HANDLE, api().SetEnvAttr(bogus, SQL_ATTR_ODBC_VERSION, nullptr, 0));
  EXPECT_EQ(SQL_INVALID_HANDLE,
            api().GetEnvAttr(nullptr, SQL_ATTR_ODBC_VERSION, nullptr, 0, nullptr));
  EXPECT_EQ(SQL_INVALID_HANDLE,
            api().GetStmtAttr(bogus, SQL_ATTR_APP_ROW_DESC, nullptr, 0, nullptr));
  // The bogus memory was never written.
  EXPECT_EQ(999, not_a_handle[0]);
  for (int i = 1; i < 32; ++i) EXPECT_EQ(0, not_a_handle[i]);
}

TEST_F(Odbc3Connection, NullOutputPointerIsHY009) {
  EXPECT_EQ(SQL_ERROR, api().AllocHandle(SQL_HANDLE_STMT, dbc, nullptr));
  EXPECT_EQ("HY009", only_state(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR, api().AllocHandle(SQL_HANDLE_DBC, env, nullptr));
  EXPECT_EQ("HY009", only_state(SQL_HANDLE_ENV, env));
}

TEST_F(Odbc3Connection, ManyStatementsFreedInAnyOrder) {
  std::vector<SQLHSTMT> statements;
  for (int i = 0; i < 50; ++i) statements.push_back(new_statement());
  // Free every other one, then the rest in reverse; then the connection frees cleanly.
  for (size_t i = 0; i < statements.size(); i += 2)
    EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_STMT, statements[i]));
  for (size_t i = statements.size(); i-- > 0;)
    if (i % 2) {
      EXPECT_EQ(SQL_SUCCESS, api().FreeStmt(statements[i], SQL_DROP));
    }
}

TEST_F(Odbc3Connection, ExplicitDescriptorFreedWhileConnectionLives) {
  SQLHDESC desc = nullptr;
  ASSERT_EQ(SQL_SUCCESS, api().AllocHandle(SQL_HANDLE_DESC, dbc, &desc));
  // Freeing it is allowed (unlike an implicit one).
  EXPECT_EQ(SQL_SUCCESS, api().FreeHandle(SQL_HANDLE_DESC, desc));
  EXPECT_EQ(SQL_INVALID_HANDLE, api().FreeHandle(SQL_HANDLE_DESC, nullptr));
}

}  // namespace
