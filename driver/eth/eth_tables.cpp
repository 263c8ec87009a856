// Building and searching the connection's table list.
#include "driver/eth/eth_tables.h"

#include <sql.h>
#include <sqlext.h>
#include <strings.h>

#include <memory>
#include <new>

#include "driver/eth/eth_catalog.h"

int eth_resolve_length(const EthConnection& connection, int length) {
  switch (length) {
    case ETH_LENGTH_STRING:
      return connection.string_length;
    case ETH_LENGTH_ARRAY:
      return connection.array_length;
    case ETH_LENGTH_OBJECT:
      return connection.object_length;
    case ETH_LENGTH_ID:
      return connection.id_length;
    case ETH_LENGTH_BLOCK:
      return connection.block_length;
    case ETH_LENGTH_BYTES:
      return ETH_BYTES_LENGTH;
    default:
      return length;
  }
}

// Gives a quantity column the SQL type of its value kind; text columns stay as they are.
static void type_quantity(EthColumn* column) {
  switch (column->value_kind) {
    case ETH_VALUE_INT64:
      column->sql_type = SQL_BIGINT;
      column->length = 8;
      break;
    case ETH_VALUE_UINT256:
      column->sql_type = SQL_NUMERIC;
      column->length = ETH_NUMERIC_PRECISION;
      break;
    case ETH_VALUE_TIMESTAMP:
      column->sql_type = SQL_TYPE_TIMESTAMP;
      column->length = sizeof(SQL_TIMESTAMP_STRUCT);
      break;
    default:
      return;
  }
  column->typed = true;
}

const char* eth_type_name(int sql_type) {
  switch (sql_type) {
    case SQL_VARCHAR:
      return "VARCHAR";
    case SQL_LONGVARCHAR:
      return "LONGVARCHAR";
    case SQL_DOUBLE:
      return "DOUBLE";
    case SQL_BIT:
      return "BIT";
    case SQL_INTEGER:
      return "INTEGER";
    case SQL_SMALLINT:
      return "SMALLINT";
    case SQL_TINYINT:
      return "TINYINT";
    case SQL_BIGINT:
      return "BIGINT";
    case SQL_NUMERIC:
      return "NUMERIC";
    case SQL_DATE:
    case SQL_TYPE_DATE:
      return "DATE";
    case SQL_TIME:
    case SQL_TYPE_TIME:
      return "TIME";
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      return "TIMESTAMP";
    default:
      return nullptr;
  }
}

// The connection's copy of one built-in table.
static EthTable copy_table(const EthCatalogTable& source, const EthConnection& connection) {
  EthTable table;
  table.name = source.name;
  table.method = source.method;
  table.column_count = source.column_count;
  table.param_count = source.param_count;
  table.flags = source.flags;
  if (source.expansion_path != nullptr) table.expansion_path = source.expansion_path;
  table.remark = eth_table_remark(source);
  table.columns.reserve(source.column_count);
  for (const EthCatalogColumn& from : eth_catalog_columns(source)) {
    EthColumn column;
    column.name = from.name;
    column.sql_type = from.sql_type;
    column.length = eth_resolve_length(connection, from.length);
    column.flags = from.flags;
    column.param_position = from.param_position;
    column.member = from.member != nullptr ? from.member : "";
    column.element_field = from.element_field != nullptr ? from.element_field : "";
    column.value_kind = eth_value_kind(source, from);
    column.remark = eth_parameter_remark(from);
    if (connection.typed_values) type_quantity(&column);
    table.columns.push_back(std::move(column));
  }
  return table;
}

bool eth_build_table_list(EthEnv* env) {
  if (env == nullptr) return false;
  eth_free_table_list(env);
  if (env->connection == nullptr) return false;
  eth_log(&env->connection->http, "eth_sqi.cpp", __LINE__, ETH_LOG_ENTRY, "Extract Metadata");
  try {
    auto tables = std::make_unique<std::vector<EthTable>>();
    tables->reserve(eth_catalog_tables().size());
    for (const EthCatalogTable& source : eth_catalog_tables())
      tables->push_back(copy_table(source, *env->connection));
    env->tables = tables.release();
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

void eth_free_table_list(EthEnv* env) {
  if (env == nullptr) return;
  delete env->tables;
  env->tables = nullptr;
}

const EthTable* eth_find_table(const EthEnv* env, const char* name) {
  if (env == nullptr || env->tables == nullptr || name == nullptr) return nullptr;
  for (const EthTable& table : *env->tables)
    if (strcasecmp(table.name.c_str(), name) == 0) return &table;
  return nullptr;
}

bool eth_is_key_column(const EthColumn& column) {
  return (column.flags & (ETH_COLUMN_KEY | ETH_COLUMN_KEY_ALT)) != 0;
}

int eth_key_column_count(const EthTable& table) {
  int count = 0;
  for (const EthColumn& column : table.columns)
    if (eth_is_key_column(column)) ++count;
  return count;
}
