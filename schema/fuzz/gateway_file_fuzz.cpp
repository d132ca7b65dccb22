// Feeds arbitrary bytes to the gateway class list split and append: the
// parts always make up the file, and an append changes only the list.
#include <string>
#include <string_view>

#include "gateway_list.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  const schema::GatewayFile f = schema::split_gateway_file(content);
  if (std::string(f.before) + std::string(f.list) + std::string(f.after) != content)
    __builtin_trap();
  for (char c : f.list)
    if (std::string_view(" \t\n\v\f\r").find(c) != std::string_view::npos) __builtin_trap();
  constexpr std::string_view kAdded = "Orvex_Host|Orvex_Workstation|";
  const auto updated = schema::with_classes_appended(f, kAdded);
  if (updated.has_value() != (f.list.size() + kAdded.size() <= schema::kClassListMax))
    __builtin_trap();
  if (updated && *updated != std::string(f.before) + std::string(f.list) + std::string(kAdded) +
                                 std::string(f.after))
    __builtin_trap();
  return 0;
}
