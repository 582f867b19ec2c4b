#include "vadu/lib3d/material/material.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "../hard/render_fakes.h"
#include "vadu/animate/soul.h"
#include "vadu/converter.h"
#include "vadu/filesystem.h"
#include "vadu/lib3d/material/texture_sequence.h"
#include "vadu/resource_loader.h"
#include "vadu/xml_reader.h"
#include "vadu/xml_writer.h"

namespace {

namespace xml = vadu::xml;
using namespace vadu::lib3d;
using material::Material;
using material::ShaderLoader;
using vadu::Atom;
using vadu::math::Vector3;

class StringSink : public xml::Sink {
public:
    void write(const char* first, const char* last) override { text.append(first, last); }
    void flush() override {}
    std::string text;
};

bool load(xml::Object& object, const char* root_name, const std::string& text)
{
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    xml::Root root(object, root_name);
    return xml::StreamResource(&stream).load(root);
}

std::string save(const char* root_name, xml::Object& object)
{
    StringSink sink;
    xml::save_document(sink, root_name, object);
    return sink.text;
}

// Materials read pictures in the background and keep device textures per hardware: a
// loader thread, one fake hardware, and pictures that are on the device already.
class MaterialTest : public ::testing::Test {
protected:
    ~MaterialTest() override
    {
        for (material::TextureSimpleRep* rep : reps)
            material::release_texture_rep(rep);
    }

    // The picture's rep adopts a device texture, as if it had been loaded.
    hard::StageTexture* on_device(const char* image)
    {
        material::TextureSimpleLoader loader;
        vadu::converter::convert(vadu::String(image), &loader.path);
        auto* texture = new render_fakes::FakeTexture;
        loader.ready_hardware = &hardware();
        loader.ready_texture = texture;
        reps.push_back(material::find_or_create_texture_rep(loader));
        return texture;
    }

    render_fakes::FakeHardware& hardware() { return managed.hardware; }

    hard::RenderRecord filled(Material& m)
    {
        hard::RenderRecord record;
        m.fill_render_material(hardware(), record);
        return record;
    }

    vadu::resource::ActiveMultithreaded::Creator loader_thread;
    vadu::animate::Soul::Creator souls;
    render_fakes::ManagerWithHardware managed;
    std::vector<material::TextureSimpleRep*> reps;
};

TEST_F(MaterialTest, WithoutChildrenItDrawsWhiteAndOpaqueWithoutTextures)
{
    Material m;
    ASSERT_TRUE(load(m, "Shader", "<Shader Name='plain'/>"));
    EXPECT_EQ(m.get_name(), Atom("plain"));
    hard::RenderRecord record;
    record.diffuse = record.emissive = record.specular = record.reflection = Vector3{0.5f, 0.5f, 0.5f};
    record.transparency = 0.5;
    m.fill_render_material(hardware(), record);
    for (const Vector3& colour : {record.diffuse, record.emissive, record.specular, record.reflection})
        EXPECT_EQ(colour, (Vector3{1, 1, 1}));
    EXPECT_EQ(record.transparency, 0.0);
    EXPECT_EQ(record.specular_power, 0.0);
    for (const hard::TextureStage& stage : record.stages)
        EXPECT_EQ(stage, hard::TextureStage{});
    EXPECT_EQ(m.find_texture(Atom("Diffuse"), true), nullptr);
}

TEST_F(MaterialTest, LoadsColoursAndTexturesAndFillsTheRecordStages)
{
    hard::StageTexture* wood = on_device("pics/Wood");
    hard::StageTexture* glow = on_device("pics/glow");
    hard::StageTexture* bumps = on_device("pics/bumps");
    Material m;
    ASSERT_TRUE(load(m, "Shader", R"(<Shader Name="box" TrianglesCount="12" VertexCount="24">
        <Material Diffuse="0.5 0.25 1" Emissive=" 0.1 0.2 0.3" Specular="0 0 0" Reflection="1 0 1"
                  SpecularPower="8" Transparency="0.25" Ambient="whatever"/>
        <Diffuse Image="pics/Wood" Wrap="false"/>
        <Emissive Image="pics/glow"/>
        <Bump Image="pics/bumps"/>
        <Reflection Image="pics/sky" Wrap="0"/>
    </Shader>)"));
    EXPECT_EQ(m.get_triangles_count(), 12u);
    EXPECT_EQ(m.get_vertex_count(), 24u);
    EXPECT_FALSE(m.get_emissive_alpha_multiply());

    const hard::RenderRecord record = filled(m);
    EXPECT_EQ(record.diffuse, (Vector3{0.5f, 0.25f, 1}));
    EXPECT_EQ(record.emissive, (Vector3{0.1f, 0.2f, 0.3f}));
    EXPECT_EQ(record.specular, (Vector3{0, 0, 0}));
    EXPECT_EQ(record.reflection, (Vector3{1, 0, 1}));
    EXPECT_EQ(record.specular_power, 8.0);
    EXPECT_EQ(record.transparency, 0.25);
    // Pictures on the device come with their alpha flag; the wrap flag is the texture's.
    EXPECT_EQ(record.stages[0], (hard::TextureStage{wood, 0, 1}));
    EXPECT_EQ(record.stages[1], (hard::TextureStage{glow, 1, 1}));
    EXPECT_EQ(record.stages[2], (hard::TextureStage{bumps, 1, 1}));
    // The cube map is still being read: nothing to show yet, but its wrap flag is set.
    EXPECT_EQ(record.stages[3], (hard::TextureStage{nullptr, 0, 0}));
}

TEST_F(MaterialTest, EmissiveAlphaMultiplyFadesEmissiveAndReflectionOnly)
{
    Material m;
    ASSERT_TRUE(load(m, "Shader", R"(<Shader EmissiveAlphaMultiply="true">
        <Material Diffuse="0.5 0.5 0.5" Emissive="1 0.5 0" Transparency="0.25"/></Shader>)"));
    const hard::RenderRecord record = filled(m);
    EXPECT_EQ(record.diffuse, (Vector3{0.5f, 0.5f, 0.5f}));
    EXPECT_EQ(record.emissive, (Vector3{0.75f, 0.375f, 0}));
    EXPECT_EQ(record.reflection, (Vector3{0.75f, 0.75f, 0.75f}));
    EXPECT_EQ(record.transparency, 0.25);
}

TEST_F(MaterialTest, BadOrRepeatedChildrenFailTheLoad)
{
    struct Case {
        const char* what;
        const char* body;
        bool loads;
    } const cases[] = {
        {"one texture per slot", "<Diffuse Image='a'/><Bump Image='b'/><Emissive Image='c'/><Reflection Image='d'/>",
         true},
        {"two Diffuse", "<Diffuse Image='a'/><Diffuse Image='b'/>", false},
        {"Diffuse, then its render target", "<Diffuse Image='a'/><DiffuseRenderTarget Name='t'/>", false},
        {"two Bump", "<Bump Image='a'/><Bump Image='b'/>", false},
        {"Bump render target, then Bump", "<BumpRenderTarget Name='t'/><Bump Image='a'/>", false},
        {"two Reflection", "<Reflection Image='a'/><Reflection Image='b'/>", false},
        {"two Emissive", "<Emissive Image='a'/><Emissive Image='b'/>", false},
        {"a sequence, then a picture, as Emissive",
         "<Emissive><Sequences/></Emissive><Emissive Image='a'/>", false},
        {"an unknown texture attribute", "<Diffuse Image='a' Colour='red'/>", false},
        {"a bad wrap word", "<Diffuse Image='a' Wrap='maybe'/>", false},
        {"an unknown child", "<Texture Image='a'/>", false},
        {"a colour of two numbers", "<Material Diffuse='1 1'/>", false},
        {"an unknown colour attribute", "<Material Glow='1'/>", false},
        {"an unknown child of Emissive", "<Emissive><Frames/></Emissive>", false},
    };
    for (const Case& c : cases) {
        Material m;
        EXPECT_EQ(load(m, "Shader", std::string("<Shader>") + c.body + "</Shader>"), c.loads) << c.what;
    }
    Material m;
    EXPECT_FALSE(load(m, "Shader", "<Shader Shininess='3'/>"));
    EXPECT_FALSE(load(m, "Shader", "<Shader TrianglesCount='many'/>"));
}

TEST_F(MaterialTest, RenderTargetTexturesComeFromTheHardwareByName)
{
    hardware().render_targets.push_back(std::make_unique<render_fakes::FakeRenderTarget>(Atom("mirror")));
    Material m;
    ASSERT_TRUE(load(m, "Shader", R"(<Shader><DiffuseRenderTarget Name="mirror" Wrap="false"/>
        <BumpRenderTarget Name="nowhere"/></Shader>)"));
    render_fakes::FakeStageTexture earlier;
    hard::RenderRecord record;
    record.stages[2].texture = &earlier;
    m.fill_render_material(hardware(), record);
    EXPECT_EQ(record.stages[0].texture, hardware().render_targets[0].get());
    EXPECT_EQ(record.stages[2].texture, nullptr);
    EXPECT_EQ(m.get_diffuse()->get_slot(), Atom("Diffuse"));
    EXPECT_FALSE(m.get_diffuse()->get_wrap());
    EXPECT_EQ(m.get_bump()->get_slot(), Atom("Bump"));
}

TEST_F(MaterialTest, TheEmissiveSequenceFillsStageOneAndIsFoundBeforeTheOtherSlots)
{
    hard::StageTexture* first_frame = on_device("fx/glow0");
    Material m;
    ASSERT_TRUE(load(m, "Shader", R"(<Shader><Diffuse Image="pics/wood"/>
        <Emissive><Sequences Start="pulse">
            <Sequence Name="pulse" Image="fx/glow" FrameStart="0" FrameEnd="1" LoopType="FORWARD"/>
        </Sequences></Emissive></Shader>)"));
    ASSERT_NE(m.get_emissive_sequence(), nullptr);
    EXPECT_EQ(m.get_emissive(), nullptr);
    EXPECT_EQ(filled(m).stages[1].texture, first_frame);

    EXPECT_EQ(m.find_texture(Atom("Emissive"), false), m.get_emissive_sequence());
    EXPECT_EQ(m.find_texture(Atom("Diffuse"), false), m.get_diffuse());
    EXPECT_EQ(m.find_texture(Atom("Bump"), true), nullptr);
    EXPECT_EQ(m.find_object(Atom("Diffuse"), true), m.get_diffuse());

    // A copy shares the pictures but leaves the sequence behind.
    const Material copy(m);
    EXPECT_EQ(copy.get_emissive_sequence(), nullptr);
    ASSERT_NE(copy.get_diffuse(), nullptr);
    EXPECT_NE(copy.get_diffuse(), m.get_diffuse());
    EXPECT_EQ(static_cast<material::TextureSimple*>(copy.get_diffuse())->get_rep(),
              static_cast<material::TextureSimple*>(m.get_diffuse())->get_rep());
    Material drawn(copy);
    EXPECT_EQ(filled(drawn).stages[1].texture, nullptr);
}

TEST_F(MaterialTest, ACopyKeepsColoursCountsAndEveryTexture)
{
    hard::StageTexture* glow = on_device("pics/glow");
    Material m;
    ASSERT_TRUE(load(m, "Shader", R"(<Shader Name="lamp" EmissiveAlphaMultiply="1" TrianglesCount="2" VertexCount="4">
        <Material Emissive="0.5 0.5 0.5" Transparency="0.5"/>
        <Diffuse Image="pics/wood"/><Bump Image="pics/bumps"/><Emissive Image="pics/glow"/>
        <Reflection Image="pics/sky"/></Shader>)"));
    Material copy(m);
    EXPECT_EQ(copy.get_name(), Atom("lamp"));
    EXPECT_TRUE(copy.get_emissive_alpha_multiply());
    EXPECT_EQ(copy.get_triangles_count(), 2u);
    EXPECT_EQ(copy.get_vertex_count(), 4u);
    for (material::Texture* texture : {copy.get_diffuse(), copy.get_bump(), copy.get_emissive(), copy.get_reflection()})
        EXPECT_NE(texture, nullptr);
    EXPECT_EQ(copy.get_reflection()->get_slot(), Atom("Reflection"));
    const hard::RenderRecord record = filled(copy);
    EXPECT_EQ(record.stages[1].texture, glow);
    EXPECT_EQ(record.emissive, (Vector3{0.25f, 0.25f, 0.25f}));
}

TEST_F(MaterialTest, AnimatesTransparencyAndThreeColours)
{
    Material m(Atom("animated"));
    EXPECT_TRUE(m.change_attribute(Atom("Transparency"), 0.75));
    double transparency = 0;
    EXPECT_TRUE(m.get_attribute(Atom("Transparency"), transparency));
    EXPECT_EQ(transparency, 0.75);
    EXPECT_FALSE(m.change_attribute(Atom("SpecularPower"), 2.0));
    EXPECT_FALSE(m.get_attribute(Atom("SpecularPower"), transparency));

    const struct {
        const char* name;
        bool known;
    } colours[] = {{"Diffuse", true}, {"Reflection", true}, {"Emissive", true}, {"Specular", false}, {"Bump", false}};
    float value = 0.1f;
    for (const auto& c : colours) {
        const Vector3 set{value, 0.5f, 0.25f};
        EXPECT_EQ(m.change_attribute(Atom(c.name), set), c.known) << c.name;
        Vector3 got{9, 9, 9};
        EXPECT_EQ(m.get_attribute(Atom(c.name), got), c.known) << c.name;
        if (c.known) {
            EXPECT_EQ(got, set) << c.name;
        }
        value += 0.1f;
    }
    EXPECT_EQ(m.get_colors().diffuse, (Vector3{0.1f, 0.5f, 0.25f}));
    EXPECT_EQ(m.get_colors().reflection, (Vector3{0.2f, 0.5f, 0.25f}));
    EXPECT_EQ(m.get_colors().emissive, (Vector3{0.3f, 0.5f, 0.25f}));
    EXPECT_EQ(m.get_colors().specular, (Vector3{1, 1, 1}));
}

TEST_F(MaterialTest, RandomizeInvertsTheEmissiveColourAndTwiceRestoresIt)
{
    Material m;
    m.get_colors().emissive = Vector3{0.25f, 0.5f, 1.0f};
    EXPECT_TRUE(m.play_sequence(Atom("Randomize")));
    EXPECT_EQ(m.get_colors().emissive, (Vector3{0.75f, 0.5f, 0.0f}));
    EXPECT_TRUE(m.play_sequence(Atom("Randomize")));
    EXPECT_EQ(m.get_colors().emissive, (Vector3{0.25f, 0.5f, 1.0f}));
    EXPECT_FALSE(m.play_sequence(Atom("Shuffle")));
    EXPECT_EQ(m.get_colors().emissive, (Vector3{0.25f, 0.5f, 1.0f}));
}

TEST_F(MaterialTest, SavesOnlyWhatDiffersFromTheDefaults)
{
    Material plain;
    EXPECT_EQ(save("Shader", plain), "<?xml version=\"1.0\"?>\n\n<Shader Name=\"\">\n\t<Material/>\n</Shader>\n");

    Material m;
    ASSERT_TRUE(load(m, "Shader", R"(<Shader Name="box" TrianglesCount="12" EmissiveAlphaMultiply="true">
        <Material Diffuse="0.5 0.25 1" Specular="1 1 1" SpecularPower="8" Ambient="0.2 0.2 0.2"/>
        <Diffuse Image="pics/wood"/></Shader>)"));
    EXPECT_EQ(save("Shader", m),
              "<?xml version=\"1.0\"?>\n\n<Shader Name=\"box\" TrianglesCount=\"12\">\n"
              "\t<Material SpecularPower=\"8\" Diffuse=\"0.5 0.25 1\"/>\n</Shader>\n");

    // Every colour written reads back the same.
    m.get_colors().emissive = Vector3{0.1f, 0.2f, 0.3f};
    m.get_colors().reflection = Vector3{0, 0, 0};
    m.get_colors().specular = Vector3{2, 3, 4};
    m.get_colors().transparency = 0.125;
    const std::string text = save("Shader", m);
    Material back;
    ASSERT_TRUE(load(back, "Shader", text)) << text;
    const material::ColorsLoader& a = m.get_colors();
    const material::ColorsLoader& b = back.get_colors();
    EXPECT_EQ(b.diffuse, a.diffuse);
    EXPECT_EQ(b.emissive, a.emissive);
    EXPECT_EQ(b.specular, a.specular);
    EXPECT_EQ(b.reflection, a.reflection);
    EXPECT_EQ(b.specular_power, a.specular_power);
    EXPECT_EQ(b.transparency, a.transparency);
    EXPECT_EQ(back.get_name(), Atom("box"));
    EXPECT_EQ(back.get_triangles_count(), 12u);
    EXPECT_EQ(back.get_diffuse(), nullptr);
}

TEST_F(MaterialTest, ShaderListsFindMaterialsByNameAndTheirTextures)
{
    ShaderLoader shaders;
    ASSERT_TRUE(load(shaders, "Shaders", R"(<Shaders>
        <Shader Name="metal"><Material Diffuse="0.5 0.5 0.5"/></Shader>
        <Shader Name="glass"><Bump Image="pics/bumps"/></Shader>
        <Shader Name="metal"/>
    </Shaders>)"));
    const auto& materials = shaders.get_materials();
    ASSERT_EQ(materials.size(), 3u);
    EXPECT_EQ(shaders.find_object(Atom("metal"), false), materials[0].get());
    EXPECT_EQ(shaders.find_object(Atom("glass"), false), materials[1].get());
    EXPECT_EQ(shaders.find_object(Atom("Bump"), false), nullptr);
    EXPECT_EQ(shaders.find_object(Atom("Bump"), true), materials[1]->get_bump());
    EXPECT_EQ(shaders.find_object(Atom("wood"), true), nullptr);

    const ShaderLoader copy(shaders);
    ASSERT_EQ(copy.get_materials().size(), 3u);
    EXPECT_NE(copy.get_materials()[0].get(), materials[0].get());
    EXPECT_EQ(copy.get_materials()[0]->get_colors().diffuse, (Vector3{0.5f, 0.5f, 0.5f}));
    EXPECT_NE(copy.get_materials()[1]->get_bump(), nullptr);

    ShaderLoader refused;
    EXPECT_FALSE(load(refused, "Shaders", "<Shaders><Material/></Shaders>"));
    EXPECT_FALSE(load(refused, "Shaders", "<Shaders><Shader><Diffuse/><Diffuse/></Shader></Shaders>"));
}

} // namespace
