#pragma once

// How a frame of any shape shows scenes laid out for one window size: uniformly scaled
// and centred, with more of the scene at the sides of a wider frame (or above and below
// a taller one), never stretched. Drawing and the pointer's axes both go through here,
// so a click lands on what is drawn under it.

namespace vadu::view {

// Sides of the frame's view relative to a camera's own view: {2, 1} shows twice the
// camera's width at its full height.
struct Extent {
    double x = 1.0;
    double y = 1.0;
};

// The window size the scenes are laid out for. A side of 0 or less (the start) lets every
// frame stretch the camera's view over itself, whatever its shape.
void set_layout_size(double width, double height);

// The view a frame of this size shows: {1, 1} for a frame of the layout's shape, without
// a layout, or for an empty frame (a minimised window).
Extent frame_extent(double frame_width, double frame_height);

} // namespace vadu::view
