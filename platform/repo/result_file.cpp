#include "result_file.h"

#include <algorithm>
#include <cstring>

#include "platform/wvapi.h"

namespace tng::repo {

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
    if (!memory_.empty() &&
        std::fwrite(memory_.data(), 1, memory_.size(), file_.get()) != memory_.size())
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
    record.values_.emplace_back(h.index, Value{h.type, h.length, base + at});
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

}  // namespace tng::repo
