// Proxy authentication credentials: Base64 and MD5 through OpenSSL's EVP
// interface, the Digest challenge parser, the Digest response computation and
// the Proxy-Authorization header lines.
#include "driver/eth/eth_auth.h"

#include <openssl/evp.h>

#include <cctype>
#include <memory>

namespace {

std::string to_hex(const unsigned char* bytes, unsigned length) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(length * 2);
  for (unsigned i = 0; i < length; ++i) {
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

struct DigestContextFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads a quoted value starting at the opening quote; `at` ends after the closing quote.
std::string read_quoted(std::string_view text, size_t& at) {
  std::string value;
  ++at;  // opening quote
  while (at < text.size() && text[at] != '"') {
    if (text[at] == '\\' && at + 1 < text.size()) ++at;
    value += text[at++];
  }
  if (at < text.size()) ++at;  // closing quote
  return value;
}

// A quoted-string body: '"' and '\\' are escaped so a value cannot end the quotes early.
std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  out += '"';
  return out;
}

}  // namespace

std::string eth_md5_hex(std::string_view first, std::string_view second) {
  std::unique_ptr<EVP_MD_CTX, DigestContextFree> context(EVP_MD_CTX_new());
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned length = 0;
  if (!context || EVP_DigestInit_ex(context.get(), EVP_md5(), nullptr) != 1 ||
      EVP_DigestUpdate(context.get(), first.data(), first.size()) != 1 ||
      EVP_DigestUpdate(context.get(), second.data(), second.size()) != 1 ||
      EVP_DigestFinal_ex(context.get(), digest, &length) != 1)
    return "";
  return to_hex(digest, length);
}

std::string eth_md5_hex(std::string_view text) {
  return eth_md5_hex(text, std::string_view());
}

std::string eth_base64(std::string_view bytes) {
  std::string out(4 * ((bytes.size() + 2) / 3) + 1, '\0');
  int written = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(bytes.data()),
                                static_cast<int>(bytes.size()));
  out.resize(written < 0 ? 0 : static_cast<size_t>(written));
  return out;
}

std::string eth_auth_scheme(std::string_view value) {
  size_t space = value.find(' ');
  return std::string(space == std::string_view::npos ? value : value.substr(0, space));
}

EthDigestChallenge eth_parse_digest_challenge(std::string_view value) {
  EthDigestChallenge challenge;
  size_t space = value.find(' ');
  if (space == std::string_view::npos) return challenge;
  size_t at = space + 1;
  // Each round consumes at least the '=' it found, so the loop ends.
  while (at < value.size()) {
    while (at < value.size() && (is_blank(value[at]) || value[at] == ',')) ++at;
    size_t equals = value.find('=', at);
    if (equals == std::string_view::npos) break;
    std::string name(value.substr(at, equals - at));
    while (!name.empty() && is_blank(name.back())) name.pop_back();
    at = equals + 1;
    while (at < value.size() && is_blank(value[at])) ++at;
    bool quoted = at < value.size() && value[at] == '"';
    std::string text;
    if (quoted) {
      text = read_quoted(value, at);
    } else {
      size_t end = value.find(',', at);
      if (end == std::string_view::npos) end = value.size();
      text = std::string(value.substr(at, end - at));
      while (!text.empty() && is_blank(text.back())) text.pop_back();
      at = end;
    }
    size_t comma = value.find(',', at);
    at = comma == std::string_view::npos ? value.size() : comma + 1;
    if (name == "realm")
      challenge.realm = text;
    else if (name == "nonce")
      challenge.nonce = text;
    else if (name == "qop")
      challenge.qop = text;
    else if (name == "algorithm")
      challenge.algorithm = text;
    else if (name == "opaque" && quoted)
      challenge.opaque = text;
    else if (name == "stale")
      challenge.stale = text == "true";
  }
  return challenge;
}

EthDigestStatus eth_digest_compute(const EthDigestChallenge& challenge, const EthDigestInput& input,
                                   EthDigestResult* result) {
  const std::string user_realm_password = input.user + ":" + challenge.realm + ":" + input.password;
  if (challenge.algorithm.empty() || challenge.algorithm == "md5") {
    result->ha1 = eth_md5_hex(user_realm_password);
  } else if (challenge.algorithm == "md5-sess") {
    result->ha1 =
        eth_md5_hex(eth_md5_hex(user_realm_password) + ":" + challenge.nonce + ":" + input.cnonce);
  } else {
    return EthDigestStatus::unknown_algorithm;
  }
  const std::string method_uri = input.method + ":" + input.uri;
  if (challenge.qop.empty() || challenge.qop == "auth" || challenge.qop == "auth,auth-int") {
    result->ha2 = eth_md5_hex(method_uri);
    result->qop = challenge.qop.empty() ? "" : "auth";
  } else if (challenge.qop == "auth-int") {
    result->ha2 = eth_md5_hex(method_uri + ":", input.entity);
    result->qop = "auth-int";
  } else {
    return EthDigestStatus::unknown_qop;
  }
  if (result->qop.empty())
    result->response = eth_md5_hex(result->ha1 + ":" + challenge.nonce + ":" + result->ha2);
  else
    result->response = eth_md5_hex(result->ha1 + ":" + challenge.nonce + ":" + input.nc + ":" +
                                   input.cnonce + ":" + result->qop + ":" + result->ha2);
  return EthDigestStatus::ok;
}

std::string eth_basic_credential(std::string_view user, std::string_view password) {
  std::string plain(user);
  plain += ':';
  plain += password;
  return eth_base64(plain);
}

std::string eth_basic_authorization_line(std::string_view user, std::string_view password) {
  return "Proxy-Authorization: Basic " + eth_basic_credential(user, password) + "\r\n";
}

std::string eth_digest_authorization_line(const EthDigestChallenge& challenge,
                                          const EthDigestInput& input,
                                          const EthDigestResult& result) {
  std::string line = "Proxy-Authorization: Digest ";
  line += "username=" + quoted(input.user) + ", ";
  line += "realm=" + quoted(challenge.realm) + ", ";
  line += "nonce=" + quoted(challenge.nonce) + ", ";
  line += "uri=" + quoted(input.uri) + ", ";
  if (!challenge.algorithm.empty()) line += "algorithm=" + challenge.algorithm + ", ";
  if (!result.qop.empty()) {
    line += "qop=" + result.qop + ", ";
    line += "nc=" + input.nc + ", ";
    line += "cnonce=" + quoted(input.cnonce) + ", ";
  }
  line += "response=\"" + result.response + "\"";
  if (!challenge.opaque.empty()) line += ", opaque=" + quoted(challenge.opaque) + " ";
  line += "\r\n";
  return line;
}
