#include "platform/atomic_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "platform/files.h"
#include "platform/memory_folder.h"

namespace platform {

namespace {

struct Fault {
    WriteStep step = WriteStep::create;
    WriteFault fault = WriteFault::none;
    int skip = 0;
};

Fault& armed()
{
    static Fault fault;
    return fault;
}

// Runs before each step: ends the process there, or tells the step to fail.
bool fault_strikes(WriteStep step)
{
    Fault& fault = armed();
    if (fault.fault == WriteFault::none || fault.step != step)
        return false;
    if (fault.skip > 0) {
        --fault.skip;
        return false;
    }
    if (fault.fault == WriteFault::kill)
        ::_exit(77);
    errno = EIO;
    return true;
}

void report(std::string* error, WriteStep step, const std::string& path, int code)
{
    if (error)
        *error = std::string(write_step_name(step)) + " failed for \"" + path + "\": " + std::strerror(code);
}

std::string folder_of(const std::string& path)
{
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::vector<std::string>*& sync_journal()
{
    static std::vector<std::string>* journal = nullptr;
    return journal;
}

bool sync_folder(const std::string& folder)
{
    if (sync_journal())
        sync_journal()->push_back(folder);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0 || errno == EINVAL;
    const int code = errno;
    ::close(fd);
    errno = code;
    return synced;
}

bool write_all(int fd, const void* bytes, size_t size)
{
    const char* at = static_cast<const char*>(bytes);
    while (size > 0) {
        const ssize_t written = ::write(fd, at, size);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        at += written;
        size -= static_cast<size_t>(written);
    }
    return true;
}

// Makes every missing folder of the path up to its last "/" (the path already resolved),
// with the spelling given. A new folder is only an entry of its parent until the parent
// is synced: without that a power cut can take the folder, and the file saved in it, away.
// False (with the reason) when a parent cannot be synced; a folder that cannot be made
// is left for the caller's next step to report.
bool make_folders(const std::string& path, std::string* error)
{
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        const std::string folder = path.substr(0, slash);
        struct stat info;
        if (::stat(folder.c_str(), &info) == 0)
            continue;
        if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST)
            return true;
        if (!sync_folder(folder_of(folder))) {
            report(error, WriteStep::create, folder_of(folder), errno);
            return false;
        }
    }
    return true;
}

} // namespace

bool create_folders_durably(const std::string& folder, std::string* error)
{
    if (memory_folder_holding(folder))
        return true;
    const std::string resolved = resolve_path(folder);
    if (!make_folders(resolved + "/", error))
        return false;
    struct stat info;
    if (::stat(resolved.c_str(), &info) != 0) {
        report(error, WriteStep::create, resolved, errno);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        report(error, WriteStep::create, resolved, ENOTDIR);
        return false;
    }
    return true;
}

void record_folder_syncs(std::vector<std::string>* journal)
{
    sync_journal() = journal;
}

const char* write_step_name(WriteStep step)
{
    switch (step) {
    case WriteStep::create: return "create";
    case WriteStep::write: return "write";
    case WriteStep::sync: return "sync";
    case WriteStep::close: return "close";
    case WriteStep::rename: return "rename";
    case WriteStep::sync_folder: return "sync_folder";
    }
    return "?";
}

bool write_file_atomically(const std::string& path, const void* bytes, size_t size, std::string* error)
{
    if (MemoryFolder* memory = memory_folder_holding(path)) {
        const char* first = static_cast<const char*>(bytes);
        memory->files[memory_key(path)].assign(first, first + size);
        return true;
    }
    const std::string target = resolve_path(path);
    const std::string temporary = target + ".tmp";
    if (!make_folders(target, error))
        return false;

    if (fault_strikes(WriteStep::create)) {
        report(error, WriteStep::create, temporary, errno);
        return false;
    }
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        report(error, WriteStep::create, temporary, errno);
        return false;
    }
    // From here a failure closes and removes the temporary; the target is untouched.
    auto abandon = [&](WriteStep step, int code, bool open) {
        if (open)
            ::close(fd);
        ::unlink(temporary.c_str());
        report(error, step, step == WriteStep::rename ? target : temporary, code);
        return false;
    };
    if (fault_strikes(WriteStep::write) || !write_all(fd, bytes, size))
        return abandon(WriteStep::write, errno, true);
    if (fault_strikes(WriteStep::sync) || ::fsync(fd) != 0)
        return abandon(WriteStep::sync, errno, true);
    if (fault_strikes(WriteStep::close)) {
        const int code = errno;
        ::close(fd);
        return abandon(WriteStep::close, code, false);
    }
    if (::close(fd) != 0)
        return abandon(WriteStep::close, errno, false);
    if (fault_strikes(WriteStep::rename) || ::rename(temporary.c_str(), target.c_str()) != 0)
        return abandon(WriteStep::rename, errno, false);
    // The new content is in place; a folder that cannot be synced only weakens how long
    // the rename takes to become durable, but the caller should still hear of it.
    if (fault_strikes(WriteStep::sync_folder) || !sync_folder(folder_of(target))) {
        report(error, WriteStep::sync_folder, folder_of(target), errno);
        return false;
    }
    return true;
}

bool delete_file_durably(const std::string& path, std::string* error)
{
    if (MemoryFolder* memory = memory_folder_holding(path)) {
        memory->files.erase(memory_key(path));
        return true;
    }
    const std::string target = resolve_path(path);
    if (fault_strikes(WriteStep::rename) || (::unlink(target.c_str()) != 0 && errno != ENOENT)) {
        report(error, WriteStep::rename, target, errno);
        return false;
    }
    if (fault_strikes(WriteStep::sync_folder) || !sync_folder(folder_of(target))) {
        report(error, WriteStep::sync_folder, folder_of(target), errno);
        return false;
    }
    return true;
}

std::string set_file_aside(const std::string& path, const std::string& suffix, std::string* error)
{
    if (MemoryFolder* memory = memory_folder_holding(path)) {
        const auto found = memory->files.find(memory_key(path));
        for (int attempt = 0; found != memory->files.end() && attempt < 1000; ++attempt) {
            const std::string name = path + suffix + (attempt == 0 ? std::string() : "." + std::to_string(attempt));
            if (memory->files.count(memory_key(name)))
                continue;
            memory->files[memory_key(name)] = std::move(found->second);
            memory->files.erase(found);
            return name;
        }
        if (error)
            *error = "set aside " + path + ": not there";
        return std::string();
    }
    const std::string source = resolve_path(path);
    for (int attempt = 0; attempt < 1000; ++attempt) {
        const std::string name = source + suffix + (attempt == 0 ? std::string() : "." + std::to_string(attempt));
        if (fault_strikes(WriteStep::rename)) {
            report(error, WriteStep::rename, source, errno);
            return {};
        }
        // Never over an existing file: an earlier damaged copy must survive too.
        if (::renameat2(AT_FDCWD, source.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) == 0) {
            sync_folder(folder_of(source));
            return name;
        }
        if (errno == EEXIST)
            continue;
        if (errno == EINVAL || errno == ENOSYS) {
            // A file system without the no-replace flag: look first, then rename.
            struct stat info;
            if (::lstat(name.c_str(), &info) == 0)
                continue;
            if (::rename(source.c_str(), name.c_str()) == 0) {
                sync_folder(folder_of(source));
                return name;
            }
        }
        report(error, WriteStep::rename, source, errno);
        return {};
    }
    report(error, WriteStep::rename, source, EEXIST);
    return {};
}

void set_write_fault(WriteStep step, WriteFault fault, int skip_count)
{
    armed() = Fault{step, fault, skip_count};
}

void clear_write_fault()
{
    armed() = Fault{};
}

} // namespace platform
