// The server backend: a repository in a PostgreSQL database, over libpq.
//
// Each repository is one schema of the database ("tng_" and its name), so
// that several repositories can share a database. Values travel as text:
// an integer property is kept as its decimal text, a UUID property as its
// 36-character text, so that a criteria test compares type and text alone.
//
// Concurrency: writes run at READ COMMITTED and lock the rows they change.
// A move is one statement that locks the object it picks (FOR UPDATE) and
// changes it only if it is still in the source class; a process that
// waited for that lock sees the committed move, re-checks its condition on
// the new row and finds nothing to move or delete. So two processes moving
// or deleting one object never both succeed: no lost update, and an object
// is one row, never copied. Reads of a query run in one REPEATABLE READ
// snapshot and are spooled, so no transaction stays open across a walk.
#include <dlfcn.h>
#include <libpq-fe.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "platform/wvapi.h"
#include "storage.h"
#include "tables.h"

namespace tng::repo {
namespace {

// libpq's functions, loaded with the library when a server repository is
// first named (libpq.def says why). The library stays loaded until the
// process ends.
struct Libpq {
// A name in a declaration cannot stand in parentheses.
// NOLINTNEXTLINE(bugprone-macro-parentheses)
#define TNG_LIBPQ(name) decltype(&::name) name = nullptr;
#include "libpq.def"
#undef TNG_LIBPQ
};

const Libpq& libpq() {
  static Libpq functions;
  static bool loaded = false;
  if (loaded) return functions;
  // Bound lazily, as the loader binds a linked library: binding libpq and
  // its libraries whole at once cost a run on a server 1.5 ms more.
  void* library = ::dlopen("libpq.so.5", RTLD_LAZY | RTLD_LOCAL);
  if (library == nullptr)
    throw Error(kFailed, std::string("a repository on a server needs libpq, which cannot be "
                                     "loaded: ") +
                             ::dlerror());
#define TNG_LIBPQ(name)                                                          \
  functions.name = reinterpret_cast<decltype(&::name)>(::dlsym(library, #name)); \
  if (functions.name == nullptr)                                                 \
    throw Error(kFailed, "the libpq loaded lacks " #name                         \
                         ", which a repository on a "                            \
                         "server needs");
#include "libpq.def"
#undef TNG_LIBPQ
  loaded = true;
  return functions;
}

// In this file each libpq function's name is an object that calls the
// loaded function. (Being an object, it also keeps the call from finding
// the library's own declaration through its argument types.) The name
// declares, so it cannot stand in parentheses.
// NOLINTBEGIN(bugprone-macro-parentheses)
#define TNG_LIBPQ(name)                                 \
  constexpr struct {                                    \
    template <typename... Args>                         \
    auto operator()(Args&&... args) const {             \
      return libpq().name(std::forward<Args>(args)...); \
    }                                                   \
  } name{};
// NOLINTEND(bugprone-macro-parentheses)
#include "libpq.def"
#undef TNG_LIBPQ

struct ClearResult {
  void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ClearResult>;

struct Finish {
  void operator()(PGconn* c) const { PQfinish(c); }
};
using Connection = std::unique_ptr<PGconn, Finish>;

struct ClearOptions {
  void operator()(PQconninfoOption* o) const { PQconninfoFree(o); }
};

using Params = std::vector<std::optional<std::string>>;

constexpr const char* kFormat = "tng-repository 1";

// How the server spells the tables' column types (tables.def).
std::string column_type(ColumnType type, std::string_view) {
  switch (type) {
    case ColumnType::kId:
      return "bigint GENERATED ALWAYS AS IDENTITY PRIMARY KEY";
    case ColumnType::kReference:
      return "bigint";
    case ColumnType::kInteger:
      return "integer";
    case ColumnType::kText:
    case ColumnType::kValue:
      return "text";
    case ColumnType::kBytes:
      return "bytea";
    case ColumnType::kUuid:
    case ColumnType::kOptionalUuid:
      return "uuid";
  }
  return "";
}

std::string schema_name(std::string_view repository) { return "tng_" + std::string(repository); }

// A value as the server keeps it.
std::string value_text(const Test& t) {
  if (t.type == WV_TYPE_INTEGER && t.value.size() == 4) {
    int32_t v = 0;
    std::memcpy(&v, t.value.data(), 4);
    return std::to_string(v);
  }
  if (t.type == WV_TYPE_UUID && t.value.size() == 16) {
    Uuid u{};
    std::memcpy(u.data(), t.value.data(), 16);
    return uuid_text(u);
  }
  return t.value;
}

// ... and back as the API hands it out.
std::string value_bytes(int32_t type, std::string_view text) {
  if (type == WV_TYPE_INTEGER) {
    auto v = static_cast<int32_t>(std::strtol(std::string(text).c_str(), nullptr, 10));
    return std::string(reinterpret_cast<const char*>(&v), 4);
  }
  if (type == WV_TYPE_UUID) {
    if (std::optional<Uuid> u = parse_uuid(text))
      return std::string(reinterpret_cast<const char*>(u->data()), 16);
  }
  return std::string(text);
}

// A text[] or int[] literal.
std::string array_literal(const std::vector<std::string>& items) {
  std::string out = "{";
  for (size_t i = 0; i < items.size(); ++i) {
    if (i) out += ',';
    out += '"';
    for (char c : items[i]) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    out += '"';
  }
  return out + "}";
}

std::string hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string unhex(std::string_view text) {
  auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
  std::string out;
  for (size_t i = 0; i + 1 < text.size(); i += 2)
    out += static_cast<char>(nibble(text[i]) << 4 | nibble(text[i + 1]));
  return out;
}

void quiet(void*, const char*) {}

Connection connect(const std::string& conninfo) {
  // Ours come first, so that the connection string overrides them.
  const char* keys[] = {"connect_timeout", "fallback_application_name", "dbname", nullptr};
  const char* values[] = {"10", "tng-repository", conninfo.c_str(), nullptr};
  Connection c(PQconnectdbParams(keys, values, /*expand_dbname=*/1));
  if (!c) throw Error(kFailed, "cannot connect to the repository server: out of memory");
  if (PQstatus(c.get()) != CONNECTION_OK) {
    std::string message = PQerrorMessage(c.get());
    while (!message.empty() && (message.back() == '\n' || message.back() == ' '))
      message.pop_back();
    for (char& ch : message)
      if (ch == '\n') ch = ' ';
    throw Error(kFailed, "cannot connect to the repository server: " + message);
  }
  PQsetNoticeProcessor(c.get(), quiet, nullptr);
  return c;
}

// What every connection sets unless the server's configuration or the
// connection (its "options", PGOPTIONS) already says otherwise: a tool
// waits for another session's lock as long as it would for the embedded
// file's, no statement runs without end, and the server notices a client
// that has gone while its statement runs.
constexpr const char* kSessionDefaults =
    "SELECT set_config(d.name, d.value, false) FROM (VALUES "
    "('lock_timeout', '60s'), ('statement_timeout', '300s'), "
    "('client_connection_check_interval', '2s')) AS d(name, value) "
    "JOIN pg_settings s ON s.name = d.name WHERE s.source = 'default'";

class PgStorage final : public Storage {
 public:
  PgStorage(std::string_view name, Connection c) : name_(name), conn_(std::move(c)) {
    std::string schema = schema_name(name);
    char* quoted = PQescapeIdentifier(conn_.get(), schema.data(), schema.size());
    if (!quoted) fail("cannot quote the schema name");
    prefix_ = std::string(quoted) + ".";
    PQfreemem(quoted);
    exec(kSessionDefaults);
  }

  // The quoted schema, without the dot.
  std::string schema() const { return prefix_.substr(0, prefix_.size() - 1); }

  // Throws kNotFound when the database holds no such repository.
  void check_exists() {
    Result r = exec_raw(sql("SELECT value FROM @meta WHERE key = 'format'"), {});
    if (PQresultStatus(r.get()) != PGRES_TUPLES_OK) {
      const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
      if (state && (std::strcmp(state, "42P01") == 0 || std::strcmp(state, "3F000") == 0))
        throw Error(kNotFound, "the server's database holds no repository '" + name_ + "'");
      throw_result(r.get(), "cannot read the repository");
    }
    if (PQntuples(r.get()) != 1 || std::strcmp(PQgetvalue(r.get(), 0, 0), kFormat) != 0)
      throw Error(kFailed, "schema " + schema_name(name_) + " on the server is not a repository");
  }

  // Makes the schema and its tables, then `fill`s them, in one
  // transaction; when `from` is given the tables are filled with a copy of
  // that repository's rows instead, as one snapshot sees them.
  void create(const std::function<void(Storage&)>& fill, const PgStorage* from = nullptr) {
    exec(from ? "BEGIN ISOLATION LEVEL REPEATABLE READ" : "BEGIN");
    Result r = exec_raw("CREATE SCHEMA " + schema(), {});
    if (PQresultStatus(r.get()) != PGRES_COMMAND_OK) {
      const char* state = PQresultErrorField(r.get(), PG_DIAG_SQLSTATE);
      if (state && std::strcmp(state, "42P06") == 0)
        throw Error(kExists, "repository '" + name_ + "' exists already on the server");
      throw_result(r.get(), "cannot create the repository");
    }
    exec(table_definitions(Dialect{column_type, true, prefix_}));
    if (from) {
      for (const char* table :
           {"meta", "classes", "objects", "props", "statuses", "users", "audit"})
        exec("INSERT INTO " + prefix_ + table + " OVERRIDING SYSTEM VALUE SELECT * FROM " +
             from->prefix_ + table);
      for (const char* table : {"objects", "audit"})
        exec("SELECT setval(pg_get_serial_sequence('" + schema() + "." + table +
             "', 'id'), coalesce(max(id), 0) + 1, false) FROM " + prefix_ + table);
    } else {
      exec(sql("INSERT INTO @meta(key, value) VALUES('format', $1)"), {std::string(kFormat)});
      fill(*this);
    }
    commit();
  }

  void drop() noexcept {
    if (PQstatus(conn_.get()) == CONNECTION_OK)
      PQclear(PQexec(conn_.get(), ("DROP SCHEMA IF EXISTS " + schema() + " CASCADE").c_str()));
  }

  void begin(Kind kind) override {
    exec(kind == kWrite ? "BEGIN" : "BEGIN ISOLATION LEVEL REPEATABLE READ READ ONLY");
  }
  void commit() override {
    Result r = exec("COMMIT");
    if (std::strcmp(PQcmdStatus(r.get()), "COMMIT") != 0)
      throw Error(kFailed, "the repository server rolled the transaction back");
  }
  void rollback() noexcept override {
    if (PQstatus(conn_.get()) == CONNECTION_OK) PQclear(PQexec(conn_.get(), "ROLLBACK"));
  }

  std::optional<std::string> class_parent(std::string_view name) override {
    Result r =
        exec(sql("SELECT coalesce(parent, '') FROM @classes WHERE name = $1"), {std::string(name)});
    if (PQntuples(r.get()) == 0) return std::nullopt;
    return std::string(PQgetvalue(r.get(), 0, 0));
  }
  void insert_class(std::string_view name, std::string_view parent) override {
    Params p{std::string(name), std::nullopt};
    if (!parent.empty()) p[1] = std::string(parent);
    exec(sql("INSERT INTO @classes(name, parent) VALUES($1, $2)"), p);
  }
  void delete_class(std::string_view name) override {
    exec(sql("DELETE FROM @classes WHERE name = $1"), {std::string(name)});
  }
  int64_t count_objects(std::string_view class_name) override {
    Result r =
        exec(sql("SELECT count(*) FROM @objects WHERE class_name = $1"), {std::string(class_name)});
    return std::atoll(PQgetvalue(r.get(), 0, 0));
  }
  std::optional<std::string> first_subclass(std::string_view name) override {
    Result r =
        exec(sql("SELECT name FROM @classes WHERE parent = $1 ORDER BY name COLLATE \"C\" LIMIT 1"),
             {std::string(name)});
    if (PQntuples(r.get()) == 0) return std::nullopt;
    return std::string(PQgetvalue(r.get(), 0, 0));
  }
  void scan_classes(const std::function<void(const ClassEntry&)>& each) override {
    Result r = exec(sql("SELECT name, parent FROM @classes ORDER BY name COLLATE \"C\""));
    ClassEntry e;
    for (int i = 0; i < PQntuples(r.get()); ++i) {
      e.name = PQgetvalue(r.get(), i, 0);
      e.parent.reset();
      if (!PQgetisnull(r.get(), i, 1)) e.parent = std::string(PQgetvalue(r.get(), i, 1));
      each(e);
    }
  }
  void count_by_class(const std::function<void(const ClassCount&)>& each) override {
    Result r = exec(
        sql("SELECT c.name, count(o.id) FROM @classes c LEFT JOIN @objects o ON o.class_name = "
            "c.name GROUP BY c.name ORDER BY c.name COLLATE \"C\""));
    for (int i = 0; i < PQntuples(r.get()); ++i)
      each(ClassCount{PQgetvalue(r.get(), i, 0), std::atoll(PQgetvalue(r.get(), i, 1))});
  }

  void scan_objects(const ObjectFilter& filter, const std::vector<std::string>* only,
                    const std::function<void(const ObjectRow&)>& each) override {
    Params params;
    auto next = [&](std::string value) {
      params.emplace_back(std::move(value));
      return "$" + std::to_string(params.size());
    };
    std::string where = filter.class_name ? "o.class_name = " + next(*filter.class_name) : "true";
    where += test_clause(filter.tests, params);
    if (filter.after > 0) where += " AND o.id > " + next(std::to_string(filter.after)) + "::bigint";
    if (filter.contains)
      where += " AND EXISTS(SELECT 1 FROM " + prefix_ +
               "props c WHERE c.object_id = o.id AND c.name IN ('name', 'address') AND c.type = 0 "
               "AND strpos(c.value, " +
               next(*filter.contains) + ") > 0)";
    std::string limit =
        filter.limit > 0 ? " LIMIT " + next(std::to_string(filter.limit)) + "::bigint" : "";
    std::string join = "p.object_id = o.id";
    if (only) join += " AND p.name = ANY(" + next(array_literal(*only)) + "::text[])";
    std::string text =
        "SELECT o.id, o.class_name, o.uuid, p.name, p.type, p.value FROM (SELECT o.id, "
        "o.class_name, o.uuid FROM " +
        prefix_ + "objects o WHERE " + where + " ORDER BY o.id" + limit + ") o LEFT JOIN " +
        prefix_ + "props p ON " + join + " ORDER BY o.id" + (only ? "" : ", p.name COLLATE \"C\"");
    ObjectRow row;
    bool have = false;
    stream(text, params, [&](const PGresult* r) {
      int64_t id = std::atoll(PQgetvalue(r, 0, 0));
      if (!have || id != row.id) {
        if (have) each(row);
        have = true;
        row.id = id;
        row.class_name = PQgetvalue(r, 0, 1);
        if (std::optional<Uuid> u = parse_uuid(PQgetvalue(r, 0, 2))) row.uuid = *u;
        row.props.clear();
      }
      if (PQgetisnull(r, 0, 3)) return;
      auto type = static_cast<int32_t>(std::atoi(PQgetvalue(r, 0, 4)));
      row.props.push_back(Test{PQgetvalue(r, 0, 3), type, value_bytes(type, PQgetvalue(r, 0, 5))});
    });
    if (have) each(row);
  }

  uint32_t delete_objects(std::string_view class_name, const std::vector<Test>& tests) override {
    Params params{std::string(class_name)};
    std::string where = "o.class_name = $1" + test_clause(tests, params);
    Result r = exec(sql("DELETE FROM @objects o WHERE " + where), params);
    return static_cast<uint32_t>(std::strtoul(PQcmdTuples(r.get()), nullptr, 10));
  }

  bool uuid_in_use(const Uuid& uuid) override {
    return PQntuples(
               exec(sql("SELECT 1 FROM @objects WHERE uuid = $1::uuid"), {uuid_text(uuid)}).get()) >
           0;
  }

  void insert_object(std::string_view class_name, const Uuid& uuid,
                     const std::vector<Test>& items) override {
    std::vector<std::string> names, types, values;
    for (const Test& t : items) {
      if (t.property == "uuid" || t.property == "class_name") continue;
      names.push_back(t.property);
      types.push_back(std::to_string(t.type));
      values.push_back(value_text(t));
    }
    exec(sql("WITH o AS (INSERT INTO @objects(class_name, uuid) VALUES($1, $2::uuid) RETURNING id) "
             "INSERT INTO @props(object_id, name, type, value) SELECT o.id, x.n, x.t, x.v FROM o, "
             "unnest($3::text[], $4::integer[], $5::text[]) AS x(n, t, v)"),
         {std::string(class_name), uuid_text(uuid), array_literal(names), array_literal(types),
          array_literal(values)});
  }

  // One statement: it locks the oldest object of that name in the source
  // class, moves it and writes the audit record from what it moved.
  std::optional<Uuid> move_named(std::string_view from, std::string_view name, std::string_view to,
                                 const AuditEntry& a) override {
    Result r =
        exec(sql("WITH target AS (SELECT 1 FROM @classes WHERE name = $3), "
                 "found AS (SELECT o.id FROM @objects o JOIN @props p ON p.object_id = o.id "
                 "AND p.name = 'name' AND p.type = 0 AND p.value = $2 "
                 "WHERE o.class_name = $1 AND EXISTS(SELECT 1 FROM target) "
                 "ORDER BY o.id LIMIT 1 FOR UPDATE OF o), "
                 "moved AS (UPDATE @objects o SET class_name = $3 FROM found "
                 "WHERE o.id = found.id AND o.class_name = $1 RETURNING o.uuid) "
                 "INSERT INTO @audit(time, \"user\", action, object_uuid, object_name, from_class, "
                 "to_class) SELECT $4, $5, $6, uuid, $7, $8, $9 FROM moved RETURNING object_uuid"),
             {std::string(from), std::string(name), std::string(to), a.time, a.user, a.action,
              a.name, a.from, a.to});
    if (PQntuples(r.get()) != 1) return std::nullopt;
    return parse_uuid(PQgetvalue(r.get(), 0, 0));
  }

  bool move_uuid(const Uuid& uuid, std::string_view from, std::string_view to,
                 const AuditEntry& audit) override {
    Result r =
        exec(sql("UPDATE @objects SET class_name = $3 WHERE uuid = $1::uuid AND class_name = $2"),
             {uuid_text(uuid), std::string(from), std::string(to)});
    if (std::string_view(PQcmdTuples(r.get())) != "1") return false;
    insert_audit(audit);
    return true;
  }

  // One statement for them all: the objects still in their source class
  // move, and each gets its audit record, in the order given.
  size_t move_uuids(const std::vector<UuidMove>& moves, const AuditEntry& a) override {
    if (moves.empty()) return 0;
    std::vector<std::string> uuids, froms, tos, names;
    for (const UuidMove& m : moves) {
      uuids.push_back(uuid_text(m.uuid));
      froms.push_back(m.from);
      tos.push_back(m.to);
      names.push_back(m.name);
    }
    Result r = exec(
        sql("WITH x AS (SELECT * FROM unnest($1::uuid[], $2::text[], $3::text[], $4::text[]) "
            "WITH ORDINALITY AS x(uuid, from_class, to_class, name, n)), "
            "moved AS (UPDATE @objects o SET class_name = x.to_class FROM x "
            "WHERE o.uuid = x.uuid AND o.class_name = x.from_class "
            "RETURNING x.n, x.uuid, x.name, x.from_class, x.to_class) "
            "INSERT INTO @audit(time, \"user\", action, object_uuid, object_name, from_class, "
            "to_class) SELECT $5, $6, $7, uuid, name, from_class, to_class FROM moved ORDER BY n"),
        {array_literal(uuids), array_literal(froms), array_literal(tos), array_literal(names),
         a.time, a.user, a.action});
    return std::strtoul(PQcmdTuples(r.get()), nullptr, 10);
  }

  void insert_audit(const AuditEntry& a) override {
    Params p{a.time, a.user, a.action, std::nullopt, a.name, a.from, a.to};
    if (a.uuid) p[3] = uuid_text(*a.uuid);
    exec(sql("INSERT INTO @audit(time, \"user\", action, object_uuid, object_name, from_class, "
             "to_class) VALUES($1, $2, $3, $4::uuid, $5, $6, $7)"),
         p);
  }

  std::optional<UserHash> find_user(std::string_view name) override {
    Result r = exec(sql("SELECT encode(salt, 'hex'), iterations, encode(hash, 'hex') FROM @users "
                        "WHERE name = $1"),
                    {std::string(name)});
    if (PQntuples(r.get()) == 0) return std::nullopt;
    return UserHash{unhex(PQgetvalue(r.get(), 0, 0)), std::atoi(PQgetvalue(r.get(), 0, 1)),
                    unhex(PQgetvalue(r.get(), 0, 2))};
  }

  void put_user(std::string_view name, const UserHash& h) override {
    exec(sql("INSERT INTO @users(name, salt, iterations, hash) "
             "VALUES($1, decode($2, 'hex'), $3, decode($4, 'hex')) ON CONFLICT(name) DO UPDATE "
             "SET salt = EXCLUDED.salt, iterations = EXCLUDED.iterations, hash = EXCLUDED.hash"),
         {std::string(name), hex(h.salt), std::to_string(h.iterations), hex(h.hash)});
  }

  std::optional<int32_t> status_number(std::string_view name) override {
    Result r = exec(sql("SELECT number FROM @statuses WHERE name = $1"), {std::string(name)});
    if (PQntuples(r.get()) == 0) return std::nullopt;
    return static_cast<int32_t>(std::atoi(PQgetvalue(r.get(), 0, 0)));
  }

  void insert_status(std::string_view name, int32_t number) override {
    exec(sql("INSERT INTO @statuses(name, number) VALUES($1, $2)"),
         {std::string(name), std::to_string(number)});
  }

  void scan_statuses(const std::function<void(const StatusEntry&)>& each) override {
    Result r = exec(sql("SELECT name, number FROM @statuses ORDER BY number"));
    for (int i = 0; i < PQntuples(r.get()); ++i)
      each(StatusEntry{PQgetvalue(r.get(), i, 0), std::atoi(PQgetvalue(r.get(), i, 1))});
  }

  void scan_audit(const AuditFilter& f,
                  const std::function<void(const AuditEntry&)>& each) override {
    Params params;
    auto next = [&](std::string value) {
      params.emplace_back(std::move(value));
      return "$" + std::to_string(params.size());
    };
    std::string where = "id > " + next(std::to_string(f.after)) + "::bigint";
    if (f.before) where += " AND id < " + next(std::to_string(*f.before)) + "::bigint";
    if (f.user) where += " AND \"user\" = " + next(*f.user);
    if (f.class_name) {
      std::string c = next(*f.class_name);
      where += " AND (from_class = " + c + " OR to_class = " + c + ")";
    }
    if (f.since) where += " AND time >= " + next(*f.since);
    if (f.until) where += " AND time < " + next(*f.until);
    if (f.uuid) where += " AND object_uuid = " + next(uuid_text(*f.uuid)) + "::uuid";
    std::string text =
        "SELECT id, time, \"user\", action, object_uuid, object_name, from_class, "
        "to_class FROM " +
        prefix_ + "audit WHERE " + where + (f.newest_first ? " ORDER BY id DESC" : " ORDER BY id");
    if (f.limit > 0) text += " LIMIT " + next(std::to_string(f.limit)) + "::bigint";
    AuditEntry e;
    stream(text, params, [&](const PGresult* r) {
      e.id = std::atoll(PQgetvalue(r, 0, 0));
      e.time = PQgetvalue(r, 0, 1);
      e.user = PQgetvalue(r, 0, 2);
      e.action = PQgetvalue(r, 0, 3);
      e.uuid = parse_uuid(PQgetvalue(r, 0, 4));
      e.name = PQgetvalue(r, 0, 5);
      e.from = PQgetvalue(r, 0, 6);
      e.to = PQgetvalue(r, 0, 7);
      each(e);
    });
  }

 private:
  // The statement text with every '@' replaced by the quoted schema and a dot.
  std::string sql(std::string_view text) const {
    std::string out;
    out.reserve(text.size() + 16 * prefix_.size());
    for (char c : text) {
      if (c == '@')
        out += prefix_;
      else
        out += c;
    }
    return out;
  }

  // " AND ..." for the criteria tests; their values join `params`.
  std::string test_clause(const std::vector<Test>& tests, Params& params) const {
    std::string out;
    auto next = [&](std::string value) {
      params.emplace_back(std::move(value));
      return "$" + std::to_string(params.size());
    };
    for (const Test& t : tests) {
      if (t.property == "class_name") {
        out += t.type == WV_TYPE_TEXT ? " AND o.class_name = " + next(t.value) : " AND false";
      } else if (t.property == "uuid") {
        out += t.type == WV_TYPE_UUID ? " AND o.uuid = " + next(value_text(t)) + "::uuid"
                                      : " AND false";
      } else {
        std::string n = next(t.property);
        std::string ty = next(std::to_string(t.type));
        std::string v = next(value_text(t));
        out.append(" AND EXISTS(SELECT 1 FROM ")
            .append(prefix_)
            .append("props t WHERE t.object_id = o.id AND t.name = ")
            .append(n)
            .append(" AND t.type = ")
            .append(ty)
            .append("::integer AND t.value = ")
            .append(v)
            .append(")");
      }
    }
    return out;
  }

  [[noreturn]] void fail(const std::string& what) const {
    std::string message = PQerrorMessage(conn_.get());
    while (!message.empty() && message.back() == '\n') message.pop_back();
    if (PQstatus(conn_.get()) != CONNECTION_OK)
      throw Error(kFailed, what + ": the connection to the repository server is lost: " + message);
    throw Error(kFailed, what + ": " + message);
  }

  [[noreturn]] void throw_result(const PGresult* r, const std::string& what) const {
    if (PQstatus(conn_.get()) != CONNECTION_OK) fail(what);
    const char* state = PQresultErrorField(r, PG_DIAG_SQLSTATE);
    const char* primary = PQresultErrorField(r, PG_DIAG_MESSAGE_PRIMARY);
    std::string message = primary ? primary : PQresultErrorMessage(r);
    int32_t code = kFailed;
    if (state && std::strcmp(state, "23505") == 0) code = kExists;
    throw Error(code, what + ": " + message);
  }

  // Without parameters the simple protocol: one round trip, and a text may
  // hold several statements.
  Result exec_raw(const std::string& text, const Params& params) {
    if (params.empty()) {
      Result r(PQexec(conn_.get(), text.c_str()));
      if (!r) fail("repository statement failed");
      return r;
    }
    std::vector<const char*> values;
    values.reserve(params.size());
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    Result r(PQexecParams(conn_.get(), text.c_str(), static_cast<int>(values.size()), nullptr,
                          values.data(), nullptr, nullptr, 0));
    if (!r) fail("repository statement failed");
    return r;
  }

  Result exec(const std::string& text, const Params& params = {}) {
    Result r = exec_raw(text, params);
    ExecStatusType status = PQresultStatus(r.get());
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
      throw_result(r.get(), "repository statement failed");
    return r;
  }

  // Runs a query and hands its rows over one at a time, so that a large
  // result is never held whole in memory.
  void stream(const std::string& text, const Params& params,
              const std::function<void(const PGresult*)>& each) {
    std::vector<const char*> values;
    for (const auto& p : params) values.push_back(p ? p->c_str() : nullptr);
    if (!PQsendQueryParams(conn_.get(), text.c_str(), static_cast<int>(values.size()), nullptr,
                           values.data(), nullptr, nullptr, 0))
      fail("repository statement failed");
    PQsetSingleRowMode(conn_.get());
    std::optional<Error> error;
    while (PGresult* raw = PQgetResult(conn_.get())) {
      Result r(raw);
      ExecStatusType status = PQresultStatus(raw);
      if (error) continue;  // drained, so that the connection can be used again
      if (status == PGRES_SINGLE_TUPLE) {
        try {
          each(raw);
        } catch (const Error& e) {
          error = e;
        } catch (const std::exception& e) {
          error = Error(kFailed, e.what());
        }
      } else if (status != PGRES_TUPLES_OK) {
        try {
          throw_result(raw, "repository statement failed");
        } catch (const Error& e) {
          error = e;
        }
      }
    }
    if (error) throw *error;
  }

  std::string name_;
  Connection conn_;
  std::string prefix_;
};

}  // namespace

// libpq's messages about a connection string quote the words they could not
// read, and those may be a password: each quoted run is left out.
void check_server_conninfo(const std::string& conninfo) {
  if (conninfo.find_first_of("\n\r") != std::string::npos)
    throw Error(kBadArgument, "the connection string may not hold a line break");
  char* message = nullptr;
  std::unique_ptr<PQconninfoOption, ClearOptions> options(
      PQconninfoParse(conninfo.c_str(), &message));
  if (!options) {
    std::string why = message ? message : "out of memory";
    PQfreemem(message);
    while (!why.empty() && (why.back() == '\n' || why.back() == ' ')) why.pop_back();
    std::string told;
    bool quoted = false;
    for (char c : why) {
      if (c == '"') {
        if (!quoted) told += "\"...\"";
        quoted = !quoted;
      } else if (!quoted) {
        told += c == '\n' ? ' ' : c;
      }
    }
    throw Error(kBadArgument, "the connection string cannot be read: " + told);
  }
  for (PQconninfoOption* o = options.get(); o->keyword; ++o)
    if (std::strcmp(o->keyword, "password") == 0 && o->val && *o->val)
      throw Error(kBadArgument,
                  "the connection string carries a password; give it through ~/.pgpass, "
                  "PGPASSFILE or a service file instead, never on the command line");
}

std::unique_ptr<Storage> open_server_storage(std::string_view name, const std::string& conninfo) {
  auto storage = std::make_unique<PgStorage>(name, connect(conninfo));
  storage->check_exists();
  return storage;
}

void create_server_storage(std::string_view name, const std::string& conninfo,
                           const std::function<void(Storage&)>& fill) {
  PgStorage storage(name, connect(conninfo));
  storage.create(fill);
}

void check_server_storage(std::string_view name, const std::string& conninfo) {
  PgStorage storage(name, connect(conninfo));
  storage.check_exists();
}

void copy_server_storage(std::string_view from, std::string_view to, const std::string& conninfo) {
  PgStorage source(from, connect(conninfo));
  source.check_exists();
  PgStorage copy(to, connect(conninfo));
  copy.create({}, &source);
}

void remove_server_storage(std::string_view name, const std::string& conninfo) noexcept {
  try {
    PgStorage storage(name, connect(conninfo));
    storage.drop();
  } catch (...) {
  }
}

}  // namespace tng::repo
