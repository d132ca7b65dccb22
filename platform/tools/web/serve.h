// `wvrepo serve`: the read-only web view of one repository, over HTTP on a
// loopback address or over HTTPS on any.
#pragma once
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace tng::web {

struct ServeOptions {
  std::string repository;
  std::string listen = "127.0.0.1:8321";
  std::optional<std::string> tls_cert, tls_key;
};

// A command line that cannot be served as it stands (the caller shows it
// as a usage error).
struct ServeUsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Serves until SIGINT, SIGTERM or SIGHUP; 0 when it ended that way. Throws
// ServeUsageError for a bad address or option, repo::Error when the
// repository cannot be opened, std::runtime_error when the address cannot
// be listened on or the certificate or key cannot be used.
int serve(const ServeOptions& options);

// ADDRESS:PORT: an IPv4 address, an IPv6 address in brackets, or
// "localhost" (127.0.0.1); port 0 asks for any free port.
struct ListenAddress {
  std::string host;  // numeric, without brackets
  int port = 0;
  bool loopback = false;
  bool ipv6 = false;
};
std::optional<ListenAddress> parse_listen(std::string_view text);

}  // namespace tng::web
