#include "ftcache.h"

#include "text/TextLibrary.h"

#include FT_OUTLINE_H

#include <algorithm>
#include <climits>
#include <utility>

namespace TrueText {
namespace ftcache {

namespace {

std::unique_ptr<State> g_state;

FT_Error RequestFace(FTC_FaceID face_id, FT_Library, FT_Pointer, FT_Face* aface)
{
    *aface = nullptr;
    try {
        auto* entry = static_cast<FaceEntry*>(face_id);
        if (!entry->opener)
            throw std::bad_function_call();
        *aface = entry->opener();
        return FT_Err_Ok;
    } catch (...) {
        // Unwinding through FreeType would skip its cleanup; carry the exception across.
        if (State* state = TryGet())
            state->pending = std::current_exception();
        return FT_Err_Cannot_Open_Resource;
    }
}

void StreamClose(FT_Stream record)
{
    State* state = TryGet();
    if (!state || !state->registry)
        return;
    auto found = state->registry->streams.find(record);
    if (found == state->registry->streams.end())
        return;
    // Keep the stream alive until the map entry is gone: the record lives inside it.
    std::shared_ptr<Stream> keep = std::move(found->second);
    state->registry->streams.erase(found);
}

void CollectSpans(int y, int count, const FT_Span* spans, void* user)
{
    auto* set = static_cast<SpanSet*>(user);
    for (int i = 0; i < count; ++i)
        set->spans.push_back({spans[i].x, static_cast<int16_t>(y), spans[i].len, spans[i].coverage});
}

void RenderSpans(FT_Library library, FT_Outline& outline, SpanSet& set)
{
    FT_Raster_Params params{};
    params.flags = FT_RASTER_FLAG_AA | FT_RASTER_FLAG_DIRECT;
    params.gray_spans = CollectSpans;
    params.user = &set;
    FT_Outline_Render(library, &outline, &params);
    if (set.spans.empty())
        return;
    for (const GlyphSpan& span : set.spans) {
        Segment* last = set.segments.empty() ? nullptr : &set.segments.back();
        if (!last || last->y != span.y || last->x + last->length != span.x || last->length + span.length > 0xFFFF)
            last = &set.segments.emplace_back(Segment{span.x, span.y, 0, static_cast<uint32_t>(set.coverage.size())});
        last->length = static_cast<uint16_t>(last->length + span.length);
        set.coverage.insert(set.coverage.end(), span.length, span.coverage);
    }
    set.min_x = set.min_y = INT32_MAX;
    set.max_x = set.max_y = INT32_MIN;
    for (const GlyphSpan& span : set.spans) {
        set.min_x = std::min<int32_t>(set.min_x, span.x);
        set.max_x = std::max<int32_t>(set.max_x, span.x + span.length - 1);
        set.min_y = std::min<int32_t>(set.min_y, span.y);
        set.max_y = std::max<int32_t>(set.max_y, span.y);
    }
}

} // namespace

State* TryGet()
{
    return g_state.get();
}

State& Get()
{
    if (!g_state)
        throw Error(std::string_view("The text library is not started"));
    return *g_state;
}

void Fail(FT_Error error, ErrorSite site)
{
    if (State* state = TryGet(); state && state->pending) {
        std::exception_ptr pending = std::exchange(state->pending, nullptr);
        std::rethrow_exception(pending);
    }
    ThrowFreeTypeError(error, site.unit, site.line);
}

void Init()
{
    State& state = *g_state;
    state.registry = std::make_unique<FaceRegistry>();
    Check(FTC_Manager_New(state.library, 0, 0, 0, RequestFace, nullptr, &state.manager), {"ftcache", 79});
    Check(FTC_CMapCache_New(state.manager, &state.cmaps), {"ftcache", 80});
    Check(FTC_ImageCache_New(state.manager, &state.images), {"ftcache", 81});
}

void InitLibrary()
{
    FT_Library library = nullptr;
    Check(FT_Init_FreeType(&library), {"ftutils", 80});
    g_state = std::make_unique<State>();
    g_state->library = library;
}

void Done()
{
    if (!g_state)
        return;
    State& state = *g_state;
    if (state.manager)
        FTC_Manager_Done(state.manager); // closes the faces, and so their streams
    state.manager = nullptr;
    state.cmaps = nullptr;
    state.images = nullptr;
    state.registry.reset();
    state.strikes.clear();
    state.last_strike = nullptr;
    state.charmaps.clear();
    state.last_charmap = nullptr;
    state.last_charmap_face = nullptr;
    if (state.library)
        FT_Done_FreeType(state.library);
    g_state.reset();
}

void TouchFace(FTC_FaceID face, ErrorSite site)
{
    FT_Face ignored = nullptr;
    Check(FTC_Manager_LookupFace(Get().manager, face, &ignored), site);
}

FTC_FaceID RegisterFace(const std::string& name, FaceOpener opener)
{
    State& state = Get();
    auto& entry = state.registry->faces[name];
    if (!entry)
        entry = std::make_unique<FaceEntry>(FaceEntry{name, std::move(opener)});
    return entry.get();
}

FT_Face OpenFace(const StreamFactory& factory)
{
    State& state = Get();
    std::shared_ptr<Stream> stream = factory ? factory() : nullptr;
    if (!stream)
        ThrowFreeTypeError(FT_Err_Cannot_Open_Resource, "FaceImpl", 58);
    FT_Stream record = stream->GetStream();
    record->close = StreamClose;
    state.registry->streams[record] = stream;
    FT_Open_Args args{};
    args.flags = FT_OPEN_STREAM;
    args.stream = record;
    FT_Face face = nullptr;
    const FT_Error error = FT_Open_Face(state.library, &args, 0, &face);
    if (error) {
        state.registry->streams.erase(record);
        ThrowFreeTypeError(error, "FaceImpl", 58);
    }
    return face;
}

namespace {

// The charmap cache answers 0 on any failure; a face that could not be opened again
// still raises its error here.
FT_UInt LookupCharIndex(State& state, FTC_FaceID face, FT_UInt32 code)
{
    FT_Face ignored = nullptr;
    if (FTC_Manager_LookupFace(state.manager, face, &ignored) != 0 && !state.pending)
        return 0; // as the charmap cache itself answers a face it cannot open
    const FT_UInt index = state.pending ? 0 : FTC_CMapCache_Lookup(state.cmaps, face, 0, code);
    if (state.pending)
        std::rethrow_exception(std::exchange(state.pending, nullptr));
    return index;
}

} // namespace

FT_UInt CharIndex(FTC_FaceID face, FT_UInt32 code)
{
    State& state = Get();
    if (!state.cache_enabled || code >= 0x110000)
        return LookupCharIndex(state, face, code);
    if (state.last_charmap_face != face) {
        state.last_charmap = &state.charmaps[face];
        state.last_charmap_face = face;
    }
    FaceCharmap& map = *state.last_charmap;
    const size_t page_number = code >> 8;
    if (page_number >= map.pages.size())
        map.pages.resize(page_number + 1);
    std::unique_ptr<CharPage>& page = map.pages[page_number];
    if (!page) {
        page = std::make_unique<CharPage>();
        std::fill(std::begin(page->index), std::end(page->index), -1);
    }
    int32_t& slot = page->index[code & 0xFF];
    if (slot < 0)
        slot = static_cast<int32_t>(LookupCharIndex(state, face, code));
    return static_cast<FT_UInt>(slot);
}

Strike& GetStrike(FTC_FaceID face, FT_ULong height, FT_Int32 flags)
{
    State& state = Get();
    Strike* last = state.last_strike;
    if (last && last->face() == face && last->height() == height && last->flags() == flags)
        return *last;
    for (auto& strike : state.strikes) {
        if (strike->face() == face && strike->height() == height && strike->flags() == flags) {
            state.last_strike = strike.get();
            return *strike;
        }
    }
    state.strikes.push_back(std::make_shared<Strike>(face, height, flags));
    state.last_strike = state.strikes.back().get();
    return *state.last_strike;
}

FT_Stroker LazyStroker::get()
{
    if (!stroker_) {
        Check(FT_Stroker_New(Get().library, &stroker_), site_);
        FT_Stroker_Set(stroker_, radius_, FT_STROKER_LINECAP_ROUND, FT_STROKER_LINEJOIN_ROUND, 0x10000);
    }
    return stroker_;
}

Strike::Strike(FTC_FaceID face, FT_ULong height, FT_Int32 flags) : face_(face), height_(height), flags_(flags) {}

FTC_ScalerRec Strike::Scaler() const
{
    FTC_ScalerRec scaler{};
    scaler.face_id = face_;
    scaler.width = 0;
    scaler.height = height_;
    scaler.pixel = 0;
    scaler.x_res = 72;
    scaler.y_res = 72;
    return scaler;
}

FT_Glyph Strike::LookupImage(FT_UInt index, ErrorSite site)
{
    State& state = Get();
    TouchFace(face_, site);
    FTC_ScalerRec scaler = Scaler();
    FT_Glyph glyph = nullptr;
    Check(FTC_ImageCache_LookupScaler(state.images, &scaler, static_cast<FT_ULong>(flags_), index, &glyph, nullptr),
          site);
    return glyph;
}

void Strike::Fill(CachedGlyph& entry, FT_Glyph glyph)
{
    entry.outline = glyph->format == FT_GLYPH_FORMAT_OUTLINE;
    entry.advance_x = glyph->advance.x;
    entry.advance_y = glyph->advance.y;
    FT_Glyph_Get_CBox(glyph, FT_GLYPH_BBOX_UNSCALED, &entry.cbox);
    if (entry.outline)
        RenderSpans(Get().library, reinterpret_cast<FT_OutlineGlyph>(glyph)->outline, entry.spans);
}

const CachedGlyph& Strike::Glyph(FT_UInt index, ErrorSite site)
{
    const bool enabled = Get().cache_enabled;
    if (enabled && index < glyphs_.size() && glyphs_[index])
        return *glyphs_[index];
    auto entry = std::make_unique<CachedGlyph>();
    Fill(*entry, LookupImage(index, site));
    if (!enabled) {
        scratch_ = std::move(entry);
        return *scratch_;
    }
    if (index >= glyphs_.size())
        glyphs_.resize(index + 1);
    glyphs_[index] = std::move(entry);
    return *glyphs_[index];
}

const StrokedGlyph& Strike::Stroked(FT_UInt index, LazyStroker& stroker, ErrorSite site)
{
    const FT_Fixed radius = stroker.radius();
    const bool enabled = Get().cache_enabled;
    CachedGlyph* entry = nullptr;
    if (enabled) {
        if (index < glyphs_.size() && glyphs_[index]) {
            entry = glyphs_[index].get();
            for (auto& [r, stroked] : entry->stroked) {
                if (r == radius)
                    return *stroked;
            }
        }
    }
    FT_Glyph glyph = LookupImage(index, site);
    if (enabled && !entry) {
        if (index >= glyphs_.size())
            glyphs_.resize(index + 1);
        glyphs_[index] = std::make_unique<CachedGlyph>();
        entry = glyphs_[index].get();
        Fill(*entry, glyph);
    }
    if (glyph->format != FT_GLYPH_FORMAT_OUTLINE)
        throw Error(std::string_view("Invalid font format - couldn't locate outline for glyph"));
    FT_Glyph copy = nullptr;
    Check(FT_Glyph_Copy(glyph, &copy), site);
    const FT_Error stroke_error = FT_Glyph_Stroke(&copy, stroker.get(), 1);
    if (stroke_error) {
        FT_Done_Glyph(copy);
        Fail(stroke_error, site);
    }
    auto stroked = std::make_unique<StrokedGlyph>();
    FT_Glyph_Get_CBox(copy, FT_GLYPH_BBOX_UNSCALED, &stroked->cbox);
    if (copy->format == FT_GLYPH_FORMAT_OUTLINE)
        RenderSpans(Get().library, reinterpret_cast<FT_OutlineGlyph>(copy)->outline, stroked->spans);
    FT_Done_Glyph(copy);
    if (!enabled) {
        scratch_stroked_ = std::move(stroked);
        return *scratch_stroked_;
    }
    entry->stroked.emplace_back(radius, std::move(stroked));
    return *entry->stroked.back().second;
}

FT_Pos Strike::Kerning(FT_UInt left, FT_UInt right, ErrorSite site)
{
    State& state = Get();
    const uint64_t key = (static_cast<uint64_t>(left) << 32 | right) + 1;
    const auto slot_of = [](uint64_t k, size_t mask) { return static_cast<size_t>((k * 0x9E3779B97F4A7C15ull) >> 40) & mask; };
    if (state.cache_enabled && !kerning_.empty()) {
        const size_t mask = kerning_.size() - 1;
        for (size_t i = slot_of(key, mask);; i = (i + 1) & mask) {
            if (kerning_[i].first == key)
                return kerning_[i].second;
            if (kerning_[i].first == 0)
                break;
        }
    }
    TouchFace(face_, site);
    FTC_ScalerRec scaler = Scaler();
    FT_Size size = nullptr;
    Check(FTC_Manager_LookupSize(state.manager, &scaler, &size), site);
    FT_Vector delta{};
    Check(FT_Get_Kerning(size->face, left, right, FT_KERNING_DEFAULT, &delta), site);
    if (!state.cache_enabled)
        return delta.x;
    if ((kerning_count_ + 1) * 2 > kerning_.size()) {
        std::vector<std::pair<uint64_t, FT_Pos>> old = std::move(kerning_);
        kerning_.assign(std::max<size_t>(64, old.size() * 2), {0, 0});
        const size_t mask = kerning_.size() - 1;
        for (const auto& entry : old) {
            if (entry.first == 0)
                continue;
            size_t i = slot_of(entry.first, mask);
            while (kerning_[i].first != 0)
                i = (i + 1) & mask;
            kerning_[i] = entry;
        }
    }
    const size_t mask = kerning_.size() - 1;
    size_t i = slot_of(key, mask);
    while (kerning_[i].first != 0)
        i = (i + 1) & mask;
    kerning_[i] = {key, delta.x};
    ++kerning_count_;
    return delta.x;
}

} // namespace ftcache

namespace TextLibrary {

void Init()
{
    if (ftcache::TryGet())
        throw Error(std::string_view("The text library is already started"));
    ftcache::InitLibrary();
    try {
        ftcache::Init();
    } catch (...) {
        ftcache::Done();
        throw;
    }
}

void Shutdown()
{
    ftcache::Done();
}

bool IsStarted()
{
    return ftcache::TryGet() != nullptr;
}

void SetGlyphCacheEnabled(bool enabled)
{
    ftcache::State& state = ftcache::Get();
    state.cache_enabled = enabled;
}

} // namespace TextLibrary
} // namespace TrueText
