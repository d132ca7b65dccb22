// The repository interface under the WorldView API and the platform's tools.
//
// A repository is reached by its name alone. Its registration in
// $TNG_HOME/repositories says which backend serves it: NAME.db is the
// embedded SQLite file, NAME.pg the record of a repository on a PostgreSQL
// server. Nothing above this interface knows which one it talks to.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "query.h"
#include "store.h"

namespace tng::repo {

struct ClassEntry {
  std::string name;
  std::optional<std::string> parent;
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

struct AuditEntry {
  std::string time, user, action;
  std::optional<Uuid> uuid;
  std::string name, from, to;
};

// One open repository. Every operation throws Error on failure; the codes
// are those of store.h and wvapi.h, the same for every backend. Operations
// marked "in the caller's transaction" run between begin() and commit() of
// a StoreTransaction; the others make their own.
class Store {
 public:
  enum Kind { kRead, kWrite };
  virtual ~Store() = default;

  virtual void begin(Kind kind) = 0;
  virtual void commit() = 0;
  virtual void rollback() noexcept = 0;

  // Classes, in the caller's transaction (see query.h for the rules).
  virtual bool class_exists(std::string_view name) = 0;
  virtual void add_class(std::string_view name, std::string_view parent) = 0;
  virtual void drop_class(std::string_view name) = 0;
  // By name, in byte order.
  virtual void list_classes(const std::function<void(const ClassEntry&)>& each) = 0;

  // Objects, in the caller's transaction (see query.h).
  virtual ResultFile run_query(std::string_view class_name, const std::vector<Test>& tests,
                               std::string_view properties) = 0;
  virtual void list_objects(std::optional<std::string_view> class_name,
                            const std::vector<Test>& tests,
                            const std::function<void(const ObjectRow&)>& each) = 0;
  virtual uint32_t delete_objects(std::string_view class_name, const std::vector<Test>& tests) = 0;
  virtual Uuid create_object(std::string_view class_name, const std::vector<Test>& items) = 0;

  // Users, in the caller's transaction or alone.
  virtual std::optional<UserHash> find_user(std::string_view name) = 0;
  virtual void put_user(std::string_view name, const UserHash& hash) = 0;

  // Moves the oldest object of `from` whose text name is `name` into `to`
  // and writes its audit record, in one transaction of its own. Two
  // processes moving or deleting the same object never both succeed.
  // Throws kNotFound or WV_NO_SUCH_CLASS (source or target) with a message.
  virtual void move_object(std::string_view user, std::string_view from, std::string_view name,
                           std::string_view to, std::string_view time) = 0;

  virtual std::optional<int32_t> status_number(std::string_view name) = 0;
  // By number.
  virtual void list_statuses(const std::function<void(const StatusEntry&)>& each) = 0;
  // In the order written.
  virtual void list_audit(const std::function<void(const AuditEntry&)>& each) = 0;
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
// the PostgreSQL database that the connection string names. Never replaces
// an existing repository (kExists); registers nothing when it fails.
void create_repository(std::string_view name, const std::optional<std::string>& server);

// Registers under `name` a repository that exists already on the server;
// changes nothing there. kNotFound when the database holds no such
// repository.
void attach_repository(std::string_view name, const std::string& server);

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
