// A scripted loopback HTTP server for the Ethereum backend's tests: it answers each
// connection with the next scripted reply (the last one repeats) and records the body of every
// request; in keep-alive mode it answers request after request on one connection, counts the
// connections and can hang up on a request instead of answering it. Besides plain answers it plays
// the hostile peers a real node does not: silent, dripping one byte at a time, answering late,
// sending huge bodies. Every wait of the server is bounded and looks at its stop flag often, so a
// test ends promptly whatever the client does. Also a listener whose backlog is full, so a connect
// to it never completes. And a routed server that serves its connections at the same time, each
// request answered by what a function makes of its body, for requests in flight together.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

// What the server does with one connection once it has read the request.
struct ScriptReply {
  std::shared_ptr<const std::string> bytes;  // what it sends (shared: replies may be large)
  int delay_millis = 0;                      // waits this long before sending
  int drip_millis = 0;                       // > 0: sends one byte, waits this long, and so on
  bool silent = false;                       // sends nothing and holds the connection open
  bool hang_up = false;                      // closes the connection without an answer
};

// A reply of `bytes`, sent after `delay_millis`, at once or one byte every `drip_millis`.
inline ScriptReply plain_reply(std::string bytes, int delay_millis = 0, int drip_millis = 0) {
  return ScriptReply{std::make_shared<const std::string>(std::move(bytes)), delay_millis,
                     drip_millis};
}

// A reply that never comes: the connection is held open and nothing is sent.
inline ScriptReply silent_reply() {
  ScriptReply reply;
  reply.silent = true;
  return reply;
}

// A request that is read and then answered by closing the connection (keep-alive mode).
inline ScriptReply hang_up_reply() {
  ScriptReply reply;
  reply.hang_up = true;
  return reply;
}

class ScriptServer {
 public:
  // `keep_alive`: each connection serves requests until the client closes it or a reply hangs up.
  explicit ScriptServer(std::vector<ScriptReply> replies, int max_requests = 10,
                        bool keep_alive = false)
      : replies_(std::move(replies)), max_requests_(max_requests), keep_alive_(keep_alive) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ok_ = listener_ >= 0 && !replies_.empty() &&
          bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
          listen(listener_, 16) == 0 &&
          getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    port_ = ntohs(address.sin_port);
    if (ok_) thread_ = std::thread([this] { run(); });
  }
  explicit ScriptServer(const std::vector<std::string>& replies, int max_requests = 10,
                        bool keep_alive = false)
      : ScriptServer(plain(replies), max_requests, keep_alive) {}
  ~ScriptServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (listener_ >= 0) ::close(listener_);
  }
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  int port() const { return port_; }
  bool ok() const { return ok_; }
  std::string uri() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // Stops serving and returns the request bodies read, in order.
  std::vector<std::string> bodies() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    return bodies_;
  }
  // Stops serving and returns the request heads (request line and headers), in order.
  std::vector<std::string> heads() {
    bodies();
    return heads_;
  }
  // Stops serving and returns how many connections were accepted.
  int connections() {
    bodies();
    return connections_;
  }

 private:
  static constexpr int kSliceMillis = 20;          // longest sleep between stop checks
  static constexpr int kRequestWaitMillis = 5000;  // longest wait for a request's bytes
  static constexpr size_t kRequestMax = 1u << 20;  // a request is read up to this size

  static std::vector<ScriptReply> plain(const std::vector<std::string>& replies) {
    std::vector<ScriptReply> out;
    for (const std::string& reply : replies) out.push_back(plain_reply(reply));
    return out;
  }

  // Waits for `events` on `fd` up to `millis`, in slices; false on stop or time-out.
  bool wait_for(int fd, short events, int millis) {
    for (int waited = 0; waited < millis && !stop_; waited += kSliceMillis) {
      pollfd entry{fd, events, 0};
      if (poll(&entry, 1, kSliceMillis) == 1) return true;
    }
    return false;
  }
  bool pause(int millis) {
    for (int waited = 0; waited < millis; waited += kSliceMillis) {
      if (stop_) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMillis));
    }
    return !stop_;
  }
  // One request: headers up to the blank line, then Content-Length bytes; its body.
  std::string read_body(int fd) {
    std::string data;
    size_t wanted = std::string::npos;
    char buffer[4096];
    while (data.size() < kRequestMax && (wanted == std::string::npos || data.size() < wanted)) {
      if (!wait_for(fd, POLLIN, kRequestWaitMillis)) break;
      ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) break;
      data.append(buffer, static_cast<size_t>(got));
      size_t end = data.find("\r\n\r\n");
      if (wanted == std::string::npos && end != std::string::npos) {
        size_t at = data.substr(0, end).find("Content-Length: ");
        size_t length = at == std::string::npos ? 0 : std::strtoul(&data[at + 16], nullptr, 10);
        wanted = end + 4 + length;
      }
    }
    size_t end = data.find("\r\n\r\n");
    if (end == std::string::npos) return "";
    heads_.push_back(data.substr(0, end));
    return data.substr(end + 4);
  }
  // Sends `bytes` (one byte per step when dripping); false when the client went away.
  bool send_all(int fd, const std::string& bytes, int drip_millis) {
    size_t sent = 0;
    while (sent < bytes.size()) {
      if (!wait_for(fd, POLLOUT, kRequestWaitMillis)) return false;
      size_t step = drip_millis > 0 ? 1 : bytes.size() - sent;
      ssize_t put = send(fd, bytes.data() + sent, step, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (put <= 0) return false;
      sent += static_cast<size_t>(put);
      if (drip_millis > 0 && sent < bytes.size() && !pause(drip_millis)) return false;
    }
    return true;
  }
  // Holds the connection until the client closes it or the server stops.
  void hold(int fd) {
    char sink[4096];
    while (!stop_) {
      pollfd entry{fd, POLLIN, 0};
      if (poll(&entry, 1, kSliceMillis) == 1 && recv(fd, sink, sizeof sink, 0) <= 0) return;
    }
  }
  void serve(int client, const ScriptReply& reply) {
    if (reply.silent) return hold(client);
    if (reply.delay_millis > 0 && !pause(reply.delay_millis)) return;
    if (reply.bytes && !send_all(client, *reply.bytes, reply.drip_millis)) return;
    shutdown(client, SHUT_WR);
    char sink[256];
    while (wait_for(client, POLLIN, 200) && recv(client, sink, sizeof sink, 0) > 0) {
    }
  }
  // Keep-alive mode: answers requests on `client` in turn; false once the client went away.
  bool serve_kept(int client, int* served) {
    for (; *served < max_requests_; ++*served) {
      size_t heads = heads_.size();
      std::string body = read_body(client);
      if (heads_.size() == heads) return false;  // closed (or stopped) before a request
      bodies_.push_back(body);
      const ScriptReply& reply = replies_[std::min<size_t>(*served, replies_.size() - 1)];
      if (reply.hang_up) {
        ++*served;
        return true;
      }
      if (reply.delay_millis > 0 && !pause(reply.delay_millis)) return false;
      if (reply.bytes && !send_all(client, *reply.bytes, reply.drip_millis)) return false;
    }
    return true;
  }
  void run() {
    for (int served = 0; served < max_requests_;) {
      if (!wait_for(listener_, POLLIN, kSliceMillis)) {
        if (stop_) return;
        continue;
      }
      int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) return;
      ++connections_;
      if (keep_alive_) {
        serve_kept(client, &served);
        ::close(client);
        continue;
      }
      bodies_.push_back(read_body(client));
      serve(client, replies_[std::min<size_t>(served, replies_.size() - 1)]);
      ::close(client);
      ++served;
    }
  }

  std::vector<ScriptReply> replies_;
  std::vector<std::string> bodies_;
  std::vector<std::string> heads_;
  int max_requests_;
  bool keep_alive_ = false;
  int connections_ = 0;
  int listener_ = -1;
  int port_ = 0;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

// A loopback listener that never accepts and whose backlog is full, so a new connection to it
// stays in its handshake until the client gives up.
class StalledListener {
 public:
  StalledListener() {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ok_ = listener_ >= 0 && bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
          listen(listener_, 0) == 0 &&
          getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    port_ = ntohs(address.sin_port);
    // A backlog of 0 still takes a connection or two; these fill it.
    for (int i = 0; ok_ && i < 3; ++i) {
      int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
      if (fd < 0) break;
      (void)connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
      fillers_.push_back(fd);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ~StalledListener() {
    for (int fd : fillers_) ::close(fd);
    if (listener_ >= 0) ::close(listener_);
  }
  StalledListener(const StalledListener&) = delete;
  StalledListener& operator=(const StalledListener&) = delete;
  bool ok() const { return ok_; }
  int port() const { return port_; }

 private:
  int listener_ = -1;
  int port_ = 0;
  bool ok_ = false;
  std::vector<int> fillers_;
};

// A loopback HTTP server that serves every connection on a thread of its own and keeps it alive,
// answering each request with what `answer` makes of its body (called on the connection's thread,
// so several at once). Counts the connections and the most requests it held at the same time.
class RoutedServer {
 public:
  using Answer = std::function<ScriptReply(const std::string& body)>;

  explicit RoutedServer(Answer answer) : answer_(std::move(answer)) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    ok_ = listener_ >= 0 && bind(listener_, reinterpret_cast<sockaddr*>(&address), length) == 0 &&
          listen(listener_, 64) == 0 &&
          getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) == 0;
    port_ = ntohs(address.sin_port);
    if (ok_) acceptor_ = std::thread([this] { accept_loop(); });
  }
  ~RoutedServer() {
    stop_ = true;
    if (acceptor_.joinable()) acceptor_.join();
    for (std::thread& thread : connection_threads_) thread.join();
    if (listener_ >= 0) ::close(listener_);
  }
  RoutedServer(const RoutedServer&) = delete;
  RoutedServer& operator=(const RoutedServer&) = delete;

  bool ok() const { return ok_; }
  std::string uri() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // Connections accepted so far.
  int connections() const { return connections_; }
  // The most requests read and not yet answered at one time.
  int most_in_flight() const { return most_in_flight_; }

 private:
  static constexpr int kSliceMillis = 20;

  bool wait_for(int fd, short events, int millis) {
    for (int waited = 0; waited < millis && !stop_; waited += kSliceMillis) {
      pollfd entry{fd, events, 0};
      if (poll(&entry, 1, kSliceMillis) == 1) return true;
    }
    return false;
  }
  bool pause(int millis) {
    for (int waited = 0; waited < millis && !stop_; waited += kSliceMillis)
      std::this_thread::sleep_for(std::chrono::milliseconds(kSliceMillis));
    return !stop_;
  }
  // One request's body; false when the client closed the connection (or the server stops).
  bool read_request(int fd, std::string* pending, std::string* body) {
    char buffer[4096];
    for (;;) {
      size_t end = pending->find("\r\n\r\n");
      if (end != std::string::npos) {
        size_t at = pending->substr(0, end).find("Content-Length: ");
        size_t length =
            at == std::string::npos ? 0 : std::strtoul(&(*pending)[at + 16], nullptr, 10);
        if (pending->size() >= end + 4 + length) {
          *body = pending->substr(end + 4, length);
          pending->erase(0, end + 4 + length);
          return true;
        }
      }
      if (!wait_for(fd, POLLIN, 60000)) return false;
      ssize_t got = recv(fd, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      pending->append(buffer, static_cast<size_t>(got));
    }
  }
  bool send_all(int fd, const std::string& bytes) {
    for (size_t sent = 0; sent < bytes.size();) {
      if (!wait_for(fd, POLLOUT, 5000)) return false;
      ssize_t put = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      if (put <= 0) return false;
      sent += static_cast<size_t>(put);
    }
    return true;
  }
  void serve(int client) {
    std::string pending, body;
    while (read_request(client, &pending, &body)) {
      int now = ++in_flight_;
      for (int most = most_in_flight_;
           now > most && !most_in_flight_.compare_exchange_weak(most, now);) {
      }
      ScriptReply reply = answer_(body);
      bool go_on = !reply.hang_up && !reply.silent &&
                   (reply.delay_millis <= 0 || pause(reply.delay_millis)) &&
                   (!reply.bytes || send_all(client, *reply.bytes));
      if (reply.silent) {  // held until the client gives up
        char sink[256];
        while (wait_for(client, POLLIN, 60000) && recv(client, sink, sizeof sink, 0) > 0) {
        }
      }
      --in_flight_;
      if (!go_on) break;
    }
    ::close(client);
  }
  void accept_loop() {
    while (!stop_) {
      if (!wait_for(listener_, POLLIN, kSliceMillis)) continue;
      int client = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      ++connections_;
      connection_threads_.emplace_back([this, client] { serve(client); });
    }
  }

  Answer answer_;
  int listener_ = -1;
  int port_ = 0;
  bool ok_ = false;
  std::atomic<bool> stop_{false};
  std::atomic<int> connections_{0};
  std::atomic<int> in_flight_{0};
  std::atomic<int> most_in_flight_{0};
  std::thread acceptor_;
  std::vector<std::thread> connection_threads_;  // touched by the acceptor, then the destructor
};
