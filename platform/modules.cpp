#include "platform/modules.h"

#include "platform/crash.h"
#include "platform/gfx/device.h"
#include "platform/sound/dsound.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace platform {
namespace {

struct Library {
    std::map<std::string, ModuleProc> entries;
    int loads = 0;
    ModuleFailure failure = ModuleFailure::none;
};

struct Table {
    std::mutex mutex;
    std::map<std::string, std::unique_ptr<Library>> libraries; // by lower-case name

    Table()
    {
        add("dbghelp.dll", "MiniDumpWriteDump", reinterpret_cast<ModuleProc>(&write_dump));
        add("d3d9.dll", "Direct3DCreate9", reinterpret_cast<ModuleProc>(&gfx::create_factory));
        add("dsound.dll", "DirectSoundCreate8", reinterpret_cast<ModuleProc>(&sound::direct_sound_create8));
    }

    void add(const char* module, const char* entry, ModuleProc proc)
    {
        std::unique_ptr<Library>& library = libraries[key(module)];
        if (!library)
            library = std::make_unique<Library>();
        library->entries[entry] = proc;
    }

    Library* find(const char* module)
    {
        const auto found = libraries.find(key(module));
        return found == libraries.end() ? nullptr : found->second.get();
    }

    Library* find(ModuleHandle handle)
    {
        for (auto& [name, library] : libraries) {
            if (reinterpret_cast<ModuleHandle>(library.get()) == handle)
                return library->loads > 0 ? library.get() : nullptr;
        }
        return nullptr;
    }

    static std::string key(const char* name)
    {
        std::string result(name ? name : "");
        for (char& c : result) {
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        }
        return result;
    }
};

Table& table()
{
    static Table instance;
    return instance;
}

} // namespace

ModuleHandle load_library(const char* name)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    Library* library = t.find(name);
    if (library == nullptr || library->failure == ModuleFailure::library_missing)
        return nullptr;
    ++library->loads;
    return reinterpret_cast<ModuleHandle>(library);
}

ModuleProc get_proc_address(ModuleHandle module, const char* name)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    Library* library = t.find(module);
    if (library == nullptr || name == nullptr || library->failure == ModuleFailure::entry_point_missing)
        return nullptr;
    const auto found = library->entries.find(name);
    return found == library->entries.end() ? nullptr : found->second;
}

bool free_library(ModuleHandle module)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    Library* library = t.find(module);
    if (library == nullptr)
        return false;
    --library->loads;
    return true;
}

int module_load_count(const char* name)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    const Library* library = t.find(name);
    return library ? library->loads : 0;
}

void register_module_entry(const char* module, const char* entry, ModuleProc proc)
{
    if (module == nullptr || entry == nullptr)
        return;
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    t.add(module, entry, proc);
}

void set_module_failure(const char* module, ModuleFailure failure)
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    if (Library* library = t.find(module))
        library->failure = failure;
}

void clear_module_failures()
{
    Table& t = table();
    std::lock_guard<std::mutex> lock(t.mutex);
    for (auto& [name, library] : t.libraries)
        library->failure = ModuleFailure::none;
}

} // namespace platform
