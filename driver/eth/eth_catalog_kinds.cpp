// What the columns and tables of the built-in catalog hold beyond their SQL type: which
// result columns are node quantities (typed as numbers or times when typed values are on),
// what a parameter column takes, and which tables change node state. Field names follow the
// JSON-RPC objects (blocks, transactions, receipts, logs, withdrawals, proofs).
#include <sql.h>
#include <sqlext.h>
#include <string.h>

#include <string>
#include <string_view>

#include "driver/eth/eth_catalog.h"

namespace {

// A JSON member name and the value kind it carries.
struct FieldKind {
  const char* field;
  EthValueKind kind;
};

// Quantities of the node's objects, by member name. Signature parts r and s are 256-bit
// numbers that routinely exceed 38 digits, and storage words are bytes: they stay text.
constexpr FieldKind kFieldKinds[] = {
    {"number", ETH_VALUE_INT64},
    {"blockNumber", ETH_VALUE_INT64},
    {"gasLimit", ETH_VALUE_INT64},
    {"gasUsed", ETH_VALUE_INT64},
    {"cumulativeGasUsed", ETH_VALUE_INT64},
    {"blobGasUsed", ETH_VALUE_INT64},
    {"excessBlobGas", ETH_VALUE_INT64},
    {"size", ETH_VALUE_INT64},
    {"nonce", ETH_VALUE_INT64},
    {"gas", ETH_VALUE_INT64},
    {"transactionIndex", ETH_VALUE_INT64},
    {"logIndex", ETH_VALUE_INT64},
    {"status", ETH_VALUE_INT64},
    {"type", ETH_VALUE_INT64},
    {"chainId", ETH_VALUE_INT64},
    {"index", ETH_VALUE_INT64},
    {"validatorIndex", ETH_VALUE_INT64},
    {"v", ETH_VALUE_INT64},
    {"yParity", ETH_VALUE_INT64},
    {"oldestBlock", ETH_VALUE_INT64},
    {"difficulty", ETH_VALUE_UINT256},
    {"baseFeePerGas", ETH_VALUE_UINT256},
    {"baseFeePerBlobGas", ETH_VALUE_UINT256},
    {"value", ETH_VALUE_UINT256},
    {"gasPrice", ETH_VALUE_UINT256},
    {"maxFeePerGas", ETH_VALUE_UINT256},
    {"maxPriorityFeePerGas", ETH_VALUE_UINT256},
    {"maxFeePerBlobGas", ETH_VALUE_UINT256},
    {"effectiveGasPrice", ETH_VALUE_UINT256},
    {"blobGasPrice", ETH_VALUE_UINT256},
    {"amount", ETH_VALUE_UINT256},
    {"balance", ETH_VALUE_UINT256},
    {"timestamp", ETH_VALUE_TIMESTAMP},
    {"blockTimestamp", ETH_VALUE_TIMESTAMP},
};

// Tables whose whole result is one quantity, read as member `result`.
constexpr FieldKind kScalarKinds[] = {
    {"blockNumber", ETH_VALUE_INT64},
    {"chainId", ETH_VALUE_INT64},
    {"getBlockTransactionCountByHash", ETH_VALUE_INT64},
    {"getBlockTransactionCountByNumber", ETH_VALUE_INT64},
    {"getTransactionCount", ETH_VALUE_INT64},
    {"getUncleCountByBlockHash", ETH_VALUE_INT64},
    {"getUncleCountByBlockNumber", ETH_VALUE_INT64},
    {"gasPrice", ETH_VALUE_UINT256},
    {"blobBaseFee", ETH_VALUE_UINT256},
    {"maxPriorityFeePerGas", ETH_VALUE_UINT256},
    {"getBalance", ETH_VALUE_UINT256},
    {"hashrate", ETH_VALUE_UINT256},
};

// The kind of `name` in `kinds`; text when it is not there.
template <size_t N>
EthValueKind kind_in(const FieldKind (&kinds)[N], std::string_view name) {
  for (const FieldKind& entry : kinds)
    if (name == entry.field) return entry.kind;
  return ETH_VALUE_TEXT;
}

// The JSON member a result column reads: the element's field, the array itself for an
// element column without one, else the member.
std::string_view field_of(const EthCatalogColumn& column) {
  if (column.element_field != nullptr) return column.element_field;
  return column.member != nullptr ? column.member : "";
}

// A parameter name and what it takes.
struct ParameterText {
  const char* name;
  const char* remark;
};

constexpr ParameterText kParameterTexts[] = {
    {"address", "required parameter: an account address, 0x and 40 hex digits"},
    {"hash", "required parameter: a block hash, 0x and 64 hex digits"},
    {"blockHash", "required parameter: a block hash, 0x and 64 hex digits"},
    {"transactionHash", "required parameter: a transaction hash, 0x and 64 hex digits"},
    {"transactionDetailsFlag",
     "required parameter: 1 for whole transactions, 0 for their hashes only"},
    {"transactionIndexPosition", "required parameter: a transaction's index in its block"},
    {"uncleIndexPosition", "required parameter: an uncle's index in its block"},
    {"blockCount", "required parameter: a number of blocks (1 to 1024)"},
    {"arrayOfIntegers", "required parameter: a JSON array of reward percentiles, e.g. [25,75]"},
    {"storageKeys", "required parameter: a JSON array of storage keys (0x hex words)"},
    {"storagePosition", "required parameter: a storage slot, 0x hex"},
    {"transactionCallObject",
     "required parameter: a call as a JSON object, e.g. {\"to\":\"0x...\",\"data\":\"0x...\"}"},
    {"filter",
     "required parameter: a log filter as a JSON object, e.g. {\"fromBlock\":\"0x1\","
     "\"address\":\"0x...\"}"},
    {"filterObject", "required parameter: a filter as a JSON object, or a filter id"},
    {"filterID", "required parameter: a filter id from newFilter or newBlockFilter"},
    {"transactionData", "required parameter: a signed transaction, 0x hex"},
    {"nonce", "required parameter: the proof-of-work nonce, 0x hex"},
    {"PoWHash", "required parameter: the header's proof-of-work hash, 0x hex"},
    {"digest", "required parameter: the mix digest, 0x hex"},
};

constexpr const char* kBlockRemark = "required parameter: block number, 'latest' or a range";
constexpr const char* kQuantityRemark = "required parameter: a number (decimal or 0x hex)";

// A table whose call changes node state and what it changes.
struct StateChange {
  const char* table;
  const char* what;
};

constexpr StateChange kStateChanges[] = {
    {"sendRawTransaction", "sends a transaction to the network"},
    {"submitWork", "submits a proof-of-work solution"},
    {"newFilter", "creates a filter in the node"},
    {"newBlockFilter", "creates a filter in the node"},
    {"uninstallFilter", "removes a filter from the node"},
    {"getFilterChanges", "reading consumes the filter's changes"},
    {"getFilterChanges_Topics", "reading consumes the filter's changes"},
    {"getBlockFilterChanges", "reading consumes the filter's changes"},
};

}  // namespace

EthValueKind eth_value_kind(const EthCatalogTable& table, const EthCatalogColumn& column) {
  if ((column.flags & ETH_COLUMN_PARAM) || column.sql_type != SQL_VARCHAR ||
      (column.flags & ETH_COLUMN_JSON))
    return ETH_VALUE_TEXT;
  const std::string_view field = field_of(column);
  if (field == "result") return kind_in(kScalarKinds, table.name);
  // A block's nonce is 8 bytes of proof-of-work, not a count.
  const std::string_view method = table.method;
  if (field == "nonce" && !(column.flags & ETH_COLUMN_ELEMENT) &&
      (method.starts_with("eth_getBlockBy") || method.starts_with("eth_getUncleBy")))
    return ETH_VALUE_TEXT;
  // A storage proof's value is a storage word.
  if (table.expansion_path != nullptr && std::string_view(table.expansion_path) == "storageProof" &&
      (column.flags & ETH_COLUMN_ELEMENT))
    return ETH_VALUE_TEXT;
  return kind_in(kFieldKinds, field);
}

const char* eth_parameter_remark(const EthCatalogColumn& column) {
  if (!(column.flags & ETH_COLUMN_PARAM)) return nullptr;
  if (column.flags & ETH_COLUMN_BLOCK) return kBlockRemark;
  for (const ParameterText& text : kParameterTexts)
    if (strcmp(text.name, column.name) == 0) return text.remark;
  if (column.flags & ETH_COLUMN_QUANTITY) return kQuantityRemark;
  return "required parameter";
}

std::string eth_table_remark(const EthCatalogTable& table) {
  for (const StateChange& change : kStateChanges)
    if (strcmp(change.table, table.name) == 0)
      return std::string("changes node state: ") + change.what + " (" + table.method + ")";
  return std::string();
}
