// Who is asking: the sessions of logged-in users, the brake on repeated
// wrong passwords, and the pieces of a request that carry credentials.
// Times are passed in, so that the rules can be driven by a test's clock.
#pragma once
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace tng::web {

using Clock = std::chrono::steady_clock;

// The sessions of logged-in users, each known by a random token (the
// cookie's value). A session ends after `idle` without a request, at
// logout, or when `capacity` newer sessions push out the least recently
// used one.
class Sessions {
 public:
  explicit Sessions(Clock::duration idle = std::chrono::minutes(30), size_t capacity = 10000)
      : idle_(idle), capacity_(capacity) {}
  // Opens a session for `user`; its token.
  std::string open(const std::string& user, Clock::time_point now);
  // The user of a live session, whose idle time starts again; nullopt for
  // an unknown or ended one.
  std::optional<std::string> user_of(std::string_view token, Clock::time_point now);
  void close(std::string_view token);
  size_t size() const { return sessions_.size(); }

 private:
  struct Session {
    std::string user;
    Clock::time_point last_use;
  };
  void make_room(Clock::time_point now);
  Clock::duration idle_;
  size_t capacity_;
  std::unordered_map<std::string, Session> sessions_;
};

// Repeated wrong passwords for one user name: the first kFree failures cost
// nothing; after that each failure doubles the wait before the next attempt
// is even checked (1 s, 2 s, 4 s ... at most kLongest). A success, or an
// hour without failures, forgets them. At most `capacity` names are kept;
// past that the oldest record makes room.
class Throttle {
 public:
  static constexpr int kFree = 3;
  static constexpr std::chrono::seconds kLongest{300};
  explicit Throttle(size_t capacity = 4096) : capacity_(capacity) {}
  // How long `user` must still wait before an attempt is checked (zero:
  // now).
  std::chrono::seconds wait(const std::string& user, Clock::time_point now) const;
  void failed(const std::string& user, Clock::time_point now);
  void succeeded(const std::string& user) { records_.erase(user); }

 private:
  struct Record {
    int failures = 0;
    Clock::time_point last;
  };
  std::chrono::seconds wait_of(const Record& r, Clock::time_point now) const;
  size_t capacity_;
  std::unordered_map<std::string, Record> records_;
};

// 32 random bytes as 64 hexadecimal digits.
std::string random_token();

// The user and password of an "Authorization: Basic ..." header value, or
// nullopt when it is not one (bad base64, no colon).
std::optional<std::pair<std::string, std::string>> basic_credentials(std::string_view header);

// The value of the cookie `name` in a Cookie header value, or nullopt.
std::optional<std::string_view> cookie_value(std::string_view header, std::string_view name);

}  // namespace tng::web
