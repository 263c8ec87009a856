// INFO_SCHEMA through the real Driver Manager: its tables answer like the
// catalog functions they are made from, equality on COLUMNS reaches the
// catalog call, names qualified with the schema compare exactly, and nothing
// in it can be changed.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/driver_manager/manager_session.h"

namespace {

class IniEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/quill_info_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    std::string dir = pattern;
    std::ofstream(dir + "/odbcinst.ini") << "[Quillmoor Ethereum ODBC Driver]\n"
                                         << "Driver=" << QUILL_DRIVER_PATH << "\n";
    std::ofstream(dir + "/odbc.ini") << "[quill_info]\n"
                                     << "Driver=Quillmoor Ethereum ODBC Driver\n"
                                     << "URI=http://127.0.0.1:8545\nconnect_probe=no\n";
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  }
};

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new IniEnvironment);

using Rows = std::vector<std::vector<std::string>>;

struct InfoSchema : DmSession {
  InfoSchema() : DmSession("quill_info") {}

  // Every row of the statement's open result as text ("NULL" for NULL).
  Rows fetch_all() {
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    Rows rows;
    while (SQL_SUCCEEDED(SQLFetch(stmt))) {
      std::vector<std::string> row;
      for (SQLSMALLINT c = 1; c <= columns; ++c) {
        char value[1024] = {0};
        SQLLEN indicator = 0;
        SQLGetData(stmt, c, SQL_C_CHAR, value, sizeof value, &indicator);
        row.push_back(indicator == SQL_NULL_DATA ? "NULL" : value);
      }
      rows.push_back(row);
    }
    SQLCloseCursor(stmt);
    return rows;
  }
  Rows query(const std::string& sql) {
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << sql << ": " << diag().message;
    return SQL_SUCCEEDED(rc) ? fetch_all() : Rows{};
  }
  SQLSMALLINT result_columns() {
    SQLSMALLINT columns = 0;
    SQLNumResultCols(stmt, &columns);
    return columns;
  }
};

TEST_F(InfoSchema, TablesListsWhatSqlTablesListsWithFiveColumns) {
  ASSERT_TRUE(SQL_SUCCEEDED(SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0)));
  Rows catalog = fetch_all();
  ASSERT_EQ(56u, catalog.size());
  for (auto& row : catalog)
    for (int i = 0; i < 2; ++i)
      if (row[i] == "NULL") row[i] = "";
  ASSERT_TRUE(
      SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)"SELECT * FROM INFO_SCHEMA.TABLES", SQL_NTS)))
      << diag().message;
  EXPECT_EQ(5, result_columns());
  Rows info = fetch_all();
  std::sort(catalog.begin(), catalog.end());
  std::sort(info.begin(), info.end());
  EXPECT_EQ(catalog, info);
}

TEST_F(InfoSchema, EqualityOnColumnsNamesTheTableAndMatchesExactly) {
  Rows rows = query(
      "SELECT TABLE_NAME, COLUMN_NAME, ORDINAL_POSITION, DATA_TYPE FROM INFO_SCHEMA.COLUMNS "
      "WHERE TABLE_NAME = 'getBalance' ORDER BY ORDINAL_POSITION");
  Rows want = {{"getBalance", "address", "1", "VARCHAR"},
               {"getBalance", "blockParameter", "2", "VARCHAR"},
               {"getBalance", "result", "3", "VARCHAR"}};
  EXPECT_EQ(want, rows);
  // An underscore is a character of the name, not a pattern.
  EXPECT_TRUE(query("SELECT COLUMN_NAME FROM INFO_SCHEMA.COLUMNS WHERE TABLE_NAME = "
                    "'getBalanc_'")
                  .empty());
  Rows one = query(
      "SELECT COLUMN_NAME FROM INFO_SCHEMA.COLUMNS WHERE TABLE_NAME = "
      "'getBalance' AND COLUMN_NAME = 'result'");
  EXPECT_EQ(Rows{{"result"}}, one);
}

TEST_F(InfoSchema, EveryTableHasItsColumnCount) {
  struct Case {
    const char* table;
    int columns;
  };
  const Case cases[] = {{"CHARACTER_SETS", 9},   {"COLLATIONS", 8},       {"COLUMN_PRIVILEGES", 9},
                        {"COLUMNS", 24},         {"SYSTEM_COLUMNS", 24},  {"INDEXES", 9},
                        {"SCHEMATA", 7},         {"SERVER_INFO", 2},      {"SQL_LANGUAGES", 7},
                        {"TABLE_PRIVILEGES", 8}, {"TABLES", 5},           {"SYSTEM_TABLES", 5},
                        {"TRANSLATIONS", 10},    {"USAGE_PRIVILEGES", 9}, {"VIEWS", 7}};
  for (const Case& c : cases) {
    std::string sql = std::string("SELECT * FROM INFO_SCHEMA.") + c.table;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)))
        << c.table << ": " << diag().message;
    EXPECT_EQ(c.columns, result_columns()) << c.table;
    fetch_all();
  }
  Rows schemata = query("SELECT SCHEM_NAME FROM INFO_SCHEMA.SCHEMATA");
  EXPECT_NE(schemata.end(),
            std::find(schemata.begin(), schemata.end(), std::vector<std::string>{"INFO_SCHEMA"}));
  Rows server = query(
      "SELECT ATTRIBUTE_VALUE FROM INFO_SCHEMA.SERVER_INFO "
      "WHERE SERVER_ATTRIBUTE = 'DATA_SOURCE_NAME'");
  EXPECT_EQ(Rows{{"quill_info"}}, server);
}

TEST_F(InfoSchema, NamesCompareExactlyAndNothingCanBeChanged) {
  EXPECT_EQ(56u, query("SELECT * FROM info_schema.tables").size());
  struct Case {
    const char* sql;
    const char* state;
  };
  const Case cases[] = {
      {"SELECT * FROM \"info_schema\".\"tables\"", "42S02"},
      {"SELECT * FROM TABLES", "42S02"},  // only the qualified name reaches INFO_SCHEMA
      {"UPDATE INFO_SCHEMA.TABLES SET REMARKS = 'x'", nullptr},
      {"DELETE FROM INFO_SCHEMA.TABLES", nullptr},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(stmt, (SQLCHAR*)c.sql, SQL_NTS)) << c.sql;
    Diag d = diag();
    if (c.state) {
      EXPECT_EQ(c.state, d.state) << c.sql;
    }
    EXPECT_FALSE(d.message.empty()) << c.sql;
  }
}

// A cursor over an INFO_SCHEMA table cannot address its rows by key: positioned changes
// through it are refused, the DELETE as the read-only driver it then is.
TEST_F(InfoSchema, PositionedChangesThroughItsCursorAreRefused) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetCursorName(stmt, (SQLCHAR*)"INFO", SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, SQLExecDirect(stmt,
                                       (SQLCHAR*)"SELECT TABLE_NAME, REMARKS FROM "
                                                 "INFO_SCHEMA.TABLES FOR UPDATE OF REMARKS",
                                       SQL_NTS))
      << diag().message;
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  SQLHSTMT other = SQL_NULL_HSTMT;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &other));
  const struct {
    const char* sql;
    const char* message;
  } cases[] = {
      {"DELETE FROM INFO_SCHEMA.TABLES WHERE CURRENT OF INFO",
       "Current driver is read only, DELETE WHERE CURRENT not supported"},
      {"UPDATE INFO_SCHEMA.TABLES SET REMARKS = 'x' WHERE CURRENT OF INFO", "Cursor not updatable"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(other, (SQLCHAR*)c.sql, SQL_NTS)) << c.sql;
    Diag d = first_diag(SQL_HANDLE_STMT, other);
    EXPECT_EQ("HY000", d.state) << c.sql;
    EXPECT_NE(std::string::npos, d.message.find(c.message)) << d.message;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, other);
}

TEST_F(InfoSchema, ColumnsJoinTables) {
  Rows one = query(
      "SELECT t.TABLE_NAME, t.TABLE_TYPE, COUNT(*) FROM INFO_SCHEMA.TABLES t, "
      "INFO_SCHEMA.COLUMNS c WHERE t.TABLE_NAME = c.TABLE_NAME AND t.TABLE_NAME = 'getBalance' "
      "GROUP BY t.TABLE_NAME, t.TABLE_TYPE");
  EXPECT_EQ((Rows{{"getBalance", "VIEW", "3"}}), one);
  // Every column belongs to a listed table: the join keeps them all.
  ASSERT_TRUE(SQL_SUCCEEDED(SQLColumns(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0)));
  size_t columns = fetch_all().size();
  Rows joined = query(
      "SELECT COUNT(*) FROM INFO_SCHEMA.COLUMNS c JOIN INFO_SCHEMA.TABLES t "
      "ON c.TABLE_NAME = t.TABLE_NAME");
  EXPECT_EQ((Rows{{std::to_string(columns)}}), joined);
}

TEST_F(InfoSchema, ViewsListTheReadOnlyTablesAndCannotBeCreatedOrDropped) {
  for (const char* sql : {"CREATE VIEW v AS SELECT 1 AS one", "DROP VIEW v"}) {
    EXPECT_EQ(SQL_ERROR, SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS)) << sql;
    EXPECT_FALSE(diag().state.empty()) << sql;
  }
  // Every Ethereum table is reported as a view.
  Rows views = query(
      "SELECT TABLE_NAME, VIEW_DEFINITION, IS_UPDATABLE FROM INFO_SCHEMA.VIEWS "
      "WHERE TABLE_NAME = 'getBalance'");
  EXPECT_EQ((Rows{{"getBalance", "NULL", "NO"}}), views);
  EXPECT_EQ(56u, query("SELECT * FROM INFO_SCHEMA.VIEWS").size());
}

}  // namespace
