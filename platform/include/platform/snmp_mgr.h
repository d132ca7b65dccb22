// The SNMP Manager API, as plndetect calls it: identifier conversion,
// variable-binding lists, sessions with community, time-out and retries, and a
// GET that reports completion and the agent's error status. Over net-snmp.
#pragma once
#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

enum { ASN_NULL_TYPE = 5 };
enum { SNMP_PDU_GET = 0xA0 };
enum { WSAHOST_NOT_FOUND = 11001 };

typedef struct {
  uint32_t idLength;
  uint32_t* ids;
} AsnObjectIdentifier;

typedef struct {
  uint8_t asnType;
  union {
    int32_t number;
    struct {
      uint8_t* stream;
      uint32_t length;
    } string;
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

// Non-zero on success; fills `oid` with memory from SnmpUtilMemAlloc.
int SnmpMgrStrToOid(const char* text, AsnObjectIdentifier* oid);
void* SnmpUtilMemAlloc(size_t bytes);
void* SnmpUtilMemReAlloc(void* memory, size_t bytes);
void SnmpUtilMemFree(void* memory);
// A session, or null with the reason in GetLastError() (WSAHOST_NOT_FOUND
// for an empty or unresolvable address).
LPSNMP_MGR_SESSION SnmpMgrOpen(const char* agent, const char* community, int32_t timeout_ms,
                               int32_t retries);
// Non-zero when an answer arrived; fills the list's values and the status.
int SnmpMgrRequest(LPSNMP_MGR_SESSION session, uint8_t pdu_type, SnmpVarBindList* list,
                   int32_t* error_status, int32_t* error_index);
// Frees the entries, their identifiers and values, and the array.
void SnmpUtilVarBindListFree(SnmpVarBindList* list);
// Non-zero on success.
int SnmpMgrClose(LPSNMP_MGR_SESSION session);
uint32_t GetLastError(void);

#ifdef __cplusplus
}
#endif
