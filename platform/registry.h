#pragma once

// A read-only stand-in for the system registry the engine was written against.
//
// Exactly one key exists, "HARDWARE\DESCRIPTION\System\CentralProcessor\0" under
// HKEY_LOCAL_MACHINE, with "ProcessorNameString" (a string, the first "model name" of
// the processor information) and "~MHz" (a 32-bit number, the first "cpu MHz",
// truncated). A value the processor information lacks is absent. Every other key is
// absent, and nothing is ever created: a key that asks for more than read access is
// refused.
//
// Key and value names compare ignoring ASCII case. Calls return the result codes
// below; 0 is success. Any thread may call them.

#include <cstdint>
#include <string>

namespace platform {

// Opaque; an open key or one of the predefined roots.
using RegistryKey = struct RegistryKeyTag*;

// The predefined roots.
RegistryKey hkey_classes_root();
RegistryKey hkey_current_user();
RegistryKey hkey_local_machine();
RegistryKey hkey_users();
RegistryKey hkey_current_config();

namespace reg {
// Result codes.
constexpr int32_t success = 0;
constexpr int32_t file_not_found = 2;
constexpr int32_t access_denied = 5;
constexpr int32_t invalid_handle = 6;
constexpr int32_t invalid_parameter = 87;
constexpr int32_t more_data = 234;

// Value types.
constexpr uint32_t type_none = 0;
constexpr uint32_t type_sz = 1;
constexpr uint32_t type_dword = 4;

// Read access: read control, query values, enumerate sub-keys, notify.
constexpr uint32_t key_read = 0x00020019;
} // namespace reg

// Opens root + "\" + sub_key (an empty sub-key opens nothing: the roots themselves hold
// no values here). reg::file_not_found for a missing key, reg::access_denied when the
// access asks for anything beyond key_read, reg::invalid_handle for an unknown root.
int32_t registry_open_key(RegistryKey root, const char* sub_key, uint32_t access, RegistryKey* result);

// Reads a value. `type` (may be null) receives its type. With a null `data` only the
// size is reported. When the value does not fit, *size becomes the size needed and the
// result is reg::more_data; strings count their terminator. reg::file_not_found for a
// missing value, reg::invalid_handle for a key that is not open.
int32_t registry_query_value(RegistryKey key, const char* value_name, uint32_t* type, uint8_t* data,
                             uint32_t* size);

// reg::invalid_handle for a key that is not open (or a root).
int32_t registry_close_key(RegistryKey key);

// Keys opened and not yet closed.
int registry_open_key_count();

// Reads the processor information from this file instead of /proc/cpuinfo; "" goes
// back to /proc/cpuinfo. Applies to keys opened afterwards.
void set_registry_cpuinfo_source(const std::string& path);

} // namespace platform
