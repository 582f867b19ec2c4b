#pragma once

// Shared by the source files of directx8::Hardware; not for its users.

#include <cstdint>

#include "platform/gfx/device.h"
#include "vadu/lib3d/hard/directx8/hardware.h"
#include "vadu/math.h"
#include "vadu/string.h"

namespace vadu::lib3d::hard::directx8 {

// The back buffer and depth surface the scenes draw into, kept while the resources are
// live, and two tiny targets that make the CPU wait for the previous frame.
struct Hardware::FrameSync {
    platform::gfx::Surface* back_buffer = nullptr;
    platform::gfx::Surface* depth = nullptr;
    platform::gfx::Surface* small[2] = {nullptr, nullptr};
    bool toggle = false;
};

// Three 1×1 managed textures.
struct Hardware::DefaultTextures {
    platform::gfx::Texture* transparent = nullptr; // A8R8G8B8 0x00000000
    platform::gfx::Texture* flat = nullptr;        // picture format 0's format, 0xFF7F7FFF
    platform::gfx::Texture* white = nullptr;       // A8R8G8B8 0xFFFFFFFF: the default texture
};

namespace detail {

// The log may be missing (a hardware built by a test); drawing goes on without it.
void write_log(const String& text);

// Engine matrices are for column vectors; the device's are for row vectors.
platform::gfx::Matrix to_device(const math::Matrix4& matrix);
math::Matrix4 from_device(const platform::gfx::Matrix& matrix);

// Each channel × 255, truncated toward zero and clamped to 0..255 (NaN gives 0);
// alpha in bits 24-31, then red, green, blue.
uint32_t pack_colour(double red, double green, double blue, double alpha);

// The lines of the dashes under a log heading.
inline constexpr const char* dashed_line =
    "--------------------------------------------------------------\n";

} // namespace detail

} // namespace vadu::lib3d::hard::directx8
