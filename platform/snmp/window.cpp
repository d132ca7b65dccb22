// How many devices a tool may ask at once: the window a tool asks for (or
// ORX_SNMP_WINDOW), lowered to what the open-file limit lets the carriers
// hold once it is raised as far as the hard limit allows.
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <iterator>
#include <string_view>

#include "platform/diag.h"
#include "platform/faults.h"
#include "settings.h"
#include "snmp_core.h"

namespace tng::snmp {
namespace {

constexpr int32_t max_window = 65536;
// Descriptors kept for everything but the sessions: the repository, the
// log, the temporary files, a child's pipes.
constexpr rlim_t spare_descriptors = 64;

// A fault counted by call number must hit the same device whether or not
// the tool asks ahead, so a fault injected into any operation of either SNMP
// interface means one device at a time.
bool faults_name_snmp() {
  constexpr std::string_view operations[] = {
#define TNG_FAULT(name) #name,
#include "platform/snmp_faults.def"
#undef TNG_FAULT
  };
  return std::any_of(std::begin(operations), std::end(operations), tng::faults::named);
}

// Raises the soft open-file limit towards `needed` descriptors, as far as
// the hard limit allows; the limit then in force, nothing when it cannot be
// read.
std::optional<rlimit> open_files_for(rlim_t needed) {
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return std::nullopt;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < needed) {
    rlimit raised = limit;
    raised.rlim_cur = limit.rlim_max == RLIM_INFINITY ? needed : std::min(needed, limit.rlim_max);
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  return limit;
}

// How many exchanges the carriers that fit under the open-file limit hold,
// once the soft limit is raised for the carriers of `wanted` exchanges
// (every `exchanges_per_carrier` under way take one socket): `wanted` when
// all fit. `limit` is the limit in force, nothing when it cannot be read
// (then `fit` is `wanted`).
struct Fit {
  rlim_t fit;
  std::optional<rlim_t> limit;
};
Fit exchanges_that_fit(rlim_t wanted) {
  const rlim_t per_carrier = exchanges_per_carrier;
  const rlim_t needed = (wanted + per_carrier - 1) / per_carrier + spare_descriptors;
  const std::optional<rlimit> limit = open_files_for(needed);
  if (!limit) return {wanted, std::nullopt};
  if (limit->rlim_cur == RLIM_INFINITY || limit->rlim_cur >= needed)
    return {wanted, limit->rlim_cur};
  const rlim_t carriers =
      limit->rlim_cur > spare_descriptors ? limit->rlim_cur - spare_descriptors : 0;
  return {carriers * per_carrier, limit->rlim_cur};
}

// Raises the soft open-file limit as far as the hard limit allows and
// shrinks the window to what then fits, saying so on stderr.
int fit_open_files(int wanted, int sessions_per_device) {
  if (wanted <= 1) return wanted;
  const auto per_device = static_cast<rlim_t>(sessions_per_device);
  const rlim_t exchanges = static_cast<rlim_t>(wanted) * per_device;
  const Fit room = exchanges_that_fit(exchanges);
  if (room.fit >= exchanges) return wanted;
  const int fits = static_cast<int>(std::clamp<rlim_t>(room.fit / per_device, 1, max_window));
  tng::diag::say_plain("SNMP window of %d devices lowered to %d: the open-file limit is %llu\n",
                       wanted, fits, static_cast<unsigned long long>(*room.limit));
  return fits;
}

// The devices that may be in flight once the window grows: raises the soft
// open-file limit further (as far as the hard limit allows) for the
// carriers of `max_in_flight` devices and counts what then fits, at the
// smallest number of exchanges a carrier holds.
std::size_t fit_in_flight(int window, int sessions_per_device) {
  if (window <= 1) return 1;
  const auto per_device = static_cast<rlim_t>(sessions_per_device);
  const Fit room = exchanges_that_fit(static_cast<rlim_t>(max_in_flight) * per_device);
  if (!room.limit) return static_cast<std::size_t>(window);
  return std::clamp<std::size_t>(static_cast<std::size_t>(room.fit / per_device),
                                 static_cast<std::size_t>(window), max_in_flight);
}

struct WindowLimits {
  int window;
  std::size_t in_flight;
};

const WindowLimits& window_limits(int default_window, int sessions_per_device) {
  static const WindowLimits limits = [&] {
    int wanted = default_window;
    if (const char* v = std::getenv("ORX_SNMP_WINDOW")) {
      if (auto n = whole_number(v, 1, max_window)) {
        wanted = *n;
      } else {
        tng::diag::say_plain(
            "ORX_SNMP_WINDOW must be a whole number from 1 to %d, not '%s': one device at a time "
            "is asked\n",
            max_window, v);
        wanted = 1;
      }
    }
    if (faults_name_snmp()) wanted = 1;
    const int per_device = std::max(sessions_per_device, 1);
    const int window = fit_open_files(wanted, per_device);
    return WindowLimits{window, fit_in_flight(window, per_device)};
  }();
  return limits;
}

}  // namespace

int window_size(int default_window, int sessions_per_device) {
  return window_limits(default_window, sessions_per_device).window;
}

std::size_t in_flight_limit(int default_window, int sessions_per_device) {
  return window_limits(default_window, sessions_per_device).in_flight;
}

}  // namespace tng::snmp
