#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A file name's case-folded form, for matching names the way the engine's own
// file systems do: UTF-8 in, UTF-8 out, one code point to one code point. Folds
// ASCII, Latin-1, Latin Extended-A, basic Greek and Cyrillic upper case to lower
// case; every other code point, and any byte that is not part of valid UTF-8, is
// kept as it is. Two names match when their folded forms are equal.
std::string fold_case_utf8(std::string_view text);

// The engine lower-cases paths, while the disk is case-sensitive. Every call here
// resolves its path one component at a time: a component that exists exactly is
// taken as it is, otherwise the one entry of its folder that equals it ignoring
// case (fold_case_utf8). From the first component that resolves to nothing (missing, or more
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
// (shell wildcards, case ignored as by fold_case_utf8), "." and ".." included when they match, in
// name order. False when the folder cannot be read or nothing matches.
bool find_files(const std::string& folder, const std::string& pattern, std::vector<FoundEntry>& found);

} // namespace platform
