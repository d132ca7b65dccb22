// The HTTP side of `wvrepo serve`, all in one thread: one poll() loop over
// the listening socket, every open connection and the ending signals. Each
// connection carries one request (no keep-alive): its bytes are gathered
// without waiting, within a deadline and a byte budget, handed whole to the
// library's request processing, and the answer is written out as the
// client takes it. An idle, slow or endless client costs a poll entry for
// seconds at most and never fills memory; TLS, when asked for, is
// OpenSSL's, on the same budget.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app.h"
#include "platform/signals.h"
#include "serve.h"

namespace tng::web {

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// A request (and, under TLS, the handshake before it) must arrive whole
// within this time of its connection; an answer must be taken by the client
// within kAnswerTime, without a pause longer than kWriteIdle.
constexpr seconds kRequestTime{5};
constexpr seconds kAnswerTime{30};
constexpr seconds kWriteIdle{5};
// After its answer a connection is closed once the client has closed its
// side, or after kLinger: reading what the client still sends keeps the
// system from resetting the connection before the answer arrives.
constexpr seconds kLinger{2};
constexpr size_t kLingerBytes = 64 * 1024;
// The request line and headers, and a body (only a login has one).
constexpr size_t kHeadLimit = 16 * 1024;
constexpr size_t kBodyLimit = 8 * 1024;
constexpr int kBacklog = 128;
// Open connections at most: past it, the oldest one that has not yet
// sent its whole request is closed for a new one.
constexpr size_t kMaxConnections = 256;

using Clock = std::chrono::steady_clock;

std::string openssl_error() {
  const unsigned long e = ERR_get_error();
  if (e == 0) return "unknown error";
  char text[256];
  ERR_error_string_n(e, text, sizeof text);
  ERR_clear_error();
  return text;
}

bool iequals(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trimmed(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// A number of decimal digits that fits the budget's size; nullopt else.
std::optional<size_t> length_of(std::string_view text) {
  if (text.empty() || text.size() > 9) return std::nullopt;
  size_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + static_cast<size_t>(c - '0');
  }
  return n;
}

// Where a chunked body that starts at `at` ends: its end, 0 while more must
// arrive, nullopt when it is not chunked encoding.
std::optional<size_t> chunked_end(std::string_view data, size_t at) {
  for (;;) {
    const size_t line_end = data.find("\r\n", at);
    if (line_end == std::string_view::npos) return 0;
    std::string_view line = data.substr(at, line_end - at);
    line = trimmed(line.substr(0, line.find(';')));
    if (line.empty() || line.size() > 8) return std::nullopt;
    size_t size = 0;
    for (char c : line) {
      const int digit = c >= '0' && c <= '9'   ? c - '0'
                        : c >= 'a' && c <= 'f' ? c - 'a' + 10
                        : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                               : -1;
      if (digit < 0) return std::nullopt;
      size = size * 16 + static_cast<size_t>(digit);
    }
    at = line_end + 2;
    if (size == 0) {
      // Trailer lines, up to an empty one.
      for (;;) {
        const size_t end = data.find("\r\n", at);
        if (end == std::string_view::npos) return 0;
        if (end == at) return end + 2;
        at = end + 2;
      }
    }
    if (data.size() < at + size + 2) return 0;
    if (data.substr(at + size, 2) != "\r\n") return std::nullopt;
    at += size + 2;
  }
}

// The library's server, only for its request processing: the connections
// are ours.
class WebServer final : public httplib::Server {
 public:
  void answer(httplib::Stream& stream) {
    bool closed = false;
    process_request(stream, true, closed, [](httplib::Request&) {});
  }
};

// One accepted connection: a non-blocking socket moved along as far as it
// goes whenever poll() says it can, and its deadlines. While its request is
// processed it is the library's stream, reading the gathered request and
// collecting the answer.
class Connection final : public httplib::Stream {
 public:
  Connection(int fd, SSL_CTX* tls, Clock::time_point now)
      : fd_(fd),
        started_(now),
        read_deadline_(now + kRequestTime),
        answer_deadline_(now + kRequestTime + kAnswerTime) {
    int yes = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    if (tls) {
      ssl_ = SSL_new(tls);
      if (ssl_ && SSL_set_fd(ssl_, fd_) != 1) {
        SSL_free(ssl_);
        ssl_ = nullptr;
      }
      state_ = ssl_ ? State::handshake : State::closed;
    }
  }
  ~Connection() override {
    if (ssl_) SSL_free(ssl_);
    ::close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  bool closed() const { return state_ == State::closed; }
  // Not yet answering: may be closed to make room for a new connection.
  bool waiting() const { return state_ == State::handshake || state_ == State::reading; }
  Clock::time_point started() const { return started_; }
  short events() const { return want_; }
  Clock::time_point deadline() const {
    switch (state_) {
      case State::handshake:
      case State::reading:
        return read_deadline_;
      case State::writing:
        return std::min(answer_deadline_, progress_ + kWriteIdle);
      case State::lingering:
        return linger_deadline_;
      case State::closed:
        break;
    }
    return started_;
  }
  void close_now() { state_ = State::closed; }

  // Goes as far as the socket allows without waiting.
  void step(Clock::time_point now, WebServer& server) {
    if (state_ == State::handshake) handshake();
    if (state_ == State::reading) receive(now, server);
    if (state_ == State::writing) send(now);
    if (state_ == State::lingering) drain();
  }

  // The deadline passed: a request begun and not finished in time is
  // answered 408; any other connection is only closed.
  void expire(Clock::time_point now) {
    if (state_ == State::reading && !in_.empty()) {
      refuse(408, "Request Timeout", now);
      send(now);
      return;
    }
    close_now();
  }

  // The library's stream, while a request is processed.
  bool is_readable() const override { return read_at_ < in_.size(); }
  bool is_writable() const override { return true; }
  ssize_t read(char* ptr, size_t size) override {
    const size_t n = std::min(size, in_.size() - read_at_);
    std::memcpy(ptr, in_.data() + read_at_, n);
    read_at_ += n;
    return static_cast<ssize_t>(n);
  }
  ssize_t write(const char* ptr, size_t size) override {
    // "100 Continue" went out while the body was awaited.
    if (continued_ && std::string_view(ptr, size).starts_with("HTTP/1.1 100 ")) {
      continued_ = false;
      return static_cast<ssize_t>(size);
    }
    out_.append(ptr, size);
    return static_cast<ssize_t>(size);
  }
  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    address_of(&::getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    address_of(&::getsockname, ip, port);
  }
  socket_t socket() const override { return fd_; }

 private:
  enum class State { handshake, reading, writing, lingering, closed };

  // After a TLS call that did not complete: what to wait for; false when
  // the call failed.
  bool tls_wants(int ssl_error) {
    if (ssl_error == SSL_ERROR_WANT_READ)
      want_ = POLLIN;
    else if (ssl_error == SSL_ERROR_WANT_WRITE)
      want_ = POLLOUT;
    else
      return false;
    return true;
  }

  void handshake() {
    ERR_clear_error();
    const int r = SSL_accept(ssl_);
    if (r == 1) {
      state_ = State::reading;
      want_ = POLLIN;
    } else if (!tls_wants(SSL_get_error(ssl_, r))) {
      tls_failed_ = true;
      close_now();
    }
  }

  // Gathers the request until it is whole, then has it answered.
  void receive(Clock::time_point now, WebServer& server) {
    char chunk[4096];
    for (;;) {
      size_t got = 0;
      if (ssl_) {
        ERR_clear_error();
        const int r = SSL_read_ex(ssl_, chunk, sizeof chunk, &got);
        if (r != 1) {
          const int e = SSL_get_error(ssl_, r);
          if (e == SSL_ERROR_ZERO_RETURN) return close_now();
          if (tls_wants(e)) return;
          tls_failed_ = true;
          return close_now();
        }
      } else {
        const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
          want_ = POLLIN;
          return;
        }
        // The client ended or broke off before its request was whole.
        if (n <= 0) return close_now();
        got = static_cast<size_t>(n);
      }
      in_.append(chunk, got);
      if (whole(now)) {
        if (state_ == State::reading) answer(now, server);
        return;
      }
    }
  }

  // Whether the request is whole, or has been refused; false while more
  // must arrive.
  bool whole(Clock::time_point now) {
    if (head_end_ == 0) {
      const size_t at = in_.find("\r\n\r\n", scanned_ >= 3 ? scanned_ - 3 : 0);
      scanned_ = in_.size();
      if (at == std::string::npos) {
        if (in_.size() <= kHeadLimit) return false;
        refuse(431, "Request Header Fields Too Large", now);
        return true;
      }
      head_end_ = at + 4;
      if (head_end_ > kHeadLimit) {
        refuse(431, "Request Header Fields Too Large", now);
        return true;
      }
      if (!read_head()) {
        refuse(400, "Bad Request", now);
        return true;
      }
      if (length_ > kBodyLimit) {
        refuse(413, "Payload Too Large", now);
        return true;
      }
    }
    if (chunked_) {
      const std::optional<size_t> end = chunked_end(in_, head_end_);
      if (!end) {
        refuse(400, "Bad Request", now);
        return true;
      }
      if (*end != 0) return true;
    } else if (in_.size() - head_end_ >= length_) {
      return true;
    }
    if (in_.size() - head_end_ > kBodyLimit) {
      refuse(413, "Payload Too Large", now);
      return true;
    }
    if (expects_continue_ && !continued_) {
      // The client waits for leave to send its body.
      continued_ = true;
      out_ = "HTTP/1.1 100 Continue\r\n\r\n";
      flush();
    }
    return false;
  }

  // What the headers say of the body: its length, or that it comes in
  // chunks; and whether the client waits before sending it. False for
  // lengths that contradict each other or are not numbers, and for a
  // transfer encoding other than chunks.
  bool read_head() {
    std::string_view head(in_.data(), head_end_ - 2);
    head.remove_prefix(std::min(head.size(), head.find("\r\n") + 2));
    std::optional<size_t> length;
    while (!head.empty()) {
      const size_t end = std::min(head.size(), head.find("\r\n"));
      const std::string_view line = head.substr(0, end);
      head.remove_prefix(std::min(head.size(), end + 2));
      const size_t colon = line.find(':');
      if (colon == std::string_view::npos) continue;
      const std::string_view name = line.substr(0, colon), value = trimmed(line.substr(colon + 1));
      if (iequals(name, "Content-Length")) {
        std::optional<size_t> n = length_of(value);
        if (!n) {
          // Too many digits for the budget is too large, not malformed.
          if (value.size() > 9 && value.find_first_not_of("0123456789") == std::string_view::npos)
            n = kBodyLimit + 1;
          else
            return false;
        }
        if (length && *length != *n) return false;
        length = n;
      } else if (iequals(name, "Transfer-Encoding")) {
        // Without chunks a request's body has no end but the connection's.
        if (!iequals(value, "chunked")) return false;
        chunked_ = true;
      } else if (iequals(name, "Expect")) {
        expects_continue_ = iequals(value, "100-continue");
      }
    }
    length_ = length.value_or(0);
    return true;
  }

  void answer(Clock::time_point now, WebServer& server) {
    server.answer(*this);
    in_.clear();
    in_.shrink_to_fit();
    state_ = State::writing;
    want_ = POLLOUT;
    progress_ = now;
  }

  // Answers a request that does not fit its budget or its time, and reads
  // no more.
  void refuse(int status, const char* reason, Clock::time_point now) {
    char answer[256];
    const int n =
        std::snprintf(answer, sizeof answer,
                      "HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %zu\r\n"
                      "Connection: close\r\n\r\n%s\n",
                      status, reason, std::strlen(reason) + 1, reason);
    out_.append(answer, static_cast<size_t>(n));
    state_ = State::writing;
    want_ = POLLOUT;
    progress_ = now;
  }

  // Writes what the socket takes now; false when the connection failed.
  bool flush() {
    while (written_ < out_.size()) {
      size_t n = 0;
      if (ssl_) {
        ERR_clear_error();
        const int r = SSL_write_ex(ssl_, out_.data() + written_, out_.size() - written_, &n);
        if (r != 1) {
          if (tls_wants(SSL_get_error(ssl_, r))) return true;
          tls_failed_ = true;
          return false;
        }
      } else {
        const ssize_t sent =
            ::send(fd_, out_.data() + written_, out_.size() - written_, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
          want_ = POLLOUT;
          return true;
        }
        if (sent <= 0) return false;
        n = static_cast<size_t>(sent);
      }
      written_ += n;
    }
    return true;
  }

  void send(Clock::time_point now) {
    const size_t before = written_;
    if (!flush()) return close_now();
    if (written_ != before) progress_ = now;
    if (written_ < out_.size()) return;
    // The whole answer is out: the client is told there is no more.
    if (ssl_ && !tls_failed_) {
      ERR_clear_error();
      SSL_shutdown(ssl_);
    }
    ::shutdown(fd_, SHUT_WR);
    out_.clear();
    out_.shrink_to_fit();
    state_ = State::lingering;
    want_ = POLLIN;
    linger_deadline_ = now + kLinger;
  }

  // Reads and drops what the client still sends, until it closes.
  void drain() {
    char chunk[4096];
    for (;;) {
      const ssize_t n = ::recv(fd_, chunk, sizeof chunk, 0);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
      if (n <= 0) return close_now();
      drained_ += static_cast<size_t>(n);
      if (drained_ > kLingerBytes) return close_now();
    }
  }

  void address_of(int (*query)(int, sockaddr*, socklen_t*), std::string& ip, int& port) const {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    ip.clear();
    port = -1;
    if (query(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) return;
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
      auto* a = reinterpret_cast<sockaddr_in*>(&address);
      ::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text);
      port = ntohs(a->sin_port);
    } else if (address.ss_family == AF_INET6) {
      auto* a = reinterpret_cast<sockaddr_in6*>(&address);
      ::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text);
      port = ntohs(a->sin6_port);
    }
    ip = text;
  }

  int fd_;
  SSL* ssl_ = nullptr;
  bool tls_failed_ = false;
  State state_ = State::reading;
  short want_ = POLLIN;
  Clock::time_point started_, read_deadline_, answer_deadline_, progress_, linger_deadline_;
  // The request: its bytes, how far the end of its head was looked for,
  // where the head ends (0 while unknown), what the head says of the body,
  // and how far the library has read it.
  std::string in_;
  size_t scanned_ = 0, head_end_ = 0, length_ = 0, read_at_ = 0;
  bool chunked_ = false, expects_continue_ = false, continued_ = false;
  // The answer and how much of it is written.
  std::string out_;
  size_t written_ = 0;
  size_t drained_ = 0;
};

// A file descriptor closed with its owner.
struct Descriptor {
  int fd = -1;
  explicit Descriptor(int d) : fd(d) {}
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
};

// A non-blocking socket listening on the address (SO_REUSEADDR only, so
// that another server on the same port is an error, not a sharer); -1 with
// errno on failure. `port` 0 becomes the port the system chose.
int open_listener(const ListenAddress& address, int& port) {
  sockaddr_storage storage{};
  socklen_t length = 0;
  if (address.ipv6) {
    auto* a = reinterpret_cast<sockaddr_in6*>(&storage);
    a->sin6_family = AF_INET6;
    a->sin6_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET6, address.host.c_str(), &a->sin6_addr);
    length = sizeof *a;
  } else {
    auto* a = reinterpret_cast<sockaddr_in*>(&storage);
    a->sin_family = AF_INET;
    a->sin_port = htons(static_cast<uint16_t>(port));
    ::inet_pton(AF_INET, address.host.c_str(), &a->sin_addr);
    length = sizeof *a;
  }
  const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  int yes = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&storage), length) != 0 ||
      ::listen(fd, kBacklog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &length) != 0) {
    const int error = errno;
    ::close(fd);
    errno = error;
    return -1;
  }
  port = ntohs(address.ipv6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                            : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
  return fd;
}

struct TlsContext {
  SSL_CTX* ctx = nullptr;
  ~TlsContext() {
    if (ctx) SSL_CTX_free(ctx);
  }
};

void load_tls(TlsContext& tls, const std::string& cert, const std::string& key) {
  tls.ctx = SSL_CTX_new(TLS_server_method());
  if (!tls.ctx) throw std::runtime_error("cannot set up TLS: " + openssl_error());
  SSL_CTX_set_min_proto_version(tls.ctx, TLS1_2_VERSION);
  SSL_CTX_set_mode(tls.ctx, SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER | SSL_MODE_ENABLE_PARTIAL_WRITE);
  if (SSL_CTX_use_certificate_chain_file(tls.ctx, cert.c_str()) != 1)
    throw std::runtime_error("cannot use the certificate " + cert + ": " + openssl_error());
  if (SSL_CTX_use_PrivateKey_file(tls.ctx, key.c_str(), SSL_FILETYPE_PEM) != 1)
    throw std::runtime_error("cannot use the key " + key + ": " + openssl_error());
  if (SSL_CTX_check_private_key(tls.ctx) != 1)
    throw std::runtime_error("the key " + key + " does not belong to the certificate " + cert);
}

// A plain text body for the answers the library makes itself (a request it
// cannot read), with the headers every answer carries.
httplib::Server::HandlerResponse library_error(const httplib::Request&, httplib::Response& res) {
  security_headers(res);
  if (!res.body.empty()) return httplib::Server::HandlerResponse::Unhandled;
  res.set_content("HTTP " + std::to_string(res.status) + "\n", "text/plain");
  return httplib::Server::HandlerResponse::Handled;
}

}  // namespace

std::optional<ListenAddress> parse_listen(std::string_view text) {
  const size_t colon = text.rfind(':');
  if (colon == std::string_view::npos || colon == 0) return std::nullopt;
  std::string_view host = text.substr(0, colon), port = text.substr(colon + 1);
  if (port.empty() || port.size() > 5) return std::nullopt;
  ListenAddress a;
  for (char c : port) {
    if (c < '0' || c > '9') return std::nullopt;
    a.port = a.port * 10 + (c - '0');
  }
  if (a.port > 65535) return std::nullopt;
  if (host == "localhost") host = "127.0.0.1";
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    a.host = host.substr(1, host.size() - 2);
    in6_addr v6{};
    if (::inet_pton(AF_INET6, a.host.c_str(), &v6) != 1) return std::nullopt;
    a.ipv6 = true;
    a.loopback = IN6_IS_ADDR_LOOPBACK(&v6) || (IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127);
    return a;
  }
  a.host = host;
  in_addr v4{};
  if (::inet_pton(AF_INET, a.host.c_str(), &v4) != 1) return std::nullopt;
  a.loopback = (ntohl(v4.s_addr) >> 24) == 127;
  return a;
}

int serve(const ServeOptions& options) {
  std::optional<ListenAddress> address = parse_listen(options.listen);
  if (!address)
    throw ServeUsageError("'" + options.listen +
                          "' is not an address to listen on: give ADDRESS:PORT, such as "
                          "127.0.0.1:8321 or [::1]:8321");
  if (options.tls_cert.has_value() != options.tls_key.has_value())
    throw ServeUsageError("--tls-cert and --tls-key go together");
  const bool https = options.tls_cert.has_value();
  if (!address->loopback && !https)
    throw ServeUsageError(options.listen +
                          " is not a loopback address: the view is served there only over HTTPS "
                          "(give --tls-cert FILE --tls-key FILE)");
  TlsContext tls;
  if (https) load_tls(tls, *options.tls_cert, *options.tls_key);

  App app(options.repository, https);
  app.open();

  tng::signals::ignore_broken_pipe();
  WebServer server;
  server.set_payload_max_length(kBodyLimit);
  server.set_error_handler(httplib::Server::HandlerWithResponse(library_error));
  server.set_exception_handler(
      [](const httplib::Request& req, httplib::Response& res, std::exception_ptr) {
        std::fprintf(stderr, "wvrepo: serve: %s %s failed\n", req.method.c_str(), req.path.c_str());
        res.status = 500;
      });
  server.set_pre_routing_handler([&app](const httplib::Request& req, httplib::Response& res) {
    // Logging in reads a form; its body must say its length, else its end
    // would be the connection's.
    if (req.method == "POST" && req.path == "/login") {
      if (req.has_header("Content-Length") || req.has_header("Transfer-Encoding"))
        return httplib::Server::HandlerResponse::Unhandled;
      security_headers(res);
      res.status = 411;
      res.set_content("a login form must say its length (Content-Length)\n", "text/plain");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (req.method == "POST" && req.path == "/logout") {
      app.logout(req, res);
      return httplib::Server::HandlerResponse::Handled;
    }
    app.handle(req, res);
    return httplib::Server::HandlerResponse::Handled;
  });
  server.Post("/login",
              [&app](const httplib::Request& req, httplib::Response& res) { app.login(req, res); });

  // The signals that end the server arrive as data on a descriptor that
  // the loop watches with the connections.
  sigset_t ending;
  sigemptyset(&ending);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, s);
  sigprocmask(SIG_BLOCK, &ending, nullptr);
  const Descriptor signals(::signalfd(-1, &ending, SFD_NONBLOCK | SFD_CLOEXEC));
  if (signals.fd < 0)
    throw std::runtime_error(std::string("cannot watch for signals: ") + std::strerror(errno));

  int port = address->port;
  const Descriptor listener(open_listener(*address, port));
  if (listener.fd < 0)
    throw std::runtime_error("cannot listen on " + options.listen + ": " + std::strerror(errno));
  const std::string url = std::string(https ? "https" : "http") + "://" +
                          (address->ipv6 ? "[" + address->host + "]" : address->host) + ":" +
                          std::to_string(port) + "/";
  std::fprintf(stderr, "wvrepo: serving repository %s at %s (SIGINT or SIGTERM ends it)\n",
               options.repository.c_str(), url.c_str());

  std::vector<std::unique_ptr<Connection>> open;
  std::vector<pollfd> watched;
  // Accepting pauses a moment when the process has no descriptor to spare.
  Clock::time_point accept_after{};
  int signal_number = 0;
  for (;;) {
    Clock::time_point now = Clock::now();
    const bool room = open.size() < kMaxConnections ||
                      std::any_of(open.begin(), open.end(), [](auto& c) { return c->waiting(); });
    const bool accepting = room && now >= accept_after;
    watched.clear();
    watched.push_back({signals.fd, POLLIN, 0});
    watched.push_back({accepting ? listener.fd : -1, POLLIN, 0});
    std::optional<Clock::time_point> next;
    if (!accepting && room) next = accept_after;
    for (const auto& c : open) {
      watched.push_back({c->socket(), c->events(), 0});
      next = next ? std::min(*next, c->deadline()) : c->deadline();
    }
    int timeout = -1;
    if (next) {
      const auto left = std::chrono::ceil<milliseconds>(*next - now).count();
      timeout = static_cast<int>(std::clamp<decltype(left)>(left, 0, 60'000));
    }
    if (::poll(watched.data(), watched.size(), timeout) < 0 && errno != EINTR) {
      std::fprintf(stderr, "wvrepo: serve: cannot wait for connections: %s\n",
                   std::strerror(errno));
      return 1;
    }
    now = Clock::now();
    if (watched[0].revents) {
      signalfd_siginfo info{};
      if (::read(signals.fd, &info, sizeof info) == sizeof info) {
        signal_number = static_cast<int>(info.ssi_signo);
        break;
      }
    }
    for (size_t i = 0; i < open.size(); ++i) {
      if (watched[i + 2].revents)
        open[i]->step(now, server);
      else if (now >= open[i]->deadline())
        open[i]->expire(now);
    }
    std::erase_if(open, [](auto& c) { return c->closed(); });
    if (!(watched[1].revents & POLLIN)) continue;
    // The connections that are waiting, as many as there are room for.
    for (int accepted = 0; accepted < 64; ++accepted) {
      const int fd = ::accept4(listener.fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
      if (fd < 0) {
        if (errno == EINTR || errno == ECONNABORTED || errno == EPROTO) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) break;
        if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
          accept_after = now + milliseconds(100);
          break;
        }
        std::fprintf(stderr, "wvrepo: serve: the server stopped listening on its own: %s\n",
                     std::strerror(errno));
        return 1;
      }
      if (open.size() >= kMaxConnections) {
        auto oldest = open.end();
        for (auto c = open.begin(); c != open.end(); ++c)
          if ((*c)->waiting() && (oldest == open.end() || (*c)->started() < (*oldest)->started()))
            oldest = c;
        if (oldest == open.end()) {
          ::close(fd);
          break;
        }
        open.erase(oldest);
      }
      open.push_back(std::make_unique<Connection>(fd, tls.ctx, now));
      open.back()->step(now, server);
      if (open.back()->closed()) open.pop_back();
    }
  }
  open.clear();
  std::fprintf(stderr, "wvrepo: stopped serving repository %s (%s)\n", options.repository.c_str(),
               strsignal(signal_number));
  return 0;
}

}  // namespace tng::web
