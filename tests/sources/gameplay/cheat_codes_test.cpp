#include <gtest/gtest.h>

#include <string>

#include "sources/gameplay/cheat_codes.h"
#include "vadu/input.h"

namespace {

using gameplay::CheatCodes;
using vadu::input::Event;

class CheatCodesTest : public ::testing::Test {
protected:
    CheatCodesTest()
    {
        cheats_ = std::make_unique<CheatCodes>();
        cheats_->ManaCode().Connect([this] { ++mana_; });
        cheats_->LevelsCode().Connect([this] { ++levels_; });
    }

    void type(const std::u16string& text)
    {
        for (char16_t c : text) {
            Event event(vadu::String("Keyboard"), vadu::WString(&c, &c + 1), 0.0);
            cheats_->OnInput(event);
        }
    }

    vadu::input::Manager::Creator input_;
    std::unique_ptr<CheatCodes> cheats_;
    int mana_ = 0;
    int levels_ = 0;
};

struct TypingCase {
    const char* name;
    std::u16string typed;
    int mana;
};

class CheatTyping : public CheatCodesTest, public ::testing::WithParamInterface<TypingCase> {};

TEST_P(CheatTyping, MatchesTheCode)
{
    type(GetParam().typed);
    EXPECT_EQ(mana_, GetParam().mana);
    EXPECT_EQ(levels_, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CheatTyping,
    ::testing::Values(TypingCase{"Plain", u"grobnelt", 1}, TypingCase{"Capitals", u"GrObNELT", 1},
                      TypingCase{"Twice", u"grobneltgrobnelt", 2}, TypingCase{"InsideOtherText", u"xxgrobneltyy", 1},
                      TypingCase{"WrongLetterThenAgain", u"grobXeltgrobnelt", 1},
                      TypingCase{"WrongLetterOnly", u"grobXelt", 0},
                      // The mismatching 'g' is not retried as the code's first letter.
                      TypingCase{"RepeatedFirstLetter", u"ggrobnelt", 0}, TypingCase{"Incomplete", u"grobnel", 0}),
    [](const ::testing::TestParamInfo<TypingCase>& info) { return std::string(info.param.name); });

TEST_F(CheatCodesTest, OnlyKeyboardCharacterEventsCount)
{
    for (char c : std::string("grobnelt")) {
        cheats_->OnInput(Event(vadu::String("Keyboard"), vadu::String(std::string(1, c).c_str()), true, 0.0));
        cheats_->OnInput(Event(vadu::String("Keyboard"), vadu::String(std::string(1, c).c_str()), false, 0.0));
        const char16_t wide = static_cast<char16_t>(c);
        cheats_->OnInput(Event(vadu::String("Mouse"), vadu::WString(&wide, &wide + 1), 0.0));
    }
    EXPECT_EQ(mana_, 0);
    for (const auto& matcher : cheats_->Matchers())
        EXPECT_EQ(matcher->GetPosition(), 0u);
}

TEST_F(CheatCodesTest, AddedCodesAreLowerCasedAndMatched)
{
    int unlocked = 0;
    CheatCodes::Matcher& matcher = cheats_->AddCode(std::make_unique<CheatCodes::Matcher>("plekoMassDiving"));
    matcher.listeners.Connect([&] { ++unlocked; });
    EXPECT_EQ(matcher.GetCode(), "plekomassdiving");
    type(u"PLEKOmassdiving");
    EXPECT_EQ(unlocked, 1);
    type(u"vastrepod");
    EXPECT_EQ(levels_, 1);
}

TEST_F(CheatCodesTest, InterleavedCodesResetEachOther)
{
    type(u"grobvastrepodnelt");
    EXPECT_EQ(levels_, 1);
    EXPECT_EQ(mana_, 0);
}

TEST_F(CheatCodesTest, TheInstanceListensToDispatchedEvents)
{
    int mana = 0;
    CheatCodes::Instance().ManaCode().Connect([&] { ++mana; });
    for (char16_t c : std::u16string(u"grobnelt"))
        vadu::input::Manager::push_event(Event(vadu::String("Keyboard"), vadu::WString(&c, &c + 1), 0.0));
    vadu::input::Manager::dispatch();
    EXPECT_EQ(mana, 1);
    CheatCodes::ResetForTests();
}

} // namespace
