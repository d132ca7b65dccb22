// The embedded backend: the repository store of store.h and the queries of
// query.h behind the Store interface.
#include <cstring>

#include "backends.h"
#include "platform/wvapi.h"
#include "query.h"
#include "store.h"

namespace tng::repo {
namespace {

class SqliteStore final : public Store {
 public:
  explicit SqliteStore(Database db) : db_(std::move(db)) {}

  void begin(Kind kind) override { db_.exec(kind == kWrite ? "BEGIN IMMEDIATE" : "BEGIN"); }
  void commit() override { db_.exec("COMMIT"); }
  void rollback() noexcept override {
    sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  }

  bool class_exists(std::string_view name) override { return repo::class_exists(db_, name); }
  void add_class(std::string_view name, std::string_view parent) override {
    repo::add_class(db_, name, parent);
  }
  void drop_class(std::string_view name) override { repo::drop_class(db_, name); }
  void list_classes(const std::function<void(const ClassEntry&)>& each) override {
    Statement s(db_, "SELECT name, parent FROM classes ORDER BY name");
    ClassEntry e;
    while (s.step()) {
      e.name = s.text(0);
      e.parent.reset();
      if (!s.is_null(1)) e.parent = std::string(s.text(1));
      each(e);
    }
  }

  ResultFile run_query(std::string_view class_name, const std::vector<Test>& tests,
                       std::string_view properties) override {
    return repo::run_query(db_, class_name, tests, properties);
  }
  void list_objects(std::optional<std::string_view> class_name, const std::vector<Test>& tests,
                    const std::function<void(const ObjectRow&)>& each) override {
    repo::list_objects(db_, class_name, tests, each);
  }
  uint32_t delete_objects(std::string_view class_name, const std::vector<Test>& tests) override {
    return repo::delete_objects(db_, class_name, tests);
  }
  Uuid create_object(std::string_view class_name, const std::vector<Test>& items) override {
    return repo::create_object(db_, class_name, items);
  }

  std::optional<UserHash> find_user(std::string_view name) override {
    Statement s(db_, "SELECT salt, iterations, hash FROM users WHERE name = ?1");
    s.bind(1, name);
    if (!s.step()) return std::nullopt;
    return UserHash{std::string(s.blob(0)), static_cast<int>(s.integer(1)), std::string(s.blob(2))};
  }
  void put_user(std::string_view name, const UserHash& h) override {
    Statement s(db_,
                "INSERT INTO users(name, salt, iterations, hash) VALUES(?1, ?2, ?3, ?4) "
                "ON CONFLICT(name) DO UPDATE SET salt = ?2, iterations = ?3, hash = ?4");
    s.bind(1, name).bind_blob(2, h.salt.data(), h.salt.size()).bind(3, int64_t{h.iterations});
    s.bind_blob(4, h.hash.data(), h.hash.size());
    s.run();
  }

  // The write lock is taken at the start of the transaction, so the object
  // found is the one moved.
  void move_object(std::string_view user, std::string_view from, std::string_view name,
                   std::string_view to, std::string_view time) override {
    Transaction t(db_, Transaction::kWrite);
    if (!repo::class_exists(db_, from))
      throw Error(WV_NO_SUCH_CLASS, "class '" + std::string(from) + "' does not exist");
    if (!repo::class_exists(db_, to))
      throw Error(WV_NO_SUCH_CLASS, "target class '" + std::string(to) + "' does not exist");
    Statement find(db_,
                   "SELECT o.id, o.uuid FROM objects o JOIN props p ON p.object_id = o.id "
                   "AND p.name = 'name' AND p.type = 0 AND p.value = ?2 "
                   "WHERE o.class_name = ?1 ORDER BY o.id LIMIT 1");
    find.bind(1, from).bind(2, name);
    if (!find.step())
      throw Error(kNotFound, "no object named '" + std::string(name) + "' in class '" +
                                 std::string(from) + "'");
    int64_t id = find.integer(0);
    std::string uuid(find.blob(1));
    Statement move(db_, "UPDATE objects SET class_name = ?2 WHERE id = ?1");
    move.bind(1, id).bind(2, to);
    move.run();
    Statement audit(db_,
                    "INSERT INTO audit(time, user, action, object_uuid, object_name, from_class, "
                    "to_class) VALUES(?1, ?2, 'reclass', ?3, ?4, ?5, ?6)");
    audit.bind(1, time).bind(2, user).bind_blob(3, uuid.data(), uuid.size());
    audit.bind(4, name).bind(5, from).bind(6, to);
    audit.run();
    t.commit();
  }

  std::optional<int32_t> status_number(std::string_view name) override {
    Statement s(db_, "SELECT number FROM statuses WHERE name = ?1");
    s.bind(1, name);
    if (!s.step()) return std::nullopt;
    return static_cast<int32_t>(s.integer(0));
  }
  void list_statuses(const std::function<void(const StatusEntry&)>& each) override {
    Statement s(db_, "SELECT name, number FROM statuses ORDER BY number");
    while (s.step()) each(StatusEntry{std::string(s.text(0)), static_cast<int32_t>(s.integer(1))});
  }
  void list_audit(const std::function<void(const AuditEntry&)>& each) override {
    Statement s(db_,
                "SELECT time, user, action, object_uuid, object_name, from_class, to_class "
                "FROM audit ORDER BY id");
    AuditEntry e;
    while (s.step()) {
      e.time = s.text(0);
      e.user = s.text(1);
      e.action = s.text(2);
      e.uuid.reset();
      if (s.blob(3).size() == 16) {
        Uuid u{};
        std::memcpy(u.data(), s.blob(3).data(), 16);
        e.uuid = u;
      }
      e.name = s.text(4);
      e.from = s.text(5);
      e.to = s.text(6);
      each(e);
    }
  }

 private:
  Database db_;
};

}  // namespace

std::unique_ptr<Store> open_sqlite_store(std::string_view name) {
  return std::make_unique<SqliteStore>(Database::open(name));
}

}  // namespace tng::repo
