// The achievements' pictures: a medal per kind (grey when not yet achieved) and the frame
// of the popup shown over a level.

#include "canvas.h"

namespace {

using namespace pictures;

const char* const Files[] = {
    "monsterfinger", "narrowescape", "feedthefish", "rainbow", "massdiving", "overboard", "shortnight",
    "quickdiver", "homelessmonsters", "globalwarming", "letemfly", "moneybags", "chainmaster",
    "chainlightnings", "5050", "blackjack", "epicfail", "aesthete", "kaleidoscope", "monstermafia",
    "colormaniac", "zebra", "caviar", "whowantstobeabillionaire", "icebaby", "titanic", "rustyanchor",
    "scrapmetal", "charmed", "hungryfish", "nerd", "comethroughunscathed"};

// Eight hues; the kind's number shows as that many notches (1 to 4) on the rim.
Colour Hue(int i)
{
    const Colour hues[] = {rgb(230, 70, 60),  rgb(240, 160, 40), rgb(220, 210, 60), rgb(90, 190, 80),
                           rgb(60, 180, 190), rgb(70, 110, 220), rgb(150, 90, 210), rgb(220, 90, 170)};
    return hues[i % 8];
}

Colour Medal(int i, bool on, float x, float y)
{
    const float d = std::hypot(x - 24.0f, y - 24.0f);
    if (d > 22.0f)
        return {};
    if (d > 20.0f)
        return rgb(40, 36, 30);
    const Colour fill = on ? Hue(i) : rgb(130, 130, 130);
    Colour colour = mix(fill, rgb(0, 0, 0), (y - 4.0f) / 90.0f);
    const float angle = std::atan2(y - 24.0f, x - 24.0f) + 3.14159265f;
    const int notch = static_cast<int>(angle / (2.0f * 3.14159265f) * 8.0f);
    if (d > 15.0f && notch < i / 8 + 1)
        colour = on ? rgb(255, 240, 190) : rgb(190, 190, 190);
    if (d < 8.0f)
        colour = on ? rgb(255, 250, 230) : rgb(210, 210, 210);
    return colour;
}

// A rounded dark panel with a light rim.
Colour Frame(float x, float y)
{
    const float d = rounded_rectangle(x, y, 2.0f, 2.0f, 254.0f, 62.0f, 14.0f);
    if (d > 0.0f)
        return {};
    if (d > -3.0f)
        return rgb(230, 220, 180);
    return rgb(30, 40, 70, 0.85f);
}

} // namespace

QUILLO_PICTURES(achievement_pictures)
{
    for (int i = 0; i < 32; ++i) {
        const std::string file = std::string("achievements/screen/") + Files[i];
        add(file + ".png", 48, 48, [i](float x, float y) { return Medal(i, true, x, y); });
        add(file + "_off.png", 48, 48, [i](float x, float y) { return Medal(i, false, x, y); });
    }
    add("achievements/achievement_frame.png", 256, 64, Frame);
}
