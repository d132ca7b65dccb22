// The framework's SNMP library, as orxdetect calls it: open a session to one
// agent, build a GetRequest, send it and wait, read the answer. Over net-snmp,
// SNMPv1 by default (ORX_SNMP_VERSION=2c for v2c, where an exception value
// counts as error status noSuchName). ORX_SNMP_TIMEOUT_MS and ORX_SNMP_RETRIES
// override the time-out and retries of every session.
//
// Handles are numbers that are never reused: a handle whose object is gone
// (a request released twice, or after the session it was sent on ended)
// names nothing, and the call does nothing. What a caller never releases is
// freed when the process ends.
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct tng_snmp_session* TNG_SNMP_SESSION;
typedef struct tng_snmp_request* TNG_SNMP_REQUEST;

// The PDU types TngSnmp_CreateRequest accepts: GetRequest and
// GetNextRequest.
enum { TNG_SNMP_GET_REQUEST = 0xA0, TNG_SNMP_GET_NEXT_REQUEST = 0xA1 };
// The error status noSuchName, which an answer also carries for an
// exception value of v2c (noSuchObject, noSuchInstance, endOfMibView).
enum { TNG_SNMP_NO_SUCH_NAME = 2 };

// The framework's library is known by ordinal: each function below has its
// number beside it. The fault names of TNG_FAULTS are "TNG_SNMP_" followed
// by the number ("TNG_SNMP_113").

typedef struct tng_snmp_binding {
  const uint32_t* oid;
  uint32_t oid_count;
  // The value's ASN.1 tag as it arrived (0x02 integer, 0x04 octet string,
  // 0x40 IP address, 0x41 counter, ...; 0x80 to 0x82 an exception of v2c).
  uint8_t value_type;
  // Integer, counter, gauge, time ticks and unsigned as an int32_t;
  // counter64 as a uint64_t; octet string, IP address, opaque and bit
  // string as their bytes followed by a zero that `value_length` does not
  // count; an object identifier as its uint32_t numbers. Null when the
  // binding carries no value (null, an exception).
  const void* value;
  uint32_t value_length;  // in bytes
  const struct tng_snmp_binding* next;
} TNG_SNMP_BINDING;

typedef struct tng_snmp_response {
  int32_t error_status;  // 0 = no error
  int32_t error_index;
  const TNG_SNMP_BINDING* first;  // null when the answer carries no binding
} TNG_SNMP_RESPONSE;

typedef int (*TNG_SNMP_CALLBACK)(void);

// A session handle, or null. `address` is a host or "host:port"; an empty
// or unresolvable address fails. `port` is used when none is named. The
// constants a, b, c and d and the callback are accepted as the framework's
// callers pass them (2, 8, 0 and 0) and not interpreted: every session
// waits 2000 ms for an answer and retries twice (ORX_SNMP_TIMEOUT_MS and
// ORX_SNMP_RETRIES override both).
enum { TNG_SNMP_ORDINAL_OPEN_SESSION = 113 };
TNG_SNMP_SESSION TngSnmp_OpenSession(const char* community, const char* address, int32_t a,
                                     int32_t b, int32_t c, uint16_t port,
                                     TNG_SNMP_CALLBACK callback, int32_t d);
// A request handle of the given PDU type (GET or GETNEXT), or null.
enum { TNG_SNMP_ORDINAL_CREATE_REQUEST = 112 };
TNG_SNMP_REQUEST TngSnmp_CreateRequest(int32_t pdu_type);
// Non-zero when the binding was added.
enum { TNG_SNMP_ORDINAL_ADD_BINDING = 106 };
int32_t TngSnmp_AddBinding(TNG_SNMP_REQUEST request, const uint32_t* oid, uint32_t count);
// The response (owned by the session, valid until the next send or the end
// of the session), or null when none came (time-out after the retries,
// transport error).
enum { TNG_SNMP_ORDINAL_SEND_AND_WAIT = 109 };
const TNG_SNMP_RESPONSE* TngSnmp_SendAndWait(TNG_SNMP_SESSION session, TNG_SNMP_REQUEST request);
// The two halves of TngSnmp_SendAndWait, so that several agents can be
// asked at once on one thread; they have no ordinal of their own.
// TngSnmp_Send sends the request without waiting (a fault injected into
// TngSnmp_SendAndWait's ordinal hits it as it would hit the whole call):
// non-zero when it went out; 0 when no response will come. A session
// carries one request at a time.
int32_t TngSnmp_Send(TNG_SNMP_SESSION session, TNG_SNMP_REQUEST request);
// Waits until one of the requests sent with TngSnmp_Send is answered or
// given up (time-out after the retries) and returns its session, in the
// order they finished; one that finishes while another is waited for is
// kept for a later call. Null when none is outstanding.
TNG_SNMP_SESSION TngSnmp_WaitAny(void);
// As TngSnmp_WaitAny, but returns null as well as soon as fewer than
// `fresh_below` requests are fresh: sent less than 10 ms ago and not yet
// answered. A request that is no longer fresh is only waiting for its
// time-out, so a caller may send more meanwhile.
TNG_SNMP_SESSION TngSnmp_WaitAnyOrRoom(int32_t fresh_below);
// How many requests are fresh.
int32_t TngSnmp_Fresh(void);
// The response to the session's latest send once it has finished, as
// TngSnmp_SendAndWait returns it (owned by the session); null when none came or while it is
// still under way.
const TNG_SNMP_RESPONSE* TngSnmp_Response(TNG_SNMP_SESSION session);
// How many devices a caller may ask at once, each with up to
// `sessions_per_device` requests under way: ORX_SNMP_WINDOW (1 to 65536), or
// `default_window`. 1 whenever TNG_FAULTS names an SNMP operation, so that a
// fault counted by call number hits the same device either way. Requests
// share sockets, from 64 to 1024 to a socket (as many as its receive buffer
// holds answers for); the window is sized at 64 to a socket, the open-file
// limit is raised as far as its hard limit allows, and a window whose
// sockets still do not fit is lowered, with one line on stderr.
int32_t TngSnmp_WindowSize(int32_t default_window, int32_t sessions_per_device);
// How many devices a caller may keep in flight at once when it counts only
// the fresh requests against the window (same arguments): 1 when the
// window is 1, else as many as the open-file limit lets the shared sockets
// hold, at most 262144.
int32_t TngSnmp_InFlightLimit(int32_t default_window, int32_t sessions_per_device);
// Whether a run may use the community answer: 0 when it names a credential
// set of $TNG_HOME/snmp-credentials.ini that cannot be used, or the file
// holds secrets that group or others may use (one line on stderr says why;
// the run should end before it changes anything). A set makes every
// session of the run SNMPv3; any other answer is a v1/v2c community.
int32_t TngSnmp_CheckCommunity(const char* community);
// Releases a request; a request that was sent is released with its
// session as well, so either order is safe.
enum { TNG_SNMP_ORDINAL_RELEASE_REQUEST = 104 };
void TngSnmp_ReleaseRequest(TNG_SNMP_REQUEST request);
// Non-zero when the session ended.
enum { TNG_SNMP_ORDINAL_END_SESSION = 111 };
int32_t TngSnmp_EndSession(TNG_SNMP_SESSION session);

#ifdef __cplusplus
}
#endif
