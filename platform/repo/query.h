// Objects and classes of a repository: creation, criteria, deletion, and the
// query whose result is spooled (in memory while it is small, then to an
// unlinked temporary file) so that the walk holds no transaction and no
// memory that grows with the class.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "store.h"

namespace tng::repo {

// One typed value with its property name: a criteria test (equality) or an
// item of a property list. `value` holds the text bytes, the 4 bytes of an
// integer (host order) or the 16 bytes of a UUID.
struct Test {
  std::string property;
  int32_t type = 0;
  std::string value;
};

// A property value as ObjectPropertyGet hands it out.
struct Value {
  int32_t type = 0;
  uint32_t length = 0;
  const void* data = nullptr;
};

// One object read back from a result file; valid until the next read.
class Record {
 public:
  const Value* find(std::string_view property) const;

 private:
  friend class ResultFile;
  const std::vector<std::string>* names_ = nullptr;
  std::vector<uint64_t> buffer_;  // 8-byte aligned values
  std::vector<std::pair<uint32_t, Value>> values_;
};

// The objects that matched at the query, with the values asked for. The
// first `kInMemory` bytes stay in memory; a larger result moves to a
// temporary file as it is written (most queries find a few objects, and a
// file for each would cost more than the query).
class ResultFile {
 public:
  explicit ResultFile(std::vector<std::string> names);
  void write(const std::vector<std::pair<uint32_t, Test>>& values);
  // Ends the writing and rewinds for reading.
  void finish();
  void read(Record& record);
  uint32_t count() const { return count_; }
  const std::vector<std::string>& names() const { return names_; }
  // The position of `property` among the names asked for.
  std::optional<uint32_t> index_of(std::string_view property) const;

  static constexpr size_t kInMemory = 64 * 1024;

 private:
  void put(const char* data, size_t size);
  void get(void* data, size_t size);

  struct Close {
    void operator()(std::FILE* f) const { std::fclose(f); }
  };
  std::unique_ptr<std::FILE, Close> file_;  // null while the result is in memory
  std::vector<char> memory_;
  size_t read_at_ = 0;
  std::vector<std::string> names_;
  uint32_t count_ = 0;
  std::vector<char> scratch_;
};

// Splits "name, address" into names without blanks, without repeats.
std::vector<std::string> property_names(std::string_view list);

// Runs inside the caller's read transaction.
ResultFile run_query(const Database& db, std::string_view class_name,
                     const std::vector<Test>& tests, std::string_view properties);

// Every object meeting the tests (of one class, or of all), in creation
// order, with all its properties (sorted by name; class_name and uuid apart).
struct ObjectRow {
  std::string class_name;
  Uuid uuid{};
  std::vector<Test> props;
};
void list_objects(const Database& db, std::optional<std::string_view> class_name,
                  const std::vector<Test>& tests, const std::function<void(const ObjectRow&)>& each);

// Deletes the class's objects that meet every test; the number deleted.
uint32_t delete_objects(Database& db, std::string_view class_name, const std::vector<Test>& tests);

// The uuid a new object of `class_name` gets: the one its items give, else
// a new one. Throws Error (kBadArgument) for a uuid item that is no UUID or
// a class_name item that names another class.
Uuid uuid_of_new_object(std::string_view class_name, const std::vector<Test>& items);

// Creates one object and returns its uuid; a uuid is made when the items
// hold none. Throws Error: code 10 (WV_NO_SUCH_CLASS) for a missing class,
// kBadArgument for a bad item, kExists for a uuid in use. Inside the
// caller's write transaction.
Uuid create_object(Database& db, std::string_view class_name, const std::vector<Test>& items);

// Class changes inside the caller's write transaction; they throw Error with
// a message. add_class of a class that exists with the same parent does
// nothing (kExists when its parent differs); an empty parent makes a root
// class. drop_class refuses (kInUse) a class that still holds objects or has
// subclasses, and answers 10 (WV_NO_SUCH_CLASS) for a missing one.
void add_class(Database& db, std::string_view name, std::string_view parent);
void drop_class(Database& db, std::string_view name);

}  // namespace tng::repo
