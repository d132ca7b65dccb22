#include "probe.h"
#include "platform/diag.h"

#include <cstdio>
#include <cstring>

#include "platform/preview.h"

namespace pln {

namespace {

// The value of an answer in a plan's words.
std::string value_text(const AsnAny& value) {
  switch (value.asnType) {
    case 0x02:
    case 0x41:
    case 0x42:
    case 0x43:
      return tng::preview::answer_text(value.asnType, &value.asnValue.number, sizeof(int32_t));
    case 0x46:
      return "counter64 " + std::to_string(value.asnValue.counter64);
    case 0x06:
      return "object identifier " +
             tng::preview::oid_text(value.asnValue.object.ids, value.asnValue.object.idLength);
    case ASN_NULL_TYPE:
    case 0x80:
    case 0x81:
    case 0x82:
      return tng::preview::answer_text(value.asnType, "", 0);
    default:
      return tng::preview::answer_text(value.asnType, value.asnValue.string.stream,
                                       value.asnValue.string.length);
  }
}

}  // namespace

SnmpProbe::SnmpProbe(const char* address, const char* community, const char* oid_text,
                     bool keep_answer)
    : keep_answer_(keep_answer) {
  start(address, community, oid_text);
}

SnmpProbe::~SnmpProbe() { finish(); }

void SnmpProbe::start(const char* address, const char* community, const char* oid_text) {
  AsnObjectIdentifier oid{};
  if (!SnmpMgrStrToOid(oid_text, &oid)) {
    outcome_ = ProbeOutcome::ConversionFailed;
    message_ = "Error converting object identifier.\n";
    return;
  }

  // A one-entry list; once in the entry, the identifier belongs to the list.
  list_.list = static_cast<SnmpVarBind*>(SnmpUtilMemReAlloc(nullptr, sizeof(SnmpVarBind)));
  if (!list_.list) {
    // No request is sent without its list: the device is skipped.
    outcome_ = ProbeOutcome::RequestFailed;
    message_ = "Error Allocating Object Identifier\n";
    SnmpUtilMemFree(oid.ids);
    return;
  }
  list_.len = 1;
  list_.list[0].name = oid;
  list_.list[0].value.asnType = ASN_NULL_TYPE;

  const std::size_t length = std::strlen(address);
  auto* agent = static_cast<char*>(SnmpUtilMemAlloc(length + 1));
  if (!agent) {
    outcome_ = ProbeOutcome::OpenFailed;
    agent_copy_failed_ = true;
    uncopied_agent_ = address;
    return;
  }
  std::memcpy(agent, address, length + 1);
  session_ = SnmpMgrOpen(agent, community, kTimeoutMs, kRetries);
  const uint32_t open_error = GetLastError();
  SnmpUtilMemFree(agent);
  if (!session_) {
    outcome_ = ProbeOutcome::OpenFailed;
    message_ = open_error == WSAHOST_NOT_FOUND ? "Could not resolve hostname\n\n"
                                               : "Could not establish SNMP connection\n\n";
    return;
  }
  if (SnmpMgrSend(session_, SNMP_PDU_GET, &list_)) {
    waiting_ = true;
    return;
  }
  outcome_ = ProbeOutcome::RequestFailed;
  message_ = "Could not complete the SNMP request\n\n";
}

void SnmpProbe::answer_arrived() {
  if (!waiting_) return;
  waiting_ = false;
  int32_t error_status = 0;
  int32_t error_index = 0;
  if (!SnmpMgrCollect(session_, &list_, &error_status, &error_index)) {
    outcome_ = ProbeOutcome::RequestFailed;
    message_ = "Could not complete the SNMP request\n\n";
    if (keep_answer_) answer_ = tng::preview::kNoAnswer;
  } else if (error_status != 0) {
    // Any error status counts: a negative one is no answer without an error.
    outcome_ = ProbeOutcome::NotReclassified;
    message_ = "Device not reclassified.\n\n";
    if (keep_answer_) answer_ = tng::preview::error_answer(error_status);
  } else {
    outcome_ = ProbeOutcome::Answered;
    if (keep_answer_) answer_ = list_.len > 0 ? value_text(list_.list[0].value) : "no value";
  }
}

ProbeOutcome SnmpProbe::report() {
  if (agent_copy_failed_) {
    tng::diag::say("no memory for the agent address %s; device skipped\n", uncopied_agent_.c_str());
  }
  if (message_) std::fputs(message_, stdout);
  if (outcome_ != ProbeOutcome::Answered && outcome_ != ProbeOutcome::ConversionFailed) finish();
  return outcome_;
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
