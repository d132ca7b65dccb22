// The messages on the wire: a question built for the library, a message
// encoded once and kept for its resends, a datagram sent to its agent, and
// the agent named in a request on a socket that serves many agents.
#pragma once
#include <netinet/in.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "oid_text.h"

struct snmp_pdu;

namespace tng::snmp {

// A request of `type` for the values of `names`; null when it cannot be made.
::snmp_pdu* question(uint8_t type, const std::vector<Oid>& names);

// The message of `pdu` as the session of `handle` (a library session)
// builds it; nothing when the library cannot build it.
std::optional<std::pair<std::unique_ptr<unsigned char[]>, uint32_t>> build_message(void* handle,
                                                                                   ::snmp_pdu* pdu);

// Sends a message to its agent. The socket does not block: a send buffer
// still full of requests an agent has not read yet is waited out (for a
// second at most), as a request must not be lost on the way out.
bool transmit(int socket, const sockaddr_in& agent, const unsigned char* message, uint32_t length);

// Names the IPv4 agent a request on a shared carrier goes to; the library
// frees it with the request. Nothing to name (true) without `agent`.
bool address_request(::snmp_pdu* pdu, const std::optional<sockaddr_in>& agent);

}  // namespace tng::snmp
