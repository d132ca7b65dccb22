#include "credentials.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <utility>
#include <vector>

#include "platform/home.h"

namespace tng::snmp {
namespace {

// The USM limits: a user name is 1 to 32 octets, a pass phrase at least 8.
constexpr std::size_t max_user_length = 32;
constexpr std::size_t min_pass_length = 8;

// A set takes a few hundred bytes: a file larger than this is not a
// credential file, and is refused rather than read into memory whole.
constexpr std::size_t max_file_size = std::size_t{1} << 20;
constexpr const char* max_file_size_text = "1 MiB";

std::string_view trim(std::string_view s) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

CredentialLookup refusal(std::string_view path, const std::string& why) {
  CredentialLookup lookup;
  lookup.kind = CredentialLookup::Kind::refused;
  lookup.message = std::string(path) + ": " + why;
  return lookup;
}

template <typename Value, std::size_t N>
std::optional<Value> one_of(std::string_view text,
                            const std::array<std::pair<std::string_view, Value>, N>& choices) {
  for (const auto& [word, value] : choices)
    if (word == text) return value;
  return std::nullopt;
}

constexpr std::array<std::pair<std::string_view, SecurityLevel>, 3> levels{{
    {"noAuthNoPriv", SecurityLevel::no_auth_no_priv},
    {"authNoPriv", SecurityLevel::auth_no_priv},
    {"authPriv", SecurityLevel::auth_priv},
}};
constexpr std::array<std::pair<std::string_view, AuthProtocol>, 3> auth_protocols{{
    {"SHA", AuthProtocol::sha},
    {"SHA-256", AuthProtocol::sha256},
    {"SHA-512", AuthProtocol::sha512},
}};
constexpr std::array<std::pair<std::string_view, PrivProtocol>, 2> priv_protocols{{
    {"AES", PrivProtocol::aes},
    {"AES-256", PrivProtocol::aes256},
}};
constexpr std::array<std::string_view, 6> known_keys{"user",      "level", "auth",
                                                     "auth_pass", "priv",  "priv_pass"};

std::string too_large() {
  return std::string("is larger than ") + max_file_size_text + " (" +
         std::to_string(max_file_size) + " bytes); a credential file is never that large";
}

}  // namespace

void wipe(std::string& secret) {
  if (!secret.empty()) explicit_bzero(secret.data(), secret.size());
  secret.clear();
}

std::string credential_file_path() {
  const auto home = tng::home::framework_home();
  return home ? *home + "/snmp-credentials.ini" : std::string();
}

CredentialLookup find_credential_set(std::string_view text, std::string_view name,
                                     std::string_view path) {
  // An editor's byte-order mark would make the first line unreadable: say so
  // instead of calling it a line that is no set.
  for (std::string_view mark : {"\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF"})
    if (text.starts_with(mark))
      return refusal(path, "begins with a byte-order mark; save it as plain text without one");
  CredentialSet set;
  set.name = std::string(name);
  // Every refusal from here on may come after a pass phrase was kept.
  const auto refuse = [&](const std::string& why) {
    wipe(set.auth_pass);
    wipe(set.priv_pass);
    return refusal(path, why);
  };
  const auto set_refusal = [&](const std::string& why) {
    return refuse("set '" + set.name + "': " + why);
  };
  bool found = false;
  bool inside = false;  // in a section named `name`
  bool in_any = false;  // in some section
  std::set<std::string, std::less<>> given;
  std::map<std::string, std::size_t, std::less<>> opened;  // every set name, by its line
  std::size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const auto end = text.find('\n');
    std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    const std::string where = "line " + std::to_string(line_number);
    if (line.front() == '[') {
      if (line.back() != ']') return refuse(where + " opens a set without ']'");
      const std::string_view section = trim(line.substr(1, line.size() - 2));
      // Two sets of one name leave it open which one a run uses.
      if (auto [first, fresh] = opened.emplace(section, line_number); !fresh)
        return refuse(where + " names set '" + std::string(section) +
                      "' a second time (first on line " + std::to_string(first->second) + ")");
      inside = section == name;
      in_any = true;
      found = found || inside;
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || !in_any)
      return refuse(where + " is neither a [set] nor a key = value line of a set");
    if (!inside) continue;
    const std::string key(trim(line.substr(0, equals)));
    const std::string_view value = trim(line.substr(equals + 1));
    if (std::find(known_keys.begin(), known_keys.end(), key) == known_keys.end())
      return set_refusal("unknown key '" + key + "'");
    if (!given.insert(key).second) return set_refusal("key '" + key + "' is given twice");
    if (key == "user") {
      set.user = std::string(value);
    } else if (key == "level") {
      auto level = one_of(value, levels);
      if (!level) return set_refusal("key 'level' must be noAuthNoPriv, authNoPriv or authPriv");
      set.level = *level;
    } else if (key == "auth") {
      auto auth = one_of(value, auth_protocols);
      if (!auth) return set_refusal("key 'auth' must be SHA, SHA-256 or SHA-512");
      set.auth = *auth;
    } else if (key == "priv") {
      auto priv = one_of(value, priv_protocols);
      if (!priv) return set_refusal("key 'priv' must be AES or AES-256");
      set.priv = *priv;
    } else if (key == "auth_pass") {
      set.auth_pass = std::string(value);
    } else {
      set.priv_pass = std::string(value);
    }
  }
  if (!found) return {};

  std::vector<std::string_view> needed{"user", "level"};
  if (set.level != SecurityLevel::no_auth_no_priv) {
    needed.emplace_back("auth");
    needed.emplace_back("auth_pass");
  }
  if (set.level == SecurityLevel::auth_priv) {
    needed.emplace_back("priv");
    needed.emplace_back("priv_pass");
  }
  for (std::string_view key : needed)
    if (!given.contains(key)) return set_refusal("key '" + std::string(key) + "' is missing");
  if (set.user.empty() || set.user.size() > max_user_length)
    return set_refusal("key 'user' must be 1 to 32 characters long");
  if (set.level != SecurityLevel::no_auth_no_priv && set.auth_pass.size() < min_pass_length)
    return set_refusal("key 'auth_pass' must be at least 8 characters long");
  if (set.level == SecurityLevel::auth_priv && set.priv_pass.size() < min_pass_length)
    return set_refusal("key 'priv_pass' must be at least 8 characters long");
  // A pass phrase the level does not use is not kept.
  if (set.level != SecurityLevel::auth_priv) wipe(set.priv_pass);
  if (set.level == SecurityLevel::no_auth_no_priv) wipe(set.auth_pass);

  CredentialLookup lookup;
  lookup.kind = CredentialLookup::Kind::set;
  lookup.set = std::move(set);
  return lookup;
}

CredentialLookup look_up_credentials(std::string_view name) {
  const std::string path = credential_file_path();
  if (path.empty()) return {};  // no home, so no file: every answer is a community
  // O_NONBLOCK: a FIFO in the file's place must not hold the run in open();
  // O_NOFOLLOW: the file itself, not what a link points at. What was opened
  // is judged by its descriptor, so nothing can be swapped in between.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    if (error == ENOENT || error == ENOTDIR) return {};  // no file: every answer is a community
    struct stat link {};
    if (::lstat(path.c_str(), &link) == 0 && !S_ISREG(link.st_mode))
      return refusal(path, "is not a regular file");
    return refusal(path, std::string("cannot be read: ") + std::strerror(error));
  }
  struct stat status {};
  std::string text;
  CredentialLookup lookup;
  const uid_t user = ::geteuid();
  if (::fstat(fd, &status) != 0) {
    lookup = refusal(path, std::string("cannot be read: ") + std::strerror(errno));
  } else if (!S_ISREG(status.st_mode)) {
    lookup = refusal(path, "is not a regular file");
  } else if (status.st_uid != user && status.st_uid != 0) {
    lookup = refusal(path, "holds secrets but belongs to another user (uid " +
                               std::to_string(status.st_uid) + "); only a file of this user (uid " +
                               std::to_string(user) + ") or of root is used");
  } else if ((status.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    lookup = refusal(path, std::string("holds secrets but group or others may use it (mode ") +
                               mode + "); allow its owner only (chmod 600)");
  } else if (static_cast<std::uintmax_t>(status.st_size) > max_file_size) {
    lookup = refusal(path, too_large());
  } else {
    // Room for the largest file at once: no copy of a secret is left behind
    // in a block given back while the text grows.
    text.reserve(max_file_size);
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(fd, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        lookup = refusal(path, std::string("cannot be read: ") + std::strerror(errno));
        break;
      }
      if (n == 0) {
        lookup = find_credential_set(text, name, path);
        break;
      }
      // A file that grows while it is read is held to the same limit.
      if (text.size() + static_cast<std::size_t>(n) > max_file_size) {
        lookup = refusal(path, too_large());
        break;
      }
      text.append(buffer, static_cast<std::size_t>(n));
    }
    explicit_bzero(buffer, sizeof buffer);
  }
  ::close(fd);
  wipe(text);
  return lookup;
}

}  // namespace tng::snmp
