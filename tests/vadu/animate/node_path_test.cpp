#include "vadu/animate/node_path.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "animate_test_support.h"
#include "vadu/converter.h"

namespace {

using animate_test::Journal;
using animate_test::TestObject;
using vadu::animate::NodePath;

std::vector<std::string> names_of(const NodePath& path)
{
    std::vector<std::string> names;
    for (const vadu::Atom& atom : path)
        names.push_back(animate_test::to_std(atom.get_name()));
    return names;
}

NodePath parse(const char* text)
{
    NodePath path;
    EXPECT_TRUE(vadu::converter::convert(vadu::String(text), &path));
    return path;
}

TEST(NodePathParse, SplitsAtSeparators)
{
    struct Case {
        const char* text;
        std::vector<std::string> names;
    };
    const Case cases[] = {
        {"", {}},
        {"Arm", {"Arm"}},
        {"Body|Arm|Shaders", {"Body", "Arm", "Shaders"}},
        {"a|b|", {"a", "b"}},
        {"a||b", {"a", "", "b"}},
        {"|a", {"", "a"}},
        {"|", {""}},
        {"a||", {"a", ""}},
    };
    for (const Case& c : cases) {
        NodePath path = {vadu::Atom("stale")};
        EXPECT_TRUE(vadu::converter::convert(vadu::String(c.text), &path));
        EXPECT_EQ(names_of(path), c.names) << "text \"" << c.text << "\"";
    }
}

// Root -> Body -> Arm -> Hand, Root -> Leg; every object also exposes an inner "Inner".
class NodePathTree : public ::testing::Test {
protected:
    NodePathTree()
    {
        TestObject& body = root.add("Body");
        body.add("Arm").add("Hand");
        root.add("Leg");
    }

    Journal journal;
    TestObject root{"Root", journal};
};

TEST_F(NodePathTree, ResolvesFirstNameWithTheFlagAndLaterNamesDirectly)
{
    struct Case {
        const char* path;
        bool recursive;
        const char* expected;  // name of the object found; null for none
    };
    const Case cases[] = {
        {"", false, "Root"},
        {"", true, "Root"},
        {"#AnyNode#", false, "Root"},
        {"Leg", false, "Leg"},
        {"Arm", true, "Arm"},
        {"Arm", false, nullptr},
        {"Hand", true, "Hand"},
        {"Body|Arm", false, "Arm"},
        {"Body|Arm|Hand", false, "Hand"},
        // Later names never search deeper, whatever the flag.
        {"Body|Hand", true, nullptr},
        {"Body|#AnyNode#", false, "Body"},
        {"Body|Nobody|Arm", true, nullptr},
        {"Root", true, nullptr},
        {"Body||Arm", false, nullptr},
    };
    for (const Case& c : cases) {
        vadu::animate::Animatable* found = vadu::animate::find_by_path(&root, parse(c.path), c.recursive);
        auto* object = dynamic_cast<TestObject*>(found);
        if (c.expected) {
            ASSERT_NE(object, nullptr) << c.path << " recursive " << c.recursive;
            EXPECT_EQ(object->name(), c.expected) << c.path << " recursive " << c.recursive;
        } else {
            EXPECT_EQ(found, nullptr) << c.path << " recursive " << c.recursive;
        }
    }
}

TEST_F(NodePathTree, ReachesInnerObjectsAndToleratesNoStart)
{
    vadu::animate::Animatable* inner = vadu::animate::find_by_path(&root, parse("Body|Arm|Inner"), false);
    ASSERT_NE(inner, nullptr);
    inner->change_attribute(vadu::Atom("Tint"), 0.5);
    EXPECT_EQ(journal, Journal{"Arm/Inner.Tint=0.5"});

    EXPECT_EQ(vadu::animate::find_by_path(nullptr, NodePath{}, true), nullptr);
    EXPECT_EQ(vadu::animate::find_by_path(nullptr, parse("Body"), true), nullptr);
}

TEST_F(NodePathTree, TargetRefEmptiesWhenItsObjectDies)
{
    vadu::animate::TargetRef arm;
    ASSERT_TRUE(arm.bind(&root, parse("Body|Arm"), false));
    vadu::animate::TargetRef copy = arm;
    vadu::animate::TargetRef leg;
    ASSERT_TRUE(leg.bind(&root, parse("Leg"), false));

    root.child("Body").remove("Arm");
    EXPECT_EQ(arm.get(), nullptr);
    EXPECT_EQ(copy.get(), nullptr);
    EXPECT_EQ(dynamic_cast<TestObject*>(leg.get())->name(), "Leg");
}

TEST_F(NodePathTree, TargetRefWatchesAnInnerObjectThroughItsOwner)
{
    vadu::animate::TargetRef inner;
    ASSERT_TRUE(inner.bind(&root, parse("Body|Arm|Inner"), false));
    ASSERT_NE(inner.get(), nullptr);

    root.child("Body").remove("Arm");
    EXPECT_EQ(inner.get(), nullptr);
}

TEST_F(NodePathTree, TargetRefThatFindsNothingIsEmpty)
{
    vadu::animate::TargetRef ref;
    ASSERT_TRUE(ref.bind(&root, parse("Leg"), false));
    EXPECT_FALSE(ref.bind(&root, parse("Wing"), true));
    EXPECT_EQ(ref.get(), nullptr);

    // Rebinding after a failure works, and the old target's death no longer matters.
    ASSERT_TRUE(ref.bind(&root, parse("Body"), false));
    root.remove("Leg");
    EXPECT_NE(ref.get(), nullptr);
    ref.reset();
    EXPECT_EQ(ref.get(), nullptr);
}

} // namespace
