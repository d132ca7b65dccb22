#include "settings.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <charconv>
#include <cstdlib>
#include <string_view>

#include "platform/diag.h"

namespace tng::snmp {
namespace {

Environment read_environment() {
  Environment env;
  env.version = SNMP_VERSION_1;
  if (const char* v = std::getenv("ORX_SNMP_VERSION"); v && *v) {
    if (std::string_view(v) == "2c") {
      env.version = SNMP_VERSION_2c;
    } else if (std::string_view(v) != "1") {
      tng::diag::say_plain(
          "ORX_SNMP_VERSION must be 1 or 2c, not '%s': no SNMP session is opened\n", v);
      env.usable = false;
    }
  }
  struct Limit {
    const char* name;
    int32_t lo, hi;
    std::optional<int32_t>& into;
  };
  const Limit limits[] = {
      {"ORX_SNMP_TIMEOUT_MS", 1, 3'600'000, env.timeout_ms},
      {"ORX_SNMP_RETRIES", 0, 100, env.retries},
  };
  for (const Limit& limit : limits) {
    const char* v = std::getenv(limit.name);
    if (!v) continue;
    limit.into = whole_number(v, limit.lo, limit.hi);
    if (!limit.into) {
      tng::diag::say_plain(
          "%s must be a whole number from %d to %d, not '%s': no SNMP session is opened\n",
          limit.name, limit.lo, limit.hi, v);
      env.usable = false;
    }
  }
  return env;
}

}  // namespace

std::optional<int32_t> whole_number(const char* text, int32_t lo, int32_t hi) {
  std::string_view s(text);
  int32_t value = 0;
  auto [end, error] = std::from_chars(s.data(), s.data() + s.size(), value);
  if (s.empty() || error != std::errc{} || end != s.data() + s.size() || value < lo || value > hi)
    return std::nullopt;
  return value;
}

const Environment& environment() {
  static const Environment env = read_environment();
  return env;
}

}  // namespace tng::snmp
