// Feeds arbitrary bytes to the object identifier parser. An identifier it
// accepts stays within the message limit and reads back the same from its
// own text.
#include <cstddef>
#include <string_view>

#include "oid_text.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const std::optional<tng::snmp::Oid> oid = tng::snmp::parse_oid(text);
  if (!oid) return 0;
  if (oid->empty() || oid->size() > tng::snmp::max_oid_length) __builtin_trap();
  const std::optional<tng::snmp::Oid> again = tng::snmp::parse_oid(tng::snmp::format_oid(*oid));
  if (!again || *again != *oid) __builtin_trap();
  return 0;
}
