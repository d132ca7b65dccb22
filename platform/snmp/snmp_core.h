// What both SNMP interfaces share: the session settings taken from the
// environment, the resolution of an agent address, and one GET (or GETNEXT)
// exchange over a net-snmp single session. Each exchange is a self-contained
// step (build the message, send it, wait, take the answer apart), so that
// several sessions can later be driven side by side on one thread.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "oid_text.h"

namespace tng::snmp {

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

class Session {
 public:
  // Opens a session to `address` ("host" or "host:port"; "[v6]:port" for an
  // IPv6 literal), `default_port` when none is named.
  static std::unique_ptr<Session> open(const std::string& address, uint16_t default_port,
                                       const std::string& community, Timing timing,
                                       OpenError& error);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // Sends one request (GET 0xA0 or GETNEXT 0xA1) for `names` and waits for
  // the answer: nothing when none came after the retries.
  std::optional<Reply> request(uint8_t pdu_type, const std::vector<Oid>& names);

 private:
  explicit Session(void* handle) : handle_(handle) {}
  void* handle_;
};

}  // namespace tng::snmp
