#include "vadu/crash.h"

#include "platform/folders.h"
#include "platform/modules.h"
#include "platform/system.h"
#include "platform/window.h"
#include "vadu/filesystem.h"
#include "vadu/path.h"

#include <cstring>
#include <ctime>

namespace vadu::crash {
namespace {

// Room for any real path here; a longer one leaves the handler uninstalled.
constexpr size_t path_capacity = 4096;

platform::ModuleHandle dump_library = nullptr;
platform::WriteDumpProc mini_dump_write_dump = nullptr;
// Read by the handler: filled before the handler is installed, never while it runs.
char minidump_path[path_capacity] = "minidump.dmp";
char fulldump_path[path_capacity] = "fulldump.dmp";

constexpr char16_t box_text[] = u"Whoops! There's been an error. Do you want to generate a complete memory dump?";
constexpr char16_t box_caption[] = u"Fatal Error";

bool is_usable_folder(const vadu::WString& folder)
{
    for (size_t i = 0; i < folder.size(); ++i) {
        if (folder[i] != u'/' && folder[i] != u'\\')
            return true;
    }
    return false;
}

void write_one(const char* path, uint32_t type, const platform::DumpExceptionInformation& information)
{
    const int file = platform::create_dump_file(path);
    if (file < 0)
        return;
    mini_dump_write_dump(platform::current_process_id(), file, type, &information);
    platform::close_dump_file(file);
}

bool copy_path(char (&target)[path_capacity], const vadu::String& path)
{
    if (path.size() >= path_capacity)
        return false;
    std::memcpy(target, path.data(), path.size());
    target[path.size()] = '\0';
    return true;
}

} // namespace

bool get_special_folder_w(int csidl, vadu::WString& path)
{
    const vadu::String folder = vadu::filesystem::get_special_folder(csidl);
    if (folder.empty())
        return false;
    vadu::WString wide;
    if (!wide.append_narrow(folder))
        return false;
    path = wide;
    return true;
}

void install(const vadu::String& name)
{
    if (dump_library != nullptr)
        unload();

    platform::ModuleHandle library = platform::load_library("dbghelp.dll");
    if (library == nullptr)
        return;
    const auto writer =
        reinterpret_cast<platform::WriteDumpProc>(platform::get_proc_address(library, "MiniDumpWriteDump"));
    if (writer == nullptr) {
        platform::free_library(library);
        return;
    }

    vadu::WString folder;
    if (!get_special_folder_w(platform::folder_appdata, folder) || !is_usable_folder(folder)) {
        const std::string fallback = platform::fallback_folder();
        folder = vadu::WString();
        folder.append_narrow(vadu::String(fallback.data(), fallback.data() + fallback.size()));
    }
    folder += u"/";
    folder.append_narrow(name);
    folder += u"/";

    char stamp[64];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    platform::local_time(now, local);
    std::strftime(stamp, sizeof stamp, "-%y%m%d-%H%M%S.dmp", &local);

    vadu::String narrow_folder;
    narrow_folder.assign_from_wide(folder.data(), folder.data_end());
    if (narrow_folder.empty() || !copy_path(minidump_path, narrow_folder + "minidump" + stamp) ||
        !copy_path(fulldump_path, narrow_folder + "fulldump" + stamp)) {
        platform::free_library(library);
        return;
    }
    // Without the folder every dump would be lost.
    vadu::filesystem::create_directories(vadu::filesystem::String(narrow_folder, false));
    // Everything about the question is settled now: a handler must never start the
    // window back end or allocate.
    platform::prepare_crash_question(box_text, box_caption);

    dump_library = library;
    mini_dump_write_dump = writer;
    platform::set_unhandled_exception_filter(exception_filter);
}

void unload()
{
    if (platform::get_unhandled_exception_filter() == exception_filter)
        platform::set_unhandled_exception_filter(nullptr);
    if (dump_library != nullptr)
        platform::free_library(dump_library);
    dump_library = nullptr;
    mini_dump_write_dump = nullptr;
}

QUILLO_FAULT_PATH void exception_filter(const platform::ExceptionPointers* pointers)
{
    platform::DumpExceptionInformation information;
    information.thread_id = platform::current_thread_id();
    information.pointers = pointers;
    information.client_pointers = true;
    if (mini_dump_write_dump != nullptr) {
        write_one(minidump_path, platform::dump_normal, information);
        if (platform::ask_crash_question())
            write_one(fulldump_path, platform::dump_with_full_memory, information);
    }
    platform::terminate_process(-1);
}

bool is_installed()
{
    return dump_library != nullptr && platform::get_unhandled_exception_filter() == exception_filter;
}

const char* get_minidump_path()
{
    return minidump_path;
}

const char* get_fulldump_path()
{
    return fulldump_path;
}

} // namespace vadu::crash
