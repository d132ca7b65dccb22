// Which backend serves a repository, by its registration in
// $TNG_HOME/repositories: NAME.db is the embedded file, NAME.pg the record
// of a server repository ("conninfo=" and the libpq connection string; no
// secret).
#include "backend.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "backends.h"

namespace tng::repo {
namespace fs = std::filesystem;

namespace {

constexpr const char* kServerSuffix = ".pg";
constexpr const char* kConninfoKey = "conninfo=";

fs::path embedded_file(std::string_view name) {
  return repositories_dir() / (std::string(name) + ".db");
}
fs::path server_record(std::string_view name) {
  return repositories_dir() / (std::string(name) + kServerSuffix);
}

void check_name(std::string_view name) {
  if (!valid_repository_name(name))
    throw Error(kBadArgument, "'" + std::string(name) +
                                  "' is not a valid repository name (1 to 31 letters, digits, "
                                  "'_', '-' or '.')");
}

void check_new_registration(std::string_view name) {
  check_name(name);
  std::error_code ec;
  if (!fs::is_directory(repositories_dir(), ec))
    throw Error(kNotFound, "no framework install at " + home().string() + " (run 'wvrepo setup')");
  if (fs::exists(embedded_file(name), ec) || fs::exists(server_record(name), ec))
    throw Error(kExists, "repository '" + std::string(name) + "' exists already");
}

std::string read_conninfo(const fs::path& record) {
  std::ifstream in(record);
  std::string line;
  while (std::getline(in, line))
    if (line.starts_with(kConninfoKey)) return line.substr(std::strlen(kConninfoKey));
  throw Error(kFailed, record.string() + " names no server (no '" + kConninfoKey + "' line)");
}

// Writes the record under a private name and links it into place, so that
// a reader never sees half a record and an existing one is never replaced.
void write_record(std::string_view name, const std::string& conninfo) {
  if (conninfo.find_first_of("\n\r") != std::string::npos)
    throw Error(kBadArgument, "the connection string may not hold a line break");
  fs::path file = server_record(name);
  fs::path building =
      repositories_dir() / ("." + std::string(name) + ".pg." + std::to_string(::getpid()));
  {
    std::ofstream out(building, std::ios::trunc);
    out << "# Server repository '" << name << "': how to reach it. The password, if any,\n"
        << "# comes from libpq's own means (~/.pgpass, PGPASSFILE, a service file).\n"
        << kConninfoKey << conninfo << "\n";
    out.close();
    if (!out) throw Error(kFailed, "cannot write " + building.string());
  }
  bool linked = ::link(building.c_str(), file.c_str()) == 0;
  int error = errno;
  std::error_code ec;
  fs::remove(building, ec);
  if (!linked) {
    if (error == EEXIST) throw Error(kExists, "repository '" + std::string(name) + "' exists already");
    throw Error(kFailed, "cannot register " + file.string() + ": " + std::strerror(error));
  }
}

}  // namespace

const std::vector<FrameworkClass>& framework_classes() {
  static const std::vector<FrameworkClass> classes = {
      {"TNGRoot", nullptr},
      {"ManagedObject", "TNGRoot"},
      {"Host", "ManagedObject"},
      {"Agent", "ManagedObject"},
      {"WindowsNT_Server", "Host"},
      {"Windows2000_Server", "Host"},
      {"Windows_NetServer", "Host"},
      {"Linux", "Host"},
      {"Novell", "Host"},
      {"UnixWare", "Host"},
      {"SCOUnix", "Host"},
      {"OS2", "Host"},
      {"DECSystem", "Host"},
      {"Windows95", "Host"},
      {"Windows9x", "Host"},
      {"WindowsNT", "Host"},
      {"Windows2000", "Host"},
      {"WindowsXP", "Host"},
      {"Unispace", "ManagedObject"},
      {"Inclusion", "TNGRoot"},
      {"VistrelManager", "Agent"},
      {"Popup_Menu", "TNGRoot"},
      {"Method", "TNGRoot"},
  };
  return classes;
}

// The status names of the framework, by number. 0 is left out so that an
// object whose status was never set is not taken for absent.
const std::vector<FrameworkStatus>& framework_statuses() {
  static const std::vector<FrameworkStatus> statuses = {
      {"ANY:NORMAL", 1}, {"ANY:WARNING", 2}, {"ANY:CRITICAL", 3},
      {"ANY:ABSENT", 4}, {"ANY:UNKNOWN", 5}, {"ANY:DOWN", 6},
  };
  return statuses;
}

std::unique_ptr<Store> open_store(std::string_view name) {
  if (!valid_repository_name(name))
    throw Error(kBadArgument, "'" + std::string(name) + "' is not a valid repository name");
  std::error_code ec;
  fs::path record = server_record(name);
  if (!fs::is_regular_file(embedded_file(name), ec) && fs::is_regular_file(record, ec))
    return open_server_store(name, read_conninfo(record));
  return open_sqlite_store(name);
}

void create_repository(std::string_view name, const std::optional<std::string>& server) {
  check_new_registration(name);
  if (!server) {
    Database::create(name);
    return;
  }
  check_server_conninfo(*server);
  create_server_repository(name, *server);
  write_record(name, *server);
}

void attach_repository(std::string_view name, const std::string& server) {
  check_new_registration(name);
  check_server_conninfo(server);
  check_server_repository(name, server);
  write_record(name, server);
}

std::vector<std::string> repository_names() {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(repositories_dir(), ec)) {
    const fs::path& p = entry.path();
    if (p.extension() != ".db" && p.extension() != kServerSuffix) continue;
    std::string stem = p.stem().string();
    if (valid_repository_name(stem)) names.push_back(stem);
  }
  std::sort(names.begin(), names.end());
  names.erase(std::unique(names.begin(), names.end()), names.end());
  return names;
}

}  // namespace tng::repo
