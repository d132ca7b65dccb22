#include "wire.h"

// The library's configuration comes before its other headers.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <net-snmp/library/snmpIPBaseDomain.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tng::snmp {

::snmp_pdu* question(uint8_t type, const std::vector<Oid>& names) {
  netsnmp_pdu* pdu = snmp_pdu_create(type);
  if (!pdu) return nullptr;
  for (const Oid& name : names) {
    std::vector<oid> ids(name.begin(), name.end());
    snmp_add_null_var(pdu, ids.data(), ids.size());
  }
  return pdu;
}

std::optional<std::pair<std::unique_ptr<unsigned char[]>, uint32_t>> build_message(
    void* handle, ::snmp_pdu* pdu) {
  size_t size = 256;
  size_t offset = 0;
  auto* buffer = static_cast<u_char*>(std::malloc(size));
  if (buffer == nullptr) return std::nullopt;
  // The library may grow the buffer; it is ours to free either way.
  const int rc = snmp_build(&buffer, &size, &offset, snmp_sess_session(handle), pdu);
  std::optional<std::pair<std::unique_ptr<u_char[]>, uint32_t>> built;
  if (rc == 0 && offset > 0 && offset <= size) {
#ifdef NETSNMP_USE_REVERSE_ASNENCODING
    const u_char* start = buffer + size - offset;  // built from the end backwards
#else
    const u_char* start = buffer;
#endif
    auto copy = std::make_unique<u_char[]>(offset);
    std::memcpy(copy.get(), start, offset);
    built.emplace(std::move(copy), static_cast<uint32_t>(offset));
  }
  std::free(buffer);
  return built;
}

bool transmit(int socket, const sockaddr_in& agent, const unsigned char* message, uint32_t length) {
  for (int waits = 0;;) {
    if (::sendto(socket, message, length, 0, reinterpret_cast<const sockaddr*>(&agent),
                 sizeof agent) == static_cast<ssize_t>(length))
      return true;
    if (errno == EINTR) continue;
    if ((errno != EAGAIN && errno != EWOULDBLOCK && errno != ENOBUFS) || waits++ == 100)
      return false;
    pollfd writable{socket, POLLOUT, 0};
    (void)::poll(&writable, 1, 10);
  }
}

bool address_request(::snmp_pdu* pdu, const std::optional<sockaddr_in>& agent) {
  if (!agent) return true;
  auto* to =
      static_cast<netsnmp_indexed_addr_pair*>(std::calloc(1, sizeof(netsnmp_indexed_addr_pair)));
  if (!to) return false;
  to->remote_addr.sin = *agent;
  pdu->transport_data = to;
  pdu->transport_data_length = sizeof(netsnmp_indexed_addr_pair);
  return true;
}

}  // namespace tng::snmp
