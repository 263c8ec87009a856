// Endpoint and proxy URI splitting. Only the two web schemes are understood;
// user information and fragments are not, because neither endpoints nor
// proxies of this backend carry them.
#include "driver/eth/eth_uri.h"

#include <cstring>
#include <string_view>

namespace {

bool starts_with_nocase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    char c = text[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != prefix[i]) return false;
  }
  return true;
}

// A port of 1 to 65535 written in decimal digits only.
bool parse_port(std::string_view digits, uint16_t* port) {
  if (digits.empty() || digits.size() > 5) return false;
  unsigned value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<unsigned>(c - '0');
  }
  if (value == 0 || value > 65535) return false;
  *port = static_cast<uint16_t>(value);
  return true;
}

}  // namespace

bool eth_parse_uri(const char* text, EthUri* out, bool keep_path) {
  *out = EthUri{};
  if (!text) return false;
  std::string_view rest(text);
  EthUri uri;
  if (starts_with_nocase(rest, "https://")) {
    uri.tls = true;
    uri.port = 443;
    rest.remove_prefix(8);
  } else if (starts_with_nocase(rest, "http://")) {
    uri.port = 80;
    rest.remove_prefix(7);
  } else {
    return false;
  }

  // The host ends at ':' or '/'; an IPv6 literal is bracketed because it holds ':'.
  size_t host_end;
  if (!rest.empty() && rest.front() == '[') {
    size_t close = rest.find(']');
    if (close == std::string_view::npos) return false;
    uri.host = std::string(rest.substr(1, close - 1));
    host_end = close + 1;
    if (host_end < rest.size() && rest[host_end] != ':' && rest[host_end] != '/') return false;
  } else {
    host_end = rest.find_first_of(":/");
    if (host_end == std::string_view::npos) host_end = rest.size();
    uri.host = std::string(rest.substr(0, host_end));
  }
  if (uri.host.empty()) return false;
  rest.remove_prefix(host_end);

  if (!rest.empty() && rest.front() == ':') {
    size_t port_end = rest.find('/');
    if (port_end == std::string_view::npos) port_end = rest.size();
    if (!parse_port(rest.substr(1, port_end - 1), &uri.port)) return false;
    rest.remove_prefix(port_end);
  }

  if (!rest.empty() && keep_path) {
    rest.remove_prefix(1);  // the '/'
    if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
    uri.path = std::string(rest);
  }
  *out = std::move(uri);
  return true;
}
