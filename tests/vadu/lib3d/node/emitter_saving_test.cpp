#include <gtest/gtest.h>

#include <string>

#include "effects_test_support.h"
#include "vadu/lib3d/node/emitter.h"

namespace effects_test {
namespace {

using vadu::lib3d::node::Emitter;

class EmitterSavingTest : public EffectsTest {
protected:
    EmitterSavingTest()
    {
        write("fx/spark.particles", R"(<ParticleSystem Name="Spark" MaxParticles="3"/>)");
        write("fx/idle.particles", R"(<ParticleSystem Name="Idle" MaxParticles="3" Activate="false"/>)");
    }

    static std::string system_name(const Emitter& emitter)
    {
        return emitter.get_particle_system() ? scene_test::to_std(emitter.get_particle_system()->get_name()) : "";
    }
};

TEST_F(EmitterSavingTest, SavedSceneNamesTheSystemFileAndLoadsItAgain)
{
    const struct {
        const char* emitter;
        const char* system;
    } cases[] = {
        {R"(<ParticlesEmitter Name="E" ParticleSystem="fx/spark.particles"/>)", "Spark"},
        // A system described in place replaces the file's and has no file to name.
        {R"(<ParticlesEmitter Name="E" ParticleSystem="fx/spark.particles"><ParticleSystem MaxParticles="2"/></ParticlesEmitter>)",
         ""},
    };
    for (const auto& c : cases) {
        Emitter* emitter = load_scene<Emitter>(c.emitter, "E");
        ASSERT_NE(emitter, nullptr) << c.emitter;
        const std::string text = save(*scene);
        write("again.scene", text);
        std::unique_ptr<Node> again = load("again.scene");
        auto* reloaded = dynamic_cast<Emitter*>(again->find_child("E", true));
        ASSERT_NE(reloaded, nullptr) << text;
        EXPECT_EQ(reloaded->get_element_name(), vadu::Atom("ParticlesEmitter"));
        EXPECT_EQ(system_name(*reloaded), c.system) << text;
        if (*c.system)
            EXPECT_NE(text.find(R"(ParticleSystem="fx/spark.particles")"), std::string::npos) << text;
        else
            EXPECT_EQ(text.find("ParticleSystem="), std::string::npos) << text;
    }
}

TEST_F(EmitterSavingTest, CopiesKeepTheFileAndASystemSetByCodeHasNone)
{
    Emitter* emitter = load_scene<Emitter>(
        R"(<ParticlesEmitter Name="E" ParticleSystem="fx/spark.particles"/>)", "E");
    ASSERT_NE(emitter, nullptr);
    std::unique_ptr<Node> copy(emitter->clone());
    EXPECT_NE(save(*copy).find(R"(ParticleSystem="fx/spark.particles")"), std::string::npos) << save(*copy);

    // A system set by code has no file to name.
    emitter->set_particle_system(nullptr);
    EXPECT_EQ(save(*emitter).find("ParticleSystem="), std::string::npos) << save(*emitter);
}

TEST_F(EmitterSavingTest, PauseSurvivesSavingAndLoading)
{
    const struct {
        const char* emitter;
        bool pause_by_code;
        bool paused;
        const char* saved; // the "Paused" text written, or null for none
    } cases[] = {
        {R"(<ParticlesEmitter Name="E" ParticleSystem="fx/spark.particles" Paused="true"/>)", false, true,
         R"(Paused="true")"},
        {R"(<ParticlesEmitter Name="E" ParticleSystem="fx/spark.particles"/>)", false, false, nullptr},
        {R"(<ParticlesEmitter Name="E" ParticleSystem="fx/spark.particles"/>)", true, true, R"(Paused="true")"},
        // An inactive system pauses its emitter on loading by itself...
        {R"(<ParticlesEmitter Name="E" ParticleSystem="fx/idle.particles"/>)", false, true, nullptr},
        // ...unless a "Paused" after it says otherwise.
        {R"(<ParticlesEmitter Name="E" ParticleSystem="fx/idle.particles" Paused="false"/>)", false, false,
         R"(Paused="false")"},
        // A system described in place is not saved; the pause is.
        {R"(<ParticlesEmitter Name="E" Paused="true"><ParticleSystem MaxParticles="2"/></ParticlesEmitter>)", false,
         true, R"(Paused="true")"},
    };
    for (const auto& c : cases) {
        Emitter* emitter = load_scene<Emitter>(c.emitter, "E");
        ASSERT_NE(emitter, nullptr) << c.emitter;
        if (c.pause_by_code)
            emitter->pause();
        ASSERT_EQ(emitter->is_paused(), c.paused) << c.emitter;
        const std::string text = save(*scene);
        if (c.saved)
            EXPECT_NE(text.find(c.saved), std::string::npos) << text;
        else
            EXPECT_EQ(text.find("Paused="), std::string::npos) << text;
        write("again.scene", text);
        std::unique_ptr<Node> again = load("again.scene");
        auto* reloaded = dynamic_cast<Emitter*>(again->find_child("E", true));
        ASSERT_NE(reloaded, nullptr) << text;
        EXPECT_EQ(reloaded->is_paused(), c.paused) << text;
    }
}

} // namespace
} // namespace effects_test
