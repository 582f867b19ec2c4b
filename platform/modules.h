#pragma once

// Run-time libraries, shaped after "load a library by name, get an entry point by
// name, free it". No shared object is loaded: a small table maps the library names
// the engine asks for to entry points that this layer provides itself:
//
//   "dbghelp.dll"  "MiniDumpWriteDump"  platform::write_dump (platform/crash.h)
//   "D3D9.DLL"     "Direct3DCreate9"    platform::gfx::create_factory (platform/gfx/device.h)
//   "DSOUND.DLL"   "DirectSoundCreate8" platform::sound::direct_sound_create8 (platform/sound/dsound.h)
//
// Back ends add their own with register_module_entry. Library names compare ignoring
// ASCII case, entry-point names exactly. Tests can make a library or an entry point
// missing. Any thread may call these.

namespace platform {

// Opaque; null means "not loaded".
using ModuleHandle = struct ModuleHandleTag*;
// Cast to the entry point's real type before calling.
using ModuleProc = void (*)();

// Null when the library is unknown or made missing. Every successful load counts and
// needs its own free_library.
ModuleHandle load_library(const char* name);
// Null for an unknown or missing entry point.
ModuleProc get_proc_address(ModuleHandle module, const char* name);
// False for a handle that is not loaded.
bool free_library(ModuleHandle module);

// How many loads of the library are not yet freed.
int module_load_count(const char* name);

// Adds (or replaces) an entry point of a library, creating the library.
void register_module_entry(const char* module, const char* entry, ModuleProc proc);

enum class ModuleFailure { none, library_missing, entry_point_missing };
// library_missing: load_library fails; entry_point_missing: it loads but has no entry
// points. Applies from the next call.
void set_module_failure(const char* module, ModuleFailure failure);
void clear_module_failures();

} // namespace platform
