#include "platform/home.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace tng::home {

std::optional<std::string> framework_home() {
  if (const char* home = std::getenv("TNG_HOME"); home && *home) return std::string(home);
  std::string user_home;
  if (const char* home = std::getenv("HOME"); home && *home) {
    user_home = home;
  } else {
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && *found->pw_dir)
      user_home = found->pw_dir;
  }
  if (user_home.empty()) return std::nullopt;
  if (user_home.size() > 1 && user_home.back() == '/') user_home.pop_back();
  return (user_home == "/" ? std::string() : user_home) + "/.tng";
}

}  // namespace tng::home
