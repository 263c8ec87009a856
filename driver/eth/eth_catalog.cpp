// The built-in table catalog of the Ethereum backend as constant data: one
// column array per table and the table list in catalog order. Parameter
// columns come first, in parameter order, then the result columns.
#include "driver/eth/eth_catalog.h"

#include <sql.h>
#include <sqlext.h>

namespace {

// Type, length, flags and type name that a column of one kind carries.
struct ColumnShape {
  int sql_type;
  int length;
  int flags;
  const char* type_name;
};

constexpr ColumnShape kStr{SQL_VARCHAR, ETH_LENGTH_STRING, 0, "varchar"};
constexpr ColumnShape kBlk{SQL_VARCHAR, ETH_LENGTH_BLOCK, 0, "varchar"};
// Parameters: a quantity (numbers sent as hex), and a block number or tag (also ranges).
constexpr ColumnShape kQty{SQL_VARCHAR, ETH_LENGTH_BLOCK, ETH_COLUMN_QUANTITY, "varchar"};
constexpr ColumnShape kBlock{SQL_VARCHAR, ETH_LENGTH_BLOCK, ETH_COLUMN_QUANTITY | ETH_COLUMN_BLOCK,
                             "varchar"};
// Byte strings of any length (inputs, log data, code, proof nodes).
constexpr ColumnShape kBytes{SQL_VARCHAR, ETH_LENGTH_BYTES, 0, "varchar"};
// A 256-byte bloom filter: 0x and 512 hex digits.
constexpr ColumnShape kBloom{SQL_VARCHAR, 514, 0, "varchar"};
constexpr ColumnShape kDbl{SQL_DOUBLE, 8, 0, "double"};
constexpr ColumnShape kBit{SQL_BIT, 1, 0, "bool"};
// A BIT parameter is sent as a JSON true/false.
constexpr ColumnShape kBool{SQL_BIT, 1, 0, "bool"};
constexpr ColumnShape kJson{SQL_LONGVARCHAR, 0, ETH_COLUMN_JSON, "longvarchar"};
constexpr ColumnShape kJsonArray{SQL_LONGVARCHAR, 0, ETH_COLUMN_JSON | ETH_COLUMN_ARRAY, "array"};
constexpr ColumnShape kJsonObject{SQL_LONGVARCHAR, 0, ETH_COLUMN_JSON | ETH_COLUMN_OBJECT,
                                  "longvarchar"};
constexpr ColumnShape kStrJsonArray{SQL_VARCHAR, ETH_LENGTH_STRING,
                                    ETH_COLUMN_JSON | ETH_COLUMN_ARRAY, "array"};

constexpr int kParamFlags = ETH_COLUMN_PARAM | ETH_COLUMN_REQUIRED;

// A required parameter column at `position`, labelled "paramN".
constexpr EthCatalogColumn param(const char* name, int position, const char* label,
                                 ColumnShape shape) {
  return {name,     shape.sql_type, shape.length, shape.flags | kParamFlags,
          position, label,          nullptr,      shape.type_name};
}

// A result column read from the member of its own name.
constexpr EthCatalogColumn result(const char* name, ColumnShape shape) {
  return {name, shape.sql_type, shape.length, shape.flags, 0, name, nullptr, shape.type_name};
}

// A result column read from another member.
constexpr EthCatalogColumn result_from(const char* name, const char* member, ColumnShape shape) {
  return {name, shape.sql_type, shape.length, shape.flags, 0, member, nullptr, shape.type_name};
}

// A result column read from `field` of the current element of the expansion array.
constexpr EthCatalogColumn element(const char* name, const char* array, const char* field,
                                   ColumnShape shape) {
  return {name, shape.sql_type, shape.length, shape.flags | ETH_COLUMN_ELEMENT | ETH_COLUMN_NESTED,
          0,    array,          field,        shape.type_name};
}

// A result column that is the current element of the expansion array itself.
constexpr EthCatalogColumn element_itself(const char* name, const char* array, ColumnShape shape) {
  return {name, shape.sql_type, shape.length, shape.flags | ETH_COLUMN_ELEMENT,
          0,    array,          nullptr,      shape.type_name};
}

// An element-member column that names no member of the element, so it always reads NULL.
constexpr EthCatalogColumn element_without_field(const char* name, const char* array,
                                                 ColumnShape shape) {
  return element(name, array, nullptr, shape);
}

// A result column read from `field` of the nested object `member`.
[[maybe_unused]] constexpr EthCatalogColumn nested(const char* name, const char* member,
                                                   const char* field, ColumnShape shape) {
  return {name, shape.sql_type, shape.length, shape.flags | ETH_COLUMN_NESTED,
          0,    member,         field,        shape.type_name};
}

constexpr EthCatalogColumn blobBaseFee_columns[] = {
    result("result", kStr),
};
constexpr EthCatalogColumn blockNumber_columns[] = {
    result("result", kStr),
};
constexpr EthCatalogColumn chainId_columns[] = {
    result("result", kStr),
};
constexpr EthCatalogColumn createAccessList_columns[] = {
    param("transactionCallObject", 0, "param0", kJsonObject),
    param("blockNumber", 1, "param1", kStr),
};
constexpr EthCatalogColumn estimateGas_columns[] = {
    param("transactionCallObject", 0, "param0", kJsonObject),
};
constexpr EthCatalogColumn feeHistory_columns[] = {
    param("blockCount", 0, "param0", kQty),
    param("newestBlock", 1, "param1", kBlock),
    param("arrayOfIntegers", 2, "param2", kStrJsonArray),
    result("baseFeePerBlobGas", kJsonArray),
    result("blobGasUsedRatio", kJsonArray),
    result("baseFeePerGas", kJsonArray),
    result("gasUsedRatio", kJsonArray),
    result("oldestBlock", kStr),
};
constexpr EthCatalogColumn feeHistory_blobGasUsedRatio_columns[] = {
    param("blockCount", 0, "param0", kQty),
    param("newestBlock", 1, "param1", kBlock),
    param("arrayOfIntegers", 2, "param2", kStrJsonArray),
    result("baseFeePerBlobGas", kJsonArray),
    result("baseFeePerGas", kJsonArray),
    result("gasUsedRatio", kJsonArray),
    result("oldestBlock", kStr),
    element_itself("blobGasUsedRatio", "blobGasUsedRatio", kDbl),
};
constexpr EthCatalogColumn feeHistory_baseFeePerGas_columns[] = {
    param("blockCount", 0, "param0", kQty),
    param("newestBlock", 1, "param1", kBlock),
    param("arrayOfIntegers", 2, "param2", kStrJsonArray),
    result("blobGasUsedRatio", kJsonArray),
    result("baseFeePerGas", kJsonArray),
    result("gasUsedRatio", kJsonArray),
    result("oldestBlock", kStr),
    element_itself("baseFeePerBlobGas", "baseFeePerGas", kStr),
};
constexpr EthCatalogColumn feeHistory_baseFeePerBlobGas_columns[] = {
    param("blockCount", 0, "param0", kQty),
    param("newestBlock", 1, "param1", kBlock),
    param("arrayOfIntegers", 2, "param2", kStrJsonArray),
    result("blobGasUsedRatio", kJsonArray),
    result("baseFeePerGas", kJsonArray),
    result("gasUsedRatio", kJsonArray),
    result("oldestBlock", kStr),
    element_itself("baseFeePerBlobGas", "baseFeePerBlobGas", kStr),
};
constexpr EthCatalogColumn feeHistory_gasUsedRatio_columns[] = {
    param("blockCount", 0, "param0", kQty),
    param("newestBlock", 1, "param1", kBlock),
    param("arrayOfIntegers", 2, "param2", kStrJsonArray),
    result("baseFeePerBlobGas", kJsonArray),
    result("blobGasUsedRatio", kJsonArray),
    result("baseFeePerGas", kJsonArray),
    result("oldestBlock", kStr),
    element_itself("gasUsedRatio", "gasUsedRatio", kDbl),
};
constexpr EthCatalogColumn gasPrice_columns[] = {
    result("result", kStr),
};
constexpr EthCatalogColumn getBalance_columns[] = {
    param("address", 0, "param0", kStr),
    param("blockParameter", 1, "param1", kBlock),
    result("result", kStr),
};
constexpr EthCatalogColumn getBlockByHash_columns[] = {
    param("hash", 0, "param0", kStr),
    param("transactionDetailsFlag", 1, "param1", kBool),
    result("difficulty", kStr),
    result("extraData", kStr),
    result("transactionsRoot", kStr),
    result("miner", kStr),
    result("nonce", kStr),
    result("sha3Uncles", kStr),
    result("gasLimit", kStr),
    result("size", kStr),
    result("timestamp", kStr),
    result("logsBloom", kBloom),
    result("stateRoot", kStr),
    result("gasUsed", kStr),
    result("mixHash", kStr),
    result("number", kStr),
    result("parentHash", kStr),
    result("receiptsRoot", kStr),
    result("transactions", kJsonArray),
    result("uncles", kJsonArray),
};
constexpr EthCatalogColumn getBlockByHash_transactions_columns[] = {
    param("hash", 0, "param0", kStr),
    param("transactionDetailsFlag", 1, "param1", kBool),
    result("difficulty", kStr),
    result("extraData", kStr),
    result("transactionsRoot", kStr),
    result("miner", kStr),
    result("nonce", kStr),
    result("sha3Uncles", kStr),
    result("gasLimit", kStr),
    result("size", kStr),
    result("timestamp", kStr),
    result("logsBloom", kBloom),
    result("stateRoot", kStr),
    result("gasUsed", kStr),
    result("mixHash", kStr),
    result("number", kStr),
    result("parentHash", kStr),
    result("receiptsRoot", kStr),
    result("uncles", kJsonArray),
    element("transactionsBlockHash", "transactions", "blockHash", kStr),
    element("transactionsChainId", "transactions", "chainId", kStr),
    element("transactionsBlockNumber", "transactions", "blockNumber", kStr),
    element("transactionsValue", "transactions", "value", kStr),
    element("transactionsType", "transactions", "type", kStr),
    element("transactionsFrom", "transactions", "from", kStr),
    element("transactionsGas", "transactions", "gas", kStr),
    element("transactionsNonce", "transactions", "nonce", kStr),
    element("transactionsInput", "transactions", "input", kBytes),
    element("transactionsGasPrice", "transactions", "gasPrice", kStr),
    element("transactionsHash", "transactions", "hash", kStr),
    element("transactionsR", "transactions", "r", kStr),
    element("transactionsS", "transactions", "s", kStr),
    element("transactionsV", "transactions", "v", kStr),
    element("transactionsTo", "transactions", "to", kStr),
    element("transactionsTransactionIndex", "transactions", "transactionIndex", kStr),
};
constexpr EthCatalogColumn getBlockByNumber_columns[] = {
    param("blockNumber", 0, "param0", kBlock),
    param("transactionDetailsFlag", 1, "param1", kBool),
    result("blobGasUsed", kStr),
    result("receiptsRoot", kStr),
    result("hash", kStr),
    result("baseFeePerGas", kStr),
    result("excessBlobGas", kStr),
    result("difficulty", kStr),
    result("extraData", kStr),
    result("gasLimit", kStr),
    result("gasUsed", kStr),
    result("timestamp", kStr),
    result("logsBloom", kBloom),
    result("miner", kStr),
    result("mixHash", kStr),
    result("parentBeaconBlockRoot", kStr),
    result("nonce", kStr),
    result("uncles", kJsonArray),
    result("number", kStr),
    result("parentHash", kStr),
    result("sha3Uncles", kStr),
    result("size", kStr),
    result("stateRoot", kStr),
    result("transactions", kJsonArray),
    result("withdrawalsRoot", kStr),
    result("transactionsRoot", kStr),
    result("withdrawals", kJsonArray),
};
constexpr EthCatalogColumn getBlockByNumber_transactions_columns[] = {
    param("blockNumber", 0, "param0", kBlock),
    param("transactionDetailsFlag", 1, "param1", kBool),
    result("blobGasUsed", kStr),
    result("receiptsRoot", kStr),
    result("hash", kStr),
    result("baseFeePerGas", kStr),
    result("excessBlobGas", kStr),
    result("difficulty", kStr),
    result("extraData", kStr),
    result("gasLimit", kStr),
    result("gasUsed", kStr),
    result("timestamp", kStr),
    result("logsBloom", kBloom),
    result("miner", kStr),
    result("mixHash", kStr),
    result("parentBeaconBlockRoot", kStr),
    result("nonce", kStr),
    result("uncles", kJsonArray),
    result("number", kStr),
    result("parentHash", kStr),
    result("sha3Uncles", kStr),
    result("size", kStr),
    result("stateRoot", kStr),
    result("withdrawalsRoot", kStr),
    result("transactionsRoot", kStr),
    result("withdrawals", kJsonArray),
    element("transactionsInput", "transactions", "input", kBytes),
    element("transactionsMaxFeePerGas", "transactions", "maxFeePerGas", kStr),
    element("transactionsAccessList", "transactions", "accessList", kJsonArray),
    element("transactionsS", "transactions", "s", kStr),
    element("transactionsBlockHash", "transactions", "blockHash", kStr),
    element("transactionsHash", "transactions", "hash", kStr),
    element("transactionsChainId", "transactions", "chainId", kStr),
    element("transactionsMaxPriorityFeePerGas", "transactions", "maxPriorityFeePerGas", kStr),
    element("transactionsType", "transactions", "type", kStr),
    element("transactionsBlockNumber", "transactions", "blockNumber", kStr),
    element("transactionsGas", "transactions", "gas", kStr),
    element("transactionsTransactionIndex", "transactions", "transactionIndex", kStr),
    element("transactionsFrom", "transactions", "from", kStr),
    element("transactionsGasPrice", "transactions", "gasPrice", kStr),
    element("transactionsNonce", "transactions", "nonce", kStr),
    element("transactionsR", "transactions", "r", kStr),
    element("transactionsTo", "transactions", "to", kStr),
    element("transactionsYParity", "transactions", "yParity", kStr),
    element("transactionsV", "transactions", "v", kStr),
    element("transactionsValue", "transactions", "value", kStr),
};
constexpr EthCatalogColumn getBlockByNumber_withdrawals_columns[] = {
    param("blockNumber", 0, "param0", kBlock),
    param("transactionDetailsFlag", 1, "param1", kBool),
    result("blobGasUsed", kStr),
    result("receiptsRoot", kStr),
    result("hash", kStr),
    result("baseFeePerGas", kStr),
    result("excessBlobGas", kStr),
    result("difficulty", kStr),
    result("extraData", kStr),
    result("gasLimit", kStr),
    result("gasUsed", kStr),
    result("timestamp", kStr),
    result("logsBloom", kBloom),
    result("miner", kStr),
    result("mixHash", kStr),
    result("parentBeaconBlockRoot", kStr),
    result("nonce", kStr),
    result("uncles", kJsonArray),
    result("number", kStr),
    result("parentHash", kStr),
    result("sha3Uncles", kStr),
    result("size", kStr),
    result("stateRoot", kStr),
    result("withdrawalsRoot", kStr),
    result("transactionsRoot", kStr),
    result("withdrawals", kJsonArray),
    result("transactions", kJsonArray),
    element("withdrawalsAddress", "withdrawals", "address", kStr),
    element("withdrawalsAmount", "withdrawals", "amount", kStr),
    element("withdrawalsValidatorIndex", "withdrawals", "validatorIndex", kStr),
    element("withdrawalsIndex", "withdrawals", "index", kStr),
};
constexpr EthCatalogColumn getBlockReceipts_columns[] = {
    param("blockNumber", 0, "param0", kBlock),
    result("blockHash", kStr),
    result("effectiveGasPrice", kStr),
    result("cumulativeGasUsed", kStr),
    result("contractAddress", kJson),
    result("to", kStr),
    result("from", kStr),
    result("gasUsed", kStr),
    result("logsBloom", kBloom),
    result("logs", kJsonArray),
    result("status", kStr),
    result("transactionHash", kStr),
    result("transactionIndex", kStr),
    result("type", kStr),
};
constexpr EthCatalogColumn getBlockReceipts_logs_columns[] = {
    param("blockNumber", 0, "param0", kBlock),
    result("blockHash", kStr),
    result("effectiveGasPrice", kStr),
    result("cumulativeGasUsed", kStr),
    result("contractAddress", kJson),
    result("to", kStr),
    result("from", kStr),
    result("gasUsed", kStr),
    result("logsBloom", kBloom),
    result("status", kStr),
    result("transactionHash", kStr),
    result("transactionIndex", kStr),
    result("type", kStr),
    element("logsAddress", "logs", "address", kStr),
    element("logsBlockHash", "logs", "blockHash", kStr),
    element("logsTransactionHash", "logs", "transactionHash", kStr),
    element("logsBlockNumber", "logs", "blockNumber", kStr),
    element("logsData", "logs", "data", kBytes),
    element("logsLogIndex", "logs", "logIndex", kStr),
    element("logsRemoved", "logs", "removed", kBit),
    element("logsTopics", "logs", "topics", kJsonArray),
    element("logsTransactionIndex", "logs", "transactionIndex", kStr),
};
constexpr EthCatalogColumn getBlockTransactionCountByHash_columns[] = {
    param("blockHash", 0, "param0", kStr),
    result("result", kStr),
};
constexpr EthCatalogColumn getBlockTransactionCountByNumber_columns[] = {
    param("blockNumber", 0, "param0", kBlock),
    result("result", kStr),
};
constexpr EthCatalogColumn getCode_columns[] = {
    param("address", 0, "param0", kStr),
    param("blockNumber", 1, "param1", kBlock),
    result("result", kBytes),
};
constexpr EthCatalogColumn getLogs_columns[] = {
    param("filter", 0, "param0", kJsonObject),
    result("address", kStr),
    result("blockHash", kStr),
    result("removed", kBit),
    result("data", kBytes),
    result("transactionHash", kStr),
    result("blockNumber", kStr),
    result("logIndex", kStr),
    result("topics", kJsonArray),
    result("transactionIndex", kStr),
};
constexpr EthCatalogColumn getProof_columns[] = {
    param("address", 0, "param0", kStr),
    param("storageKeys", 1, "param1", kStrJsonArray),
    param("blockParameter", 2, "param2", kBlock),
    result("accountProof", kJsonArray),
    result("codeHash", kStr),
    result("nonce", kStr),
    result("balance", kStr),
    result("storageHash", kStr),
    result("storageProof", kJsonArray),
};
constexpr EthCatalogColumn getProof_storageProof_columns[] = {
    param("address", 0, "param0", kStr),
    param("storageKeys", 1, "param1", kStrJsonArray),
    param("blockParameter", 2, "param2", kBlock),
    result("accountProof", kJsonArray),
    result("codeHash", kStr),
    result("nonce", kStr),
    result("balance", kStr),
    result("storageHash", kStr),
    element("storageProofKey", "storageProof", "key", kStr),
    element("storageProofProof", "storageProof", "proof", kJsonArray),
    element("storageProofValue", "storageProof", "value", kStr),
};
constexpr EthCatalogColumn getProof_accountProof_columns[] = {
    param("address", 0, "param0", kStr),
    param("storageKeys", 1, "param1", kStrJsonArray),
    param("blockParameter", 2, "param2", kBlock),
    result("codeHash", kStr),
    result("nonce", kStr),
    result("balance", kStr),
    result("storageHash", kStr),
    result("storageProof", kJsonArray),
    element_itself("accountProof", "accountProof", kBytes),
};
constexpr EthCatalogColumn getStorageAt_columns[] = {
    param("address", 0, "param0", kStr),
    param("storagePosition", 1, "param1", kStr),
    param("blockParameter", 2, "param2", kBlock),
    result_from("storageValue", "result", kStr),
};
constexpr EthCatalogColumn getTransactionByBlockHashAndIndex_columns[] = {
    param("blockHash", 0, "param0", kStr),
    param("transactionIndexPosition", 1, "param1", kStr),
    result("r", kStr),
    result("hash", kStr),
    result("v", kStr),
    result("blockNumber", kStr),
    result("chainId", kStr),
    result("type", kStr),
    result("from", kStr),
    result("input", kBytes),
    result("nonce", kStr),
    result("gas", kStr),
    result("gasPrice", kStr),
    result("transactionIndex", kStr),
    result("s", kStr),
    result("to", kStr),
    result("value", kStr),
};
constexpr EthCatalogColumn getTransactionByBlockNumberAndIndex_columns[] = {
    param("blockParameter", 0, "param0", kBlock),
    param("transactionIndexPosition", 1, "param1", kStr),
    result("maxFeePerGas", kStr),
    result("gas", kStr),
    result("accessList", kJsonArray),
    result("transactionIndex", kStr),
    result("value", kStr),
    result("blockHash", kStr),
    result("gasPrice", kStr),
    result("blockNumber", kStr),
    result("from", kStr),
    result("chainId", kStr),
    result("hash", kStr),
    result("nonce", kStr),
    result("input", kBytes),
    result("maxPriorityFeePerGas", kStr),
    result("r", kStr),
    result("type", kStr),
    result("s", kStr),
    result("to", kStr),
    result("yParity", kStr),
    result("v", kStr),
};
constexpr EthCatalogColumn getTransactionByBlockNumberAndIndex_AccessList_columns[] = {
    param("blockParameter", 0, "param0", kBlock),
    param("transactionIndexPosition", 1, "param1", kStr),
    result("maxFeePerGas", kStr),
    result("gas", kStr),
    result("accessList", kJsonArray),
    result("transactionIndex", kStr),
    result("value", kStr),
    result("blockHash", kStr),
    result("gasPrice", kStr),
    result("blockNumber", kStr),
    result("from", kStr),
    result("chainId", kStr),
    result("hash", kStr),
    result("nonce", kStr),
    result("input", kBytes),
    result("maxPriorityFeePerGas", kStr),
    result("r", kStr),
    result("type", kStr),
    result("s", kStr),
    result("to", kStr),
    result("yParity", kStr),
    result("v", kStr),
};
constexpr EthCatalogColumn getTransactionByHash_columns[] = {
    param("transactionHash", 0, "param0", kStr),
    result("blockHash", kStr),
    result("chainId", kStr),
    result("to", kStr),
    result("blockNumber", kStr),
    result("hash", kStr),
    result("value", kStr),
    result("from", kStr),
    result("transactionIndex", kStr),
    result("r", kStr),
    result("gas", kStr),
    result("input", kBytes),
    result("gasPrice", kStr),
    result("nonce", kStr),
    result("v", kStr),
    result("s", kStr),
    result("type", kStr),
};
constexpr EthCatalogColumn getTransactionCount_columns[] = {
    param("address", 0, "param0", kStr),
    param("blockParameter", 1, "param1", kBlock),
    result_from("transactionCount", "result", kBlk),
};
constexpr EthCatalogColumn getTransactionReceipt_columns[] = {
    param("transactionHash", 0, "param0", kStr),
    result("blockHash", kStr),
    result("effectiveGasPrice", kStr),
    result("type", kStr),
    result("status", kStr),
    result("blockNumber", kStr),
    result("contractAddress", kStr),
    result("cumulativeGasUsed", kStr),
    result("logs", kJsonArray),
    result("from", kStr),
    result("transactionIndex", kStr),
    result("gasUsed", kStr),
    result("logsBloom", kBloom),
    result("to", kStr),
};
constexpr EthCatalogColumn getTransactionReceipt_Logs_columns[] = {
    param("transactionHash", 0, "param0", kStr),
    result("blockHash", kStr),
    result("effectiveGasPrice", kStr),
    result("type", kStr),
    result("status", kStr),
    result("blockNumber", kStr),
    result("contractAddress", kStr),
    result("cumulativeGasUsed", kStr),
    result("from", kStr),
    result("transactionIndex", kStr),
    result("gasUsed", kStr),
    result("logsBloom", kBloom),
    result("to", kStr),
    element("logsAddress", "logs", "address", kStr),
    element("logsData", "logs", "data", kBytes),
    element("logsTransactionHash", "logs", "transactionHash", kStr),
    element("logsTopics", "logs", "topics", kJsonArray),
    element("logsBlockHash", "logs", "blockHash", kStr),
    element("logsTransactionIndex", "logs", "transactionIndex", kStr),
    element("logsBlockNumber", "logs", "blockNumber", kStr),
    element("logsRemoved", "logs", "removed", kBit),
    element("logsLogIndex", "logs", "logIndex", kStr),
};
constexpr EthCatalogColumn getUncleByBlockHashAndIndex_columns[] = {
    param("blockHash", 0, "param0", kStr),
    param("uncleIndexPosition", 1, "param1", kQty),
    result("difficulty", kStr),
    result("miner", kStr),
    result("mixHash", kStr),
    result("stateRoot", kStr),
    result("extraData", kStr),
    result("receiptsRoot", kStr),
    result("gasLimit", kStr),
    result("gasUsed", kStr),
    result("hash", kStr),
    result("logsBloom", kBloom),
    result("timestamp", kStr),
    result("nonce", kStr),
    result("parentHash", kStr),
    result("number", kStr),
    result("sha3Uncles", kStr),
    result("size", kStr),
    result("transactionsRoot", kStr),
    result("uncles", kJsonArray),
};
constexpr EthCatalogColumn getUncleByBlockHashAndIndex_Uncles_columns[] = {
    param("blockHash", 0, "param0", kStr),
    param("uncleIndexPosition", 1, "param1", kQty),
    result("difficulty", kStr),
    result("miner", kStr),
    result("mixHash", kStr),
    result("stateRoot", kStr),
    result("extraData", kStr),
    result("receiptsRoot", kStr),
    result("gasLimit", kStr),
    result("gasUsed", kStr),
    result("hash", kStr),
    result("logsBloom", kBloom),
    result("timestamp", kStr),
    result("nonce", kStr),
    result("parentHash", kStr),
    result("number", kStr),
    result("sha3Uncles", kStr),
    result("size", kStr),
    result("transactionsRoot", kStr),
    element_without_field("uncle", "uncles", kStr),
};
constexpr EthCatalogColumn getUncleByBlockNumberAndIndex_columns[] = {
    param("blockNumber", 0, "param0", kBlock),
    param("uncleIndexPosition", 1, "param1", kQty),
    result("miner", kStr),
    result("size", kStr),
    result("number", kStr),
    result("difficulty", kStr),
    result("mixHash", kStr),
    result("extraData", kStr),
    result("stateRoot", kStr),
    result("logsBloom", kBloom),
    result("receiptsRoot", kStr),
    result("sha3Uncles", kStr),
    result("gasLimit", kStr),
    result("gasUsed", kStr),
    result("parentHash", kStr),
    result("hash", kStr),
    result("nonce", kStr),
    result("timestamp", kStr),
    result("transactionsRoot", kStr),
    result("uncles", kJsonArray),
};
constexpr EthCatalogColumn getUncleByBlockNumberAndIndex_Uncles_columns[] = {
    param("blockNumber", 0, "param0", kBlock),
    param("uncleIndexPosition", 1, "param1", kQty),
    result("miner", kStr),
    result("size", kStr),
    result("number", kStr),
    result("difficulty", kStr),
    result("mixHash", kStr),
    result("extraData", kStr),
    result("stateRoot", kStr),
    result("logsBloom", kBloom),
    result("receiptsRoot", kStr),
    result("sha3Uncles", kStr),
    result("gasLimit", kStr),
    result("gasUsed", kStr),
    result("parentHash", kStr),
    result("hash", kStr),
    result("nonce", kStr),
    result("timestamp", kStr),
    result("transactionsRoot", kStr),
    element_without_field("uncle", "uncles", kStr),
};
constexpr EthCatalogColumn getUncleCountByBlockHash_columns[] = {
    param("blockHash", 0, "param0", kStr),
    result_from("blockUncleCount", "result", kBlk),
};
constexpr EthCatalogColumn getUncleCountByBlockNumber_columns[] = {
    param("blockNumber", 0, "param0", kBlock),
    result_from("blockUncleCount", "result", kBlk),
};
constexpr EthCatalogColumn getWork_columns[] = {
    result("result", kStr),
};
constexpr EthCatalogColumn hashrate_columns[] = {
    result("result", kStr),
};
constexpr EthCatalogColumn maxPriorityFeePerGas_columns[] = {
    result("result", kStr),
};
constexpr EthCatalogColumn mining_columns[] = {
    result("result", kBit),
};
constexpr EthCatalogColumn protocolVersion_columns[] = {
    result("result", kBlk),
};
constexpr EthCatalogColumn sendRawTransaction_columns[] = {
    param("transactionData", 0, "param0", kBytes),
    result("result", kStr),
};
constexpr EthCatalogColumn submitWork_columns[] = {
    param("nonce", 0, "param0", kStr),
    param("PoWHash", 1, "param1", kStr),
    param("digest", 2, "param2", kStr),
    result_from("isValidFlagesult", "result", kBit),
};
constexpr EthCatalogColumn syncing_columns[] = {
    result_from("syncStatus", "result", kBit),
    result_from("syncBlocks", "sync_blocks", kJson),
};
constexpr EthCatalogColumn newFilter_columns[] = {
    param("filterObject", 0, "param0", kJsonObject),
    result_from("filterID", "result", kStr),
};
constexpr EthCatalogColumn getFilterChanges_columns[] = {
    param("filterID", 0, "param0", kStr),
    result("removed", kBit),
    result("blockNumber", kStr),
    result("transactionIndex", kStr),
    result("logIndex", kStr),
    result("transactionHash", kStr),
    result("topics", kJsonArray),
    result("blockHash", kStr),
    result("address", kStr),
    result("data", kBytes),
};
constexpr EthCatalogColumn getFilterChanges_Topics_columns[] = {
    param("filterID", 0, "param0", kStr),
    result("removed", kBit),
    result("blockNumber", kStr),
    result("transactionIndex", kStr),
    result("logIndex", kStr),
    result("transactionHash", kStr),
    result("blockHash", kStr),
    result("address", kStr),
    result("data", kBytes),
    element_itself("topic", "topics", kStr),
};
constexpr EthCatalogColumn getFilterLogs_columns[] = {
    param("filterID", 0, "param0", kStr),
    result("removed", kBit),
    result("blockNumber", kStr),
    result("transactionIndex", kStr),
    result("logIndex", kStr),
    result("transactionHash", kStr),
    result("topics", kJsonArray),
    result("blockHash", kStr),
    result("address", kStr),
    result("data", kBytes),
};
constexpr EthCatalogColumn getFilterLogs_Topics_columns[] = {
    param("filterID", 0, "param0", kStr),
    result("removed", kBit),
    result("blockNumber", kStr),
    result("transactionIndex", kStr),
    result("logIndex", kStr),
    result("transactionHash", kStr),
    result("topics", kJsonArray),
    result("blockHash", kStr),
    result("address", kStr),
    result("data", kBytes),
};
constexpr EthCatalogColumn newBlockFilter_columns[] = {
    result_from("filterID", "result", kStr),
};
constexpr EthCatalogColumn getBlockFilterChanges_columns[] = {
    param("filterID", 0, "param0", kStr),
    result_from("logObject", "result", kStr),
};
constexpr EthCatalogColumn uninstallFilter_columns[] = {
    param("filterObject", 0, "param0", kStr),
    result_from("uninstalledFlag", "result", kBit),
};

constexpr EthCatalogTable kTables[] = {
    {"blobBaseFee", "eth_blobBaseFee", 1, 0, ETH_TABLE_REMOTE | ETH_TABLE_SCALAR_RESULT,
     blobBaseFee_columns, nullptr},
    {"blockNumber", "eth_blockNumber", 1, 0, ETH_TABLE_REMOTE | ETH_TABLE_SCALAR_RESULT,
     blockNumber_columns, nullptr},
    {"chainId", "eth_chainId", 1, 0, ETH_TABLE_REMOTE | ETH_TABLE_SCALAR_RESULT, chainId_columns,
     nullptr},
    {"createAccessList", "eth_createAccessList", 2, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     createAccessList_columns, nullptr},
    {"estimateGas", "eth_estimateGas", 1, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT, estimateGas_columns,
     nullptr},
    {"feeHistory", "eth_feeHistory", 8, 3,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT, feeHistory_columns,
     nullptr},
    {"feeHistory_blobGasUsedRatio", "eth_feeHistory", 8, 3,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     feeHistory_blobGasUsedRatio_columns, "blobGasUsedRatio"},
    {"feeHistory_baseFeePerGas", "eth_feeHistory", 8, 3,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     feeHistory_baseFeePerGas_columns, "baseFeePerGas"},
    {"feeHistory_baseFeePerBlobGas", "eth_feeHistory", 8, 3,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     feeHistory_baseFeePerBlobGas_columns, "baseFeePerBlobGas"},
    {"feeHistory_gasUsedRatio", "eth_feeHistory", 8, 3,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     feeHistory_gasUsedRatio_columns, "gasUsedRatio"},
    {"gasPrice", "eth_gasPrice", 1, 0, ETH_TABLE_REMOTE | ETH_TABLE_SCALAR_RESULT, gasPrice_columns,
     nullptr},
    {"getBalance", "eth_getBalance", 3, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_SCALAR_RESULT, getBalance_columns,
     nullptr},
    {"getBlockByHash", "eth_getBlockByHash", 20, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT, getBlockByHash_columns,
     nullptr},
    {"getBlockByHash_transactions", "eth_getBlockByHash", 35, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getBlockByHash_transactions_columns, "transactions"},
    {"getBlockByNumber", "eth_getBlockByNumber", 27, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getBlockByNumber_columns, nullptr},
    {"getBlockByNumber_transactions", "eth_getBlockByNumber", 46, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getBlockByNumber_transactions_columns, "transactions"},
    {"getBlockByNumber_withdrawals", "eth_getBlockByNumber", 31, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getBlockByNumber_withdrawals_columns, "withdrawals"},
    {"getBlockReceipts", "eth_getBlockReceipts", 14, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS, getBlockReceipts_columns, nullptr},
    {"getBlockReceipts_logs", "eth_getBlockReceipts", 22, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS, getBlockReceipts_logs_columns,
     "logs"},
    {"getBlockTransactionCountByHash", "eth_getBlockTransactionCountByHash", 2, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_SCALAR_RESULT,
     getBlockTransactionCountByHash_columns, nullptr},
    {"getBlockTransactionCountByNumber", "eth_getBlockTransactionCountByNumber", 2, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_SCALAR_RESULT,
     getBlockTransactionCountByNumber_columns, nullptr},
    {"getCode", "eth_getCode", 3, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_SCALAR_RESULT, getCode_columns,
     nullptr},
    {"getLogs", "eth_getLogs", 10, 1, ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS, getLogs_columns,
     nullptr},
    {"getProof", "eth_getProof", 9, 3,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT, getProof_columns,
     nullptr},
    {"getProof_storageProof", "eth_getProof", 11, 3,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getProof_storageProof_columns, "storageProof"},
    {"getProof_accountProof", "eth_getProof", 9, 3,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getProof_accountProof_columns, "accountProof"},
    {"getStorageAt", "eth_getStorageAt", 4, 3,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_SCALAR_RESULT, getStorageAt_columns,
     nullptr},
    {"getTransactionByBlockHashAndIndex", "eth_getTransactionByBlockHashAndIndex", 17, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getTransactionByBlockHashAndIndex_columns, nullptr},
    {"getTransactionByBlockNumberAndIndex", "eth_getTransactionByBlockNumberAndIndex", 22, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getTransactionByBlockNumberAndIndex_columns, nullptr},
    {"getTransactionByBlockNumberAndIndex_AccessList", "eth_getTransactionByBlockNumberAndIndex",
     22, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getTransactionByBlockNumberAndIndex_AccessList_columns, "accessList"},
    {"getTransactionByHash", "eth_getTransactionByHash", 17, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getTransactionByHash_columns, nullptr},
    {"getTransactionCount", "eth_getTransactionCount", 3, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_SCALAR_RESULT,
     getTransactionCount_columns, nullptr},
    {"getTransactionReceipt", "eth_getTransactionReceipt", 14, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getTransactionReceipt_columns, nullptr},
    {"getTransactionReceipt_Logs", "eth_getTransactionReceipt", 22, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getTransactionReceipt_Logs_columns, "logs"},
    {"getUncleByBlockHashAndIndex", "eth_getUncleByBlockHashAndIndex", 20, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getUncleByBlockHashAndIndex_columns, nullptr},
    {"getUncleByBlockHashAndIndex_Uncles", "eth_getUncleByBlockHashAndIndex", 20, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getUncleByBlockHashAndIndex_Uncles_columns, "uncles"},
    {"getUncleByBlockNumberAndIndex", "eth_getUncleByBlockNumberAndIndex", 20, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getUncleByBlockNumberAndIndex_columns, nullptr},
    {"getUncleByBlockNumberAndIndex_Uncles", "eth_getUncleByBlockNumberAndIndex", 20, 2,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_OBJECT_RESULT,
     getUncleByBlockNumberAndIndex_Uncles_columns, "uncles"},
    {"getUncleCountByBlockHash", "eth_getUncleCountByBlockHash", 2, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_SCALAR_RESULT,
     getUncleCountByBlockHash_columns, nullptr},
    {"getUncleCountByBlockNumber", "eth_getUncleCountByBlockNumber", 2, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_SCALAR_RESULT,
     getUncleCountByBlockNumber_columns, nullptr},
    {"getWork", "eth_getWork", 1, 0, ETH_TABLE_REMOTE | ETH_TABLE_SCALAR_RESULT, getWork_columns,
     nullptr},
    {"hashrate", "eth_hashrate", 1, 0, ETH_TABLE_REMOTE | ETH_TABLE_SCALAR_RESULT, hashrate_columns,
     nullptr},
    {"maxPriorityFeePerGas", "eth_maxPriorityFeePerGas", 1, 0,
     ETH_TABLE_REMOTE | ETH_TABLE_SCALAR_RESULT, maxPriorityFeePerGas_columns, nullptr},
    {"mining", "eth_mining", 1, 0, ETH_TABLE_REMOTE | ETH_TABLE_SCALAR_RESULT, mining_columns,
     nullptr},
    {"protocolVersion", "eth_protocolVersion", 1, 0, ETH_TABLE_REMOTE | ETH_TABLE_SCALAR_RESULT,
     protocolVersion_columns, nullptr},
    {"sendRawTransaction", "eth_sendRawTransaction", 2, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_SCALAR_RESULT,
     sendRawTransaction_columns, nullptr},
    {"submitWork", "eth_submitWork", 4, 3,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_SCALAR_RESULT, submitWork_columns,
     nullptr},
    {"syncing", "eth_syncing", 2, 0, ETH_TABLE_REMOTE | ETH_TABLE_SCALAR_RESULT, syncing_columns,
     nullptr},
    {"newFilter", "eth_newFilter", 2, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_SCALAR_RESULT, newFilter_columns,
     nullptr},
    {"getFilterChanges", "eth_getFilterChanges", 10, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS, getFilterChanges_columns, nullptr},
    {"getFilterChanges_Topics", "eth_getFilterChanges", 10, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_CHILD | ETH_TABLE_REQUIRED_PARAMS,
     getFilterChanges_Topics_columns, "topics"},
    {"getFilterLogs", "eth_getFilterLogs", 10, 1, ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS,
     getFilterLogs_columns, nullptr},
    {"getFilterLogs_Topics", "eth_getFilterLogs", 10, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS, getFilterLogs_Topics_columns, nullptr},
    {"newBlockFilter", "eth_newBlockFilter", 1, 0, ETH_TABLE_REMOTE | ETH_TABLE_SCALAR_RESULT,
     newBlockFilter_columns, nullptr},
    {"getBlockFilterChanges", "eth_getFilterChanges", 2, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS, getBlockFilterChanges_columns, nullptr},
    {"uninstallFilter", "eth_uninstallFilter", 2, 1,
     ETH_TABLE_REMOTE | ETH_TABLE_REQUIRED_PARAMS | ETH_TABLE_SCALAR_RESULT,
     uninstallFilter_columns, nullptr},
};

}  // namespace

std::span<const EthCatalogTable> eth_catalog_tables() {
  return kTables;
}

std::span<const EthCatalogColumn> eth_catalog_columns(const EthCatalogTable& table) {
  return {table.columns, static_cast<size_t>(table.column_count)};
}
