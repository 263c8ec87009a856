// Catalog functions and SQLGetTypeInfo through the real unixODBC Driver Manager
// against the built-in Ethereum catalog (no node needed): row order after the
// sort, forced cursor attributes, result descriptions, scrolling, SQLGetData,
// the wide forms, asynchronous execution and the state rules.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "tests/driver_manager/manager_session.h"

namespace {

constexpr int kEthTables = 56;

class IniEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/quill_catalog_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    std::string dir = pattern;
    std::ofstream(dir + "/odbcinst.ini") << "[Quillmoor Ethereum ODBC Driver]\n"
                                         << "Driver=" << QUILL_DRIVER_PATH << "\n";
    std::ofstream(dir + "/odbc.ini") << "[quill_catalog]\n"
                                     << "Driver=Quillmoor Ethereum ODBC Driver\n"
                                     << "URI=http://127.0.0.1:1\n"
                                     << "connect_probe=no\n";
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
  }
};

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new IniEnvironment);

std::u16string wide(const std::string& text) {
  return std::u16string(text.begin(), text.end());
}
SQLWCHAR* wptr(std::u16string& text) {
  return reinterpret_cast<SQLWCHAR*>(text.data());
}

struct Catalog : DmSession {
  Catalog() : DmSession("quill_catalog") {}

  // Column `column` of the current row as text ("NULL" for NULL).
  std::string text(SQLUSMALLINT column) {
    char buffer[512] = {0};
    SQLLEN indicator = 0;
    SQLRETURN rc = SQLGetData(stmt, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
    EXPECT_TRUE(SQL_SUCCEEDED(rc)) << diag().state << " " << diag().message;
    return indicator == SQL_NULL_DATA ? "NULL" : buffer;
  }
  // Every remaining row, each as the text of `columns`.
  std::vector<std::vector<std::string>> rows(std::vector<SQLUSMALLINT> columns) {
    std::vector<std::vector<std::string>> out;
    SQLRETURN rc;
    while ((rc = SQLFetch(stmt)) == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO) {
      std::vector<std::string> row;
      for (SQLUSMALLINT c : columns) row.push_back(text(c));
      out.push_back(row);
    }
    EXPECT_EQ(SQL_NO_DATA, rc) << diag().state << " " << diag().message;
    return out;
  }
  SQLRETURN tables(const char* catalog, const char* schema, const char* table, const char* type) {
    return SQLTables(stmt, (SQLCHAR*)catalog, SQL_NTS, (SQLCHAR*)schema, SQL_NTS, (SQLCHAR*)table,
                     SQL_NTS, (SQLCHAR*)type, SQL_NTS);
  }
  SQLRETURN columns(const char* table) {
    return SQLColumns(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)table, SQL_NTS, nullptr, 0);
  }
  void close() { ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE)); }
  void set(SQLINTEGER attribute, SQLULEN value) {
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, attribute, reinterpret_cast<SQLPOINTER>(value), 0))
        << diag().state;
  }
  SQLULEN attribute(SQLINTEGER attribute) {
    SQLULEN value = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, attribute, &value, sizeof value, nullptr));
    return value;
  }
  SQLSMALLINT result_columns() {
    SQLSMALLINT count = -1;
    EXPECT_EQ(SQL_SUCCESS, SQLNumResultCols(stmt, &count));
    return count;
  }
};

// The table-name, table-type and enumeration arguments applications send.
TEST_F(Catalog, TablesAnswersEachArgumentShape) {
  struct Case {
    const char* catalog;
    const char* schema;
    const char* table;
    const char* type;
    size_t rows;
    int listed_column;  // column whose first value is checked
    const char* first;  // that value
  } cases[] = {
      {nullptr, nullptr, nullptr, nullptr, kEthTables, 3, "blobBaseFee"},  // isql "help"
      {"", "", "%", "TABLE", 0, 3, ""},                // DBI table_info: no base tables
      {"", "", "%", "'VIEW'", kEthTables, 4, "VIEW"},  // quoted type
      {"", "", "%", "VIEW,TABLE", kEthTables, 3, "blobBaseFee"},
      {nullptr, nullptr, "getBalance", nullptr, 1, 3, "getBalance"},
      {nullptr, nullptr, "GETBALANCE", nullptr, 0, 3, ""},  // names compare exactly
      {SQL_ALL_CATALOGS, "", "", nullptr, 1, 1, "ETH"},
      {"", SQL_ALL_SCHEMAS, "", nullptr, 1, 2, "DBO"},
      {"", "", "", SQL_ALL_TABLE_TYPES, 2, 4, "TABLE"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.table ? c.table : "<null>") + " / " + (c.type ? c.type : "<null>"));
    ASSERT_EQ(SQL_SUCCESS, tables(c.catalog, c.schema, c.table, c.type)) << diag().message;
    auto got = rows({1, 2, 3, 4, 5});
    EXPECT_EQ(c.rows, got.size());
    if (c.rows > 0 && !got.empty()) {
      EXPECT_EQ(c.first, got[0][c.listed_column - 1]);
    }
    close();
  }
}

// Pattern arguments take "%", "_" and the "\\" escape, with letters in their case; each
// pattern lists exactly the names a predicate over the full list picks.
TEST_F(Catalog, PatternArgumentsSelectByWildcardsAndEscapes) {
  ASSERT_EQ(SQL_SUCCESS, tables(nullptr, nullptr, nullptr, nullptr));
  std::vector<std::string> all;
  for (const auto& row : rows({3})) all.push_back(row[0]);
  close();
  struct Case {
    const char* pattern;
    bool (*wanted)(const std::string&);
  } cases[] = {
      {"getBal%", [](const std::string& n) { return n.rfind("getBal", 0) == 0; }},
      {"%Balance",
       [](const std::string& n) {
         return n.size() >= 7 && n.compare(n.size() - 7, 7, "Balance") == 0;
       }},
      {"get_alance", [](const std::string& n) { return n == "getBalance"; }},
      {"feeHistory\\_%", [](const std::string& n) { return n.rfind("feeHistory_", 0) == 0; }},
      {"feeHistory\\%", [](const std::string&) { return false; }},
      {"GETBAL%", [](const std::string&) { return false; }},
      {"%", [](const std::string&) { return true; }},
      {"%o%o%",
       [](const std::string& n) {
         size_t first = n.find('o');
         return first != std::string::npos && n.find('o', first + 1) != std::string::npos;
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pattern);
    std::vector<std::string> expected;
    for (const std::string& name : all)
      if (c.wanted(name)) expected.push_back(name);
    ASSERT_EQ(SQL_SUCCESS, tables(nullptr, nullptr, c.pattern, nullptr)) << diag().message;
    std::vector<std::string> got;
    for (const auto& row : rows({3})) got.push_back(row[0]);
    EXPECT_EQ(expected, got);
    close();
  }
  // Columns: the table and column arguments are patterns too.
  ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"getBal%", SQL_NTS,
                                    (SQLCHAR*)"block%", SQL_NTS));
  auto listed = rows({3, 4});
  ASSERT_EQ(1u, listed.size());
  EXPECT_EQ("getBalance", listed[0][0]);
  EXPECT_EQ("blockParameter", listed[0][1]);
  close();
  // With SQL_ATTR_METADATA_ID the arguments are identifiers: "%" is a character of the name.
  set(SQL_ATTR_METADATA_ID, SQL_TRUE);
  ASSERT_EQ(SQL_SUCCESS, tables(nullptr, nullptr, "getBal%", nullptr));
  EXPECT_EQ(0u, rows({3}).size());
  close();
  ASSERT_EQ(SQL_SUCCESS, tables(nullptr, nullptr, "getBalance", nullptr));
  EXPECT_EQ(1u, rows({3}).size());
  close();
}

TEST_F(Catalog, TablesComeSortedByTypeCatalogSchemaAndName) {
  ASSERT_EQ(SQL_SUCCESS, tables(nullptr, nullptr, nullptr, nullptr));
  auto got = rows({1, 2, 3, 4, 5});
  ASSERT_EQ(static_cast<size_t>(kEthTables), got.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ("ETH", got[i][0]);
    EXPECT_EQ("DBO", got[i][1]);
    EXPECT_EQ("VIEW", got[i][3]);
    // Only a table whose call changes node state carries a remark, saying so.
    if (got[i][4] != "NULL") {
      EXPECT_EQ(0u, got[i][4].rfind("changes node state: ", 0));
    }
    if (i > 0) {
      EXPECT_LT(got[i - 1][2], got[i][2]);
    }
  }
}

TEST_F(Catalog, KeysetCursorBecomesStaticWithOptionValueChanged) {
  set(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_KEYSET_DRIVEN);
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, tables(nullptr, nullptr, "getBalance", nullptr));
  Diag d = diag();
  EXPECT_EQ("01S02", d.state);
  EXPECT_NE(std::string::npos, d.message.find("Option value changed")) << d.message;
  SQLCHAR origin[64] = {0};
  SQLSMALLINT length = 0;
  ASSERT_TRUE(SQL_SUCCEEDED(SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_CLASS_ORIGIN, origin,
                                            sizeof origin, &length)));
  EXPECT_STREQ("ODBC 3.0", reinterpret_cast<char*>(origin));
  EXPECT_EQ(static_cast<SQLULEN>(SQL_CURSOR_STATIC), attribute(SQL_ATTR_CURSOR_TYPE));
  EXPECT_EQ(static_cast<SQLULEN>(SQL_INSENSITIVE), attribute(SQL_ATTR_CURSOR_SENSITIVITY));
  EXPECT_EQ(static_cast<SQLULEN>(SQL_CONCUR_READ_ONLY), attribute(SQL_ATTR_CONCURRENCY));
  EXPECT_EQ(1u, rows({3}).size());
  // Nothing left to change: a plain success.
  close();
  EXPECT_EQ(SQL_SUCCESS, tables(nullptr, nullptr, "getBalance", nullptr));
}

TEST_F(Catalog, ColumnsComeInTableAndOrdinalOrderAndMatchTheTable) {
  ASSERT_EQ(SQL_SUCCESS, columns(nullptr));
  auto all = rows({3, 17});
  ASSERT_GT(all.size(), static_cast<size_t>(kEthTables));
  for (size_t i = 1; i < all.size(); ++i) {
    if (all[i - 1][0] == all[i][0]) {
      EXPECT_EQ(std::stoi(all[i - 1][1]) + 1, std::stoi(all[i][1])) << all[i][0];
    } else {
      EXPECT_LT(all[i - 1][0], all[i][0]);
      EXPECT_EQ("1", all[i][1]);
    }
  }
  close();
  for (const char* table : {"getBalance", "getBlockByHash", "feeHistory_gasUsedRatio"}) {
    SCOPED_TRACE(table);
    std::string sql = std::string("SELECT * FROM ") + table;
    ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << diag().message;
    SQLSMALLINT expected = result_columns();
    ASSERT_EQ(SQL_SUCCESS, columns(table));
    auto listed = rows({3, 4});
    EXPECT_EQ(static_cast<size_t>(expected), listed.size());
    EXPECT_EQ(expected,
              static_cast<SQLSMALLINT>(std::count_if(
                  all.begin(), all.end(), [&](const auto& row) { return row[0] == table; })));
    close();
  }
}

TEST_F(Catalog, ResultDescriptionsFollowTheColumnTables) {
  struct Case {
    const char* name;
    SQLRETURN (*call)(SQLHSTMT);
    SQLSMALLINT count;
    SQLUSMALLINT probe;
    const char* probe_name;
    SQLSMALLINT probe_type;
    SQLULEN probe_size;
    SQLSMALLINT probe_nullable;
  } cases[] = {
      {"tables",
       [](SQLHSTMT s) {
         return SQLTables(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"getBalance", SQL_NTS, nullptr, 0);
       },
       5, 3, "TABLE_NAME", SQL_VARCHAR, 256, SQL_NO_NULLS},
      {"columns",
       [](SQLHSTMT s) {
         return SQLColumns(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"getBalance", SQL_NTS, nullptr, 0);
       },
       18, 5, "DATA_TYPE", SQL_SMALLINT, 5, SQL_NO_NULLS},
      {"statistics",
       [](SQLHSTMT s) {
         return SQLStatistics(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"getBalance", SQL_NTS,
                              SQL_INDEX_ALL, SQL_QUICK);
       },
       13, 10, "ASC_OR_DESC", SQL_CHAR, 1, SQL_NULLABLE},
      {"special columns",
       [](SQLHSTMT s) {
         return SQLSpecialColumns(s, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, (SQLCHAR*)"getBalance",
                                  SQL_NTS, SQL_SCOPE_SESSION, SQL_NULLABLE);
       },
       8, 5, "COLUMN_SIZE", SQL_INTEGER, 10, SQL_NULLABLE},
      {"primary keys",
       [](SQLHSTMT s) {
         return SQLPrimaryKeys(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"getBalance", SQL_NTS);
       },
       6, 5, "KEY_SEQ", SQL_SMALLINT, 5, SQL_NO_NULLS},
      {"foreign keys",
       [](SQLHSTMT s) {
         return SQLForeignKeys(s, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0,
                               (SQLCHAR*)"getBalance", SQL_NTS);
       },
       14, 14, "DEFERRABILITY", SQL_SMALLINT, 5, SQL_NULLABLE},
      {"procedures",
       [](SQLHSTMT s) { return SQLProcedures(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS); },
       8, 4, "NUM_INPUT_PARAMS", SQL_INTEGER, 10, SQL_NO_NULLS},
      {"procedure columns",
       [](SQLHSTMT s) {
         return SQLProcedureColumns(s, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS,
                                    (SQLCHAR*)"%", SQL_NTS);
       },
       19, 19, "IS_NULLABLE", SQL_VARCHAR, 254, SQL_NULLABLE},
      {"type info", [](SQLHSTMT s) { return SQLGetTypeInfo(s, SQL_ALL_TYPES); }, 19, 1, "TYPE_NAME",
       SQL_VARCHAR, 254, SQL_NO_NULLS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(SQL_SUCCESS, c.call(stmt)) << diag().state << " " << diag().message;
    EXPECT_EQ(c.count, result_columns());
    SQLCHAR name[64] = {0};
    SQLSMALLINT name_length = 0, type = 0, digits = 0, nullable = -1;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, c.probe, name, sizeof name, &name_length, &type,
                                          &size, &digits, &nullable));
    EXPECT_STREQ(c.probe_name, reinterpret_cast<char*>(name));
    EXPECT_EQ(c.probe_type, type);
    EXPECT_EQ(c.probe_size, size);
    EXPECT_EQ(c.probe_nullable, nullable);
    SQLCHAR type_name[32] = {0};
    ASSERT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, c.probe, SQL_DESC_TYPE_NAME, type_name,
                                           sizeof type_name, nullptr, nullptr));
    const char* expected_name = c.probe_type == SQL_VARCHAR   ? "VARCHAR"
                                : c.probe_type == SQL_CHAR    ? "CHARACTER"
                                : c.probe_type == SQL_INTEGER ? "INTEGER"
                                                              : "SMALLINT";
    EXPECT_STREQ(expected_name, reinterpret_cast<char*>(type_name));
    SQLLEN display = 0, updatable = -1;
    ASSERT_EQ(SQL_SUCCESS,
              SQLColAttribute(stmt, c.probe, SQL_DESC_DISPLAY_SIZE, nullptr, 0, nullptr, &display));
    EXPECT_EQ(c.probe_type == SQL_INTEGER    ? 11
              : c.probe_type == SQL_SMALLINT ? 6
                                             : c.probe_size,
              static_cast<SQLULEN>(display));
    ASSERT_EQ(SQL_SUCCESS,
              SQLColAttribute(stmt, c.probe, SQL_DESC_UPDATABLE, nullptr, 0, nullptr, &updatable));
    EXPECT_EQ(SQL_ATTR_READONLY, updatable);
    rows({1});
    EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt));
  }
}

TEST_F(Catalog, TypeInfoIsOrderedByDataTypeAndSelectsOneType) {
  ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_ALL_TYPES));
  auto all = rows({1, 2, 12, 4, 5, 6});
  ASSERT_GE(all.size(), 30u);
  for (size_t i = 1; i < all.size(); ++i) {
    int before = std::stoi(all[i - 1][1]), now = std::stoi(all[i][1]);
    EXPECT_LE(before, now) << all[i][0];
    if (before == now) {
      EXPECT_LT(all[i - 1][0], all[i][0]);
    }
  }
  close();
  struct Case {
    SQLSMALLINT type;
    const char* name;
    const char* prefix;
    const char* create;
  } cases[] = {
      {SQL_INTEGER, "INTEGER", "NULL", "NULL"},
      {SQL_VARCHAR, "VARCHAR", "'", "length"},
      {SQL_DECIMAL, "DECIMAL", "NULL", "precision,scale"},
      {SQL_VARBINARY, "VARBINARY", "0x", "length"},
      {SQL_TYPE_TIMESTAMP, "TIMESTAMP", "{ts '", "NULL"},
      {SQL_INTERVAL_DAY_TO_SECOND, "INTERVAL DAY TO SECOND", "INTERVAL '", "NULL"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfoW(stmt, c.type));
    auto got = rows({1, 2, 4, 6});
    ASSERT_EQ(1u, got.size());
    EXPECT_EQ((std::vector<std::string>{c.name, std::to_string(c.type), c.prefix, c.create}),
              got[0]);
    close();
  }
}

TEST_F(Catalog, StaticCatalogCursorScrollsWithBookmarks) {
  set(SQL_ATTR_CURSOR_TYPE, SQL_CURSOR_STATIC);
  set(SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE);
  ASSERT_EQ(SQL_SUCCESS, tables(nullptr, nullptr, nullptr, nullptr));
  std::vector<std::string> names;
  {
    auto got = rows({3});
    for (auto& row : got) names.push_back(row[0]);
  }
  ASSERT_EQ(static_cast<size_t>(kEthTables), names.size());
  struct Step {
    SQLSMALLINT orientation;
    SQLLEN offset;
    SQLRETURN rc;
    int row;  // 1-based row expected current
  } steps[] = {
      {SQL_FETCH_FIRST, 0, SQL_SUCCESS, 1},     {SQL_FETCH_LAST, 0, SQL_SUCCESS, kEthTables},
      {SQL_FETCH_PRIOR, 0, SQL_SUCCESS, 55},    {SQL_FETCH_ABSOLUTE, 10, SQL_SUCCESS, 10},
      {SQL_FETCH_RELATIVE, -3, SQL_SUCCESS, 7}, {SQL_FETCH_ABSOLUTE, 0, SQL_NO_DATA, 0},
      {SQL_FETCH_NEXT, 0, SQL_SUCCESS, 1},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.orientation);
    ASSERT_EQ(s.rc, SQLFetchScroll(stmt, s.orientation, s.offset)) << diag().state;
    if (s.rc == SQL_SUCCESS) {
      EXPECT_EQ(names[static_cast<size_t>(s.row - 1)], text(3));
      EXPECT_EQ(std::to_string(s.row), text(0));  // the bookmark is the row number
    }
  }
}

TEST_F(Catalog, ForwardOnlyCatalogCursorRefusesScrollingAndHonoursMaxRows) {
  set(SQL_ATTR_MAX_ROWS, 5);
  ASSERT_EQ(SQL_SUCCESS, tables(nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(SQL_ERROR, SQLFetchScroll(stmt, SQL_FETCH_PRIOR, 0));
  EXPECT_EQ("HY106", diag().state);
  EXPECT_EQ(5u, rows({3}).size());
}

TEST_F(Catalog, GetDataAndBoundColumnsReadCatalogValues) {
  ASSERT_EQ(SQL_SUCCESS, columns("getBalance"));
  SQLCHAR column_name[64] = {0};
  SQLLEN name_indicator = 0, position_indicator = 0;
  SQLINTEGER position = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLBindCol(stmt, 4, SQL_C_CHAR, column_name, sizeof column_name, &name_indicator));
  ASSERT_EQ(SQL_SUCCESS,
            SQLBindCol(stmt, 17, SQL_C_SLONG, &position, sizeof position, &position_indicator));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  EXPECT_STREQ("address", reinterpret_cast<char*>(column_name));
  EXPECT_EQ(1, position);
  SQLSMALLINT data_type = 0;
  SQLLEN indicator = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 5, SQL_C_SSHORT, &data_type, 0, &indicator));
  EXPECT_EQ(SQL_VARCHAR, data_type);  // the type the result descriptors give
  SQLINTEGER size = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 7, SQL_C_SLONG, &size, 0, &indicator));
  EXPECT_GT(size, 0);
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 9, SQL_C_SSHORT, &data_type, 0, &indicator));
  EXPECT_EQ(SQL_NULL_DATA, indicator);
  // A short buffer cuts the text with 01004.
  char cut[4] = {0};
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetData(stmt, 3, SQL_C_CHAR, cut, sizeof cut, &indicator));
  EXPECT_EQ(10, indicator);
  EXPECT_STREQ("get", cut);
  SQLWCHAR wide_name[32] = {0};
  ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 6, SQL_C_WCHAR, wide_name, sizeof wide_name, &indicator));
  EXPECT_EQ(SQL_NO_DATA, SQLGetData(stmt, 6, SQL_C_WCHAR, wide_name, sizeof wide_name, &indicator));
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  EXPECT_STREQ("blockParameter", reinterpret_cast<char*>(column_name));
  EXPECT_EQ(2, position);
}

TEST_F(Catalog, WideFormsTranscodeTheirNames) {
  std::u16string table = wide("getBalance");
  ASSERT_EQ(SQL_SUCCESS,
            SQLTablesW(stmt, nullptr, 0, nullptr, 0, wptr(table), SQL_NTS, nullptr, 0));
  EXPECT_EQ(1u, rows({3}).size());
  close();
  // A counted length takes only that many characters.
  std::u16string longer = wide("getBalanceXYZ");
  ASSERT_EQ(SQL_SUCCESS, SQLColumnsW(stmt, nullptr, 0, nullptr, 0, wptr(longer), 10, nullptr, 0));
  EXPECT_EQ(3u, rows({4}).size());
  close();
  std::u16string column = wide("address");
  ASSERT_EQ(SQL_SUCCESS,
            SQLColumnsW(stmt, nullptr, 0, nullptr, 0, wptr(table), SQL_NTS, wptr(column), SQL_NTS));
  EXPECT_EQ(1u, rows({4}).size());
  close();
  ASSERT_EQ(SQL_SUCCESS, SQLStatisticsW(stmt, nullptr, 0, nullptr, 0, wptr(table), SQL_NTS,
                                        SQL_INDEX_ALL, SQL_QUICK));
  EXPECT_EQ(1u, rows({3}).size());
  close();
  for (auto call : {+[](SQLHSTMT s, SQLWCHAR*t) {
                      return SQLPrimaryKeysW(s, nullptr, 0, nullptr, 0, t, SQL_NTS);
                    },
                    +[](SQLHSTMT s, SQLWCHAR*t) {
                      return SQLSpecialColumnsW(s, SQL_BEST_ROWID, nullptr, 0, nullptr, 0, t,
                                                SQL_NTS, SQL_SCOPE_SESSION, SQL_NULLABLE);
                    },
                    +[](SQLHSTMT s, SQLWCHAR*t) {
                      return SQLForeignKeysW(s, nullptr, 0, nullptr, 0, t, SQL_NTS, nullptr, 0,
                                             nullptr, 0, nullptr, 0);
                    },
                    +[](SQLHSTMT s, SQLWCHAR*t) {
                      return SQLProceduresW(s, nullptr, 0, nullptr, 0, t, SQL_NTS);
                    },
                    +[](SQLHSTMT s, SQLWCHAR*t) {
                      return SQLProcedureColumnsW(s, nullptr, 0, nullptr, 0, t, SQL_NTS, nullptr,
                                                  0);
                    }}) {
    ASSERT_EQ(SQL_SUCCESS, call(stmt, wptr(table))) << diag().state << " " << diag().message;
    EXPECT_EQ(0u, rows({1}).size());
    close();
  }
}

TEST_F(Catalog, StateRulesAroundAnOpenCatalogResult) {
  ASSERT_EQ(SQL_SUCCESS, tables(nullptr, nullptr, nullptr, nullptr));
  SQLLEN count = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLRowCount(stmt, &count));
  EXPECT_EQ(-1, count);
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  // An open cursor refuses a new catalog call and an execution.
  EXPECT_EQ(SQL_ERROR, columns("getBalance"));
  EXPECT_EQ("24000", diag().state);
  EXPECT_EQ(SQL_ERROR, SQLExecDirect(stmt, (SQLCHAR*)"SELECT 1", SQL_NTS));
  EXPECT_EQ("24000", diag().state);
  // The catalog result has no further result set; the cursor is closed.
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt));
  EXPECT_EQ(SQL_ERROR, SQLFetch(stmt));
  EXPECT_EQ("HY010", diag().state);
  ASSERT_EQ(SQL_SUCCESS, columns("getBalance"));
  EXPECT_EQ(3u, rows({4}).size());
  ASSERT_EQ(SQL_SUCCESS, SQLCloseCursor(stmt));
  EXPECT_EQ(SQL_ERROR, SQLCloseCursor(stmt));
  EXPECT_EQ("24000", diag().state);
  // A bad length is refused before anything else.
  EXPECT_EQ(SQL_ERROR, SQLTables(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"x", -7, nullptr, 0));
  EXPECT_EQ("HY090", diag().state);
}

TEST_F(Catalog, AsynchronousCatalogCallIsPolledToTheEnd) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_ASYNC_ENABLE,
                                           reinterpret_cast<SQLPOINTER>(SQL_ASYNC_ENABLE_ON), 0));
  SQLHSTMT async = SQL_NULL_HSTMT;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &async));
  std::swap(async, stmt);
  SQLRETURN rc;
  int polls = 0;
  while ((rc = tables(nullptr, nullptr, nullptr, nullptr)) == SQL_STILL_EXECUTING) ++polls;
  ASSERT_EQ(SQL_SUCCESS, rc) << diag().state << " " << diag().message;
  // Fetches run on the worker too.
  int fetched = 0;
  while ((rc = SQLFetch(stmt)) == SQL_STILL_EXECUTING || rc == SQL_SUCCESS)
    fetched += rc == SQL_SUCCESS;
  EXPECT_EQ(SQL_NO_DATA, rc);
  EXPECT_EQ(kEthTables, fetched);
  std::swap(async, stmt);
  SQLFreeHandle(SQL_HANDLE_STMT, async);
}

// An ODBC 2 application sees the old date, time and timestamp codes.
TEST(CatalogOdbc2, TypeInfoReportsOdbc2DateCodes) {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocEnv(&env));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocConnect(env, &dbc));
  ASSERT_TRUE(
      SQL_SUCCEEDED(SQLConnect(dbc, (SQLCHAR*)"quill_catalog", SQL_NTS, nullptr, 0, nullptr, 0)));
  ASSERT_EQ(SQL_SUCCESS, SQLAllocStmt(dbc, &stmt));
  for (SQLSMALLINT type : {SQL_DATE, SQL_TIME, SQL_TIMESTAMP}) {
    ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, type)) << first_diag(SQL_HANDLE_STMT, stmt).message;
    ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    SQLSMALLINT data_type = 0;
    SQLLEN indicator = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLGetData(stmt, 2, SQL_C_SSHORT, &data_type, 0, &indicator));
    EXPECT_EQ(type, data_type);
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    ASSERT_EQ(SQL_SUCCESS, SQLFreeStmt(stmt, SQL_CLOSE));
  }
  SQLFreeStmt(stmt, SQL_DROP);
  SQLDisconnect(dbc);
  SQLFreeConnect(dbc);
  SQLFreeEnv(env);
}

}  // namespace
