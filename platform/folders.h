#pragma once

#include <cstdint>
#include <string>

// The program's own file and the well-known folders the engine asks the system for.
//
// The engine names folders by the numeric ids of a shell it was written against;
// here they map to folders of this system:
//
//   id    meaning                    folder here
//   0x1A  per-user application data  $XDG_DATA_HOME, else $HOME/.local/share
//   0x10  user's desktop             $XDG_DESKTOP_DIR, else $HOME/Desktop
//   0x14  fonts                      /usr/share/fonts
//   0x0B  user's start menu          <per-user application data>/applications
//   0x02  user's start-menu programs <per-user application data>/applications
//   0x19  common desktop             /usr/share/applications
//   0x16  common start menu          /usr/share/applications
//   0x17  common start-menu programs /usr/share/applications
//
// Environment values that are not absolute paths are ignored, as the XDG rules ask.
// The "system folder" is /usr/lib and the "windows folder" is /usr: stable folders that
// nothing of ours writes to.
//
// Every value can be replaced through a small override table (tests use it to fake a
// module path or a failed lookup).

namespace platform {

constexpr int folder_programs = 0x02;
constexpr int folder_start_menu = 0x0B;
constexpr int folder_desktop = 0x10;
constexpr int folder_fonts = 0x14;
constexpr int folder_common_start_menu = 0x16;
constexpr int folder_common_programs = 0x17;
constexpr int folder_common_desktop = 0x19;
constexpr int folder_appdata = 0x1A;

// Override keys for the values that are not special folders.
constexpr int folder_key_module_file = -1;
constexpr int folder_key_system = -2;
constexpr int folder_key_windows = -3;

// The running program's full file name (from /proc/self/exe) into a buffer of `size`
// bytes. Returns the length when it fits with its terminator; when it does not, the
// buffer holds the first size - 1 bytes, terminated, and the result is `size` (callers
// grow the buffer and ask again). 0 when the name cannot be found or size is 0.
uint32_t module_file_name(char* buffer, uint32_t size);

std::string system_directory();
std::string windows_directory();

// The folder for one of the ids above; "" when the id is unknown or the folder cannot
// be found (for example HOME unset).
std::string special_folder(int id);

// A defined per-user folder for when a special folder cannot be found: $HOME/.local/share,
// or <temp folder>/quillo-tovra-<uid> when HOME is unset. Never empty, never "/".
std::string fallback_folder();

// Replaces the value for a key (a special-folder id or one of the folder_key_* values).
// An empty value makes the lookup fail (module_file_name answers 0).
void set_folder_override(int key, const std::string& value);
void clear_folder_override(int key);
void clear_folder_overrides();

} // namespace platform
