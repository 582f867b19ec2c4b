#pragma once

// Sends the engine log to a temporary file for the capture's lifetime; afterwards the log
// prints to standard output again.

#include <cstdio>
#include <memory>
#include <string>

#include "vadu/log.h"

namespace test_support {

class LogCapture {
public:
    LogCapture() : file_(std::tmpfile()) { vadu::logs::set_log(std::make_unique<vadu::logs::Stream>(file_)); }
    ~LogCapture()
    {
        vadu::logs::set_log(std::make_unique<vadu::logs::Stream>());
        if (file_)
            std::fclose(file_);
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    // Everything logged so far.
    std::string text() const
    {
        if (!file_)
            return {};
        std::fflush(file_);
        std::rewind(file_);
        std::string result;
        char buffer[256];
        size_t count;
        while ((count = std::fread(buffer, 1, sizeof(buffer), file_)) > 0)
            result.append(buffer, count);
        std::fseek(file_, 0, SEEK_END);
        return result;
    }

    // How often the text holds `line`.
    size_t count(const std::string& line) const
    {
        const std::string all = text();
        size_t found = 0;
        for (size_t at = all.find(line); at != std::string::npos; at = all.find(line, at + line.size()))
            ++found;
        return found;
    }

    // Everything logged so far; the capture starts empty again.
    std::string take()
    {
        std::string result = text();
        if (file_)
            std::fclose(file_);
        file_ = std::tmpfile();
        vadu::logs::set_log(std::make_unique<vadu::logs::Stream>(file_));
        return result;
    }

private:
    std::FILE* file_;
};

} // namespace test_support
