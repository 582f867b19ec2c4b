#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "vadu/log.h"
#include "vadu/path.h"
#include "vadu/stream.h"
#include "vadu/string.h"

namespace vadu {

// Facts about the machine and the installation that the game may answer itself. One
// provider is current; the engine asks it through instance().
class PlatformInfo {
public:
    PlatformInfo() = default;
    virtual ~PlatformInfo();
    PlatformInfo(const PlatformInfo&) = delete;
    PlatformInfo& operator=(const PlatformInfo&) = delete;

    // The locale folder name put in front of data paths; empty by default.
    virtual vadu::String get_locale();
    virtual bool is_wide_screen();

    // The current provider; a default one is made on first use.
    static PlatformInfo& instance();
    // Makes the provider current and takes ownership of it; the previous one is deleted
    // unless it is the same object. Null goes back to a default provider. Install during
    // start-up: a provider must not be replaced while another thread asks it.
    static void install(PlatformInfo* provider);
};

} // namespace vadu

namespace vadu::filesystem {

// Receives the entries of a folder listing; a false answer ends the listing.
class Visitor {
public:
    virtual ~Visitor() = default;
    virtual bool on_file(const String& path) = 0;
    virtual bool on_folder(const String& path) = 0;
};

class FileSystem {
public:
    FileSystem() = default;
    virtual ~FileSystem() = default;
    FileSystem(const FileSystem&) = delete;
    FileSystem& operator=(const FileSystem&) = delete;

    // Lists a folder; false when this file system cannot list folders.
    virtual bool enumerate(Visitor& visitor, const String& folder);
    // The file's contents, or null when this file system does not have it.
    virtual std::unique_ptr<Stream> open(const String& path) = 0;
};

// Files of the disk, names resolved ignoring case.
class NativeFileSystem : public FileSystem {
public:
    bool enumerate(Visitor& visitor, const String& folder) override;
    std::unique_ptr<Stream> open(const String& path) override;
};

// Names below a folder: tries prefix + name, then the name as given. The second try
// resolves a relative name against the current folder; the search order relies on it.
class PathFileSystem : public FileSystem {
public:
    explicit PathFileSystem(const String& prefix, std::unique_ptr<FileSystem> inner = nullptr);
    void attach(std::unique_ptr<FileSystem> inner);
    std::unique_ptr<Stream> open(const String& path) override;

private:
    String prefix_;
    std::unique_ptr<FileSystem> inner_;
};

// Names in the locale folder first: tries locale + "/" + name (lower-cased), then the
// name as given. The locale comes from PlatformInfo on every open; while a provider
// answers (and may itself open files) its own opens on that thread use an empty locale.
class PrefixedFileSystem : public FileSystem {
public:
    explicit PrefixedFileSystem(std::unique_ptr<FileSystem> inner = nullptr);
    void attach(std::unique_ptr<FileSystem> inner);
    std::unique_ptr<Stream> open(const String& path) override;

private:
    std::unique_ptr<FileSystem> inner_;
};

// Members of a zip archive, each read whole into memory. An archive that cannot be
// opened has no members; one behind a self-extractor stub opens whether or not its
// offsets count the stub. Safe to open from several threads.
class ZipFileSystem : public FileSystem {
public:
    explicit ZipFileSystem(const String& archive_path);
    ~ZipFileSystem() override;
    // Names match as loose files do: "\" as "/", a leading "/" or "./" ignored, an
    // exact name first, else the one member equal ignoring case (fold_case_utf8). Null
    // for a missing member and for a refused one: larger than 256 MiB, sharing its data
    // with another member, or damaged. A refused archive or member logs one line.
    std::unique_ptr<Stream> open(const String& path) override;

private:
    struct Archive;
    std::unique_ptr<Archive> archive_;
};

// Its children in the order added; the first one that has the name answers.
class CompositeFileSystem : public FileSystem {
public:
    void add(std::unique_ptr<FileSystem> child);
    std::unique_ptr<Stream> open(const String& path) override;

private:
    std::vector<std::unique_ptr<FileSystem>> children_;
};

class MemoryStream : public Stream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<uint8_t> data);

    uint32_t read(void* buffer, uint32_t count) override;
    uint32_t skip(uint32_t count) override;
    bool is_good() override { return true; }
    uint32_t get_size() override { return static_cast<uint32_t>(data_.size()); }
    uint32_t get_position() override { return position_; }
    // A position at or beyond the end reads and skips nothing.
    void set_position(uint32_t position) override { position_ = position; }

private:
    uint32_t left() const;

    std::vector<uint8_t> data_;
    uint32_t position_ = 0;
};

// A native file for reading or writing (settings, profiles).
class File {
public:
    enum Mode : int { read_mode = 0, write_mode = 1, append_mode = 2 };

    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // read_mode: "rb"; write_mode: creates the path's folders, then "wb"; any other
    // mode: "ab". A file already open is closed first. True when the file opened.
    bool open(const String& path, int mode);
    bool is_open() const { return file_ != nullptr; }
    void close();

    // Each of these answers 0 on a file that is not open.
    uint32_t read(void* buffer, uint32_t count);
    uint32_t write(const void* buffer, uint32_t count);
    // Returns the distance actually moved.
    uint32_t skip(uint32_t count);
    uint32_t get_size();
    uint32_t tell();
    // 0 on success, non-zero on failure (also when not open).
    int seek(uint32_t position);
    int flush();

private:
    std::FILE* file_ = nullptr;
};

// A native file opened for reading, as a stream.
class FileStream : public Stream {
public:
    explicit FileStream(const String& path);

    uint32_t read(void* buffer, uint32_t count) override { return file_.read(buffer, count); }
    uint32_t skip(uint32_t count) override { return file_.skip(count); }
    bool is_good() override { return file_.is_open(); }
    uint32_t get_size() override { return file_.get_size(); }
    uint32_t get_position() override { return file_.tell(); }
    void set_position(uint32_t position) override { file_.seek(position); }

private:
    File file_;
};

// Makes the file system that becomes current; may return null (then nothing opens).
using Factory = std::function<std::unique_ptr<FileSystem>()>;

// "%app_path%/" in front of names, over the native file system.
std::unique_ptr<FileSystem> create_default_file_system();

// Opens through the current file system; null when the file is not found or when no
// file system is current.
std::unique_ptr<Stream> open(const String& path);

// Owns the current file system for its lifetime. A second creator does not fail: it
// takes its factory and rebuilds; the file system goes with the last creator. The current file system must not be rebuilt or
// destroyed while the loader thread may be opening files.
class Creator : public virtual logs::Creator {
public:
    explicit Creator(Factory factory = create_default_file_system);
    ~Creator() override;

    // Deletes the current file system and makes the factory's result current.
    static void rebuild();
};

// Creates every folder of the path up to its last "/" (the last piece is a file name).
// Failures on the way are ignored; true when the folder exists afterwards.
bool create_directories(const String& path);

bool delete_file(const String& path);

// Hands the folder's files (on_file) and sub-folders (on_folder, "." and ".." left out)
// that match the pattern to the visitor, as folder + "/" + name. False when the folder
// cannot be read or nothing matches.
bool list_directory(Visitor& visitor, const String& folder, const vadu::String& pattern);

} // namespace vadu::filesystem
