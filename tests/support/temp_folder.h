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

// A path or value quoted for the shell, for tests that run a program through std::system.
inline std::string shell_quoted(const std::string& text)
{
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

} // namespace test_support
