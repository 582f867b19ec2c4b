#include "text/GlyphDrawer.h"

#include "text/Error.h"

#include "ftcache.h"

#include <algorithm>
#include <cstring>

namespace TrueText {

namespace {

struct Pixel {
    int32_t alpha, c1, c2, c3;
};

template <PixelFormat Format>
Pixel Read(const uint8_t* at)
{
    uint32_t v;
    std::memcpy(&v, at, 4);
    if constexpr (Format == kPixelFormatArgb)
        return {static_cast<int32_t>(v >> 24), static_cast<int32_t>(v >> 16 & 0xFF),
                static_cast<int32_t>(v >> 8 & 0xFF), static_cast<int32_t>(v & 0xFF)};
    else
        return {static_cast<int32_t>(v & 0xFF), static_cast<int32_t>(v >> 8 & 0xFF),
                static_cast<int32_t>(v >> 16 & 0xFF), static_cast<int32_t>(v >> 24)};
}

template <PixelFormat Format>
uint32_t Pack(const Pixel& p)
{
    const auto a = static_cast<uint32_t>(p.alpha) & 0xFF, c1 = static_cast<uint32_t>(p.c1) & 0xFF,
               c2 = static_cast<uint32_t>(p.c2) & 0xFF, c3 = static_cast<uint32_t>(p.c3) & 0xFF;
    if constexpr (Format == kPixelFormatArgb)
        return a << 24 | c1 << 16 | c2 << 8 | c3;
    else
        return a | c1 << 8 | c2 << 16 | c3 << 24;
}

template <PixelFormat Format>
void Write(uint8_t* at, const Pixel& p)
{
    const uint32_t v = Pack<Format>(p);
    std::memcpy(at, &v, 4);
}

using GlyphRunView = SpanImage::GlyphRunView;

int32_t Over(int32_t dest, int32_t dest_alpha, int32_t source, int32_t a)
{
    return ((255 - a) * dest * dest_alpha / 255 + source * a) / 255;
}

template <PixelFormat Format, int32_t Mode>
class Blender {
public:
    Blender(const SpanImage& image, const PixelBuffer& buffer)
        : image_(image), buffer_(buffer), opaque_(image.color.alpha == 255)
    {
        rgb_ = Pack<Format>({0, image.color.red, image.color.green, image.color.blue});
        for (int32_t coverage = 0; coverage < 256; ++coverage) {
            alpha_[coverage] = AlphaOf(coverage);
            if constexpr (Mode == kBlendReplace)
                packed_[coverage] =
                    Pack<Format>({alpha_[coverage], image.color.red, image.color.green, image.color.blue});
        }
    }

    // A span known to lie inside the buffer.
    void Fill(uint8_t* at, int32_t count, int32_t coverage) const
    {
        if (coverage < 0 || coverage > 255) {
            FillAlpha(at, count, AlphaOf(coverage));
            return;
        }
        if constexpr (Mode == kBlendReplace) {
            const uint32_t v = packed_[coverage];
            for (uint8_t* end = at + static_cast<ptrdiff_t>(count) * 4; at != end; at += 4)
                std::memcpy(at, &v, 4);
        } else {
            FillAlpha(at, count, alpha_[coverage]);
        }
    }

    // A run of per-pixel coverage known to lie inside the buffer.
    void FillCoverage(uint8_t* at, const uint8_t* coverage, int32_t count) const
    {
        if constexpr (Mode == kBlendReplace) {
            if (opaque_) {
                for (int32_t i = 0; i < count; ++i) {
                    const uint32_t v = Format == kPixelFormatArgb ? uint32_t{coverage[i]} << 24 | rgb_
                                                                   : uint32_t{coverage[i]} | rgb_;
                    std::memcpy(at + i * 4, &v, 4);
                }
                return;
            }
            for (int32_t i = 0; i < count; ++i)
                std::memcpy(at + i * 4, &packed_[coverage[i]], 4);
        } else {
            for (int32_t i = 0; i < count; ++i)
                FillAlpha(at + i * 4, 1, alpha_[coverage[i]]);
        }
    }

    void ClippedCoverage(int64_t x, int64_t y, const uint8_t* coverage, int32_t length) const
    {
        if (y < 0 || y >= buffer_.height)
            return;
        const int64_t first = std::max<int64_t>(x, 0);
        const int64_t last = std::min<int64_t>(x + length, buffer_.width);
        if (first < last)
            FillCoverage(buffer_.bits + y * buffer_.pitch + first * 4, coverage + (first - x),
                         static_cast<int32_t>(last - first));
    }

    void Clipped(int64_t x, int64_t y, int32_t length, int32_t coverage) const
    {
        if (y < 0 || y >= buffer_.height)
            return;
        const int64_t first = std::max<int64_t>(x, 0);
        const int64_t last = std::min<int64_t>(x + length, buffer_.width);
        if (first < last)
            Fill(buffer_.bits + y * buffer_.pitch + first * 4, static_cast<int32_t>(last - first), coverage);
    }

private:
    int32_t AlphaOf(int32_t coverage) const
    {
        const int32_t alpha = image_.color.alpha;
        return alpha == 255 ? coverage : static_cast<int32_t>(static_cast<double>(alpha) / 255.0 * coverage);
    }

    void FillAlpha(uint8_t* at, int32_t count, int32_t a) const
    {
        const Color& color = image_.color;
        for (uint8_t* end = at + static_cast<ptrdiff_t>(count) * 4; at != end; at += 4) {
            if constexpr (Mode == kBlendReplace) {
                Write<Format>(at, {a, color.red, color.green, color.blue});
            } else if constexpr (Mode == kBlendMaximum) {
                const Pixel d = Read<Format>(at);
                Write<Format>(at, {std::max(d.alpha, a), std::max(d.c1, color.red), std::max(d.c2, color.green),
                                   std::max(d.c3, color.blue)});
            } else if (a == 255) {
                // The formula gives the source itself, fully opaque, whatever is below.
                Write<Format>(at, {255, color.red, color.green, color.blue});
            } else {
                const Pixel d = Read<Format>(at);
                Write<Format>(at, {d.alpha + a - d.alpha * a / 255, Over(d.c1, d.alpha, color.red, a),
                                   Over(d.c2, d.alpha, color.green, a), Over(d.c3, d.alpha, color.blue, a)});
            }
        }
    }

    const SpanImage& image_;
    const PixelBuffer& buffer_;
    bool opaque_;
    uint32_t rgb_ = 0;
    int32_t alpha_[256];
    uint32_t packed_[256];
};

template <PixelFormat Format, int32_t Mode>
void BlitSpans(const SpanImage& image, const std::vector<GlyphRunView>& runs, const PixelBuffer& buffer)
{
    const Blender<Format, Mode> blender(image, buffer);
    for (const Span& span : image.spans)
        blender.Clipped(int64_t{span.x} + image.offset_x, int64_t{span.y} + image.offset_y, span.length,
                        span.coverage);
    for (const GlyphRunView& run : runs) {
        const ftcache::SpanSet& set = *run.set;
        const int64_t x = int64_t{run.x} + image.offset_x;
        const int64_t baseline = int64_t{run.baseline} + image.offset_y;
        const int64_t left = x + set.min_x, right = x + set.max_x;
        const int64_t top = baseline - set.max_y, bottom = baseline - set.min_y;
        if (right < 0 || left >= buffer.width || bottom < 0 || top >= buffer.height)
            continue;
        if (left >= 0 && right < buffer.width && top >= 0 && bottom < buffer.height) {
            uint8_t* const origin = buffer.bits + baseline * buffer.pitch + x * 4;
            const uint8_t* const coverage = set.coverage.data();
            for (const ftcache::Segment& segment : set.segments)
                blender.FillCoverage(origin - static_cast<ptrdiff_t>(segment.y) * buffer.pitch + segment.x * 4,
                                     coverage + segment.first, segment.length);
        } else {
            for (const ftcache::Segment& segment : set.segments)
                blender.ClippedCoverage(x + segment.x, baseline - segment.y, set.coverage.data() + segment.first,
                                        segment.length);
        }
    }
}

template <PixelFormat Format>
void BlitFormat(const SpanImage& image, const std::vector<GlyphRunView>& runs, const PixelBuffer& buffer)
{
    switch (image.blend_mode) {
    case kBlendOver:
        BlitSpans<Format, kBlendOver>(image, runs, buffer);
        break;
    case kBlendMaximum:
        BlitSpans<Format, kBlendMaximum>(image, runs, buffer);
        break;
    case kBlendReplace:
        BlitSpans<Format, kBlendReplace>(image, runs, buffer);
        break;
    default: // other modes keep every pixel
        break;
    }
}

} // namespace

void SpanImage::Blit(const PixelBuffer& buffer) const
{
    if (SpanCount() == 0)
        return;
    if (buffer.format != kPixelFormatArgb && buffer.format != kPixelFormatBgra)
        throw Error(std::string_view("Cannot get bytes per pixel for unsupported pixel format"));
    if (color.alpha == 0 || !buffer.bits)
        return;
    if (buffer.format == kPixelFormatArgb)
        BlitFormat<kPixelFormatArgb>(*this, runs_, buffer);
    else
        BlitFormat<kPixelFormatBgra>(*this, runs_, buffer);
}

std::shared_ptr<SpanImage> SpanImage::Clone() const
{
    return std::make_shared<SpanImage>(*this);
}

size_t SpanImage::SpanCount() const
{
    size_t count = spans.size();
    for (const GlyphRun& run : runs_)
        count += run.set->spans.size();
    return count;
}

std::vector<Span> SpanImage::AllSpans() const
{
    std::vector<Span> all = spans;
    all.reserve(SpanCount());
    for (const GlyphRun& run : runs_) {
        for (const ftcache::GlyphSpan& span : run.set->spans)
            all.push_back({span.x + run.x, run.baseline - span.y, span.length, span.coverage});
    }
    return all;
}

} // namespace TrueText
