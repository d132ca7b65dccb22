// The repository's rules, once for every way of storing it: what a class,
// an object and a move may be, and the codes and messages of their
// failures. The storage below (storage.h) only stores.
#include "repository.h"

#include <cstring>
#include <set>

#include "platform/wvapi.h"
#include "storage.h"

namespace tng::repo {

namespace {

[[noreturn]] void no_class(std::string_view what, std::string_view name) {
  throw Error(WV_NO_SUCH_CLASS, std::string(what) + " '" + std::string(name) + "' does not exist");
}

// A text value, a class or property name is kept whole by every storage:
// one holding a NUL byte would be cut by one and kept by another.
void check_item(const Test& t) {
  if (t.property.empty() || t.property.find('\0') != std::string::npos)
    throw Error(kBadArgument, "a property name may not be empty or hold a NUL byte");
  if (t.type == WV_TYPE_TEXT && t.value.find('\0') != std::string::npos)
    throw Error(kBadArgument, "the text of property '" + t.property + "' holds a NUL byte");
}

// The uuid a new object of `class_name` gets: the one its items give, else
// a new one.
Uuid uuid_of_new_object(std::string_view class_name, const std::vector<Test>& items) {
  std::optional<Uuid> uuid;
  for (const Test& t : items) {
    if (t.property == "uuid") {
      if (t.type != WV_TYPE_UUID || t.value.size() != 16)
        throw Error(kBadArgument, "the uuid property must be a UUID");
      Uuid u{};
      std::memcpy(u.data(), t.value.data(), 16);
      uuid = u;
    } else if (t.property == "class_name") {
      if (t.type != WV_TYPE_TEXT || t.value != class_name)
        throw Error(kBadArgument, "the class_name property '" + t.value + "' names another class");
    }
  }
  return uuid ? *uuid : new_uuid();
}

}  // namespace

Store::Store(std::unique_ptr<Storage> storage) : storage_(std::move(storage)) {}
Store::~Store() = default;

void Store::begin(Kind kind) { storage_->begin(kind == kWrite ? Storage::kWrite : Storage::kRead); }
void Store::commit() { storage_->commit(); }
void Store::rollback() noexcept { storage_->rollback(); }

// A name holding a NUL byte names no class: a storage that takes names as
// C strings would read only its start.
bool Store::class_exists(std::string_view name) {
  return name.find('\0') == std::string_view::npos && storage_->class_parent(name).has_value();
}

void Store::add_class(std::string_view name, std::string_view parent) {
  if (!valid_class_name(name))
    throw Error(kBadArgument, "'" + std::string(name) + "' is not a valid class name");
  if (std::optional<std::string> have = storage_->class_parent(name)) {
    if (*have == parent) return;
    throw Error(kExists,
                "class '" + std::string(name) + "' exists already with parent '" + *have + "'");
  }
  if (!parent.empty() && !class_exists(parent)) no_class("parent class", parent);
  storage_->insert_class(name, parent);
}

void Store::drop_class(std::string_view name) {
  if (!class_exists(name)) no_class("class", name);
  if (int64_t n = storage_->count_objects(name))
    throw Error(kInUse, "class '" + std::string(name) + "' still holds " + std::to_string(n) +
                            " object(s); move or delete them first");
  if (std::optional<std::string> child = storage_->first_subclass(name))
    throw Error(kInUse, "class '" + std::string(name) + "' still has subclasses (" + *child + ")");
  storage_->delete_class(name);
}

void Store::list_classes(const std::function<void(const ClassEntry&)>& each) {
  storage_->scan_classes(each);
}

void Store::count_by_class(const std::function<void(const ClassCount&)>& each) {
  storage_->count_by_class(each);
}

ResultFile Store::run_query(std::string_view class_name, const std::vector<Test>& tests,
                            std::string_view properties) {
  ResultFile result(property_names(properties));
  std::optional<uint32_t> class_index = result.index_of("class_name");
  std::optional<uint32_t> uuid_index = result.index_of("uuid");
  std::vector<std::string> wanted;
  for (const std::string& n : result.names())
    if (n != "class_name" && n != "uuid") wanted.push_back(n);

  ObjectFilter filter{std::string(class_name), tests, 0, 0, std::nullopt};
  std::vector<std::pair<uint32_t, Test>> values;
  storage_->scan_objects(filter, &wanted, [&](const ObjectRow& row) {
    values.clear();
    if (class_index) values.emplace_back(*class_index, Test{{}, WV_TYPE_TEXT, row.class_name});
    if (uuid_index)
      values.emplace_back(
          *uuid_index,
          Test{{}, WV_TYPE_UUID, std::string(reinterpret_cast<const char*>(row.uuid.data()), 16)});
    for (const Test& t : row.props)
      if (std::optional<uint32_t> index = result.index_of(t.property))
        values.emplace_back(*index, Test{{}, t.type, t.value});
    result.write(values);
  });
  result.finish();
  return result;
}

void Store::list_objects(const ObjectFilter& filter,
                         const std::function<void(const ObjectRow&)>& each) {
  storage_->scan_objects(filter, nullptr, each);
}

void Store::list_objects(std::optional<std::string_view> class_name, const std::vector<Test>& tests,
                         const std::function<void(const ObjectRow&)>& each) {
  ObjectFilter filter;
  if (class_name) filter.class_name = std::string(*class_name);
  filter.tests = tests;
  storage_->scan_objects(filter, nullptr, each);
}

std::optional<ObjectRow> Store::find_object(const Uuid& uuid) {
  ObjectFilter filter;
  filter.tests.push_back(
      Test{"uuid", WV_TYPE_UUID, std::string(reinterpret_cast<const char*>(uuid.data()), 16)});
  std::optional<ObjectRow> found;
  storage_->scan_objects(filter, nullptr, [&](const ObjectRow& row) { found = row; });
  return found;
}

uint32_t Store::delete_objects(std::string_view class_name, const std::vector<Test>& tests) {
  return storage_->delete_objects(class_name, tests);
}

Uuid Store::create_object(std::string_view class_name, const std::vector<Test>& items) {
  if (class_name.find('\0') != std::string_view::npos)
    throw Error(kBadArgument, "a class name may not hold a NUL byte");
  if (!class_exists(class_name)) no_class("class", class_name);
  for (const Test& t : items) check_item(t);
  Uuid uuid = uuid_of_new_object(class_name, items);
  if (storage_->uuid_in_use(uuid))
    throw Error(kExists, "an object with uuid " + uuid_text(uuid) + " exists already");
  storage_->insert_object(class_name, uuid, items);
  return uuid;
}

std::optional<UserHash> Store::find_user(std::string_view name) {
  return storage_->find_user(name);
}
void Store::put_user(std::string_view name, const UserHash& hash) {
  storage_->put_user(name, hash);
}

void Store::move_object(std::string_view user, std::string_view from, std::string_view name,
                        std::string_view to, std::string_view time) {
  StoreTransaction t(*this, kWrite);
  AuditEntry audit;
  audit.time = time;
  audit.user = user;
  audit.action = "reclass";
  audit.name = name;
  audit.from = from;
  audit.to = to;
  if (!storage_->move_named(from, name, to, audit)) {
    if (!class_exists(from)) no_class("class", from);
    if (!class_exists(to)) no_class("target class", to);
    throw Error(kNotFound,
                "no object named '" + std::string(name) + "' in class '" + std::string(from) + "'");
  }
  t.commit();
}

void Store::move_object(const Uuid& uuid, std::string_view from, std::string_view to,
                        std::string_view name, AuditEntry audit) {
  if (!class_exists(to)) no_class("target class", to);
  audit.uuid = uuid;
  audit.name = name;
  audit.from = from;
  audit.to = to;
  if (!storage_->move_uuid(uuid, from, to, audit))
    throw Error(kChanged,
                "object " + uuid_text(uuid) + " is no longer in class '" + std::string(from) + "'");
}

void Store::move_objects(const std::vector<UuidMove>& moves, const AuditEntry& audit) {
  std::set<std::string_view> targets;
  for (const UuidMove& m : moves)
    if (targets.insert(m.to).second && !class_exists(m.to)) no_class("target class", m.to);
  if (storage_->move_uuids(moves, audit) != moves.size())
    throw Error(kChanged, "an object is no longer in the class it was to be moved from");
}

std::optional<int32_t> Store::status_number(std::string_view name) {
  return storage_->status_number(name);
}

void Store::list_statuses(const std::function<void(const StatusEntry&)>& each) {
  storage_->scan_statuses(each);
}

void Store::list_audit(const std::function<void(const AuditEntry&)>& each) {
  storage_->scan_audit(AuditFilter{}, each);
}

void Store::list_audit(const AuditFilter& filter,
                       const std::function<void(const AuditEntry&)>& each) {
  storage_->scan_audit(filter, each);
}

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

}  // namespace tng::repo
