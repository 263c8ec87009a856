// The Ethereum backend's built-in catalog, the connection's table list and the
// catalog operations (descriptions, SQLTables, SQLColumns, keys, statistics,
// refusals), plus the row set that carries catalog results.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <strings.h>

#include <climits>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "driver/dal/sqi/rowset.h"
#include "driver/eth/eth_catalog.h"
#include "driver/eth/eth_context.h"
#include "driver/eth/eth_meta.h"
#include "driver/eth/eth_tables.h"

namespace {

struct Posted {
  std::string origin;
  std::string sqlstate;
  std::string message;
};

std::vector<Posted> g_posted;

int recording_service(int code, void* parameters) {
  if (code == SQI_SERVICE_POST_ERROR) {
    auto* record = static_cast<SqiPostError*>(parameters);
    g_posted.push_back({record->origin, record->sqlstate, record->message});
  }
  return 0;
}

SqiText nts(const char* text) {
  return {text, SQL_NTS};
}
const SqiText kAbsent{nullptr, 0};

// Every row of a result as text, "NULL" for a NULL cell; rewinds the cursor first.
std::vector<std::vector<std::string>> all_rows(RowSet* rows) {
  std::vector<std::vector<std::string>> out;
  if (rows == nullptr) return out;
  rows->position = 0;
  while (rowset_fetch(rows) == SQI_OK) {
    std::vector<std::string> row;
    for (size_t c = 1; c <= rows->columns.size(); ++c) {
      char buffer[512];
      SQLLEN indicator = 0;
      EXPECT_EQ(SQI_OK, rowset_get_data(rows, static_cast<int>(c), SQL_C_CHAR, buffer,
                                        sizeof buffer, &indicator));
      row.push_back(indicator == SQL_NULL_DATA ? "NULL" : buffer);
    }
    out.push_back(row);
  }
  return out;
}

// A connection environment built by hand, with its table list and one statement.
struct Backend {
  EthConnection connection;
  EthEnv env;
  EthStmt stmt;
  int target = 0;

  explicit Backend(int string_length = 255, int block_length = 24) {
    connection.string_length = string_length;
    connection.block_length = block_length;
    attach();
  }
  // A backend on a copy of `settings`' lengths and typed-values flag.
  explicit Backend(const EthConnection& settings) {
    connection.string_length = settings.string_length;
    connection.block_length = settings.block_length;
    connection.typed_values = settings.typed_values;
    attach();
  }
  void attach() {
    env.service = recording_service;
    env.target = &target;
    env.connection = &connection;
    EXPECT_TRUE(eth_build_table_list(&env));
    stmt.target = &target;
    stmt.env = &env;
  }
  ~Backend() {
    rowset_free(stmt.rows);
    eth_free_table_list(&env);
  }
  std::vector<std::vector<std::string>> rows() { return all_rows(stmt.rows); }
  EthTable& table(const char* name) {
    for (EthTable& t : *env.tables)
      if (t.name == name) return t;
    throw std::runtime_error(name);
  }
};

struct EthCatalog : ::testing::Test {
  void SetUp() override { g_posted.clear(); }
  void expect_posted(const char* sqlstate, const std::string& message) {
    ASSERT_EQ(1u, g_posted.size());
    EXPECT_EQ(ETH_ORIGIN, g_posted[0].origin);
    EXPECT_EQ(sqlstate, g_posted[0].sqlstate);
    EXPECT_EQ(message, g_posted[0].message);
    g_posted.clear();
  }
};

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> pieces;
  std::stringstream stream(text);
  std::string piece;
  while (std::getline(stream, piece, separator)) pieces.push_back(piece);
  return pieces;
}

// ---- the built-in catalog as data ----

TEST_F(EthCatalog, MatchesTheExpectedTableFile) {
  std::ifstream file(QUILL_TEST_DATA_DIR "/eth_catalog_tables.tsv");
  ASSERT_TRUE(file.good());
  auto tables = eth_catalog_tables();
  size_t index = 0;
  std::string line;
  while (std::getline(file, line)) {
    if (line.empty() || line[0] == '#') continue;
    auto fields = split(line, '\t');
    ASSERT_EQ(6u, fields.size()) << line;
    ASSERT_LT(index, tables.size());
    const EthCatalogTable& table = tables[index++];
    SCOPED_TRACE(fields[0]);
    EXPECT_STREQ(fields[0].c_str(), table.name);
    EXPECT_STREQ(fields[1].c_str(), table.method);
    EXPECT_EQ(std::stoi(fields[2]), table.param_count);
    int flags = ETH_TABLE_REMOTE;
    if (fields[3] == "scalar") flags |= ETH_TABLE_SCALAR_RESULT;
    if (fields[3] == "object") flags |= ETH_TABLE_OBJECT_RESULT;
    if (fields[4] != "-") flags |= ETH_TABLE_CHILD;
    if (table.param_count > 0) flags |= ETH_TABLE_REQUIRED_PARAMS;
    EXPECT_EQ(flags, table.flags);
    EXPECT_EQ(fields[4] == "-" ? std::string() : fields[4],
              table.expansion_path ? table.expansion_path : "");
    auto expected_columns = split(fields[5], ',');
    auto columns = eth_catalog_columns(table);
    ASSERT_EQ(expected_columns.size(), columns.size());
    for (size_t i = 0; i < columns.size(); ++i) {
      auto name_and_type = split(expected_columns[i], ':');
      EXPECT_STREQ(name_and_type[0].c_str(), columns[i].name);
      static const std::map<std::string, std::pair<int, int>> kTypes = {
          {"S", {SQL_VARCHAR, ETH_LENGTH_STRING}},
          {"B", {SQL_VARCHAR, ETH_LENGTH_BLOCK}},
          {"L", {SQL_LONGVARCHAR, 0}},
          {"D", {SQL_DOUBLE, 8}},
          {"T", {SQL_BIT, 1}},
          {"X", {SQL_VARCHAR, ETH_LENGTH_BYTES}},
          {"F", {SQL_VARCHAR, 514}}};
      auto type = kTypes.at(name_and_type[1]);
      EXPECT_EQ(type.first, columns[i].sql_type) << columns[i].name;
      EXPECT_EQ(type.second, columns[i].length) << columns[i].name;
    }
  }
  EXPECT_EQ(tables.size(), index);
}

TEST_F(EthCatalog, HoldsFiftySixDistinctTables) {
  auto tables = eth_catalog_tables();
  EXPECT_EQ(56u, tables.size());
  std::set<std::string> lower;
  for (const auto& table : tables) {
    std::string name = table.name;
    for (char& c : name) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(lower.insert(name).second) << "name clash without regard to case: " << name;
  }
}

TEST_F(EthCatalog, SatisfiesItsInvariants) {
  static const std::set<std::string> kTypeNames = {"varchar", "longvarchar", "double", "bool",
                                                   "array"};
  for (const EthCatalogTable& table : eth_catalog_tables()) {
    SCOPED_TRACE(table.name);
    auto columns = eth_catalog_columns(table);
    ASSERT_NE(nullptr, table.columns);
    EXPECT_GT(table.column_count, 0);
    EXPECT_TRUE(table.flags & ETH_TABLE_REMOTE);
    EXPECT_FALSE(table.flags & ETH_TABLE_UPDATABLE);
    EXPECT_NE(ETH_TABLE_SCALAR_RESULT | ETH_TABLE_OBJECT_RESULT,
              table.flags & (ETH_TABLE_SCALAR_RESULT | ETH_TABLE_OBJECT_RESULT));
    EXPECT_EQ(table.expansion_path != nullptr, (table.flags & ETH_TABLE_CHILD) != 0);
    std::set<std::string> names;
    std::set<std::pair<std::string, std::string>> reads;
    int params = 0;
    for (size_t i = 0; i < columns.size(); ++i) {
      const EthCatalogColumn& c = columns[i];
      SCOPED_TRACE(c.name);
      EXPECT_TRUE(names.insert(c.name).second) << "duplicate column name";
      if (c.sql_type == SQL_LONGVARCHAR) {
        EXPECT_EQ(0, c.length);
      }
      EXPECT_TRUE(kTypeNames.count(c.type_name));
      EXPECT_EQ(0, c.flags & (ETH_COLUMN_KEY | ETH_COLUMN_KEY_ALT));
      std::pair<std::string, std::string> read{c.member, c.element_field ? c.element_field : ""};
      // The child table over baseFeePerGas keeps the whole array as a column and also
      // names its element column baseFeePerBlobGas; both read the member baseFeePerGas.
      bool known_overlap =
          std::string(table.name) == "feeHistory_baseFeePerGas" && read.first == "baseFeePerGas";
      if (!known_overlap) {
        EXPECT_TRUE(reads.insert(read).second) << "two columns read one value";
      }
      if (c.flags & ETH_COLUMN_PARAM) {
        EXPECT_EQ(static_cast<int>(i), params) << "parameters come first, in order";
        EXPECT_EQ(params, c.param_position);
        EXPECT_EQ("param" + std::to_string(params), c.member);
        EXPECT_TRUE(c.flags & ETH_COLUMN_REQUIRED);
        ++params;
      }
      if (c.flags & ETH_COLUMN_ELEMENT) {
        ASSERT_NE(nullptr, table.expansion_path);
        EXPECT_STREQ(table.expansion_path, c.member);
      }
    }
    EXPECT_EQ(table.param_count, params);
    EXPECT_EQ(params > 0, (table.flags & ETH_TABLE_REQUIRED_PARAMS) != 0);
  }
}

// ---- the connection's table list ----

TEST_F(EthCatalog, ResolvesEveryLengthPlaceholder) {
  EthConnection connection;
  connection.string_length = 11;
  connection.array_length = 22;
  connection.object_length = 33;
  connection.id_length = 44;
  connection.block_length = 55;
  const int cases[][2] = {{ETH_LENGTH_STRING, 11},
                          {ETH_LENGTH_ARRAY, 22},
                          {ETH_LENGTH_OBJECT, 33},
                          {ETH_LENGTH_ID, 44},
                          {ETH_LENGTH_BLOCK, 55},
                          {0, 0},
                          {8, 8}};
  for (auto [placeholder, expected] : cases)
    EXPECT_EQ(expected, eth_resolve_length(connection, placeholder)) << placeholder;
}

TEST_F(EthCatalog, TableListIsAResolvedCopyPerConnection) {
  Backend narrow(100, 30);
  Backend defaults;
  ASSERT_EQ(56u, narrow.env.tables->size());
  const EthTable* balance = eth_find_table(&narrow.env, "getBalance");
  ASSERT_NE(nullptr, balance);
  EXPECT_EQ(100, balance->columns[0].length);
  EXPECT_EQ(30, balance->columns[1].length);
  EXPECT_EQ(255, eth_find_table(&defaults.env, "getBalance")->columns[0].length);
  // The built-in records keep their placeholders.
  EXPECT_EQ(ETH_LENGTH_STRING, eth_catalog_tables()[11].columns[0].length);
  // Rebuilding replaces the list rather than adding to it.
  ASSERT_TRUE(eth_build_table_list(&narrow.env));
  EXPECT_EQ(56u, narrow.env.tables->size());
}

TEST_F(EthCatalog, BuildingWithoutAConnectionFails) {
  EthEnv env;
  EXPECT_FALSE(eth_build_table_list(&env));
  EXPECT_EQ(nullptr, env.tables);
  EXPECT_FALSE(eth_build_table_list(nullptr));
}

TEST_F(EthCatalog, DescribeTableIgnoresCase) {
  Backend backend;
  struct Case {
    const char* name;
    int result;
    const char* spelled;
    int columns;
  } cases[] = {{"GETBALANCE", SQI_OK, "getBalance", 3},
               {"getbalance", SQI_OK, "getBalance", 3},
               {"chainId", SQI_OK, "chainId", 1},
               {"getBlockByNumber_withdrawals", SQI_OK, "getBlockByNumber_withdrawals", 31},
               {"getBalanc", SQI_NOT_FOUND, "", 0},
               {"", SQI_NOT_FOUND, "", 0},
               {nullptr, SQI_NOT_FOUND, "", 0}};
  for (const Case& c : cases) {
    DalTable out{};
    ASSERT_EQ(c.result, eth_describe_table(&backend.env, c.name, &out)) << c.spelled;
    if (c.result != SQI_OK) continue;
    EXPECT_STREQ("ETH", out.catalog);
    EXPECT_STREQ("DBO", out.schema);
    EXPECT_STREQ(c.spelled, out.name);
    EXPECT_EQ(c.columns, out.column_count);
    EXPECT_EQ(0, out.pk_count);
    EXPECT_NE(nullptr, out.backend_table);
  }
}

// ---- column descriptors ----

TEST_F(EthCatalog, DescribeColumnsByType) {
  Backend backend(100, 30);
  struct Case {
    const char* table;
    int column;  // 0-based
    const char* name;
    int sql_type;
    const char* type_name;
    SQLLEN length;
    int searchable;
    const char* prefix;
    const char* create;
  } cases[] = {
      {"getBalance", 0, "address", SQL_VARCHAR, "VARCHAR", 100, SQL_SEARCHABLE, "'", "length"},
      {"getBalance", 1, "blockParameter", SQL_VARCHAR, "VARCHAR", 30, SQL_SEARCHABLE, "'",
       "length"},
      {"getLogs", 0, "filter", SQL_LONGVARCHAR, "LONGVARCHAR", INT_MAX, SQL_PRED_CHAR, "'", ""},
      {"getCode", 2, "result", SQL_VARCHAR, "VARCHAR", ETH_BYTES_LENGTH, SQL_SEARCHABLE, "'",
       "length"},
      {"feeHistory_gasUsedRatio", 7, "gasUsedRatio", SQL_DOUBLE, "DOUBLE", 15, SQL_SEARCHABLE, "",
       ""},
      {"mining", 0, "result", SQL_BIT, "BIT", 1, SQL_SEARCHABLE, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.table);
    DalTable table{};
    ASSERT_EQ(SQI_OK, eth_describe_table(&backend.env, c.table, &table));
    std::vector<DalColumn> out(table.column_count);
    ASSERT_EQ(SQI_OK, eth_describe_columns(&backend.env, &table, table.column_count, out.data()));
    const DalColumn& d = out[c.column];
    EXPECT_STREQ("ETH", d.catalog);
    EXPECT_STREQ("DBO", d.schema);
    EXPECT_STREQ(c.table, d.table);
    EXPECT_STREQ(c.name, d.name);
    EXPECT_EQ(c.column + 1, d.number);
    EXPECT_EQ(c.sql_type, d.sql_type);
    EXPECT_STREQ(c.type_name, d.type_name);
    EXPECT_EQ(c.length, d.length);
    EXPECT_EQ(SQL_NULLABLE, d.nullable);
    EXPECT_EQ(c.searchable, d.searchable);
    EXPECT_STREQ(c.prefix, d.literal_prefix);
    EXPECT_STREQ(c.prefix, d.literal_suffix);
    EXPECT_STREQ(c.create, d.create_params);
  }
  EXPECT_TRUE(g_posted.empty());
}

TEST_F(EthCatalog, DateTypesFollowTheOdbcVersion) {
  Backend backend;
  backend.table("chainId").columns[0].sql_type = SQL_TYPE_TIMESTAMP;
  DalTable table{};
  ASSERT_EQ(SQI_OK, eth_describe_table(&backend.env, "chainId", &table));
  DalColumn column{};
  const int versions[][2] = {{3, SQL_TYPE_TIMESTAMP}, {2, SQL_TIMESTAMP}};
  for (auto [version, expected] : versions) {
    backend.env.odbc_version = version;
    ASSERT_EQ(SQI_OK, eth_describe_columns(&backend.env, &table, 1, &column));
    EXPECT_EQ(expected, column.sql_type);
    EXPECT_STREQ("TIMESTAMP", column.type_name);
    EXPECT_STREQ("{ts '", column.literal_prefix);
  }
}

TEST_F(EthCatalog, DescribeColumnsRefusesMismatches) {
  Backend backend;
  DalTable table{};
  ASSERT_EQ(SQI_OK, eth_describe_table(&backend.env, "getBalance", &table));
  DalColumn out[8];
  for (int count : {2, 4, 0}) {
    EXPECT_EQ(SQI_ERROR, eth_describe_columns(&backend.env, &table, count, out));
    expect_posted("HY000", "dci_size != tptr -> coumn_count");
  }
  EthTable& balance = backend.table("getBalance");
  EthColumn extra = balance.columns.back();
  balance.columns.pop_back();
  EXPECT_EQ(SQI_ERROR, eth_describe_columns(&backend.env, &table, 3, out));
  expect_posted("HY000", "Unexpected end to column_info");
  balance.columns.push_back(extra);
  balance.columns.push_back(extra);
  EXPECT_EQ(SQI_ERROR, eth_describe_columns(&backend.env, &table, 3, out));
  expect_posted("HY000", "Unexpected extracolumn_info");
  balance.columns.pop_back();
  balance.columns[2].sql_type = SQL_BINARY;
  EXPECT_EQ(SQI_ERROR, eth_describe_columns(&backend.env, &table, 3, out));
  expect_posted("HY000", "Unexpected type in GetColumnInfo");
  std::strcpy(table.name, "gone");
  EXPECT_EQ(SQI_NOT_FOUND, eth_describe_columns(&backend.env, &table, 3, out));
}

TEST_F(EthCatalog, NoTableHasKeyColumns) {
  Backend backend;
  for (const EthTable& t : *backend.env.tables) {
    DalTable table{};
    ASSERT_EQ(SQI_OK, eth_describe_table(&backend.env, t.name.c_str(), &table));
    DalKeyColumn keys[4];
    int count = -1;
    EXPECT_EQ(SQI_OK, eth_get_pk_info(&backend.env, &table, keys, 4, &count));
    EXPECT_EQ(0, count) << t.name;
  }
  DalTable unknown{};
  std::strcpy(unknown.name, "nosuch");
  int count = -1;
  EXPECT_EQ(SQI_NOT_FOUND, eth_get_pk_info(&backend.env, &unknown, nullptr, 0, &count));
}

// ---- SQLTables ----

TEST_F(EthCatalog, TablesSelection) {
  Backend backend;
  struct Case {
    SqiText catalog, schema, table, types;
    size_t rows;
  } cases[] = {
      {kAbsent, kAbsent, kAbsent, nts("'VIEW'"), 56},
      {kAbsent, kAbsent, kAbsent, nts("VIEW"), 56},
      {kAbsent, kAbsent, kAbsent, nts("\"views\""), 56},
      {kAbsent, kAbsent, kAbsent, nts("TABLE"), 0},
      {kAbsent, kAbsent, kAbsent, nts("'SYSTEM TABLES'"), 0},
      {kAbsent, kAbsent, kAbsent, nts("TABLE, VIEW"), 0},
      {kAbsent, kAbsent, kAbsent, nts("TABLE,VIEW"), 56},
      {kAbsent, kAbsent, kAbsent, nts("SYNONYM"), 0},
      {kAbsent, kAbsent, kAbsent, kAbsent, 56},
      {kAbsent, kAbsent, nts("%"), nts("\"%\""), 56},
      {kAbsent, kAbsent, nts("%Balance"), kAbsent, 56},
      {kAbsent, kAbsent, nts("getBalance"), kAbsent, 1},
      {kAbsent, kAbsent, nts("get\\_Balance"), kAbsent, 0},
      {kAbsent, kAbsent, nts("GETBALANCE"), kAbsent, 0},
      {kAbsent, kAbsent, nts("get%"), kAbsent, 0},
      {kAbsent, kAbsent, nts("feeHistory\\_gasUsedRatio"), nts("VIEW"), 1},
      {kAbsent, kAbsent, nts("getBalance"), nts("TABLE"), 0},
      {kAbsent, kAbsent, {"getBalanceAndMore", 10}, kAbsent, 1},
      {nts("%"), kAbsent, nts("getBalance"), kAbsent, 1},
      {nts("ANY"), nts("THING"), nts("getBalance"), kAbsent, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.table.text ? c.table.text : "-") + " / " +
                 (c.types.text ? c.types.text : "-"));
    ASSERT_EQ(SQI_OK, eth_tables(&backend.stmt, c.catalog, c.schema, c.table, c.types));
    auto rows = backend.rows();
    EXPECT_EQ(c.rows, rows.size());
    for (const auto& row : rows) EXPECT_EQ("VIEW", row[3]);
  }
}

TEST_F(EthCatalog, TablesRowsAndEnumerations) {
  Backend backend;
  using Rows = std::vector<std::vector<std::string>>;
  struct Case {
    SqiText catalog, schema, table, types;
    Rows expected;
  } cases[] = {
      {kAbsent,
       kAbsent,
       nts("getBalance"),
       kAbsent,
       {{"ETH", "DBO", "getBalance", "VIEW", "NULL"}}},
      {nts("%"), nts(""), nts(""), kAbsent, {{"ETH", "NULL", "NULL", "NULL", "NULL"}}},
      {nts(""), nts("%"), nts(""), kAbsent, {{"NULL", "DBO", "NULL", "NULL", "NULL"}}},
      {nts(""),
       nts(""),
       nts(""),
       nts("%"),
       {{"NULL", "NULL", "NULL", "TABLE", "NULL"}, {"NULL", "NULL", "NULL", "VIEW", "NULL"}}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(SQI_OK, eth_tables(&backend.stmt, c.catalog, c.schema, c.table, c.types));
    EXPECT_EQ(c.expected, backend.rows());
  }
  ASSERT_EQ(5u, backend.stmt.rows->columns.size());
  EXPECT_EQ("TABLE_TYPE", backend.stmt.rows->columns[3].name);
  // All tables come in catalog order.
  ASSERT_EQ(SQI_OK, eth_tables(&backend.stmt, kAbsent, kAbsent, kAbsent, kAbsent));
  auto rows = backend.rows();
  ASSERT_EQ(56u, rows.size());
  EXPECT_EQ("blobBaseFee", rows.front()[2]);
  EXPECT_EQ("uninstallFilter", rows.back()[2]);
}

// ---- SQLColumns ----

TEST_F(EthCatalog, ColumnsRowsPerType) {
  using Row = std::vector<std::string>;
  Backend backend(100, 30);
  struct Case {
    const char* table;
    const char* column;
    Row expected;
  } cases[] = {
      {"getBalance",
       "address",
       {"ETH", "DBO", "getBalance", "address", "12", "VARCHAR", "100", "100", "NULL", "NULL", "1",
        "required parameter: an account address, 0x and 40 hex digits", "NULL", "12", "NULL", "400",
        "1", "Yes"}},
      {"getBalance",
       "blockParameter",
       {"ETH", "DBO", "getBalance", "blockParameter", "12", "VARCHAR", "30", "30", "NULL", "NULL",
        "1", "required parameter: block number, 'latest' or a range", "NULL", "12", "NULL", "120",
        "2", "Yes"}},
      // Byte strings are declared with a size that holds any a block can carry.
      {"getCode",
       "result",
       {"ETH", "DBO", "getCode", "result", "12", "VARCHAR", "16777218", "16777218", "NULL", "NULL",
        "1", "NULL", "NULL", "12", "NULL", "67108872", "3", "Yes"}},
      {"getLogs",
       "filter",
       {"ETH", "DBO", "getLogs", "filter", "-1", "LONGVARCHAR", "2147483647", "2147483647", "NULL",
        "NULL", "1",
        "required parameter: a log filter as a JSON object, e.g. "
        "{\"fromBlock\":\"0x1\",\"address\":\"0x...\"}",
        "NULL", "-1", "NULL", "2147483647", "1", "Yes"}},
      {"feeHistory_gasUsedRatio",
       "gasUsedRatio",
       {"ETH", "DBO", "feeHistory_gasUsedRatio", "gasUsedRatio", "8", "DOUBLE", "15", "8", "NULL",
        "10", "1", "NULL", "NULL", "8", "NULL", "NULL", "8", "Yes"}},
      {"mining",
       "result",
       {"ETH", "DBO", "mining", "result", "-7", "BIT", "1", "1", "NULL", "NULL", "1", "NULL",
        "NULL", "-7", "NULL", "NULL", "1", "Yes"}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(SQI_OK, eth_columns(&backend.stmt, kAbsent, kAbsent, nts(c.table), nts(c.column)));
    auto rows = backend.rows();
    ASSERT_EQ(1u, rows.size()) << c.table << "." << c.column;
    EXPECT_EQ(c.expected, rows[0]);
  }
  ASSERT_EQ(18u, backend.stmt.rows->columns.size());
  EXPECT_EQ("IS_NULLABLE", backend.stmt.rows->columns[17].name);
}

TEST_F(EthCatalog, ColumnsRowsOfTypedQuantities) {
  using Row = std::vector<std::string>;
  EthConnection connection;
  connection.typed_values = true;
  Backend backend(connection);
  struct Case {
    const char* table;
    const char* column;
    Row expected;
  } cases[] = {
      {"getBlockByNumber",
       "number",
       {"ETH", "DBO", "getBlockByNumber", "number", "-5", "BIGINT", "19", "8", "0", "10", "1",
        "NULL", "NULL", "-5", "NULL", "NULL", "19", "Yes"}},
      {"getBalance",
       "result",
       {"ETH", "DBO", "getBalance", "result", "2", "NUMERIC", "38", "40", "0", "10", "1", "NULL",
        "NULL", "2", "NULL", "NULL", "3", "Yes"}},
      {"getBlockByNumber",
       "timestamp",
       {"ETH", "DBO", "getBlockByNumber", "timestamp", "93", "TIMESTAMP", "19", "16", "0", "NULL",
        "1", "NULL", "NULL", "9", "3", "NULL", "12", "Yes"}},
      // A block's nonce is proof-of-work bytes; hashes stay text.
      {"getBlockByNumber",
       "nonce",
       {"ETH", "DBO", "getBlockByNumber", "nonce", "12", "VARCHAR", "255", "255", "NULL", "NULL",
        "1", "NULL", "NULL", "12", "NULL", "1020", "17", "Yes"}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(SQI_OK, eth_columns(&backend.stmt, kAbsent, kAbsent, nts(c.table), nts(c.column)));
    auto rows = backend.rows();
    ASSERT_EQ(1u, rows.size()) << c.table << "." << c.column;
    EXPECT_EQ(c.expected, rows[0]);
  }
}

TEST_F(EthCatalog, ColumnsLengthsFollowEachConnection) {
  Backend narrow(100, 30);
  Backend defaults;
  struct Case {
    Backend* backend;
    const char* size_of_address;
    const char* size_of_block;
  } cases[] = {{&narrow, "100", "30"}, {&defaults, "255", "24"}};
  for (const Case& c : cases) {
    ASSERT_EQ(SQI_OK, eth_columns(&c.backend->stmt, kAbsent, kAbsent, nts("getBalance"), kAbsent));
    auto rows = c.backend->rows();
    ASSERT_EQ(3u, rows.size());
    EXPECT_EQ("address", rows[0][3]);
    EXPECT_EQ(c.size_of_address, rows[0][6]);
    EXPECT_EQ("blockParameter", rows[1][3]);
    EXPECT_EQ(c.size_of_block, rows[1][6]);
    EXPECT_EQ("result", rows[2][3]);
  }
}

TEST_F(EthCatalog, ColumnsSelectionAndDisguisedLong) {
  Backend backend;
  size_t all_columns = 0;
  for (const auto& t : eth_catalog_tables()) all_columns += t.column_count;
  struct Case {
    SqiText table, column;
    size_t rows;
  } cases[] = {
      {kAbsent, kAbsent, all_columns},
      {nts("%"), nts("%"), all_columns},
      {nts("getBalance"), kAbsent, 3},
      {nts("getbalance"), kAbsent, 0},
      {nts("getBalance"), nts("RESULT"), 0},
      {nts("feeHistory\\_gasUsedRatio"), nts("gasUsedRatio"), 1},
      {nts("nosuch"), kAbsent, 0},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(SQI_OK, eth_columns(&backend.stmt, kAbsent, kAbsent, c.table, c.column));
    EXPECT_EQ(c.rows, backend.rows().size()) << (c.table.text ? c.table.text : "-");
  }
  backend.env.disguise_long = true;
  ASSERT_EQ(SQI_OK, eth_columns(&backend.stmt, kAbsent, kAbsent, nts("getLogs"), nts("filter")));
  auto rows = backend.rows();
  ASSERT_EQ(1u, rows.size());
  EXPECT_EQ("-1", rows[0][4]);
  EXPECT_EQ("12", rows[0][13]);
}

// ---- keys, special columns, statistics ----

TEST_F(EthCatalog, KeysAndSpecialColumnsAreEmptyStatisticsHasOneRow) {
  Backend backend;
  for (const EthTable& t : *backend.env.tables) {
    SCOPED_TRACE(t.name);
    ASSERT_EQ(SQI_OK, eth_primary_keys(&backend.stmt, kAbsent, kAbsent, nts(t.name.c_str())));
    EXPECT_EQ(6u, backend.stmt.rows->columns.size());
    EXPECT_TRUE(backend.rows().empty());
    for (int identifier : {SQL_BEST_ROWID, SQL_ROWVER}) {
      ASSERT_EQ(SQI_OK, eth_special_columns(&backend.stmt, identifier, kAbsent, kAbsent,
                                            nts(t.name.c_str()), SQL_SCOPE_SESSION, SQL_NULLABLE));
      EXPECT_EQ(8u, backend.stmt.rows->columns.size());
      EXPECT_TRUE(backend.rows().empty());
    }
    ASSERT_EQ(SQI_OK, eth_statistics(&backend.stmt, kAbsent, kAbsent, nts(t.name.c_str()),
                                     SQL_INDEX_ALL, SQL_QUICK));
    EXPECT_EQ(13u, backend.stmt.rows->columns.size());
    auto rows = backend.rows();
    ASSERT_EQ(1u, rows.size());
    EXPECT_EQ(t.name, rows[0][2]);
  }
}

TEST_F(EthCatalog, StatisticsRow) {
  Backend backend;
  using Row = std::vector<std::string>;
  const Row expected = {"ETH",  "DBO",  "getBalance", "NULL", "NULL", "NULL", "0",
                        "NULL", "NULL", "NULL",       "NULL", "NULL", "NULL"};
  ASSERT_EQ(SQI_OK, eth_statistics(&backend.stmt, kAbsent, kAbsent, nts("GETBALANCE"), 0, 0));
  EXPECT_EQ(std::vector<Row>{expected}, backend.rows());
  ASSERT_EQ(SQI_OK, eth_statistics(&backend.stmt, kAbsent, kAbsent, nts("getBalance "), 0, 0));
  EXPECT_TRUE(backend.rows().empty());
  ASSERT_EQ(SQI_OK, eth_statistics(&backend.stmt, kAbsent, kAbsent, kAbsent, 0, 0));
  EXPECT_TRUE(backend.rows().empty());
}

TEST_F(EthCatalog, PrivilegesAndForeignKeysLeaveTheStatement) {
  Backend backend;
  ASSERT_EQ(SQI_OK, eth_tables(&backend.stmt, kAbsent, kAbsent, nts("getBalance"), kAbsent));
  RowSet* before = backend.stmt.rows;
  EXPECT_EQ(SQI_OK, eth_column_privileges(&backend.stmt, kAbsent, kAbsent, kAbsent, kAbsent));
  EXPECT_EQ(SQI_OK, eth_table_privileges(&backend.stmt, kAbsent, kAbsent, kAbsent));
  EXPECT_EQ(SQI_OK,
            eth_foreign_keys(&backend.stmt, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent, kAbsent));
  EXPECT_EQ(before, backend.stmt.rows);
  EXPECT_EQ(1u, backend.rows().size());
}

// ---- refusals ----

TEST_F(EthCatalog, DataDefinitionIsRefused) {
  Backend backend;
  DalTable table{};
  ASSERT_EQ(SQI_OK, eth_describe_table(&backend.env, "getBalance", &table));
  SqiStmt stmt = &backend.stmt;
  struct Case {
    int result;
    const char* message;
  } cases[] = {
      {eth_create_table(stmt, nullptr), "Driver does not support DDL (CREATE TABLE)"},
      {eth_drop_table(stmt, nullptr), "Driver does not support DDL (DROP TABLE)"},
      {eth_create_index(stmt, nullptr), "Driver does not support DDL (CREATE INDEX)"},
      {eth_drop_index(stmt, nullptr), "Driver does not support DDL (DROP INDEX)"},
      {eth_grant(stmt, &table, nullptr), "Driver does not support DDL (GRANT)"},
      {eth_revoke(stmt, &table, nullptr), "Driver does not support DDL (REVOKE)"},
      {eth_drop_column(stmt, &table, nullptr), "Driver does not support DDL (DROP COLUMN)"},
      {eth_add_column(stmt, &table, nullptr), "Driver does not support DDL (ADD COLUMN)"},
  };
  ASSERT_EQ(std::size(cases), g_posted.size());
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(SQI_ERROR, cases[i].result);
    EXPECT_EQ(ETH_ORIGIN, g_posted[i].origin);
    EXPECT_EQ("HY000", g_posted[i].sqlstate);
    EXPECT_EQ(cases[i].message, g_posted[i].message);
  }
}

TEST_F(EthCatalog, RowOperationsOnViewsAreRefused) {
  Backend backend;
  DalTable table{};
  std::strcpy(table.name, "GETBALANCE");
  SqiStmt stmt = &backend.stmt;
  const std::string refusal = "Views (getBalance) are not updateable";
  EXPECT_EQ(SQI_ERROR, eth_insert_row(stmt, &table, nullptr));
  expect_posted("HY000", refusal);
  EXPECT_EQ(SQI_ERROR, eth_delete_row(stmt, &table, nullptr));
  expect_posted("HY000", refusal);
  EXPECT_EQ(SQI_ERROR, eth_fetch_by_key(stmt, &table, nullptr));
  expect_posted("HY000", refusal);
  EXPECT_EQ(SQI_ERROR, eth_update_row(stmt, &table, nullptr, 1));
  expect_posted("HY000", refusal);
  EXPECT_EQ(SQI_NOT_FOUND, eth_update_row(stmt, &table, nullptr, 2));
  EXPECT_TRUE(g_posted.empty());

  backend.table("getBalance").flags |= ETH_TABLE_UPDATABLE;
  EXPECT_EQ(SQI_OK, eth_insert_row(stmt, &table, nullptr));
  EXPECT_EQ(SQI_OK, eth_update_row(stmt, &table, nullptr, 1));
  std::strcpy(table.name, "nosuch");
  EXPECT_EQ(SQI_NOT_FOUND, eth_insert_row(stmt, &table, nullptr));
  EXPECT_EQ(SQI_NOT_FOUND, eth_delete_row(stmt, &table, nullptr));
  EXPECT_EQ(SQI_NOT_FOUND, eth_fetch_by_key(stmt, &table, nullptr));
  EXPECT_TRUE(g_posted.empty());
}

// ---- the row set ----

struct RowSetCells : ::testing::Test {
  RowSet* rows = nullptr;
  void SetUp() override {
    const RowSetColumn layout[] = {{"T", SQL_VARCHAR}, {"S", SQL_SMALLINT}, {"I", SQL_INTEGER},
                                   {"D", SQL_DOUBLE},  {"N", SQL_VARCHAR},  {"X", SQL_VARCHAR}};
    rows = rowset_create(layout, 6);
    ASSERT_TRUE(rowset_add_row(rows));
    ASSERT_TRUE(rowset_set_text(rows, 1, "abcdefgh"));
    ASSERT_TRUE(rowset_set_int16(rows, 2, -42));
    ASSERT_TRUE(rowset_set_int32(rows, 3, 70000));
    ASSERT_TRUE(rowset_set_double(rows, 4, 2.5));
    ASSERT_TRUE(rowset_set_text(rows, 6, "123"));
  }
  void TearDown() override { rowset_free(rows); }
};

TEST_F(RowSetCells, SettersAndCursorRejectBadUse) {
  EXPECT_FALSE(rowset_set_text(rows, 0, "x"));
  EXPECT_FALSE(rowset_set_text(rows, 7, "x"));
  EXPECT_FALSE(rowset_set_int16(rows, 2, 40000));
  char buffer[8];
  SQLLEN indicator = 0;
  EXPECT_EQ(SQI_ERROR, rowset_get_data(rows, 1, SQL_C_CHAR, buffer, 8, &indicator))
      << "no current row before the first fetch";
  EXPECT_EQ(SQI_OK, rowset_fetch(rows));
  EXPECT_EQ(SQI_ERROR, rowset_get_data(rows, 0, SQL_C_CHAR, buffer, 8, &indicator));
  EXPECT_EQ(SQI_ERROR, rowset_get_data(rows, 7, SQL_C_CHAR, buffer, 8, &indicator));
  EXPECT_EQ(SQI_NO_DATA, rowset_fetch(rows));
  EXPECT_EQ(SQI_NO_DATA, rowset_fetch(rows));
  EXPECT_EQ(SQI_ERROR, rowset_get_data(rows, 1, SQL_C_CHAR, buffer, 8, &indicator));
  EXPECT_EQ(SQI_NO_DATA, rowset_fetch(nullptr));
  RowSet* empty = rowset_create(nullptr, 0);
  EXPECT_FALSE(rowset_set_null(empty, 1)) << "no row yet";
  rowset_free(empty);
}

TEST_F(RowSetCells, CharacterConversions) {
  ASSERT_EQ(SQI_OK, rowset_fetch(rows));
  struct Case {
    int column;
    SQLLEN length;
    int result;
    const char* text;
    SQLLEN indicator;
  } cases[] = {
      {1, 64, SQI_OK, "abcdefgh", 8}, {1, 5, SQI_INFO, "abcd", 8}, {1, 9, SQI_OK, "abcdefgh", 8},
      {2, 64, SQI_OK, "-42", 3},      {3, 64, SQI_OK, "70000", 5}, {4, 64, SQI_OK, "2.5", 3},
      {3, 3, SQI_INFO, "70", 5},      {1, 1, SQI_INFO, "", 8},
  };
  for (const Case& c : cases) {
    char buffer[64];
    std::memset(buffer, 'z', sizeof buffer);
    SQLLEN indicator = 0;
    EXPECT_EQ(c.result, rowset_get_data(rows, c.column, SQL_C_CHAR, buffer, c.length, &indicator));
    EXPECT_STREQ(c.text, buffer) << c.column;
    EXPECT_EQ(c.indicator, indicator);
  }
  SQLLEN indicator = 0;
  EXPECT_EQ(SQI_OK, rowset_get_data(rows, 5, SQL_C_CHAR, nullptr, 0, &indicator));
  EXPECT_EQ(SQL_NULL_DATA, indicator);
  EXPECT_EQ(SQI_ERROR, rowset_get_data(rows, 5, SQL_C_CHAR, nullptr, 0, nullptr))
      << "NULL needs an indicator";
}

TEST_F(RowSetCells, NumericConversions) {
  ASSERT_EQ(SQI_OK, rowset_fetch(rows));
  struct Case {
    int column;
    int c_type;
    int result;
    int64_t value;  // expected integer, or the double times 10
  } cases[] = {
      {2, SQL_C_SSHORT, SQI_OK, -42},     {2, SQL_C_SHORT, SQI_OK, -42},
      {2, SQL_C_USHORT, SQI_ERROR, 0},    {2, SQL_C_SLONG, SQI_OK, -42},
      {2, SQL_C_ULONG, SQI_ERROR, 0},     {3, SQL_C_SSHORT, SQI_ERROR, 0},
      {3, SQL_C_LONG, SQI_OK, 70000},     {3, SQL_C_ULONG, SQI_OK, 70000},
      {3, SQL_C_SBIGINT, SQI_OK, 70000},  {4, SQL_C_SLONG, SQI_OK, 2},
      {6, SQL_C_SLONG, SQI_OK, 123},      {1, SQL_C_SLONG, SQI_ERROR, 0},
      {6, SQL_C_DOUBLE, SQI_OK, 1230},    {4, SQL_C_DOUBLE, SQI_OK, 25},
      {2, SQL_C_DEFAULT, SQI_OK, -42},    {3, SQL_C_DEFAULT, SQI_OK, 70000},
      {4, SQL_C_DEFAULT, SQI_OK, 25},     {1, SQL_C_BINARY, SQI_ERROR, 0},
      {3, SQL_C_TYPE_DATE, SQI_ERROR, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.column) + " as " + std::to_string(c.c_type));
    union {
      int16_t i16;
      uint16_t u16;
      int32_t i32;
      uint32_t u32;
      int64_t i64;
      double real;
    } out{};
    SQLLEN indicator = 0;
    ASSERT_EQ(c.result, rowset_get_data(rows, c.column, c.c_type, &out, sizeof out, &indicator));
    if (c.result != SQI_OK) continue;
    int type = c.c_type == SQL_C_DEFAULT ? (c.column == 2   ? SQL_C_SSHORT
                                            : c.column == 3 ? SQL_C_SLONG
                                                            : SQL_C_DOUBLE)
                                         : c.c_type;
    switch (type) {
      case SQL_C_SSHORT:
      case SQL_C_SHORT:
        EXPECT_EQ(c.value, out.i16);
        EXPECT_EQ(2, indicator);
        break;
      case SQL_C_SLONG:
      case SQL_C_LONG:
        EXPECT_EQ(c.value, out.i32);
        EXPECT_EQ(4, indicator);
        break;
      case SQL_C_ULONG:
        EXPECT_EQ(c.value, out.u32);
        break;
      case SQL_C_SBIGINT:
        EXPECT_EQ(c.value, out.i64);
        EXPECT_EQ(8, indicator);
        break;
      case SQL_C_DOUBLE:
        EXPECT_DOUBLE_EQ(c.value / 10.0, out.real);
        EXPECT_EQ(8, indicator);
        break;
    }
  }
}

TEST(SqiTextCopy, CopiesArguments) {
  struct Case {
    SqiText text;
    int size;
    bool given;
    const char* copied;
  } cases[] = {
      {{nullptr, 0}, 16, false, ""},        {{"getBalance", SQL_NTS}, 16, true, "getBalance"},
      {{"getBalance", 3}, 16, true, "get"}, {{"getBalance", SQL_NTS}, 4, true, "get"},
      {{"ab\0cd", 5}, 16, true, "ab"},      {{"abc", -7}, 16, true, ""},
      {{"abc", 0}, 16, true, ""},
  };
  for (const Case& c : cases) {
    char out[16];
    std::memset(out, 'z', sizeof out);
    EXPECT_EQ(c.given, sqi_text_copy(c.text, out, c.size));
    EXPECT_STREQ(c.copied, out);
  }
  char out[4];
  EXPECT_FALSE(sqi_text_copy({"abc", SQL_NTS}, out, 0));
}

}  // namespace
