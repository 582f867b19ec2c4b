#include "vadu/animate/soul.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "vadu/exception.h"

namespace {

using vadu::animate::Soul;

std::vector<std::string> journal;

std::string joined()
{
    std::string text;
    for (const std::string& entry : journal)
        text += (text.empty() ? "" : " ") + entry;
    return text;
}

class Probe;
std::set<Probe*> live;

// Notes its updates ("a") and its destruction ("~a"); hooks let a case act from inside.
class Probe : public Soul {
public:
    explicit Probe(std::string name, Probe** slot = nullptr) : name_(std::move(name)), slot_(slot)
    {
        live.insert(this);
        if (slot_)
            *slot_ = this;
    }
    Probe(const Probe& other) : Soul(other), name_(other.name_ + "'") { live.insert(this); }
    Probe& operator=(const Probe& other)
    {
        Soul::operator=(other);
        return *this;
    }
    ~Probe() override
    {
        live.erase(this);
        if (slot_)
            *slot_ = nullptr;
        journal.push_back("~" + name_);
        if (on_destroy)
            on_destroy();
    }

    void update(double dt) override
    {
        journal.push_back(name_);
        last_dt = dt;
        // A copy: the hook may delete this soul, and with it the member.
        if (auto hook = on_update)
            hook();
    }

    std::function<void()> on_update;
    std::function<void()> on_destroy;
    double last_dt = 0.0;

private:
    std::string name_;
    Probe** slot_ = nullptr;
};

void kill(Probe* soul)
{
    delete soul;  // the soul's slot becomes null
}

class SoulTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        journal.clear();
        creator_ = std::make_unique<Soul::Creator>();
    }
    void TearDown() override
    {
        while (!live.empty())
            delete *live.begin();
        creator_.reset();
    }

    std::unique_ptr<Soul::Creator> creator_;
};

// Three souls a, b, c built in that order, and a slot for one built later.
struct Souls {
    Probe* a = nullptr;
    Probe* b = nullptr;
    Probe* c = nullptr;
    Probe* d = nullptr;
};

struct WalkCase {
    const char* name;
    void (*arrange)(Souls& s);
    const char* expected;  // two frames, separated by "/"
};

const WalkCase walk_cases[] = {
    {"plain", [](Souls&) {}, "a b c / a b c"},
    {"queues itself", [](Souls& s) { s.b->on_update = [&s] { s.b->delete_later(); }; }, "a b c ~b / a c"},
    {"queues itself twice",
     [](Souls& s) {
         s.b->on_update = [&s] {
             s.b->delete_later();
             s.b->delete_later();
         };
     },
     "a b c ~b / a c"},
    {"deletes itself", [](Souls& s) { s.b->on_update = [&s] { kill(s.b); }; }, "a b ~b c / a c"},
    {"deactivates itself", [](Souls& s) { s.b->on_update = [&s] { s.b->set_active(false); }; }, "a b c / a c"},
    {"deletes a later soul", [](Souls& s) { s.a->on_update = [&s] { kill(s.c); }; }, "a ~c b / a b"},
    {"deletes an earlier soul", [](Souls& s) { s.c->on_update = [&s] { kill(s.a); }; }, "a b c ~a / b c"},
    {"deletes every soul",
     [](Souls& s) {
         s.b->on_update = [&s] {
             kill(s.a);
             kill(s.c);
             kill(s.b);
         };
     },
     "a b ~a ~c ~b /"},
    {"builds a soul",
     [](Souls& s) {
         s.a->on_update = [&s] {
             if (!s.d)
                 new Probe("d", &s.d);
         };
     },
     "a b c d / a b c d"},
    {"moves a soul to the end",
     [](Souls& s) {
         s.a->on_update = [&s] {
             s.b->set_active(false);
             s.b->set_active(true);
             s.a->on_update = nullptr;
         };
     },
     "a c b / a c b"},
    {"queues in an order",
     [](Souls& s) {
         s.a->on_update = [&s] {
             s.c->delete_later();
             s.a->delete_later();
         };
     },
     "a b c ~c ~a / b"},
    {"queued soul deleted by another first",
     [](Souls& s) {
         s.a->on_update = [&s] {
             s.b->delete_later();
             s.a->on_update = nullptr;
         };
         s.c->on_update = [&s] { kill(s.b); };
     },
     "a b c ~b / a c"},
    {"destructor deletes a queued soul",
     [](Souls& s) {
         s.a->on_update = [&s] {
             s.b->delete_later();
             s.c->delete_later();
             s.a->on_update = nullptr;
         };
         s.b->on_destroy = [&s] { kill(s.c); };
     },
     "a b c ~b ~c / a"},
    {"destructor queues a soul",
     [](Souls& s) {
         s.a->on_update = [&s] {
             s.b->delete_later();
             s.a->on_update = nullptr;
         };
         s.b->on_destroy = [&s] { s.c->delete_later(); };
     },
     "a b c ~b ~c / a"},
};

TEST_F(SoulTest, WalkOrderSurvivesChangesMadeDuringTheWalk)
{
    for (const WalkCase& test : walk_cases) {
        SCOPED_TRACE(test.name);
        journal.clear();
        Souls s;
        new Probe("a", &s.a);
        new Probe("b", &s.b);
        new Probe("c", &s.c);
        test.arrange(s);

        Soul::update_all(0.5);
        journal.push_back("/");
        Soul::update_all(0.5);
        EXPECT_EQ(joined(), test.expected);

        while (!live.empty())
            delete *live.begin();
    }
}

TEST_F(SoulTest, EverySoulGetsTheElapsedTime)
{
    Probe first("a"), second("b");
    Soul::update_all(0.25);
    EXPECT_EQ(first.last_dt, 0.25);
    EXPECT_EQ(second.last_dt, 0.25);
}

TEST_F(SoulTest, SecondCreatorFailsAndKeepsTheLists)
{
    Probe soul("a");
    try {
        Soul::Creator second;
        FAIL() << "a second creator was built";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(error.get_function(), "vadu::animate::Soul::Creator::Creator");
        EXPECT_EQ(error.get_description(), "Souls already created");
    }
    Soul::update_all(0.0);
    EXPECT_EQ(joined(), "a");
}

TEST_F(SoulTest, ActivationChangesOnlyWhenTheStateChanges)
{
    Probe a("a"), b("b"), c("c");
    a.set_active(true);  // already registered: no second entry
    b.set_active(false);
    b.set_active(false);
    Soul::update_all(0.0);
    EXPECT_EQ(joined(), "a c");

    journal.clear();
    b.set_active(true);
    a.set_active(false);
    a.set_active(true);
    Soul::update_all(0.0);
    EXPECT_EQ(joined(), "c b a");
}

TEST_F(SoulTest, CopyOfAnInactiveSoulIsRegistered)
{
    Probe original("a");
    original.set_active(false);
    Probe copy(original);
    Probe assigned("b");
    assigned = original;  // keeps its own registration
    Soul::update_all(0.0);
    EXPECT_EQ(joined(), "a' b");
}

TEST_F(SoulTest, NoSoulsNoWork)
{
    Soul::update_all(1.0);
    Soul::update_all(1.0);
    EXPECT_TRUE(journal.empty());
}

TEST_F(SoulTest, UpdateThatThrowsLeavesTheListsUsable)
{
    Souls s;
    new Probe("a", &s.a);
    new Probe("b", &s.b);
    new Probe("c", &s.c);
    s.b->on_update = [&s] {
        s.b->on_update = nullptr;
        kill(s.a);
        throw std::runtime_error("update failed");
    };
    EXPECT_THROW(Soul::update_all(0.0), std::runtime_error);

    journal.clear();
    Soul::update_all(0.0);
    kill(s.c);  // outside a walk: leaves the list at once
    Soul::update_all(0.0);
    EXPECT_EQ(joined(), "b c ~c b");
}

TEST(SoulWithoutCreator, FailsClearlyAndUpdatesNothing)
{
    journal.clear();
    try {
        Probe orphan("a");
        FAIL() << "a soul was built without its lists";
    } catch (const vadu::Gluck& error) {
        EXPECT_EQ(error.get_function(), "vadu::animate::Soul::Soul");
        EXPECT_EQ(error.get_description(), "Souls not created");
    }
    Soul::update_all(1.0);
    EXPECT_TRUE(journal.empty());
}

TEST(SoulWithoutCreator, SoulMayOutliveTheCreator)
{
    journal.clear();
    auto creator = std::make_unique<Soul::Creator>();
    auto soul = std::make_unique<Probe>("a");
    soul->delete_later();
    creator.reset();
    soul->set_active(false);
    soul.reset();
    EXPECT_EQ(joined(), "~a");
}

} // namespace
