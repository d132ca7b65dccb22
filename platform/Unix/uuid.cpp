// UUIDs of the RPC runtime over libuuid. The 16 bytes are kept in the order
// of their text form, so text and binary convert both ways without change.
#include "platform/rpc_uuid.h"

#include "platform/faults.h"

#include <uuid/uuid.h>

#include <cctype>
#include <cstring>
#include <new>

namespace {

enum { RPC_S_INVALID_ARG = 87 };

constexpr std::size_t text_length = 36;

bool is_hyphen_position(std::size_t i) { return i == 8 || i == 13 || i == 18 || i == 23; }

// The exact 8-4-4-4-12 form, hex digits of either case, nothing around it.
bool well_formed(const char* text) {
  for (std::size_t i = 0; i < text_length; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == '\0') return false;
    if (is_hyphen_position(i) ? c != '-' : !std::isxdigit(c)) return false;
  }
  return text[text_length] == '\0';
}

}  // namespace

extern "C" int32_t UuidCreate(UUID* uuid) {
  auto fault = tng::faults::hit("UuidCreate");
  // Both "ok" and "local only" hand out a usable UUID.
  if (fault && *fault != RPC_S_OK && *fault != RPC_S_UUID_LOCAL_ONLY) return *fault;
  if (uuid == nullptr) return RPC_S_INVALID_ARG;
  uuid_generate(uuid->bytes);
  return fault.value_or(RPC_S_OK);
}

extern "C" int32_t UuidToStringA(const UUID* uuid, char** text) {
  auto fault = tng::faults::hit("UuidToStringA");
  if (fault && *fault != RPC_S_OK) return *fault;
  if (uuid == nullptr || text == nullptr) return RPC_S_INVALID_ARG;
  *text = new (std::nothrow) char[text_length + 1];
  if (*text == nullptr) return RPC_S_OUT_OF_MEMORY;
  uuid_unparse_lower(uuid->bytes, *text);
  return fault.value_or(RPC_S_OK);
}

extern "C" int32_t UuidFromStringA(const char* text, UUID* uuid) {
  auto fault = tng::faults::hit("UuidFromStringA");
  if (fault && *fault != RPC_S_OK) return *fault;
  if (uuid == nullptr) return RPC_S_INVALID_ARG;
  if (text == nullptr) {  // the nil UUID, as the runtime gives it
    std::memset(uuid->bytes, 0, sizeof uuid->bytes);
    return fault.value_or(RPC_S_OK);
  }
  if (!well_formed(text) || uuid_parse(text, uuid->bytes) != 0) return RPC_S_INVALID_STRING_UUID;
  return fault.value_or(RPC_S_OK);
}

extern "C" int32_t RpcStringFreeA(char** text) {
  if (text == nullptr) return RPC_S_INVALID_ARG;
  delete[] * text;
  *text = nullptr;
  return RPC_S_OK;
}
