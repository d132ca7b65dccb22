// The registry, read from $TNG_HOME/registry.ini (or the file named by
// TNG_REGISTRY): an INI file whose section names are whole key paths below
// HKEY_LOCAL_MACHINE, written with backslashes and matched without regard to
// case. Values are strings; a value's reported length counts its terminating
// zero. A missing file is a key that cannot be opened.
#pragma once
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct reg_key* HKEY;
#define HKEY_LOCAL_MACHINE ((HKEY)(uintptr_t)0x80000002u)

enum { KEY_QUERY_VALUE = 0x0001 };
enum { ERROR_SUCCESS = 0, ERROR_FILE_NOT_FOUND = 2, ERROR_MORE_DATA = 234 };
enum { REG_SZ = 1 };

int32_t RegOpenKeyExA(HKEY root, const char* subkey, uint32_t options, uint32_t access, HKEY* key);
// Copies the value with its terminator into data when it fits in *length
// bytes; *length becomes the value's length with the terminator either way
// (ERROR_MORE_DATA when it did not fit). A null data asks the length only.
int32_t RegQueryValueExA(HKEY key, const char* name, uint32_t* reserved, uint32_t* type,
                         uint8_t* data, uint32_t* length);
int32_t RegCloseKey(HKEY key);

#ifdef __cplusplus
}
#endif
