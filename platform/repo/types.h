// What every layer of the repository speaks in: the failure type and its
// codes, uuids, the names a repository accepts, typed values, and the rows
// that reads hand out. Nothing here knows how a repository is stored.
#pragma once
#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tng::repo {

// A failure of the repository, with a code that the API hands back
// unchanged.
class Error : public std::runtime_error {
 public:
  Error(int32_t code, const std::string& what) : std::runtime_error(what), code_(code) {}
  int32_t code() const { return code_; }

 private:
  int32_t code_;
};

// Failure codes of the repository and the API (besides the ones of wvapi.h).
enum : int32_t {
  kFailed = 1,       // a start or storage failure
  kBadArgument = 3,  // a null handle, a bad type, length or name
  kNotFound = 4,     // no such repository, object, user or status
  kCapacity = 11,    // a criteria set or property list is full
  kNoProperty = 12,  // the object lacks the property or it was not asked for
  kInUse = 13,       // a class still holds objects or subclasses
  kExists = 16,      // the class, repository, user or uuid exists already
  kDenied = 17,      // bad credentials
  kTooLong = 18,     // a name does not fit its field
  kChanged = 19,     // an object is no longer as a plan saw it
};

using Uuid = std::array<uint8_t, 16>;

// The framework home (platform/home.h); throws Error (kNotFound) when
// there is none.
std::filesystem::path home();
std::filesystem::path repositories_dir();
// Repository names: 1 to 31 characters from letters, digits, '_', '-', '.',
// not starting with '.' or '-' (they name a file and fill a 32-byte field).
bool valid_repository_name(std::string_view name);
// Class and property names: letters, digits, '_', '-', ':' and '.', at most
// 255 characters.
bool valid_class_name(std::string_view name);

std::string uuid_text(const Uuid& uuid);
std::optional<Uuid> parse_uuid(std::string_view text);
Uuid new_uuid();

// One typed value with its property name: a criteria test (equality) or an
// item of a property list. `value` holds the text bytes, the 4 bytes of an
// integer (host order) or the 16 bytes of a UUID.
struct Test {
  std::string property;
  int32_t type = 0;
  std::string value;
};

// An object as a read hands it out: its class, its uuid and its properties
// (class_name and uuid apart). `id` orders objects by creation and is the
// cursor of a paged read.
struct ObjectRow {
  int64_t id = 0;
  std::string class_name;
  Uuid uuid{};
  std::vector<Test> props;
  // The property of that name, or null.
  const Test* find(std::string_view property) const;
};

struct ClassEntry {
  std::string name;
  std::optional<std::string> parent;
};

struct ClassCount {
  std::string name;
  int64_t count = 0;
};

// A user's password hash as kept in the repository.
struct UserHash {
  std::string salt;
  int iterations = 0;
  std::string hash;
};

struct StatusEntry {
  std::string name;
  int32_t number = 0;
};

// One record of the audit trail. `id` orders the records as written.
struct AuditEntry {
  int64_t id = 0;
  std::string time, user, action;
  std::optional<Uuid> uuid;
  std::string name, from, to;
};

// One object to move by its uuid (Store::move_objects): from the class
// `from` into `to`; `name` goes into its audit record.
struct UuidMove {
  Uuid uuid{};
  std::string from, to, name;
};

// Which audit records a read hands out: every field that is set must hold.
// `class_name` matches the source or the target class; the period is
// [since, until) on the record's time text (ISO 8601, so text order is time
// order). Without `newest_first` records come in the order written, after
// `after`; with it, the newest first, before `before`. `limit` 0 is no limit.
struct AuditFilter {
  std::optional<std::string> user, class_name, since, until;
  std::optional<Uuid> uuid;
  bool newest_first = false;
  int64_t after = 0;
  std::optional<int64_t> before;
  size_t limit = 0;
};

// Which objects a read hands out: those of one class (or of every class)
// meeting every test, with a creation id above `after`, in creation order.
// `contains`, when set, keeps only those whose name or address holds that
// text. `limit` 0 is no limit.
struct ObjectFilter {
  std::optional<std::string> class_name;
  std::vector<Test> tests;
  int64_t after = 0;
  size_t limit = 0;
  std::optional<std::string> contains;
};

}  // namespace tng::repo
