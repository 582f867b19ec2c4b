#include "platform/headless/script.h"
#include "platform/window.h"

#include <gtest/gtest.h>

namespace {

using namespace platform;

// The fields the placement helpers use, as the engine's window record has them.
struct Record {
    WindowHandle window = nullptr;
    bool full_screen = false;
    uint32_t saved_style = 0;
    int32_t window_width = -1;
    int32_t window_height = -1;
    int32_t client_width = -1;
    int32_t client_height = -1;
};

MessageResult plain_procedure(WindowHandle window, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    return default_window_procedure(window, message, wparam, lparam);
}

class Placement : public ::testing::Test {
protected:
    void SetUp() override
    {
        headless::reset();
        headless::set_frame_limit(0);
        headless::set_desktop_size({1920, 1080});
        ASSERT_TRUE(register_window_class("placement test", plain_procedure));
        record.window = create_window("placement test", "", style, 30, 40, 300, 200);
        ASSERT_NE(record.window, nullptr);
    }
    void TearDown() override
    {
        destroy_window(record.window);
        headless::reset();
    }

    static constexpr uint32_t style = ws::CAPTION | ws::SYSMENU;
    Record record;
};

TEST(FitClientSize, KeepsTheAspectRatioWhenTheDesktopIsTooSmall)
{
    struct Case {
        Size wanted;
        Size expected;
    };
    const Case cases[] = {
        {{800, 600}, {800, 600}},
        {{1920, 1080}, {1920, 1080}},  // exactly the desktop still fits
        {{2000, 1000}, {1820, 910}},   // too wide
        {{1000, 1500}, {653, 980}},    // too high: 1000/1500 * 980 truncated
        {{4000, 3000}, {1306, 980}},   // too wide, and after that still too high
        {{0, 0}, {0, 0}},
        {{5000, 0}, {5000, 0}},        // no aspect ratio to keep
    };
    for (const Case& c : cases) {
        const Size fitted = fit_client_size_to_desktop(c.wanted, {1920, 1080});
        EXPECT_EQ(fitted.width, c.expected.width) << c.wanted.width << "x" << c.wanted.height;
        EXPECT_EQ(fitted.height, c.expected.height) << c.wanted.width << "x" << c.wanted.height;
    }
}

TEST_F(Placement, FitStoresTheWantedSizeAndResizesInPlace)
{
    FitWindowSizeToDesktop(record, 2000, 1000);
    EXPECT_EQ(record.client_width, 2000);
    EXPECT_EQ(record.client_height, 1000);
    const Rect client = get_client_rect(record.window);
    EXPECT_EQ(client.right, 1820);
    EXPECT_EQ(client.bottom, 910);
    const Rect outer = get_window_rect(record.window);
    EXPECT_EQ(outer.left, 30);
    EXPECT_EQ(outer.top, 40);
    const Rect frame = adjust_window_rect({0, 0, 1820, 910}, style, false);
    EXPECT_EQ(record.window_width, frame.right - frame.left);
    EXPECT_EQ(record.window_height, frame.bottom - frame.top);
    EXPECT_EQ(outer.right - outer.left, record.window_width);
}

TEST_F(Placement, CenterUsesTheStoredOuterSizeOnlyWhileWindowed)
{
    record.window_width = 301;
    record.window_height = 201;
    CenterWindow(record);
    Rect outer = get_window_rect(record.window);
    EXPECT_EQ(outer.left, 960 - 150);
    EXPECT_EQ(outer.top, 540 - 100);
    EXPECT_EQ(outer.right - outer.left, 301);

    record.full_screen = true;
    record.window_width = 100;
    CenterWindow(record);
    outer = get_window_rect(record.window);
    EXPECT_EQ(outer.left, 960 - 150);
    EXPECT_EQ(outer.right - outer.left, 301);
}

TEST_F(Placement, EnterFullscreenCoversTheDesktopOnce)
{
    EnterFullscreen(record);
    EXPECT_TRUE(record.full_screen);
    EXPECT_EQ(record.saved_style, style);
    EXPECT_EQ(get_window_style(record.window), ws::POPUP);
    EXPECT_EQ(get_window_ex_style(record.window), ws::EX_TOPMOST);
    const Rect outer = get_window_rect(record.window);
    EXPECT_EQ(outer.left, 0);
    EXPECT_EQ(outer.top, 0);
    EXPECT_EQ(outer.right, 1920);
    EXPECT_EQ(outer.bottom, 1080);
    const Rect client = get_client_rect(record.window);
    EXPECT_EQ(client.right, 1920);

    // Already full screen: the saved windowed style is kept.
    EnterFullscreen(record);
    EXPECT_EQ(record.saved_style, style);
}

} // namespace
