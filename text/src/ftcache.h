#pragma once

// The library's global state and our glyph cache (internal).
//
// FreeType's image cache, with its default limits and without held node references,
// reloads and re-hints a glyph on nearly every lookup once a few glyphs are in turn. So we
// keep, per face id, scaler height, load flags and glyph index, what measuring and drawing
// need: the advance, the control box and the glyph's anti-aliased spans relative to its
// origin (and, per stroke radius, the stroked ones). Entries are filled on first use by
// the same FreeType calls, so a failure still surfaces at the caller's error site.
// Drawing only adds an integer origin to a span, so cached spans give the same pixels as
// rendering afresh.

#include "text/Error.h"
#include "text/Face.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_CACHE_H
#include FT_GLYPH_H
#include FT_STROKER_H

#include <cstdint>
#include <exception>
#include <map>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace TrueText {

struct ErrorSite {
    const char* unit;
    int line;
};

namespace ftcache {

// A span as FreeType gives it: x from the glyph origin, y the raster row (upwards).
// FreeType's rasterizer clips to 16-bit coordinates, so they fit.
struct GlyphSpan {
    int16_t x;
    int16_t y;
    uint16_t length;
    uint8_t coverage;
};

// A row's run of touching spans: `length` coverage bytes from `first`.
struct Segment {
    int16_t x;
    int16_t y;
    uint16_t length;
    uint32_t first;
};

struct SpanSet {
    std::vector<GlyphSpan> spans;
    // The same pixels as runs of per-pixel coverage, which blit faster than spans.
    std::vector<Segment> segments;
    std::vector<uint8_t> coverage;
    // Over the spans: min x, min row, max(x + length - 1), max row; unset when empty.
    int32_t min_x = 0, min_y = 0, max_x = 0, max_y = 0;
};

struct StrokedGlyph {
    FT_BBox cbox{};
    SpanSet spans;
};

struct CachedGlyph {
    bool outline = false;
    FT_Pos advance_x = 0; // 16.16
    FT_Pos advance_y = 0;
    FT_BBox cbox{}; // 26.6, not grid-fitted
    SpanSet spans;
    std::vector<std::pair<FT_Fixed, std::unique_ptr<StrokedGlyph>>> stroked;
};

// A stroker made on first need, as the drawing's stroke settings say.
class LazyStroker {
public:
    LazyStroker(FT_Fixed radius, ErrorSite site) : radius_(radius), site_(site) {}
    ~LazyStroker()
    {
        if (stroker_)
            FT_Stroker_Done(stroker_);
    }
    LazyStroker(const LazyStroker&) = delete;
    LazyStroker& operator=(const LazyStroker&) = delete;

    FT_Stroker get();
    FT_Fixed radius() const { return radius_; }

private:
    FT_Fixed radius_;
    ErrorSite site_;
    FT_Stroker stroker_ = nullptr;
};

// Glyphs of one face id at one scaler height and load flags.
class Strike : public std::enable_shared_from_this<Strike> {
public:
    Strike(FTC_FaceID face, FT_ULong height, FT_Int32 flags);

    FTC_ScalerRec Scaler() const;
    // References stay valid until the next lookup on any strike (the cache may be off).
    const CachedGlyph& Glyph(FT_UInt index, ErrorSite site);
    // The glyph stroked with the stroker, whose radius keys the entry.
    const StrokedGlyph& Stroked(FT_UInt index, LazyStroker& stroker, ErrorSite site);
    // The x kerning (26.6, default mode) between two glyph indexes.
    FT_Pos Kerning(FT_UInt left, FT_UInt right, ErrorSite site);

    FTC_FaceID face() const { return face_; }
    FT_ULong height() const { return height_; }
    FT_Int32 flags() const { return flags_; }

private:
    FT_Glyph LookupImage(FT_UInt index, ErrorSite site);
    void Fill(CachedGlyph& entry, FT_Glyph glyph);

    FTC_FaceID face_;
    FT_ULong height_;
    FT_Int32 flags_;
    std::vector<std::unique_ptr<CachedGlyph>> glyphs_;
    // Open addressing over (left << 32 | right) + 1, so 0 marks a free slot.
    std::vector<std::pair<uint64_t, FT_Pos>> kerning_;
    size_t kerning_count_ = 0;
    std::unique_ptr<CachedGlyph> scratch_;
    std::unique_ptr<StrokedGlyph> scratch_stroked_;
};

using FaceOpener = std::function<FT_Face()>;

struct FaceEntry {
    std::string name;
    FaceOpener opener;
};

struct FaceRegistry {
    std::map<std::string, std::unique_ptr<FaceEntry>> faces;
    std::map<FT_Stream, std::shared_ptr<Stream>> streams;
};

struct CharPage {
    int32_t index[256];
};

struct FaceCharmap {
    std::vector<std::unique_ptr<CharPage>> pages; // by code >> 8; -1 = not looked up yet
};

struct State {
    FT_Library library = nullptr;
    FTC_Manager manager = nullptr;
    FTC_CMapCache cmaps = nullptr;
    FTC_ImageCache images = nullptr;
    std::unique_ptr<FaceRegistry> registry;
    std::unordered_map<FTC_FaceID, FaceCharmap> charmaps;
    FTC_FaceID last_charmap_face = nullptr;
    FaceCharmap* last_charmap = nullptr;
    // Shared: span images refer to cached spans and keep their strike alive.
    std::vector<std::shared_ptr<Strike>> strikes;
    Strike* last_strike = nullptr;
    bool cache_enabled = true;
    // An exception raised inside the face requester, which runs within FreeType's C code;
    // it is carried across as an error code and raised again at the caller's site.
    std::exception_ptr pending;
};

// Raises TrueText::Error when the library is not started.
State& Get();
State* TryGet();

void InitLibrary(); // ftutils
void Init();        // the registry, the manager and its two caches
void Done();

// Raises the requester's exception if there is one, else the FreeType error at the site.
[[noreturn]] void Fail(FT_Error error, ErrorSite site);
inline void Check(FT_Error error, ErrorSite site)
{
    if (error)
        Fail(error, site);
}

// Brings the face to the front of the manager's open faces, opening it when needed.
// Every size or glyph lookup does this first: when the manager reuses its oldest size for
// a new one and has to close a face to open this one, FreeType 2.12 frees that size node
// while still using it. With the face already open, that path is never taken.
void TouchFace(FTC_FaceID face, ErrorSite site);

FTC_FaceID RegisterFace(const std::string& name, FaceOpener opener);
FT_Face OpenFace(const StreamFactory& factory);

// Glyph index of a character in the face's first charmap (0 when it has none).
FT_UInt CharIndex(FTC_FaceID face, FT_UInt32 code);
Strike& GetStrike(FTC_FaceID face, FT_ULong height, FT_Int32 flags);

inline FT_Pos Floor64(FT_Pos v) { return v & -64; }
inline FT_Pos Ceil64(FT_Pos v) { return (v + 63) & -64; }

} // namespace ftcache
} // namespace TrueText
