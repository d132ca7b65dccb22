// The two backends behind backend.h; only backend.cpp picks between them.
#pragma once
#include <memory>
#include <string>
#include <string_view>

#include "backend.h"

namespace tng::repo {

// The embedded repository: the SQLite file of that name.
std::unique_ptr<Store> open_sqlite_store(std::string_view name);

// A repository on a PostgreSQL server, in the database that `conninfo`
// names (a libpq connection string or URI).
std::unique_ptr<Store> open_server_store(std::string_view name, const std::string& conninfo);
void create_server_repository(std::string_view name, const std::string& conninfo);
// Throws kNotFound when the database holds no repository of that name.
void check_server_repository(std::string_view name, const std::string& conninfo);
// Throws kBadArgument for a connection string that libpq cannot read or
// that carries a password.
void check_server_conninfo(const std::string& conninfo);

}  // namespace tng::repo
