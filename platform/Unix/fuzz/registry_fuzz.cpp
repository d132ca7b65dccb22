// Feeds arbitrary bytes to the registry as its file and reads the keys and
// values the suite reads, checking what the value interface promises.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/registry.h"

namespace {

// The registry file of this fuzzing process, removed when it ends.
struct ScratchFile {
  std::string name = "/tmp/registry_fuzz." + std::to_string(::getpid()) + ".ini";
  ScratchFile() { ::setenv("TNG_REGISTRY", name.c_str(), 1); }
  ~ScratchFile() { std::remove(name.c_str()); }
};

std::string registry_file() {
  static const ScratchFile file;
  return file.name;
}

constexpr const char* kKeys[] = {
    "SOFTWARE\\ComputerAssociates\\CA-Unicenter\\CurrentVersion",
    "SOFTWARE\\ComputerAssociates\\CA-Unicenter/TNG\\Agent Technologies",
    "software\\\\computerassociates\\ca-unicenter\\currentversion\\",
    "",
};

void check_value(HKEY key, const char* name) {
  uint32_t length = 0;
  uint32_t type = 0;
  if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &length) != ERROR_SUCCESS) return;
  if (length == 0 || type != REG_SZ) __builtin_trap();
  // A field of the size the tools use, and one of exactly the length.
  for (uint32_t size : {80u, length}) {
    std::string field(size + 1, '\x7f');
    uint32_t given = size;
    int32_t rc = RegQueryValueExA(key, name, nullptr, nullptr,
                                  reinterpret_cast<uint8_t*>(field.data()), &given);
    if (given != length) __builtin_trap();
    if (rc == ERROR_SUCCESS) {
      if (length > size || field[length - 1] != '\0' || field[size] != '\x7f') __builtin_trap();
    } else if (rc != ERROR_MORE_DATA || length <= size) {
      __builtin_trap();
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, std::size_t size) {
  const std::string file = registry_file();
  std::FILE* out = std::fopen(file.c_str(), "wb");
  if (out == nullptr) return 0;
  std::fwrite(data, 1, size, out);
  std::fclose(out);
  for (const char* path : kKeys) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
      continue;
    check_value(key, "InstallPath");
    check_value(key, "installpath");
    check_value(key, "");
    RegCloseKey(key);
  }
  return 0;
}
