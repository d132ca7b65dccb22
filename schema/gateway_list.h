// The gateway's class list file: its first white-space-delimited word is
// the list of classes the gateway forwards, each name followed by "|".
// Whatever else the file holds belongs to the gateway and its administrator
// and is kept as it is.
#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace schema {

// Longest class list: the list is handled in a field of 256 bytes.
inline constexpr std::size_t kClassListMax = 255;

struct GatewayFile {
  std::string_view before;  // white space before the list
  std::string_view list;    // the first word; empty when the file holds none
  std::string_view after;   // everything after the list, unchanged
};

GatewayFile split_gateway_file(std::string_view content);

// The file's content with `addition` appended to its class list, the rest
// of the file kept. Nothing when the longer list would not fit.
std::optional<std::string> with_classes_appended(const GatewayFile& file,
                                                 std::string_view addition);

}  // namespace schema
