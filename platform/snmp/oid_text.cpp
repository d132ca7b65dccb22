#include "oid_text.h"

#include <charconv>

namespace tng::snmp {
namespace {

constexpr uint32_t mib2_prefix[] = {1, 3, 6, 1, 2, 1};

}  // namespace

std::optional<Oid> parse_oid(std::string_view text) {
  Oid oid;
  if (text.starts_with('.')) {
    text.remove_prefix(1);
  } else {
    oid.assign(std::begin(mib2_prefix), std::end(mib2_prefix));
  }
  if (text.empty()) return std::nullopt;
  while (true) {
    auto dot = text.find('.');
    std::string_view part = text.substr(0, dot);
    if (part.empty()) return std::nullopt;
    uint32_t value = 0;
    auto [end, error] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (error != std::errc{} || end != part.data() + part.size()) return std::nullopt;
    if (oid.size() == max_oid_length) return std::nullopt;
    oid.push_back(value);
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  return oid;
}

std::string format_oid(const Oid& oid) {
  std::string text;
  for (uint32_t id : oid) {
    text += '.';
    text += std::to_string(id);
  }
  return text;
}

}  // namespace tng::snmp
