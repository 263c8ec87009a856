// The Ethereum backend's built-in catalog: one table per supported JSON-RPC
// method plus child tables that turn an array of a result into rows. The
// catalog is constant data; each connection works on its own copy
// (eth_tables.h) with the length settings filled in.
#pragma once

#include <span>
#include <string>

// Table flags.
enum EthTableFlag : int {
  ETH_TABLE_REMOTE = 0x40,             // posted to the endpoint URL with the API key appended
  ETH_TABLE_CHILD = 0x100,             // each element of the expansion array is one row
  ETH_TABLE_UPDATABLE = 0x200,         // reported as "TABLE" (no built-in table has it)
  ETH_TABLE_REQUIRED_PARAMS = 0x400,   // every parameter column must be given
  ETH_TABLE_OBJECT_RESULT = 0x80000,   // the result is one object: at most one row
  ETH_TABLE_SCALAR_RESULT = 0x200000,  // the result is a scalar, read as member `result`
};

// Column flags.
enum EthColumnFlag : int {
  ETH_COLUMN_KEY = 0x1,            // primary-key column (no built-in column has it)
  ETH_COLUMN_ARRAY = 0x4,          // the value is a JSON array (informational)
  ETH_COLUMN_OBJECT = 0x8,         // the value is a JSON object (informational)
  ETH_COLUMN_NESTED = 0x10,        // read member name, then element field name
  ETH_COLUMN_PARAM = 0x80,         // an `=` restriction supplies a JSON-RPC parameter
  ETH_COLUMN_ELEMENT = 0x100,      // read from the current element of the expansion array
  ETH_COLUMN_REQUIRED = 0x400,     // required parameter
  ETH_COLUMN_JSON = 0x1000,        // parameter text parsed as JSON; value returned as JSON text
  ETH_COLUMN_QUANTITY = 0x2000,    // parameter is a quantity: numbers are sent as hex
  ETH_COLUMN_BLOCK = 0x4000,       // parameter is a block number or tag: ranges and lists
  ETH_COLUMN_KEY_ALT = 0x1000000,  // primary-key column, alternative bit (none has it)
};

// Length placeholders, replaced by the connection's settings.
enum EthLengthSetting : int {
  ETH_LENGTH_STRING = -1,  // string_length
  ETH_LENGTH_ARRAY = -2,   // array_length
  ETH_LENGTH_OBJECT = -3,  // object_length
  ETH_LENGTH_ID = -4,      // id_length
  ETH_LENGTH_BLOCK = -5,   // block_length
  ETH_LENGTH_BYTES = -6,   // byte strings of any length: ETH_BYTES_LENGTH
};

// Declared size of byte-string columns: holds 8 MiB of data as hex, more than a block's gas
// limit lets one transaction carry.
constexpr int ETH_BYTES_LENGTH = 2 + 2 * (8 << 20);

// One column of a built-in table.
struct EthCatalogColumn {
  const char* name;           // SQL column name
  int sql_type;               // SQL_VARCHAR, SQL_LONGVARCHAR, SQL_DOUBLE or SQL_BIT
  int length;                 // a length, 0, or an EthLengthSetting placeholder
  int flags;                  // EthColumnFlag bits
  int param_position;         // index in `params` for parameter columns, else 0
  const char* member;         // JSON member holding the value ("paramN" for parameters)
  const char* element_field;  // member of the array element or nested object, or null
  const char* type_name;      // the JSON kind of the value (informational; not reported)
};

// One built-in table.
struct EthCatalogTable {
  const char* name;                 // SQL table name (matched without regard to case)
  const char* method;               // JSON-RPC method sent in requests
  int column_count;                 // number of columns
  int param_count;                  // length of the request's `params` array
  int flags;                        // EthTableFlag bits
  const EthCatalogColumn* columns;  // the columns in order (column_count of them)
  const char* expansion_path;       // array member whose elements become rows, or null
};

// Every built-in table in catalog order.
std::span<const EthCatalogTable> eth_catalog_tables();
// The column records of one built-in table.
std::span<const EthCatalogColumn> eth_catalog_columns(const EthCatalogTable& table);

// What a column's value is when typed values are on: text, or a node quantity read as a number
// or a time.
enum EthValueKind : int {
  ETH_VALUE_TEXT = 0,       // hashes, addresses, bytes, JSON, flags: as the node sends them
  ETH_VALUE_INT64 = 1,      // a 64-bit quantity (block numbers, gas, nonces, indexes): BIGINT
  ETH_VALUE_UINT256 = 2,    // a 256-bit quantity (values, balances, fees): NUMERIC(38,0)
  ETH_VALUE_TIMESTAMP = 3,  // Unix seconds: TIMESTAMP in UTC
};

// The value kind of a column of a built-in table; parameter columns are always text.
EthValueKind eth_value_kind(const EthCatalogTable& table, const EthCatalogColumn& column);
// The REMARKS of a parameter column ("required parameter: " and what it takes); null for others.
const char* eth_parameter_remark(const EthCatalogColumn& column);
// The REMARKS of a table whose call changes node state, saying what it changes; "" for the
// others.
std::string eth_table_remark(const EthCatalogTable& table);
