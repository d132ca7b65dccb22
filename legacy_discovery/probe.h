// SnmpProbe: one GET for one identifier at one agent through the SNMP
// Manager API, to learn whether a Pellion management agent answers there.
//
// The GET is sent without waiting, so that many devices can be probed at
// once on the one thread; the probe is told when its answer has come. Its
// messages are printed only when the walk reaches its object (report), in
// the order and at the place a probe that waited would have printed them.
// For a device that answered, the list and the session stay held while the
// caller reclassifies it; they are freed and closed when the probe is
// destroyed (a failing close is reported then, after the caller's
// messages). For every other outcome they are freed and closed by report.
#pragma once
#include <cstdint>
#include <string>

#include "platform/snmp_mgr.h"

namespace pln {

enum class ProbeOutcome {
  Answered,          // the agent answered without an error status
  NotReclassified,   // the agent answered with an error status
  OpenFailed,        // no session: the name does not resolve, or another reason
  RequestFailed,     // no answer after the retries, or no request could be built
  ConversionFailed,  // the identifier text cannot be converted: the run must end
};

class SnmpProbe {
 public:
  static constexpr int32_t kTimeoutMs = 4000;
  static constexpr int32_t kRetries = 3;

  // Builds the request and sends it. With `keep_answer` (a preview) the
  // answer is kept as received (answer()).
  SnmpProbe(const char* address, const char* community, const char* oid_text,
            bool keep_answer = false);
  ~SnmpProbe();
  SnmpProbe(const SnmpProbe&) = delete;
  SnmpProbe& operator=(const SnmpProbe&) = delete;

  // The session whose answer the probe waits for; null once settled.
  LPSNMP_MGR_SESSION waiting_on() const { return waiting_ ? session_ : nullptr; }
  // The answer has come (or the retries ran out): take it.
  void answer_arrived();
  bool settled() const { return !waiting_; }
  // The identifier could not be converted: the run ends at this object.
  bool conversion_failed() const { return outcome_ == ProbeOutcome::ConversionFailed; }

  // Prints the outcome's messages and, unless the device answered, frees
  // the list and closes the session. Only once the probe is settled.
  ProbeOutcome report();

  // The answer as received, in a plan's words; empty unless kept.
  const std::string& answer() const { return answer_; }

 private:
  void start(const char* address, const char* community, const char* oid_text);
  void finish();

  ProbeOutcome outcome_ = ProbeOutcome::RequestFailed;
  const char* message_ = nullptr;  // what the outcome prints on the console
  std::string uncopied_agent_;     // the address there was no memory to copy
  bool agent_copy_failed_ = false;
  bool waiting_ = false;
  SnmpVarBindList list_{};
  LPSNMP_MGR_SESSION session_ = nullptr;
  bool keep_answer_ = false;
  std::string answer_;
};

}  // namespace pln
