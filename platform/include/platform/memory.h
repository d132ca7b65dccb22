// Working storage from the C runtime's heap. A failed allocation gives an
// empty buffer, which the caller must test, as with malloc.
#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>

namespace tng::memory {

using Buffer = std::unique_ptr<std::uint8_t[]>;

// `size` zero-filled bytes, or null when they cannot be obtained.
Buffer allocate(std::size_t size);

}  // namespace tng::memory
