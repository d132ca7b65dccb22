// The session settings the environment gives every SNMP session of a
// process: ORX_SNMP_VERSION, ORX_SNMP_TIMEOUT_MS and ORX_SNMP_RETRIES, read
// once. A value that cannot be used is said on stderr and keeps every
// session from opening.
#pragma once
#include <cstdint>
#include <optional>

namespace tng::snmp {

struct Environment {
  bool usable = true;
  long version = 0;  // the library's SNMP_VERSION_1 or SNMP_VERSION_2c
  std::optional<int32_t> timeout_ms;
  std::optional<int32_t> retries;
};

// The settings of the environment, read at the first call.
const Environment& environment();

// The whole number `text` when it lies from `lo` to `hi`; nothing for any
// other text (blanks, signs that do not belong, trailing characters).
std::optional<int32_t> whole_number(const char* text, int32_t lo, int32_t hi);

}  // namespace tng::snmp
