#include "vadu/lib3d/particles/particles.h"

#include <cfloat>
#include <cmath>
#include <iterator>

#include "platform/random.h"
#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/log.h"
#include "vadu/xml_reader.h"

namespace vadu::lib3d::particles {

namespace {

// Larger values cannot be meant and would only exhaust memory.
constexpr uint32_t max_particles_limit = 100000;
constexpr uint32_t max_frames_limit = 65536;

// Exactly `count` numbers; false leaves *value alone.
bool read_numbers(const String& text, int count, Value3* value)
{
    const char* p = text.data();
    const char* const end = text.data_end();
    Value3 parsed;
    for (int i = 0; i < count; ++i) {
        p = converter::parse_float(p, end, &parsed.v[i]);
        if (p == nullptr)
            return false;
    }
    while (p != end && (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r'))
        ++p;
    if (p != end)
        return false;
    *value = parsed;
    return true;
}

bool read_flag(const String& text, uint8_t* flag)
{
    bool value = false;
    if (!converter::convert(text, &value))
        return false;
    *flag = value ? 1 : 0;
    return true;
}

// Draws in the order z, y, x (y, x for two components).
Value3 draw_between(const Value3& low, const Value3& high, int count)
{
    Value3 result;
    for (int i = count - 1; i >= 0; --i)
        result.v[i] = low.v[i] + (high.v[i] - low.v[i]) * draw_unit();
    return result;
}

Value3 rotate(const math::Matrix4& m, const Value3& v)
{
    Value3 result;
    for (int row = 0; row < 3; ++row)
        result.v[row] = m[row * 4] * v.v[0] + m[row * 4 + 1] * v.v[1] + m[row * 4 + 2] * v.v[2];
    return result;
}

const char* const event_elements[] = {"RotationEvent", "TorqueEvent", "SizeEvent",    "ColorEvent",
                                      "AlphaEvent",    "GravityEvent", "VelocityEvent"};
const char* const event_kinds[] = {"ROTATION", "TORQUE", "SIZE", "COLOR", "ALPHA", "GRAVITY", "VELOCITY"};
const char* const start_elements[] = {"StartOrigin", "StartSize", "StartColor", "StartAngle", "StartAlpha"};
const char* const blend_words[] = {"BM_ALPHA", "BM_ADD", "BM_ADD_ALPHA"};

// "FrameRect": one rectangle in texels.
class FrameRectReader : public xml::ObjectANSI {
public:
    bool OnAttribute(xml::Provider&, const String& name, const String& value) override
    {
        if (name != "Value")
            return false;
        read = converter::to_rect(value, rect);
        return read;
    }
    float rect[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    bool read = false;
};

} // namespace

const Draw* Particle::draw_of(const Event& event) const
{
    const uint32_t slot = event.get_slot();
    return slot < draws.size() && draws[slot].drawn ? &draws[slot] : nullptr;
}

Draw& Particle::store_draw(const Event& event, const Draw& draw)
{
    const uint32_t slot = event.get_slot();
    if (slot >= draws.size())
        draws.resize(size_t{slot} + 1);
    Draw& stored = draws[slot];
    stored = draw;
    stored.drawn = true;
    return stored;
}

float draw_unit()
{
    return static_cast<float>(platform::random()) / static_cast<float>(platform::random_max);
}

// --- Event ---

bool Event::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "Time")
        return converter::convert(value, &time_);
    if (name == "Relative")
        return read_flag(value, &relative_);
    return false;
}

ValueEvent::ValueEvent(Kind kind) : kind_(kind)
{
    relative_ = kind == GRAVITY ? 0 : 1;
    if (kind == ALPHA)
        value_.v[0] = 1.0f;
}

bool ValueEvent::kind_of_element(const String& element, Kind* kind)
{
    for (size_t i = 0; i < std::size(event_elements); ++i) {
        if (element == event_elements[i]) {
            *kind = static_cast<Kind>(i);
            return true;
        }
    }
    return false;
}

Atom ValueEvent::kind_name() const
{
    static const Atom names[] = {Atom(event_kinds[0]), Atom(event_kinds[1]), Atom(event_kinds[2]), Atom(event_kinds[3]),
                                 Atom(event_kinds[4]), Atom(event_kinds[5]), Atom(event_kinds[6])};
    return names[kind_];
}

int ValueEvent::components() const
{
    switch (kind_) {
    case SIZE:
        return 2;
    case COLOR:
    case GRAVITY:
    case VELOCITY:
        return 3;
    default:
        return 1;
    }
}

bool ValueEvent::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "Value")
        return read_numbers(value, components(), &value_);
    if (kind_ != GRAVITY && (name == "RandomMin" || name == "RandomMax")) {
        random_ = 1;
        return read_numbers(value, components(), name == "RandomMin" ? &random_min_ : &random_max_);
    }
    if (kind_ == SIZE && name == "Homogeneous")
        return read_flag(value, &homogeneous_);
    if (kind_ == VELOCITY && name == "RotationRandom")
        return read_flag(value, &rotation_random_);
    if (kind_ == VELOCITY && name == "AffectedByRotation")
        return read_flag(value, &affected_by_rotation_);
    return Event::OnAttribute(provider, name, value);
}

Value3 ValueEvent::event_value(Particle& particle, const EventList& entries, size_t index) const
{
    const int count = components();
    if (random_) {
        if (const Draw* found = particle.draw_of(*this))
            return found->value;
        Draw draw;
        draw.offset = draw_between(random_min_, random_max_, count);
        if (kind_ == COLOR) {
            for (float& component : draw.offset.v)
                component = std::clamp(component, 0.0f, 1.0f);
        }
        if (kind_ == SIZE && homogeneous_)
            draw.offset.v[1] = draw.offset.v[0];
        if (kind_ == VELOCITY && rotation_random_) {
            draw.rotated = true;
            draw.rotation = math::Matrix4::rotation(draw.offset.v[0], draw.offset.v[1], draw.offset.v[2]);
            draw.value = rotate(draw.rotation, value_);
        } else {
            for (int i = 0; i < 3; ++i)
                draw.value.v[i] = value_.v[i] + draw.offset.v[i];
        }
        return particle.store_draw(*this, draw).value;
    }
    if (!relative_ || index == 0)
        return value_;
    // A relative key carries the random part the particle drew for the nearest key before it.
    for (size_t j = index; j-- > 0;) {
        const Draw* found = particle.draw_of(*entries[j].second);
        if (!found)
            continue;
        Draw draw = *found;
        if (draw.rotated) {
            draw.value = rotate(draw.rotation, value_);
        } else {
            for (int i = 0; i < 3; ++i)
                draw.value.v[i] = value_.v[i] + draw.offset.v[i];
        }
        return particle.store_draw(*this, draw).value;
    }
    return value_;
}

Value3 ValueEvent::cached(Particle& particle, Particle::Cache& cache, const EventList& entries, size_t index) const
{
    if (cache.time != entries[index].first) {
        const auto* event = static_cast<const ValueEvent*>(entries[index].second);
        cache.value = event->event_value(particle, entries, index);
        cache.time = entries[index].first;
    }
    return cache.value;
}

void ValueEvent::blend_to_next(Particle& particle, Value3& v, const EventList& entries, size_t current,
                               bool has_next, int cache) const
{
    if (!has_next || !entries[current + 1].second->is_relative())
        return;
    const float current_time = entries[current].first;
    const float next_time = entries[current + 1].first;
    const Value3 next = cached(particle, particle.next[cache], entries, current + 1);
    const float weight = (particle.age - current_time) / (next_time - current_time);
    for (int i = 0; i < 3; ++i)
        v.v[i] = v.v[i] + weight * (next.v[i] - v.v[i]);
}

void ValueEvent::apply(Particle& particle, float dt, const EventList& entries, size_t current, bool has_next) const
{
    float* p = particle.parameters;
    if (kind_ == GRAVITY) {
        Value3 v = value_;
        if (has_next && entries[current + 1].second->is_relative()) {
            const auto* next = static_cast<const ValueEvent*>(entries[current + 1].second);
            const float weight =
                (particle.age - entries[current].first) / (entries[current + 1].first - entries[current].first);
            for (int i = 0; i < 3; ++i)
                v.v[i] = v.v[i] + weight * (next->value_.v[i] - v.v[i]);
        }
        for (int i = 0; i < 3; ++i)
            p[Parameter::POS_X + i] += v.v[i] * dt;
        return;
    }
    static const int cache_of[] = {CACHE_ROTATION, CACHE_TORQUE, CACHE_SIZE, CACHE_COLOR, CACHE_ALPHA, 0, CACHE_VELOCITY};
    const int cache = cache_of[kind_];
    Value3 v = cached(particle, particle.current[cache], entries, current);
    const bool from_start = kind_ != TORQUE && kind_ != VELOCITY;
    // Younger than its first key: on the way there from the value at birth.
    const float key_time = entries[current].first;
    if (from_start && key_time > particle.age) {
        static const int first_parameter[] = {Parameter::ANGLE, 0, Parameter::WIDTH, Parameter::RED, Parameter::ALPHA, 0, 0};
        const float weight = particle.age / key_time;
        for (int i = 0; i < components(); ++i) {
            const float start = particle.start[first_parameter[kind_] + i];
            v.v[i] = start + weight * (v.v[i] - start);
        }
    }
    blend_to_next(particle, v, entries, current, has_next, cache);
    switch (kind_) {
    case ROTATION:
        p[Parameter::ANGLE] = v.v[0];
        break;
    case SIZE:
        p[Parameter::WIDTH] = v.v[0];
        p[Parameter::HEIGHT] = v.v[1];
        break;
    case COLOR:
        p[Parameter::RED] = v.v[0];
        p[Parameter::GREEN] = v.v[1];
        p[Parameter::BLUE] = v.v[2];
        break;
    case ALPHA:
        p[Parameter::ALPHA] = v.v[0];
        break;
    case TORQUE:
        p[Parameter::ANGLE] += v.v[0] * dt;
        break;
    case VELOCITY: {
        if (affected_by_rotation_) {
            // The particle's angle is kept in degrees.
            const float radians = p[Parameter::ANGLE] * 3.1415927f / 180.0f;
            v = rotate(math::Matrix4::rotation(0.0f, 0.0f, radians), v);
        }
        for (int i = 0; i < 3; ++i)
            p[Parameter::POS_X + i] += v.v[i] * dt;
        break;
    }
    default:
        break;
    }
}

// --- RandomParameter ---

bool RandomParameter::kind_of_element(const String& element, Kind* kind)
{
    for (size_t i = 0; i < std::size(start_elements); ++i) {
        if (element == start_elements[i]) {
            *kind = static_cast<Kind>(i);
            return true;
        }
    }
    return false;
}

int RandomParameter::components() const
{
    switch (kind_) {
    case ORIGIN:
    case COLOR:
        return 3;
    case SIZE:
        return 2;
    default:
        return 1;
    }
}

bool RandomParameter::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "Base")
        return read_numbers(value, components(), &base_);
    if (name == "RandomMin")
        return read_numbers(value, components(), &random_min_);
    if (name == "RandomMax")
        return read_numbers(value, components(), &random_max_);
    if (kind_ == SIZE && name == "Homogeneous")
        return read_flag(value, &homogeneous_);
    return false;
}

void RandomParameter::apply(Particle& particle) const
{
    float* p = particle.parameters;
    switch (kind_) {
    case ORIGIN: {
        const Value3 offset = draw_between(random_min_, random_max_, 3);
        for (int i = 0; i < 3; ++i)
            p[Parameter::POS_X + i] = base_.v[i] + offset.v[i];
        break;
    }
    case SIZE: {
        if (homogeneous_) {
            const float s = random_min_.v[0] + (random_max_.v[0] - random_min_.v[0]) * draw_unit();
            p[Parameter::WIDTH] = base_.v[0] + s;
            p[Parameter::HEIGHT] = base_.v[1] + s;
        } else {
            const Value3 offset = draw_between(random_min_, random_max_, 2);
            p[Parameter::WIDTH] = base_.v[0] + offset.v[0];
            p[Parameter::HEIGHT] = base_.v[1] + offset.v[1];
        }
        break;
    }
    case COLOR: {
        const Value3 offset = draw_between(random_min_, random_max_, 3);
        for (int i = 0; i < 3; ++i)
            p[Parameter::RED + i] = base_.v[i] + std::clamp(offset.v[i], 0.0f, 1.0f);
        break;
    }
    case ANGLE:
        p[Parameter::ANGLE] = base_.v[0] + draw_between(random_min_, random_max_, 1).v[0];
        break;
    case ALPHA:
        p[Parameter::ALPHA] = base_.v[0] + draw_between(random_min_, random_max_, 1).v[0];
        break;
    }
}

// --- ParticleSystem ---

ParticleSystem::ParticleSystem() = default;

ParticleSystem::~ParticleSystem()
{
    for (auto& [kind, entries] : events_) {
        for (EventEntry& entry : entries)
            entry.second->release();
    }
}

ParticleSystem* ParticleSystem::load_file(const filesystem::String& path, const char* function)
{
    std::unique_ptr<Stream> stream = filesystem::open(path);
    if (!stream)
        throw GluckBadResource(function, "Failed to load", path);
    auto* system = new ParticleSystem();
    bool loaded = false;
    try {
        xml::StreamResource resource(stream.get(), path);
        xml::Root root(*system, "ParticleSystem");
        loaded = resource.load(root);
    } catch (const Gluck&) {
        system->release();
        throw GluckBadResource(function, "Parse failed", path);
    } catch (...) {
        system->release();
        throw;
    }
    if (!loaded) {
        system->release();
        throw GluckBadResource(function, "Parse failed", path);
    }
    return system;
}

bool ParticleSystem::OnAttribute(xml::Provider&, const String& name, const String& value)
{
    if (name == "Name")
        return converter::convert(value, &name_);
    if (name == "MaxParticles")
        return converter::convert(value, &max_particles_) && max_particles_ <= max_particles_limit;
    if (name == "ParticlesLifetime")
        return converter::convert(value, &particles_lifetime_);
    if (name == "EmitterLifetime")
        return converter::convert(value, &emitter_lifetime_);
    if (name == "EmissionRate")
        return converter::convert(value, &emission_rate_);
    if (name == "EmissionCount")
        return converter::convert(value, &emission_count_);
    if (name == "ParentedToEmitter")
        return read_flag(value, &parented_to_emitter_);
    if (name == "Texture") {
        // The picture is read when a device first asks for it.
        texture_path_ = value;
        texture_.reset();
        frames_normalised_ = 0;
        return true;
    }
    if (name == "Frames") {
        uint32_t frames = 0;
        if (!converter::convert(value, &frames) || frames > max_frames_limit)
            return false;
        frames_.resize(frames);
        frames_normalised_ = 0;
        return true;
    }
    if (name == "FrameSize")
        return converter::convert(value, &frame_size_);
    if (name == "FrameDelay")
        return converter::convert(value, &frame_delay_);
    if (name == "Activate")
        return read_flag(value, &activate_);
    if (name == "BlendMode") {
        for (uint32_t i = 0; i < std::size(blend_words); ++i) {
            if (value == blend_words[i]) {
                blend_mode_ = i;
                return true;
            }
        }
        return false;
    }
    return false;
}

bool ParticleSystem::OnNode(xml::Provider& provider, const String& name)
{
    RandomParameter::Kind start_kind;
    if (RandomParameter::kind_of_element(name, &start_kind)) {
        auto start = std::make_unique<RandomParameter>(start_kind);
        if (!provider.ParseObject(*start))
            return false;
        starts_.push_back(std::move(start));
        return true;
    }
    ValueEvent::Kind event_kind;
    if (ValueEvent::kind_of_element(name, &event_kind)) {
        auto* event = new ValueEvent(event_kind);
        bool parsed = false;
        try {
            parsed = provider.ParseObject(*event);
        } catch (...) {
            event->release();
            throw;
        }
        if (parsed)
            insert_event(event);
        event->release();
        return parsed;
    }
    if (name == "FrameRect") {
        FrameRectReader reader;
        if (!provider.ParseObject(reader) || !reader.read)
            return false;
        if (!custom_frames_) {
            frames_.clear();
            custom_frames_ = 1;
        }
        if (frames_.size() >= max_frames_limit)
            return false;
        const float* r = reader.rect;
        frames_.push_back({r[0], r[1], r[0] + r[2], r[1] + r[3]});
        frames_normalised_ = 0;
        return true;
    }
    return false;
}

bool ParticleSystem::OnEndNode(xml::Provider&)
{
    if (max_particles_ == 0) {
        try {
            logs::log() << "Particle system \"" << name_ << "\" has MaxParticles 0: no particle is ever born\n";
        } catch (const Gluck&) {
        }
    }
    return true;
}

void ParticleSystem::insert_event(Event* event)
{
    event->set_slot(event_slots_++);
    const size_t kinds = events_.size();
    EventList& entries = events_[event->kind_name()];
    if (events_.size() != kinds) {
        event_lists_.clear();
        for (const auto& [kind, list] : events_)
            event_lists_.push_back(&list);
    }
    const float t = event->get_time();
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (std::fabs(it->first - t) < FLT_EPSILON) {
            event->add_ref();
            it->second->release();
            it->second = event;
            return;
        }
        if (it->first > t) {
            event->add_ref();
            entries.insert(it, EventEntry{t, event});
            return;
        }
    }
    event->add_ref();
    entries.push_back(EventEntry{t, event});
}

void ParticleSystem::init_particle(Particle& particle, const math::Matrix4& emitter_matrix) const
{
    particle.age = 0.0f;
    float* p = particle.parameters;
    std::fill(p, p + PARAMETER_COUNT, 0.0f);
    p[Parameter::WIDTH] = p[Parameter::HEIGHT] = 1.0f;
    p[Parameter::RED] = p[Parameter::GREEN] = p[Parameter::BLUE] = p[Parameter::ALPHA] = 1.0f;
    for (int i = 0; i < CACHE_COUNT; ++i) {
        particle.current[i] = Particle::Cache{};
        particle.next[i] = Particle::Cache{};
    }
    for (Draw& draw : particle.draws)
        draw.drawn = false;
    for (const auto& start : starts_)
        start->apply(particle);
    if (!parented_to_emitter_) {
        const math::Matrix4& m = emitter_matrix;
        const float x = p[Parameter::POS_X], y = p[Parameter::POS_Y], z = p[Parameter::POS_Z];
        p[Parameter::POS_X] = m[0] * x + m[1] * y + m[2] * z + m[3];
        p[Parameter::POS_Y] = m[4] * x + m[5] * y + m[6] * z + m[7];
        p[Parameter::POS_Z] = m[8] * x + m[9] * y + m[10] * z + m[11];
    }
    std::copy(p, p + PARAMETER_COUNT, particle.start);
    particle.alive = 1;
}

uint32_t ParticleSystem::update_particles(Particle* particles, uint32_t count, float dt) const
{
    uint32_t live = 0;
    for (uint32_t index = 0; index < count; ++index) {
        Particle& particle = particles[index];
        particle.age += dt;
        if (particles_lifetime_ > 0.0f && particle.age >= particles_lifetime_)
            particle.alive = 0;
        if (!particle.alive)
            continue;
        // Counted with or without events, so that an event-less effect draws.
        ++live;
        for (const EventList* list : event_lists_) {
            const EventList& entries = *list;
            size_t current = 0;
            bool found = false;
            for (size_t i = 0; i < entries.size(); ++i) {
                if (entries[i].first <= particle.age) {
                    current = i;
                    found = true;
                }
            }
            const bool has_next = found && current + 1 < entries.size();
            entries[current].second->apply(particle, dt, entries, current, has_next);
        }
    }
    return live;
}

std::array<float, 4> ParticleSystem::frame_uv(float age)
{
    if (frames_.empty())
        return {0.0f, 0.0f, 1.0f, 1.0f};
    if (!frames_normalised_) {
        material::TextureSimpleRep* rep = texture_ ? texture_->get_rep() : nullptr;
        const int32_t width = rep ? material::texture_width(*rep, false) : 0;
        const int32_t height = rep ? material::texture_height(*rep, false) : 0;
        if (width <= 0 || height <= 0)
            return {0.0f, 0.0f, 1.0f, 1.0f};
        const float w = static_cast<float>(width);
        const float h = static_cast<float>(height);
        if (!custom_frames_) {
            const float fw = frame_size_.x;
            const float fh = frame_size_.y;
            int32_t across = fw > 0.0f ? static_cast<int32_t>(w / fw) : 0;
            if (across <= 0)
                across = 1;
            for (size_t i = 0; i < frames_.size(); ++i) {
                const float column = static_cast<float>(static_cast<int32_t>(i) % across);
                const float row = static_cast<float>(static_cast<int32_t>(i) / across);
                frames_[i] = {column * fw / w, row * fh / h, (column * fw + fw) / w, (row * fh + fh) / h};
            }
        } else {
            for (auto& frame : frames_)
                frame = {frame[0] / w, frame[1] / h, frame[2] / w, frame[3] / h};
        }
        frames_normalised_ = 1;
    }
    // A delay of 0 (or less) means no frame animation: the first frame stays.
    size_t index = 0;
    if (frame_delay_ > 0.0f && age >= 0.0f) {
        const double steps = std::floor(static_cast<double>(age) / frame_delay_);
        index = std::isfinite(steps) ? static_cast<size_t>(std::fmod(steps, static_cast<double>(frames_.size()))) : 0;
    }
    return frames_[index];
}

hard::StageTexture* ParticleSystem::texture_for(hard::Hardware& hardware, hard::TextureStage& stage)
{
    stage = hard::TextureStage{};
    if (texture_path_.empty())
        return nullptr;
    if (!texture_) {
        texture_ = std::make_unique<material::TextureSimple>(
            Atom(), material::TextureSimpleLoader(filesystem::String(texture_path_, true), false));
    }
    texture_->apply(hardware, stage);
    stage.wrap = 0;
    stage.alpha = 1;
    return stage.texture;
}

} // namespace vadu::lib3d::particles
