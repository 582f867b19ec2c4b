#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "scene_test_support.h"

namespace {

using namespace scene_test;
using vadu::lib3d::node::extract_euler;

constexpr float half_pi = 1.5707964f;

struct Placement {
    Vector3 position;
    Vector3 rotation;
    Vector3 scale;
};

void place(Node& node, const Placement& p)
{
    node.set_position(p.position);
    node.set_rotation(p.rotation);
    node.set_scale(p.scale);
}

Vector3 column(const Matrix4& m, int c)
{
    return Vector3{m[c], m[4 + c], m[8 + c]};
}

bool finite(const Matrix4& m)
{
    for (float element : m.m) {
        if (!std::isfinite(element))
            return false;
    }
    return true;
}

using TransformTest = SceneTest;

TEST_F(TransformTest, LocalMatrixIsRotationTimesScalePlusPosition)
{
    Node node("N", nullptr);
    EXPECT_TRUE(matrices_near(node.get_local_matrix(), Matrix4::identity(), 0));
    const Placement p{{1, -2, 3}, {0.3f, -0.4f, 1.2f}, {2, 3, 0.5f}};
    place(node, p);
    EXPECT_TRUE(matrices_near(node.get_local_matrix(), compose(p.position, p.rotation, p.scale), 1e-6f));
    node.change_attribute(Atom("Position"), Vector3{4, 5, 6});
    EXPECT_TRUE(matrices_near(node.get_local_matrix(), compose({4, 5, 6}, p.rotation, p.scale), 1e-6f));
}

// Old and new parents with translation, rotation and scale; the moved child keeps its
// global matrix with keep_local false and its local values with keep_local true.
TEST_F(TransformTest, AddChildKeepsTheGlobalPlacementOrTheLocalValues)
{
    struct Case {
        const char* label;
        Placement from;
        Placement to;
        Placement child;
    };
    const Placement identity{{0, 0, 0}, {0, 0, 0}, {1, 1, 1}};
    const Case cases[] = {
        {"translation", {{5, 0, 0}, {}, {1, 1, 1}}, {{0, -3, 2}, {}, {1, 1, 1}}, {{1, 1, 1}, {}, {1, 1, 1}}},
        {"rotation about z", identity, {{}, {0, 0, half_pi}, {1, 1, 1}}, {{2, 0, 0}, {0, 0, 0.5f}, {1, 1, 1}}},
        {"rotation about all axes", {{}, {0.4f, 0.2f, -0.7f}, {1, 1, 1}}, {{}, {-0.3f, 0.6f, 1.1f}, {1, 1, 1}},
         {{1, 2, 3}, {0.1f, -0.2f, 0.3f}, {1, 1, 1}}},
        {"uniform scale", {{}, {}, {0.5f, 0.5f, 0.5f}}, {{}, {}, {4, 4, 4}}, {{2, 2, 2}, {}, {3, 1, 2}}},
        {"non-uniform scale", identity, {{}, {}, {2, 4, 0.5f}}, {{1, 1, 1}, {}, {1, 1, 1}}},
        {"everything", {{1, 2, 3}, {0.3f, 0.1f, 0.2f}, {2, 2, 2}}, {{-4, 0, 7}, {1.0f, -0.5f, 0.25f}, {0.5f, 0.5f, 0.5f}},
         {{0.5f, -1, 2}, {-0.6f, 0.4f, 0.9f}, {1.5f, 1.5f, 1.5f}}},
    };
    for (const bool keep_local : {false, true}) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.label) + (keep_local ? " keeping local values" : " keeping placement"));
            auto root = std::make_unique<LoadingRoot>("Root");
            auto* from = new Node("From", root.get());
            auto* to = new Node("To", root.get());
            auto* child = new Node("Child", from);
            new Node("Grandchild", child);
            place(*from, c.from);
            place(*to, c.to);
            place(*child, c.child);
            const Matrix4 before = child->get_global_matrix(true);

            to->add_child(child, keep_local);
            EXPECT_EQ(child->get_parent(), to);
            EXPECT_EQ(from->get_child_count(), 0u);
            EXPECT_EQ(child->get_child_count(), 1u);
            EXPECT_TRUE(child->is_global_changed());
            if (keep_local) {
                EXPECT_TRUE(vectors_near(child->get_position(), c.child.position, 0));
                EXPECT_TRUE(vectors_near(child->get_rotation(), c.child.rotation, 0));
                EXPECT_TRUE(vectors_near(child->get_scale(), c.child.scale, 0));
                Matrix4 expected = to->get_local_matrix();
                expected *= compose(c.child.position, c.child.rotation, c.child.scale);
                EXPECT_TRUE(matrices_near(child->get_global_matrix(true), expected));
            } else {
                EXPECT_TRUE(matrices_near(child->get_global_matrix(true), before));
            }
        }
    }
}

TEST_F(TransformTest, DetachKeepsTheGlobalPlacementOrTheLocalValues)
{
    for (const bool keep_local : {false, true}) {
        auto root = std::make_unique<LoadingRoot>("Root");
        auto* parent = new Node("Parent", root.get());
        place(*parent, {{3, 0, -1}, {0.2f, 0.3f, 0.4f}, {2, 2, 2}});
        std::unique_ptr<Node> child(new Node("Child", parent));
        place(*child, {{1, 1, 0}, {0, 0, 0.5f}, {1, 1, 1}});
        const Matrix4 before = child->get_global_matrix(true);

        child->detach(keep_local);
        EXPECT_EQ(child->get_parent(), nullptr);
        EXPECT_EQ(parent->get_child_count(), 0u);
        if (keep_local)
            EXPECT_TRUE(vectors_near(child->get_position(), {1, 1, 0}, 0));
        else
            EXPECT_TRUE(matrices_near(child->get_global_matrix(true), before));
    }
}

TEST_F(TransformTest, GlobalMatrixMultipliesFromTheTopOrStopsAtAnAbsoluteNode)
{
    auto top = std::make_unique<Node>("Top", nullptr);
    auto* middle = new Node("Middle", top.get());
    auto* leaf = new Node("Leaf", middle);
    const Placement pt{{1, 0, 0}, {0, 0, 0.3f}, {2, 2, 2}};
    const Placement pm{{0, 4, 0}, {0.5f, 0, 0}, {1, 1, 1}};
    const Placement pl{{0, 0, 1}, {0, 0.2f, 0}, {1, 3, 1}};
    place(*top, pt);
    place(*middle, pm);
    place(*leaf, pl);

    Matrix4 expected = compose(pt.position, pt.rotation, pt.scale);
    expected *= compose(pm.position, pm.rotation, pm.scale);
    expected *= compose(pl.position, pl.rotation, pl.scale);
    EXPECT_TRUE(matrices_near(leaf->get_global_matrix(false), expected));

    middle->set_absolute(true);
    Matrix4 below_absolute = compose(pm.position, pm.rotation, pm.scale);
    below_absolute *= compose(pl.position, pl.rotation, pl.scale);
    EXPECT_TRUE(matrices_near(leaf->get_global_matrix(true), below_absolute));
    EXPECT_TRUE(matrices_near(middle->get_global_matrix(true), compose(pm.position, pm.rotation, pm.scale)));
}

TEST_F(TransformTest, CachedGlobalMatrixIsUsedUntilSomethingChanges)
{
    auto root = std::make_unique<LoadingRoot>("Root");
    auto* node = new Node("N", root.get());
    node->set_position({1, 2, 3});
    render_fakes::FakeHardware hardware;
    vadu::lib3d::hard::RenderList list;
    root->render_to_list(hardware, list);

    Matrix4 stale = Matrix4::identity();
    stale[3] = 42;
    node->set_cached_global_matrix(stale);
    EXPECT_TRUE(matrices_near(node->get_global_matrix(false), stale, 0));
    EXPECT_TRUE(matrices_near(node->get_global_matrix(true), compose({1, 2, 3}, {}, {1, 1, 1}), 0));
    node->set_position({0, 0, 0});
    EXPECT_TRUE(matrices_near(node->get_global_matrix(false), Matrix4::identity(), 0));
}

TEST_F(TransformTest, EulerExtractionRoundTripsAwayFromTheSingularity)
{
    const Vector3 angles[] = {
        {0, 0, 0},          {0.5f, 0, 0},        {0, 0.5f, 0},        {0, 0, 0.5f},       {0.3f, -0.7f, 1.1f},
        {-2.5f, 1.2f, 3.0f}, {3.1f, -1.5f, -3.1f}, {-1.0f, 1.5f, 2.0f}, {2.0f, -0.01f, -2.9f},
    };
    for (const Vector3& a : angles) {
        const Vector3 extracted = extract_euler(Matrix4::rotation(a.x, a.y, a.z));
        EXPECT_TRUE(vectors_near(extracted, a, 2e-3f)) << a.x << " " << a.y << " " << a.z;
        EXPECT_TRUE(matrices_near(Matrix4::rotation(extracted.x, extracted.y, extracted.z),
                                  Matrix4::rotation(a.x, a.y, a.z), 1e-5f));
    }
}

TEST_F(TransformTest, EulerExtractionStaysFiniteAtAndPastTheSingularity)
{
    for (const float sine : {1.0f, 1.0000001f, -1.0000001f}) {
        Matrix4 m;
        m[8] = sine;
        m[15] = 1;
        const Vector3 e = extract_euler(m);
        EXPECT_TRUE(std::isfinite(e.x) && std::isfinite(e.y) && std::isfinite(e.z)) << sine;
        EXPECT_NEAR(std::fabs(e.y), half_pi, 1e-6f);
        // The branch at the singularity turns x and z by pi.
        EXPECT_NEAR(e.x, 3.1415927f, 1e-6f);
        EXPECT_NEAR(e.z, 3.1415927f, 1e-6f);
    }
}

TEST_F(TransformTest, TransformFromMatrixSplitsPositionRotationAndScale)
{
    const Placement cases[] = {
        {{1, 2, 3}, {0, 0, 0}, {1, 1, 1}},
        {{-4, 0, 0.5f}, {0.2f, -0.3f, 1.4f}, {2, 0.5f, 3}},
        {{0, 0, 0}, {-1.0f, 0.9f, -2.0f}, {0.1f, 0.1f, 0.1f}},
    };
    for (const Placement& p : cases) {
        Node node("N", nullptr);
        node.set_transform_from_matrix(compose(p.position, p.rotation, p.scale));
        EXPECT_TRUE(vectors_near(node.get_position(), p.position, 1e-5f));
        EXPECT_TRUE(vectors_near(node.get_rotation(), p.rotation, 1e-3f));
        EXPECT_TRUE(vectors_near(node.get_scale(), p.scale, 1e-5f));
        EXPECT_TRUE(node.is_global_changed());
    }

    // A collapsed axis has scale 0; nothing is divided by it.
    Node flat("Flat", nullptr);
    flat.set_transform_from_matrix(compose({1, 1, 1}, {0, 0, 0.5f}, {2, 0, 1}));
    EXPECT_TRUE(vectors_near(flat.get_scale(), {2, 0, 1}, 1e-5f));
    EXPECT_TRUE(std::isfinite(flat.get_rotation().x) && std::isfinite(flat.get_rotation().z));
    flat.set_transform_from_matrix(Matrix4{});
    EXPECT_TRUE(vectors_near(flat.get_scale(), {0, 0, 0}, 0));
    EXPECT_TRUE(finite(flat.get_local_matrix()));
}

TEST_F(TransformTest, GlobalPositionAndRotationGoThroughTheParent)
{
    auto root = std::make_unique<LoadingRoot>("Root");
    auto* parent = new Node("Parent", root.get());
    place(*parent, {{10, 0, 0}, {0, 0, half_pi}, {2, 2, 2}});
    auto* child = new Node("Child", parent);
    child->set_position({1, 0, 0});

    // The parent turns x into y and doubles it.
    EXPECT_TRUE(vectors_near(child->get_global_position(), {10, 2, 0}));
    child->set_global_position({10, 0, 4});
    EXPECT_TRUE(vectors_near(child->get_position(), {0, 0, 2}));
    EXPECT_TRUE(vectors_near(column(child->get_local_matrix(), 3), {0, 0, 2}));
    EXPECT_NEAR(child->get_global_z(), 4.0f, 1e-5f);
    child->set_global_z(-6);
    EXPECT_TRUE(vectors_near(child->get_global_position(), {10, 0, -6}));
    EXPECT_TRUE(matrices_near(child->get_global_matrix(true), compose({10, 0, -6}, {0, 0, half_pi}, {2, 2, 2})));

    EXPECT_TRUE(vectors_near(child->get_global_rotation(), {0, 0, half_pi}));
    child->set_global_rotation({0, 0, 0.25f});
    EXPECT_TRUE(vectors_near(child->get_rotation(), {0, 0, 0.25f - half_pi}));
    EXPECT_TRUE(vectors_near(child->get_global_rotation(), {0, 0, 0.25f}));
    parent->set_rotation({0.3f, -0.2f, 0.1f});
    child->set_global_rotation({-0.4f, 0.5f, 1.0f});
    EXPECT_TRUE(vectors_near(child->get_global_rotation(), {-0.4f, 0.5f, 1.0f}, 1e-3f));

    Node loose("Loose", nullptr);
    loose.set_global_position({1, 2, 3});
    loose.set_global_rotation({0.1f, 0.2f, 0.3f});
    EXPECT_TRUE(vectors_near(loose.get_position(), {1, 2, 3}, 0));
    EXPECT_TRUE(vectors_near(loose.get_global_rotation(), {0.1f, 0.2f, 0.3f}, 0));
}

TEST_F(TransformTest, SettingTheGlobalPositionKeepsTheLocalMatrixCache)
{
    Node node("N", nullptr);
    node.set_rotation({0, 0, 0.5f});
    const Matrix4 local = node.get_local_matrix();
    node.set_global_position({7, 8, 9});
    Matrix4 expected = local;
    expected[3] = 7;
    expected[7] = 8;
    expected[11] = 9;
    EXPECT_TRUE(matrices_near(node.get_local_matrix(), expected, 0));
    EXPECT_TRUE(node.is_global_changed());
}

// The rotation turns the node's -z axis toward the target and its y axis toward up.
TEST_F(TransformTest, LookAtTurnsMinusZTowardTheTarget)
{
    struct Case {
        Vector3 parent_position;
        Vector3 position;
        Vector3 target;
        Vector3 up;
    };
    const Case cases[] = {
        {{0, 0, 0}, {0, 0, 0}, {0, 0, 5}, {0, 1, 0}},
        {{0, 0, 0}, {0, 0, 0}, {3, 0, 0}, {0, 0, 1}},
        {{0, 0, 0}, {1, 1, 1}, {4, 5, 1}, {0, 0, 1}},
        {{0, 0, 0}, {0, 0, 0}, {-1, 2, -3}, {0, 1, 0}},
        {{5, 0, 0}, {0, 0, 0}, {5, 0, -10}, {0, 1, 0}},
    };
    for (const Case& c : cases) {
        auto root = std::make_unique<LoadingRoot>("Root");
        auto* parent = new Node("Parent", root.get());
        parent->set_position(c.parent_position);
        auto* node = new Node("N", parent);
        node->set_position(c.position);
        node->look_at(c.target, c.up);

        const Vector3 from = node->get_global_position();
        Vector3 d{c.target.x - from.x, c.target.y - from.y, c.target.z - from.z};
        const float length = std::sqrt(d.x * d.x + d.y * d.y + d.z * d.z);
        d = Vector3{d.x / length, d.y / length, d.z / length};
        const Vector3 r = node->get_rotation();
        const Matrix4 m = Matrix4::rotation(r.x, r.y, r.z);
        EXPECT_TRUE(vectors_near(column(m, 2), {-d.x, -d.y, -d.z})) << c.target.x << " " << c.target.y;
        const Vector3 y = column(m, 1);
        EXPECT_GT(y.x * c.up.x + y.y * c.up.y + y.z * c.up.z, 0.0f);
        EXPECT_NEAR(y.x * d.x + y.y * d.y + y.z * d.z, 0.0f, 1e-5f);
    }
}

TEST_F(TransformTest, LookAtItsOwnPositionGivesTheHalfTurn)
{
    Node node("N", nullptr);
    node.set_position({2, 2, 2});
    node.set_rotation({1, 1, 1});
    node.look_at({2, 2, 2}, {0, 0, 1});
    EXPECT_TRUE(vectors_near(node.get_rotation(), {3.1415925f, 0, 0}, 0));
    EXPECT_TRUE(node.is_global_changed());
}

// A plain Node at the top keeps a zero cached global matrix (only root types set theirs),
// so its children render degenerate; nothing may turn that into NaN.
TEST_F(TransformTest, ZeroGlobalMatrixOfAPlainTopStaysFinite)
{
    auto top = std::make_unique<Node>("Top", nullptr);
    auto* a = new Node("A", top.get());
    auto* b = new Node("B", top.get());
    auto* leaf = new Node("Leaf", a);
    a->set_position({1, 2, 3});
    leaf->set_position({1, 0, 0});
    render_fakes::FakeHardware hardware;
    vadu::lib3d::hard::RenderList list;
    top->render_to_list(hardware, list);
    EXPECT_TRUE(matrices_near(a->get_cached_global_matrix(), Matrix4{}, 0));

    EXPECT_TRUE(vectors_near(leaf->get_global_position(), {0, 0, 0}, 0));
    leaf->set_global_position({5, 5, 5});
    b->add_child(leaf, false);
    leaf->look_at({9, 9, 9}, {0, 0, 1});
    leaf->set_global_rotation({0.1f, 0.2f, 0.3f});
    EXPECT_TRUE(finite(leaf->get_local_matrix()));
    EXPECT_TRUE(finite(leaf->get_global_matrix(true)));
    for (const float v : {leaf->get_position().x, leaf->get_rotation().x, leaf->get_scale().x})
        EXPECT_TRUE(std::isfinite(v));
}

} // namespace
