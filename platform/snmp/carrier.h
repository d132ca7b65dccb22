// The socket carrier: one library session and its UDP socket, which carries
// the exchanges of one or many sessions with the same settings.
#pragma once
#include <chrono>
#include <memory>
#include <unordered_map>

#include "snmp_core.h"

namespace tng::snmp {

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
  // Closing drops the requests the library still holds; it tells each one
  // as timed out, which is news to nobody.
  ~Carrier();

  bool has_room() const { return outstanding < capacity; }

  // Asks the library when its next timer is due.
  void refresh_deadline();

  // Opens a carrier with the settings: to `peer` (a library peer name), or
  // naming no agent when `peer` is null. Null when the library refuses.
  static std::unique_ptr<Carrier> open(const CarrierSettings& settings, const char* peer);
};

}  // namespace tng::snmp
