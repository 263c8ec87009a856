// Reading what the endpoint answered: the JSON loader that keeps integers too
// large for 64 bits exactly, and the error pairs gathered from a failed response.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <string>

#include "driver/eth/eth_query.h"

namespace {

// True when the integer literal text[start, end) does not fit a signed 64-bit integer.
bool integer_overflows(const std::string& text, size_t start, size_t end) {
  std::string literal = text.substr(start, end - start);
  errno = 0;
  char* stop = nullptr;
  (void)std::strtoll(literal.c_str(), &stop, 10);
  return errno == ERANGE;
}

bool is_digit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// The `message` text of a JSON object, or `fallback` when it has none.
std::string message_of(json_t* object, const char* fallback) {
  const char* text = json_string_value(json_object_get(object, "message"));
  return text ? text : fallback;
}

// Pairs of a body that holds one JSON document per line; false when no line parses.
bool line_pairs(const std::string& body, std::vector<EthErrorPair>* pairs) {
  bool any = false;
  size_t start = 0;
  while (start <= body.size()) {
    size_t end = body.find('\n', start);
    if (end == std::string::npos) end = body.size();
    json_error_t error;
    if (json_t* line = json_loadb(body.data() + start, end - start, JSON_DECODE_ANY, &error)) {
      any = true;
      pairs->emplace_back("error", message_of(json_object_get(line, "error"), "no message"));
      json_decref(line);
    }
    start = end + 1;
  }
  if (!any) pairs->emplace_back("no json", "failed to extract json");
  return any;
}

}  // namespace

json_t* eth_json_loads_exact(const std::string& text, json_error_t* error) {
  // Jansson refuses integer literals beyond 64 bits ("too big integer"), and reading them as
  // reals would lose digits. Such literals are quoted before parsing, so they arrive as JSON
  // strings holding exactly the digits that were sent.
  std::string rewritten;
  size_t copied = 0;
  bool in_string = false;
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    char c = text[i];
    if (in_string) {
      if (c == '\\') {
        i += 2;
        continue;
      }
      if (c == '"') in_string = false;
      ++i;
      continue;
    }
    if (c == '"') {
      in_string = true;
      ++i;
      continue;
    }
    if (c != '-' && !is_digit(c)) {
      ++i;
      continue;
    }
    size_t start = i;
    if (c == '-') ++i;
    while (i < n && is_digit(text[i])) ++i;
    bool integer = i >= n || (text[i] != '.' && text[i] != 'e' && text[i] != 'E');
    if (integer && i > start + 18 && integer_overflows(text, start, i)) {
      rewritten.append(text, copied, start - copied);
      rewritten += '"';
      rewritten.append(text, start, i - start);
      rewritten += '"';
      copied = i;
      continue;
    }
    while (i < n && (is_digit(text[i]) || text[i] == '.' || text[i] == 'e' || text[i] == 'E' ||
                     text[i] == '+' || text[i] == '-'))
      ++i;
  }
  if (copied == 0) return json_loadb(text.data(), text.size(), JSON_DECODE_ANY, error);
  rewritten.append(text, copied, std::string::npos);
  return json_loadb(rewritten.data(), rewritten.size(), JSON_DECODE_ANY, error);
}

bool eth_error_pairs(const EthResponse& response, std::vector<EthErrorPair>* pairs) {
  std::string code = "return code " + std::to_string(response.status_code);
  if (response.content_kind != ETH_CONTENT_JSON) {
    pairs->emplace_back(code, response.reason);
    return true;
  }
  if (response.body.empty()) {
    pairs->emplace_back(response.reason, code);
    return true;
  }
  json_error_t error;
  json_t* document = eth_json_loads_exact(response.body, &error);
  if (!document) {
    if (response.body.find('\n') == std::string::npos) return false;
    return line_pairs(response.body, pairs);
  }
  json_t* errors = json_object_get(document, "errors");
  json_t* rpc_error = json_object_get(document, "error");
  if (!errors && json_is_object(rpc_error)) {
    // A JSON-RPC error object says what went wrong; never hide it behind "no errors".
    pairs->emplace_back("error", message_of(rpc_error, "no message"));
  } else if (!errors) {
    pairs->emplace_back("no errors", "failed to extract errors");
  } else if (json_is_array(errors)) {
    size_t index;
    json_t* element;
    json_array_foreach(errors, index, element) {
      pairs->emplace_back("error", message_of(element, "no message"));
    }
  } else if (json_t* single = json_object_get(document, "error")) {
    pairs->emplace_back("error", message_of(single, "no message"));
  } else {
    pairs->emplace_back("no error", "failed to extract error");
  }
  json_decref(document);
  return true;
}
