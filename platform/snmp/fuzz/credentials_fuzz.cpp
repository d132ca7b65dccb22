// Feeds arbitrary bytes to the SNMPv3 credential file reader: the first line
// is the set asked for, the rest the file's text. Checks what a lookup
// promises: a set only when one was found, and under the name asked for;
// a refusal with a message of one line.
#include <cstddef>
#include <string>
#include <string_view>

#include "credentials.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t end = input.find('\n');
  const std::string_view name = input.substr(0, end);
  const std::string_view text = end == std::string_view::npos ? "" : input.substr(end + 1);
  using Kind = tng::snmp::CredentialLookup::Kind;
  const tng::snmp::CredentialLookup lookup =
      tng::snmp::find_credential_set(text, name, "snmp-credentials.ini");
  if (lookup.set.has_value() != (lookup.kind == Kind::set)) __builtin_trap();
  if (lookup.set && lookup.set->name != name) __builtin_trap();
  if (lookup.kind == Kind::refused && lookup.message.empty()) __builtin_trap();
  if (lookup.message.find('\n') != std::string::npos) __builtin_trap();
  return 0;
}
