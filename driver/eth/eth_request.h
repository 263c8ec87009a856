// The JSON-RPC request object and the exact bytes of the requests this
// backend sends: the POST to the endpoint and the CONNECT to a proxy.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "driver/eth/eth_context.h"

// Method flags of a request.
enum EthRequestMethod : int {
  ETH_METHOD_POST = 1,  // every request this backend sends is a POST
};

// One request to the endpoint; the header comes first so the log can reach the context.
struct EthRequest {
  EthRequestHeader header;   // tag ETH_REQUEST_TAG and the HTTP context
  std::string url;           // full request URL (endpoint URI joined with the API key)
  std::string host;          // endpoint host, without port or brackets
  int port = 0;              // endpoint port; Host names it unless 0 or the scheme's default
  std::string body;          // body text (its size is the Content-Length)
  std::string content_type;  // "" means "application/json"
  std::vector<std::pair<std::string, std::string>> extra_headers;  // name/value pairs
  int method = ETH_METHOD_POST;                                    // EthRequestMethod flags
};
static_assert(std::is_standard_layout_v<EthRequest>,
              "the log reads the header through a pointer to the request");

// The request URL: `uri` as given when `api_key` is empty, else `uri` and the key joined
// by "/" unless `uri` already ends with "/".
std::string eth_request_url(const std::string& uri, const std::string& api_key);
// The request target of `url`: from the first "/" after the "http://" or "https://"
// prefix; "/" when the URL has no path.
std::string eth_request_target(const std::string& url);
// The Host header value and the authority of a CONNECT: an IPv6 literal gets brackets.
std::string eth_host_text(const std::string& host);
// The Host header value of a request to `url`'s endpoint `host`:`port`: the port is left out
// when it is 0 or the default of the URL's scheme (443 for "https://", else 80).
std::string eth_host_header(const std::string& url, const std::string& host, int port);
// Fills `request` for a JSON-RPC call on `http` (URL from its URI and API key) to
// `host`:`port`.
void eth_make_json_request(EthHttpContext* http, const std::string& host, int port,
                           std::string body, EthRequest* request);
// The exact bytes of the POST: request line, headers (each ending in CRLF), blank line, body.
// The connection is left open for the next request (HTTP/1.1 keep-alive).
std::string eth_request_bytes(const EthRequest& request);

constexpr size_t ETH_CONNECT_REQUEST_MAX = 32000;  // largest CONNECT request, in bytes

// The CONNECT request for `host`:`port` with an optional authorization line (which must end
// in CRLF); "" when it would exceed ETH_CONNECT_REQUEST_MAX bytes.
std::string eth_connect_request_bytes(const std::string& host, int port,
                                      const std::string& authorization_line);
