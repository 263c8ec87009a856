// Example parameter values: the seeded chain's first account, its contract, its
// transaction and block hashes, and literals for flags, filters and call objects.
#include "tools/tables_doc/example_values.h"

#include <cstring>

namespace {

constexpr const char* kAccount = "'0xf39fd6e51aad88f6f4ce6ab8827279cfffb92266'";
constexpr const char* kContract = "'0xe7f1725e7734ce288f8367e1bb143e90bb3f0512'";
constexpr const char* kTransaction =
    "'0x16c0d5e210b1b60ecfa362e768c12e5b225944dab4bd27bfe5e59e0b821f05ea'";
constexpr const char* kBlockHash =
    "'0xe3b405a3e1b7c811140b12a5761c05470c6f4ceeeec7379a4d1aa45ab562d58a'";
constexpr const char* kCall =
    "'{\"from\": \"0xf39fd6e51aad88f6f4ce6ab8827279cfffb92266\", \"to\": "
    "\"0x70997970c51812dc3a010c7d01b50e0d17dc79c8\", \"value\": \"0x1\"}'";

struct Example {
  const char* table;   // table name, or null for every table
  const char* column;  // parameter column name
  const char* value;   // SQL literal
};

// First match wins: table-specific entries precede the general ones.
constexpr Example kExamples[] = {
    {"getLogs", "filter",
     "'{\"fromBlock\": \"0x0\", \"toBlock\": \"latest\", \"address\": "
     "\"0xe7f1725e7734ce288f8367e1bb143e90bb3f0512\"}'"},
    {"newFilter", "filterObject",
     "'{\"fromBlock\": \"0x0\", \"address\": \"0xe7f1725e7734ce288f8367e1bb143e90bb3f0512\"}'"},
    {"getBlockByHash", "hash", kBlockHash},
    {"getBlockByHash_transactions", "hash", kBlockHash},
    {"getCode", "address", kContract},
    {"getStorageAt", "address", kContract},
    {nullptr, "address", kAccount},
    {nullptr, "blockParameter", "'latest'"},
    {nullptr, "blockNumber", "'latest'"},
    {nullptr, "blockHash", kBlockHash},
    {nullptr, "transactionHash", kTransaction},
    {nullptr, "hash", kTransaction},
    {nullptr, "transactionDetailsFlag", "'false'"},
    {nullptr, "blockCount", "'0x2'"},
    {nullptr, "newestBlock", "'latest'"},
    {nullptr, "transactionCallObject", kCall},
    {nullptr, "arrayOfIntegers", "'[25, 75]'"},
    {nullptr, "storagePosition", "'0x0'"},
    {nullptr, "transactionIndexPosition", "'0x0'"},
    {nullptr, "uncleIndexPosition", "'0x0'"},
    {nullptr, "storageKeys", "'[]'"},
};

}  // namespace

std::string example_value(const std::string& table, const std::string& column) {
  for (const Example& example : kExamples) {
    if (example.table && table != example.table) continue;
    if (column == example.column) return example.value;
  }
  return "";
}
