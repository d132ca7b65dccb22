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
// shrinks the window to what then fits.
int fit_open_files(int wanted, int sessions_per_device) {
  if (wanted <= 1) return wanted;
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return wanted;
  const rlim_t needed = static_cast<rlim_t>(wanted) * static_cast<rlim_t>(sessions_per_device) +
                        spare_descriptors;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur >= needed) return wanted;
  const rlim_t room = limit.rlim_cur > spare_descriptors ? limit.rlim_cur - spare_descriptors : 0;
  const int fits = static_cast<int>(std::max<rlim_t>(room / static_cast<rlim_t>(sessions_per_device), 1));
  std::fprintf(stderr,
               "SNMP window of %d devices lowered to %d: the open-file limit is %llu\n", wanted,
               fits, static_cast<unsigned long long>(limit.rlim_cur));
  return fits;
}

}  // namespace

// Waits on every session with an exchange under way.
class Poller {
 public:
  // Never destroyed: sessions a caller never ended are closed at exit,
  // after every other static is gone, and still tell the poller.
  static Poller& instance() {
    static Poller* const poller = new Poller;
    return *poller;
  }

  // Every bookkeeping step is constant time per exchange: a window of
  // thousands of sessions must not cost a scan of all of them for each
  // answer. A session knows its place among those under way (a departed one
  // leaves a hole, dropped at the next round so that the others keep their
  // order) and the ticket of its unclaimed settlement (a ticket whose
  // session was claimed or ended is skipped when its turn comes).
  void track(Session* session) {
    session->slot_ = under_way_.size();
    under_way_.push_back(session);
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

  void wait_for(Session& session) {
    while (session.under_way_) step();
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

 private:
  static constexpr std::size_t no_slot = static_cast<std::size_t>(-1);

  void untrack(Session* session) {
    if (session->slot_ == no_slot) return;
    under_way_[session->slot_] = nullptr;
    session->slot_ = no_slot;
    --live_;
    if (live_ == 0) under_way_.clear();
  }

  void claim(Session* session) {
    if (session->ticket_ == 0) return;
    unclaimed_.erase(session->ticket_);
    session->ticket_ = 0;
    if (unclaimed_.empty()) settled_.clear();
  }

  // Drops the holes the sessions that left have made, keeping the order.
  void compact() {
    if (live_ == under_way_.size()) return;
    std::size_t kept = 0;
    for (Session* s : under_way_) {
      if (s == nullptr) continue;
      s->slot_ = kept;
      under_way_[kept++] = s;
    }
    under_way_.resize(kept);
  }

  friend class Session;
  Poller() { netsnmp_large_fd_set_init(&scratch_, FD_SETSIZE); }

  // One round: wait until a socket is readable or a timer is due, read every
  // readable socket, and only then let the due timers resend or give up, so
  // that an answer that arrived while the tool was busy elsewhere counts.
  void step() {
    using namespace std::chrono;
    compact();
    const auto now = steady_clock::now();
    auto first_due = steady_clock::time_point::max();
    polled_.clear();
    for (Session* s : under_way_) {
      first_due = std::min(first_due, s->deadline_);
      polled_.push_back({s->socket_, POLLIN, 0});
    }
    int wait_ms = 0;
    if (first_due > now)
      wait_ms = static_cast<int>(std::min<long long>(
          ceil<milliseconds>(first_due - now).count(), 3'600'000));
    // A failed wait (a signal) reads nothing; the timers below still run,
    // so every exchange comes to an end.
    const int ready = std::max(::poll(polled_.data(), polled_.size(), wait_ms), 0);

    std::vector<Session*> round(under_way_.begin(), under_way_.end());
    if (ready > 0) {
      netsnmp_large_fd_set readable;
      netsnmp_large_fd_set_init(&readable, FD_SETSIZE);
      NETSNMP_LARGE_FD_ZERO(&readable);
      for (const pollfd& p : polled_)
        if (p.revents != 0) NETSNMP_LARGE_FD_SET(p.fd, &readable);
      for (std::size_t i = 0; i < round.size(); ++i) {
        if (polled_[i].revents == 0) continue;
        Session* s = round[i];
        snmp_sess_read2(s->handle_, &readable);
        if (s->under_way_) s->refresh_deadline();
      }
      netsnmp_large_fd_set_cleanup(&readable);
    }
    const auto after = steady_clock::now();
    for (Session* s : round) {
      if (!s->under_way_ || s->deadline_ > after) continue;
      snmp_sess_timeout(s->handle_);
      if (s->under_way_) s->refresh_deadline();
    }
  }

  std::vector<Session*> under_way_;  // in the order they were sent; null: a hole
  std::size_t live_ = 0;             // the sessions under way, holes aside
  std::deque<uint64_t> settled_;     // tickets, in the order the exchanges settled
  std::unordered_map<uint64_t, Session*> unclaimed_;
  uint64_t last_ticket_ = 0;
  std::vector<pollfd> polled_;
  netsnmp_large_fd_set scratch_;
};

namespace {

}  // namespace

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

  prepare_library();
  netsnmp_session settings;
  snmp_sess_init(&settings);
  settings.version = env.version;
  settings.peername = peer->spec.data();
  std::string community_copy = community;
  settings.community = reinterpret_cast<u_char*>(community_copy.data());
  settings.community_len = community_copy.size();
  settings.timeout = static_cast<long>(env.timeout_ms.value_or(timing.timeout_ms)) * 1000L;
  settings.retries = env.retries.value_or(timing.retries);
  void* handle = nullptr;
  if (peer->v4) {
    struct netsnmp_ep endpoint{};
    endpoint.a.sin = *peer->v4;
    // The library takes the transport over, and frees it when the session
    // cannot be added.
    if (netsnmp_transport* transport = netsnmp_udp_transport(&endpoint, 0))
      handle = snmp_sess_add(&settings, transport, nullptr, nullptr);
  } else {
    handle = snmp_sess_open(&settings);
  }
  if (!handle) {
    error = OpenError::transport;
    return nullptr;
  }
  const netsnmp_transport* transport = snmp_sess_transport(handle);
  if (!transport || transport->sock < 0) {
    snmp_sess_close(handle);
    error = OpenError::transport;
    return nullptr;
  }
  // A reclass child started while exchanges are under way must not inherit
  // (and keep open) the sockets of the sessions.
  // (FD_CLOEXEC is the only descriptor flag there is.)
  ::fcntl(transport->sock, F_SETFD, FD_CLOEXEC);
  return std::unique_ptr<Session>(new Session(handle, transport->sock));
}

Session::~Session() {
  Poller::instance().forget(this);
  // Closing drops an exchange still under way; nothing is to be told of it.
  closing_ = true;
  snmp_sess_close(handle_);
}

std::optional<Reply> Session::request(uint8_t pdu_type, const std::vector<Oid>& names) {
  if (!send(pdu_type, names)) return std::nullopt;
  Poller::instance().wait_for(*this);
  return reply_;
}

bool Session::send(uint8_t pdu_type, const std::vector<Oid>& names) {
  reply_.reset();
  if (under_way_) return false;
  netsnmp_pdu* pdu = snmp_pdu_create(pdu_type);
  if (!pdu) return false;
  for (const Oid& name : names) {
    std::vector<oid> ids(name.begin(), name.end());
    snmp_add_null_var(pdu, ids.data(), ids.size());
  }
  if (snmp_sess_async_send(handle_, pdu, &Session::on_event, this) == 0) {
    snmp_free_pdu(pdu);  // the library keeps only what it sent
    return false;
  }
  under_way_ = true;
  refresh_deadline();
  Poller::instance().track(this);
  return true;
}

int Session::on_event(int operation, ::snmp_session*, int, ::snmp_pdu* pdu, void* self) {
  auto* session = static_cast<Session*>(self);
  if (session->closing_ || !session->under_way_) return 1;
  // A resend (or a connection step) is news, not the end of the exchange.
  if (operation == NETSNMP_CALLBACK_OP_RESEND || operation == NETSNMP_CALLBACK_OP_CONNECT) return 1;
  if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && pdu && pdu->command != SNMP_MSG_REPORT)
    session->reply_ = take_reply(*pdu);
  session->under_way_ = false;
  Poller::instance().settled(session);
  return 1;
}

void Session::refresh_deadline() {
  Poller& poller = Poller::instance();
  int descriptors = 0;
  int block = 1;
  timeval left{0, 0};
  NETSNMP_LARGE_FD_ZERO(&poller.scratch_);
  snmp_sess_select_info2(handle_, &descriptors, &poller.scratch_, &left, &block);
  const auto now = std::chrono::steady_clock::now();
  // Without a pending timer the library has nothing left to resend; an hour
  // is only a bound for the wait, never reached while an exchange is alive.
  deadline_ = block ? now + std::chrono::hours(1)
                    : now + std::chrono::seconds(left.tv_sec) + std::chrono::microseconds(left.tv_usec);
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
