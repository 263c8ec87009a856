// JSON-RPC batch texts and the matching of replies to calls. Ids are the 1-based positions of
// the calls in their batch, so matching needs no table and any order of replies is taken.
#include "driver/eth/eth_batch.h"

#include <cstdlib>
#include <memory>
#include <new>

namespace {

struct JsonDeleter {
  void operator()(json_t* value) const { json_decref(value); }
};
using JsonPtr = std::unique_ptr<json_t, JsonDeleter>;

// A new request object for one call; throws std::bad_alloc.
json_t* call_object(const std::string& method, json_t* params, json_int_t id) {
  JsonPtr request(json_object());
  if (!request) throw std::bad_alloc();
  if (json_object_set_new(request.get(), "jsonrpc", json_string("2.0")) != 0 ||
      json_object_set_new(request.get(), "method", json_string(method.c_str())) != 0 ||
      (params && json_object_set(request.get(), "params", params) != 0) ||
      json_object_set_new(request.get(), "id", json_integer(id)) != 0)
    throw std::bad_alloc();
  return request.release();
}

std::string dump(json_t* value) {
  char* text = json_dumps(value, JSON_COMPACT | JSON_PRESERVE_ORDER | JSON_ENCODE_ANY);
  if (!text) throw std::bad_alloc();
  std::string out = text;
  free(text);
  return out;
}

void release(std::vector<json_t*>* replies) {
  for (json_t*& reply : *replies) {
    json_decref(reply);
    reply = nullptr;
  }
}

}  // namespace

std::string eth_call_body(const std::string& method, json_t* params, json_int_t id) {
  JsonPtr request(call_object(method, params, id));
  return dump(request.get());
}

std::string eth_batch_body(const std::string& method, const std::vector<json_t*>& params) {
  // The text eth_call_body gives each call, joined; only the params and the id differ from
  // call to call, so the rest is dumped once (Jansson dumps a character at a time).
  JsonPtr method_value(json_string(method.c_str()));
  if (!method_value) throw std::bad_alloc();
  const std::string head = "{\"jsonrpc\":\"2.0\",\"method\":" + dump(method_value.get());
  std::string out = "[";
  json_int_t id = 0;
  for (json_t* call_params : params) {
    if (id > 0) out += ',';
    out += head;
    if (call_params) out += ",\"params\":" + dump(call_params);
    out += ",\"id\":" + std::to_string(++id) + "}";
  }
  return out + "]";
}

EthBatchVerdict eth_match_batch(json_t* reply, size_t count, std::vector<json_t*>* replies,
                                std::string* reason) {
  replies->assign(count, nullptr);
  if (!json_is_array(reply)) {
    json_t* error = json_object_get(reply, "error");
    const char* message = json_string_value(json_object_get(error, "message"));
    *reason =
        message ? std::string("the endpoint answered: ") + message : "the reply is not an array";
    return EthBatchVerdict::refused;
  }
  if (json_array_size(reply) == 0) {
    *reason = "the reply is an empty array";
    return EthBatchVerdict::refused;
  }
  size_t index;
  json_t* element;
  json_array_foreach(reply, index, element) {
    json_t* id = json_object_get(element, "id");
    json_int_t position = json_is_integer(id) ? json_integer_value(id) : 0;
    if (position < 1 || static_cast<size_t>(position) > count) {
      *reason = "a reply has no id of the batch";
      release(replies);
      return EthBatchVerdict::refused;
    }
    json_t*& slot = (*replies)[static_cast<size_t>(position) - 1];
    if (slot) {
      *reason = "id " + std::to_string(position) + " is answered twice";
      release(replies);
      return EthBatchVerdict::refused;
    }
    slot = json_incref(element);
  }
  return EthBatchVerdict::answered;
}

int eth_batch_size(const std::string& text) {
  char* end = nullptr;
  const char* start = text.c_str();
  long value = std::strtol(start, &end, 10);
  if (text.empty() || end == start || *end != '\0' || value < 1) return ETH_BATCH_SIZE_DEFAULT;
  return value > ETH_BATCH_SIZE_MAX ? ETH_BATCH_SIZE_MAX : static_cast<int>(value);
}
