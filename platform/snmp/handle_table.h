// Opaque handles for the objects the SNMP interfaces hand out. A handle is a
// number that is never given out twice, so a handle used after its object
// is gone (released twice, or released after its session ended) finds
// nothing instead of another object. Whatever a caller never released is
// freed when the process ends.
#pragma once
#include <cstdint>
#include <memory>
#include <unordered_map>

namespace tng::snmp {

template <class Object, class Handle>
class HandleTable {
 public:
  Handle add(std::unique_ptr<Object> object) {
    const uintptr_t id = ++last_;
    objects_.emplace(id, std::move(object));
    return reinterpret_cast<Handle>(id);
  }

  Object* find(Handle handle) const {
    auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    return it == objects_.end() ? nullptr : it->second.get();
  }

  // Destroys the object; false when the handle names none.
  bool remove(Handle handle) { return objects_.erase(reinterpret_cast<uintptr_t>(handle)) != 0; }

 private:
  uintptr_t last_ = 0;
  std::unordered_map<uintptr_t, std::unique_ptr<Object>> objects_;
};

}  // namespace tng::snmp
