#include "sources/shell_files.h"

#include <cstdio>

#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/log.h"

std::optional<std::vector<uint8_t>> ReadWholeFile(const vadu::filesystem::String& path)
{
    std::unique_ptr<vadu::Stream> stream = vadu::filesystem::open(path);
    if (!stream || !stream->is_good())
        return std::nullopt;
    std::vector<uint8_t> bytes(stream->get_size());
    uint32_t got = 0;
    while (got < bytes.size()) {
        const uint32_t chunk = stream->read(bytes.data() + got, static_cast<uint32_t>(bytes.size() - got));
        if (chunk == 0)
            break;
        got += chunk;
    }
    bytes.resize(got);
    return bytes;
}

void LogLine(const vadu::String& text)
{
    try {
        vadu::logs::Stream& log = vadu::logs::log();
        log << text << "\n";
        log.flush();
    } catch (const vadu::Gluck&) {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
    }
}
