// The connection's table list: its own copy of the built-in catalog with the
// length placeholders replaced by the connection's settings, and the name
// lookups the catalog operations and scans use.
#pragma once

#include <string>
#include <vector>

#include "driver/eth/eth_context.h"

// A column of the connection's table list.
struct EthColumn {
  std::string name;              // SQL column name
  int sql_type = 0;              // SQL type code
  int length = 0;                // resolved length (no placeholders)
  int flags = 0;                 // EthColumnFlag bits
  int param_position = 0;        // index in `params` for parameter columns
  std::string member;            // JSON member holding the value
  std::string element_field;     // member of the element or nested object ("" when none)
  int value_kind = 0;            // EthValueKind: what the value is when typed values are on
  bool typed = false;            // converted from the node's hex to sql_type by the backend
  const char* remark = nullptr;  // REMARKS of SQLColumns (what a parameter takes), or null
};

// A table of the connection's table list.
struct EthTable {
  std::string name;                // SQL table name
  std::string method;              // JSON-RPC method
  int column_count = 0;            // number of columns the table declares
  int param_count = 0;             // length of the request's `params` array
  int flags = 0;                   // EthTableFlag bits
  std::string expansion_path;      // array member whose elements become rows ("" when none)
  std::string remark;              // REMARKS of SQLTables: what the call changes ("" when nothing)
  std::vector<EthColumn> columns;  // the columns in order
};

// Makes env->tables from the built-in catalog with env->connection's length settings and,
// when its typed values are on, quantity columns as BIGINT, NUMERIC(38,0) or TIMESTAMP; replacing
// an earlier list; false (and no list) when env or its connection is missing or memory runs out.
bool eth_build_table_list(EthEnv* env);
// Releases env->tables (nothing when there is none).
void eth_free_table_list(EthEnv* env);

// The resolved value of a column length: a placeholder becomes the connection's setting.
int eth_resolve_length(const EthConnection& connection, int length);

constexpr int ETH_NUMERIC_PRECISION = 38;  // digits of a typed 256-bit quantity

// The name of a column's SQL type, the same in descriptors and SQLColumns.
const char* eth_type_name(int sql_type);

// The first table whose name equals `name` without regard to case; null when none.
const EthTable* eth_find_table(const EthEnv* env, const char* name);
// Number of primary-key columns of a table.
int eth_key_column_count(const EthTable& table);
// True when a column is a primary-key column (either key bit).
bool eth_is_key_column(const EthColumn& column);
