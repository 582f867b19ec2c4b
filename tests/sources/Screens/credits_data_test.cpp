// The credits over the game's own data: one pass up the column in a single direction, and
// lines that name the game's roles rather than the programs that build it.

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "../shell_app_support.h"
#include "game/flow.h"
#include "sources/Screens/credits_screen.h"
#include "vadu/font/text.h"
#include "vadu/lib3d/node/node.h"

namespace credits_data_test_file {

constexpr double Step = 1.0 / 60.0;

class CreditsData : public shell_test::ShellAppTest {
protected:
    // Updates only: nothing here is looked at in a picture.
    void step() override
    {
        pump_messages();
        app_->Update(Step);
    }

    CreditsScreen* open_credits()
    {
        start_game();
        game::ScreenManager* manager = app_->root->GetScreenManager();
        game::flow::EntryDefinition* entry = manager->GetFlowManager()->FindEntry("Credits");
        if (!entry)
            return nullptr;
        manager->DoChange(entry->GetScreenReference(), false);
        // Set up a frame later.
        frames(2);
        return current_backend<CreditsScreen>();
    }
};

// The pass moves the column from its largest offset back to 0 without ever turning back:
// the distance leaves room for both ramps, so the steady run goes the same way they do.
TEST_F(CreditsData, ThePassRunsOneWayFromTheEndOfTheColumnToItsStart)
{
    CreditsScreen* credits = open_credits();
    ASSERT_NE(credits, nullptr);
    const CreditsTiming timing = credits->GetTiming();
    EXPECT_GE(timing.distance, 2.0f * timing.rampDistance);
    EXPECT_FLOAT_EQ(credits->GetOffset(), timing.distance);

    const double pass = CreditsScreen::kPause + timing.run + 2.0 * timing.ramp;
    float previous = credits->GetOffset();
    int turns = 0;
    for (int frame = 0; frame < static_cast<int>(pass / Step) + 30; ++frame) {
        step();
        const float now = credits->GetOffset();
        if (now > previous + 0.001f)
            ++turns;
        previous = now;
    }
    EXPECT_EQ(turns, 0) << "the column moved back down " << turns << " times";
    EXPECT_FLOAT_EQ(credits->GetOffset(), 0.0f);
}

TEST_F(CreditsData, TheLinesNameRolesNotBuildTools)
{
    CreditsScreen* credits = open_credits();
    ASSERT_NE(credits, nullptr);
    vadu::lib3d::node::Node* column = current_screen()->GetSceneRoot()->find_child(vadu::Atom("Credits"), true);
    ASSERT_NE(column, nullptr);
    std::vector<std::string> lines;
    std::function<void(vadu::lib3d::node::Node*)> gather = [&](vadu::lib3d::node::Node* node) {
        if (auto* text = dynamic_cast<vadu::lib3d::node::Text*>(node)) {
            // The credits are plain ASCII.
            std::string line;
            for (const char16_t c : std::u16string(text->get_text().cbegin(), text->get_text().cend()))
                line.push_back(static_cast<char>(c));
            lines.push_back(line);
        }
        for (vadu::lib3d::node::Node* child : node->get_children())
            gather(child);
    };
    gather(column);
    ASSERT_GT(lines.size(), 10u);
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        for (const char* tool : {"make_", "tools", "generator", "sox", "lame"})
            EXPECT_EQ(line.find(tool), std::string::npos);
    }
    for (const char* role : {"Game design", "Programming", "Music"})
        EXPECT_NE(std::find(lines.begin(), lines.end(), role), lines.end()) << role;
}

} // namespace credits_data_test_file
