#include "vadu/lib3d/material/texture.h"

#include "vadu/converter.h"
#include "vadu/lib3d/material/texture_load_pass.h"
#include "vadu/log.h"

namespace vadu::lib3d::material {

namespace detail {

void log_load_failure(const filesystem::String& resource, const String& function, const String& description)
{
    String line("Failed to load \"");
    line += resource.get_text();
    line += "\": ";
    line += description;
    if (!function.empty()) {
        line += " (";
        line += function;
        line += ")";
    }
    line += "\n";
    try {
        logs::log() << line;
    } catch (const Gluck&) {
        // No log: the failed rep shows nothing, which is all that can be done.
    }
}

double seconds_since(int64_t start_ticks)
{
    return static_cast<double>(time::get_ticks() - start_ticks) * time::get_tick_period();
}

int32_t count_mip_levels(const pictureformat::PictureLoader& picture)
{
    const int64_t width = picture.get_width(0);
    const int64_t height = picture.get_height(0);
    int32_t levels = 1;
    while (levels < picture.get_frame_count() && levels < 31) {
        const int64_t scale = int64_t(1) << levels;
        if (picture.get_width(levels) * scale != width || picture.get_height(levels) * scale != height)
            break;
        ++levels;
    }
    return levels;
}

} // namespace detail

namespace {

const char* const load_function = "vadu::lib3d::material::TextureSimpleRep::load";
const char* const reflection_load_function = "vadu::lib3d::material::TextureReflectionRep::load";

using detail::FaceLock;
using detail::LevelLock;

// Rows come bottom row first and are stored in that order, so texture coordinate v
// counts from the bottom of the picture.
void fill_level(pictureformat::PictureLoader& picture, hard::Texture& texture, pictureformat::Format format,
                int32_t level)
{
    LevelLock lock(texture, static_cast<uint32_t>(level));
    if (!lock.pixels())
        return;
    picture.reset(format, level);
    const int32_t rows = picture.get_height(level);
    for (int32_t row = 0; row < rows; ++row)
        picture.unpack(lock.row(row));
}

// The rep's picture once read (the reading starts again after a failed or finished load).
pictureformat::PictureLoader* decoded_stream(std::unique_ptr<pictureformat::PictureLoader>& stream,
                                             const filesystem::String& path, const char* function)
{
    if (!stream)
        stream = std::make_unique<pictureformat::PictureLoader>(path);
    return detail::decoded_picture(*stream, function, path, [&stream] { stream.reset(); });
}

TextureSimpleCache* simple_cache = nullptr;
TextureReflectionCache* reflection_cache = nullptr;

template <class Cache>
auto* find_or_create(Cache*& cache, const TextureSimpleLoader& loader)
{
    using Rep = typename Cache::mapped_type::element_type;
    const auto [rep, made] = detail::find_or_emplace(cache, loader.path, [&] { return std::make_unique<Rep>(loader); });
    // The path has its texture already; the one handed over is not needed.
    if (!made)
        delete loader.ready_texture;
    if (!made && rep->has_failed())
        rep->retry();
    return rep;
}

template <class Cache, class Rep>
void release(Cache*& cache, Rep* rep)
{
    detail::release_cached(cache, rep, [](const Rep& cached) -> const filesystem::String& { return cached.get_path(); });
}

const Atom& wrap_atom()
{
    static const Atom atom("Wrap");
    return atom;
}

const Atom& image_atom()
{
    static const Atom atom("Image");
    return atom;
}

} // namespace

// --- Texture ---

Texture::Texture(const Atom& slot, bool wrap) : slot_(slot), wrap_(wrap) {}

Texture::~Texture() = default;

bool Texture::change_attribute(const Atom& name, double value)
{
    if (name != wrap_atom())
        return false;
    wrap_ = value > 0.5;
    return true;
}

bool Texture::get_attribute(const Atom& name, double& value)
{
    if (name != wrap_atom())
        return false;
    value = wrap_ ? 1.0 : 0.0;
    return true;
}

std::unique_ptr<Texture> Texture::clone() const
{
    return std::make_unique<Texture>(*this);
}

void Texture::apply(hard::Hardware&, hard::TextureStage& stage)
{
    stage.wrap = wrap_ ? 1 : 0;
}

// --- TextureSimpleLoader ---

TextureSimpleLoader::TextureSimpleLoader() : path(String(), true) {}

TextureSimpleLoader::TextureSimpleLoader(const filesystem::String& path, bool wrap) : path(path), wrap(wrap) {}

bool TextureSimpleLoader::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "Image")
        return converter::convert(value, &path);
    if (name == "Wrap")
        return converter::convert(value, &wrap);
    return false;
}

// --- TextureSimpleRep ---

TextureSimpleRep::TextureSimpleRep(const TextureSimpleLoader& loader) : loader_(loader)
{
    loader_.ready_hardware = nullptr;
    loader_.ready_texture = nullptr;
    std::unique_ptr<hard::Texture> ready(loader.ready_texture);
    if (!ready) {
        // The picture has to be read whatever hardware exists, so that its size is known.
        stream_ = std::make_unique<pictureformat::PictureLoader>(loader_.path);
        loaded_ = false;
    }
    if (hard::Manager::exists()) {
        hard::Manager::add_dependent(this);
        registered_ = true;
    }
    if (ready) {
        width_ = static_cast<int32_t>(ready->get_width());
        height_ = static_cast<int32_t>(ready->get_height());
        has_alpha_ = true;
        bool placed = false;
        for (Pair& pair : pairs_) {
            if (pair.first == loader.ready_hardware && !pair.second) {
                pair.second = std::move(ready);
                placed = true;
                break;
            }
        }
        if (!placed)
            add_data(loader.ready_hardware, std::move(ready));
        loaded_ = true;
    }
}

TextureSimpleRep::~TextureSimpleRep()
{
    if (registered_)
        hard::Manager::remove_dependent(this);
}

void TextureSimpleRep::on_add_hardware(hard::Hardware* hardware)
{
    HardwareDependentObject::on_add_hardware(hardware);
    loaded_ = false;
}

void TextureSimpleRep::set_failed() noexcept
{
    failed_ = true;
    stream_.reset();
}

void TextureSimpleRep::retry()
{
    stream_ = std::make_unique<pictureformat::PictureLoader>(loader_.path);
    failed_ = false;
    loaded_ = false;
}

void TextureSimpleRep::load()
{
    pictureformat::PictureLoader* decoded = decoded_stream(stream_, loader_.path, load_function);
    if (!decoded)
        return;
    pictureformat::PictureLoader& picture = *decoded;
    const pictureformat::Format format = picture.get_best_format();
    has_alpha_ = pictureformat::has_alpha(format);
    width_ = picture.get_width(0);
    height_ = picture.get_height(0);
    const int32_t levels = detail::count_mip_levels(picture);
    detail::fill_stale_textures(
        pairs_,
        [&](hard::Hardware& hardware) {
            auto texture = hardware.create_texture(levels, format, width_, height_);
            if (texture)
                texture->set_wrap(loader_.wrap);
            return texture;
        },
        [&](hard::Texture& texture) {
            const pictureformat::Format stored = texture.get_format();
            for (int32_t level = 0; level < levels; ++level)
                fill_level(picture, texture, stored, level);
        });
    stream_.reset();
    loaded_ = true;
}

void TextureSimpleRep::apply(hard::Hardware& hardware, hard::TextureStage& stage)
{
    hard::Texture* texture = find_data(&hardware);
    if (texture && texture->is_operational()) {
        stage.texture = texture;
        stage.alpha = has_alpha_ ? 1 : 0;
        return;
    }
    stage.texture = nullptr;
    loaded_ = false;
}

int32_t TextureSimpleRep::get_width(bool mark)
{
    if (stream_) {
        if (mark)
            loaded_ = false;
        return 0;
    }
    return width_;
}

int32_t TextureSimpleRep::get_height(bool mark)
{
    if (stream_) {
        if (mark)
            loaded_ = false;
        return 0;
    }
    return height_;
}

int32_t texture_width(TextureSimpleRep& rep, bool mark)
{
    return rep.get_width(mark);
}

int32_t texture_height(TextureSimpleRep& rep, bool mark)
{
    return rep.get_height(mark);
}

// --- TextureReflectionRep ---

TextureReflectionRep::TextureReflectionRep(const TextureSimpleLoader& loader) : loader_(loader)
{
    loader_.ready_hardware = nullptr;
    loader_.ready_texture = nullptr;
    // Cube maps are always read from their picture.
    delete loader.ready_texture;
    stream_ = std::make_unique<pictureformat::PictureLoader>(loader_.path);
    if (hard::Manager::exists()) {
        hard::Manager::add_dependent(this);
        registered_ = true;
    }
}

TextureReflectionRep::~TextureReflectionRep()
{
    if (registered_)
        hard::Manager::remove_dependent(this);
}

void TextureReflectionRep::on_add_hardware(hard::Hardware* hardware)
{
    HardwareDependentObject::on_add_hardware(hardware);
    loaded_ = false;
}

void TextureReflectionRep::set_failed() noexcept
{
    failed_ = true;
    stream_.reset();
}

void TextureReflectionRep::retry()
{
    stream_ = std::make_unique<pictureformat::PictureLoader>(loader_.path);
    failed_ = false;
    loaded_ = false;
}

void TextureReflectionRep::load()
{
    pictureformat::PictureLoader* decoded = decoded_stream(stream_, loader_.path, reflection_load_function);
    if (!decoded)
        return;
    pictureformat::PictureLoader& picture = *decoded;
    if (picture.get_height(0) % 6 != 0) {
        stream_.reset();
        throw Gluck(reflection_load_function, "pl->get_height() is not multiply of 6");
    }
    const pictureformat::Format format = picture.get_best_format();
    width_ = picture.get_width(0);
    height_ = picture.get_height(0);
    const int32_t levels = detail::count_mip_levels(picture);
    detail::fill_stale_textures(
        pairs_,
        [&](hard::Hardware& hardware) { return hardware.create_texture_cubic(levels, format, width_, height_ / 6); },
        [&](hard::TextureCubic& texture) {
            const pictureformat::Format stored = texture.get_format();
            for (int32_t level = 0; level < levels; ++level) {
                picture.reset(stored, level);
                const int32_t band = picture.get_height(level) / 6;
                for (uint32_t face = 0; face < 6; ++face) {
                    FaceLock lock(texture, static_cast<uint32_t>(level), face);
                    if (!lock.pixels())
                        break;
                    for (int32_t row = 0; row < band; ++row)
                        picture.unpack(lock.row(row));
                }
            }
        });
    stream_.reset();
    loaded_ = true;
}

void TextureReflectionRep::apply(hard::Hardware& hardware, hard::TextureStage& stage)
{
    hard::TextureCubic* texture = find_data(&hardware);
    if (texture && texture->is_operational()) {
        stage.texture = texture;
        return;
    }
    stage.texture = nullptr;
    loaded_ = false;
}

// --- caches ---

TextureSimpleRep* find_or_create_texture_rep(const TextureSimpleLoader& loader)
{
    TextureSimpleRep* rep = find_or_create(simple_cache, loader);
    rep->add_reference();
    return rep;
}

void release_texture_rep(TextureSimpleRep* rep)
{
    release(simple_cache, rep);
}

const TextureSimpleCache* get_texture_simple_cache()
{
    return simple_cache;
}

TextureReflectionRep* find_or_create_reflection_rep(const TextureSimpleLoader& loader)
{
    TextureReflectionRep* rep = find_or_create(reflection_cache, loader);
    rep->add_reference();
    return rep;
}

void release_reflection_rep(TextureReflectionRep* rep)
{
    release(reflection_cache, rep);
}

const TextureReflectionCache* get_texture_reflection_cache()
{
    return reflection_cache;
}

int32_t load_texture_simple_reps(int64_t start_ticks, double budget)
{
    return detail::run_load_pass(simple_cache, start_ticks, budget, [](TextureSimpleRep& rep) { rep.load(); });
}

int32_t load_texture_reflection_reps(int64_t start_ticks, double budget)
{
    return detail::run_load_pass(reflection_cache, start_ticks, budget,
                                 [](TextureReflectionRep& rep) { rep.load(); });
}

// --- TextureSimple ---

TextureSimple::TextureSimple(const Atom& slot, const TextureSimpleLoader& loader)
    : Texture(slot, loader.wrap), rep_(find_or_create_texture_rep(loader))
{
}

TextureSimple::TextureSimple(const TextureSimple& other) : Texture(other)
{
    if (other.rep_)
        rep_ = find_or_create_texture_rep(TextureSimpleLoader(other.rep_->get_path(), other.wrap_));
}

TextureSimple::~TextureSimple()
{
    release_texture_rep(rep_);
}

bool TextureSimple::change_attribute(const Atom& name, const filesystem::String& value)
{
    if (name != image_atom())
        return false;
    if (rep_ && rep_->get_path() == value)
        return true;
    TextureSimpleRep* replacement = find_or_create_texture_rep(TextureSimpleLoader(value, wrap_));
    release_texture_rep(rep_);
    rep_ = replacement;
    return true;
}

bool TextureSimple::get_attribute(const Atom& name, filesystem::String& value)
{
    if (name != image_atom())
        return false;
    value = rep_ ? rep_->get_path() : filesystem::String();
    return true;
}

std::unique_ptr<Texture> TextureSimple::clone() const
{
    return std::make_unique<TextureSimple>(*this);
}

void TextureSimple::apply(hard::Hardware& hardware, hard::TextureStage& stage)
{
    stage.wrap = wrap_ ? 1 : 0;
    if (rep_)
        rep_->apply(hardware, stage);
}

// --- TextureRenderTarget ---

TextureRenderTarget::TextureRenderTarget(const Atom& slot, const Atom& target_name, bool wrap)
    : Texture(slot, wrap), target_name_(target_name)
{
}

std::unique_ptr<Texture> TextureRenderTarget::clone() const
{
    return std::make_unique<TextureRenderTarget>(*this);
}

void TextureRenderTarget::apply(hard::Hardware& hardware, hard::TextureStage& stage)
{
    stage.texture = hardware.find_render_target(target_name_);
}

// --- TextureReflection ---

TextureReflection::TextureReflection(const Atom& slot, const TextureSimpleLoader& loader)
    : Texture(slot, loader.wrap), rep_(find_or_create_reflection_rep(loader))
{
}

TextureReflection::TextureReflection(const TextureReflection& other) : Texture(other)
{
    if (other.rep_)
        rep_ = find_or_create_reflection_rep(TextureSimpleLoader(other.rep_->get_path(), other.wrap_));
}

TextureReflection::~TextureReflection()
{
    release_reflection_rep(rep_);
}

std::unique_ptr<Texture> TextureReflection::clone() const
{
    return std::make_unique<TextureReflection>(*this);
}

void TextureReflection::apply(hard::Hardware& hardware, hard::TextureStage& stage)
{
    stage.wrap = wrap_ ? 1 : 0;
    if (rep_)
        rep_->apply(hardware, stage);
}

} // namespace vadu::lib3d::material
