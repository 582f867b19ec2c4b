#pragma once

// Glyph drawing: drawers turn a layout into anti-aliased spans, and a span image blends
// its spans into a caller's 32-bit pixels.

#include "text/Layouter.h"
#include "text/TextFont.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace TrueText {

struct AtlasLayout;

// 0: alpha in bits 24–31, then the colour channels in 16–23, 8–15, 0–7.
// 1: alpha in bits 0–7, then the colour channels in 8–15, 16–23, 24–31.
// The colour channels pair with red, green and blue in that order.
using PixelFormat = int32_t;
constexpr PixelFormat kPixelFormatArgb = 0;
constexpr PixelFormat kPixelFormatBgra = 1;

// A caller's pixels. Spans outside width × height are clipped.
struct PixelBuffer {
    uint8_t* bits = nullptr;
    PixelFormat format = kPixelFormatArgb;
    int32_t pitch = 0; // bytes between rows
    int32_t width = 0;
    int32_t height = 0;
};

// 0 blends over, 1 keeps the maximum, 2 replaces; any other value leaves pixels alone.
enum BlendMode : int32_t { kBlendOver = 0, kBlendMaximum = 1, kBlendReplace = 2 };

struct Span {
    int32_t x = 0;
    int32_t y = 0; // grows downwards
    int32_t length = 0;
    int32_t coverage = 0; // 0 to 255
};

namespace ftcache {
struct SpanSet;
}

// Spans with a blend mode, a colour and an offset. Besides spans of its own, an image
// holds glyphs' cached spans by reference, each with the integer origin it is drawn at,
// so drawing a laid-out text copies no span.
class SpanImage {
public:
    virtual ~SpanImage() = default;
    // Raises TrueText::Error for a pixel format other than 0 and 1 (before any pixel); an
    // image without spans touches nothing and raises nothing.
    virtual void Blit(const PixelBuffer& buffer) const;
    virtual std::shared_ptr<SpanImage> Clone() const;

    size_t SpanCount() const;
    // Every span, the glyphs' ones placed at their origins (without the image's offset).
    std::vector<Span> AllSpans() const;

    // A glyph's cached spans with its origin at (x, baseline): raster row y lands on
    // row baseline - y. The spans must stay alive as long as the image: Keep their owner.
    void AddGlyph(const ftcache::SpanSet& set, int32_t x, int32_t baseline)
    {
        runs_.push_back({&set, x, baseline});
    }
    void Keep(std::shared_ptr<const void> owner) { owners_.push_back(std::move(owner)); }

    int32_t blend_mode = kBlendOver;
    Color color{255, 255, 255, 255};
    int32_t offset_x = 0;
    int32_t offset_y = 0;
    std::vector<Span> spans;

    struct GlyphRun {
        const ftcache::SpanSet* set;
        int32_t x;
        int32_t baseline;
    };
    using GlyphRunView = GlyphRun;

private:
    std::vector<GlyphRun> runs_;
    std::vector<std::shared_ptr<const void>> owners_;
};

struct Bounds {
    int32_t min_x = 0;
    int32_t min_y = 0;
    int32_t max_x = 0;
    int32_t max_y = 0;
    bool operator==(const Bounds&) const = default;
};

class GlyphDrawer {
public:
    virtual ~GlyphDrawer() = default;
    // The bounds of the spans Render would give; 0, 0, 0, 0 when there are none.
    virtual Bounds GetBounds(const Layout& layout) = 0;
    virtual std::shared_ptr<SpanImage> Render(const Layout& layout) = 0;
    virtual void SetBlendMode(int32_t mode) { blend_mode_ = mode; }
    int32_t GetBlendMode() const { return blend_mode_; }

protected:
    explicit GlyphDrawer(int32_t mode) : blend_mode_(mode) {}
    int32_t blend_mode_;
};

class TextDrawer : public GlyphDrawer {
public:
    explicit TextDrawer(std::shared_ptr<FontImpl> font);
    Bounds GetBounds(const Layout& layout) override;
    std::shared_ptr<SpanImage> Render(const Layout& layout) override;
    // Glyph atlases: each glyph at its packed place.
    std::shared_ptr<SpanImage> Render(const AtlasLayout& layout);

private:
    std::shared_ptr<FontImpl> font_;
};

class OutlineDrawer : public GlyphDrawer {
public:
    OutlineDrawer(std::shared_ptr<FontImpl> font, float width, const Color& color);
    Bounds GetBounds(const Layout& layout) override;
    std::shared_ptr<SpanImage> Render(const Layout& layout) override;
    std::shared_ptr<SpanImage> Render(const AtlasLayout& layout);

private:
    std::shared_ptr<FontImpl> font_;
    float width_;
    Color color_;
};

// Repeats another drawer's glyphs, moved and in its own colour. It does not own that drawer.
class ShadowDrawer : public GlyphDrawer {
public:
    ShadowDrawer(GlyphDrawer* inner, int32_t offset_x, int32_t offset_y, const Color& color);
    Bounds GetBounds(const Layout& layout) override;
    std::shared_ptr<SpanImage> Render(const Layout& layout) override;

private:
    GlyphDrawer* inner_;
    int32_t offset_x_;
    int32_t offset_y_;
    Color color_;
};

// The drawers of a text block in drawing order: outline then text (blended over it), or
// shadow then text, or the text alone. An outline wins over a shadow.
std::vector<std::shared_ptr<GlyphDrawer>> MakeDrawers(const std::shared_ptr<FontImpl>& font);

} // namespace TrueText
