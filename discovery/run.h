// What every step of one discovery run works with.
#pragma once
#include <optional>
#include <string>

#include "foundation/foundation.h"
#include "identify.h"
#include "output.h"

namespace orxdetect {

struct Run {
  tng::RepositorySession& session;
  Output& out;
  const tng::ReclassCommand& reclass;
  std::string community;
  bool all_systems;  // mode "S"; otherwise lights-out boards only
  bool test_pauses;  // sixth argument "TEST"
};

// The name and address of the current object, as a query needs them.
struct DeviceTarget {
  std::string name;
  std::string address;
};

// Reads and prints the current object's name and address. Nothing when the
// pass is to end: the name could not be read (quietly) or the address could
// not be read (with the repository's code).
std::optional<DeviceTarget> read_device_target(Run& run);

// Prints what a question's contact with the agent tells, the way the
// identification and the lights-out address questions report it.
void report_contact(Run& run, Contact contact, bool end_failed, const std::string& name);

// The console line of a kind or product question that found no agent.
void report_not_connected(Run& run, bool not_connected);

}  // namespace orxdetect
