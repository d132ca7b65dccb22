// orxdetect's instance of the look-ahead walk (foundation/lookahead_walk.h):
// the objects of a run of passes read ahead, each device's Inquiry already
// under way.
#pragma once
#include <memory>
#include <string_view>

#include "foundation/lookahead_walk.h"
#include "identify.h"
#include "platform/tng_snmp.h"
#include "run.h"

namespace orxdetect {

// One pass of a walk: the class it queries and the questions it asks.
struct WalkPass {
  std::string_view class_name;
  Questions questions;
};

// How orxdetect asks a device read ahead: an Inquiry to its address with
// the pass's questions.
struct DeviceAsking {
  using Pass = WalkPass;
  using Probe = Inquiry;
  using Session = TNG_SNMP_SESSION;

  const Run* run;

  std::string_view class_of(const WalkPass& pass) const { return pass.class_name; }
  std::unique_ptr<Inquiry> ask(const WalkPass& pass, const tng::AheadStep& step) const {
    return std::make_unique<Inquiry>(SnmpTarget{run->community, step.address_text()},
                                     pass.questions);
  }
  bool ends_run(const Inquiry&) const { return false; }
  static TNG_SNMP_SESSION wait_any(std::size_t fresh_below) {
    return TngSnmp_WaitAnyOrRoom(static_cast<int32_t>(fresh_below));
  }
  static std::size_t fresh() { return static_cast<std::size_t>(TngSnmp_Fresh()); }
};

using Walk = tng::LookaheadWalk<DeviceAsking>;
using AheadObject = Walk::Object;

// A walk over the passes, asking `run.window` devices at once besides those
// that only wait for their time-outs, up to `run.in_flight`.
inline Walk make_walk(Run& run, std::vector<WalkPass> passes) {
  return Walk(DeviceAsking{&run}, run.session, run.window, run.in_flight, std::move(passes));
}

// Prints the object's name and address lines (or what its failed reads
// tell). False when the pass is to end here.
inline bool print_device_target(Run& run, const AheadObject& object, DeviceTarget& target) {
  return tng::report_object(run.out, object, kObjectLines, target);
}

}  // namespace orxdetect
