#include "platform/dialog.h"
#include "platform/headless/dialog_script.h"
#include "platform/headless/script.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace platform;

constexpr int label = 10;
constexpr int combo = 20;
constexpr int hidden_combo = 21;

struct Received {
    uint32_t message;
    uintptr_t wparam;
    intptr_t lparam;
};
std::vector<Received> received;

intptr_t recording_procedure(Dialog& dialog, uint32_t message, uintptr_t wparam, intptr_t lparam)
{
    received.push_back({message, wparam, lparam});
    if (message == wm::COMMAND && (wparam & 0xFFFF) <= 2)
        dialog.end(static_cast<intptr_t>(wparam & 0xFFFF));
    return message == wm::INITDIALOG ? 1 : 0;
}

DialogTemplate layout()
{
    return {"Caption",
            {{1, ControlKind::button, "OK", true},
             {2, ControlKind::button, "Cancel", true},
             {label, ControlKind::label, "Label", true},
             {combo, ControlKind::combo_box, "", true},
             {hidden_combo, ControlKind::combo_box, "", false}}};
}

class Dialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        headless::reset();
        headless::reset_dialogs();
        received.clear();
    }
    void TearDown() override { headless::reset_dialogs(); }
};

TEST_F(Dialogs, ControlsStartFromTheLayoutAndUnknownIdsChangeNothing)
{
    Dialog dialog(layout(), recording_procedure);
    EXPECT_EQ(dialog.get_caption(), "Caption");
    EXPECT_EQ(dialog.get_text(1), "OK");
    EXPECT_TRUE(dialog.is_visible(combo));
    EXPECT_FALSE(dialog.is_visible(hidden_combo));
    EXPECT_TRUE(dialog.is_enabled(combo));

    EXPECT_FALSE(dialog.has_control(99));
    EXPECT_FALSE(dialog.set_text(99, "x"));
    EXPECT_FALSE(dialog.show_control(99, true));
    EXPECT_FALSE(dialog.enable_control(99, true));
    EXPECT_EQ(dialog.get_text(99), "");
    // A label is no combo box.
    EXPECT_EQ(dialog.combo_add_string(label, "x"), combo_error);
    EXPECT_EQ(dialog.combo_get_count(label), combo_error);
    EXPECT_EQ(dialog.combo_get_selection(99), combo_error);
}

TEST_F(Dialogs, ComboBoxListsSelectsAndFindsWholeTextsIgnoringCase)
{
    Dialog dialog(layout(), recording_procedure);
    EXPECT_EQ(dialog.combo_add_string(combo, "None"), 0);
    EXPECT_EQ(dialog.combo_add_string(combo, "Yes"), 1);
    EXPECT_EQ(dialog.combo_add_string(combo, "yes"), 2);
    EXPECT_EQ(dialog.combo_get_count(combo), 3);
    EXPECT_EQ(dialog.combo_get_item(combo, 1), "Yes");
    EXPECT_EQ(dialog.combo_get_item(combo, 3), "");
    EXPECT_EQ(dialog.combo_get_selection(combo), combo_error);

    struct Case {
        int start;
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {-1, "YES", 1},     // from the top
        {1, "yes", 2},      // after the start
        {2, "Yes", 1},      // on past the end
        {-1, "Ye", combo_error},
        {-1, "None ", combo_error},
        {7, "none", 0},     // a start outside the list searches everything
    };
    for (const Case& c : cases)
        EXPECT_EQ(dialog.combo_find_exact(combo, c.start, c.text), c.expected) << c.start << " " << c.text;

    EXPECT_EQ(dialog.combo_set_selection(combo, 2), 2);
    EXPECT_EQ(dialog.combo_get_selection(combo), 2);
    EXPECT_EQ(dialog.combo_set_selection(combo, 3), combo_error);
    EXPECT_EQ(dialog.combo_get_selection(combo), combo_error);
    dialog.combo_set_selection(combo, 0);
    EXPECT_TRUE(dialog.combo_reset(combo));
    EXPECT_EQ(dialog.combo_get_count(combo), 0);
    EXPECT_EQ(dialog.combo_get_selection(combo), combo_error);
    EXPECT_EQ(dialog.combo_find_exact(combo, -1, "None"), combo_error);
}

TEST_F(Dialogs, TheUserReachesOnlyVisibleEnabledControls)
{
    Dialog dialog(layout(), recording_procedure);
    dialog.combo_add_string(combo, "a");
    dialog.combo_add_string(combo, "b");
    dialog.combo_add_string(hidden_combo, "a");

    EXPECT_TRUE(dialog.choose(combo, "b"));
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, wm::COMMAND);
    EXPECT_EQ(received[0].wparam, make_wparam(combo, cbn::SELCHANGE));
    EXPECT_EQ(dialog.combo_get_selection(combo), 1);

    EXPECT_FALSE(dialog.choose(combo, "c"));
    EXPECT_FALSE(dialog.choose(combo, 5));
    EXPECT_FALSE(dialog.choose(hidden_combo, 0));
    dialog.enable_control(combo, false);
    EXPECT_FALSE(dialog.choose(combo, 0));
    EXPECT_FALSE(dialog.click(label));
    EXPECT_EQ(received.size(), 1u);

    EXPECT_TRUE(dialog.click(2));
    EXPECT_EQ(received.back().wparam, make_wparam(2, bn::CLICKED));
    EXPECT_TRUE(dialog.has_ended());
    EXPECT_EQ(dialog.get_result(), dialog_cancel);
    // Once closed, nothing more reaches it.
    EXPECT_FALSE(dialog.click(1));
    dialog.end(dialog_ok);
    EXPECT_EQ(dialog.get_result(), dialog_cancel);
}

TEST_F(Dialogs, HeadlessDialogRunsInitThenTheScriptElseItIsCancelled)
{
    const intptr_t param = 77;
    // Without a script nobody can answer: the run says so, and the dialog is cancelled.
    testing::internal::CaptureStderr();
    EXPECT_EQ(dialog_box(layout(), nullptr, recording_procedure, param), dialog_cancel);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "No dialog can be shown without a display: \"Caption\" counts as cancelled\n");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].message, wm::INITDIALOG);
    EXPECT_EQ(received[0].lparam, param);
    EXPECT_EQ(headless::dialogs_shown(), 1);

    std::string seen_caption;
    headless::set_dialog_script([&](Dialog& dialog) {
        seen_caption = dialog.get_caption();
        dialog.click(1);
    });
    testing::internal::CaptureStderr();
    EXPECT_EQ(dialog_box(layout(), nullptr, recording_procedure, 0), dialog_ok);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(seen_caption, "Caption");
    EXPECT_EQ(headless::dialogs_shown(), 2);

    EXPECT_EQ(dialog_box(layout(), nullptr, nullptr, 0), dialog_failed);
    EXPECT_EQ(headless::dialogs_shown(), 2);
    headless::reset_dialogs();
    EXPECT_EQ(headless::dialogs_shown(), 0);
}

} // namespace
