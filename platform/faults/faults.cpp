#include "platform/faults.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace tng::faults {
namespace {

constexpr std::string_view known_operations[] = {
#define TNG_FAULT(name) #name,
#include "platform/faults.def"
#undef TNG_FAULT
};

struct Entry {
  std::string operation;  // as written, qualified names included
  uint32_t nth = 0;       // 0: every call
  int32_t rc = 0;
};

struct State {
  bool enabled = false;
  std::vector<Entry> entries;
  std::optional<uint32_t> count;
  std::map<std::string, uint32_t, std::less<>> calls;
};

State& state() {
  static State s;
  return s;
}

bool known(std::string_view operation) {
  // "ObjectPropertyGet/name" qualifies a known operation by its argument.
  auto slash = operation.find('/');
  std::string_view base = operation.substr(0, slash);
  if (slash != std::string_view::npos) {
    if (base != "ObjectPropertyGet" || slash + 1 == operation.size()) return false;
  }
  for (auto k : known_operations)
    if (k == base) return true;
  return false;
}

bool parse_number(std::string_view text, long long lo, long long hi, long long& out) {
  if (text.empty()) return false;
  std::string s(text);
  char* end = nullptr;
  long long v = std::strtoll(s.c_str(), &end, 10);
  if (*end != '\0' || v < lo || v > hi) return false;
  out = v;
  return true;
}

[[noreturn]] void refuse(std::string_view entry, const char* why) {
  std::fprintf(stderr, "TNG_FAULTS: %s: '%.*s'\n", why, static_cast<int>(entry.size()),
               entry.data());
  std::exit(125);
}

void parse(std::string_view list, State& s) {
  while (!list.empty()) {
    auto comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    if (item.empty()) continue;
    auto eq = item.find('=');
    if (eq == std::string_view::npos) refuse(item, "an entry needs =RC");
    std::string_view left = item.substr(0, eq);
    long long value = 0;
    if (left.starts_with("GetRepositoryObject/count")) {
      if (left != "GetRepositoryObject/count" ||
          !parse_number(item.substr(eq + 1), 0, UINT32_MAX, value))
        refuse(item, "expected GetRepositoryObject/count=K");
      s.count = static_cast<uint32_t>(value);
      continue;
    }
    Entry e;
    auto at = left.find('@');
    if (at != std::string_view::npos) {
      long long nth = 0;
      if (!parse_number(left.substr(at + 1), 1, UINT32_MAX, nth)) refuse(item, "bad call number");
      e.nth = static_cast<uint32_t>(nth);
      left = left.substr(0, at);
    }
    if (!known(left)) refuse(item, "no such operation");
    if (!parse_number(item.substr(eq + 1), INT32_MIN, INT32_MAX, value))
      refuse(item, "bad return code");
    e.operation = std::string(left);
    e.rc = static_cast<int32_t>(value);
    s.entries.push_back(std::move(e));
  }
}

}  // namespace

std::optional<int32_t> hit(std::string_view operation) {
  State& s = state();
  // Calls are counted for "@N" entries only, so a run without faults pays
  // nothing per call.
  if (!s.enabled || s.entries.empty()) return std::nullopt;
  auto it = s.calls.find(operation);
  if (it == s.calls.end()) it = s.calls.emplace(std::string(operation), 0).first;
  uint32_t n = ++it->second;
  for (const Entry& e : s.entries)
    if (e.operation == operation && (e.nth == 0 || e.nth == n)) return e.rc;
  return std::nullopt;
}

bool named(std::string_view operation) {
  const State& s = state();
  if (!s.enabled) return false;
  return std::any_of(s.entries.begin(), s.entries.end(),
                     [operation](const Entry& e) { return e.operation == operation; });
}

std::optional<uint32_t> reported_count() {
  const State& s = state();
  return s.enabled ? s.count : std::nullopt;
}

void enable_from_environment() {
  State& s = state();
  if (const char* list = std::getenv("TNG_FAULTS")) parse(list, s);
  s.enabled = true;
}

}  // namespace tng::faults
