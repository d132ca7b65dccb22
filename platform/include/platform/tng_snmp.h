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

enum { TNG_SNMP_GET_REQUEST = 0xA0, TNG_SNMP_GET_NEXT_REQUEST = 0xA1 };
enum { TNG_SNMP_NO_SUCH_NAME = 2 };

// ASN.1 tag of a value as it arrived (0x02 integer, 0x04 octet string,
// 0x40 IP address, ...).
typedef struct tng_snmp_binding {
  const uint32_t* oid;
  uint32_t oid_count;
  uint8_t value_type;
  // Integers as int32_t, texts zero-terminated, octets as they came.
  // Null when the binding carries no value.
  const void* value;
  uint32_t value_length;
  const struct tng_snmp_binding* next;
} TNG_SNMP_BINDING;

typedef struct tng_snmp_response {
  int32_t error_status;  // 0 = no error
  int32_t error_index;
  const TNG_SNMP_BINDING* first;  // null when the answer carries no binding
} TNG_SNMP_RESPONSE;

typedef int (*TNG_SNMP_CALLBACK)(void);

// 113: a session handle, or null. `address` is a host or "host:port"; an
// empty or unresolvable address fails. `port` is used when none is named.
// The constants a, b, d and the callback are accepted as the framework's
// callers pass them (2, 8, 0) and not interpreted: every session waits
// 2000 ms for an answer and retries twice (ORX_SNMP_TIMEOUT_MS and
// ORX_SNMP_RETRIES override both).
TNG_SNMP_SESSION TngSnmp_OpenSession(const char* community, const char* address, int32_t a,
                                     int32_t b, int32_t c, uint16_t port,
                                     TNG_SNMP_CALLBACK callback, int32_t d);
// 112: a request handle of the given PDU type (GET or GETNEXT), or null.
TNG_SNMP_REQUEST TngSnmp_CreateRequest(int32_t pdu_type);
// 106: non-zero when the binding was added.
int32_t TngSnmp_AddBinding(TNG_SNMP_REQUEST request, const uint32_t* oid, uint32_t count);
// 109: the response (owned by the session, valid until the next send or the
// end of the session), or null when none came (time-out after the retries,
// transport error).
const TNG_SNMP_RESPONSE* TngSnmp_SendAndWait(TNG_SNMP_SESSION session, TNG_SNMP_REQUEST request);
// The two halves of 109, so that several agents can be asked at once on one
// thread. TngSnmp_Send sends the request without waiting (a fault injected
// into 109 hits it as it would hit 109): non-zero when it went out; 0 when
// no response will come. A session carries one request at a time.
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
// The response to the session's latest send once it has finished, as 109
// returns it (owned by the session); null when none came or while it is
// still under way.
const TNG_SNMP_RESPONSE* TngSnmp_Response(TNG_SNMP_SESSION session);
// How many devices a caller may ask at once, each with up to
// `sessions_per_device` requests under way: ORX_SNMP_WINDOW (1 to 65536), or
// `default_window`. 1 whenever TNG_FAULTS names an SNMP operation, so that a
// fault counted by call number hits the same device either way. Requests
// share sockets, 64 to a socket; the open-file limit is raised as far as its
// hard limit allows, and a window whose sockets still do not fit is lowered,
// with one line on stderr.
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
// 104: releases a request; a request that was sent is released with its
// session as well, so either order is safe.
void TngSnmp_ReleaseRequest(TNG_SNMP_REQUEST request);
// 111: non-zero when the session ended.
int32_t TngSnmp_EndSession(TNG_SNMP_SESSION session);

#ifdef __cplusplus
}
#endif
