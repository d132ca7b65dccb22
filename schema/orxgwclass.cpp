// orxgwclass: registers the two Orvex host classes with the WorldView
// gateway by appending them to the class list in its gwclass.dat. Exit code
// 1 when the file was rewritten, 0 on every other path.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

#include "gateway_list.h"
#include "platform/diag.h"
#include "platform/files.h"
#include "platform/registry.h"

namespace {

constexpr int kUpdated = 1;
constexpr int kNotUpdated = 0;

constexpr const char* kInstallKey =
    "SOFTWARE\\ComputerAssociates\\CA-Unicenter/TNG\\Agent Technologies";
constexpr const char* kInstallValue = "InstallPath";
constexpr uint32_t kInstallPathField = 80;  // bytes, terminator included
constexpr std::string_view kGatewayFile = "/services/config/aws_wvgate/gwclass.dat";
constexpr std::string_view kOrvexClasses = "Orvex_Host|Orvex_Workstation|";

struct CloseKey {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using Key = std::unique_ptr<std::remove_pointer_t<HKEY>, CloseKey>;

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, CloseFile>;

// The framework's install folder from the registry; nothing when the key or
// the value is missing, or when the value does not fit its field.
std::optional<std::string> read_install_path() {
  HKEY opened = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS)
    return std::nullopt;
  const Key key(opened);
  char data[kInstallPathField + 1] = {};  // one spare byte keeps the text terminated
  uint32_t length = kInstallPathField;
  const int32_t rc = RegQueryValueExA(key.get(), kInstallValue, nullptr, nullptr,
                                      reinterpret_cast<uint8_t*>(data), &length);
  if (rc == ERROR_MORE_DATA || (rc == ERROR_SUCCESS && length > kInstallPathField)) {
    tng::diag::say(
        "the install path in the registry is %u characters long; at most %u fit. Nothing was "
        "changed.\n",
        length > 0 ? length - 1 : 0, kInstallPathField - 1);
    return std::nullopt;
  }
  if (rc != ERROR_SUCCESS) return std::nullopt;
  std::string path(data);
  if (path.empty() || path.front() != '/') {
    tng::diag::say(
        "the install path in the registry, \"%s\", is not an absolute path. Nothing was "
        "changed.\n",
        path.c_str());
    return std::nullopt;
  }
  return path;
}

// The whole file, or nothing when it cannot be read.
std::optional<std::string> read_file(const std::filesystem::path& path) {
  const File file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  std::string content;
  char chunk[4096];
  std::size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) content.append(chunk, got);
  if (std::ferror(file.get())) return std::nullopt;
  return content;
}

}  // namespace

int main() {
  const auto install_path = read_install_path();
  if (!install_path) return kNotUpdated;
  std::printf("Unicenter Install Path: %s\n", install_path->c_str());

  const std::filesystem::path gateway_file = *install_path + std::string(kGatewayFile);
  const auto content = read_file(gateway_file);
  if (!content) {
    std::fputs("Could not open file gwclass.dat\n", stdout);
    return kNotUpdated;
  }

  const schema::GatewayFile current = schema::split_gateway_file(*content);
  const std::string list(current.list);
  std::printf("\nGWCLASS.DAT Current=%s\n\n", list.c_str());

  const auto updated = schema::with_classes_appended(current, kOrvexClasses);
  if (!updated) {
    tng::diag::say(
        "the class list would be %zu characters long with the Orvex classes; at most %zu fit. "
        "gwclass.dat was not changed.\n",
        list.size() + kOrvexClasses.size(), schema::kClassListMax);
    return kNotUpdated;
  }
  std::printf("GWCLASS.DAT New=%s%.*s\n\n", list.c_str(), static_cast<int>(kOrvexClasses.size()),
              kOrvexClasses.data());

  // The file's own permissions decide, and its owner, group and mode stay;
  // the new content is complete before the old is touched.
  if (const int error = tng::files::rewrite(gateway_file, *updated)) {
    std::fputs("Could not open gwclass.dat for writing.\n", stdout);
    tng::diag::say("%s: %s\n", gateway_file.c_str(), tng::files::error_text(error).c_str());
    return kNotUpdated;
  }
  std::fputs("File gwclass.dat successfully updated.\n", stdout);
  return kUpdated;
}
