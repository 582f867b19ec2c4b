#include "vadu/filesystem.h"

#include <algorithm>
#include <limits>
#include <mutex>
#include <string>
#include <utility>

#include "platform/files.h"
#include "vadu/threads.h"

namespace vadu {

namespace {

std::string native(const vadu::String& text)
{
    return std::string(text.data(), text.size());
}

std::mutex platform_info_mutex;
PlatformInfo* platform_info = nullptr;

} // namespace

PlatformInfo::~PlatformInfo() = default;

vadu::String PlatformInfo::get_locale()
{
    return vadu::String();
}

bool PlatformInfo::is_wide_screen()
{
    return true;
}

PlatformInfo& PlatformInfo::instance()
{
    std::lock_guard<std::mutex> lock(platform_info_mutex);
    if (platform_info == nullptr)
        platform_info = new PlatformInfo();
    return *platform_info;
}

void PlatformInfo::install(PlatformInfo* provider)
{
    std::lock_guard<std::mutex> lock(platform_info_mutex);
    if (provider == platform_info)
        return;
    delete platform_info;
    platform_info = provider;
}

} // namespace vadu

namespace vadu::filesystem {

using vadu::native;

namespace {

std::unique_ptr<FileSystem> current_file_system;
Factory current_factory;
// Creators alive. A second creator (say, the base of a refused loader creator) must not
// take the file system away from the first when it goes.
int live_creators = 0;

// Set while this thread asks the platform provider for the locale.
thread_local bool asking_locale = false;

class LocaleQuestion {
public:
    LocaleQuestion() { asking_locale = true; }
    ~LocaleQuestion() { asking_locale = false; }
    LocaleQuestion(const LocaleQuestion&) = delete;
    LocaleQuestion& operator=(const LocaleQuestion&) = delete;
};

vadu::String current_locale()
{
    if (asking_locale)
        return vadu::String();
    LocaleQuestion question;
    return PlatformInfo::instance().get_locale();
}

} // namespace

bool FileSystem::enumerate(Visitor&, const String&)
{
    return false;
}

// Native

bool NativeFileSystem::enumerate(Visitor& visitor, const String& folder)
{
    return list_directory(visitor, folder, "*");
}

std::unique_ptr<Stream> NativeFileSystem::open(const String& path)
{
    auto stream = std::make_unique<FileStream>(path);
    if (!stream->is_good())
        return nullptr;
    return stream;
}

// Path

PathFileSystem::PathFileSystem(const String& prefix, std::unique_ptr<FileSystem> inner)
    : prefix_(prefix), inner_(std::move(inner))
{
}

void PathFileSystem::attach(std::unique_ptr<FileSystem> inner)
{
    inner_ = std::move(inner);
}

std::unique_ptr<Stream> PathFileSystem::open(const String& path)
{
    if (!inner_)
        return nullptr;
    if (auto stream = inner_->open(prefix_ + path.get_text()))
        return stream;
    return inner_->open(path);
}

// Prefixed

PrefixedFileSystem::PrefixedFileSystem(std::unique_ptr<FileSystem> inner) : inner_(std::move(inner)) {}

void PrefixedFileSystem::attach(std::unique_ptr<FileSystem> inner)
{
    inner_ = std::move(inner);
}

std::unique_ptr<Stream> PrefixedFileSystem::open(const String& path)
{
    if (!inner_)
        return nullptr;
    // No locale means no locale folder: "/" + name would be read from the root.
    const vadu::String locale = current_locale();
    if (!locale.empty()) {
        String folder(locale + "/", true);
        if (auto stream = inner_->open(folder + path.get_text()))
            return stream;
    }
    return inner_->open(path);
}

// Composite

void CompositeFileSystem::add(std::unique_ptr<FileSystem> child)
{
    children_.push_back(std::move(child));
}

std::unique_ptr<Stream> CompositeFileSystem::open(const String& path)
{
    for (const auto& child : children_) {
        if (!child)
            continue;
        if (auto stream = child->open(path))
            return stream;
    }
    return nullptr;
}

// MemoryStream

MemoryStream::MemoryStream(std::vector<uint8_t> data) : data_(std::move(data)) {}

uint32_t MemoryStream::left() const
{
    uint32_t size = static_cast<uint32_t>(data_.size());
    return position_ < size ? size - position_ : 0;
}

uint32_t MemoryStream::read(void* buffer, uint32_t count)
{
    uint32_t n = std::min(count, left());
    if (n > 0) {
        std::copy_n(data_.data() + position_, n, static_cast<uint8_t*>(buffer));
        position_ += n;
    }
    return n;
}

uint32_t MemoryStream::skip(uint32_t count)
{
    uint32_t n = std::min(count, left());
    position_ += n;
    return n;
}

// File

File::~File()
{
    close();
}

bool File::open(const String& path, int mode)
{
    close();
    const char* how = "ab";
    if (mode == read_mode) {
        how = "rb";
    } else if (mode == write_mode) {
        create_directories(path);
        how = "wb";
    }
    file_ = platform::open_file(native(path.get_text()), how);
    return file_ != nullptr;
}

void File::close()
{
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
}

uint32_t File::read(void* buffer, uint32_t count)
{
    if (file_ == nullptr)
        return 0;
    return static_cast<uint32_t>(std::fread(buffer, 1, count, file_));
}

uint32_t File::write(const void* buffer, uint32_t count)
{
    if (file_ == nullptr)
        return 0;
    return static_cast<uint32_t>(std::fwrite(buffer, 1, count, file_));
}

uint32_t File::skip(uint32_t count)
{
    if (file_ == nullptr)
        return 0;
    long before = std::ftell(file_);
    if (before < 0 || std::fseek(file_, static_cast<long>(count), SEEK_CUR) != 0)
        return 0;
    long after = std::ftell(file_);
    return after > before ? static_cast<uint32_t>(after - before) : 0;
}

uint32_t File::get_size()
{
    if (file_ == nullptr)
        return 0;
    long position = std::ftell(file_);
    if (position < 0 || std::fseek(file_, 0, SEEK_END) != 0)
        return 0;
    long size = std::ftell(file_);
    std::fseek(file_, position, SEEK_SET);
    return size > 0 ? static_cast<uint32_t>(size) : 0;
}

uint32_t File::tell()
{
    if (file_ == nullptr)
        return 0;
    long position = std::ftell(file_);
    return position > 0 ? static_cast<uint32_t>(position) : 0;
}

int File::seek(uint32_t position)
{
    if (file_ == nullptr)
        return -1;
    return std::fseek(file_, static_cast<long>(position), SEEK_SET);
}

int File::flush()
{
    if (file_ == nullptr)
        return EOF;
    return std::fflush(file_);
}

FileStream::FileStream(const String& path)
{
    file_.open(path, File::read_mode);
}

// The current file system

std::unique_ptr<FileSystem> create_default_file_system()
{
    return std::make_unique<PathFileSystem>(String("%app_path%/", true), std::make_unique<NativeFileSystem>());
}

std::unique_ptr<Stream> open(const String& path)
{
    if (!current_file_system)
        return nullptr;
    return current_file_system->open(path);
}

Creator::Creator(Factory factory)
{
    current_factory = std::move(factory);
    rebuild();
    ++live_creators;
}

Creator::~Creator()
{
    if (--live_creators == 0)
        current_file_system.reset();
}

void Creator::rebuild()
{
    current_file_system.reset();
    if (current_factory)
        current_file_system = current_factory();
}

// Folders

bool create_directories(const String& path)
{
    const vadu::String& text = path.get_text();
    size_t separator = text.find('/', text.empty() || text[0] != '/' ? 0 : 1);
    if (separator == vadu::String::npos)
        return true;
    while (separator != vadu::String::npos) {
        platform::create_directory(native(text.substr(0, separator)));
        separator = text.find('/', separator + 1);
    }
    return platform::is_directory(native(text.substr(0, text.rfind('/'))));
}

bool delete_file(const String& path)
{
    return platform::delete_file(native(path.get_text()));
}

bool list_directory(Visitor& visitor, const String& folder, const vadu::String& pattern)
{
    std::vector<platform::FoundEntry> entries;
    if (!platform::find_files(native(folder.get_text()), native(pattern), entries))
        return false;
    for (const platform::FoundEntry& entry : entries) {
        if (entry.name == "." || entry.name == "..")
            continue;
        vadu::String text = folder.empty() ? vadu::String(entry.name.c_str())
                                            : folder.get_text() + "/" + entry.name.c_str();
        String entry_path(text, false);
        bool go_on = entry.is_folder ? visitor.on_folder(entry_path) : visitor.on_file(entry_path);
        if (!go_on)
            break;
    }
    return true;
}

} // namespace vadu::filesystem
