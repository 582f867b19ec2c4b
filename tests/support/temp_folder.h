#pragma once

// A fresh temporary folder, removed with everything in it at the end.

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace test_support {

class TempFolder {
public:
    // The folder's name starts with `prefix`; empty root() when it cannot be made.
    explicit TempFolder(const std::string& prefix)
    {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
        if (::mkdtemp(pattern.data()) != nullptr)
            root_ = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        if (!root_.empty())
            std::filesystem::remove_all(root_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& root() const { return root_; }
    std::string at(const std::string& relative) const { return root_.string() + "/" + relative; }

private:
    std::filesystem::path root_;
};

} // namespace test_support
