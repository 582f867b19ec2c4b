#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "framework_test_support.h"
#include "game/controls/button.h"
#include "game/controls/loading.h"
#include "game/controls/more_controls.h"
#include "game/input/pointing_device_input.h"
#include "game/root.h"
#include "game/screen.h"
#include "vadu/exception.h"
#include "vadu/lib3d/node/loading_root.h"
#include "vadu/lib3d/node/sprite.h"
#include "vadu/xml_reader.h"
#include "vadu/lib3d/hard/render_fakes.h"

namespace {

using namespace framework_test;
using game::controls::Control;
using game::input::Point;
using vadu::lib3d::node::Node;

// Notes every pointer call it gets.
class Recorder : public game::controls::SimpleControl {
public:
    vadu::Atom GetTypeName() const override { return "Recorder"; }
    void OnClick(const Point&) override { log.push_back("click"); }
    void OnPress(const Point&) override { log.push_back("press"); }
    void OnRelease(const Point& point) override
    {
        log.push_back(point.x == -1000.0f ? "cancel" : "release");
    }
    void OnDrag(const Point&) override { log.push_back("drag"); }
    void OnSecondPress(const Point&) override { log.push_back("second press"); }
    void OnSecondDrag(const Point&) override { log.push_back("second drag"); }
    void OnEnter() override { log.push_back("enter"); }
    void OnLeave() override { log.push_back("leave"); }
    std::vector<std::string> log;
};

class InputTest : public FrameworkTest {
protected:
    InputTest() : screen(nullptr)
    {
        screen.SetSceneRoot(std::make_unique<vadu::lib3d::node::LoadingRoot>(vadu::Atom("Scene")));
        input = screen.GetInputManager();
    }

    Recorder* add(float x, float y, float w, float h, int layer = 0)
    {
        auto control = std::make_unique<Recorder>();
        control->SetRectangle(x, y, w, h);
        control->SetLayer(layer);
        Recorder* raw = control.get();
        screen.AddControl(std::move(control));
        return raw;
    }
    // The unprojection is the identity without a camera: axes are scene coordinates.
    void move(float x, float y, const char* device = "Mouse")
    {
        vadu::input::Event event(device, "Axis_X", true, 0.0);
        input->HandleEvent(event, x, -y);
    }
    void button(bool down, const char* device = "Mouse")
    {
        vadu::input::Event event(device, "Left Button", down, 0.0);
        input->HandleEvent(event, 0.0, 0.0);
    }

    game::Screen screen;
    game::input::PointingDeviceInputManagerImpl* input;
};

TEST_F(InputTest, PressLeaveReleaseGivesNoClickAndComingBackDoes)
{
    Recorder* control = add(0.0f, 0.0f, 0.5f, 0.5f);
    move(0.25f, 0.25f);
    button(true);
    move(0.9f, 0.9f);
    button(false);
    EXPECT_EQ(control->log, (std::vector<std::string>{"press", "leave", "drag", "release"}));

    control->log.clear();
    move(0.25f, 0.25f);
    button(true);
    move(0.9f, 0.9f);
    move(0.3f, 0.3f);
    button(false);
    EXPECT_EQ(control->log,
              (std::vector<std::string>{"press", "leave", "drag", "enter", "drag", "release", "click"}));
}

// A control whose handler for one of the pointer's steps takes it off the screen, which
// frees it; what it gets is written in a journal that outlives it.
class SelfRemover : public game::controls::SimpleControl {
public:
    SelfRemover(game::Screen& screen, std::vector<std::string>& journal, std::string name, std::string removed_on)
        : screen_(screen), journal_(journal), name_(std::move(name)), removed_on_(std::move(removed_on))
    {
    }
    vadu::Atom GetTypeName() const override { return "SelfRemover"; }
    void OnPress(const Point&) override { note("press"); }
    void OnRelease(const Point&) override { note("release"); }
    void OnClick(const Point&) override { note("click"); }

private:
    void note(const std::string& step)
    {
        journal_.push_back(name_ + " " + step);
        if (step == removed_on_)
            screen_.RemoveControl(this); // the returned owner frees this control at once
    }
    game::Screen& screen_;
    std::vector<std::string>& journal_;
    std::string name_;
    std::string removed_on_;
};

// Under the address sanitizer a freed control that is touched again fails the test.
TEST_F(InputTest, AControlRemovedByItsOwnHandlerIsNotTouchedAgain)
{
    struct Case {
        const char* removed_on;
        bool exclusive; // the first control ends every walk
        std::vector<std::string> journal;
    };
    const Case cases[] = {
        {"press", false, {"first press", "second press", "second release", "second click"}},
        {"release", false, {"first press", "second press", "first release", "second release", "second click"}},
        {"click", false,
         {"first press", "second press", "first release", "second release", "first click", "second click"}},
        {"click", true, {"first press", "first release", "first click"}},
    };
    for (const Case& c : cases) {
        game::Screen screen(nullptr);
        game::input::PointingDeviceInputManagerImpl* manager = screen.GetInputManager();
        std::vector<std::string> journal;
        for (const char* name : {"first", "second"}) {
            auto control = std::make_unique<SelfRemover>(screen, journal, name,
                                                         std::string(name) == "first" ? c.removed_on : "");
            control->SetRectangle(0.0f, 0.0f, 0.5f, 0.5f);
            screen.AddControl(std::move(control));
        }
        if (c.exclusive) {
            const std::string text = R"(<Properties><Property Name="ExclusiveHandler" Value="true"/></Properties>)";
            vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
            vadu::xml::StreamResource resource(&stream);
            vadu::xml::Root root(screen.GetControlList().front()->GetProperties(), "Properties");
            ASSERT_TRUE(resource.load(root));
        }
        vadu::input::Event moved("Mouse", "Axis_X", true, 0.0);
        manager->HandleEvent(moved, 0.25, -0.25);
        vadu::input::Event pressed("Mouse", "Left Button", true, 0.0);
        manager->HandleEvent(pressed, 0.0, 0.0);
        vadu::input::Event released("Mouse", "Left Button", false, 0.0);
        manager->HandleEvent(released, 0.0, 0.0);
        const std::string label = std::string(c.removed_on) + (c.exclusive ? ", exclusive" : "");
        EXPECT_EQ(journal, c.journal) << label;
        EXPECT_EQ(screen.GetControlList().size(), 1u) << label;
        // The one left goes on taking clicks.
        journal.clear();
        manager->HandleEvent(pressed, 0.0, 0.0);
        manager->HandleEvent(released, 0.0, 0.0);
        EXPECT_EQ(journal, (std::vector<std::string>{"second press", "second release", "second click"})) << label;
    }
}

TEST_F(InputTest, ExclusiveHandlerStopsPressReleaseAndClickButNotDrags)
{
    Recorder* first = add(0.0f, 0.0f, 0.5f, 0.5f);
    Recorder* second = add(0.0f, 0.0f, 0.5f, 0.5f);
    auto properties = std::make_unique<vadu::filesystem::MemoryStream>();
    const std::string text = R"(<Properties><Property Name="ExclusiveHandler" Value="true"/></Properties>)";
    vadu::filesystem::MemoryStream stream(std::vector<uint8_t>(text.begin(), text.end()));
    vadu::xml::StreamResource resource(&stream);
    vadu::xml::Root root(first->GetProperties(), "Properties");
    ASSERT_TRUE(resource.load(root));

    move(0.1f, 0.1f);
    button(true);
    move(0.2f, 0.2f);
    button(false);
    EXPECT_EQ(first->log, (std::vector<std::string>{"press", "drag", "release", "click"}));
    EXPECT_EQ(second->log, (std::vector<std::string>{"drag"}));
}

TEST_F(InputTest, HigherLayerHidesLowerOnesEverywhereButDisabledOrHiddenOnesDoNot)
{
    Recorder* low = add(0.0f, 0.0f, 0.5f, 0.5f, 0);
    Recorder* modal = add(-0.9f, -0.9f, 0.1f, 0.1f, 1);
    EXPECT_TRUE(input->GetHitTesting().HitTest(0.25, 0.25).empty());
    modal->SetEnabledFlag(false);
    EXPECT_EQ(input->GetHitTesting().HitTest(0.25, 0.25), (std::vector<Control*>{low}));

    // A hidden modal control listed first must not pick the layer (nor crash).
    game::Screen other(nullptr);
    auto scene = std::make_unique<vadu::lib3d::node::LoadingRoot>(vadu::Atom("Scene"));
    Node* hidden_node = new Node("Hidden", scene.get());
    hidden_node->set_visible(false);
    other.SetSceneRoot(std::move(scene));
    auto hidden = std::make_unique<Recorder>();
    hidden->SetSceneRoot(other.GetSceneRoot());
    hidden->SetLinked(true);
    hidden->SetNodeName("Hidden");
    hidden->SetLayer(5);
    other.AddControl(std::move(hidden));
    auto plain = std::make_unique<Recorder>();
    plain->SetRectangle(0.0f, 0.0f, 1.0f, 1.0f);
    Control* plain_raw = plain.get();
    other.AddControl(std::move(plain));
    EXPECT_EQ(other.GetInputManager()->GetHitTesting().HitTest(0.5, 0.5), (std::vector<Control*>{plain_raw}));
}

TEST_F(InputTest, HitAreaEdgesBelongToTheArea)
{
    game::controls::RectangleHitArea area;
    area.SetRectangle(10.0f, 20.0f, 30.0f, -40.0f); // negative height: top is still the larger y
    EXPECT_EQ(area.top, 20.0f);
    EXPECT_EQ(area.bottom, -20.0f);
    struct Case {
        double x, y;
        bool inside;
    };
    const Case cases[] = {{10, 20, true}, {40, -20, true}, {25, 0, true}, {9.999, 0, false}, {25, 20.001, false}};
    game::controls::HitTester tester;
    EXPECT_FALSE(tester.Test(0, 0));
    ASSERT_TRUE(tester.Accept(area));
    for (const Case& c : cases)
        EXPECT_EQ(tester.Test(c.x, c.y), c.inside) << c.x << ", " << c.y;
}

TEST_F(InputTest, SmallMovesAreIgnoredAndDisabledInputDropsReleases)
{
    Recorder* control = add(0.0f, 0.0f, 0.5f, 0.5f);
    move(0.25f, 0.25f);
    button(true);
    move(0.25005f, 0.25005f);
    EXPECT_EQ(control->log, (std::vector<std::string>{"press"}));
    input->SetEnabled(false);
    button(false);
    EXPECT_EQ(input->GetPressed().size(), 1u);
    input->SetEnabled(true);
    button(false);
    EXPECT_EQ(control->log, (std::vector<std::string>{"press", "release", "click"}));
}

// A covered screen misses the pointer's moves; when it comes back the pointer is seen
// where it is, so the next press goes to the control under it, not to the one it last
// hovered there.
TEST_F(InputTest, ARefreshSeesThePointerWhereItIsNow)
{
    Recorder* pushing = add(0.0f, 0.0f, 0.5f, 0.5f);
    Recorder* back = add(-0.9f, -0.9f, 0.4f, 0.4f);
    move(0.25f, 0.25f);
    button(true);
    button(false);
    ASSERT_EQ(pushing->log, (std::vector<std::string>{"press", "release", "click"}));
    pushing->log.clear();

    input->SetEnabled(false); // covered
    move(-0.7f, -0.7f);
    input->RefreshPointerAt(-0.7, 0.7); // ignored while covered
    EXPECT_EQ(input->GetHovered(), (std::vector<Control*>{pushing}));
    input->SetEnabled(true); // back
    input->RefreshPointerAt(-0.7, 0.7);
    EXPECT_EQ(input->GetHovered(), (std::vector<Control*>{back}));
    button(true);
    button(false);
    EXPECT_TRUE(pushing->log.empty());
    EXPECT_EQ(back->log, (std::vector<std::string>{"press", "release", "click"}));

    // Where it stood before: what lies there now is asked again.
    back->SetEnabledFlag(false);
    input->RefreshPointerAt(-0.7, 0.7);
    EXPECT_TRUE(input->GetHovered().empty());

    // Without a "Mouse" device nothing is known of the pointer: the hover stays.
    back->SetEnabledFlag(true);
    input->RefreshPointerAt(-0.7, 0.7);
    input->RefreshPointer();
    EXPECT_EQ(input->GetHovered(), (std::vector<Control*>{back}));
}

TEST_F(InputTest, SecondPointerUsesThePrimaryHoverAndNeverClicks)
{
    Recorder* control = add(0.0f, 0.0f, 0.5f, 0.5f);
    move(0.25f, 0.25f);
    move(0.9f, 0.9f, "Mouse2");
    EXPECT_EQ(input->GetHovered(), (std::vector<Control*>{control}));
    button(true, "Mouse2");
    move(0.8f, 0.8f, "Mouse2");
    button(false, "Mouse2");
    EXPECT_EQ(control->log, (std::vector<std::string>{"second press", "second drag"}));
}

TEST_F(InputTest, CameraMapsDevicePointsIntoTheScene)
{
    auto camera = std::make_unique<vadu::lib3d::node::CameraParallel>("Camera", screen.GetSceneRoot());
    camera->change_attribute(vadu::Atom("Width"), 960.0);
    camera->change_attribute(vadu::Atom("Height"), 640.0);
    camera->set_position(vadu::math::Vector3{480.0f, 320.0f, 0.0f});
    camera->change_attribute(vadu::Atom("NearPlane"), -100.0);
    camera->change_attribute(vadu::Atom("FarPlane"), 100.0);
    screen.SetCamera(std::move(camera));
    Recorder* control = add(900.0f, 600.0f, 60.0f, 40.0f);
    move(0.95f, 0.95f); // device (0.95, 0.95) is scene (936, 624)
    EXPECT_NEAR(input->GetLastPosition(0).x, 936.0f, 0.01f);
    EXPECT_NEAR(input->GetLastPosition(0).y, 624.0f, 0.01f);
    EXPECT_EQ(input->GetHovered(), (std::vector<Control*>{control}));
}

class ButtonTest : public InputTest {
protected:
    ButtonTest()
    {
        write("states.xml", R"(<Controls>
            <Button Name="Play" Node="Play" Link="true"><States>
              <State Name="normal"><Animation/></State><State Name="up"><Animation/></State>
              <State Name="disable"><Animation/></State></States>
              <HitTest><Rectangle Value="0 0 0.5 0.5"/></HitTest></Button>
            <Button Name="Bare" Node="Play"/>
          </Controls>)");
        new Node("Play", screen.GetSceneRoot());
    }
    std::vector<std::unique_ptr<Control>> load(const char* file)
    {
        game::controls::ControlCollectionLoaderImpl loader(screen.GetSceneRoot());
        auto stream = vadu::filesystem::open(path(file));
        vadu::xml::StreamResource resource(stream.get(), path(file));
        vadu::xml::Root root(loader, "Controls");
        if (!resource.load(root))
            throw vadu::Gluck("test", "load failed");
        return loader.TakeControls();
    }
};

TEST_F(ButtonTest, TapSequenceAndSignals)
{
    auto controls = load("states.xml");
    ASSERT_EQ(controls.size(), 2u); // the element without children is created at its end
    game::controls::ButtonImpl* button_impl = game::controls::as_button(controls[0].get());
    ASSERT_NE(button_impl, nullptr);
    std::vector<std::string> seen;
    button_impl->GetPressSignal().Connect([&] { seen.push_back("press"); });
    button_impl->GetReleaseSignal().Connect([&] { seen.push_back("release"); });
    button_impl->GetClickSignal().Connect([&](Control*) { seen.push_back("click"); });
    for (auto& control : controls)
        screen.AddControl(std::move(control));
    ASSERT_NE(screen.FindControl("Play"), nullptr);
    EXPECT_EQ(button_impl->GetStates()->GetCurrentName(), vadu::Atom("normal"));

    move(0.25f, 0.25f);
    button(true);
    EXPECT_EQ(button_impl->GetStates()->GetCurrentName(), vadu::Atom("up"));
    button(false);
    EXPECT_EQ(button_impl->GetStates()->GetCurrentName(), vadu::Atom("normal"));
    EXPECT_EQ(seen, (std::vector<std::string>{"press", "release", "click"}));

    // Disabled while pressed: the release still signals, the state stays, no click.
    seen.clear();
    button(true);
    button_impl->SetEnabled(false);
    button(false);
    EXPECT_EQ(seen, (std::vector<std::string>{"press", "release"}));
    EXPECT_EQ(button_impl->GetStates()->GetCurrentName(), vadu::Atom("disable"));

    // Outside the click rectangle: no click.
    button_impl->SetEnabled(true);
    button_impl->SetClickRectangle(1.0f, 1.0f, 1.0f, 1.0f);
    seen.clear();
    button(true);
    button(false);
    EXPECT_EQ(seen, (std::vector<std::string>{"press", "release"}));
}

TEST_F(ButtonTest, LoadingFailuresNameTheirCause)
{
    struct Case {
        const char* text;
        const char* message; // null: the load is refused
    };
    const Case cases[] = {
        {R"(<Controls><Button Name="B" Node="Missing"/></Controls>)", "Failed to find node \"Missing\""},
        {R"(<Controls><Button Name="B" Node="Play"><States><State Name="a"><Animation/><Animation/></State></States></Button></Controls>)",
         "Failed to load state animation because there already exists one"},
        {R"(<Controls><Label Name="B"/></Controls>)", nullptr},
        {R"(<Controls><Button Name="B" Node="Play" Colour="red"/></Controls>)", nullptr},
        {R"(<Controls><Resource Path="none.xml"/></Controls>)", "load() failed"},
        {R"(<Controls><Resource Path="case.xml"/></Controls>)", "load() failed"}, // names itself
    };
    for (const Case& c : cases) {
        write("case.xml", c.text);
        try {
            load("case.xml");
            ADD_FAILURE() << "loaded: " << c.text;
        } catch (const vadu::Gluck& error) {
            if (c.message)
                EXPECT_EQ(to_std(error.get_description()), c.message) << c.text;
            else
                EXPECT_EQ(to_std(error.get_description()), "load failed") << c.text;
        }
    }
}

TEST_F(ButtonTest, ResourceControlsAreSplicedInPlace)
{
    write("more.xml", R"(<Controls><MouseEventForward Name="M2"/><PanArea Name="M3"/></Controls>)");
    write("outer.xml", R"(<Controls><Slider Name="M1"/><Resource Path="more.xml"/><Scroll Name="M4"/></Controls>)");
    auto controls = load("outer.xml");
    std::vector<std::string> names;
    for (auto& control : controls)
        names.push_back(to_std(control->GetName().get_name()));
    EXPECT_EQ(names, (std::vector<std::string>{"M1", "M2", "M3", "M4"}));
}

TEST_F(ButtonTest, LinkedControlTakesTheRectangleOfItsFirstVisibleSpriteChild)
{
    Node* holder = new Node("Holder", screen.GetSceneRoot());
    Node* hidden = new vadu::lib3d::node::Sprite("Hidden", holder);
    hidden->set_visible(false);
    auto* sprite = new vadu::lib3d::node::Sprite("Shown", holder);
    sprite->set_width(40.0f);
    sprite->set_height(20.0f);
    sprite->set_position(vadu::math::Vector3{100.0f, 50.0f, 0.0f});
    write("linked.xml", R"(<Controls><MouseEventForward Name="L" Node="Holder" Link="true"/></Controls>)");
    auto controls = load("linked.xml");
    ASSERT_EQ(controls.size(), 1u);
    controls[0]->GetImpl()->Update(0.0);
    const game::controls::RectangleHitArea* area = controls[0]->GetImpl()->GetHitArea();
    EXPECT_FLOAT_EQ(area->left, 80.0f);
    EXPECT_FLOAT_EQ(area->right, 120.0f);
    EXPECT_FLOAT_EQ(area->bottom, 40.0f);
    EXPECT_FLOAT_EQ(area->top, 60.0f);
}

TEST_F(InputTest, ScrollClampsPagesOncePerFlingAndCancelsContentPresses)
{
    game::controls::Scroll scroll;
    game::controls::ScrollImpl& impl = *scroll.GetScrollImpl();
    impl.SetRectangle(0.0f, 0.0f, 100.0f, 100.0f);
    impl.SetContentSize(400.0f, 100.0f);
    impl.SetValue(Point{1000.0f, 50.0f});
    EXPECT_EQ(impl.GetValue().x, 300.0f);
    EXPECT_EQ(impl.GetValue().y, 0.0f);
    impl.SetValue(Point{-5.0f, 0.0f});
    EXPECT_EQ(impl.GetValue().x, 0.0f);

    // Without an on-scroll callback, paging still works.
    impl.SetPageSize(100.0f, 100.0f);
    impl.ScrollToPage({9, 0}, false);
    EXPECT_EQ(impl.GetPage().first, 4); // four page widths: indices 0 to 4
    EXPECT_EQ(impl.GetValue().x, 300.0f);

    // A page width below 1 leaves the area unpaged.
    game::controls::Scroll thin;
    thin.GetScrollImpl()->SetPageSize(0.5f, 1.0f);
    EXPECT_FALSE(thin.GetScrollImpl()->IsPaged());

    // A fast fling moves one page at most.
    impl.ScrollToPage({0, 0}, false);
    Recorder* content = add(0.0f, 0.0f, 100.0f, 100.0f);
    impl.AddControl(content);
    std::vector<game::controls::ScrollImpl::Page> pages;
    impl.SetOnScroll([&](const game::controls::ScrollImpl::Page& page) { pages.push_back(page); });
    impl.OnPress(Point{90.0f, 50.0f});
    impl.Update(0.05);
    impl.OnDrag(Point{80.0f, 50.0f}); // under the 20-unit threshold
    EXPECT_EQ(impl.GetValue().x, 0.0f);
    impl.OnDrag(Point{60.0f, 50.0f});
    impl.Update(0.05);
    impl.OnDrag(Point{0.0f, 50.0f});
    impl.OnRelease(Point{0.0f, 50.0f});
    EXPECT_EQ(impl.GetPage().first, 1);
    EXPECT_EQ(impl.GetTarget().x, 100.0f);
    ASSERT_EQ(pages.size(), 1u);
    // The content control's press was queued for cancelling through the input manager.
    move(0.5f, 0.5f);
    EXPECT_EQ(content->log.back(), "cancel");
}

// A scroll area over the square (0, 0)-(100, 100), with a content of 400 × 300.
class ScrollTest : public InputTest {
protected:
    ScrollTest()
    {
        impl.SetRectangle(0.0f, 0.0f, 100.0f, 100.0f);
        impl.SetContentSize(400.0f, 300.0f);
    }
    Node* content_node(const char* name, float x, float y, float z = 0.0f)
    {
        Node* node = new Node(name, screen.GetSceneRoot());
        node->set_position(vadu::math::Vector3{x, y, z});
        return node;
    }
    static bool at(const Node* node, float x, float y, float z)
    {
        const vadu::math::Vector3& p = node->get_position();
        return p.x == x && p.y == y && p.z == z;
    }

    game::controls::Scroll scroll;
    game::controls::ScrollImpl& impl = *scroll.GetScrollImpl();
};

// The content moves against the value, which stays within the content less the view; a
// node added while scrolled stays where it is, and so does its depth.
TEST_F(ScrollTest, ContentNodesArePlacedAgainstTheClampedValue)
{
    Node* early = content_node("Early", 10.0f, 20.0f, 5.0f);
    impl.AddNode(early);
    struct Case {
        Point value, clamped;
    };
    const Case cases[] = {
        {{50.0f, 30.0f}, {50.0f, 30.0f}},
        {{1000.0f, 1000.0f}, {300.0f, 200.0f}},
        {{-5.0f, 250.0f}, {0.0f, 200.0f}},
        {{0.0f, 0.0f}, {0.0f, 0.0f}},
    };
    for (const Case& c : cases) {
        impl.SetValue(c.value);
        EXPECT_EQ(impl.GetValue().x, c.clamped.x) << c.value.x;
        EXPECT_EQ(impl.GetValue().y, c.clamped.y) << c.value.y;
        EXPECT_TRUE(at(early, 10.0f - c.clamped.x, 20.0f - c.clamped.y, 5.0f)) << c.value.x << ", " << c.value.y;
    }

    impl.SetValue(Point{50.0f, 30.0f});
    Node* late = content_node("Late", 70.0f, 80.0f, 1.0f);
    impl.AddNode(late);
    EXPECT_TRUE(at(late, 70.0f, 80.0f, 1.0f));
    // A content control brings its bound node along.
    Node* bound = content_node("Bound", 30.0f, 40.0f);
    auto button = std::make_unique<Recorder>();
    button->SetSceneRoot(screen.GetSceneRoot());
    button->SetLinked(true);
    button->SetNodeName("Bound");
    impl.AddControl(button.get());
    impl.SetValue(Point{0.0f, 0.0f});
    EXPECT_TRUE(at(early, 10.0f, 20.0f, 5.0f));
    EXPECT_TRUE(at(late, 120.0f, 110.0f, 1.0f));
    EXPECT_TRUE(at(bound, 80.0f, 70.0f, 0.0f));

    // A content smaller than the view does not scroll.
    game::controls::Scroll small;
    small.GetScrollImpl()->SetRectangle(0.0f, 0.0f, 100.0f, 100.0f);
    small.GetScrollImpl()->SetContentSize(50.0f, 150.0f);
    small.GetScrollImpl()->SetValue(Point{30.0f, 80.0f});
    EXPECT_EQ(small.GetScrollImpl()->GetValue().x, 0.0f);
    EXPECT_EQ(small.GetScrollImpl()->GetValue().y, 50.0f);
}

// Content with a rectangle hides once wholly outside the view, and shows when any part of
// it comes back; but only once the area has been pressed.
TEST_F(ScrollTest, ContentOutsideTheViewHidesOnceTheAreaWasPressed)
{
    const std::array<float, 4> square{0.0f, 0.0f, 40.0f, 40.0f};
    Node* right = content_node("Right", 150.0f, 10.0f); // enters from the right
    Node* left = content_node("Left", 10.0f, 10.0f);    // leaves to the left
    Node* above = content_node("Above", 10.0f, 110.0f); // above the view for good
    Node* plain = content_node("Plain", 250.0f, 10.0f); // no rectangle: never hidden
    impl.AddNode(right, square);
    impl.AddNode(left, square);
    impl.AddNode(above, {0.0f, 0.0f, 10.0f, 10.0f});
    impl.AddNode(plain);

    impl.SetValue(Point{0.0f, 0.0f});
    for (Node* node : {right, left, above, plain})
        EXPECT_TRUE(node->is_visible()) << "before any press: " << to_std(node->get_name().get_name());

    impl.OnPress(Point{50.0f, 50.0f});
    struct Case {
        float x;
        bool right, left;
    };
    const Case cases[] = {
        {0.0f, false, true},
        {50.0f, true, true},  // both touch an edge of the view
        {51.0f, true, false}, // the left one is one unit past it
        {100.0f, true, false},
        {0.0f, false, true},
    };
    for (const Case& c : cases) {
        impl.SetValue(Point{c.x, 0.0f});
        EXPECT_EQ(right->is_visible(), c.right) << c.x;
        EXPECT_EQ(left->is_visible(), c.left) << c.x;
        EXPECT_FALSE(above->is_visible()) << c.x;
        EXPECT_TRUE(plain->is_visible()) << c.x;
    }
}

// After a release the value moves toward the target by four times the frame's share of
// the distance left, and settles on it once within one unit.
TEST_F(ScrollTest, AReleaseAnimatesTheValueOntoItsTarget)
{
    impl.OnPress(Point{90.0f, 50.0f});
    impl.Update(0.125);
    impl.OnDrag(Point{60.0f, 50.0f});
    impl.Update(0.125);
    impl.OnDrag(Point{40.0f, 50.0f});
    EXPECT_EQ(impl.GetValue().x, 50.0f); // the content follows the pointer
    impl.OnRelease(Point{40.0f, 50.0f});
    // Moved 20 units in the last 0.125 s: thrown 20 × 0.6 ÷ 0.125 further.
    EXPECT_NEAR(impl.GetTarget().x, 146.0f, 0.001f);
    ASSERT_TRUE(impl.IsAnimating());
    // Each update of 0.125 s halves the distance left: 96, 48, 24, 12, 6, 3, 1.5, then
    // below one unit it settles.
    const float left[] = {48.0f, 24.0f, 12.0f, 6.0f, 3.0f, 1.5f};
    for (const float distance : left) {
        impl.Update(0.125);
        EXPECT_NEAR(impl.GetValue().x, 146.0f - distance, 0.001f);
        EXPECT_TRUE(impl.IsAnimating()) << distance;
    }
    impl.Update(0.125);
    EXPECT_FALSE(impl.IsAnimating());
    EXPECT_EQ(impl.GetValue().x, impl.GetTarget().x);

    // A press stops an animation where it is.
    impl.OnPress(Point{50.0f, 50.0f});
    impl.Update(0.125);
    impl.OnDrag(Point{80.0f, 50.0f});
    impl.Update(0.125);
    impl.OnRelease(Point{80.0f, 50.0f});
    impl.Update(0.0625);
    const float moving = impl.GetValue().x;
    impl.OnPress(Point{80.0f, 50.0f});
    impl.Update(0.125);
    EXPECT_EQ(impl.GetValue().x, moving);
    EXPECT_FALSE(impl.IsAnimating());
}

// The throw of a release is the movement of the last 0.2 s (or of the whole drag when it
// is younger) times 0.6 per second of it, within the content.
TEST_F(ScrollTest, TheThrowTakesTheMovementOfTheLastFifthOfASecond)
{
    struct Sample {
        double after; // seconds since the previous step
        float x;
    };
    struct Case {
        const char* label;
        std::vector<Sample> drags;
        double held; // still before the release
        float target;
    };
    const Case cases[] = {
        // Moved at first, then still: the last 0.2 s hold no movement.
        {"held still", {{0.125, 60.0f}, {0.125, 40.0f}}, 0.5, 50.0f},
        // The sample 0.25 s back is the first at least 0.2 s old: 20 units in 0.2 s.
        {"moving", {{0.125, 70.0f}, {0.125, 60.0f}, {0.25, 40.0f}}, 0.0, 110.0f},
        // Younger than 0.2 s: the oldest sample and the time since it.
        {"short", {{0.0625, 60.0f}, {0.0625, 40.0f}}, 0.0, 242.0f},
        // Far beyond the content: held at its end.
        {"flung", {{0.0625, 60.0f}, {0.0625, -100.0f}}, 0.0, 300.0f},
        // The whole drag within 0.01 s: no throw, the old target stays.
        {"instant", {{0.0, 60.0f}, {0.0, 40.0f}}, 0.0, 0.0f},
    };
    for (const Case& c : cases) {
        game::controls::Scroll fresh;
        game::controls::ScrollImpl& area = *fresh.GetScrollImpl();
        area.SetRectangle(0.0f, 0.0f, 100.0f, 100.0f);
        area.SetContentSize(400.0f, 300.0f);
        area.OnPress(Point{90.0f, 50.0f});
        for (const Sample& sample : c.drags) {
            area.Update(sample.after);
            area.OnDrag(Point{sample.x, 50.0f});
        }
        area.Update(c.held);
        const float at_release = area.GetValue().x;
        area.OnRelease(Point{c.drags.back().x, 50.0f});
        EXPECT_NEAR(area.GetTarget().x, c.target, 0.01f) << c.label;
        EXPECT_EQ(area.GetTarget().y, 0.0f) << c.label;
        EXPECT_TRUE(area.IsAnimating()) << c.label;
        EXPECT_EQ(area.GetValue().x, at_release) << c.label; // the release itself moves nothing
    }

    // Before the first drag past 20 units a release does nothing at all.
    game::controls::Scroll untouched;
    game::controls::ScrollImpl& area = *untouched.GetScrollImpl();
    area.SetRectangle(0.0f, 0.0f, 100.0f, 100.0f);
    area.SetContentSize(400.0f, 300.0f);
    area.OnPress(Point{90.0f, 50.0f});
    area.Update(0.125);
    area.OnDrag(Point{75.0f, 50.0f});
    area.OnRelease(Point{75.0f, 50.0f});
    EXPECT_FALSE(area.IsAnimating());
    EXPECT_EQ(area.GetValue().x, 0.0f);
}

TEST_F(InputTest, SliderReportsTwiceLeftOfItsTrackAndAZeroWidthTrackGivesZero)
{
    game::controls::Slider slider;
    slider.SetRectangle(10.0f, 0.0f, 100.0f, 10.0f);
    std::vector<float> values;
    slider.value_changed.Connect([&](Control*, float value) { values.push_back(value); });
    slider.OnDrag(Point{0.0f, 5.0f});
    ASSERT_EQ(values.size(), 2u);
    EXPECT_EQ(values[1], 0.0f);

    game::controls::Slider flat;
    flat.SetRectangle(10.0f, 0.0f, 0.0f, 10.0f);
    flat.OnPress(Point{10.0f, 5.0f});
    EXPECT_FALSE(std::isnan(flat.GetValue()));
    EXPECT_EQ(flat.GetValue(), 0.0f);
}

TEST_F(InputTest, PanAreaStopsAtItsLimitAndTakesTheModalLayer)
{
    game::controls::PanArea pan;
    Node panned("Panned", nullptr);
    pan.SetPanned(&panned, -10.0f, 10.0f);
    pan.OnPress(Point{0.0f, 0.0f});
    pan.OnDrag(Point{0.0f, 25.0f});
    EXPECT_EQ(pan.GetPan(), 10.0f);
    EXPECT_EQ(panned.get_position().y, 10.0f);
    EXPECT_EQ(pan.GetLayer(), 100);
    pan.OnRelease(Point{0.0f, 25.0f});
    EXPECT_EQ(pan.GetLayer(), 0);
}

TEST_F(InputTest, ConsumingControlMarksTheClickHandled)
{
    Recorder* control = add(0.0f, 0.0f, 0.5f, 0.5f);
    control->SetConsumesClick(true);
    move(0.25f, 0.25f);
    button(true);
    vadu::input::Event release("Mouse", "Left Button", false, 0.0);
    input->HandleEvent(release, 0.0, 0.0);
    EXPECT_EQ(release.handled, 1);
}

TEST_F(InputTest, ScreenControlCollection)
{
    std::unique_ptr<game::ControlEnumerator> empty = screen.EnumerateControls();
    EXPECT_EQ(empty->Current(), nullptr);
    EXPECT_FALSE(empty->MoveNext());

    Recorder* first = add(0.0f, 0.0f, 1.0f, 1.0f);
    first->SetName("Twin");
    Recorder* second = add(0.0f, 0.0f, 1.0f, 1.0f);
    second->SetName("Twin");
    EXPECT_EQ(screen.FindControl("Twin"), first);

    Recorder stranger;
    EXPECT_EQ(screen.RemoveControl(&stranger), nullptr);
    EXPECT_EQ(screen.GetControlList().size(), 2u);

    // A removed control leaves the hit testing and the pointer's lists.
    move(0.5f, 0.5f);
    button(true);
    std::unique_ptr<Control> removed = screen.RemoveControl(first);
    EXPECT_EQ(removed.get(), first);
    EXPECT_EQ(input->GetPressed(), (std::vector<Control*>{second}));
    EXPECT_EQ(input->GetHitTesting().HitTest(0.5, 0.5), (std::vector<Control*>{second}));
    EXPECT_TRUE(screen.Update(0.1));
}

TEST_F(InputTest, FrameRateIsPublishedOnceASecondHasGathered)
{
    struct Case {
        double accumulated;
        bool published;
    };
    const Case cases[] = {{0.995, true}, {1.005, true}, {0.98, false}, {1.2, true}};
    for (const Case& c : cases) {
        game::FpsDisplay display;
        display.AddTime(c.accumulated);
        vadu::lib3d::hard::RenderList list;
        render_fakes::FakeHardware hardware;
        display.Render(hardware, list);
        EXPECT_EQ(!display.GetShownText().empty(), c.published) << c.accumulated;
        if (c.published) {
            EXPECT_EQ(to_std(display.GetShownText()), "1");
            EXPECT_EQ(display.GetAccumulated(), 0.0);
        }
    }
}

TEST_F(ButtonTest, SwitchingToTheCurrentStateDoesNotRestartIt)
{
    const std::string animation =
        R"(<Animation><double><PrimitiveAnimation Target="#AnyNode#" Param="Visibility"><Envelope><Keys>)"
        R"(<Key Time="0" Value="1"/><Key Time="1" Value="1"/></Keys></Envelope></PrimitiveAnimation></double></Animation>)";
    write("anim.xml", R"(<Controls><Button Name="Play" Node="Play"><States><State Name="normal">)" + animation +
                          R"(</State><State Name="up">)" + animation + R"(</State></States></Button></Controls>)");
    std::vector<std::unique_ptr<Control>> controls = load("anim.xml");
    game::controls::ControlStatesImpl* states = controls[0]->GetImpl()->GetStates();
    ASSERT_EQ(states->GetStateCount(), 2u);
    states->SwitchState("up");
    const double start = states->GetCurrentAnimation()->get_time();
    EXPECT_LE(start, 0.0);
    controls[0]->GetImpl()->Update(0.5);
    const double later = states->GetCurrentAnimation()->get_time();
    EXPECT_GT(later, start);
    states->SwitchState("up");
    EXPECT_EQ(states->GetCurrentAnimation()->get_time(), later);
    states->SwitchState("unknown");
    EXPECT_EQ(states->GetCurrentName(), vadu::Atom("up"));
}

TEST_F(InputTest, MoveButtonRestoresItsLoadedRectangleOnTheFirstPressOnly)
{
    const std::string text = R"(<Controls><MoveButton Name="M"><HitTest><Rectangle Value="0 0 10 10"/></HitTest></MoveButton></Controls>)";
    write("mover.xml", text);
    game::controls::ControlCollectionLoaderImpl loader(screen.GetSceneRoot());
    auto stream = vadu::filesystem::open(path("mover.xml"));
    vadu::xml::StreamResource resource(stream.get());
    vadu::xml::Root root(loader, "Controls");
    ASSERT_TRUE(resource.load(root));
    auto controls = loader.TakeControls();
    auto* loaded = dynamic_cast<game::controls::MoveButton*>(controls[0].get());
    ASSERT_NE(loaded, nullptr);
    loaded->OnPress(Point{50.0f, 50.0f});
    EXPECT_EQ(loaded->GetDepth(), 5.0f);
    loaded->OnRelease(Point{50.0f, 50.0f});
    EXPECT_EQ(loaded->GetDepth(), 8.0f);
    EXPECT_EQ(loaded->GetRectangle()[0], 45.0f);
    loaded->OnPress(Point{60.0f, 60.0f});
    EXPECT_EQ(loaded->GetRectangle()[0], 55.0f); // recentred from where it was dropped
}

// A 2 × 1 grid of tags.
class Grid : public game::controls::TagGrid {
public:
    game::controls::TagButton* GetTag(int32_t column, int32_t row) override
    {
        if (row != 0 || column < 0 || column > 1)
            return nullptr;
        return tags[column];
    }
    void Swap(int32_t column, int32_t row, int32_t new_column, int32_t new_row) override
    {
        swaps.push_back({column, row, new_column, new_row});
    }
    game::controls::TagButton* tags[2] = {nullptr, nullptr};
    std::vector<std::array<int32_t, 4>> swaps;
};

TEST_F(InputTest, TagButtonThresholdAndQuarterCellRule)
{
    Grid grid;
    game::controls::TagButton left, right;
    grid.tags[0] = &left;
    grid.tags[1] = &right;
    left.SetRectangle(0.0f, 0.0f, 40.0f, 40.0f);
    right.SetRectangle(40.0f, 0.0f, 40.0f, 40.0f);
    left.SetGrid(&grid, 0, 0);
    right.SetGrid(&grid, 1, 0);
    left.SetThreshold(5);
    left.SetSpeed(400);
    std::vector<std::string> seen;
    left.finished.Connect([&](Control*) { seen.push_back("finished"); });
    left.swapped.Connect([&](Control*) { seen.push_back("swapped"); });

    left.OnPress(Point{20.0f, 20.0f});
    left.OnDrag(Point{25.0f, 20.0f}); // exactly the threshold
    EXPECT_EQ(left.GetDirection(), -1);
    left.OnRelease(Point{25.0f, 20.0f});
    EXPECT_EQ(seen, (std::vector<std::string>{"finished"}));
    EXPECT_FALSE(left.IsAnimating());

    seen.clear();
    left.OnPress(Point{20.0f, 20.0f});
    left.OnDrag(Point{30.0f, 20.0f}); // 5 beyond the threshold: under a quarter cell
    EXPECT_EQ(left.GetDirection(), 2);
    left.OnRelease(Point{30.0f, 20.0f});
    for (int i = 0; i < 10; ++i)
        left.Update(0.05);
    EXPECT_EQ(seen, (std::vector<std::string>{"finished"}));
    EXPECT_TRUE(grid.swaps.empty());

    seen.clear();
    left.OnPress(Point{20.0f, 20.0f});
    left.OnDrag(Point{50.0f, 20.0f});
    left.OnRelease(Point{50.0f, 20.0f});
    for (int i = 0; i < 10; ++i)
        left.Update(0.05);
    EXPECT_EQ(seen, (std::vector<std::string>{"swapped", "finished"}));
    ASSERT_EQ(grid.swaps.size(), 1u);
    EXPECT_EQ(grid.swaps[0], (std::array<int32_t, 4>{0, 0, 1, 0}));
    EXPECT_EQ(left.GetRectangle()[0], 40.0f);
    EXPECT_EQ(right.GetRectangle()[0], 0.0f);
}


// A control's handler that takes the control off its screen frees it there and then, in the
// middle of the control's own pointer operation: the control sends nothing more and touches
// nothing of itself (under the address sanitizer a touch fails the test), and the screen goes
// on. Each case removes the control at the given signal's n-th firing during one gesture:
// press at the first point, drag through the middle ones, release at the last, then (for the
// tags) frames until a move would be over.
TEST_F(InputTest, AControlRemovedBySignalHandlerSendsNothingMore)
{
    struct Case {
        const char* what;
        const char* kind;
        const char* removed_on;
        int firing;
        std::vector<Point> gesture;
        std::vector<std::string> sent;
        bool neighbour_given_back; // tags only: the neighbour taken for the swap is enabled again
    };
    const Point in{0.1f, 0.25f};
    const Point middle{0.25f, 0.25f};
    const Point left_of_track{-0.2f, 0.25f};
    const Point cell_on{0.45f, 0.25f};
    const Case cases[] = {
        {"button: click-at before click", "Button", "click at", 1, {middle, middle},
         {"press", "release", "click at"}, false},
        {"slider: value changed on press", "Slider", "value changed", 1, {middle, middle}, {"value changed"}, false},
        {"slider: value changed in a drag", "Slider", "value changed", 2, {middle, in, middle},
         {"value changed", "pressed", "value changed"}, false},
        {"slider: value changed in a drag left of the track", "Slider", "value changed", 2,
         {middle, left_of_track, middle}, {"value changed", "pressed", "value changed"}, false},
        {"slider: value changed on release", "Slider", "value changed", 2, {middle, middle},
         {"value changed", "pressed", "value changed"}, false},
        {"slider: let go on release", "Slider", "let go", 1, {middle, middle},
         {"value changed", "pressed", "value changed", "let go"}, false},
        {"tag: drag started", "TagButton", "drag started", 1, {in, cell_on, cell_on}, {"drag started"}, false},
        {"tag: swapped", "TagButton", "swapped", 1, {in, cell_on, cell_on}, {"drag started", "swapped"}, true},
        {"tag: finished", "TagButton", "finished", 1, {in, cell_on, cell_on},
         {"drag started", "swapped", "finished"}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        game::Screen screen(nullptr);
        game::input::PointingDeviceInputManagerImpl* manager = screen.GetInputManager();
        std::vector<std::string> sent;
        int firings = 0;
        Control* control = nullptr;
        // Notes the signal, and removes the control at the chosen firing.
        const auto note = [&](const char* signal) {
            return [&, signal](auto&&...) {
                sent.push_back(signal);
                if (std::string(signal) == c.removed_on && ++firings == c.firing)
                    screen.RemoveControl(control); // the returned owner frees the control at once
            };
        };
        Grid grid;
        game::controls::TagButton neighbour;
        std::unique_ptr<Control> made;
        if (std::string(c.kind) == "Button") {
            auto button = std::make_unique<game::controls::Button>();
            game::controls::ButtonImpl* impl = button->GetButtonImpl();
            impl->GetPressSignal().Connect(note("press"));
            impl->GetReleaseSignal().Connect(note("release"));
            impl->GetClickAtSignal().Connect(note("click at"));
            impl->GetClickSignal().Connect(note("click"));
            made = std::move(button);
        } else if (std::string(c.kind) == "Slider") {
            auto slider = std::make_unique<game::controls::Slider>();
            slider->value_changed.Connect(note("value changed"));
            slider->pressed.Connect(note("pressed"));
            slider->dragged.Connect(note("dragged"));
            slider->let_go.Connect(note("let go"));
            slider->released.Connect(note("released"));
            made = std::move(slider);
        } else {
            auto tag = std::make_unique<game::controls::TagButton>();
            neighbour.SetRectangle(0.5f, 0.0f, 0.5f, 0.5f);
            grid.tags[0] = tag.get();
            grid.tags[1] = &neighbour;
            tag->SetGrid(&grid, 0, 0);
            tag->SetSpeed(10);
            tag->drag_started.Connect(note("drag started"));
            tag->swapped.Connect(note("swapped"));
            tag->finished.Connect(note("finished"));
            made = std::move(tag);
        }
        control = made.get();
        control->GetImpl()->SetRectangle(0.0f, 0.0f, 0.5f, 0.5f);
        screen.AddControl(std::move(made));

        const auto move = [&](const Point& point) {
            vadu::input::Event moved("Mouse", "Axis_X", true, 0.0);
            manager->HandleEvent(moved, point.x, -point.y);
        };
        const auto press = [&](bool down) {
            vadu::input::Event event("Mouse", "Left Button", down, 0.0);
            manager->HandleEvent(event, 0.0, 0.0);
        };
        move(c.gesture.front());
        press(true);
        for (size_t i = 1; i < c.gesture.size(); ++i)
            move(c.gesture[i]);
        press(false);
        for (int frame = 0; frame < 5; ++frame)
            screen.Update(0.05);

        EXPECT_EQ(sent, c.sent);
        EXPECT_TRUE(screen.GetControlList().empty());
        if (c.neighbour_given_back) {
            EXPECT_TRUE(neighbour.IsEnabled());
        }
        // The screen goes on taking gestures.
        move(middle);
        press(true);
        press(false);
        screen.Update(0.05);
        EXPECT_EQ(sent, c.sent);
    }
}

} // namespace
