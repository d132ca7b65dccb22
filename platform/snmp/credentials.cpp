#include "credentials.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <utility>
#include <vector>

namespace tng::snmp {
namespace {

// The USM limits: a user name is 1 to 32 octets, a pass phrase at least 8.
constexpr std::size_t max_user_length = 32;
constexpr std::size_t min_pass_length = 8;

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

}  // namespace

void wipe(std::string& secret) {
  if (!secret.empty()) explicit_bzero(secret.data(), secret.size());
  secret.clear();
}

std::string credential_file_path() {
  std::string home;
  if (const char* h = std::getenv("TNG_HOME"); h && *h) {
    home = h;
  } else {
    const char* user_home = std::getenv("HOME");
    home = std::string(user_home ? user_home : "") + "/.tng";
  }
  return home + "/snmp-credentials.ini";
}

CredentialLookup find_credential_set(std::string_view text, std::string_view name,
                                     std::string_view path) {
  CredentialSet set;
  set.name = std::string(name);
  bool found = false;
  bool inside = false;  // in a section named `name`
  bool in_any = false;  // in some section
  std::set<std::string, std::less<>> given;
  std::size_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const auto end = text.find('\n');
    std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view{} : text.substr(end + 1);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      if (line.back() != ']')
        return refusal(path, "line " + std::to_string(line_number) + " opens a set without ']'");
      inside = trim(line.substr(1, line.size() - 2)) == name;
      in_any = true;
      found = found || inside;
      continue;
    }
    const auto equals = line.find('=');
    if (equals == std::string_view::npos || !in_any)
      return refusal(path, "line " + std::to_string(line_number) +
                               " is neither a [set] nor a key = value line of a set");
    if (!inside) continue;
    const std::string key(trim(line.substr(0, equals)));
    const std::string_view value = trim(line.substr(equals + 1));
    const auto set_refusal = [&](const std::string& why) {
      return refusal(path, "set '" + set.name + "': " + why);
    };
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

  const auto set_refusal = [&](const std::string& why) {
    wipe(set.auth_pass);
    wipe(set.priv_pass);
    return refusal(path, "set '" + set.name + "': " + why);
  };
  std::vector<std::string_view> needed{"user", "level"};
  if (set.level != SecurityLevel::no_auth_no_priv) {
    needed.push_back("auth");
    needed.push_back("auth_pass");
  }
  if (set.level == SecurityLevel::auth_priv) {
    needed.push_back("priv");
    needed.push_back("priv_pass");
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
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return {};  // no file: every answer is a community
    return refusal(path, std::string("cannot be read: ") + std::strerror(errno));
  }
  struct stat status{};
  std::string text;
  CredentialLookup lookup;
  if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    lookup = refusal(path, "is not a regular file");
  } else if ((status.st_mode & 077) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(status.st_mode & 07777));
    lookup = refusal(path, std::string("holds secrets but group or others may use it (mode ") +
                               mode + "); allow its owner only (chmod 600)");
  } else {
    // Room for the whole file at once: no copy of a secret is left behind
    // in a block given back while the text grows.
    text.reserve(static_cast<std::size_t>(status.st_size) + 1);
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
      text.append(buffer, static_cast<std::size_t>(n));
    }
    explicit_bzero(buffer, sizeof buffer);
  }
  ::close(fd);
  wipe(text);
  return lookup;
}

}  // namespace tng::snmp
