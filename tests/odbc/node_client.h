// The tests' own client of a local node: one JSON-RPC call by a plain HTTP POST on a fresh
// loopback connection, so that rows read through the driver can be checked against the
// node's own replies.
#pragma once

#include <arpa/inet.h>
#include <jansson.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <string>

// The node's whole JSON reply to `method` with `params` (a JSON array text); null when it
// does not answer within `wait_millis` per read. The caller owns the reply (json_decref).
inline json_t* node_json_call(int port, const std::string& method, const std::string& params,
                              int wait_millis = 5000) {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd < 0 || connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    if (fd >= 0) ::close(fd);
    return nullptr;
  }
  std::string body =
      R"({"jsonrpc":"2.0","id":1,"method":")" + method + R"(","params":)" + params + "}";
  std::string request =
      "POST / HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n"
      "Connection: close\r\nContent-Length: " +
      std::to_string(body.size()) + "\r\n\r\n" + body;
  send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string data;
  char buffer[4096];
  pollfd entry{fd, POLLIN, 0};
  while (poll(&entry, 1, wait_millis) == 1) {
    ssize_t got = recv(fd, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    data.append(buffer, static_cast<size_t>(got));
  }
  ::close(fd);
  size_t start = data.find("\r\n\r\n");
  if (start == std::string::npos) return nullptr;
  json_error_t error;
  return json_loads(data.c_str() + start + 4, JSON_DECODE_ANY, &error);
}
