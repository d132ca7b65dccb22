#include "carrier.h"

#include <arpa/inet.h>
#include <fcntl.h>
// The library's configuration comes before its other headers.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <net-snmp/library/large_fd_set.h>
#include <net-snmp/library/snmpIPBaseDomain.h>
#include <net-snmp/library/snmpUDPDomain.h>
#include <sys/socket.h>

#include <algorithm>
#include <string>

#include "usm.h"

namespace tng::snmp {
namespace {

// The library is never initialised as a whole: that would load the MIB files
// and read snmp.conf. A session open sets up only what a client session needs
// (transports, request ids); these switches keep any configuration or
// persistent file out as well.
void prepare_library() {
  static const bool prepared = [] {
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_READ_CONFIGS, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_LOAD, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DISABLE_PERSISTENT_SAVE, 1);
    netsnmp_ds_set_boolean(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_DONT_LOAD_HOST_FILES, 1);
    return true;
  }();
  (void)prepared;
}

// What a shared carrier's receive buffer is taken to need per answer that
// may arrive while the tool is busy elsewhere: 64 fit the default buffer.
constexpr int answer_room = 212992 / exchanges_per_carrier;

// Asks for socket buffers that hold the answers (and, on the way to an agent
// that has not read them yet, the requests) of `max_exchanges_per_carrier`
// exchanges, and returns how many exchanges the receive buffer it got holds:
// the system may give less than asked (net.core.rmem_max).
int size_buffers(int socket) {
  const int wanted = max_exchanges_per_carrier * answer_room / 2;  // the kernel doubles it
  (void)::setsockopt(socket, SOL_SOCKET, SO_RCVBUF, &wanted, sizeof wanted);
  (void)::setsockopt(socket, SOL_SOCKET, SO_SNDBUF, &wanted, sizeof wanted);
  int got = 0;
  socklen_t size = sizeof got;
  if (::getsockopt(socket, SOL_SOCKET, SO_RCVBUF, &got, &size) != 0) return exchanges_per_carrier;
  return std::clamp(got / answer_room, exchanges_per_carrier, max_exchanges_per_carrier);
}

}  // namespace

Carrier::~Carrier() {
  closing = true;
  if (handle != nullptr) snmp_sess_close(handle);
}

void Carrier::refresh_deadline() {
  netsnmp_large_fd_set unused;
  netsnmp_large_fd_set_init(&unused, FD_SETSIZE);
  int descriptors = 0;
  int block = 1;
  timeval left{0, 0};
  snmp_sess_select_info2(handle, &descriptors, &unused, &left, &block);
  netsnmp_large_fd_set_cleanup(&unused);
  const auto now = std::chrono::steady_clock::now();
  // Without a pending timer the library has nothing left to resend; an
  // hour is only a bound for the wait, never reached while a request is
  // held.
  deadline =
      block ? now + std::chrono::hours(1)
            : now + std::chrono::seconds(left.tv_sec) + std::chrono::microseconds(left.tv_usec);
}

std::unique_ptr<Carrier> Carrier::open(const CarrierSettings& settings, const char* peer) {
  prepare_library();
  netsnmp_session session;
  snmp_sess_init(&session);
  session.version = settings.version;
  std::string community = settings.community;
  session.community = reinterpret_cast<u_char*>(community.data());
  session.community_len = community.size();
  session.timeout = settings.timeout_us;
  session.retries = settings.retries;
  if (settings.security) configure_session(session, *settings.security);
  auto carrier = std::make_unique<Carrier>();
  carrier->settings = settings;
  // A v3 carrier leaves its requests to the library (engine discovery,
  // keys, reports), even when it names each request's agent.
  carrier->shared = peer == nullptr && !settings.security;
  if (peer == nullptr) {
    // The transport's own remote address is never used: every request
    // names its agent.
    struct netsnmp_ep endpoint {};
    endpoint.a.sin.sin_family = AF_INET;
    endpoint.a.sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    endpoint.a.sin.sin_port = htons(agent_port);
    // The library takes the transport over, and frees it when the session
    // cannot be added.
    if (netsnmp_transport* transport = netsnmp_udp_transport(&endpoint, 0))
      carrier->handle = snmp_sess_add(&session, transport, nullptr, nullptr);
  } else {
    session.peername = const_cast<char*>(peer);
    carrier->handle = snmp_sess_open(&session);
  }
  if (carrier->handle == nullptr) return nullptr;
  // Opening clears the flag that keeps the library from finding an
  // engine for the session itself: set it again for the first send.
  if (settings.security) snmp_sess_session(carrier->handle)->flags |= SNMP_FLAGS_DONT_PROBE;
  const netsnmp_transport* transport = snmp_sess_transport(carrier->handle);
  if (!transport || transport->sock < 0) return nullptr;
  carrier->socket = transport->sock;
  // A reclass child started while exchanges are under way must not inherit
  // (and keep open) the socket; reads stop at an empty socket instead of
  // waiting, so that one poll serves every answer already there.
  ::fcntl(carrier->socket, F_SETFD, FD_CLOEXEC);
  ::fcntl(carrier->socket, F_SETFL, ::fcntl(carrier->socket, F_GETFL) | O_NONBLOCK);
  if (carrier->shared) carrier->capacity = size_buffers(carrier->socket);
  return carrier;
}

}  // namespace tng::snmp
