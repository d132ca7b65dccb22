// SnmpProbe: one GET for one identifier at one agent through the SNMP
// Manager API, to learn whether a Pellion management agent answers there.
// The probe prints its own messages. For a device that answered, the list
// and the session stay held while the caller reclassifies it; they are
// freed and closed when the probe is destroyed (a failing close is reported
// then, after the caller's messages). For every other outcome they are
// freed and closed before the constructor returns.
#pragma once
#include <cstdint>

#include "platform/snmp_mgr.h"

namespace pln {

enum class ProbeOutcome {
  Answered,           // the agent answered without an error status
  NotReclassified,    // the agent answered with an error status
  OpenFailed,         // no session: the name does not resolve, or another reason
  RequestFailed,      // no answer after the retries, or no request could be built
  ConversionFailed,   // the identifier text cannot be converted: the run must end
};

class SnmpProbe {
 public:
  static constexpr int32_t kTimeoutMs = 4000;
  static constexpr int32_t kRetries = 3;

  SnmpProbe(const char* address, const char* community, const char* oid_text);
  ~SnmpProbe();
  SnmpProbe(const SnmpProbe&) = delete;
  SnmpProbe& operator=(const SnmpProbe&) = delete;

  ProbeOutcome outcome() const { return outcome_; }

 private:
  ProbeOutcome run(const char* address, const char* community, const char* oid_text);
  void finish();

  ProbeOutcome outcome_ = ProbeOutcome::RequestFailed;
  SnmpVarBindList list_{};
  LPSNMP_MGR_SESSION session_ = nullptr;
};

}  // namespace pln
