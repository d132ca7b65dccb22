// The HTTP side of `wvrepo serve`: the library's server with our own
// connection handling under it. Each connection carries one request (no
// keep-alive), read within a deadline and a byte budget, so that an idle,
// slow or endless client holds a worker for seconds at most and never fills
// memory; TLS, when asked for, is OpenSSL's, on the same budget.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

#include "app.h"
#include "platform/signals.h"
#include "serve.h"

namespace tng::web {

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

// Workers that read and write connections; the requests themselves are
// handled one at a time (App's lock).
constexpr size_t kWorkers = 8;
// A request (and, under TLS, the handshake before it) must arrive whole
// within this time of its connection; an answer must be taken by the client
// within kAnswerTime, without a pause longer than kWriteIdle.
constexpr seconds kRequestTime{5};
constexpr seconds kAnswerTime{30};
constexpr seconds kWriteIdle{5};
// The request line and headers, and a body (only a login has one).
constexpr size_t kHeadLimit = 16 * 1024;
constexpr size_t kBodyLimit = 8 * 1024;
constexpr int kBacklog = 128;

using Clock = std::chrono::steady_clock;

std::string openssl_error() {
  const unsigned long e = ERR_get_error();
  if (e == 0) return "unknown error";
  char text[256];
  ERR_error_string_n(e, text, sizeof text);
  ERR_clear_error();
  return text;
}

// One accepted connection as the library's stream: non-blocking socket,
// waits bounded by the deadlines, the request's bytes counted.
class Connection final : public httplib::Stream {
 public:
  Connection(int fd, SSL_CTX* tls) : fd_(fd) {
    const Clock::time_point now = Clock::now();
    read_deadline_ = now + kRequestTime;
    write_deadline_ = now + kRequestTime + kAnswerTime;
    fcntl_nonblocking();
    int yes = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    if (tls) {
      ssl_ = SSL_new(tls);
      if (ssl_ && SSL_set_fd(ssl_, fd_) != 1) {
        SSL_free(ssl_);
        ssl_ = nullptr;
      }
      failed_ = ssl_ == nullptr;
    }
  }
  ~Connection() override {
    if (ssl_) {
      if (!failed_) SSL_shutdown(ssl_);
      SSL_free(ssl_);
    }
    ::close(fd_);
  }
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // The TLS handshake (nothing without TLS); false when it failed or timed
  // out.
  bool handshake() {
    if (!ssl_ || failed_) return !failed_;
    for (;;) {
      ERR_clear_error();
      const int r = SSL_accept(ssl_);
      if (r == 1) return true;
      if (!wait_for(SSL_get_error(ssl_, r), read_deadline_)) {
        failed_ = true;
        return false;
      }
    }
  }

  bool is_readable() const override {
    if (start_ < end_ || (ssl_ && SSL_pending(ssl_) > 0)) return true;
    pollfd p{fd_, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
  }
  bool is_writable() const override {
    pollfd p{fd_, POLLOUT, 0};
    return !failed_ && ::poll(&p, 1, static_cast<int>(milliseconds(kWriteIdle).count())) > 0;
  }

  ssize_t read(char* ptr, size_t size) override {
    if (failed_) return -1;
    if (start_ == end_) {
      const ssize_t n = receive(buffer_, sizeof buffer_);
      if (n <= 0) return n;
      start_ = 0;
      end_ = static_cast<size_t>(n);
    }
    const size_t n = std::min(size, end_ - start_);
    for (size_t i = 0; i < n && !head_done_; ++i) {
      tail_ = (tail_ << 8) | static_cast<unsigned char>(buffer_[start_ + i]);
      head_done_ = tail_ == 0x0D0A0D0A;
    }
    consumed_ += n;
    if (!head_done_ && consumed_ > kHeadLimit)
      return refuse(431, "Request Header Fields Too Large");
    if (consumed_ > kHeadLimit + kBodyLimit) return refuse(413, "Payload Too Large");
    std::memcpy(ptr, buffer_ + start_, n);
    start_ += n;
    return static_cast<ssize_t>(n);
  }

  ssize_t write(const char* ptr, size_t size) override {
    if (failed_) return -1;
    size_t done = 0;
    while (done < size) {
      const Clock::time_point deadline = std::min(write_deadline_, Clock::now() + kWriteIdle);
      if (ssl_) {
        size_t written = 0;
        ERR_clear_error();
        const int r = SSL_write_ex(ssl_, ptr + done, size - done, &written);
        if (r == 1) {
          done += written;
        } else if (!wait_for(SSL_get_error(ssl_, r), deadline)) {
          failed_ = true;
          return -1;
        }
      } else {
        const ssize_t n = ::send(fd_, ptr + done, size - done, MSG_NOSIGNAL);
        if (n > 0) {
          done += static_cast<size_t>(n);
        } else if (n < 0 && errno == EINTR) {
          continue;
        } else if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK) ||
                   !wait(POLLOUT, deadline)) {
          failed_ = true;
          return -1;
        }
      }
    }
    return static_cast<ssize_t>(done);
  }

  void get_remote_ip_and_port(std::string& ip, int& port) const override {
    address_of(&::getpeername, ip, port);
  }
  void get_local_ip_and_port(std::string& ip, int& port) const override {
    address_of(&::getsockname, ip, port);
  }
  socket_t socket() const override { return fd_; }

 private:
  void fcntl_nonblocking() {
    const int flags = ::fcntl(fd_, F_GETFL, 0);
    if (flags >= 0) ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
  }

  // Waits for the socket until the deadline; false when it passed.
  bool wait(short events, Clock::time_point deadline) const {
    for (;;) {
      const auto left = std::chrono::ceil<milliseconds>(deadline - Clock::now());
      if (left.count() <= 0) return false;
      pollfd p{fd_, events, 0};
      const int r = ::poll(&p, 1, static_cast<int>(left.count()));
      if (r > 0) return true;
      if (r == 0) return false;
      if (errno != EINTR) return false;
    }
  }

  // After a TLS call that did not complete: waits for what it needs; false
  // on failure or when the deadline passed.
  bool wait_for(int ssl_error, Clock::time_point deadline) const {
    if (ssl_error == SSL_ERROR_WANT_READ) return wait(POLLIN, deadline);
    if (ssl_error == SSL_ERROR_WANT_WRITE) return wait(POLLOUT, deadline);
    return false;
  }

  // Some bytes of the request: their number, 0 at its end, -1 on failure
  // or when the request's time is up.
  ssize_t receive(char* into, size_t size) {
    for (;;) {
      if (ssl_) {
        size_t got = 0;
        ERR_clear_error();
        const int r = SSL_read_ex(ssl_, into, size, &got);
        if (r == 1) return static_cast<ssize_t>(got);
        const int e = SSL_get_error(ssl_, r);
        if (e == SSL_ERROR_ZERO_RETURN) return 0;
        if (!wait_for(e, read_deadline_)) return timed_out();
      } else {
        const ssize_t n = ::recv(fd_, into, size, 0);
        if (n >= 0) return n;
        if (errno == EINTR) continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
        if (!wait(POLLIN, read_deadline_)) return timed_out();
      }
    }
  }

  // A request begun and not finished in time is answered 408; a connection
  // that sent nothing is only closed.
  ssize_t timed_out() {
    if (consumed_ == 0) {
      failed_ = true;
      return -1;
    }
    return refuse(408, "Request Timeout");
  }

  // Answers a request that does not fit its budget or its time, and reads
  // no more.
  ssize_t refuse(int status, const char* reason) {
    char answer[256];
    const int n =
        std::snprintf(answer, sizeof answer,
                      "HTTP/1.1 %d %s\r\nContent-Type: text/plain\r\nContent-Length: %zu\r\n"
                      "Connection: close\r\n\r\n%s\n",
                      status, reason, std::strlen(reason) + 1, reason);
    write(answer, static_cast<size_t>(n));
    failed_ = true;
    return -1;
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
  bool failed_ = false;
  Clock::time_point read_deadline_, write_deadline_;
  char buffer_[4096];
  size_t start_ = 0, end_ = 0;
  size_t consumed_ = 0;
  uint32_t tail_ = 0;
  bool head_done_ = false;
};

// The library's server with our connections under it.
class WebServer final : public httplib::Server {
 public:
  explicit WebServer(SSL_CTX* tls) : tls_(tls) {}
  // The library listens with a short queue of pending connections; many
  // clients connecting at once need a longer one.
  void lengthen_backlog() { ::listen(svr_sock_, kBacklog); }

 private:
  bool process_and_close_socket(socket_t sock) override {
    Connection connection(sock, tls_);
    if (!connection.handshake()) return false;
    bool closed = false;
    return process_request(connection, true, closed, [](httplib::Request&) {});
  }

  SSL_CTX* tls_;
};

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
  WebServer server(tls.ctx);
  server.new_task_queue = [] { return new httplib::ThreadPool(kWorkers); };
  server.set_socket_options([](socket_t sock) {
    // Another server on the same port is an error, not a sharer.
    int yes = 1;
    ::setsockopt(sock, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
  });
  server.set_tcp_nodelay(true);
  server.set_payload_max_length(kBodyLimit);
  server.set_read_timeout(kRequestTime.count(), 0);
  server.set_write_timeout(kWriteIdle.count(), 0);
  server.set_error_handler(httplib::Server::HandlerWithResponse(library_error));
  server.set_exception_handler(
      [](const httplib::Request& req, httplib::Response& res, std::exception_ptr) {
        std::fprintf(stderr, "wvrepo: serve: %s %s failed\n", req.method.c_str(), req.path.c_str());
        res.status = 500;
      });
  server.set_pre_routing_handler([&app](const httplib::Request& req, httplib::Response& res) {
    // Logging in reads a form; its body must say its length, else the
    // library would wait for the connection's end.
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

  // The signals that end the server are taken by this thread alone, with
  // sigwait; the library's threads start after they are blocked.
  sigset_t ending;
  sigemptyset(&ending);
  for (int s : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&ending, s);
  pthread_sigmask(SIG_BLOCK, &ending, nullptr);

  errno = 0;
  int port = address->port;
  const bool bound = port == 0 ? (port = server.bind_to_any_port(address->host)) > 0
                               : server.bind_to_port(address->host, port);
  if (!bound) {
    const int error = errno;
    throw std::runtime_error("cannot listen on " + options.listen +
                             (error ? std::string(": ") + std::strerror(error) : std::string()));
  }
  server.lengthen_backlog();
  const std::string url = std::string(https ? "https" : "http") + "://" +
                          (address->ipv6 ? "[" + address->host + "]" : address->host) + ":" +
                          std::to_string(port) + "/";
  std::fprintf(stderr, "wvrepo: serving repository %s at %s (SIGINT or SIGTERM ends it)\n",
               options.repository.c_str(), url.c_str());

  std::atomic<bool> stopping = false;
  const pthread_t main_thread = pthread_self();
  bool listened = false;
  std::thread listener([&] {
    listened = server.listen_after_bind();
    if (!stopping) pthread_kill(main_thread, SIGTERM);
  });
  int signal_number = 0;
  sigwait(&ending, &signal_number);
  stopping = true;
  server.stop();
  listener.join();
  if (!listened) {
    std::fprintf(stderr, "wvrepo: serve: the server stopped listening on its own\n");
    return 1;
  }
  std::fprintf(stderr, "wvrepo: stopped serving repository %s (%s)\n", options.repository.c_str(),
               strsignal(signal_number));
  return 0;
}

}  // namespace tng::web
