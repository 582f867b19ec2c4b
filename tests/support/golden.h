#pragma once

// Whole frames compared byte for byte with checked-in PNG pictures. After an intended
// change to the drawing, run the tests with QUILLO_UPDATE_GOLDEN=1 to write the pictures
// anew, and look at every one that changed before keeping it.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "platform/gfx/present.h"

namespace golden {

inline bool write_png(const std::filesystem::path& path, const platform::gfx::PresentedFrame& frame)
{
    return platform::gfx::write_snapshot(path, frame).empty();
}

inline bool read_png(const std::filesystem::path& path, platform::gfx::PresentedFrame& frame)
{
    return platform::gfx::read_snapshot(path, frame);
}

inline bool updating()
{
    const char* value = std::getenv("QUILLO_UPDATE_GOLDEN");
    return value && std::string(value) == "1";
}

// Compares the frame with folder/name.png; a differing frame is left in the temporary
// folder as name.actual.png for a look.
inline void expect_frame(const platform::gfx::PresentedFrame& frame, const std::filesystem::path& folder,
                         const std::string& name)
{
    const std::filesystem::path path = folder / (name + ".png");
    if (updating()) {
        std::filesystem::create_directories(folder);
        ASSERT_TRUE(write_png(path, frame)) << path;
        return;
    }
    platform::gfx::PresentedFrame golden;
    ASSERT_TRUE(read_png(path, golden)) << path << " is missing: run with QUILLO_UPDATE_GOLDEN=1";
    ASSERT_EQ(golden.width, frame.width);
    ASSERT_EQ(golden.height, frame.height);
    size_t differing = 0;
    for (size_t i = 0; i < frame.pixels.size(); i += 4)
        differing += std::memcmp(&frame.pixels[i], &golden.pixels[i], 4) != 0;
    if (differing != 0) {
        const std::filesystem::path actual = std::filesystem::temp_directory_path() / (name + ".actual.png");
        write_png(actual, frame);
        ADD_FAILURE() << differing << " pixels differ from " << path << "; this frame is in " << actual;
    }
}

} // namespace golden
