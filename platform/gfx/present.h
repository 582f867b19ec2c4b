#pragma once

// Showing presented frames. A device hands its back buffer to the present handler of
// gfx/hooks.h; when none is set, the platform's own is used: with a display, the
// device's window shows the frame (through the window back end: set_window_present);
// headless, the frame is kept in memory and, when asked through the environment,
// written as a PNG file:
//
//   QUILLO_SNAPSHOTS=DIR       write frames to DIR (created when missing) as
//                              "frame-00001.png", named by the frame's number
//   QUILLO_SNAPSHOT_EVERY=N    only frames whose number is a multiple of N (default 1)
//
// Frames are numbered from 1 across all devices. A snapshot that cannot be written is
// logged once (stderr) and never fails the present. Main thread only.

#include "platform/gfx/hooks.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace platform::gfx {

struct PresentedFrame {
    uint32_t width = 0;
    uint32_t height = 0;
    // B,G,R,A bytes per pixel, rows top-down without padding; a back buffer without
    // alpha reads as opaque.
    std::vector<uint8_t> pixels;
    uint64_t number = 0; // 1 for the first frame presented headless
};

// The back buffer's size and pixels (the frame number is left alone); a multisampled
// back buffer's samples are averaged here, at present.
void read_back_buffer(const Surface& back_buffer, PresentedFrame& frame);

// A frame as a PNG file (B,G,R,A): empty on success, else why it failed; a file that
// could not be written whole is removed.
std::string write_snapshot(const std::filesystem::path& path, const PresentedFrame& frame);
// A PNG file read back as a frame; false when it is missing or not a PNG.
bool read_snapshot(const std::filesystem::path& path, PresentedFrame& frame);

// The last frame presented headless; 0×0 (number 0) before the first.
const PresentedFrame& last_presented_frame();

// The headless handler: keeps the frame and writes the snapshot it is due.
Result present_headless(Device& device, const Surface& back_buffer);
// The windowed handler, which shows the frame in the device's window: the window back end
// that has windows to show frames in sets it when it starts. Without one a windowed
// present shows nothing.
void set_window_present(PresentHandler handler);
// Chooses between the two by platform::is_headless().
Result present_default(Device& device, const Surface& back_buffer);

// Forgets the frames counted, the last frame and the failures logged; the environment
// is read again at the next present.
void reset_presentation();

} // namespace platform::gfx
