// One question to a device through the framework's SNMP library: a session
// opened to the device, a GetRequest for one object sent without waiting,
// and the answer taken once the library says it has come (or given up).
// The sessions and requests are ended and released on scope exit.
#pragma once
#include <cstdint>
#include <span>

#include "identify.h"
#include "platform/tng_snmp.h"

namespace orxdetect {

// One session with an agent; ended on scope exit unless ended explicitly.
class SnmpSession {
 public:
  explicit SnmpSession(const SnmpTarget& target);
  ~SnmpSession();
  SnmpSession(const SnmpSession&) = delete;
  SnmpSession& operator=(const SnmpSession&) = delete;

  bool open() const { return handle_ != nullptr; }
  TNG_SNMP_SESSION handle() const { return handle_; }
  // True when the session ended without failure.
  bool end();

 private:
  TNG_SNMP_SESSION handle_;
};

// One GetRequest; released on scope exit (the library accepts the release of
// a sent request before or after its session ends).
class SnmpRequest {
 public:
  SnmpRequest();
  ~SnmpRequest();
  SnmpRequest(const SnmpRequest&) = delete;
  SnmpRequest& operator=(const SnmpRequest&) = delete;

  bool created() const { return handle_ != nullptr; }
  bool add(std::span<const uint32_t> oid);
  // Sends without waiting; false when no response will come.
  bool send(const SnmpSession& session);
  // Releases the request now: once sent, the session needs it no more, and
  // a device that waits for its time-out should not keep it.
  void release();

 private:
  TNG_SNMP_REQUEST handle_;
};

// The session and request steps every question shares: open, build the
// request for one object, send without waiting. `contact` tells how far it
// got; once the answer has come, the response stays valid while `session`
// is open.
struct Exchange {
  SnmpSession session;
  SnmpRequest request;
  Contact contact = Contact::NotConnected;
  const TNG_SNMP_RESPONSE* response = nullptr;
  bool waiting = false;  // sent; the answer has not come yet

  Exchange(const SnmpTarget& target, std::span<const uint32_t> oid);
  // The answer has come or the library gave up: take it.
  void settle();
};

}  // namespace orxdetect
