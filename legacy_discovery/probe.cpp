#include "probe.h"

#include <cstdio>
#include <cstring>

namespace pln {

SnmpProbe::SnmpProbe(const char* address, const char* community, const char* oid_text) {
  outcome_ = run(address, community, oid_text);
  if (outcome_ != ProbeOutcome::Answered) finish();
}

SnmpProbe::~SnmpProbe() { finish(); }

ProbeOutcome SnmpProbe::run(const char* address, const char* community, const char* oid_text) {
  AsnObjectIdentifier oid{};
  if (!SnmpMgrStrToOid(oid_text, &oid)) {
    std::fputs("Error converting object identifier.\n", stdout);
    return ProbeOutcome::ConversionFailed;
  }

  // A one-entry list; once in the entry, the identifier belongs to the list.
  list_.list = static_cast<SnmpVarBind*>(SnmpUtilMemReAlloc(nullptr, sizeof(SnmpVarBind)));
  if (!list_.list) {
    // No request is sent without its list: the device is skipped.
    std::fputs("Error Allocating Object Identifier\n", stdout);
    SnmpUtilMemFree(oid.ids);
    return ProbeOutcome::RequestFailed;
  }
  list_.len = 1;
  list_.list[0].name = oid;
  list_.list[0].value.asnType = ASN_NULL_TYPE;

  const std::size_t length = std::strlen(address);
  auto* agent = static_cast<char*>(SnmpUtilMemAlloc(length + 1));
  if (!agent) {
    std::fflush(stdout);
    std::fprintf(stderr, "plndetect: no memory for the agent address %s; device skipped\n", address);
    return ProbeOutcome::OpenFailed;
  }
  std::memcpy(agent, address, length + 1);
  session_ = SnmpMgrOpen(agent, community, kTimeoutMs, kRetries);
  const uint32_t open_error = GetLastError();
  SnmpUtilMemFree(agent);
  if (!session_) {
    std::fputs(open_error == WSAHOST_NOT_FOUND ? "Could not resolve hostname\n\n"
                                               : "Could not establish SNMP connection\n\n",
               stdout);
    return ProbeOutcome::OpenFailed;
  }

  int32_t error_status = 0;
  int32_t error_index = 0;
  if (!SnmpMgrRequest(session_, SNMP_PDU_GET, &list_, &error_status, &error_index)) {
    std::fputs("Could not complete the SNMP request\n\n", stdout);
    return ProbeOutcome::RequestFailed;
  }
  // Any error status counts: a negative one is no answer without an error.
  if (error_status != 0) {
    std::fputs("Device not reclassified.\n\n", stdout);
    return ProbeOutcome::NotReclassified;
  }
  return ProbeOutcome::Answered;
}

void SnmpProbe::finish() {
  if (list_.list) SnmpUtilVarBindListFree(&list_);
  list_ = {};
  if (session_) {
    if (!SnmpMgrClose(session_)) std::fputs("Error ending SNMP session\n", stdout);
    session_ = nullptr;
  }
}

}  // namespace pln
