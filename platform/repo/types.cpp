#include "types.h"

#include <uuid/uuid.h>

#include <cstring>

#include "platform/home.h"

namespace tng::repo {
namespace fs = std::filesystem;

namespace {

bool name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '-' || c == '.';
}

}  // namespace

fs::path home() {
  auto found = tng::home::framework_home();
  if (!found) throw Error(kNotFound, tng::home::kNoHome);
  return fs::path(*found);
}

fs::path repositories_dir() { return home() / "repositories"; }

bool valid_repository_name(std::string_view name) {
  if (name.empty() || name.size() > 31 || name.front() == '.' || name.front() == '-') return false;
  for (char c : name)
    if (!name_char(c)) return false;
  return true;
}

bool valid_class_name(std::string_view name) {
  if (name.empty() || name.size() > 255) return false;
  for (char c : name)
    if (!name_char(c) && c != ':') return false;
  return true;
}

std::string uuid_text(const Uuid& uuid) {
  char text[37];
  uuid_unparse_lower(uuid.data(), text);
  return text;
}

std::optional<Uuid> parse_uuid(std::string_view text) {
  if (text.size() != 36) return std::nullopt;
  char buffer[37];
  std::memcpy(buffer, text.data(), 36);
  buffer[36] = '\0';
  Uuid u{};
  if (uuid_parse(buffer, u.data()) != 0) return std::nullopt;
  return u;
}

Uuid new_uuid() {
  Uuid u{};
  uuid_generate(u.data());
  return u;
}

const Test* ObjectRow::find(std::string_view property) const {
  for (const Test& t : props)
    if (t.property == property) return &t;
  return nullptr;
}

}  // namespace tng::repo
