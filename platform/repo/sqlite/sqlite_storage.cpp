// The embedded storage: a repository in its SQLite file (database.h).
#include <cstring>
#include <variant>

#include "database.h"
#include "platform/wvapi.h"
#include "storage.h"

namespace tng::repo {
namespace {

// A value to bind, in the order of the statement's numbered parameters.
using Param = std::variant<std::nullptr_t, std::string, int64_t, Uuid>;

// A statement's text with its parameters, built together so that their
// numbers always agree.
struct Sql {
  std::string text;
  std::vector<Param> params;

  std::string add(Param p) {
    params.push_back(std::move(p));
    return "?" + std::to_string(params.size());
  }
  void bind(Statement& s) const {
    int index = 1;
    for (const Param& p : params) {
      if (const auto* text = std::get_if<std::string>(&p))
        s.bind(index, *text);
      else if (const auto* number = std::get_if<int64_t>(&p))
        s.bind(index, *number);
      else if (const auto* uuid = std::get_if<Uuid>(&p))
        s.bind_blob(index, uuid->data(), uuid->size());
      else
        s.bind_null(index);
      ++index;
    }
  }
};

// A test's value as the file keeps it: integers as integers, UUIDs as
// 16-byte blobs, texts as texts.
Param stored(const Test& t) {
  if (t.type == WV_TYPE_INTEGER) {
    int32_t v = 0;
    std::memcpy(&v, t.value.data(), std::min<size_t>(4, t.value.size()));
    return int64_t{v};
  }
  if (t.type == WV_TYPE_UUID) {
    Uuid u{};
    if (t.value.size() != 16) return std::string(t.value);  // matches no UUID
    std::memcpy(u.data(), t.value.data(), 16);
    return u;
  }
  return t.value;
}

void bind_stored(Statement& s, int index, const Test& t) {
  Param p = stored(t);
  if (const auto* number = std::get_if<int64_t>(&p))
    s.bind(index, *number);
  else if (const auto* uuid = std::get_if<Uuid>(&p))
    s.bind_blob(index, uuid->data(), uuid->size());
  else
    s.bind(index, std::get<std::string>(p));
}

// " AND ..." for the tests. class_name and uuid are columns of the object;
// every other property is a row of props with its type and value.
void add_tests(Sql& sql, const std::vector<Test>& tests) {
  for (const Test& t : tests) {
    if (t.property == "class_name") {
      sql.text += t.type == WV_TYPE_TEXT ? " AND o.class_name = " + sql.add(t.value) : " AND 0";
    } else if (t.property == "uuid") {
      sql.text += t.type == WV_TYPE_UUID ? " AND o.uuid = " + sql.add(stored(t)) : " AND 0";
    } else {
      std::string n = sql.add(t.property);
      std::string ty = sql.add(int64_t{t.type});
      std::string v = sql.add(stored(t));
      sql.text.append(" AND EXISTS(SELECT 1 FROM props p WHERE p.object_id = o.id AND p.name = ")
          .append(n)
          .append(" AND p.type = ")
          .append(ty)
          .append(" AND p.value = ")
          .append(v)
          .append(")");
    }
  }
}

Test read_prop(const Statement& s, int name, int type, int value) {
  Test t{std::string(s.text(name)), static_cast<int32_t>(s.integer(type)), {}};
  if (t.type == WV_TYPE_INTEGER) {
    auto v = static_cast<int32_t>(s.integer(value));
    t.value.assign(reinterpret_cast<const char*>(&v), 4);
  } else if (t.type == WV_TYPE_UUID) {
    t.value = s.blob(value);
  } else {
    t.value = s.text(value);
  }
  return t;
}

class SqliteStorage final : public Storage {
 public:
  explicit SqliteStorage(Database&& db) : owned_(std::move(db)), db_(*owned_) {}
  explicit SqliteStorage(Database& db) : db_(db) {}

  void begin(Kind kind) override { db_.exec(kind == kWrite ? "BEGIN IMMEDIATE" : "BEGIN"); }
  void commit() override { db_.exec("COMMIT"); }
  void rollback() noexcept override {
    sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
  }

  std::optional<std::string> class_parent(std::string_view name) override {
    Statement s(db_, "SELECT coalesce(parent, '') FROM classes WHERE name = ?1");
    s.bind(1, name);
    if (!s.step()) return std::nullopt;
    return std::string(s.text(0));
  }
  void insert_class(std::string_view name, std::string_view parent) override {
    Statement add(db_, "INSERT INTO classes(name, parent) VALUES(?1, ?2)");
    add.bind(1, name);
    if (parent.empty())
      add.bind_null(2);
    else
      add.bind(2, parent);
    add.run();
  }
  void delete_class(std::string_view name) override {
    Statement drop(db_, "DELETE FROM classes WHERE name = ?1");
    drop.bind(1, name);
    drop.run();
  }
  int64_t count_objects(std::string_view class_name) override {
    Statement s(db_, "SELECT count(*) FROM objects WHERE class_name = ?1");
    s.bind(1, class_name);
    s.step();
    return s.integer(0);
  }
  std::optional<std::string> first_subclass(std::string_view name) override {
    Statement s(db_, "SELECT name FROM classes WHERE parent = ?1 ORDER BY name LIMIT 1");
    s.bind(1, name);
    if (!s.step()) return std::nullopt;
    return std::string(s.text(0));
  }
  void scan_classes(const std::function<void(const ClassEntry&)>& each) override {
    Statement s(db_, "SELECT name, parent FROM classes ORDER BY name");
    ClassEntry e;
    while (s.step()) {
      e.name = s.text(0);
      e.parent.reset();
      if (!s.is_null(1)) e.parent = std::string(s.text(1));
      each(e);
    }
  }
  void count_by_class(const std::function<void(const ClassCount&)>& each) override {
    Statement s(db_,
                "SELECT c.name, (SELECT count(*) FROM objects o WHERE o.class_name = c.name) "
                "FROM classes c ORDER BY c.name");
    while (s.step()) each(ClassCount{std::string(s.text(0)), s.integer(1)});
  }

  void scan_objects(const ObjectFilter& filter, const std::vector<std::string>* only,
                    const std::function<void(const ObjectRow&)>& each) override {
    Sql sql;
    sql.text = "SELECT o.id, o.class_name, o.uuid FROM objects o WHERE ";
    sql.text += filter.class_name ? "o.class_name = " + sql.add(*filter.class_name) : "1";
    add_tests(sql, filter.tests);
    if (filter.after > 0) sql.text += " AND o.id > " + sql.add(filter.after);
    if (filter.contains)
      sql.text +=
          " AND EXISTS(SELECT 1 FROM props p WHERE p.object_id = o.id AND p.name IN "
          "('name', 'address') AND p.type = 0 AND instr(p.value, " +
          sql.add(*filter.contains) + ") > 0)";
    sql.text += " ORDER BY o.id";
    if (filter.limit > 0) sql.text += " LIMIT " + sql.add(static_cast<int64_t>(filter.limit));
    Statement objects(db_, sql.text);
    sql.bind(objects);

    bool wants_props = !only || !only->empty();
    Statement props(db_, only ? "SELECT name, type, value FROM props WHERE object_id = ?1"
                              : "SELECT name, type, value FROM props WHERE object_id = ?1 "
                                "ORDER BY name");
    ObjectRow row;
    while (objects.step()) {
      row.id = objects.integer(0);
      row.class_name = objects.text(1);
      std::string_view uuid = objects.blob(2);
      if (uuid.size() == 16) std::memcpy(row.uuid.data(), uuid.data(), 16);
      row.props.clear();
      if (wants_props) {
        props.bind(1, row.id);
        while (props.step()) {
          if (only) {
            std::string_view name = props.text(0);
            if (std::find(only->begin(), only->end(), name) == only->end()) continue;
          }
          row.props.push_back(read_prop(props, 0, 1, 2));
        }
        props.reset();
      }
      each(row);
    }
  }

  uint32_t delete_objects(std::string_view class_name, const std::vector<Test>& tests) override {
    Sql sql;
    sql.text = "DELETE FROM objects WHERE id IN (SELECT o.id FROM objects o WHERE o.class_name = " +
               sql.add(std::string(class_name));
    add_tests(sql, tests);
    sql.text += ")";
    Statement del(db_, sql.text);
    sql.bind(del);
    del.run();
    return static_cast<uint32_t>(db_.changes());
  }

  bool uuid_in_use(const Uuid& uuid) override {
    Statement used(db_, "SELECT 1 FROM objects WHERE uuid = ?1");
    used.bind_blob(1, uuid.data(), 16);
    return used.step();
  }

  void insert_object(std::string_view class_name, const Uuid& uuid,
                     const std::vector<Test>& items) override {
    Statement add(db_, "INSERT INTO objects(class_name, uuid) VALUES(?1, ?2)");
    add.bind(1, class_name).bind_blob(2, uuid.data(), 16);
    add.run();
    int64_t id = sqlite3_last_insert_rowid(db_.handle());
    Statement prop(db_, "INSERT INTO props(object_id, name, type, value) VALUES(?1, ?2, ?3, ?4)");
    for (const Test& t : items) {
      if (t.property == "uuid" || t.property == "class_name") continue;
      prop.bind(1, id).bind(2, t.property).bind(3, int64_t{t.type});
      bind_stored(prop, 4, t);
      prop.run();
      prop.reset();
    }
  }

  // The write lock is taken at the start of the transaction, so the object
  // found is the one moved.
  std::optional<Uuid> move_named(std::string_view from, std::string_view name, std::string_view to,
                                 const AuditEntry& audit) override {
    Statement find(db_,
                   "SELECT o.id, o.uuid FROM objects o JOIN props p ON p.object_id = o.id "
                   "AND p.name = 'name' AND p.type = 0 AND p.value = ?2 "
                   "WHERE o.class_name = ?1 AND EXISTS(SELECT 1 FROM classes WHERE name = ?3) "
                   "ORDER BY o.id LIMIT 1");
    find.bind(1, from).bind(2, name).bind(3, to);
    if (!find.step()) return std::nullopt;
    int64_t id = find.integer(0);
    Uuid uuid{};
    if (find.blob(1).size() == 16) std::memcpy(uuid.data(), find.blob(1).data(), 16);
    Statement move(db_, "UPDATE objects SET class_name = ?2 WHERE id = ?1");
    move.bind(1, id).bind(2, to);
    move.run();
    AuditEntry record = audit;
    record.uuid = uuid;
    insert_audit(record);
    return uuid;
  }

  bool move_uuid(const Uuid& uuid, std::string_view from, std::string_view to,
                 const AuditEntry& audit) override {
    Statement move(db_, "UPDATE objects SET class_name = ?3 WHERE uuid = ?1 AND class_name = ?2");
    move.bind_blob(1, uuid.data(), 16).bind(2, from).bind(3, to);
    move.run();
    if (db_.changes() != 1) return false;
    insert_audit(audit);
    return true;
  }

  void insert_audit(const AuditEntry& a) override {
    Statement audit(db_,
                    "INSERT INTO audit(time, user, action, object_uuid, object_name, from_class, "
                    "to_class) VALUES(?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    audit.bind(1, a.time).bind(2, a.user).bind(3, a.action);
    if (a.uuid)
      audit.bind_blob(4, a.uuid->data(), 16);
    else
      audit.bind_null(4);
    audit.bind(5, a.name).bind(6, a.from).bind(7, a.to);
    audit.run();
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

  std::optional<int32_t> status_number(std::string_view name) override {
    Statement s(db_, "SELECT number FROM statuses WHERE name = ?1");
    s.bind(1, name);
    if (!s.step()) return std::nullopt;
    return static_cast<int32_t>(s.integer(0));
  }
  void insert_status(std::string_view name, int32_t number) override {
    Statement s(db_, "INSERT INTO statuses(name, number) VALUES(?1, ?2)");
    s.bind(1, name).bind(2, int64_t{number});
    s.run();
  }
  void scan_statuses(const std::function<void(const StatusEntry&)>& each) override {
    Statement s(db_, "SELECT name, number FROM statuses ORDER BY number");
    while (s.step()) each(StatusEntry{std::string(s.text(0)), static_cast<int32_t>(s.integer(1))});
  }

  void scan_audit(const AuditFilter& f,
                  const std::function<void(const AuditEntry&)>& each) override {
    Sql sql;
    sql.text =
        "SELECT id, time, user, action, object_uuid, object_name, from_class, to_class "
        "FROM audit WHERE id > " +
        sql.add(f.after);
    if (f.before) sql.text += " AND id < " + sql.add(*f.before);
    if (f.user) sql.text += " AND user = " + sql.add(*f.user);
    if (f.class_name) {
      std::string c = sql.add(*f.class_name);
      sql.text += " AND (from_class = " + c + " OR to_class = " + c + ")";
    }
    if (f.since) sql.text += " AND time >= " + sql.add(*f.since);
    if (f.until) sql.text += " AND time < " + sql.add(*f.until);
    if (f.uuid) sql.text += " AND object_uuid = " + sql.add(*f.uuid);
    sql.text += f.newest_first ? " ORDER BY id DESC" : " ORDER BY id";
    if (f.limit > 0) sql.text += " LIMIT " + sql.add(static_cast<int64_t>(f.limit));
    Statement s(db_, sql.text);
    sql.bind(s);
    AuditEntry e;
    while (s.step()) {
      e.id = s.integer(0);
      e.time = s.text(1);
      e.user = s.text(2);
      e.action = s.text(3);
      e.uuid.reset();
      if (s.blob(4).size() == 16) {
        Uuid u{};
        std::memcpy(u.data(), s.blob(4).data(), 16);
        e.uuid = u;
      }
      e.name = s.text(5);
      e.from = s.text(6);
      e.to = s.text(7);
      each(e);
    }
  }

 private:
  std::optional<Database> owned_;
  Database& db_;
};

}  // namespace

std::unique_ptr<Storage> open_sqlite_storage(std::string_view name) {
  return std::make_unique<SqliteStorage>(Database::open(name));
}

void create_sqlite_storage(std::string_view name, const std::function<void(Storage&)>& fill) {
  Database::create(name, [&](Database& db) {
    SqliteStorage storage(db);
    fill(storage);
  });
}

void copy_sqlite_storage(std::string_view from, std::string_view to) { Database::copy(from, to); }

void remove_sqlite_storage(std::string_view name) noexcept {
  try {
    std::filesystem::path file = repositories_dir() / (std::string(name) + ".db");
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"})
      std::filesystem::remove(file.string() + suffix, ec);
  } catch (...) {
  }
}

}  // namespace tng::repo
