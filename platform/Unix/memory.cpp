#include "platform/memory.h"

#include "platform/faults.h"

#include <new>

namespace tng::memory {

Buffer allocate(std::size_t size) {
  if (auto fault = tng::faults::hit("malloc"); fault && *fault != 0) return nullptr;
  return Buffer(new (std::nothrow) std::uint8_t[size]());
}

}  // namespace tng::memory
