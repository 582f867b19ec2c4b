#include "vadu/view_fit.h"

namespace vadu::view {
namespace {

// Width ÷ height of the layout; 0 while there is none.
double layout_aspect = 0.0;

} // namespace

void set_layout_size(double width, double height)
{
    layout_aspect = width > 0.0 && height > 0.0 ? width / height : 0.0;
}

Extent frame_extent(double frame_width, double frame_height)
{
    if (!(layout_aspect > 0.0) || !(frame_width > 0.0) || !(frame_height > 0.0))
        return {};
    const double stretch = frame_width / frame_height / layout_aspect;
    // Exactly {1, 1} for the layout's own shape, so its frames come out as they always did.
    if (stretch >= 1.0)
        return {stretch, 1.0};
    return {1.0, 1.0 / stretch};
}

} // namespace vadu::view
