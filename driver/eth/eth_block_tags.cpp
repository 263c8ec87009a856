// Block numbers for range ends: parsing numbers, and asking the node what a block tag stands
// for with one JSON-RPC call of its own (outside the scan's calls, so it is made before them).
#include "driver/eth/eth_block_tags.h"

#include <jansson.h>
#include <strings.h>

#include <cctype>
#include <cstdio>
#include <new>

#include "driver/dal/sqi/sqi.h"
#include "driver/eth/eth_connect.h"
#include "driver/eth/eth_query.h"
#include "driver/eth/eth_request.h"
#include "driver/eth/eth_response.h"
#include "driver/eth/eth_wait.h"

namespace {

constexpr const char* kTags[] = {"earliest", "latest", "safe", "finalized", "pending"};

// Posts HY000 with `message` on the statement's target.
void post(EthStmt* stmt, const std::string& message) {
  eth_post_error(stmt->env, stmt->target, "HY000", message.c_str());
}

// The `result` of one call of `method` with `params` (stolen), or null with the diagnostic
// posted (`what` says what the call was for). A new reference. Throws std::bad_alloc.
json_t* node_result(EthStmt* stmt, const char* method, json_t* params, const std::string& what) {
  json_t* call =
      json_pack("{s:s,s:i,s:s,s:o}", "jsonrpc", "2.0", "id", 1, "method", method, "params", params);
  if (!call) throw std::bad_alloc();
  char* text = json_dumps(call, JSON_COMPACT);
  json_decref(call);
  if (!text) throw std::bad_alloc();
  std::string body(text);
  free(text);
  EthRequest request;
  EthResponse response;
  EthFailure failure;
  if (eth_round_trip(stmt->env->connection, eth_statement_limits(*stmt), body, &request, &response,
                     &failure) != 0) {
    eth_post_error(stmt->env, stmt->target, failure.sqlstate, failure.message.c_str());
    return nullptr;
  }
  json_error_t error;
  json_t* reply =
      response.status_code == 200 ? json_loads(response.body.c_str(), 0, &error) : nullptr;
  json_t* result = reply ? json_object_get(reply, "result") : nullptr;
  if (!result || json_is_null(result)) {
    json_t* message = reply ? json_object_get(json_object_get(reply, "error"), "message") : nullptr;
    std::string said = json_is_string(message) ? json_string_value(message)
                                               : "status " + std::to_string(response.status_code);
    post(stmt, "The node could not say " + what + " (" + method + ": " + said + ")");
    json_decref(reply);
    return nullptr;
  }
  json_incref(result);
  json_decref(reply);
  return result;
}

}  // namespace

std::optional<uint64_t> eth_block_number_text(const std::string& text) {
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  size_t start = hex ? 2 : 0;
  if (text.size() <= start || text.size() - start > (hex ? 16u : 19u)) return std::nullopt;
  uint64_t value = 0;
  for (size_t i = start; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (hex ? !std::isxdigit(c) : !std::isdigit(c)) return std::nullopt;
    int digit = std::isdigit(c) ? c - '0' : std::tolower(c) - 'a' + 10;
    value = value * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
  }
  return value;
}

bool eth_is_block_tag(const std::string& text) {
  for (const char* tag : kTags)
    if (strcasecmp(text.c_str(), tag) == 0) return true;
  return false;
}

std::string eth_hex_quantity(uint64_t number) {
  char buffer[24];
  std::snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(number));
  return buffer;
}

bool eth_resolve_block(EthStmt* stmt, const std::string& table, const std::string& column,
                       const std::string& text, EthResolvedTags* resolved, uint64_t* number) {
  if (std::optional<uint64_t> value = eth_block_number_text(text)) {
    *number = *value;
    return true;
  }
  if (!eth_is_block_tag(text)) {
    post(stmt, "The range on '" + column + "' of " + table + " has the end '" + text +
                   "', which is no block number; write a number (100 or '0x64') or one of "
                   "'earliest', 'latest', 'safe', 'finalized'");
    return false;
  }
  std::string tag = text;
  for (char& c : tag) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (auto found = resolved->find(tag); found != resolved->end()) {
    *number = found->second;
    return true;
  }
  uint64_t value = 0;
  if (tag != "earliest") {
    std::string what =
        "which block '" + tag + "' is, for the range on '" + column + "' of " + table;
    json_t* result = tag == "latest" ? node_result(stmt, "eth_blockNumber", json_array(), what)
                                     : node_result(stmt, "eth_getBlockByNumber",
                                                   json_pack("[sb]", tag.c_str(), 0), what);
    if (!result) return false;
    json_t* field = json_is_object(result) ? json_object_get(result, "number") : result;
    std::optional<uint64_t> read =
        json_is_string(field) ? eth_block_number_text(json_string_value(field)) : std::nullopt;
    json_decref(result);
    if (!read) {
      post(stmt, "The node's answer for " + what + " is not a block number");
      return false;
    }
    value = *read;
  }
  (*resolved)[tag] = value;
  *number = value;
  return true;
}
