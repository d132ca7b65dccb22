// The SNMP Manager API, as plndetect calls it: identifier conversion,
// variable-binding lists, sessions with community, time-out and retries, and a
// GET that reports completion and the agent's error status. Over net-snmp,
// SNMPv1 by default (ORX_SNMP_VERSION=2c for v2c, where an exception value
// counts as error status noSuchName). ORX_SNMP_TIMEOUT_MS and ORX_SNMP_RETRIES
// override the time-out and retries given to SnmpMgrOpen.
//
// Memory: everything this API hands out (identifiers, values, blocks from
// SnmpUtilMemAlloc) is freed with SnmpUtilMemFree or SnmpUtilVarBindListFree;
// whatever a caller never frees is freed when the process ends.
#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { ASN_NULL_TYPE = 5 };
enum { SNMP_PDU_GET = 0xA0, SNMP_PDU_GETNEXT = 0xA1 };

// GetLastError() codes.
enum {
  WSAEINVAL = 10022,               // a port that is not a number, or a bad ORX_SNMP_* setting
  WSAENETDOWN = 10050,             // the session could not be opened
  WSAHOST_NOT_FOUND = 11001,       // an empty address, or a name that does not resolve
  SNMP_MGMTAPI_TIMEOUT = 40,       // no answer after the retries
  SNMP_MGMTAPI_INVALID_CALL = 43,  // an unknown session, an empty list, an unknown request type
};

typedef struct {
  uint32_t idLength;
  uint32_t* ids;
} AsnObjectIdentifier;

// asnType is the ASN.1 tag of the value: 0x02 integer, 0x04 octet string,
// 0x05 null, 0x06 object identifier, 0x40 IP address, 0x41 counter, 0x42
// gauge, 0x43 time ticks, 0x46 counter64, 0x80-0x82 the exception values.
typedef struct {
  uint8_t asnType;
  union {
    int32_t number;      // integer, counter, gauge, time ticks (as 32 bits)
    uint64_t counter64;  // counter64
    struct {
      uint8_t* stream;  // followed by a zero that length does not count
      uint32_t length;
    } string;  // octet string, IP address (4 octets), opaque
    AsnObjectIdentifier object;
  } asnValue;
} AsnAny;

typedef struct {
  AsnObjectIdentifier name;
  AsnAny value;
} SnmpVarBind;

typedef struct {
  SnmpVarBind* list;
  uint32_t len;
} SnmpVarBindList;

typedef struct snmp_mgr_session* LPSNMP_MGR_SESSION;

// Non-zero on success; fills `oid` with memory of this API. The text is
// numeric: ".1.3.6.1.4.1.232.1.1.1.0"; without the leading dot it is relative
// to mib-2 (1.3.6.1.2.1). Labels are not understood (no MIB is loaded).
int SnmpMgrStrToOid(const char* text, AsnObjectIdentifier* oid);
// Zero-filled memory, or null.
void* SnmpUtilMemAlloc(size_t bytes);
void* SnmpUtilMemReAlloc(void* memory, size_t bytes);
void SnmpUtilMemFree(void* memory);
// A session, or null with the reason in GetLastError() (WSAHOST_NOT_FOUND
// for an empty or unresolvable address; nothing falls back to a default
// host). `agent` is "host", "host:port" or "[IPv6]:port"; port 161 when none
// is named.
LPSNMP_MGR_SESSION SnmpMgrOpen(const char* agent, const char* community, int32_t timeout_ms,
                               int32_t retries);
// Non-zero when an answer arrived; puts the answer's values into the list's
// entries and fills the error status and index. 0 when none came (time-out
// after the retries, transport error) or the call was invalid.
int SnmpMgrRequest(LPSNMP_MGR_SESSION session, uint8_t pdu_type, SnmpVarBindList* list,
                   int32_t* error_status, int32_t* error_index);
// The two halves of SnmpMgrRequest, so that several agents can be asked at
// once on one thread (a fault injected into SnmpMgrRequest hits the send).
// SnmpMgrSend sends the GET without waiting: non-zero when it went out; 0
// when no answer will come (GetLastError() says why). A session carries
// one request at a time.
int SnmpMgrSend(LPSNMP_MGR_SESSION session, uint8_t pdu_type, const SnmpVarBindList* list);
// Waits until one of the requests sent with SnmpMgrSend is answered or
// given up and returns its session, in the order they finished; one that
// finishes while another is waited for is kept for a later call. Null when
// none is outstanding.
LPSNMP_MGR_SESSION SnmpMgrWaitAny(void);
// As SnmpMgrWaitAny, but returns null as well as soon as fewer than
// `fresh_below` requests are fresh: sent less than 10 ms ago and not yet
// answered. A request that is no longer fresh is only waiting for its
// time-out, so a caller may send more meanwhile.
LPSNMP_MGR_SESSION SnmpMgrWaitAnyOrRoom(int fresh_below);
// How many requests are fresh.
int SnmpMgrFresh(void);
// The outcome of the session's latest send once it has finished, as
// SnmpMgrRequest reports it: non-zero when an answer arrived, with its
// values put into the list's entries and the error status and index filled.
int SnmpMgrCollect(LPSNMP_MGR_SESSION session, SnmpVarBindList* list, int32_t* error_status,
                   int32_t* error_index);
// How many devices a caller may ask at once: ORX_SNMP_WINDOW (1 to 65536),
// or `default_window`; 1 whenever TNG_FAULTS names an SNMP operation.
// Requests share sockets, 64 to a socket; the open-file limit is raised as
// far as its hard limit allows, and a window whose sockets still do not fit
// is lowered, with one line on stderr.
int SnmpMgrWindowSize(int default_window);
// How many devices a caller may keep in flight at once when it counts only
// the fresh requests against the window: 1 when the window is 1, else as
// many as the open-file limit lets the shared sockets hold, at most 262144.
int SnmpMgrInFlightLimit(int default_window);
// Whether a run may use the community answer: 0 when it names a credential
// set of $TNG_HOME/snmp-credentials.ini that cannot be used, or the file
// holds secrets that group or others may use (one line on stderr says why;
// the run should end before it changes anything). A set makes every
// session of the run SNMPv3; any other answer is a v1/v2c community.
int SnmpMgrCheckCommunity(const char* community);
// Frees the entries, their identifiers and values, and the array.
void SnmpUtilVarBindListFree(SnmpVarBindList* list);
// Non-zero on success.
int SnmpMgrClose(LPSNMP_MGR_SESSION session);
uint32_t GetLastError(void);

#ifdef __cplusplus
}
#endif
