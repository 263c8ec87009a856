// The Ethereum catalog's metadata through the ODBC API, over every table and column, with
// typed values off and on: SQLColumns, the result descriptors (SQLDescribeCol and
// SQLColAttribute) and INFO_SCHEMA.COLUMNS agree; parameter columns carry their remark; typed
// quantity columns are BIGINT, NUMERIC(38,0) or TIMESTAMP and nothing else changes type. No
// node is needed: a scripted server answers the connection's probe and the odd call.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <map>
#include <string>
#include <utility>

#include "driver/eth/eth_catalog.h"
#include "tests/eth/script_server.h"

namespace {

// What one source says about a column.
struct ColumnFacts {
  int data_type = 0;
  std::string type_name;
  long long size = 0;
  int digits = 0;
  std::string remarks;
};

using Key = std::pair<std::string, std::string>;  // table, column

// A reply carrying `result` as the JSON-RPC result.
std::string result_reply(const std::string& result) {
  std::string body = "{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":" + result + "}";
  return "HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
         std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
}

// An ODBC connection to a scripted endpoint whose every answer is `result`.
class Connection {
 public:
  explicit Connection(const std::string& extra, const std::string& result = "\"0x1\"")
      : server_({result_reply(result)}, 1000) {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    std::string text = "URI=" + server_.uri() + ";" + extra;
    open_ = SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS, nullptr,
                                           0, nullptr, SQL_DRIVER_NOPROMPT));
  }
  ~Connection() {
    if (open_) SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }
  bool open() const { return open_; }
  SQLHSTMT statement() {
    SQLHSTMT stmt = SQL_NULL_HSTMT;
    SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt);
    return stmt;
  }

 private:
  ScriptServer server_;
  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool open_ = false;
};

std::string text_at(SQLHSTMT stmt, int column) {
  char buffer[1024] = "";
  SQLLEN indicator = 0;
  SQLGetData(stmt, static_cast<SQLUSMALLINT>(column), SQL_C_CHAR, buffer, sizeof buffer,
             &indicator);
  return indicator == SQL_NULL_DATA ? "NULL" : buffer;
}

long long number_at(SQLHSTMT stmt, int column) {
  SQLBIGINT value = 0;
  SQLLEN indicator = 0;
  SQLGetData(stmt, static_cast<SQLUSMALLINT>(column), SQL_C_SBIGINT, &value, 0, &indicator);
  return indicator == SQL_NULL_DATA ? -1 : value;
}

// Every column as SQLColumns reports it.
std::map<Key, ColumnFacts> from_sql_columns(Connection& connection) {
  std::map<Key, ColumnFacts> out;
  SQLHSTMT stmt = connection.statement();
  EXPECT_TRUE(SQL_SUCCEEDED(
      SQLColumns(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS, (SQLCHAR*)"%", SQL_NTS)));
  while (SQL_SUCCEEDED(SQLFetch(stmt))) {
    ColumnFacts facts;
    facts.data_type = static_cast<int>(number_at(stmt, 5));
    facts.type_name = text_at(stmt, 6);
    facts.size = number_at(stmt, 7);
    facts.digits = static_cast<int>(number_at(stmt, 9));
    facts.remarks = text_at(stmt, 12);
    out[{text_at(stmt, 3), text_at(stmt, 4)}] = facts;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return out;
}

// Every column of `table` as the prepared SELECT's descriptors report it.
std::map<Key, ColumnFacts> from_descriptors(Connection& connection, const std::string& table) {
  std::map<Key, ColumnFacts> out;
  SQLHSTMT stmt = connection.statement();
  std::string sql = "SELECT * FROM " + table;
  EXPECT_TRUE(SQL_SUCCEEDED(SQLPrepare(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS))) << sql;
  SQLSMALLINT count = 0;
  SQLNumResultCols(stmt, &count);
  for (SQLUSMALLINT c = 1; c <= count; ++c) {
    SQLCHAR name[256] = {0};
    SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
    SQLULEN size = 0;
    SQLDescribeCol(stmt, c, name, sizeof name, &length, &type, &size, &digits, &nullable);
    char type_name[128] = "";
    SQLLEN concise = 0;
    SQLColAttribute(stmt, c, SQL_DESC_TYPE_NAME, type_name, sizeof type_name, nullptr, nullptr);
    SQLColAttribute(stmt, c, SQL_DESC_CONCISE_TYPE, nullptr, 0, nullptr, &concise);
    EXPECT_EQ(type, concise) << table << "." << name;
    out[{table, reinterpret_cast<char*>(name)}] = {type, type_name, static_cast<long long>(size),
                                                   digits, ""};
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return out;
}

// Every column as INFO_SCHEMA.COLUMNS reports it (type by name, size, remarks).
std::map<Key, ColumnFacts> from_info_schema(Connection& connection) {
  std::map<Key, ColumnFacts> out;
  SQLHSTMT stmt = connection.statement();
  const char* sql =
      "SELECT TABLE_NAME, COLUMN_NAME, DATA_TYPE, CHAR_MAX_LENGTH, NUM_PREC, REMARKS "
      "FROM INFO_SCHEMA.COLUMNS";
  EXPECT_TRUE(SQL_SUCCEEDED(SQLExecDirect(stmt, (SQLCHAR*)sql, SQL_NTS)));
  while (SQL_SUCCEEDED(SQLFetch(stmt))) {
    ColumnFacts facts;
    facts.type_name = text_at(stmt, 3);
    long long characters = number_at(stmt, 4), precision = number_at(stmt, 5);
    facts.size = characters >= 0 ? characters : precision;
    facts.remarks = text_at(stmt, 6);
    out[{text_at(stmt, 1), text_at(stmt, 2)}] = facts;
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return out;
}

// INFO_SCHEMA's name of a type code.
std::string info_schema_name(int data_type) {
  switch (data_type) {
    case SQL_VARCHAR:
      return "VARCHAR";
    case SQL_LONGVARCHAR:
      return "LONG VARCHAR";
    case SQL_BIGINT:
      return "BIGINT";
    case SQL_NUMERIC:
      return "NUMERIC";
    case SQL_TYPE_TIMESTAMP:
      return "TIMESTAMP";
    case SQL_DOUBLE:
      return "DOUBLE";
    case SQL_BIT:
      return "BIT";
    default:
      return "?";
  }
}

class EthMetadata : public ::testing::TestWithParam<bool> {};

TEST_P(EthMetadata, CatalogDescriptorsAndInfoSchemaAgreeForEveryColumn) {
  const bool typed = GetParam();
  Connection connection(typed ? "typed_values=yes" : "");
  ASSERT_TRUE(connection.open());
  const std::map<Key, ColumnFacts> catalog = from_sql_columns(connection);
  const std::map<Key, ColumnFacts> info = from_info_schema(connection);
  size_t described = 0, typed_columns = 0;
  for (const EthCatalogTable& table : eth_catalog_tables()) {
    const std::map<Key, ColumnFacts> descriptors = from_descriptors(connection, table.name);
    ASSERT_EQ(static_cast<size_t>(table.column_count), descriptors.size()) << table.name;
    for (const EthCatalogColumn& column : eth_catalog_columns(table)) {
      const Key key{table.name, column.name};
      SCOPED_TRACE(key.first + "." + key.second);
      ASSERT_TRUE(catalog.count(key));
      ASSERT_TRUE(descriptors.count(key));
      ASSERT_TRUE(info.count(key));
      const ColumnFacts& c = catalog.at(key);
      const ColumnFacts& d = descriptors.at(key);
      const ColumnFacts& i = info.at(key);
      EXPECT_EQ(c.data_type, d.data_type);
      EXPECT_EQ(c.type_name, d.type_name);
      EXPECT_EQ(c.size, static_cast<long long>(d.size));
      EXPECT_EQ(info_schema_name(c.data_type), i.type_name);
      EXPECT_EQ(c.remarks, i.remarks);
      // A parameter says so and what it takes; a result column has no remark.
      if (column.flags & ETH_COLUMN_PARAM)
        EXPECT_EQ(0u, c.remarks.rfind("required parameter", 0)) << c.remarks;
      else
        EXPECT_EQ("NULL", c.remarks);
      // Typing changes exactly the quantity columns.
      const EthValueKind kind = eth_value_kind(table, column);
      const int expected = !typed || kind == ETH_VALUE_TEXT ? column.sql_type
                           : kind == ETH_VALUE_INT64        ? SQL_BIGINT
                           : kind == ETH_VALUE_UINT256      ? SQL_NUMERIC
                                                            : SQL_TYPE_TIMESTAMP;
      EXPECT_EQ(expected, c.data_type);
      if (expected == SQL_NUMERIC) {
        EXPECT_EQ(38, c.size);
        EXPECT_EQ(0, d.digits);
      }
      if (kind != ETH_VALUE_TEXT) ++typed_columns;
      ++described;
    }
  }
  EXPECT_EQ(catalog.size(), described);
  EXPECT_EQ(201u, typed_columns);  // the quantity columns of the whole catalog
}

INSTANTIATE_TEST_SUITE_P(TypedValuesOffAndOn, EthMetadata, ::testing::Values(false, true));

TEST(EthMetadataTables, StateChangingTablesSaySoInTheirRemarks) {
  Connection connection("");
  ASSERT_TRUE(connection.open());
  SQLHSTMT stmt = connection.statement();
  ASSERT_TRUE(
      SQL_SUCCEEDED(SQLTables(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"%", SQL_NTS, nullptr, 0)));
  std::map<std::string, std::string> remarks;
  while (SQL_SUCCEEDED(SQLFetch(stmt))) remarks[text_at(stmt, 3)] = text_at(stmt, 5);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  const std::map<std::string, bool> cases = {
      {"sendRawTransaction", true},    {"submitWork", true},      {"newFilter", true},
      {"newBlockFilter", true},        {"uninstallFilter", true}, {"getFilterChanges", true},
      {"getBlockFilterChanges", true}, {"getBalance", false},     {"getBlockByNumber", false},
      {"getFilterLogs", false}};
  for (const auto& [table, changes] : cases) {
    ASSERT_TRUE(remarks.count(table)) << table;
    EXPECT_EQ(changes ? 0u : std::string::npos, remarks[table].rfind("changes node state: ", 0))
        << table << ": " << remarks[table];
  }
  EXPECT_EQ(eth_catalog_tables().size(), remarks.size());
}

// The first diagnostic's SQLSTATE of a statement.
std::string state_of(SQLHSTMT stmt) {
  SQLCHAR state[6] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, nullptr, 0, &length);
  return reinterpret_cast<char*>(state);
}

// Runs `sql` and reads the first column of the first row as text; the SQLSTATE on failure.
std::string first_value(Connection& connection, const std::string& sql) {
  SQLHSTMT stmt = connection.statement();
  std::string out;
  SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
  if (SQL_SUCCEEDED(rc)) rc = SQLFetch(stmt);
  char buffer[256] = "";
  SQLLEN indicator = 0;
  if (SQL_SUCCEEDED(rc)) rc = SQLGetData(stmt, 1, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
  out = SQL_SUCCEEDED(rc) ? std::string(buffer) : "error " + state_of(stmt);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return out;
}

TEST(EthTypedValues, ExactValuesOrAnErrorFromScriptedReplies) {
  const std::string balance =
      "SELECT result FROM getBalance WHERE address = '0x00000000000000000000000000000000000000aa'"
      " AND blockParameter = 'latest'";
  const std::string count =
      "SELECT transactionCount FROM getTransactionCount WHERE address = "
      "'0x00000000000000000000000000000000000000aa' AND blockParameter = 'latest'";
  const std::string block =
      "SELECT %s FROM getBlockByNumber WHERE blockNumber = '0x1' AND "
      "transactionDetailsFlag = '0'";
  auto of_block = [&](const char* column) {
    std::string sql = block;
    return sql.replace(sql.find("%s"), 2, column);
  };
  struct Case {
    std::string sql, result, expected;
  } cases[] = {
      // 2^120 - 1 has 37 digits: exact; 2^200 has 61: out of range, never a wrong value.
      {balance, "\"0xffffffffffffffffffffffffffffff\"", "1329227995784915872903807060280344575"},
      {balance, "\"0x1" + std::string(50, '0') + "\"", "error 22003"},
      {balance, "\"0x0\"", "0"},
      {balance, "\"latest\"", "error 22018"},
      {count, "\"0x7fffffffffffffff\"", "9223372036854775807"},
      {count, "\"0x8000000000000000\"", "error 22003"},
      {count, "\"0x\"", "error 22018"},
      {of_block("timestamp"), "{\"timestamp\":\"0x6553f130\"}", "2023-11-14 22:14:08"},
      {of_block("gasUsed"), "{\"gasUsed\":\"0x1f5320\"}", "2052896"},
      {of_block("nonce"), "{\"nonce\":\"0x0000000000000042\"}", "0x0000000000000042"},
  };
  for (const Case& c : cases) {
    Connection connection("typed_values=yes", c.result);
    ASSERT_TRUE(connection.open());
    EXPECT_EQ(c.expected, first_value(connection, c.sql)) << c.sql << " <- " << c.result;
  }
}

}  // namespace
