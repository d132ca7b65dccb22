// How a repository is stored, by its registration in
// $TNG_HOME/repositories: NAME.db is the embedded file, NAME.pg the record
// of a server repository ("conninfo=" and the libpq connection string; no
// secret).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>

#include "platform/files.h"
#include "repository.h"
#include "storage.h"

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

// Anything at a registration's place, a dangling link included, takes the
// name.
bool taken(const fs::path& place) {
  std::error_code ec;
  return fs::symlink_status(place, ec).type() != fs::file_type::not_found;
}

void check_new_registration(std::string_view name) {
  check_name(name);
  std::error_code ec;
  if (!fs::is_directory(repositories_dir(), ec))
    throw Error(kNotFound, "no framework install at " + home().string() + " (run 'wvrepo setup')");
  if (taken(embedded_file(name)) || taken(server_record(name)))
    throw Error(kExists, "repository '" + std::string(name) + "' exists already");
}

// The connection string of a server repository's record. A record is ours
// to write: one that carries a secret or cannot be read is refused as
// `create` refuses the same string.
std::string read_conninfo(const fs::path& record) {
  std::ifstream in(record);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.starts_with(kConninfoKey)) continue;
    std::string conninfo = line.substr(std::strlen(kConninfoKey));
    try {
      check_server_conninfo(conninfo);
    } catch (const Error& e) {
      if (e.code() != kBadArgument) throw;
      throw Error(kFailed, record.string() + ": " + e.what());
    }
    return conninfo;
  }
  throw Error(kFailed, record.string() + " names no server (no '" + kConninfoKey + "' line)");
}

// Writes the record, the owner's only, under a private name and links it
// into place, so that a reader never sees half a record and an existing
// one is never replaced.
void write_record(std::string_view name, const std::string& conninfo) {
  fs::path file = server_record(name);
  fs::path building =
      repositories_dir() / ("." + std::string(name) + ".pg." + std::to_string(::getpid()));
  std::error_code ec;
  fs::remove(building, ec);
  if (int error = tng::files::create_private(building.string()); error != 0)
    throw Error(kFailed,
                "cannot write " + building.string() + ": " + tng::files::error_text(error));
  {
    std::ofstream out(building, std::ios::trunc);
    out << "# Server repository '" << name << "': how to reach it. The password, if any,\n"
        << "# comes from libpq's own means (~/.pgpass, PGPASSFILE, a service file).\n"
        << kConninfoKey << conninfo << "\n";
    out.close();
    if (!out) {
      fs::remove(building, ec);
      throw Error(kFailed, "cannot write " + building.string());
    }
  }
  bool linked = ::link(building.c_str(), file.c_str()) == 0;
  int error = errno;
  fs::remove(building, ec);
  if (!linked) {
    if (error == EEXIST)
      throw Error(kExists, "repository '" + std::string(name) + "' exists already");
    throw Error(kFailed, "cannot register " + file.string() + ": " + std::strerror(error));
  }
}

// Fills a new repository with the framework's classes and statuses.
void fill_framework(Storage& storage) {
  for (const FrameworkClass& c : framework_classes())
    storage.insert_class(c.name, c.parent ? c.parent : "");
  for (const FrameworkStatus& s : framework_statuses()) storage.insert_status(s.name, s.number);
}

// The server that holds a registered repository, or nullopt for the
// embedded file.
std::optional<std::string> server_of(std::string_view name) {
  std::error_code ec;
  fs::path record = server_record(name);
  if (!fs::is_regular_file(embedded_file(name), ec) && fs::is_regular_file(record, ec))
    return read_conninfo(record);
  return std::nullopt;
}

}  // namespace

std::unique_ptr<Store> open_store(std::string_view name) {
  if (!valid_repository_name(name))
    throw Error(kBadArgument, "'" + std::string(name) + "' is not a valid repository name");
  if (std::optional<std::string> server = server_of(name))
    return std::make_unique<Store>(open_server_storage(name, *server));
  return std::make_unique<Store>(open_sqlite_storage(name));
}

void create_repository(std::string_view name, const std::optional<std::string>& server) {
  check_new_registration(name);
  if (!server) {
    create_sqlite_storage(name, fill_framework);
    return;
  }
  check_server_conninfo(*server);
  create_server_storage(name, *server, fill_framework);
  try {
    write_record(name, *server);
  } catch (...) {
    remove_server_storage(name, *server);
    throw;
  }
}

void attach_repository(std::string_view name, const std::string& server) {
  check_new_registration(name);
  check_server_conninfo(server);
  check_server_storage(name, server);
  write_record(name, server);
}

void copy_repository(std::string_view from, std::string_view to) {
  check_name(from);
  check_new_registration(to);
  std::optional<std::string> server = server_of(from);
  if (!server) {
    copy_sqlite_storage(from, to);
    return;
  }
  copy_server_storage(from, to, *server);
  try {
    write_record(to, *server);
  } catch (...) {
    remove_server_storage(to, *server);
    throw;
  }
}

void remove_repository(std::string_view name) noexcept {
  if (!valid_repository_name(name)) return;
  try {
    std::error_code ec;
    if (std::optional<std::string> server = server_of(name)) {
      remove_server_storage(name, *server);
      fs::remove(server_record(name), ec);
      return;
    }
    remove_sqlite_storage(name);
  } catch (...) {
  }
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
