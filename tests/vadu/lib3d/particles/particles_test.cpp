#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "platform/random.h"
#include "vadu/lib3d/node/emitter.h"
#include "vadu/lib3d/particles/particles.h"
#include "../node/effects_test_support.h"

namespace particles_test {
namespace {

using effects_test::EffectsTest;
using vadu::lib3d::node::Node;
using vadu::lib3d::node::Emitter;
using vadu::lib3d::particles::Particle;
using vadu::lib3d::particles::ParticleSystem;
namespace particles = vadu::lib3d::particles;

struct SystemRelease {
    void operator()(ParticleSystem* system) const { system->release(); }
};
using SystemPtr = std::unique_ptr<ParticleSystem, SystemRelease>;

class ParticlesTest : public EffectsTest {
protected:
    ParticlesTest() { platform::seed_random(7); }

    // A system from the text of a ".particles" file.
    SystemPtr system(const std::string& text)
    {
        write("effect.particles", text);
        return SystemPtr(ParticleSystem::load_file(path("effect.particles"), "test"));
    }

    // One particle born from the system (at the origin) and run for `steps` of dt.
    Particle run(ParticleSystem& s, int steps, float dt)
    {
        Particle particle;
        s.init_particle(particle, vadu::math::Matrix4::identity());
        for (int i = 0; i < steps; ++i)
            s.update_particles(&particle, 1, dt);
        return particle;
    }

    Emitter* emitter(const std::string& system_text, const std::string& attributes = "")
    {
        return load_scene<Emitter>("<ParticlesEmitter Name=\"E\" " + attributes + ">" + system_text + "</ParticlesEmitter>",
                                   "E");
    }
};

TEST_F(ParticlesTest, BadParticleDataFailsTheLoad)
{
    const char* const cases[] = {
        R"(<ParticleSystem MaxParticles="4" BlendMode="bm_add"/>)",
        R"(<ParticleSystem MaxParticles="4" Colour="1 1 1"/>)",
        R"(<ParticleSystem MaxParticles="4"><Smoke/></ParticleSystem>)",
        R"(<ParticleSystem MaxParticles="4"><AlphaEvent Value="1" Speed="2"/></ParticleSystem>)",
        R"(<ParticleSystem MaxParticles="4"><GravityEvent Value="0 1 0" RandomMin="0 0 0"/></ParticleSystem>)",
        R"(<ParticleSystem MaxParticles="4"><ColorEvent Value="1 1"/></ParticleSystem>)",
        R"(<ParticleSystem MaxParticles="4"><FrameRect/></ParticleSystem>)",
        R"(<ParticleSystem MaxParticles="4000000000"/>)",
        R"(<ParticleSystem Frames="4000000000"/>)",
        R"(<ParticleSystem MaxParticles="4">)",
        R"(<Particles MaxParticles="4"/>)",
    };
    for (const char* text : cases) {
        try {
            system(text);
            ADD_FAILURE() << "loaded: " << text;
        } catch (const vadu::GluckBadResource& error) {
            EXPECT_EQ(scene_test::to_std(error.get_description()), "Parse failed") << text;
        }
    }
    try {
        ParticleSystem::load_file(path("nowhere.particles"), "test");
        ADD_FAILURE() << "a missing file loaded";
    } catch (const vadu::GluckBadResource& error) {
        EXPECT_EQ(scene_test::to_std(error.get_description()), "Failed to load");
    }
    // Through a scene: the emitter's attribute names the file.
    write("bad.scene", R"(<Scene><ParticlesEmitter ParticleSystem="nowhere.particles"/></Scene>)");
    EXPECT_THROW(load("bad.scene"), vadu::GluckBadResource);
}

TEST_F(ParticlesTest, AttributesAndBlendModesAreRead)
{
    const struct {
        const char* mode;
        uint32_t value;
    } modes[] = {{"BM_ALPHA", vadu::lib3d::hard::BM_ALPHA}, {"BM_ADD", vadu::lib3d::hard::BM_ADD},
                 {"BM_ADD_ALPHA", vadu::lib3d::hard::BM_ADD_ALPHA}};
    for (const auto& m : modes) {
        SystemPtr s = system(std::string(R"(<ParticleSystem Name="Spark" MaxParticles="12" ParticlesLifetime="1.5" EmitterLifetime="3" EmissionRate="0.25" EmissionCount="2" ParentedToEmitter="false" Activate="false" FrameDelay="0.5" BlendMode=")") +
                             m.mode + "\"/>");
        EXPECT_EQ(s->get_blend_mode(), m.value) << m.mode;
        EXPECT_EQ(s->get_max_particles(), 12u);
        EXPECT_EQ(s->get_emission_count(), 2u);
        EXPECT_FLOAT_EQ(s->get_emission_rate(), 0.25f);
        EXPECT_FALSE(s->is_parented_to_emitter());
        EXPECT_FALSE(s->is_activate());
        EXPECT_EQ(scene_test::to_std(s->get_name()), "Spark");
    }
}

TEST_F(ParticlesTest, EventsAreKeptInTimeOrderAndASecondKeyAtTheSameTimeReplacesTheFirst)
{
    SystemPtr s = system(R"(<ParticleSystem MaxParticles="1">
        <RotationEvent Time="2" Value="20"/>
        <RotationEvent Time="0" Value="0"/>
        <RotationEvent Time="1" Value="10"/>
        <RotationEvent Time="1" Value="15"/>
        <AlphaEvent Time="0"/>
      </ParticleSystem>)");
    const auto& events = s->get_events();
    ASSERT_EQ(events.size(), 2u);
    const particles::EventList& rotation = events.at(vadu::Atom("ROTATION"));
    ASSERT_EQ(rotation.size(), 3u);
    EXPECT_EQ(rotation[0].first, 0.0f);
    EXPECT_EQ(rotation[1].first, 1.0f);
    EXPECT_EQ(rotation[2].first, 2.0f);
    // The replacing key's value: 15 at age 1.
    EXPECT_NEAR(run(*s, 4, 0.25f).parameters[particles::ANGLE], 15.0f, 1e-4f);
    // An alpha event without a value sets alpha 1.
    EXPECT_EQ(run(*s, 1, 0.1f).parameters[particles::ALPHA], 1.0f);
}

TEST_F(ParticlesTest, KeysBlendTowardsRelativeKeysOnlyAndFromTheStartBeforeTheFirst)
{
    const struct {
        const char* events;
        int steps;
        float dt;
        int parameter;
        float expected;
    } cases[] = {
        {R"(<AlphaEvent Time="0" Value="1"/><AlphaEvent Time="2" Value="0"/>)", 4, 0.25f, particles::ALPHA, 0.5f},
        {R"(<AlphaEvent Time="0" Value="1"/><AlphaEvent Time="2" Value="0" Relative="false"/>)", 4, 0.25f,
         particles::ALPHA, 1.0f},
        {R"(<AlphaEvent Time="0" Value="1"/><AlphaEvent Time="2" Value="0" Relative="false"/>)", 9, 0.25f,
         particles::ALPHA, 0.0f},
        {R"(<StartSize Base="2 2"/><SizeEvent Time="1" Value="4 4"/>)", 2, 0.25f, particles::WIDTH, 3.0f},
        {R"(<StartSize Base="2 2"/><SizeEvent Time="1" Value="4 4"/>)", 2, 0.25f, particles::HEIGHT, 3.0f},
        {R"(<TorqueEvent Time="0" Value="90"/>)", 4, 0.25f, particles::ANGLE, 90.0f},
        {R"(<ColorEvent Time="0" Value="1 0 0"/><ColorEvent Time="1" Value="0 0 1"/>)", 2, 0.25f, particles::RED,
         0.5f},
        {R"(<GravityEvent Time="0" Value="0 -10 0"/>)", 4, 0.25f, particles::POS_Y, -10.0f},
        {R"(<GravityEvent Time="5" Value="0 -10 0"/>)", 2, 0.5f, particles::POS_Y, -10.0f},
        {R"(<VelocityEvent Time="0" Value="4 0 0"/>)", 2, 0.25f, particles::POS_X, 2.0f},
        // The angle is in degrees: a quarter turn sends the velocity along y.
        {R"(<StartAngle Base="90"/><VelocityEvent Time="0" Value="4 0 0" AffectedByRotation="true"/>)", 2, 0.25f,
         particles::POS_Y, 2.0f},
        {R"(<StartAngle Base="90"/><VelocityEvent Time="0" Value="4 0 0" AffectedByRotation="true"/>)", 2, 0.25f,
         particles::POS_X, 0.0f},
    };
    for (const auto& c : cases) {
        SystemPtr s = system(std::string(R"(<ParticleSystem MaxParticles="1">)") + c.events + "</ParticleSystem>");
        const Particle particle = run(*s, c.steps, c.dt);
        EXPECT_NEAR(particle.parameters[c.parameter], c.expected, 1e-4f) << c.events << " after " << c.steps;
    }
}

TEST_F(ParticlesTest, ARandomKeyLendsItsDrawToTheRelativeKeysAfterIt)
{
    SystemPtr s = system(R"(<ParticleSystem MaxParticles="2">
        <RotationEvent Time="0" Value="0" RandomMin="0" RandomMax="90"/>
        <RotationEvent Time="1" Value="100"/>
      </ParticleSystem>)");
    std::vector<float> offsets;
    // One record born twice: the second birth draws afresh.
    Particle particle;
    for (int i = 0; i < 2; ++i) {
        s->init_particle(particle, vadu::math::Matrix4::identity());
        s->update_particles(&particle, 1, 0.0f);
        const float first = particle.parameters[particles::ANGLE];
        for (int step = 0; step < 4; ++step)
            s->update_particles(&particle, 1, 0.25f);
        EXPECT_NEAR(particle.parameters[particles::ANGLE], 100.0f + first, 1e-3f);
        offsets.push_back(first);
    }
    EXPECT_NE(offsets[0], offsets[1]);
    // The same seed, the same draws.
    platform::seed_random(7);
    Particle again;
    s->init_particle(again, vadu::math::Matrix4::identity());
    s->update_particles(&again, 1, 0.0f);
    EXPECT_EQ(again.parameters[particles::ANGLE], offsets[0]);
}

TEST_F(ParticlesTest, EmissionByRateAndCount)
{
    Emitter* e = emitter(R"(<ParticleSystem MaxParticles="100" EmissionRate="0.5" EmissionCount="3"/>)");
    ASSERT_NE(e, nullptr);
    for (int frame = 0; frame < 10; ++frame)
        e->update(0.2);
    // Two seconds at one batch of three per half second, give or take the batch the
    // random start phase moves across the end.
    EXPECT_GE(e->get_live_count(), 9u);
    EXPECT_LE(e->get_live_count(), 15u);
    EXPECT_EQ(e->get_live_count() % 3, 0u);

    Emitter* every_frame = emitter(R"(<ParticleSystem MaxParticles="5" EmissionCount="2"/>)");
    ASSERT_NE(every_frame, nullptr);
    const uint32_t expected[] = {2, 4, 5, 5};
    for (uint32_t count : expected) {
        every_frame->update(0.1);
        EXPECT_EQ(every_frame->get_live_count(), count);
    }
}

TEST_F(ParticlesTest, ParticlesDieAtTheirLifetimeAndTheEmitterLeavesOnceAllAreGone)
{
    vadu::animate::Soul::update_all(0.0);
    Emitter* e = emitter(
        R"(<ParticleSystem MaxParticles="4" EmissionCount="1" EmissionRate="10" ParticlesLifetime="1" EmitterLifetime="0.5"/>)");
    ASSERT_NE(e, nullptr);
    Node* parent = e->get_parent();
    // The rate of 10 s makes the random start phase the only birth chance: force one.
    e->update(10.0);
    EXPECT_EQ(e->get_live_count(), 0u) << "born and dead past the lifetime at once";
    EXPECT_EQ(parent->find_child("E", false), e);

    Emitter* second = emitter(
        R"(<ParticleSystem MaxParticles="4" EmissionCount="1" ParticlesLifetime="1" EmitterLifetime="0.25"/>)");
    ASSERT_NE(second, nullptr);
    parent = second->get_parent();
    for (int frame = 0; frame < 4; ++frame)
        vadu::animate::Soul::update_all(0.1);
    // Emitting stopped at 0.25 s, after two births; the particles live on, and so does
    // the emitter, though the system has no events.
    EXPECT_EQ(second->get_live_count(), 2u);
    EXPECT_EQ(parent->find_child("E", false), second);
    for (int frame = 0; frame < 8; ++frame)
        vadu::animate::Soul::update_all(0.1);
    EXPECT_EQ(parent->find_child("E", false), nullptr) << "the emitter removed itself";
}

TEST_F(ParticlesTest, AnEndlessEmitterStays)
{
    Emitter* e = emitter(R"(<ParticleSystem MaxParticles="2" EmissionCount="1" ParticlesLifetime="0.1"/>)");
    ASSERT_NE(e, nullptr);
    Node* parent = e->get_parent();
    for (int frame = 0; frame < 20; ++frame)
        vadu::animate::Soul::update_all(0.2);
    EXPECT_EQ(parent->find_child("E", false), e);
}

TEST_F(ParticlesTest, PausedAndInactiveEmitters)
{
    Emitter* e = emitter(R"(<ParticleSystem MaxParticles="10" EmissionCount="1"><TorqueEvent Value="10"/></ParticleSystem>)");
    ASSERT_NE(e, nullptr);
    e->update(0.5);
    ASSERT_EQ(e->get_live_count(), 1u);
    e->pause();
    e->update(0.5);
    e->update(0.5);
    // No births and no ageing of the emitter, but the particle still turns.
    EXPECT_EQ(e->get_live_count(), 1u);
    EXPECT_FLOAT_EQ(e->get_emitter_age(), 0.5f);
    EXPECT_NEAR(e->get_particles()[0].parameters[particles::ANGLE], 15.0f, 1e-4f);

    Emitter* inactive =
        emitter(R"(<ParticleSystem MaxParticles="10" EmissionCount="1" Activate="false"><TorqueEvent Value="10"/></ParticleSystem>)");
    ASSERT_NE(inactive, nullptr);
    EXPECT_TRUE(inactive->is_paused());
    inactive->update(0.5);
    EXPECT_EQ(inactive->get_live_count(), 0u);
    EXPECT_EQ(inactive->get_particles(), nullptr);

    Emitter* loaded_paused = emitter(R"(<ParticleSystem MaxParticles="10" EmissionCount="1"/>)", R"(Paused="true")");
    ASSERT_NE(loaded_paused, nullptr);
    EXPECT_TRUE(loaded_paused->is_paused());
}

TEST_F(ParticlesTest, WorldSpaceParticlesStayWhereTheyWereBorn)
{
    for (const bool parented : {true, false}) {
        Emitter* e = emitter(std::string(R"(<ParticleSystem MaxParticles="1" EmissionCount="1" ParentedToEmitter=")") +
                                 (parented ? "true" : "false") + R"("><StartOrigin Base="1 0 0"/></ParticleSystem>)",
                             R"(Position="10 20 0")");
        ASSERT_NE(e, nullptr);
        render();
        e->update(0.1);
        const float* p = e->get_particles()[0].parameters;
        EXPECT_EQ(p[particles::POS_X], parented ? 1.0f : 11.0f);
        EXPECT_EQ(p[particles::POS_Y], parented ? 0.0f : 20.0f);
        e->set_position(vadu::math::Vector3{50.0f, 0.0f, 0.0f});
        render();
        e->update(0.1);
        EXPECT_EQ(e->get_particles()[0].parameters[particles::POS_X], parented ? 1.0f : 11.0f);
    }
}

TEST_F(ParticlesTest, ALargerSystemLaterGetsALargerArray)
{
    Emitter* e = emitter(R"(<ParticleSystem MaxParticles="2" EmissionCount="2"/>)");
    ASSERT_NE(e, nullptr);
    e->update(0.1);
    ASSERT_EQ(e->get_live_count(), 2u);
    SystemPtr larger = system(R"(<ParticleSystem MaxParticles="50" EmissionCount="10"/>)");
    e->set_particle_system(larger.get());
    EXPECT_EQ(e->get_particle_count(), 50u);
    for (int frame = 0; frame < 6; ++frame)
        e->update(0.1);
    EXPECT_EQ(e->get_live_count(), 50u);
}

TEST_F(ParticlesTest, ClonesShareTheSystemAndStartAfresh)
{
    Emitter* e = emitter(R"(<ParticleSystem MaxParticles="3" EmissionCount="1"/>)");
    ASSERT_NE(e, nullptr);
    e->update(0.1);
    std::unique_ptr<Node> copy(e->clone());
    auto& cloned = dynamic_cast<Emitter&>(*copy);
    EXPECT_EQ(cloned.get_particle_system(), e->get_particle_system());
    EXPECT_EQ(cloned.get_particles(), nullptr);
    EXPECT_EQ(cloned.get_live_count(), 0u);
    EXPECT_EQ(cloned.get_type_name(), vadu::Atom("Emitter"));
    EXPECT_EQ(cloned.get_element_name(), vadu::Atom("ParticlesEmitter"));
}

TEST_F(ParticlesTest, FrameDelayZeroShowsTheFirstFrame)
{
    SystemPtr s = system(R"(<ParticleSystem MaxParticles="1" FrameDelay="0" Frames="4" FrameSize="8 8"/>)");
    // Without a texture the whole picture is the frame, never an unset one.
    const std::array<float, 4> whole{0.0f, 0.0f, 1.0f, 1.0f};
    EXPECT_EQ(s->frame_uv(0.0f), whole);
    EXPECT_EQ(s->frame_uv(3.7f), whole);
}

} // namespace
} // namespace particles_test
