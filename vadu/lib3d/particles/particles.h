#pragma once

// Particle effects: the description of one effect (a particle system, loaded from a
// ".particles" file or an emitter's child element), the timed events that change each
// particle over its life, and the particle records the emitter node owns.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <utility>
#include <vector>

#include "vadu/atom.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/material/texture.h"
#include "vadu/math.h"
#include "vadu/string.h"
#include "vadu/xml_object.h"

namespace vadu::lib3d::particles {

class Event;

// The ten parameters of a particle, in order.
enum Parameter : int { POS_X, POS_Y, POS_Z, WIDTH, HEIGHT, ANGLE, RED, GREEN, BLUE, ALPHA, PARAMETER_COUNT };

// The event kinds that keep a value cache per particle (gravity keeps none).
enum CachedKind : int { CACHE_ROTATION, CACHE_TORQUE, CACHE_SIZE, CACHE_COLOR, CACHE_ALPHA, CACHE_VELOCITY, CACHE_COUNT };

// A value of up to three components.
struct Value3 {
    float v[3] = {0.0f, 0.0f, 0.0f};
};

// An event's random draw for one particle: the offset drawn (or the rotation drawn, for
// a velocity with a random rotation) and the value that results.
struct Draw {
    // False: the event has drawn nothing for the particle yet.
    bool drawn = false;
    Value3 offset;
    bool rotated = false;
    math::Matrix4 rotation;
    Value3 value;
};

struct Particle {
    uint8_t alive = 0;
    float age = 0.0f;
    float parameters[PARAMETER_COUNT] = {};
    // As they were right after birth.
    float start[PARAMETER_COUNT] = {};
    struct Cache {
        float time = -1.0f;
        Value3 value;
    };
    Cache current[CACHE_COUNT];
    Cache next[CACHE_COUNT];
    // By the event's slot in its system. Kept (and only marked undrawn) when the record is
    // born again, so that births allocate nothing once every slot has been used.
    std::vector<Draw> draws;

    const Draw* draw_of(const Event& event) const;
    Draw& store_draw(const Event& event, const Draw& draw);
};

// One key of an event kind: its time and the event.
using EventEntry = std::pair<float, Event*>;
using EventList = std::vector<EventEntry>;

// A key on the timeline of a particle's life. Reference counted: the system's list holds
// one reference per entry.
class Event : public xml::ObjectANSI {
public:
    Event() = default;
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    // Applies the kind's change to the particle: `current` is the index of the current
    // entry in `entries` (the last whose time is not after the age, else the first, and
    // then there is no next entry).
    virtual void apply(Particle& particle, float dt, const EventList& entries, size_t current,
                       bool has_next) const = 0;
    virtual Atom kind_name() const = 0;
    float get_time() const noexcept { return time_; }
    bool is_relative() const noexcept { return relative_ != 0; }
    // Where a particle keeps this event's draw: given by the system that holds the event.
    uint32_t get_slot() const noexcept { return slot_; }
    void set_slot(uint32_t slot) noexcept { slot_ = slot; }

    void add_ref() noexcept { ++references_; }
    void release() noexcept
    {
        if (--references_ == 0)
            delete this;
    }

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

protected:
    ~Event() override = default;

    float time_ = 0.0f;
    uint8_t relative_ = 1;

private:
    int32_t references_ = 1;
    uint32_t slot_ = 0;
};

// "RotationEvent", "TorqueEvent", "SizeEvent", "ColorEvent", "AlphaEvent",
// "GravityEvent", "VelocityEvent": one class, told apart by the kind.
class ValueEvent : public Event {
public:
    enum Kind { ROTATION, TORQUE, SIZE, COLOR, ALPHA, GRAVITY, VELOCITY };

    explicit ValueEvent(Kind kind);
    // The kind of an element name; false for any other name.
    static bool kind_of_element(const String& element, Kind* kind);

    void apply(Particle& particle, float dt, const EventList& entries, size_t current, bool has_next) const override;
    Atom kind_name() const override;
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

    // The event's value for the particle, drawing or inheriting its random part.
    Value3 event_value(Particle& particle, const EventList& entries, size_t index) const;

private:
    int components() const;
    // The cached value of entry `index`, refreshed when the cache belongs to another key.
    Value3 cached(Particle& particle, Particle::Cache& cache, const EventList& entries, size_t index) const;
    // v blended towards the next entry when that one is Relative.
    void blend_to_next(Particle& particle, Value3& v, const EventList& entries, size_t current, bool has_next,
                       int cache) const;

    Kind kind_;
    Value3 value_;
    Value3 random_min_;
    Value3 random_max_;
    uint8_t random_ = 0;
    uint8_t homogeneous_ = 0;
    uint8_t rotation_random_ = 0;
    uint8_t affected_by_rotation_ = 0;
};

// A start initialiser: sets one parameter at birth from a base and a random offset.
class RandomParameter : public xml::ObjectANSI {
public:
    enum Kind { ORIGIN, SIZE, COLOR, ANGLE, ALPHA };
    explicit RandomParameter(Kind kind) : kind_(kind) {}
    static bool kind_of_element(const String& element, Kind* kind);

    void apply(Particle& particle) const;
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;

private:
    int components() const;

    Kind kind_;
    Value3 base_;
    Value3 random_min_;
    Value3 random_max_;
    uint8_t homogeneous_ = 0;
};

// A random number in [0, 1] from the engine's 15-bit generator.
float draw_unit();

class ParticleSystem : public xml::ObjectANSI {
public:
    ParticleSystem();
    ParticleSystem(const ParticleSystem&) = delete;
    ParticleSystem& operator=(const ParticleSystem&) = delete;

    // Loads a ".particles" file (root element "ParticleSystem"). Throws
    // vadu::GluckBadResource "Failed to load" or "Parse failed" from `function`.
    static ParticleSystem* load_file(const filesystem::String& path, const char* function);

    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    bool OnNode(xml::Provider& provider, const String& name) override;
    // A system that can never show a particle ("MaxParticles" 0) loads, with a log line.
    bool OnEndNode(xml::Provider& provider) override;

    // Births one particle; the matrix places it when it lives in world space.
    void init_particle(Particle& particle, const math::Matrix4& emitter_matrix) const;
    // Ages, kills and animates the particles; returns how many are alive.
    uint32_t update_particles(Particle* particles, uint32_t count, float dt) const;
    // The texture rectangle (left, top, right, bottom) of a particle of that age.
    std::array<float, 4> frame_uv(float age);
    // The device's texture, or null while it loads (or when there is none).
    hard::StageTexture* texture_for(hard::Hardware& hardware, hard::TextureStage& stage);

    void add_ref() noexcept { ++references_; }
    void release() noexcept
    {
        if (--references_ == 0)
            delete this;
    }

    const String& get_name() const noexcept { return name_; }
    uint32_t get_max_particles() const noexcept { return max_particles_; }
    float get_particles_lifetime() const noexcept { return particles_lifetime_; }
    float get_emitter_lifetime() const noexcept { return emitter_lifetime_; }
    float get_emission_rate() const noexcept { return emission_rate_; }
    uint32_t get_emission_count() const noexcept { return emission_count_; }
    bool is_parented_to_emitter() const noexcept { return parented_to_emitter_ != 0; }
    bool is_activate() const noexcept { return activate_ != 0; }
    uint32_t get_blend_mode() const noexcept { return blend_mode_; }
    float get_frame_delay() const noexcept { return frame_delay_; }
    const std::map<Atom, EventList>& get_events() const noexcept { return events_; }

private:
    ~ParticleSystem() override;
    void insert_event(Event* event);

    String name_;
    uint32_t max_particles_ = 0;
    float particles_lifetime_ = 0.0f;
    float emitter_lifetime_ = 0.0f;
    float emission_rate_ = 0.0f;
    uint32_t emission_count_ = 0;
    uint8_t parented_to_emitter_ = 1;
    String texture_path_;
    math::Vector2<float> frame_size_{0.0f, 0.0f};
    float frame_delay_ = 0.03f;
    uint8_t activate_ = 1;
    uint32_t blend_mode_ = hard::BM_ALPHA;
    std::vector<std::unique_ptr<RandomParameter>> starts_;
    std::map<Atom, EventList> events_;
    // The lists of events_ in its order, walked for every particle without the map.
    std::vector<const EventList*> event_lists_;
    // Slots handed to the events so far.
    uint32_t event_slots_ = 0;
    // Left, top, right, bottom: in texels until normalised.
    std::vector<std::array<float, 4>> frames_;
    uint8_t custom_frames_ = 0;
    uint8_t frames_normalised_ = 0;
    std::unique_ptr<material::TextureSimple> texture_;
    int32_t references_ = 1;
};

} // namespace vadu::lib3d::particles
