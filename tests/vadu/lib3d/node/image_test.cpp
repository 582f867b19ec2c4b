#include "vadu/lib3d/node/image.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "quad_test_support.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/bounds.h"

namespace {

using namespace quad_test;
using vadu::lib3d::node::ImageImpl;

struct Vertex {
    float x, y, u, v;
};

// The twelve vertices the image wrote into the buffer.
std::vector<Vertex> vertices_of(const render_fakes::FakeVertexBuffer& buffer)
{
    std::vector<Vertex> result;
    for (size_t i = 0; i * 3 < buffer.positions.size() && i * 2 < buffer.texture_coordinates.size(); ++i) {
        EXPECT_EQ(buffer.positions[i * 3 + 2], 0.0f);
        result.push_back({buffer.positions[i * 3], buffer.positions[i * 3 + 1], buffer.texture_coordinates[i * 2],
                          buffer.texture_coordinates[i * 2 + 1]});
    }
    return result;
}

class TextSinkForTest : public vadu::xml::Sink {
public:
    void write(const char* first, const char* last) override { text.append(first, last); }
    void flush() override {}
    std::string text;
};

class ImageTest : public QuadTest {
protected:
    Image* load_image(const std::string& attributes)
    {
        root = std::make_unique<LoadingRoot>("Root");
        return dynamic_cast<Image*>(load("<Image Name=\"I\" " + attributes + "/>", "I"));
    }

    // The image's buffer for the hardware (the last one made).
    render_fakes::FakeVertexBuffer& buffer() { return *hardware.buffers.back(); }
};

TEST_F(ImageTest, AlignmentPlacesTheRectangleAroundTheOrigin)
{
    const struct {
        const char* attributes;
        float x0, y0, w, h;
    } cases[] = {
        // y points up: TOP hangs the picture below the origin.
        {"", 0, -32, 64, 32},
        {R"(AlignX="CENTER" Width="100")", -50, -32, 100, 32},
        {R"(AlignX="RIGHT" AlignY="BOTTOM")", -64, 0, 64, 32},
        {R"(AlignX="CENTER" AlignY="CENTER")", -32, -16, 64, 32},
        {R"(AlignX="LEFT" AlignY="TOP" Width="10" Height="20")", 0, -20, 10, 20},
        // "TOP" and "BOTTOM" across and "LEFT" and "RIGHT" upright count as centred.
        {R"(AlignX="TOP" AlignY="LEFT" Height="-1")", -32, -16, 64, 32},
    };
    preload({"pics/ball"});
    for (const auto& c : cases) {
        Image* image = load_image(std::string(R"(Src="pics/ball" )") + c.attributes);
        ASSERT_NE(image, nullptr) << c.attributes;
        render();
        ASSERT_EQ(list->records.size(), 1u) << c.attributes;
        const float* rect = image->get_impl().get_rect();
        EXPECT_EQ((std::vector<float>{rect[0], rect[1], rect[2], rect[3]}), (std::vector<float>{c.x0, c.y0, c.w, c.h}))
            << c.attributes;

        const float x1 = c.x0 + c.w;
        const float y1 = c.y0 + c.h;
        const Vertex a{c.x0, c.y0, 0, 0}, b{c.x0, y1, 0, 1}, cc{x1, c.y0, 1, 0}, d{x1, y1, 1, 1};
        const Vertex expected[12] = {a, b, cc, cc, b, d, a, cc, b, cc, d, b};
        const std::vector<Vertex> written = vertices_of(buffer());
        ASSERT_EQ(written.size(), 12u) << c.attributes;
        for (size_t i = 0; i < 12; ++i) {
            EXPECT_TRUE(written[i].x == expected[i].x && written[i].y == expected[i].y && written[i].u == expected[i].u &&
                        written[i].v == expected[i].v)
                << c.attributes << " vertex " << i << ": " << written[i].x << " " << written[i].y;
        }
    }
}

TEST_F(ImageTest, BothSidesAreDrawn)
{
    preload({"pics/ball"});
    Image* image = load_image(R"(Src="pics/ball")");
    ASSERT_NE(image, nullptr);
    render();
    const std::vector<Vertex> v = vertices_of(buffer());
    ASSERT_EQ(v.size(), 12u);
    const auto winding = [&](size_t first) {
        return (v[first + 1].x - v[first].x) * (v[first + 2].y - v[first].y) -
               (v[first + 1].y - v[first].y) * (v[first + 2].x - v[first].x);
    };
    // The front pair turns one way, the back pair the other, over the same area.
    EXPECT_GT(winding(0) * winding(3), 0.0f);
    EXPECT_LT(winding(0) * winding(6), 0.0f);
    EXPECT_GT(winding(6) * winding(9), 0.0f);
    EXPECT_EQ(std::fabs(winding(0)), std::fabs(winding(6)));
}

TEST_F(ImageTest, AlignmentWordsAreExact)
{
    for (const char* attributes : {R"(AlignX="center")", R"(AlignY="Top")", R"(AlignX="MIDDLE")", R"(AlignX="")",
                                   R"(Width="wide")", R"(AlphaTest="maybe")", R"(Color="1 1")", R"(Colour="1 1 1")"}) {
        root = std::make_unique<LoadingRoot>("Root");
        EXPECT_THROW(load(std::string("<Image ") + attributes + "/>", "I"), vadu::GluckBadResource) << attributes;
    }
    const char* const words[] = {"CENTER", "LEFT", "RIGHT", "TOP", "BOTTOM"};
    for (int32_t value = 0; value < 5; ++value) {
        int32_t read = -1;
        ASSERT_TRUE(vadu::lib3d::node::alignment_from_word(words[value], &read));
        EXPECT_EQ(read, value);
        EXPECT_STREQ(vadu::lib3d::node::alignment_word(value), words[value]);
    }
    EXPECT_EQ(vadu::lib3d::node::alignment_word(5), nullptr);
    EXPECT_EQ(vadu::lib3d::node::alignment_word(-1), nullptr);
}

TEST_F(ImageTest, RecordCarriesTheImageAndNearlyInvisibleImagesOnlyDrawTheirChildren)
{
    const struct {
        double set;
        double stored;
        bool drawn;
    } cases[] = {
        {0.0, 0.0001, true},   {-1.0, 0.0001, true}, {0.25, 0.25, true},
        {0.998, 0.998, false}, {1.0, 0.9999, false}, {7.0, 0.9999, false},
    };
    preload({"pics/ball", "pics/box"});
    Image* image = load_image(
        R"(Src="pics/ball" Color="0.25 0.5 0.75" AlphaTest="true" AlphaReference="0.5" Position="1 2 3" Scale="2 2 1")");
    ASSERT_NE(image, nullptr);
    auto* child = new Image("Child", image);
    child->change_attribute(Atom("Src"), vadu::filesystem::String("pics/box", true));
    hard::StageTexture* ball = device_texture("pics/ball");
    ASSERT_NE(ball, nullptr);
    for (const auto& c : cases) {
        ASSERT_TRUE(image->change_attribute(Atom("Transparency"), c.set));
        render();
        double stored = 0.0;
        ASSERT_TRUE(image->get_attribute(Atom("Transparency"), stored));
        EXPECT_EQ(stored, c.stored) << c.set;
        ASSERT_EQ(list->records.size(), c.drawn ? 2u : 1u) << c.set;
        EXPECT_EQ(list->records.back().stages[0].texture, device_texture("pics/box")) << c.set;
        if (!c.drawn)
            continue;
        const hard::RenderRecord& record = list->records.front();
        EXPECT_EQ(record.stages[0].texture, ball);
        EXPECT_EQ(record.stages[0].alpha, 1);
        EXPECT_EQ(record.transparency, c.stored);
        EXPECT_EQ(record.diffuse, (Vector3{0.25f, 0.5f, 0.75f}));
        EXPECT_EQ(record.emissive, (Vector3{0.25f, 0.5f, 0.75f}));
        EXPECT_EQ(record.specular_power, 0.0);
        EXPECT_EQ(record.flag, 1);
        EXPECT_EQ(record.factor, 0.5f);
        EXPECT_EQ(record.vertex_buffer, image->get_impl().get_pairs().front().second.get());
        EXPECT_EQ(record.first_primitive, 0u);
        EXPECT_EQ(record.primitive_count, 4u);
        EXPECT_EQ(record.first_vertex, 0u);
        EXPECT_EQ(record.vertex_count, 12u);
        EXPECT_EQ(record.filter, 1);
        for (int i = 0; i < 16; ++i)
            EXPECT_EQ(record.world[i], image->get_cached_global_matrix()[i]) << i;
        EXPECT_EQ(record.world[3], 1.0f);
        EXPECT_EQ(record.world[0], 2.0f);
    }
}

TEST_F(ImageTest, PictureThatIsNotThereDrawsOnlyTheChildren)
{
    Image* image = load_image(R"(Src="pics/none" Width="10" Height="10")");
    ASSERT_NE(image, nullptr);
    auto* child = new Image("Child", image);
    child->change_attribute(Atom("Src"), vadu::filesystem::String("pics/box", true));
    render();
    EXPECT_TRUE(list->records.empty());
    ASSERT_TRUE(pump());
    render();
    ASSERT_EQ(list->records.size(), 1u);
    EXPECT_EQ(list->records.front().stages[0].texture, device_texture("pics/box"));
    EXPECT_FALSE(image->get_impl().is_filled());
}

TEST_F(ImageTest, ReplacedPictureStaysUntilTheNewOneIsBuilt)
{
    Image* image = load_image(R"(Src="pics/ball")");
    ASSERT_NE(image, nullptr);
    ASSERT_TRUE(pump());
    render();
    hard::StageTexture* ball = device_texture("pics/ball");
    ASSERT_EQ(list->records.size(), 1u);
    ASSERT_EQ(list->records.front().stages[0].texture, ball);

    ASSERT_TRUE(image->change_attribute(Atom("Src"), vadu::filesystem::String("pics/box", true)));
    EXPECT_TRUE(image->get_impl().is_dirty());
    render();
    ASSERT_EQ(list->records.size(), 1u);
    EXPECT_EQ(list->records.front().stages[0].texture, ball);
    EXPECT_EQ(image->get_impl().get_rect()[2], 64.0f);
    ASSERT_TRUE(image->change_attribute(Atom("Src"), vadu::filesystem::String("pics/ui", true)));
    render();
    ASSERT_EQ(list->records.size(), 1u);
    EXPECT_EQ(list->records.front().stages[0].texture, ball);

    ASSERT_TRUE(pump());
    render();
    ASSERT_EQ(list->records.size(), 1u);
    EXPECT_EQ(list->records.front().stages[0].texture, device_texture("pics/ui"));
    EXPECT_EQ(image->get_impl().get_previous_texture(), nullptr);
    EXPECT_FALSE(image->get_impl().is_dirty());
    EXPECT_EQ(vadu::String(image->get_impl().get_picture_name()), vadu::String("pics/ui"));
}

TEST_F(ImageTest, RefusedBufferUpdateIsAnError)
{
    preload({"pics/ball"});
    Image* image = load_image(R"(Src="pics/ball")");
    ASSERT_NE(image, nullptr);
    buffer().refuse = true;
    try {
        render();
        ADD_FAILURE() << "no exception";
    } catch (const vadu::Gluck& failure) {
        EXPECT_EQ(texture_test::to_std(failure.get_description()), "vb->update() failed");
        EXPECT_EQ(texture_test::to_std(failure.get_function()), "vadu::lib3d::node::ImageImpl::fill_vb");
    }
    EXPECT_FALSE(image->get_impl().is_filled());
}

TEST_F(ImageTest, SavingWritesWhatDiffersFromTheDefaults)
{
    const struct {
        const char* attributes;
        const char* saved;
    } cases[] = {
        {"", R"(Name="I")"},
        {R"(Width="-1" Height="-1" AlignX="LEFT" AlignY="TOP" Transparency="0.00005" Color="1 1 1" AlphaTest="true")",
         R"(Name="I")"},
        {R"(Src="Pics/Ball" Transparency="0.5" Color="0.5 1 1" Width="10" Height="0" AlignX="CENTER" AlignY="BOTTOM" Position="1 2 3")",
         R"(Transparency="0.5" Color="0.5 1 1" Width="10" Height="0" AlignX="CENTER" AlignY="BOTTOM" Src="Pics/Ball" Name="I" Position="1 2 3")"},
    };
    for (const auto& c : cases) {
        Image* image = load_image(c.attributes);
        ASSERT_NE(image, nullptr) << c.attributes;
        TextSinkForTest sink;
        vadu::xml::save_document(sink, "Scene", *image);
        EXPECT_EQ(sink.text, std::string("<?xml version=\"1.0\"?>\n\n<Scene ") + c.saved + "/>\n") << c.attributes;
    }
    // The picture is kept in a saved scene even before it has loaded, and images come back
    // as images.
    Image* image = load_image(R"(Src="pics/ball" AlignX="RIGHT")");
    TextSinkForTest world;
    vadu::xml::save_document(world, "Scene", *root->find_child("World", false));
    texture_test::write_text(folder_ / "again.scene", world.text);
    root = std::make_unique<LoadingRoot>("Root");
    vadu::lib3d::node::create_from_resource("World", root.get(), vadu::filesystem::String("again.scene", true));
    image = dynamic_cast<Image*>(root->find_child("I", true));
    ASSERT_NE(image, nullptr) << world.text;
    EXPECT_EQ(image->get_impl().align_x, vadu::lib3d::node::ALIGN_RIGHT);
    ASSERT_TRUE(pump());
    render();
    EXPECT_EQ(list->records.size(), 1u);
}

TEST_F(ImageTest, AttributesByName)
{
    Image image("I", root.get());
    Vector3 colour;
    ASSERT_TRUE(image.get_attribute(Atom("Color"), colour));
    EXPECT_EQ(colour, (Vector3{1, 1, 1}));
    ASSERT_TRUE(image.change_attribute(Atom("Color"), Vector3{0.5f, 0.25f, 0}));
    ASSERT_TRUE(image.get_attribute(Atom("Color"), colour));
    EXPECT_EQ(colour, (Vector3{0.5f, 0.25f, 0}));
    // The node's attributes are still there.
    ASSERT_TRUE(image.change_attribute(Atom("Position"), Vector3{1, 2, 3}));
    EXPECT_EQ(image.get_position(), (Vector3{1, 2, 3}));
    ASSERT_TRUE(image.change_attribute(Atom("Visibility"), 0.0));
    EXPECT_FALSE(image.is_visible());
    double unused = 0.0;
    EXPECT_FALSE(image.get_attribute(Atom("SpecularLevel"), unused));
    EXPECT_FALSE(image.change_attribute(Atom("Image"), vadu::filesystem::String("pics/ball", true)));
}

TEST_F(ImageTest, BoundsOnceThePictureHasLoaded)
{
    Image* image = load_image(R"(Src="pics/ball" Position="10 20 0")");
    ASSERT_NE(image, nullptr);
    struct Query : vadu::lib3d::node::BoundsQuery {
        bool begin() override { return true; }
        vadu::lib3d::node::BoundsRect& rect() override { return bounds; }
        bool finish() override { return true; }
        vadu::lib3d::node::BoundsRect bounds;
    };
    Query before;
    EXPECT_TRUE(vadu::lib3d::node::query_node_bounds(*image, before));
    EXPECT_EQ(before.bounds.empty, 1);
    EXPECT_TRUE(std::isnan(before.bounds.min_x));

    ASSERT_TRUE(pump());
    const struct {
        int32_t align_x, align_y;
        Vector3 scale;
        float min_x, min_y, max_x, max_y;
    } cases[] = {
        {vadu::lib3d::node::ALIGN_LEFT, vadu::lib3d::node::ALIGN_TOP, {1, 1, 1}, 10, -12, 74, 20},
        {vadu::lib3d::node::ALIGN_CENTER, vadu::lib3d::node::ALIGN_CENTER, {1, 1, 1}, -22, 4, 42, 36},
        {vadu::lib3d::node::ALIGN_LEFT, vadu::lib3d::node::ALIGN_BOTTOM, {-1, 1, 1}, -54, 20, 10, 52},
    };
    for (const auto& c : cases) {
        image->get_impl().align_x = c.align_x;
        image->get_impl().align_y = c.align_y;
        image->set_scale(c.scale);
        Query query;
        EXPECT_TRUE(image->query_bounds(query));
        EXPECT_EQ(query.bounds.empty, 0);
        EXPECT_TRUE(near(query.bounds.min_x, c.min_x) && near(query.bounds.min_y, c.min_y) &&
                    near(query.bounds.max_x, c.max_x) && near(query.bounds.max_y, c.max_y))
            << c.align_x << " " << c.align_y << ": " << query.bounds.min_x << " " << query.bounds.min_y << " "
            << query.bounds.max_x << " " << query.bounds.max_y;
    }
    image->get_impl().width = 0;
    Query flat;
    EXPECT_TRUE(image->query_bounds(flat));
    EXPECT_EQ(flat.bounds.empty, 1);
}

TEST_F(ImageTest, CopiesShowTheSamePicture)
{
    preload({"pics/ball"});
    Image* image = load_image(R"(Src="pics/ball" AlignX="CENTER" Width="20" Transparency="0.5" AlphaTest="1")");
    ASSERT_NE(image, nullptr);
    Node* copy = image->clone();
    EXPECT_EQ(copy->get_type_name(), Atom("Image"));
    EXPECT_EQ(copy->get_element_name(), Atom("Image"));
    root->add_child(copy, true);
    render();
    ASSERT_EQ(list->records.size(), 2u);
    EXPECT_EQ(list->records[0].stages[0].texture, list->records[1].stages[0].texture);
    ImageImpl& copied = static_cast<Image*>(copy)->get_impl();
    EXPECT_EQ(copied.get_rect()[0], -10.0f);
    EXPECT_EQ(copied.get_rect()[2], 20.0f);
    EXPECT_EQ(list->records[1].transparency, 0.5);
    EXPECT_EQ(list->records[1].flag, 1);
    EXPECT_NE(list->records[0].vertex_buffer, list->records[1].vertex_buffer);
}

} // namespace
