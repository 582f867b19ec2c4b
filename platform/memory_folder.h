#pragma once

// A seam for fuzz targets and tests: the files of one folder kept in memory instead of on
// the disk. While a memory folder is set, the file layer works on it for every path below
// it: open_file for reading gives a stream over the stored bytes (other modes fail), the
// crash-safe writer stores the bytes, delete_file_durably and set_file_aside remove or rename
// an entry, and create_folders_durably succeeds. Nothing is written or synced on the disk,
// so a fuzz target can start the profile manager thousands of times a second. Names match
// ignoring case, as on the disk.

#include <map>
#include <string>
#include <vector>

namespace platform {

struct MemoryFolder {
    std::string folder; // without a trailing "/"
    // By path below the folder (case-folded), the file's bytes.
    std::map<std::string, std::vector<char>> files;
};

// Null puts the disk back.
void set_memory_folder(MemoryFolder* folder);
// The memory folder when the path is the folder or lies below it, else null.
MemoryFolder* memory_folder_holding(const std::string& path);
// The key of a path in its memory folder's map.
std::string memory_key(const std::string& path);

} // namespace platform
