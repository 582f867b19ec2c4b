// The glyph cache changes nothing: the same metrics and pixels with it as without it.
// And the golden pictures of a wrapped, centred paragraph (made with Debian 12's FreeType
// 2.12.1: after a FreeType change, regenerate them with QUILLO_UPDATE_GOLDEN=1 and look).

#include "text_fixture.h"

#include "support/golden.h"
#include "text/TextSprite.h"

namespace cache_test_file {

using text_test::Canvas;
using text_test::TextTest;

const char16_t kParagraph[] =
    u"The quick brown fox jumps over the lazy dog. Sphinx of black quartz, judge my vow! "
    u"AVATAR Wavy Type, 0123456789 (g\u00E9j\u00E0 vu) \u2014 done.";

enum class Style { Plain, Outlined, Shadowed };

TrueText::TextFont Styled(TrueText::TextFont font, Style style)
{
    font.SetColor(255, 250, 220, 40);
    if (style == Style::Outlined) {
        font.GetOutline().SetEnabled(true);
        font.GetOutline().Set(1.5f, {255, 20, 30, 120});
    } else if (style == Style::Shadowed) {
        font.GetShadow().SetEnabled(true);
        font.GetShadow().Set(2, 3, {160, 0, 0, 0});
    }
    return font;
}

struct Drawn {
    TrueText::TextSpriteMetrics metrics;
    std::vector<uint32_t> pixels;
    bool operator==(const Drawn&) const = default;
};

Drawn Draw(const TrueText::TextFont& font, int32_t width, int32_t alignment)
{
    TrueText::TextSprite sprite(font);
    sprite.SetText(kParagraph);
    sprite.SetMaxWidth(width);
    sprite.SetAlignment(alignment);
    Drawn drawn;
    drawn.metrics = sprite.GetMetrics();
    Canvas canvas(drawn.metrics.width, drawn.metrics.height);
    sprite.Draw(canvas.Buffer(), 0, 0);
    drawn.pixels = std::move(canvas.pixels);
    return drawn;
}

class CacheTest : public TextTest {};

TEST_F(CacheTest, CachedGlyphsGiveTheSameMetricsAndPixels)
{
    for (const char* path : {DEJAVU_SANS, DEJAVU_SANS_MONO}) {
        for (float size : {10.0f, 20.0f, 32.0f}) {
            for (Style style : {Style::Plain, Style::Outlined, Style::Shadowed}) {
                SCOPED_TRACE(testing::Message() << path << " " << size << " style " << int(style));
                const TrueText::TextFont font = Styled(Font(path, size), style);
                TrueText::TextLibrary::SetGlyphCacheEnabled(false);
                const Drawn fresh = Draw(font, 300, 1);
                TrueText::TextLibrary::SetGlyphCacheEnabled(true);
                const Drawn filling = Draw(font, 300, 1);
                const Drawn cached = Draw(font, 300, 1);
                EXPECT_EQ(filling, fresh);
                EXPECT_EQ(cached, fresh);
            }
        }
    }
}

TEST_F(CacheTest, GoldenParagraphs)
{
    const std::pair<const char*, Style> cases[] = {
        {"paragraph_plain", Style::Plain},
        {"paragraph_outlined", Style::Outlined},
        {"paragraph_shadowed", Style::Shadowed},
    };
    for (const auto& [name, style] : cases) {
        const Drawn drawn = Draw(Styled(Sans(18), style), 260, 1);
        platform::gfx::PresentedFrame frame;
        frame.width = static_cast<uint32_t>(drawn.metrics.width);
        frame.height = static_cast<uint32_t>(drawn.metrics.height);
        frame.pixels.resize(drawn.pixels.size() * 4);
        std::memcpy(frame.pixels.data(), drawn.pixels.data(), frame.pixels.size()); // ARGB words are B,G,R,A bytes
        golden::expect_frame(frame, TEXT_GOLDEN_DIR, name);
    }
}

} // namespace cache_test_file
