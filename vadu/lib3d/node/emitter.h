#pragma once

// The scene node that plays a particle system: it ages itself, bears particles at the
// system's rate, animates them through the system's events, draws the live ones as
// textured, coloured quads, and removes itself once its lifetime is over and no particle
// is left. Written to scenes as "ParticlesEmitter".

#include <cstdint>
#include <memory>

#include "vadu/lib3d/node/coloured_buffers.h"
#include "vadu/lib3d/node/node.h"
#include "vadu/lib3d/particles/particles.h"

namespace vadu::lib3d::node {

class Emitter : public Node {
public:
    Emitter(const Atom& name, Node* parent);
    // Shares the system; no particles, not paused, a fresh emission phase.
    Emitter(const Emitter& other);
    ~Emitter() override;

    // "Emitter".
    Atom get_type_name() const override;
    Node* clone() const override;
    void render_to_list(hard::Hardware& hardware, hard::RenderList& list) override;
    void update(double dt) override;

    // "ParticleSystem" (a file; vadu::GluckBadResource "Failed to load" or "Parse
    // failed") and "Paused".
    bool OnAttribute(xml::Provider& provider, const String& name, const String& value) override;
    // "ParticleSystem": a system described in place.
    bool OnNode(xml::Provider& provider, const String& name) override;
    // "ParticleSystem" naming the file the system came from, so a saved scene plays it
    // again; a system described in place or set by code has no file to name. "Paused"
    // when the reloaded emitter would otherwise not be paused as this one is.
    void OnSaveAttributes(xml::Saver& saver) override;

    // Takes a reference of its own; null removes the system. The system has no file.
    void set_particle_system(particles::ParticleSystem* system);
    particles::ParticleSystem* get_particle_system() const noexcept { return system_; }
    void pause() { paused_ = 1; }
    bool is_paused() const noexcept { return paused_ != 0; }
    uint32_t get_live_count() const noexcept { return live_count_; }
    uint32_t get_particle_count() const noexcept { return particle_count_; }
    float get_emitter_age() const noexcept { return emitter_age_; }
    // Null before the first emission.
    particles::Particle* get_particles() const noexcept { return particles_.get(); }

    // Fills every device's buffer with the live particles (vadu::Gluck
    // "VertexBuffer::update() failed" when one refuses). Particles born in world space
    // are written relative to record_depth() in z, by which their record is translated.
    void update_buffer(hard::RenderList& list);
    // The z translation of the record: for particles born in world space, the first
    // particle record's start z (the depth the record sorts at); 0 otherwise.
    float record_depth() const;
    // The device's buffer that update_buffer fills; null before the device manager exists.
    hard::VertexBuffer* get_buffer(hard::Hardware& hardware) { return buffers_.buffer_for(hardware); }

private:
    // The system just set: array size, emission phase, pause.
    void adopt_system();

    ColouredBuffers buffers_;
    particles::ParticleSystem* system_ = nullptr;
    // The "ParticleSystem" file the current system was loaded from; empty when none.
    String system_path_;
    std::unique_ptr<particles::Particle[]> particles_;
    // The size of particles_ once made.
    uint32_t array_size_ = 0;
    uint32_t particle_count_ = 0;
    uint32_t live_count_ = 0;
    float accumulator_ = 0.0f;
    float emitter_age_ = 0.0f;
    uint8_t paused_ = 0;
    bool deletion_queued_ = false;
    // What update_buffer hands the devices, kept between frames.
    hard::FloatArray positions_;
    hard::FloatArray colours_;
    hard::FloatArray uvs_;
};

} // namespace vadu::lib3d::node
