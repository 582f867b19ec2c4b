#pragma once

// The crash handler: once installed, a fault that nothing handles writes a small dump
// ("minidump-<start time>.dmp") into <per-user application data>/<application name>/,
// offers a complete one ("fulldump-<start time>.dmp") through a yes/no question asked
// by a fresh run of the program (platform::ask_crash_question; headless, no question is
// shown and the headless script answers), and ends the process with status -1 (255).
// Programs that install it start main() with platform::answer_crash_question. The start time is that of install, formatted
// "-%y%m%d-%H%M%S".

#include "platform/crash.h"
#include "vadu/string.h"

namespace vadu::crash {

// Loads the dump writer ("dbghelp.dll" / "MiniDumpWriteDump" from the module table);
// when either is missing nothing more happens and no handler is installed. Otherwise
// prepares both dump paths, creates the dump folder and installs the handlers.
// Installing again replaces the earlier installation. Main thread.
void install(const vadu::String& name);

// Removes the handlers (the previous ones come back) and frees the dump writer.
void unload();

// The filter the handlers call; never returns.
[[noreturn]] QUILLO_FAULT_PATH void exception_filter(const platform::ExceptionPointers* pointers);

// A special folder (see platform/folders.h) as wide text; false when it is unknown.
bool get_special_folder_w(int csidl, vadu::WString& path);

bool is_installed();
// The prepared paths: "minidump.dmp" and "fulldump.dmp" until the first install.
const char* get_minidump_path();
const char* get_fulldump_path();

} // namespace vadu::crash
