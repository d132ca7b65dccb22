// UUIDs with the operations and text form (36 characters, lower case) of the
// RPC runtime, over libuuid.
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct {
  uint8_t bytes[16];
} UUID;

enum {
  RPC_S_OK = 0,
  RPC_S_INVALID_STRING_UUID = 1705,
  RPC_S_UUID_NO_ADDRESS = 1739,
  RPC_S_UUID_LOCAL_ONLY = 1824,
  RPC_S_OUT_OF_MEMORY = 14,
};

int32_t UuidCreate(UUID* uuid);
// *text is allocated; release it with RpcStringFreeA.
int32_t UuidToStringA(const UUID* uuid, char** text);
int32_t UuidFromStringA(const char* text, UUID* uuid);
int32_t RpcStringFreeA(char** text);

#ifdef __cplusplus
}
#endif
