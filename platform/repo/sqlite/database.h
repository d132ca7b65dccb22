// The embedded repository's file: one SQLite file per repository under
// $TNG_HOME/repositories, opened through small RAII wrappers. Only the
// embedded storage (sqlite_storage.cpp) includes this file.
#pragma once
#include <sqlite3.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>

#include "types.h"

namespace tng::repo {

class Statement;

class Database {
 public:
  // Opens an existing repository; kNotFound when there is none of that name.
  static Database open(std::string_view name);
  // Creates a new repository file with the tables and calls `fill` inside
  // the transaction that makes them; the file appears whole under its name
  // or not at all. kExists when one of that name exists already.
  static void create(std::string_view name, const std::function<void(Database&)>& fill);
  // Copies the file of repository `from`, as one read sees it, to a new
  // repository `to`, whole or not at all.
  static void copy(std::string_view from, std::string_view to);
  Database(Database&&) = default;
  Database& operator=(Database&&) = default;

  sqlite3* handle() const { return db_.get(); }
  void exec(const char* sql);
  int64_t changes() const { return sqlite3_changes64(db_.get()); }
  [[noreturn]] void fail(const char* what) const;

 private:
  friend class Statement;
  struct Close {
    void operator()(sqlite3* db) const { sqlite3_close_v2(db); }
  };
  // Prepared statements not in use, by their text: a process runs the same
  // few statements many times (one query per class of a pass, one property
  // read per object), and preparing one costs more than running it.
  struct Prepared {
    std::unordered_map<std::string, sqlite3_stmt*> idle;
    Prepared() = default;
    Prepared(const Prepared&) = delete;
    Prepared& operator=(const Prepared&) = delete;
    ~Prepared();
  };
  static constexpr std::size_t kPreparedKept = 64;
  explicit Database(sqlite3* db) : db_(db), prepared_(std::make_unique<Prepared>()) {}
  static Database open_file(const std::filesystem::path& file, int flags);
  // The statements are finalized before the connection closes.
  std::unique_ptr<sqlite3, Close> db_;
  std::unique_ptr<Prepared> prepared_;
};

// A statement of the connection, prepared once for each text and reused:
// when it ends it is reset (holding no lock), its values are cleared and it
// waits for the next Statement of the same text.
class Statement {
 public:
  Statement(const Database& db, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;
  Statement& bind(int index, std::string_view text);
  Statement& bind(int index, int64_t value);
  Statement& bind_blob(int index, const void* data, size_t size);
  Statement& bind_null(int index);
  // true while a row is ready.
  bool step();
  void run() {
    while (step()) {
    }
  }
  void reset();

  int type(int column) const { return sqlite3_column_type(stmt_.get(), column); }
  int64_t integer(int column) const { return sqlite3_column_int64(stmt_.get(), column); }
  std::string_view text(int column) const;
  std::string_view blob(int column) const;
  bool is_null(int column) const { return type(column) == SQLITE_NULL; }

 private:
  struct Finalize {
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
  };
  const Database* db_;
  std::string sql_;
  std::unique_ptr<sqlite3_stmt, Finalize> stmt_;
};

// One transaction; rolled back unless committed. A write transaction takes
// the write lock at once (the busy time-out makes it wait for another
// writer), so that it never fails half-way on an upgrade.
class Transaction {
 public:
  enum Kind { kRead, kWrite };
  Transaction(Database& db, Kind kind);
  ~Transaction();
  void commit();
  Transaction(const Transaction&) = delete;
  Transaction& operator=(const Transaction&) = delete;

 private:
  Database& db_;
  bool open_ = true;
};

}  // namespace tng::repo
