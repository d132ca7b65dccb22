// What both SNMP interfaces share: the session settings taken from the
// environment, the resolution of an agent address, and GET (or GETNEXT)
// exchanges over net-snmp. A Session is one agent; its exchanges travel on a
// carrier, one net-snmp session and UDP socket. An IPv4 agent's exchanges
// share carriers with the same settings, each request naming its own agent;
// this layer keeps their requests itself, in a few hundred bytes each (the
// encoded request for its resends, its agent, its time-out), and lets the
// library build and read the messages. An IPv6 agent gets a carrier of its
// own, whose requests the library keeps. An exchange is sent without
// waiting; one poller waits on every carrier with exchanges under way (poll
// over their sockets, so descriptors above 1024 work) and settles each
// exchange when its answer comes or its retries run out. A synchronous
// request is a send followed by a wait for that one exchange, serving the
// others meanwhile.
#pragma once
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <netinet/in.h>

#include "oid_text.h"

struct snmp_session;
struct snmp_pdu;

namespace tng::snmp {

class Poller;
struct Carrier;
struct Security;

// How many exchanges one carrier (one socket) holds under way at least:
// their answers must fit the socket's receive buffer while the tool is busy
// elsewhere, or the agents' answers would be dropped. 64 answers fit the
// default buffer; a shared carrier asks for a larger one and holds as many
// more as it was given room for, up to `max_exchanges_per_carrier`.
inline constexpr int exchanges_per_carrier = 64;
inline constexpr int max_exchanges_per_carrier = 1024;
// An exchange sent this long ago and still unanswered counts as waiting for
// its time-out: it no longer takes a place in a tool's window.
inline constexpr std::chrono::milliseconds fresh_for{10};

enum class OpenError {
  none,
  host_not_found,  // empty address, or a name that does not resolve
  bad_address,     // a port that is not a number from 1 to 65535
  bad_setting,     // an ORX_SNMP_* variable that cannot be used (reported on stderr)
  transport,       // the library could not open the session
};

// ASN.1 tags of the values an answer may carry.
enum : uint8_t {
  tag_integer = 0x02,
  tag_octet_string = 0x04,
  tag_null = 0x05,
  tag_object_id = 0x06,
  tag_ip_address = 0x40,
  tag_counter = 0x41,
  tag_gauge = 0x42,
  tag_time_ticks = 0x43,
  tag_opaque = 0x44,
  tag_counter64 = 0x46,
  tag_unsigned = 0x47,
  tag_no_such_object = 0x80,
  tag_no_such_instance = 0x81,
  tag_end_of_mib_view = 0x82,
};

inline constexpr int32_t error_no_such_name = 2;
inline constexpr uint16_t agent_port = 161;

struct Value {
  uint8_t tag = tag_null;
  uint64_t number = 0;         // integer kinds (a signed INTEGER in two's complement)
  std::vector<uint8_t> bytes;  // octet string, IP address, opaque
  Oid object;                  // object identifier
};

struct VarBind {
  Oid name;
  Value value;
};

struct Reply {
  int32_t error_status = 0;  // an exception value of v2c counts as noSuchName
  int32_t error_index = 0;
  std::vector<VarBind> bindings;
};

// The time-out and retries a caller asks for, replaced by ORX_SNMP_TIMEOUT_MS
// and ORX_SNMP_RETRIES when they are set.
struct Timing {
  int32_t timeout_ms;
  int32_t retries;
};

// What every exchange on one carrier shares.
struct CarrierSettings {
  long version;
  std::string community;
  long timeout_us;
  int retries;
  // SNMPv3 with this credential set (version 3); null for v1 and v2c.
  std::shared_ptr<Security> security;
  bool operator==(const CarrierSettings&) const = default;
};

class Session {
 public:
  // Opens a session to `address` ("host" or "host:port"; "[v6]:port" for an
  // IPv6 literal), `default_port` when none is named. A community that
  // names a credential set (credentials.h) makes it an SNMPv3 session.
  static std::unique_ptr<Session> open(const std::string& address, uint16_t default_port,
                                       const std::string& community, Timing timing,
                                       OpenError& error);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Sends one request (GET 0xA0 or GETNEXT 0xA1) for `names` and waits for
  // the answer: nothing when none came after the retries.
  std::optional<Reply> request(uint8_t pdu_type, const std::vector<Oid>& names);

  // Sends one request without waiting. False when it could not be sent (no
  // answer will come); a session carries one exchange at a time.
  bool send(uint8_t pdu_type, const std::vector<Oid>& names);
  // True while a sent request has neither been answered nor given up.
  bool under_way() const { return carrier_ != nullptr || awaiting_engine_; }
  // The answer to the latest send, once it is no longer under way: nothing
  // when none came after the retries.
  const std::optional<Reply>& reply() const { return reply_; }

 private:
  friend class Poller;
  Session(CarrierSettings settings, std::optional<sockaddr_in> agent, std::unique_ptr<Carrier> own);
  static int on_event(int operation, ::snmp_session* session, int request_id, ::snmp_pdu* pdu,
                      void* carrier);
  // SNMPv3: the request goes once the agent's engine is known, found out
  // first (once per agent) when it is not.
  bool send_v3(uint8_t pdu_type, const std::vector<Oid>& names);
  bool dispatch_v3();
  static int on_v3_event(int operation, ::snmp_session* session, int request_id, ::snmp_pdu* pdu,
                         void* ticket);
  static void discovery_ended(const std::string& agent, const ::snmp_pdu* answer, bool closing);

  CarrierSettings settings_;
  // An IPv4 agent, reached through the shared carriers; otherwise the
  // session's own carrier names the agent.
  std::optional<sockaddr_in> agent_;
  std::unique_ptr<Carrier> own_;
  std::optional<Reply> reply_;
  // The exchange under way (none while the carrier is null): its carrier
  // and the library's request id.
  Carrier* carrier_ = nullptr;
  long request_id_ = 0;
  // The poller's bookkeeping: whether the session counts among those under
  // way, and the ticket of a settlement not yet claimed (0: none).
  bool tracked_ = false;
  uint64_t ticket_ = 0;
  // SNMPv3: the agent as the engine cache knows it, and the request kept
  // while its engine is being found out.
  std::string engine_key_;
  bool awaiting_engine_ = false;
  uint8_t pending_type_ = 0;
  std::vector<Oid> pending_names_;
};

// Waits until some exchange that was sent is settled and returns its
// session, in the order the exchanges settled; an exchange that settles
// while another is waited for is kept for a later call. Nothing when no
// exchange is under way or unclaimed, and nothing as soon as fewer than
// `fresh_below` exchanges are fresh (0: wait for a settled one).
Session* wait_any(std::size_t fresh_below = 0);

// The exchanges under way that were sent less than `fresh_for` ago: those
// whose answers may still come at any moment. The others are only waiting
// for their time-outs. An exchange on a carrier of its own (an IPv6 agent)
// stays fresh until it is settled, as its socket is a descriptor of its own.
std::size_t fresh();

// How many devices a tool may keep in flight at once, each with up to
// `sessions_per_device` exchanges under way: ORX_SNMP_WINDOW, or
// `default_window` when it is not set; 1 when TNG_FAULTS names an SNMP
// operation (a fault counted by call number must hit the same device as
// without look-ahead). The open-file limit is raised as far as the hard
// limit allows to hold the carriers of the window; when even that cannot
// hold them, the window shrinks, with one line on stderr.
int window_size(int default_window, int sessions_per_device);

// How many devices a tool may keep in flight at once when its window grows
// with the devices that only wait for their time-outs: 1 when the window is
// 1; otherwise as many as the open-file limit lets the carriers hold (and
// never fewer than the window), at most `max_in_flight`.
std::size_t in_flight_limit(int default_window, int sessions_per_device);
inline constexpr std::size_t max_in_flight = 262144;
// False when the community answer names a credential set that cannot be
// used, or the credential file may be used by group or others (said once
// on stderr).
bool community_usable(const std::string& community);

}  // namespace tng::snmp
