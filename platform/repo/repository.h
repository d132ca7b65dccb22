// The repository under the WorldView API and the platform's tools.
//
// A repository is reached by its name alone. Its registration in
// $TNG_HOME/repositories says how it is stored: NAME.db is the embedded
// file, NAME.pg the record of a repository on a server. Store holds the
// repository's rules (what a class, an object and a move may be, and the
// codes and messages of their failures) once, above a narrow storage
// interface (storage.h) that each way of storing implements; nothing above
// this file knows which one it talks to.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "result_file.h"
#include "types.h"

namespace tng::repo {

class Storage;

// One open repository. Every operation throws Error on failure, with the
// codes of types.h and wvapi.h. Operations marked "in the caller's
// transaction" run between begin() and commit() of a StoreTransaction; the
// others make their own.
class Store {
 public:
  enum Kind { kRead, kWrite };
  explicit Store(std::unique_ptr<Storage> storage);
  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  void begin(Kind kind);
  void commit();
  void rollback() noexcept;

  // Classes, in the caller's transaction. add_class of a class that exists
  // with the same parent does nothing (kExists when its parent differs); an
  // empty parent makes a root class. drop_class refuses (kInUse) a class
  // that still holds objects or has subclasses, and answers 10
  // (WV_NO_SUCH_CLASS) for a missing one.
  bool class_exists(std::string_view name);
  void add_class(std::string_view name, std::string_view parent);
  void drop_class(std::string_view name);
  // By name, in byte order.
  void list_classes(const std::function<void(const ClassEntry&)>& each);
  void count_by_class(const std::function<void(const ClassCount&)>& each);

  // Objects, in the caller's transaction.
  // The class's objects meeting every test, with the properties of the
  // comma-separated list, spooled.
  ResultFile run_query(std::string_view class_name, const std::vector<Test>& tests,
                       std::string_view properties);
  // Objects meeting the filter, in creation order, with all their
  // properties (sorted by name).
  void list_objects(const ObjectFilter& filter, const std::function<void(const ObjectRow&)>& each);
  void list_objects(std::optional<std::string_view> class_name, const std::vector<Test>& tests,
                    const std::function<void(const ObjectRow&)>& each);
  std::optional<ObjectRow> find_object(const Uuid& uuid);
  // Deletes the class's objects that meet every test; the number deleted.
  uint32_t delete_objects(std::string_view class_name, const std::vector<Test>& tests);
  // Creates one object and returns its uuid; a uuid is made when the items
  // hold none. Throws WV_NO_SUCH_CLASS for a missing class, kBadArgument
  // for a bad item, kExists for a uuid in use.
  Uuid create_object(std::string_view class_name, const std::vector<Test>& items);

  // Users, in the caller's transaction or alone.
  std::optional<UserHash> find_user(std::string_view name);
  void put_user(std::string_view name, const UserHash& hash);

  // Moves the oldest object of `from` whose text name is `name` into `to`
  // and writes its audit record, in one transaction of its own. Two
  // processes moving or deleting the same object never both succeed.
  // Throws kNotFound or WV_NO_SUCH_CLASS (source or target) with a message.
  void move_object(std::string_view user, std::string_view from, std::string_view name,
                   std::string_view to, std::string_view time);
  // Moves the object of that uuid from `from` into `to` and writes `audit`
  // (its uuid, classes and name filled in here), in the caller's write
  // transaction. Throws WV_NO_SUCH_CLASS for a missing target, kChanged
  // when the object is not in `from`.
  void move_object(const Uuid& uuid, std::string_view from, std::string_view to,
                   std::string_view name, AuditEntry audit);
  // Moves many objects by uuid as the one above moves one, in the order
  // given, in the caller's write transaction; their uuids are distinct.
  // Each audit record is `audit` with the object's uuid, classes and name.
  // Throws WV_NO_SUCH_CLASS for a missing target, kChanged when an object
  // is not in its `from`.
  void move_objects(const std::vector<UuidMove>& moves, const AuditEntry& audit);

  std::optional<int32_t> status_number(std::string_view name);
  // By number.
  void list_statuses(const std::function<void(const StatusEntry&)>& each);
  // In the order written.
  void list_audit(const std::function<void(const AuditEntry&)>& each);
  void list_audit(const AuditFilter& filter, const std::function<void(const AuditEntry&)>& each);

 private:
  std::unique_ptr<Storage> storage_;
};

// One transaction of a store; rolled back unless committed.
class StoreTransaction {
 public:
  StoreTransaction(Store& store, Store::Kind kind) : store_(store) { store_.begin(kind); }
  ~StoreTransaction() {
    if (open_) store_.rollback();
  }
  void commit() {
    store_.commit();
    open_ = false;
  }
  StoreTransaction(const StoreTransaction&) = delete;
  StoreTransaction& operator=(const StoreTransaction&) = delete;

 private:
  Store& store_;
  bool open_ = true;
};

// Opens the repository registered under `name`: kNotFound when there is
// none, kFailed when its server cannot be reached or holds no such
// repository.
std::unique_ptr<Store> open_store(std::string_view name);

// Creates a repository with the framework's classes and statuses and
// registers it under `name`: the embedded file without `server`, else in
// the server database that the connection string names. Checks everything
// before it makes anything; never replaces an existing repository
// (kExists); leaves nothing behind when it fails.
void create_repository(std::string_view name, const std::optional<std::string>& server);

// Registers under `name` a repository that exists already on the server;
// changes nothing there. kNotFound when the database holds no such
// repository.
void attach_repository(std::string_view name, const std::string& server);

// Copies the repository `from` whole, as it is at one moment, to a new
// repository `to` stored the same way (beside it on the same server), and
// registers it. remove_repository takes one away with its registration.
void copy_repository(std::string_view from, std::string_view to);
void remove_repository(std::string_view name) noexcept;

// The names of the registered repositories of either kind, sorted.
std::vector<std::string> repository_names();

// The framework's own classes (parents first) and status names, which every
// new repository holds.
struct FrameworkClass {
  const char* name;
  const char* parent;
};
struct FrameworkStatus {
  const char* name;
  int32_t number;
};
const std::vector<FrameworkClass>& framework_classes();
const std::vector<FrameworkStatus>& framework_statuses();

}  // namespace tng::repo
