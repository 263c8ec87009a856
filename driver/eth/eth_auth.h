// Proxy authentication credentials: the Basic credential, the Digest
// challenge parameters and the Digest response (MD5 and MD5-sess with the
// qop variants auth, auth-int and "auth,auth-int").
#pragma once

#include <string>
#include <string_view>

// Parameters of a Digest challenge ("Proxy-Authenticate: Digest ...").
struct EthDigestChallenge {
  std::string realm;      // realm, without quotes
  std::string nonce;      // server nonce, without quotes
  std::string qop;        // offered qop ("" when none), without quotes
  std::string algorithm;  // algorithm as written ("" when none)
  std::string opaque;     // opaque value; kept only when it was quoted
  bool stale = false;     // stale=true was given
};

// What the Digest computation needs besides the challenge.
struct EthDigestInput {
  std::string user;         // proxy user
  std::string password;     // proxy password
  std::string method;       // request method ("CONNECT" for a tunnel)
  std::string uri;          // digest-uri ("host:port" for a tunnel)
  std::string cnonce;       // client nonce
  std::string nc;           // nonce count ("00000001"); used only with a qop
  std::string_view entity;  // body of the challenging reply, hashed for qop auth-int
};

// Outcome of a Digest computation.
enum class EthDigestStatus {
  ok,
  unknown_algorithm,  // algorithm other than "", "md5" or "md5-sess"
  unknown_qop,        // qop other than "", "auth", "auth-int" or "auth,auth-int"
};

// The values a Digest computation produces.
struct EthDigestResult {
  std::string ha1;       // HA1 as 32 lowercase hexadecimal digits
  std::string ha2;       // HA2 as 32 lowercase hexadecimal digits
  std::string response;  // request-digest as 32 lowercase hexadecimal digits
  std::string qop;       // qop sent back ("auth" when "auth,auth-int" was offered)
};

// MD5 of `text` as 32 lowercase hexadecimal digits ("" if the digest is unavailable).
std::string eth_md5_hex(std::string_view text);
// MD5 of the concatenation `first` + `second` as 32 lowercase hexadecimal digits.
std::string eth_md5_hex(std::string_view first, std::string_view second);
// Standard Base64 of `bytes` with padding and no line breaks.
std::string eth_base64(std::string_view bytes);

// The scheme of a Proxy-Authenticate value: the text up to its first space, or all of it.
std::string eth_auth_scheme(std::string_view value);
// The parameters after the scheme's space in a Digest Proxy-Authenticate value. Quoted
// values may hold commas and backslash escapes; unknown names are skipped; parsing
// stops at a parameter without '='.
EthDigestChallenge eth_parse_digest_challenge(std::string_view value);

// Computes HA1, HA2 and the response; on a non-ok status `result` is left partly filled.
EthDigestStatus eth_digest_compute(const EthDigestChallenge& challenge, const EthDigestInput& input,
                                   EthDigestResult* result);

// "Proxy-Authorization: Basic <base64(user:password)>\r\n".
std::string eth_basic_authorization_line(std::string_view user, std::string_view password);
// The Base64 credential that eth_basic_authorization_line carries.
std::string eth_basic_credential(std::string_view user, std::string_view password);
// "Proxy-Authorization: Digest ...\r\n" with username, realm, nonce, uri, the algorithm
// when one was given, qop/nc/cnonce when a qop is sent, the response and a quoted opaque.
std::string eth_digest_authorization_line(const EthDigestChallenge& challenge,
                                          const EthDigestInput& input,
                                          const EthDigestResult& result);
