// The result of a query, spooled (in memory while it is small, then to an
// unlinked temporary file) so that the walk holds no transaction and no
// memory that grows with the class.
#pragma once
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "types.h"

namespace tng::repo {

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

  static constexpr size_t kInMemory = size_t{64} * 1024;

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

}  // namespace tng::repo
