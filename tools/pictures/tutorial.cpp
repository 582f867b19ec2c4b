// The tutorial's pictures: the hint bubble's nine-slice skin with its arrow, and the
// spotlight's circle and the fade strips around it.

#include "canvas.h"

namespace {

using namespace pictures;

const Colour BubbleFill = rgb(28, 40, 78, 0.92f);
const Colour BubbleEdge = rgb(246, 214, 120);
constexpr float Edge = 3.0f;

// The bubble: a 48 x 48 rounded square cut into 16 x 16 corners, sides and fill (see
// data/tutorials/frame.atlas), and beside it the 16 x 32 arrow whose tip is its lower
// right pixel; its top 16 rows lie over the bubble's lower edge, so they carry no edge.
Colour frame(float x, float y)
{
    if (x < 48.0f) {
        if (y >= 48.0f)
            return {};
        const float d = rounded_rectangle(x, y, 0.5f, 0.5f, 47.5f, 47.5f, 12.0f);
        if (d > 0.0f)
            return {};
        return d > -Edge ? BubbleEdge : BubbleFill;
    }
    const float ax = x - 48.0f;
    if (ax >= 16.0f || y >= 32.0f)
        return {};
    const std::vector<Point> arrow{{0.0f, 0.0f}, {12.0f, 0.0f}, {15.8f, 31.8f}};
    if (!inside_polygon(arrow, ax, y))
        return {};
    // The slanted sides carry the edge; the top row joins the bubble's fill.
    const float side = std::min(distance_to_segment(ax, y, 0.0f, 0.0f, 15.8f, 31.8f),
                                distance_to_segment(ax, y, 12.0f, 0.0f, 15.8f, 31.8f));
    return side < Edge && y > 13.0f ? BubbleEdge : BubbleFill;
}

// The spotlight's hole: clear in the middle, then darkening to the fade strips' shade,
// which also fills the corners outside the circle.
Colour circle(float x, float y)
{
    const float d = std::hypot(x - 64.0f, y - 64.0f) / 64.0f;
    const float shade = std::clamp((d - 0.72f) / 0.28f, 0.0f, 1.0f);
    return rgb(0, 0, 12, 0.6f * shade);
}

Colour fade(float, float)
{
    return rgb(0, 0, 12, 0.6f);
}

} // namespace

QUILLO_PICTURES(tutorial_pictures)
{
    add("tutorials/frame.png", 64, 48, frame);
    add("tutorials/circle.png", 128, 128, circle);
    add("tutorials/fade.png", 4, 4, fade);
}
