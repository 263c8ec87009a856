// The HTTP response reader: canned responses fed in pieces of random sizes, checked for
// status, headers and decoded body, or for the exact failure; cookies kept across responses;
// and the gzip decoder on its own.
#include <gtest/gtest.h>
#include <zlib.h>

#include <unistd.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "driver/eth/eth_context.h"
#include "driver/eth/eth_gzip.h"
#include "driver/eth/eth_response.h"

namespace {

// Gzip member flags.
constexpr unsigned char kHcrc = 2, kExtra = 4, kName = 8, kComment = 16;

std::string le32(uint32_t value) {
  std::string bytes;
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((value >> (8 * i)) & 0xFF);
  return bytes;
}

std::string raw_deflate(const std::string& data) {
  z_stream stream{};
  deflateInit2(&stream, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, data.size()), '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// One gzip member of `data` with the optional header fields `flags` asks for.
std::string gzip(const std::string& data, unsigned char flags = 0) {
  std::string member = {'\x1f', '\x8b', '\x08', static_cast<char>(flags), 0, 0, 0, 0, 0, 3};
  if (flags & kExtra)
    member += std::string(
        "\x04\x00"
        "AB\x02\x00",
        6);
  if (flags & kName) member += std::string("reply.json\0", 11);
  if (flags & kComment) member += std::string("made by hand\0", 13);
  if (flags & kHcrc) {
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(member.data()), member.size());
    member += le32(crc).substr(0, 2);
  }
  const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(data.data()), data.size());
  return member + raw_deflate(data) + le32(crc) + le32(static_cast<uint32_t>(data.size()));
}

std::string with_length(const std::string& headers, const std::string& body) {
  return "HTTP/1.1 200 OK\r\n" + headers + "Content-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

// Serves canned bytes in pieces of pseudo-random size (fixed seed), then closes or fails.
struct PieceSource {
  std::string data;
  std::mt19937 random;
  size_t max_piece;
  bool fail_at_end = false;
  size_t offset = 0;

  static long read(void* state, unsigned char* buffer, size_t capacity) {
    auto* self = static_cast<PieceSource*>(state);
    if (self->offset == self->data.size()) return self->fail_at_end ? -1 : 0;
    std::uniform_int_distribution<size_t> size(1, std::min(capacity, self->max_piece));
    const size_t piece = std::min(size(self->random), self->data.size() - self->offset);
    memcpy(buffer, self->data.data() + self->offset, piece);
    self->offset += piece;
    return static_cast<long>(piece);
  }
};

int read_response(EthHttpContext* http, const std::string& bytes, EthResponse* out,
                  unsigned seed = 7, size_t max_piece = 23, const EthResponseLimits& limits = {}) {
  PieceSource pieces{bytes, std::mt19937(seed), max_piece};
  EthByteSource source{&pieces, &PieceSource::read};
  return eth_read_response_limited(http, &source, limits, out);
}

struct ResponseCase {
  const char* name;
  std::string input;
  int code;                // expected result
  int status = 0;          // expected status code when the result is OK
  std::string body = "";   // expected decoded body when OK
  std::string error = "";  // expected last error when not OK
  std::function<void(const EthResponse&)> check = nullptr;  // further field checks
  EthResponseLimits limits = {};
};

std::vector<ResponseCase> response_cases() {
  const std::string json = R"({"jsonrpc":"2.0","id":1,"result":"0x10"})";
  const std::string gz = gzip(json);
  EthResponseLimits small;
  small.max_body = 1 << 20;
  const std::string bomb = gzip(std::string(8 << 20, '\0'));
  std::string corrupt = gz;
  corrupt[12] = '\xff', corrupt[13] = '\xff', corrupt[14] = '\xff';
  std::string bad_crc = gz;
  bad_crc[bad_crc.size() - 8] ^= 1;
  std::string bad_hcrc = gzip(json, kHcrc);
  bad_hcrc[10] ^= 1;
  std::string many_headers = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 200; ++i) many_headers += "X-Filler: " + std::to_string(i) + "\r\n";
  return {
      {"lower-case Content-Length", "HTTP/1.1 200 OK\r\ncontent-length: 5\r\n\r\nhello", 0, 200,
       "hello"},
      {"mixed-case names", "HTTP/1.1 200 OK\r\nCoNtEnT-lEnGtH: 2\r\nretry-AFTER: 9\r\n\r\nok", 0,
       200, "ok", "", [](const EthResponse& r) { EXPECT_EQ(r.retry_after, 9); }},
      {"429 with Retry-After", "HTTP/1.1 429 Too Many Requests\r\nRetry-After: 5\r\n\r\n", 0, 429,
       "", "",
       [](const EthResponse& r) {
         EXPECT_EQ(r.retry_after, 5);
         EXPECT_EQ(r.reason, "Too Many Requests");
       }},
      {"one chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n0\r\n\r\n",
       0, 200, "abcd", "", [](const EthResponse& r) { EXPECT_TRUE(r.chunked); }},
      {"chunk extensions and trailers",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nX-Total-Count: 42\r\n\r\n"
       "3;name=value\r\nabc\r\nA ; x\r\n0123456789\r\n0;last\r\nX-Checksum: 1\r\nX-More: 2\r\n\r\n",
       0, 200, "abc0123456789", "", [](const EthResponse& r) { EXPECT_EQ(r.total_count, 42); }},
      {"gzip, deflate is not gzip", with_length("Content-Encoding: gzip, deflate\r\n", "raw"), 0,
       200, "raw", "", [](const EthResponse& r) { EXPECT_FALSE(r.gzip); }},
      {"gzip", with_length("Content-Encoding: gzip\r\n", gz), 0, 200, json, "",
       [](const EthResponse& r) { EXPECT_TRUE(r.gzip); }},
      {"gzip FNAME", with_length("Content-Encoding: gzip\r\n", gzip(json, kName)), 0, 200, json},
      {"gzip all header fields",
       with_length("Content-Encoding: gzip\r\n", gzip(json, kExtra | kName | kComment | kHcrc)), 0,
       200, json},
      {"gzip two members", with_length("Content-Encoding: gzip\r\n", gzip("ab") + gzip("cd")), 0,
       200, "abcd"},
      {"gzip chunked",
       "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n\r\n" +
           std::string("5\r\n") + gz.substr(0, 5) + "\r\n" +
           [&] {
             char size[16];
             snprintf(size, sizeof size, "%zx\r\n", gz.size() - 5);
             return std::string(size);
           }() +
           gz.substr(5) + "\r\n0\r\n\r\n",
       0, 200, json},
      {"gzip empty body", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 0\r\n\r\n",
       0, 200, ""},
      {"bad gzip header", with_length("Content-Encoding: gzip\r\n", "\x1f\x8b\x07rest"),
       ETH_RESPONSE_BAD_GZIP, 0, "",
       "cannot decode gzip body: gzip data does not start with 1F 8B 08"},
      {"bad gzip header CRC", with_length("Content-Encoding: gzip\r\n", bad_hcrc),
       ETH_RESPONSE_BAD_GZIP, 0, "", "cannot decode gzip body: gzip header CRC does not match"},
      {"corrupt deflate data", with_length("Content-Encoding: gzip\r\n", corrupt),
       ETH_RESPONSE_BAD_GZIP},
      {"gzip CRC-32 mismatch", with_length("Content-Encoding: gzip\r\n", bad_crc),
       ETH_RESPONSE_BAD_GZIP, 0, "",
       "cannot decode gzip body: gzip CRC-32 does not match the data"},
      {"gzip without trailer",
       with_length("Content-Encoding: gzip\r\n", gz.substr(0, gz.size() - 8)),
       ETH_RESPONSE_BAD_GZIP, 0, "",
       "cannot decode gzip body: gzip data ends inside the member trailer"},
      {"gzip bomb", with_length("Content-Encoding: gzip\r\n", bomb), ETH_RESPONSE_TOO_LARGE, 0, "",
       "cannot decode gzip body: inflated body exceeds 1048576 bytes", nullptr, small},
      {"5000-character header line",
       "HTTP/1.1 200 OK\r\nX-Long: " + std::string(5000, 'x') + "\r\nContent-Length: 1\r\n\r\nz", 0,
       200, "z"},
      {"70000-character header line", "HTTP/1.1 200 OK\r\nX-Long: " + std::string(70000, 'x'),
       ETH_RESPONSE_TOO_LARGE, 0, "", "HTTP header line longer than 65536 bytes"},
      {"201 header lines", many_headers + "\r\n", ETH_RESPONSE_TOO_LARGE, 0, "",
       "more than 200 HTTP header lines"},
      {"truncated body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nhello",
       ETH_RESPONSE_TRUNCATED, 0, "", "connection closed after 5 of 10 body bytes"},
      {"truncated chunk", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n8\r\nabc",
       ETH_RESPONSE_TRUNCATED, 0, "", "connection closed inside a chunk of 8 bytes"},
      {"missing final CRLF",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n0\r\n",
       ETH_RESPONSE_TRUNCATED, 0, "", "connection closed before the end of the chunked body"},
      {"chunk data without CRLF",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcdef\r\n0\r\n\r\n",
       ETH_RESPONSE_MALFORMED, 0, "", "chunk data not followed by CRLF: ef"},
      {"bad chunk size", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n",
       ETH_RESPONSE_MALFORMED, 0, "", "invalid chunk-size line: zz"},
      {"huge chunk size",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFF\r\n",
       ETH_RESPONSE_TOO_LARGE, 0, "", "chunk size exceeds the limit of 268435456 bytes"},
      {"Content-Length past the limit", "HTTP/1.1 200 OK\r\nContent-Length: 268435457\r\n\r\n",
       ETH_RESPONSE_TOO_LARGE, 0, "",
       "Content-Length 268435457 exceeds the limit of 268435456 bytes"},
      {"negative Content-Length", "HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n",
       ETH_RESPONSE_MALFORMED, 0, "", "invalid Content-Length: -5"},
      {"conflicting Content-Length",
       "HTTP/1.1 200 OK\r\nContent-Length: 2\r\nContent-Length: 3\r\n\r\nabc",
       ETH_RESPONSE_MALFORMED, 0, "", "conflicting Content-Length headers"},
      {"unsupported Transfer-Encoding",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: gzip, chunked\r\n\r\n", ETH_RESPONSE_MALFORMED, 0, "",
       "unsupported Transfer-Encoding: gzip, chunked"},
      {"no length, not chunked", "HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n", 0, 200, "", "",
       [](const EthResponse& r) { EXPECT_TRUE(r.connection_close); }},
      {"HTTP/1.0 body up to the close",
       "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n" + json, 0, 200, json},
      {"gzip body up to the close", "HTTP/1.0 200 OK\r\nContent-Encoding: gzip\r\n\r\n" + gz, 0,
       200, json},
      {"body up to the close past the limit",
       "HTTP/1.0 200 OK\r\n\r\n" + std::string((1 << 20) + 1, 'x'), ETH_RESPONSE_TOO_LARGE, 0, "",
       "body read up to the close of the connection exceeds the limit of 1048576 bytes", nullptr,
       small},
      {"empty stream", "", ETH_RESPONSE_NO_HEADERS, 0, "",
       "connection closed before the response headers"},
      {"blank lines only", "\r\n\r\n", ETH_RESPONSE_NO_HEADERS},
      {"stream ends inside the headers", "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n",
       ETH_RESPONSE_TRUNCATED, 0, "", "connection closed inside the response headers"},
      {"not HTTP", "SSH-2.0-OpenSSH\r\n\r\n", ETH_RESPONSE_MALFORMED, 0, "",
       "malformed HTTP status line: SSH-2.0-OpenSSH"},
      {"status without reason", "\r\nHTTP/1.1 204\r\nContent-Length: 3\r\n\r\n", 0, 204, ""},
      {"interim 100 Continue",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nhi", 0, 200, "hi"},
      {"headers the backend acts on",
       with_length("Content-Type: application/json; charset=utf-8\r\nConnection: keep-alive, "
                   "close\r\nLocation: https://node.example/x\r\nX-Rate-Limit-Problem: "
                   "Minute limit\r\nX-Total-Count: 17\r\n",
                   "{}"),
       0, 200, "{}", "",
       [](const EthResponse& r) {
         EXPECT_EQ(r.content_kind, ETH_CONTENT_JSON);
         EXPECT_EQ(r.content_type, "application/json; charset=utf-8");
         EXPECT_TRUE(r.connection_close);
         EXPECT_EQ(r.location, "https://node.example/x");
         EXPECT_TRUE(r.rate_limit_minute);
         EXPECT_EQ(r.total_count, 17);
         EXPECT_EQ(r.content_length, 2);
       }},
  };
}

TEST(EthResponse, CannedResponsesInRandomPieces) {
  for (const ResponseCase& c : response_cases()) {
    // Several piece patterns, single bytes and whole blocks included.
    const std::pair<unsigned, size_t> patterns[] = {{7, 23}, {99, 1}, {5, 1 << 20}};
    for (auto [seed, max_piece] : patterns) {
      SCOPED_TRACE(std::string(c.name) + " seed " + std::to_string(seed));
      EthHttpContext http;
      EthResponse response;
      ASSERT_EQ(read_response(&http, c.input, &response, seed, max_piece, c.limits), c.code)
          << http.last_error;
      if (c.code == ETH_RESPONSE_OK) {
        EXPECT_EQ(response.status_code, c.status);
        EXPECT_EQ(response.body, c.body);
        EXPECT_EQ(http.last_error, "");
        if (c.check) c.check(response);
      } else {
        if (!c.error.empty()) {
          EXPECT_EQ(http.last_error, c.error);
        }
        EXPECT_FALSE(http.last_error.empty());
        EXPECT_EQ(response.status_code, 0);
        EXPECT_TRUE(response.body.empty());
      }
    }
  }
}

TEST(EthResponse, ContentKinds) {
  const std::pair<const char*, int> kinds[] = {
      {"text/html; charset=x", ETH_CONTENT_HTML}, {"text/xml", ETH_CONTENT_XML},
      {"application/xml", ETH_CONTENT_XML},       {"application/json", ETH_CONTENT_JSON},
      {"text/plain", ETH_CONTENT_OTHER},
  };
  for (auto [type, kind] : kinds) {
    EthHttpContext http;
    EthResponse response;
    ASSERT_EQ(read_response(&http, with_length(std::string("Content-Type: ") + type + "\r\n", ""),
                            &response),
              0);
    EXPECT_EQ(response.content_kind, kind) << type;
  }
}

TEST(EthResponse, CookiesAreKeptAcrossResponses) {
  EthHttpContext http;
  EthResponse response;
  const auto names = [&] {
    std::string all;
    for (const EthCookie& cookie : http.cookies) all += cookie.name + "=" + cookie.value + ";";
    return all;
  };
  ASSERT_EQ(read_response(&http,
                          with_length("Set-Cookie: a=1; Path=/\r\nset-cookie:  b=2\r\n"
                                      "Set-Cookie: novalue\r\n",
                                      ""),
                          &response),
            0);
  EXPECT_EQ(names(), "b=2;a=1;");  // newer names go to the front
  ASSERT_EQ(
      read_response(&http, with_length("Set-Cookie: a=3\r\nSet-Cookie: b=; Max-Age=0\r\n", ""),
                    &response),
      0);
  EXPECT_EQ(names(), "a=3;");
  std::string many;
  for (int i = 0; i < 70; ++i) many += "Set-Cookie: c" + std::to_string(i) + "=v\r\n";
  ASSERT_EQ(read_response(&http, with_length(many, ""), &response), 0);
  EXPECT_EQ(http.cookies.size(), 64u);
  EXPECT_EQ(http.cookies.front().name, "c69");
}

TEST(EthResponse, ReceiveErrorsKeepTheTransportsMessage) {
  EthHttpContext http;
  EthResponse response;
  PieceSource pieces{"HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", std::mt19937(1), 5, true};
  EthByteSource source{&pieces, &PieceSource::read};
  EXPECT_EQ(eth_read_response(&http, &source, &response), ETH_RESPONSE_READ_FAILED);
  EXPECT_EQ(http.last_error, "read failed while reading the response");

  struct Failing {
    static long read(void* state, unsigned char*, size_t) {
      static_cast<EthHttpContext*>(state)->last_error = "read failed (peer shutdown)";
      return -1;
    }
  };
  EthByteSource failing{&http, &Failing::read};
  EXPECT_EQ(eth_read_response(&http, &failing, &response), ETH_RESPONSE_READ_FAILED);
  EXPECT_EQ(http.last_error, "read failed (peer shutdown)");
  EXPECT_EQ(eth_read_response(&http, nullptr, &response), ETH_RESPONSE_BAD_ARGUMENT);
}

TEST(EthResponse, DefaultLimitsCarryA100MegabyteBody) {
  const std::string body(100 << 20, '7');
  EthHttpContext http;
  EthResponse response;
  ASSERT_EQ(read_response(&http, with_length("Content-Encoding: gzip\r\n", gzip(body)), &response,
                          3, 1 << 20),
            0)
      << http.last_error;
  EXPECT_TRUE(response.body == body);
}

TEST(EthResponse, LogRecords) {
  const std::string path =
      ::testing::TempDir() + "eth_response_" + std::to_string(getpid()) + ".log";
  unlink(path.c_str());
  EthHttpContext http;
  http.log.mode = 31;
  http.log.file = path;
  EthResponse response;
  ASSERT_EQ(
      read_response(&http,
                    "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n4\r\nabcd\r\n0\r\n\r\n",
                    &response),
      0);
  EXPECT_EQ(read_response(&http, "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\nab", &response),
            ETH_RESPONSE_TRUNCATED);
  std::ifstream in(path);
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (const char* record :
       {"Reading Response", "+\t HTTP/1.1 200 OK", "CHUNK: 4", "Respose Body Chunk (4)",
        "Total Data (Chunked): 4", "ERROR:\t connection closed after 2 of 3"})
    EXPECT_NE(log.find(record), std::string::npos) << record << "\n" << log;
  unlink(path.c_str());
}

TEST(EthGzip, DecoderStatuses) {
  const std::string gz = gzip("hello hello hello");
  std::string truncated_name = gzip("x", kName).substr(0, 14);
  std::string reserved = gz;
  reserved[3] = '\x20';
  std::string wrong_size = gz;
  wrong_size[wrong_size.size() - 1] ^= 1;
  const std::pair<std::string, EthGzipStatus> cases[] = {
      {gz, EthGzipStatus::ok},
      {"", EthGzipStatus::truncated},
      {"\x1f", EthGzipStatus::truncated},
      {"\x1f\x8c", EthGzipStatus::bad_magic},
      {truncated_name, EthGzipStatus::truncated},
      {reserved, EthGzipStatus::bad_header},
      {wrong_size, EthGzipStatus::size_mismatch},
      {gz.substr(0, 14), EthGzipStatus::truncated},
      {gz + "junk", EthGzipStatus::bad_magic},
  };
  for (const auto& [input, status] : cases) {
    std::string out = "stale";
    const EthGzipResult result = eth_gunzip(reinterpret_cast<const unsigned char*>(input.data()),
                                            input.size(), 1 << 20, &out);
    EXPECT_EQ(result.status, status) << result.message;
    EXPECT_EQ(out, status == EthGzipStatus::ok ? "hello hello hello" : "");
  }
  // Exactly at the limit passes; one byte over fails.
  std::string out;
  EXPECT_EQ(
      eth_gunzip(reinterpret_cast<const unsigned char*>(gz.data()), gz.size(), 17, &out).status,
      EthGzipStatus::ok);
  EXPECT_EQ(
      eth_gunzip(reinterpret_cast<const unsigned char*>(gz.data()), gz.size(), 16, &out).status,
      EthGzipStatus::too_large);
}

}  // namespace
