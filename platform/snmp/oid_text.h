// Object identifiers as text: ".1.3.6.1.4.1.232.1.1.1.0" and back. Only the
// numeric form is understood (no MIB is ever loaded). A text without the
// leading dot is relative to the mib-2 subtree 1.3.6.1.2.1, so "1.1.0" names
// sysDescr.0.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tng::snmp {

using Oid = std::vector<uint32_t>;

// The longest identifier an SNMP message may carry.
inline constexpr std::size_t max_oid_length = 128;

// The sub-identifiers of `text`, or nothing when it is not a numeric
// identifier (empty, a label, an empty or oversized part, too many parts).
std::optional<Oid> parse_oid(std::string_view text);

// ".1.3.6.1..." for `oid`.
std::string format_oid(const Oid& oid);

}  // namespace tng::snmp
