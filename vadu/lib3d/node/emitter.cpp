#include "vadu/lib3d/node/emitter.h"

#include <cmath>

#include "vadu/converter.h"
#include "vadu/exception.h"
#include "vadu/lib3d/hard/render_list.h"
#include "vadu/lib3d/node/camera.h"
#include "vadu/xml_writer.h"

namespace vadu::lib3d::node {

namespace {

using particles::Particle;

math::Matrix4 multiply(const math::Matrix4& a, const math::Matrix4& b)
{
    math::Matrix4 result = a;
    result *= b;
    return result;
}

} // namespace

Emitter::Emitter(const Atom& name, Node* parent) : Node(name, parent)
{
    element_name_ = Atom("ParticlesEmitter");
}

Emitter::Emitter(const Emitter& other) : xml::Object(other), animate::Soul(other), Node(other), buffers_(other.buffers_), system_path_(other.system_path_)
{
    if (other.system_) {
        system_ = other.system_;
        system_->add_ref();
        adopt_system();
        paused_ = 0;
    }
}

Emitter::~Emitter()
{
    if (system_)
        system_->release();
}

Atom Emitter::get_type_name() const
{
    static const Atom type("Emitter");
    return type;
}

Node* Emitter::clone() const
{
    return new Emitter(*this);
}

void Emitter::set_particle_system(particles::ParticleSystem* system)
{
    if (system)
        system->add_ref();
    if (system_)
        system_->release();
    system_ = system;
    system_path_ = String();
    if (system_)
        adopt_system();
}

void Emitter::adopt_system()
{
    particle_count_ = system_->get_max_particles();
    // A larger system than the array made for the last one needs a new array.
    if (particles_ && array_size_ < particle_count_) {
        particles_.reset();
        array_size_ = 0;
        live_count_ = 0;
    }
    // Emitters started together do not emit in step.
    accumulator_ = system_->get_emission_rate() * particles::draw_unit();
    if (!system_->is_activate())
        paused_ = 1;
}

bool Emitter::OnAttribute(xml::Provider& provider, const String& name, const String& value)
{
    if (name == "ParticleSystem") {
        particles::ParticleSystem* system = particles::ParticleSystem::load_file(
            filesystem::String(value, true), "vadu::lib3d::node::Emitter::OnAttribute");
        set_particle_system(system);
        system->release();
        system_path_ = value;
        return true;
    }
    if (name == "Paused") {
        bool flag = false;
        if (!converter::convert(value, &flag))
            return false;
        paused_ = flag ? 1 : 0;
        return true;
    }
    return Node::OnAttribute(provider, name, value);
}

bool Emitter::OnNode(xml::Provider& provider, const String& name)
{
    if (name != "ParticleSystem")
        return Node::OnNode(provider, name);
    auto* system = new particles::ParticleSystem();
    bool parsed = false;
    try {
        parsed = provider.ParseObject(*system);
    } catch (...) {
        system->release();
        throw;
    }
    if (parsed)
        set_particle_system(system);
    system->release();
    return parsed;
}

void Emitter::OnSaveAttributes(xml::Saver& saver)
{
    const bool named_system = system_ && !system_path_.empty();
    if (named_system)
        saver.write_attribute("ParticleSystem", system_path_);
    // After the system, whose "Activate" false would pause a reloaded emitter: written
    // whenever the reload would not come to the same state by itself.
    const bool paused_on_load = named_system && !system_->is_activate();
    if ((paused_ != 0) != paused_on_load)
        saver.write_attribute("Paused", paused_ ? "true" : "false");
    Node::OnSaveAttributes(saver);
}

void Emitter::update(double dt)
{
    Node::update(dt);
    const float step = static_cast<float>(dt);
    if (!paused_)
        emitter_age_ += step;
    if (!system_)
        return;
    const math::Matrix4 world = get_global_matrix(false);
    const float lifetime = system_->get_emitter_lifetime();
    if ((emitter_age_ < lifetime || lifetime == 0.0f) && !paused_) {
        if (!particles_) {
            particles_ = std::make_unique<Particle[]>(particle_count_);
            array_size_ = particle_count_;
        }
        const float rate = system_->get_emission_rate();
        const float t = accumulator_ + step;
        if (t < rate) {
            accumulator_ = t;
        } else {
            uint64_t births = 0;
            float remainder = 0.0f;
            if (rate <= 0.0f) {
                births = system_->get_emission_count();
            } else {
                const double batches = std::floor(static_cast<double>(t) / rate);
                births = static_cast<uint64_t>(std::min(batches, 1e9)) * system_->get_emission_count();
                remainder = std::fmod(t, rate);
            }
            for (uint32_t i = 0; i < particle_count_ && births > 0; ++i) {
                if (particles_[i].alive)
                    continue;
                system_->init_particle(particles_[i], world);
                --births;
            }
            accumulator_ = remainder;
        }
    }
    if (system_->is_activate() && particles_)
        live_count_ = system_->update_particles(particles_.get(), particle_count_, step);
    if (lifetime != 0.0f && emitter_age_ >= lifetime && live_count_ == 0 && !deletion_queued_) {
        deletion_queued_ = true;
        delete_later();
    }
}

void Emitter::update_buffer(hard::RenderList& list)
{
    // The arrays are kept from frame to frame: an effect-heavy frame then fills them
    // without allocating.
    const size_t vertices = size_t{live_count_} * 6;
    positions_.resize(vertices * 3);
    colours_.resize(vertices * 4);
    uvs_.resize(vertices * 2);
    const Camera* camera = get_current_camera();
    const bool parallel = !camera || camera->is_parallel();
    math::Matrix4 facing = math::Matrix4::identity();
    if (!parallel) {
        math::Matrix4 turn = multiply(math::inverse(list.camera_matrix), get_cached_global_matrix());
        turn[3] = turn[7] = turn[11] = 0.0f;
        facing = math::inverse(turn);
    }
    // World-space particles already carry their depth; the record is translated by the
    // depth it sorts at (see render_to_list), so the vertices stand relative to it.
    const float depth = record_depth();
    constexpr float degrees_to_radians = 3.1415927f / 180.0f;
    float* position = positions_.data();
    float* colour = colours_.data();
    float* uv_out = uvs_.data();
    uint32_t written = 0;
    for (uint32_t i = 0; i < particle_count_ && written < live_count_; ++i) {
        const Particle& particle = particles_[i];
        if (!particle.alive)
            continue;
        ++written;
        const float* p = particle.parameters;
        const float hw = p[particles::WIDTH] * 0.5f;
        const float hh = p[particles::HEIGHT] * 0.5f;
        // The corners' x and y axes after the turn about z (and, for a perspective camera,
        // the facing matrix): corner (x, y) lands at x·ax + y·ay.
        float ax[3] = {1.0f, 0.0f, 0.0f};
        float ay[3] = {0.0f, 1.0f, 0.0f};
        if (p[particles::ANGLE] != 0.0f) {
            const math::Matrix4 turn = math::Matrix4::rotation(0.0f, 0.0f, p[particles::ANGLE] * degrees_to_radians);
            for (int row = 0; row < 3; ++row) {
                ax[row] = turn[row * 4];
                ay[row] = turn[row * 4 + 1];
            }
        }
        if (!parallel) {
            const float x[3] = {ax[0], ax[1], ax[2]};
            const float y[3] = {ay[0], ay[1], ay[2]};
            for (int row = 0; row < 3; ++row) {
                const float* m = &facing[row * 4];
                ax[row] = m[0] * x[0] + m[1] * x[1] + m[2] * x[2];
                ay[row] = m[0] * y[0] + m[1] * y[1] + m[2] * y[2];
            }
        }
        const float corners[4][2] = {{-hw, -hh}, {-hw, hh}, {hw, hh}, {hw, -hh}};
        float placed[4][3];
        for (int c = 0; c < 4; ++c) {
            for (int row = 0; row < 3; ++row)
                placed[c][row] = ax[row] * corners[c][0] + ay[row] * corners[c][1] + p[particles::POS_X + row];
        }
        const std::array<float, 4> uv = system_->frame_uv(particle.age);
        // left, top, right, bottom
        const float corner_uv[4][2] = {{uv[0], uv[1]}, {uv[0], uv[3]}, {uv[2], uv[3]}, {uv[2], uv[1]}};
        static const int order[6] = {0, 1, 2, 2, 3, 0};
        for (int c : order) {
            position[0] = placed[c][0];
            position[1] = placed[c][1];
            position[2] = placed[c][2] - depth;
            position += 3;
            colour[0] = p[particles::RED];
            colour[1] = p[particles::GREEN];
            colour[2] = p[particles::BLUE];
            colour[3] = p[particles::ALPHA];
            colour += 4;
            uv_out[0] = corner_uv[c][0];
            uv_out[1] = corner_uv[c][1];
            uv_out += 2;
        }
    }
    // Fewer live particles than counted (never expected): the arrays end where they do.
    const size_t filled = size_t{written} * 6;
    positions_.resize(filled * 3);
    colours_.resize(filled * 4);
    uvs_.resize(filled * 2);
    buffers_.fill_all(positions_, colours_, uvs_, "vadu::lib3d::node::Emitter::update_buffer",
                      "VertexBuffer::update() failed");
}

float Emitter::record_depth() const
{
    if (!system_ || system_->is_parented_to_emitter() || !particles_)
        return 0.0f;
    return particles_[0].start[particles::POS_Z];
}

void Emitter::render_to_list(hard::Hardware& hardware, hard::RenderList& list)
{
    if (!particles_ || live_count_ == 0 || !system_)
        return;
    hard::VertexBuffer* buffer = buffers_.buffer_for(hardware);
    if (!buffer)
        return;
    hard::RenderRecord record;
    if (!system_->texture_for(hardware, record.stages[1]))
        return;
    update_buffer(list);
    record.transparency = 0.001f;
    if (system_->is_parented_to_emitter()) {
        record.world = get_cached_global_matrix();
    } else {
        record.world = math::Matrix4::identity();
        record.world[11] = record_depth();
    }
    record.vertex_buffer = buffer;
    record.first_primitive = 0;
    record.primitive_count = 2 * live_count_;
    record.first_vertex = 0;
    record.vertex_count = 6 * live_count_;
    record.blend_mode = system_->get_blend_mode();
    list.add_record(record);
}

} // namespace vadu::lib3d::node
