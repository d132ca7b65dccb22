// The registry, kept in an INI file: each section is one key below
// HKEY_LOCAL_MACHINE, named by its whole path with backslashes; each
// "name=value" line is a string value of that key. Key paths and value names
// match without regard to case. The file is read when a key is opened, so an
// open key shows the values as they were at that moment.
#include "platform/registry.h"

#include "platform/faults.h"
#include "platform/home.h"

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <string_view>

struct reg_key {
  std::string path;
  std::map<std::string, std::string> values;  // by lower-case name
};

namespace {

enum { ERROR_INVALID_HANDLE = 6, ERROR_INVALID_PARAMETER = 87 };

std::string lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view trim(std::string_view text) {
  constexpr std::string_view blanks = " \t\r\n";
  auto first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {};
  auto last = text.find_last_not_of(blanks);
  return text.substr(first, last - first + 1);
}

// Nothing when there is no framework home to look in.
std::optional<std::string> registry_file() {
  if (const char* file = std::getenv("TNG_REGISTRY"); file && *file) return file;
  if (auto home = tng::home::framework_home()) return *home + "/registry.ini";
  return std::nullopt;
}

// "a\\b\\" and "a\b" name the same key: empty path components are dropped.
std::string normal_path(std::string_view path) {
  std::string out;
  std::size_t start = 0;
  while (start <= path.size()) {
    auto end = path.find('\\', start);
    if (end == std::string_view::npos) end = path.size();
    std::string_view part = path.substr(start, end - start);
    if (!part.empty()) {
      if (!out.empty()) out += '\\';
      out += lower(part);
    }
    start = end + 1;
  }
  return out;
}

// Reads the section named `path` (already normalised). nullopt when the file
// cannot be read or holds no such section.
std::optional<std::map<std::string, std::string>> read_section(const std::string& path) {
  const auto file = registry_file();
  if (!file) return std::nullopt;
  std::ifstream in(*file, std::ios::binary);
  if (!in) return std::nullopt;
  std::optional<std::map<std::string, std::string>> found;
  bool inside = false;
  std::string line;
  while (std::getline(in, line)) {
    std::string_view text = trim(line);
    if (text.empty() || text.front() == ';' || text.front() == '#') continue;
    if (text.front() == '[' && text.back() == ']') {
      inside = normal_path(text.substr(1, text.size() - 2)) == path;
      if (inside && !found) found.emplace();
      continue;
    }
    if (!inside) continue;
    auto eq = text.find('=');
    if (eq == std::string_view::npos) continue;
    (*found)[lower(trim(text.substr(0, eq)))] = std::string(trim(text.substr(eq + 1)));
  }
  return found;
}

reg_key* real_key(HKEY key) {
  if (key == nullptr || key == HKEY_LOCAL_MACHINE) return nullptr;
  return key;
}

}  // namespace

extern "C" int32_t RegOpenKeyExA(HKEY root, const char* subkey, uint32_t /*options*/,
                                 uint32_t /*access*/, HKEY* key) {
  auto fault = tng::faults::hit("RegOpenKeyExA");
  if (fault && *fault != ERROR_SUCCESS) return *fault;
  if (key == nullptr) return ERROR_INVALID_PARAMETER;
  *key = nullptr;

  std::string path;
  if (root != HKEY_LOCAL_MACHINE) {
    reg_key* parent = real_key(root);
    if (parent == nullptr) return ERROR_INVALID_HANDLE;
    path = parent->path + '\\';
  }
  path = normal_path(path + (subkey ? subkey : ""));

  auto values = read_section(path);
  if (!values) return ERROR_FILE_NOT_FOUND;
  *key = new reg_key{path, std::move(*values)};
  return fault.value_or(ERROR_SUCCESS);
}

extern "C" int32_t RegQueryValueExA(HKEY key, const char* name, uint32_t* /*reserved*/,
                                    uint32_t* type, uint8_t* data, uint32_t* length) {
  auto fault = tng::faults::hit("RegQueryValueExA");
  if (fault && *fault != ERROR_SUCCESS) return *fault;
  reg_key* k = real_key(key);
  if (k == nullptr) return ERROR_INVALID_HANDLE;
  if (data != nullptr && length == nullptr) return ERROR_INVALID_PARAMETER;

  auto it = k->values.find(lower(name ? name : ""));
  if (it == k->values.end()) return ERROR_FILE_NOT_FOUND;
  if (type) *type = REG_SZ;

  const std::string& value = it->second;
  const auto needed = static_cast<uint32_t>(value.size() + 1);
  if (length == nullptr) return fault.value_or(ERROR_SUCCESS);
  if (data != nullptr && *length < needed) {
    *length = needed;
    return ERROR_MORE_DATA;
  }
  if (data != nullptr) std::memcpy(data, value.c_str(), needed);
  *length = needed;
  return fault.value_or(ERROR_SUCCESS);
}

extern "C" int32_t RegCloseKey(HKEY key) {
  if (key == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
  reg_key* k = real_key(key);
  if (k == nullptr) return ERROR_INVALID_HANDLE;
  delete k;
  return ERROR_SUCCESS;
}
