// Administration of a repository, shared by the platform's command tools:
// users and their password hashes, the class move that reclass makes (with
// its audit record), and class definition files.
#pragma once
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "repository.h"

namespace tng::repo {

// Adds a user or replaces the password of an existing one. The password is
// kept only as a salted PBKDF2-HMAC-SHA-256 hash (4096 iterations).
void set_user(Store& store, std::string_view user, std::string_view password);
// True when the user exists and the password is theirs.
bool check_user(Store& store, std::string_view user, std::string_view password);

// Moves the oldest object of `from` whose text name is `name` into class
// `to`, keeping its uuid and properties, and records the move in the audit
// trail as done by `user`, in one transaction of its own. Throws Error
// (kNotFound, WV_NO_SUCH_CLASS, ...).
void move_object(Store& store, std::string_view user, std::string_view from, std::string_view name,
                 std::string_view to);

// One statement of a class definition file.
struct ClassStatement {
  enum Kind { kAdd, kDrop } kind;
  std::string name;
  std::string parent;  // kAdd: empty for a root class
  int line = 0;
};

// Reads a class definition file; throws Error with "FILE:LINE: ..." on a bad
// line or an unreadable file.
std::vector<ClassStatement> read_class_file(const std::string& path);

struct ApplyReport {
  int added = 0;    // classes made
  int present = 0;  // adds of classes that were there already
  int dropped = 0;  // classes removed
  int absent = 0;   // drops of classes that were not there
};

// Applies the statements in order inside the caller's write transaction;
// throws Error naming the file and line of the statement that failed.
ApplyReport apply_class_file(Store& store, const std::string& path,
                             const std::vector<ClassStatement>& statements);

// The folder that holds the running program ("" when it cannot be told).
std::filesystem::path own_folder();

// Where a class definition file named without a folder is read from: the
// current directory first; when it is not there, the folder of the running
// program (a build tree keeps the files beside the programs), then the
// installed data folder (share/<package>/, found from the program's folder).
// A name with a slash, or one found nowhere, is returned as it is.
std::string locate_class_file(const std::string& name);

// Reads and applies a class definition file (found by locate_class_file) to
// a repository in one transaction: either every statement takes effect or
// none.
ApplyReport import_class_file(std::string_view repository, const std::string& name);

}  // namespace tng::repo
