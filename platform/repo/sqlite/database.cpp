#include "database.h"

#include "platform/files.h"
#include "tables.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace tng::repo {
namespace fs = std::filesystem;

namespace {

// Marks a SQLite file as one of our repositories ("TNGV").
constexpr int32_t kApplicationId = 0x544E4756;
constexpr int32_t kSchemaVersion = 1;
constexpr int kBusyTimeoutMs = 60'000;

// How the file spells the tables' column types (tables.def).
std::string column_type(ColumnType type, std::string_view column) {
  switch (type) {
    case ColumnType::kId:
      return "INTEGER PRIMARY KEY AUTOINCREMENT";
    case ColumnType::kReference:
    case ColumnType::kInteger:
      return "INTEGER";
    case ColumnType::kText:
      return "TEXT";
    case ColumnType::kBytes:
    case ColumnType::kOptionalUuid:
      return "BLOB";
    case ColumnType::kUuid:
      return "BLOB CHECK(length(" + std::string(column) + ") = 16)";
    case ColumnType::kValue:
      return "";
  }
  return "";
}

// The repositories hold the users' password hashes: their files and their
// folder are the owner's only, whatever the umask. A broader mode of ours
// (left by an earlier release) is narrowed when the file is next used.
void keep_private(const fs::path& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0 || st.st_uid != ::geteuid() || (st.st_mode & 077) == 0) return;
  ::chmod(path.c_str(), st.st_mode & 0700);
}

// The log kept beside the file is read in full by every process that opens
// the repository (the index shared between its users lives only while one
// has it open), and a process forgets what an earlier one copied back. So a
// commit that leaves the log at this many pages or more copies it into the
// file and empties it, rather than letting every later run read a log that
// only grows. It does not wait: while another process reads or writes, the
// log stays as it is and a later commit empties it. (The hook takes the
// place of the library's automatic checkpoint, which would copy back only
// at 1,000 pages and leave the log's length.)
constexpr int kLogPagesKept = 256;

int truncate_long_log(void*, sqlite3* db, const char* schema, int pages) {
  if (pages >= kLogPagesKept) {
    sqlite3_busy_timeout(db, 0);
    sqlite3_wal_checkpoint_v2(db, schema, SQLITE_CHECKPOINT_TRUNCATE, nullptr, nullptr);
    sqlite3_busy_timeout(db, kBusyTimeoutMs);
  }
  return SQLITE_OK;
}

}  // namespace

// ---- Database ----

void Database::fail(const char* what) const {
  throw Error(kFailed, std::string(what) + ": " + sqlite3_errmsg(db_.get()));
}

void Database::exec(const char* sql) {
  char* message = nullptr;
  if (sqlite3_exec(db_.get(), sql, nullptr, nullptr, &message) != SQLITE_OK) {
    std::string text = message ? message : sqlite3_errmsg(db_.get());
    sqlite3_free(message);
    throw Error(kFailed, text);
  }
}

Database Database::open_file(const fs::path& file, int flags) {
  sqlite3* raw = nullptr;
  int rc = sqlite3_open_v2(file.c_str(), &raw, flags | SQLITE_OPEN_NOMUTEX, nullptr);
  Database db(raw);  // owns the handle even when the open failed
  if (rc != SQLITE_OK) db.fail("cannot open the repository file");
  sqlite3_busy_timeout(raw, kBusyTimeoutMs);
  // Short-lived processes (reclass runs once per object) leave the log for
  // the next writer's automatic checkpoint instead of copying it back and
  // syncing the file at every exit.
  sqlite3_db_config(raw, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, nullptr);
  sqlite3_wal_hook(raw, truncate_long_log, nullptr);
  // A bounded page cache (1 MiB): a query streams its whole class through it
  // once, so the memory of a walk stops growing there, while a class of a few
  // thousand objects is read from the file once rather than page by page for
  // every object.
  db.exec("PRAGMA foreign_keys = ON; PRAGMA synchronous = FULL; PRAGMA cache_size = -1024;");
  return db;
}

Database Database::open(std::string_view name) {
  if (!valid_repository_name(name))
    throw Error(kBadArgument, "'" + std::string(name) + "' is not a valid repository name");
  fs::path file = repositories_dir() / (std::string(name) + ".db");
  std::error_code ec;
  if (!fs::is_regular_file(file, ec))
    throw Error(kNotFound, "no repository named '" + std::string(name) + "'");
  keep_private(repositories_dir());
  for (const char* suffix : {"", "-wal", "-shm"}) keep_private(file.string() + suffix);
  Database db = open_file(file, SQLITE_OPEN_READWRITE);
  Statement check(db, "PRAGMA application_id");
  if (!check.step() || check.integer(0) != kApplicationId)
    throw Error(kFailed, file.string() + " is not a repository");
  return db;
}

namespace {

// A new repository file is built under a private name beside its place,
// made with the owner's mode only (SQLite's log files take the mode of the
// main file), then linked into place: a reader never sees a half-made
// repository and an existing one is never replaced.
class Building {
 public:
  explicit Building(std::string_view name)
      : file_(repositories_dir() / (std::string(name) + ".db")) {
    std::error_code ec;
    if (fs::exists(fs::symlink_status(file_, ec)))
      throw Error(kExists, "repository '" + std::string(name) + "' exists already");
    std::string private_name = ".";
    private_name.append(name).append(".db.").append(std::to_string(::getpid()));
    path_ = repositories_dir() / private_name;
    fs::remove(path_, ec);
    keep_private(repositories_dir());
    if (int error = tng::files::create_private(path_.string()); error != 0)
      throw Error(kFailed,
                  "cannot create " + path_.string() + ": " + tng::files::error_text(error));
  }
  ~Building() {
    std::error_code ec;
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(path_.string() + suffix, ec);
  }
  Building(const Building&) = delete;
  Building& operator=(const Building&) = delete;
  const fs::path& path() const { return path_; }

  void link_into_place(std::string_view name) {
    std::error_code ec;
    for (const char* suffix : {"-wal", "-shm"}) fs::remove(path_.string() + suffix, ec);
    bool linked = ::link(path_.c_str(), file_.c_str()) == 0;
    int error = errno;
    if (!linked) {
      if (error == EEXIST)
        throw Error(kExists, "repository '" + std::string(name) + "' exists already");
      throw Error(kFailed, "cannot create " + file_.string() + ": " + std::strerror(error));
    }
  }

 private:
  fs::path file_, path_;
};

void check_new_name(std::string_view name) {
  if (!valid_repository_name(name))
    throw Error(kBadArgument, "'" + std::string(name) +
                                  "' is not a valid repository name (1 to 31 letters, digits, "
                                  "'_', '-' or '.')");
}

}  // namespace

void Database::create(std::string_view name, const std::function<void(Database&)>& fill) {
  check_new_name(name);
  Building building(name);
  {
    Database db = open_file(building.path(), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    Transaction t(db, Transaction::kWrite);
    db.exec(("PRAGMA application_id = " + std::to_string(kApplicationId) +
             "; PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";")
                .c_str());
    db.exec(table_definitions(Dialect{column_type, false, ""}).c_str());
    fill(db);
    t.commit();
    // Switched after the build, so that everything lies in the main file
    // (the log of the private name is not carried over).
    db.exec("PRAGMA journal_mode = WAL;");
  }
  building.link_into_place(name);
}

void Database::copy(std::string_view from, std::string_view to) {
  check_new_name(to);
  Database source = open(from);
  Building building(to);
  {
    // One statement, so one read snapshot of the source.
    Statement copy(source, "VACUUM INTO ?1");
    copy.bind(1, building.path().string());
    copy.run();
  }
  {
    Database db = open_file(building.path(), SQLITE_OPEN_READWRITE);
    db.exec("PRAGMA journal_mode = WAL;");
  }
  building.link_into_place(to);
}

// ---- Statement ----

Database::Prepared::~Prepared() {
  for (auto& [sql, stmt] : idle) sqlite3_finalize(stmt);
}

Statement::Statement(const Database& db, std::string_view sql) : db_(&db), sql_(sql) {
  auto& idle = db.prepared_->idle;
  if (auto found = idle.find(sql_); found != idle.end()) {
    stmt_.reset(found->second);
    idle.erase(found);
    return;
  }
  sqlite3_stmt* raw = nullptr;
  if (sqlite3_prepare_v3(db.handle(), sql.data(), static_cast<int>(sql.size()),
                         SQLITE_PREPARE_PERSISTENT, &raw, nullptr) != SQLITE_OK)
    db.fail("cannot prepare a statement");
  stmt_.reset(raw);
}

Statement::~Statement() {
  if (!stmt_) return;  // a text with no statement in it
  sqlite3_reset(stmt_.get());
  sqlite3_clear_bindings(stmt_.get());
  auto& idle = db_->prepared_->idle;
  if (idle.size() < Database::kPreparedKept && !idle.contains(sql_))
    idle.emplace(std::move(sql_), stmt_.release());
}

Statement& Statement::bind(int index, std::string_view text) {
  if (sqlite3_bind_text(stmt_.get(), index, text.data(), static_cast<int>(text.size()),
                        SQLITE_TRANSIENT) != SQLITE_OK)
    db_->fail("cannot bind a value");
  return *this;
}

Statement& Statement::bind(int index, int64_t value) {
  if (sqlite3_bind_int64(stmt_.get(), index, value) != SQLITE_OK) db_->fail("cannot bind a value");
  return *this;
}

Statement& Statement::bind_blob(int index, const void* data, size_t size) {
  if (sqlite3_bind_blob(stmt_.get(), index, data, static_cast<int>(size), SQLITE_TRANSIENT) !=
      SQLITE_OK)
    db_->fail("cannot bind a value");
  return *this;
}

Statement& Statement::bind_null(int index) {
  if (sqlite3_bind_null(stmt_.get(), index) != SQLITE_OK) db_->fail("cannot bind a value");
  return *this;
}

bool Statement::step() {
  int rc = sqlite3_step(stmt_.get());
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(stmt_.get());
  db_->fail("repository statement failed");
}

void Statement::reset() {
  sqlite3_reset(stmt_.get());
  sqlite3_clear_bindings(stmt_.get());
}

std::string_view Statement::text(int column) const {
  const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(stmt_.get(), column));
  int n = sqlite3_column_bytes(stmt_.get(), column);
  return p ? std::string_view(p, static_cast<size_t>(n)) : std::string_view{};
}

std::string_view Statement::blob(int column) const {
  const auto* p = static_cast<const char*>(sqlite3_column_blob(stmt_.get(), column));
  int n = sqlite3_column_bytes(stmt_.get(), column);
  return p ? std::string_view(p, static_cast<size_t>(n)) : std::string_view{};
}

// ---- Transaction ----

Transaction::Transaction(Database& db, Kind kind) : db_(db) {
  db_.exec(kind == kWrite ? "BEGIN IMMEDIATE" : "BEGIN");
}

Transaction::~Transaction() {
  if (open_) sqlite3_exec(db_.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
}

void Transaction::commit() {
  db_.exec("COMMIT");
  open_ = false;
}

}  // namespace tng::repo
