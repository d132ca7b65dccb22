#include "snmp_core.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>
#include <net-snmp/library/large_fd_set.h>
#include <net-snmp/library/snmpIPBaseDomain.h>
#include <net-snmp/library/snmpUDPDomain.h>
#include <netdb.h>
#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <queue>
#include <unordered_map>
#include <unordered_set>
#include <string_view>

#include "platform/faults.h"
#include "usm.h"

namespace tng::snmp {
namespace {

// The session settings of the environment, read once per process.
struct Environment {
  bool usable = true;
  long version = SNMP_VERSION_1;
  std::optional<int32_t> timeout_ms;
  std::optional<int32_t> retries;
};

std::optional<int32_t> whole_number(const char* text, int32_t lo, int32_t hi) {
  std::string_view s(text);
  int32_t value = 0;
  auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || error != std::errc{} || end != s.data() + s.size() || value < lo || value > hi)
    return std::nullopt;
  return value;
}

Environment read_environment() {
  Environment env;
  if (const char* v = std::getenv("ORX_SNMP_VERSION"); v && *v) {
    if (std::string_view(v) == "2c") {
      env.version = SNMP_VERSION_2c;
    } else if (std::string_view(v) != "1") {
      std::fprintf(stderr, "ORX_SNMP_VERSION must be 1 or 2c, not '%s': no SNMP session is opened\n", v);
      env.usable = false;
    }
  }
  struct Limit {
    const char* name;
    int32_t lo, hi;
    std::optional<int32_t>& into;
  };
  const Limit limits[] = {
      {"ORX_SNMP_TIMEOUT_MS", 1, 3'600'000, env.timeout_ms},
      {"ORX_SNMP_RETRIES", 0, 100, env.retries},
  };
  for (const Limit& limit : limits) {
    const char* v = std::getenv(limit.name);
    if (!v) continue;
    limit.into = whole_number(v, limit.lo, limit.hi);
    if (!limit.into) {
      std::fprintf(stderr, "%s must be a whole number from %d to %d, not '%s': no SNMP session is opened\n",
                   limit.name, limit.lo, limit.hi, v);
      env.usable = false;
    }
  }
  return env;
}

const Environment& environment() {
  static const Environment env = read_environment();
  return env;
}

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

struct Target {
  std::string host;
  uint16_t port;
};

// "host", "host:port", "[v6]:port" or a bare IPv6 literal.
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
std::optional<Peer> resolve(const Target& target, OpenError& error) {
  const std::string port = std::to_string(target.port);
  const auto ipv4 = [&](const in_addr& address, std::string text) {
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
    auto* in6 = reinterpret_cast<const sockaddr_in6*>(pick->ai_addr);
    inet_ntop(AF_INET6, &in6->sin6_addr, text, sizeof text);
    return Peer{"udp6:[" + std::string(text) + "]:" + port, std::nullopt};
  }
  error = OpenError::host_not_found;
  return std::nullopt;
}

Value take_value(const netsnmp_variable_list& v) {
  Value value;
  value.tag = v.type;
  switch (v.type) {
    case ASN_INTEGER:
      value.number = static_cast<uint64_t>(static_cast<int64_t>(*v.val.integer));
      break;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
      value.number = static_cast<uint32_t>(*v.val.integer);
      break;
    case ASN_COUNTER64:
      value.number = (static_cast<uint64_t>(v.val.counter64->high) << 32) | v.val.counter64->low;
      break;
    case ASN_OCTET_STR:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
    case ASN_BIT_STR:
      if (v.val.string) value.bytes.assign(v.val.string, v.val.string + v.val_len);
      break;
    case ASN_OBJECT_ID:
      if (v.val.objid) value.object.assign(v.val.objid, v.val.objid + v.val_len / sizeof(oid));
      break;
    default:
      break;  // null and the exception values carry nothing
  }
  return value;
}


bool is_exception(uint8_t tag) {
  return tag == tag_no_such_object || tag == tag_no_such_instance || tag == tag_end_of_mib_view;
}

Reply take_reply(const netsnmp_pdu& answer) {
  Reply reply;
  reply.error_status = static_cast<int32_t>(answer.errstat);
  reply.error_index = static_cast<int32_t>(answer.errindex);
  int32_t index = 0;
  for (const netsnmp_variable_list* v = answer.variables; v; v = v->next_variable) {
    ++index;
    VarBind binding;
    binding.name.assign(v->name, v->name + v->name_length);
    binding.value = take_value(*v);
    if (reply.error_status == 0 && is_exception(binding.value.tag)) {
      reply.error_status = error_no_such_name;
      reply.error_index = index;
    }
    reply.bindings.push_back(std::move(binding));
  }
  return reply;
}

constexpr int32_t max_window = 65536;
// Descriptors kept for everything but the sessions: the repository, the
// log, the temporary files, a child's pipes.
constexpr rlim_t spare_descriptors = 64;

// A fault counted by call number must hit the same device whether or not
// the tool asks ahead, so a fault injected into any operation of either SNMP
// interface means one device at a time.
bool faults_name_snmp() {
  constexpr std::string_view operations[] = {
#define TNG_FAULT(name) #name,
#include "platform/snmp_faults.def"
#undef TNG_FAULT
  };
  return std::any_of(std::begin(operations), std::end(operations), tng::faults::named);
}

// Raises the soft open-file limit towards `needed` descriptors, as far as
// the hard limit allows; the limit then in force, nothing when it cannot be
// read.
std::optional<rlimit> open_files_for(rlim_t needed) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return std::nullopt;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit;
}

// How many exchanges the carriers that fit under the open-file limit hold,
// once the soft limit is raised for the carriers of `wanted` exchanges
// (every `exchanges_per_carrier` under way take one socket): `wanted` when
// all fit. `limit` is the limit in force, nothing when it cannot be read
// (then `fit` is `wanted`).
struct Fit {
  rlim_t fit;
  std::optional<rlim_t> limit;
};
Fit exchanges_that_fit(rlim_t wanted) {
  const rlim_t per_carrier = exchanges_per_carrier;
  const rlim_t needed = (wanted + per_carrier - 1) / per_carrier + spare_descriptors;
  const std::optional<rlimit> limit = open_files_for(needed);
  if (!limit) return {wanted, std::nullopt};
  if (limit->rlim_cur == RLIM_INFINITY || limit->rlim_cur >= needed) return {wanted, limit->rlim_cur};
  const rlim_t carriers = limit->rlim_cur > spare_descriptors ? limit->rlim_cur - spare_descriptors : 0;
  return {carriers * per_carrier, limit->rlim_cur};
}

// Raises the soft open-file limit as far as the hard limit allows and
// shrinks the window to what then fits, saying so on stderr.
int fit_open_files(int wanted, int sessions_per_device) {
  if (wanted <= 1) return wanted;
  const auto per_device = static_cast<rlim_t>(sessions_per_device);
  const rlim_t exchanges = static_cast<rlim_t>(wanted) * per_device;
  const Fit room = exchanges_that_fit(exchanges);
  if (room.fit >= exchanges) return wanted;
  const int fits = static_cast<int>(std::clamp<rlim_t>(room.fit / per_device, 1, max_window));
  std::fprintf(stderr,
               "SNMP window of %d devices lowered to %d: the open-file limit is %llu\n", wanted,
               fits, static_cast<unsigned long long>(*room.limit));
  return fits;
}

// The devices that may be in flight once the window grows: raises the soft
// open-file limit further (as far as the hard limit allows) for the
// carriers of `max_in_flight` devices and counts what then fits, at the
// smallest number of exchanges a carrier holds.
std::size_t fit_in_flight(int window, int sessions_per_device) {
  if (window <= 1) return 1;
  const auto per_device = static_cast<rlim_t>(sessions_per_device);
  const Fit room = exchanges_that_fit(static_cast<rlim_t>(max_in_flight) * per_device);
  if (!room.limit) return static_cast<std::size_t>(window);
  return std::clamp<std::size_t>(static_cast<std::size_t>(room.fit / per_device),
                                 static_cast<std::size_t>(window), max_in_flight);
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

// One net-snmp session and its UDP socket. A shared carrier names no agent:
// each request carries its agent's address, so asking a device costs a
// datagram each way rather than a socket of its own. Its requests are kept
// by the poller (the library builds and reads the messages); a carrier of a
// session's own leaves its requests to the library, which keeps them with
// their time-outs and resends, and knows which session each request id
// belongs to.
struct Carrier {
  void* handle = nullptr;
  int socket = -1;
  CarrierSettings settings;
  bool shared = true;
  // The exchanges it may hold under way: what its receive buffer holds the
  // answers of while the tool is busy elsewhere.
  int capacity = exchanges_per_carrier;
  // The exchanges that hold a place: under way, or dropped (their sessions
  // ended) and not yet timed out, as their answers may still come.
  int outstanding = 0;
  // A carrier of a session's own: its exchange, by the library's request id.
  std::unordered_map<long, Session*> exchanges;
  bool closing = false;
  // A carrier of a session's own: when the library next wants to resend or
  // give up (a bound: it may come early, never late).
  std::chrono::steady_clock::time_point deadline{};

  Carrier() = default;
  Carrier(const Carrier&) = delete;
  Carrier& operator=(const Carrier&) = delete;
  ~Carrier() {
    // Closing drops the requests the library still holds; it tells each one
    // as timed out, which is news to nobody.
    closing = true;
    if (handle != nullptr) snmp_sess_close(handle);
  }

  bool has_room() const { return outstanding < capacity; }

  // Asks the library when its next timer is due.
  void refresh_deadline() {
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
    deadline = block ? now + std::chrono::hours(1)
                     : now + std::chrono::seconds(left.tv_sec) +
                           std::chrono::microseconds(left.tv_usec);
  }

  // Opens a carrier with the settings: to `peer` (a library peer name), or
  // naming no agent when `peer` is null. Null when the library refuses.
  static std::unique_ptr<Carrier> open(const CarrierSettings& settings, const char* peer) {
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
      struct netsnmp_ep endpoint{};
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
};

namespace {

// A request on a shared carrier, kept until its answer or its last
// time-out: the message as built, sent again unchanged for each retry, and
// what it takes to time it. About a hundred bytes and the message (some 50).
struct Pending {
  Session* session;  // null once dropped: its session ended
  Carrier* carrier;
  sockaddr_in agent;
  std::chrono::steady_clock::time_point deadline;
  int32_t retries_left;
  uint32_t length;
  std::unique_ptr<u_char[]> message;
};

// When a pending request is next due: resent or given up.
struct Due {
  std::chrono::steady_clock::time_point at;
  long id;
  bool operator>(const Due& other) const { return at > other.at; }
};

// A request of `type` for the values of `names`; null when it cannot be made.
netsnmp_pdu* question(uint8_t type, const std::vector<Oid>& names) {
  netsnmp_pdu* pdu = snmp_pdu_create(type);
  if (!pdu) return nullptr;
  for (const Oid& name : names) {
    std::vector<oid> ids(name.begin(), name.end());
    snmp_add_null_var(pdu, ids.data(), ids.size());
  }
  return pdu;
}

// The message of `pdu` as the carrier's session builds it; nothing when the
// library cannot build it.
std::optional<std::pair<std::unique_ptr<u_char[]>, uint32_t>> build_message(void* handle,
                                                                            netsnmp_pdu* pdu) {
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

// Sends a message to its agent. The socket does not block: a send buffer
// still full of requests an agent has not read yet is waited out (for a
// second at most), as a request must not be lost on the way out.
bool transmit(int socket, const sockaddr_in& agent, const u_char* message, uint32_t length) {
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

}  // namespace

// Waits on every carrier with exchanges under way.
class Poller {
 public:
  using Clock = std::chrono::steady_clock;

  // Never destroyed: sessions a caller never ended are closed at exit,
  // after every other static is gone, and still tell the poller. The idle
  // shared carriers stay open until the process ends, for the next
  // exchanges.
  static Poller& instance() {
    static Poller* const poller = new Poller;
    return *poller;
  }

  // A shared carrier with room for one more exchange with the settings,
  // opened when none has room; null when the library refuses a new one.
  Carrier* carrier_for(const CarrierSettings& settings) {
    if (last_ != nullptr && last_->has_room() && last_->settings == settings) return last_;
    for (const auto& carrier : shared_)
      if (carrier->has_room() && carrier->settings == settings) return last_ = carrier.get();
    auto carrier = Carrier::open(settings, nullptr);
    if (!carrier) return nullptr;
    shared_.push_back(std::move(carrier));
    return last_ = shared_.back().get();
  }

  // Sends a session's request on a shared carrier, kept here until its
  // answer or its last time-out. False when it could not be sent.
  bool send_shared(Session& session, uint8_t pdu_type, const std::vector<Oid>& names) {
    Carrier* carrier = carrier_for(session.settings_);
    if (carrier == nullptr) return false;
    netsnmp_pdu* pdu = question(pdu_type, names);
    if (!pdu) return false;
    const std::string& community = session.settings_.community;
    pdu->version = session.settings_.version;
    pdu->community = static_cast<u_char*>(std::malloc(community.size() + 1));
    if (pdu->community) {
      std::memcpy(pdu->community, community.c_str(), community.size() + 1);
      pdu->community_len = community.size();
    }
    pdu->reqid = snmp_get_next_reqid();
    pdu->msgid = snmp_get_next_msgid();
    const long id = pdu->reqid;
    auto built = pdu->community ? build_message(carrier->handle, pdu) : std::nullopt;
    snmp_free_pdu(pdu);
    if (!built) return false;
    const Clock::time_point now = Clock::now();
    Pending pending{&session,
                    carrier,
                    *session.agent_,
                    now + std::chrono::microseconds(session.settings_.timeout_us),
                    session.settings_.retries,
                    built->second,
                    std::move(built->first)};
    if (!transmit(carrier->socket, pending.agent, pending.message.get(), pending.length))
      return false;
    due_.push({pending.deadline, id});
    pending_.emplace(id, std::move(pending));
    if (carrier->outstanding++ == 0) busy_.push_back(carrier);
    under_way(session, carrier, id, now);
    return true;
  }

  // Every bookkeeping step is constant time per exchange: a window of
  // thousands of exchanges must not cost a scan of all of them for each
  // answer. A session knows whether it counts among those under way and the
  // ticket of its unclaimed settlement (a ticket whose session was claimed
  // or ended is skipped when its turn comes).
  void under_way(Session& session, Carrier* carrier, long request_id, Clock::time_point now) {
    session.carrier_ = carrier;
    session.request_id_ = request_id;
    session.tracked_ = true;
    ++live_;
    fresh_.insert(request_id);
    // An exchange on a carrier of its own stays fresh until it is settled:
    // its socket is a descriptor of its own, so the window bounds how many
    // such devices are in flight.
    if (carrier->shared) sent_order_.emplace_back(now, request_id);
  }

  void settled(Session* session) {
    fresh_.erase(session->request_id_);
    session->carrier_ = nullptr;
    untrack(session);
    session->ticket_ = ++last_ticket_;
    unclaimed_.emplace(session->ticket_, session);
    settled_.push_back(session->ticket_);
  }

  void forget(Session* session) {
    untrack(session);
    claim(session);
  }

  // The exchange of an ending session is no longer wanted. On a shared
  // carrier it keeps its place until its time-out (its answer may still
  // come) and is never sent again; a session's own carrier ends with it.
  void drop(Session& session) {
    fresh_.erase(session.request_id_);
    Carrier* carrier = session.carrier_;
    session.carrier_ = nullptr;
    if (!carrier->shared) {
      carrier->exchanges.erase(session.request_id_);
      return;
    }
    if (auto found = pending_.find(session.request_id_); found != pending_.end())
      found->second.session = nullptr;
  }

  void wait_for(Session& session) {
    while (session.under_way()) step(0);
    claim(&session);
  }

  Session* wait_any(std::size_t fresh_below) {
    for (;;) {
      while (!settled_.empty()) {
        const uint64_t ticket = settled_.front();
        settled_.pop_front();
        auto found = unclaimed_.find(ticket);
        if (found == unclaimed_.end()) continue;  // claimed or ended meanwhile
        Session* first = found->second;
        unclaimed_.erase(found);
        first->ticket_ = 0;
        return first;
      }
      if (live_ == 0) return nullptr;
      if (fresh_below > 0 && fresh() < fresh_below) return nullptr;
      step(fresh_below);
    }
  }

  std::size_t fresh() {
    age(Clock::now());
    return fresh_.size();
  }

  // SNMPv3: a session whose request waits for its agent's engine counts
  // among those under way, with no exchange yet.
  void awaits_engine(Session& session) {
    session.request_id_ = 0;
    session.tracked_ = true;
    ++live_;
  }

  // SNMPv3: the session's request went out on a carrier that leaves it to
  // the library (after its engine was found out, if it waited for it).
  void sent_v3(Session& session, Carrier* carrier, long request_id) {
    untrack(&session);
    under_way(session, carrier, request_id, Clock::now());
  }

  // Stops watching a session's own carrier as it closes.
  void stop_watching(Carrier* carrier) { std::erase(busy_, carrier); }

  // Starts watching a session's own carrier that has just been given its
  // exchange.
  void sent_on(Carrier* carrier) {
    const auto due = Clock::now() + std::chrono::microseconds(carrier->settings.timeout_us);
    if (carrier->outstanding == 0) {
      carrier->deadline = due;
      // A v3 question may go out from the answer of an engine discovery,
      // on a carrier that this round still watches.
      if (std::find(busy_.begin(), busy_.end(), carrier) == busy_.end()) busy_.push_back(carrier);
    } else {
      carrier->deadline = std::min(carrier->deadline, due);
    }
    ++carrier->outstanding;
  }

 private:
  void untrack(Session* session) {
    if (!session->tracked_) return;
    session->tracked_ = false;
    --live_;
  }

  void claim(Session* session) {
    if (session->ticket_ == 0) return;
    unclaimed_.erase(session->ticket_);
    session->ticket_ = 0;
    if (unclaimed_.empty()) settled_.clear();
  }

  // Exchanges sent `fresh_for` ago or longer are no longer fresh.
  void age(Clock::time_point now) {
    while (!sent_order_.empty() && sent_order_.front().first + fresh_for <= now) {
      fresh_.erase(sent_order_.front().second);
      sent_order_.pop_front();
    }
    if (fresh_.empty()) sent_order_.clear();
  }

  // A pending request is answered (`answer`) or has run out of retries.
  void settle(std::unordered_map<long, Pending>::iterator found, const netsnmp_pdu* answer) {
    Session* session = found->second.session;
    --found->second.carrier->outstanding;
    pending_.erase(found);
    if (session == nullptr) return;  // dropped
    if (answer != nullptr && answer->command != SNMP_MSG_REPORT)
      session->reply_ = take_reply(*answer);
    settled(session);
  }

  // Reads every datagram already on a shared carrier's socket and settles
  // the requests they answer. A datagram that answers no pending request of
  // this carrier (a late or a foreign one) is read and ignored.
  void receive(Carrier* carrier) {
    for (;;) {
      const ssize_t length = ::recv(carrier->socket, inbox_.data(), inbox_.size(), 0);
      if (length < 0) {
        if (errno == EINTR) continue;
        return;
      }
      auto* answer = static_cast<netsnmp_pdu*>(std::calloc(1, sizeof(netsnmp_pdu)));
      if (answer == nullptr) continue;
      if (snmp_parse(static_cast<struct session_list*>(carrier->handle),
                     snmp_sess_session(carrier->handle), answer, inbox_.data(),
                     static_cast<size_t>(length)) == 0 &&
          (answer->command == SNMP_MSG_RESPONSE || answer->command == SNMP_MSG_REPORT)) {
        auto found = pending_.find(answer->reqid);
        if (found != pending_.end() && found->second.carrier == carrier) settle(found, answer);
      }
      snmp_free_pdu(answer);
    }
  }

  // Resends or gives up the pending requests whose time-outs are due.
  void expire(Clock::time_point now) {
    while (!due_.empty() && due_.top().at <= now) {
      const Due due = due_.top();
      due_.pop();
      auto found = pending_.find(due.id);
      if (found == pending_.end() || found->second.deadline != due.at) continue;  // settled or resent
      Pending& pending = found->second;
      if (pending.session == nullptr || pending.retries_left == 0) {
        settle(found, nullptr);
        continue;
      }
      --pending.retries_left;
      pending.deadline = now + std::chrono::microseconds(pending.carrier->settings.timeout_us);
      // A resend that cannot go out is as lost as one the network drops:
      // the next time-out resends or gives up.
      (void)transmit(pending.carrier->socket, pending.agent, pending.message.get(),
                     pending.length);
      due_.push({pending.deadline, due.id});
    }
  }

  // One round: wait until a socket is readable, a timer is due or (when
  // the caller waits for fewer than `fresh_below` fresh exchanges) the
  // oldest fresh exchange stops being fresh; read every answer already
  // there, and only then let the due timers resend or give up, so that an
  // answer that arrived while the tool was busy elsewhere counts.
  void step(std::size_t fresh_below) {
    using namespace std::chrono;
    const auto now = Clock::now();
    auto first_due = Clock::time_point::max();
    if (!due_.empty()) first_due = due_.top().at;
    if (fresh_below > 0 && !sent_order_.empty())
      first_due = std::min(first_due, sent_order_.front().first + fresh_for);
    polled_.clear();
    for (Carrier* c : busy_) {
      if (!c->shared) first_due = std::min(first_due, c->deadline);
      polled_.push_back({c->socket, POLLIN, 0});
    }
    int wait_ms = 0;
    if (first_due > now)
      wait_ms = static_cast<int>(std::min<long long>(
          ceil<milliseconds>(first_due - now).count(), 3'600'000));
    // A failed wait (a signal) reads nothing; the timers below still run,
    // so every exchange comes to an end.
    const int ready = std::max(::poll(polled_.data(), polled_.size(), wait_ms), 0);

    const std::vector<Carrier*> round(busy_.begin(), busy_.end());
    if (ready > 0) {
      netsnmp_large_fd_set readable;
      netsnmp_large_fd_set_init(&readable, FD_SETSIZE);
      NETSNMP_LARGE_FD_ZERO(&readable);
      for (const pollfd& p : polled_)
        if (p.revents != 0) NETSNMP_LARGE_FD_SET(p.fd, &readable);
      for (std::size_t i = 0; i < round.size(); ++i) {
        if (polled_[i].revents == 0) continue;
        Carrier* c = round[i];
        if (c->shared) {
          receive(c);
          continue;
        }
        // One datagram a read; the socket does not block, so a read of an
        // empty one fails and ends the loop. A bound in any case: each
        // request can be answered once.
        for (int reads = c->outstanding + 1; reads > 0 && c->outstanding > 0; --reads)
          if (snmp_sess_read2(c->handle, &readable) != 0) break;
      }
      netsnmp_large_fd_set_cleanup(&readable);
    }
    const auto after = Clock::now();
    for (Carrier* c : round) {
      if (c->shared || c->outstanding == 0 || c->deadline > after) continue;
      snmp_sess_timeout(c->handle);
      if (c->outstanding > 0) c->refresh_deadline();
    }
    expire(after);
    std::erase_if(busy_, [](const Carrier* c) { return c->outstanding == 0; });
  }

  std::vector<std::unique_ptr<Carrier>> shared_;
  Carrier* last_ = nullptr;        // the shared carrier the latest exchange went on
  std::vector<Carrier*> busy_;     // carriers holding requests, shared or not
  std::size_t live_ = 0;           // the sessions under way
  std::deque<uint64_t> settled_;   // tickets, in the order the exchanges settled
  std::unordered_map<uint64_t, Session*> unclaimed_;
  uint64_t last_ticket_ = 0;
  std::vector<pollfd> polled_;
  // The shared carriers' requests, by request id, and their time-outs,
  // soonest first (an entry whose request was answered or resent since is
  // skipped when its turn comes).
  std::unordered_map<long, Pending> pending_;
  std::priority_queue<Due, std::vector<Due>, std::greater<>> due_;
  // The fresh exchanges by request id, and every exchange in the order it
  // was sent, until it is no longer fresh.
  std::unordered_set<long> fresh_;
  std::deque<std::pair<Clock::time_point, long>> sent_order_;
  std::vector<u_char> inbox_ = std::vector<u_char>(65536);
};

// --- SNMPv3 ----------------------------------------------------------------
//
// Every request names its agent's engine. The engine of an agent is found
// out once per run (the library's own discovery would block and ask the
// shared socket's address): the first session that asks the agent sends
// a discovery request, those that come meanwhile wait with it, and all of
// them go once the agent's report names its engine. A discovery that gets
// no answer settles its waiting sessions unanswered, like a question that
// gets none, and the next question to the agent tries again.
namespace {

struct AgentEngine {
  enum class State { unknown, discovering, known };
  State state = State::unknown;
  EngineId id;
  std::vector<Session*> waiting;
};

// By the agent's peer name. Never destroyed: sessions a caller never ended
// end after every other static.
std::unordered_map<std::string, AgentEngine>& agent_engines() {
  static auto* const engines = new std::unordered_map<std::string, AgentEngine>;
  return *engines;
}

// What the library hands back with each event of a v3 request. An agent
// that cannot read a request (an unknown user, a wrong key) reports with
// no request id, so the exchange is found through its ticket.
struct V3Ticket {
  Carrier* carrier;
  bool discovery;  // an engine discovery, else a question
  std::string agent;
  std::shared_ptr<Security> security;
  long request_id = 0;
  bool sent = false;  // the library holds the request; its last event frees the ticket
};

void stop_awaiting_engine(Session* session, const std::string& agent) {
  auto found = agent_engines().find(agent);
  if (found != agent_engines().end()) std::erase(found->second.waiting, session);
}

// The agent as a refusal names it: its peer name without the transport.
std::string_view agent_text(std::string_view peer) {
  const auto colon = peer.find(':');
  return colon == std::string_view::npos ? peer : peer.substr(colon + 1);
}

// Names the IPv4 agent a request on a shared carrier goes to; the library
// frees it with the request.
bool address_request(netsnmp_pdu* pdu, const std::optional<sockaddr_in>& agent) {
  if (!agent) return true;
  auto* to = static_cast<netsnmp_indexed_addr_pair*>(std::calloc(1, sizeof(netsnmp_indexed_addr_pair)));
  if (!to) return false;
  to->remote_addr.sin = *agent;
  pdu->transport_data = to;
  pdu->transport_data_length = sizeof(netsnmp_indexed_addr_pair);
  return true;
}

// Sends `pdu` on the carrier with a ticket; the request id, or 0 when it
// could not be sent (the pdu is freed then).
long send_with_ticket(Carrier* carrier, netsnmp_pdu* pdu, std::unique_ptr<V3Ticket> ticket,
                      int (*callback)(int, ::snmp_session*, int, ::snmp_pdu*, void*)) {
  const long request_id = snmp_sess_async_send(carrier->handle, pdu, callback, ticket.get());
  if (request_id == 0) {
    snmp_free_pdu(pdu);
    return 0;
  }
  ticket->request_id = request_id;
  ticket->sent = true;
  ticket.release();
  Poller::instance().sent_on(carrier);
  return request_id;
}

}  // namespace

Session::Session(CarrierSettings settings, std::optional<sockaddr_in> agent,
                 std::unique_ptr<Carrier> own)
    : settings_(std::move(settings)), agent_(agent), own_(std::move(own)) {}

std::unique_ptr<Session> Session::open(const std::string& address, uint16_t default_port,
                                       const std::string& community, Timing timing,
                                       OpenError& error) {
  error = OpenError::none;
  const Environment& env = environment();
  if (!env.usable) {
    error = OpenError::bad_setting;
    return nullptr;
  }
  auto target = split_address(address, default_port, error);
  if (!target) return nullptr;
  auto peer = resolve(*target, error);
  if (!peer) return nullptr;

  std::shared_ptr<Security> security;
  if (resolve_community(community, security) == CommunityKind::refused) {
    error = OpenError::bad_setting;
    return nullptr;
  }
  CarrierSettings settings{security ? SNMP_VERSION_3 : env.version, community,
                           static_cast<long>(env.timeout_ms.value_or(timing.timeout_ms)) * 1000L,
                           env.retries.value_or(timing.retries), security};
  std::unique_ptr<Carrier> own;
  if (peer->v4) {
    // A session the library refuses is told now, not at the first send.
    if (Poller::instance().carrier_for(settings) == nullptr) {
      error = OpenError::transport;
      return nullptr;
    }
  } else {
    own = Carrier::open(settings, peer->spec.c_str());
    if (!own) {
      error = OpenError::transport;
      return nullptr;
    }
  }
  std::unique_ptr<Session> session(new Session(std::move(settings), peer->v4, std::move(own)));
  if (security) session->engine_key_ = peer->spec;
  return session;
}

Session::~Session() {
  Poller& poller = Poller::instance();
  if (awaiting_engine_) stop_awaiting_engine(this, engine_key_);
  poller.forget(this);
  if (carrier_ != nullptr) poller.drop(*this);
  if (own_) poller.stop_watching(own_.get());
}

std::optional<Reply> Session::request(uint8_t pdu_type, const std::vector<Oid>& names) {
  if (!send(pdu_type, names)) return std::nullopt;
  Poller::instance().wait_for(*this);
  return reply_;
}

bool Session::send(uint8_t pdu_type, const std::vector<Oid>& names) {
  reply_.reset();
  if (under_way()) return false;
  if (settings_.security) return send_v3(pdu_type, names);
  Poller& poller = Poller::instance();
  if (!own_) return poller.send_shared(*this, pdu_type, names);
  Carrier* carrier = own_.get();
  netsnmp_pdu* pdu = question(pdu_type, names);
  if (!pdu) return false;
  const long request_id = snmp_sess_async_send(carrier->handle, pdu, &Session::on_event, carrier);
  if (request_id == 0) {
    snmp_free_pdu(pdu);  // the library keeps only what it sent
    return false;
  }
  carrier->exchanges.emplace(request_id, this);
  poller.sent_on(carrier);
  poller.under_way(*this, carrier, request_id, std::chrono::steady_clock::now());
  return true;
}

int Session::on_event(int operation, ::snmp_session*, int request_id, ::snmp_pdu* pdu,
                      void* magic) {
  auto* carrier = static_cast<Carrier*>(magic);
  if (carrier->closing) return 1;
  // A resend (or a connection step) is news, not the end of the exchange.
  if (operation == NETSNMP_CALLBACK_OP_RESEND || operation == NETSNMP_CALLBACK_OP_CONNECT) return 1;
  if (carrier->outstanding > 0) --carrier->outstanding;
  auto found = carrier->exchanges.find(request_id);
  if (found == carrier->exchanges.end()) return 1;  // its session ended
  Session* session = found->second;
  carrier->exchanges.erase(found);
  if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && pdu && pdu->command != SNMP_MSG_REPORT)
    session->reply_ = take_reply(*pdu);
  Poller::instance().settled(session);
  return 1;
}

bool Session::send_v3(uint8_t pdu_type, const std::vector<Oid>& names) {
  pending_type_ = pdu_type;
  pending_names_ = names;
  AgentEngine& engine = agent_engines()[engine_key_];
  if (engine.state == AgentEngine::State::known) return dispatch_v3();
  if (engine.state == AgentEngine::State::unknown) {
    Poller& poller = Poller::instance();
    Carrier* carrier = own_ ? own_.get() : poller.carrier_for(settings_);
    if (carrier == nullptr) return false;
    // An unauthenticated request without bindings: the agent reports its
    // engine ID (and its boots and time, which the library keeps).
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_GET);
    if (!pdu) return false;
    // The empty user name: the agent's report names no user either, and
    // the library reads it through its empty user.
    pdu->securityLevel = SNMP_SEC_LEVEL_NOAUTH;
    pdu->securityName = strdup("");
    pdu->securityNameLen = 0;
    if (!pdu->securityName || !address_request(pdu, agent_)) {
      snmp_free_pdu(pdu);
      return false;
    }
    auto ticket = std::make_unique<V3Ticket>(V3Ticket{carrier, true, engine_key_, settings_.security});
    if (send_with_ticket(carrier, pdu, std::move(ticket), &Session::on_v3_event) == 0) return false;
    engine.state = AgentEngine::State::discovering;
  }
  engine.waiting.push_back(this);
  awaiting_engine_ = true;
  Poller::instance().awaits_engine(*this);
  return true;
}

bool Session::dispatch_v3() {
  const AgentEngine& engine = agent_engines()[engine_key_];
  const std::vector<Oid> names = std::move(pending_names_);
  pending_names_.clear();
  Poller& poller = Poller::instance();
  Carrier* carrier = own_ ? own_.get() : poller.carrier_for(settings_);
  if (carrier == nullptr || !localise(*settings_.security, engine.id)) return false;
  netsnmp_pdu* pdu = question(pending_type_, names);
  if (!pdu) return false;
  const auto copy = [&engine](u_char*& to, size_t& length) {
    to = static_cast<u_char*>(netsnmp_memdup(engine.id.data(), engine.id.size()));
    length = to ? engine.id.size() : 0;
    return to != nullptr;
  };
  if (!copy(pdu->securityEngineID, pdu->securityEngineIDLen) ||
      !copy(pdu->contextEngineID, pdu->contextEngineIDLen) || !address_request(pdu, agent_)) {
    snmp_free_pdu(pdu);
    return false;
  }
  auto ticket = std::make_unique<V3Ticket>(V3Ticket{carrier, false, engine_key_, settings_.security});
  const long request_id = send_with_ticket(carrier, pdu, std::move(ticket), &Session::on_v3_event);
  if (request_id == 0) return false;
  carrier->exchanges.emplace(request_id, this);
  poller.sent_v3(*this, carrier, request_id);
  return true;
}

int Session::on_v3_event(int operation, ::snmp_session*, int, ::snmp_pdu* pdu, void* magic) {
  auto* ticket = static_cast<V3Ticket*>(magic);
  // A resend, a connection step or the security error that comes before
  // the report that carries it is news, not the end of the request.
  if (operation == NETSNMP_CALLBACK_OP_RESEND || operation == NETSNMP_CALLBACK_OP_CONNECT ||
      operation == NETSNMP_CALLBACK_OP_SEC_ERROR)
    return 1;
  if (!ticket->sent) return 1;  // a send that failed: its sender still owns the ticket
  const std::unique_ptr<V3Ticket> owner(ticket);
  Carrier* carrier = ticket->carrier;
  const bool received = operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && pdu != nullptr;
  if (!carrier->closing && carrier->outstanding > 0) --carrier->outstanding;
  if (ticket->discovery) {
    discovery_ended(ticket->agent, received && !carrier->closing ? pdu : nullptr, carrier->closing);
    return 1;
  }
  if (carrier->closing) return 1;
  auto found = carrier->exchanges.find(ticket->request_id);
  if (found == carrier->exchanges.end()) return 1;  // its session ended
  Session* session = found->second;
  carrier->exchanges.erase(found);
  const Security& security = *ticket->security;
  if (received) {
    if (auto refusal = refusal_of(*pdu))
      tell_refusal(security, *refusal, agent_text(ticket->agent));
    else
      session->reply_ = take_reply(*pdu);
  } else if (operation == NETSNMP_CALLBACK_OP_TIMED_OUT && security.level == SNMP_SEC_LEVEL_AUTHPRIV) {
    // An agent that cannot decrypt a question may drop it without a word.
    tell_refusal(security,
                 "it answers engine discovery but not the question, as when it cannot decrypt "
                 "it (keys 'priv', 'priv_pass')",
                 agent_text(ticket->agent));
  }
  session->carrier_ = nullptr;
  Poller::instance().settled(session);
  return 1;
}

void Session::discovery_ended(const std::string& agent, const ::snmp_pdu* answer, bool closing) {
  AgentEngine& engine = agent_engines()[agent];
  const std::vector<Session*> waiting = std::move(engine.waiting);
  engine.waiting.clear();
  const std::optional<EngineId> id = answer ? discovered_engine(*answer) : std::nullopt;
  if (id) {
    engine.state = AgentEngine::State::known;
    engine.id = *id;
  } else {
    engine.state = AgentEngine::State::unknown;
  }
  Poller& poller = Poller::instance();
  for (Session* session : waiting) {
    session->awaiting_engine_ = false;
    // A carrier that is closing takes nothing new.
    if (id && !closing && session->dispatch_v3()) continue;
    session->pending_names_.clear();
    poller.settled(session);
  }
}

bool community_usable(const std::string& community) {
  std::shared_ptr<Security> security;
  return resolve_community(community, security) != CommunityKind::refused;
}

Session* wait_any(std::size_t fresh_below) { return Poller::instance().wait_any(fresh_below); }

std::size_t fresh() { return Poller::instance().fresh(); }

namespace {

struct WindowLimits {
  int window;
  std::size_t in_flight;
};

const WindowLimits& window_limits(int default_window, int sessions_per_device) {
  static const WindowLimits limits = [&] {
    int wanted = default_window;
    if (const char* v = std::getenv("ORX_SNMP_WINDOW")) {
      if (auto n = whole_number(v, 1, max_window)) {
        wanted = *n;
      } else {
        std::fprintf(stderr,
                     "ORX_SNMP_WINDOW must be a whole number from 1 to %d, not '%s': one device "
                     "at a time is asked\n",
                     max_window, v);
        wanted = 1;
      }
    }
    if (faults_name_snmp()) wanted = 1;
    const int per_device = std::max(sessions_per_device, 1);
    const int window = fit_open_files(wanted, per_device);
    return WindowLimits{window, fit_in_flight(window, per_device)};
  }();
  return limits;
}

}  // namespace


int window_size(int default_window, int sessions_per_device) {
  return window_limits(default_window, sessions_per_device).window;
}

std::size_t in_flight_limit(int default_window, int sessions_per_device) {
  return window_limits(default_window, sessions_per_device).in_flight;
}

}  // namespace tng::snmp
