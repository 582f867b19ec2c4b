#include "vadu/lib3d/material/texture_sequence.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string_view>

#include "vadu/lib3d/material/texture_test_support.h"
#include "vadu/xml_reader.h"

namespace {

using namespace texture_test;
using namespace vadu::lib3d::material;
using vadu::Atom;
using Loop = SequenceDefinition::LoopType;

bool parse(vadu::xml::Object& object, const char* root_name, std::string_view text)
{
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    vadu::xml::StreamResource resource(&stream);
    vadu::xml::Root root(object, root_name);
    return resource.load(root);
}

// A sequence with frames but no pictures; it records what it was asked to show.
class CountedDefinition : public SequenceDefinition {
public:
    explicit CountedDefinition(int32_t frames) : frames_(frames) {}

    void apply(hard::Hardware&, hard::TextureStage& stage, int32_t frame) override
    {
        if (frame < frames_)
            stage.alpha = static_cast<uint8_t>(100 + frame);
    }
    int32_t get_frame_count() const override { return frames_; }
    std::unique_ptr<SequenceDefinition> clone() const override { return std::make_unique<CountedDefinition>(*this); }
    void load_frames(const vadu::String&) override {}

private:
    int32_t frames_;
};

class SequenceTest : public TextureFixture {
protected:
    ~SequenceTest() override
    {
        EXPECT_EQ(get_texture_simple_cache(), nullptr);
        EXPECT_EQ(get_texture_sequence_frame_cache(), nullptr);
        EXPECT_EQ(get_sequence_picture_count(), 0);
    }

    static std::unique_ptr<CountedDefinition> definition(const char* name, Loop loop, int32_t first, int32_t last,
                                                         double frame_time = 0.3, double delay = 0.0,
                                                         int32_t frames = -1)
    {
        auto result = std::make_unique<CountedDefinition>(frames >= 0 ? frames : std::abs(last - first) + 1);
        result->name = Atom(name);
        result->loop_type = loop;
        result->first_frame = first;
        result->last_frame = last;
        result->frame_time = frame_time;
        result->loop_delay = delay;
        result->build_timeline();
        return result;
    }
};

TEST(SequenceDefinitionTimeline, FramesRunEitherWayWithTheirOwnTimes)
{
    const struct {
        int32_t first, last;
        std::vector<SequenceDefinition::FrameTime> times;
        std::vector<double> starts;
        double length;
    } cases[] = {
        {5, 2, {}, {0.0, 0.3, 0.6, 0.9}, 1.2},
        {0, 4, {{3, 1.0}}, {0.0, 0.3, 0.6, 0.9, 1.9}, 2.2},
        {2, 0, {{1, 0.5}, {1, 2.0}}, {0.0, 0.3, 0.8}, 1.1},
        {7, 7, {}, {0.0}, 0.3},
    };
    for (const auto& c : cases) {
        CountedDefinition definition(0);
        definition.first_frame = c.first;
        definition.last_frame = c.last;
        definition.frame_times = c.times;
        definition.build_timeline();
        ASSERT_EQ(definition.starts.size(), c.starts.size()) << c.first << ".." << c.last;
        for (size_t i = 0; i < c.starts.size(); ++i)
            EXPECT_NEAR(definition.starts[i], c.starts[i], 1e-12) << i;
        EXPECT_NEAR(definition.length, c.length, 1e-12);
    }
}

TEST(SequenceDefinitionTimeline, FrameLookupFindsTheFrameShownAtATime)
{
    CountedDefinition definition(4);
    definition.first_frame = 0;
    definition.last_frame = 3;
    definition.build_timeline();
    const struct {
        double t;
        int32_t frame;
    } cases[] = {{-1.0, 0}, {0.0, 0}, {0.29, 0}, {0.3, 1}, {0.61, 2}, {0.9, 3}, {5.0, 3}};
    for (const auto& c : cases)
        EXPECT_EQ(definition.find_frame(c.t), c.frame) << c.t;
    CountedDefinition empty(0);
    EXPECT_EQ(empty.find_frame(1.0), 0);
}

TEST(FileSequenceDefinition, FramePathsAreNumberedWithTheIndexLength)
{
    const struct {
        const char* image;
        int32_t length;
        int32_t frame;
        const char* path;
    } cases[] = {
        {"fx/boom", 3, 0, "fx/boom000"}, {"fx/boom", 3, 12, "fx/boom012"}, {"fx/boom", 0, 1, "fx/boom1"},
        {"FX\\Boom", 4, 7, "fx/boom0007"}, {"fx/boom", 2, 123, "fx/boom123"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(to_std(FileSequenceDefinition::frame_path(c.image, c.length, c.frame).get_text()), c.path)
            << c.image << " " << c.length;
    }
    // A name far beyond any fixed buffer keeps every character.
    const std::string stem(600, 'a');
    const std::string made =
        to_std(FileSequenceDefinition::frame_path(vadu::String(stem.c_str()), 40, 5).get_text());
    EXPECT_EQ(made, stem + std::string(39, '0') + "5");
}

// Updates from a starting time: loop type, frames of a given time, delay, the updates,
// then the time and direction reached.
TEST_F(SequenceTest, UpdateFollowsTheLoopType)
{
    const struct {
        const char* label;
        Loop loop;
        int32_t frames;
        double frame_time;
        double delay;
        double time;
        std::vector<double> steps;
        double expected_time;
        int32_t expected_direction;
    } cases[] = {
        {"forward wraps", Loop::FORWARD, 4, 0.3, 0.3, 1.4, {0.2}, 0.1, 1},
        {"forward inside", Loop::FORWARD, 4, 0.3, 0.0, 0.2, {0.5}, 0.7, 1},
        {"forward zero length", Loop::FORWARD, 1, 0.0, 0.0, 0.0, {0.016}, 0.0, 1},
        {"backward steps back", Loop::BACKWARD, 4, 0.3, 0.0, 1.0, {0.25}, 0.75, 1},
        {"backward wraps", Loop::BACKWARD, 4, 0.3, 0.0, 0.1, {0.2}, 1.1, 1},
        {"backward waits out the delay", Loop::BACKWARD, 4, 0.3, 0.5, 0.1, {0.4}, -0.3, 1},
        {"backward zero length", Loop::BACKWARD, 1, 0.0, 0.0, 0.0, {0.016}, 0.0, 1},
        {"pingpong turns at the end", Loop::PINGPONG, 4, 0.3, 0.0, 1.1, {0.2}, 1.1, -1},
        {"pingpong turns at the start", Loop::PINGPONG, 4, 0.3, 0.0, 1.1, {0.2, 1.0, 0.2}, 0.1, 1},
        {"pingpong delay: not yet", Loop::PINGPONG, 4, 0.3, 0.4, 1.3, {0.05}, 1.35, 1},
        {"pingpong delay: past L + D/2", Loop::PINGPONG, 4, 0.3, 0.4, 1.35, {0.1}, 1.35, -1},
        {"pingpong delay: below -D/2", Loop::PINGPONG, 4, 0.3, 0.4, 1.35, {0.1, 1.45, 0.2}, -0.1, 1},
        {"pingpong zero length", Loop::PINGPONG, 1, 0.0, 0.0, 0.0, {0.016}, 0.0, 1},
        {"pingpong negative delay", Loop::PINGPONG, 4, 0.3, -3.0, 0.5, {0.1}, 0.0, 1},
        {"none grows", Loop::NONE, 4, 0.3, 0.0, 1.1, {0.5}, 1.6, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TextureSequence sequence;
        sequence.set_active(false);
        sequence.add_definition(definition("only", c.loop, 0, c.frames - 1, c.frame_time, c.delay));
        ASSERT_TRUE(sequence.play(Atom("only")));
        const double length = sequence.get_current()->length;
        sequence.change_attribute(Atom("Percent"), length > 0 ? c.time / length : 0.0);
        ASSERT_NEAR(sequence.get_time(), c.time, 1e-12);
        for (double dt : c.steps)
            sequence.update(dt);
        EXPECT_FALSE(std::isnan(sequence.get_time()));
        EXPECT_NEAR(sequence.get_time(), c.expected_time, 1e-6);
        EXPECT_EQ(sequence.get_direction(), c.expected_direction);
        EXPECT_FALSE(sequence.is_finished());
    }
}

TEST_F(SequenceTest, NoneLoopMovesOnOrFinishes)
{
    TextureSequence sequence;
    sequence.add_definition(definition("intro", Loop::NONE, 0, 3));
    sequence.add_definition(definition("idle", Loop::FORWARD, 0, 1));

    sequence.update(0.1);
    EXPECT_TRUE(sequence.is_finished()) << "nothing plays yet";

    ASSERT_TRUE(sequence.play(Atom("intro")));
    sequence.update(1.0);
    EXPECT_EQ(sequence.get_current()->name, Atom("intro"));
    sequence.update(0.3);
    EXPECT_EQ(sequence.get_current()->name, Atom("idle")) << "past its length the next one starts";
    EXPECT_EQ(sequence.get_time(), 0.0);

    ASSERT_TRUE(sequence.play(Atom("intro")));
    sequence.update(-0.1);
    EXPECT_TRUE(sequence.is_finished());
    EXPECT_EQ(sequence.get_current()->name, Atom("intro"));

    TextureSequence single;
    single.add_definition(definition("once", Loop::NONE, 0, 1));
    ASSERT_TRUE(single.play(Atom("once")));
    single.update(5.0);
    EXPECT_EQ(single.get_current()->name, Atom("once"));
    EXPECT_NEAR(single.get_time(), 5.0, 1e-12);
    hard::TextureStage stage;
    single.apply_current_frame(hardware, stage);
    EXPECT_EQ(stage.alpha, 101) << "the last frame stays";

    single.add_definition(definition("empty", Loop::FORWARD, 0, 0, 0.3, 0.0, 0));
    ASSERT_TRUE(single.play(Atom("empty")));
    single.update(0.1);
    EXPECT_TRUE(single.is_finished()) << "a sequence without frames";
}

TEST_F(SequenceTest, PlayPercentAndFrameSetTheTime)
{
    TextureSequence sequence(Atom("Owner"));
    EXPECT_TRUE(sequence.change_attribute(Atom("Percent"), 0.5)) << "known without a sequence";
    EXPECT_EQ(sequence.get_time(), 0.0);
    sequence.add_definition(definition("walk", Loop::FORWARD, 0, 3));
    sequence.add_definition(definition("walk", Loop::BACKWARD, 0, 1));
    sequence.add_definition(definition("jump", Loop::PINGPONG, 0, 1));
    const auto& definitions = sequence.get_definitions();

    EXPECT_FALSE(sequence.play(Atom("swim")));
    EXPECT_EQ(sequence.get_current(), nullptr);
    EXPECT_TRUE(sequence.play_sequence(Atom("walk")));
    EXPECT_EQ(sequence.get_current(), definitions[0].get()) << "the first of that name";

    EXPECT_TRUE(sequence.change_attribute(Atom("Percent"), 0.5));
    EXPECT_NEAR(sequence.get_time(), 0.6, 1e-12);
    const struct {
        double value;
        double time;
    } frames[] = {{2.0, 0.6}, {2.9, 0.6}, {3.0, 0.9}, {4.0, 1.2}, {-1.0, 0.0}};
    for (const auto& c : frames) {
        EXPECT_TRUE(sequence.change_attribute(Atom("Frame"), c.value));
        EXPECT_NEAR(sequence.get_time(), c.time, 1e-12) << c.value;
    }
    EXPECT_FALSE(sequence.change_attribute(Atom("Speed"), 1.0));
    double read = 0.0;
    EXPECT_FALSE(sequence.get_attribute(Atom("Percent"), read)) << "there is no read";

    hard::TextureStage stage;
    sequence.change_attribute(Atom("Frame"), 2.0);
    sequence.apply_current_frame(hardware, stage);
    EXPECT_EQ(stage.alpha, 102);

    sequence.next();
    EXPECT_EQ(sequence.get_current(), definitions[1].get());
    sequence.next();
    sequence.next();
    EXPECT_EQ(sequence.get_current(), definitions[0].get()) << "after the last, the first";
    EXPECT_EQ(sequence.get_time(), 0.0);
}

TEST_F(SequenceTest, LoadsFromXmlAndStartsTheStartSequence)
{
    TextureSequence sequence;
    ASSERT_TRUE(parse(sequence, "Sequences", R"(<Sequences Start="walk" Manual="true">
        <Sequence Name="walk" Image="FX\Boom" ImageIndexLength="3" FrameStart="0" FrameEnd="2"
                  LoopType="PINGPONG" FrameTime="0.1" LoopDelay="0.2" Width="32" Height="16" AllInOne="true">
            <Frame Index="1" Time="1"/>
        </Sequence>
        <SpanSequence Name="run" Image="fx/strip" FramesInFile="8" LoopType="FORWARD"/>
    </Sequences>)"));
    ASSERT_EQ(sequence.get_definitions().size(), 2u);
    EXPECT_TRUE(sequence.is_manual());
    const auto& walk = static_cast<const FileSequenceDefinition&>(*sequence.get_definitions()[0]);
    EXPECT_EQ(sequence.get_current(), &walk);
    EXPECT_EQ(walk.loop_type, Loop::PINGPONG);
    EXPECT_EQ(walk.get_image_index_length(), 3);
    EXPECT_NEAR(walk.length, 1.2, 1e-12);
    EXPECT_EQ(walk.width, 32.0);
    EXPECT_NEAR(walk.loop_delay, 0.2, 1e-12);
    ASSERT_EQ(walk.get_textures().size(), 3u);
    EXPECT_EQ(to_std(walk.get_textures()[0]->get_rep()->get_path().get_text()), "fx/boom000");
    EXPECT_EQ(to_std(walk.get_textures()[2]->get_rep()->get_path().get_text()), "fx/boom002");
    EXPECT_EQ(walk.get_textures()[0]->get_slot(), Atom("Diffuse"));
    const auto& run = static_cast<const SpanSequenceDefinition&>(*sequence.get_definitions()[1]);
    EXPECT_EQ(run.get_frames_in_file(), 8);
    EXPECT_EQ(to_std(run.get_frames()->get_path().get_text()), "fx/strip");

    // Manual: the per-frame update leaves it alone.
    vadu::animate::Soul::update_all(0.05);
    EXPECT_EQ(sequence.get_time(), 0.0);

    const char* refused[] = {
        R"(<Sequences><Pause Time="1"/></Sequences>)",
        R"(<Sequences Speed="2"/>)",
        R"(<Sequences><Sequence LoopType="forward"/></Sequences>)",
        R"(<Sequences><Sequence Name="a" Colour="red"/></Sequences>)",
        R"(<Sequences><SpanSequence><Frame Index="1" Speed="2"/></SpanSequence></Sequences>)",
        R"(<Sequences><Sequence><Image/></Sequence></Sequences>)",
    };
    for (const char* text : refused) {
        TextureSequence other;
        EXPECT_FALSE(parse(other, "Sequences", text)) << text;
    }

    TextureSequence automatic;
    ASSERT_TRUE(parse(automatic, "Sequences",
                      R"(<Sequences Start="spin"><Sequence Name="spin" Image="fx/spin" LoopType="FORWARD"
                           FrameEnd="1"/></Sequences>)"));
    EXPECT_FALSE(automatic.is_manual());
    ASSERT_NE(automatic.get_current(), nullptr);
    vadu::animate::Soul::update_all(0.05);
    EXPECT_EQ(automatic.get_time(), 0.05f) << "advanced by the souls' update";
}

TEST_F(SequenceTest, FileSequencesShowOnePicturePerFrame)
{
    for (int frame = 0; frame < 2; ++frame)
        write_png(file("fx/puff0" + std::to_string(frame) + ".png"), gradient(2, 2, static_cast<uint8_t>(frame)),
                  false);
    TextureSequence sequence;
    ASSERT_TRUE(parse(sequence, "Sequences", R"(<Sequences Start="puff">
        <Sequence Name="puff" Image="fx/puff" ImageIndexLength="2" FrameEnd="1" LoopType="FORWARD"/>
    </Sequences>)"));
    ASSERT_TRUE(pump(load_texture_simple_reps));
    ASSERT_EQ(hardware.textures.size(), 2u);

    hard::TextureStage stage;
    sequence.apply_current_frame(hardware, stage);
    const hard::StageTexture* first = stage.texture;
    sequence.change_attribute(Atom("Frame"), 1.0);
    sequence.apply_current_frame(hardware, stage);
    EXPECT_NE(stage.texture, first);
    EXPECT_NE(stage.texture, nullptr);

    // Fewer digits reload the frames under other names.
    auto& puff = static_cast<FileSequenceDefinition&>(*sequence.get_definitions()[0]);
    puff.set_image_index_length(1);
    EXPECT_EQ(to_std(puff.get_textures()[1]->get_rep()->get_path().get_text()), "fx/puff1");

    TextureSequence copy(sequence);
    const auto& copied = static_cast<const FileSequenceDefinition&>(*copy.get_definitions()[0]);
    EXPECT_NE(copied.get_textures()[0].get(), puff.get_textures()[0].get()) << "a copy has its own textures";
    EXPECT_EQ(copied.get_textures()[0]->get_rep(), puff.get_textures()[0]->get_rep());
    EXPECT_EQ(copy.get_current()->name, Atom("puff"));
}

// Eight frames side by side, each two pixels wide with its own blue.
TEST_F(SequenceTest, SpanFramesShareOneReadOfTheStrip)
{
    Picture strip(16, 2);
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 16; ++x) {
            uint8_t* p = strip.at(x, y);
            p[0] = static_cast<uint8_t>(x);
            p[1] = static_cast<uint8_t>(y);
            p[2] = static_cast<uint8_t>(x / 2 * 10);
            p[3] = 128;
        }
    }
    write_png(file("fx/strip.png"), strip, true);
    const char* xml = R"(<Sequences Start="all">
        <SpanSequence Name="all" Image="fx/strip" FramesInFile="8" LoopType="FORWARD"/>
        <SpanSequence Name="part" Image="fx/strip" FramesInFile="8" FrameStart="6" FrameEnd="4"/>
    </Sequences>)";
    TextureSequence sequence;
    ASSERT_TRUE(parse(sequence, "Sequences", xml));
    EXPECT_EQ(get_sequence_picture_count(), 0) << "nothing read before the first pass";

    const auto& all = static_cast<const SpanSequenceDefinition&>(*sequence.get_definitions()[0]);
    const auto& part = static_cast<const SpanSequenceDefinition&>(*sequence.get_definitions()[1]);
    auto passes = [] {
        const int64_t now = vadu::time::get_ticks();
        load_texture_sequence_frames(now, 10.0);
        load_texture_sequence_frame_reps(now, 10.0);
    };
    auto loaded = [&] {
        const auto* cache = get_texture_sequence_frame_cache();
        if (!all.get_frames()->is_loaded() || !part.get_frames()->is_loaded() || !cache)
            return false;
        for (const auto& entry : *cache) {
            if (!entry.second->is_loaded())
                return false;
        }
        return true;
    };
    load_texture_sequence_frames(vadu::time::get_ticks(), 10.0);
    EXPECT_EQ(get_sequence_picture_count(), 1) << "one picture for the whole strip";
    ASSERT_TRUE(pump_until(passes, loaded));
    EXPECT_EQ(get_sequence_picture_count(), 0) << "let go once every frame is on the device";

    ASSERT_EQ(all.get_frame_count(), 8);
    ASSERT_EQ(part.get_frame_count(), 3);
    EXPECT_EQ(all.starts.size(), 8u) << "the timeline covers the whole strip";
    EXPECT_NEAR(all.length, 2.4, 1e-12);
    EXPECT_EQ(part.starts.size(), 3u);
    EXPECT_EQ(get_texture_sequence_frame_cache()->size(), 8u) << "the part reuses frames 6, 5, 4";
    EXPECT_EQ(part.get_frames()->get_frames()[0], all.get_frames()->get_frames()[6]);
    EXPECT_EQ(part.get_frames()->get_frames()[2]->get_key().frame_index, 4);
    EXPECT_EQ(hardware.textures.size(), 8u);
    EXPECT_EQ(hardware.requests[0].width, 2);
    EXPECT_EQ(hardware.requests[0].height, 2);

    for (int frame = 0; frame < 8; ++frame) {
        TextureSequenceFrameRep& rep = *all.get_frames()->get_frames()[static_cast<size_t>(frame)];
        EXPECT_TRUE(rep.has_alpha());
        hard::TextureStage stage;
        sequence.change_attribute(Atom("Frame"), frame);
        sequence.apply_current_frame(hardware, stage);
        auto* texture = dynamic_cast<MemoryTexture*>(stage.texture);
        ASSERT_NE(texture, nullptr) << frame;
        for (int row = 0; row < 2; ++row) {
            for (int x = 0; x < 2; ++x) {
                const uint8_t* pixel = texture->pixel(0, x, row);
                EXPECT_EQ(pixel[0], frame * 10) << frame;    // blue
                EXPECT_EQ(pixel[1], 1 - row);                // green: rows bottom first
                EXPECT_EQ(pixel[2], frame * 2 + x) << frame; // red
                EXPECT_EQ(pixel[3], 128);
            }
        }
    }

    // An index beyond the frames leaves the stage as it was.
    hard::TextureStage stage;
    all.get_frames()->apply(hardware, stage, 8);
    EXPECT_EQ(stage.texture, nullptr);

    // A lost frame comes back through the frame-rep pass, reading the strip again.
    MemoryTexture* lost = hardware.textures[3];
    lost->operational = false;
    sequence.change_attribute(Atom("Frame"), 3.0);
    sequence.apply_current_frame(hardware, stage);
    EXPECT_EQ(stage.texture, nullptr);
    ASSERT_TRUE(pump(load_texture_sequence_frame_reps));
    EXPECT_TRUE(lost->is_operational());
    EXPECT_EQ(get_sequence_picture_count(), 0);
}

// Frames kept in a 1-5-5-5 texture: the top bit is the alpha bit and is set for the
// visible pixels, as everywhere else in the engine.
TEST_F(SequenceTest, OneBitAlphaFramesMarkTheirVisiblePixels)
{
    hardware.store_as = vadu::pictureformat::format_a1r5g5b5;
    // Two frames of two pixels: frame 0 visible then clear, frame 1 clear then visible.
    Picture strip(4, 1);
    const bool visible[] = {true, false, false, true};
    for (int x = 0; x < 4; ++x) {
        uint8_t* p = strip.at(x, 0);
        p[0] = 0xF8;
        p[1] = 0x2C;
        p[2] = 0x18;
        p[3] = visible[x] ? 255 : 0;
    }
    write_png(file("fx/blink.png"), strip, true);
    TextureSequence sequence;
    ASSERT_TRUE(parse(sequence, "Sequences", R"(<Sequences Start="blink">
        <SpanSequence Name="blink" Image="fx/blink" FramesInFile="2" LoopType="FORWARD"/>
    </Sequences>)"));
    ASSERT_TRUE(pump(load_texture_sequence_frames));
    ASSERT_TRUE(pump(load_texture_sequence_frame_reps));
    ASSERT_EQ(hardware.textures.size(), 2u);
    EXPECT_EQ(hardware.requests[0].format, vadu::pictureformat::format_bgra);

    const auto& blink = static_cast<const SpanSequenceDefinition&>(*sequence.get_definitions()[0]);
    for (int frame = 0; frame < 2; ++frame) {
        hard::TextureStage stage;
        blink.get_frames()->apply(hardware, stage, frame);
        const auto* texture = dynamic_cast<const MemoryTexture*>(stage.texture);
        ASSERT_NE(texture, nullptr) << frame;
        for (int x = 0; x < 2; ++x) {
            const uint8_t* pixel = texture->pixel(0, x, 0);
            const uint16_t word = static_cast<uint16_t>(pixel[0] | pixel[1] << 8);
            SCOPED_TRACE(testing::Message() << "frame " << frame << ", pixel " << x);
            if (visible[frame * 2 + x])
                EXPECT_EQ(word, 0xFCA3); // 31, 5, 3 and the alpha bit
            else
                EXPECT_EQ(word & 0x8000, 0);
        }
    }
}

TEST_F(SequenceTest, BrokenStripsAndFramesOutsideTheStripAreLoggedOnce)
{
    write_png(file("fx/short.png"), gradient(8, 2), true);
    TextureSequence sequence;
    ASSERT_TRUE(parse(sequence, "Sequences", R"(<Sequences>
        <SpanSequence Name="missing" Image="fx/none" FramesInFile="4"/>
        <SpanSequence Name="beyond" Image="fx/short" FramesInFile="4" FrameStart="0" FrameEnd="5"/>
        <SpanSequence Name="thin" Image="fx/short" FramesInFile="16" FrameStart="0" FrameEnd="1"/>
    </Sequences>)"));
    ASSERT_TRUE(pump(load_texture_sequence_frames));
    for (int frame = 0; frame < 3; ++frame) {
        EXPECT_EQ(load_texture_sequence_frames(vadu::time::get_ticks(), 10.0), 0);
        EXPECT_EQ(load_texture_sequence_frame_reps(vadu::time::get_ticks(), 10.0), 0);
    }
    const std::string log = log_text();
    EXPECT_EQ(count_of(log, "pl is not valid"), 1u);
    EXPECT_EQ(count_of(log, "Frame 4 is outside the picture"), 1u);
    EXPECT_EQ(count_of(log, "Frame 0 is outside the picture"), 1u) << "frames narrower than a pixel";
    for (const auto& definition : sequence.get_definitions()) {
        EXPECT_EQ(definition->get_frame_count(), 0);
        EXPECT_TRUE(static_cast<const SpanSequenceDefinition&>(*definition).get_frames()->has_failed());
    }
    EXPECT_EQ(get_texture_sequence_frame_cache(), nullptr);

    // The frame rep refuses such frames itself as well.
    TextureSequenceFrameRep rep(SequenceFrameKey{vadu::filesystem::String("fx/short", true), 9, 4, true});
    bool thrown = false;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!thrown && std::chrono::steady_clock::now() < deadline) {
        try {
            rep.load();
        } catch (const vadu::Gluck& failure) {
            thrown = true;
            EXPECT_EQ(to_std(failure.get_description()), "Frame 9 is outside the picture");
            EXPECT_EQ(to_std(failure.get_function()), "vadu::lib3d::material::TextureSequenceFrameRep::load");
        }
        std::this_thread::sleep_for(1ms);
    }
    EXPECT_TRUE(thrown);
}

} // namespace
