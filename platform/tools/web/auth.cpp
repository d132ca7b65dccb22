#include "auth.h"

#include <openssl/rand.h>

#include <algorithm>
#include <stdexcept>

namespace tng::web {

std::string Sessions::open(const std::string& user, Clock::time_point now) {
  make_room(now);
  std::string token = random_token();
  sessions_[token] = Session{user, now};
  return token;
}

std::optional<std::string> Sessions::user_of(std::string_view token, Clock::time_point now) {
  auto it = sessions_.find(std::string(token));
  if (it == sessions_.end()) return std::nullopt;
  if (now - it->second.last_use >= idle_) {
    sessions_.erase(it);
    return std::nullopt;
  }
  it->second.last_use = now;
  return it->second.user;
}

void Sessions::close(std::string_view token) { sessions_.erase(std::string(token)); }

void Sessions::make_room(Clock::time_point now) {
  if (sessions_.size() < capacity_) return;
  std::erase_if(sessions_, [&](const auto& s) { return now - s.second.last_use >= idle_; });
  while (!sessions_.empty() && sessions_.size() >= capacity_)
    sessions_.erase(std::min_element(
        sessions_.begin(), sessions_.end(),
        [](const auto& a, const auto& b) { return a.second.last_use < b.second.last_use; }));
}

namespace {
constexpr std::chrono::hours kForget{1};
}

std::chrono::seconds Throttle::wait_of(const Record& r, Clock::time_point now) const {
  if (r.failures < kFree) return std::chrono::seconds(0);
  const int doublings = std::min(r.failures - kFree, 16);
  const auto pause =
      std::min<std::chrono::seconds>(std::chrono::seconds(1LL << doublings), kLongest);
  const auto until = r.last + pause;
  if (now >= until) return std::chrono::seconds(0);
  // Rounded up, so that a client that waits as told is let in.
  return std::chrono::ceil<std::chrono::seconds>(until - now);
}

std::chrono::seconds Throttle::wait(const std::string& user, Clock::time_point now) const {
  auto it = records_.find(user);
  return it == records_.end() ? std::chrono::seconds(0) : wait_of(it->second, now);
}

void Throttle::failed(const std::string& user, Clock::time_point now) {
  auto it = records_.find(user);
  if (it == records_.end()) {
    if (records_.size() >= capacity_) {
      std::erase_if(records_, [&](const auto& r) { return now - r.second.last >= kForget; });
      if (records_.size() >= capacity_)
        records_.erase(std::min_element(
            records_.begin(), records_.end(),
            [](const auto& a, const auto& b) { return a.second.last < b.second.last; }));
    }
    it = records_.emplace(user, Record{}).first;
  } else if (now - it->second.last >= kForget) {
    it->second.failures = 0;
  }
  ++it->second.failures;
  it->second.last = now;
}

std::string random_token() {
  unsigned char bytes[32];
  if (RAND_bytes(bytes, sizeof bytes) != 1) throw std::runtime_error("cannot make a session token");
  static constexpr char kHex[] = "0123456789abcdef";
  std::string token;
  for (unsigned char b : bytes) {
    token += kHex[b >> 4];
    token += kHex[b & 15];
  }
  return token;
}

namespace {

std::optional<std::string> base64_decode(std::string_view text) {
  auto value = [](char c) -> int {
    if (c >= 'A' && c <= 'Z') return c - 'A';
    if (c >= 'a' && c <= 'z') return c - 'a' + 26;
    if (c >= '0' && c <= '9') return c - '0' + 52;
    if (c == '+') return 62;
    if (c == '/') return 63;
    return -1;
  };
  if (text.size() % 4 != 0) return std::nullopt;
  std::string out;
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    int v[4];
    int pad = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text[i + k];
      if (c == '=' && last && k >= 2) {
        v[k] = 0;
        ++pad;
      } else if (pad > 0 || (v[k] = value(c)) < 0) {
        return std::nullopt;
      }
    }
    const uint32_t n = (v[0] << 18) | (v[1] << 12) | (v[2] << 6) | v[3];
    out += static_cast<char>(n >> 16);
    if (pad < 2) out += static_cast<char>((n >> 8) & 0xFF);
    if (pad < 1) out += static_cast<char>(n & 0xFF);
  }
  return out;
}

bool same_word(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return (x | 0x20) == (y | 0x20);
         });
}

}  // namespace

std::optional<std::pair<std::string, std::string>> basic_credentials(std::string_view header) {
  const size_t space = header.find(' ');
  if (space == std::string_view::npos || !same_word(header.substr(0, space), "basic"))
    return std::nullopt;
  std::string_view encoded = header.substr(space + 1);
  while (!encoded.empty() && encoded.front() == ' ') encoded.remove_prefix(1);
  while (!encoded.empty() && encoded.back() == ' ') encoded.remove_suffix(1);
  std::optional<std::string> decoded = base64_decode(encoded);
  if (!decoded) return std::nullopt;
  const size_t colon = decoded->find(':');
  if (colon == std::string::npos) return std::nullopt;
  return std::make_pair(decoded->substr(0, colon), decoded->substr(colon + 1));
}

std::optional<std::string_view> cookie_value(std::string_view header, std::string_view name) {
  while (!header.empty()) {
    const size_t end = header.find(';');
    std::string_view pair = header.substr(0, end);
    header = end == std::string_view::npos ? std::string_view{} : header.substr(end + 1);
    while (!pair.empty() && pair.front() == ' ') pair.remove_prefix(1);
    const size_t eq = pair.find('=');
    if (eq != std::string_view::npos && pair.substr(0, eq) == name) return pair.substr(eq + 1);
  }
  return std::nullopt;
}

}  // namespace tng::web
