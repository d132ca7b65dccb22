// The narrow interface between the repository's rules (repository.cpp) and
// the ways a repository is stored: the embedded file (sqlite/) and the
// server (pg/). A storage only stores: it checks no rule, chooses no
// message and knows no code but kFailed for its own failures and kExists
// for a unique key taken. Nothing outside platform/repo includes this file.
#pragma once
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "types.h"

namespace tng::repo {

class Storage {
 public:
  enum Kind { kRead, kWrite };
  virtual ~Storage() = default;

  // A read transaction sees one snapshot; a write transaction holds the
  // repository's write lock from its start (embedded) or the locks of the
  // rows it changes (server).
  virtual void begin(Kind kind) = 0;
  virtual void commit() = 0;
  virtual void rollback() noexcept = 0;

  // Classes. class_parent: nullopt when there is no such class, an empty
  // text for a root class.
  virtual std::optional<std::string> class_parent(std::string_view name) = 0;
  virtual void insert_class(std::string_view name, std::string_view parent) = 0;
  virtual void delete_class(std::string_view name) = 0;
  virtual int64_t count_objects(std::string_view class_name) = 0;
  virtual std::optional<std::string> first_subclass(std::string_view name) = 0;
  // By name, in byte order.
  virtual void scan_classes(const std::function<void(const ClassEntry&)>& each) = 0;
  // Every class with its number of objects, by name in byte order.
  virtual void count_by_class(const std::function<void(const ClassCount&)>& each) = 0;

  // Objects meeting the filter, in creation order. With `only`, a row holds
  // just the properties named there (in no set order); without, every
  // property, sorted by name.
  virtual void scan_objects(const ObjectFilter& filter, const std::vector<std::string>* only,
                            const std::function<void(const ObjectRow&)>& each) = 0;
  // Deletes the objects of the class meeting every test; the number deleted.
  virtual uint32_t delete_objects(std::string_view class_name, const std::vector<Test>& tests) = 0;
  virtual bool uuid_in_use(const Uuid& uuid) = 0;
  // Adds an object with the properties of `items` other than class_name and
  // uuid.
  virtual void insert_object(std::string_view class_name, const Uuid& uuid,
                             const std::vector<Test>& items) = 0;

  // Moves the oldest object of `from` whose text name is `name` into `to`
  // when `to` exists, and writes `audit` for it with the object's uuid. The
  // object found is locked until the transaction ends, so two moves of one
  // object never both happen. Returns the uuid moved, or nullopt when
  // nothing was.
  virtual std::optional<Uuid> move_named(std::string_view from, std::string_view name,
                                         std::string_view to, const AuditEntry& audit) = 0;
  // Moves the object of that uuid from `from` into `to`, likewise; false
  // when it is not in `from`.
  virtual bool move_uuid(const Uuid& uuid, std::string_view from, std::string_view to,
                         const AuditEntry& audit) = 0;
  // Moves each object of `moves` (their uuids distinct) as move_uuid moves
  // one, each with `audit` (its uuid, classes and name filled in), the
  // records in the order given. How many moved: fewer than all when one
  // was not in its `from` (the caller then rolls back). The default moves
  // them one at a time.
  virtual size_t move_uuids(const std::vector<UuidMove>& moves, const AuditEntry& audit) {
    size_t moved = 0;
    for (const UuidMove& m : moves) {
      AuditEntry a = audit;
      a.uuid = m.uuid;
      a.name = m.name;
      a.from = m.from;
      a.to = m.to;
      if (!move_uuid(m.uuid, m.from, m.to, a)) break;
      ++moved;
    }
    return moved;
  }
  virtual void insert_audit(const AuditEntry& audit) = 0;

  virtual std::optional<UserHash> find_user(std::string_view name) = 0;
  virtual void put_user(std::string_view name, const UserHash& hash) = 0;

  virtual std::optional<int32_t> status_number(std::string_view name) = 0;
  virtual void insert_status(std::string_view name, int32_t number) = 0;
  // By number.
  virtual void scan_statuses(const std::function<void(const StatusEntry&)>& each) = 0;
  virtual void scan_audit(const AuditFilter& filter,
                          const std::function<void(const AuditEntry&)>& each) = 0;
};

// The embedded file of that repository; kNotFound when there is none.
std::unique_ptr<Storage> open_sqlite_storage(std::string_view name);
// Makes the file of a new repository, empty of content but for its tables,
// and calls `fill` inside the transaction that makes them, so that the file
// appears whole or not at all. kExists when one of that name exists.
void create_sqlite_storage(std::string_view name, const std::function<void(Storage&)>& fill);
// Copies the repository's file whole, in one read transaction, to a new
// repository of the other name (kExists when it exists).
void copy_sqlite_storage(std::string_view from, std::string_view to);
void remove_sqlite_storage(std::string_view name) noexcept;

// A repository on a server, in the database that `conninfo` names. kFailed
// when the server cannot be reached, kNotFound when it holds no such
// repository.
std::unique_ptr<Storage> open_server_storage(std::string_view name, const std::string& conninfo);
void create_server_storage(std::string_view name, const std::string& conninfo,
                           const std::function<void(Storage&)>& fill);
void check_server_storage(std::string_view name, const std::string& conninfo);
void copy_server_storage(std::string_view from, std::string_view to, const std::string& conninfo);
void remove_server_storage(std::string_view name, const std::string& conninfo) noexcept;
// Throws kBadArgument for a connection string that libpq cannot read, that
// carries a password or a line break; the message never repeats the string.
void check_server_conninfo(const std::string& conninfo);

}  // namespace tng::repo
