#pragma once

// The loading pass shared by the texture caches; not part of the public interface.

#include <cstdint>
#include <exception>
#include <memory>
#include <tuple>
#include <utility>

#include "vadu/exception.h"
#include "vadu/lib3d/hard/resources.h"
#include "vadu/path.h"
#include "vadu/pictureformat/picture_loader.h"
#include "vadu/time.h"

namespace vadu::lib3d::material::detail {

// One line in the engine log (dropped without a log): what failed and why.
void log_load_failure(const filesystem::String& resource, const String& function, const String& description);

// Seconds since the ticks were taken.
double seconds_since(int64_t start_ticks);

// The picture's mip levels: frame 0, then every following frame that is exactly half the
// size of the one before.
int32_t count_mip_levels(const pictureformat::PictureLoader& picture);

// Holds one level (or one face of a level) locked and unlocks on every way out, so that a
// decoder error leaves nothing locked. `pixels()` is null when the lock failed.
template <class Surface, class... Index>
class SurfaceLock {
public:
    SurfaceLock(Surface& surface, Index... index) : surface_(surface), index_(index...)
    {
        pixels_ = static_cast<uint8_t*>(surface.lock(index..., pitch_));
    }
    ~SurfaceLock()
    {
        if (pixels_)
            std::apply([this](Index... index) { surface_.unlock(index...); }, index_);
    }
    SurfaceLock(const SurfaceLock&) = delete;
    SurfaceLock& operator=(const SurfaceLock&) = delete;

    uint8_t* pixels() const noexcept { return pixels_; }
    int32_t pitch() const noexcept { return pitch_; }
    uint8_t* row(int32_t y) const noexcept { return pixels_ + static_cast<ptrdiff_t>(y) * pitch_; }

private:
    Surface& surface_;
    std::tuple<Index...> index_;
    uint8_t* pixels_ = nullptr;
    int32_t pitch_ = 0;
};

using LevelLock = SurfaceLock<hard::Texture, uint32_t>;
using FaceLock = SurfaceLock<hard::TextureCubic, uint32_t, uint32_t>;

// The picture once it has been read: null while the reading goes on. A file without a
// readable picture throws GluckBadResource "pl is not valid" from `function`, after
// `drop` has let go of the picture.
template <class Drop>
pictureformat::PictureLoader* decoded_picture(pictureformat::PictureLoader& picture, const char* function,
                                              const filesystem::String& path, Drop drop)
{
    if (!picture.decode())
        return nullptr;
    if (!picture.has_frames()) {
        drop();
        throw GluckBadResource(function, "pl is not valid", path);
    }
    return &picture;
}

// Hands `fill` the device texture of every operational hardware whose contents are not
// valid, made first by `create` (from the hardware) where missing; a hardware that cannot
// make one is skipped.
template <class Pairs, class Create, class Fill>
void fill_stale_textures(Pairs& pairs, Create create, Fill fill)
{
    for (auto& pair : pairs) {
        if (!pair.first || !pair.first->is_operational())
            continue;
        if (!pair.second) {
            pair.second = create(*pair.first);
            if (!pair.second)
                continue;
        }
        if (!pair.second->is_operational())
            fill(*pair.second);
    }
}

// The rep cached under `key`, made by `make` when missing, and whether it was made. The
// cache is made on first use; a `make` that throws leaves no empty cache behind.
template <class Cache, class Key, class Make>
std::pair<typename Cache::mapped_type::element_type*, bool> find_or_emplace(Cache*& cache, const Key& key, Make make)
{
    if (!cache)
        cache = new Cache;
    auto found = cache->find(key);
    if (found != cache->end())
        return {found->second.get(), false};
    try {
        return {cache->emplace(key, make()).first->second.get(), true};
    } catch (...) {
        if (cache->empty()) {
            delete cache;
            cache = nullptr;
        }
        throw;
    }
}

// Lowers the rep's count; the last release takes it out of the cache (where `key_of`
// finds it), and the last rep deletes the cache.
template <class Cache, class Rep, class KeyOf>
void release_cached(Cache*& cache, Rep* rep, KeyOf key_of)
{
    if (!rep || !cache || rep->drop_reference() > 0)
        return;
    auto found = cache->find(key_of(*rep));
    if (found != cache->end() && found->second.get() == rep)
        cache->erase(found);
    if (cache->empty()) {
        delete cache;
        cache = nullptr;
    }
}

template <class Pointer>
auto& rep_of(Pointer& pointer)
{
    return *pointer;
}

// Walks the cache in key order: every rep that is neither loaded nor failed counts as
// pending, and is loaded while the budget lasts (checked after every load). A load that
// throws is logged and its rep marked failed, which takes it out of the count.
template <class Cache, class Load>
int32_t run_load_pass(Cache* cache, int64_t start_ticks, double budget, Load load)
{
    if (!cache)
        return 0;
    int32_t pending = 0;
    bool in_budget = true;
    for (auto& entry : *cache) {
        auto& rep = rep_of(entry.second);
        if (rep.is_loaded() || rep.has_failed())
            continue;
        ++pending;
        if (!in_budget)
            continue;
        try {
            load(rep);
        } catch (const GluckBadResource& failure) {
            log_load_failure(failure.get_resource(), failure.get_function(), failure.get_description());
            rep.set_failed();
            --pending;
        } catch (const Gluck& failure) {
            log_load_failure(rep.get_path(), failure.get_function(), failure.get_description());
            rep.set_failed();
            --pending;
        } catch (const std::exception& failure) {
            log_load_failure(rep.get_path(), String(), String(failure.what()));
            rep.set_failed();
            --pending;
        }
        in_budget = seconds_since(start_ticks) <= budget;
    }
    return pending;
}

} // namespace vadu::lib3d::material::detail
