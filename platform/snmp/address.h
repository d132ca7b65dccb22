// Where a session sends: an agent address as a caller writes it ("host",
// "host:port", "[v6]:port" or a bare IPv6 literal), split and resolved.
#pragma once
#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "snmp_core.h"

namespace tng::snmp {

struct Target {
  std::string host;
  uint16_t port;
};

// The host and port of `address`, `default_port` when it names none.
// Nothing, with `error` set, for an empty host or a bad port.
std::optional<Target> split_address(std::string_view address, uint16_t default_port,
                                    OpenError& error);

// Where a session sends: the library's peer name ("udp:192.0.2.1:161")
// and, for an IPv4 agent, the address itself, from which the session's
// transport is made directly (the library would only parse the peer name
// back into it, thousands of times in a large run).
struct Peer {
  std::string spec;
  std::optional<sockaddr_in> v4;
};

// The peer of the target, with the name resolved here so that a name that
// does not resolve is told apart from every other failure.
std::optional<Peer> resolve(const Target& target, OpenError& error);

}  // namespace tng::snmp
