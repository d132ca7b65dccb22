#include "address.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <charconv>
#include <memory>

namespace tng::snmp {

std::optional<Target> split_address(std::string_view address, uint16_t default_port,
                                    OpenError& error) {
  std::string_view host = address;
  std::string_view port;
  if (address.starts_with('[')) {
    auto close = address.find(']');
    if (close == std::string_view::npos) {
      error = OpenError::host_not_found;
      return std::nullopt;
    }
    host = address.substr(1, close - 1);
    std::string_view rest = address.substr(close + 1);
    if (!rest.empty()) {
      if (!rest.starts_with(':')) {
        error = OpenError::host_not_found;
        return std::nullopt;
      }
      port = rest.substr(1);
      if (port.empty()) {
        error = OpenError::bad_address;
        return std::nullopt;
      }
    }
  } else if (std::count(address.begin(), address.end(), ':') == 1) {
    auto colon = address.find(':');
    host = address.substr(0, colon);
    port = address.substr(colon + 1);
    if (port.empty()) {
      error = OpenError::bad_address;
      return std::nullopt;
    }
  }
  if (host.empty()) {
    error = OpenError::host_not_found;
    return std::nullopt;
  }
  Target target{std::string(host), default_port};
  if (!port.empty()) {
    unsigned value = 0;
    auto [end, ec] = std::from_chars(port.data(), port.data() + port.size(), value);
    if (ec != std::errc{} || end != port.data() + port.size() || value == 0 || value > 65535) {
      error = OpenError::bad_address;
      return std::nullopt;
    }
    target.port = static_cast<uint16_t>(value);
  }
  return target;
}

std::optional<Peer> resolve(const Target& target, OpenError& error) {
  const std::string port = std::to_string(target.port);
  const auto ipv4 = [&](const in_addr& address, const std::string& text) {
    sockaddr_in in{};
    in.sin_family = AF_INET;
    in.sin_port = htons(target.port);
    in.sin_addr = address;
    return Peer{"udp:" + text + ":" + port, in};
  };
  // A dotted IPv4 literal (the usual case) needs no resolver, and is already
  // written as the address would be (four decimal numbers, no leading zero).
  if (in_addr literal{}; inet_pton(AF_INET, target.host.c_str(), &literal) == 1)
    return ipv4(literal, target.host);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(target.host.c_str(), nullptr, &hints, &found) != 0 || !found) {
    error = OpenError::host_not_found;
    return std::nullopt;
  }
  std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> owner(found, freeaddrinfo);
  const addrinfo* pick = found;
  for (const addrinfo* a = found; a; a = a->ai_next) {
    if (a->ai_family == AF_INET) {
      pick = a;
      break;
    }
  }
  if (pick->ai_family == AF_INET) {
    const in_addr address = reinterpret_cast<const sockaddr_in*>(pick->ai_addr)->sin_addr;
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return ipv4(address, text);
  }
  if (pick->ai_family == AF_INET6) {
    char text[INET6_ADDRSTRLEN] = {};
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(pick->ai_addr);
    inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    return Peer{"udp6:[" + std::string(text) + "]:" + port, std::nullopt};
  }
  error = OpenError::host_not_found;
  return std::nullopt;
}

}  // namespace tng::snmp
