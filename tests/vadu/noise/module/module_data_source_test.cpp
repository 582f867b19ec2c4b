// XM modules found by name through the sound factory and played as a stream.

#include "../sound_test_support.h"
#include "module_fixtures.h"
#include "platform/modules.h"
#include "vadu/noise/data_source.h"
#include "vadu/noise/module/module_data_source.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using namespace sound_test;

class ModuleFiles : public ::testing::Test {
protected:
    ModuleFiles() : folder_("xm-source") {}
    ~ModuleFiles() override { platform::clear_module_failures(); }

    void write_module(const char* name, const xm_writer::Module& m)
    {
        const std::vector<uint8_t> bytes = xm_writer::write(m);
        write_file(folder_.at(name), std::string(bytes.begin(), bytes.end()));
    }
    // Two rows of C-4, then order 1 (restart) with two rows of D-4.
    xm_writer::Module song()
    {
        xm_writer::Module m = module_test::rows_module({"C-4 01 .. ...", "... .. .. ..."});
        m.patterns.push_back(module_test::rows_module({"D-4 01 .. ...", "... .. .. ..."}).patterns[0]);
        m.order = {0, 1};
        m.restart = 1;
        return m;
    }

    test_support::TempFolder folder_;
};

TEST_F(ModuleFiles, AModuleIsFoundThirdAndPlaysToItsEndThenRewindsToTheRestart)
{
    write_module("tune.xm", song());
    vadu::logs::Creator log;
    vadu::filesystem::Creator files(folder_files(folder_.root().string()));
    std::unique_ptr<vadu::noise::DataSource> source(vadu::noise::create_data_source(path("tune")));
    ASSERT_NE(source, nullptr);
    EXPECT_NE(dynamic_cast<vadu::noise::ModuleDataSource*>(source.get()), nullptr);
    EXPECT_TRUE(source->has_channel(1));
    EXPECT_TRUE(source->has_channel(2));
    EXPECT_EQ(source->get_frequency(), 22050u);
    EXPECT_EQ(source->get_length(), 0u);

    EXPECT_EQ(source->decode(10000), 10000u);
    std::vector<int16_t> left(10000), right(10000);
    source->get_data(1, left.data(), 2, 16);
    source->get_data(2, right.data(), 2, 16);
    EXPECT_NE(left, std::vector<int16_t>(10000, 0));
    EXPECT_NE(left, right); // the sample's pan puts more on one side
    EXPECT_EQ(source->decode(1000), 584u); // 4 rows of 2646 frames
    EXPECT_EQ(source->decode(1000), 0u);
    // Rewound to order 1: two rows, then the end again.
    EXPECT_EQ(source->decode(6000), 5292u);
    EXPECT_EQ(source->decode(6000), 0u);
    source->rewind();
    EXPECT_EQ(source->decode(6000), 5292u);

    write_file(folder_.at("bad.xm"), "Extended Module! not one");
    EXPECT_EQ(vadu::noise::create_data_source(path("bad")), nullptr);
    WavSpec spec;
    spec.data = pcm16({1, 2, 3, 4});
    write_file(folder_.at("tune.wav"), wav_bytes(spec));
    std::unique_ptr<vadu::noise::DataSource> wav(vadu::noise::create_data_source(path("tune")));
    EXPECT_EQ(dynamic_cast<vadu::noise::ModuleDataSource*>(wav.get()), nullptr);
}

TEST_F(ModuleFiles, AModuleNamedAsAStaticSoundGetsNoBuffer)
{
    write_module("tune.xm", song());
    auto rig = std::make_unique<Rig>(folder_.root().string());
    std::unique_ptr<vadu::noise::Channel> channel(
        Rig::hardware()->create_static_channel(vadu::noise::atoms::Type2D, path("tune")));
    EXPECT_NE(rig->log_text().find("CreateSoundBuffer() failed. sound: tune\n"), std::string::npos);
}

TEST_F(ModuleFiles, AReplacementThatIsItselfAModuleLooksForNoReplacementsOfItsOwn)
{
    // "samples/lead_sine" names a module whose own sample would be replaced by itself.
    write_module("samples/lead_sine.xm", song());
    write_module("tune.xm", song());
    vadu::logs::Creator log;
    vadu::filesystem::Creator files(folder_files(folder_.root().string()));
    std::unique_ptr<vadu::noise::DataSource> source(vadu::noise::create_data_source(path("tune")));
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(source->decode(100), 100u);
}

} // namespace
