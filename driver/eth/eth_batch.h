// JSON-RPC batches of the Ethereum backend: the request text of one call and of a batch of
// calls to one method, and the matching of a batch reply to its calls by id.
#pragma once

#include <jansson.h>

#include <cstddef>
#include <string>
#include <vector>

// Default of the `batch_size` key: calls sent together in one JSON-RPC batch.
constexpr int ETH_BATCH_SIZE_DEFAULT = 100;
// Largest `batch_size` taken; a larger setting is cut to it.
constexpr int ETH_BATCH_SIZE_MAX = 1000;

// The request object text of a call of `method` with `params` (may be null: no params) and `id`.
// Throws std::bad_alloc.
std::string eth_call_body(const std::string& method, json_t* params, json_int_t id);
// The text of a batch of calls of `method`, one per params array, with ids 1, 2, ... in order.
// Throws std::bad_alloc.
std::string eth_batch_body(const std::string& method, const std::vector<json_t*>& params);

// What a batch reply says about its calls.
enum class EthBatchVerdict : int {
  answered = 0,  // an array of replies, each matched to its call (some may be missing)
  refused,       // the endpoint did not take the batch; the calls are to go one at a time
};

// Matches the decoded `reply` to a batch of `count` calls sent by eth_batch_body: `replies`
// gets `count` slots, each the reply object with that call's id (a new reference) or null
// when none came. A reply that is not an array, an empty array, an element without a known
// id, or an id answered twice makes the batch refused, with `reason` saying why (and no
// replies kept). Throws std::bad_alloc.
EthBatchVerdict eth_match_batch(json_t* reply, size_t count, std::vector<json_t*>* replies,
                                std::string* reason);
// The batch size a `batch_size` text gives: its decimal value from 1 up to ETH_BATCH_SIZE_MAX
// (larger ones cut), else the default.
int eth_batch_size(const std::string& text);
