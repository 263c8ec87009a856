// Request bytes of the HTTP transport. Every line ends in CRLF, as HTTP/1.1
// requires; the Host line carries the port when it is not the scheme's default, and no
// "Connection: close" is sent, so the connection serves the next request too.
#include "driver/eth/eth_request.h"

#include <cstdio>

std::string eth_request_url(const std::string& uri, const std::string& api_key) {
  if (api_key.empty()) return uri;
  if (!uri.empty() && uri.back() == '/') return uri + api_key;
  return uri + "/" + api_key;
}

std::string eth_request_target(const std::string& url) {
  size_t start = 0;
  for (const char* prefix : {"https://", "http://"}) {
    std::string_view scheme(prefix);
    if (url.size() >= scheme.size() && url.compare(0, scheme.size(), scheme) == 0) {
      start = scheme.size();
      break;
    }
  }
  size_t slash = url.find('/', start);
  if (slash == std::string::npos) return "/";
  return url.substr(slash);
}

std::string eth_host_text(const std::string& host) {
  if (host.find(':') != std::string::npos) return "[" + host + "]";
  return host;
}

std::string eth_host_header(const std::string& url, const std::string& host, int port) {
  const bool tls = url.compare(0, 8, "https://") == 0;
  if (port == 0 || port == (tls ? 443 : 80)) return eth_host_text(host);
  return eth_host_text(host) + ":" + std::to_string(port);
}

void eth_make_json_request(EthHttpContext* http, const std::string& host, int port,
                           std::string body, EthRequest* request) {
  request->header.context = http;
  request->url = eth_request_url(http->uri, http->api_key);
  request->host = host;
  request->port = port;
  request->body = std::move(body);
  request->content_type.clear();
  request->extra_headers.clear();
  request->method = ETH_METHOD_POST;
}

std::string eth_request_bytes(const EthRequest& request) {
  std::string out;
  out.reserve(512 + request.body.size());
  out += "POST " + eth_request_target(request.url) + " HTTP/1.1\r\n";
  out += "Host: " + eth_host_header(request.url, request.host, request.port) + "\r\n";
  out += "User-Agent: quillhttp/1.0\r\n";
  for (const auto& [name, value] : request.extra_headers) out += name + ": " + value + "\r\n";
  if (!request.body.empty()) {
    out += "Content-Type: " +
           (request.content_type.empty() ? std::string("application/json") : request.content_type) +
           "\r\n";
    out += "Content-Length: " + std::to_string(request.body.size()) + "\r\n";
  } else {
    out += "Content-Length: 0\r\n";
  }
  out += "Accept: application/json\r\n";
  out += "Accept-Encoding: gzip, deflate\r\n";
  out += "\r\n";
  out += request.body;
  return out;
}

std::string eth_connect_request_bytes(const std::string& host, int port,
                                      const std::string& authorization_line) {
  std::string out = "CONNECT " + eth_host_text(host) + ":" + std::to_string(port) + " HTTP/1.1\r\n";
  out += "User-Agent: quillSOAP/1.0\r\n";
  out += authorization_line;
  out += "\r\n";
  if (out.size() > ETH_CONNECT_REQUEST_MAX) return "";
  return out;
}
