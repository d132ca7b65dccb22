// What every step of one discovery run works with.
#pragma once
#include <cstddef>
#include <optional>
#include <string>

#include "foundation/reclass.h"
#include "foundation/report.h"
#include "foundation/session.h"
#include "identify.h"

namespace orxdetect {

using tng::To;

struct Run {
  tng::RepositorySession& session;
  tng::Sink& out;
  const tng::ReclassCommand& reclass;
  std::string community;
  bool all_systems;  // mode "S"; otherwise lights-out boards only
  bool test_pauses;  // sixth argument "TEST"
  int window;        // how many devices are asked at once (1 with the test pauses)
  // How many devices may be in flight at once, counting those that only
  // wait for their time-outs (1 with the test pauses).
  std::size_t in_flight;
};

// Devices asked at once when ORX_SNMP_WINDOW does not say, not counting
// those that only wait for their time-outs.
inline constexpr int32_t kDefaultWindow = 1024;
// An identification session stays open while the lights-out kind is asked.
inline constexpr int32_t kSessionsPerDevice = 2;

// The name and address of the current object, as a query needs them.
using DeviceTarget = tng::ObjectNames;

// orxdetect's object lines: the address between a colon and a colon.
inline constexpr tng::ObjectWording kObjectLines{tng::kSnmpQueryName,
                                                 {"Device address to use for SNMP query:", ":\n"}};

// Prints what a question's contact with the agent tells, the way the
// identification and the lights-out address questions report it.
void report_contact(Run& run, Contact contact, bool end_failed, const std::string& name);

// The console line of a kind or product question that found no agent.
void report_not_connected(Run& run, bool not_connected);

}  // namespace orxdetect
