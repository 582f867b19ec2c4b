#pragma once

// Reads single values from the registry by their full key path in text form, such as
// "HKEY_LOCAL_MACHINE\HARDWARE\DESCRIPTION\System\CentralProcessor\0". Reading never
// creates a key. Every failure is a false result; nothing is logged or thrown.

#include "platform/registry.h"
#include "vadu/string.h"

#include <cstdint>

namespace vadu::registry {

// Splits "<root name><one separator><sub-key>". Root names are tried as prefixes in
// the order HKEY_CLASSES_ROOT, HKEY_CURRENT_CONFIG, HKEY_LOCAL_MACHINE, HKEY_USERS,
// HKEY_CURRENT_USER; the first match sets `root` and the rest after the separator is
// returned. With no match the result is empty and `root` is left as it was.
vadu::String parse_key_path(const vadu::String& path, platform::RegistryKey& root);

// A string value (type string); an empty string reads as success with an empty text.
// `text` is changed only on success.
bool read_string(const vadu::String& key_path, const vadu::String& value_name, vadu::String& text);

// A 32-bit number value (type number). `value` is changed only on success.
bool read_dword(const vadu::String& key_path, const vadu::String& value_name, uint32_t& value);

} // namespace vadu::registry
