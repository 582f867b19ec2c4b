// libFuzzer target: the particle-system loader over any bytes, and a few steps of birth
// and update of what it accepts. Built only with QUILLO_FUZZ (clang); run by `make fuzz`.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "vadu/exception.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/particles/particles.h"
#include "vadu/log.h"
#include "vadu/xml_reader.h"

namespace {

using namespace vadu;
using lib3d::particles::Particle;
using lib3d::particles::ParticleSystem;

struct Release {
    void operator()(ParticleSystem* system) const { system->release(); }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Refused names and parse errors are logged; the lines go nowhere here.
    logs::set_log(std::make_unique<logs::Stream>(nullptr));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    filesystem::MemoryStream stream(std::vector<uint8_t>(data, data + size));
    std::unique_ptr<ParticleSystem, Release> system(new ParticleSystem());
    bool loaded = false;
    try {
        xml::Root root(*system, "ParticleSystem");
        loaded = xml::StreamResource(&stream).load(root);
    } catch (const Gluck&) {
        return 0;
    }
    if (!loaded)
        return 0;
    // Small arrays keep each run quick; the update is the same for any size.
    const uint32_t count = std::min<uint32_t>(system->get_max_particles(), 16);
    std::vector<Particle> particles(count);
    for (int step = 0; step < 8; ++step) {
        for (Particle& particle : particles) {
            if (!particle.alive)
                system->init_particle(particle, math::Matrix4::identity());
        }
        system->update_particles(particles.data(), count, 0.125f * static_cast<float>(step % 3));
        for (const Particle& particle : particles)
            system->frame_uv(particle.age);
    }
    return 0;
}
