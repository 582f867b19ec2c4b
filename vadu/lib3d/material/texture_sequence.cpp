#include "vadu/lib3d/material/texture_sequence.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/lib3d/material/texture_load_pass.h"

namespace vadu::lib3d::material {

namespace {

const char* const frame_rep_load_function = "vadu::lib3d::material::TextureSequenceFrameRep::load";
const char* const frames_load_function = "vadu::lib3d::material::TextureSequenceFrames::load";

// --- the strip pictures, shared per file ---

struct PictureHolder {
    std::unique_ptr<pictureformat::PictureLoader> picture;
    int32_t uses = 0;
};

using PictureHolders = std::map<filesystem::String, PictureHolder>;
PictureHolders* picture_holders = nullptr;

pictureformat::PictureLoader& acquire_picture(const filesystem::String& path)
{
    if (!picture_holders)
        picture_holders = new PictureHolders;
    PictureHolder& holder = (*picture_holders)[path];
    if (!holder.picture) {
        try {
            holder.picture = std::make_unique<pictureformat::PictureLoader>(path);
        } catch (...) {
            picture_holders->erase(path);
            if (picture_holders->empty()) {
                delete picture_holders;
                picture_holders = nullptr;
            }
            throw;
        }
    }
    ++holder.uses;
    return *holder.picture;
}

pictureformat::PictureLoader* find_picture(const filesystem::String& path)
{
    if (!picture_holders)
        return nullptr;
    auto found = picture_holders->find(path);
    return found == picture_holders->end() ? nullptr : found->second.picture.get();
}

void release_picture_use(const filesystem::String& path) noexcept
{
    if (!picture_holders)
        return;
    auto found = picture_holders->find(path);
    if (found == picture_holders->end() || --found->second.uses > 0)
        return;
    picture_holders->erase(found);
    if (picture_holders->empty()) {
        delete picture_holders;
        picture_holders = nullptr;
    }
}

// --- caches ---

TextureSequenceFrameCache* frame_cache = nullptr;

// Every live span frame list, in path order, for the frames pass.
using FramesRegistry = std::multimap<filesystem::String, TextureSequenceFrames*>;
FramesRegistry* frames_registry = nullptr;

void register_frames(TextureSequenceFrames* frames)
{
    if (!frames_registry)
        frames_registry = new FramesRegistry;
    frames_registry->emplace(frames->get_path(), frames);
}

void unregister_frames(TextureSequenceFrames* frames) noexcept
{
    if (!frames_registry)
        return;
    auto range = frames_registry->equal_range(frames->get_path());
    for (auto it = range.first; it != range.second; ++it) {
        if (it->second == frames) {
            frames_registry->erase(it);
            break;
        }
    }
    if (frames_registry->empty()) {
        delete frames_registry;
        frames_registry = nullptr;
    }
}

const Atom& diffuse_atom()
{
    static const Atom atom("Diffuse");
    return atom;
}

// The frames first..last, or every frame of the strip when first == last.
std::vector<int32_t> strip_frames(int32_t first, int32_t last, int32_t frames_in_file)
{
    std::vector<int32_t> frames;
    if (first == last) {
        for (int32_t index = 0; index < frames_in_file; ++index)
            frames.push_back(index);
        return frames;
    }
    const int32_t step = last < first ? -1 : 1;
    for (int64_t index = first;; index += step) {
        frames.push_back(static_cast<int32_t>(index));
        if (index == last)
            break;
    }
    return frames;
}

} // namespace

// --- SequenceFrameKey ---

bool SequenceFrameKey::operator<(const SequenceFrameKey& other) const
{
    if (path < other.path)
        return true;
    if (other.path < path)
        return false;
    if (frame_index != other.frame_index)
        return frame_index < other.frame_index;
    return frames_in_file < other.frames_in_file;
}

// --- TextureSequenceFrameRep ---

TextureSequenceFrameRep::TextureSequenceFrameRep(const SequenceFrameKey& key) : key_(key)
{
    acquire_picture(key_.path);
    holds_picture_ = true;
    if (hard::Manager::exists()) {
        try {
            hard::Manager::add_dependent(this);
        } catch (...) {
            release_picture();
            throw;
        }
        registered_ = true;
    }
}

TextureSequenceFrameRep::~TextureSequenceFrameRep()
{
    if (registered_)
        hard::Manager::remove_dependent(this);
    release_picture();
}

void TextureSequenceFrameRep::release_picture() noexcept
{
    if (holds_picture_) {
        holds_picture_ = false;
        release_picture_use(key_.path);
    }
}

void TextureSequenceFrameRep::on_add_hardware(hard::Hardware* hardware)
{
    HardwareDependentObject::on_add_hardware(hardware);
    loaded_ = false;
}

void TextureSequenceFrameRep::set_failed() noexcept
{
    failed_ = true;
    release_picture();
}

void TextureSequenceFrameRep::load()
{
    if (!holds_picture_) {
        acquire_picture(key_.path);
        holds_picture_ = true;
    }
    pictureformat::PictureLoader* decoded =
        detail::decoded_picture(*find_picture(key_.path), frame_rep_load_function, key_.path, [this] { release_picture(); });
    if (!decoded)
        return;
    pictureformat::PictureLoader& picture = *decoded;
    const int32_t frames_in_file = key_.frames_in_file;
    const int32_t frame_width = frames_in_file > 0 ? picture.get_width(0) / frames_in_file : 0;
    // A frame outside the strip would read past its rows.
    if (frame_width <= 0 || key_.frame_index < 0 || key_.frame_index >= frames_in_file) {
        release_picture();
        String description("Frame ");
        description.append_number(key_.frame_index);
        description += " is outside the picture";
        throw Gluck(frame_rep_load_function, description);
    }
    const pictureformat::Format format = picture.get_best_format();
    has_alpha_ = pictureformat::has_alpha(format);
    width_ = frame_width;
    height_ = picture.get_height(0);
    const int32_t levels = detail::count_mip_levels(picture);
    std::vector<uint8_t> row;
    detail::fill_stale_textures(
        pairs_,
        [&](hard::Hardware& hardware) {
            auto texture = hardware.create_texture(levels, format, width_, height_);
            if (texture)
                texture->set_wrap(key_.wrap);
            return texture;
        },
        [&](hard::Texture& texture) {
            const pictureformat::Format stored = texture.get_format();
            for (int32_t level = 0; level < levels; ++level) {
                detail::LevelLock lock(texture, static_cast<uint32_t>(level));
                if (!lock.pixels())
                    continue;
                const int32_t level_width = picture.get_width(level);
                const int32_t slice_width = level_width / frames_in_file;
                const int32_t rows = picture.get_height(level);
                row.assign(static_cast<size_t>(level_width) * 4, 0);
                picture.reset(pictureformat::format_bgra, level);
                const uint8_t* slice = row.data() + static_cast<size_t>(key_.frame_index) * slice_width * 4;
                for (int32_t y = 0; y < rows; ++y) {
                    picture.unpack(row.data());
                    pictureformat::convert_row(stored, slice, lock.row(y), static_cast<uint32_t>(slice_width));
                }
            }
        });
    release_picture();
    loaded_ = true;
}

void TextureSequenceFrameRep::apply(hard::Hardware& hardware, hard::TextureStage& stage)
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

TextureSequenceFrameRep* find_or_create_frame_rep(const SequenceFrameKey& key)
{
    TextureSequenceFrameRep* rep =
        detail::find_or_emplace(frame_cache, key, [&] { return std::make_unique<TextureSequenceFrameRep>(key); }).first;
    rep->add_reference();
    return rep;
}

void release_frame_rep(TextureSequenceFrameRep* rep)
{
    detail::release_cached(frame_cache, rep,
                           [](const TextureSequenceFrameRep& cached) -> const SequenceFrameKey& { return cached.get_key(); });
}

const TextureSequenceFrameCache* get_texture_sequence_frame_cache()
{
    return frame_cache;
}

int32_t get_sequence_picture_count()
{
    return picture_holders ? static_cast<int32_t>(picture_holders->size()) : 0;
}

// --- TextureSequenceFrames ---

TextureSequenceFrames::TextureSequenceFrames(const Atom& slot, const filesystem::String& path, int32_t first,
                                             int32_t last, int32_t frames_in_file, bool wrap)
    : Texture(slot, wrap), path_(path), first_(first), last_(last), frames_in_file_(frames_in_file)
{
    register_frames(this);
}

TextureSequenceFrames::TextureSequenceFrames(const TextureSequenceFrames& other)
    : TextureSequenceFrames(other.slot_, other.path_, other.first_, other.last_, other.frames_in_file_, other.wrap_)
{
}

TextureSequenceFrames::~TextureSequenceFrames()
{
    unregister_frames(this);
    for (TextureSequenceFrameRep* frame : frames_)
        release_frame_rep(frame);
    release_picture();
}

void TextureSequenceFrames::release_picture() noexcept
{
    if (holds_picture_) {
        holds_picture_ = false;
        release_picture_use(path_);
    }
}

void TextureSequenceFrames::set_failed() noexcept
{
    failed_ = true;
    release_picture();
}

void TextureSequenceFrames::load()
{
    if (!holds_picture_) {
        acquire_picture(path_);
        holds_picture_ = true;
    }
    pictureformat::PictureLoader& picture = *find_picture(path_);
    if (!picture.decode())
        return;
    if (!picture.has_frames()) {
        release_picture();
        throw GluckBadResource(frames_load_function, "pl is not valid", path_);
    }
    const std::vector<int32_t> indices = strip_frames(first_, last_, frames_in_file_);
    const int32_t frame_width = frames_in_file_ > 0 ? picture.get_width(0) / frames_in_file_ : 0;
    for (int32_t index : indices) {
        // A frame outside the strip would read past its rows.
        if (frame_width <= 0 || index < 0 || index >= frames_in_file_) {
            release_picture();
            String description("Frame ");
            description.append_number(index);
            description += " is outside the picture";
            throw Gluck(frames_load_function, description);
        }
    }
    for (TextureSequenceFrameRep* frame : frames_)
        release_frame_rep(frame);
    frames_.clear();
    for (int32_t index : indices)
        frames_.push_back(find_or_create_frame_rep(SequenceFrameKey{path_, index, frames_in_file_, wrap_}));
    // The frame reps hold the picture from here on.
    release_picture();
    loaded_ = true;
}

std::unique_ptr<Texture> TextureSequenceFrames::clone() const
{
    return std::make_unique<TextureSequenceFrames>(*this);
}

void TextureSequenceFrames::apply(hard::Hardware& hardware, hard::TextureStage& stage, int32_t frame)
{
    if (frame < 0 || frame >= get_frame_count())
        return;
    stage.wrap = wrap_ ? 1 : 0;
    frames_[static_cast<size_t>(frame)]->apply(hardware, stage);
}

int32_t load_texture_sequence_frames(int64_t start_ticks, double budget)
{
    return detail::run_load_pass(frames_registry, start_ticks, budget,
                                 [](TextureSequenceFrames& frames) { frames.load(); });
}

int32_t load_texture_sequence_frame_reps(int64_t start_ticks, double budget)
{
    return detail::run_load_pass(frame_cache, start_ticks, budget, [](TextureSequenceFrameRep& rep) { rep.load(); });
}

// --- SequenceDefinition ---

namespace {

class FrameTimeLoader : public xml::ObjectANSI {
public:
    bool OnAttribute(xml::Provider&, const String& name, const String& value) override
    {
        if (name == "Index")
            return converter::convert(value, &frame.index);
        if (name == "Time")
            return converter::convert(value, &frame.time);
        return false;
    }

    SequenceDefinition::FrameTime frame;
};

bool read_loop_type(const String& value, SequenceDefinition::LoopType* loop_type)
{
    static const struct {
        const char* word;
        SequenceDefinition::LoopType type;
    } words[] = {
        {"NONE", SequenceDefinition::NONE},
        {"FORWARD", SequenceDefinition::FORWARD},
        {"BACKWARD", SequenceDefinition::BACKWARD},
        {"PINGPONG", SequenceDefinition::PINGPONG},
    };
    for (const auto& entry : words) {
        if (value == entry.word) {
            *loop_type = entry.type;
            return true;
        }
    }
    return false;
}

} // namespace

SequenceDefinition::~SequenceDefinition() = default;

bool SequenceDefinition::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "LoopType")
        return read_loop_type(value, &loop_type);
    if (name == "Name")
        return converter::convert(value, &this->name);
    if (name == "Image")
        return converter::convert(value, &image);
    if (name == "FrameStart")
        return converter::convert(value, &first_frame);
    if (name == "FrameEnd")
        return converter::convert(value, &last_frame);
    if (name == "FrameTime")
        return converter::convert(value, &frame_time);
    if (name == "Height")
        return converter::convert(value, &height);
    if (name == "Width")
        return converter::convert(value, &width);
    if (name == "LoopDelay")
        return converter::convert(value, &loop_delay);
    if (name == "AllInOne") {
        bool all_in_one = false;
        return converter::convert(value, &all_in_one);
    }
    return name == "FramesInFile" || name == "ImageIndexLength";
}

bool SequenceDefinition::OnNode(xml::Provider& provider, const String& name)
{
    if (name != "Frame")
        return false;
    FrameTimeLoader loader;
    if (!provider.ParseObject(loader))
        return false;
    frame_times.push_back(loader.frame);
    return true;
}

bool SequenceDefinition::OnEndNode(xml::Provider&)
{
    build_timeline();
    load_frames(image);
    return true;
}

void SequenceDefinition::get_timeline_range(int32_t& first, int32_t& last) const
{
    first = first_frame;
    last = last_frame;
}

void SequenceDefinition::build_timeline()
{
    starts.clear();
    length = 0.0;
    int32_t first = 0;
    int32_t last = 0;
    get_timeline_range(first, last);
    const int32_t step = last < first ? -1 : 1;
    for (int64_t frame = first;; frame += step) {
        double duration = frame_time;
        for (const FrameTime& entry : frame_times) {
            if (entry.index == frame) {
                duration = entry.time;
                break;
            }
        }
        starts.push_back(length);
        length += duration;
        if (frame == last)
            break;
    }
}

int32_t SequenceDefinition::find_frame(double t) const
{
    if (starts.empty() || t <= starts.front())
        return 0;
    if (t >= starts.back())
        return static_cast<int32_t>(starts.size()) - 1;
    const auto after = std::upper_bound(starts.begin(), starts.end(), t);
    return static_cast<int32_t>(after - starts.begin()) - 1;
}

// --- FileSequenceDefinition ---

FileSequenceDefinition::FileSequenceDefinition(const FileSequenceDefinition& other)
    : xml::Object(other), SequenceDefinition(other), image_index_length_(other.image_index_length_)
{
    load_frames(image);
}

FileSequenceDefinition::~FileSequenceDefinition() = default;

bool FileSequenceDefinition::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "ImageIndexLength")
        return converter::convert(value, &image_index_length_);
    return SequenceDefinition::OnAttribute(provider, name, value);
}

filesystem::String FileSequenceDefinition::frame_path(const String& image, int32_t index_length, int32_t frame)
{
    // The number pattern is built from an integer only; the text is sized to fit, so a
    // long image name cannot overflow anything.
    char pattern[16];
    std::snprintf(pattern, sizeof(pattern), "%%0%dd", index_length);
    const int size = std::snprintf(nullptr, 0, pattern, frame);
    std::string number(size > 0 ? static_cast<size_t>(size) : 0, '\0');
    if (size > 0)
        std::snprintf(number.data(), number.size() + 1, pattern, frame);
    String text(image);
    text.append(number.data(), number.data() + number.size());
    return filesystem::String(text, true);
}

void FileSequenceDefinition::load_frames(const String& image_stem)
{
    textures_.clear();
    const int32_t step = last_frame < first_frame ? -1 : 1;
    for (int64_t frame = first_frame;; frame += step) {
        const filesystem::String path = frame_path(image_stem, image_index_length_, static_cast<int32_t>(frame));
        textures_.push_back(std::make_unique<TextureSimple>(diffuse_atom(), TextureSimpleLoader(path, true)));
        if (frame == last_frame)
            break;
    }
}

void FileSequenceDefinition::set_image_index_length(int32_t length)
{
    image_index_length_ = length;
    load_frames(image);
}

void FileSequenceDefinition::apply(hard::Hardware& hardware, hard::TextureStage& stage, int32_t frame)
{
    if (frame < 0 || frame >= get_frame_count())
        return;
    textures_[static_cast<size_t>(frame)]->apply(hardware, stage);
}

std::unique_ptr<SequenceDefinition> FileSequenceDefinition::clone() const
{
    return std::make_unique<FileSequenceDefinition>(*this);
}

// --- SpanSequenceDefinition ---

SpanSequenceDefinition::SpanSequenceDefinition(const SpanSequenceDefinition& other)
    : xml::Object(other), SequenceDefinition(other), frames_in_file_(other.frames_in_file_)
{
    if (other.frames_)
        frames_ = std::make_unique<TextureSequenceFrames>(*other.frames_);
}

SpanSequenceDefinition::~SpanSequenceDefinition() = default;

bool SpanSequenceDefinition::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "FramesInFile")
        return converter::convert(value, &frames_in_file_);
    return SequenceDefinition::OnAttribute(provider, name, value);
}

void SpanSequenceDefinition::apply(hard::Hardware& hardware, hard::TextureStage& stage, int32_t frame)
{
    if (frames_)
        frames_->apply(hardware, stage, frame);
}

int32_t SpanSequenceDefinition::get_frame_count() const
{
    return frames_ ? frames_->get_frame_count() : 0;
}

std::unique_ptr<SequenceDefinition> SpanSequenceDefinition::clone() const
{
    return std::make_unique<SpanSequenceDefinition>(*this);
}

void SpanSequenceDefinition::get_timeline_range(int32_t& first, int32_t& last) const
{
    // The strip's frames are all shown then; a one-frame timeline would never leave
    // the first of them.
    if (first_frame == last_frame && frames_in_file_ > 0) {
        first = 0;
        last = frames_in_file_ - 1;
        return;
    }
    SequenceDefinition::get_timeline_range(first, last);
}

void SpanSequenceDefinition::load_frames(const String& image_stem)
{
    frames_ = std::make_unique<TextureSequenceFrames>(diffuse_atom(), filesystem::String(image_stem, true), first_frame,
                                                      last_frame, frames_in_file_, true);
}

// --- TextureSequence ---

TextureSequence::TextureSequence(const Atom& owner_name) : owner_name_(owner_name) {}

TextureSequence::TextureSequence(const TextureSequence& other)
    : xml::Object(other), Soul(other), Animatable(other), xml::ObjectANSI(other), owner_name_(other.owner_name_),
      current_(other.current_), time_(other.time_), direction_(other.direction_), start_(other.start_),
      finished_(other.finished_), manual_(other.manual_)
{
    definitions_.reserve(other.definitions_.size());
    for (const auto& definition : other.definitions_)
        definitions_.push_back(definition->clone());
    if (manual_)
        set_active(false);
}

TextureSequence::~TextureSequence() = default;

bool TextureSequence::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "Start")
        return converter::convert(value, &start_);
    if (name == "Manual") {
        if (!converter::convert(value, &manual_))
            return false;
        set_active(!manual_);
        return true;
    }
    return false;
}

bool TextureSequence::OnNode(xml::Provider& provider, const String& name)
{
    std::unique_ptr<SequenceDefinition> definition;
    if (name == "Sequence")
        definition = std::make_unique<FileSequenceDefinition>();
    else if (name == "SpanSequence")
        definition = std::make_unique<SpanSequenceDefinition>();
    else
        return false;
    if (!provider.ParseObject(*definition))
        return false;
    definitions_.push_back(std::move(definition));
    return true;
}

bool TextureSequence::OnEndNode(xml::Provider&)
{
    if (!start_.empty())
        play(Atom(start_));
    return true;
}

SequenceDefinition* TextureSequence::get_current() const noexcept
{
    return current_ >= 0 ? definitions_[static_cast<size_t>(current_)].get() : nullptr;
}

bool TextureSequence::play(const Atom& name)
{
    for (size_t index = 0; index < definitions_.size(); ++index) {
        if (definitions_[index]->name == name) {
            current_ = static_cast<int32_t>(index);
            time_ = 0.0;
            direction_ = 1;
            finished_ = false;
            return true;
        }
    }
    return false;
}

void TextureSequence::next()
{
    if (definitions_.size() < 2)
        return;
    current_ = current_ + 1 >= static_cast<int32_t>(definitions_.size()) ? 0 : current_ + 1;
    time_ = 0.0;
}

void TextureSequence::add_definition(std::unique_ptr<SequenceDefinition> definition)
{
    if (definition)
        definitions_.push_back(std::move(definition));
}

void TextureSequence::apply_current_frame(hard::Hardware& hardware, hard::TextureStage& stage)
{
    SequenceDefinition* current = get_current();
    if (current)
        current->apply(hardware, stage, current->find_frame(time_));
}

bool TextureSequence::change_attribute(const Atom& name, double value)
{
    static const Atom percent("Percent");
    static const Atom frame("Frame");
    if (name == percent) {
        if (SequenceDefinition* current = get_current())
            time_ = value * current->length;
        return true;
    }
    if (name == frame) {
        if (SequenceDefinition* current = get_current()) {
            const double index = std::trunc(value);
            if (!(index >= 0.0))
                time_ = current->starts.empty() ? 0.0 : current->starts.front();
            else if (index < static_cast<double>(current->starts.size()))
                time_ = current->starts[static_cast<size_t>(index)];
            else
                time_ = current->length;
        }
        return true;
    }
    return false;
}

void TextureSequence::update(double dt)
{
    finished_ = false;
    SequenceDefinition* current = get_current();
    if (!current || current->get_frame_count() == 0) {
        finished_ = true;
        return;
    }
    const double length = current->length;
    const double delay = current->loop_delay;
    const double period = length + delay;
    // A sequence without duration stays on its first frame: fmod by 0 would give NaN.
    switch (current->loop_type) {
    case SequenceDefinition::FORWARD: {
        const float single_period = static_cast<float>(period);
        time_ = single_period == 0.0f ? 0.0 : std::fmod(static_cast<float>(time_ + dt), single_period);
        break;
    }
    case SequenceDefinition::BACKWARD:
        time_ -= dt;
        if (time_ < -delay)
            time_ = period == 0.0 ? 0.0 : std::fmod(time_, period) + period;
        break;
    case SequenceDefinition::PINGPONG:
        time_ += direction_ * dt;
        // Negative lengths or delays would make the reflection below endless.
        if (!(period > 0.0) || length < 0.0 || delay < 0.0) {
            time_ = 0.0;
            break;
        }
        while (time_ < -delay / 2 || time_ > length + delay / 2) {
            time_ = std::fmod(time_, 2 * period);
            if (time_ < -delay / 2)
                time_ = -delay - time_;
            if (time_ > length + delay / 2)
                time_ = 2 * length + delay - time_;
            direction_ = -direction_;
        }
        break;
    case SequenceDefinition::NONE:
    default:
        time_ += dt;
        if (dt >= 0.0 && time_ > length)
            next();
        else if (dt < 0.0 && time_ < 0.0)
            finished_ = true;
        break;
    }
}

} // namespace vadu::lib3d::material
