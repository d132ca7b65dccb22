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
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <unordered_map>
#include <string_view>

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
// the tool asks ahead, so any SNMP operation named in TNG_FAULTS means one
// device at a time.
bool faults_name_snmp() {
  const char* list = std::getenv("TNG_FAULTS");
  if (!list) return false;
  const std::string_view text(list);
  for (std::string_view name : {"TNG_SNMP_", "SnmpMgr", "SnmpUtil"})
    if (text.find(name) != std::string_view::npos) return true;
  return false;
}

// Raises the soft open-file limit as far as the hard limit allows and
// shrinks the window to what then fits: every `exchanges_per_carrier`
// exchanges under way take one socket.
int fit_open_files(int wanted, int sessions_per_device) {
  if (wanted <= 1) return wanted;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
  const rlim_t per_carrier = exchanges_per_carrier;
  const rlim_t exchanges = static_cast<rlim_t>(wanted) * static_cast<rlim_t>(sessions_per_device);
  const rlim_t needed = (exchanges + per_carrier - 1) / per_carrier + spare_descriptors;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed) return wanted;
  const rlim_t carriers = limit.rlim_cur > spare_descriptors ? limit.rlim_cur - spare_descriptors : 0;
  const int fits = static_cast<int>(std::clamp<rlim_t>(
      carriers * per_carrier / static_cast<rlim_t>(sessions_per_device), 1, max_window));
  std::fprintf(stderr,
               "SNMP window of %d devices lowered to %d: the open-file limit is %llu\n", wanted,
               fits, static_cast<unsigned long long>(limit.rlim_cur));
  return fits;
}

}  // namespace

// One net-snmp session and its UDP socket. A shared carrier names no agent:
// each request carries its agent's address, so asking a device costs a
// datagram each way rather than a socket of its own. The library keeps the
// requests, their time-outs and resends; the carrier knows which session
// each request id belongs to.
struct Carrier {
  void* handle = nullptr;
  int socket = -1;
  CarrierSettings settings;
  bool shared = true;
  // Requests the library still holds, wanted or not: what the socket's
  // receive buffer must be able to hold answers for.
  int outstanding = 0;
  // The exchanges still wanted, by request id. An exchange whose session
  // ended leaves this map and is dropped when its answer or time-out comes.
  std::unordered_map<long, Session*> exchanges;
  // A carrier that holds a dropped exchange takes no new one, and is closed
  // once no wanted exchange is left on it. Until then the library may still
  // resend the dropped one: it keeps no way to withdraw a single request.
  // The tools drop exchanges only as they stop, all at once, which closes
  // every carrier before anything more is sent.
  bool retiring = false;
  bool closing = false;
  // When the library next wants to resend or give up (a bound: it may
  // come early, never late).
  std::chrono::steady_clock::time_point deadline{};

  Carrier() = default;
  Carrier(const Carrier&) = delete;
  Carrier& operator=(const Carrier&) = delete;
  ~Carrier() {
    // Closing drops the requests still held; the library tells each one as
    // timed out, which is news to nobody.
    closing = true;
    if (handle != nullptr) snmp_sess_close(handle);
  }

  bool has_room() const { return !retiring && outstanding < exchanges_per_carrier; }

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
    auto carrier = std::make_unique<Carrier>();
    carrier->settings = settings;
    carrier->shared = peer == nullptr;
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
    const netsnmp_transport* transport = snmp_sess_transport(carrier->handle);
    if (!transport || transport->sock < 0) return nullptr;
    carrier->socket = transport->sock;
    // A reclass child started while exchanges are under way must not inherit
    // (and keep open) the socket; reads stop at an empty socket instead of
    // waiting, so that one poll serves every answer already there.
    ::fcntl(carrier->socket, F_SETFD, FD_CLOEXEC);
    ::fcntl(carrier->socket, F_SETFL, ::fcntl(carrier->socket, F_GETFL) | O_NONBLOCK);
    return carrier;
  }
};

// Waits on every carrier with exchanges under way.
class Poller {
 public:
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

  // Every bookkeeping step is constant time per exchange: a window of
  // thousands of exchanges must not cost a scan of all of them for each
  // answer. A session knows whether it counts among those under way and the
  // ticket of its unclaimed settlement (a ticket whose session was claimed
  // or ended is skipped when its turn comes).
  void track(Session* session) {
    session->tracked_ = true;
    ++live_;
  }

  void settled(Session* session) {
    untrack(session);
    session->ticket_ = ++last_ticket_;
    unclaimed_.emplace(session->ticket_, session);
    settled_.push_back(session->ticket_);
  }

  void forget(Session* session) {
    untrack(session);
    claim(session);
  }

  // The exchange of an ending session is no longer wanted: a carrier left
  // with nothing wanted is closed at once (dropping what it still holds),
  // one still busy for others takes nothing new and is closed when they are
  // done.
  void drop(Carrier* carrier, long request_id) {
    carrier->exchanges.erase(request_id);
    if (!carrier->shared) return;  // the session's own carrier ends with it
    carrier->retiring = true;
    if (carrier->exchanges.empty()) close(carrier);
  }

  void wait_for(Session& session) {
    while (session.under_way()) step();
    claim(&session);
  }

  Session* wait_any() {
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
      step();
    }
  }

  // Stops watching a session's own carrier as it closes.
  void stop_watching(Carrier* carrier) { std::erase(busy_, carrier); }

  // Starts watching a carrier that has just been given an exchange.
  void sent_on(Carrier* carrier) {
    const auto due = std::chrono::steady_clock::now() +
                     std::chrono::microseconds(carrier->settings.timeout_us);
    if (carrier->outstanding == 0) {
      carrier->deadline = due;
      busy_.push_back(carrier);
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

  void close(Carrier* carrier) {
    std::erase(busy_, carrier);
    if (last_ == carrier) last_ = nullptr;
    std::erase_if(shared_, [carrier](const auto& c) { return c.get() == carrier; });
  }

  // One round: wait until a socket is readable or a timer is due, read
  // every answer already there, and only then let the due timers resend or
  // give up, so that an answer that arrived while the tool was busy
  // elsewhere counts.
  void step() {
    using namespace std::chrono;
    const auto now = steady_clock::now();
    auto first_due = steady_clock::time_point::max();
    polled_.clear();
    for (Carrier* c : busy_) {
      first_due = std::min(first_due, c->deadline);
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
        // One datagram a read; the socket does not block, so a read of an
        // empty one fails and ends the loop. A bound in any case: each
        // request can be answered once.
        Carrier* c = round[i];
        for (int reads = c->outstanding + 1; reads > 0 && c->outstanding > 0; --reads)
          if (snmp_sess_read2(c->handle, &readable) != 0) break;
      }
      netsnmp_large_fd_set_cleanup(&readable);
    }
    const auto after = steady_clock::now();
    for (Carrier* c : round) {
      if (c->outstanding == 0 || c->deadline > after) continue;
      snmp_sess_timeout(c->handle);
      if (c->outstanding > 0) c->refresh_deadline();
    }
    for (Carrier* c : round) {
      if (c->retiring && c->exchanges.empty()) {
        close(c);
      } else if (c->outstanding == 0) {
        std::erase(busy_, c);
      }
    }
  }

  std::vector<std::unique_ptr<Carrier>> shared_;
  Carrier* last_ = nullptr;        // the shared carrier the latest exchange went on
  std::vector<Carrier*> busy_;     // carriers holding requests, shared or not
  std::size_t live_ = 0;           // the sessions under way
  std::deque<uint64_t> settled_;   // tickets, in the order the exchanges settled
  std::unordered_map<uint64_t, Session*> unclaimed_;
  uint64_t last_ticket_ = 0;
  std::vector<pollfd> polled_;
};

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

  CarrierSettings settings{env.version, community,
                           static_cast<long>(env.timeout_ms.value_or(timing.timeout_ms)) * 1000L,
                           env.retries.value_or(timing.retries)};
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
  return std::unique_ptr<Session>(new Session(std::move(settings), peer->v4, std::move(own)));
}

Session::~Session() {
  Poller& poller = Poller::instance();
  poller.forget(this);
  if (under_way()) poller.drop(carrier_, request_id_);
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
  Poller& poller = Poller::instance();
  Carrier* carrier = own_ ? own_.get() : poller.carrier_for(settings_);
  if (carrier == nullptr) return false;
  netsnmp_pdu* pdu = snmp_pdu_create(pdu_type);
  if (!pdu) return false;
  for (const Oid& name : names) {
    std::vector<oid> ids(name.begin(), name.end());
    snmp_add_null_var(pdu, ids.data(), ids.size());
  }
  if (agent_) {
    // The agent this request (and each of its resends) goes to; the
    // library frees it with the request.
    auto* to = static_cast<netsnmp_indexed_addr_pair*>(std::calloc(1, sizeof(netsnmp_indexed_addr_pair)));
    if (!to) {
      snmp_free_pdu(pdu);
      return false;
    }
    to->remote_addr.sin = *agent_;
    pdu->transport_data = to;
    pdu->transport_data_length = sizeof(netsnmp_indexed_addr_pair);
  }
  const long request_id = snmp_sess_async_send(carrier->handle, pdu, &Session::on_event, carrier);
  if (request_id == 0) {
    snmp_free_pdu(pdu);  // the library keeps only what it sent
    return false;
  }
  carrier->exchanges.emplace(request_id, this);
  poller.sent_on(carrier);
  carrier_ = carrier;
  request_id_ = request_id;
  poller.track(this);
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
  session->carrier_ = nullptr;
  Poller::instance().settled(session);
  return 1;
}

Session* wait_any() { return Poller::instance().wait_any(); }

int window_size(int default_window, int sessions_per_device) {
  static const int window = [&] {
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
    return fit_open_files(wanted, std::max(sessions_per_device, 1));
  }();
  return window;
}

}  // namespace tng::snmp
