// The shipped tutorial scripts over the program's assembled data (scripts, hint scenes,
// skin, font, phrases and generated pictures): each loads, its hints have the conditions
// the level relies on, and every bubble lays out a real phrase with the real font.

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "game/screen.h"
#include "game/text_service.h"
#include "sources/gameplay/tutorial.h"
#include "sources/gameplay/tutorial_nodes.h"
#include "text/TextLibrary.h"
#include "vadu/dictionary.h"
#include "vadu/font/text.h"
#include "vadu/input.h"
#include "vadu/lib3d/node/registry.h"
#include "visuals_test_support.h"

#ifdef QUILLO_PROGRAM_DATA_PARENT

namespace {

using namespace gameplay;

class TutorialData : public ::testing::Test {
protected:
    TutorialData()
    {
        RegisterTutorialNodes();
        TutorialFrameSkin::Reset();
    }
    ~TutorialData() override
    {
        TutorialFrameSkin::Reset();
        UnregisterTutorialNodes();
    }

    void SetUp() override
    {
        std::unique_ptr<vadu::Stream> strings = vadu::filesystem::open(vadu::filesystem::String("data/strings.xml", true));
        ASSERT_NE(strings, nullptr);
        ASSERT_TRUE(phrases_.Load(*strings));
    }

    gameplay_test::FieldFixture field_{QUILLO_PROGRAM_DATA_PARENT};
    TrueText::TextLibrary::Creator library_;
    vadu::DictionaryHolder::Creator dictionary_;
    game::TextServiceImpl phrases_;
    vadu::input::Manager::Creator input_;
    game::Screen screen_{nullptr};
    vadu::lib3d::node::NodeTypeRegistration nodeTypes_;
};

TEST_F(TutorialData, TheShippedScriptsLoadWithTheirHintsAndPhrases)
{
    struct Case {
        const char* name;
        std::vector<std::pair<std::string, std::string>> conditions;
    };
    const Case cases[] = {
        {"level01", {{"StartLevel", "Any"}, {"PreviousHintHide", "CreateMonster"}}},
        {"mana_danger", {{"ManaDanger", "ManaNotDanger"}}},
        {"bomb", {{"Any", "Any"}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<Tutorial> tutorial = Tutorial::Load(c.name, field_.root.get(), screen_);
        ASSERT_NE(tutorial, nullptr);
        ASSERT_EQ(tutorial->hints.size(), c.conditions.size());
        size_t index = 0;
        for (const auto& hint : tutorial->hints) {
            EXPECT_EQ(hint->showCondition->name, vadu::Atom(c.conditions[index].first.c_str()));
            EXPECT_EQ(hint->hideCondition->name, vadu::Atom(c.conditions[index].second.c_str()));
            ++index;
            TutorialNode* frame = AsTutorialNode(hint->Scene()->find_child(vadu::Atom("Frame"), true));
            ASSERT_NE(frame, nullptr);
            ASSERT_NE(frame->text, nullptr);
            EXPECT_NE(frame->text->get_text(), game::TextServiceImpl::NotFound());
            EXPECT_GT(frame->text->get_width(frame->text->get_text()), 0.0f);
            EXPECT_GT(frame->GetHeight(), 2.0f * TutorialFrameSkin::Instance().cornerHeight);
        }
    }
    EXPECT_FLOAT_EQ(TutorialFrameSkin::Instance().cornerWidth, 16.0f);
    EXPECT_EQ(TutorialFrameSkin::Instance().GetFrameSize("arrow").y, 32.0f);
    EXPECT_EQ(field_.log.text().find("cannot"), std::string::npos) << field_.log.text();
}

TEST_F(TutorialData, TheFirstLevelTeachesTheTapThenTheStarredMonster)
{
    std::unique_ptr<Tutorial> tutorial = Tutorial::Load("level01", field_.root.get(), screen_);
    ASSERT_NE(tutorial, nullptr);
    ShapeChain& chain = field_.level->chain;
    tutorial->OnEvent(chain);
    EXPECT_TRUE(tutorial->hintShowing);
    // The first turn, however soon it comes, passes the first hint for the second.
    chain.Append();
    tutorial->clock = 0.5f;
    tutorial->OnEvent(chain);
    EXPECT_EQ(tutorial->CurrentHint(), tutorial->hints.back().get());
    EXPECT_TRUE(tutorial->hintShowing);
    // A turn that makes no starred monster leaves the second one up.
    chain.Append();
    tutorial->OnEvent(chain);
    EXPECT_EQ(tutorial->CurrentHint(), tutorial->hints.back().get());
    chain.Current().created = 1;
    tutorial->OnEvent(chain);
    EXPECT_EQ(tutorial->CurrentHint(), nullptr);
    tutorial->OnEvent(chain);
    EXPECT_TRUE(tutorial->finished);
}

} // namespace

#endif
