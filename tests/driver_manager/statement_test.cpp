// Statements through the real unixODBC Driver Manager: prepare and execute,
// the state rules, cursor names, batches, data at execution, piecewise
// SQLGetData and the result conversions, on queries that need no table.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "tests/driver_manager/manager_session.h"

namespace {

// Writes the ini files before the first ODBC call of the process.
class IniEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/quill_stmt_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    std::string dir = pattern;
    std::ofstream(dir + "/odbcinst.ini") << "[Quillmoor Ethereum ODBC Driver]\n"
                                         << "Driver=" << QUILL_DRIVER_PATH << "\n";
    std::ofstream(dir + "/odbc.ini") << "[quill_demo]\n"
                                     << "Driver=Quillmoor Ethereum ODBC Driver\n"
                                     << "URI=http://127.0.0.1:8545\nconnect_probe=no\n";
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  }
};

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new IniEnvironment);

// A connected statement handle on the demo DSN.
struct Statements : DmSession {
  Statements() : DmSession("quill_demo") {}
  SQLRETURN exec(const std::string& sql) {
    return SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
  }
};

TEST_F(Statements, SyntaxErrorReportsNativeErrorByFunctionAndLeavesNoStatement) {
  const char* bad = "SELEC 1";
  EXPECT_EQ(SQL_ERROR, SQLPrepare(stmt, (SQLCHAR*)bad, SQL_NTS));
  Diag prepared = diag();
  EXPECT_EQ("42000", prepared.state);
  EXPECT_EQ(182, prepared.native);
  EXPECT_NE(std::string::npos, prepared.message.find("Syntax error or access violation"));
  // Nothing is prepared: S1.
  EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
  EXPECT_EQ("HY010", diag().state);
  EXPECT_EQ(SQL_ERROR, exec(bad));
  EXPECT_EQ("42000", diag().state);
  EXPECT_EQ(0, diag().native);
}

TEST_F(Statements, PreparedQueryRunsTwiceAndDescribesItsColumns) {
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"SELECT 42 AS answer, 'x' AS letter", SQL_NTS))
      << diag().message;
  SQLSMALLINT columns = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &columns));
  EXPECT_EQ(2, columns);
  for (int run = 0; run < 2; ++run) {
    ASSERT_EQ(SQL_SUCCESS, SQLExecute(stmt)) << diag().message;
    SQLINTEGER answer = 0;
    SQLLEN indicator = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_SLONG, &answer, 0, &indicator));
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << diag().message;
    EXPECT_EQ(42, answer);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    SQLLEN rows = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &rows));
    EXPECT_EQ(-1, rows);
    EXPECT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));
  }
  // Closed: a second close is a cursor-state error.
  EXPECT_EQ(SQL_ERROR, SQLCloseCursor(stmt));
  EXPECT_EQ("24000", diag().state);
}

TEST_F(Statements, CursorNamesFollowTheNamingRules) {
  struct Case {
    const char* name;
    const char* state;  // "" when accepted
  };
  const Case cases[] = {
      {"SQL_CURSOR1", "34000"},
      {"SQLCUR12", "34000"},
      {"ABCDEFGHIJKLMNOPQRS", "34000"},  // 19 characters
      {"ABCDEFGHIJKLMNOPQR", ""},        // 18 characters
      {"SQL_CU", ""},
      {"orders", ""},
  };
  for (const Case& c : cases) {
    SQLRETURN rc = SQLSetCursorName(stmt, (SQLCHAR*)c.name, SQL_NTS);
    if (c.state[0]) {
      EXPECT_EQ(SQL_ERROR, rc) << c.name;
      EXPECT_EQ(c.state, diag().state) << c.name;
    } else {
      EXPECT_EQ(SQL_SUCCESS, rc) << c.name;
    }
  }
  SQLHSTMT other = SQL_NULL_HSTMT;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &other));
  char name[32] = {0};
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(other, (SQLCHAR*)name, sizeof name, &length));
  EXPECT_EQ(0, std::strncmp(name, "SQL_CUR", 7)) << name;
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(other, (SQLCHAR*)"mine", SQL_NTS));
  EXPECT_EQ(SQL_ERROR, SQLSetCursorName(other, (SQLCHAR*)"ORDERS", SQL_NTS));
  EXPECT_EQ("3C000", first_diag(SQL_HANDLE_STMT, other).state);
  ASSERT_EQ(SQL_SUCCESS, SQLGetCursorName(other, (SQLCHAR*)name, sizeof name, &length));
  EXPECT_STREQ("mine", name);
  // A short buffer cuts the name with 01004 and reports the whole length.
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetCursorName(other, (SQLCHAR*)name, 3, &length));
  EXPECT_STREQ("mi", name);
  EXPECT_EQ(4, length);
  SQLFreeHandle(SQL_HANDLE_STMT, other);
}

TEST_F(Statements, BatchGivesOneResultPerStatementThenNoData) {
  ASSERT_EQ(SQL_SUCCESS, exec("SELECT 1; SELECT 'two', 3")) << diag().message;
  SQLSMALLINT columns = 0;
  SQLNumResultCols(stmt, &columns);
  EXPECT_EQ(1, columns);
  ASSERT_EQ(SQL_SUCCESS, SQLMoreResults(stmt)) << diag().message;
  SQLNumResultCols(stmt, &columns);
  EXPECT_EQ(2, columns);
  char text[8] = {0};
  SQLLEN length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_CHAR, text, sizeof text, &length));
  EXPECT_STREQ("two", text);
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt));
}

TEST_F(Statements, StateErrorsOfFetchingWithoutACursor) {
  SQLINTEGER value = 0;
  EXPECT_EQ(SQL_ERROR, SQLFetch(stmt));
  EXPECT_EQ("HY010", diag().state);
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt, 1, SQL_C_SLONG, &value, 0, nullptr));
  EXPECT_EQ("HY010", diag().state);
  ASSERT_EQ(SQL_SUCCESS, exec("COMMIT")) << diag().message;
  // S4: executed, no result set.
  EXPECT_EQ(SQL_ERROR, SQLFetch(stmt));
  EXPECT_EQ("24000", diag().state);
  EXPECT_EQ(SQL_ERROR, SQLCloseCursor(stmt));
  EXPECT_EQ("24000", diag().state);
  SQLLEN rows = -5;
  EXPECT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &rows));
  EXPECT_EQ(0, rows);
}

TEST_F(Statements, DataAtExecutionParameter) {
  ASSERT_EQ(SQL_SUCCESS,
            SQLPrepare(stmt, (SQLCHAR*)"SELECT COUNT(*) FROM (SELECT 'abcdef' AS x) d WHERE x = ?",
                       SQL_NTS))
      << diag().message;
  SQLSMALLINT markers = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLNumParams(stmt, &markers));
  EXPECT_EQ(1, markers);
  char token_buffer[4] = "tok";
  SQLLEN indicator = SQL_DATA_AT_EXEC;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 10, 0,
                                          token_buffer, 0, &indicator));
  ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt)) << diag().message;
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
  EXPECT_EQ(static_cast<void*>(token_buffer), token);
  // Fetching now is a sequence error.
  EXPECT_EQ(SQL_ERROR, SQLFetch(stmt));
  EXPECT_EQ("HY010", diag().state);
  ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "abc", 3));
  ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "def", SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token)) << diag().message;
  SQLINTEGER matched = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_SLONG, &matched, 0, nullptr));
  EXPECT_EQ(1, matched);
  // Cancel leaves the dialogue and the prepared statement stays.
  ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));
  ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt));
  ASSERT_EQ(SQL_SUCCESS, SQLCancel(stmt));
  ASSERT_EQ(SQL_NEED_DATA, SQLExecute(stmt));
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
  ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "zzz", SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_SLONG, &matched, 0, nullptr));
  EXPECT_EQ(0, matched);
}

TEST_F(Statements, PiecewiseGetDataOfText) {
  ASSERT_EQ(SQL_SUCCESS, exec("SELECT 'abcdefghij'")) << diag().message;
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  struct Piece {
    SQLRETURN rc;
    const char* text;
    SQLLEN length;
  };
  const Piece pieces[] = {{SQL_SUCCESS_WITH_INFO, "abc", 10},
                          {SQL_SUCCESS_WITH_INFO, "def", 7},
                          {SQL_SUCCESS_WITH_INFO, "ghi", 4},
                          {SQL_SUCCESS, "j", 1}};
  for (const Piece& p : pieces) {
    char buffer[4] = {0};
    SQLLEN length = 0;
    EXPECT_EQ(p.rc, SQLGetData(stmt, 1, SQL_C_CHAR, buffer, sizeof buffer, &length));
    EXPECT_STREQ(p.text, buffer);
    EXPECT_EQ(p.length, length);
  }
  char buffer[4];
  SQLLEN length = 0;
  EXPECT_EQ(SQL_NO_DATA, SQLGetData(stmt, 1, SQL_C_CHAR, buffer, sizeof buffer, &length));
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt, 2, SQL_C_CHAR, buffer, sizeof buffer, &length));
  EXPECT_EQ("07009", diag().state);
  EXPECT_EQ(SQL_ERROR, SQLGetData(stmt, 1, SQL_C_CHAR, buffer, -1, &length));
  EXPECT_EQ("HY090", diag().state);
}

// One conversion through SQLGetData.
struct ConversionCase {
  const char* select;  // expression selected
  SQLSMALLINT c_type;  // application type
  SQLRETURN rc;        // expected return code
  const char* state;   // expected SQLSTATE, "" for none
  const char* text;    // expected value as text ("" to skip)
};

std::string render(SQLSMALLINT c_type, const unsigned char* buffer) {
  char text[128] = "";
  switch (c_type) {
    case SQL_C_CHAR:
      return reinterpret_cast<const char*>(buffer);
    case SQL_C_SLONG:
      return std::to_string(*reinterpret_cast<const SQLINTEGER*>(buffer));
    case SQL_C_BIT:
      return std::to_string(buffer[0]);
    case SQL_C_DOUBLE:
      std::snprintf(text, sizeof text, "%g", *reinterpret_cast<const double*>(buffer));
      return text;
    case SQL_C_STINYINT:
      return std::to_string(static_cast<int>(static_cast<signed char>(buffer[0])));
    case SQL_C_TYPE_DATE: {
      const auto* d = reinterpret_cast<const SQL_DATE_STRUCT*>(buffer);
      std::snprintf(text, sizeof text, "%04d-%02d-%02d", d->year, d->month, d->day);
      return text;
    }
    case SQL_C_INTERVAL_MONTH: {
      const auto* i = reinterpret_cast<const SQL_INTERVAL_STRUCT*>(buffer);
      return (i->interval_sign ? "-" : "") + std::to_string(i->intval.year_month.month);
    }
    case SQL_C_TYPE_TIMESTAMP: {
      const auto* t = reinterpret_cast<const SQL_TIMESTAMP_STRUCT*>(buffer);
      std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", t->year, t->month, t->day,
                    t->hour, t->minute, t->second);
      return text;
    }
    default:
      return "?";
  }
}

std::string today_at(const char* time) {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %s", local.tm_year + 1900, local.tm_mon + 1,
                local.tm_mday, time);
  return text;
}

TEST_F(Statements, ResultConversions) {
  const std::string today = today_at("10:11:12");
  const ConversionCase cases[] = {
      {"2.5", SQL_C_SLONG, SQL_SUCCESS_WITH_INFO, "01S07", "2"},
      {"3e9", SQL_C_SLONG, SQL_ERROR, "22003", ""},
      {"1.5e0", SQL_C_BIT, SQL_SUCCESS_WITH_INFO, "01S07", "1"},
      {"2.0e0", SQL_C_BIT, SQL_ERROR, "22003", ""},
      {"{ts '2024-02-29 10:11:12.5'}", SQL_C_CHAR, SQL_SUCCESS, "", "2024-02-29 10:11:12"},
      {"{t '10:11:12'}", SQL_C_TYPE_TIMESTAMP, SQL_SUCCESS, "", today.c_str()},
      {"7", SQL_C_INTERVAL_YEAR_TO_MONTH, SQL_ERROR, "22015", ""},
      {"CAST(12.50 AS DECIMAL(6,2))", SQL_C_DEFAULT, SQL_SUCCESS, "", "12.50"},
      {"'12abc'", SQL_C_DOUBLE, SQL_SUCCESS, "", "12"},
      {"{d '2024-02-29'}", SQL_C_SLONG, SQL_ERROR, "07006", ""},
      {"X'0102FF'", SQL_C_CHAR, SQL_SUCCESS, "", "0102FF"},
      {"CAST(1 AS BIT)", SQL_C_CHAR, SQL_SUCCESS, "", "1"},
      {"{ts '2024-02-29 10:11:12'}", SQL_C_TYPE_DATE, SQL_SUCCESS_WITH_INFO, "01S07", "2024-02-29"},
      {"'2024-13-01'", SQL_C_TYPE_DATE, SQL_ERROR, "22008", ""},
      {"INTERVAL '3-2' YEAR TO MONTH", SQL_C_INTERVAL_MONTH, SQL_SUCCESS, "", "38"},
      {"INTERVAL '3-2' YEAR TO MONTH", SQL_C_CHAR, SQL_SUCCESS, "", "3-02"},
      {"-129", SQL_C_STINYINT, SQL_ERROR, "22003", ""},
      {"-128", SQL_C_STINYINT, SQL_SUCCESS, "", "-128"},
  };
  for (const ConversionCase& c : cases) {
    SCOPED_TRACE(c.select);
    ASSERT_EQ(SQL_SUCCESS, exec(std::string("SELECT ") + c.select)) << diag().message;
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt)) << diag().message;
    unsigned char buffer[128] = {0};
    SQLLEN length = 0;
    EXPECT_EQ(c.rc, SQLGetData(stmt, 1, c.c_type, buffer, sizeof buffer, &length));
    EXPECT_EQ(c.state, diag().state) << diag().message;
    if (c.text[0]) {
      EXPECT_EQ(c.text, render(c.c_type == SQL_C_DEFAULT ? SQL_C_CHAR : c.c_type, buffer));
    }
    SQLCloseCursor(stmt);
  }
}

TEST_F(Statements, MaxLengthCutsTextWithoutWarning) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_MAX_LENGTH, (SQLPOINTER)5, 0));
  ASSERT_EQ(SQL_SUCCESS, exec("SELECT 'abcdefghij'")) << diag().message;
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  char buffer[32] = {0};
  SQLLEN length = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_CHAR, buffer, sizeof buffer, &length));
  EXPECT_STREQ("abcde", buffer);
  EXPECT_EQ(5, length);
}

TEST_F(Statements, WideTextIsUtf16) {
  ASSERT_EQ(SQL_SUCCESS, exec("SELECT 'h\xC3\xA9llo \xF0\x9F\x99\x82'")) << diag().message;
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  SQLWCHAR wide[16] = {0};
  SQLLEN length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 1, SQL_C_WCHAR, wide, sizeof wide, &length));
  const std::vector<SQLWCHAR> expected = {'h', 0xE9, 'l', 'l', 'o', ' ', 0xD83D, 0xDE42};
  EXPECT_EQ(static_cast<SQLLEN>(expected.size() * sizeof(SQLWCHAR)), length);
  EXPECT_EQ(expected, std::vector<SQLWCHAR>(wide, wide + expected.size()));
}

TEST_F(Statements, NativeSqlWritesTheStatementBack) {
  char out[256] = {0};
  SQLINTEGER length = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLNativeSql(dbc, (SQLCHAR*)"select   1", SQL_NTS, (SQLCHAR*)out, sizeof out, &length));
  EXPECT_EQ(static_cast<SQLINTEGER>(std::strlen(out)), length);
  EXPECT_NE(std::string::npos, std::string(out).find("SELECT")) << out;
  char small[4] = {0};
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLNativeSql(dbc, (SQLCHAR*)"select 1", SQL_NTS, (SQLCHAR*)small,
                                                sizeof small, &length));
  EXPECT_GT(length, 3);
}

// The Ethereum backend is read-only: an INSERT and every data-definition statement reach it
// and end with its own refusal; an UPDATE or DELETE is refused before any row is touched
// since its tables have no keys, and GRANT and REVOKE by the engine. Each fails cleanly and
// leaves the statement usable.
TEST_F(Statements, ChangesToEthereumTablesFailWithTheBackendsDiagnostic) {
  struct Case {
    const char* sql;
    const char* state;
    const char* message;
  } cases[] = {
      {"INSERT INTO getBalance VALUES ('0x1', 'latest', '0')", "HY000",
       "Views (getBalance) are not updateable"},
      {"UPDATE getBalance SET result = '1' WHERE address = '0x1'", "HY000",
       "Base table has no distinct key information, so is not updatable"},
      {"DELETE FROM getBalance", "HY000",
       "Base table has no distinct key information, so is not updatable"},
      {"CREATE TABLE scratch (a INTEGER)", "HY000", "Driver does not support DDL (CREATE TABLE)"},
      {"DROP TABLE getBalance", "HY000", "Driver does not support DDL (DROP TABLE)"},
      {"CREATE INDEX ix ON getBalance (address)", "HY000",
       "Driver does not support DDL (CREATE INDEX)"},
      {"DROP INDEX ix ON getBalance", "HY000", "Driver does not support DDL (DROP INDEX)"},
      {"ALTER TABLE getBalance DROP COLUMN result", "HY000",
       "Driver does not support DDL (DROP COLUMN)"},
      {"ALTER TABLE getBalance ADD COLUMN extra INTEGER", "HY000",
       "Driver does not support DDL (ADD COLUMN)"},
      {"GRANT SELECT ON getBalance TO someone", "HY000", "GRANT not supported at this time"},
      {"REVOKE SELECT ON getBalance FROM someone", "HY000", "REVOKE not supported at this time"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.sql);
    EXPECT_EQ(SQL_ERROR, exec(c.sql));
    Diag d = diag();
    EXPECT_EQ(c.state, d.state);
    EXPECT_NE(std::string::npos, d.message.find(c.message)) << d.message;
  }
  ASSERT_EQ(SQL_SUCCESS, exec("SELECT 1")) << diag().message;
  EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt));
}

}  // namespace
