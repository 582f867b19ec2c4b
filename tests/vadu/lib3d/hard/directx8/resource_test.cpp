#include "vadu/lib3d/hard/directx8/resource.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_owner.h"
#include "vadu/lib3d/hard/directx8/buffers.h"

namespace directx8_test {
namespace {

// Records which hook ran, in order, under its name.
class Recorder : public ResourceRegistration {
public:
    Recorder(ResourceOwner& owner, std::string name, std::vector<std::string>& calls)
        : ResourceRegistration(owner), name_(std::move(name)), calls_(calls)
    {
    }
    void on_device_lost() override { calls_.push_back(name_ + " lost"); }
    void drop() override { calls_.push_back(name_ + " drop"); }

private:
    std::string name_;
    std::vector<std::string>& calls_;
};

using ResourceListTest = ResourceTest;

TEST_F(ResourceListTest, HooksRunOverTheLinkedResourcesInCreationOrder)
{
    std::vector<std::string> calls;
    ResourceList& list = owner->get_resource_list();
    auto a = std::make_unique<Recorder>(*owner, "a", calls);
    auto b = std::make_unique<Recorder>(*owner, "b", calls);
    auto c = std::make_unique<Recorder>(*owner, "c", calls);
    EXPECT_EQ(list.size(), 3u);
    EXPECT_EQ(a->get_owner(), owner.get());

    b.reset();
    EXPECT_EQ(list.size(), 2u);
    EXPECT_FALSE(list.contains(b.get()));
    list.lose_all();
    list.drop_all();
    EXPECT_EQ(calls, (std::vector<std::string>{"a lost", "c lost", "a drop", "c drop"}));

    a.reset();
    c.reset();
    EXPECT_EQ(list.size(), 0u);
}

TEST_F(ResourceListTest, AResourceOutlivingItsHardwareIsDetachedAndStillSafe)
{
    std::vector<std::string> calls;
    auto recorder = std::make_unique<Recorder>(*owner, "r", calls);
    auto buffer = std::make_unique<VertexBuffer>(*owner, false);
    ASSERT_TRUE(buffer->update({0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 0, 0, 1}));

    owner.reset(); // the list goes; the device lives on through the buffer it made
    EXPECT_EQ(recorder->get_owner(), nullptr);
    EXPECT_EQ(buffer->get_owner(), nullptr);
    // No hardware: a successful no-op that leaves the buffer to be filled again.
    EXPECT_TRUE(buffer->update({0, 0, 0}, {0, 0}));
    EXPECT_FALSE(buffer->is_operational());
    EXPECT_TRUE(buffer->draw(0, 1));
    recorder.reset();
    buffer.reset();
    EXPECT_TRUE(calls.empty());
}

} // namespace
} // namespace directx8_test
