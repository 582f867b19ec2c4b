#include "text_fixture.h"

#include "text/Error.h"
#include "text/GlyphDrawer.h"
#include "text/TextSprite.h"

namespace {

using TrueText::PixelBuffer;
using TrueText::SpanImage;
using text_test::Canvas;
using text_test::TextTest;

uint32_t Pack(int format, int a, int c1, int c2, int c3)
{
    if (format == 0)
        return uint32_t(a) << 24 | uint32_t(c1) << 16 | uint32_t(c2) << 8 | uint32_t(c3);
    return uint32_t(a) | uint32_t(c1) << 8 | uint32_t(c2) << 16 | uint32_t(c3) << 24;
}

struct BlendCase {
    int mode;
    int alpha;
    int expected[4]; // alpha, c1, c2, c3
};

// Destination (100, 50, 150, 250), colour (alpha, 10, 20, 240), coverage 200: the source
// alpha is 200 at colour alpha 255 and trunc(128 / 255 × 200) = 100 at 128.
TEST(SpanImageTest, BlendsExactly)
{
    const BlendCase cases[] = {
        {0, 255, {222, 12, 28, 209}}, {0, 128, {161, 15, 43, 153}}, {0, 0, {100, 50, 150, 250}},
        {1, 255, {200, 50, 150, 250}}, {1, 128, {100, 50, 150, 250}}, {1, 0, {100, 50, 150, 250}},
        {2, 255, {200, 10, 20, 240}}, {2, 128, {100, 10, 20, 240}}, {2, 0, {100, 50, 150, 250}},
        {9, 255, {100, 50, 150, 250}}, {9, 128, {100, 50, 150, 250}}, {9, 0, {100, 50, 150, 250}},
    };
    for (int format : {0, 1}) {
        for (const BlendCase& c : cases) {
            const uint32_t background = Pack(format, 100, 50, 150, 250);
            Canvas canvas(4, 2, background);
            SpanImage image;
            image.blend_mode = c.mode;
            image.color = {c.alpha, 10, 20, 240};
            image.spans = {{0, 0, 2, 200}};
            image.offset_x = 1;
            image.offset_y = 1;
            image.Blit(canvas.Buffer(format));
            const uint32_t want = Pack(format, c.expected[0], c.expected[1], c.expected[2], c.expected[3]);
            SCOPED_TRACE(testing::Message() << "format " << format << " mode " << c.mode << " alpha " << c.alpha);
            EXPECT_EQ(canvas.At(1, 1), want);
            EXPECT_EQ(canvas.At(2, 1), want);
            EXPECT_EQ(canvas.At(0, 1), background);
            EXPECT_EQ(canvas.At(3, 1), background);
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(canvas.At(x, 0), background);
        }
    }
}

// Full coverage over: the formula leaves the source colour, fully opaque.
TEST(SpanImageTest, FullCoverageOverGivesTheSource)
{
    for (int format : {0, 1}) {
        for (uint32_t below : {Pack(format, 100, 50, 150, 250), Pack(format, 0, 0, 0, 0), Pack(format, 255, 1, 2, 3)}) {
            Canvas canvas(1, 1, below);
            SpanImage image;
            image.blend_mode = 0;
            image.color = {255, 10, 20, 240};
            image.spans = {{0, 0, 1, 255}};
            image.Blit(canvas.Buffer(format));
            EXPECT_EQ(canvas.At(0, 0), Pack(format, 255, 10, 20, 240));
        }
    }
}

TEST(SpanImageTest, ABadFormatRaisesBeforeAnyPixelAndAnEmptyImageNever)
{
    Canvas canvas(4, 4, 0x01020304);
    SpanImage image;
    image.spans = {{0, 0, 4, 255}, {0, 1, 4, 255}};
    PixelBuffer buffer = canvas.Buffer(2);
    try {
        image.Blit(buffer);
        FAIL() << "format 2 was accepted";
    } catch (const TrueText::Error& error) {
        EXPECT_STREQ(error.what(), "Cannot get bytes per pixel for unsupported pixel format");
    }
    for (uint32_t pixel : canvas.pixels)
        EXPECT_EQ(pixel, 0x01020304u);

    SpanImage empty;
    for (int format : {-1, 0, 1, 7})
        EXPECT_NO_THROW(empty.Blit(canvas.Buffer(format)));
}

TEST(SpanImageTest, SpansOutsideTheBufferAreClipped)
{
    // A 4 × 3 buffer inside a larger block: nothing outside it may change.
    Canvas block(8, 7, 0xDEADBEEF);
    PixelBuffer buffer{reinterpret_cast<uint8_t*>(&block.pixels[2 * 8 + 2]), 0, 8 * 4, 4, 3};
    SpanImage image;
    image.blend_mode = 2;
    image.color = {255, 1, 2, 3};
    image.spans = {{-3, 0, 5, 255}, {2, 1, 10, 255}, {-100, 2, 300, 255}, {0, -1, 4, 255}, {0, 3, 4, 255},
                   {4, 0, 3, 255}, {-5, 1, 2, 255}};
    image.Blit(buffer);
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 8; ++x) {
            const int bx = x - 2, by = y - 2;
            const bool inside = bx >= 0 && bx < 4 && by >= 0 && by < 3;
            const bool drawn = inside && ((by == 0 && bx < 2) || (by == 1 && bx >= 2) || by == 2);
            EXPECT_EQ(block.At(x, y), drawn ? 0xFF010203u : 0xDEADBEEFu) << x << "," << y;
        }
    }
}

class DrawerTest : public TextTest {};

TEST_F(DrawerTest, AnOutlineWinsOverAShadow)
{
    struct Case {
        bool outline, shadow;
        std::vector<int> modes;
        bool first_is_outline, first_is_shadow;
    };
    const Case cases[] = {
        {false, false, {2}, false, false},
        {false, true, {1, 2}, false, true},
        {true, false, {2, 0}, true, false},
        {true, true, {2, 0}, true, false},
    };
    for (const Case& c : cases) {
        TrueText::TextFont font = Sans(20);
        font.GetOutline().SetEnabled(c.outline);
        font.GetShadow().SetEnabled(c.shadow);
        const auto drawers = TrueText::MakeDrawers(font.Impl());
        ASSERT_EQ(drawers.size(), c.modes.size());
        for (size_t i = 0; i < drawers.size(); ++i)
            EXPECT_EQ(drawers[i]->GetBlendMode(), c.modes[i]);
        EXPECT_EQ(dynamic_cast<TrueText::OutlineDrawer*>(drawers[0].get()) != nullptr, c.first_is_outline);
        EXPECT_EQ(dynamic_cast<TrueText::ShadowDrawer*>(drawers[0].get()) != nullptr, c.first_is_shadow);
        EXPECT_NE(dynamic_cast<TrueText::TextDrawer*>(drawers.back().get()), nullptr);
    }
}

TEST_F(DrawerTest, ALayoutWithoutWordsHasNoSpans)
{
    TrueText::TextFont font = Sans(20);
    font.GetOutline().SetEnabled(true);
    TrueText::TextSprite sprite(font);
    sprite.SetText(u"  \n ");
    for (const auto& drawer : TrueText::MakeDrawers(font.Impl())) {
        EXPECT_EQ(drawer->GetBounds(*sprite.GetLayout()), TrueText::Bounds{});
        EXPECT_EQ(drawer->Render(*sprite.GetLayout())->SpanCount(), 0u);
    }
    TrueText::TextSprite empty(Sans(20));
    const TrueText::TextSpriteMetrics metrics = empty.GetMetrics();
    EXPECT_EQ(metrics.width, 2);
    EXPECT_EQ(metrics.height, 2);
    EXPECT_EQ(metrics.origin_x, 0);
    EXPECT_EQ(metrics.origin_y, 0);
}

// The pixels of a sprite drawn into a buffer of its own size.
Canvas DrawSprite(TrueText::TextSprite& sprite, int32_t format = 0)
{
    const TrueText::TextSpriteMetrics m = sprite.GetMetrics();
    Canvas canvas(m.width, m.height);
    sprite.Draw(canvas.Buffer(format), 0, 0);
    return canvas;
}

TEST_F(DrawerTest, ShadowIsBlendedFirstAndTextReplacesIt)
{
    TrueText::TextFont font = Sans(24);
    font.SetColor(255, 255, 255, 255);
    font.GetShadow().SetEnabled(true);
    font.GetShadow().Set(3, 2, {127, 0, 0, 0});
    TrueText::TextSprite sprite(font);
    sprite.SetText(u"Hi");
    const Canvas canvas = DrawSprite(sprite);

    TrueText::TextFont plain_font = Sans(24);
    TrueText::TextSprite plain(plain_font);
    plain.SetText(u"Hi");
    const TrueText::TextSpriteMetrics m = sprite.GetMetrics();
    const TrueText::TextSpriteMetrics pm = plain.GetMetrics();
    EXPECT_EQ(m.width, pm.width + 3);
    EXPECT_EQ(m.height, pm.height + 2);
    const Canvas text_only = DrawSprite(plain);

    // Where the text covers, its pixel replaces the shadow's; elsewhere the shadow is
    // black at most half alpha.
    int shadow_pixels = 0;
    for (int y = 0; y < m.height; ++y) {
        for (int x = 0; x < m.width; ++x) {
            const uint32_t p = canvas.At(x, y);
            const bool in_plain = x < pm.width && y < pm.height;
            const uint32_t t = in_plain ? text_only.At(x, y) : 0;
            if (t != 0 && (t >> 24) != 0) {
                EXPECT_EQ(p, t) << x << "," << y;
            } else if (p != 0) {
                EXPECT_EQ(p & 0x00FFFFFF, 0u);
                EXPECT_LE(p >> 24, 127u);
                ++shadow_pixels;
            }
        }
    }
    EXPECT_GT(shadow_pixels, 10);
}

TEST_F(DrawerTest, OutlineIsReplacedThenTextBlendedOver)
{
    TrueText::TextFont font = Sans(24);
    font.SetColor(255, 255, 0, 0);
    font.GetOutline().SetEnabled(true);
    font.GetOutline().Set(2.0f, {255, 0, 0, 255});
    TrueText::TextSprite sprite(font);
    sprite.SetText(u"O");
    const Canvas canvas = DrawSprite(sprite);
    int blue = 0, red = 0;
    for (uint32_t p : canvas.pixels) {
        const uint32_t r = p >> 16 & 0xFF, b = p & 0xFF;
        blue += b == 255 && r == 0 && (p >> 24) == 255;
        red += r > 200 && (p >> 24) == 255;
    }
    EXPECT_GT(blue, 20) << "the outline ring";
    EXPECT_GT(red, 20) << "the text over it";
}

TEST_F(DrawerTest, SpriteTakesDrawersAtCreationAndReadsSizeAndColourLater)
{
    TrueText::TextFont font = Sans(20);
    font.GetOutline().SetEnabled(true);
    TrueText::TextSprite sprite(font);
    sprite.SetText(u"Hello");
    const TrueText::TextSpriteMetrics outlined = sprite.GetMetrics();
    // A later switch in the font does not reach the sprite's drawers...
    font.GetOutline().SetEnabled(false);
    sprite.SetText(u"Hello");
    EXPECT_EQ(sprite.GetMetrics(), outlined);
    // ...but its size does, at the next layout.
    font.SetSize(30);
    EXPECT_EQ(sprite.GetMetrics(), outlined) << "no setter was called: the layout is kept";
    sprite.SetText(u"Hello");
    EXPECT_GT(sprite.GetMetrics().height, outlined.height);
    EXPECT_EQ(sprite.GetMetrics().first_baseline, 30 + sprite.GetMetrics().origin_y);

    // Drawing twice draws the same pixels at the same place.
    const Canvas once = DrawSprite(sprite);
    Canvas twice(once.width, once.height);
    sprite.Draw(twice.Buffer(), 0, 0);
    sprite.Draw(twice.Buffer(), 0, 0);
    EXPECT_EQ(once.pixels, twice.pixels);
}

TEST_F(DrawerTest, SpriteMetricsAndPosition)
{
    TrueText::TextSprite sprite(Sans(20));
    sprite.SetText(u"Wrapped text\nin lines");
    sprite.SetMaxWidth(70);
    const TrueText::TextSpriteMetrics m = sprite.GetMetrics();
    const size_t lines = sprite.GetLayout()->lines.size();
    EXPECT_GE(lines, 3u);
    EXPECT_EQ(m.first_baseline, 20 + m.origin_y);
    EXPECT_EQ(m.bottom_gap, m.height - m.origin_y - 20 * static_cast<int32_t>(lines));

    // Drawn at (5, 4), the block moves by that much, pixel for pixel.
    const Canvas at_origin = DrawSprite(sprite);
    Canvas moved(m.width + 5, m.height + 4);
    sprite.Draw(moved.Buffer(), 5, 4);
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x)
            ASSERT_EQ(moved.At(x + 5, y + 4), at_origin.At(x, y));
    // Every span lands inside the block its metrics give.
    bool any = false;
    for (int y = 0; y < m.height; ++y)
        for (int x = 0; x < m.width; ++x)
            any |= at_origin.At(x, y) != 0;
    EXPECT_TRUE(any);
}

TEST_F(DrawerTest, FormatOneStoresAlphaInTheLowestByte)
{
    TrueText::TextFont font = Sans(20);
    font.SetColor(255, 10, 20, 30);
    TrueText::TextSprite sprite(font);
    sprite.SetText(u"Hx");
    const Canvas argb = DrawSprite(sprite, 0);
    const Canvas bgra = DrawSprite(sprite, 1);
    for (size_t i = 0; i < argb.pixels.size(); ++i) {
        const uint32_t p = argb.pixels[i];
        const uint32_t a = p >> 24, c1 = p >> 16 & 0xFF, c2 = p >> 8 & 0xFF, c3 = p & 0xFF;
        ASSERT_EQ(bgra.pixels[i], a | c1 << 8 | c2 << 16 | c3 << 24);
    }
}

} // namespace

namespace {

TEST_F(DrawerTest, GlyphsPartlyOutsideTheBufferAreClipped)
{
    TrueText::TextFont font = Sans(24);
    font.GetOutline().SetEnabled(true);
    font.GetOutline().Set(2.0f, {255, 0, 0, 255});
    TrueText::TextSprite sprite(font);
    sprite.SetText(u"Wide glyphs WM\nclipped");
    const TrueText::TextSpriteMetrics m = sprite.GetMetrics();
    const Canvas whole = DrawSprite(sprite);

    // A window into the middle of a larger block: drawn with the sprite moved so that it
    // overhangs every side, only the window's pixels change, and they match the whole.
    const int32_t w = m.width / 2, h = m.height / 2, dx = -m.width / 4, dy = -m.height / 4;
    Canvas block(w + 8, h + 8, 0xABCDEF01);
    PixelBuffer window{reinterpret_cast<uint8_t*>(&block.pixels[4 * block.width + 4]), 0, block.width * 4, w, h};
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            block.pixels[(y + 4) * block.width + x + 4] = 0;
    sprite.Draw(window, dx, dy);
    for (int y = 0; y < block.height; ++y) {
        for (int x = 0; x < block.width; ++x) {
            const int wx = x - 4, wy = y - 4;
            if (wx < 0 || wy < 0 || wx >= w || wy >= h)
                ASSERT_EQ(block.At(x, y), 0xABCDEF01u) << x << "," << y;
            else
                ASSERT_EQ(block.At(x, y), whole.At(wx - dx, wy - dy)) << x << "," << y;
        }
    }
}

TEST(SpanImageLifetimeTest, AnImageOutlivesTheLibrary)
{
    std::shared_ptr<SpanImage> image;
    Canvas expected(60, 30);
    {
        TrueText::TextLibrary::Creator creator;
        TrueText::TextFont font(TrueText::MakeFace(DEJAVU_SANS, text_test::FileFactory(DEJAVU_SANS)));
        font.SetSize(20);
        TrueText::TextSprite sprite(font);
        sprite.SetText(u"Kept");
        image = TrueText::TextDrawer(font.Impl()).Render(*sprite.GetLayout());
        image->Blit(expected.Buffer());
    }
    ASSERT_GT(image->SpanCount(), 0u);
    Canvas after(60, 30);
    image->Blit(after.Buffer());
    EXPECT_EQ(after.pixels, expected.pixels);
    EXPECT_EQ(image->Clone()->AllSpans().size(), image->SpanCount());
}

} // namespace

namespace {

using text_test::TextTest;

class WordPlacementTest : public TextTest {};

// Along a line each word's ink starts where the previous word's ink ended, moved right by
// the spaces between them and by the word's own left (the ink's offset from its pen), and
// ends its width later; no ink lies between two words. The phrases are running texts of the game whose gaps came out
// uneven: a word whose first letter has a bearing of its own, or a word after one whose
// last letter leaves room on its right.
TEST_F(WordPlacementTest, EachWordsInkStartsWhereThePreviousEndedMovedByItsLeft)
{
    struct Case {
        const char16_t* text;
        float size;
    } cases[] = {
        {u"A lightning power-up! Tap it to strike", 16.0f},
        {u"two or more touching monsters", 16.0f},
        {u"Bought: A handful of mana", 16.0f},
        {u"Tap  it", 16.0f},
        {u"[jolly] fish!  Yes", 32.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text)));
        const TrueText::TextFont font = Sans(c.size);
        TrueText::TextSprite sprite(font);
        sprite.SetText(c.text);
        const std::shared_ptr<const TrueText::Layout> layout = sprite.GetLayout();
        ASSERT_EQ(layout->lines.size(), 1u);

        // The line drawn with its pen at x = 20, in a buffer with room on both sides.
        constexpr int32_t kPen = 20;
        TrueText::TextDrawer drawer(font.Impl());
        const std::shared_ptr<SpanImage> image = drawer.Render(*layout);
        Canvas canvas(layout->lines[0].width + 2 * kPen + 40, 3 * static_cast<int32_t>(c.size));
        image->offset_x = kPen;
        image->Blit(canvas.Buffer());
        const auto inked = [&canvas](int32_t x) {
            for (int32_t y = 0; y < canvas.height; ++y) {
                if (canvas.At(x, y) >> 24 != 0)
                    return true;
            }
            return false;
        };

        int32_t pen = kPen;
        int32_t previous_end = 0;
        const std::vector<TrueText::Token>& tokens = layout->token_lines[0];
        for (size_t t = 0; t < tokens.size(); ++t) {
            const TrueText::WordMetrics& word = layout->lines[0].words[t];
            if (tokens[t].space) {
                pen += word.width;
                continue;
            }
            const std::string name(tokens[t].start, tokens[t].start + tokens[t].count);
            const int32_t start = pen + word.left;
            const int32_t end = start + word.width;
            // The ink box is grid-fitted from the outline's control points, so its first or
            // last column may stay blank.
            EXPECT_TRUE(inked(start) || inked(start + 1)) << name << " does not start at " << start;
            EXPECT_TRUE(inked(end - 1) || inked(end - 2)) << name << " does not end at " << end;
            for (int32_t x = previous_end; x < start; ++x)
                EXPECT_FALSE(inked(x)) << "ink at " << x << " before " << name << ", which starts at " << start;
            previous_end = end;
            pen = end;
        }
        for (int32_t x = previous_end; x < canvas.width; ++x)
            EXPECT_FALSE(inked(x)) << "ink at " << x << " after the line's last word";
    }
}

} // namespace
