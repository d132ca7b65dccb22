#include "query.h"

#include <algorithm>
#include <cstring>

#include "platform/wvapi.h"

namespace tng::repo {
namespace fs = std::filesystem;

namespace {

// Result file layout, per object: u32 payload size, u32 value count, then
// per value a 16-byte header (index into the names asked for, type, length)
// and the bytes, padded to 8 so that an integer is read in place. Texts keep
// a terminating zero, so a value can be handed out where it lies.
struct ValueHeader {
  uint32_t index;
  int32_t type;
  uint32_t length;
  uint32_t unused;
};
static_assert(sizeof(ValueHeader) == 16);

size_t padded(size_t n) { return (n + 7) & ~size_t{7}; }

// Binds a test's value as the storage class it is kept in.
void bind_value(Statement& s, int index, const Test& t) {
  switch (t.type) {
    case WV_TYPE_INTEGER: {
      int32_t v = 0;
      std::memcpy(&v, t.value.data(), 4);
      s.bind(index, int64_t{v});
      break;
    }
    case WV_TYPE_UUID:
      s.bind_blob(index, t.value.data(), t.value.size());
      break;
    default:
      s.bind(index, t.value);
  }
}

// "o.class_name = ?1 AND ..." for the tests; ?1 is the class.
// class_name and uuid are columns of the object; every other property is a
// row of props with its type and value.
std::string where_clause(const std::vector<Test>& tests, bool any_class = false) {
  std::string sql = any_class ? "?1 IS NULL" : "o.class_name = ?1";
  int next = 2;
  for (const Test& t : tests) {
    std::string n = std::to_string(next);
    if (t.property == "class_name") {
      sql += t.type == WV_TYPE_TEXT ? " AND o.class_name = ?" + n : " AND 0";
      next += 1;
    } else if (t.property == "uuid") {
      sql += t.type == WV_TYPE_UUID ? " AND o.uuid = ?" + n : " AND 0";
      next += 1;
    } else {
      sql += " AND EXISTS(SELECT 1 FROM props p WHERE p.object_id = o.id AND p.name = ?" + n +
             " AND p.type = ?" + std::to_string(next + 1) + " AND p.value = ?" +
             std::to_string(next + 2) + ")";
      next += 3;
    }
  }
  return sql;
}

void bind_tests(Statement& s, std::optional<std::string_view> class_name,
                const std::vector<Test>& tests) {
  if (class_name)
    s.bind(1, *class_name);
  else
    s.bind_null(1);
  int next = 2;
  for (const Test& t : tests) {
    if (t.property == "class_name") {
      if (t.type == WV_TYPE_TEXT) s.bind(next, t.value);
      next += 1;
    } else if (t.property == "uuid") {
      if (t.type == WV_TYPE_UUID) s.bind_blob(next, t.value.data(), t.value.size());
      next += 1;
    } else {
      s.bind(next, t.property).bind(next + 1, int64_t{t.type});
      bind_value(s, next + 2, t);
      next += 3;
    }
  }
}

}  // namespace

// ---- Record ----

const Value* Record::find(std::string_view property) const {
  if (!names_) return nullptr;
  for (const auto& [index, value] : values_)
    if ((*names_)[index] == property) return &value;
  return nullptr;
}

// ---- ResultFile ----

ResultFile::ResultFile(std::vector<std::string> names) : names_(std::move(names)) {}

std::optional<uint32_t> ResultFile::index_of(std::string_view property) const {
  for (uint32_t i = 0; i < names_.size(); ++i)
    if (names_[i] == property) return i;
  return std::nullopt;
}

void ResultFile::put(const char* data, size_t size) {
  if (!file_ && memory_.size() + size <= kInMemory) {
    memory_.insert(memory_.end(), data, data + size);
    return;
  }
  if (!file_) {
    file_.reset(std::tmpfile());
    if (!file_)
      throw Error(kFailed, std::string("cannot make a temporary file: ") + std::strerror(errno));
    if (!memory_.empty() && std::fwrite(memory_.data(), 1, memory_.size(), file_.get()) != memory_.size())
      throw Error(kFailed, std::string("cannot write the result file: ") + std::strerror(errno));
    std::vector<char>().swap(memory_);
  }
  if (std::fwrite(data, 1, size, file_.get()) != size)
    throw Error(kFailed, std::string("cannot write the result file: ") + std::strerror(errno));
}

void ResultFile::get(void* data, size_t size) {
  if (file_) {
    if (std::fread(data, size, 1, file_.get()) != 1)
      throw Error(kFailed, "the result file is cut short");
    return;
  }
  if (memory_.size() - read_at_ < size) throw Error(kFailed, "the result file is cut short");
  std::memcpy(data, memory_.data() + read_at_, size);
  read_at_ += size;
}

void ResultFile::write(const std::vector<std::pair<uint32_t, Test>>& values) {
  scratch_.clear();
  auto append = [&](const void* p, size_t n) {
    const char* c = static_cast<const char*>(p);
    scratch_.insert(scratch_.end(), c, c + n);
  };
  uint32_t header[2] = {0, static_cast<uint32_t>(values.size())};
  append(header, sizeof header);
  for (const auto& [index, t] : values) {
    ValueHeader h{index, t.type, static_cast<uint32_t>(t.value.size()), 0};
    append(&h, sizeof h);
    append(t.value.data(), t.value.size());
    scratch_.resize(padded(scratch_.size() + (t.type == WV_TYPE_TEXT ? 1 : 0)), '\0');
  }
  uint32_t payload = static_cast<uint32_t>(scratch_.size() - sizeof header);
  std::memcpy(scratch_.data(), &payload, sizeof payload);
  put(scratch_.data(), scratch_.size());
  ++count_;
}

void ResultFile::finish() {
  if (file_) {
    if (std::fflush(file_.get()) != 0)
      throw Error(kFailed, std::string("cannot write the result file: ") + std::strerror(errno));
    std::rewind(file_.get());
  }
  read_at_ = 0;
  scratch_ = {};
}

void ResultFile::read(Record& record) {
  uint32_t header[2];
  get(header, sizeof header);
  record.names_ = &names_;
  record.values_.clear();
  record.buffer_.resize(padded(header[0]) / 8);
  if (header[0]) get(record.buffer_.data(), header[0]);
  const char* base = reinterpret_cast<const char*>(record.buffer_.data());
  size_t at = 0;
  for (uint32_t i = 0; i < header[1]; ++i) {
    ValueHeader h;
    std::memcpy(&h, base + at, sizeof h);
    at += sizeof h;
    if (h.index >= names_.size() || at + h.length > header[0])
      throw Error(kFailed, "the result file is damaged");
    record.values_.push_back({h.index, Value{h.type, h.length, base + at}});
    at = padded(at + h.length + (h.type == WV_TYPE_TEXT ? 1 : 0));
  }
}

// ---- Queries ----

std::vector<std::string> property_names(std::string_view list) {
  std::vector<std::string> names;
  while (!list.empty()) {
    size_t comma = list.find(',');
    std::string_view item = list.substr(0, comma);
    list = comma == std::string_view::npos ? std::string_view{} : list.substr(comma + 1);
    while (!item.empty() && (item.front() == ' ' || item.front() == '\t')) item.remove_prefix(1);
    while (!item.empty() && (item.back() == ' ' || item.back() == '\t')) item.remove_suffix(1);
    if (!item.empty() && std::find(names.begin(), names.end(), item) == names.end())
      names.emplace_back(item);
  }
  return names;
}

ResultFile run_query(const Database& db, std::string_view class_name,
                     const std::vector<Test>& tests, std::string_view properties) {
  ResultFile result(property_names(properties));
  const std::vector<std::string>& names = result.names();
  std::optional<uint32_t> class_index = result.index_of("class_name");
  std::optional<uint32_t> uuid_index = result.index_of("uuid");
  bool wants_props = names.size() > (class_index ? 1u : 0u) + (uuid_index ? 1u : 0u);

  Statement objects(db, "SELECT o.id, o.class_name, o.uuid FROM objects o WHERE " +
                            where_clause(tests) + " ORDER BY o.id");
  bind_tests(objects, class_name, tests);
  Statement props(db, "SELECT name, type, value FROM props WHERE object_id = ?1");
  std::vector<std::pair<uint32_t, Test>> values;
  while (objects.step()) {
    values.clear();
    auto add = [&](uint32_t index, int32_t type, std::string_view bytes) {
      values.push_back({index, Test{std::string(), type, std::string(bytes)}});
    };
    if (class_index) add(*class_index, WV_TYPE_TEXT, objects.text(1));
    if (uuid_index) add(*uuid_index, WV_TYPE_UUID, objects.blob(2));
    if (wants_props) {
      props.bind(1, objects.integer(0));
      while (props.step()) {
        std::string_view name = props.text(0);
        if (name == "class_name" || name == "uuid") continue;
        std::optional<uint32_t> index = result.index_of(name);
        if (!index) continue;
        auto type = static_cast<int32_t>(props.integer(1));
        if (type == WV_TYPE_INTEGER) {
          auto v = static_cast<int32_t>(props.integer(2));
          add(*index, type, std::string_view(reinterpret_cast<const char*>(&v), 4));
        } else if (type == WV_TYPE_UUID) {
          add(*index, type, props.blob(2));
        } else {
          add(*index, type, props.text(2));
        }
      }
      props.reset();
    }
    result.write(values);
  }
  result.finish();
  return result;
}

void list_objects(const Database& db, std::optional<std::string_view> class_name,
                  const std::vector<Test>& tests, const std::function<void(const ObjectRow&)>& each) {
  Statement objects(db, "SELECT o.id, o.class_name, o.uuid FROM objects o WHERE " +
                            where_clause(tests, !class_name) + " ORDER BY o.id");
  bind_tests(objects, class_name, tests);
  Statement props(db, "SELECT name, type, value FROM props WHERE object_id = ?1 ORDER BY name");
  ObjectRow row;
  while (objects.step()) {
    row.class_name = objects.text(1);
    std::string_view uuid = objects.blob(2);
    if (uuid.size() == 16) std::memcpy(row.uuid.data(), uuid.data(), 16);
    row.props.clear();
    props.bind(1, objects.integer(0));
    while (props.step()) {
      Test t{std::string(props.text(0)), static_cast<int32_t>(props.integer(1)), {}};
      if (t.type == WV_TYPE_INTEGER) {
        auto v = static_cast<int32_t>(props.integer(2));
        t.value.assign(reinterpret_cast<const char*>(&v), 4);
      } else if (t.type == WV_TYPE_UUID) {
        t.value = props.blob(2);
      } else {
        t.value = props.text(2);
      }
      row.props.push_back(std::move(t));
    }
    props.reset();
    each(row);
  }
}

uint32_t delete_objects(Database& db, std::string_view class_name, const std::vector<Test>& tests) {
  Statement del(db, "DELETE FROM objects WHERE id IN (SELECT o.id FROM objects o WHERE " +
                        where_clause(tests) + ")");
  bind_tests(del, class_name, tests);
  del.run();
  return static_cast<uint32_t>(db.changes());
}

Uuid uuid_of_new_object(std::string_view class_name, const std::vector<Test>& items) {
  std::optional<Uuid> uuid;
  for (const Test& t : items) {
    if (t.property == "uuid") {
      if (t.type != WV_TYPE_UUID || t.value.size() != 16)
        throw Error(kBadArgument, "the uuid property must be a UUID");
      Uuid u{};
      std::memcpy(u.data(), t.value.data(), 16);
      uuid = u;
    } else if (t.property == "class_name") {
      if (t.type != WV_TYPE_TEXT || t.value != class_name)
        throw Error(kBadArgument, "the class_name property '" + t.value + "' names another class");
    }
  }
  return uuid ? *uuid : new_uuid();
}

Uuid create_object(Database& db, std::string_view class_name, const std::vector<Test>& items) {
  if (!class_exists(db, class_name))
    throw Error(WV_NO_SUCH_CLASS, "class '" + std::string(class_name) + "' does not exist");
  std::optional<Uuid> uuid = uuid_of_new_object(class_name, items);
  Statement used(db, "SELECT 1 FROM objects WHERE uuid = ?1");
  used.bind_blob(1, uuid->data(), 16);
  if (used.step()) throw Error(kExists, "an object with uuid " + uuid_text(*uuid) + " exists already");

  Statement add(db, "INSERT INTO objects(class_name, uuid) VALUES(?1, ?2)");
  add.bind(1, class_name).bind_blob(2, uuid->data(), 16);
  add.run();
  int64_t id = sqlite3_last_insert_rowid(db.handle());
  Statement prop(db, "INSERT INTO props(object_id, name, type, value) VALUES(?1, ?2, ?3, ?4)");
  for (const Test& t : items) {
    if (t.property == "uuid" || t.property == "class_name") continue;
    prop.bind(1, id).bind(2, t.property).bind(3, int64_t{t.type});
    bind_value(prop, 4, t);
    prop.run();
    prop.reset();
  }
  return *uuid;
}

void add_class(Database& db, std::string_view name, std::string_view parent) {
  if (!valid_class_name(name)) throw Error(kBadArgument, "'" + std::string(name) + "' is not a valid class name");
  Statement existing(db, "SELECT coalesce(parent, '') FROM classes WHERE name = ?1");
  existing.bind(1, name);
  if (existing.step()) {
    if (existing.text(0) == parent) return;
    throw Error(kExists, "class '" + std::string(name) + "' exists already with parent '" +
                             std::string(existing.text(0)) + "'");
  }
  if (!parent.empty() && !class_exists(db, parent))
    throw Error(WV_NO_SUCH_CLASS, "parent class '" + std::string(parent) + "' does not exist");
  Statement add(db, "INSERT INTO classes(name, parent) VALUES(?1, ?2)");
  add.bind(1, name);
  if (parent.empty())
    add.bind_null(2);
  else
    add.bind(2, parent);
  add.run();
}

void drop_class(Database& db, std::string_view name) {
  if (!class_exists(db, name))
    throw Error(WV_NO_SUCH_CLASS, "class '" + std::string(name) + "' does not exist");
  Statement objects(db, "SELECT count(*) FROM objects WHERE class_name = ?1");
  objects.bind(1, name);
  objects.step();
  if (int64_t n = objects.integer(0))
    throw Error(kInUse, "class '" + std::string(name) + "' still holds " + std::to_string(n) +
                            " object(s); move or delete them first");
  Statement children(db, "SELECT name FROM classes WHERE parent = ?1 ORDER BY name LIMIT 1");
  children.bind(1, name);
  if (children.step())
    throw Error(kInUse, "class '" + std::string(name) + "' still has subclasses (" +
                            std::string(children.text(0)) + ")");
  Statement drop(db, "DELETE FROM classes WHERE name = ?1");
  drop.bind(1, name);
  drop.run();
}

}  // namespace tng::repo
