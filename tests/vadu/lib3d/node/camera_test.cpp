#include "vadu/lib3d/node/camera.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "scene_test_support.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/image.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/view_fit.h"

namespace {

using namespace scene_test;
using vadu::lib3d::get_current_camera;
using vadu::lib3d::node::Camera;
using vadu::lib3d::node::CameraParallel;
using vadu::lib3d::node::CameraPerspective;
using vadu::lib3d::node::create_node;

Matrix4 matrix(std::initializer_list<std::pair<int, float>> elements)
{
    Matrix4 m = Matrix4::identity();
    for (const auto& [index, value] : elements)
        m[index] = value;
    return m;
}

// Scenes with cameras, under a LoadingRoot unless a test says otherwise.
class CameraTest : public SceneTest {
protected:
    CameraTest()
    {
        vadu::lib3d::node::register_node_type("CameraParallel",
                                              &vadu::lib3d::node::create_node_of_type<CameraParallel>);
        vadu::lib3d::node::register_node_type("CameraPerspective",
                                              &vadu::lib3d::node::create_node_of_type<CameraPerspective>);
        root = std::make_unique<LoadingRoot>("Root");
    }
    ~CameraTest() override
    {
        root.reset();
        vadu::lib3d::node::unregister_node_type("CameraPerspective");
        vadu::lib3d::node::unregister_node_type("CameraParallel");
    }

    // The scene text as a file loaded under the root; returns the node named "Camera".
    Camera* load_camera(const std::string& scene)
    {
        write("camera.scene", "<Scene Name=\"World\">" + scene + "</Scene>");
        load("camera.scene", "World", root.get()).release();
        return dynamic_cast<Camera*>(root->find_child("Camera", true));
    }

    std::unique_ptr<LoadingRoot> root;
    render_fakes::FakeHardware hardware;
    vadu::lib3d::hard::RenderList list;
};

TEST_F(CameraTest, ProjectionsFromSceneAttributes)
{
    const struct {
        const char* element;
        Matrix4 projection;
        std::array<float, 4> view_rect;
    } cases[] = {
        // The 800 x 600 parallel camera: one unit per pixel.
        {R"(<CameraParallel Name="Camera" Width="800" Height="600" NearPlane="-100" FarPlane="100"/>)",
         matrix({{0, 0.0025f}, {5, 1.0f / 300.0f}, {10, -0.01f}, {11, 0.0f}}),
         {0, 0, 800, 600}},
        {R"(<CameraParallel Name="Camera" Width="800" Height="600" NearPlane="1" FarPlane="101"/>)",
         matrix({{0, 0.0025f}, {5, 1.0f / 300.0f}, {10, -0.02f}, {11, 1.02f}}),
         {0, 0, 800, 600}},
        // The perspective defaults (field of view 0.9273, aspect 0.75).
        {R"(<CameraPerspective Name="Camera" NearPlane="1" FarPlane="101"/>)",
         matrix({{0, 1.5f}, {5, 2.0f}, {10, 1.02f}, {11, -2.02f}, {14, 1.0f}, {15, 0.0f}}),
         {0, 0, 0, 0}},
        {R"(<CameraPerspective Name="Camera" Fov="1.5707963" Aspect="1" NearPlane="2" FarPlane="6"/>)",
         matrix({{0, 1.0f}, {5, 1.0f}, {10, 2.0f}, {11, -6.0f}, {14, 1.0f}, {15, 0.0f}}),
         {0, 0, 0, 0}},
        // Degenerate cameras get the identity rather than a division by zero.
        {R"(<CameraParallel Name="Camera"/>)", Matrix4::identity(), {0, 0, 1, 1}},
        {R"(<CameraParallel Name="Camera" Width="800" Height="600" NearPlane="5" FarPlane="5"/>)",
         Matrix4::identity(), {0, 0, 800, 600}},
        {R"(<CameraParallel Name="Camera" Width="0" Height="600" NearPlane="1" FarPlane="2"/>)",
         Matrix4::identity(), {0, 0, 0, 600}},
        {R"(<CameraPerspective Name="Camera" NearPlane="5" FarPlane="5"/>)", Matrix4::identity(), {0, 0, 0, 0}},
        {R"(<CameraPerspective Name="Camera" Fov="0" NearPlane="1" FarPlane="2"/>)", Matrix4::identity(),
         {0, 0, 0, 0}},
    };
    for (const auto& c : cases) {
        root = std::make_unique<LoadingRoot>("Root");
        Camera* camera = load_camera(c.element);
        ASSERT_NE(camera, nullptr) << c.element;
        const Matrix4& projection = camera->get_params().projection;
        EXPECT_TRUE(matrices_near(projection, c.projection, 5e-5f)) << c.element;
        EXPECT_TRUE(std::isfinite(projection[0]) && std::isfinite(projection[10])) << c.element;
        EXPECT_EQ(camera->get_view_rect(), c.view_rect) << c.element;
    }
}

TEST_F(CameraTest, PerspectiveDefaults)
{
    CameraPerspective camera("Camera", root.get());
    EXPECT_DOUBLE_EQ(camera.get_fov(), 0.9273);
    EXPECT_DOUBLE_EQ(camera.get_aspect(), 0.75);
    EXPECT_NEAR(camera.get_horizontal_fov(), 1.1760, 1e-4);
    EXPECT_FALSE(camera.is_parallel());
    // Nothing is built before the element ends or an attribute changes.
    EXPECT_TRUE(matrices_near(camera.get_params().projection, Matrix4{}, 0));
    camera.change_attribute(Atom("FarPlane"), 10.0);
    EXPECT_NEAR(camera.get_params().projection[5], 1.99999, 1e-5);
    EXPECT_NEAR(camera.get_params().projection[0], 1.5, 1e-5);
}

TEST_F(CameraTest, DepthRangesMapInOppositeDirections)
{
    Camera* parallel = load_camera(
        R"(<CameraParallel Name="Camera" Width="800" Height="600" NearPlane="-100" FarPlane="100"/>)");
    const Matrix4& ortho = parallel->get_params().projection;
    EXPECT_TRUE(vectors_near(Matrix4::project_point(ortho, {400, 300, -100}), {1, 1, 1}, 1e-6f));
    EXPECT_TRUE(vectors_near(Matrix4::project_point(ortho, {-400, -300, 100}), {-1, -1, -1}, 1e-6f));

    CameraPerspective perspective("Other", root.get());
    perspective.change_attribute(Atom("NearPlane"), 1.0);
    perspective.change_attribute(Atom("FarPlane"), 101.0);
    const Matrix4& projection = perspective.get_params().projection;
    EXPECT_NEAR(Matrix4::project_point(projection, {0, 0, 1}).z, -1.0f, 1e-5f);
    EXPECT_NEAR(Matrix4::project_point(projection, {0, 0, 101}).z, 1.0f, 1e-5f);
}

TEST_F(CameraTest, FrustumsBoundWhatTheCameraSees)
{
    Camera* parallel = load_camera(
        R"(<CameraParallel Name="Camera" Width="800" Height="600" NearPlane="-100" FarPlane="100"/>)");
    CameraPerspective perspective("Other", root.get());
    perspective.change_attribute(Atom("NearPlane"), 1.0);
    perspective.change_attribute(Atom("FarPlane"), 100.0);
    const struct {
        Camera* camera;
        Vector3 point;
        int expected; // 0 inside, 2 outside
    } cases[] = {
        {parallel, {399, 299, 0}, 0},  {parallel, {401, 0, 0}, 2},    {parallel, {-401, 0, 0}, 2},
        {parallel, {0, 301, 0}, 2},    {parallel, {0, -301, 0}, 2},   {parallel, {0, 0, -99}, 0},
        {parallel, {0, 0, 101}, 2},    {parallel, {0, 0, -101}, 2},   {&perspective, {0, 0, 50}, 0},
        {&perspective, {0, 0, 0.5f}, 2}, {&perspective, {0, 0, 101}, 2},
        // Half the horizontal field of view is about 0.588 rad (tan 0.667), half the
        // vertical 0.464 (tan 0.5).
        {&perspective, {30, 0, 50}, 0}, {&perspective, {35, 0, 50}, 2}, {&perspective, {0, 24, 50}, 0},
        {&perspective, {0, 26, 50}, 2},
    };
    for (const auto& c : cases) {
        const auto& frustum = c.camera->get_params().frustum;
        EXPECT_EQ(frustum.test_sphere(c.point.x, c.point.y, c.point.z, 0.0f), c.expected)
            << c.camera->get_name().get_name().c_str() << " (" << c.point.x << ", " << c.point.y << ", "
            << c.point.z << ")";
    }
}

TEST_F(CameraTest, EveryAttributeChangeRebuildsTheProjection)
{
    const char* const parallel_names[] = {"Width", "Height", "NearPlane", "FarPlane", "FogRange"};
    for (const char* name : parallel_names) {
        CameraParallel camera("Camera", root.get());
        // Fresh: an all-zero projection; any change builds one (identity here, since the
        // planes still coincide unless this change moved one).
        ASSERT_TRUE(camera.change_attribute(Atom(name), 2.0)) << name;
        EXPECT_FALSE(matrices_near(camera.get_params().projection, Matrix4{}, 0)) << name;
        double value = 0.0;
        ASSERT_TRUE(camera.get_attribute(Atom(name), value)) << name;
        EXPECT_EQ(value, 2.0) << name;
    }
    for (const char* name : {"Fov", "Aspect", "NearPlane", "FarPlane", "FogRange"}) {
        CameraPerspective camera("Camera", root.get());
        ASSERT_TRUE(camera.change_attribute(Atom(name), 0.5)) << name;
        EXPECT_FALSE(matrices_near(camera.get_params().projection, Matrix4{}, 0)) << name;
        double value = 0.0;
        ASSERT_TRUE(camera.get_attribute(Atom(name), value)) << name;
        EXPECT_EQ(value, 0.5) << name;
    }
    CameraParallel camera("Camera", root.get());
    EXPECT_FALSE(camera.change_attribute(Atom("Fov"), 1.0));
    EXPECT_TRUE(camera.change_attribute(Atom("Visibility"), 0.0));
    EXPECT_FALSE(camera.is_visible());
    // A parallel camera answers to its width, a perspective one to its aspect.
    CameraPerspective perspective("Other", root.get());
    double unused = 0.0;
    EXPECT_FALSE(camera.get_attribute(Atom("Aspect"), unused));
    EXPECT_FALSE(perspective.get_attribute(Atom("Width"), unused));
}

TEST_F(CameraTest, CamerasJoinAndLeaveTheirRootsList)
{
    Node* world = new Node("World", root.get());
    auto* first = new CameraParallel("First", world);
    auto* second = new CameraPerspective("Second", root.get());
    EXPECT_EQ(root->get_cameras(), (std::vector<Camera*>{first, second}));

    std::unique_ptr<Node> copy(first->clone());
    EXPECT_EQ(root->get_cameras().size(), 2u);
    EXPECT_EQ(copy->get_type_name(), Atom("CameraParallel"));

    delete first;
    EXPECT_EQ(root->get_cameras(), (std::vector<Camera*>{second}));
    // A camera moved to another tree still leaves the list it joined when it dies.
    LoadingRoot other("Other");
    other.add_child(second, true);
    delete second;
    EXPECT_TRUE(root->get_cameras().empty());
    EXPECT_TRUE(other.get_cameras().empty());
}

TEST_F(CameraTest, CameraWithoutALoadingRootWorksWithoutAList)
{
    // A tree topped by a plain node: no root, so no list to join.
    Node top("Top", nullptr);
    auto* camera = new CameraParallel("Camera", &top);
    camera->change_attribute(Atom("NearPlane"), -1.0);
    camera->change_attribute(Atom("FarPlane"), 1.0);
    new RecordingNode("Thing", &top);
    EXPECT_TRUE(camera->prepare_render(hardware, list));
    EXPECT_EQ(get_current_camera(), camera);
    // With no root there is nothing to draw, but the camera block is filled.
    EXPECT_TRUE(list.records.empty());
    EXPECT_TRUE(matrices_near(list.projection, camera->get_params().projection, 0));
    delete camera;
    EXPECT_EQ(get_current_camera(), nullptr);

    // Built without any parent, as a creator may be called.
    std::unique_ptr<Node> orphan(create_node(nullptr, Atom("CameraPerspective"), Atom("Orphan")));
    ASSERT_NE(orphan, nullptr);
    EXPECT_EQ(orphan->get_root(), nullptr);
}

TEST_F(CameraTest, CurrentCameraFollowsPrepareRenderAndClearsWhenItDies)
{
    EXPECT_EQ(get_current_camera(), nullptr);
    auto* first = new CameraParallel("First", root.get());
    auto* second = new CameraParallel("Second", root.get());
    first->prepare_render(hardware, list);
    EXPECT_EQ(get_current_camera(), first);
    second->prepare_render(hardware, list);
    EXPECT_EQ(get_current_camera(), second);
    delete first;
    EXPECT_EQ(get_current_camera(), second);
    delete second;
    EXPECT_EQ(get_current_camera(), nullptr);
    // The list's sort asks the current camera; with none it measures full distances.
    list.clear();
    list.render(hardware);
}

TEST_F(CameraTest, PrepareRenderFillsTheCameraBlockAndDrawsTheWholeRoot)
{
    Camera* camera = load_camera(R"(<Node Name="Rig" Position="10 20 30">
      <CameraParallel Name="Camera" Width="800" Height="600" NearPlane="-100" FarPlane="100"
          FogColor="0.25 0.5 0.75" FogRange="40" ViewportLeft="-0.5" ViewportRight="0.5"
          ViewportTop="0.75" ViewportBottom="-0.25" Position="1 2 3"/>
    </Node>
    <Recorder Name="A"/>
    <Node><Recorder Name="B"/></Node>)");
    ASSERT_NE(camera, nullptr);
    list.clear();
    EXPECT_TRUE(camera->prepare_render(hardware, list));

    EXPECT_EQ(journal, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(list.records.size(), 2u);
    EXPECT_TRUE(matrices_near(list.projection, camera->get_params().projection, 0));
    EXPECT_TRUE(matrices_near(list.camera_matrix, compose({11, 22, 33}, {0, 0, 0}, {1, 1, 1})));
    const double viewport[4] = {-0.5, 0.5, 0.75, -0.25};
    for (int i = 0; i < 4; ++i)
        EXPECT_NEAR(list.viewport[i], viewport[i], 1e-9) << i;
    EXPECT_TRUE(vectors_near(list.camera_vector, {0.25f, 0.5f, 0.75f}, 0));
    EXPECT_EQ(list.camera_value, 40.0);
    EXPECT_EQ(std::vector<float>(list.view_rect, list.view_rect + 4), (std::vector<float>{0, 0, 800, 600}));
    const auto& expected = camera->get_params().frustum;
    for (int plane = 0; plane < 6; ++plane) {
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(list.frustum.planes[plane].normal[i], expected.planes[plane].normal[i]);
        EXPECT_EQ(list.frustum.planes[plane].distance, expected.planes[plane].distance);
    }
}

// The fake frame is 800 × 600. Scenes laid out for a window of another shape are shown at
// one scale both ways: the frame's view reaches beyond the camera's sides where the frame
// is relatively wider or taller, and culling lets through what that wider view shows.
TEST_F(CameraTest, AFrameOfAnotherShapeThanTheLayoutShowsMoreOfTheSceneUnstretched)
{
    Camera* camera = load_camera(
        R"(<CameraParallel Name="Camera" Width="960" Height="640" NearPlane="-100" FarPlane="100"/>)");
    ASSERT_NE(camera, nullptr);
    struct Case {
        double layout_width, layout_height;
        double visible_width, visible_height; // of the scene, in the 800 × 600 frame
    } const cases[] = {
        {0, 0, 960, 640},        // no layout: stretched as ever
        {800, 600, 960, 640},    // the frame's own shape: stretched as laid out
        {960, 640, 960, 720},    // a 3:2 layout in a 4:3 frame: 40 more above and below
        {600, 600, 1280, 640},    // a square layout: more at the sides
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.layout_width) + "x" + std::to_string(c.layout_height));
        vadu::view::set_layout_size(c.layout_width, c.layout_height);
        list.clear();
        camera->prepare_render(hardware, list);
        const Matrix4 expected = vadu::lib3d::node::ortho_projection(
            -c.visible_width / 2, c.visible_width / 2, -c.visible_height / 2, c.visible_height / 2, -100, 100);
        EXPECT_TRUE(matrices_near(list.projection, expected, 1e-6f));
        // A small ball just inside each side of the visible scene is drawn; just beyond, culled.
        const float x = static_cast<float>(c.visible_width / 2);
        const float y = static_cast<float>(c.visible_height / 2);
        EXPECT_LT(list.frustum.test_sphere(x - 2, 0, 0, 1), 2);
        EXPECT_LT(list.frustum.test_sphere(0, y - 2, 0, 1), 2);
        EXPECT_EQ(list.frustum.test_sphere(x + 2, 0, 0, 1), 2);
        EXPECT_EQ(list.frustum.test_sphere(0, -y - 2, 0, 1), 2);
    }
    // The camera itself is left as laid out: the pointer's mapping reads it.
    const Matrix4 own = vadu::lib3d::node::ortho_projection(-480, 480, -320, 320, -100, 100);
    EXPECT_TRUE(matrices_near(camera->get_params().projection, own, 1e-6f));
    vadu::view::set_layout_size(0, 0);
}

TEST_F(CameraTest, SortMeasuresDepthOnlyThroughAParallelCamera)
{
    Camera* parallel =
        load_camera(R"(<CameraParallel Name="Camera" Width="800" Height="600" NearPlane="-100" FarPlane="100"/>)");
    auto* perspective = new CameraPerspective("Perspective", root.get());
    // Blended records: one far to the side but near in depth, one straight ahead.
    const auto sorted_names = [&](Camera& camera) {
        list.clear();
        camera.prepare_render(hardware, list);
        for (const Vector3& at : {Vector3{1000, 0, 5}, Vector3{0, 0, 10}}) {
            vadu::lib3d::hard::RenderRecord record;
            record.world = compose(at, {0, 0, 0}, {1, 1, 1});
            record.transparency = 0.5;
            list.add_record(record);
        }
        list.render(hardware);
        std::vector<float> xs;
        for (const auto& item : list.sorted_items)
            xs.push_back(list.records[item.index].world[3]);
        return xs;
    };
    // Far things first: by depth alone the sideways record is the nearer one.
    EXPECT_EQ(sorted_names(*parallel), (std::vector<float>{0, 1000}));
    EXPECT_EQ(sorted_names(*perspective), (std::vector<float>{1000, 0}));
}

TEST_F(CameraTest, WorldRays)
{
    auto* parallel = new CameraParallel("Parallel", root.get());
    try {
        parallel->get_world_ray(0, 0);
        ADD_FAILURE() << "no exception";
    } catch (const vadu::Gluck& failure) {
        EXPECT_EQ(to_std(failure.get_description()), "Not implemented yet");
        EXPECT_EQ(to_std(failure.get_function()), "vadu::lib3d::node::CameraParallel::get_world_ray");
    }

    auto* camera = new CameraPerspective("Camera", root.get());
    camera->set_position({1, 2, 3});
    const struct {
        double x, y;
        Vector3 direction;
    } cases[] = {
        {0, 0, {0, 0, 1}},
        {1, 1, {1 / 1.5f, 0.5f, 1}},
        {-1, 0.5, {-1 / 1.5f, 0.25f, 1}},
    };
    for (const auto& c : cases) {
        const auto ray = camera->get_world_ray(c.x, c.y);
        EXPECT_TRUE(vectors_near(ray.origin, {1, 2, 3})) << c.x << " " << c.y;
        EXPECT_TRUE(vectors_near(ray.direction, c.direction)) << c.x << " " << c.y;
    }
    // Turned, the ray follows the camera's view axis: the third column of its rotation.
    camera->set_rotation({0, 1.5707964f, 0});
    const auto turned = camera->get_world_ray(0, 0);
    const Matrix4 rotation = Matrix4::rotation(0, 1.5707964f, 0);
    EXPECT_TRUE(vectors_near(turned.direction, {rotation[2], rotation[6], rotation[10]}));
}

TEST_F(CameraTest, TargetIsBoundByNameOnceAndSearchedAgainAfterItDies)
{
    Camera* camera = load_camera(R"(<Node Name="Rig">
      <CameraPerspective Name="Camera" Target="Ball" TopVector="0 1 0" NearPlane="1" FarPlane="100"/>
      <Node Name="Ball" Position="0 50 50"/>
    </Node>)");
    ASSERT_NE(camera, nullptr);
    Node* ball = root->find_child("Ball", true);
    const Vector3 before = camera->get_rotation();
    camera->setup();
    EXPECT_EQ(camera->get_target(), ball);
    EXPECT_FALSE(camera->get_rotation() == before);
    EXPECT_TRUE(matrices_near(camera->get_params().camera_matrix, camera->get_global_matrix(true), 0));

    delete ball;
    EXPECT_EQ(camera->get_target(), nullptr);
    Node* replacement = new Node("Ball", camera->get_parent());
    camera->setup();
    EXPECT_EQ(camera->get_target(), replacement);

    // A name that finds nothing is dropped, so it is not searched for every frame.
    camera->set_target(nullptr);
    camera->set_target_name("Nobody");
    camera->setup();
    EXPECT_TRUE(camera->get_target_name().empty());
}

TEST_F(CameraTest, SavingWritesOnlyWhatDiffersFromTheDefaults)
{
    const struct {
        const char* element;
        const char* attributes;
    } cases[] = {
        {R"(<CameraParallel Name="Camera"/>)", R"(Name="Camera")"},
        {R"(<CameraParallel Name="Camera" Width="800" Height="600" NearPlane="-100" FarPlane="100" FogRange="3" FogColor="0.5 1 1" ViewportLeft="0" ViewportRight="0.5" ViewportTop="0.25" ViewportBottom="0.125"/>)",
         R"(Height="600" Width="800" NearPlane="-100" FarPlane="100" FogRange="3" FogColor="0.5 1 1" ViewportLeft="0" ViewportRight="0.5" ViewportTop="0.25" ViewportBottom="0.125" Name="Camera")"},
        {R"(<CameraPerspective Name="Camera"/>)", R"(Name="Camera")"},
        {R"(<CameraPerspective Name="Camera" Fov="1.25" Aspect="0.5625" NearPlane="1" FarPlane="50" Position="0 0 -5"/>)",
         R"(Fov="1.25" Aspect="0.5625" NearPlane="1" FarPlane="50" Name="Camera" Position="0 0 -5")"},
    };
    for (const auto& c : cases) {
        root = std::make_unique<LoadingRoot>("Root");
        Camera* camera = load_camera(c.element);
        ASSERT_NE(camera, nullptr) << c.element;
        EXPECT_EQ(save(*camera), std::string("<?xml version=\"1.0\"?>\n\n<Scene ") + c.attributes + "/>\n");

        // Cameras are written under their type's name, so a saved scene loads back.
        const std::string scene = save(*root->find_child("World", false));
        EXPECT_NE(scene.find(to_std(camera->get_type_name().get_name())), std::string::npos) << scene;
        const Matrix4 projection = camera->get_params().projection;
        const Atom type = camera->get_type_name();
        write("again.scene", scene);
        root = std::make_unique<LoadingRoot>("Root");
        load("again.scene", "World", root.get()).release();
        auto* reloaded = dynamic_cast<Camera*>(root->find_child("Camera", true));
        ASSERT_NE(reloaded, nullptr) << scene;
        EXPECT_EQ(reloaded->get_type_name(), type);
        EXPECT_TRUE(matrices_near(reloaded->get_params().projection, projection, 0)) << scene;
    }
}

TEST_F(CameraTest, UnknownOrBadAttributeFailsTheScene)
{
    for (const char* element : {R"(<CameraParallel Name="Camera" Zoom="2"/>)",
                                R"(<CameraParallel Name="Camera" Width="wide"/>)",
                                R"(<CameraPerspective Name="Camera" Width="800"/>)",
                                R"(<CameraParallel Name="Camera" Fov="1"/>)",
                                R"(<CameraParallel Name="Camera" FogColor="1 1"/>)"}) {
        write("bad.scene", std::string("<Scene>") + element + "</Scene>");
        EXPECT_THROW(load("bad.scene", "Bad", root.get()), vadu::GluckBadResource) << element;
    }
    EXPECT_TRUE(root->get_cameras().empty());
}

// Which visitor operation each node type reaches.
class NamingVisitor : public vadu::lib3d::node::NodeVisitor {
public:
    void visit_node(Node&) override { seen.push_back("node"); }
    void visit_loading_root(LoadingRoot&) override { seen.push_back("root"); }
    void visit_camera(Camera&) override { seen.push_back("camera"); }
    void visit_animation_2d(vadu::lib3d::node::Animation2D&) override { seen.push_back("animation"); }
    void visit_image(vadu::lib3d::node::Image&) override { seen.push_back("image"); }
    void visit_text(vadu::lib3d::node::Text&) override { seen.push_back("text"); }
    std::vector<std::string> seen;
};

TEST_F(CameraTest, VisitorsSeeCamerasAndImagesAsThemselvesAndSpritesAsNodes)
{
    CameraParallel parallel("A", root.get());
    CameraPerspective perspective("B", root.get());
    vadu::lib3d::node::Image image("C", nullptr);
    vadu::lib3d::node::Sprite sprite("D", nullptr);
    NamingVisitor visitor;
    for (Node* node : std::initializer_list<Node*>{&parallel, &perspective, &image, &sprite})
        node->accept(visitor);
    EXPECT_EQ(visitor.seen, (std::vector<std::string>{"camera", "camera", "image", "node"}));
}

} // namespace
