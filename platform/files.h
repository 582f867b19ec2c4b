#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace platform {

// The engine lower-cases paths, while the disk is case-sensitive. Every call here
// resolves its path one component at a time: a component that exists exactly is
// taken as it is, otherwise the one entry of its folder that equals it ignoring
// ASCII case. From the first component that resolves to nothing (missing, or more
// than one candidate) the rest of the path is kept as given.
std::string resolve_path(const std::string& path);

// The C runtime open ("rb", "wb", "ab", ...) of the resolved path. A folder never
// opens as a file. Null on failure.
FILE* open_file(const std::string& path, const char* mode);

// Creates one folder; false when it could not be made (it already exists, or its
// parent is missing).
bool create_directory(const std::string& path);

// Whether the path names an existing folder (or a link to one).
bool is_directory(const std::string& path);

// Deletes a file (never a folder); true on success.
bool delete_file(const std::string& path);

struct FoundEntry {
    std::string name;
    bool is_folder = false;
};

// The entries of a folder ("" is the current folder) whose names match the pattern
// (shell wildcards, ASCII case ignored), "." and ".." included when they match, in
// name order. False when the folder cannot be read or nothing matches.
bool find_files(const std::string& folder, const std::string& pattern, std::vector<FoundEntry>& found);

} // namespace platform
